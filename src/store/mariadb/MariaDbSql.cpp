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

// Hex digits of a sort key per character, with room to spare: ICU gives at most a few bytes a
// character at secondary strength.
constexpr int kSortKeyDigitsPerChar = 12;
// The longest key InnoDB indexes whole, in one-byte characters.
constexpr int kWholeKeyBytes = 3072;

int sortKeyDigits(const FieldDef& field) {
  return field.type == FieldType::String && field.size > 0 ? field.size * kSortKeyDigitsPerChar + 16 : 0;
}

bool isWholeSortKey(const FieldDef& field) {
  const int digits = sortKeyDigits(field);
  return digits > 0 && digits <= kWholeKeyBytes;
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

std::string SortKeyColumnName(int i) { return "`k" + std::to_string(i) + "`"; }

// Hex digits compare as bytes: the order of the keys is the order of the texts.
std::string SortKeyColumnType(const FieldDef& field) {
  const std::string type =
      isWholeSortKey(field) ? "VARCHAR(" + std::to_string(sortKeyDigits(field)) + ")" : std::string("MEDIUMTEXT");
  return type + " CHARACTER SET ascii COLLATE ascii_bin";
}

std::string SortKeyIndexPart(const FieldDef& field, int i, bool unique) {
  return SortKeyColumnName(i) + (unique || isWholeSortKey(field) ? "" : "(" + std::to_string(kIndexedChars) + ")");
}

std::string IndexKeyParts(const std::vector<FieldDef>& fields, const IndexDef& index) {
  const bool unique = (index.options & ixUnique) != 0;
  std::vector<int> seen;
  std::string keys;
  for (const auto& name : index.fields) {
    const int i = FieldPosition(fields, name);
    if (i < 0) throw ENotFound("Feltet " + name + " finnes ikke (indeks " + index.name + ")");
    if (std::find(seen.begin(), seen.end(), i) != seen.end()) continue;
    seen.push_back(i);
    const FieldDef& field = fields[static_cast<std::size_t>(i)];
    const bool bySortKey = (index.options & ixCaseInsensitive) && storageClassOf(field.type) == StorageClass::Text;
    keys += (keys.empty() ? "" : ", ") + (bySortKey ? SortKeyIndexPart(field, i, unique) : IndexKeyPart(field, i, unique)) +
            ((index.options & ixDescending) ? " DESC" : "");
  }
  return keys;
}

std::string SortKeyColumnDefinition(const FieldDef& field, int i) {
  return SortKeyColumnName(i) + " " + SortKeyColumnType(field) + " NULL";
}

std::string IndexDefinition(const std::vector<FieldDef>& fields, const IndexDef& index, int pos) {
  return std::string((index.options & ixUnique) ? "UNIQUE " : "") + "INDEX `ix" + std::to_string(pos) + "` (" +
         IndexKeyParts(fields, index) + ")";
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
