// The command-line tool, run as the real binary.
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/TempAlias.h"

namespace {

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

class KvistFfTest : public ::testing::Test {
 protected:
  ToolRun run(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FF_CONFIG_DIR", QString::fromStdString(db.root() + "/config"));
    p.setProcessEnvironment(env);
    p.start(KV_BINARY_DIR "/kvist-ff", args);
    p.waitForFinished(30000);
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
  }

  void createProjects() {
    ASSERT_EQ(run({"create", "TESTDB", "PROSJEKT", "PROSJEKTNR:Float", "NAVN:String:20", "E-mail:String:30",
                   "--index", "NAVN:NAVN"})
                  .code,
              0);
    ASSERT_EQ(run({"insert", "TESTDB", "PROSJEKT", "PROSJEKTNR=2", "NAVN=Åsen"}).code, 0);
    ASSERT_EQ(run({"insert", "TESTDB", "PROSJEKT", "PROSJEKTNR=1,5", "NAVN=Berg"}).code, 0);
  }

  TempAlias db;
};

TEST_F(KvistFfTest, CreateInsertDumpAndSql) {
  createProjects();
  EXPECT_EQ(run({"tables", "TESTDB"}).out, "PROSJEKT\n");
  EXPECT_EQ(run({"dump", "TESTDB", "PROSJEKT"}).out, "PROSJEKTNR\tNAVN\tE-mail\n2\tÅsen\t\n1,5\tBerg\t\n");
  EXPECT_EQ(run({"dump", "TESTDB", "PROSJEKT", "--index", "NAVN", "--filter", "PROSJEKTNR<3"}).out,
            "PROSJEKTNR\tNAVN\tE-mail\n1,5\tBerg\t\n2\tÅsen\t\n");
  EXPECT_EQ(run({"sql", "TESTDB", "PROSJEKT"}).out,
            "DROP TABLE IF EXISTS PROSJEKT;\n"
            "CREATE TABLE PROSJEKT ( id INT NOT NULL AUTO_INCREMENT, \n"
            "PROSJEKTNR FLOAT default NULL,\n"
            "NAVN VARCHAR(20) default NULL,\n"
            "`E-mail` VARCHAR(30) default NULL,\n"
            "PRIMARY KEY (id)\n"
            " )\n");
  const ToolRun aliases = run({"alias", "list"});
  EXPECT_EQ(aliases.out.rfind("TESTDB\t", 0), 0u);
}

TEST_F(KvistFfTest, BadInputGetsAClearMessageAndLosesNothing) {
  createProjects();
  const ToolRun badType = run({"create", "TESTDB", "X", "A:Tekst"});
  EXPECT_EQ(badType.code, 2);
  EXPECT_NE(badType.err.find("ukjent felttype"), std::string::npos);

  const ToolRun badNumber = run({"insert", "TESTDB", "PROSJEKT", "PROSJEKTNR=tre"});
  EXPECT_EQ(badNumber.code, 1);
  EXPECT_NE(badNumber.err.find("tre"), std::string::npos);

  const ToolRun badFilter = run({"dump", "TESTDB", "PROSJEKT", "--filter", "PROSJEKTNR="});
  EXPECT_EQ(badFilter.code, 1);
  EXPECT_NE(badFilter.err.find("PROSJEKTNR="), std::string::npos);

  EXPECT_EQ(run({"dump", "TESTDB", "MANGLER"}).code, 1);
  EXPECT_EQ(run({"create", "TESTDB", "PROSJEKT", "A:Float"}).code, 1) << "an existing table is kept";
  EXPECT_EQ(run({"tull"}).code, 2);
  EXPECT_EQ(run({"dump", "TESTDB", "PROSJEKT"}).out, "PROSJEKTNR\tNAVN\tE-mail\n2\tÅsen\t\n1,5\tBerg\t\n");
  EXPECT_EQ(run({"--help"}).code, 0);
}

TEST_F(KvistFfTest, CreatesTheSuitesDatabaseWithItsSampleFirm) {
  ASSERT_EQ(run({"create-suite", "TESTDB", "--demo"}).code, 0);
  std::istringstream tables(run({"tables", "TESTDB"}).out);
  int count = 0;
  for (std::string line; std::getline(tables, line);) ++count;
  EXPECT_EQ(count, 32);
  const ToolRun projects = run({"dump", "TESTDB", "PROSJEKT", "--index", "PROSJEKTNR"});
  EXPECT_EQ(projects.out.rfind("PROSJEKTNR\t", 0), 0u);
  EXPECT_NE(projects.out.find("\n1001\t"), std::string::npos);
  EXPECT_EQ(run({"create-suite", "TESTDB"}).code, 1) << "never over an existing database";
}

TEST_F(KvistFfTest, ImportsLegacyTablesIntoAWritableAlias) {
  const std::string legacy = db.root() + "/gammel/";
  std::filesystem::create_directories(legacy);
  std::filesystem::copy_file(KV_SOURCE_DIR "/tests/store/ff2/samples/orders.ff2", legacy + "orders.ff2");
  ASSERT_EQ(run({"alias", "add", "GAMMEL", QString::fromStdString(legacy)}).code, 0);
  const ToolRun imported = run({"import", "GAMMEL", "--to", "TESTDB"});
  EXPECT_EQ(imported.code, 0) << imported.err;
  EXPECT_EQ(imported.out, "orders\t17 rader kopiert\n");
  EXPECT_EQ(run({"dump", "TESTDB", "orders"}).out, run({"dump", "GAMMEL", "orders"}).out);
  EXPECT_EQ(run({"sql", "GAMMEL", "orders"}).out, run({"sql", "TESTDB", "orders"}).out)
      << "the same SQL from the firm's file and from its copy";
  EXPECT_EQ(run({"import", "GAMMEL"}).code, 2) << "the target alias is required";
}

TEST_F(KvistFfTest, HelpVersionAndEachCommandsOwnUsage) {
  const ToolRun bare = run({});
  EXPECT_EQ(bare.code, 2);
  EXPECT_EQ(bare.out, "") << "help after a usage error goes to standard error";
  EXPECT_NE(bare.err.find("Bruk:"), std::string::npos);

  const ToolRun version = run({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out.rfind("kvist-ff ", 0), 0u) << version.out;

  const ToolRun help = run({"--help"});
  EXPECT_EQ(help.code, 0);
  for (const char* command : {"alias", "create", "tables", "insert", "dump", "sql", "create-suite", "import",
                              "exec-sql"}) {
    const ToolRun own = run({command, "--help"});
    EXPECT_EQ(own.code, 0) << command << ": " << own.err;
    EXPECT_EQ(own.out.rfind(std::string("  kvist-ff ") + command + " ", 0), 0u) << own.out;
    EXPECT_NE(help.out.find(own.out), std::string::npos) << "the full help holds each command's own: " << command;
  }
}

TEST_F(KvistFfTest, HelpAnywhereAfterACommandRunsNothing) {
  createProjects();
  EXPECT_EQ(run({"insert", "TESTDB", "PROSJEKT", "PROSJEKTNR=9", "--help"}).code, 0);
  EXPECT_EQ(run({"alias", "add", "NY", "--help"}).code, 0);
  EXPECT_EQ(run({"create", "TESTDB", "NY", "A:Float", "-h"}).code, 0);
  EXPECT_EQ(run({"dump", "TESTDB", "PROSJEKT"}).out, "PROSJEKTNR\tNAVN\tE-mail\n2\tÅsen\t\n1,5\tBerg\t\n");
  EXPECT_EQ(run({"tables", "TESTDB"}).out, "PROSJEKT\n");
  EXPECT_EQ(run({"alias", "list"}).out.find("NY\t"), std::string::npos);
}

TEST_F(KvistFfTest, ExtraArgumentsAreUsageErrorsAndChangeNothing) {
  createProjects();
  const ToolRun extra = run({"alias", "add", "NY", QString::fromStdString(db.root() + "/ny"), "X"});
  EXPECT_EQ(extra.code, 2);
  EXPECT_NE(extra.err.find("for mange argumenter: X"), std::string::npos) << extra.err;
  EXPECT_NE(extra.err.find("kvist-ff alias add NAVN MAPPE"), std::string::npos) << "the usage: " << extra.err;
  EXPECT_EQ(run({"alias", "list"}).out.find("NY\t"), std::string::npos) << "the alias is not registered";

  const std::vector<QStringList> tooMany = {{"alias", "list", "X"},         {"tables", "TESTDB", "X"},
                                            {"dump", "TESTDB", "PROSJEKT", "X"}, {"exec-sql", "MySQLweb", "X"},
                                            {"create-suite", "NY", "X"}};
  for (const QStringList& args : tooMany) {
    const ToolRun r = run(args);
    EXPECT_EQ(r.code, 2) << args.join(' ').toStdString();
    EXPECT_EQ(r.out, "") << args.join(' ').toStdString();
    EXPECT_NE(r.err.find("Bruk:\n  kvist-ff " + args[0].toStdString()), std::string::npos) << r.err;
  }
  EXPECT_EQ(run({"tables", "NY"}).code, 1) << "create-suite made nothing";
  const ToolRun tooFew = run({"dump", "TESTDB"});
  EXPECT_EQ(tooFew.code, 2);
  EXPECT_NE(tooFew.err.find("for få argumenter"), std::string::npos) << tooFew.err;
}

TEST_F(KvistFfTest, SqlOfSeveralTablesIsSeparatedAsInTheWindow) {
  createProjects();
  ASSERT_EQ(run({"create", "TESTDB", "KUNDE", "NR:Integer"}).code, 0);
  EXPECT_EQ(run({"sql", "TESTDB", "KUNDE", "KUNDE"}).out,
            "DROP TABLE IF EXISTS KUNDE;\n"
            "CREATE TABLE KUNDE ( id INT NOT NULL AUTO_INCREMENT, \n"
            "NR INT default NULL,\n"
            "PRIMARY KEY (id)\n"
            " )\n"
            ";\n"
            "DROP TABLE IF EXISTS KUNDE;\n"
            "CREATE TABLE KUNDE ( id INT NOT NULL AUTO_INCREMENT, \n"
            "NR INT default NULL,\n"
            "PRIMARY KEY (id)\n"
            " )\n");
}

TEST_F(KvistFfTest, TheFf2ReadersRefusalsAreNorwegian) {
  const std::string legacy = db.root() + "/skadet/";
  std::filesystem::create_directories(legacy);
  std::filesystem::copy_file(KV_SOURCE_DIR "/tests/store/ff2/samples/Simulated1.ff2", legacy + "rar.ff2");
  std::ifstream whole(KV_SOURCE_DIR "/tests/store/ff2/samples/exprods.ff2", std::ios::binary);
  std::string bytes(3000, '\0');
  whole.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::ofstream(legacy + "kort.ff2", std::ios::binary) << bytes;
  ASSERT_EQ(run({"alias", "add", "SKADET", QString::fromStdString(legacy)}).code, 0);

  const ToolRun odd = run({"dump", "SKADET", "rar"});
  EXPECT_EQ(odd.code, 1);
  EXPECT_EQ(odd.err, "kvist-ff: " + legacy + "rar.ff2: skadet filhode: log2-blokkstørrelsen 13 stemmer ikke med "
                     "blokkstørrelsen 4096\n");
  const ToolRun cut = run({"sql", "SKADET", "kort"});
  EXPECT_EQ(cut.code, 1);
  EXPECT_EQ(cut.err, "kvist-ff: " + legacy + "kort.ff2: filen er avkortet eller skadet: filhodet oppgir 7 blokker på "
                     "4096 byte, filen har 3000 byte\n");
}

TEST_F(KvistFfTest, OneCopiedRowIsOneRad) {
  ASSERT_EQ(run({"alias", "add", "KILDE", QString::fromStdString(db.root() + "/kilde")}).code, 0);
  ASSERT_EQ(run({"create", "KILDE", "EN", "NR:Integer"}).code, 0);
  ASSERT_EQ(run({"create", "KILDE", "TO", "NR:Integer"}).code, 0);
  ASSERT_EQ(run({"insert", "KILDE", "EN", "NR=1"}).code, 0);
  ASSERT_EQ(run({"insert", "KILDE", "TO", "NR=1"}).code, 0);
  ASSERT_EQ(run({"insert", "KILDE", "TO", "NR=2"}).code, 0);
  const ToolRun imported = run({"import", "KILDE", "--to", "TESTDB", "EN", "TO"});
  EXPECT_EQ(imported.out, "EN\t1 rad kopiert\nTO\t2 rader kopiert\n") << imported.err;
}

}  // namespace
