// The conversion window's grid model on a 1,000,000-row table: open the table under the model,
// show the first screen of rows, then scroll to the end and show the last screen; against the
// SQLite C API doing the same on its kept connection: the field list, the row count a scroll
// bar needs, the first and the last screen of rows, each cell made into the grid's text with
// the same formatting. Also a jump to the middle row, and the resident memory after scrolling
// through the first 100,000 rows a screen at a time.
#include <QApplication>
#include <sqlite3.h>

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

constexpr const char* kUsage =
    "Usage: grid_model_bench [--full] [FOLDER]\n"
    "The conversion window's grid model on a 1M-row table against the SQLite C API showing the\n"
    "same screens. FOLDER holds the generated table (default var/bench); --full: more rounds.\n";

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

// The baseline: what a competent engineer writes with the C API: one connection kept, its
// statements prepared once, cells formatted by their field type.
class CApiGrid {
 public:
  explicit CApiGrid(const std::string& path) {
    sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_prepare_v3(db_, "SELECT name, type FROM _ff_fields ORDER BY pos", -1, SQLITE_PREPARE_PERSISTENT, &fields_,
                       nullptr);
    sqlite3_prepare_v3(db_, "SELECT n FROM _ff_count", -1, SQLITE_PREPARE_PERSISTENT, &count_, nullptr);
    sqlite3_prepare_v3(db_, "SELECT c0, c1, c2, c3, c4 FROM rows ORDER BY rowid LIMIT ?", -1,
                       SQLITE_PREPARE_PERSISTENT, &first_, nullptr);
    sqlite3_prepare_v3(db_, "SELECT c0, c1, c2, c3, c4 FROM rows ORDER BY rowid DESC LIMIT ?", -1,
                       SQLITE_PREPARE_PERSISTENT, &last_, nullptr);
  }
  ~CApiGrid() {
    for (sqlite3_stmt* s : {fields_, count_, first_, last_}) sqlite3_finalize(s);
    sqlite3_close_v2(db_);
  }
  CApiGrid(const CApiGrid&) = delete;
  CApiGrid& operator=(const CApiGrid&) = delete;

  // The first and the last screen; returns the characters shown.
  long showEnds() {
    types_.clear();
    while (sqlite3_step(fields_) == SQLITE_ROW) {
      const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(fields_, 1));
      types_.push_back(ff::fieldTypeFromName(type ? type : "").value_or(ff::FieldType::Unknown));
    }
    sqlite3_reset(fields_);
    sqlite3_step(count_);
    const long rows = static_cast<long>(sqlite3_column_int64(count_, 0));
    sqlite3_reset(count_);
    return show(first_) + show(last_) + (rows < 0 ? 1 : 0);
  }

 private:
  long show(sqlite3_stmt* s) {
    sqlite3_bind_int(s, 1, kScreenRows);
    long chars = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      for (int c = 0; c < static_cast<int>(types_.size()); ++c) chars += QString::fromStdString(cell(s, c)).size();
    }
    sqlite3_reset(s);
    return chars;
  }
  std::string cell(sqlite3_stmt* s, int c) const {
    const ff::FieldType type = types_[static_cast<std::size_t>(c)];
    if (sqlite3_column_type(s, c) == SQLITE_NULL) return {};
    if (type == ff::FieldType::Boolean) return sqlite3_column_int(s, c) ? "True" : "False";
    if (type == ff::FieldType::Date || type == ff::FieldType::DateTime) return ff::formatDateTime(sqlite3_column_double(s, c), type);
    if (type == ff::FieldType::Integer) return std::to_string(sqlite3_column_int64(s, c));
    if (type == ff::FieldType::Float) return ff::formatNumber(sqlite3_column_double(s, c), "");
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
    return text ? text : "";
  }

  sqlite3* db_ = nullptr;
  sqlite3_stmt *fields_ = nullptr, *count_ = nullptr, *first_ = nullptr, *last_ = nullptr;
  std::vector<ff::FieldType> types_;
};

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parseArgs(argc, argv, kUsage);
  ff::RegisterStandardBackends();
  const std::string folder = bench::gridBenchFolder(args.at(0, "var/bench"), "grid", kAlias);
  QApplication app(argc, argv);
  ensureTable(folder);
  const int rounds = args.full ? 21 : 7;

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
  CApiGrid api(folder + kTable + ".ffdb");
  long shownByApi = 0;
  auto [grid, base] = bench::compare(rounds, candidate, [&] { shownByApi = api.showEnds(); });

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

  std::printf("rows in the model: %d; characters shown per round: %ld, by the C API %ld\n", modelRows, shown,
              shownByApi);
  bench::report("grid: open + first and last screen, 1M", grid, base, 1.3);
  std::printf("jump to row %d and show a screen: %.2f ms\n", kRows / 2, middle * 1000);
  std::printf("resident memory: %.1f MiB before, %.1f MiB at most after scrolling through %d rows\n",
              rssBefore / 1024.0, rssAfter / 1024.0, kScrolledRows);
  return 0;
}
