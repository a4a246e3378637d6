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
#include "store/Aliases.h"
#include "store/DataSource.h"
#include "store/Field.h"
#include "store/Session.h"
#include "store/Table.h"

namespace {

constexpr int kScreenRows = 30;
constexpr int kScreens = 40;
constexpr int kRounds = 9;
const char* kAlias = "PAGEBENCH";

std::string tableName(int rows) { return "PAGE" + std::to_string(rows); }

void generate(int rows) {
  auto& session = ff::TffSession::DefaultSession();
  session.CreateTable(kAlias, tableName(rows),
                      {{"NR", ff::FieldType::Integer},
                       {"NAVN", ff::FieldType::String, 30},
                       {"BELOP", ff::FieldType::Float},
                       {"DATO", ff::FieldType::Date},
                       {"AKTIV", ff::FieldType::Boolean}},
                      {{"NAVN", {"NAVN"}, 0}});
  auto storage = session.OpenTable(kAlias, tableName(rows), {});
  storage->BeginBulk();
  for (int i = 0; i < rows; ++i) {
    storage->Insert({ff::Value{std::int64_t{i}}, ff::Value{"Kunde nummer " + std::to_string(i)},
                     ff::Value{i * 1.25}, ff::Value{37622.0 + i % 3650}, ff::Value{std::int64_t{i % 2}}});
  }
  storage->EndBulk();
}

// In the order of the NAVN index, so that windows seek on a text key.
void openTable(ff::TffTable& table, int rows) {
  table.SetDatabaseName(kAlias);
  table.SetTableName(tableName(rows));
  table.SetIndexName("NAVN");
  table.Open();
}

long showRows(const DataSetModel& model, int first, int count) {
  long chars = 0;
  for (int r = first; r < first + count; ++r) {
    for (int c = 0; c < model.columnCount(); ++c) chars += model.data(model.index(r, c)).toString().size();
  }
  return chars;
}

struct Paging {
  double grid = 0;    // seconds per screen
  double cursor = 0;  // seconds per screen
};

Paging measurePaging(int rows) {
  std::vector<double> grid, cursor;
  long sink = 0;
  const int middle = rows / 2;
  for (int round = 0; round < kRounds; ++round) {
    {
      ff::TffTable table;
      ff::TDataSource source;
      source.SetDataSet(&table);
      DataSetModel model(source);
      openTable(table, rows);
      sink += showRows(model, middle, kScreenRows);  // the jump there is not timed
      grid.push_back(bench::timeOnce([&] {
        for (int s = 1; s <= kScreens; ++s) sink += showRows(model, middle + s * kScreenRows, kScreenRows);
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
  showRows(model, 0, kScreenRows);
  const double first = bench::timeOnce([&] { showRows(model, 500000, kScreenRows); });
  const double later = bench::timeOnce([&] { showRows(model, 700000, kScreenRows); });
  const double back = bench::timeOnce([&] { showRows(model, 300000, kScreenRows); });
  std::printf("far jump to row 500,000 of %d: first %.2f ms (samples the keys), later jumps %.2f ms and %.2f ms\n",
              rows, first * 1000, later * 1000, back * 1000);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string root = argc > 1 ? argv[1] : "var/bench";
  setenv("FF_CONFIG_DIR", (root + "/config").c_str(), 1);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string folder = std::filesystem::absolute(root + "/paging/").string();
  std::filesystem::create_directories(folder);
  ff::AddAlias(kAlias, folder);
  const std::vector<int> sizes{10000, 100000, 1000000};
  for (int rows : sizes) {
    if (std::filesystem::exists(folder + tableName(rows) + ".ffdb")) continue;
    std::printf("generating %d rows ...\n", rows);
    bench::generateInChild([&] { generate(rows); });
  }
  for (int rows : sizes) {
    const Paging p = measurePaging(rows);
    const std::string what = "Page Down in the middle of " + std::to_string(rows) + " rows";
    bench::report(what.c_str(), p.grid, p.cursor, "<= 2, flat");
  }
  reportFarJumps(sizes.back());
  return 0;
}
