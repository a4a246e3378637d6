#include "sql/SqlEndpoint.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

#include "sql/SqlError.h"

namespace sql {

namespace {

[[noreturn]] void badName(const std::string& serverName, const std::string& why) {
  throw SqlError(SqlErrorKind::Refused, "Ugyldig servernavn '" + serverName + "': " + why);
}

unsigned parsePort(const std::string& serverName, const std::string& text) {
  unsigned port = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), port);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() || port == 0 || port > 65535) {
    badName(serverName, "porten må være et tall fra 1 til 65535");
  }
  return port;
}

unsigned secondsFromEnvironment(const char* variable, unsigned fallback) {
  const char* text = std::getenv(variable);
  if (!text || !*text) return fallback;
  unsigned seconds = 0;
  const auto result = std::from_chars(text, text + std::char_traits<char>::length(text), seconds);
  return result.ec == std::errc() && *result.ptr == '\0' && seconds > 0 ? seconds : fallback;
}

}  // namespace

SqlEndpoint ParseServerName(const std::string& serverName) {
  const auto at = serverName.find('@');
  const std::string rest = at == std::string::npos ? serverName : serverName.substr(at + 1);
  SqlEndpoint endpoint;
  endpoint.name = serverName;
  endpoint.port = 3306;
  std::string::size_type portColon = std::string::npos;
  if (!rest.empty() && rest.front() == '[') {
    const auto close = rest.find(']');
    if (close == std::string::npos) badName(serverName, "mangler ]");
    endpoint.host = rest.substr(1, close - 1);
    if (close + 1 < rest.size()) {
      if (rest[close + 1] != ':') badName(serverName, "ventet : etter ]");
      portColon = close + 1;
    }
  } else {
    portColon = rest.find(':');
    endpoint.host = rest.substr(0, portColon);
  }
  if (portColon != std::string::npos) endpoint.port = parsePort(serverName, rest.substr(portColon + 1));
  if (endpoint.host.empty()) badName(serverName, "adressen mangler");
  return endpoint;
}

std::optional<bool> ParseTlsSwitch(const std::string& key, const std::string& text) {
  std::string word = text;
  std::transform(word.begin(), word.end(), word.begin(), [](unsigned char c) { return std::tolower(c); });
  if (word.empty()) return std::nullopt;
  for (const char* yes : {"1", "ja", "yes", "true", "on"}) {
    if (word == yes) return true;
  }
  for (const char* no : {"0", "nei", "no", "false", "off"}) {
    if (word == no) return false;
  }
  throw SqlError(SqlErrorKind::Refused, "Ugyldig verdi for " + key + ": '" + text + "' (bruk 1 eller 0)");
}

unsigned TimeoutSeconds(unsigned fallback) { return secondsFromEnvironment("KV_SQL_TIMEOUT", fallback); }

unsigned IdleSeconds(unsigned fallback) { return secondsFromEnvironment("KV_SQL_IDLE_TIMEOUT", fallback); }

}  // namespace sql
