#include "sql/SqlStatement.h"

#include <mysql.h>

#include <algorithm>
#include <memory>
#include <variant>

#include "sql/SqlConnection.h"
#include "sql/SqlError.h"

namespace sql {

namespace {

// What one parameter is bound from; it must live until the statement has run.
struct ParamBuffer {
  long long integer = 0;
  double real = 0;
  unsigned long length = 0;
};

// Binds one parameter to its buffer.
struct ParamBinder {
  MYSQL_BIND& bind;
  ParamBuffer& buffer;

  void operator()(std::monostate) { bind.buffer_type = MYSQL_TYPE_NULL; }
  void operator()(std::int64_t n) { integer(n, false); }
  void operator()(std::uint64_t n) { integer(static_cast<long long>(n), true); }
  void operator()(double d) {
    buffer.real = d;
    bind.buffer_type = MYSQL_TYPE_DOUBLE;
    bind.buffer = &buffer.real;
  }
  void operator()(const std::string& text) { bytes(text, MYSQL_TYPE_STRING); }
  void operator()(const SqlBytes& blob) { bytes(blob.bytes, MYSQL_TYPE_BLOB); }

  void integer(long long n, bool isUnsigned) {
    buffer.integer = n;
    bind.buffer_type = MYSQL_TYPE_LONGLONG;
    bind.buffer = &buffer.integer;
    bind.is_unsigned = isUnsigned;
  }
  void bytes(const std::string& s, enum_field_types type) {
    buffer.length = static_cast<unsigned long>(s.size());
    bind.buffer_type = type;
    bind.buffer = const_cast<char*>(s.data());
    bind.buffer_length = buffer.length;
    bind.length = &buffer.length;
  }
};

enum class ColumnKind { Integer, Unsigned, Real, Text, Bytes };

constexpr unsigned kBinaryCharset = 63;

ColumnKind kindOf(const MYSQL_FIELD& field) {
  switch (field.type) {
    case MYSQL_TYPE_LONGLONG:
      if (field.flags & UNSIGNED_FLAG) return ColumnKind::Unsigned;
      [[fallthrough]];
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_YEAR:
      return ColumnKind::Integer;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
      return ColumnKind::Real;
    default:
      return field.charsetnr == kBinaryCharset ? ColumnKind::Bytes : ColumnKind::Text;
  }
}

// Where one result column is fetched into.
struct ColumnBuffer {
  ColumnKind kind = ColumnKind::Text;
  long long integer = 0;
  double real = 0;
  std::string bytes;
  unsigned long length = 0;
  my_bool isNull = 0;
  my_bool error = 0;

  void bind(MYSQL_BIND& b, const MYSQL_FIELD& field) {
    kind = kindOf(field);
    b.is_null = &isNull;
    b.length = &length;
    b.error = &error;
    if (kind == ColumnKind::Integer || kind == ColumnKind::Unsigned) {
      b.buffer_type = MYSQL_TYPE_LONGLONG;
      b.buffer = &integer;
      b.is_unsigned = kind == ColumnKind::Unsigned;
    } else if (kind == ColumnKind::Real) {
      b.buffer_type = MYSQL_TYPE_DOUBLE;
      b.buffer = &real;
    } else {
      bytes.resize(std::max<unsigned long>(field.max_length, 1));
      b.buffer_type = MYSQL_TYPE_BLOB;
      b.buffer = bytes.data();
      b.buffer_length = static_cast<unsigned long>(bytes.size());
    }
  }

  SqlValue value() const {
    if (isNull) return SqlValue{};
    switch (kind) {
      case ColumnKind::Integer:
        return SqlValue{static_cast<std::int64_t>(integer)};
      case ColumnKind::Unsigned:
        return SqlValue{static_cast<std::uint64_t>(integer)};
      case ColumnKind::Real:
        return SqlValue{real};
      case ColumnKind::Bytes:
        return SqlValue{SqlBytes{bytes.substr(0, length)}};
      case ColumnKind::Text:
        break;
    }
    return SqlValue{bytes.substr(0, length)};
  }
};

using ResultMeta = std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)>;

}  // namespace

SqlStatement::SqlStatement(SqlConnection& connection, const std::string& sql)
    : connection_(connection), stmt_(mysql_stmt_init(connection.Handle())), sql_(sql) {
  if (!stmt_) connection_.RaiseLast("Kan ikke forberede spørring");
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

SqlStatement::~SqlStatement() { mysql_stmt_close(stmt_); }

void SqlStatement::raise(const std::string& doing) {
  connection_.Raise(mysql_stmt_errno(stmt_), mysql_stmt_error(stmt_), doing);
}

void SqlStatement::bindAndRun(const std::vector<SqlValue>& params) {
  // The client library reads as many bindings as the SQL has placeholders.
  if (params.size() != mysql_stmt_param_count(stmt_)) {
    throw SqlError(SqlErrorKind::Other,
                   "Feil antall verdier (" + std::to_string(params.size()) + ") til spørringen: " + sql_);
  }
  std::vector<MYSQL_BIND> binds(params.size());
  std::vector<ParamBuffer> buffers(params.size());
  for (std::size_t i = 0; i < params.size(); ++i) std::visit(ParamBinder{binds[i], buffers[i]}, params[i]);
  if (!binds.empty() && mysql_stmt_bind_param(stmt_, binds.data()) != 0) raise("Kan ikke binde verdier");
  if (mysql_stmt_execute(stmt_) != 0) raise("Databasefeil");
}

// A compound statement answers with its result set first and its end last.
void SqlStatement::finishResults() {
  mysql_stmt_free_result(stmt_);
  while (mysql_stmt_more_results(stmt_)) {
    if (mysql_stmt_next_result(stmt_) > 0) raise("Databasefeil");
    mysql_stmt_free_result(stmt_);
  }
}

std::uint64_t SqlStatement::Execute(const std::vector<SqlValue>& params) {
  bindAndRun(params);
  const my_ulonglong changed = mysql_stmt_affected_rows(stmt_);
  finishResults();
  return changed == static_cast<my_ulonglong>(-1) ? 0 : changed;
}

std::vector<SqlRow> SqlStatement::Query(const std::vector<SqlValue>& params) {
  bindAndRun(params);
  if (mysql_stmt_store_result(stmt_) != 0) raise("Kan ikke lese svaret fra serveren");
  std::vector<SqlRow> rows;
  ResultMeta meta(mysql_stmt_result_metadata(stmt_), &mysql_free_result);
  if (!meta) {
    finishResults();
    return rows;
  }
  const unsigned count = mysql_num_fields(meta.get());
  const MYSQL_FIELD* fields = mysql_fetch_fields(meta.get());
  std::vector<ColumnBuffer> columns(count);
  std::vector<MYSQL_BIND> binds(count);
  for (unsigned i = 0; i < count; ++i) columns[i].bind(binds[i], fields[i]);
  if (mysql_stmt_bind_result(stmt_, binds.data()) != 0) raise("Kan ikke lese svaret fra serveren");
  rows.reserve(mysql_stmt_num_rows(stmt_));
  for (int rc = mysql_stmt_fetch(stmt_); rc != MYSQL_NO_DATA; rc = mysql_stmt_fetch(stmt_)) {
    if (rc != 0) raise("Kan ikke lese svaret fra serveren");
    SqlRow row;
    row.reserve(count);
    for (const ColumnBuffer& c : columns) row.push_back(c.value());
    rows.push_back(std::move(row));
  }
  finishResults();
  return rows;
}

std::uint64_t SqlStatement::InsertId() const { return mysql_stmt_insert_id(stmt_); }

}  // namespace sql
