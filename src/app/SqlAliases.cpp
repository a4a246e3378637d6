#include "app/SqlAliases.h"

#include <QSqlError>

#include <cstdlib>
#include <map>

#include "settings/Felles.h"
#include "settings/IniFile.h"
#include "text/Utf8Text.h"

namespace {

constexpr const char* kKeys[] = {"Driver", "Host", "Socket", "Port", "Database", "User", "Password"};

std::string envOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : fallback;
}

std::string privateServerFolder() {
  if (const char* dir = std::getenv("KV_MYSQL_DIR"); dir && *dir) return dir;
  const std::string state = envOr("XDG_STATE_HOME", envOr("HOME", ".") + "/.local/state");
  return state + "/kvistmerket/mysql";
}

QString text(const std::optional<std::string>& value) {
  return QString::fromStdString(value.value_or(""));
}

bool operator==(const SqlAliasSettings& a, const SqlAliasSettings& b) {
  return a.driver == b.driver && a.host == b.host && a.socket == b.socket && a.port == b.port &&
         a.database == b.database && a.user == b.user && a.password == b.password;
}

QString connectionName(const std::string& alias) {
  return "kvsql:" + QString::fromStdString(alias).toUpper();
}

// The settings each open connection was made with.
std::map<QString, SqlAliasSettings>& openConnections() {
  static std::map<QString, SqlAliasSettings> connections;
  return connections;
}

bool leadsToPrivateServer(const SqlAliasSettings& settings) {
  return settings.host.isEmpty() && settings.socket == PrivateServerAlias().socket;
}

// The server's or driver's text under a Norwegian line naming the alias; when the alias leads
// to the private server, which is most likely not started, how to start it.
std::string connectionFailure(const std::string& alias, const SqlAliasSettings& settings, const QSqlError& error) {
  std::string message = "Kan ikke koble til SQL-databasen for databasealiaset " + alias + ":\n" + SqlErrorText(error);
  if (leadsToPrivateServer(settings)) {
    message += "\nDen lokale MariaDB-en kjører trolig ikke. Start den med: scripts/mysql-local.sh start";
  }
  return message;
}

QSqlDatabase connect(const std::string& alias, const QString& name, const SqlAliasSettings& settings) {
  if (!QSqlDatabase::isDriverAvailable(settings.driver)) {
    throw ESqlError("Databasedriveren " + settings.driver.toStdString() + " finnes ikke");
  }
  QSqlDatabase db = QSqlDatabase::addDatabase(settings.driver, name);
  db.setHostName(settings.host);
  if (settings.port > 0) db.setPort(settings.port);
  db.setDatabaseName(settings.database);
  db.setUserName(settings.user);
  db.setPassword(settings.password);
  // Qt's MySQL driver always asks for several statements per request.
  QString options = "MYSQL_OPT_RECONNECT=1";
  if (!settings.socket.isEmpty()) options += ";UNIX_SOCKET=" + settings.socket;
  db.setConnectOptions(options);
  if (!db.open()) {
    const std::string message = connectionFailure(alias, settings, db.lastError());
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
    throw ESqlError(message);
  }
  openConnections()[name] = settings;
  return db;
}

}  // namespace

std::string SqlAliasFileName() { return SettingsFolder() + "SQLALIAS.INI"; }

SqlAliasSettings PrivateServerAlias() {
  SqlAliasSettings settings;
  settings.socket = QString::fromStdString(privateServerFolder() + "/mysqld.sock");
  settings.database = "kvist";
  settings.user = "root";
  return settings;
}

std::optional<SqlAliasSettings> ReadSqlAlias(const std::string& alias) {
  const IniFile file = IniFile::Load(SqlAliasFileName());
  bool present = false;
  for (const char* key : kKeys) present = present || file.Read(alias, key).has_value();
  if (!present) {
    if (Utf8Upper(alias) == Utf8Upper(kSqlAliasMySQLweb)) return PrivateServerAlias();
    return std::nullopt;
  }
  SqlAliasSettings settings;
  if (const auto driver = file.Read(alias, "Driver"); driver && !driver->empty()) {
    settings.driver = QString::fromStdString(*driver);
  }
  settings.host = text(file.Read(alias, "Host"));
  settings.socket = text(file.Read(alias, "Socket"));
  settings.port = text(file.Read(alias, "Port")).toInt();
  settings.database = text(file.Read(alias, "Database"));
  settings.user = text(file.Read(alias, "User"));
  settings.password = text(file.Read(alias, "Password"));
  return settings;
}

void WriteSqlAlias(const std::string& alias, const SqlAliasSettings& settings) {
  IniFile file = IniFile::Load(SqlAliasFileName());
  const QString port = settings.port > 0 ? QString::number(settings.port) : QString();
  const QString values[] = {settings.driver,   settings.host, settings.socket,  port,
                            settings.database, settings.user, settings.password};
  for (std::size_t i = 0; i < std::size(kKeys); ++i) file.Write(alias, kKeys[i], values[i].toStdString());
  file.Save();
}

QSqlDatabase SqlConnection(const std::string& alias) {
  const auto settings = ReadSqlAlias(alias);
  if (!settings) throw ESqlError("Ukjent databasealias: " + alias);
  const QString name = connectionName(alias);
  const auto known = openConnections().find(name);
  if (known != openConnections().end()) {
    if (known->second == *settings && QSqlDatabase::database(name, false).isOpen()) {
      return QSqlDatabase::database(name, false);
    }
    CloseSqlConnection(alias);
  }
  return connect(alias, name, *settings);
}

void CloseSqlConnection(const std::string& alias) {
  const QString name = connectionName(alias);
  openConnections().erase(name);
  if (!QSqlDatabase::contains(name)) return;
  QSqlDatabase::database(name, false).close();
  QSqlDatabase::removeDatabase(name);
}

std::string SqlErrorText(const QSqlError& error) {
  const QString server = error.databaseText().trimmed();
  return (server.isEmpty() ? error.driverText() : server).toStdString();
}
