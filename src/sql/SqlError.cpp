#include "sql/SqlError.h"

#include <errmsg.h>
#include <mysqld_error.h>

namespace sql {

SqlErrorKind KindOfCode(unsigned code) {
  switch (code) {
    case CR_SERVER_GONE_ERROR:
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR:
    case CR_UNKNOWN_HOST:
    case CR_SSL_CONNECTION_ERROR:  // over TLS a dropped or silent server shows as this
    case ER_CONNECTION_KILLED:
    case ER_SERVER_SHUTDOWN:
    case ER_NET_READ_ERROR:
    case ER_NET_READ_INTERRUPTED:
    case ER_NET_ERROR_ON_WRITE:
      return SqlErrorKind::Lost;
    case ER_DUP_ENTRY:
    case ER_DUP_KEY:
    case ER_DUP_ENTRY_WITH_KEY_NAME:
      return SqlErrorKind::DuplicateKey;
    case ER_BAD_DB_ERROR:
    case ER_NO_SUCH_TABLE:
      return SqlErrorKind::NotFound;
    case ER_LOCK_DEADLOCK:
      return SqlErrorKind::Deadlock;
    case ER_ACCESS_DENIED_ERROR:
    case ER_DBACCESS_DENIED_ERROR:
      return SqlErrorKind::Refused;
    default:
      return SqlErrorKind::Other;
  }
}

SqlError::SqlError(SqlErrorKind kind, std::string doing, std::string serverText, unsigned code)
    : std::runtime_error(serverText.empty() ? doing : serverText),
      kind_(kind),
      doing_(std::move(doing)),
      serverText_(std::move(serverText)),
      code_(code) {}

std::string SqlError::Described() const { return serverText_.empty() ? doing_ : doing_ + ": " + serverText_; }

}  // namespace sql
