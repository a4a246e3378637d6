#include "store/ClientConfig.h"

#include <filesystem>
#include <fstream>

#include "sql/SecretFile.h"
#include "sql/SqlError.h"
#include "store/Aliases.h"
#include "store/Engine.h"
#include "store/Errors.h"
#include "text/Utf8Text.h"

namespace ff {

namespace {

namespace fs = std::filesystem;

constexpr const char* kServerNameKey = "ServerName";
constexpr const char* kProtocolKey = "Protocol";
constexpr const char* kUserKey = "User";
constexpr const char* kPasswordKey = "Password";
constexpr const char* kTlsCaKey = "TlsCa";
constexpr const char* kTlsRequiredKey = "TlsRequired";
constexpr const char* kTlsVerifyKey = "TlsVerifyServer";

struct ClientConfig {
  std::string serverName;
  std::string protocol = ProtocolName(Protocol::SingleUser);
  std::string user;
  std::string password;
  std::string tlsCa;
  std::string tlsRequired;  // as written: 1 or 0, empty for the default
  std::string tlsVerify;
};

std::string switchText(const std::optional<bool>& value) {
  if (!value) return {};
  return *value ? "1" : "0";
}

std::optional<bool> switchValue(const char* key, const std::string& text) {
  try {
    return sql::ParseTlsSwitch(key, text);
  } catch (const sql::SqlError& e) {
    throw Error(std::string(e.what()) + " i klientoppsettet " + FFClientConfigFile());
  }
}

// One setting a line: KEY=VALUE. Unknown keys and lines without "=" are ignored.
ClientConfig readConfig() {
  ClientConfig config;
  const std::string path = FFClientConfigFile();
  std::error_code ec;
  if (!fs::exists(path, ec)) return config;
  std::ifstream in(path);
  if (!in) throw Error("Kan ikke lese klientoppsettet " + path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    if (key == kServerNameKey) config.serverName = line.substr(eq + 1);
    if (key == kProtocolKey) config.protocol = line.substr(eq + 1);
    if (key == kUserKey) config.user = line.substr(eq + 1);
    if (key == kPasswordKey) config.password = line.substr(eq + 1);
    if (key == kTlsCaKey) config.tlsCa = line.substr(eq + 1);
    if (key == kTlsRequiredKey) config.tlsRequired = line.substr(eq + 1);
    if (key == kTlsVerifyKey) config.tlsVerify = line.substr(eq + 1);
  }
  if (!config.password.empty() && sql::OthersCanRead(path)) throw Error(sql::OthersCanReadMessage(path));
  return config;
}

// Written beside the old file and renamed over it, so a failed write leaves the old one whole.
void writeConfig(const ClientConfig& config) {
  std::error_code ec;
  fs::create_directories(ConfigFolder(), ec);
  const std::string path = FFClientConfigFile();
  const std::string temp = path + ".new";
  {
    std::ofstream out(temp, std::ios::trunc);
    // The file may hold the server password: private before anything is written.
    fs::permissions(temp, fs::perms::owner_read | fs::perms::owner_write, ec);
    out << kServerNameKey << '=' << config.serverName << '\n'
        << kProtocolKey << '=' << config.protocol << '\n';
    if (!config.user.empty()) out << kUserKey << '=' << config.user << '\n';
    if (!config.password.empty()) out << kPasswordKey << '=' << config.password << '\n';
    if (!config.tlsCa.empty()) out << kTlsCaKey << '=' << config.tlsCa << '\n';
    if (!config.tlsRequired.empty()) out << kTlsRequiredKey << '=' << config.tlsRequired << '\n';
    if (!config.tlsVerify.empty()) out << kTlsVerifyKey << '=' << config.tlsVerify << '\n';
    out.flush();
    if (!out) throw Error("Kan ikke skrive klientoppsettet " + path);
  }
  fs::rename(temp, path, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw Error("Kan ikke skrive klientoppsettet " + path);
  }
}

void checkOneLine(const std::string& what, const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos) {
    throw Error(what + " kan ikke inneholde linjeskift");
  }
}

}  // namespace

std::vector<std::string> FFClientConfigGetProtocolNames() {
  std::vector<std::string> names;
  for (Protocol p : {Protocol::SingleUser, Protocol::TcpIp, Protocol::IpxSpx}) {
    names.emplace_back(ProtocolName(p));
  }
  return names;
}

std::string FFClientConfigReadProtocol() { return readConfig().protocol; }

std::string FFClientConfigReadServerName() { return readConfig().serverName; }

void FFClientConfigWriteServerName(const std::string& serverName) {
  checkOneLine("Servernavnet", serverName);
  if (Utf8Length(serverName) > kMaxServerNameLength) {
    throw Error("Servernavnet '" + serverName + "' er lengre enn " +
                std::to_string(kMaxServerNameLength) + " tegn");
  }
  ClientConfig config = readConfig();
  config.serverName = serverName;
  writeConfig(config);
}

void FFClientConfigWriteProtocolName(const std::string& protocolName) {
  checkOneLine("Protokollnavnet", protocolName);
  ClientConfig config = readConfig();
  config.protocol = protocolName;
  writeConfig(config);
}

std::string FFClientConfigReadServerUser() { return readConfig().user; }

std::string FFClientConfigReadServerPassword() { return readConfig().password; }

void FFClientConfigWriteServerLogin(const std::string& user, const std::string& password) {
  checkOneLine("Brukernavnet", user);
  checkOneLine("Passordet", password);
  ClientConfig config = readConfig();
  config.user = user;
  config.password = password;
  writeConfig(config);
}

sql::SqlTls FFClientConfigReadServerTls() {
  const ClientConfig config = readConfig();
  return {config.tlsCa, switchValue(kTlsRequiredKey, config.tlsRequired), switchValue(kTlsVerifyKey, config.tlsVerify)};
}

void FFClientConfigWriteServerTls(const sql::SqlTls& tls) {
  checkOneLine("CA-filen", tls.ca);
  ClientConfig config = readConfig();
  config.tlsCa = tls.ca;
  config.tlsRequired = switchText(tls.required);
  config.tlsVerify = switchText(tls.verifyServer);
  writeConfig(config);
}

std::string FFClientConfigFile() { return ConfigFolder() + "client.cfg"; }

}  // namespace ff
