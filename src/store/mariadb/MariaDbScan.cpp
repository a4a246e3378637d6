#include "store/mariadb/MariaDbScan.h"

#include "store/mariadb/MariaDbSql.h"
#include "store/mariadb/MariaDbTableState.h"

namespace ff {

namespace {

constexpr const char* kNoLimit = "18446744073709551615";

std::string byServerCollation(int field) { return ColumnName(field) + " COLLATE utf8mb4_general_nopad_ci"; }

// A table of an earlier build keeps the server's order until an exclusive open renews it.
const ScanDialect& outdatedDialect() {
  static const ScanDialect dialect{SqlDialect::MariaDb, &ColumnName, "_ff_id", &byServerCollation, true, kNoLimit,
                                   false};
  return dialect;
}

}  // namespace

const ScanDialect& MariaDbScanDialect() {
  // MariaDB reads "a <= ? OR a IS NULL" as a range of the index.
  static const ScanDialect dialect{SqlDialect::MariaDb, &ColumnName, "_ff_id", &SortKeyColumnName, true, kNoLimit};
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
  // The server sorts text by its first 1024 bytes unless told otherwise; this is its most.
  return "SET STATEMENT max_sort_length = 8388608 FOR " + sql_.Select(from, {std::int64_t{limit}, skip}, params);
}

std::string MariaDbScan::CountAfter(const RowKey& from, std::vector<Value>& params) const {
  return sql_.CountAfter(from, params);
}

}  // namespace ff
