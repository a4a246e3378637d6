#include "store/Aliases.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

#include "store/Errors.h"
#include "store/Schema.h"

namespace ff {

namespace {

namespace fs = std::filesystem;

using AliasList = std::vector<std::pair<std::string, std::string>>;

std::string withSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

std::string registryPath() { return ConfigFolder() + "aliases.cfg"; }

// One alias a line: NAME=FOLDER. Lines without "=" are ignored.
AliasList readRegistry() {
  AliasList list;
  std::ifstream in(registryPath());
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    list.emplace_back(line.substr(0, eq), withSlash(line.substr(eq + 1)));
  }
  return list;
}

void writeRegistry(const AliasList& list) {
  std::error_code ec;
  fs::create_directories(ConfigFolder(), ec);
  const std::string path = registryPath();
  const std::string temp = path + ".new";
  {
    std::ofstream out(temp, std::ios::trunc);
    for (const auto& [name, folder] : list) out << name << '=' << folder << '\n';
    out.flush();
    if (!out) throw Error("Kan ikke skrive aliasregisteret " + path);
  }
  fs::rename(temp, path, ec);
  if (ec) throw Error("Kan ikke skrive aliasregisteret " + path + ": " + ec.message());
}

void checkAliasName(const std::string& alias) {
  if (alias.empty() || alias.find_first_of("=\r\n") != std::string::npos) {
    throw Error("Ugyldig aliasnavn: '" + alias + "'");
  }
}

}  // namespace

std::string ConfigFolder() {
  if (const char* dir = std::getenv("FF_CONFIG_DIR"); dir && *dir) return withSlash(dir);
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    return withSlash(xdg) + "kvistmerket/flashfiler/";
  }
  const char* home = std::getenv("HOME");
  return withSlash(home && *home ? home : ".") + ".config/kvistmerket/flashfiler/";
}

std::vector<std::string> AliasNames() {
  std::vector<std::string> names;
  for (const auto& entry : readRegistry()) names.push_back(entry.first);
  return names;
}

std::optional<std::string> AliasFolder(const std::string& alias) {
  for (const auto& [name, folder] : readRegistry()) {
    if (sameName(name, alias)) return folder;
  }
  return std::nullopt;
}

void AddAlias(const std::string& alias, const std::string& folder) {
  checkAliasName(alias);
  if (folder.empty() || folder.find_first_of("\r\n") != std::string::npos) {
    throw Error("Ugyldig mappe for alias " + alias + ": '" + folder + "'");
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder)) throw Error("Kan ikke lage mappen " + folder + " for alias " + alias);
  const std::string absolute = withSlash(fs::absolute(folder).lexically_normal().string());
  AliasList list = readRegistry();
  std::erase_if(list, [&](const auto& e) { return sameName(e.first, alias); });
  list.emplace_back(alias, absolute);
  writeRegistry(list);
}

void RemoveAlias(const std::string& alias) {
  AliasList list = readRegistry();
  std::erase_if(list, [&](const auto& e) { return sameName(e.first, alias); });
  writeRegistry(list);
}

}  // namespace ff
