#include "store/sqlite/SqliteSql.h"

#include <sqlite3.h>

#include "store/NorwegianOrder.h"
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

void sortKeyOf(sqlite3_context* context, int, sqlite3_value** args) {
  if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
  try {
    const std::string key = NorwegianSortKey(std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(args[0]))));
    sqlite3_result_text(context, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
  } catch (const std::exception& e) {
    sqlite3_result_error(context, e.what(), -1);
  }
}

}  // namespace

std::string SqliteColumn(int i) {
  // Every scan's SQL names every column: the names of the first ones are made once.
  static const std::vector<std::string> first = [] {
    std::vector<std::string> names;
    for (int n = 0; n < 128; ++n) names.push_back("c" + std::to_string(n));
    return names;
  }();
  if (i >= 0 && static_cast<std::size_t>(i) < first.size()) return first[static_cast<std::size_t>(i)];
  return "c" + std::to_string(i);
}

std::string SqliteSortKeyColumn(int i) { return "_ff_k" + std::to_string(i); }

void RegisterSortKeyFunction(sqlite3* db) {
  sqlite3_create_function_v2(db, "ff_sortkey", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &sortKeyOf, nullptr,
                             nullptr, nullptr);
}

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

void BindSortKeys(SqliteStatement& s, const std::vector<int>& keyFields, const std::vector<Value>& values, int first) {
  std::vector<Value> keys;
  AppendSortKeys(values, keyFields, keys);
  for (std::size_t k = 0; k < keys.size(); ++k) s.bind(first + static_cast<int>(k) + 1, keys[k]);
}

std::string InsertWithNextIdSql(const std::vector<FieldDef>& fields, const std::vector<int>& keyFields) {
  std::string cols = "rowid";
  std::string values = "(SELECT n + 1 FROM _ff_lastid)";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    cols += ", " + SqliteColumn(static_cast<int>(i));
    values += ", ?";
  }
  for (int f : keyFields) {
    cols += ", " + SqliteSortKeyColumn(f);
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
