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

// All aliases, in the order they were added.
std::vector<std::string> AliasNames();
// The folder of an alias (ending in "/"), or nullopt for an unknown alias.
std::optional<std::string> AliasFolder(const std::string& alias);
// Adds or replaces an alias; creates the folder when missing. Throws Error when the
// registry cannot be written.
void AddAlias(const std::string& alias, const std::string& folder);
void RemoveAlias(const std::string& alias);

}  // namespace ff
