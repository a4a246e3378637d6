// `kvist-ff import` as the real binary: a bulk load that appears whole or not at all, even when
// the process is killed midway, and that copies every table it can read.
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "store/ff2/TimeTableFf2.h"
#include "support/TempAlias.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int code;
  std::string out;
  std::string err;
};

constexpr int kBigRows = 150000;

class KvistFfImportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(legacy);
    ASSERT_EQ(run({"alias", "add", "GAMMEL", QString::fromStdString(legacy)}).code, 0);
  }

  void startTool(QProcess& p, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FF_CONFIG_DIR", QString::fromStdString(db.root() + "/config"));
    p.setProcessEnvironment(env);
    p.start(KV_BINARY_DIR "/kvist-ff", args);
    ASSERT_TRUE(p.waitForStarted());
  }

  ToolRun run(const QStringList& args) {
    QProcess p;
    startTool(p, args);
    p.waitForFinished(120000);
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
  }

  void addSample(const std::string& name) {
    fs::copy_file(fs::path(KV_SOURCE_DIR "/tests/store/ff2/samples") / name, legacy + name);
  }

  void addTimeTable(int rows) {
    std::ofstream(legacy + "TID.ff2", std::ios::binary) << ff2test::BuildTimeTableFf2(rows);
  }

  // What the target alias holds: each table with its row count, "TID:150000 orders:17".
  std::string targetTables() {
    std::string out;
    std::istringstream names(run({"tables", "TESTDB"}).out);
    for (std::string name; std::getline(names, name);) {
      std::istringstream dump(run({"dump", "TESTDB", QString::fromStdString(name)}).out);
      int lines = -1;  // the first line names the fields
      for (std::string line; std::getline(dump, line);) ++lines;
      out += (out.empty() ? "" : " ") + name + ":" + std::to_string(lines);
    }
    return out;
  }

  // True when a file of the target folder ends in `ending` ("" for any file).
  bool targetHasFile(const std::string& ending) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(db.folder(), ec)) {
      if (entry.path().string().ends_with(ending)) return true;
    }
    return false;
  }

  // Starts an import of TID and kills it with SIGKILL `delay` after its first file appeared
  // in the target folder. Returns false when the import ended before it could be killed.
  bool killImportMidway(std::chrono::milliseconds delay) {
    QProcess p;
    startTool(p, {"import", "GAMMEL", "--to", "TESTDB", "TID"});
    while (!targetHasFile("") && p.state() == QProcess::Running) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::this_thread::sleep_for(delay);
    const bool running = p.state() == QProcess::Running;
    p.kill();
    p.waitForFinished();
    return running && p.exitStatus() == QProcess::CrashExit;
  }

  TempAlias db;
  const std::string legacy = db.root() + "/gammel/";
};

TEST_F(KvistFfImportTest, AnImportKilledMidCopyLeavesNoTableAndTheRerunSucceeds) {
  addTimeTable(kBigRows);
  int killed = 0;
  for (int delay : {0, 30, 100, 200, 350, 600}) {  // over the whole copy
    if (!killImportMidway(std::chrono::milliseconds(delay))) continue;
    ++killed;
    const std::string left = targetTables();
    EXPECT_TRUE(left.empty() || left == "TID:" + std::to_string(kBigRows))
        << "after a kill " << delay << " ms into the copy the alias holds: " << left;
    if (!left.empty()) break;
  }
  EXPECT_GT(killed, 0) << "no import could be killed while copying";

  const ToolRun rerun = run({"import", "GAMMEL", "--to", "TESTDB", "TID"});
  if (targetTables().empty()) ADD_FAILURE() << "the rerun left no table: " << rerun.err;
  EXPECT_EQ(targetTables(), "TID:" + std::to_string(kBigRows));
  EXPECT_FALSE(targetHasFile(".new")) << "nothing is left aside";
}

TEST_F(KvistFfImportTest, ADamagedTableIsNamedAndSkippedAndTheOthersAreCopied) {
  for (const char* name : {"customer.ff2", "orders.ff2", "Simulated1.ff2"}) addSample(name);
  const ToolRun imported = run({"import", "GAMMEL", "--to", "TESTDB"});
  EXPECT_EQ(imported.code, 1);
  EXPECT_EQ(imported.out, "customer\t55 rader kopiert\norders\t17 rader kopiert\n");
  EXPECT_NE(imported.err.find("Simulated1 ble ikke kopiert: "), std::string::npos) << imported.err;
  EXPECT_NE(imported.err.find("1 av 3 tabeller ble ikke kopiert: Simulated1"), std::string::npos) << imported.err;
  EXPECT_EQ(targetTables(), "customer:55 orders:17");

  const ToolRun again = run({"import", "GAMMEL", "--to", "TESTDB", "orders", "customer"});
  EXPECT_EQ(again.code, 1) << "existing tables are never overwritten";
  EXPECT_NE(again.err.find("2 av 2 tabeller ble ikke kopiert: orders, customer"), std::string::npos) << again.err;
  EXPECT_EQ(targetTables(), "customer:55 orders:17");
}

TEST_F(KvistFfImportTest, ABigTableArrivesWholeWithItsIndexes) {
  addTimeTable(3000);
  const ToolRun imported = run({"import", "GAMMEL", "--to", "TESTDB"});
  ASSERT_EQ(imported.code, 0) << imported.err;
  EXPECT_EQ(imported.out, "TID\t3000 rader kopiert\n");
  EXPECT_EQ(run({"dump", "TESTDB", "TID", "--index", "PROSJEKT", "--filter", "PROSJEKTNR=7"}).out,
            run({"dump", "GAMMEL", "TID", "--index", "PROSJEKT", "--filter", "PROSJEKTNR=7"}).out);
  EXPECT_EQ(run({"dump", "TESTDB", "TID"}).out, run({"dump", "GAMMEL", "TID"}).out);
}

}  // namespace
