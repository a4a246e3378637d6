#include "store/TableCopy.h"

#include <strings.h>

#include <algorithm>
#include <vector>

#include "store/Backends.h"
#include "store/Errors.h"
#include "store/PrefetchCursor.h"
#include "store/Session.h"

namespace ff {

namespace {

constexpr const char* kLegacyExtension = ".ff2";

std::vector<IndexDef> indexesForCopy(const std::vector<IndexDef>& source, bool keepUnique) {
  std::vector<IndexDef> out = source;
  if (!keepUnique) {
    for (auto& ix : out) ix.options &= ~ixUnique;
  }
  return out;
}

// The table's name as its alias spells it.
std::string properName(TffSession& session, const std::string& alias, const std::string& table) {
  std::vector<std::string> names;
  session.GetTableNames(alias, "*", false, true, names);
  const auto it = std::find_if(names.begin(), names.end(), [&](const std::string& n) { return sameName(n, table); });
  return it == names.end() ? table : *it;
}

std::int64_t copyOne(TffSession& session, const std::string& fromAlias, const std::string& name,
                     const std::string& toAlias, bool keepUnique, bool publish) {
  auto source = session.OpenTable(fromAlias, name, {true, false});
  std::unique_ptr<RowCursor> rows = source->Scan({}, {}, std::nullopt, ScanDirection::Forward);
  // Reading the source on a thread of its own overlaps it with writing the copy.
  if (source->ScansOnAnyThread()) rows = std::make_unique<PrefetchCursor>(std::move(rows));
  return session.CreateFilledTable(toAlias, name, source->Fields(), indexesForCopy(source->Indexes(), keepUnique),
                                   *rows, publish);
}

bool isLegacyFile(const std::string& file) {
  const std::size_t n = std::char_traits<char>::length(kLegacyExtension);
  return file.size() > n && strcasecmp(file.c_str() + file.size() - n, kLegacyExtension) == 0;
}

// The table name of a file name of an alias folder; names from a server have no extension.
std::string withoutExtension(const std::string& file) {
  for (const StorageProvider* provider : StorageProviders()) {
    const std::string& ext = provider->Extension();
    if (file.size() > ext.size() && strcasecmp(file.c_str() + file.size() - ext.size(), ext.c_str()) == 0) {
      return file.substr(0, file.size() - ext.size());
    }
  }
  return file;
}

// Removes the tables of a copy that failed; one on a server that cannot be removed now stays
// hidden until its name is created again.
void dropQuietly(TffSession& session, const std::string& alias, const std::vector<std::string>& tables) {
  for (const std::string& table : tables) {
    try {
      session.DropTable(alias, table);
    } catch (const Error&) {
    }
  }
}

}  // namespace

std::int64_t CopyTable(TffSession& session, const std::string& fromAlias, const std::string& table,
                       const std::string& toAlias) {
  return copyOne(session, fromAlias, properName(session, fromAlias, table), toAlias, false, true);
}

void CopyAlias(TffSession& session, const std::string& fromAlias, const std::string& toAlias,
               const std::function<void(const std::string& table, std::int64_t rows)>& copied) {
  std::vector<std::string> files, existing;
  session.GetTableNames(fromAlias, "*", true, true, files);
  session.GetTableNames(toAlias, "*", false, true, existing);
  std::string clashes;
  for (const std::string& file : files) {
    const std::string name = withoutExtension(file);
    if (std::any_of(existing.begin(), existing.end(), [&](const std::string& e) { return sameName(e, name); })) {
      clashes += (clashes.empty() ? "" : ", ") + name;
    }
  }
  if (!clashes.empty()) throw Error("Tabellene finnes allerede i " + toAlias + ": " + clashes);
  std::vector<std::string> made;
  try {
    for (const std::string& file : files) {
      const std::string name = withoutExtension(file);
      const std::int64_t rows = copyOne(session, fromAlias, name, toAlias, !isLegacyFile(file), false);
      made.push_back(name);
      copied(name, rows);
    }
    session.PublishTables(toAlias, made);
  } catch (...) {
    dropQuietly(session, toAlias, made);
    throw;
  }
}

}  // namespace ff
