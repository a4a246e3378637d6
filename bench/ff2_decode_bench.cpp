// Decoding speed of the .ff2 reader: every record of every sample table, BLOBs included,
// decoded repeatedly until at least 200 MB of table file have passed, against a plain
// sequential read of the same files that touches every byte, as many times in the same run.
// Rounds of reading and decoding alternate, so that both meet the same machine load.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchUtil.h"
#include "store/Errors.h"
#include "store/ff2/Ff2File.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "Usage: ff2_decode_bench [--full] [SAMPLES]\n"
    "Decoding of the sample .ff2 tables against a plain read of the same files: 50 MB of table\n"
    "file each (--full: 200 MB). SAMPLES: else $FF2_SAMPLES, else the repository's samples.\n";
constexpr double kMegabyte = 1e6;

fs::path samplesFolder(const bench::Args& args) {
  if (!args.positional.empty()) return args.positional[0];
  if (const char* env = std::getenv("FF2_SAMPLES"); env && *env) return env;
  return fs::path(KV_SOURCE_DIR) / "tests" / "store" / "ff2" / "samples";
}

bool isTableFile(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".ff2";
}

// The readable tables of the folder (refused ones are reported and left out).
std::vector<fs::path> readableTables(const fs::path& folder) {
  std::vector<fs::path> tables;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!isTableFile(entry.path())) continue;
    try {
      ff::ff2::Ff2File probe(entry.path().string());
      tables.push_back(entry.path());
    } catch (const ff::ECannotOpen& e) {
      std::printf("left out: %s\n", e.what());
    }
  }
  std::sort(tables.begin(), tables.end());
  return tables;
}

std::uint64_t fold(const ff::Value& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<std::uint64_t>(*i);
  if (const auto* d = std::get_if<double>(&v)) return static_cast<std::uint64_t>(*d);
  if (const auto* s = std::get_if<std::string>(&v)) return s->size() + (s->empty() ? 0 : static_cast<unsigned char>(s->back()));
  return 1;
}

std::uint64_t recordsDecoded = 0;

// Decodes every record of the table; returns a checksum of the values.
std::uint64_t decodeTable(const fs::path& path) {
  std::uint64_t sum = 0;
  ff::ff2::Ff2File file(path.string());
  file.forEachRecord([&](const ff::ff2::Ff2Record& r) {
    ++recordsDecoded;
    for (const ff::Value& v : r.values) sum += fold(v);
  });
  return sum;
}

// Reads the file front to back in 64 KiB pieces; returns a checksum of the bytes.
std::uint64_t readTable(const fs::path& path) {
  std::uint64_t sum = 0;
  std::vector<char> buffer(64 * 1024);
  std::ifstream in(path, std::ios::binary);
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    const auto n = static_cast<std::size_t>(in.gcount());
    for (std::size_t i = 0; i < n; ++i) sum += static_cast<unsigned char>(buffer[i]);
  }
  return sum;
}

struct Result {
  std::uint64_t bytes = 0;
  double seconds = 0;
  std::uint64_t checksum = 0;
  double megabytesPerSecond() const { return bytes / kMegabyte / seconds; }
};

template <typename Work>
void timePass(const std::vector<fs::path>& tables, Result& r, Work work) {
  const auto start = Clock::now();
  for (const auto& t : tables) {
    r.checksum += work(t);
    r.bytes += fs::file_size(t);
  }
  r.seconds += std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Args args = bench::parseArgs(argc, argv, kUsage);
  const std::uint64_t targetBytes = args.full ? 200'000'000 : 50'000'000;
  const fs::path folder = samplesFolder(args);
  const std::vector<fs::path> tables = readableTables(folder);
  std::uint64_t bytesPerPass = 0;
  for (const auto& t : tables) bytesPerPass += fs::file_size(t);
  if (bytesPerPass == 0) {
    std::fprintf(stderr, "no readable .ff2 tables in %s\n", folder.string().c_str());
    return 1;
  }
  const int passes = static_cast<int>((targetBytes + bytesPerPass - 1) / bytesPerPass);
  std::printf("%zu tables, %.2f MB per pass, %d passes\n", tables.size(), bytesPerPass / kMegabyte, passes);

  for (const auto& t : tables) readTable(t);  // warm the file cache before either measurement
  Result read, decode;
  for (int pass = 0; pass < passes; ++pass) {
    timePass(tables, read, readTable);
    timePass(tables, decode, decodeTable);
  }
  std::printf("sequential read: %8.1f MB/s (%.0f MB in %.2f s, checksum %llu)\n", read.megabytesPerSecond(),
              read.bytes / kMegabyte, read.seconds, static_cast<unsigned long long>(read.checksum));
  std::printf("decode:          %8.1f MB/s (%.0f MB in %.2f s, checksum %llu)\n", decode.megabytesPerSecond(),
              decode.bytes / kMegabyte, decode.seconds, static_cast<unsigned long long>(decode.checksum));
  std::printf("records:         %8.0f records/s decoded, %.0f records/s read (%llu records)\n",
              recordsDecoded / decode.seconds, recordsDecoded / read.seconds,
              static_cast<unsigned long long>(recordsDecoded));
  bench::report("decode .ff2 samples vs reading the files", decode.seconds, read.seconds, 0);
  return 0;
}
