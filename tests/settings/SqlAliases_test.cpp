// The alias file and the named connections of the SQL side.
#include "settings/SqlAliases.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "settings/SettingsError.h"

#include "support/SqlTestSupport.h"
#include "support/TcpServer.h"
#include "settings/SettingsTestSupport.h"

using sql_test::PrivateDatabase;
using sql_test::TempSettings;

namespace {

class SqlAliasesTest : public ::testing::Test {
 protected:
  TempSettings settings;
};

TEST_F(SqlAliasesTest, MySQLwebWithoutAnEntryIsThePrivateServer) {
  settings_test::EnvVar dir("KV_MYSQL_DIR", "/srv/egen");
  const auto alias = ReadSqlAlias("mysqlweb");
  ASSERT_TRUE(alias.has_value());
  EXPECT_EQ(alias->socket, "/srv/egen/mysqld.sock");
  EXPECT_EQ(alias->database, "kvist");
  EXPECT_EQ(alias->user, ::getpwuid(::geteuid())->pw_name) << "the server's administrator is the system user";
  EXPECT_EQ(alias->driver, "QMARIADB");
  EXPECT_FALSE(ReadSqlAlias("DefaultDD").has_value()) << "other aliases have no default";
}

TEST_F(SqlAliasesTest, PrivateServerFolderFollowsTheStateFolder) {
  settings_test::EnvVar dir("KV_MYSQL_DIR", std::nullopt);
  settings_test::EnvVar state("XDG_STATE_HOME", "/var/tilstand");
  EXPECT_EQ(PrivateServerAlias().socket, "/var/tilstand/kvistmerket/mysql/mysqld.sock");
}

TEST_F(SqlAliasesTest, WrittenAliasReadsBackAndSitsInTheSettingsFolder) {
  SqlAliasSettings web;
  web.driver = "QMYSQL";
  web.host = "db.example";
  web.port = 3307;
  web.database = "nett";
  web.user = "kvist";
  web.password = "hemmelig";
  WriteSqlAlias("Nettbutikk", web);
  EXPECT_EQ(SqlAliasFileName(), settings.folder() + "SQLALIAS.INI");
  const auto read = ReadSqlAlias("NETTBUTIKK");
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->driver, "QMYSQL");
  EXPECT_EQ(read->host, "db.example");
  EXPECT_EQ(read->port, 3307);
  EXPECT_EQ(read->database, "nett");
  EXPECT_EQ(read->user, "kvist");
  EXPECT_EQ(read->password, "hemmelig");
  EXPECT_TRUE(read->socket.empty());
}

TEST_F(SqlAliasesTest, TlsSettingsReadBackAndAPasswordMakesTheFilePrivate) {
  SqlAliasSettings web;
  web.host = "db.example";
  web.user = "kvist";
  web.password = "hemmelig";
  web.tlsCa = "/etc/kvist/ca.pem";
  web.tlsVerifyServer = false;
  WriteSqlAlias("Nettbutikk", web);
  const auto read = ReadSqlAlias("Nettbutikk");
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(*read, web);
  const auto perms = std::filesystem::status(SqlAliasFileName()).permissions();
  EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);
  const sql::SqlEndpoint endpoint = SqlAliasEndpoint("Nettbutikk", *read);
  EXPECT_TRUE(endpoint.TlsRequired()) << "TCP/IP is encrypted unless the alias says otherwise";
  EXPECT_FALSE(endpoint.VerifiesServerName());
  EXPECT_EQ(endpoint.tls.ca, "/etc/kvist/ca.pem");
}

TEST_F(SqlAliasesTest, AnAliasPasswordOthersCanReadIsRefused) {
  std::ofstream(settings.folder() + "SQLALIAS.INI") << "[Nett]\nHost=db.example\nUser=kvist\nPassword=hemmelig\n"
                                                       "[Lokal]\nSocket=/tmp/x.sock\nUser=kvist\n";
  std::filesystem::permissions(SqlAliasFileName(), std::filesystem::perms::owner_read |
                                                       std::filesystem::perms::owner_write |
                                                       std::filesystem::perms::others_read);
  try {
    ReadSqlAlias("Nett");
    FAIL() << "a password that others can read was used";
  } catch (const SettingsError& e) {
    EXPECT_NE(std::string(e.what()).find("chmod 600"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(ReadSqlAlias("Lokal").has_value()) << "an alias without a password is no secret";
  std::ofstream(settings.folder() + "SQLALIAS.INI") << "[Nett]\nHost=db.example\nTlsRequired=tja\n";
  EXPECT_THROW(ReadSqlAlias("Nett"), SettingsError);
}

TEST_F(SqlAliasesTest, AnAliasOverTcpIsEncryptedAndChecksTheServerAgainstItsCa) {
  const auto server = server_test::FindTcpServer();
  if (!server) GTEST_SKIP() << "the private MariaDB has no TCP port";
  SqlAliasSettings tcp;
  tcp.host = "127.0.0.1";
  tcp.port = std::stoi(server->port);
  tcp.user = server->user;
  tcp.password = server->password;
  tcp.tlsCa = server->ca;
  WriteSqlAlias("Server", tcp);
  const auto cipher = SqlTextFirstResult("Server", "SHOW SESSION STATUS LIKE 'Ssl_cipher'");
  ASSERT_TRUE(cipher && !cipher->rows.empty());
  EXPECT_NE(cipher->rows[0].at(1).value_or(""), "");
  tcp.tlsCa = settings.folder() + "finnes-ikke.pem";
  WriteSqlAlias("Server", tcp);
  try {
    RunSqlText("Server", "SELECT 1");
    FAIL() << "connected without the CA";
  } catch (const ESqlError& e) {
    EXPECT_NE(std::string(e.what()).find("Kan ikke koble til SQL-databasen for databasealiaset Server"),
              std::string::npos) << e.what();
  }
}

TEST_F(SqlAliasesTest, HandWrittenSectionWithoutDriverUsesMariaDb) {
  std::ofstream(settings.folder() + "SQLALIAS.INI") << "[MySQLweb]\nSocket=/tmp/x.sock\nPort=abc\n";
  const auto read = ReadSqlAlias("MySQLweb");
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->driver, "QMARIADB");
  EXPECT_EQ(read->socket, "/tmp/x.sock");
  EXPECT_EQ(read->port, 0) << "a port that is no number means the driver's default";
  EXPECT_TRUE(read->database.empty()) << "a section replaces the default whole";
}

// The window shows the short text; the command line adds which file was read.
TEST_F(SqlAliasesTest, AnUnknownAliasSaysWhereItWasLookedFor) {
  try {
    RequireSqlAlias("FinnesIkke");
    FAIL() << "an unknown alias";
  } catch (const EUnknownSqlAlias& e) {
    EXPECT_STREQ(e.what(), "Ukjent databasealias: FinnesIkke");
    EXPECT_EQ(e.WhereLooked(), "SQL-aliasene leses fra " + SqlAliasFileName() +
                                   " (filen finnes ikke), og der er det ingen seksjon [FinnesIkke]. Legg den til med: "
                                   "kvist-ff sql-alias add FinnesIkke --host VERT --database DATABASE --user BRUKER");
  }
  try {
    SqlAliasConnectorSayingWhere("FinnesIkke")();
    FAIL() << "an unknown alias";
  } catch (const ESqlError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Ukjent databasealias: FinnesIkke\nSQL-aliasene leses fra " + SqlAliasFileName(), 0),
              0u)
        << e.what();
  }
}

// A new alias is added once, under a name that is good as a section name, into a file only its
// owner reads, even without a password: other sections may hold one.
TEST_F(SqlAliasesTest, AnAddedAliasIsNewWellNamedAndPrivate) {
  SqlAliasSettings firm;
  firm.socket = "/run/x.sock";
  firm.database = "FIRMA";
  firm.user = "eier";
  AddSqlAlias("Firma-1", firm);
  EXPECT_EQ(ReadSqlAlias("Firma-1"), firm);
  EXPECT_EQ(std::filesystem::status(SqlAliasFileName()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const auto refusal = [&](const std::string& name) -> std::string {
    try {
      AddSqlAlias(name, firm);
      return "";
    } catch (const SettingsError& e) {
      return e.what();
    }
  };
  EXPECT_EQ(refusal("firma-1"), "SQL-aliaset firma-1 finnes allerede i " + SqlAliasFileName() +
                                    "; velg et annet navn, eller endre seksjonen [firma-1] i filen");
  EXPECT_EQ(refusal("Fir]ma"), "Ugyldig navn på SQL-alias: \"Fir]ma\" (bruk bokstaver, sifre, _, - og ., høyst 64 tegn)");
  EXPECT_NE(refusal(""), "");
  EXPECT_NE(refusal(std::string(65, 'a')), "");
  EXPECT_EQ(refusal("Økonomi_2"), "");
}

TEST_F(SqlAliasesTest, ConnectionFailuresCarryTheDatabaseMessage) {
  try {
    AliasConnection("FinnesIkke");
    FAIL() << "an unknown alias must not connect";
  } catch (const ESqlError& e) {
    EXPECT_STREQ(e.what(), "Ukjent databasealias: FinnesIkke");
  }
  WriteSqlAlias("Borte", sql_test::DeadServerAlias(settings.folder()));
  try {
    AliasConnection("Borte");
    FAIL() << "no server listens on the socket";
  } catch (const ESqlError& e) {
    EXPECT_NE(std::string(e.what()).find("no-server.sock"), std::string::npos) << e.what();
  }
  SqlAliasSettings odd;
  odd.driver = "QFINNESIKKE";
  WriteSqlAlias("Rar", odd);
  EXPECT_THROW(AliasConnection("Rar"), ESqlError);
}

// The message of a failed connection; empty when it connected.
std::string connectionFailure(const std::string& alias) {
  try {
    AliasConnection(alias);
    return {};
  } catch (const ESqlError& e) {
    return e.what();
  }
}

TEST_F(SqlAliasesTest, AStoppedPrivateServerGetsAHintToStartIt) {
  const std::string hint = "scripts/mysql-local.sh start";
  WriteSqlAlias("Borte", sql_test::DeadServerAlias(settings.folder()));
  const std::string elsewhere = connectionFailure("Borte");
  EXPECT_EQ(elsewhere.rfind("Kan ikke koble til SQL-databasen for databasealiaset Borte:\n", 0), 0u) << elsewhere;
  EXPECT_EQ(elsewhere.find(hint), std::string::npos) << "another server than the private one: " << elsewhere;

  settings_test::EnvVar dir("KV_MYSQL_DIR", settings.folder() + "stoppet");
  const std::string stopped = connectionFailure("MySQLweb");
  EXPECT_EQ(stopped.rfind("Kan ikke koble til SQL-databasen for databasealiaset MySQLweb:\n", 0), 0u) << stopped;
  EXPECT_NE(stopped.find("stoppet/mysqld.sock"), std::string::npos) << "the driver's own text stays: " << stopped;
  EXPECT_NE(stopped.find(hint), std::string::npos) << stopped;
}

TEST_F(SqlAliasesTest, ConnectionIsKeptAndMadeAgainWhenTheAliasChanges) {
  PrivateDatabase db;
  REQUIRE_PRIVATE_SERVER(db);
  sql::SqlConnection* first = &AliasConnection("MySQLweb");
  EXPECT_FALSE(first->Lost());
  EXPECT_EQ(first->FirstResultSet("SELECT DATABASE()")->rows.at(0).at(0), db.name());
  EXPECT_EQ(&AliasConnection("mysqlweb"), first) << "one connection per alias";

  ASSERT_EQ(db.run("CREATE DATABASE IF NOT EXISTS " + db.name() + "_b"), "");
  SqlAliasSettings moved = *ReadSqlAlias("MySQLweb");
  moved.database = db.name() + "_b";
  WriteSqlAlias("MySQLweb", moved);
  EXPECT_EQ(AliasConnection("MySQLweb").FirstResultSet("SELECT DATABASE()")->rows.at(0).at(0), moved.database);
  CloseSqlConnection("MySQLweb");
  db.run("DROP DATABASE " + db.name() + "_b");
  CloseSqlConnection("MySQLweb");
}

}  // namespace
