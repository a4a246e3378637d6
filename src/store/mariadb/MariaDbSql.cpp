#include "store/mariadb/MariaDbSql.h"

#include <algorithm>
#include <cctype>

#include "store/Errors.h"
#include "text/SqlQuote.h"

namespace ff {

namespace {

// Longest text kept in a TEXT column (65535 bytes of up to four bytes a character).
constexpr int kTextChars = 16383;
// Longest indexed text kept whole in a VARCHAR; longer ones are indexed by this prefix.
constexpr int kIndexedChars = 255;

bool isWholeVarchar(const FieldDef& field, bool indexed) {
  return indexed && field.type == FieldType::String && field.size > 0 && field.size <= kIndexedChars;
}

}  // namespace

std::string QuoteIdentifier(const std::string& name) { return SqlQuoted(name, '`'); }

std::string ColumnName(int i) { return "`c" + std::to_string(i) + "`"; }

// One of three deliberate maps from field type to MySQL column type: the store's own tables on
// a server keep each value in its storage class (as the SQLite back end does), since the field
// dictionary beside them holds the real types. Conversions to plain MySQL tables use the
// conversion engine's maps instead.
std::string ColumnType(const FieldDef& field, bool indexed) {
  switch (storageClassOf(field.type)) {
    case StorageClass::Integer:
      return "BIGINT";
    case StorageClass::Real:
      return "DOUBLE";
    case StorageClass::Bytes:
      return "LONGBLOB";
    case StorageClass::Text:
      break;
  }
  if (isWholeVarchar(field, indexed)) return "VARCHAR(" + std::to_string(field.size) + ")";
  return field.type == FieldType::String && field.size <= kTextChars ? "TEXT" : "LONGTEXT";
}

std::string IndexKeyPart(const FieldDef& field, int i, bool unique) {
  const StorageClass storage = storageClassOf(field.type);
  const bool whole =
      unique || storage == StorageClass::Integer || storage == StorageClass::Real || isWholeVarchar(field, true);
  return ColumnName(i) + (whole ? "" : "(" + std::to_string(kIndexedChars) + ")");
}

std::string IndexKeys(const std::vector<FieldDef>& fields, const IndexDef& index) {
  std::vector<int> seen;
  std::string keys;
  for (const auto& name : index.fields) {
    const int i = FieldPosition(fields, name);
    if (i < 0) throw ENotFound("Feltet " + name + " finnes ikke (indeks " + index.name + ")");
    if (std::find(seen.begin(), seen.end(), i) != seen.end()) continue;
    seen.push_back(i);
    keys += (keys.empty() ? "" : ", ") + IndexKeyPart(fields[static_cast<std::size_t>(i)], i, (index.options & ixUnique) != 0) +
            ((index.options & ixDescending) ? " DESC" : "");
  }
  return keys;
}

std::vector<bool> BinaryColumns(const std::vector<FieldDef>& fields) {
  std::vector<bool> binary;
  for (const FieldDef& f : fields) binary.push_back(storageClassOf(f.type) == StorageClass::Bytes);
  return binary;
}

bool IsIndexed(const std::vector<IndexDef>& indexes, const std::string& field) {
  return std::any_of(indexes.begin(), indexes.end(), [&](const IndexDef& ix) {
    return std::any_of(ix.fields.begin(), ix.fields.end(), [&](const std::string& f) { return sameName(f, field); });
  });
}

int FieldPosition(const std::vector<FieldDef>& fields, const std::string& name) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (sameName(fields[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::string NameKey(const std::string& name) {
  std::string key = name;
  std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return key;
}

}  // namespace ff
