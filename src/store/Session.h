// A session: a client's view of the aliases and tables reached through an engine.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/Storage.h"

namespace ff {

class TffCommsEngine;

class TffSession {
 public:
  explicit TffSession(std::string sessionName = "Default");
  ~TffSession();
  TffSession(const TffSession&) = delete;
  TffSession& operator=(const TffSession&) = delete;

  const std::string& SessionName() const { return name_; }
  const std::string& ClientName() const { return clientName_; }
  // The engine, by its client name; empty means the default engine.
  void SetClientName(const std::string& engineName) { clientName_ = engineName; }
  void SetEngine(TffCommsEngine* engine) { engine_ = engine; }
  TffCommsEngine* Engine() const;
  bool IsDefault() const { return isDefault_; }
  void SetIsDefault(bool d);

  bool Active() const { return active_; }
  // true: throws EConnection when the engine is missing or not connected.
  void SetActive(bool active);

  // An alias is a folder of this machine, or a database on a server: one the alias registry
  // names, or, while the engine is connected over TCP/IP, the database of the alias's name on
  // the engine's server (the aliases are then that server's databases).
  // Table names of an alias matching pattern ("*.*", "*", "PROS*"), sorted without regard
  // to case; with extensions they end in their file extension. System tables (names
  // starting with "$") are left out unless asked for. Throws ECannotOpen for an unknown
  // alias.
  void GetTableNames(const std::string& alias, const std::string& pattern, bool withExtensions,
                     bool includeSystemTables, std::vector<std::string>& list) const;
  void GetAliasNames(std::vector<std::string>& list) const;
  bool IsAlias(const std::string& alias) const;

  // Opens the storage of a table of an alias. Throws ECannotOpen naming what is missing.
  // REQUIRES: active.
  std::unique_ptr<TableStorage> OpenTable(const std::string& alias, const std::string& table,
                                          const OpenMode& mode) const;
  // Removes a table of an alias with its rows (its files, or the table on the server);
  // nothing happens when there is none. Throws ECannotOpen for an unknown alias.
  void DropTable(const std::string& alias, const std::string& table) const;
  // Creates a table in an alias's folder (SQLite storage) or on its server. Throws Error.
  void CreateTable(const std::string& alias, const std::string& table,
                   const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) const;
  // Creates a table as CreateTable does, holding the rows `rows` hands out, and returns how
  // many it wrote. The table appears whole or not at all, even when the process is killed
  // midway (see StorageProvider::CreateFilled and ServerCatalog::CreateFilledTable). With
  // publish false a table on a server stays hidden until PublishTables; in a folder it
  // appears as soon as it is whole.
  std::int64_t CreateFilledTable(const std::string& alias, const std::string& table,
                                 const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes,
                                 RowCursor& rows, bool publish = true) const;
  // Shows the tables that CreateFilledTable left hidden on a server, all at once.
  void PublishTables(const std::string& alias, const std::vector<std::string>& tables) const;

  // The session marked default; when none is, a built-in session over a built-in
  // single-user engine, activated on first use.
  static TffSession& DefaultSession();
  // Finds a session by name ("[automatic]" or empty: the default session).
  static TffSession* FindSession(const std::string& name);

 private:
  // The file a new table of the alias gets; throws Error when the table exists.
  std::string newTablePath(const std::string& alias, const std::string& table) const;

  std::string name_;
  std::string clientName_;
  TffCommsEngine* engine_ = nullptr;
  bool isDefault_ = false;
  bool active_ = false;
};

// The path of an existing table file of an alias folder (case-insensitive name, any kind of
// storage), with its provider; throws ECannotOpen when there is none.
std::pair<std::string, StorageProvider*> FindTableFile(const std::string& folder,
                                                       const std::string& table);

}  // namespace ff
