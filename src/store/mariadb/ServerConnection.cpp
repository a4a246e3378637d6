#include "store/mariadb/ServerConnection.h"

#include <algorithm>

#include "sql/SqlEndpoint.h"
#include "store/Errors.h"
#include "store/mariadb/ServerValues.h"

namespace ff {

namespace {

// A deadlock inside a transaction's work, kept for the transaction, which may run again.
class EServerDeadlock : public Error {
 public:
  explicit EServerDeadlock(const sql::SqlError& cause) : Error(cause.Described()), cause_(cause) {}
  const sql::SqlError& Cause() const { return cause_; }

 private:
  sql::SqlError cause_;
};

std::unique_ptr<sql::SqlConnection> connect(const std::string& serverName, const std::string& user,
                                            const std::string& password, const sql::SqlTls& tls) {
  sql::SqlEndpoint endpoint = sql::ParseServerName(serverName);
  endpoint.user = user;
  endpoint.password = password;
  endpoint.tls = tls;
  auto connection = std::make_unique<sql::SqlConnection>(endpoint);
  // A wait for another workstation's row or table lock ends with the server's own error well
  // before the answer timeout would take it for a server that stopped.
  const std::string lockWait = std::to_string(std::max(1u, sql::TimeoutSeconds(endpoint.answerSeconds) / 2));
  connection->Execute("SET SESSION innodb_lock_wait_timeout = " + lockWait + ", lock_wait_timeout = " + lockWait);
  connection->Execute("SET NAMES utf8mb4 COLLATE utf8mb4_nopad_bin");
  connection->Execute("SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ENGINE_SUBSTITUTION'");
  connection->Execute("SET SESSION TRANSACTION ISOLATION LEVEL READ COMMITTED");
  return connection;
}

}  // namespace

void ThrowStoreError(const sql::SqlError& error) {
  const std::string message = error.Described();
  switch (error.Kind()) {
    case sql::SqlErrorKind::Lost:
    case sql::SqlErrorKind::Refused:
      throw EConnection(message);
    case sql::SqlErrorKind::DuplicateKey:
      throw EKeyViolation(message);
    case sql::SqlErrorKind::NotFound:
      throw ENotFound(message);
    case sql::SqlErrorKind::Deadlock:
      throw EServerDeadlock(error);
    case sql::SqlErrorKind::Other:
      break;
  }
  throw Error(message);
}

ServerConnection::ServerConnection(const std::string& serverName, const std::string& user,
                                   const std::string& password, const sql::SqlTls& tls)
    : connection_(StoreErrors([&] { return connect(serverName, user, password, tls); })) {}

void ServerConnection::Execute(const std::string& sql) {
  StoreErrors([&] { connection_->Execute(sql); });
}

ServerStatement ServerConnection::Prepare(const std::string& sql) {
  return StoreErrors([&] { return ServerStatement(connection_->Prepare(sql)); });
}

ServerConnection::WriteResult ServerConnection::Write(const std::string& sql, const std::vector<Value>& params,
                                                      const std::vector<bool>& binary) {
  return StoreErrors([&] { return connection_->Write(sql, ToSqlValues(params, binary)); });
}

void ServerConnection::InTransaction(const std::function<void()>& work) {
  StoreErrors([&] {
    connection_->InTransaction([&] {
      try {
        work();
      } catch (const EServerDeadlock& e) {
        throw e.Cause();  // the transaction runs again
      }
    });
  });
}

void ServerConnection::BeginTransaction() {
  StoreErrors([&] { connection_->BeginTransaction(); });
}

void ServerConnection::CommitTransaction() {
  StoreErrors([&] { connection_->CommitTransaction(); });
}

void ServerConnection::RollbackTransaction() noexcept {
  try {
    connection_->RollbackTransaction();
  } catch (const sql::SqlError&) {
    // The connection is lost; the server has rolled the transaction back.
  }
}

}  // namespace ff
