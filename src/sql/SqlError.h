// The one error of the SQL client: what kind of failure it was, the server's (or client
// library's) code and text, and what the client was doing.
#pragma once

#include <stdexcept>
#include <string>

namespace sql {

enum class SqlErrorKind {
  Lost,          // the connection broke; it stays broken
  DuplicateKey,  // a unique key refused the row
  NotFound,      // the database or table does not exist
  Deadlock,      // the server rolled back the whole transaction
  Refused,       // no connection: access denied, unknown or silent server, bad server name
  Other,
};

// The kind of a server or client library error code, for an open connection.
SqlErrorKind KindOfCode(unsigned code);

class SqlError : public std::runtime_error {
 public:
  // what() is the server's text, else what the client was doing.
  SqlError(SqlErrorKind kind, std::string doing, std::string serverText = {}, unsigned code = 0);

  SqlErrorKind Kind() const { return kind_; }
  unsigned Code() const { return code_; }
  const std::string& Doing() const { return doing_; }
  const std::string& ServerText() const { return serverText_; }
  // "doing: server text", or only what the client was doing when the server said nothing.
  std::string Described() const;

 private:
  SqlErrorKind kind_;
  std::string doing_;
  std::string serverText_;
  unsigned code_;
};

}  // namespace sql
