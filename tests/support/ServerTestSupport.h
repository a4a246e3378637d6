// The private MariaDB's TCP/IP port (scripts/mysql-local.sh start --port N) for tests of the
// store's server back end, and throw-away databases on it behind a server alias.
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "store/Aliases.h"
#include "store/ClientConfig.h"
#include "store/Errors.h"
#include "sql/SqlEndpoint.h"
#include "store/mariadb/ServerConnection.h"
#include "support/TcpServer.h"
#include "support/TempAlias.h"

namespace server_test {

// The private server's administrator: our own system user, through the socket only.
inline sql::SqlEndpoint SocketAdministrator() {
  sql::SqlEndpoint admin;
  admin.name = "admin";
  admin.socket = privateServerFolder() + "/mysqld.sock";
  admin.user = ::getpwuid(::geteuid())->pw_name;
  return admin;
}

// A temporary FlashFiler configuration holding the server login, and an alias naming a fresh
// database on the private server, dropped at the end. available() is false (with the reason)
// when the server is not there.
class ServerAlias {
 public:
  explicit ServerAlias(const std::string& alias = "TESTDB") : local_(alias + "_LOCAL") {
    static int counter = 0;
    database_ = "kvff_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    const auto server = FindTcpServer();
    if (!server) {
      reason_ = "the private MariaDB has no TCP port (scripts/mysql-local.sh start --port N)";
      return;
    }
    server_ = *server;
    ff::FFClientConfigWriteServerLogin(server_.user, server_.password);
    ff::FFClientConfigWriteServerTls({server_.ca, {}, {}});
    try {
      admin_ = std::make_unique<ff::ServerConnection>(server_.serverName(), server_.user, server_.password,
                                                      ff::FFClientConfigReadServerTls());
    } catch (const ff::Error& e) {
      reason_ = e.what();
      return;
    }
    ff::AddServerAlias(alias, {server_.serverName(), database_});
    alias_ = alias;
  }
  ~ServerAlias() {
    if (admin_) admin_->Execute("DROP DATABASE IF EXISTS `" + database_ + "`");
  }
  ServerAlias(const ServerAlias&) = delete;
  ServerAlias& operator=(const ServerAlias&) = delete;

  bool available() const { return reason_.empty(); }
  const std::string& reason() const { return reason_; }
  const std::string& alias() const { return alias_; }
  const std::string& database() const { return database_; }
  const TcpServer& server() const { return server_; }
  // A connection of its own (another workstation, as the server sees it).
  ff::ServerConnection& admin() { return *admin_; }
  // The temporary configuration folder (and a folder alias beside the server one).
  const TempAlias& local() const { return local_; }

 private:
  TempAlias local_;
  std::string alias_;
  std::string database_;
  std::string reason_;
  TcpServer server_;
  std::unique_ptr<ff::ServerConnection> admin_;
};

}  // namespace server_test

// Skips the test when the private MariaDB has no TCP port.
#define REQUIRE_TCP_SERVER(db) \
  if (!(db).available()) GTEST_SKIP() << (db).reason()
