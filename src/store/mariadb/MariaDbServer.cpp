#include "store/mariadb/MariaDbServer.h"

#include <map>

#include "store/ClientConfig.h"
#include "store/Errors.h"
#include "store/mariadb/MariaDbCatalog.h"
#include "store/mariadb/ServerConnection.h"

namespace ff {

namespace {

// With no user the client library would sign on as the logged-in system user, root too.
std::unique_ptr<MariaDbCatalog> connect(const std::string& serverName) {
  const std::string user = FFClientConfigReadServerUser();
  if (user.empty()) {
    throw EConnection("Klientoppsettet " + FFClientConfigFile() + " har ingen bruker (User=) for serveren " +
                      serverName + ". Legg inn arbeidsstasjonens innlogging med: kvist-ff login " + serverName +
                      " BRUKER");
  }
  return std::make_unique<MariaDbCatalog>(std::make_shared<ServerConnection>(
      serverName, user, FFClientConfigReadServerPassword(), FFClientConfigReadServerTls()));
}

}  // namespace

std::unique_ptr<ServerCatalog> ConnectMariaDbServer(const std::string& serverName) { return connect(serverName); }

ServerCatalog& SharedMariaDbServer(const std::string& serverName) {
  static std::map<std::string, std::unique_ptr<MariaDbCatalog>> servers;
  auto& server = servers[serverName];
  if (!server) server = connect(serverName);
  return *server;
}

}  // namespace ff
