// Opens the conversion window on the settings found from the working folder.
// KV_SCREENSHOT=FILE.png: shows the window with the first table's SQL in the pane, saves a
// picture of it and ends (for the documentation and for headless demos).
#include <QTimer>

#include "app/FF2MySQL.h"
#include "settings/Application.h"
#include "settings/Felles.h"

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  try {
    InitSettingsStore();
  } catch (const std::exception& e) {
    TApplication::ShowException(e.what());
  }
  TMySQLConvert window;
  window.show();
  if (const QString picture = qEnvironmentVariable("KV_SCREENSHOT"); !picture.isEmpty()) {
    window.BitBtn4Click();
    QTimer::singleShot(1000, &window, [&window, picture] {
      const bool saved = window.grab().save(picture);
      QCoreApplication::exit(saved ? 0 : 1);
    });
  }
  return app.exec();
}
