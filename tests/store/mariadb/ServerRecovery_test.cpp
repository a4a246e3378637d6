// A workstation whose server connection was killed signs on again at its next call, with the
// same session and the locks of its open tables; a transaction the drop broke writes nothing;
// the locks of a killed or hung workstation are freed for the others.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/mariadb/ServerConnection.h"
#include "support/store/ChildProcess.h"
#include "support/store/KundeServerTest.h"
#include "support/store/Workstation.h"

using namespace ff;

namespace {

class ServerRecoveryTest : public KundeServerTest {
 protected:
  std::unique_ptr<ServerConnection> connect() {
    const auto& server = db.server();
    return std::make_unique<ServerConnection>(server.serverName(), server.user, server.password,
                                              sql::SqlTls{server.ca, {}, {}});
  }

  static std::int64_t connectionId(ServerConnection& connection) {
    return valueToInt(connection.Prepare("SELECT CONNECTION_ID()").Query({}).at(0).at(0));
  }

  // What a call on a table gives when refused; empty when it ran.
  static std::string refusalOf(TffTable& t) {
    try {
      t.First();
    } catch (const ECannotOpen& e) {
      return e.what();
    }
    return "";
  }

  // What a workstation is told of a table another one `done` while its connection was gone.
  std::string lostMessage(const std::string& done, const std::string& table) const {
    return "Forbindelsen til serveren " + db.server().serverName() + " ble brutt, og i mellomtiden har en annen " +
           "arbeidsstasjon " + done + " tabellen " + table + " (" + db.database() + "). Lukk tabellen og åpne den igjen";
  }
};

TEST_F(ServerRecoveryTest, AKilledConnectionPostsAgainAndKeepsItsTableExclusive) {
  Workstation ws(db.server().serverName());
  TffTable t;
  open(t, ws.session(), true);
  add(t, 1, "Før");
  const std::int64_t first = holderOf(exclusiveLock());
  killConnection(first);
  add(t, 2, "Etter");
  EXPECT_EQ(rowsOnServer(), 2);
  t.First();
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_NE(holderOf(exclusiveLock()), first) << "the new connection holds the lock";
  TffTable other;
  EXPECT_THROW(open(other, TffSession::DefaultSession(), true), ECannotOpen);
  EXPECT_THROW(open(other, TffSession::DefaultSession()), ECannotOpen);
}

TEST_F(ServerRecoveryTest, AConnectionSignedOnAgainHasTheSameSessionAndItsStatementsRunOnIt) {
  const auto connection = connect();
  const std::string session =
      "SELECT @@SESSION.sql_mode, @@SESSION.wait_timeout, @@SESSION.interactive_timeout, @@collation_connection,"
      " @@SESSION.tx_isolation, @@SESSION.innodb_lock_wait_timeout, @@SESSION.lock_wait_timeout";
  const auto before = connection->Prepare(session).Query({});
  ServerStatement id = connection->Prepare("SELECT CONNECTION_ID()");
  const std::int64_t first = valueToInt(id.Query({}).at(0).at(0));
  killConnection(first);
  const std::int64_t second = valueToInt(id.Query({}).at(0).at(0));
  EXPECT_NE(second, first) << "the statement runs on the new connection";
  EXPECT_EQ(connection->Prepare(session).Query({}), before);
  EXPECT_EQ(valueToInt(before.at(0).at(1)), ServerConnection::kIdleSeconds);
}

TEST_F(ServerRecoveryTest, ATransactionTheDropBrokeWritesNothingAndTheCallAfterItsEndSignsOnAgain) {
  const auto connection = connect();
  const std::string rows = "`" + db.database() + "`.`r`";
  db.admin().Execute("CREATE TABLE " + rows + " (n INT)");
  const std::string insert = "INSERT INTO " + rows + " VALUES (?)";
  const std::int64_t id = connectionId(*connection);
  connection->BeginTransaction();
  connection->Write(insert, {Value{std::int64_t{1}}});
  killConnection(id);
  EXPECT_THROW(connection->Write(insert, {Value{std::int64_t{2}}}), EConnection);
  EXPECT_THROW(connection->Prepare("SELECT 1"), EConnection) << "no new connection inside the transaction";
  EXPECT_THROW(connection->CommitTransaction(), EConnection);
  connection->Write(insert, {Value{std::int64_t{3}}});
  const auto left = db.admin().Prepare("SELECT n FROM " + rows).Query({});
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(valueToInt(left[0][0]), 3);
}

TEST_F(ServerRecoveryTest, ATableAnotherWorkstationTookMeanwhileIsRefusedByNameAndTheRestGoesOn) {
  createTable("VARE");
  Signal go, opened, never;
  const std::string serverName = db.server().serverName();
  // Forked first: a child would share the parent's connections to the same server.
  const pid_t child = forkChild([&] {
    go.wait();
    Workstation holder(serverName);
    TffTable t;
    open(t, holder.session(), true);
    opened.post();
    never.wait();
  });
  const ReapedAtEnd reaped(child);
  Workstation ws(serverName);
  TffTable kunde, vare;
  open(kunde, ws.session());
  open(vare, ws.session(), true, "VARE");
  killConnection(holderOf(exclusiveLock("vare")));
  go.post();
  opened.wait();
  for (int call = 0; call < 2; ++call) {
    EXPECT_EQ(refusalOf(kunde), lostMessage("tatt", "KUNDE")) << "a table another workstation holds exclusively";
  }
  add(vare, 1, "Går fint");
  EXPECT_EQ(vare.RecordCount(), 1);
  TffTable other;
  EXPECT_THROW(open(other, TffSession::DefaultSession(), false, "VARE"), ECannotOpen) << "VARE is still held";
  kill(child, SIGKILL);
  EXPECT_EQ(exitCodeOf(child), -1);
  kunde.Close();
  EXPECT_TRUE(untilFreed([&] { open(kunde, ws.session(), true); })) << "the killed holder's lock is free";
}

TEST_F(ServerRecoveryTest, ATableAnotherWorkstationChangedMeanwhileIsRefusedButAnIndexOfItsOwnIsNoChange) {
  createTable("VARE");
  Workstation ws(db.server().serverName());
  TffTable kunde, vare;
  open(kunde, ws.session(), true);
  kunde.AddIndex("NAVN", "NAVN", ixCaseInsensitive);
  open(vare, ws.session(), true, "VARE");
  killConnection(holderOf(exclusiveLock("vare")));
  add(kunde, 1, "Egen indeks");
  kunde.Close();
  open(kunde, ws.session());
  killConnection(holderOf(exclusiveLock("vare")));
  {
    TffTable other;
    open(other, TffSession::DefaultSession(), true);
    other.AddIndex("NAVN_NR", "NAVN;NR");
  }
  EXPECT_EQ(refusalOf(kunde), lostMessage("endret", "KUNDE")) << "read with the old definition";
  add(vare, 1, "Går fint");
}

TEST_F(ServerRecoveryTest, AHungHoldersLockIsFreedAfterTheIdleTimeoutAndItIsToldWhenItWakes) {
  Signal opened, woken;
  const std::string serverName = db.server().serverName();
  const std::string taken = lostMessage("tatt", "KUNDE");
  const pid_t child = forkChild([&] {
    ::setenv("KV_SQL_IDLE_TIMEOUT", "2", 1);
    ::setenv("KV_SQL_TIMEOUT", "2", 1);  // a short wait for the lock when it wakes
    Workstation holder(serverName);
    TffTable t;
    open(t, holder.session(), true);
    opened.post();
    woken.wait();
    if (refusalOf(t) != taken) throw Error("ble ikke fortalt at tabellen er tatt");
  });
  const ReapedAtEnd reaped(child);
  opened.wait();
  ASSERT_EQ(kill(child, SIGSTOP), 0);
  TffTable t;
  EXPECT_TRUE(untilFreed([&] { open(t, TffSession::DefaultSession(), true); }, std::chrono::seconds(60)))
      << "the hung workstation's session was ended";
  kill(child, SIGCONT);
  woken.post();
  EXPECT_EQ(exitCodeOf(child), 0);
}

}  // namespace
