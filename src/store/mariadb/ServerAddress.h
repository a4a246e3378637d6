// Server names as the client configuration and the engine give them: "name@address[:port]".
#pragma once

#include <string>

namespace ff {

struct ServerAddress {
  std::string host;
  unsigned port = 3306;
};

// The address part of "name@address[:port]" ("name@[ipv6]:port" also); a bare name without
// "@" is itself the host, looked up like any host name. The port defaults to 3306.
// Throws EConnection for an empty address or a port that is not 1 to 65535.
ServerAddress ParseServerAddress(const std::string& serverName);

}  // namespace ff
