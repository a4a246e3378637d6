// Copies onto the private MariaDB: a table appears whole or not at all, a failure leaves the
// connection out of its transaction, and a copy killed midway runs again.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>
#include <vector>

#include "store/Errors.h"
#include "store/Session.h"
#include "store/TableCopy.h"
#include "store/mariadb/ServerConnection.h"
#include "support/ServerTestSupport.h"
#include "support/store/ChildProcess.h"
#include "support/store/NumberedRows.h"
#include "support/store/Workstation.h"

using namespace ff;

namespace {

const std::vector<FieldDef> kFields{{"NR", FieldType::Integer, 0, false}, {"NAVN", FieldType::String, 20, false}};

class ServerCopyTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_TCP_SERVER(db); }

  static TffSession& session() { return TffSession::DefaultSession(); }

  std::vector<std::string> listed() {
    std::vector<std::string> names;
    session().GetTableNames(db.alias(), "*", false, false, names);
    return names;
  }

  // What another workstation sees of a table's rows on the server, committed or not.
  std::int64_t rowsSeenByOthers(const std::string& table) {
    const std::string q = "`" + db.database() + "`.";
    const auto id = db.admin().Prepare("SELECT id FROM " + q + "_ff_tables WHERE name = ?").Query({Value{table}});
    const auto rows = db.admin().Prepare("SELECT COUNT(*) FROM " + q + "`t" + valueToString(id.at(0).at(0)) + "`").Query({});
    return valueToInt(rows.at(0).at(0));
  }

  std::int64_t count(const std::string& table) {
    return session().OpenTable(db.alias(), table, {true, false})->Count({});
  }

  server_test::ServerAlias db;
};

TEST_F(ServerCopyTest, AFailedLoadLeavesNoTableAndTheNextTableIsOneTransactionOfItsOwn) {
  NumberedRows failing(1000, 600);
  EXPECT_THROW(session().CreateFilledTable(db.alias(), "FORST", kFields, {}, failing), ECannotOpen);
  EXPECT_TRUE(listed().empty());
  EXPECT_THROW(count("FORST"), ECannotOpen);

  std::int64_t seenMidway = -1;
  NumberedRows watched(1000, -1, [&](int n) {
    if (n == 500) seenMidway = rowsSeenByOthers("NESTE");
  });
  EXPECT_EQ(session().CreateFilledTable(db.alias(), "NESTE", kFields, {}, watched), 1000);
  EXPECT_EQ(seenMidway, 0) << "the rows are committed together, not one by one";
  EXPECT_EQ(count("NESTE"), 1000);

  NumberedRows whole(1000);
  EXPECT_EQ(session().CreateFilledTable(db.alias(), "FORST", kFields, {}, whole), 1000) << "the name is free again";
  EXPECT_EQ(listed(), (std::vector<std::string>{"FORST", "NESTE"}));
}

TEST_F(ServerCopyTest, ALoadKilledAtEachStepLeavesNoTableAndTheRerunMakesIt) {
  const std::string serverName = db.server().serverName();
  const std::string database = db.database();
  for (int step : {0, 1, 999}) {
    SCOPED_TRACE("killed before row " + std::to_string(step));
    Signal reached, never;
    const pid_t child = forkChild([&] {
      Workstation ws(serverName);
      NumberedRows rows(1000, -1, [&](int n) {
        if (n != step) return;
        reached.post();
        never.wait();
      });
      ws.session().CreateFilledTable(database, "STOR", kFields, {}, rows);
    });
    reached.wait();
    EXPECT_TRUE(listed().empty()) << "not listed while it is loaded";
    EXPECT_THROW(count("STOR"), ECannotOpen);
    EXPECT_THROW(session().CreateTable(db.alias(), "STOR", kFields, {}), ECannotOpen)
        << "nobody takes a table being loaded for a leftover";
    kill(child, SIGKILL);
    EXPECT_EQ(exitCodeOf(child), -1);
    EXPECT_TRUE(listed().empty()) << "the killed load left no table";
    EXPECT_THROW(count("STOR"), ECannotOpen);
    NumberedRows whole(1000);
    EXPECT_TRUE(untilFreed([&] { session().CreateFilledTable(db.alias(), "STOR", kFields, {}, whole); }));
    EXPECT_EQ(count("STOR"), 1000);
    session().DropTable(db.alias(), "STOR");
  }
}

TEST_F(ServerCopyTest, ACopyOfAnAliasThatFailsLeavesNoneOfItsTablesAndTheRerunCopiesAll) {
  const std::string samples = KV_SOURCE_DIR "/tests/store/ff2/samples/";
  const std::string source = db.local().root() + "/kilde/";
  std::filesystem::create_directories(source);
  // Sorted as the copy goes: the damaged file comes after two good ones.
  for (const char* file : {"RangeTest.ff2", "SavExOrders.ff2", "Simulated1.ff2"}) {
    std::filesystem::copy_file(samples + file, source + file);
  }
  AddAlias("KILDE", source);
  std::vector<std::string> copied;
  const auto note = [&](const std::string& table, std::int64_t) { copied.push_back(table); };
  EXPECT_THROW(CopyAlias(session(), "KILDE", db.alias(), note), ECannotOpen);
  EXPECT_EQ(copied, (std::vector<std::string>{"RangeTest", "SavExOrders"}));
  EXPECT_TRUE(listed().empty()) << "the tables copied before the damaged one are gone again";

  std::filesystem::remove(source + "Simulated1.ff2");
  CopyAlias(session(), "KILDE", db.alias(), note);
  EXPECT_EQ(listed(), (std::vector<std::string>{"RangeTest", "SavExOrders"}));
  EXPECT_EQ(count("SavExOrders"), session().OpenTable("KILDE", "SavExOrders", {true, false})->Count({}));
  EXPECT_THROW(CopyAlias(session(), "KILDE", db.alias(), note), Error) << "whole tables are never overwritten";
}

}  // namespace
