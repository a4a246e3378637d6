// The SQL of a scan over a store table on MariaDB (see KeysetScanSql): the selection, the
// order, and the seek past a row key that lets a scan go on in batches from where it stopped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/KeysetScanSql.h"
#include "store/Storage.h"

namespace ff {

class MariaDbTableState;

// How MariaDB's SQL names and compares what a scan needs.
const ScanDialect& MariaDbScanDialect();

class MariaDbScan {
 public:
  // Throws EBadFilter for a filter naming unknown fields.
  MariaDbScan(const MariaDbTableState& table, const RowSelection& sel, const RowOrder& order, ScanDirection dir);

  // The conditions of a selection alone, appending their values to params; empty for all rows.
  static std::string WhereOf(const MariaDbTableState& table, const RowSelection& sel, std::vector<Value>& params);
  // Up to `limit` rows (id, then the fields) strictly after `from` in this scan's direction
  // (all rows when empty), after skipping `skip`.
  std::string Select(const std::optional<RowKey>& from, int limit, std::int64_t skip, std::vector<Value>& params) const;
  // Counts the rows strictly after `from` in this scan's direction.
  std::string CountAfter(const RowKey& from, std::vector<Value>& params) const;
  const RowOrder& Order() const { return sql_.Order(); }

 private:
  KeysetScanSql sql_;
};

}  // namespace ff
