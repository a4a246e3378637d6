// SQL database aliases: named connections to a MySQL/MariaDB server, configured in an INI file
// in the settings folder (one section per alias) and opened as named Qt SQL connections.
#pragma once

#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <stdexcept>
#include <string>

// A failure of the SQL database layer; the message is the database's own text.
class ESqlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where an alias leads. An empty socket and host mean the server's default socket.
struct SqlAliasSettings {
  QString driver = "QMARIADB";
  QString host;
  QString socket;
  int port = 0;  // 0: the driver's default
  QString database;
  QString user;
  QString password;
};

// The alias the conversion window runs its SQL on.
inline constexpr const char* kSqlAliasMySQLweb = "MySQLweb";

// Full path of the alias file: SettingsFolder() + "SQLALIAS.INI".
std::string SqlAliasFileName();

// The private MariaDB that scripts/mysql-local.sh runs: its socket in $KV_MYSQL_DIR, else
// $XDG_STATE_HOME/kvistmerket/mysql, else ~/.local/state/kvistmerket/mysql; database "kvist",
// user "root" without a password.
SqlAliasSettings PrivateServerAlias();

// Returns the alias's section of the alias file (names match without regard to case). Without
// a section, "MySQLweb" is PrivateServerAlias() and any other alias is nullopt.
// Throws SettingsError when the file exists but cannot be read.
std::optional<SqlAliasSettings> ReadSqlAlias(const std::string& alias);

// Writes (or replaces) the alias's section in the alias file.
// Throws SettingsError when the file cannot be written.
void WriteSqlAlias(const std::string& alias, const SqlAliasSettings& settings);

// Returns the open Qt SQL connection of the alias, connecting on first use (the connection is
// named after the alias and allows several statements in one request). A connection whose
// settings changed in the alias file is made again.
// Throws ESqlError for an unknown alias, a missing driver or a failed connection.
QSqlDatabase SqlConnection(const std::string& alias);

// Closes and forgets the alias's connection; nothing happens when there is none.
void CloseSqlConnection(const std::string& alias);

// The database layer's message of an error: the server's text, else the driver's.
std::string SqlErrorText(const class QSqlError& error);
