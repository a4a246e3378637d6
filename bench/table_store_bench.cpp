// The table store on a 1,000,000-row table against the SQLite C API doing the same SELECTs on
// the same file: (a) open, RecordCount, Last (the row count the file keeps, the first and the
// last row); (b) a filter on an indexed field keeping 1% of the rows, walked to the end. Also
// the resident memory of the cursor.
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/BenchUtil.h"
#include "bench/StoreSteps.h"
#include "store/Aliases.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/backends/StandardBackends.h"

namespace {

constexpr int kRows = 1000000;
constexpr int kGroups = 100;  // PROSJEKTNR takes 100 values: one keeps 1% of the rows
const char* kTable = "STOR";

void generate(const std::string& alias) {
  auto& session = ff::TffSession::DefaultSession();
  session.CreateTable(alias, kTable,
                      {{"NR", ff::FieldType::Integer},
                       {"PROSJEKTNR", ff::FieldType::Float},
                       {"NAVN", ff::FieldType::String, 30},
                       {"BELOP", ff::FieldType::Float},
                       {"DATO", ff::FieldType::DateTime}},
                      {{"PROSJEKTNR", {"PROSJEKTNR"}, 0}});
  auto storage = session.OpenTable(alias, kTable, {});
  storage->BeginBulk();
  for (int i = 0; i < kRows; ++i) {
    storage->Insert({ff::Value{std::int64_t{i}}, ff::Value{double(i % kGroups)},
                     ff::Value{"Rad nummer " + std::to_string(i)}, ff::Value{i * 1.25}, ff::Value{40000.0 + i % 3650}});
  }
  storage->EndBulk();
}

// Generated in a child process, so that its memory does not count against the cursor.
void ensureTable(const std::string& alias, const std::string& folder) {
  if (std::filesystem::exists(folder + kTable + ".ffdb")) return;
  std::printf("generating %d rows in %s ...\n", kRows, folder.c_str());
  bench::generateInChild([&] { generate(alias); });
}

void openBenchTable(ff::TffTable& t) {
  t.SetDatabaseName("BENCH");
  t.SetTableName(kTable);
  t.Open();
}

struct Sqlite {
  explicit Sqlite(const std::string& path) { sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr); }
  ~Sqlite() { sqlite3_close_v2(db); }
  // Steps through every row of sql, touching the column `col` of each; returns the rows.
  long steps(const char* sql, int col) const {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
    long n = 0;
    double sink = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      sink += sqlite3_column_double(s, col);
      ++n;
    }
    sqlite3_finalize(s);
    return sink < 0 ? -1 : n;
  }
  sqlite3* db = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  ff::RegisterStandardBackends();
  const std::string root = argc > 1 ? argv[1] : "var/bench";
  setenv("FF_CONFIG_DIR", (root + "/config").c_str(), 1);
  const std::string folder = std::filesystem::absolute(root + "/store/").string();
  ff::AddAlias("BENCH", folder);
  ensureTable("BENCH", folder);
  const std::string file = folder + kTable + ".ffdb";
  const int rounds = 15;

  const bench::StoreStepFigures figures = bench::measureStoreSteps(
      rounds, rounds, openBenchTable,
      [&] {
        Sqlite s(file);
        sqlite3_exec(s.db, "SELECT name, type, size, required FROM _ff_fields", nullptr, nullptr, nullptr);
        s.steps("SELECT rowid, c0, c1, c2, c3, c4 FROM rows ORDER BY rowid LIMIT 1", 1);
        s.steps("SELECT n FROM _ff_count", 0);
        s.steps("SELECT rowid, c0, c1, c2, c3, c4 FROM rows ORDER BY rowid DESC LIMIT 1", 1);
      },
      [&] { return Sqlite(file).steps("SELECT rowid, c0, c1, c2, c3, c4 FROM rows WHERE c1 = 42 ORDER BY rowid", 4); });
  bench::reportStoreSteps(figures, "sqlite", "<= 1.2");
  return 0;
}
