#include "store/mariadb/MariaDbCatalog.h"

#include "store/Aliases.h"
#include "store/Errors.h"
#include "store/NorwegianOrder.h"
#include "store/mariadb/MariaDbSql.h"
#include "store/mariadb/MariaDbTable.h"
#include "store/mariadb/MariaDbTableState.h"
#include "store/mariadb/ServerConnection.h"

namespace ff {

namespace {

constexpr const char* kTableOptions = " ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin";
// Seconds a workstation waits for another one creating a table in the same database.
constexpr int kCreateWaitSeconds = 10;

std::string dictionary(const std::string& database, const char* table) {
  return QuoteIdentifier(database) + "." + QuoteIdentifier(table);
}

std::string rowsTable(const std::string& database, int id) {
  return QuoteIdentifier(database) + ".`t" + std::to_string(id) + "`";
}

void checkDefinition(const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].name.empty()) throw Error("Et felt mangler navn");
    for (std::size_t j = 0; j < i; ++j) {
      if (sameName(fields[i].name, fields[j].name)) throw Error("Feltet " + fields[i].name + " er oppgitt to ganger");
    }
  }
  for (const IndexDef& index : indexes) {
    if (index.fields.empty()) throw Error("Indeksen " + index.name + " har ingen felt");
    for (const auto& name : index.fields) {
      if (FieldPosition(fields, name) < 0) throw ENotFound("Feltet " + name + " finnes ikke (indeks " + index.name + ")");
    }
  }
}

// Held while a workstation creates tables in a database; released by the server, too, when
// the connection drops.
class CreationLock {
 public:
  CreationLock(ServerConnection& connection, const std::string& database)
      : connection_(connection), name_{MariaDbTableState::LockBase(database, "") + ":create"} {
    const auto got = connection_.Prepare("SELECT GET_LOCK(?, " + std::to_string(kCreateWaitSeconds) + ")").Query({name_});
    if (got.empty() || isNull(got[0][0]) || valueToInt(got[0][0]) != 1) {
      throw Error("En annen arbeidsstasjon lager tabeller i " + database + "; prøv igjen");
    }
  }
  ~CreationLock() {
    if (connection_.Lost()) return;
    try {
      connection_.Prepare("SELECT RELEASE_LOCK(?)").Query({name_});
    } catch (const Error&) {
      // The connection dropped just now; the server has freed the lock with it.
    }
  }
  CreationLock(const CreationLock&) = delete;
  CreationLock& operator=(const CreationLock&) = delete;

 private:
  ServerConnection& connection_;
  Value name_;
};

}  // namespace

MariaDbCatalog::MariaDbCatalog(std::shared_ptr<ServerConnection> connection) : connection_(std::move(connection)) {}

const std::string& MariaDbCatalog::ServerName() const { return connection_->ServerName(); }

std::vector<std::string> MariaDbCatalog::DatabaseNames() {
  std::vector<std::string> names;
  for (const auto& row : connection_->Prepare("SELECT TABLE_SCHEMA FROM information_schema.TABLES "
                                              "WHERE TABLE_NAME = '_ff_tables' ORDER BY TABLE_SCHEMA")
                             .Query({})) {
    names.push_back(valueToString(row[0]));
  }
  return names;
}

std::optional<std::string> MariaDbCatalog::FindDatabase(const std::string& alias) {
  for (const auto& name : DatabaseNames()) {
    if (sameName(name, alias)) return name;
  }
  return std::nullopt;
}

std::vector<std::vector<Value>> MariaDbCatalog::readDictionary(const std::string& database, const std::string& sql,
                                                               const std::vector<Value>& params) {
  try {
    return connection_->Prepare(sql).Query(params);
  } catch (const ENotFound&) {
    throw ECannotOpen("Databasen " + database + " finnes ikke på serveren " + ServerName());
  }
}

void MariaDbCatalog::ensureDatabase(const std::string& database) {
  CheckDatabaseName(database);
  connection_->Execute("CREATE DATABASE IF NOT EXISTS " + QuoteIdentifier(database) +
                       " CHARACTER SET utf8mb4 COLLATE utf8mb4_nopad_bin");
  connection_->Execute("CREATE TABLE IF NOT EXISTS " + dictionary(database, "_ff_tables") +
                       " (id INT NOT NULL AUTO_INCREMENT PRIMARY KEY, name VARCHAR(255) NOT NULL,"
                       " name_key VARCHAR(255) NOT NULL UNIQUE, ready TINYINT NOT NULL DEFAULT 0,"
                       " row_count BIGINT NOT NULL DEFAULT 0)" + kTableOptions);
  connection_->Execute("CREATE TABLE IF NOT EXISTS " + dictionary(database, "_ff_fields") +
                       " (tbl INT NOT NULL, pos INT NOT NULL, name VARCHAR(255) NOT NULL, type VARCHAR(32) NOT NULL,"
                       " size INT NOT NULL, required TINYINT NOT NULL, PRIMARY KEY (tbl, pos))" + kTableOptions);
  connection_->Execute("CREATE TABLE IF NOT EXISTS " + dictionary(database, "_ff_indexes") +
                       " (tbl INT NOT NULL, pos INT NOT NULL, name VARCHAR(255) NOT NULL, fields TEXT NOT NULL,"
                       " options INT NOT NULL, PRIMARY KEY (tbl, pos))" + kTableOptions);
}

bool MariaDbCatalog::hasDictionary(const std::string& database) {
  return !connection_->Prepare("SELECT 1 FROM information_schema.TABLES WHERE TABLE_SCHEMA = ? AND TABLE_NAME = ?")
              .Query({Value{database}, Value{std::string("_ff_tables")}})
              .empty();
}

std::vector<std::string> MariaDbCatalog::TableNames(const std::string& database) {
  std::vector<std::string> names;
  for (const auto& row : readDictionary(database, "SELECT name FROM " + dictionary(database, "_ff_tables") + " WHERE ready > 0", {})) {
    names.push_back(valueToString(row[0]));
  }
  return names;
}

std::optional<MariaDbCatalog::TableEntry> MariaDbCatalog::findTable(const std::string& database,
                                                                    const std::string& table) {
  const auto rows = readDictionary(database, "SELECT id, name, ready FROM " + dictionary(database, "_ff_tables") +
                                                " WHERE name_key = ?",
                                   {Value{NameKey(table)}});
  if (rows.empty()) return std::nullopt;
  return TableEntry{static_cast<int>(valueToInt(rows[0][0])), valueToString(rows[0][1]), valueToInt(rows[0][2]) > 0};
}

std::shared_ptr<MariaDbTableState> MariaDbCatalog::openState(const std::string& database, const std::string& table,
                                                             bool exclusive) {
  std::erase_if(open_, [](const auto& e) { return e.second.expired(); });
  const std::string key = tableKey(database, table);
  // A table whose lock went to another workstation is opened afresh.
  if (auto held = open_[key].lock(); held && !held->LockLost()) {
    if (held->Exclusive() || exclusive) throw ECannotOpen("Tabellen er i bruk: " + held->Name() + " (" + database + ")");
    return held;
  }
  auto state = MariaDbTableState::Open(connection_, database, table, exclusive);
  open_[key] = state;
  return state;
}

std::unique_ptr<TableStorage> MariaDbCatalog::OpenTable(const std::string& database, const std::string& table,
                                                        const OpenMode& mode) {
  return std::make_unique<MariaDbTable>(openState(database, table, mode.exclusive), mode.readOnly);
}

void MariaDbCatalog::createRowsTable(const std::string& database, int id, const std::vector<FieldDef>& fields,
                                     const std::vector<IndexDef>& indexes) {
  std::string sql = "CREATE TABLE " + rowsTable(database, id) +
                    " (_ff_id BIGINT NOT NULL AUTO_INCREMENT, _ff_ver BIGINT NOT NULL DEFAULT 0";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    sql += ", " + ColumnName(static_cast<int>(i)) + " " + ColumnType(fields[i], IsIndexed(indexes, fields[i].name)) + " NULL";
  }
  for (int f : SortKeyFields(fields, indexes)) sql += ", " + SortKeyColumnDefinition(fields[static_cast<std::size_t>(f)], f);
  sql += ", PRIMARY KEY (_ff_id)";
  for (std::size_t i = 0; i < indexes.size(); ++i) sql += ", " + IndexDefinition(fields, indexes[i], static_cast<int>(i));
  connection_->Execute(sql + ")" + kTableOptions);
}

void MariaDbCatalog::writeDictionary(const std::string& database, int id, const std::vector<FieldDef>& fields,
                                     const std::vector<IndexDef>& indexes) {
  const Value tbl{std::int64_t{id}};
  connection_->InTransaction([&] {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      connection_
          ->Prepare("INSERT INTO " + dictionary(database, "_ff_fields") +
                    " (tbl, pos, name, type, size, required) VALUES (?, ?, ?, ?, ?, ?)")
          .Execute({tbl, Value{static_cast<std::int64_t>(i)}, Value{fields[i].name},
                    Value{std::string(fieldTypeName(fields[i].type))}, Value{std::int64_t{fields[i].size}},
                    Value{std::int64_t{fields[i].required ? 1 : 0}}});
    }
    for (std::size_t i = 0; i < indexes.size(); ++i) {
      connection_
          ->Prepare("INSERT INTO " + dictionary(database, "_ff_indexes") +
                    " (tbl, pos, name, fields, options) VALUES (?, ?, ?, ?, ?)")
          .Execute({tbl, Value{static_cast<std::int64_t>(i)}, Value{indexes[i].name},
                    Value{joinFieldList(indexes[i].fields)}, Value{std::int64_t{StoredIndexOptions(indexes[i], fields)}}});
    }
  });
}

void MariaDbCatalog::removeTable(const std::string& database, int id) {
  const Value tbl{std::int64_t{id}};
  connection_->Execute("DROP TABLE IF EXISTS " + rowsTable(database, id));
  connection_->InTransaction([&] {
    connection_->Prepare("DELETE FROM " + dictionary(database, "_ff_fields") + " WHERE tbl = ?").Execute({tbl});
    connection_->Prepare("DELETE FROM " + dictionary(database, "_ff_indexes") + " WHERE tbl = ?").Execute({tbl});
    connection_->Prepare("DELETE FROM " + dictionary(database, "_ff_tables") + " WHERE id = ?").Execute({tbl});
  });
}

std::string MariaDbCatalog::tableKey(const std::string& database, const std::string& table) {
  return database + "/" + NameKey(table);
}

void MariaDbCatalog::clearLeftover(const std::string& database, const TableEntry& entry) {
  if (!open_[tableKey(database, entry.name)].expired()) {
    throw ECannotOpen("Tabellen er i bruk: " + entry.name + " (" + database + ")");
  }
  // Its maker holds it exclusively until it is ready; a killed maker has let go.
  const auto held = MariaDbTableState::OpenUnfinished(connection_, database, entry.name);
  removeTable(database, entry.id);
}

void MariaDbCatalog::createHidden(const std::string& database, const std::string& table,
                                  const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
  checkDefinition(fields, indexes);
  ensureDatabase(database);
  // One workstation at a time creates tables in a database.
  CreationLock lock(*connection_, database);
  if (const auto existing = findTable(database, table)) {
    if (existing->ready) throw Error("Tabellen " + table + " finnes allerede i " + database);
    clearLeftover(database, *existing);
  }
  ServerStatement insert = connection_->Prepare(
      "INSERT INTO " + dictionary(database, "_ff_tables") + " (name, name_key, ready, row_count) VALUES (?, ?, 0, 0)");
  insert.Execute({Value{table}, Value{NameKey(table)}});
  const int id = static_cast<int>(insert.InsertId());
  try {
    createRowsTable(database, id, fields, indexes);
    writeDictionary(database, id, fields, indexes);
  } catch (...) {
    removeTable(database, id);
    throw;
  }
  // Held before the creation lock goes, so that no other workstation takes it for a leftover.
  const auto state = MariaDbTableState::OpenUnfinished(connection_, database, table);
  open_[tableKey(database, table)] = state;
  hidden_[tableKey(database, table)] = state;
}

void MariaDbCatalog::CreateTable(const std::string& database, const std::string& table,
                                 const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) {
  createHidden(database, table, fields, indexes);
  PublishTables(database, {table});
}

std::int64_t MariaDbCatalog::CreateFilledTable(const std::string& database, const std::string& table,
                                               const std::vector<FieldDef>& fields,
                                               const std::vector<IndexDef>& indexes, RowCursor& rows) {
  createHidden(database, table, fields, indexes);
  try {
    MariaDbTable target(hidden_.at(tableKey(database, table)), false);
    return BulkInsert(target, rows);
  } catch (...) {
    try {
      DropTable(database, table);
    } catch (const Error&) {
      // The connection is gone: the table stays hidden until its name is created again.
      hidden_.erase(tableKey(database, table));
    }
    throw;
  }
}

void MariaDbCatalog::PublishTables(const std::string& database, const std::vector<std::string>& tables) {
  std::vector<Value> ids;
  for (const auto& table : tables) {
    const auto it = hidden_.find(tableKey(database, table));
    if (it == hidden_.end()) throw Error("Tabellen " + table + " lages ikke her (" + database + ")");
    ids.emplace_back(std::int64_t{it->second->Id()});
  }
  connection_->InTransaction([&] {
    for (const Value& id : ids) {
      connection_
          ->Prepare("UPDATE " + dictionary(database, "_ff_tables") + " SET ready = " + std::to_string(kTableReady) +
                    " WHERE id = ?")
          .Execute({id});
    }
  });
  for (const auto& table : tables) hidden_.erase(tableKey(database, table));
}

void MariaDbCatalog::DropTable(const std::string& database, const std::string& table) {
  if (!hasDictionary(database)) return;  // no table was ever made there
  const auto entry = findTable(database, table);
  if (!entry) return;
  const std::string key = tableKey(database, table);
  if (const auto made = hidden_.find(key); made != hidden_.end()) {
    const auto held = std::move(made->second);  // kept from others until it is gone
    hidden_.erase(made);
    removeTable(database, entry->id);
    return;
  }
  if (!entry->ready) {
    CreationLock lock(*connection_, database);
    clearLeftover(database, *entry);
    return;
  }
  if (!open_[key].expired()) throw ECannotOpen("Tabellen er i bruk: " + entry->name + " (" + database + ")");
  // Held exclusively while it goes, so no other workstation has it open.
  const auto held = MariaDbTableState::Open(connection_, database, table, true);
  removeTable(database, entry->id);
}

}  // namespace ff
