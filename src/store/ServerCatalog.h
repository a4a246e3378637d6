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
  // Removes a table with its rows; nothing happens when there is none. Throws ECannotOpen
  // when it is open, EConnection.
  virtual void DropTable(const std::string& database, const std::string& table) = 0;
};

}  // namespace ff
