// Reaching a MariaDB server that keeps the store's tables, with the login of the client
// configuration (its user and password entries).
#pragma once

#include <memory>
#include <string>

namespace ff {

class ServerCatalog;

// A new connection to "name@address[:port]". Throws EConnection with the server's message
// when it cannot be reached or refuses the login.
std::unique_ptr<ServerCatalog> ConnectMariaDbServer(const std::string& serverName);

// One connection per server name for the whole process, for aliases that name a server
// database; a lost one signs on again at its next use. Throws EConnection.
ServerCatalog& SharedMariaDbServer(const std::string& serverName);

}  // namespace ff
