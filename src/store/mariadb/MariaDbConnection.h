// One connection to a MariaDB server: text as utf8mb4, binary comparisons of text, each
// statement seeing what other connections have committed, and prepared statements kept by
// their SQL text. A lost connection stays lost: every later call throws EConnection (the
// server has then released this connection's locks and rolled back its open transaction).
#pragma once

#include <mysql.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/Value.h"

namespace ff {

class MariaDbStatement;

class MariaDbConnection {
 public:
  // Connects to "name@address[:port]" as user/password. Throws EConnection with the
  // server's message when the server cannot be reached or refuses the login.
  MariaDbConnection(const std::string& serverName, const std::string& user, const std::string& password);
  ~MariaDbConnection();
  MariaDbConnection(const MariaDbConnection&) = delete;
  MariaDbConnection& operator=(const MariaDbConnection&) = delete;

  const std::string& ServerName() const { return serverName_; }
  bool Lost() const { return lost_; }
  MYSQL* Handle();

  // Runs SQL without parameters or rows (definitions). Throws as RaiseCode does.
  void Execute(const std::string& sql);
  // The prepared statement of this SQL text, made on first use. Throws as RaiseCode does.
  MariaDbStatement& Prepare(const std::string& sql);

  struct WriteResult {
    std::uint64_t changed = 0;  // rows the statement changed
    std::uint64_t insertId = 0;  // the AUTO_INCREMENT value of an insert
  };
  // Runs one writing statement, a transaction of its own (with what triggers do) unless a
  // transaction is open, when it joins it. A deadlock outside a transaction runs it again.
  WriteResult Write(const std::string& sql, const std::vector<Value>& params, const std::vector<bool>& binary = {});

  // Runs work as one transaction; inside another one it joins it. A deadlock of an outermost
  // transaction runs it again (the server rolled it back whole). Throws what work throws,
  // after rolling back when outermost.
  void InTransaction(const std::function<void()>& work);
  // Opens and ends a transaction that Write and InTransaction join meanwhile (bulk loads).
  void BeginTransaction();
  void CommitTransaction();

  // Throws the store's exception for a server error: EConnection when the connection is lost
  // (and marks it lost), EKeyViolation for a duplicate key, ENotFound for a missing database
  // or table, Error otherwise.
  [[noreturn]] void RaiseCode(unsigned code, const std::string& message, const std::string& what);
  [[noreturn]] void Raise(const std::string& what);

 private:
  void checkUsable() const;
  // A deadlock inside an open transaction: the server rolled all of it back.
  void markAborted() { aborted_ = true; }

  std::string serverName_;
  MYSQL* mysql_;
  bool lost_ = false;
  int depth_ = 0;
  // Set when the server rolled back an open outer transaction (deadlock inside it).
  bool aborted_ = false;
  std::map<std::string, std::unique_ptr<MariaDbStatement>> statements_;
};

}  // namespace ff
