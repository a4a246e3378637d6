#include "store/ff2/Ff2Storage.h"

#include "store/Errors.h"
#include "store/ff2/Ff2Table.h"

namespace ff {

std::unique_ptr<TableStorage> Ff2Provider::Open(const std::string& path, const OpenMode&) {
  return std::make_unique<Ff2Table>(path);
}

void Ff2Provider::Create(const std::string& path, const std::vector<FieldDef>&, const std::vector<IndexDef>&) {
  throw EReadOnly("FlashFiler 2-filer kan bare leses: " + path);
}

}  // namespace ff
