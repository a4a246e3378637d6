#include "store/mariadb/MariaDbStatement.h"

#include <memory>

#include "store/Errors.h"
#include "store/mariadb/MariaDbConnection.h"

namespace ff {

namespace {

// Buffers bound to one parameter; they must live until the statement has run.
struct ParamBuffer {
  long long integer = 0;
  double real = 0;
  unsigned long length = 0;
};

enum class ColumnKind { Integer, Real, Bytes };

ColumnKind kindOf(enum_field_types type) {
  switch (type) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_YEAR:
      return ColumnKind::Integer;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
      return ColumnKind::Real;
    default:
      return ColumnKind::Bytes;
  }
}

// Buffers one result column is fetched into.
struct ColumnBuffer {
  ColumnKind kind = ColumnKind::Bytes;
  long long integer = 0;
  double real = 0;
  std::string bytes;
  unsigned long length = 0;
  my_bool isNull = 0;
  my_bool error = 0;

  Value value() const {
    if (isNull) return Value{};
    switch (kind) {
      case ColumnKind::Integer:
        return Value{static_cast<std::int64_t>(integer)};
      case ColumnKind::Real:
        return Value{real};
      case ColumnKind::Bytes:
        break;
    }
    return Value{bytes.substr(0, length)};
  }
};

using ResultMeta = std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)>;

}  // namespace

MariaDbStatement::MariaDbStatement(MariaDbConnection& connection, const std::string& sql)
    : connection_(connection), stmt_(mysql_stmt_init(connection.Handle())), sql_(sql) {
  if (!stmt_) connection_.Raise("Kan ikke forberede spørring");
  const my_bool updateMaxLength = 1;
  mysql_stmt_attr_set(stmt_, STMT_ATTR_UPDATE_MAX_LENGTH, &updateMaxLength);
  if (mysql_stmt_prepare(stmt_, sql.c_str(), sql.size()) != 0) {
    try {
      raise("Kan ikke forberede spørring");
    } catch (...) {
      mysql_stmt_close(stmt_);
      throw;
    }
  }
}

MariaDbStatement::~MariaDbStatement() { mysql_stmt_close(stmt_); }

void MariaDbStatement::raise(const std::string& what) {
  connection_.RaiseCode(mysql_stmt_errno(stmt_), mysql_stmt_error(stmt_), what);
}

void MariaDbStatement::bindAndRun(const std::vector<Value>& params, const std::vector<bool>& binary) {
  // The client library reads as many bindings as the SQL has placeholders.
  if (params.size() != mysql_stmt_param_count(stmt_)) {
    throw Error("Feil antall verdier (" + std::to_string(params.size()) + ") til spørringen: " + sql_);
  }
  std::vector<MYSQL_BIND> binds(params.size());
  std::vector<ParamBuffer> buffers(params.size());
  for (std::size_t i = 0; i < params.size(); ++i) {
    MYSQL_BIND& b = binds[i];
    ParamBuffer& buf = buffers[i];
    const Value& v = params[i];
    if (isNull(v)) {
      b.buffer_type = MYSQL_TYPE_NULL;
    } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
      buf.integer = *n;
      b.buffer_type = MYSQL_TYPE_LONGLONG;
      b.buffer = &buf.integer;
    } else if (const auto* d = std::get_if<double>(&v)) {
      buf.real = *d;
      b.buffer_type = MYSQL_TYPE_DOUBLE;
      b.buffer = &buf.real;
    } else {
      const auto& s = std::get<std::string>(v);
      const bool bytes = i < binary.size() && binary[i];
      buf.length = static_cast<unsigned long>(s.size());
      b.buffer_type = bytes ? MYSQL_TYPE_BLOB : MYSQL_TYPE_STRING;
      b.buffer = const_cast<char*>(s.data());
      b.buffer_length = buf.length;
      b.length = &buf.length;
    }
  }
  if (!binds.empty() && mysql_stmt_bind_param(stmt_, binds.data()) != 0) raise("Kan ikke binde verdier");
  if (mysql_stmt_execute(stmt_) != 0) raise("Databasefeil");
}

std::uint64_t MariaDbStatement::Execute(const std::vector<Value>& params, const std::vector<bool>& binary) {
  bindAndRun(params, binary);
  const my_ulonglong changed = mysql_stmt_affected_rows(stmt_);
  mysql_stmt_free_result(stmt_);
  return changed == static_cast<my_ulonglong>(-1) ? 0 : changed;
}

std::vector<std::vector<Value>> MariaDbStatement::Query(const std::vector<Value>& params) {
  bindAndRun(params, {});
  if (mysql_stmt_store_result(stmt_) != 0) raise("Kan ikke lese svaret fra serveren");
  std::vector<std::vector<Value>> rows;
  ResultMeta meta(mysql_stmt_result_metadata(stmt_), &mysql_free_result);
  if (!meta) {
    mysql_stmt_free_result(stmt_);
    return rows;
  }
  const unsigned count = mysql_num_fields(meta.get());
  const MYSQL_FIELD* fields = mysql_fetch_fields(meta.get());
  std::vector<ColumnBuffer> columns(count);
  std::vector<MYSQL_BIND> binds(count);
  for (unsigned i = 0; i < count; ++i) {
    ColumnBuffer& c = columns[i];
    MYSQL_BIND& b = binds[i];
    c.kind = kindOf(fields[i].type);
    b.is_null = &c.isNull;
    b.length = &c.length;
    b.error = &c.error;
    if (c.kind == ColumnKind::Integer) {
      b.buffer_type = MYSQL_TYPE_LONGLONG;
      b.buffer = &c.integer;
    } else if (c.kind == ColumnKind::Real) {
      b.buffer_type = MYSQL_TYPE_DOUBLE;
      b.buffer = &c.real;
    } else {
      c.bytes.resize(std::max<unsigned long>(fields[i].max_length, 1));
      b.buffer_type = MYSQL_TYPE_BLOB;
      b.buffer = c.bytes.data();
      b.buffer_length = static_cast<unsigned long>(c.bytes.size());
    }
  }
  if (mysql_stmt_bind_result(stmt_, binds.data()) != 0) raise("Kan ikke lese svaret fra serveren");
  rows.reserve(mysql_stmt_num_rows(stmt_));
  for (int rc = mysql_stmt_fetch(stmt_); rc != MYSQL_NO_DATA; rc = mysql_stmt_fetch(stmt_)) {
    if (rc != 0) raise("Kan ikke lese svaret fra serveren");
    std::vector<Value> row;
    row.reserve(count);
    for (const ColumnBuffer& c : columns) row.push_back(c.value());
    rows.push_back(std::move(row));
  }
  mysql_stmt_free_result(stmt_);
  return rows;
}

std::uint64_t MariaDbStatement::InsertId() const { return mysql_stmt_insert_id(stmt_); }

}  // namespace ff
