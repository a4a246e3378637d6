#include "app/MariaDbConnection.h"

#include <errmsg.h>
#include <mysql.h>

#include <cstring>
#include <exception>

namespace {

std::string utf8(const QString& s) { return s.toStdString(); }

// The state of one LOAD DATA LOCAL between the client library's callbacks.
struct LocalLoad {
  const MariaDbConnection::DataSource* source = nullptr;
  std::exception_ptr failure;
};

int loadInit(void** ptr, const char*, void* userdata) {
  *ptr = userdata;
  return 0;
}

int loadRead(void* ptr, char* buffer, unsigned int size) {
  auto* load = static_cast<LocalLoad*>(ptr);
  try {
    return static_cast<int>((*load->source)(buffer, size));
  } catch (...) {
    load->failure = std::current_exception();
    return -1;
  }
}

void loadEnd(void*) {}

int loadError(void*, char* message, unsigned int size) {
  std::strncpy(message, "Lesingen av radene stoppet", size - 1);
  message[size - 1] = '\0';
  return CR_UNKNOWN_ERROR;
}

}  // namespace

MariaDbConnection::MariaDbConnection(const SqlAliasSettings& settings) : mysql_(mysql_init(nullptr)) {
  if (!mysql_) throw ESqlError("Tomt for minne");
  const unsigned int localInfile = 1;
  mysql_options(mysql_, MYSQL_OPT_LOCAL_INFILE, &localInfile);
  mysql_options(mysql_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  const std::string host = utf8(settings.host), socket = utf8(settings.socket);
  const std::string user = utf8(settings.user), password = utf8(settings.password);
  const std::string database = utf8(settings.database);
  if (!mysql_real_connect(mysql_, host.empty() ? nullptr : host.c_str(), user.c_str(), password.c_str(),
                          database.empty() ? nullptr : database.c_str(), static_cast<unsigned>(settings.port),
                          socket.empty() ? nullptr : socket.c_str(), 0)) {
    const std::string message = mysql_error(mysql_);
    mysql_close(mysql_);
    mysql_ = nullptr;
    throw ESqlError(message);
  }
}

MariaDbConnection::~MariaDbConnection() {
  if (mysql_) mysql_close(mysql_);
}

void MariaDbConnection::fail() { throw ESqlError(mysql_error(mysql_)); }

void MariaDbConnection::Execute(const std::string& sql) {
  if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0) fail();
  do {
    if (MYSQL_RES* result = mysql_store_result(mysql_)) mysql_free_result(result);
  } while (mysql_next_result(mysql_) == 0);
  if (mysql_errno(mysql_) != 0) fail();
}

void MariaDbConnection::ForEachRow(const std::string& sql, const RowHandler& onRow) {
  if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0) fail();
  MYSQL_RES* result = mysql_use_result(mysql_);
  if (!result) fail();
  std::exception_ptr failure;
  while (MYSQL_ROW row = mysql_fetch_row(result)) {
    if (failure) continue;  // the rest of the result must still be read off the connection
    try {
      onRow(row, mysql_fetch_lengths(result));
    } catch (...) {
      failure = std::current_exception();
    }
  }
  const bool broken = mysql_errno(mysql_) != 0;
  const std::string message = broken ? mysql_error(mysql_) : "";
  mysql_free_result(result);
  if (failure) std::rethrow_exception(failure);
  if (broken) throw ESqlError(message);
}

bool MariaDbConnection::TableExists(const std::string& name) {
  bool found = false;
  ForEachRow("SELECT 1 FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = " +
                 Literal(name),
             [&](const char* const*, const unsigned long*) { found = true; });
  return found;
}

std::uint64_t MariaDbConnection::LoadLocal(const std::string& sql, const DataSource& source) {
  LocalLoad load{&source, nullptr};
  mysql_set_local_infile_handler(mysql_, loadInit, loadRead, loadEnd, loadError, &load);
  const int status = mysql_real_query(mysql_, sql.data(), sql.size());
  mysql_set_local_infile_default(mysql_);
  if (load.failure) std::rethrow_exception(load.failure);
  if (status != 0) fail();
  const std::uint64_t rows = mysql_affected_rows(mysql_);
  if (mysql_warning_count(mysql_) > 0) throw ESqlError(warningsText());
  return rows;
}

std::string MariaDbConnection::warningsText() {
  std::string text;
  ForEachRow("SHOW WARNINGS LIMIT 3", [&](const char* const* values, const unsigned long*) {
    if (!text.empty()) text += "; ";
    text += values[2] ? values[2] : "";
  });
  return text;
}

std::string MariaDbConnection::Literal(std::string_view text) {
  std::string out(text.size() * 2 + 1, '\0');
  out.resize(mysql_real_escape_string(mysql_, out.data(), text.data(), text.size()));
  return "'" + out + "'";
}
