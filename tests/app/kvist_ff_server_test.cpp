// kvist-ff with a database on the private MariaDB: a server alias, and a whole firm copied
// from a folder onto the server in one command.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/KvistFfTool.h"
#include "support/ServerTestSupport.h"

namespace {

class KvistFfServerTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_TCP_SERVER(db); }

  ToolRun run(const QStringList& args, const std::string& input = {}) {
    return RunKvistFf(db.local().root() + "/config", args, input);
  }

  QString local() const { return QString::fromStdString(db.local().alias()); }

  server_test::ServerAlias db;
};

TEST_F(KvistFfServerTest, ServerAliasesAreAddedAndListed) {
  const QString server = QString::fromStdString(db.server().serverName());
  const QString database = QString::fromStdString(db.database());
  EXPECT_EQ(run({"alias", "add", "FIRMA", "--server", server, "--database", database}).code, 0);
  EXPECT_NE(run({"alias", "list"}).out.find("FIRMA\t" + db.server().serverName() + "/" + db.database()),
            std::string::npos);
  const ToolRun badServer = run({"alias", "add", "X", "--server", "127.0.0.1", "--database", "kvist"});
  EXPECT_EQ(badServer.code, 1);
  EXPECT_NE(badServer.err.find("Ugyldig servernavn"), std::string::npos) << badServer.err;
  const ToolRun badDatabase = run({"alias", "add", "X", "--server", server, "--database", "a/b"});
  EXPECT_EQ(badDatabase.code, 1);
  EXPECT_NE(badDatabase.err.find("Ugyldig databasenavn"), std::string::npos) << badDatabase.err;
  EXPECT_EQ(run({"alias", "add", "X", "--server", server}).code, 2) << "the database is required";
}

TEST_F(KvistFfServerTest, LoginWritesTheWorkstationsLoginPrivatelyAndTheServerIsReachedWithIt) {
  const QString server = QString::fromStdString(db.server().serverName());
  const ToolRun bad = run({"login", server, "kvist", "--tls-required", "kanskje"}, "x\n");
  EXPECT_EQ(bad.code, 2) << bad.err;
  const ToolRun login = run({"login", server, QString::fromStdString(db.server().user), "--ca",
                             QString::fromStdString(db.server().ca)},
                            db.server().password + "\n");
  ASSERT_EQ(login.code, 0) << login.err;
  EXPECT_EQ(ff::FFClientConfigReadServerUser(), db.server().user);
  EXPECT_EQ(ff::FFClientConfigReadServerPassword(), db.server().password) << "read from standard input";
  EXPECT_EQ(ff::FFClientConfigReadServerTls().ca, db.server().ca);
  EXPECT_EQ(ff::FFClientConfigReadServerName(), db.server().serverName());
  EXPECT_EQ(ff::FFClientConfigReadProtocol(), "TCP/IP");
  const auto perms = std::filesystem::status(ff::FFClientConfigFile()).permissions();
  EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);
  EXPECT_EQ(run({"tables", QString::fromStdString(db.alias())}).code, 0) << "the store signs on with it";
}

TEST_F(KvistFfServerTest, CopyAliasMovesAWholeFirmOntoTheServer) {
  const QString server = QString::fromStdString(db.alias());
  ASSERT_EQ(run({"create-suite", local(), "--demo"}).code, 0);
  const ToolRun copy = run({"copy-alias", local(), server});
  ASSERT_EQ(copy.code, 0) << copy.err;
  EXPECT_NE(copy.out.find("PROSJEKT\t"), std::string::npos) << copy.out;
  EXPECT_EQ(run({"tables", server}).out, run({"tables", local()}).out);
  for (const char* table : {"PROSJEKT", "Lever", "Varer", "KONTOER", "TIMER", "f99"}) {
    const ToolRun dumped = run({"dump", server, table});
    EXPECT_EQ(dumped.code, 0) << dumped.err;
    EXPECT_EQ(dumped.out, run({"dump", local(), table}).out) << table;
    EXPECT_EQ(run({"sql", server, table}).out, run({"sql", local(), table}).out) << table;
  }
  const ToolRun again = run({"copy-alias", local(), server});
  EXPECT_EQ(again.code, 1);
  EXPECT_NE(again.err.find("finnes allerede"), std::string::npos) << again.err;

  const QString back = QString::fromStdString(db.local().root() + "/tilbake");
  ASSERT_EQ(run({"alias", "add", "TILBAKE", back}).code, 0);
  ASSERT_EQ(run({"copy-alias", server, "TILBAKE"}).code, 0) << "and from the server to a folder";
  EXPECT_EQ(run({"dump", "TILBAKE", "PROSJEKT"}).out, run({"dump", local(), "PROSJEKT"}).out);
}

}  // namespace
