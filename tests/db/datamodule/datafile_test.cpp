// The data module's life cycle on a real suite database: binding, groups, flags, progress,
// sign-on parameters, exit codes and the automatic close timer.
#include "db/datamodule/datafile.h"

#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

#include "store/Errors.h"
#include "settings/windows/Dbdialog.h"
#include "settings/windows/Prosess.h"
#include "settings/windows/bruker.h"
#include "settings/SettingsTestSupport.h"
#include "support/SuiteFixture.h"

namespace {

using ff::TffTable;

class DataFilerTest : public DemoSuiteFixture {
 protected:
  // Runs OpenAllFiles again after changing settings, collecting the progress positions.
  std::vector<int> reopen() {
    std::vector<int> positions;
    SetProgressPositionObserver([&](int p) { positions.push_back(p); });
    module->OpenAllFiles();
    SetProgressPositionObserver(nullptr);
    return positions;
  }

  std::vector<std::string> openTables() const {
    std::vector<std::string> open;
    for (TffTable* t : module->Tables()) {
      if (t->Active()) open.push_back(t->Name());
    }
    return open;
  }
};

TEST_F(DataFilerTest, EveryDeclaredTableBindsToTheSuiteDatabase) {
  EXPECT_EQ(openTables().size(), 32u);
  for (TffTable* t : module->Tables()) {
    EXPECT_TRUE(t->Active()) << t->Name();
    EXPECT_EQ(t->SessionName(), "VeltrinoSession");
  }
  EXPECT_TRUE(module->PersonTable.ReadOnly()) << "staff are always read-only";
  EXPECT_EQ(module->HandlerName("TidTable", TableEvent::BeforePost), "TidTableBeforePost");
  EXPECT_EQ(module->Source("TidSource")->DataSet(), &module->TidTable);
}

TEST_F(DataFilerTest, DetailsFollowTheirMasters) {
  auto followsOn = [](TffTable& master, TffTable& detail, const std::string& masterField,
                      const std::string& detailField) {
    int mastersWithRows = 0;
    for (master.First(); !master.Eof(); master.Next()) {
      for (detail.First(); !detail.Eof(); detail.Next()) {
        EXPECT_EQ(detail.FieldByName(detailField).AsString(), master.FieldByName(masterField).AsString())
            << detail.Name();
      }
      mastersWithRows += detail.RecordCount() > 0;
    }
    EXPECT_GT(mastersWithRows, 0) << detail.Name() << " never had rows to follow";
  };
  followsOn(module->ReiseTable, module->UtleggTable, "REGNR", "REGNR");
  followsOn(module->FirmaTable, module->KontaktTable, "Nr", "Nr");
  followsOn(module->VareRegister, module->VareTable2, "Varenr", "Varenr");
}

TEST_F(DataFilerTest, GroupsWhoseOpenKeyIsNotExactlyOneStayClosedButGetTheirNames) {
  for (const char* value : {"0", "", "2"}) {
    WriteSetting("Database_Timer_Åpnes", value);
    WriteSetting("Database_Timer_Mappe", "TIMEMAPPE");
    reopen();
    EXPECT_FALSE(module->TidTable.Active()) << "open key '" << value << "'";
    EXPECT_EQ(module->TidTable.DatabaseName(), "TIMEMAPPE");
  }
  EXPECT_TRUE(module->ProsjektTable.Active());
}

TEST_F(DataFilerTest, SomeGroupsKeepFlagsOnceOnOthersFollowTheSetting) {
  const char* sticky[] = {"Dokument", "Firma", "Prosjekt", "Salg"};
  const char* following[] = {"Utstyr", "Timer", "Regnskap"};
  for (const char* g : sticky) WriteSetting(std::string("Database_") + g + "_Skrivebeskyttet", "1");
  for (const char* g : following) WriteSetting(std::string("Database_") + g + "_Skrivebeskyttet", "1");
  reopen();
  for (const char* g : sticky) WriteSetting(std::string("Database_") + g + "_Skrivebeskyttet", "0");
  for (const char* g : following) WriteSetting(std::string("Database_") + g + "_Skrivebeskyttet", "0");
  reopen();
  for (TffTable* t : {&module->DokumentTable, &module->FirmaTable, &module->KontaktTable, &module->ProsjektTable,
                      &module->SystemTable, &module->OrdreTable, &module->TilbudVareTable}) {
    EXPECT_TRUE(t->ReadOnly()) << t->Name() << " keeps its flag";
  }
  EXPECT_FALSE(module->BildeTable.ReadOnly()) << "group 4 flags only the document table";
  for (TffTable* t : {&module->JobbTable, &module->Utstyrtable, &module->TidTable, &module->KontoTable,
                      &module->PosteringTable}) {
    EXPECT_FALSE(t->ReadOnly()) << t->Name() << " follows the setting";
  }
  EXPECT_TRUE(module->PersonTable.ReadOnly());

  WriteSetting("Database_Timer_Eksklusiv", "1");
  reopen();
  EXPECT_TRUE(module->TidTable.Exclusive());
  EXPECT_TRUE(module->TidTable.Active()) << "nobody else has the hours open";
  WriteSetting("Database_Timer_Eksklusiv", "0");
  reopen();
  EXPECT_FALSE(module->TidTable.Exclusive());
}

TEST_F(DataFilerTest, ProgressPositionsComeInOrder) {
  EXPECT_EQ(reopen(), (std::vector<int>{4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 48, 52, 56, 60, 64, 68, 72, 76, 80,
                                        84, 86, 90, 92, 96, 98, 100, 0}));
  for (const char* group : kSuiteGroups) WriteSetting(std::string("Database_") + group + "_Åpnes", "0");
  EXPECT_EQ(reopen(), (std::vector<int>{4, 8, 24, 48, 52, 60, 72, 80, 100, 0}));
  EXPECT_TRUE(openTables().empty());
  EXPECT_FALSE(SuppressTableErrors);
}

TEST_F(DataFilerTest, ATableThatFailsToOpenStaysClosedSilently) {
  WriteSetting("Database_Reise_Mappe", "FINNES_IKKE");
  int windows = 0;
  AnswerModals([&](QDialog&) {
    ++windows;
    return int(QDialog::Accepted);
  });
  reopen();
  EXPECT_EQ(windows, 0);
  EXPECT_FALSE(module->KmTable.Active());
  EXPECT_FALSE(module->UtleggTable.Active());
  EXPECT_TRUE(module->ProsjektTable.Active());
}

TEST_F(DataFilerTest, CloseAllFilesClosesEveryTable) {
  module->CloseAllFiles();
  EXPECT_TRUE(openTables().empty());
}

TEST_F(DataFilerTest, AutoCloseTimer) {
  WriteSetting("DataBase_AutoLukk", "1");
  WriteSetting("DataBase_AutoTimerSekund", "0");
  module->SjekkAutoTimer();
  EXPECT_FALSE(module->FileTimer.isActive()) << "0 seconds leave the timer off";
  WriteSetting("DataBase_AutoTimerSekund", "30");
  module->SjekkAutoTimer();
  EXPECT_TRUE(module->FileTimer.isActive());
  EXPECT_EQ(module->FileTimer.interval(), 30000);
  WriteSetting("DataBase_AutoLukk", "2");
  module->SjekkAutoTimer();
  EXPECT_FALSE(module->FileTimer.isActive());
  module->FileTimerTimer();
  EXPECT_TRUE(openTables().empty());
}

TEST_F(DataFilerTest, AliasDialogReopensEveryTableOnTheNewAlias) {
  TempAlias other("ANNEN");
  ff::AddAlias(db.alias(), db.folder());
  for (const auto& entry : std::filesystem::directory_iterator(db.folder())) {
    std::filesystem::copy(entry.path(), other.folder() + entry.path().filename().string());
  }
  // Groups whose folder key is empty take the alias the dialog stores.
  for (const char* group : kSuiteGroups) WriteSetting(std::string("Database_") + group + "_Mappe", "");
  TAliasdialog dialog(module->Serversession, *module);
  AnswerModals([](QDialog& d) {
    auto& dlg = static_cast<TAliasdialog&>(d);
    dlg.Aliasnavn->setCurrentText("ANNEN");
    dlg.BrukKnapp->click();
    return d.result();
  });
  EXPECT_EQ(ExecModal(dialog), QDialog::Accepted);
  EXPECT_EQ(GetNetAlias(), "ANNEN");
  EXPECT_EQ(ReadSetting("Database_SistBrukt"), "ANNEN");
  EXPECT_EQ(openTables().size(), 32u);
  EXPECT_EQ(module->TidTable.DatabaseName(), "ANNEN") << "reopened through GetNetAlias";
}

// Sign-on is run on a second, fresh module over the same suite database.
class SignOnTest : public DataFilerTest {
 protected:
  struct Outcome {
    std::vector<int> exitCodes;
    std::vector<std::string> windows;  // captions of the modal windows shown, in order
    std::string errorHeadline, errorFamily, errorCode, errorLine;
  };

  // The sign-on window, when shown, is rejected unless signOnScript answers it.
  Outcome signOn(const QStringList& parameters, const std::function<void(TDataFiler&)>& setup = nullptr,
                 const std::function<void(TBrukerform&)>& signOnScript = nullptr) {
    module.reset();
    Outcome out;
    SetEndProcessHandler([&](int code) { out.exitCodes.push_back(code); });
    AnswerModals([&](QDialog& d) {
      out.windows.push_back(d.windowTitle().toStdString());
      if (auto* form = qobject_cast<TBrukerform*>(&d); form && signOnScript) {
        signOnScript(*form);
        return d.result();
      }
      if (auto* error = qobject_cast<TErrorForm*>(&d)) {
        out.errorHeadline = error->Label1->text().toStdString();
        out.errorLine = error->Label2->text().toStdString();
        out.errorFamily = error->Panels[0]->text().toStdString();
        out.errorCode = error->Panels[1]->text().toStdString();
      }
      return int(QDialog::Rejected);
    });
    module = std::make_unique<TDataFiler>();
    if (setup) setup(*module);
    module->DataFilerCreate(parameters);
    SetEndProcessHandler(nullptr);
    return out;
  }
};

class FailingTransport : public ff::EngineTransport {
 public:
  explicit FailingTransport(char where) : where_(where) {}
  void Connect(ff::Protocol, const std::string&) override {
    if (where_ == 'c') throw ff::EConnection("ingen tjener");
  }
  void Disconnect() override {
    if (where_ == 'd') throw ff::EConnection("kan ikke lukkes");
  }
  void StartSession(const std::string&) override {
    if (where_ == 's') throw ff::EConnection("sesjon nektet");
  }

 private:
  char where_;
};

TEST_F(SignOnTest, AutologonOnlyAsTheExactFirstParameter) {
  EXPECT_TRUE(signOn({"-autologon"}).windows.empty());
  EXPECT_FALSE(TerminateRequested());
  EXPECT_TRUE(module->ProsjektTable.Active());

  for (const QStringList& params : {QStringList{"x", "-autologon"}, QStringList{"-AUTOLOGON"}, QStringList{}}) {
    ResetTerminateRequest();
    const Outcome out = signOn(params);
    ASSERT_EQ(out.windows.size(), 1u) << "the sign-on window is shown";
    EXPECT_TRUE(TerminateRequested()) << "cancelled: the application is asked to end";
    EXPECT_FALSE(module->KvandrelEngine.Active());
    EXPECT_FALSE(module->ProsjektTable.Active()) << "nothing is opened";
  }
}

TEST_F(SignOnTest, TheLastParameterWithAnAtSignIsTheServer) {
  WriteSetting("Net_Servernavn", "fra_innstilling@10.0.0.1");
  signOn({"-autologon", "første@10.0.0.2", "andre@10.0.0.3"});
  EXPECT_EQ(module->KvandrelEngine.ServerName(), "andre@10.0.0.3");
  signOn({"-autologon"});
  EXPECT_EQ(module->KvandrelEngine.ServerName(), "fra_innstilling@10.0.0.1");
  EXPECT_EQ(module->KvandrelEngine.UserName(), GetUserName());
}

TEST_F(SignOnTest, FailuresEndTheProcessWithTheirCodesAfterTheErrorWindow) {
  const Outcome unreachable = [&] {
    WriteSetting("Net_Protokoll", "TCP/IP");
    return signOn({"-autologon"});
  }();
  EXPECT_EQ(unreachable.exitCodes, std::vector<int>{4098});
  EXPECT_EQ(unreachable.windows, std::vector<std::string>{"FEIL"}) << "the error window came first";
  EXPECT_EQ(unreachable.errorHeadline, "Finner ikke server");
  EXPECT_EQ(unreachable.errorFamily, "FlashFiler");
  EXPECT_EQ(unreachable.errorCode, "4098");

  WriteSetting("Net_Protokoll", "tcp/ip");
  const auto singleUser = [](TDataFiler& m) { m.KvandrelEngine.SetProtocol(ff::Protocol::SingleUser); };
  EXPECT_TRUE(signOn({"-autologon"}, singleUser).exitCodes.empty())
      << "another letter case leaves the protocol as it was";
  EXPECT_EQ(module->KvandrelEngine.GetProtocol(), ff::Protocol::SingleUser);

  WriteSetting("Net_Protokoll", "Single User");
  const Outcome session =
      signOn({"-autologon"}, [](TDataFiler& m) { m.KvandrelEngine.SetTransport(std::make_shared<FailingTransport>('s')); });
  EXPECT_EQ(session.exitCodes, std::vector<int>{4099});
  EXPECT_EQ(session.errorHeadline, "Sesjon kan ikke startes");
  EXPECT_FALSE(module->ProsjektTable.Active());
}

TEST_F(SignOnTest, AFailedConnectionNamesWhatWasTriedAndTheWayWithoutAServer) {
  const auto tried = [&](const std::string& protocol) {
    WriteSetting("Net_Protokoll", protocol);
    const Outcome out = signOn({"-autologon", "ff_server@10.0.0.9"});
    EXPECT_EQ(out.exitCodes, std::vector<int>{4098}) << protocol;
    EXPECT_EQ(out.errorHeadline, "Finner ikke server");
    // Under what was tried, the cause: here a client configuration without a user.
    const auto cause = out.errorLine.find("\nKlientoppsettet ");
    EXPECT_NE(cause, std::string::npos) << out.errorLine;
    return out.errorLine.substr(0, cause);
  };
  EXPECT_EQ(tried(""),
            "Protokoll TCP/IP (Net_Protokoll er tom), server ff_server@10.0.0.9. \"Single User\" trenger ingen server.")
      << "an empty setting leaves the engine's design value";
  EXPECT_EQ(tried("TCP/IP"), "Protokoll TCP/IP, server ff_server@10.0.0.9. \"Single User\" trenger ingen server.");
  EXPECT_EQ(tried("Enkel"),
            "Protokoll TCP/IP (Net_Protokoll \"Enkel\" er ukjent), server ff_server@10.0.0.9. \"Single User\" trenger "
            "ingen server.");
}

// A new user's first step: "Ok" clicked with the mouse while the user name box has the focus.
// Leaving the box loads the user's own settings file, whose connection settings Ok then saves.
TEST_F(SignOnTest, OkClickedWithTheMouseSignsOnThroughTheUsersOwnFile) {
  settings_test::EnvVar user("USERNAME", std::string("kari"));
  const std::string alias = GetNetAlias();
  const auto clickOk = [](TBrukerform& form) {
    form.activateWindow();
    form.Edit1->setFocus();
    QTest::mouseClick(form.BitBtn1, Qt::LeftButton);
  };
  SetUserName("kari");
  UseUserSettingsFile();
  WriteSetting("Net_Alias", alias);
  WriteSetting("Net_Protokoll", "Single User");
  const std::string ownFile = CurrentSettingsFile();
  UseCommonSettingsFile();
  WriteSetting("Net_Protokoll", "Single User");

  const Outcome signedOn = signOn({}, nullptr, clickOk);
  EXPECT_TRUE(signedOn.exitCodes.empty());
  EXPECT_TRUE(module->KvandrelEngine.Active());
  EXPECT_TRUE(module->ProsjektTable.Active());
  EXPECT_EQ(ReadSetting("Net_Protokoll"), "Single User");

  std::filesystem::remove(ownFile);
  const Outcome withoutOwnFile = signOn({}, nullptr, clickOk);
  EXPECT_EQ(withoutOwnFile.exitCodes, std::vector<int>{4098});
  EXPECT_EQ(withoutOwnFile.errorLine.rfind("Protokoll TCP/IP (Net_Protokoll er tom)", 0), 0u) << withoutOwnFile.errorLine;
  EXPECT_EQ(ReadSetting("Net_Protokoll"), "") << "what the window saved from the missing file";
}

TEST_F(SignOnTest, AFailingDisconnectEndsWith4097) {
  // Connected already: the sign-on must disconnect first, and that fails.
  const Outcome out = signOn({"-autologon"}, [](TDataFiler& m) {
    m.KvandrelEngine.SetProtocol(ff::Protocol::SingleUser);
    m.KvandrelEngine.SetTransport(std::make_shared<FailingTransport>('d'));
    m.KvandrelEngine.SetActive(true);
  });
  EXPECT_EQ(out.exitCodes, std::vector<int>{4097});
  EXPECT_EQ(out.errorHeadline, "Server kan ikke lukkes");
}

TEST_F(SignOnTest, WorkingTimeSettingsAreLoadedAtSignOn) {
  WriteSetting("Arbeid_PauseTid1", "11:30:00");
  WriteSetting("Arbeid_PauseLengd1", "30");
  WriteSetting("Arbeid_ArbeidsTidSlutt", "15:30");
  signOn({"-autologon"});
  EXPECT_EQ(module->PauseStart[0], "11:30");
  EXPECT_EQ(module->PauseLength[0], 30);
  EXPECT_EQ(module->WorkdayEnd, "15:30");
}

}  // namespace
