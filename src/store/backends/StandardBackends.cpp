#include "store/backends/StandardBackends.h"

#include <mutex>

#include "store/Backends.h"
#include "store/ff2/Ff2Storage.h"
#include "store/mariadb/MariaDbServer.h"
#include "store/sqlite/SqliteStorage.h"

namespace ff {

void RegisterStandardBackends() {
  static std::once_flag once;
  std::call_once(once, [] {
    // SQLite first: it makes the new tables of alias folders.
    RegisterStorageProvider(std::make_unique<SqliteProvider>());
    RegisterStorageProvider(std::make_unique<Ff2Provider>());
    RegisterScratchTableMaker(&MakeSqliteScratchTable);
    RegisterServerConnector(Protocol::TcpIp, {&ConnectMariaDbServer, &SharedMariaDbServer});
  });
}

}  // namespace ff
