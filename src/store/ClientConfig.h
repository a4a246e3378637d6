// The client configuration: which protocol the client uses and which server it reaches.
// Kept as a small file ("client.cfg") in the FlashFiler configuration folder.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "sql/SqlEndpoint.h"

namespace ff {

// Longest server name the configuration holds, in characters.
constexpr std::size_t kMaxServerNameLength = 63;

// Returns the client's protocol names: "Single User", "TCP/IP", "IPX/SPX".
std::vector<std::string> FFClientConfigGetProtocolNames();

// Returns the stored protocol name as written; "Single User" when none is stored.
// Throws Error when the configuration exists but cannot be read.
std::string FFClientConfigReadProtocol();

// Returns the stored server name; empty when none is stored.
// Throws Error when the configuration exists but cannot be read.
std::string FFClientConfigReadServerName();

// Stores the server name, keeping the stored protocol. Creates the folder when missing.
// Throws Error, leaving the stored configuration as it was, when the name is longer than
// kMaxServerNameLength characters, holds a line break, or the folder cannot be written.
void FFClientConfigWriteServerName(const std::string& serverName);

// Stores the protocol name as given (free text), keeping the stored server name.
// Throws Error, leaving the stored configuration as it was, when the name holds a line break
// or the folder cannot be written.
void FFClientConfigWriteProtocolName(const std::string& protocolName);

// The user name and password the client signs on to a database server with (TCP/IP); empty
// when none is stored. Throws Error when the configuration exists but cannot be read, or holds
// a password while others than its owner can read it.
std::string FFClientConfigReadServerUser();
std::string FFClientConfigReadServerPassword();

// Stores the server user name and password, keeping the other entries. Throws Error, leaving
// the stored configuration as it was, when either holds a line break or the folder cannot be
// written. The file is readable by its owner only.
void FFClientConfigWriteServerLogin(const std::string& user, const std::string& password);

// TLS towards the server: TlsCa= (CA file), TlsRequired= and TlsVerifyServer= (1 or 0; unset
// leaves the SQL client's default). Throws Error as the login does, and for a switch that is
// neither yes nor no.
sql::SqlTls FFClientConfigReadServerTls();

// Stores the TLS settings, keeping the other entries. Throws Error as the login's writer does.
void FFClientConfigWriteServerTls(const sql::SqlTls& tls);

// Full path of the configuration file.
std::string FFClientConfigFile();

}  // namespace ff
