// The program's application object. Every event passes through one catcher, so that a failure
// reaching the event loop is shown to the user and the loop goes on.
#pragma once

#include <QApplication>

#include <string>

class TApplication : public QApplication {
  Q_OBJECT

 public:
  // REQUIRES: argc and argv outlive the application (as for QApplication).
  TApplication(int& argc, char** argv);

  // Delivers event to receiver and returns what the receiver returned. The silent abort
  // (ff::EAbort) is swallowed; any other exception is shown in the standard error box and
  // false is returned. Never throws.
  bool notify(QObject* receiver, QEvent* event) override;

  // Shows message in the standard error box: a critical message box with the application's
  // name as caption and one "OK" button, shown modally through ExecModal.
  // Throws what the modal seam throws.
  static void ShowException(const std::string& message);
};
