// kvist-ff convert against the mariadb client's LOAD DATA LOCAL INFILE, in the same run on the
// same private server: 1,000,000 rows of the time-sheet table TIMER (its real field types, in a
// store alias) converted with verification off, and the same rows from a TSV file loaded by the
// client into the same table definition. Goal: at least 0.8 of the client's rows/s with
// resident memory under 64 MiB; the cost of verification is shown as a ratio too.
// REQUIRES: the private MariaDB runs (scripts/mysql-local.sh start, same $KV_MYSQL_DIR).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "convert/ConvertReport.h"
#include "settings/SqlAliases.h"
#include "bench/BenchUtil.h"
#include "bench/TimeRows.h"
#include "db/SuiteDatabase.h"
#include "settings/Felles.h"
#include "store/Aliases.h"
#include "store/Field.h"
#include "store/backends/StandardBackends.h"

namespace {

constexpr const char* kUsage =
    "Usage: sql_convert_bench [--full] [FOLDER [ROWS [ROUNDS]]]\n"
    "kvist-ff convert of TIMER against the mariadb client's LOAD DATA LOCAL INFILE of the same rows,\n"
    "on the private MariaDB, which must run. FOLDER holds the generated table (default var/bench);\n"
    "ROWS and ROUNDS default to 200000 and 1, with --full to 1000000 and 3.\n";

void ensureTimeTable(const std::string& alias, const std::string& folder, int rows) {
  const std::string marker = folder + "rows-" + std::to_string(rows);
  if (std::filesystem::exists(marker)) return;
  std::filesystem::remove_all(folder);
  std::printf("generating TIMER with %d rows in %s ...\n", rows, folder.c_str());
  bench::generateInChild([&] {
    ff::AddAlias(alias, folder);
    auto& session = ff::TffSession::DefaultSession();
    CreateSuiteTables(session, alias);
    bench::fillTimeTable(session, alias, rows);
  });
  std::FILE* done = std::fopen(marker.c_str(), "w");
  if (done) std::fclose(done);
}

std::string client() {
  return "mariadb --no-defaults --local-infile=1 --user=" + PrivateServerAlias().user + " --socket=" +
         PrivateServerAlias().socket + " kvist";
}

void clientSql(const std::string& sql) {
  if (std::system((client() + " -e \"" + sql + "\"").c_str()) != 0) {
    std::fprintf(stderr, "mariadb client failed: %s\n", sql.c_str());
    std::exit(1);
  }
}

double convertOnce(const std::string& alias, bool verify) {
  ConvertOptions options{alias, {"TIMER"}, verify, false};
  ConvertObserver quiet;
  std::atomic<bool> stop{false};
  std::vector<TableOutcome> outcomes;
  const double seconds = bench::timeOnce([&] { outcomes = SqlConverter(options, SqlAliasConnector(kSqlAliasMySQLweb), quiet, stop).Run(); });
  if (!outcomes[0].Converted()) {
    std::fprintf(stderr, "conversion failed: %s\n", outcomes[0].error.c_str());
    std::exit(1);
  }
  return seconds;
}

// The client's load of the TSV into a fresh table with TIMER's definition (indexes included).
double clientLoadOnce(const std::string& tsv) {
  clientSql("DROP TABLE IF EXISTS TIMER_KLIENT; CREATE TABLE TIMER_KLIENT LIKE TIMER");
  return bench::timeOnce([&] {
    clientSql("LOAD DATA LOCAL INFILE '" + tsv + "' INTO TABLE TIMER_KLIENT CHARACTER SET utf8mb4");
  });
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parseArgs(argc, argv, kUsage);
  ff::RegisterStandardBackends();
  const std::string root = std::filesystem::absolute(args.at(0, "var/bench")).string() + "/";
  const int rows = std::atoi(args.at(1, args.full ? "1000000" : "200000").c_str());
  const int rounds = std::atoi(args.at(2, args.full ? "3" : "1").c_str());
  const std::string folder = root + "convert/", alias = "KONVERTERING";
  std::filesystem::create_directories(root + "convert-etc");
  setenv("FF_CONFIG_DIR", (root + "convert-config").c_str(), 1);
  InitSettingsStore({root + "convert-etc/"});
  ensureTimeTable(alias, folder, rows);
  ff::AddAlias(alias, folder);

  // The same rows as a TSV file, written by the server from the converted table.
  convertOnce(alias, false);
  const std::string tsv = root + "timer.tsv";
  std::filesystem::remove(tsv);
  clientSql("SELECT * FROM TIMER INTO OUTFILE '" + tsv + "' CHARACTER SET utf8mb4");

  std::vector<double> ours, theirs, verified;
  for (int r = 0; r < rounds; ++r) {
    ours.push_back(convertOnce(alias, false));
    theirs.push_back(clientLoadOnce(tsv));
    verified.push_back(convertOnce(alias, true));
    std::printf("round %d: convert %.2f s, client %.2f s, convert+verify %.2f s\n", r + 1, ours.back(),
                theirs.back(), verified.back());
  }
  clientSql("DROP TABLE IF EXISTS TIMER_KLIENT");
  const double a = bench::median(ours), b = bench::median(theirs), v = bench::median(verified);
  std::printf("rows %d\nconvert  %10.0f rows/s (median of %d)\nclient   %10.0f rows/s\n", rows, rows / a, rounds,
              rows / b);
  std::printf("ratio convert/client rows/s %.2f (goal >= 0.8, aim >= 1.0)\n", b / a);
  bench::report("convert " + std::to_string(rows) + " rows vs client LOAD DATA", a, b, 1.25);
  std::printf("verification cost: convert+verify takes %.2f times the convert alone\n", v / a);
  std::printf("peak resident memory %.1f MiB (goal < 64 MiB)\n", bench::procStatusKiB("VmHWM") / 1024.0);
  return 0;
}
