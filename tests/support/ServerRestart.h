// Stops and starts the private MariaDB again on the same port (scripts/mysql-local.sh, in
// $KV_MYSQL_DIR as the tests were given it), as a server restart the workstations live through.
// Tests that call it run alone (RUN_SERIAL, see tests/CMakeLists.txt).
#pragma once

#include <cstdlib>
#include <string>

#include "support/TcpServer.h"

namespace server_test {

// True when the server runs again.
inline bool RestartPrivateServer(const TcpServer& server) {
  const std::string script = std::string(KV_SOURCE_DIR) + "/scripts/mysql-local.sh";
  const std::string command = script + " stop >/dev/null && " + script + " start --port " + server.port + " >/dev/null";
  return std::system(command.c_str()) == 0;
}

}  // namespace server_test
