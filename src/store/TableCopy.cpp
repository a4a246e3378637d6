#include "store/TableCopy.h"

#include <filesystem>

#include "store/Aliases.h"
#include "store/Session.h"

namespace ff {

namespace {

// Unique indexes of legacy files may hold duplicates the old engine let through; the copy
// keeps every row and the index as an ordinary one.
std::vector<IndexDef> indexesForCopy(const std::vector<IndexDef>& source) {
  std::vector<IndexDef> out = source;
  for (auto& ix : out) ix.options &= ~ixUnique;
  return out;
}

}  // namespace

std::int64_t CopyTable(TffSession& session, const std::string& fromAlias, const std::string& table,
                       const std::string& toAlias) {
  auto source = session.OpenTable(fromAlias, table, {true, false});
  const std::string name = std::filesystem::path(FindTableFile(*AliasFolder(fromAlias), table).first).stem().string();
  auto rows = source->Scan({}, {}, std::nullopt, ScanDirection::Forward);
  return session.CreateFilledTable(toAlias, name, source->Fields(), indexesForCopy(source->Indexes()), *rows);
}

}  // namespace ff
