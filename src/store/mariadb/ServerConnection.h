// The store's connection to its server: the SQL client's connection with the session the
// tables need (binary comparisons of text, strict values, each statement seeing what other
// connections have committed, an idle limit), and the SQL client's errors as the store's
// exceptions. A connection the server dropped is signed on anew at the next call outside a
// transaction, and the server-side locks of the tables open on it are taken again.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sql/SqlConnection.h"
#include "sql/SqlEndpoint.h"
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
  // What holds server-side locks on this connection, which the server frees with it.
  class LockHolder {
   public:
    virtual ~LockHolder() = default;
    // Takes the locks again on a new connection. Throws ECannotOpen, naming the table and
    // the server, when another workstation took them meanwhile; EConnection.
    virtual void Retake() = 0;
  };

  // Seconds a session may stay idle before the server ends it, freeing its locks: a
  // workstation that hangs or vanished keeps nobody out for long, and one that only paused
  // signs on again at its next call.
  static constexpr unsigned kIdleSeconds = 180;

  // Connects to "name@address[:port]" as user/password with TLS as given. Throws EConnection
  // with the cause and the server's message when the server cannot be reached or refuses the
  // login, or when the connection is not encrypted where TLS is required.
  ServerConnection(const std::string& serverName, const std::string& user, const std::string& password,
                   const sql::SqlTls& tls);

  // Seconds a wait for another workstation's row or table lock may take: the server's own
  // error comes well before the answer timeout would take it for a server that stopped.
  static unsigned LockWaitSeconds();

  const std::string& ServerName() const { return endpoint_.name; }
  // Whether the connection is gone (without signing on again).
  bool Lost();

  // What the SQL client's connection does, throwing the store's exceptions.
  void Execute(const std::string& sql);
  ServerStatement Prepare(const std::string& sql);
  using WriteResult = sql::SqlConnection::WriteResult;
  // Strings whose `binary` flag is set are sent as bytes.
  WriteResult Write(const std::string& sql, const std::vector<Value>& params, const std::vector<bool>& binary = {});
  // An insert of one row with its values and `after`, one transaction in one request; returns
  // the row's key (see sql::SqlConnection::InsertInOneRequest).
  std::uint64_t InsertInOneRequest(const std::string& insert, const std::vector<Value>& params,
                                   const std::vector<bool>& binary, const std::string& after);
  void InTransaction(const std::function<void()>& work);
  void BeginTransaction();
  void CommitTransaction();
  // Never throws: a rollback that cannot reach the server leaves the connection lost, and the
  // server drops the transaction with it.
  void RollbackTransaction() noexcept;

  // The prepared statement of this SQL text on the connection as it is now. Throws SqlError.
  sql::SqlStatement& Statement(const std::string& sql);

  // Holders are asked to take their locks again after each new sign-on, in the order they
  // came, until they leave.
  void Hold(LockHolder& holder);
  void Leave(LockHolder& holder);

 private:
  // The connection, signed on anew when the server dropped it outside a transaction.
  sql::SqlConnection& live();
  void signOnAgain();
  // The first refusal of a holder, empty when every one took its locks again.
  std::string retakeLocks();

  sql::SqlEndpoint endpoint_;
  std::unique_ptr<sql::SqlConnection> connection_;  // none after a failed new sign-on
  std::vector<LockHolder*> holders_;
  bool signingOn_ = false;
};

}  // namespace ff
