// A prepared statement on a connection: values are always bound, never spliced into the SQL
// text. A compound statement (BEGIN NOT ATOMIC ... END) may be prepared too; its first result
// set is its answer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sql/SqlValue.h"

typedef struct st_mysql_stmt MYSQL_STMT;

namespace sql {

class SqlConnection;

class SqlStatement {
 public:
  // Throws SqlError (bad SQL, lost connection).
  SqlStatement(SqlConnection& connection, const std::string& sql);
  ~SqlStatement();
  SqlStatement(const SqlStatement&) = delete;
  SqlStatement& operator=(const SqlStatement&) = delete;

  // Runs the statement; returns the rows it changed. Throws SqlError.
  std::uint64_t Execute(const std::vector<SqlValue>& params);
  // Runs a query and returns every row it gives: whole numbers (unsigned for BIGINT
  // UNSIGNED), doubles, text, or bytes for binary columns; NULL as the empty value.
  std::vector<SqlRow> Query(const std::vector<SqlValue>& params);
  // The AUTO_INCREMENT value of the last insert.
  std::uint64_t InsertId() const;

 private:
  void bindAndRun(const std::vector<SqlValue>& params);
  // Drops the current result and reads the rest of the statement's results.
  void finishResults();
  [[noreturn]] void raise(const std::string& doing);

  SqlConnection& connection_;
  MYSQL_STMT* stmt_;
  std::string sql_;
};

}  // namespace sql
