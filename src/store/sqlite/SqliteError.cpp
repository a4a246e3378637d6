#include "store/sqlite/SqliteError.h"

#include <sqlite3.h>

#include <cerrno>

namespace ff {

namespace {

bool isDiskFull(sqlite3* db, int rc) {
  const int primary = rc & 0xFF;
  const int error = db ? sqlite3_system_errno(db) : 0;
  return primary == SQLITE_FULL || (primary == SQLITE_IOERR && (error == ENOSPC || error == EDQUOT));
}

[[noreturn]] void raiseDiskFull(sqlite3* db, const std::string& msg) {
  const char* file = db ? sqlite3_db_filename(db, "main") : nullptr;
  const std::string where = file && *file ? " ved skriving til " + std::string(file) : std::string();
  throw EDiskFull("Disken er full" + where + " (" + msg + ")");
}

}  // namespace

void RaiseSqliteCode(sqlite3* db, int rc, const std::string& msg) {
  const int primary = rc & 0xFF;
  if (isDiskFull(db, rc)) raiseDiskFull(db, msg);
  if (rc == SQLITE_CONSTRAINT_UNIQUE || rc == SQLITE_CONSTRAINT_PRIMARYKEY) throw EKeyViolation(msg);
  if (primary == SQLITE_READONLY) throw EReadOnly(msg);
  if (primary == SQLITE_IOERR) throw SqliteFailure("Feil ved lesing eller skriving på disken (" + msg + ")", rc);
  throw SqliteFailure(msg, rc);
}

void RaiseSqlite(sqlite3* db, int rc, const std::string& what) {
  RaiseSqliteCode(db, rc, what + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
}

}  // namespace ff
