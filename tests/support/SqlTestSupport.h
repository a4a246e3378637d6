// A settings folder of its own for each test, and a fresh database on the private MariaDB
// (scripts/mysql-local.sh) behind the alias "MySQLweb", dropped at the end.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/SqlAliases.h"
#include "settings/Felles.h"
#include "sql/SqlError.h"

namespace sql_test {

// A temporary folder made the settings folder for the life of the object.
class TempSettings {
 public:
  TempSettings() {
    char pattern[] = "/tmp/kvsql-XXXXXX";
    folder_ = std::string(::mkdtemp(pattern)) + "/";
    InitSettingsStore({folder_});
  }
  ~TempSettings() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
  TempSettings(const TempSettings&) = delete;
  TempSettings& operator=(const TempSettings&) = delete;

  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
};

// Folders for running kvist-ff as the program runs: it finds its settings folder as "../etc/"
// from its working folder "work/"; the alias file goes along.
inline void MakeToolFolders(const TempSettings& settings) {
  std::filesystem::create_directories(settings.folder() + "etc");
  std::filesystem::create_directories(settings.folder() + "work");
  std::filesystem::copy_file(SqlAliasFileName(), settings.folder() + "etc/SQLALIAS.INI");
}

// Settings that lead nowhere: a socket that no server listens on.
inline SqlAliasSettings DeadServerAlias(const std::string& folder) {
  SqlAliasSettings dead = PrivateServerAlias();
  dead.socket = folder + "no-server.sock";
  return dead;
}

// A database of its own on the private server, named in the settings folder's alias file as
// "MySQLweb". available() is false (with the reason) when the server is not running.
// Names the server lists: tables, or columns with their types.
using Names = std::vector<std::string>;

class PrivateDatabase {
 public:
  PrivateDatabase() {
    static int counter = 0;
    name_ = "kvtest_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    const SqlAliasSettings server = PrivateServerAlias();
    try {
      sql::SqlConnection(SqlAliasEndpoint("admin", server)).Execute("CREATE DATABASE " + name_);
    } catch (const sql::SqlError& e) {
      reason_ = std::string("the private MariaDB is not running (scripts/mysql-local.sh start): ") + e.what();
      return;
    }
    SqlAliasSettings alias = server;
    alias.database = name_;
    admin_ = std::make_unique<sql::SqlConnection>(SqlAliasEndpoint("admin", alias));
    WriteSqlAlias(kSqlAliasMySQLweb, alias);
  }
  ~PrivateDatabase() {
    CloseSqlConnection(kSqlAliasMySQLweb);
    if (available()) run("DROP DATABASE IF EXISTS " + name_);
  }
  PrivateDatabase(const PrivateDatabase&) = delete;
  PrivateDatabase& operator=(const PrivateDatabase&) = delete;

  bool available() const { return reason_.empty(); }
  const std::string& reason() const { return reason_; }
  const std::string& name() const { return name_; }
  // A connection to this database of its own.
  sql::SqlConnection& admin() { return *admin_; }

  // Runs one statement on the admin connection; returns its error text (empty on success).
  std::string run(const std::string& sql) {
    try {
      admin_->Execute(sql);
      return {};
    } catch (const sql::SqlError& e) {
      return e.what();
    }
  }

  // "NAME TYPE" of each column of a table in this database, in column order, as the server
  // reports them in information_schema ("id int(11)", "NAVN varchar(40)").
  Names columns(const std::string& table) {
    return firstColumn("SELECT CONCAT(COLUMN_NAME, ' ', COLUMN_TYPE) FROM information_schema.COLUMNS "
                       "WHERE TABLE_SCHEMA = DATABASE() AND TABLE_NAME = " +
                       admin_->Literal(table) + " ORDER BY ORDINAL_POSITION");
  }

  // Table names of this database, sorted.
  Names tables() {
    return firstColumn("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() "
                       "ORDER BY TABLE_NAME");
  }

 private:
  Names firstColumn(const std::string& query) {
    const auto result = admin_->FirstResultSet(query);
    if (!result) throw std::runtime_error("no rows from " + query);
    Names out;
    for (const auto& row : result->rows) out.push_back(row.at(0).value_or(""));
    return out;
  }

  std::string name_;
  std::string reason_;
  std::unique_ptr<sql::SqlConnection> admin_;
};

}  // namespace sql_test

// Skips the test when the private MariaDB is not there.
#define REQUIRE_PRIVATE_SERVER(db) \
  if (!(db).available()) GTEST_SKIP() << (db).reason()
