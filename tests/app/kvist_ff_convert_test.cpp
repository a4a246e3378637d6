// kvist-ff convert run as the real binary: the summary on standard output and the exit codes.
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/SqlTestSupport.h"
#include "support/TempAlias.h"

namespace {

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

class ConvertCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_SERVER(db);
    sql_test::MakeToolFolders(settings);
    ASSERT_EQ(run({"create", "FIRMA", "PROSJEKT", "ID:Integer", "NAVN:String:20", "--index", "NAVN:NAVN"}).code, 0);
    ASSERT_EQ(run({"insert", "FIRMA", "PROSJEKT", "ID=1", "NAVN=Åsen"}).code, 0);
    ASSERT_EQ(run({"insert", "FIRMA", "PROSJEKT", "ID=2", "NAVN=Berg"}).code, 0);
  }

  ToolRun run(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FF_CONFIG_DIR", QString::fromStdString(firm.root() + "/config"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QString::fromStdString(settings.folder() + "work"));
    p.start(KV_BINARY_DIR "/kvist-ff", args);
    p.waitForFinished(60000);
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
  }

  sql_test::TempSettings settings;
  TempAlias firm{"FIRMA"};
  sql_test::PrivateDatabase db;
};

TEST_F(ConvertCommandTest, ConvertsWithASummaryAndExitCodeZero) {
  const ToolRun r = run({"convert", "FIRMA", "--to", "MySQLweb", "--quiet"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("Tabell"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("2 av 2 rader like"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("PROSJEKT: tabellen har et felt som heter id, så nøkkelen heter kvist_id"), std::string::npos);
  EXPECT_NE(r.out.find("1 av 1 tabeller konvertert"), std::string::npos);
  EXPECT_EQ(db.columns("PROSJEKT"), (sql_test::Names{"kvist_id int(11)", "ID int(11)", "NAVN varchar(20)"}));

  const ToolRun unverified = run({"convert", "FIRMA", "--to", "MySQLweb", "prosjekt", "--no-verify"});
  EXPECT_EQ(unverified.code, 0) << unverified.err;
  EXPECT_NE(unverified.out.find("ikke kontrollert"), std::string::npos) << unverified.out;
}

TEST_F(ConvertCommandTest, BadInputGivesAClearMessageAndExitCodeTwo) {
  const auto refused = [&](const QStringList& args, const std::string& message) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  };
  refused({"convert", "INGEN", "--to", "MySQLweb"}, "Ukjent alias: INGEN");
  refused({"convert", "FIRMA", "--to", "MySQLweb", "BORTE"}, "Tabellen BORTE finnes ikke i alias FIRMA");
  refused({"convert", "FIRMA", "--to", "Ingenting"}, "Ukjent databasealias: Ingenting");
  refused({"convert", "FIRMA"}, "mangler --to SQLALIAS");
  EXPECT_EQ(db.tables(), sql_test::Names());
}

TEST_F(ConvertCommandTest, ADamagedFileFailsAloneAndTheOthersStillConvert) {
  std::ofstream(firm.folder() + "SKADET.ff2", std::ios::binary) << std::string(4096, '\x46');
  const ToolRun r = run({"convert", "FIRMA", "--to", "MySQLweb", "SKADET", "PROSJEKT"});
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.out.find("SKADET: FEILET: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 av 2 tabeller konvertert"), std::string::npos) << r.out;
  EXPECT_EQ(db.tables(), sql_test::Names{"PROSJEKT"});
}

}  // namespace
