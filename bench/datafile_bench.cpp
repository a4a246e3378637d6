// The data module's OpenAllFiles with every group enabled, on the demo database and on one whose
// time table holds 1,000,000 rows (the baseline, measured in the same run). Opening must not read
// whole tables, so the large database should open in at most 1.5 times the demo's time.
#include <QApplication>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

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
  const auto [large, demo] = bench::compare(args.full ? 9 : 5, openOn("DATAFILER_STOR"), openOn("DATAFILER_DEMO"));
  openEveryGroupOn("DATAFILER_STOR");
  module.OpenAllFiles();
  std::printf("time rows in the large database: %lld\n", static_cast<long long>(module.TidTable.RecordCount()));
  bench::report("OpenAllFiles, 1M time rows vs the demo", large, demo, 1.5);
  DataFiler = nullptr;
  return 0;
}
