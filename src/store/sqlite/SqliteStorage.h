// The SQLite back end: one SQLite file per table, named <TABLE>.ffdb in the alias folder.
// Columns are stored positionally (c0, c1, ...); the field and index dictionary is kept
// beside the rows, so any field name (blanks, "-", quotes) is safe.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/Storage.h"

namespace ff {

class SqliteProvider : public StorageProvider {
 public:
  std::string Extension() const override { return ".ffdb"; }
  std::unique_ptr<TableStorage> Open(const std::string& path, const OpenMode& mode) override;
  void Create(const std::string& path, const std::vector<FieldDef>& fields,
              const std::vector<IndexDef>& indexes) override;
  // Writes the rows into a file aside without journal, builds the indexes, then renames it
  // into place: the table appears whole or not at all.
  std::int64_t CreateFilled(const std::string& path, const std::vector<FieldDef>& fields,
                            const std::vector<IndexDef>& indexes, RowCursor& rows) override;
};

// Builds a read-only scratch table from rows handed to `fill` (for back ends that decode other
// file formats and want SQLite's orders and filters). `fill` calls its argument once per row
// with the row's id. The table lives in a temporary file that SQLite caches in memory only up
// to its page cache, so big tables do not grow the process; it is gone when the table is
// destroyed. Indexes are built after the rows are in.
using RowSink = std::function<void(RowId, const std::vector<Value>&)>;
std::unique_ptr<TableStorage> MakeScratchTable(const std::vector<FieldDef>& fields,
                                               const std::vector<IndexDef>& indexes,
                                               const std::function<void(const RowSink&)>& fill);

}  // namespace ff
