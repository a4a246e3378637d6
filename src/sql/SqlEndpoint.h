// Where a MariaDB server is and how to log in: a socket, or a host and port for TCP/IP.
#pragma once

#include <optional>
#include <string>

namespace sql {

// TLS towards the server. A socket is local and needs none; over TCP/IP it is required by
// default, the server's certificate checked against `ca` when one is given.
struct SqlTls {
  std::string ca;                    // CA file the server's certificate must come from
  std::optional<bool> required;      // unset: required over TCP/IP
  std::optional<bool> verifyServer;  // the server's name in its certificate; unset: when `ca` is given
};

struct SqlEndpoint {
  std::string name;      // how messages name the server
  std::string host;      // set: TCP/IP, "localhost" too
  unsigned port = 0;     // 0: the library's default
  std::string socket;    // with no host either: the library's default socket
  std::string database;  // empty: none chosen
  std::string user;
  std::string password;
  SqlTls tls;
  unsigned connectSeconds = 20;
  // A server that stops answering counts as a dropped connection. Lock waits are kept shorter
  // by the users of the connection.
  unsigned answerSeconds = 20;

  bool OverTcp() const { return !host.empty(); }
  bool TlsRequired() const { return tls.required.value_or(OverTcp()); }
  bool VerifiesServerName() const { return tls.verifyServer.value_or(!tls.ca.empty()); }
};

// The endpoint of "name@address[:port]" ("name@[ipv6]:port" also), named by it; a bare name
// without "@" is itself the host. The port defaults to 3306.
// Throws SqlError (Refused) for an empty address or a port that is not 1 to 65535.
SqlEndpoint ParseServerName(const std::string& serverName);

// A yes/no setting as written in the settings files: 1/0, ja/nei, yes/no, true/false, on/off
// (any letter case); nullopt for an empty text. Throws SqlError (Refused) naming `key` for
// anything else.
std::optional<bool> ParseTlsSwitch(const std::string& key, const std::string& text);

// Seconds from $KV_SQL_TIMEOUT when it holds a positive number (tests of a frozen server),
// else `fallback`.
unsigned TimeoutSeconds(unsigned fallback);

// Seconds from $KV_SQL_IDLE_TIMEOUT when it holds a positive number (tests of a hung
// workstation), else `fallback`.
unsigned IdleSeconds(unsigned fallback);

}  // namespace sql
