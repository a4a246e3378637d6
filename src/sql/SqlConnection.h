// One connection to a MariaDB server: text as utf8mb4, timeouts on connecting and on every
// answer, several statements per request, prepared statements kept by their SQL text,
// LOAD DATA LOCAL fed from memory and transactions that nest. A lost connection stays lost:
// every later call throws SqlError (Lost); the server has then released this connection's
// locks and rolled back its open transaction. Whoever wants to go on signs on anew.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sql/SqlEndpoint.h"
#include "sql/SqlValue.h"

typedef struct st_mysql MYSQL;

namespace sql {

class SqlStatement;

// The rows of a result set as text; NULL as nullopt.
struct SqlResultSet {
  std::vector<std::string> columns;
  std::vector<std::vector<std::optional<std::string>>> rows;
};

class SqlConnection {
 public:
  // Throws SqlError: Refused when the server cannot be reached, is silent or refuses the
  // login, NotFound for a missing database.
  explicit SqlConnection(const SqlEndpoint& endpoint);
  ~SqlConnection();
  SqlConnection(const SqlConnection&) = delete;
  SqlConnection& operator=(const SqlConnection&) = delete;

  const SqlEndpoint& Endpoint() const { return endpoint_; }
  bool Lost() const { return lost_; }
  // Lost, or closed by the server since the last call (a restart, KILL, the idle timeout),
  // which no call has met yet; marks it lost then. Asks nothing of the server.
  bool Dropped();

  // Runs a text of one or more statements; every result is read and dropped. Throws SqlError
  // for the first failing statement, after the ones before it ran.
  void Execute(const std::string& sql);
  // Runs a text like Execute and returns its first result, nullopt when the first statement
  // gives no rows.
  std::optional<SqlResultSet> FirstResultSet(const std::string& sql);
  // Runs a query and calls onRow for each row as it arrives (nothing is buffered): the values,
  // nullptr for NULL, and their lengths. What onRow throws reaches the caller once the rest
  // of the rows are read off the connection. Throws SqlError.
  using RowHandler = std::function<void(const char* const* values, const unsigned long* lengths)>;
  void ForEachRow(const std::string& sql, const RowHandler& onRow);
  // Whether a table of this exact name exists in the current database.
  bool TableExists(const std::string& name);

  // Fills `buffer` with the next bytes of the data; returns how many (0 at the end).
  // Throwing ends the load; the exception reaches the caller of LoadLocal.
  using DataSource = std::function<std::size_t(char* buffer, std::size_t size)>;
  // Runs a LOAD DATA LOCAL INFILE statement whose file content comes from `source`; returns
  // the rows the server took. Throws SqlError for a refusal by the server, including any
  // warning (the first ones in the message), or what `source` threw.
  std::uint64_t LoadLocal(const std::string& sql, const DataSource& source);

  // A string literal for SQL text, quoted and escaped for this connection.
  std::string Literal(std::string_view text);
  // The rows changed and the AUTO_INCREMENT value made by the last statement without rows
  // that Execute or FirstResultSet ran.
  std::uint64_t AffectedRows() const { return changed_; }
  std::uint64_t InsertId() const { return insertId_; }

  // The prepared statement of this SQL text, made on first use. Throws SqlError.
  SqlStatement& Prepare(const std::string& sql);

  struct WriteResult {
    std::uint64_t changed = 0;   // rows the statement changed
    std::uint64_t insertId = 0;  // the AUTO_INCREMENT value of an insert
  };
  // Runs one writing statement, a transaction of its own unless a transaction is open, when
  // it joins it. A deadlock outside a transaction runs it again.
  WriteResult Write(const std::string& sql, const std::vector<SqlValue>& params);

  // Runs an INSERT of one row with its values and then `after` (SQL text) as one transaction in
  // a single prepared statement, so the pair costs one round trip and one answer; inside an open
  // transaction both join it. Returns the row's AUTO_INCREMENT value. A deadlock outside a
  // transaction runs them again; any failure outside one leaves nothing of either written and no
  // transaction open.
  std::uint64_t InsertInOneRequest(const std::string& insert, const std::vector<SqlValue>& params,
                                   const std::string& after);

  // Runs work as one transaction; inside another one it joins it. A deadlock of an outermost
  // transaction runs it again (the server rolled it back whole). Throws what work throws,
  // after rolling back when outermost.
  void InTransaction(const std::function<void()>& work);
  // Opens and ends a transaction that Write and InTransaction join meanwhile (bulk loads).
  // Only the outermost commit reaches the server; it throws SqlError when a deadlock inside
  // made the server roll the transaction back.
  void BeginTransaction();
  void CommitTransaction();
  // Ends a transaction that failed: the outermost is rolled back on the server, an inner one
  // is left to the outer one's failure. Throws SqlError only when the rollback cannot reach
  // the server (which then drops the transaction with the connection).
  void RollbackTransaction();
  int TransactionDepth() const { return depth_; }

  // --- For SqlStatement. ---
  MYSQL* Handle();
  // Throws the SqlError of a server or client library error; a lost connection is marked.
  [[noreturn]] void Raise(unsigned code, const std::string& serverText, const std::string& doing);
  // Raise with the connection's last error.
  [[noreturn]] void RaiseLast(const std::string& doing);

  struct LocalLoad;

 private:
  void checkUsable() const;
  void query(const std::string& sql);
  void finishResults();
  std::string warningsText();
  // Ends a failed transaction: rolls back when outermost, else leaves it to the outer one.
  void leaveFailed(bool outermost);
  // Asks the server, once, to send the session's last_insert_id with each answer.
  void trackInsertKeys();
  // Runs attempt, and afterFailure (may be empty) after each failed try. A deadlock outside a
  // transaction tries again (the server rolled it back whole); inside one it marks the
  // transaction aborted and is thrown.
  WriteResult againOnDeadlock(const std::function<WriteResult()>& attempt,
                              const std::function<void()>& afterFailure = {});

  SqlEndpoint endpoint_;
  MYSQL* mysql_;
  bool lost_ = false;
  int depth_ = 0;
  // Set when the server rolled back an open outer transaction (deadlock inside it).
  bool aborted_ = false;
  LocalLoad* load_ = nullptr;
  std::uint64_t changed_ = 0;
  std::uint64_t insertId_ = 0;  // the LOAD DATA LOCAL under way
  std::map<std::string, std::unique_ptr<SqlStatement>> statements_;
  bool trackingAsked_ = false;  // whether the server was asked to track insert keys
};

}  // namespace sql
