#include "store/sqlite/SqliteScan.h"

#include "store/sqlite/SqliteFile.h"
#include "store/sqlite/SqliteSql.h"

namespace ff {

namespace {

std::string sortKeyComputed(int field) { return "ff_sortkey(" + SqliteColumn(field) + ")"; }

// A file of an earlier build opened read-only has no sort key columns: its scans compute the
// keys as they go, slower but in the same order.
const ScanDialect& outdatedDialect() {
  static const ScanDialect dialect{SqlDialect::Sqlite, &SqliteColumn, "rowid", &sortKeyComputed, false, "-1",
                                   "CAST(? AS BLOB)"};
  return dialect;
}

}  // namespace

const ScanDialect& SqliteScanDialect() {
  // Its planner reads no "a <= ? OR a IS NULL" as an index range: backward seeks go unbounded.
  static const ScanDialect dialect{SqlDialect::Sqlite, &SqliteColumn, "rowid", &SqliteSortKeyColumn, false, "-1",
                                   "CAST(? AS BLOB)"};
  return dialect;
}

KeysetScanSql SqliteScanOf(const SqliteFile& file, const RowSelection& sel, const RowOrder& order, ScanDirection dir) {
  const ScanDialect& dialect = file.sortKeysOutdated ? outdatedDialect() : SqliteScanDialect();
  return KeysetScanSql(dialect, "rows", file.fields, sel, order, dir);
}

}  // namespace ff
