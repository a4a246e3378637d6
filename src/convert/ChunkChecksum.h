// Sums over the rows of a converted table in chunks of consecutive keys, computed alike by the
// server (in SQL, over its own rows) and here (from the source's values), so that verifying a
// table reads one sum per chunk instead of every value. Each row's sum is the first 64 bits of
// the MD5 of its key and values as the server shows them (long values by their MD5): text
// after its length, every other value before a comma, NULL as "-"; a chunk's sum is their
// XOR and its row count.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/SqlTablePlan.h"
#include "sql/SqlConnection.h"
#include "store/Storage.h"

struct ChunkSum {
  std::int64_t rows = 0;
  std::uint64_t sum = 0;
  bool operator==(const ChunkSum&) const = default;
};

class ChunkChecksum {
 public:
  static constexpr std::int64_t kChunkRows = 1000;

  // REQUIRES: plan outlives the checksum.
  ChunkChecksum(const SqlTablePlan& plan, bool nullForBadDates);

  // The chunks of the server's table by number (key - 1) DIV kChunkRows, in order, each with
  // its row count and sum; only those from chunk `from` on and before chunk `to` when given.
  std::vector<std::pair<std::int64_t, ChunkSum>> ServerSums(sql::SqlConnection& db, const std::string& table,
                                                             std::optional<std::int64_t> from = std::nullopt,
                                                             std::optional<std::int64_t> to = std::nullopt) const;

  // Adds the source row with this key to sum. Throws EValueRefused as the load would.
  void AddRow(ChunkSum& sum, std::int64_t key, const ff::Row& row);
  // Chunks by number, in order, each with its row count and sum.
  using Chunks = std::vector<std::pair<std::int64_t, ChunkSum>>;
  // Adds the source row with this key (1..N, in order) to its chunk, the last of chunks or a
  // new one. Throws as AddRow.
  void AddToChunks(Chunks& chunks, std::int64_t key, const ff::Row& row);

  // Whether the server shows doubles as this checksum does: tried on values whose texts
  // differ only in their last digits or in notation. Where it does not, only a comparison
  // value by value can verify a table with doubles.
  static bool ServerShowsDoublesAlike(sql::SqlConnection& db);

 private:
  void appendPart(std::string_view text, bool withLength);

  const SqlTablePlan& plan_;
  bool nullForBadDates_;
  std::string scratch_;
  std::string row_;
};

// Appends a double as MariaDB shows a DOUBLE column: the shortest digits that read back to
// the same double, in plain notation when the point falls within 15 places before or 14
// after them, else as d.ddde<exponent>.
void AppendServerDouble(std::string& out, double d);
