#include "settings/SqlAliases.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "settings/Felles.h"
#include "settings/IniFile.h"
#include "settings/SettingsError.h"
#include "sql/SecretFile.h"
#include "sql/SqlError.h"
#include "text/Utf8Text.h"

namespace {

constexpr const char* kKeys[] = {"Driver", "Host",     "Socket", "Port",        "Database",
                                 "User",   "Password", "TlsCa",  "TlsRequired", "TlsVerifyServer"};
// Bulk loads, index builds on millions of rows and the user's own statements may take long.
constexpr unsigned kAnswerSeconds = 3600;

std::string envOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : fallback;
}

std::string privateServerFolder() {
  if (const char* dir = std::getenv("KV_MYSQL_DIR"); dir && *dir) return dir;
  const std::string state = envOr("XDG_STATE_HOME", envOr("HOME", ".") + "/.local/state");
  return state + "/kvistmerket/mysql";
}

// The private server's administrator: the system user, signed on through the socket.
std::string systemUser() {
  const passwd* entry = ::getpwuid(::geteuid());
  return entry ? entry->pw_name : "root";
}

int portNumber(const std::string& text) {
  try {
    return std::stoi(text);
  } catch (const std::logic_error&) {
    return 0;  // no number: the default port
  }
}

std::optional<bool> tlsSwitch(const std::string& key, const std::string& text) {
  try {
    return sql::ParseTlsSwitch(key, text);
  } catch (const sql::SqlError& e) {
    throw SettingsError(std::string(e.what()) + " i " + SqlAliasFileName());
  }
}

std::string switchText(const std::optional<bool>& value) {
  if (!value) return {};
  return *value ? "1" : "0";
}

bool mariaDbDriver(const std::string& driver) {
  const std::string name = Utf8Upper(driver);
  return name == "QMARIADB" || name == "QMYSQL";
}

bool leadsToPrivateServer(const SqlAliasSettings& settings) {
  return settings.host.empty() && settings.socket == PrivateServerAlias().socket;
}

// The database's text under a Norwegian line naming the alias; when the alias leads to the
// private server, which is most likely not started, how to start it.
std::string connectionFailure(const std::string& alias, const SqlAliasSettings& settings, const std::string& text) {
  std::string message = "Kan ikke koble til SQL-databasen for databasealiaset " + alias + ":\n" + text;
  if (leadsToPrivateServer(settings)) {
    message += "\nDen lokale MariaDB-en kjører trolig ikke. Start den med: scripts/mysql-local.sh start";
  }
  return message;
}

bool hasSection(const IniFile& file, const std::string& alias) {
  return std::any_of(std::begin(kKeys), std::end(kKeys), [&](const char* key) { return file.Read(alias, key).has_value(); });
}

struct KeptConnection {
  SqlAliasSettings settings;
  std::unique_ptr<sql::SqlConnection> connection;
};

// The connection of each alias, by its name in upper case.
std::map<std::string, KeptConnection>& keptConnections() {
  static std::map<std::string, KeptConnection> connections;
  return connections;
}

}  // namespace

EUnknownSqlAlias::EUnknownSqlAlias(const std::string& alias, const std::string& file)
    : ESqlError("Ukjent databasealias: " + alias),
      whereLooked_("SQL-aliasene leses fra " + std::filesystem::weakly_canonical(std::filesystem::absolute(file)).string() +
                   (std::filesystem::exists(file) ? "" : " (filen finnes ikke)") +
                   ", og der er det ingen seksjon [" + alias + "]. Legg den til med: kvist-ff sql-alias add " +
                   alias + " --host VERT --database DATABASE --user BRUKER") {}

std::string SqlAliasFileName() { return SettingsFolder() + "SQLALIAS.INI"; }

SqlAliasSettings PrivateServerAlias() {
  SqlAliasSettings settings;
  settings.socket = privateServerFolder() + "/mysqld.sock";
  settings.database = "kvist";
  settings.user = systemUser();
  return settings;
}

std::optional<SqlAliasSettings> ReadSqlAlias(const std::string& alias) {
  const IniFile file = IniFile::Load(SqlAliasFileName());
  if (!hasSection(file, alias)) {
    if (Utf8Upper(alias) == Utf8Upper(kSqlAliasMySQLweb)) return PrivateServerAlias();
    return std::nullopt;
  }
  const auto text = [&](const char* key) { return file.Read(alias, key).value_or(""); };
  SqlAliasSettings settings;
  if (const std::string driver = text("Driver"); !driver.empty()) settings.driver = driver;
  settings.host = text("Host");
  settings.socket = text("Socket");
  settings.port = portNumber(text("Port"));
  settings.database = text("Database");
  settings.user = text("User");
  settings.password = text("Password");
  settings.tlsCa = text("TlsCa");
  settings.tlsRequired = tlsSwitch("TlsRequired", text("TlsRequired"));
  settings.tlsVerifyServer = tlsSwitch("TlsVerifyServer", text("TlsVerifyServer"));
  if (!settings.password.empty() && sql::OthersCanRead(SqlAliasFileName())) {
    throw SettingsError(sql::OthersCanReadMessage(SqlAliasFileName()));
  }
  return settings;
}

void WriteSqlAlias(const std::string& alias, const SqlAliasSettings& settings) {
  IniFile file = IniFile::Load(SqlAliasFileName());
  const std::string port = settings.port > 0 ? std::to_string(settings.port) : std::string();
  const std::string values[] = {settings.driver,   settings.host,     settings.socket,
                                port,              settings.database, settings.user,
                                settings.password, settings.tlsCa,    switchText(settings.tlsRequired),
                                switchText(settings.tlsVerifyServer)};
  static_assert(std::size(values) == std::size(kKeys));
  for (std::size_t i = 0; i < std::size(kKeys); ++i) file.Write(alias, kKeys[i], values[i]);
  file.Save(true);
}

void AddSqlAlias(const std::string& alias, const SqlAliasSettings& settings) {
  const bool goodLetters = std::all_of(alias.begin(), alias.end(), [](char c) {
    return (c & 0x80) != 0 || std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
  });
  if (alias.empty() || Utf8Length(alias) > 64 || !goodLetters) {
    throw SettingsError("Ugyldig navn på SQL-alias: \"" + alias +
                        "\" (bruk bokstaver, sifre, _, - og ., høyst 64 tegn)");
  }
  if (hasSection(IniFile::Load(SqlAliasFileName()), alias)) {
    throw SettingsError("SQL-aliaset " + alias + " finnes allerede i " + SqlAliasFileName() +
                        "; velg et annet navn, eller endre seksjonen [" + alias + "] i filen");
  }
  WriteSqlAlias(alias, settings);
}

SqlAliasSettings RequireSqlAlias(const std::string& alias) {
  const auto settings = ReadSqlAlias(alias);
  if (!settings) throw EUnknownSqlAlias(alias, SqlAliasFileName());
  return *settings;
}

sql::SqlEndpoint SqlAliasEndpoint(const std::string& alias, const SqlAliasSettings& settings) {
  sql::SqlEndpoint endpoint;
  endpoint.name = alias;
  endpoint.host = settings.host;
  endpoint.port = static_cast<unsigned>(settings.port);
  endpoint.socket = settings.socket;
  endpoint.database = settings.database;
  endpoint.user = settings.user;
  endpoint.password = settings.password;
  endpoint.tls = {settings.tlsCa, settings.tlsRequired, settings.tlsVerifyServer};
  endpoint.answerSeconds = kAnswerSeconds;
  return endpoint;
}

std::unique_ptr<sql::SqlConnection> ConnectSqlAlias(const std::string& alias, const SqlAliasSettings& settings) {
  if (!mariaDbDriver(settings.driver)) throw ESqlError("Databasedriveren " + settings.driver + " finnes ikke");
  try {
    return std::make_unique<sql::SqlConnection>(SqlAliasEndpoint(alias, settings));
  } catch (const sql::SqlError& e) {
    throw ESqlError(connectionFailure(alias, settings, e.what()));
  }
}

std::function<std::unique_ptr<sql::SqlConnection>()> SqlAliasConnector(const std::string& alias) {
  return [alias] { return ConnectSqlAlias(alias, RequireSqlAlias(alias)); };
}

std::function<std::unique_ptr<sql::SqlConnection>()> SqlAliasConnectorSayingWhere(const std::string& alias) {
  return [alias] {
    try {
      return SqlAliasConnector(alias)();
    } catch (const EUnknownSqlAlias& e) {
      throw ESqlError(std::string(e.what()) + "\n" + e.WhereLooked());
    }
  };
}

sql::SqlConnection& AliasConnection(const std::string& alias) {
  const SqlAliasSettings settings = RequireSqlAlias(alias);
  KeptConnection& kept = keptConnections()[Utf8Upper(alias)];
  if (!kept.connection || kept.connection->Lost() || kept.settings != settings) {
    kept.connection.reset();
    kept.connection = ConnectSqlAlias(alias, settings);
    kept.settings = settings;
  }
  return *kept.connection;
}

void CloseSqlConnection(const std::string& alias) { keptConnections().erase(Utf8Upper(alias)); }

namespace {

// The server answers an empty request with an error that has no text at all.
void requireText(const std::string& text) {
  if (text.find_first_not_of(" \t\r\n\f\v") == std::string::npos) {
    throw ESqlError("Ingen SQL-tekst å kjøre: teksten er tom");
  }
}

template <class Request>
auto runOnAlias(const std::string& alias, const std::string& text, Request request) {
  requireText(text);
  sql::SqlConnection& connection = AliasConnection(alias);
  try {
    return request(connection);
  } catch (const sql::SqlError& e) {
    throw ESqlError("SQL-teksten kunne ikke kjøres på databasealiaset " + alias + ":\n" + e.what());
  }
}

}  // namespace

void RunSqlText(const std::string& alias, const std::string& text) {
  runOnAlias(alias, text, [&](sql::SqlConnection& connection) { connection.Execute(text); });
}

std::optional<sql::SqlResultSet> SqlTextFirstResult(const std::string& alias, const std::string& text) {
  return runOnAlias(alias, text, [&](sql::SqlConnection& connection) { return connection.FirstResultSet(text); });
}
