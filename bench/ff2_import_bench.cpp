// `kvist-ff import` of a 1,000,000-row FlashFiler 2 time table (made with the test builder of
// .ff2 files) against, in the same run, the SQLite C API loading the same decoded rows into a
// new file the way a bulk load is best written: one transaction, no journal, the table's two
// indexes built after the rows, the file synced at the end (as the import does). Decoding the
// file alone is shown beside them. Rounds alternate; medians. Also the peak resident memory of
// the import and of `kvist-ff dump` at 10,000, 100,000 and 1,000,000 rows.
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchUtil.h"
#include "store/Aliases.h"
#include "store/ff2/Ff2File.h"
#include "tests/store/ff2/TimeTableFf2.h"

namespace {

namespace fs = std::filesystem;

const std::vector<int> kSizes{10000, 100000, 1000000};

std::string tableName(int rows) { return "TID" + std::to_string(rows); }

void bindValue(sqlite3_stmt* s, int i, const ff::Value& v) {
  if (const auto* n = std::get_if<std::int64_t>(&v)) {
    sqlite3_bind_int64(s, i, *n);
  } else if (const auto* d = std::get_if<double>(&v)) {
    sqlite3_bind_double(s, i, *d);
  } else if (const auto* t = std::get_if<std::string>(&v)) {
    sqlite3_bind_text(s, i, t->data(), static_cast<int>(t->size()), SQLITE_STATIC);
  } else {
    sqlite3_bind_null(s, i);
  }
}

long decodeOnly(const std::string& path) {
  long rows = 0;
  ff::ff2::Ff2File file(path);
  file.forEachRecord([&](const ff::ff2::Ff2Record&) { ++rows; });
  return rows;
}

constexpr const char* kUsage =
    "Usage: ff2_import_bench [--full] [FOLDER [KVIST-FF]]\n"
    "kvist-ff import of a 1M-row .ff2 table against the SQLite C API loading the same rows with\n"
    "the same two indexes, and the memory of import and dump. FOLDER holds the generated files\n"
    "(default var/bench); KVIST-FF defaults to the one beside the benchmark; --full: 3 rounds.\n";

// Decodes the file and loads its rows with the C API into a new SQLite file, then its indexes.
void insertWithCApi(const std::string& from, const std::string& to) {
  fs::remove(to);
  sqlite3* db = nullptr;
  sqlite3_open(to.c_str(), &db);
  sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN; CREATE TABLE rows (c0, c1, c2, c3, c4, c5)",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO rows VALUES (?, ?, ?, ?, ?, ?)", -1, &insert, nullptr);
  ff::ff2::Ff2File file(from);
  file.forEachRecord([&](const ff::ff2::Ff2Record& r) {
    for (std::size_t i = 0; i < r.values.size(); ++i) bindValue(insert, static_cast<int>(i) + 1, r.values[i]);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  });
  sqlite3_finalize(insert);
  sqlite3_exec(db, "CREATE INDEX a ON rows (c1); CREATE INDEX b ON rows (c3, c1); COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  const int fd = ::open(to.c_str(), O_RDONLY | O_CLOEXEC);
  fsync(fd);
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parseArgs(argc, argv, kUsage);
  const std::string root = fs::absolute(args.at(0, "var/bench")).string();
  const std::string tool = args.at(1, (fs::absolute(argv[0]).parent_path().parent_path() / "kvist-ff").string());
  const int rounds = args.full ? 3 : 1;
  setenv("FF_CONFIG_DIR", (root + "/config").c_str(), 1);
  const std::string legacy = root + "/ff2/legacy/";
  const std::string target = root + "/ff2/target/";
  fs::create_directories(legacy);
  fs::create_directories(target);
  ff::AddAlias("FF2BENCH", legacy);
  ff::AddAlias("FF2COPY", target);
  for (int rows : kSizes) {
    const std::string path = legacy + tableName(rows) + ".ff2";
    if (fs::exists(path)) continue;
    std::printf("generating %d rows ...\n", rows);
    bench::generateInChild([&] { std::ofstream(path, std::ios::binary) << ff2test::BuildTimeTableFf2(rows); });
  }

  const int big = kSizes.back();
  const std::string file = legacy + tableName(big) + ".ff2";
  const std::string copy = target + tableName(big) + ".ffdb";
  std::vector<double> decode, capi, import;
  long peak = 0, decoded = 0;
  // Each step starts with the disk written out, so that none pays for what the one before wrote.
  for (int round = 0; round < rounds; ++round) {
    sync();
    decode.push_back(bench::timeOnce([&] { decoded = decodeOnly(file); }));
    sync();
    capi.push_back(bench::timeOnce([&] { insertWithCApi(file, target + "capi.db"); }));
    fs::remove(copy);
    sync();
    const bench::ToolRun run = bench::runTool({tool, "import", "FF2BENCH", "--to", "FF2COPY", tableName(big)});
    if (run.exitCode != 0) {
      std::fprintf(stderr, "kvist-ff import failed (%d)\n", run.exitCode);
      return 1;
    }
    import.push_back(run.seconds);
    peak = std::max(peak, run.peakKiB);
  }
  const double importTime = bench::median(import);
  std::printf("rows: %ld; import %.0f rows/s\n", decoded, decoded / importTime);
  bench::report("import 1M .ff2 rows vs C API load + 2 indexes", importTime, bench::median(capi), 1.5);
  std::printf("decoding alone: %.2f s (the import takes %.2f times as long)\n", bench::median(decode),
              importTime / bench::median(decode));
  std::printf("import peak resident memory: %.1f MiB (goal < 64 MiB)\n", peak / 1024.0);
  for (int rows : kSizes) {
    const bench::ToolRun dump = bench::runTool({tool, "dump", "FF2BENCH", tableName(rows)});
    std::printf("dump of %7d .ff2 rows: peak resident memory %.1f MiB, %.2f s (exit %d)\n", rows,
                dump.peakKiB / 1024.0, dump.seconds, dump.exitCode);
  }
  return 0;
}
