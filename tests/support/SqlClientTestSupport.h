// A throw-away database on the private MariaDB over TCP/IP for the SQL client's tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "sql/SqlConnection.h"
#include "sql/SqlError.h"
#include "support/TcpServer.h"

namespace sql_client_test {

// The private server's TCP/IP endpoint, or an empty name when it has no TCP port.
inline sql::SqlEndpoint PrivateTcpEndpoint() {
  sql::SqlEndpoint endpoint;
  const auto server = server_test::FindTcpServer();
  if (!server) return endpoint;
  endpoint.name = server->serverName();
  endpoint.host = "127.0.0.1";
  endpoint.port = static_cast<unsigned>(std::stoul(server->port));
  endpoint.user = server->user;
  endpoint.password = server->password;
  endpoint.tls.ca = server->ca;
  return endpoint;
}

// Each test gets a database of its own, dropped at the end, and a connection to it; the test
// is skipped when the private server is not running.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    endpoint = PrivateTcpEndpoint();
    if (endpoint.name.empty()) GTEST_SKIP() << "the private MariaDB has no TCP port (scripts/mysql-local.sh start --port N)";
    static int counter = 0;
    database_ = "kvsql_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    try {
      sql::SqlConnection(endpoint).Execute("CREATE DATABASE " + database_);
    } catch (const sql::SqlError& e) {
      GTEST_SKIP() << "the private MariaDB does not answer: " << e.what();
    }
    endpoint.database = database_;
    db = std::make_unique<sql::SqlConnection>(endpoint);
  }
  void TearDown() override {
    db.reset();
    if (!database_.empty()) sql::SqlConnection(endpoint).Execute("DROP DATABASE IF EXISTS " + database_);
  }

  // The first column of the first row of a query, "NULL" for NULL.
  std::string scalar(const std::string& query) {
    const auto result = db->FirstResultSet(query);
    return result->rows.at(0).at(0).value_or("NULL");
  }

  // Runs f and returns the kind of SqlError it threw; fails the test when it threw none.
  template <class F>
  static sql::SqlErrorKind kindOf(F&& f) {
    try {
      f();
    } catch (const sql::SqlError& e) {
      return e.Kind();
    }
    ADD_FAILURE() << "no SqlError";
    return sql::SqlErrorKind::Other;
  }

  sql::SqlEndpoint endpoint;
  std::unique_ptr<sql::SqlConnection> db;

 private:
  std::string database_;
};

}  // namespace sql_client_test
