// A whole firm through `kvist-ff convert`: the demo firm's 32 tables with a time table TIMER of
// 1,000,000 rows (--full; 100,000 otherwise), converted on the private MariaDB into an empty
// database, without verification (A) and with it (B), against the physical bound of the same
// end state, in the same run. Goals: A within 1.1 of the bound, B within 1.3, and convert's
// peak resident memory under 64 MiB.
// REQUIRES: the private MariaDB runs (scripts/mysql-local.sh start, same $KV_MYSQL_DIR).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchUtil.h"
#include "bench/TimeRows.h"
#include "convert/SqlConvert.h"
#include "convert/TableLoader.h"
#include "convert/TableSql.h"
#include "db/SuiteDatabase.h"
#include "settings/Felles.h"
#include "settings/SqlAliases.h"
#include "sql/SqlConnection.h"
#include "store/Aliases.h"
#include "store/Session.h"
#include "store/backends/StandardBackends.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "Usage: firm_convert_bench [--full] [FOLDER [JOBS]]\n"
    "kvist-ff convert of the demo firm (32 tables, TIMER with 100000 rows, with --full 1000000) with\n"
    "--no-verify and with verification, against mariadb-import --use-threads=JOBS of the same rows\n"
    "followed by the same index build, on the private MariaDB, which must run. FOLDER holds the\n"
    "generated firm and files (default var/bench); JOBS defaults to the cores, at most 4.\n";

constexpr const char* kAlias = "FIRMABENK";
constexpr const char* kDatabase = "kvist_firmabenk";

void fail(const std::string& what) {
  std::fprintf(stderr, "firm_convert_bench: %s\n", what.c_str());
  std::exit(1);
}

// The demo firm with TIMER filled up to `rows`, made once per row count.
void ensureFirm(const std::string& folder, int rows) {
  const std::string marker = folder + "rows-" + std::to_string(rows);
  if (fs::exists(marker)) return;
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::printf("generating the demo firm with %d TIMER rows in %s ...\n", rows, folder.c_str());
  bench::generateInChild([&] {
    auto& session = ff::TffSession::DefaultSession();
    CreateSuite(session, kAlias, true);
    bench::fillTimeTable(session, kAlias, rows);
  });
  std::ofstream(marker) << rows;
}

SqlAliasSettings benchDatabase() {
  SqlAliasSettings settings = PrivateServerAlias();
  settings.database = kDatabase;
  return settings;
}

std::unique_ptr<sql::SqlConnection> connectBench() {
  return std::make_unique<sql::SqlConnection>(SqlAliasEndpoint(kAlias, benchDatabase()));
}

// An empty database for each candidate: every one of them starts from nothing, and once the
// server has stopped writing out what the one before left in its buffers (at most a minute),
// so that no candidate pays for another's writes.
void emptyDatabase() {
  sql::SqlConnection admin(SqlAliasEndpoint("admin", PrivateServerAlias()));
  admin.Execute(std::string("DROP DATABASE IF EXISTS ") + kDatabase + "; CREATE DATABASE " + kDatabase +
                " CHARACTER SET utf8mb4 COLLATE " + kDefaultCollation);
  std::string last;
  for (int wait = 0; wait < 120; ++wait) {  // quiet when the dirty pages stay the same for half a second
    const auto dirty = admin.FirstResultSet("SHOW GLOBAL STATUS LIKE 'Innodb_buffer_pool_pages_dirty'");
    const std::string now = dirty ? dirty->rows.at(0).at(1).value_or("") : "";
    if (now == last) return;
    last = now;
    usleep(500000);
  }
}

struct BenchTable {
  std::string name;
  std::string create;  // as convert makes it
  std::string indexes;  // the ALTER TABLE convert runs after the rows; empty when none
  std::string file;     // the rows as convert sends them
  std::int64_t rows = 0;
};

// Each table's statements as convert runs them, and its rows written in the very text convert
// loads (TableLoader's), named TABLE.txt as mariadb-import wants.
std::vector<BenchTable> writeTables(const std::string& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  auto& session = ff::TffSession::DefaultSession();
  std::vector<std::string> names;
  session.GetTableNames(kAlias, "*.*", false, false, names);
  std::vector<BenchTable> tables;
  const std::atomic<bool> never{false};
  for (const auto& name : names) {
    auto source = session.OpenTable(kAlias, name, {true, false});
    const SqlTablePlan plan(source->Fields(), source->Indexes());
    BenchTable t{name, "", "", folder + name + ".txt", source->Count({})};
    const bool after = SqlTablePlan::IndexesAfterRows(t.rows);
    t.create = plan.CreateSql(name, kDefaultCollation, !after);
    if (after) t.indexes = plan.IndexSql(name);
    std::ofstream out(t.file, std::ios::binary);
    TableLoader(*source, plan, false, never).WriteText(out);
    if (!out.flush()) fail("cannot write " + t.file);
    tables.push_back(t);
  }
  return tables;
}

// kvist-ff convert of the whole firm into the empty database: seconds and peak memory.
bench::ToolRun convertFirm(const std::string& tool, int jobs, bool verify) {
  emptyDatabase();
  std::vector<std::string> args{tool, "convert", kAlias, "--to", kAlias, "--jobs", std::to_string(jobs), "--quiet",
                                "--log", "/dev/null", "--reject-report", "/dev/null"};
  if (!verify) args.push_back("--no-verify");
  const bench::ToolRun run = bench::runTool(args);
  if (run.exitCode != 0) fail("kvist-ff convert failed with exit code " + std::to_string(run.exitCode));
  return run;
}

// The physical bound: the server's own bulk load of the bytes convert sends, from files
// already written, by mariadb-import on as many connections as convert's jobs, into the tables
// as convert creates them (indexes of small tables included, the others without), then the
// same ALTER TABLE index builds. It is the same end state with nothing of convert's own work
// (reading the firm, encoding, staging, swapping, verifying), so the ratio is that work's cost.
double loadBound(const std::vector<BenchTable>& tables, int jobs) {
  emptyDatabase();
  auto db = connectBench();
  for (const auto& t : tables) db->Execute(t.create);
  const SqlAliasSettings server = benchDatabase();
  std::vector<std::string> args{"/usr/bin/mariadb-import", "--no-defaults", "--local", "--silent",
                                "--use-threads=" + std::to_string(jobs), "--user=" + server.user,
                                "--socket=" + server.socket, "--default-character-set=utf8mb4", kDatabase};
  // The largest first, as convert takes them, so that the long load starts at once.
  std::vector<const BenchTable*> order;
  for (const auto& t : tables) order.push_back(&t);
  std::stable_sort(order.begin(), order.end(), [](const BenchTable* x, const BenchTable* y) { return x->rows > y->rows; });
  for (const BenchTable* t : order) args.push_back(t->file);
  return bench::timeOnce([&] {
    if (bench::runTool(args).exitCode != 0) fail("mariadb-import failed");
    for (const auto& t : tables) {
      if (!t.indexes.empty()) db->Execute(t.indexes);
    }
  });
}

// Every table holds its rows after a candidate.
void checkRows(const std::vector<BenchTable>& tables, const std::string& after) {
  auto db = connectBench();
  for (const auto& t : tables) {
    const auto result = db->FirstResultSet("SELECT COUNT(*) FROM " + MySqlName(t.name));
    if (!result || result->rows.at(0).at(0).value_or("") != std::to_string(t.rows)) {
      fail(t.name + " does not hold its " + std::to_string(t.rows) + " rows after " + after);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parseArgs(argc, argv, kUsage);
  ff::RegisterStandardBackends();
  const std::string root = fs::absolute(args.at(0, "var/bench")).string() + "/firm/";
  const int rows = args.full ? 1000000 : 100000;
  const int jobs = std::atoi(args.at(1, std::to_string(std::clamp(std::thread::hardware_concurrency(), 1u, 4u))).c_str());
  const std::string tool = (fs::absolute(argv[0]).parent_path().parent_path() / "kvist-ff").string();
  fs::create_directories(root + "etc");
  fs::create_directories(root + "run");
  setenv("FF_CONFIG_DIR", (root + "config").c_str(), 1);
  const std::string data = root + "data/";
  ff::AddAlias(kAlias, data);
  ensureFirm(data, rows);
  // The tool finds the SQL alias in ../etc/ of the folder it runs in, as a user's would.
  InitSettingsStore({root + "etc/"});
  WriteSqlAlias(kAlias, benchDatabase());
  if (chdir((root + "run").c_str()) != 0) fail("cannot enter " + root + "run");

  const auto tables = writeTables(root + "tsv/");
  const bench::ToolRun a = convertFirm(tool, jobs, false);
  checkRows(tables, "convert --no-verify");
  const bench::ToolRun b = convertFirm(tool, jobs, true);
  checkRows(tables, "convert");
  const double bound = loadBound(tables, jobs);
  checkRows(tables, "mariadb-import");
  emptyDatabase();

  std::printf("demo firm, %zu tables, TIMER %d rows, %d jobs: convert --no-verify %.2f s, convert %.2f s, "
              "bound %.2f s\n", tables.size(), rows, jobs, a.seconds, b.seconds, bound);
  const std::string what = "firm of " + std::to_string(tables.size()) + " tables, TIMER " + std::to_string(rows) +
                           " rows, jobs " + std::to_string(jobs);
  bench::report(what + ": convert --no-verify vs bound", a.seconds, bound, 1.1);
  bench::report(what + ": convert vs bound", b.seconds, bound, 1.3);
  bench::reportMemory("peak resident memory of convert", std::max(a.peakKiB, b.peakKiB), 64 * 1024);
  return 0;
}
