// kvist-ff killed while it copies a firm onto the private MariaDB, once at each table: the
// server shows whole tables or none, and the same command run again finishes the copy.
#include <gtest/gtest.h>

#include <string>

#include "store/Session.h"
#include "support/KvistFfTool.h"
#include "support/ServerTestSupport.h"
#include "support/store/NumberedRows.h"

namespace {

constexpr int kTables = 3;
constexpr int kRows = 3000;

class KvistFfCopyKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TCP_SERVER(db);
    const std::vector<ff::FieldDef> fields{{"NR", ff::FieldType::Integer, 0, false},
                                           {"NAVN", ff::FieldType::String, 20, false}};
    for (int i = 1; i <= kTables; ++i) {
      NumberedRows rows(kRows);
      ff::TffSession::DefaultSession().CreateFilledTable(db.local().alias(), "T" + std::to_string(i), fields,
                                                         {{"NR", {"NR"}, 0}}, rows);
    }
  }

  ToolRun run(const QStringList& args) { return RunKvistFf(configDir(), args); }
  std::string configDir() const { return db.local().root() + "/config"; }
  QString local() const { return QString::fromStdString(db.local().alias()); }
  QString server() const { return QString::fromStdString(db.alias()); }

  // Tables of rows the server database has, made whole or not.
  int rowsTablesOnServer() {
    const auto n = db.admin()
                       .Prepare("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = ? "
                                "AND TABLE_NAME REGEXP '^t[0-9]+$'")
                       .Query({ff::Value{db.database()}});
    return static_cast<int>(ff::valueToInt(n.at(0).at(0)));
  }

  // Runs kvist-ff and kills it once the server has begun table `step` (from 1); false when it
  // finished before.
  bool killedAtTable(const QStringList& args, int step) {
    QProcess p;
    StartKvistFf(p, configDir(), args);
    while (!p.waitForFinished(10)) {
      if (rowsTablesOnServer() >= step) {
        p.kill();
        p.waitForFinished();
        return true;
      }
    }
    return false;
  }

  // The tables the server lists, each as the firm's folder has it.
  QStringList wholeTablesOnServer() {
    QStringList listed = QString::fromStdString(run({"tables", server()}).out).split('\n', Qt::SkipEmptyParts);
    for (const QString& table : listed) {
      EXPECT_EQ(run({"dump", server(), table}).out, run({"dump", local(), table}).out) << table.toStdString();
    }
    return listed;
  }

  void expectTheWholeFirm() { EXPECT_EQ(wholeTablesOnServer(), (QStringList{"T1", "T2", "T3"})); }

  void emptyTheServer() { db.admin().Execute("DROP DATABASE IF EXISTS `" + db.database() + "`"); }

  server_test::ServerAlias db;
};

TEST_F(KvistFfCopyKillTest, CopyAliasKilledAtEachTableShowsNoneAndRunsAgain) {
  for (int step = 1; step <= kTables; ++step) {
    SCOPED_TRACE("killed at table " + std::to_string(step));
    const bool killed = killedAtTable({"copy-alias", local(), server()}, step);
    const QStringList listed = wholeTablesOnServer();
    if (killed && listed.isEmpty()) {
      const ToolRun rerun = run({"copy-alias", local(), server()});
      EXPECT_EQ(rerun.code, 0) << rerun.err;
    } else {
      EXPECT_EQ(listed, (QStringList{"T1", "T2", "T3"})) << "the tables appear all at once, at the end";
    }
    expectTheWholeFirm();
    emptyTheServer();
  }
}

TEST_F(KvistFfCopyKillTest, ImportKilledAtEachTableLeavesWholeTablesAndTheRerunAddsTheRest) {
  for (int step = 1; step <= kTables; ++step) {
    SCOPED_TRACE("killed at table " + std::to_string(step));
    killedAtTable({"import", local(), "--to", server()}, step);
    QStringList missing{"T1", "T2", "T3"};
    for (const QString& table : wholeTablesOnServer()) missing.removeAll(table);
    if (!missing.isEmpty()) {
      const ToolRun rerun = run(QStringList{"import", local(), "--to", server()} + missing);
      EXPECT_EQ(rerun.code, 0) << rerun.err;
    }
    expectTheWholeFirm();
    const ToolRun again = run({"import", local(), "--to", server()});
    EXPECT_EQ(again.code, 1) << "a whole table is never copied over";
    EXPECT_NE(again.err.find("finnes allerede"), std::string::npos) << again.err;
    emptyTheServer();
  }
}

}  // namespace
