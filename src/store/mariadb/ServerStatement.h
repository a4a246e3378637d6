// A prepared statement of the store's server connection, on the store's values. It is found
// again by its SQL text on each run, so that it outlives a new sign-on of the connection.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store/Value.h"

namespace ff {

class ServerConnection;

class ServerStatement {
 public:
  ServerStatement(ServerConnection& connection, std::string sql) : connection_(&connection), sql_(std::move(sql)) {}

  // Runs the statement; returns the rows it changed. Strings whose `binary` flag is set are
  // sent as bytes (blobs), the others as UTF-8 text. Throws as ThrowStoreError does.
  std::uint64_t Execute(const std::vector<Value>& params, const std::vector<bool>& binary = {});
  // Runs a query and returns every row it gives. Throws as ThrowStoreError does.
  std::vector<std::vector<Value>> Query(const std::vector<Value>& params);
  // The AUTO_INCREMENT value of the last insert Execute ran.
  std::uint64_t InsertId() const { return insertId_; }

 private:
  ServerConnection* connection_;
  std::string sql_;
  std::uint64_t insertId_ = 0;
};

}  // namespace ff
