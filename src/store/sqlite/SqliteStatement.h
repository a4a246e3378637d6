// One prepared SQLite statement: binding values, stepping, reading columns.
#pragma once

#include <string>
#include <vector>

#include "store/Storage.h"
#include "store/Value.h"

struct sqlite3;
struct sqlite3_stmt;

namespace ff {

class SqliteStatement {
 public:
  SqliteStatement() = default;
  // persistent: the statement is kept for many uses. Throws as RaiseSqlite does.
  SqliteStatement(sqlite3* db, const std::string& sql, bool persistent = false);
  ~SqliteStatement();
  SqliteStatement(SqliteStatement&& o) noexcept;
  SqliteStatement& operator=(SqliteStatement&& o) noexcept;

  explicit operator bool() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }

  // kept: v outlives the statement's next step, so SQLite need not copy text.
  void bind(int i, const Value& v, bool asBlob = false, bool kept = false);
  void bindAll(const std::vector<Value>& params, int first = 1);
  // SQLITE_ROW -> true, SQLITE_DONE -> false, anything else throws.
  bool step();
  void reset();
  // Reads column i into out, reusing the room of a string out already holds.
  void readColumn(int i, Value& out) const;
  // Reads the `count` columns after the row id (column 0) into the row's values.
  void readRow(Row& row, std::size_t count) const;
  Value column(int i) const;

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

// Runs SQL text that returns no rows. Throws as RaiseSqliteCode does.
void SqliteExec(sqlite3* db, const std::string& sql);

}  // namespace ff
