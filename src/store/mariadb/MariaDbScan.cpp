#include "store/mariadb/MariaDbScan.h"

#include "store/mariadb/MariaDbSql.h"
#include "store/mariadb/MariaDbTableState.h"

namespace ff {

const ScanDialect& MariaDbScanDialect() {
  // MariaDB reads "a <= ? OR a IS NULL" as a range of the index.
  static const ScanDialect dialect{SqlDialect::MariaDb, &ColumnName, "_ff_id", "utf8mb4_general_nopad_ci", true,
                                   "18446744073709551615"};
  return dialect;
}

MariaDbScan::MariaDbScan(const MariaDbTableState& table, const RowSelection& sel, const RowOrder& order,
                         ScanDirection dir)
    : sql_(MariaDbScanDialect(), table.RowsTable(), table.fields, sel, order, dir) {}

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
