// Page Down in the middle of the conversion window's grid at 10,000, 100,000 and 1,000,000 rows,
// against a plain cursor reading the same rows on (Next and every field's text, as the grid
// shows them). Per size: 40 screens of 30 rows from the middle, median of 9 rounds each, the
// two alternating. Also the far jump to row 500,000 of the big table: the first one (which
// samples the keys) and a later one.
#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/DataSetModel.h"
#include "bench/BenchUtil.h"
#include "bench/GridBench.h"
#include "store/Aliases.h"
#include "store/DataSource.h"
#include "store/Field.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/backends/StandardBackends.h"

namespace {

constexpr int kScreenRows = 30;
constexpr int kScreens = 40;
constexpr const char* kUsage =
    "Usage: grid_paging_bench [--full] [FOLDER]\n"
    "Page Down in the grid at 10k, 100k and 1M rows against a cursor reading on, and far jumps.\n"
    "FOLDER holds the generated tables (default var/bench); --full: 9 rounds instead of 3.\n";
const char* kAlias = "PAGEBENCH";

std::string tableName(int rows) { return "PAGE" + std::to_string(rows); }

// In the order of the NAVN index, so that windows seek on a text key.
void openTable(ff::TffTable& table, int rows) {
  table.SetDatabaseName(kAlias);
  table.SetTableName(tableName(rows));
  table.SetIndexName("NAVN");
  table.Open();
}

struct Paging {
  double grid = 0;    // seconds per screen
  double cursor = 0;  // seconds per screen
};

Paging measurePaging(int rows, int rounds) {
  std::vector<double> grid, cursor;
  long sink = 0;
  const int middle = rows / 2;
  for (int round = 0; round < rounds; ++round) {
    {
      ff::TffTable table;
      ff::TDataSource source;
      source.SetDataSet(&table);
      DataSetModel model(source);
      openTable(table, rows);
      sink += bench::showRows(model, middle, kScreenRows);  // the jump there is not timed
      grid.push_back(bench::timeOnce([&] {
        for (int s = 1; s <= kScreens; ++s) sink += bench::showRows(model, middle + s * kScreenRows, kScreenRows);
      }) / kScreens);
    }
    {
      ff::TffTable table;
      openTable(table, rows);
      table.MoveToRecNo(middle + kScreenRows - 1);
      cursor.push_back(bench::timeOnce([&] {
        for (int n = 0; n < kScreens * kScreenRows; ++n) {
          table.Next();
          for (int c = 0; c < table.FieldCount(); ++c) sink += static_cast<long>(table.Fields(c).DisplayText().size());
        }
      }) / kScreens);
    }
  }
  if (sink < 0) std::puts("");
  return {bench::median(grid), bench::median(cursor)};
}

void reportFarJumps(int rows) {
  ff::TffTable table;
  ff::TDataSource source;
  source.SetDataSet(&table);
  DataSetModel model(source);
  openTable(table, rows);
  bench::showRows(model, 0, kScreenRows);
  const double first = bench::timeOnce([&] { bench::showRows(model, 500000, kScreenRows); });
  const double later = bench::timeOnce([&] { bench::showRows(model, 700000, kScreenRows); });
  const double back = bench::timeOnce([&] { bench::showRows(model, 300000, kScreenRows); });
  std::printf("far jump to row 500,000 of %d: first %.2f ms (samples the keys), later jumps %.2f ms and %.2f ms\n",
              rows, first * 1000, later * 1000, back * 1000);
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parseArgs(argc, argv, kUsage);
  ff::RegisterStandardBackends();
  const std::string folder = bench::gridBenchFolder(args.at(0, "var/bench"), "paging", kAlias);
  QApplication app(argc, argv);
  const std::vector<int> sizes{10000, 100000, 1000000};
  for (int rows : sizes) {
    if (std::filesystem::exists(folder + tableName(rows) + ".ffdb")) continue;
    std::printf("generating %d rows ...\n", rows);
    bench::generateInChild([&] { bench::makeCustomerTable(kAlias, tableName(rows), rows, {{"NAVN", {"NAVN"}, 0}}); });
  }
  for (int rows : sizes) {
    const Paging p = measurePaging(rows, args.full ? 9 : 3);
    bench::report("Page Down in the middle of " + std::to_string(rows) + " rows", p.grid, p.cursor, 2);
  }
  reportFarJumps(sizes.back());
  return 0;
}
