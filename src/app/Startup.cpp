#include "app/Startup.h"

#include <QComboBox>
#include <QTimer>

#include <iostream>
#include <memory>

#include "app/FF2MySQL.h"
#include "db/datamodule/Tableuni.h"
#include "db/datamodule/datafile.h"
#include "rules/BusinessRules.h"
#include "settings/windows/Application.h"
#include "settings/windows/Dbdialog.h"
#include "settings/Felles.h"
#include "settings/windows/ProcessExit.h"
#include "settings/windows/bruker.h"
#include "settings/windows/winfuncs.h"
#include "store/backends/StandardBackends.h"

namespace {

std::vector<std::string> words(const QStringList& parameters) {
  std::vector<std::string> out;
  for (const QString& p : parameters) out.push_back(p.toStdString());
  return out;
}

// Demonstration and documentation mode: KV_SCREENSHOT=FILE.png shows the window with a
// table's SQL in the pane (KV_SCREENSHOT_TABLE, else the first), runs it on "MySQLweb" when
// KV_SCREENSHOT_RUN=1, saves a picture and ends the program.
void scheduleScreenshot(TMySQLConvert& window) {
  const QString picture = qEnvironmentVariable("KV_SCREENSHOT");
  if (picture.isEmpty()) return;
  QTimer::singleShot(300, &window, [&window, picture] {
    const QString table = qEnvironmentVariable("KV_SCREENSHOT_TABLE");
    if (const int index = window.TableCombo->findText(table, Qt::MatchFixedString); index >= 0) {
      window.TableCombo->setCurrentIndex(index);
      window.TableComboChange();
    }
    window.BitBtn4Click();
    if (qEnvironmentVariable("KV_SCREENSHOT_RUN") == "1") {
      // No one is there to close an error box: the error goes to the terminal instead.
      try {
        window.BitBtn6Click();
      } catch (const std::exception& e) {
        std::cerr << "kvist-convert: " << e.what() << '\n';
      }
    }
    QTimer::singleShot(700, &window, [&window, picture] {
      if (!window.grab().save(picture)) std::cerr << "kvist-convert: kan ikke lagre " << picture.toStdString() << '\n';
      window.close();
    });
  });
}

// Everything start-up creates, destroyed in reverse order at shutdown.
struct ProgramObjects {
  std::unique_ptr<TMySQLConvert> mainWindow;
  std::unique_ptr<TDataFiler> dataModule;
  std::unique_ptr<TAliasdialog> aliasDialog;
  std::unique_ptr<TErrorForm> errorForm;

  ~ProgramObjects() {
    errorForm.reset();
    aliasDialog.reset();
    mainWindow.reset();
    DataFiler = nullptr;
    dataModule.reset();
    FreeMsgForm();
  }
};

void writeSettingsBack() {
  try {
    CloseSettings();
  } catch (const std::exception& e) {
    std::cerr << "kvist-convert: innstillingene ble ikke lagret: " << e.what() << '\n';
  }
}

}  // namespace

void PrepareProcess(const QStringList& parameters) {
  ff::RegisterStandardBackends();
  try {
    InitSettingsStore();
  } catch (const std::exception& e) {
    std::cerr << "kvist-convert: " << e.what() << '\n';
  }
  ApplyBrukerSwitch(words(parameters));
}

int RunProgram(const QStringList& parameters) {
  SetSignOnErrorReporter(ShowTableError);
  {
    ProgramObjects objects;
    objects.mainWindow = std::make_unique<TMySQLConvert>();
    objects.dataModule = std::make_unique<TDataFiler>();
    BindBusinessRules(*objects.dataModule);
    DataFiler = objects.dataModule.get();
    objects.dataModule->DataFilerCreate(parameters);
    objects.aliasDialog = std::make_unique<TAliasdialog>(objects.dataModule->Serversession, *objects.dataModule);
    objects.errorForm = std::make_unique<TErrorForm>();
    CreateMsgForm();
    // A run asked to end while starting (a cancelled sign-on) shows no window: the main
    // window would only list and open tables of a database nobody signed on to.
    if (!TerminateRequested()) {
      objects.mainWindow->showMaximized();
      scheduleScreenshot(*objects.mainWindow);
      QApplication::exec();
    }
  }
  writeSettingsBack();
  return 0;
}
