// The conversion window's grid model on a 1,000,000-row table: open the table under the model,
// show the first screen of rows, then scroll to the end and show the last screen; against the
// table store alone opening the same table and doing Last (and, as a second baseline, also
// counting the rows, which a scroll bar over the whole table needs). Also a jump to the middle
// row, and the resident memory after scrolling through the first 100,000 rows a screen at a time.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/DataSetModel.h"
#include "bench/BenchUtil.h"
#include "bench/GridBench.h"
#include "store/Aliases.h"
#include "store/DataSource.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/backends/StandardBackends.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kScreenRows = 30;  // rows a grid shows at once
constexpr int kScrolledRows = 100000;
const char* kAlias = "GRIDBENCH";
const char* kTable = "GRID";

void ensureTable(const std::string& folder) {
  if (std::filesystem::exists(folder + kTable + ".ffdb")) return;
  std::printf("generating %d rows in %s ...\n", kRows, folder.c_str());
  bench::makeCustomerTable(kAlias, kTable, kRows, {});
}

void openTable(ff::TffTable& table) {
  table.SetDatabaseName(kAlias);
  table.SetTableName(kTable);
  table.Open();
}

}  // namespace

int main(int argc, char** argv) {
  ff::RegisterStandardBackends();
  const std::string folder = bench::gridBenchFolder(argc, argv, "grid", kAlias);
  QApplication app(argc, argv);
  ensureTable(folder);
  const int rounds = 21;

  long shown = 0;
  int modelRows = 0;
  const auto candidate = [&] {
    ff::TffTable table;
    ff::TDataSource source;
    source.SetDataSet(&table);
    DataSetModel model(source);
    openTable(table);
    modelRows = model.rowCount();
    shown = bench::showRows(model, 0, kScreenRows);
    shown += bench::showRows(model, modelRows - kScreenRows, kScreenRows);
  };
  const auto openLast = [] {
    ff::TffTable table;
    openTable(table);
    table.Last();
  };
  const auto openCountLast = [] {
    ff::TffTable table;
    openTable(table);
    table.RecordCount();
    table.Last();
  };
  auto [gridA, storeLast] = bench::compare(rounds, candidate, openLast);
  auto [gridB, storeCountLast] = bench::compare(rounds, candidate, openCountLast);

  double middle = 0;
  const long rssBefore = bench::procStatusKiB("VmRSS");
  {
    ff::TffTable table;
    ff::TDataSource source;
    source.SetDataSet(&table);
    DataSetModel model(source);
    openTable(table);
    middle = bench::timeOnce([&] { bench::showRows(model, kRows / 2, kScreenRows); });
    for (int first = 0; first + kScreenRows <= kScrolledRows; first += kScreenRows) bench::showRows(model, first, kScreenRows);
  }
  const long rssAfter = bench::procStatusKiB("VmHWM");

  std::printf("rows in the model: %d; characters shown per round: %ld\n", modelRows, shown);
  bench::report("open + first screen + last screen vs open + Last", gridA, storeLast, "<= 1.3");
  bench::report("the same vs open + RecordCount + Last", gridB, storeCountLast, "<= 1.3");
  std::printf("jump to row %d and show a screen: %.2f ms\n", kRows / 2, middle * 1000);
  std::printf("resident memory: %.1f MiB before, %.1f MiB at most after scrolling through %d rows\n",
              rssBefore / 1024.0, rssAfter / 1024.0, kScrolledRows);
  return 0;
}
