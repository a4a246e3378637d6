#include "store/mariadb/MariaDbScan.h"

#include "store/KeysetSeek.h"
#include "store/mariadb/MariaDbSql.h"
#include "store/mariadb/MariaDbTableState.h"

namespace ff {

namespace {

void addCondition(std::string& where, const std::string& condition) {
  where += (where.empty() ? "" : " AND ") + condition;
}

}  // namespace

MariaDbScan::MariaDbScan(const MariaDbTableState& table, const RowSelection& sel, const RowOrder& order,
                         ScanDirection dir)
    : table_(table), order_(order), ascending_((dir == ScanDirection::Forward) != order.descending) {
  where_ = WhereOf(table, sel, params_);
}

std::string MariaDbScan::WhereOf(const MariaDbTableState& table, const RowSelection& sel, std::vector<Value>& params) {
  std::string where;
  if (sel.filter) {
    addCondition(where, sel.filter->ToSql(
                            [&](const std::string& name) -> std::optional<FilterColumn> {
                              const int i = FieldPosition(table.fields, name);
                              if (i < 0) return std::nullopt;
                              return FilterColumn{ColumnName(i), table.fields[static_cast<std::size_t>(i)].type};
                            },
                            params, SqlDialect::MariaDb));
  }
  for (const auto& [field, value] : sel.equal) {
    if (isNull(value)) {
      addCondition(where, ColumnName(field) + " IS NULL");
    } else {
      addCondition(where, ColumnName(field) + " = ?");
      params.push_back(valueAsStored(value, table.fields.at(static_cast<std::size_t>(field)).type));
    }
  }
  return where;
}

std::string MariaDbScan::term(int f) const {
  const bool nocase = order_.caseInsensitive &&
                      storageClassOf(table_.fields.at(static_cast<std::size_t>(f)).type) == StorageClass::Text;
  return ColumnName(f) + (nocase ? " COLLATE utf8mb4_general_nopad_ci" : "");
}

Value MariaDbScan::keyValue(int f, const Value& v) const {
  return valueAsStored(v, table_.fields.at(static_cast<std::size_t>(f)).type);
}

// NULL comes first in ascending order, as in the SQLite back end.
std::string MariaDbScan::beyond(int f, const Value& v, std::vector<Value>& params) const {
  if (ascending_) {
    if (isNull(v)) return ColumnName(f) + " IS NOT NULL";
    params.push_back(keyValue(f, v));
    return term(f) + " > ?";
  }
  if (isNull(v)) return "0";
  params.push_back(keyValue(f, v));
  return "(" + term(f) + " < ? OR " + ColumnName(f) + " IS NULL)";
}

std::string MariaDbScan::equal(int f, const Value& v, std::vector<Value>& params) const {
  if (isNull(v)) return ColumnName(f) + " IS NULL";
  params.push_back(keyValue(f, v));
  return term(f) + " = ?";
}

// (a > ?) OR (a = ? AND b > ?) OR (a = ? AND b = ? AND id > ?), led by a >= ? (or a <= ?, NULL
// coming last backwards) so that the server reads the index from the key on.
std::string MariaDbScan::seekCondition(const RowKey& key, std::vector<Value>& params) const {
  std::string leading;
  if (!order_.fields.empty() && !isNull(key.values.at(0))) {
    const int f = order_.fields[0];
    leading = ascending_ ? term(f) + " >= ? AND " : "(" + term(f) + " <= ? OR " + ColumnName(f) + " IS NULL) AND ";
    params.push_back(keyValue(f, key.values[0]));
  }
  const std::string any = KeysetCondition(
      order_.fields.size(),
      [&](std::size_t i, std::vector<Value>& p) { return beyond(order_.fields[i], key.values.at(i), p); },
      [&](std::size_t i, std::vector<Value>& p) { return equal(order_.fields[i], key.values.at(i), p); },
      std::string("_ff_id ") + (ascending_ ? ">" : "<") + " ?", Value{key.id}, params);
  return leading + "(" + any + ")";
}

std::string MariaDbScan::whereWith(const std::optional<RowKey>& from, std::vector<Value>& params) const {
  params = params_;
  std::string where = where_;
  if (from) addCondition(where, seekCondition(*from, params));
  return where.empty() ? "" : " WHERE " + where;
}

std::string MariaDbScan::Select(const std::optional<RowKey>& from, int limit, std::int64_t skip,
                                std::vector<Value>& params) const {
  std::string sql = "SELECT _ff_id";
  for (std::size_t i = 0; i < table_.fields.size(); ++i) sql += ", " + ColumnName(static_cast<int>(i));
  sql += " FROM " + table_.RowsTable() + whereWith(from, params) + " ORDER BY ";
  const char* dir = ascending_ ? " ASC" : " DESC";
  for (int f : order_.fields) sql += term(f) + dir + ", ";
  sql += std::string("_ff_id") + dir + " LIMIT ?";
  params.emplace_back(std::int64_t{limit});
  if (skip > 0) {
    sql += " OFFSET ?";
    params.emplace_back(skip);
  }
  return sql;
}

std::string MariaDbScan::CountAfter(const RowKey& from, std::vector<Value>& params) const {
  return "SELECT COUNT(*) FROM " + table_.RowsTable() + whereWith(from, params);
}

}  // namespace ff
