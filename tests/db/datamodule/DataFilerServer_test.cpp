// The data module signed on with "TCP/IP" to the private MariaDB: every table group opens from
// a database on the server and goes on posting after the server restarts (these run alone),
// and an unreachable server ends the sign-on with 4098.
#include <QDialog>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "db/SuiteDatabase.h"
#include "db/datamodule/Tableuni.h"
#include "db/datamodule/datafile.h"
#include "settings/Felles.h"
#include "settings/windows/ModalSeam.h"
#include "settings/windows/ProcessExit.h"
#include "store/Session.h"
#include "support/ServerRestart.h"
#include "support/ServerTestSupport.h"
#include "support/SuiteFixture.h"

namespace {

class DataFilerServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_TCP_SERVER(db);
    const std::string settings = db.local().root() + "/etc/";
    std::filesystem::create_directories(settings);
    InitSettingsStore({settings});
    WriteSetting("Net_Alias", db.database());
    WriteSetting("Net_Protokoll", "TCP/IP");
    WriteSetting("Net_Servernavn", db.server().serverName());
    WriteSetting("Brukernavn", "ola");
    for (const char* group : kSuiteGroups) {
      WriteSetting(std::string("Database_") + group + "_Åpnes", "1");
      WriteSetting(std::string("Database_") + group + "_Mappe", db.database());
    }
    CreateSuiteTables(ff::TffSession::DefaultSession(), db.alias());
    FillDemoData(ff::TffSession::DefaultSession(), db.alias());
  }

  void TearDown() override {
    module.reset();
    SetModalHandler(nullptr);
    SetEndProcessHandler(nullptr);
  }

  // Signs a fresh module on with -autologon; returns the exit codes asked for.
  std::vector<int> signOn() {
    std::vector<int> codes;
    SetEndProcessHandler([&](int code) { codes.push_back(code); });
    SetModalHandler([&](QDialog& d) {
      if (auto* error = qobject_cast<TErrorForm*>(&d)) errorDetail = error->Label2->text().toStdString();
      return int(QDialog::Rejected);
    });
    module = std::make_unique<TDataFiler>();
    DataFiler = module.get();
    module->DataFilerCreate({"-autologon"});
    return codes;
  }

  server_test::ServerAlias db;
  std::unique_ptr<TDataFiler> module;
  std::string errorDetail;
};

TEST_F(DataFilerServerTest, SignsOnOverTcpIpAndOpensAllThirtyTwoTables) {
  EXPECT_TRUE(signOn().empty());
  EXPECT_EQ(module->KvandrelEngine.GetProtocol(), ff::Protocol::TcpIp);
  EXPECT_EQ(module->KvandrelEngine.ServerName(), db.server().serverName());
  int open = 0;
  for (ff::TffTable* t : module->Tables()) {
    EXPECT_TRUE(t->Active()) << t->Name();
    open += t->Active() ? 1 : 0;
  }
  EXPECT_EQ(open, 32);
  EXPECT_GT(module->ProsjektTable.RecordCount(), 0) << "the sample firm's projects";
  EXPECT_TRUE(module->PersonTable.ReadOnly());
  module->CloseAllFiles();
  for (ff::TffTable* t : module->Tables()) EXPECT_FALSE(t->Active()) << t->Name();
}

TEST_F(DataFilerServerTest, PostsAgainAfterTheServerRestarts) {
  ASSERT_TRUE(signOn().empty()) << errorDetail;
  ff::TffTable& prosjekt = module->ProsjektTable;
  const std::int64_t before = prosjekt.RecordCount();
  const auto post = [&](double nr, const std::string& navn) {
    prosjekt.Append();
    prosjekt.FieldByName("PROSJEKTNR").SetAsFloat(nr);
    prosjekt.FieldByName("PROSNAVN").SetAsString(navn);
    prosjekt.Post();
  };
  post(9001, "Før omstart");
  ASSERT_TRUE(server_test::RestartPrivateServer(db.server()));
  post(9002, "Etter omstart");
  EXPECT_EQ(prosjekt.RecordCount(), before + 2);
  ASSERT_TRUE(prosjekt.FindKey({ff::Value{9002.0}}));
  EXPECT_EQ(prosjekt.FieldByName("PROSNAVN").AsString(), "Etter omstart");
  for (ff::TffTable* t : module->Tables()) EXPECT_TRUE(t->Active()) << t->Name();
}

TEST_F(DataFilerServerTest, UnreachableServerEndsTheSignOnWith4098) {
  WriteSetting("Net_Servernavn", "ff_server@127.0.0.1:1");
  EXPECT_EQ(signOn(), std::vector<int>{4098});
  EXPECT_FALSE(module->KvandrelEngine.Active());
  EXPECT_FALSE(module->ProsjektTable.Active());
}

}  // namespace
