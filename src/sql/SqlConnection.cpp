#include "sql/SqlConnection.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>
#include <exception>

#include "sql/SqlError.h"
#include "sql/SqlStatement.h"

namespace sql {

// The state of one LOAD DATA LOCAL between the client library's callbacks.
struct SqlConnection::LocalLoad {
  const DataSource* source = nullptr;
  std::exception_ptr failure;
};

namespace {

// Prepared statements kept per connection before the cache starts over.
constexpr std::size_t kStatementCacheSize = 256;
constexpr int kDeadlockRetries = 3;

// The server may ask for a local file at any LOAD DATA LOCAL; only the data of LoadLocal is
// given, never a file of this machine.
int loadInit(void** ptr, const char*, void* userdata) {
  *ptr = *static_cast<SqlConnection::LocalLoad**>(userdata);
  return *ptr ? 0 : 1;
}

int loadRead(void* ptr, char* buffer, unsigned int size) {
  auto* load = static_cast<SqlConnection::LocalLoad*>(ptr);
  try {
    return static_cast<int>((*load->source)(buffer, size));
  } catch (...) {
    load->failure = std::current_exception();
    return -1;
  }
}

void loadEnd(void*) {}

int loadError(void* ptr, char* message, unsigned int size) {
  const char* text = ptr ? "Lesingen av radene stoppet" : "Ingen lokal fil sendes til serveren";
  std::strncpy(message, text, size - 1);
  message[size - 1] = '\0';
  return CR_UNKNOWN_ERROR;
}

const char* orNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

// TLS as the endpoint asks; the CA also makes the library check the server's certificate.
void setTlsOptions(MYSQL* mysql, const SqlEndpoint& endpoint) {
  if (!endpoint.TlsRequired() && endpoint.tls.ca.empty()) return;
  mysql_ssl_set(mysql, nullptr, nullptr, orNull(endpoint.tls.ca), nullptr, nullptr);
  const my_bool enforce = endpoint.TlsRequired();
  mysql_optionsv(mysql, MYSQL_OPT_SSL_ENFORCE, &enforce);
  const my_bool verify = endpoint.VerifiesServerName();
  mysql_optionsv(mysql, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &verify);
}

void setOptions(MYSQL* mysql, const SqlEndpoint& endpoint) {
  const unsigned localInfile = 1;
  const unsigned connectSeconds = TimeoutSeconds(endpoint.connectSeconds);
  const unsigned answerSeconds = TimeoutSeconds(endpoint.answerSeconds);
  mysql_optionsv(mysql, MYSQL_OPT_LOCAL_INFILE, &localInfile);
  mysql_optionsv(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &connectSeconds);
  mysql_optionsv(mysql, MYSQL_OPT_READ_TIMEOUT, &answerSeconds);
  mysql_optionsv(mysql, MYSQL_OPT_WRITE_TIMEOUT, &answerSeconds);
  mysql_optionsv(mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (endpoint.OverTcp()) {
    const unsigned tcp = MYSQL_PROTOCOL_TCP;  // "localhost" too goes over TCP/IP
    mysql_optionsv(mysql, MYSQL_OPT_PROTOCOL, &tcp);
  }
  setTlsOptions(mysql, endpoint);
}

// Probes on an idle TCP/IP connection, so that a server whose machine is gone is noticed
// while waiting for it.
void keepAlive(MYSQL* mysql) {
  const int fd = static_cast<int>(mysql_get_socket(mysql));
  const int on = 1, idle = 10, interval = 5, probes = 3;
  setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

// The true cause of a refused connection, in the user's words; the library's or server's own
// text goes with it.
std::string refusalCause(const SqlEndpoint& endpoint, unsigned code) {
  const std::string server = "serveren " + endpoint.name;
  switch (code) {
    case ER_ACCESS_DENIED_ERROR:
    case ER_ACCESS_DENIED_NO_PASSWORD_ERROR:
      return "Serveren " + endpoint.name + " avviste innloggingen til " + endpoint.user +
             ": feil brukernavn eller passord" +
             (endpoint.TlsRequired() ? "" : ", eller serveren krever kryptert forbindelse (TLS)");
    case ER_DBACCESS_DENIED_ERROR:
      return "Brukeren " + endpoint.user + " har ikke tilgang til databasen " + endpoint.database + " på " + server;
    case ER_BAD_DB_ERROR:
      return "Databasen " + endpoint.database + " finnes ikke på " + server;
    case CR_CONNECTION_ERROR:
    case CR_CONN_HOST_ERROR:
      return "Får ikke kontakt med " + server + ": ingen server svarer på adressen";
    case CR_UNKNOWN_HOST:
      return "Finner ikke adressen til " + server;
    case CR_SERVER_LOST:
    case CR_SERVER_LOST_EXTENDED:
    case CR_SERVER_GONE_ERROR:
      return "Serveren " + endpoint.name + " svarer ikke (ventet " +
             std::to_string(TimeoutSeconds(endpoint.connectSeconds)) + " sekunder)";
    case CR_SSL_CONNECTION_ERROR:
      return "Kryptert forbindelse (TLS) til " + server +
             " kunne ikke settes opp: serverens sertifikat ble ikke godtatt, eller serveren har ikke TLS";
    default:
      return "Kan ikke koble til " + server;
  }
}

// Connects and signs on; throws SqlError with the cause, also for a session left unencrypted
// where TLS is required. With no user the library would sign on as the system user.
void signOn(MYSQL* mysql, const SqlEndpoint& endpoint) {
  if (endpoint.user.empty()) {
    throw SqlError(SqlErrorKind::Refused, "Ingen bruker er oppgitt for innlogging til serveren " + endpoint.name);
  }
  setOptions(mysql, endpoint);
  if (!mysql_real_connect(mysql, orNull(endpoint.host), endpoint.user.c_str(), endpoint.password.c_str(),
                          orNull(endpoint.database), endpoint.port, orNull(endpoint.socket), CLIENT_MULTI_STATEMENTS)) {
    const unsigned code = mysql_errno(mysql);
    const SqlErrorKind kind = code == ER_BAD_DB_ERROR ? SqlErrorKind::NotFound : SqlErrorKind::Refused;
    throw SqlError(kind, refusalCause(endpoint, code), mysql_error(mysql), code);
  }
  if (endpoint.TlsRequired() && !mysql_get_ssl_cipher(mysql)) {
    throw SqlError(SqlErrorKind::Refused,
                   "Forbindelsen til serveren " + endpoint.name + " er ikke kryptert (TLS), men kryptering er påkrevd");
  }
}

// An insert and `after` as one compound statement, which the server answers once, when all of
// it has run (a request of several statements gets an answer for each). The key comes back in
// that answer's session tracking, without a result set to read: the compound sets the session's
// last_insert_id, which the connection asked the server to track. With ownTransaction it is a
// transaction of its own.
std::string compoundOf(const std::string& insert, const std::string& after, bool ownTransaction) {
  return std::string("BEGIN NOT ATOMIC ") + (ownTransaction ? "START TRANSACTION; " : "") + insert +
         "; SET @@session.last_insert_id = LAST_INSERT_ID(); " + after + "; " + (ownTransaction ? "COMMIT; " : "") +
         "END";
}

// The value of the tracked system variable `name` in the last answer, if it came.
std::optional<std::uint64_t> trackedNumber(MYSQL* mysql, std::string_view name) {
  const char* data = nullptr;
  std::size_t length = 0;
  for (int rc = mysql_session_track_get_first(mysql, SESSION_TRACK_SYSTEM_VARIABLES, &data, &length); rc == 0;
       rc = mysql_session_track_get_next(mysql, SESSION_TRACK_SYSTEM_VARIABLES, &data, &length)) {
    const bool wanted = std::string_view(data, length) == name;
    if (mysql_session_track_get_next(mysql, SESSION_TRACK_SYSTEM_VARIABLES, &data, &length) != 0) break;
    std::uint64_t value = 0;
    if (wanted && std::from_chars(data, data + length, value).ec == std::errc()) return value;
  }
  return std::nullopt;
}

}  // namespace

SqlConnection::SqlConnection(const SqlEndpoint& endpoint) : endpoint_(endpoint), mysql_(mysql_init(nullptr)) {
  if (!mysql_) throw SqlError(SqlErrorKind::Refused, "Tom for minne ved tilkobling til " + endpoint_.name);
  try {
    signOn(mysql_, endpoint_);
  } catch (...) {
    mysql_close(mysql_);
    throw;
  }
  if (endpoint_.OverTcp()) keepAlive(mysql_);
  mysql_set_local_infile_handler(mysql_, loadInit, loadRead, loadEnd, loadError, &load_);
}

SqlConnection::~SqlConnection() {
  statements_.clear();
  mysql_close(mysql_);
}

void SqlConnection::checkUsable() const {
  if (lost_) throw SqlError(SqlErrorKind::Lost, "Forbindelsen til serveren " + endpoint_.name + " er brutt");
}

bool SqlConnection::Dropped() {
  if (lost_) return true;
  // Between requests the server sends nothing: anything to read, or the end, is its goodbye.
  pollfd socket{static_cast<int>(mysql_get_socket(mysql_)), POLLIN | POLLRDHUP, 0};
  if (::poll(&socket, 1, 0) > 0) lost_ = true;
  return lost_;
}

MYSQL* SqlConnection::Handle() {
  checkUsable();
  return mysql_;
}

void SqlConnection::Raise(unsigned code, const std::string& serverText, const std::string& doing) {
  switch (const SqlErrorKind kind = KindOfCode(code)) {
    case SqlErrorKind::Lost: {
      lost_ = true;
      const bool silent = serverText.find("timed out") != std::string::npos ||
                          serverText.find("timeout") != std::string::npos;
      throw SqlError(kind,
                     "Forbindelsen til serveren " + endpoint_.name + " er brutt" +
                         (silent ? ": serveren svarte ikke på " + std::to_string(TimeoutSeconds(endpoint_.answerSeconds)) +
                                       " sekunder"
                                 : ""),
                     serverText, code);
    }
    case SqlErrorKind::DuplicateKey:
      throw SqlError(kind, "Nøkkelbrudd", serverText, code);
    default:
      throw SqlError(kind, doing, serverText, code);
  }
}

void SqlConnection::RaiseLast(const std::string& doing) { Raise(mysql_errno(mysql_), mysql_error(mysql_), doing); }

void SqlConnection::query(const std::string& sql) {
  checkUsable();
  if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0) RaiseLast("Databasefeil");
}

void SqlConnection::finishResults() {
  for (;;) {
    if (MYSQL_RES* result = mysql_store_result(mysql_)) {
      mysql_free_result(result);
    } else {
      changed_ = mysql_affected_rows(mysql_);
      insertId_ = mysql_insert_id(mysql_);
    }
    const int next = mysql_next_result(mysql_);
    if (next > 0) RaiseLast("Databasefeil");
    if (next < 0) return;
  }
}

void SqlConnection::Execute(const std::string& sql) {
  query(sql);
  finishResults();
}

std::optional<SqlResultSet> SqlConnection::FirstResultSet(const std::string& sql) {
  query(sql);
  std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> result(mysql_store_result(mysql_), &mysql_free_result);
  if (!result) {
    if (mysql_errno(mysql_) != 0) RaiseLast("Kan ikke lese svaret fra serveren");
    finishResults();
    return std::nullopt;
  }
  SqlResultSet set;
  const unsigned count = mysql_num_fields(result.get());
  const MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
  for (unsigned i = 0; i < count; ++i) set.columns.emplace_back(fields[i].name, fields[i].name_length);
  while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
    const unsigned long* lengths = mysql_fetch_lengths(result.get());
    auto& values = set.rows.emplace_back(count);
    for (unsigned i = 0; i < count; ++i) {
      if (row[i]) values[i].emplace(row[i], lengths[i]);
    }
  }
  result.reset();
  finishResults();
  return set;
}

void SqlConnection::ForEachRow(const std::string& sql, const RowHandler& onRow) {
  query(sql);
  MYSQL_RES* result = mysql_use_result(mysql_);
  if (!result) RaiseLast("Kan ikke lese svaret fra serveren");
  std::exception_ptr failure;
  while (MYSQL_ROW row = mysql_fetch_row(result)) {
    if (failure) continue;  // the rest of the result must still be read off the connection
    try {
      onRow(row, mysql_fetch_lengths(result));
    } catch (...) {
      failure = std::current_exception();
    }
  }
  const unsigned code = mysql_errno(mysql_);
  const std::string text = code != 0 ? mysql_error(mysql_) : "";
  mysql_free_result(result);
  if (failure) std::rethrow_exception(failure);
  if (code != 0) Raise(code, text, "Kan ikke lese svaret fra serveren");
}

bool SqlConnection::TableExists(const std::string& name) {
  bool found = false;
  ForEachRow("SELECT 1 FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = " +
                 Literal(name),
             [&](const char* const*, const unsigned long*) { found = true; });
  return found;
}

std::uint64_t SqlConnection::LoadLocal(const std::string& sql, const DataSource& source) {
  checkUsable();
  LocalLoad load{&source, nullptr};
  load_ = &load;
  const int status = mysql_real_query(mysql_, sql.data(), sql.size());
  load_ = nullptr;
  if (load.failure) std::rethrow_exception(load.failure);
  if (status != 0) RaiseLast("Databasefeil");
  const std::uint64_t rows = mysql_affected_rows(mysql_);
  if (mysql_warning_count(mysql_) > 0) throw SqlError(SqlErrorKind::Other, "Databasefeil", warningsText());
  return rows;
}

std::string SqlConnection::warningsText() {
  std::string text;
  ForEachRow("SHOW WARNINGS LIMIT 3", [&](const char* const* values, const unsigned long*) {
    if (!text.empty()) text += "; ";
    text += values[2] ? values[2] : "";
  });
  return text;
}

std::string SqlConnection::Literal(std::string_view text) {
  std::string out(text.size() * 2 + 1, '\0');
  out.resize(mysql_real_escape_string(mysql_, out.data(), text.data(), text.size()));
  return "'" + out + "'";
}

SqlStatement& SqlConnection::Prepare(const std::string& sql) {
  checkUsable();
  auto it = statements_.find(sql);
  if (it != statements_.end()) return *it->second;
  if (statements_.size() >= kStatementCacheSize) statements_.clear();
  auto statement = std::make_unique<SqlStatement>(*this, sql);
  return *statements_.emplace(sql, std::move(statement)).first->second;
}

void SqlConnection::BeginTransaction() {
  if (depth_++ > 0) return;
  aborted_ = false;
  try {
    Execute("START TRANSACTION");
  } catch (...) {
    depth_ = 0;
    throw;
  }
}

void SqlConnection::CommitTransaction() {
  if (depth_ == 0 || --depth_ > 0) return;
  if (aborted_) {
    aborted_ = false;
    Execute("ROLLBACK");
    throw SqlError(SqlErrorKind::Other,
                   "Transaksjonen ble avbrutt av serveren (vranglås); ingenting av den er lagret");
  }
  Execute("COMMIT");
}

void SqlConnection::RollbackTransaction() {
  if (depth_ > 0) leaveFailed(depth_ == 1);
}

SqlConnection::WriteResult SqlConnection::againOnDeadlock(const std::function<WriteResult()>& attempt,
                                                          const std::function<void()>& afterFailure) {
  for (int tries = 1;; ++tries) {
    try {
      return attempt();
    } catch (const SqlError& e) {
      if (afterFailure) afterFailure();
      if (e.Kind() != SqlErrorKind::Deadlock) throw;
      if (depth_ > 0) {
        aborted_ = true;
        throw;
      }
      if (tries >= kDeadlockRetries) throw;
    }
  }
}

SqlConnection::WriteResult SqlConnection::Write(const std::string& sql, const std::vector<SqlValue>& params) {
  return againOnDeadlock([&] {
    SqlStatement& statement = Prepare(sql);
    const std::uint64_t changed = statement.Execute(params);
    return WriteResult{changed, statement.InsertId()};
  });
}

std::uint64_t SqlConnection::InsertInOneRequest(const std::string& insert, const std::vector<SqlValue>& params,
                                                const std::string& after) {
  trackInsertKeys();
  const bool own = depth_ == 0;
  const std::string compound = compoundOf(insert, after, own);
  againOnDeadlock(
      [&] {
        Prepare(compound).Execute(params);
        return WriteResult{};
      },
      // The compound stops at its first failing statement, leaving its own transaction open.
      [&] {
        if (own && !lost_) Execute("ROLLBACK");
      });
  if (const auto key = trackedNumber(mysql_, "last_insert_id")) return *key;
  // A server that tracks no variables: the compound left the key in the session.
  const auto asked = FirstResultSet("SELECT LAST_INSERT_ID()");
  return std::stoull(asked.value().rows.at(0).at(0).value_or("0"));
}

void SqlConnection::trackInsertKeys() {
  if (trackingAsked_) return;
  trackingAsked_ = true;
  try {
    Execute("SET SESSION session_track_system_variables = "
            "CONCAT_WS(',', NULLIF(@@session.session_track_system_variables, ''), 'last_insert_id')");
  } catch (const SqlError& e) {
    // Servers before session tracking refuse the variable; keys are then asked for.
    if (e.Kind() == SqlErrorKind::Lost) throw;
  }
}

void SqlConnection::leaveFailed(bool outermost) {
  if (!outermost) {
    --depth_;
    return;
  }
  depth_ = 0;
  if (!lost_) Execute("ROLLBACK");
}

void SqlConnection::InTransaction(const std::function<void()>& work) {
  const bool outermost = depth_ == 0;
  for (int attempt = 0;; ++attempt) {
    BeginTransaction();
    try {
      work();
      CommitTransaction();
      return;
    } catch (const SqlError& e) {
      if (e.Kind() != SqlErrorKind::Deadlock) {
        leaveFailed(outermost);
        throw;
      }
      if (!outermost) {
        --depth_;
        aborted_ = true;
        throw;
      }
      depth_ = 0;
      if (attempt + 1 >= kDeadlockRetries) throw;
    } catch (...) {
      leaveFailed(outermost);
      throw;
    }
  }
}

}  // namespace sql
