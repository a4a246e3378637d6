// The store's connection to its server: the SQL client's connection with the session the
// tables need (binary comparisons of text, strict values, each statement seeing what other
// connections have committed), and the SQL client's errors as the store's exceptions.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sql/SqlConnection.h"
#include "sql/SqlError.h"
#include "store/Value.h"
#include "store/mariadb/ServerStatement.h"

namespace ff {

// Throws the store's exception for an error of the SQL client: EConnection when the
// connection is lost or was refused, EKeyViolation for a duplicate key, ENotFound for a
// missing database or table, Error otherwise.
[[noreturn]] void ThrowStoreError(const sql::SqlError& error);

// Runs f, throwing the store's exception for an error of the SQL client.
template <class F>
auto StoreErrors(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const sql::SqlError& e) {
    ThrowStoreError(e);
  }
}

class ServerConnection {
 public:
  // Connects to "name@address[:port]" as user/password with TLS as given. Throws EConnection
  // with the cause and the server's message when the server cannot be reached or refuses the
  // login, or when the connection is not encrypted where TLS is required.
  ServerConnection(const std::string& serverName, const std::string& user, const std::string& password,
                   const sql::SqlTls& tls);

  const std::string& ServerName() const { return connection_->Endpoint().name; }
  bool Lost() const { return connection_->Lost(); }

  // What the SQL client's connection does, throwing the store's exceptions.
  void Execute(const std::string& sql);
  ServerStatement Prepare(const std::string& sql);
  using WriteResult = sql::SqlConnection::WriteResult;
  // Strings whose `binary` flag is set are sent as bytes.
  WriteResult Write(const std::string& sql, const std::vector<Value>& params, const std::vector<bool>& binary = {});
  void InTransaction(const std::function<void()>& work);
  void BeginTransaction();
  void CommitTransaction();
  // Never throws: a rollback that cannot reach the server leaves the connection lost, and the
  // server drops the transaction with it.
  void RollbackTransaction() noexcept;

 private:
  std::unique_ptr<sql::SqlConnection> connection_;
};

}  // namespace ff
