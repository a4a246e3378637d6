#include "store/mariadb/MariaDbConnection.h"

#include <errmsg.h>
#include <mysqld_error.h>

#include "store/Errors.h"
#include "store/mariadb/MariaDbStatement.h"
#include "store/mariadb/ServerAddress.h"

namespace ff {

namespace {

// Prepared statements kept per connection before the cache starts over.
constexpr std::size_t kStatementCacheSize = 256;
constexpr int kDeadlockRetries = 3;

bool isConnectionLoss(unsigned code) {
  switch (code) {
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR:
    case CR_UNKNOWN_HOST:
    case ER_CONNECTION_KILLED:
    case ER_SERVER_SHUTDOWN:
    case ER_NET_READ_ERROR:
    case ER_NET_READ_INTERRUPTED:
    case ER_NET_ERROR_ON_WRITE:
      return true;
    default:
      return false;
  }
}

// The server rolled back the whole transaction and it may run again.
class EDeadlock : public Error {
 public:
  using Error::Error;
};

}  // namespace

MariaDbConnection::MariaDbConnection(const std::string& serverName, const std::string& user,
                                     const std::string& password)
    : serverName_(serverName), mysql_(mysql_init(nullptr)) {
  if (!mysql_) throw EConnection("Tom for minne ved tilkobling til " + serverName);
  const ServerAddress address = ParseServerAddress(serverName);
  const unsigned protocol = MYSQL_PROTOCOL_TCP;  // "localhost" too goes over TCP/IP
  const unsigned connectTimeout = 5;
  // A server that stops answering counts as a dropped connection, beyond the server's own
  // lock waits (50 seconds by default).
  const unsigned answerTimeout = 120;
  mysql_optionsv(mysql_, MYSQL_OPT_PROTOCOL, &protocol);
  mysql_optionsv(mysql_, MYSQL_OPT_CONNECT_TIMEOUT, &connectTimeout);
  mysql_optionsv(mysql_, MYSQL_OPT_READ_TIMEOUT, &answerTimeout);
  mysql_optionsv(mysql_, MYSQL_OPT_WRITE_TIMEOUT, &answerTimeout);
  mysql_optionsv(mysql_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql_real_connect(mysql_, address.host.c_str(), user.c_str(), password.c_str(), nullptr, address.port,
                          nullptr, 0)) {
    const std::string message = mysql_error(mysql_);
    mysql_close(mysql_);
    throw EConnection("Kan ikke koble til server " + serverName + ": " + message);
  }
  try {
    Execute("SET NAMES utf8mb4 COLLATE utf8mb4_nopad_bin");
    Execute("SET SESSION sql_mode = 'STRICT_ALL_TABLES,NO_ENGINE_SUBSTITUTION'");
    Execute("SET SESSION TRANSACTION ISOLATION LEVEL READ COMMITTED");
  } catch (...) {
    mysql_close(mysql_);
    throw;
  }
}

MariaDbConnection::~MariaDbConnection() {
  statements_.clear();
  mysql_close(mysql_);
}

void MariaDbConnection::checkUsable() const {
  if (lost_) throw EConnection("Forbindelsen til serveren " + serverName_ + " er brutt");
}

MYSQL* MariaDbConnection::Handle() {
  checkUsable();
  return mysql_;
}

void MariaDbConnection::RaiseCode(unsigned code, const std::string& message, const std::string& what) {
  const std::string text = what + ": " + message;
  if (isConnectionLoss(code)) {
    lost_ = true;
    throw EConnection("Forbindelsen til serveren " + serverName_ + " er brutt: " + message);
  }
  if (code == ER_DUP_ENTRY || code == ER_DUP_KEY || code == ER_DUP_ENTRY_WITH_KEY_NAME) {
    throw EKeyViolation("Nøkkelbrudd: " + message);
  }
  if (code == ER_LOCK_DEADLOCK) throw EDeadlock(text);
  if (code == ER_BAD_DB_ERROR || code == ER_NO_SUCH_TABLE) throw ENotFound(text);
  throw Error(text);
}

void MariaDbConnection::Raise(const std::string& what) { RaiseCode(mysql_errno(mysql_), mysql_error(mysql_), what); }

void MariaDbConnection::Execute(const std::string& sql) {
  checkUsable();
  if (mysql_real_query(mysql_, sql.c_str(), sql.size()) != 0) Raise("Databasefeil");
  if (MYSQL_RES* result = mysql_store_result(mysql_)) mysql_free_result(result);
}

MariaDbStatement& MariaDbConnection::Prepare(const std::string& sql) {
  checkUsable();
  auto it = statements_.find(sql);
  if (it != statements_.end()) return *it->second;
  if (statements_.size() >= kStatementCacheSize) statements_.clear();
  auto statement = std::make_unique<MariaDbStatement>(*this, sql);
  return *statements_.emplace(sql, std::move(statement)).first->second;
}

void MariaDbConnection::BeginTransaction() {
  if (depth_++ == 0) {
    aborted_ = false;
    try {
      Execute("START TRANSACTION");
    } catch (...) {
      depth_ = 0;
      throw;
    }
  }
}

void MariaDbConnection::CommitTransaction() {
  if (depth_ == 0 || --depth_ > 0) return;
  if (aborted_) {
    aborted_ = false;
    Execute("ROLLBACK");
    throw Error("Transaksjonen ble avbrutt av serveren (vranglås); ingenting av den er lagret");
  }
  Execute("COMMIT");
}

MariaDbConnection::WriteResult MariaDbConnection::Write(const std::string& sql, const std::vector<Value>& params,
                                                       const std::vector<bool>& binary) {
  for (int attempt = 0;; ++attempt) {
    try {
      MariaDbStatement& statement = Prepare(sql);
      const std::uint64_t changed = statement.Execute(params, binary);
      return {changed, statement.InsertId()};
    } catch (const EDeadlock&) {
      if (depth_ > 0) {
        markAborted();
        throw;
      }
      if (attempt + 1 >= kDeadlockRetries) throw;
    }
  }
}

void MariaDbConnection::InTransaction(const std::function<void()>& work) {
  const bool outermost = depth_ == 0;
  for (int attempt = 0;; ++attempt) {
    BeginTransaction();
    try {
      work();
      CommitTransaction();
      return;
    } catch (const EDeadlock&) {
      if (!outermost) {
        --depth_;
        markAborted();
        throw;
      }
      depth_ = 0;
      if (attempt + 1 >= kDeadlockRetries) throw;
    } catch (...) {
      if (outermost) {
        depth_ = 0;
        if (!lost_) Execute("ROLLBACK");
      } else {
        --depth_;
      }
      throw;
    }
  }
}

}  // namespace ff
