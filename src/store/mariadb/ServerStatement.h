// A prepared statement of the store's server connection, on the store's values.
#pragma once

#include <cstdint>
#include <vector>

#include "sql/SqlStatement.h"
#include "store/Value.h"

namespace ff {

class ServerStatement {
 public:
  explicit ServerStatement(sql::SqlStatement& statement) : statement_(&statement) {}

  // Runs the statement; returns the rows it changed. Strings whose `binary` flag is set are
  // sent as bytes (blobs), the others as UTF-8 text. Throws as ThrowStoreError does.
  std::uint64_t Execute(const std::vector<Value>& params, const std::vector<bool>& binary = {});
  // Runs a query and returns every row it gives. Throws as ThrowStoreError does.
  std::vector<std::vector<Value>> Query(const std::vector<Value>& params);
  // The AUTO_INCREMENT value of the last insert.
  std::uint64_t InsertId() const { return statement_->InsertId(); }

 private:
  sql::SqlStatement* statement_;
};

}  // namespace ff
