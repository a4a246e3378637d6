// The read-only back end for FlashFiler 2 table files (.ff2): tables are served from their
// files without being copied (see Ff2Table), and order, filters and ranges work as on any table.
#pragma once

#include "store/Storage.h"

namespace ff {

class Ff2Provider : public StorageProvider {
 public:
  std::string Extension() const override { return ".ff2"; }
  // Throws ECannotOpen naming the file and what is wrong (damaged, encrypted, unknown version).
  std::unique_ptr<TableStorage> Open(const std::string& path, const OpenMode& mode) override;
  // Throws EReadOnly: .ff2 files are only read.
  void Create(const std::string& path, const std::vector<FieldDef>& fields,
              const std::vector<IndexDef>& indexes) override;
};

}  // namespace ff
