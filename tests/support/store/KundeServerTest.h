// A table KUNDE (NR, NAVN, index NR) in a fresh database on the private MariaDB, opened
// through the default session (by its server alias) or a workstation's TCP/IP engine; the
// server's view of who holds its locks.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/mariadb/MariaDbTableState.h"
#include "store/mariadb/ServerConnection.h"
#include "support/ServerTestSupport.h"

class KundeServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TCP_SERVER(db);
    createTable("KUNDE");
  }

  // A table with the fields and index of KUNDE.
  void createTable(const std::string& name) {
    ff::TffSession::DefaultSession().CreateTable(
        db.alias(), name, {{"NR", ff::FieldType::Integer, 0, false}, {"NAVN", ff::FieldType::String, 40, false}},
        {{"NR", {"NR"}, 0}});
  }

  // Through the default session the database is reached by its server alias; through a
  // workstation's TCP/IP engine by its name on the server.
  void open(ff::TffTable& t, ff::TffSession& session, bool exclusive = false, const std::string& table = "KUNDE") {
    const bool viaAlias = &session == &ff::TffSession::DefaultSession();
    t.SetSessionName(session.SessionName());
    t.SetDatabaseName(viaAlias ? db.alias() : db.database());
    t.SetTableName(table);
    t.SetExclusive(exclusive);
    t.SetIndexName("NR");
    t.Open();
  }

  static void add(ff::TffTable& t, std::int64_t nr, const std::string& navn) {
    t.Append();
    t.FieldByName("NR").SetAsInteger(nr);
    t.FieldByName("NAVN").SetAsString(navn);
    t.Post();
  }

  std::int64_t rowsOnServer() {
    const auto rows = db.admin().Prepare("SELECT COUNT(*) FROM `" + db.database() + "`.`t1`").Query({});
    return ff::valueToInt(rows.at(0).at(0));
  }

  // The server-side lock of an exclusive open of a table (by its lower-case name).
  std::string exclusiveLock(const std::string& tableKey = "kunde") const {
    return ff::MariaDbTableState::LockBase(db.database(), tableKey) + ":x";
  }

  // The id of the connection that holds a named lock on the server; fails the test when none does.
  std::int64_t holderOf(const std::string& lock) {
    const auto rows = db.admin().Prepare("SELECT IS_USED_LOCK(?)").Query({ff::Value{lock}});
    EXPECT_FALSE(ff::isNull(rows.at(0).at(0))) << "nobody holds " << lock;
    return ff::isNull(rows.at(0).at(0)) ? 0 : ff::valueToInt(rows[0][0]);
  }

  // Kills a connection from another one and waits until the server has ended it.
  void killConnection(std::int64_t id) {
    db.admin().Execute("KILL CONNECTION " + std::to_string(id));
    ff::ServerStatement alive = db.admin().Prepare("SELECT 1 FROM information_schema.PROCESSLIST WHERE ID = ?");
    for (int i = 0; i < 200 && !alive.Query({ff::Value{id}}).empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  server_test::ServerAlias db;
};
