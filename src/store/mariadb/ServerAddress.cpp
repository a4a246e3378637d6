#include "store/mariadb/ServerAddress.h"

#include <charconv>

#include "store/Errors.h"

namespace ff {

namespace {

[[noreturn]] void badName(const std::string& serverName, const std::string& why) {
  throw EConnection("Ugyldig servernavn '" + serverName + "': " + why);
}

unsigned parsePort(const std::string& serverName, const std::string& text) {
  unsigned port = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), port);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() || port == 0 || port > 65535) {
    badName(serverName, "porten må være et tall fra 1 til 65535");
  }
  return port;
}

}  // namespace

ServerAddress ParseServerAddress(const std::string& serverName) {
  const auto at = serverName.find('@');
  std::string rest = at == std::string::npos ? serverName : serverName.substr(at + 1);
  ServerAddress address;
  std::string::size_type portColon = std::string::npos;
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string::npos) badName(serverName, "mangler ]");
    address.host = rest.substr(1, close - 1);
    if (close + 1 < rest.size()) {
      if (rest[close + 1] != ':') badName(serverName, "ventet : etter ]");
      portColon = close + 1;
    }
  } else {
    portColon = rest.find(':');
    address.host = rest.substr(0, portColon);
  }
  if (portColon != std::string::npos) address.port = parsePort(serverName, rest.substr(portColon + 1));
  if (address.host.empty()) badName(serverName, "adressen mangler");
  return address;
}

}  // namespace ff
