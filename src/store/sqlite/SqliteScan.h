// The SQL of a scan over the rows of a SQLite table file (see KeysetScanSql).
#pragma once

#include "store/KeysetScanSql.h"
#include "store/Storage.h"

namespace ff {

class SqliteFile;

// How SQLite's SQL names and compares what a scan needs.
const ScanDialect& SqliteScanDialect();

// The scan of a selection of the file's rows in an order. Throws EBadFilter for a filter
// naming unknown fields.
KeysetScanSql SqliteScanOf(const SqliteFile& file, const RowSelection& sel, const RowOrder& order, ScanDirection dir);

}  // namespace ff
