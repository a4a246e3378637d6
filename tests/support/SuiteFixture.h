// A whole suite for tests of the data module and its rules: a temporary alias holding the 32
// business tables (optionally the sample firm), a settings store in a temporary folder that
// opens every table group on that alias with "Single User", and a signed-on data module.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/SuiteDatabase.h"
#include "db/Tableuni.h"
#include "db/datafile.h"
#include "db/ff/Clock.h"
#include "db/ff/Field.h"
#include "settings/Felles.h"
#include "settings/ModalSeam.h"
#include "settings/ProcessExit.h"
#include "support/TempAlias.h"

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
    module = std::make_unique<TDataFiler>();
    DataFiler = module.get();
    CreateSuiteTables(DefaultSessionForSetup(), db.alias());
    if (demo_) FillDemoData(DefaultSessionForSetup(), db.alias());
    SetModalHandler(nullptr);
    module->DataFilerCreate({"-autologon"});
  }

  void TearDown() override {
    module.reset();
    SetModalHandler(nullptr);
    ff::SetClock(nullptr);
  }

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

  bool demo_;
  std::string settingsFolder_;
};

// The same with the sample firm's rows in the tables.
class DemoSuiteFixture : public SuiteFixture {
 protected:
  DemoSuiteFixture() : SuiteFixture(true) {}
};
