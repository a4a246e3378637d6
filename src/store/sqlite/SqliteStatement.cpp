#include "store/sqlite/SqliteStatement.h"

#include <sqlite3.h>

#include <string_view>
#include <utility>

#include "store/sqlite/SqliteError.h"

namespace ff {

SqliteStatement::SqliteStatement(sqlite3* db, const std::string& sql, bool persistent) : db_(db) {
  const int rc = sqlite3_prepare_v3(db, sql.c_str(), static_cast<int>(sql.size()),
                                    persistent ? SQLITE_PREPARE_PERSISTENT : 0, &stmt_, nullptr);
  if (rc != SQLITE_OK) RaiseSqlite(db, rc, "Kan ikke forberede spørring");
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(stmt_); }

SqliteStatement::SqliteStatement(SqliteStatement&& o) noexcept : db_(o.db_), stmt_(o.stmt_) { o.stmt_ = nullptr; }

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& o) noexcept {
  std::swap(db_, o.db_);
  std::swap(stmt_, o.stmt_);
  return *this;
}

void SqliteStatement::bind(int i, const Value& v, bool asBlob, bool kept) {
  int rc = SQLITE_OK;
  if (isNull(v)) {
    rc = sqlite3_bind_null(stmt_, i);
  } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
    rc = sqlite3_bind_int64(stmt_, i, *n);
  } else if (const auto* d = std::get_if<double>(&v)) {
    rc = sqlite3_bind_double(stmt_, i, *d);
  } else if (std::holds_alternative<ScaledCurrency>(v)) {
    rc = sqlite3_bind_double(stmt_, i, valueToDouble(v));
  } else {
    const auto& s = std::get<std::string>(v);
    const auto lifetime = kept ? SQLITE_STATIC : SQLITE_TRANSIENT;
    rc = asBlob ? sqlite3_bind_blob64(stmt_, i, s.data(), s.size(), lifetime)
                : sqlite3_bind_text64(stmt_, i, s.data(), s.size(), lifetime, SQLITE_UTF8);
  }
  if (rc != SQLITE_OK) RaiseSqlite(db_, rc, "Kan ikke binde verdi");
}

void SqliteStatement::bindAll(const std::vector<Value>& params, int first) {
  for (std::size_t i = 0; i < params.size(); ++i) bind(first + static_cast<int>(i), params[i]);
}

bool SqliteStatement::step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(stmt_);
  RaiseSqlite(db_, sqlite3_extended_errcode(db_), "Databasefeil");
}

void SqliteStatement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

void SqliteStatement::readColumn(int i, Value& out) const {
  switch (sqlite3_column_type(stmt_, i)) {
    case SQLITE_INTEGER:
      out = static_cast<std::int64_t>(sqlite3_column_int64(stmt_, i));
      return;
    case SQLITE_FLOAT:
      out = sqlite3_column_double(stmt_, i);
      return;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_, i));
      const std::string_view text(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i)));
      if (auto* s = std::get_if<std::string>(&out)) {
        s->assign(text);
      } else {
        out = std::string(text);
      }
      return;
    }
    default:
      out = Value{};
  }
}

void SqliteStatement::readRow(Row& row, std::size_t count) const {
  row.values.resize(count);
  for (std::size_t i = 0; i < count; ++i) readColumn(static_cast<int>(i) + 1, row.values[i]);
}

Value SqliteStatement::column(int i) const {
  Value v;
  readColumn(i, v);
  return v;
}

void SqliteExec(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  if (rc != SQLITE_OK) {
    const std::string msg = err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    if ((rc & 0xFF) == SQLITE_CONSTRAINT) throw EKeyViolation("Nøkkelbrudd: " + msg);
    RaiseSqliteCode(db, rc, "Databasefeil: " + msg);
  }
}

}  // namespace ff
