// The program's start-up and shutdown, run in-process as main runs them, on a suite database
// in a prepared settings folder; modal windows are answered through the seam.
#include "app/Startup.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/FF2MySQL.h"
#include "db/SuiteDatabase.h"
#include "db/datamodule/datafile.h"
#include "store/Session.h"
#include "settings/Felles.h"
#include "settings/windows/ModalSeam.h"
#include "settings/windows/ProcessExit.h"
#include "settings/windows/Prosess.h"
#include "settings/windows/bruker.h"
#include "support/SqlTestSupport.h"
#include "support/TempAlias.h"

namespace {

// Thrown by the exit seam in place of ending the test process.
struct ProcessEnded {
  int code;
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ff::TffSession::DefaultSession();
    CreateSuiteTables(ff::TffSession::DefaultSession(), db.alias());
    FillDemoData(ff::TffSession::DefaultSession(), db.alias());
    writeSettings("Single User");
    previousFolder_ = std::filesystem::current_path();
    std::filesystem::current_path(db.root());
    ResetTerminateRequest();
    SetEndProcessHandler([](int code) { throw ProcessEnded{code}; });
  }

  // The common settings file: every group open on the test alias, over `protocol`.
  void writeSettings(const std::string& protocol) {
    std::filesystem::create_directories(db.root() + "/etc");
    std::ofstream ini(db.root() + "/etc/VELTRINO.INI");
    ini << "[STANDARD]\r\nNet_Alias=" << db.alias() << "\r\nNet_Protokoll=" << protocol << "\r\n";
    for (const char* group : {"Personal", "Utstyr", "Timer", "Dokument", "Varer", "Firma", "Regnskap", "Reise",
                              "Prosjekt", "Salg"}) {
      ini << "Database_" << group << "_Åpnes=1\r\nDatabase_" << group << "_Mappe=" << db.alias() << "\r\n";
    }
  }

  void TearDown() override {
    SetEndProcessHandler(nullptr);
    SetModalHandler(nullptr);
    std::filesystem::current_path(previousFolder_);
  }

  // Runs the program with `parameters`; `whileRunning` runs once the event loop has started,
  // with the main window, which it must close to end the run.
  int run(const QStringList& parameters, std::function<void(TMySQLConvert&)> whileRunning = nullptr) {
    PrepareProcess(parameters);
    return runPrepared(parameters, std::move(whileRunning));
  }

  int runPrepared(const QStringList& parameters, std::function<void(TMySQLConvert&)> whileRunning) {
    QTimer::singleShot(0, [whileRunning] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<TMySQLConvert*>(w); window && window->isVisible()) {
          if (whileRunning) whileRunning(*window);
          window->close();
        }
      }
    });
    return RunProgram(parameters);
  }

  std::string settingsOnDisk() const {
    std::ifstream in(db.root() + "/etc/VELTRINO.INI", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TempAlias db{"KVISTSTART"};

 private:
  std::filesystem::path previousFolder_;
};

TEST_F(StartupTest, AutologonOpensTheTablesUnderTheStoredSettingsAndWritesThemBack) {
  bool tablesOpen = false;
  int tablesListed = 0;
  const int code = run({"-autologon"}, [&](TMySQLConvert& window) {
    tablesOpen = DataFiler && DataFiler->ProsjektTable.Active() && DataFiler->TidTable.Active();
    tablesListed = window.TableCombo->count();
    WriteSetting("Sist_Kjort", "i dag");
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(tablesOpen);
  EXPECT_EQ(tablesListed, 32) << "the window lists the suite's tables through the data module's session";
  EXPECT_EQ(DataFiler, nullptr) << "the data module is gone at the end";
  EXPECT_NE(settingsOnDisk().find("Sist_Kjort=i dag"), std::string::npos) << "settings written back";
}

TEST_F(StartupTest, BrukerSwitchStoresTheUserBeforeTheSignOnWindowAndCancelEndsWithZero) {
  PrepareProcess({"BRUKER", "ola"});
  EXPECT_EQ(ReadStoredUserName(), "ola") << "stored before any window exists";
  int signOnWindows = 0;
  int progressSteps = 0;
  SetProgressPositionObserver([&](int) { ++progressSteps; });
  SetModalHandler([&](QDialog& dlg) {
    signOnWindows += qobject_cast<TBrukerform*>(&dlg) != nullptr;
    return int(QDialog::Rejected);
  });
  const int code = runPrepared({"BRUKER", "ola"}, nullptr);
  SetProgressPositionObserver(nullptr);
  EXPECT_EQ(signOnWindows, 1);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(TerminateRequested());
  EXPECT_EQ(progressSteps, 0) << "a cancelled sign-on opens no table";
}

TEST_F(StartupTest, AnUnreachableServerEndsWith4098AfterTheErrorWindowClosed) {
  writeSettings("TCP/IP");
  std::vector<std::string> shown;
  SetModalHandler([&](QDialog& dlg) {
    shown.push_back(dlg.windowTitle().toStdString());
    return int(QDialog::Accepted);
  });
  try {
    run({"-autologon"});
    FAIL() << "the process should have ended";
  } catch (const ProcessEnded& ended) {
    EXPECT_EQ(ended.code, 4098);
  }
  EXPECT_EQ(shown, std::vector<std::string>{"FEIL"});
}

// What a person would do: pick PROSJEKT, write its SQL, run it, and find the table on the server.
TEST_F(StartupTest, WholeProgramWritesAndRunsTheSqlOfATable) {
  PrepareProcess({"-autologon"});
  sql_test::PrivateDatabase server;
  REQUIRE_PRIVATE_SERVER(server);
  QString pane;
  const int code = runPrepared({"-autologon"}, [&](TMySQLConvert& window) {
    window.TableCombo->setCurrentIndex(window.TableCombo->findText("PROSJEKT"));
    window.TableComboChange();
    window.BitBtn4Click();
    window.BitBtn6Click();
    pane = window.Memo1->toPlainText();
    window.grab().save(KV_BINARY_DIR "/whole-program.png");
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(pane.startsWith("DROP TABLE IF EXISTS PROSJEKT;"));
  const sql_test::Names columns = server.columns("PROSJEKT");
  ASSERT_FALSE(columns.empty());
  EXPECT_EQ(columns.front(), "id int(11)");
  EXPECT_NE(std::find(columns.begin(), columns.end(), "PROSNAVN varchar(40)"), columns.end());
  EXPECT_NE(std::find(columns.begin(), columns.end(), "DATOSTART datetime"), columns.end());
}

}  // namespace
