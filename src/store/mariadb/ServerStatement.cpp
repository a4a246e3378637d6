#include "store/mariadb/ServerConnection.h"
#include "store/mariadb/ServerStatement.h"
#include "store/mariadb/ServerValues.h"

namespace ff {

std::uint64_t ServerStatement::Execute(const std::vector<Value>& params, const std::vector<bool>& binary) {
  return StoreErrors([&] { return statement_->Execute(ToSqlValues(params, binary)); });
}

std::vector<std::vector<Value>> ServerStatement::Query(const std::vector<Value>& params) {
  return StoreErrors([&] { return FromSqlRows(statement_->Query(ToSqlValues(params))); });
}

}  // namespace ff
