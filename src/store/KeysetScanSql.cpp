#include "store/KeysetScanSql.h"

#include <cstring>

#include "store/KeysetSeek.h"
#include "store/NorwegianOrder.h"

namespace ff {

namespace {

void addCondition(std::string& where, const std::string& condition) {
  where += (where.empty() ? "" : " AND ") + condition;
}

std::string placeholder(const ScanDialect& dialect, const FieldDef& field) {
  return storageClassOf(field.type) == StorageClass::Bytes ? dialect.bytesParam : "?";
}

}  // namespace

KeysetScanSql::KeysetScanSql(const ScanDialect& dialect, std::string table, const std::vector<FieldDef>& fields,
                             const RowSelection& sel, const RowOrder& order, ScanDirection dir)
    : dialect_(dialect),
      table_(std::move(table)),
      fields_(fields),
      order_(order),
      ascending_((dir == ScanDirection::Forward) != order.descending) {
  where_ = WhereOf(dialect, fields, sel, params_);
}

std::string KeysetScanSql::WhereOf(const ScanDialect& dialect, const std::vector<FieldDef>& fields,
                                   const RowSelection& sel, std::vector<Value>& params) {
  std::string where;
  if (sel.filter) {
    const auto resolve = [&](const std::string& name) -> std::optional<FilterColumn> {
      const int i = physicalFieldIndex(fields, name);
      if (i < 0) return std::nullopt;
      return FilterColumn{dialect.column(i), fields[static_cast<std::size_t>(i)].type};
    };
    addCondition(where, sel.filter->ToSql(resolve, params, dialect.filters));
  }
  for (const auto& [field, value] : sel.equal) {
    if (isNull(value)) {
      addCondition(where, dialect.column(field) + " IS NULL");
    } else {
      addCondition(where, dialect.column(field) + " = " + placeholder(dialect, fields.at(static_cast<std::size_t>(field))));
      params.push_back(valueAsStored(value, fields.at(static_cast<std::size_t>(field)).type));
    }
  }
  return where;
}

bool KeysetScanSql::bySortKey(int f) const {
  return order_.caseInsensitive && storageClassOf(fields_.at(static_cast<std::size_t>(f)).type) == StorageClass::Text;
}

std::string KeysetScanSql::param(int f) const {
  return bySortKey(f) ? "?" : placeholder(dialect_, fields_.at(static_cast<std::size_t>(f)));
}

std::string KeysetScanSql::term(int f) const { return bySortKey(f) ? dialect_.sortKey(f) : dialect_.column(f); }

// Keys built elsewhere (FindKey) compare as the stored values do.
Value KeysetScanSql::keyValue(int f, const Value& v) const {
  const Value stored = valueAsStored(v, fields_.at(static_cast<std::size_t>(f)).type);
  return bySortKey(f) && dialect_.comparesSortKeys ? NorwegianSortKeyOf(stored) : stored;
}

// NULL comes first in ascending order.
std::string KeysetScanSql::beyond(int f, const Value& v, std::vector<Value>& params) const {
  if (ascending_) {
    if (isNull(v)) return dialect_.column(f) + " IS NOT NULL";
    params.push_back(keyValue(f, v));
    return term(f) + " > " + param(f);
  }
  if (isNull(v)) return "0";
  params.push_back(keyValue(f, v));
  return "(" + term(f) + " < " + param(f) + " OR " + dialect_.column(f) + " IS NULL)";
}

std::string KeysetScanSql::equal(int f, const Value& v, std::vector<Value>& params) const {
  if (isNull(v)) return dialect_.column(f) + " IS NULL";
  params.push_back(keyValue(f, v));
  return term(f) + " = " + param(f);
}

// a >= ? (or a <= ?, NULL coming last backwards), so that the index is read from the key on.
std::string KeysetScanSql::leadingBound(const RowKey& key, std::vector<Value>& params) const {
  if (order_.fields.empty() || isNull(key.values.at(0))) return "";
  if (!ascending_ && !dialect_.boundsBackwardSeek) return "";
  const int f = order_.fields[0];
  params.push_back(keyValue(f, key.values[0]));
  if (ascending_) return term(f) + " >= " + param(f) + " AND ";
  return "(" + term(f) + " <= " + param(f) + " OR " + dialect_.column(f) + " IS NULL) AND ";
}

// (a > ?) OR (a = ? AND b > ?) OR (a = ? AND b = ? AND id > ?), after the leading bound.
std::string KeysetScanSql::seekCondition(const RowKey& key, std::vector<Value>& params) const {
  const std::string leading = leadingBound(key, params);
  const std::string any = KeysetCondition(
      order_.fields.size(),
      [&](std::size_t i, std::vector<Value>& p) { return beyond(order_.fields[i], key.values.at(i), p); },
      [&](std::size_t i, std::vector<Value>& p) { return equal(order_.fields[i], key.values.at(i), p); },
      std::string(dialect_.rowId) + (ascending_ ? " > ?" : " < ?"), Value{key.id}, params);
  return leading + "(" + any + ")";
}

void KeysetScanSql::appendWhere(std::string& sql, const std::optional<RowKey>& from, std::vector<Value>& params) const {
  params = params_;
  if (where_.empty() && !from) return;
  sql += " WHERE ";
  sql += where_;
  if (from) sql += (where_.empty() ? "" : " AND ") + seekCondition(*from, params);
}

void KeysetScanSql::appendColumns(std::string& sql, bool keysOnly) const {
  if (keysOnly) {
    sql += dialect_.rowId;
    for (int f : order_.fields) {
      sql += ", ";
      sql += dialect_.column(f);
    }
    return;
  }
  // Every row-reading scan names all its table's columns, and a narrower table's list is the
  // start of a wider one's: one list, as wide as the widest table yet, serves every table.
  struct AllColumns {
    std::string (*column)(int) = nullptr;
    const char* rowId = nullptr;
    std::string list;
    std::vector<std::size_t> ends;  // ends[n]: the length of the list's first n columns
  };
  thread_local AllColumns kept;
  if (kept.column != dialect_.column || kept.rowId != dialect_.rowId) {
    kept = {dialect_.column, dialect_.rowId, dialect_.rowId, {std::strlen(dialect_.rowId)}};
  }
  while (kept.ends.size() <= fields_.size()) {
    kept.list += ", ";
    kept.list += dialect_.column(static_cast<int>(kept.ends.size() - 1));
    kept.ends.push_back(kept.list.size());
  }
  sql.append(kept.list, 0, kept.ends[fields_.size()]);
}

std::string KeysetScanSql::limitOf(const ScanWindow& window, std::vector<Value>& params) const {
  if (!window.limit && window.skip <= 0) return "";
  std::string limit = " LIMIT ";
  if (window.limit) {
    limit += "?";
    params.emplace_back(*window.limit);
  } else {
    limit += dialect_.noLimit;
  }
  if (window.skip > 0) {
    limit += " OFFSET ?";
    params.emplace_back(window.skip);
  }
  return limit;
}

std::string KeysetScanSql::Select(const std::optional<RowKey>& from, const ScanWindow& window,
                                  std::vector<Value>& params) const {
  std::string sql;
  sql.reserve(256);
  sql += "SELECT ";
  appendColumns(sql, window.keysOnly);
  sql += " FROM ";
  sql += table_;
  appendWhere(sql, from, params);
  sql += " ORDER BY ";
  const char* dir = ascending_ ? " ASC" : " DESC";
  for (int f : order_.fields) {
    sql += term(f);
    sql += dir;
    sql += ", ";
  }
  sql += dialect_.rowId;
  sql += dir;
  sql += limitOf(window, params);
  return sql;
}

std::string KeysetScanSql::CountAfter(const RowKey& from, std::vector<Value>& params) const {
  std::string sql = "SELECT COUNT(*) FROM " + table_;
  appendWhere(sql, from, params);
  return sql;
}

}  // namespace ff
