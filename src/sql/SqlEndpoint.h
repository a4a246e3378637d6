// Where a MariaDB server is and how to log in: a socket, or a host and port for TCP/IP.
#pragma once

#include <string>

namespace sql {

struct SqlEndpoint {
  std::string name;      // how messages name the server
  std::string host;      // set: TCP/IP, "localhost" too
  unsigned port = 0;     // 0: the library's default
  std::string socket;    // with no host either: the library's default socket
  std::string database;  // empty: none chosen
  std::string user;
  std::string password;
  unsigned connectSeconds = 5;
  // A server that stops answering counts as a dropped connection, beyond the server's own
  // lock waits (50 seconds by default).
  unsigned answerSeconds = 120;
};

// The endpoint of "name@address[:port]" ("name@[ipv6]:port" also), named by it; a bare name
// without "@" is itself the host. The port defaults to 3306.
// Throws SqlError (Refused) for an empty address or a port that is not 1 to 65535.
SqlEndpoint ParseServerName(const std::string& serverName);

}  // namespace sql
