// The program's application object. Every event passes through one catcher, so that a failure
// reaching the event loop is shown to the user and the loop goes on.
#pragma once

#include <QApplication>

#include <string>

class TApplication : public QApplication {
  Q_OBJECT

 public:
  // Installs Qt's own Norwegian translations (see InstallQtNorwegian), so that the standard
  // buttons and dialogs of Qt speak Norwegian too.
  // REQUIRES: argc and argv outlive the application (as for QApplication).
  TApplication(int& argc, char** argv);

  // Loads Qt's Norwegian translation (Bokmål where installed, else Nynorsk, which Debian ships
  // in qt6-translations-l10n) into the application. Returns false when none is installed; Qt
  // then keeps its English texts.
  static bool InstallQtNorwegian();

  // Delivers event to receiver and returns what the receiver returned. The silent abort
  // (ff::EAbort) is swallowed; any other exception is shown in the standard error box and
  // false is returned. Never throws.
  bool notify(QObject* receiver, QEvent* event) override;

  // Shows message in the standard error box: a critical message box with the caption "Feil"
  // and one OK button (in Qt's Norwegian when installed), shown modally through ExecModal.
  // Throws what the modal seam throws.
  static void ShowException(const std::string& message);
};
