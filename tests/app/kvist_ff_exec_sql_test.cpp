// kvist-ff exec-sql: SQL text from standard input, run on an SQL alias in one request.
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/SqlTestSupport.h"
#include "support/QtPrint.h"
#include "support/TempAlias.h"

namespace {

struct ToolRun {
  int code;
  std::string err;
};

class ExecSqlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_PRIVATE_SERVER(db);
    sql_test::MakeToolFolders(settings);
  }

  ToolRun run(const QStringList& args, const QByteArray& input) {
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(settings.folder() + "work"));
    p.start(KV_BINARY_DIR "/kvist-ff", args);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return {p.exitCode(), p.readAllStandardError().toStdString()};
  }

  sql_test::TempSettings settings;
  sql_test::PrivateDatabase db;
};

TEST_F(ExecSqlTest, RunsTheWholeTextFromStandardInput) {
  const ToolRun r = run({"exec-sql", "MySQLweb"},
                        "DROP TABLE IF EXISTS a;\nCREATE TABLE a (x INT,\n y VARCHAR(5));\nCREATE TABLE b (z DATE)\n");
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(db.tables(), (sql_test::Names{"a", "b"}));
  EXPECT_EQ(db.columns("a"), (sql_test::Names{"x int(11)", "y varchar(5)"}));
}

TEST_F(ExecSqlTest, FailuresGiveTheDatabaseMessageAndExitCodeOne) {
  ToolRun r = run({"exec-sql", "MySQLweb"}, "CREATE TABLE a (x INT);\nSELEKT 1;\n");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("You have an error in your SQL syntax"), std::string::npos) << r.err;
  EXPECT_EQ(db.tables(), sql_test::Names{"a"});
  r = run({"exec-sql", "Ingenting"}, "SELECT 1");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Ukjent databasealias: Ingenting"), std::string::npos) << r.err;
  r = run({"exec-sql"}, "");
  EXPECT_EQ(r.code, 2) << "a missing alias is a usage error";
}

TEST_F(ExecSqlTest, EmptyTextSaysWhatIsWrong) {
  for (const QByteArray& input : {QByteArray(), QByteArray("\n  \n\t\n")}) {
    const ToolRun r = run({"exec-sql", "MySQLweb"}, input);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kvist-ff: Ingen SQL-tekst å kjøre: teksten er tom\n");
  }
}

TEST_F(ExecSqlTest, TheSqlOfSeveralTablesRunsThroughThePipe) {
  TempAlias store;
  for (const QStringList& args : {QStringList{"create", "TESTDB", "KUNDE", "NR:Integer", "NAVN:String:30"},
                                  QStringList{"create", "TESTDB", "ORDRE", "NR:Integer", "DATO:Date"}}) {
    ASSERT_EQ(run(args, {}).code, 0);
  }
  QProcess sql;
  QProcess exec;
  sql.setStandardOutputProcess(&exec);
  exec.setWorkingDirectory(QString::fromStdString(settings.folder() + "work"));
  sql.start(KV_BINARY_DIR "/kvist-ff", {"sql", "TESTDB", "KUNDE", "ORDRE"});
  exec.start(KV_BINARY_DIR "/kvist-ff", {"exec-sql", "MySQLweb"});
  ASSERT_TRUE(sql.waitForFinished(30000));
  ASSERT_TRUE(exec.waitForFinished(30000));
  EXPECT_EQ(sql.exitCode(), 0) << sql.readAllStandardError().toStdString();
  EXPECT_EQ(exec.exitCode(), 0) << exec.readAllStandardError().toStdString();
  EXPECT_EQ(db.tables(), (sql_test::Names{"KUNDE", "ORDRE"}));
  EXPECT_EQ(db.columns("ORDRE"), (sql_test::Names{"id int(11)", "NR int(11)", "DATO date"}));
}

}  // namespace
