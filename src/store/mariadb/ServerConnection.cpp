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

sql::SqlEndpoint endpointOf(const std::string& serverName, const std::string& user, const std::string& password,
                            const sql::SqlTls& tls) {
  sql::SqlEndpoint endpoint = sql::ParseServerName(serverName);
  endpoint.user = user;
  endpoint.password = password;
  endpoint.tls = tls;
  return endpoint;
}

// Signs on with the session the tables need, the same on every sign-on.
std::unique_ptr<sql::SqlConnection> connect(const sql::SqlEndpoint& endpoint) {
  auto connection = std::make_unique<sql::SqlConnection>(endpoint);
  // A wait for another workstation's row or table lock ends with the server's own error well
  // before the answer timeout would take it for a server that stopped.
  const std::string lockWait = std::to_string(ServerConnection::LockWaitSeconds());
  const std::string idle = std::to_string(sql::IdleSeconds(ServerConnection::kIdleSeconds));
  connection->Execute("SET SESSION innodb_lock_wait_timeout = " + lockWait + ", lock_wait_timeout = " + lockWait);
  connection->Execute("SET SESSION wait_timeout = " + idle + ", interactive_timeout = " + idle);
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
    : endpoint_(StoreErrors([&] { return endpointOf(serverName, user, password, tls); })),
      connection_(StoreErrors([&] { return connect(endpoint_); })) {}

unsigned ServerConnection::LockWaitSeconds() { return std::max(1u, sql::TimeoutSeconds(sql::SqlEndpoint{}.answerSeconds) / 2); }

bool ServerConnection::Lost() { return !connection_ || connection_->Dropped(); }

sql::SqlConnection& ServerConnection::live() {
  // Inside a transaction the error comes on every call until the transaction ends: nothing
  // of it may be written on a new connection.
  if (!connection_ || (!signingOn_ && connection_->TransactionDepth() == 0 && connection_->Dropped())) signOnAgain();
  return *connection_;
}

// The old connection is closed first, so that a server which only stopped answering ends
// its session and frees its locks. Statements prepared on it go with it. While the locks are
// taken again, a connection that drops once more is an error, not another sign-on.
void ServerConnection::signOnAgain() {
  connection_.reset();
  connection_ = StoreErrors([&] { return connect(endpoint_); });
  const std::string refused = retakeLocks();
  if (!refused.empty()) throw ECannotOpen(refused);
}

std::string ServerConnection::retakeLocks() {
  signingOn_ = true;
  const struct Done {
    bool& signingOn;
    ~Done() { signingOn = false; }
  } done{signingOn_};
  std::string refused;
  for (LockHolder* holder : std::vector<LockHolder*>(holders_)) {
    try {
      holder->Retake();
    } catch (const ECannotOpen& e) {
      if (refused.empty()) refused = e.what();
    } catch (...) {
      connection_.reset();  // no call goes on without every lock: the next one signs on again
      throw;
    }
  }
  return refused;
}

void ServerConnection::Hold(LockHolder& holder) { holders_.push_back(&holder); }

void ServerConnection::Leave(LockHolder& holder) { std::erase(holders_, &holder); }

sql::SqlStatement& ServerConnection::Statement(const std::string& sql) { return live().Prepare(sql); }

void ServerConnection::Execute(const std::string& sql) {
  StoreErrors([&] { live().Execute(sql); });
}

ServerStatement ServerConnection::Prepare(const std::string& sql) {
  StoreErrors([&] { Statement(sql); });
  return ServerStatement(*this, sql);
}

ServerConnection::WriteResult ServerConnection::Write(const std::string& sql, const std::vector<Value>& params,
                                                      const std::vector<bool>& binary) {
  return StoreErrors([&] { return live().Write(sql, ToSqlValues(params, binary)); });
}

std::uint64_t ServerConnection::InsertInOneRequest(const std::string& insert, const std::vector<Value>& params,
                                                  const std::vector<bool>& binary, const std::string& after) {
  return StoreErrors([&] { return live().InsertInOneRequest(insert, ToSqlValues(params, binary), after); });
}

void ServerConnection::InTransaction(const std::function<void()>& work) {
  StoreErrors([&] {
    live().InTransaction([&] {
      try {
        work();
      } catch (const EServerDeadlock& e) {
        throw e.Cause();  // the transaction runs again
      }
    });
  });
}

void ServerConnection::BeginTransaction() {
  StoreErrors([&] { live().BeginTransaction(); });
}

void ServerConnection::CommitTransaction() {
  StoreErrors([&] { live().CommitTransaction(); });
}

void ServerConnection::RollbackTransaction() noexcept {
  try {
    connection_->RollbackTransaction();
  } catch (const sql::SqlError&) {
    // The connection is lost; the server has rolled the transaction back.
  }
}

}  // namespace ff
