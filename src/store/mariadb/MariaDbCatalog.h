// The store's databases on one MariaDB server, reached through one connection. Each database
// keeps a dictionary beside its tables: _ff_tables (names, kept row counts), _ff_fields and
// _ff_indexes (the same field and index definitions as the SQLite back end keeps). The rows of
// a table are in `t<id>`, with the row id in _ff_id and a version in _ff_ver. A table is listed
// and opened only once it is ready: made whole, and with its rows when it was made filled.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "store/ServerCatalog.h"
#include "store/Value.h"

namespace ff {

class ServerConnection;
class MariaDbTableState;

class MariaDbCatalog : public ServerCatalog {
 public:
  explicit MariaDbCatalog(std::shared_ptr<ServerConnection> connection);

  const std::string& ServerName() const override;
  std::vector<std::string> DatabaseNames() override;
  std::optional<std::string> FindDatabase(const std::string& alias) override;
  std::vector<std::string> TableNames(const std::string& database) override;
  std::unique_ptr<TableStorage> OpenTable(const std::string& database, const std::string& table,
                                          const OpenMode& mode) override;
  void CreateTable(const std::string& database, const std::string& table, const std::vector<FieldDef>& fields,
                   const std::vector<IndexDef>& indexes) override;
  std::int64_t CreateFilledTable(const std::string& database, const std::string& table,
                                 const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes,
                                 RowCursor& rows) override;
  void PublishTables(const std::string& database, const std::vector<std::string>& tables) override;
  void DropTable(const std::string& database, const std::string& table) override;

 private:
  struct TableEntry {
    int id = 0;
    std::string name;
    bool ready = false;  // false while being created, or left half-made
  };

  static std::string tableKey(const std::string& database, const std::string& table);
  // Runs a query on a database's dictionary; throws ECannotOpen when the database has none.
  std::vector<std::vector<Value>> readDictionary(const std::string& database, const std::string& sql,
                                                 const std::vector<Value>& params);
  void ensureDatabase(const std::string& database);
  // False while the database is missing or no table was made in it yet.
  bool hasDictionary(const std::string& database);
  std::optional<TableEntry> findTable(const std::string& database, const std::string& table);
  void createRowsTable(const std::string& database, int id, const std::vector<FieldDef>& fields,
                       const std::vector<IndexDef>& indexes);
  void writeDictionary(const std::string& database, int id, const std::vector<FieldDef>& fields,
                       const std::vector<IndexDef>& indexes);
  void removeTable(const std::string& database, int id);
  // Creates a table not ready, held exclusively here (in hidden_) until it is published.
  void createHidden(const std::string& database, const std::string& table, const std::vector<FieldDef>& fields,
                    const std::vector<IndexDef>& indexes);
  // Removes a table left unfinished; refused while someone (this process too) is making it.
  void clearLeftover(const std::string& database, const TableEntry& entry);
  std::shared_ptr<MariaDbTableState> openState(const std::string& database, const std::string& table, bool exclusive);

  std::shared_ptr<ServerConnection> connection_;
  // Tables this connection holds open, by "database/lower-case name".
  std::map<std::string, std::weak_ptr<MariaDbTableState>> open_;
  // Tables made here and not yet published, by the same key.
  std::map<std::string, std::shared_ptr<MariaDbTableState>> hidden_;
};

}  // namespace ff
