// One connection to a MySQL/MariaDB server through the MariaDB C client library, for the bulk
// work of the conversion (the Qt SQL connections of SqlAliases serve "Kjør SQL").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/SqlAliases.h"

typedef struct st_mysql MYSQL;

class MariaDbConnection {
 public:
  // Connects with an alias's settings (utf8mb4, local infile allowed).
  // Throws ESqlError with the server's message when the connection fails.
  explicit MariaDbConnection(const SqlAliasSettings& settings);
  ~MariaDbConnection();
  MariaDbConnection(const MariaDbConnection&) = delete;
  MariaDbConnection& operator=(const MariaDbConnection&) = delete;

  // Runs one statement and discards any result. Throws ESqlError with the server's message.
  void Execute(const std::string& sql);
  // Runs a query and calls onRow for each row as it arrives (nothing is buffered): the
  // values, nullptr for NULL, and their lengths. Throws ESqlError.
  using RowHandler = std::function<void(const char* const* values, const unsigned long* lengths)>;
  void ForEachRow(const std::string& sql, const RowHandler& onRow);
  // Whether a table of this exact name exists in the current database.
  bool TableExists(const std::string& name);

  // Fills `buffer` with the next bytes of the data; returns how many (0 at the end).
  // Throwing ends the load; the exception reaches the caller of LoadLocal.
  using DataSource = std::function<std::size_t(char* buffer, std::size_t size)>;
  // Runs a LOAD DATA LOCAL INFILE statement whose file content comes from `source`.
  // Returns the rows the server took. Throws ESqlError for a refusal by the server, including
  // any warning (the first ones in the message), or what `source` threw.
  std::uint64_t LoadLocal(const std::string& sql, const DataSource& source);

  // A string literal for SQL text, quoted and escaped for this connection.
  std::string Literal(std::string_view text);

 private:
  [[noreturn]] void fail();
  std::string warningsText();

  MYSQL* mysql_ = nullptr;
};
