// A prepared statement on a MariaDB connection: values are always bound, never spliced into
// the SQL text.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <string>
#include <vector>

#include "store/Value.h"

namespace ff {

class MariaDbConnection;

class MariaDbStatement {
 public:
  // Throws Error (bad SQL) or EConnection.
  MariaDbStatement(MariaDbConnection& connection, const std::string& sql);
  ~MariaDbStatement();
  MariaDbStatement(const MariaDbStatement&) = delete;
  MariaDbStatement& operator=(const MariaDbStatement&) = delete;

  // Runs the statement; returns the rows it changed. Strings whose `binary` flag is set are
  // sent as bytes (blobs), the others as UTF-8 text. Throws as MariaDbConnection::Raise does.
  std::uint64_t Execute(const std::vector<Value>& params, const std::vector<bool>& binary = {});
  // Runs a query and returns every row it gives: whole numbers, doubles, or strings per the
  // column's type; NULL as the empty Value.
  std::vector<std::vector<Value>> Query(const std::vector<Value>& params);
  // The AUTO_INCREMENT value of the last insert.
  std::uint64_t InsertId() const;

 private:
  void bindAndRun(const std::vector<Value>& params, const std::vector<bool>& binary);
  [[noreturn]] void raise(const std::string& what);

  MariaDbConnection& connection_;
  MYSQL_STMT* stmt_;
  std::string sql_;
};

}  // namespace ff
