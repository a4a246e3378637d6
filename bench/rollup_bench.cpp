// SummerHeleProsjektet on a project of 50 parts, over tables holding 200,000 time rows,
// 100,000 item-use rows and 50,000 postings (plus trips and travels) of 100 projects, against
// one pass over the same rows with the same filters through the SQLite C API, on the tables as
// CreateSuiteTables makes them (with their index on each part's PROSJEKTNR;SYSTEMNR). The same
// pass through plain handles of the store is shown beside it.
#include <QApplication>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchUtil.h"
#include "db/SuiteDatabase.h"
#include "db/datamodule/datafile.h"
#include "rules/BusinessRules.h"
#include "store/Aliases.h"
#include "store/Field.h"
#include "store/Session.h"
#include "store/Table.h"
#include "settings/Felles.h"
#include "store/backends/StandardBackends.h"

namespace {

constexpr const char* kUsage =
    "Usage: rollup_bench [--full] [FOLDER]\n"
    "The project roll-up against one filtered pass over the same rows with the SQLite C API.\n"
    "FOLDER holds the generated tables (default var/bench); --full: 11 rounds instead of 5.\n";

constexpr int kProjects = 100;
constexpr int kPartsPerProject = 50;
constexpr int kTimeRows = 200000;
constexpr int kItemRows = 100000;
constexpr int kPostings = 50000;
constexpr int kTrips = 20000;
constexpr int kTravels = 5000;
constexpr double kProject = 42;

// The registration tables filtered on a part, and the index the bench adds to them.
const char* const kPartTables[] = {"TIMER", "VAREUTAK", "POSTER", "KM", "REISER"};

struct Variant {
  const char* title;
  const char* alias;
  const char* folder;
};

using Fields = std::vector<std::pair<const char*, ff::Value>>;

// Bulk-inserts `count` rows made by `make` straight through the storage.
void Fill(ff::TffSession& session, const std::string& alias, const char* table, int count,
          const std::function<Fields(int)>& make) {
  auto storage = session.OpenTable(alias, table, {});
  std::map<std::string, std::size_t> position;
  for (std::size_t i = 0; i < storage->Fields().size(); ++i) position[storage->Fields()[i].name] = i;
  storage->BeginBulk();
  for (int i = 0; i < count; ++i) {
    std::vector<ff::Value> values(storage->Fields().size());
    for (const auto& [field, value] : make(i)) values.at(position.at(field)) = value;
    storage->Insert(values);
  }
  storage->EndBulk();
}

void Generate(const Variant& v) {
  ff::TffSession& session = ff::TffSession::DefaultSession();
  CreateSuiteTables(session, v.alias);
  std::mt19937 rng(20240515);
  const auto pick = [&](int n) { return double(rng() % unsigned(n) + 1); };
  const auto day = [&] { return ff::encodeDate(2015, 1, 1) + double(rng() % 3650); };
  const auto amount = [&] { return double(rng() % 100000) / 100; };
  const auto flag = [&](unsigned oneIn) { return ff::Value{std::int64_t{rng() % oneIn == 0}}; };
  const auto owner = [&] {
    return Fields{{"PROSJEKTNR", pick(kProjects)}, {"SYSTEMNR", pick(kPartsPerProject)}};
  };
  const auto with = [](Fields fields, const Fields& more) {
    fields.insert(fields.end(), more.begin(), more.end());
    return fields;
  };
  Fill(session, v.alias, "PROSJEKT", kProjects, [&](int i) {
    return Fields{{"PROSJEKTNR", double(i + 1)}, {"PROSNAVN", ff::Value{"Prosjekt " + std::to_string(i + 1)}},
                  {"TIMEPRIS", 650.0}, {"CALTIMEPRI", 600.0}};
  });
  Fill(session, v.alias, "SYSTEMER", kProjects * kPartsPerProject, [&](int i) {
    return Fields{{"PROSJEKTNR", double(i / kPartsPerProject + 1)}, {"SYSTEMNR", double(i % kPartsPerProject + 1)},
                  {"CALARBEID", 40.0}, {"CALVARER", 5000.0}};
  });
  Fill(session, v.alias, "TIMER", kTimeRows, [&](int) {
    return with(owner(), {{"DATO", day()}, {"TIMER", double(rng() % 9)}, {"OVERTID_50", 0.5}, {"OVERTID_10", 0.0}});
  });
  Fill(session, v.alias, "VAREUTAK", kItemRows, [&](int) { return with(owner(), {{"TOTAL", amount()}}); });
  const double postingTypes[] = {0, 1, 2, 4, 5, 6, 10};
  Fill(session, v.alias, "POSTER", kPostings, [&](int i) {
    return with(owner(), {{"REGNR", double(i + 1)}, {"POSTTYPE", postingTypes[rng() % 7]}, {"POSTSUM", amount()}});
  });
  Fill(session, v.alias, "KM", kTrips, [&](int) {
    return with(owner(), {{"KMTOTAL", double(rng() % 300)}, {"HENGER", flag(4)}, {"SKOGSVEI", flag(5)},
                          {"UTSTYRFRAK", flag(6)}, {"PASSASJERE", ff::Value{std::int64_t(rng() % 3)}}});
  });
  Fill(session, v.alias, "REISER", kTravels, [&](int) { return with(owner(), {{"SUMUTGIFT", amount()}}); });
}

// Generated once per folder, in a child process; a folder without the marker is made anew.
void EnsureTables(const Variant& v) {
  const std::string marker = std::string(v.folder) + "generated";
  if (std::filesystem::exists(marker)) return;
  std::filesystem::remove_all(v.folder);
  std::filesystem::create_directories(v.folder);
  ff::AddAlias(v.alias, v.folder);
  std::printf("generating the tables in %s ...\n", v.folder);
  bench::generateInChild([&] { Generate(v); });
  std::ofstream(marker) << "ok\n";
}

void PointSettingsAt(const std::string& alias) {
  WriteSetting("Net_Alias", alias);
  WriteSetting("Net_Protokoll", "Single User");
  for (const char* group : {"Personal", "Utstyr", "Timer", "Dokument", "Varer", "Vareregister", "Firma", "Regnskap",
                            "Reise", "Prosjekt", "Salg"}) {
    WriteSetting(std::string("Database_") + group + "_Åpnes", "1");
    WriteSetting(std::string("Database_") + group + "_Mappe", alias);
  }
}

// The same filters and rows as the roll-up, through plain handles of the store: per part the
// part filter on the hours, item use, postings, trips and travels; then the project filter on
// trips and travels. Returns Σ hours, for a check against the roll-up.
class Baseline {
 public:
  explicit Baseline(const std::string& alias) {
    for (const char* name : kPartTables) {
      auto table = std::make_unique<ff::TffTable>(name);
      table->SetDatabaseName(alias);
      table->SetTableName(name);
      if (std::string(name) == "TIMER") table->SetIndexName("DATO");
      if (std::string(name) == "POSTER") table->SetIndexName("REGNR");
      table->Open();
      tables_[name] = std::move(table);
    }
  }

  double Pass() {
    const std::string project = "PROSJEKTNR=" + std::to_string(int(kProject));
    double hours = 0;
    double sink = 0;
    for (int part = 1; part <= kPartsPerProject; ++part) {
      const std::string filter = project + " AND SYSTEMNR=" + std::to_string(part);
      hours += Walk("TIMER", filter, {"DATO", "TIMER", "OVERTID_50", "OVERTID_10"});
      sink += Walk("VAREUTAK", filter, {"TOTAL"});
      sink += Walk("POSTER", filter, {"POSTTYPE", "POSTSUM"});
      sink += Walk("KM", filter, {"KMTOTAL", "HENGER", "PASSASJERE", "SKOGSVEI", "UTSTYRFRAK"});
      sink += Walk("REISER", filter, {"SUMUTGIFT"});
    }
    sink += Walk("KM", project, {"KMTOTAL", "HENGER", "PASSASJERE", "SKOGSVEI", "UTSTYRFRAK"});
    sink += Walk("REISER", project, {"SUMUTGIFT"});
    return sink < 0 ? -1 : hours;
  }

 private:
  // Filters as the table helper does, walks every row, reading the fields; returns Σ of all
  // but the first field.
  double Walk(const char* name, const std::string& filter, const std::vector<const char*>& fields) {
    ff::TffTable& t = *tables_.at(name);
    t.SetFiltered(false);
    t.SetFilter(filter);
    t.SetFiltered(true);
    double sum = 0;
    for (t.First(); !t.Eof(); t.Next()) {
      for (std::size_t i = 0; i < fields.size(); ++i) {
        const double value = t.FieldByName(fields[i]).AsFloat();
        if (i > 0) sum += value;
      }
    }
    return sum;
  }

  std::map<std::string, std::unique_ptr<ff::TffTable>> tables_;
};

// The baseline: the same pass as a competent engineer writes it with the SQLite C API, a
// connection kept per table file and a statement prepared per table and filter, asking for no
// order (sums need none). Returns Σ hours, for a check against the roll-up.
class CApiPass {
 public:
  explicit CApiPass(const std::string& folder) {
    add(folder, "TIMER", {"DATO", "TIMER", "OVERTID_50", "OVERTID_10"});
    add(folder, "VAREUTAK", {"TOTAL"});
    add(folder, "POSTER", {"POSTTYPE", "POSTSUM"});
    add(folder, "KM", {"KMTOTAL", "HENGER", "PASSASJERE", "SKOGSVEI", "UTSTYRFRAK"});
    add(folder, "REISER", {"SUMUTGIFT"});
  }
  ~CApiPass() {
    for (auto& [name, t] : tables_) {
      sqlite3_finalize(t.part);
      sqlite3_finalize(t.project);
      sqlite3_close_v2(t.db);
    }
  }
  CApiPass(const CApiPass&) = delete;
  CApiPass& operator=(const CApiPass&) = delete;

  double Pass() {
    double hours = 0;
    double sink = 0;
    for (int part = 1; part <= kPartsPerProject; ++part) {
      hours += walk(tables_.at("TIMER").part, part);
      for (const char* name : {"VAREUTAK", "POSTER", "KM", "REISER"}) sink += walk(tables_.at(name).part, part);
    }
    sink += walk(tables_.at("KM").project, 0);
    sink += walk(tables_.at("REISER").project, 0);
    return sink < 0 ? -1 : hours;
  }

 private:
  struct Table {
    sqlite3* db = nullptr;
    sqlite3_stmt* part = nullptr;     // the rows of a part of the project
    sqlite3_stmt* project = nullptr;  // the rows of the project
  };

  void add(const std::string& folder, const char* name, const std::vector<const char*>& fields) {
    Table t;
    sqlite3_open_v2((folder + name + ".ffdb").c_str(), &t.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    std::string columns;
    for (const char* field : fields) columns += (columns.empty() ? "" : ", ") + column(t.db, field);
    const std::string select = "SELECT " + columns + " FROM rows WHERE " + column(t.db, "PROSJEKTNR") + " = ?1";
    sqlite3_prepare_v3(t.db, (select + " AND " + column(t.db, "SYSTEMNR") + " = ?2").c_str(), -1,
                       SQLITE_PREPARE_PERSISTENT, &t.part, nullptr);
    sqlite3_prepare_v3(t.db, select.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &t.project, nullptr);
    tables_[name] = t;
  }

  // The column of a field, from the table's own field list.
  static std::string column(sqlite3* db, const char* field) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT pos FROM _ff_fields WHERE upper(name) = ?", -1, &s, nullptr);
    sqlite3_bind_text(s, 1, field, -1, SQLITE_STATIC);
    const std::string c = sqlite3_step(s) == SQLITE_ROW ? "c" + std::to_string(sqlite3_column_int(s, 0)) : "NULL";
    sqlite3_finalize(s);
    return c;
  }

  // Σ of every column but the first over the rows of the project (and of `part` when given).
  static double walk(sqlite3_stmt* s, int part) {
    sqlite3_bind_double(s, 1, kProject);
    if (part) sqlite3_bind_double(s, 2, part);
    double sum = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      for (int c = 1; c < sqlite3_column_count(s); ++c) sum += sqlite3_column_double(s, c);
      if (sqlite3_column_double(s, 0) < 0) sum = -1;
    }
    sqlite3_reset(s);
    return sum;
  }

  std::map<std::string, Table> tables_;
};

// Posts the project's parts and the project again, unchanged but for one field each: the
// durable writes that the roll-up makes and the baseline does not.
void Rewrite(TDataFiler& module) {
  const auto rewrite = [](ff::TffTable& t, const char* field) {
    t.Edit();
    t.FieldByName(field).SetAsFloat(t.FieldByName(field).AsFloat());
    t.Post();
  };
  for (module.SystemTable.First(); !module.SystemTable.Eof(); module.SystemTable.Next()) {
    rewrite(module.SystemTable, "ARBEID");
  }
  rewrite(module.ProsjektTable, "SUMTIMER");
}

void Run(const Variant& v, int rounds) {
  ff::AddAlias(v.alias, v.folder);
  PointSettingsAt(v.alias);
  TDataFiler module;
  BindBusinessRules(module);
  DataFiler = &module;
  module.DataFilerCreate({"-autologon"});
  if (!module.ProsjektTable.FindKey({ff::Value{kProject}})) {
    std::fprintf(stderr, "project %g missing\n", kProject);
    std::exit(1);
  }
  Baseline storePass(v.alias);
  CApiPass baseline(v.folder);
  double storeHours = 0, baselineHours = 0;
  // They alternate, so that the disk's mood weighs on each alike.
  std::vector<double> rollups, passes, storePasses, writes;
  for (int round = 0; round < rounds; ++round) {
    rollups.push_back(bench::timeOnce([&] { module.SummerHeleProsjektet(nullptr); }));
    passes.push_back(bench::timeOnce([&] { baselineHours = baseline.Pass(); }));
    storePasses.push_back(bench::timeOnce([&] { storeHours = storePass.Pass(); }));
    writes.push_back(bench::timeOnce([&] { Rewrite(module); }));
  }
  const double rollup = bench::median(rollups);
  const double pass = bench::median(passes);
  const double write = bench::median(writes);
  std::printf("%s: SUMTIMER %.1f, hours of the C API's pass %.1f and of the store's %.1f, parts %lld, %d rounds\n",
              v.title, module.ProsjektTable.FieldByName("SUMTIMER").AsFloat(), baselineHours, storeHours,
              static_cast<long long>(module.SystemTable.RecordCount()), rounds);
  bench::report("roll-up vs one C API filtered pass", rollup, pass, 2);
  bench::report("the store's filtered pass vs the C API's", bench::median(storePasses), pass, 0);
  std::printf("  51 single durable row writes alone: %.2f ms; the roll-up less them: %.2f ms, ratio %.2f\n",
              write * 1000, (rollup - write) * 1000, (rollup - write) / pass);
  DataFiler = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parseArgs(argc, argv, kUsage);
  ff::RegisterStandardBackends();
  const std::string root = std::filesystem::absolute(args.at(0, "var/bench")).string();
  setenv("FF_CONFIG_DIR", (root + "/config").c_str(), 1);
  const std::string folder = root + "/rollup-suite/";
  const Variant variants[] = {
      {"roll-up on the suite's tables", "ROLLUPSUITE", folder.c_str()},
  };
  for (const Variant& v : variants) EnsureTables(v);

  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string etc = root + "/rollup-etc/";
  std::filesystem::create_directories(etc);
  InitSettingsStore({etc});
  WriteSetting("Brukernavn", "bench");
  WriteSetting("Arbeid_KmSumBil", "3,5");
  WriteSetting("Arbeid_KmSumHenger", "1");
  WriteSetting("Arbeid_KmSumPassasjer", "0,5");
  WriteSetting("Arbeid_KmSumUtstyr", "2");
  for (const Variant& v : variants) Run(v, args.full ? 11 : 5);
  return 0;
}
