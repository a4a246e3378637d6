// Compares a converted table on the server with its source: by sums of chunks of rows made
// on the server (see ChunkChecksum), and value by value (long values by length and MD5
// digest) only within a chunk whose sum differs, or for a whole table where the server shows
// doubles otherwise than the sums expect.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "convert/ChunkChecksum.h"
#include "convert/SqlTablePlan.h"
#include "sql/SqlConnection.h"
#include "store/Storage.h"

struct VerifyResult {
  std::int64_t identical = 0;  // rows whose every value matched
  std::int64_t sourceRows = 0;
  std::int64_t serverRows = 0;
  std::string firstDifference;  // empty when none: "rad N, felt F: ..."
  std::int64_t chunksComparedByValue = 0;  // chunks whose sums differed (a whole table as one)

  bool AllIdentical() const {
    return firstDifference.empty() && identical == sourceRows && serverRows == sourceRows;
  }
};

class TableVerifier {
 public:
  // REQUIRES: plan was made from source's fields and table was loaded from it with the same
  // nullForBadDates; source and stop outlive the verifier.
  TableVerifier(ff::TableStorage& source, const SqlTablePlan& plan, bool nullForBadDates,
                const std::atomic<bool>& stop);

  // Lets the server sum a table in up to `parts` ranges of keys at once, each of at least
  // leastChunks chunks, each range but the first on a connection of its own made by connect
  // (with the session settings of db).
  void SumInParts(int parts, std::int64_t leastChunks, std::function<std::unique_ptr<sql::SqlConnection>()> connect);

  // serverShowsDoublesAlike is ChunkChecksum::ServerShowsDoublesAlike of this server when known
  // (asked once for many tables), else it is asked here. sourceChunks, when given, are the
  // source's sums made as its rows were read for the load (ChunkChecksum::AddToChunks), so that
  // it is not read a second time. Throws sql::SqlError, EInterrupted or the source's ff::Error.
  VerifyResult Verify(sql::SqlConnection& db, const std::string& table,
                      std::optional<bool> serverShowsDoublesAlike = std::nullopt,
                      const ChunkChecksum::Chunks* sourceChunks = nullptr);

 private:
  bool hasDoubles() const;
  // The source's chunks by number, in order, each with its row count and sum.
  ChunkChecksum::Chunks sourceSums(const std::atomic<bool>& abandon);
  ChunkChecksum::Chunks serverSums(sql::SqlConnection& db, const std::string& table);
  // Sums the source and the server's copy at once.
  void sumBothSides(sql::SqlConnection& db, const std::string& table, ChunkChecksum::Chunks& source,
                    ChunkChecksum::Chunks& server);
  VerifyResult verifyBySums(sql::SqlConnection& db, const std::string& table, const ChunkChecksum::Chunks* summed);
  // Compares the server's rows with keys first..last (to the end when last is 0) with the
  // source's rows from number `first` on, adding to result.
  void compareValues(sql::SqlConnection& db, const std::string& table, std::int64_t first, std::int64_t last,
                     VerifyResult& result);
  // Empty when the server's row matches the source's; else what differs.
  std::string compareRow(const ff::Row& row, std::int64_t number, const char* const* values,
                         const unsigned long* lengths);
  std::string compareValue(const TargetColumn& column, const ff::Value& v, const char* const* values,
                           const unsigned long* lengths, int& position);

  ff::TableStorage& source_;
  const SqlTablePlan& plan_;
  bool nullForBadDates_;
  const std::atomic<bool>& stop_;
  std::string scratch_;
  int parts_ = 1;
  std::int64_t leastChunks_ = 1;
  std::function<std::unique_ptr<sql::SqlConnection>()> connect_;
};
