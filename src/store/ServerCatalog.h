// A database server that keeps the tables of aliases, one database per alias (the TCP/IP
// protocol's server, or a server an alias names). Table names match without regard to case.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/Storage.h"

namespace ff {

class ServerCatalog {
 public:
  virtual ~ServerCatalog() = default;
  // "name@address[:port]" as the server was named.
  virtual const std::string& ServerName() const = 0;
  // The databases on the server that hold tables of the store. Throws EConnection.
  virtual std::vector<std::string> DatabaseNames() = 0;
  // The server's own spelling of the database named `alias` (without regard to case), or
  // nullopt when there is none. Throws EConnection.
  virtual std::optional<std::string> FindDatabase(const std::string& alias) = 0;
  // Table names of a database, as they were created. Throws ECannotOpen for an unknown database.
  virtual std::vector<std::string> TableNames(const std::string& database) = 0;
  // Throws ECannotOpen (no such database or table; in use by this or another workstation),
  // EConnection.
  virtual std::unique_ptr<TableStorage> OpenTable(const std::string& database, const std::string& table,
                                                  const OpenMode& mode) = 0;
  // Creates the table (and the database when missing); the table appears whole or not at
  // all. Throws Error when it exists or the definition is bad, EConnection.
  virtual void CreateTable(const std::string& database, const std::string& table,
                           const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes) = 0;
  // Creates the table as CreateTable does, holding the rows `rows` hands out, and returns how
  // many it wrote. The table stays hidden (not listed, not to be opened) until PublishTables;
  // a failure removes it, and one left behind by a killed process is cleared away by the next
  // creation of its name. Throws as CreateTable does, and passes on what `rows` throws.
  virtual std::int64_t CreateFilledTable(const std::string& database, const std::string& table,
                                         const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes,
                                         RowCursor& rows) = 0;
  // Shows hidden tables that CreateFilledTable made here, all of them at once. Throws Error for
  // a table that is not such a table, EConnection.
  virtual void PublishTables(const std::string& database, const std::vector<std::string>& tables) = 0;
  // Removes a table with its rows (a hidden one of CreateFilledTable, too); nothing happens
  // when there is none. Throws ECannotOpen
  // when it is open, EConnection.
  virtual void DropTable(const std::string& database, const std::string& table) = 0;
};

}  // namespace ff
