// The accounts of a firm database on the private MariaDB (scripts/mysql-local.sh firm): the
// owner makes tables, the daily account works in them and can do nothing else; a client
// configuration without a user signs on as nobody.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "sql/SqlConnection.h"
#include "sql/SqlError.h"
#include "store/Aliases.h"
#include "store/ClientConfig.h"
#include "store/Engine.h"
#include "store/Errors.h"
#include "store/Session.h"
#include "store/Table.h"
#include "support/ServerTestSupport.h"
#include "support/TempAlias.h"
#include "support/store/Workstation.h"

using namespace ff;

namespace {

using Login = std::map<std::string, std::string>;

// The key=value lines a command prints; empty when it failed.
Login runScript(const std::string& arguments) {
  Login login;
  FILE* out = ::popen((KV_SOURCE_DIR "/scripts/mysql-local.sh " + arguments + " 2>/dev/null").c_str(), "r");
  if (!out) return login;
  char line[512];
  while (std::fgets(line, sizeof line, out)) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const auto eq = text.find('=');
    if (eq != std::string::npos) login[text.substr(0, eq)] = text.substr(eq + 1);
  }
  return ::pclose(out) == 0 ? login : Login{};
}

class ServerAccountsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server_test::FindTcpServer()) GTEST_SKIP() << "the private MariaDB has no TCP port";
    database_ = "kvfirma_" + std::to_string(::getpid());
    daily_ = runScript("firm " + database_);
    owner_ = runScript("firm " + database_ + " --owner");
    ASSERT_FALSE(daily_.empty() || owner_.empty()) << "scripts/mysql-local.sh firm " << database_;
    AddServerAlias("FIRMA", {daily_["server"], database_});
  }
  void TearDown() override {
    if (database_.empty()) return;
    sql::SqlConnection(server_test::SocketAdministrator()).Execute("DROP DATABASE IF EXISTS `" + database_ + "`; DROP USER IF EXISTS '" +
                                      database_ + "_bruk'@'127.0.0.1', '" + database_ + "_eier'@'127.0.0.1'");
    std::filesystem::remove(server_test::privateServerFolder() + "/firm-" + database_ + ".login");
  }

  static void signOnAs(Login& login) {
    FFClientConfigWriteServerLogin(login["user"], login["password"]);
    FFClientConfigWriteServerTls({login["ca"], {}, {}});
  }

  sql::SqlEndpoint endpointOf(Login& login) {
    sql::SqlEndpoint endpoint = sql::ParseServerName(login["server"]);
    endpoint.user = login["user"];
    endpoint.password = login["password"];
    endpoint.tls.ca = login["ca"];
    endpoint.database = database_;
    return endpoint;
  }

  // The text of the SqlError a statement of the daily account fails with; empty when it ran.
  std::string dailyRefusal(const std::string& sql) {
    try {
      sql::SqlConnection(endpointOf(daily_)).Execute(sql);
    } catch (const sql::SqlError& e) {
      return e.what();
    }
    return {};
  }

  TempAlias local_{"LOKAL"};
  std::string database_;
  Login daily_, owner_;
};

// The private server logs binary, as a firm's server often does: making tables and posting
// must then need no SUPER right.
TEST_F(ServerAccountsTest, TheOwnerMakesTablesTheDailyAccountWorksInThemAndCannotMakeOrDropThem) {
  const auto logBin = sql::SqlConnection(endpointOf(daily_)).FirstResultSet("SELECT @@log_bin");
  ASSERT_EQ(logBin->rows.at(0).at(0).value_or(""), "1") << "binary logging is on";
  signOnAs(owner_);
  TffSession::DefaultSession().CreateTable("FIRMA", "KUNDE",
                                           {{"NR", FieldType::Integer, 0, false}, {"NAVN", FieldType::String, 40, false}},
                                           {{"NR", {"NR"}, 0}});
  signOnAs(daily_);
  Workstation daily(daily_["server"]);
  TffTable t;
  t.SetSessionName(daily.session().SessionName());
  t.SetDatabaseName(database_);
  t.SetTableName("KUNDE");
  t.Open();
  for (int nr : {1, 2, 3}) {
    t.Append();
    t.FieldByName("NR").SetAsInteger(nr);
    t.FieldByName("NAVN").SetAsString("Kunde " + std::to_string(nr));
    t.Post();
  }
  t.First();
  t.Delete();
  t.Refresh();
  EXPECT_EQ(t.RecordCount(), 2) << "the kept count follows the daily account's rows";
  t.Close();
  EXPECT_THROW(daily.session().CreateTable(database_, "NY", {{"NR", FieldType::Integer, 0, false}}, {}), Error);
  EXPECT_THROW(daily.session().DropTable(database_, "KUNDE"), Error);
  std::vector<std::string> names;
  daily.session().GetTableNames(database_, "*.*", false, false, names);
  EXPECT_EQ(names, std::vector<std::string>{"KUNDE"});
}

TEST_F(ServerAccountsTest, TheDailyAccountCannotWriteFilesOnTheServerNorMakeAccounts) {
  const std::string file = "/tmp/kvfirma-utfil-" + std::to_string(::getpid());
  EXPECT_NE(dailyRefusal("SELECT 1 INTO OUTFILE '" + file + "'"), "");
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_NE(dailyRefusal("CREATE USER 'inntrenger'@'%' IDENTIFIED BY 'x'"), "");
  EXPECT_NE(dailyRefusal("GRANT ALL ON *.* TO '" + daily_["user"] + "'@'127.0.0.1'"), "");
  EXPECT_NE(dailyRefusal("CREATE TABLE t (x INT)"), "");
  EXPECT_EQ(dailyRefusal("SELECT 1"), "") << "the account itself works";
}

TEST_F(ServerAccountsTest, AClientConfigurationWithoutAUserIsRefusedInNorwegian) {
  FFClientConfigWriteServerTls({daily_["ca"], {}, {}});
  TffCommsEngine engine("Motor");
  engine.SetProtocol(Protocol::TcpIp);
  engine.SetServerName(daily_["server"]);
  try {
    engine.SetActive(true);
    FAIL() << "signed on without a user";
  } catch (const EConnection& e) {
    EXPECT_EQ(std::string(e.what()), "Klientoppsettet " + FFClientConfigFile() + " har ingen bruker (User=) for serveren " +
                                         daily_["server"] + ". Legg inn arbeidsstasjonens innlogging med: kvist-ff login " +
                                         daily_["server"] + " BRUKER");
  }
  EXPECT_FALSE(engine.Active());
}

}  // namespace
