#include "store/Aliases.h"

#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
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

// Marks a registry entry that names a server database: NAME=server:SERVERNAME/DATABASE.
constexpr std::string_view kServerPrefix = "server:";

bool isServerEntry(const std::string& value) { return value.rfind(kServerPrefix, 0) == 0; }

// One alias a line: NAME=FOLDER or NAME=server:SERVER/DATABASE. Lines without "=" are ignored.
AliasList readRegistryFile(const std::string& path) {
  AliasList list;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    const std::string value = line.substr(eq + 1);
    list.emplace_back(line.substr(0, eq), isServerEntry(value) ? value : withSlash(value));
  }
  return list;
}

// What the directory says of the registry file; equal stamps mean an unchanged file (a write
// renames a new file into place, so even one within the same clock tick is a new inode).
struct RegistryStamp {
  bool present = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec changed{}, statusChanged{};

  explicit RegistryStamp(const std::string& path) {
    struct stat st {};
    present = ::stat(path.c_str(), &st) == 0;
    if (!present) return;
    device = st.st_dev;
    inode = st.st_ino;
    size = st.st_size;
    changed = st.st_mtim;
    statusChanged = st.st_ctim;
  }
  // A file written in place twice within one tick of the file system's clock keeps its stamp:
  // one changed in the last second is read again every time.
  bool settled() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return !present || now.tv_sec - changed.tv_sec > 1;
  }
  bool operator==(const RegistryStamp& o) const {
    const auto same = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
    return present == o.present && device == o.device && inode == o.inode && size == o.size &&
           same(changed, o.changed) && same(statusChanged, o.statusChanged);
  }
};

// Every open looks its alias up: the registry is read again only when its file changed.
std::shared_ptr<const AliasList> readRegistry() {
  struct Cached {
    std::string path;
    RegistryStamp stamp;
    std::shared_ptr<const AliasList> list;
  };
  static std::mutex mutex;
  static std::optional<Cached> cached;
  const std::string path = registryPath();
  const RegistryStamp stamp(path);  // taken before reading: a write meanwhile is read next time
  std::lock_guard lock(mutex);
  if (cached && cached->path == path && cached->stamp == stamp && stamp.settled()) return cached->list;
  cached = Cached{path, stamp, std::make_shared<const AliasList>(readRegistryFile(path))};
  return cached->list;
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

void putAlias(const std::string& alias, const std::string& value) {
  AliasList list = *readRegistry();
  // An unchanged entry is not written again: after a write, opens read the file anew for a
  // second.
  if (std::find(list.begin(), list.end(), std::make_pair(alias, value)) != list.end()) return;
  std::erase_if(list, [&](const auto& e) { return sameName(e.first, alias); });
  list.emplace_back(alias, value);
  writeRegistry(list);
}

std::optional<std::string> registryValue(const std::string& alias) {
  const auto list = readRegistry();
  for (const auto& [name, value] : *list) {
    if (sameName(name, alias)) return value;
  }
  return std::nullopt;
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
  const auto list = readRegistry();
  for (const auto& entry : *list) names.push_back(entry.first);
  return names;
}

AliasTarget LookUpAlias(const std::string& alias) {
  const auto value = registryValue(alias);
  if (!value) return {};
  if (!isServerEntry(*value)) return {value, std::nullopt};
  const std::string rest = value->substr(kServerPrefix.size());
  const auto slash = rest.rfind('/');
  if (slash == std::string::npos) return {};
  return {std::nullopt, ServerAlias{rest.substr(0, slash), rest.substr(slash + 1)}};
}

std::optional<std::string> AliasFolder(const std::string& alias) { return LookUpAlias(alias).folder; }

std::optional<ServerAlias> AliasServer(const std::string& alias) { return LookUpAlias(alias).server; }

void CheckDatabaseName(const std::string& database) {
  const bool allowed = std::all_of(database.begin(), database.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '-';
  });
  if (database.empty() || database.size() > 64 || !allowed) {
    throw Error("Ugyldig databasenavn: '" + database + "' (bokstaver a-z, sifre, _, $ og -, høyst 64 tegn)");
  }
}

void AddServerAlias(const std::string& alias, const ServerAlias& server) {
  checkAliasName(alias);
  const auto at = server.serverName.find('@');
  if (at == std::string::npos || at + 1 == server.serverName.size() ||
      server.serverName.find_first_of("/\r\n") != std::string::npos) {
    throw Error("Ugyldig servernavn: '" + server.serverName + "' (skriv navn@adresse[:port])");
  }
  CheckDatabaseName(server.database);
  putAlias(alias, std::string(kServerPrefix) + server.serverName + "/" + server.database);
}

void AddAlias(const std::string& alias, const std::string& folder) {
  checkAliasName(alias);
  if (folder.empty() || folder.find_first_of("\r\n") != std::string::npos) {
    throw Error("Ugyldig mappe for alias " + alias + ": '" + folder + "'");
  }
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder)) throw Error("Kan ikke lage mappen " + folder + " for alias " + alias);
  putAlias(alias, withSlash(fs::absolute(folder).lexically_normal().string()));
}

void RemoveAlias(const std::string& alias) {
  AliasList list = *readRegistry();
  std::erase_if(list, [&](const auto& e) { return sameName(e.first, alias); });
  writeRegistry(list);
}

}  // namespace ff
