#include "store/mariadb/MariaDbScan.h"

#include "store/mariadb/MariaDbSql.h"
#include "store/mariadb/MariaDbTableState.h"

namespace ff {

namespace {

constexpr const char* kNoLimit = "18446744073709551615";
constexpr const char* kBytesParam = "CAST(? AS BINARY)";

std::string byServerCollation(int field) { return ColumnName(field) + " COLLATE utf8mb4_general_nopad_ci"; }

// A table of an earlier build keeps the server's order until an exclusive open renews it.
const ScanDialect& outdatedDialect() {
  static const ScanDialect dialect{SqlDialect::MariaDb, &ColumnName, "_ff_id", &byServerCollation, true, kNoLimit,
                                   kBytesParam, false};
  return dialect;
}

}  // namespace

const ScanDialect& MariaDbScanDialect() {
  // MariaDB reads "a <= ? OR a IS NULL" as a range of the index.
  static const ScanDialect dialect{SqlDialect::MariaDb, &ColumnName, "_ff_id", &SortKeyColumnName, true, kNoLimit,
                                   kBytesParam};
  return dialect;
}

MariaDbScan::MariaDbScan(const MariaDbTableState& table, const RowSelection& sel, const RowOrder& order,
                         ScanDirection dir)
    : sql_(table.sortKeysOutdated ? outdatedDialect() : MariaDbScanDialect(), table.RowsTable(), table.fields, sel,
           order, dir) {}

std::string MariaDbScan::WhereOf(const MariaDbTableState& table, const RowSelection& sel, std::vector<Value>& params) {
  return KeysetScanSql::WhereOf(MariaDbScanDialect(), table.fields, sel, params);
}

std::string MariaDbScan::Select(const std::optional<RowKey>& from, int limit, std::int64_t skip,
                                std::vector<Value>& params) const {
  // The server sorts text by its first 1024 bytes unless told otherwise. 64 KiB holds every
  // TEXT column whole (String fields up to 16,383 characters); longer memos sort by their
  // first 64 KiB. The sort buffer must hold a few such keys of each ordered column.
  return "SET STATEMENT max_sort_length = 65536, sort_buffer_size = 16777216 FOR " +
         sql_.Select(from, {std::int64_t{limit}, skip}, params);
}

std::string MariaDbScan::CountAfter(const RowKey& from, std::vector<Value>& params) const {
  return sql_.CountAfter(from, params);
}

}  // namespace ff
