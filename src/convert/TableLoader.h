// Streams the rows of a store table into a MySQL table with the server's bulk path (LOAD DATA
// LOCAL INFILE fed from memory): a second thread reads and encodes the next rows while the
// server takes the last, through a short queue, so memory stays flat however long the table.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
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

// Thrown when the stop flag was raised during a load.
class EInterrupted : public std::runtime_error {
 public:
  EInterrupted() : std::runtime_error("avbrutt") {}
};

class TableLoader {
 public:
  // REQUIRES: plan was made from source's fields; source and stop outlive the loader.
  TableLoader(ff::TableStorage& source, const SqlTablePlan& plan, bool nullForBadDates,
              const std::atomic<bool>& stop);

  // Loads every row of the source, in physical order, into `table` (made from the plan),
  // numbering the key 1..N. onProgress gets the rows handed to the server so far.
  // Throws EValueRefused (naming row, field and value), sql::SqlError, EInterrupted or the
  // source's ff::Error; the table may then hold some of the rows.
  LoadCounts Load(sql::SqlConnection& db, const std::string& table,
                  const std::function<void(std::int64_t rowsSent)>& onProgress);

 private:
  void encodeRows(class ChunkQueue& queue, LoadCounts& counts);
  void appendRow(std::string& out, std::int64_t number, const ff::Row& row, LoadCounts& counts);

  ff::TableStorage& source_;
  const SqlTablePlan& plan_;
  bool nullForBadDates_;
  const std::atomic<bool>& stop_;
  std::string scratch_;  // text of a non-text value in a text column
};
