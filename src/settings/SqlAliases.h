// SQL database aliases: named connections to a MySQL/MariaDB server, configured in an INI file
// in the settings folder (one section per alias) and opened with the SQL client.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "sql/SqlConnection.h"

// A failure of the SQL side, for the user: what failed, with the database's own text.
class ESqlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An alias that the alias file has no section for. what() is the short text the window shows;
// WhereLooked() says which file was read and how to add the alias, for the command line.
class EUnknownSqlAlias : public ESqlError {
 public:
  EUnknownSqlAlias(const std::string& alias, const std::string& file);
  const std::string& WhereLooked() const { return whereLooked_; }

 private:
  std::string whereLooked_;
};

// Where an alias leads. An empty socket and host mean the server's default socket.
struct SqlAliasSettings {
  std::string driver = "QMARIADB";
  std::string host;
  std::string socket;
  int port = 0;  // 0: the default port
  std::string database;
  std::string user;
  std::string password;
  // TLS over TCP/IP (TlsCa=, TlsRequired=, TlsVerifyServer=); see sql::SqlTls.
  std::string tlsCa;
  std::optional<bool> tlsRequired;
  std::optional<bool> tlsVerifyServer;

  bool operator==(const SqlAliasSettings&) const = default;
};

// The alias the conversion window runs its SQL on.
inline constexpr const char* kSqlAliasMySQLweb = "MySQLweb";

// Full path of the alias file: SettingsFolder() + "SQLALIAS.INI".
std::string SqlAliasFileName();

// The private MariaDB that scripts/mysql-local.sh runs: its socket in $KV_MYSQL_DIR, else
// $XDG_STATE_HOME/kvistmerket/mysql, else ~/.local/state/kvistmerket/mysql; database "kvist",
// the system user (its administrator there, known by the socket) without a password.
SqlAliasSettings PrivateServerAlias();

// Returns the alias's section of the alias file (names match without regard to case). Without
// a section, "MySQLweb" is PrivateServerAlias() and any other alias is nullopt.
// Throws SettingsError when the file exists but cannot be read, when a TLS switch is not a
// yes or no, and when the section has a password while others than the owner can read the file.
std::optional<SqlAliasSettings> ReadSqlAlias(const std::string& alias);

// Writes (or replaces) the alias's section in the alias file, which is kept readable by its
// owner only: any section of it may hold a password.
// Throws SettingsError when the file cannot be written.
void WriteSqlAlias(const std::string& alias, const SqlAliasSettings& settings);

// Adds a new alias's section to the alias file (readable by its owner only). Throws
// SettingsError for a name that is no good as a section name (empty, longer than 64
// characters, or other than letters, digits, "_", "-" and "."), for an alias the file already
// has, and when the file cannot be written.
void AddSqlAlias(const std::string& alias, const SqlAliasSettings& settings);

// ReadSqlAlias, throwing EUnknownSqlAlias for an unknown alias.
SqlAliasSettings RequireSqlAlias(const std::string& alias);

// The SQL client's endpoint of an alias's settings, named after the alias.
sql::SqlEndpoint SqlAliasEndpoint(const std::string& alias, const SqlAliasSettings& settings);

// A connection of its own to where the alias leads. Throws ESqlError for a driver other than
// MariaDB's or MySQL's, and for a failed connection (the database's text under a line naming
// the alias; for the private server, how to start it).
std::unique_ptr<sql::SqlConnection> ConnectSqlAlias(const std::string& alias, const SqlAliasSettings& settings);

// Connects afresh to where the alias leads on each call, as ConnectSqlAlias of the alias's
// current settings; throws ESqlError as RequireSqlAlias and ConnectSqlAlias do.
std::function<std::unique_ptr<sql::SqlConnection>()> SqlAliasConnector(const std::string& alias);
// SqlAliasConnector for the command line: an unknown alias's message also says where it was
// looked for (a second line of its own).
std::function<std::unique_ptr<sql::SqlConnection>()> SqlAliasConnectorSayingWhere(const std::string& alias);

// The kept connection of the alias, connecting on first use; one that was lost, or whose
// settings changed in the alias file, is made again.
// Throws ESqlError for an unknown alias and as ConnectSqlAlias.
sql::SqlConnection& AliasConnection(const std::string& alias);

// Runs a text of one or more statements on the alias's kept connection, as one request; every
// result is read and dropped. Throws ESqlError for a text that holds nothing to run, as
// AliasConnection does, and for a failing statement (after the ones before it ran) with the
// server's own text under a line that says in Norwegian what failed.
void RunSqlText(const std::string& alias, const std::string& text);
// Runs the text as RunSqlText does and returns its first result; nullopt when the first
// statement gives no rows.
std::optional<sql::SqlResultSet> SqlTextFirstResult(const std::string& alias, const std::string& text);

// Closes and forgets the alias's connection; nothing happens when there is none.
void CloseSqlConnection(const std::string& alias);
