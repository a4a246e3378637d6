// The alias registry: names (matched without regard to case) for folders of tables.
// Kept in the FlashFiler configuration folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ff {

// $FF_CONFIG_DIR, else $XDG_CONFIG_HOME/kvistmerket/flashfiler, else
// ~/.config/kvistmerket/flashfiler; ends in "/".
std::string ConfigFolder();

// A database on a server that an alias names instead of a folder.
struct ServerAlias {
  std::string serverName;  // "name@address[:port]"
  std::string database;
};

// All aliases, in the order they were added.
std::vector<std::string> AliasNames();
// The folder of an alias (ending in "/"), or nullopt for an unknown alias or one on a server.
std::optional<std::string> AliasFolder(const std::string& alias);
// The server database of an alias, or nullopt for an unknown alias or one on a folder.
std::optional<ServerAlias> AliasServer(const std::string& alias);
// What an alias names, from one reading of the registry: its folder or its server database
// (neither for an unknown alias). Every open of a table asks this.
struct AliasTarget {
  std::optional<std::string> folder;
  std::optional<ServerAlias> server;
};
AliasTarget LookUpAlias(const std::string& alias);
// Adds or replaces an alias; creates the folder when missing. Throws Error when the
// registry cannot be written.
void AddAlias(const std::string& alias, const std::string& folder);
// Adds or replaces an alias for a database on a server. Throws Error for a server name
// without "@" or a database name the server cannot take (letters, digits, "_", "$" and "-",
// at most 64), or when the registry cannot be written.
void AddServerAlias(const std::string& alias, const ServerAlias& server);
void RemoveAlias(const std::string& alias);
// Throws Error unless `database` can name a database on a server (see AddServerAlias).
void CheckDatabaseName(const std::string& database);

}  // namespace ff
