#include "convert/SqlTablePlan.h"

#include <algorithm>

#include "convert/TableSql.h"

namespace {

using ff::FieldType;

// Bytes MySQL counts for a row's columns (not counting long values), and for an index key.
constexpr int kRowBudget = 60000;
constexpr int kKeyBudget = 3072;
constexpr int kBytesPerChar = 4;  // utf8mb4
constexpr int kLongestVarchar = 255;

bool hasField(const std::vector<ff::FieldDef>& fields, const std::string& name) {
  for (const auto& f : fields) {
    if (ff::sameName(f.name, name)) return true;
  }
  return false;
}

std::string chooseKeyName(const std::vector<ff::FieldDef>& fields) {
  if (!hasField(fields, "id")) return "id";
  std::string name = "kvist_id";
  for (int n = 2; hasField(fields, name); ++n) name = "kvist_id" + std::to_string(n);
  return name;
}

TargetColumn sizedColumn(const ff::FieldDef& f, ColumnKind kind, const char* shortType, const char* longType,
                         int bytesPerUnit, int& rowBytes) {
  const int bytes = f.size * bytesPerUnit + 2;
  if (f.size > 0 && f.size <= kLongestVarchar && rowBytes + bytes <= kRowBudget) {
    rowBytes += bytes;
    return {f.name, kind, std::string(shortType) + "(" + std::to_string(f.size) + ")", false, f.size};
  }
  return {f.name, kind, longType, kind == ColumnKind::Binary};
}

// One of three deliberate maps from field type to MySQL column type: the lossless one of
// `kvist-ff convert`, a column per field that holds every value of its type exactly and reads
// naturally to other programs. TableSql's map is the window's traditional text; the server back
// end stores by storage class (store/mariadb/MariaDbSql).
TargetColumn columnFor(const ff::FieldDef& f, int& rowBytes) {
  switch (f.type) {
    case FieldType::String: return sizedColumn(f, ColumnKind::Text, "VARCHAR", "TEXT", kBytesPerChar, rowBytes);
    case FieldType::Bytes:
    case FieldType::VarBytes: return sizedColumn(f, ColumnKind::Binary, "VARBINARY", "LONGBLOB", 1, rowBytes);
    case FieldType::Smallint: return {f.name, ColumnKind::Integer, "SMALLINT"};
    case FieldType::Integer: return {f.name, ColumnKind::Integer, "INT"};
    case FieldType::Word: return {f.name, ColumnKind::Integer, "SMALLINT UNSIGNED"};
    case FieldType::LongWord: return {f.name, ColumnKind::Integer, "INT UNSIGNED"};
    case FieldType::Largeint: return {f.name, ColumnKind::Integer, "BIGINT"};
    // Both the store's signed counters and the unsigned 32-bit ones of .ff2 tables.
    case FieldType::AutoInc: return {f.name, ColumnKind::Integer, "BIGINT"};
    case FieldType::Boolean: return {f.name, ColumnKind::Boolean, "BOOLEAN"};
    case FieldType::Float:
    case FieldType::BCD: return {f.name, ColumnKind::Double, "DOUBLE"};
    case FieldType::Currency: return {f.name, ColumnKind::Currency, "DECIMAL(19,4)"};
    case FieldType::Date: return {f.name, ColumnKind::Date, "DATE"};
    case FieldType::Time: return {f.name, ColumnKind::Time, "TIME(3)"};
    case FieldType::DateTime: return {f.name, ColumnKind::DateTime, "DATETIME(3)"};
    case FieldType::Memo: return {f.name, ColumnKind::Text, "LONGTEXT", true};
    default: return {f.name, ColumnKind::Binary, "LONGBLOB", true};
  }
}

// Index names MySQL takes: "PRIMARY" and repeated or over-long names become "ix<n>".
std::vector<std::string> indexNames(const std::vector<ff::IndexDef>& indexes) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    std::string name = indexes[i].name;
    bool usable = !name.empty() && name.size() <= 64 && !ff::sameName(name, "PRIMARY");
    for (const auto& earlier : names) usable = usable && !ff::sameName(earlier, name);
    names.push_back(usable ? name : "ix" + std::to_string(i + 1));
  }
  return names;
}

}  // namespace

SqlTablePlan::SqlTablePlan(const std::vector<ff::FieldDef>& fields, const std::vector<ff::IndexDef>& indexes)
    : keyName_(chooseKeyName(fields)), indexes_(indexes) {
  int rowBytes = 0;
  for (const auto& f : fields) columns_.push_back(columnFor(f, rowBytes));
}

std::string SqlTablePlan::CreateSql(const std::string& table, const std::string& collation, bool withIndexes) const {
  std::string sql = "CREATE TABLE " + MySqlName(table) + " (" + MySqlName(keyName_) + " INT NOT NULL AUTO_INCREMENT";
  for (const auto& c : columns_) sql += ", " + MySqlName(c.name) + " " + c.sqlType + " NULL";
  sql += ", PRIMARY KEY (" + MySqlName(keyName_) + ")";
  if (withIndexes) {
    for (const auto& index : Indexes()) sql += ", INDEX " + index;
  }
  sql += ") ENGINE=InnoDB DEFAULT CHARSET=utf8mb4";
  return collation.empty() ? sql : sql + " COLLATE=" + collation;
}

std::string SqlTablePlan::indexPart(const std::string& field, int share, bool descending) const {
  std::string part;
  for (const auto& c : columns_) {
    if (!ff::sameName(c.name, field)) continue;
    part = MySqlName(c.name);
    const bool text = c.kind == ColumnKind::Text, binary = c.kind == ColumnKind::Binary;
    const int perChar = text ? kBytesPerChar : 1;
    if ((text || binary) && (c.length == 0 || c.length * perChar > share)) {
      // Long strings and BLOBs are indexed by as many leading characters as the key allows.
      part += "(" + std::to_string(std::max(1, share / perChar)) + ")";
    }
  }
  return part + (descending ? " DESC" : "");
}

std::vector<std::string> SqlTablePlan::Indexes() const {
  const auto names = indexNames(indexes_);
  std::vector<std::string> indexes;
  for (std::size_t i = 0; i < indexes_.size(); ++i) {
    const auto& ix = indexes_[i];
    const int share = kKeyBudget / static_cast<int>(ix.fields.size()) - 8;
    std::string index = MySqlName(names[i]) + " (";
    for (std::size_t k = 0; k < ix.fields.size(); ++k) {
      index += (k ? ", " : "") + indexPart(ix.fields[k], share, ix.options & ff::ixDescending);
    }
    indexes.push_back(index + ")");
  }
  return indexes;
}

std::string SqlTablePlan::IndexSql(const std::string& table) const {
  if (indexes_.empty()) return {};
  std::string sql = "ALTER TABLE " + MySqlName(table);
  const auto indexes = Indexes();
  for (std::size_t i = 0; i < indexes.size(); ++i) sql += std::string(i ? "," : "") + " ADD INDEX " + indexes[i];
  return sql;
}

std::string SqlTablePlan::LoadSql(const std::string& table) const {
  std::string sql = "LOAD DATA LOCAL INFILE 'rader' INTO TABLE " + MySqlName(table) +
                    " CHARACTER SET utf8mb4 FIELDS TERMINATED BY '\\t' ESCAPED BY '\\\\'"
                    " LINES TERMINATED BY '\\n' (" + MySqlName(keyName_);
  for (const auto& c : columns_) sql += ", " + MySqlName(c.name);
  return sql + ")";
}

std::string SqlTablePlan::SelectSql(const std::string& table, std::int64_t first, std::int64_t last) const {
  const std::string key = MySqlName(keyName_);
  std::string sql = "SELECT " + key;
  for (const auto& c : columns_) {
    const std::string name = MySqlName(c.name);
    sql += c.byDigest ? ", LENGTH(" + name + "), MD5(" + name + ")" : ", " + name;
  }
  sql += " FROM " + MySqlName(table);
  if (last != 0) sql += " WHERE " + key + " BETWEEN " + std::to_string(first) + " AND " + std::to_string(last);
  return sql + " ORDER BY " + key;
}
