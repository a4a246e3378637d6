#include "store/mariadb/MariaDbServer.h"

#include <map>

#include "store/ClientConfig.h"
#include "store/mariadb/MariaDbCatalog.h"
#include "store/mariadb/ServerConnection.h"

namespace ff {

namespace {

std::unique_ptr<MariaDbCatalog> connect(const std::string& serverName) {
  return std::make_unique<MariaDbCatalog>(std::make_shared<ServerConnection>(
      serverName, FFClientConfigReadServerUser(), FFClientConfigReadServerPassword()));
}

}  // namespace

std::unique_ptr<ServerCatalog> ConnectMariaDbServer(const std::string& serverName) { return connect(serverName); }

ServerCatalog& SharedMariaDbServer(const std::string& serverName) {
  static std::map<std::string, std::unique_ptr<MariaDbCatalog>> servers;
  auto& server = servers[serverName];
  if (!server || server->Lost()) server = connect(serverName);
  return *server;
}

}  // namespace ff
