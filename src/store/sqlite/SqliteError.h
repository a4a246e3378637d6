// The store's exceptions for failed SQLite calls.
#pragma once

#include <string>

#include "store/Errors.h"

struct sqlite3;

namespace ff {

// Any other failure of SQLite, with its result code, so that opening can tell damage from
// the rest.
class SqliteFailure : public Error {
 public:
  SqliteFailure(const std::string& message, int code) : Error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// Throws the store's exception for a failed SQLite call; msg is the message for people.
[[noreturn]] void RaiseSqliteCode(sqlite3* db, int rc, const std::string& msg);
// The same, the message being `what` and SQLite's own.
[[noreturn]] void RaiseSqlite(sqlite3* db, int rc, const std::string& what);

}  // namespace ff
