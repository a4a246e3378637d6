#include "settings/windows/Application.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <QtGlobal>

#include <algorithm>
#include <deque>
#include <memory>

#include "store/Errors.h"
#include "settings/windows/ModalSeam.h"

namespace {

// One error box at a time. Failures arriving while a box is open (its modal loop handles
// events) wait their turn; one already showing or waiting is not queued twice, so a timer
// failing on every tick cannot pile up boxes without end.
bool showingErrorBox = false;
std::string showingMessage;
std::deque<std::string> waitingMessages;

bool alreadyInLine(const std::string& message) {
  return message == showingMessage ||
         std::find(waitingMessages.begin(), waitingMessages.end(), message) != waitingMessages.end();
}

// notify must not let anything escape into Qt's own frames, not even a failing box.
void showWithoutThrowing(const std::string& message) {
  try {
    TApplication::ShowException(message);
  } catch (const std::exception& e) {
    qCritical("%s (%s)", message.c_str(), e.what());
  } catch (...) {
    qCritical("%s", message.c_str());
  }
}

void reportUnhandled(const std::string& message) {
  if (showingErrorBox) {
    if (!alreadyInLine(message)) waitingMessages.push_back(message);
    return;
  }
  showingErrorBox = true;
  waitingMessages.push_back(message);
  while (!waitingMessages.empty()) {
    showingMessage = waitingMessages.front();
    waitingMessages.pop_front();
    showWithoutThrowing(showingMessage);
  }
  showingMessage.clear();
  showingErrorBox = false;
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) { InstallQtNorwegian(); }

bool TApplication::InstallQtNorwegian() {
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* language : {"nb", "no", "nn"}) {
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    const bool loaded = translator->load(QString("qtbase_") + language, folder);
    if (loaded && QCoreApplication::installTranslator(translator.get())) {
      translator.release();
      return true;
    }
  }
  return false;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const ff::EAbort&) {
    return false;
  } catch (const std::exception& e) {
    reportUnhandled(e.what());
  } catch (...) {
    reportUnhandled("Ukjent feil");
  }
  return false;
}

void TApplication::ShowException(const std::string& message) {
  QMessageBox box(QMessageBox::Critical, "Feil",
                  QString::fromStdString(message), QMessageBox::Ok);
  box.setObjectName("ErrorBox");
  box.setTextFormat(Qt::PlainText);
  ExecModal(box);
}
