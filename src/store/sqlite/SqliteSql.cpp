#include "store/sqlite/SqliteSql.h"

#include "store/sqlite/SqliteStatement.h"

namespace ff {

namespace {

// True when v is held as values of type t are stored (or null): it needs no conversion.
bool storedAsIs(const Value& v, FieldType t) {
  if (std::holds_alternative<ScaledCurrency>(v)) return false;  // the store keeps doubles
  switch (storageClassOf(t)) {
    case StorageClass::Integer: return !std::holds_alternative<double>(v) && !std::holds_alternative<std::string>(v);
    case StorageClass::Real: return !std::holds_alternative<std::int64_t>(v) && !std::holds_alternative<std::string>(v);
    default: return !std::holds_alternative<std::int64_t>(v) && !std::holds_alternative<double>(v);
  }
}

}  // namespace

std::string SqliteColumn(int i) { return "c" + std::to_string(i); }

void BindRow(SqliteStatement& s, const std::vector<FieldDef>& fields, const std::vector<Value>& values, int first) {
  static const Value null;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const FieldType t = fields[i].type;
    const Value& v = i < values.size() ? values[i] : null;
    const bool asBlob = storageClassOf(t) == StorageClass::Bytes;
    if (storedAsIs(v, t)) {
      s.bind(first + static_cast<int>(i) + 1, v, asBlob, true);
    } else {
      s.bind(first + static_cast<int>(i) + 1, valueAsStored(v, t), asBlob);
    }
  }
}

std::string InsertWithNextIdSql(const std::vector<FieldDef>& fields) {
  std::string cols = "rowid";
  std::string values = "(SELECT n + 1 FROM _ff_lastid)";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    cols += ", " + SqliteColumn(static_cast<int>(i));
    values += ", ?";
  }
  return "INSERT INTO rows (" + cols + ") VALUES (" + values + ")";
}

std::string InsertSql(const std::vector<FieldDef>& fields, bool withRowId, std::size_t rowCount) {
  if (fields.empty() && !withRowId) return "INSERT INTO rows DEFAULT VALUES";
  std::string cols = withRowId ? "rowid" : "";
  std::string marks = withRowId ? "?" : "";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    cols += (cols.empty() ? "" : ", ") + SqliteColumn(static_cast<int>(i));
    marks += marks.empty() ? "?" : ", ?";
  }
  std::string values = "(" + marks + ")";
  for (std::size_t r = 1; r < rowCount; ++r) values += ", (" + marks + ")";
  return "INSERT INTO rows (" + cols + ") VALUES " + values;
}

}  // namespace ff
