#include "store/mariadb/ServerStatement.h"

#include "sql/SqlStatement.h"
#include "store/mariadb/ServerConnection.h"
#include "store/mariadb/ServerValues.h"

namespace ff {

std::uint64_t ServerStatement::Execute(const std::vector<Value>& params, const std::vector<bool>& binary) {
  return StoreErrors([&] {
    sql::SqlStatement& statement = connection_->Statement(sql_);
    const std::uint64_t changed = statement.Execute(ToSqlValues(params, binary));
    insertId_ = statement.InsertId();
    return changed;
  });
}

std::vector<std::vector<Value>> ServerStatement::Query(const std::vector<Value>& params) {
  return StoreErrors([&] { return FromSqlRows(connection_->Statement(sql_).Query(ToSqlValues(params))); });
}

}  // namespace ff
