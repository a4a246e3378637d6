// Streams the rows of a store table into a MySQL table with the server's bulk path (LOAD DATA
// LOCAL INFILE fed from memory): a second thread reads and encodes the next rows while the
// server takes the last, through a short queue, so memory stays flat however long the table.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "convert/SqlTablePlan.h"
#include "sql/SqlConnection.h"
#include "store/Storage.h"

struct LoadCounts {
  std::int64_t rowsRead = 0;
  std::uint64_t rowsWritten = 0;
  std::int64_t blobBytes = 0;  // bytes of memo and BLOB values
  std::int64_t madeNull = 0;   // dates the target cannot hold, written as NULL
};

// A value refused, or made NULL, on its way to the server.
struct ValueRejection {
  std::int64_t row = 0;  // 1..N in the source's physical order
  std::string field;
  std::string value;  // as the message shows it
  std::string reason;
  bool madeNull = false;  // written as NULL (dates out of range, when asked) rather than refused
};
using RejectionSink = std::function<void(const ValueRejection&)>;
// Told of every row read, with its number 1..N, on the reading thread (until a value is refused).
using RowSink = std::function<void(std::int64_t number, const ff::Row& row)>;

// Thrown when the stop flag was raised during a load.
class EInterrupted : public std::runtime_error {
 public:
  EInterrupted() : std::runtime_error("avbrutt") {}
};

class TableLoader {
 public:
  // onRejected (may be empty) is told of every value refused or made NULL, and onRow (may be
  // empty) of every row, on the reading thread. REQUIRES: plan was made from source's fields;
  // source and stop outlive the loader.
  TableLoader(ff::TableStorage& source, const SqlTablePlan& plan, bool nullForBadDates,
              const std::atomic<bool>& stop, RejectionSink onRejected = {}, RowSink onRow = {});

  // Loads every row of the source, in physical order, into `table` (made from the plan),
  // numbering the key 1..N. onProgress gets the rows handed to the server so far. After a
  // refused value no more rows go to the server, but the rest are still read so that every
  // refused value is told to onRejected.
  // Throws EValueRefused (naming row, field and value of the first), sql::SqlError,
  // EInterrupted or the source's ff::Error; the table may then hold some of the rows.
  LoadCounts Load(sql::SqlConnection& db, const std::string& table,
                  const std::function<void(std::int64_t rowsSent)>& onProgress);

  // Writes the text Load would send (the same lines, values and escapes) to out, for loading
  // it otherwise. Throws as Load does, but for sql::SqlError.
  LoadCounts WriteText(std::ostream& out);

 private:
  // Hands the encoded rows on in chunks, each with the rows encoded up to its end; push
  // returns false when nothing more is wanted.
  using ChunkSink = std::function<bool(std::string&& bytes, std::int64_t rowsUpTo)>;
  void encodeRows(const ChunkSink& push, LoadCounts& counts);
  void appendRow(std::string& out, std::int64_t number, const ff::Row& row, LoadCounts& counts);
  void appendValue(std::string& out, std::int64_t number, const TargetColumn& column, const ff::Value& v,
                   LoadCounts& counts);
  void reject(std::int64_t number, const TargetColumn& column, const EValueRefused& refused, bool madeNull);

  ff::TableStorage& source_;
  const SqlTablePlan& plan_;
  bool nullForBadDates_;
  const std::atomic<bool>& stop_;
  RejectionSink onRejected_;
  RowSink onRow_;
  std::optional<EValueRefused> firstRefused_;
  std::string scratch_;  // text of a non-text value in a text column
};
