// The SQLite back end: one SQLite file per table, named <TABLE>.ffdb in the alias folder.
// Columns are stored positionally (c0, c1, ...); the field and index dictionary is kept
// beside the rows, so any field name (blanks, "-", quotes) is safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/Backends.h"
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

// A read-only scratch table (see MakeScratchTable) in a temporary file that SQLite caches in
// memory only up to its page cache, so big tables do not grow the process. Indexes are built
// after the rows are in.
std::unique_ptr<TableStorage> MakeSqliteScratchTable(const std::vector<FieldDef>& fields,
                                                     const std::vector<IndexDef>& indexes, const RowFill& fill);

}  // namespace ff
