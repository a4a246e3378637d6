// A whole suite for tests of the data module and its rules: a temporary alias holding the 32
// business tables (optionally the sample firm), a settings store in a temporary folder that
// opens every table group on that alias with "Single User", and a signed-on data module.
#pragma once

#include <QDialog>
#include <QLabel>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "db/SuiteDatabase.h"
#include "db/SuiteDemoFirm.h"
#include "db/datamodule/Tableuni.h"
#include "db/datamodule/datafile.h"
#include "store/Clock.h"
#include "store/Aliases.h"
#include "store/Field.h"
#include "settings/Felles.h"
#include "settings/windows/ModalSeam.h"
#include "settings/windows/ProcessExit.h"
#include "settings/windows/Slett.h"
#include "support/TempAlias.h"

// Answers the suite's windows for as long as it lives: error windows are recorded as
// "headline|detail" and closed, delete confirmations are recorded and answered with
// `confirmDeletes`; any other window fails the test.
struct SuiteWindows {
  std::vector<std::string> errors;
  std::vector<std::string> questions;
  bool confirmDeletes = false;

  SuiteWindows() {
    SetModalHandler([this](QDialog& dialog) {
      if (auto* form = qobject_cast<TErrorForm*>(&dialog)) {
        errors.push_back(form->Label1->text().toStdString() + "|" + form->Label2->text().toStdString());
        return int(QDialog::Accepted);
      }
      if (auto* ask = qobject_cast<TSlettedialog*>(&dialog)) {
        questions.push_back(ask->Label1->text().toStdString());
        return int(confirmDeletes ? QDialog::Accepted : QDialog::Rejected);
      }
      ADD_FAILURE() << "unexpected window " << dialog.objectName().toStdString();
      return int(QDialog::Rejected);
    });
  }
  ~SuiteWindows() { SetModalHandler(nullptr); }
  SuiteWindows(const SuiteWindows&) = delete;
  SuiteWindows& operator=(const SuiteWindows&) = delete;
};

// One row to add: values by field name.
using SuiteRow = std::vector<std::pair<const char*, ff::Value>>;

// The table groups' open and folder keys.
inline const char* const kSuiteGroups[] = {"Personal", "Utstyr", "Timer", "Dokument", "Varer", "Vareregister",
                                          "Firma",    "Regnskap", "Reise", "Prosjekt", "Salg"};

class SuiteFixture : public ::testing::Test {
 protected:
  explicit SuiteFixture(bool demo = false) : demo_(demo) {}

  void SetUp() override {
    settingsFolder_ = db.root() + "/etc/";
    std::filesystem::create_directories(settingsFolder_);
    InitSettingsStore({settingsFolder_});
    WriteSetting("Net_Alias", db.alias());
    WriteSetting("Net_Protokoll", "Single User");
    WriteSetting("Brukernavn", "ola");
    for (const char* group : kSuiteGroups) {
      WriteSetting(std::string("Database_") + group + "_Åpnes", "1");
      WriteSetting(std::string("Database_") + group + "_Mappe", db.alias());
    }
    ResetTerminateRequest();
    copySuiteTables();
    module = std::make_unique<TDataFiler>();
    BindRules(*module);
    DataFiler = module.get();
    SetModalHandler(nullptr);
    module->DataFilerCreate({"-autologon"});
  }

  void TearDown() override {
    module.reset();
    SetModalHandler(nullptr);
    ff::SetClock(nullptr);
  }

  // Adds rows to a table through a handle of its own, as another user would; the module's
  // open handle of that table then refreshes, as after any other user's change.
  void AddRows(const std::string& tableName, const std::vector<SuiteRow>& rows) {
    ff::TffTable table("plain");
    table.SetDatabaseName(db.alias());
    table.SetTableName(tableName);
    table.Open();
    for (const SuiteRow& row : rows) {
      table.Append();
      for (const auto& [field, value] : row) table.FieldByName(field).SetValue(value);
      table.Post();
    }
    table.Close();
    for (ff::TffTable* moduleTable : module->Tables()) {
      if (moduleTable->Active() && ff::sameName(moduleTable->TableName(), tableName)) moduleTable->Refresh();
    }
  }

  // The data module runs without business rules unless a fixture binds them here.
  virtual void BindRules(TDataFiler&) {}

  // Fixes "today" for rules that read the clock.
  static void SetToday(int year, int month, int day, double timeOfDay = 0.5) {
    const double now = ff::encodeDate(year, month, day) + timeOfDay;
    ff::SetClock([now] { return now; });
  }

  // Every modal window is answered by `handler` (see ModalSeam.h).
  static void AnswerModals(ModalHandler handler) { SetModalHandler(std::move(handler)); }

  TempAlias db{"KVISTTEST"};
  std::unique_ptr<TDataFiler> module;

 private:
  // Tables are created through the built-in session, which needs no sign-on.
  static ff::TffSession& DefaultSessionForSetup() {
    static ff::TffCommsEngine engine("SetupEngine");
    static ff::TffSession session("SetupSession");
    if (!session.Active()) {
      engine.SetProtocol(ff::Protocol::SingleUser);
      session.SetEngine(&engine);
      engine.SetActive(true);
      session.SetActive(true);
    }
    return session;
  }

  // Creating 32 durable tables (and the sample firm) takes seconds, so it is done once per
  // build into a template folder (named after the schema, so a changed schema gets a new
  // one) that each test copies.
  void copySuiteTables() {
    const std::string source = suiteTemplate();
    for (const auto& entry : std::filesystem::directory_iterator(source)) {
      std::filesystem::copy(entry.path(), db.folder() + entry.path().filename().string());
    }
  }

  std::string suiteTemplate() {
    const std::string root = KV_BINARY_DIR "/test-suites/";
    const std::string folder = root + (demo_ ? "demo-" : "empty-") + schemaFingerprint() + "/";
    if (std::filesystem::exists(folder)) return folder;
    std::filesystem::create_directories(root);
    const int lock = ::open((root + "lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    ::flock(lock, LOCK_EX);
    if (!std::filesystem::exists(folder)) {
      const std::string building = folder.substr(0, folder.size() - 1) + ".building/";
      std::filesystem::remove_all(building);
      ff::AddAlias("KVISTMAL", building);
      CreateSuiteTables(DefaultSessionForSetup(), "KVISTMAL");
      if (demo_) FillDemoData(DefaultSessionForSetup(), "KVISTMAL");
      ff::RemoveAlias("KVISTMAL");
      std::filesystem::rename(building, folder);
    }
    ::close(lock);
    return folder;
  }

  static std::string schemaFingerprint() {
    std::string key;
    for (const TableSpec& t : BusinessSchema()) {
      key += t.component + ":" + t.tableName + ";";
      for (const auto& f : SuiteTableFields(t)) key += f.name + std::to_string(int(f.type)) + "/" + std::to_string(f.size) + ",";
      for (const auto& ix : SuiteTableIndexes(t)) key += ix.name + "=" + ff::joinFieldList(ix.fields) + ",";
    }
    for (const auto& table : DemoFirm()) key += table.component + std::to_string(table.rows.size());
    char hex[32];
    std::snprintf(hex, sizeof hex, "%016zx", std::hash<std::string>{}(key));
    return hex;
  }

  bool demo_;
  std::string settingsFolder_;
};

// The same with the sample firm's rows in the tables.
class DemoSuiteFixture : public SuiteFixture {
 protected:
  DemoSuiteFixture() : SuiteFixture(true) {}
};
