// The registry of storage back ends. The core reaches every back end through it; the program
// fills it once at start-up (see backends/StandardBackends.h), and a kind nobody registered
// fails with ENoBackend.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/Engine.h"
#include "store/ServerCatalog.h"
#include "store/Storage.h"

namespace ff {

// The kinds of table files of alias folders, in the order registered; the first one makes
// new tables. Throws ENoBackend when none is registered.
const std::vector<StorageProvider*>& StorageProviders();
void RegisterStorageProvider(std::unique_ptr<StorageProvider> provider);

// How a protocol reaches the database servers that keep tables, by server name
// ("name@address[:port]"). Both throw EConnection when the server cannot be reached.
struct ServerConnector {
  // A new connection of its own.
  std::function<std::unique_ptr<ServerCatalog>(const std::string& serverName)> connect;
  // One connection per server name for the whole process (aliases that name a server).
  std::function<ServerCatalog&(const std::string& serverName)> shared;
};
void RegisterServerConnector(Protocol protocol, ServerConnector connector);
// The connector of a protocol, or nullptr when no back end serves it.
const ServerConnector* FindServerConnector(Protocol protocol);
// Throws ENoBackend when no back end serves the protocol.
const ServerConnector& ServerConnectorOf(Protocol protocol);

// A read-only scratch table built from rows handed to `fill`, for back ends that decode other
// file formats and want the orders and filters of a table store: `fill` calls its argument
// once per row with the row's id. The table is gone when it is destroyed.
using RowSink = std::function<void(RowId, const std::vector<Value>&)>;
using RowFill = std::function<void(const RowSink&)>;
using ScratchTableMaker = std::function<std::unique_ptr<TableStorage>(
    const std::vector<FieldDef>& fields, const std::vector<IndexDef>& indexes, const RowFill& fill)>;
void RegisterScratchTableMaker(ScratchTableMaker maker);
// Throws ENoBackend when no back end makes scratch tables.
std::unique_ptr<TableStorage> MakeScratchTable(const std::vector<FieldDef>& fields,
                                               const std::vector<IndexDef>& indexes, const RowFill& fill);

}  // namespace ff
