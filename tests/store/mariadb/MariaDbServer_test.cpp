// The store's server back end on the private MariaDB: the TCP/IP engine, another
// workstation's edits, and two processes sharing one database.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "sql/SqlConnection.h"
#include "store/Engine.h"
#include "store/Errors.h"
#include "store/NorwegianOrder.h"
#include "store/Session.h"
#include "store/Table.h"
#include "store/mariadb/MariaDbSql.h"
#include "store/mariadb/MariaDbTableState.h"
#include "store/mariadb/ServerConnection.h"
#include "support/ServerTestSupport.h"
#include "support/store/ChildProcess.h"
#include "support/store/KundeServerTest.h"
#include "support/store/Workstation.h"

using namespace ff;

namespace {

using MariaDbServerTest = KundeServerTest;

TEST_F(MariaDbServerTest, TcpIpEngineSeesTheServersDatabasesAsAliases) {
  Workstation ws(db.server().serverName());
  std::vector<std::string> names;
  ws.session().GetAliasNames(names);
  EXPECT_NE(std::find(names.begin(), names.end(), db.database()), names.end());
  EXPECT_TRUE(ws.session().IsAlias(db.database()));
  EXPECT_FALSE(ws.session().IsAlias("finnes_ikke_" + db.database()));
  ws.session().GetTableNames(db.database(), "*.*", false, false, names);
  EXPECT_EQ(names, std::vector<std::string>{"KUNDE"});
  TffTable t;
  t.SetDatabaseName("finnes_ikke");
  t.SetTableName("KUNDE");
  t.SetSessionName(ws.sessionName());
  EXPECT_THROW(t.Open(), ECannotOpen);
}

TEST_F(MariaDbServerTest, UnreachableServerIsAConnectionErrorWithTheServersMessage) {
  TffCommsEngine engine("Motor");
  engine.SetProtocol(Protocol::TcpIp);
  engine.SetServerName("ff_server@127.0.0.1:1");
  try {
    engine.SetActive(true);
    FAIL() << "connected to a closed port";
  } catch (const EConnection& e) {
    EXPECT_NE(std::string(e.what()).find("ff_server@127.0.0.1:1"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Can't connect"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(engine.Active());
  FFClientConfigWriteServerLogin(db.server().user, "galt passord");
  engine.SetServerName(db.server().serverName());
  EXPECT_THROW(engine.SetActive(true), EConnection);
}

TEST_F(MariaDbServerTest, EditOfARowAnotherWorkstationChangedOrDeletedOverwritesNothing) {
  Workstation other(db.server().serverName());
  TffTable mine, theirs;
  open(mine, TffSession::DefaultSession());
  open(theirs, other.session());
  add(mine, 1, "Original");
  add(mine, 2, "To");
  theirs.Refresh();
  ASSERT_TRUE(theirs.FindKey({Value{std::int64_t{1}}}));

  mine.First();
  mine.Edit();
  theirs.Edit();
  theirs.FieldByName("NAVN").SetAsString("Deres");
  theirs.Post();
  mine.FieldByName("NAVN").SetAsString("Min");
  EXPECT_THROW(mine.Post(), ERowChanged);
  mine.Cancel();
  EXPECT_EQ(mine.FieldByName("NAVN").AsString(), "Deres") << "seen on the next refresh";

  mine.Edit();
  mine.FieldByName("NAVN").SetAsString("Min igjen");
  mine.Post();
  theirs.Refresh();
  EXPECT_EQ(theirs.FieldByName("NAVN").AsString(), "Min igjen");

  mine.Next();
  mine.Edit();
  theirs.FindKey({Value{std::int64_t{2}}});
  theirs.Delete();
  mine.FieldByName("NAVN").SetAsString("Borte");
  EXPECT_THROW(mine.Post(), ERowChanged);
  mine.Cancel();
  EXPECT_EQ(rowsOnServer(), 1);
  EXPECT_EQ(theirs.RecordCount(), 1);
}

TEST_F(MariaDbServerTest, KeptCountFollowsRowsOfEveryWorkstation) {
  TffTable t, theirs;
  open(t, TffSession::DefaultSession());
  add(t, 1, "en");
  EXPECT_EQ(t.RecordCount(), 1);
  Workstation other(db.server().serverName());
  open(theirs, other.session());
  add(theirs, 2, "to");
  add(theirs, 3, "tre");
  t.Refresh();
  EXPECT_EQ(t.RecordCount(), 3);
  theirs.FindKey({Value{std::int64_t{1}}});
  theirs.Delete();
  t.Refresh();
  EXPECT_EQ(t.RecordCount(), 2);
  EXPECT_EQ(t.FieldByName("NR").AsInteger(), 2) << "the deleted current row gave way to the first";
  auto storage = TffSession::DefaultSession().OpenTable(db.alias(), "KUNDE", {});
  storage->BeginBulk();
  for (int i = 10; i < 20; ++i) storage->Insert({Value{std::int64_t{i}}, Value{std::string("bulk")}});
  EXPECT_EQ(storage->Count({}), 12) << "inside the bulk load";
  storage->EndBulk();
  storage->BeginBulk();
  for (int i = 20; i < 25; ++i) storage->Insert({Value{std::int64_t{i}}, Value{std::string("forkastet")}});
  storage->AbortBulk();
  EXPECT_EQ(storage->Count({}), 12) << "a bulk load rolled back counts nothing";
  t.Refresh();
  EXPECT_EQ(t.RecordCount(), 12);
  EXPECT_EQ(rowsOnServer(), 12);
}

// A transaction left open would keep the lock that the refused duplicate took on row 1, and
// the other workstation's delete of it would wait in vain.
TEST_F(MariaDbServerTest, APostTheServerRefusesWritesNothingAndLeavesNoTransactionOpen) {
  const std::vector<FieldDef> fields{{"NR", FieldType::Integer, 0, false}, {"NAVN", FieldType::String, 40, false}};
  TffSession::DefaultSession().CreateTable(db.alias(), "UNIK", fields, {{"NR", {"NR"}, ixUnique}});
  Workstation other(db.server().serverName());
  TffTable mine, theirs;
  open(mine, TffSession::DefaultSession(), false, "UNIK");
  add(mine, 1, "en");
  EXPECT_THROW(add(mine, 1, "igjen"), EKeyViolation);
  mine.Cancel();
  open(theirs, other.session(), false, "UNIK");
  ASSERT_TRUE(theirs.FindKey({Value{std::int64_t{1}}}));
  EXPECT_NO_THROW(theirs.Delete());
  add(mine, 2, "to");
  add(mine, 3, "tre");
  mine.Refresh();
  EXPECT_EQ(mine.RecordCount(), 2) << "the refused post is not counted";
  const auto rows = db.admin().Prepare("SELECT COUNT(*) FROM `" + db.database() + "`.`t2`").Query({});
  EXPECT_EQ(valueToInt(rows.at(0).at(0)), 2);
}

// An earlier build (its tables marked ready = 1) kept the count with triggers, which a server
// with binary logging lets only SUPER make or drop, and which stop every post once the account
// that made them is dropped. The store counts what the triggers do not; an exclusive open by
// an account that may drop them removes them.
TEST_F(MariaDbServerTest, CountingTriggersOfAnEarlierBuildCountOnceAndGiveWayWhereTheyMayBeDropped) {
  const std::string rows = "`" + db.database() + "`.`t1`";
  const std::string counter = "UPDATE `" + db.database() + "`.`_ff_tables` SET row_count = row_count ";
  sql::SqlConnection administrator(server_test::SocketAdministrator());
  const std::string tables = "`" + db.database() + "`.`_ff_tables`";
  administrator.Execute("UPDATE " + tables + " SET ready = 1 WHERE id = 1; CREATE TRIGGER `" + db.database() + "`.`t1_counted_insert` AFTER INSERT ON " + rows +
                        " FOR EACH ROW " + counter + "+ 1 WHERE id = 1; CREATE TRIGGER `" + db.database() +
                        "`.`t1_counted_delete` AFTER DELETE ON " + rows + " FOR EACH ROW " + counter + "- 1 WHERE id = 1");
  const auto triggers = [&] {
    return valueToInt(db.admin()
                          .Prepare("SELECT COUNT(*) FROM information_schema.TRIGGERS WHERE TRIGGER_SCHEMA = ?")
                          .Query({Value{db.database()}})
                          .at(0)
                          .at(0));
  };
  const auto postAndDelete = [&](TffSession& session, bool exclusive, std::int64_t nr) {
    TffTable t;
    open(t, session, exclusive);
    const std::int64_t before = t.RecordCount();
    add(t, nr, "ny");
    add(t, nr + 1, "borte");
    t.Last();
    t.Delete();
    EXPECT_EQ(t.RecordCount(), before + 1) << "counted once";
    EXPECT_EQ(rowsOnServer(), before + 1);
  };
  postAndDelete(TffSession::DefaultSession(), false, 1);
  postAndDelete(TffSession::DefaultSession(), true, 10);
  EXPECT_EQ(triggers(), 2) << "an account without SUPER may not drop them on a server logging binary";

  administrator.Execute("DROP TRIGGER `" + db.database() + "`.`t1_counted_insert`");
  postAndDelete(TffSession::DefaultSession(), false, 20);

  administrator.Execute("GRANT SUPER ON *.* TO '" + db.server().user + "'@'127.0.0.1'");
  struct Revoke {
    sql::SqlConnection& administrator;
    std::string user;
    ~Revoke() { administrator.Execute("REVOKE SUPER ON *.* FROM '" + user + "'@'127.0.0.1'"); }
  } revoke{administrator, db.server().user};
  Workstation super(db.server().serverName());
  postAndDelete(super.session(), true, 30);
  EXPECT_EQ(triggers(), 0);
  EXPECT_EQ(valueToInt(db.admin().Prepare("SELECT ready FROM " + tables + " WHERE id = 1").Query({}).at(0).at(0)), 2)
      << "marked as counted by the store";
  postAndDelete(TffSession::DefaultSession(), false, 40);
}

// An earlier build ordered case-insensitive indexes by the server's utf8mb4_general_nopad_ci
// (Å as A). Shared opens go on in that order; the first exclusive open makes the index again
// on Norwegian sort keys, rows untouched.
TEST_F(MariaDbServerTest, ACaseInsensitiveIndexOfAnEarlierBuildIsMadeAgainOnAnExclusiveOpen) {
  TffSession::DefaultSession().CreateTable(db.alias(), "STED", {{"STED", FieldType::String, 40, false}},
                                           {{"STED", {"STED"}, ixCaseInsensitive}});
  const auto places = [&](bool exclusive) {
    TffTable t;
    t.SetDatabaseName(db.alias());
    t.SetTableName("STED");
    t.SetExclusive(exclusive);
    t.SetIndexName("STED");
    t.Open();
    std::string out;
    for (t.First(); !t.Eof(); t.Next()) out += t.FieldByName("STED").AsString() + ";";
    return out;
  };
  const std::string rows = "`" + db.database() + "`.`t2`";
  db.admin().Execute("ALTER TABLE " + rows + " DROP INDEX `ix0`, DROP COLUMN `k0`, ADD INDEX `ix0` (`c0`)");
  db.admin().Execute("INSERT INTO " + rows + " (c0) VALUES ('Ørsta'), ('bergen'), ('Ålesund'), ('Ærø'), ('Bø')");
  db.admin().Execute("UPDATE `" + db.database() + "`.`_ff_indexes` SET options = 4 WHERE tbl = 2");
  EXPECT_EQ(places(false).rfind("Ålesund;", 0), 0u) << "the server's own order, Å as A";
  EXPECT_EQ(places(true), "bergen;Bø;Ærø;Ørsta;Ålesund;");
  EXPECT_EQ(places(false), "bergen;Bø;Ærø;Ørsta;Ålesund;");
  const auto options = db.admin().Prepare("SELECT options FROM `" + db.database() + "`.`_ff_indexes` WHERE tbl = 2").Query({});
  EXPECT_NE(valueToInt(options.at(0).at(0)) & kSortKeyedIndex, 0);
}

// A table is shared by at most 64 workstations; the next one is told so, not that the table
// is in use by someone holding it alone.
TEST_F(MariaDbServerTest, TheWorkstationPastTheLastSharedSlotIsToldHowManyHaveItOpen) {
  const std::string base = MariaDbTableState::LockBase(db.database(), NameKey("KUNDE"));
  for (int slot = 0; slot < 64; ++slot) {
    db.admin().Prepare("SELECT GET_LOCK(?, 0)").Query({Value{base + ":s" + std::to_string(slot)}});
  }
  TffTable t;
  try {
    open(t, TffSession::DefaultSession());
    FAIL() << "a 65th shared open was let in";
  } catch (const ECannotOpen& e) {
    EXPECT_NE(std::string(e.what()).find("åpen på 64 arbeidsstasjoner"), std::string::npos) << e.what();
  }
  db.admin().Prepare("SELECT RELEASE_LOCK(?)").Query({Value{base + ":s17"}});
  open(t, TffSession::DefaultSession());
  EXPECT_TRUE(t.Active());
}

TEST_F(MariaDbServerTest, TwoProcessesSeeEachOthersPosts) {
  Signal childPosted, parentPosted, childSaw;
  const std::string serverName = db.server().serverName();
  const pid_t child = forkChild([&] {
    Workstation ws(serverName);
    TffTable t;
    open(t, ws.session());
    add(t, 1, "fra barnet");
    childPosted.post();
    parentPosted.wait();
    t.First();
    if (t.RecordCount() != 2 || !t.FindKey({Value{std::int64_t{2}}})) throw Error("ser ikke forelderens post");
    childSaw.post();
  });
  TffTable t;
  open(t, TffSession::DefaultSession());
  childPosted.wait();
  t.Refresh();
  EXPECT_EQ(t.RecordCount(), 1);
  EXPECT_EQ(t.FieldByName("NAVN").AsString(), "fra barnet");
  add(t, 2, "fra forelderen");
  parentPosted.post();
  childSaw.wait();
  EXPECT_EQ(exitCodeOf(child), 0);
}

TEST_F(MariaDbServerTest, ExclusiveOpenRefusesTheOtherProcessUntilItsHolderIsKilled) {
  Signal opened, never;
  const std::string serverName = db.server().serverName();
  const pid_t child = forkChild([&] {
    Workstation ws(serverName);
    TffTable t;
    open(t, ws.session(), true);
    opened.post();
    never.wait();
  });
  opened.wait();
  TffTable t;
  EXPECT_THROW(open(t, TffSession::DefaultSession()), ECannotOpen);
  EXPECT_THROW(open(t, TffSession::DefaultSession(), true), ECannotOpen);
  kill(child, SIGKILL);
  EXPECT_EQ(exitCodeOf(child), -1);
  EXPECT_TRUE(untilFreed([&] { open(t, TffSession::DefaultSession(), true); }));
}

TEST_F(MariaDbServerTest, ConcurrentPostsFromTwoProcessesLoseNoRow) {
  constexpr int kPosts = 3000;
  Signal ready, go;
  const std::string serverName = db.server().serverName();
  const auto postMany = [this](TffSession& session, std::int64_t first) {
    TffTable t;
    open(t, session);
    for (std::int64_t i = 0; i < kPosts; ++i) add(t, first + i, "rad");
  };
  const pid_t child = forkChild([&] {
    Workstation ws(serverName);
    ready.post();
    go.wait();
    postMany(ws.session(), 100000);
  });
  ready.wait();
  go.post();
  postMany(TffSession::DefaultSession(), 0);
  EXPECT_EQ(exitCodeOf(child), 0);
  EXPECT_EQ(rowsOnServer(), 2 * kPosts);
  TffTable t;
  open(t, TffSession::DefaultSession());
  EXPECT_EQ(t.RecordCount(), 2 * kPosts) << "the kept count agrees with the rows";
  t.SetFilter("NR>=100000");
  t.SetFiltered(true);
  EXPECT_EQ(t.RecordCount(), kPosts);
}

}  // namespace
