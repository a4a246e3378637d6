#include "store/ff2/Ff2Storage.h"

#include "store/Errors.h"
#include "store/sqlite/SqliteStorage.h"
#include "store/ff2/Ff2File.h"

namespace ff {

namespace {

bool hasField(const std::vector<FieldDef>& fields, const std::string& name) {
  for (const auto& f : fields) {
    if (sameName(f.name, name)) return true;
  }
  return false;
}

// Indexes the store can order by: named fields that the table has. Custom-comparison
// indexes of the file have no fields and are left out.
std::vector<IndexDef> usableIndexes(const ff2::Ff2File& file) {
  std::vector<IndexDef> out;
  for (IndexDef ix : file.indexes()) {
    bool ok = !ix.fields.empty();
    for (const auto& f : ix.fields) ok = ok && hasField(file.fields(), f);
    ix.options &= ~ixUnique;  // the file's own data decides; never refuse to load it
    if (ok) out.push_back(ix);
  }
  return out;
}

}  // namespace

std::unique_ptr<TableStorage> Ff2Provider::Open(const std::string& path, const OpenMode&) {
  ff2::Ff2File file(path);
  return MakeMemoryTable(file.fields(), usableIndexes(file), [&](const RowSink& sink) {
    file.forEachRecord([&](const ff2::Ff2Record& record) { sink(record.values); });
  });
}

void Ff2Provider::Create(const std::string& path, const std::vector<FieldDef>&, const std::vector<IndexDef>&) {
  throw EReadOnly("FlashFiler 2-filer kan bare leses: " + path);
}

}  // namespace ff
