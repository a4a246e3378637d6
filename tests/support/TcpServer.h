// Where the private MariaDB listens for TCP/IP (scripts/mysql-local.sh start --port N): its
// port, login and the CA of its certificate, from tcp.cfg in its folder. For the tests and the benchmarks.
#pragma once

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace server_test {

struct TcpServer {
  std::string port;
  std::string user;
  std::string password;
  std::string ca;  // the CA file the server's certificate comes from
  // "ff_server@127.0.0.1:PORT"
  std::string serverName() const { return "ff_server@127.0.0.1:" + port; }
};

inline std::string privateServerFolder() {
  if (const char* dir = std::getenv("KV_MYSQL_DIR"); dir && *dir) return dir;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) return std::string(state) + "/kvistmerket/mysql";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.local/state/kvistmerket/mysql";
}

// The port and login the private server listens with, or nullopt when it has no TCP port.
inline std::optional<TcpServer> FindTcpServer() {
  std::ifstream in(privateServerFolder() + "/tcp.cfg");
  TcpServer server;
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "port") server.port = value;
    if (key == "user") server.user = value;
    if (key == "password") server.password = value;
    if (key == "ca") server.ca = value;
  }
  if (server.port.empty()) return std::nullopt;
  return server;
}

}  // namespace server_test
