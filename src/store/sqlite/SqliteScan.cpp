#include "store/sqlite/SqliteScan.h"

#include "store/sqlite/SqliteFile.h"
#include "store/sqlite/SqliteSql.h"

namespace ff {

const ScanDialect& SqliteScanDialect() {
  // Its planner reads no "a <= ? OR a IS NULL" as an index range: backward seeks go unbounded.
  static const ScanDialect dialect{SqlDialect::Sqlite, &SqliteColumn, "rowid", "NOCASE", false, "-1"};
  return dialect;
}

KeysetScanSql SqliteScanOf(const SqliteFile& file, const RowSelection& sel, const RowOrder& order, ScanDirection dir) {
  return KeysetScanSql(SqliteScanDialect(), "rows", file.fields, sel, order, dir);
}

}  // namespace ff
