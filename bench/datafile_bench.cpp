// The data module's OpenAllFiles with every group enabled on a database whose time table holds
// 1,000,000 rows, against the SQLite C API opening every table file of the same database in
// the same run. Beside it, the same OpenAllFiles on the demo database: opening must not read
// whole tables, so the large database should open in at most 1.5 times the demo's time.
#include <QApplication>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchUtil.h"
#include "db/SuiteDatabase.h"
#include "db/datamodule/datafile.h"
#include "rules/BusinessRules.h"
#include "store/Aliases.h"
#include "store/Field.h"
#include "settings/Felles.h"
#include "store/backends/StandardBackends.h"

namespace {

constexpr const char* kUsage =
    "Usage: datafile_bench [--full] [FOLDER]\n"
    "The data module's OpenAllFiles on a database whose time table holds 1M rows against the\n"
    "demo database. FOLDER holds the generated databases (default var/bench); --full: 9 rounds.\n";

constexpr int kTimeRows = 1000000;
const char* const kGroups[] = {"Personal", "Utstyr", "Timer",  "Dokument", "Varer", "Vareregister",
                               "Firma",    "Regnskap", "Reise", "Prosjekt", "Salg"};

// The demo firm in alias's folder; with extraTimeRows, that many more time rows.
void ensureDatabase(const std::string& alias, const std::string& folder, int extraTimeRows) {
  if (std::filesystem::exists(folder + "TIMER.ffdb")) return;
  std::printf("generating %s (%d extra time rows) ...\n", alias.c_str(), extraTimeRows);
  ff::AddAlias(alias, folder);
  auto& session = ff::TffSession::DefaultSession();
  CreateSuiteTables(session, alias);
  FillDemoData(session, alias);
  if (extraTimeRows == 0) return;
  auto hours = session.OpenTable(alias, "TIMER", {});
  const auto& fields = hours->Fields();
  auto at = [&](const char* name) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (ff::sameName(fields[i].name, name)) return i;
    }
    return fields.size();
  };
  std::vector<ff::Value> row(fields.size());
  hours->BeginBulk();
  for (int i = 0; i < extraTimeRows; ++i) {
    row[at("DATO")] = ff::Value{ff::encodeDate(2000, 1, 3) + i % 7000};
    row[at("FRA")] = ff::Value{std::string("07:00")};
    row[at("TIL")] = ff::Value{std::string("15:00")};
    row[at("TIMER")] = ff::Value{7.5};
    row[at("PROSJEKTNR")] = ff::Value{double(1000 + i % 500)};
    row[at("SYSTEMNR")] = ff::Value{double(i % 20)};
    row[at("INITIALER")] = ff::Value{std::string("ON")};
    hours->Insert(row);
  }
  hours->EndBulk();
}

// The baseline: what a competent engineer writes with the C API to open the tables of a
// database: a connection to each table file, its field and index lists and its first row read.
// The module keeps the connections of closed tables for the next open, so the baseline keeps
// its connections and statements too; with `afresh` it opens and closes them each time, as
// the module does when its kept connections went to other tables. Returns the fields read.
class TableFiles {
 public:
  ~TableFiles() { closeAll(); }

  long open(const std::string& folder, bool afresh) {
    long fields = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().extension() != ".ffdb") continue;
      File& file = files_[entry.path().string()];
      if (!file.db) openFile(file, entry.path().string());
      for (sqlite3_stmt* s : file.statements) {
        while (sqlite3_step(s) == SQLITE_ROW) fields += sqlite3_column_count(s);
        sqlite3_reset(s);
      }
    }
    if (afresh) closeAll();
    return fields;
  }

 private:
  struct File {
    sqlite3* db = nullptr;
    std::vector<sqlite3_stmt*> statements;
  };

  static void openFile(File& file, const std::string& path) {
    sqlite3_open_v2(path.c_str(), &file.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_busy_timeout(file.db, 5000);
    for (const char* sql : {"SELECT name, type, size, required FROM _ff_fields ORDER BY pos",
                            "SELECT name, fields, options FROM _ff_indexes ORDER BY pos",
                            "SELECT * FROM rows ORDER BY rowid LIMIT 1"}) {
      sqlite3_stmt* s = nullptr;
      sqlite3_prepare_v2(file.db, sql, -1, &s, nullptr);
      file.statements.push_back(s);
    }
  }

  void closeAll() {
    for (auto& [path, file] : files_) {
      for (sqlite3_stmt* s : file.statements) sqlite3_finalize(s);
      sqlite3_close_v2(file.db);
    }
    files_.clear();
  }

  std::map<std::string, File> files_;
};

void openEveryGroupOn(const std::string& alias) {
  for (const char* group : kGroups) {
    WriteSetting(std::string("Database_") + group + "_Åpnes", "1");
    WriteSetting(std::string("Database_") + group + "_Mappe", alias);
  }
  WriteSetting("Net_Alias", alias);
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parseArgs(argc, argv, kUsage);
  ff::RegisterStandardBackends();
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string root = std::filesystem::absolute(args.at(0, "var/bench")).string();
  setenv("FF_CONFIG_DIR", (root + "/config").c_str(), 1);
  std::filesystem::create_directories(root + "/etc");
  InitSettingsStore({root + "/etc/"});
  WriteSetting("Net_Protokoll", "Single User");
  ensureDatabase("DATAFILER_DEMO", root + "/datafiler-demo/", 0);
  ensureDatabase("DATAFILER_STOR", root + "/datafiler-stor/", kTimeRows);
  ff::AddAlias("DATAFILER_DEMO", root + "/datafiler-demo/");
  ff::AddAlias("DATAFILER_STOR", root + "/datafiler-stor/");

  TDataFiler module;
  BindBusinessRules(module);
  DataFiler = &module;
  module.DataFilerCreate({"-autologon"});
  auto openOn = [&](const char* alias) {
    return [&module, alias] {
      openEveryGroupOn(alias);
      module.OpenAllFiles();
    };
  };
  const int rounds = args.full ? 9 : 5;
  long fields = 0;
  TableFiles kept, afresh;
  const std::string large = root + "/datafiler-stor/";
  const auto [opened, api] = bench::compare(rounds, openOn("DATAFILER_STOR"), [&] { fields = kept.open(large, false); });
  // First opens: the demo's tables opened in between take the places of the large database's
  // kept connections, so the module opens its files afresh, as the C API does.
  std::vector<double> firstStore, firstBase;
  for (int r = 0; r < rounds; ++r) {
    openOn("DATAFILER_DEMO")();
    firstStore.push_back(bench::timeOnce(openOn("DATAFILER_STOR")));
    firstBase.push_back(bench::timeOnce([&] { fields = afresh.open(large, true); }));
  }
  const auto [largeAgain, demo] = bench::compare(rounds, openOn("DATAFILER_STOR"), openOn("DATAFILER_DEMO"));
  openEveryGroupOn("DATAFILER_STOR");
  module.OpenAllFiles();
  std::printf("time rows in the large database: %lld\n", static_cast<long long>(module.TidTable.RecordCount()));
  std::printf("fields and values read by the C API: %ld\n", fields);
  bench::report("OpenAllFiles, 1M time rows vs C API opening every table", opened, api, 1.5);
  bench::report("OpenAllFiles afresh, 1M time rows vs C API opening every table afresh", bench::median(firstStore),
                bench::median(firstBase), 1.5);
  bench::report("OpenAllFiles, 1M time rows vs the demo", largeAgain, demo, 1.5);
  DataFiler = nullptr;
  return 0;
}
