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
};

// Builds a read-only table held in memory from rows handed to `fill` (for back ends that
// decode other file formats). `fill` calls its argument once per row, in physical order.
using RowSink = std::function<void(const std::vector<Value>&)>;
std::unique_ptr<TableStorage> MakeMemoryTable(const std::vector<FieldDef>& fields,
                                              const std::vector<IndexDef>& indexes,
                                              const std::function<void(const RowSink&)>& fill);

}  // namespace ff
