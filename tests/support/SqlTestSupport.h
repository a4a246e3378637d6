// A settings folder of its own for each test, and a fresh database on the private MariaDB
// (scripts/mysql-local.sh) behind the alias "MySQLweb", dropped at the end.
#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/SqlAliases.h"
#include "settings/Felles.h"

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
  dead.socket = QString::fromStdString(folder + "no-server.sock");
  return dead;
}

// A database of its own on the private server, named in the settings folder's alias file as
// "MySQLweb". available() is false (with the reason) when the server is not running.
class PrivateDatabase {
 public:
  PrivateDatabase() {
    static int counter = 0;
    name_ = "kvtest_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
    admin_ = QSqlDatabase::addDatabase("QMARIADB", QString::fromStdString("admin-" + name_));
    const SqlAliasSettings server = PrivateServerAlias();
    admin_.setUserName(server.user);
    admin_.setConnectOptions("UNIX_SOCKET=" + server.socket);
    if (!admin_.open()) {
      reason_ = "the private MariaDB is not running (scripts/mysql-local.sh start): " +
                admin_.lastError().text().toStdString();
      return;
    }
    run("CREATE DATABASE " + name_);
    admin_.close();
    admin_.setDatabaseName(QString::fromStdString(name_));
    admin_.open();
    SqlAliasSettings alias = server;
    alias.database = QString::fromStdString(name_);
    WriteSqlAlias(kSqlAliasMySQLweb, alias);
  }
  ~PrivateDatabase() {
    CloseSqlConnection(kSqlAliasMySQLweb);
    if (available()) run("DROP DATABASE IF EXISTS " + name_);
    const QString connection = admin_.connectionName();
    admin_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection);
  }
  PrivateDatabase(const PrivateDatabase&) = delete;
  PrivateDatabase& operator=(const PrivateDatabase&) = delete;

  bool available() const { return reason_.empty(); }
  const std::string& reason() const { return reason_; }
  const std::string& name() const { return name_; }

  // Runs one statement on the admin connection; returns its error text (empty on success).
  std::string run(const std::string& sql) {
    QSqlQuery q(admin_);
    return q.exec(QString::fromStdString(sql)) ? std::string() : q.lastError().text().toStdString();
  }

  // "NAME TYPE" of each column of a table in this database, in column order, as the server
  // reports them in information_schema ("id int(11)", "NAVN varchar(40)").
  QStringList columns(const std::string& table) {
    QSqlQuery q(admin_);
    q.prepare("SELECT COLUMN_NAME, COLUMN_TYPE FROM information_schema.COLUMNS "
              "WHERE TABLE_SCHEMA = ? AND TABLE_NAME = ? ORDER BY ORDINAL_POSITION");
    q.addBindValue(QString::fromStdString(name_));
    q.addBindValue(QString::fromStdString(table));
    q.exec();
    QStringList out;
    while (q.next()) out << q.value(0).toString() + " " + q.value(1).toString();
    return out;
  }

  // Table names of this database, sorted.
  QStringList tables() {
    QSqlQuery q(admin_);
    q.exec("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = '" + QString::fromStdString(name_) +
           "' ORDER BY TABLE_NAME");
    QStringList out;
    while (q.next()) out << q.value(0).toString();
    return out;
  }

 private:
  std::string name_;
  std::string reason_;
  QSqlDatabase admin_;
};

}  // namespace sql_test

// Skips the test when the private MariaDB is not there.
#define REQUIRE_PRIVATE_SERVER(db) \
  if (!(db).available()) GTEST_SKIP() << (db).reason()
