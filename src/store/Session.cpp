#include "store/Session.h"

#include <fnmatch.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>

#include "store/Aliases.h"
#include "store/Backends.h"
#include "store/Engine.h"
#include "store/Errors.h"
#include "store/ServerCatalog.h"

namespace ff {

namespace {

namespace fs = std::filesystem;

std::vector<TffSession*>& sessions() {
  static std::vector<TffSession*> list;
  return list;
}

bool endsWithNoCase(const std::string& s, const std::string& suffix) {
  return s.size() > suffix.size() &&
         strcasecmp(s.c_str() + s.size() - suffix.size(), suffix.c_str()) == 0;
}

StorageProvider* providerOf(const std::string& fileName) {
  for (StorageProvider* p : StorageProviders()) {
    if (endsWithNoCase(fileName, p->Extension())) return p;
  }
  return nullptr;
}

// A database name is an alias, or else the path of a folder of tables.
std::string aliasFolderOrThrow(const std::string& alias, const AliasTarget& target) {
  if (alias.empty()) throw ECannotOpen("Databasenavn mangler");
  if (target.folder) return *target.folder;
  std::error_code ec;
  if (alias.find('/') != std::string::npos && fs::is_directory(alias, ec)) {
    return alias.back() == '/' ? alias : alias + "/";
  }
  throw ECannotOpen("Databasen " + alias + " finnes ikke");
}

std::string aliasFolderOrThrow(const std::string& alias) { return aliasFolderOrThrow(alias, LookUpAlias(alias)); }

void checkTableName(const std::string& table) {
  if (table.empty()) throw ECannotOpen("Tabellnavn mangler");
  if (table == "." || table == ".." || table.find_first_of(std::string("/\\\0", 3)) != std::string::npos) {
    throw ECannotOpen("Ugyldig tabellnavn: '" + table + "'");
  }
}

// Where the tables of an alias live when they are on a server rather than in a folder.
struct ServerPlace {
  ServerCatalog* server;
  std::string database;
  bool registered;  // named by the alias registry, so known before its first table exists
};

// The server the engine is connected to, or nullptr when it reaches folders of this machine.
ServerCatalog* engineServer(const TffSession& session) {
  TffCommsEngine* engine = session.Engine();
  return engine && engine->Active() ? engine->Transport().Server() : nullptr;
}

// An alias registered for a server database goes there; over a server connection every other
// alias is the database of that name on the engine's server.
std::optional<ServerPlace> serverPlaceOf(const TffSession& session, const std::string& alias,
                                         const AliasTarget& target) {
  if (const auto& named = target.server) {
    return ServerPlace{&ServerConnectorOf(Protocol::TcpIp).shared(named->serverName), named->database, true};
  }
  ServerCatalog* server = engineServer(session);
  if (!server) return std::nullopt;
  if (alias.empty()) throw ECannotOpen("Databasenavn mangler");
  return ServerPlace{server, server->FindDatabase(alias).value_or(alias), false};
}

std::optional<ServerPlace> serverPlaceOf(const TffSession& session, const std::string& alias) {
  return serverPlaceOf(session, alias, LookUpAlias(alias));
}

// Sorts without regard to case and drops repeats.
void sortNames(std::vector<std::string>& list) {
  std::sort(list.begin(), list.end(), [](const std::string& a, const std::string& b) {
    const int c = strcasecmp(a.c_str(), b.c_str());
    return c != 0 ? c < 0 : a < b;
  });
  list.erase(std::unique(list.begin(), list.end(), sameName), list.end());
}

// Keeps the names that match the pattern, sorted without regard to case, without repeats.
void matchAndSort(std::vector<std::string>& list, const std::string& pattern, bool includeSystemTables) {
  std::erase_if(list, [&](const std::string& name) {
    if (!includeSystemTables && !name.empty() && name[0] == '$') return true;
    return !(pattern.empty() || pattern == "*.*" || fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0);
  });
  sortNames(list);
}

// The built-in session tables fall back to when no session is marked default.
TffSession& builtinSession() {
  static TffCommsEngine engine("Engine");
  static TffSession session("Default");
  static const bool started = [] {
    session.SetEngine(&engine);
    engine.SetActive(true);
    session.SetActive(true);
    return true;
  }();
  (void)started;
  return session;
}

}  // namespace

TffSession::TffSession(std::string sessionName) : name_(std::move(sessionName)) { sessions().push_back(this); }

TffSession::~TffSession() { std::erase(sessions(), this); }

TffCommsEngine* TffSession::Engine() const {
  if (engine_) return engine_;
  return TffCommsEngine::DefaultEngine();
}

void TffSession::SetIsDefault(bool d) {
  if (d) {
    for (TffSession* s : sessions()) s->isDefault_ = false;
  }
  isDefault_ = d;
}

void TffSession::SetActive(bool active) {
  if (active && !active_) {
    const TffCommsEngine* engine = Engine();
    if (!engine) throw EConnection("Sesjonen " + name_ + " har ingen motor");
    if (!engine->Active()) throw EConnection("Sesjonen " + name_ + " kan ikke startes: motoren er ikke tilkoblet");
    engine->Transport().StartSession(name_);
  }
  active_ = active;
}

void TffSession::GetTableNames(const std::string& alias, const std::string& pattern, bool withExtensions,
                               bool includeSystemTables, std::vector<std::string>& list) const {
  if (const auto place = serverPlaceOf(*this, alias)) {
    const bool created = !place->registered || place->server->FindDatabase(place->database);
    list = created ? place->server->TableNames(place->database) : std::vector<std::string>{};
    matchAndSort(list, pattern, includeSystemTables);
    return;
  }
  const std::string folder = aliasFolderOrThrow(alias);
  list.clear();
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const std::string file = entry.path().filename().string();
    StorageProvider* provider = providerOf(file);
    if (!provider || !entry.is_regular_file(ec)) continue;
    const std::string stem = file.substr(0, file.size() - provider->Extension().size());
    if (!includeSystemTables && !stem.empty() && stem[0] == '$') continue;
    const bool matches = pattern.empty() || pattern == "*.*" ||
                         fnmatch(pattern.c_str(), file.c_str(), FNM_CASEFOLD) == 0 ||
                         fnmatch(pattern.c_str(), stem.c_str(), FNM_CASEFOLD) == 0;
    if (matches) list.push_back(withExtensions ? file : stem);
  }
  if (ec) throw ECannotOpen("Kan ikke lese mappen " + folder + ": " + ec.message());
  sortNames(list);
}

void TffSession::GetAliasNames(std::vector<std::string>& list) const {
  list = AliasNames();
  ServerCatalog* server = engineServer(*this);
  if (!server) return;
  // Over a server connection the aliases are its databases and the aliases naming a server.
  std::erase_if(list, [](const std::string& alias) { return !AliasServer(alias); });
  for (const auto& database : server->DatabaseNames()) {
    if (std::none_of(list.begin(), list.end(), [&](const std::string& a) { return sameName(a, database); })) {
      list.push_back(database);
    }
  }
}

bool TffSession::IsAlias(const std::string& alias) const {
  if (AliasServer(alias)) return true;
  if (ServerCatalog* server = engineServer(*this)) return server->FindDatabase(alias).has_value();
  return AliasFolder(alias).has_value();
}

std::unique_ptr<TableStorage> TffSession::OpenTable(const std::string& alias, const std::string& table,
                                                    const OpenMode& mode) const {
  if (!active_) throw EConnection("Sesjonen " + name_ + " er ikke startet");
  checkTableName(table);
  const AliasTarget target = LookUpAlias(alias);
  if (const auto place = serverPlaceOf(*this, alias, target)) {
    return place->server->OpenTable(place->database, table, mode);
  }
  const std::string folder = aliasFolderOrThrow(alias, target);
  // A file named as asked, of the first kind, is the one FindTableFile would find: it is
  // opened without asking the directory first, which would cost a reopen a tenth of its time.
  StorageProvider* first = StorageProviders().front();
  const std::string named = folder + table + first->Extension();
  try {
    return first->Open(named, mode);
  } catch (const ECannotOpen&) {
    std::error_code ec;
    if (fs::exists(named, ec)) throw;
  }
  const auto [path, provider] = FindTableFile(folder, table);
  return provider->Open(path, mode);
}

std::string TffSession::newTablePath(const std::string& alias, const std::string& table) const {
  const std::string folder = aliasFolderOrThrow(alias);
  try {
    FindTableFile(folder, table);
    throw Error("Tabellen " + table + " finnes allerede i " + alias);
  } catch (const ECannotOpen&) {
  }
  return folder + table + StorageProviders().front()->Extension();
}

void TffSession::CreateTable(const std::string& alias, const std::string& table, const std::vector<FieldDef>& fields,
                             const std::vector<IndexDef>& indexes) const {
  checkTableName(table);
  if (const auto place = serverPlaceOf(*this, alias)) {
    place->server->CreateTable(place->database, table, fields, indexes);
    return;
  }
  StorageProviders().front()->Create(newTablePath(alias, table), fields, indexes);
}

std::int64_t TffSession::CreateFilledTable(const std::string& alias, const std::string& table,
                                           const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes,
                                           RowCursor& rows, bool publish) const {
  checkTableName(table);
  if (const auto place = serverPlaceOf(*this, alias)) {
    const std::int64_t written = place->server->CreateFilledTable(place->database, table, fields, indexes, rows);
    if (publish) place->server->PublishTables(place->database, {table});
    return written;
  }
  return StorageProviders().front()->CreateFilled(newTablePath(alias, table), fields, indexes, rows);
}

void TffSession::PublishTables(const std::string& alias, const std::vector<std::string>& tables) const {
  if (const auto place = serverPlaceOf(*this, alias)) place->server->PublishTables(place->database, tables);
}

void TffSession::DropTable(const std::string& alias, const std::string& table) const {
  checkTableName(table);
  if (const auto place = serverPlaceOf(*this, alias)) {
    place->server->DropTable(place->database, table);
    return;
  }
  const std::string folder = aliasFolderOrThrow(alias);
  std::string path;
  try {
    path = FindTableFile(folder, table).first;
  } catch (const ECannotOpen&) {
    return;  // nothing to drop
  }
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path + suffix, ec);
}

TffSession& TffSession::DefaultSession() {
  for (TffSession* s : sessions()) {
    if (s->isDefault_) return *s;
  }
  return builtinSession();
}

TffSession* TffSession::FindSession(const std::string& name) {
  if (name.empty() || name == "[automatic]") return &DefaultSession();
  for (TffSession* s : sessions()) {
    if (sameName(s->name_, name)) return s;
  }
  return nullptr;
}

std::pair<std::string, StorageProvider*> FindTableFile(const std::string& folder, const std::string& table) {
  std::error_code ec;
  // A file named as asked, of the first kind, is the one the listing below would find: found
  // without reading the folder, which costs more than the rest of a reopen.
  StorageProvider* first = StorageProviders().front();
  const std::string named = (fs::path(folder) / (table + first->Extension())).string();
  if (fs::is_regular_file(named, ec)) return {named, first};
  for (StorageProvider* provider : StorageProviders()) {
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      const std::string file = entry.path().filename().string();
      if (!endsWithNoCase(file, provider->Extension())) continue;
      const std::string stem = file.substr(0, file.size() - provider->Extension().size());
      if (sameName(stem, table) || sameName(file, table)) return {entry.path().string(), provider};
    }
  }
  throw ECannotOpen("Tabellen " + table + " finnes ikke i " + folder);
}

}  // namespace ff
