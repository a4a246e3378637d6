// The one way the program shows a window modally, so that tests can answer it by script.
#pragma once

#include <functional>

class QDialog;

// Decides a shown modal dialog: it may click buttons, type or press keys in the dialog, and
// returns the dialog's result code.
using ModalHandler = std::function<int(QDialog& dlg)>;

// Shows dlg modally and returns its result code. Without an installed handler this is
// dlg.exec(). With one, dlg is shown as exec() would show it (modal, active, its pending events
// handled), the handler decides, and dlg is closed with the handler's code if it is still open.
// Throws whatever the handler throws (dlg is closed first).
int ExecModal(QDialog& dlg);

// Installs handler for every later ExecModal; an empty function restores dlg.exec().
void SetModalHandler(ModalHandler handler);

// Answers the dialogs for which no handler is installed, instead of dlg.exec(). Test programs
// install one that fails the test, so that an unexpected window never waits for a person.
void SetFallbackModalHandler(ModalHandler handler);

// Installs a handler for its own lifetime and restores the previous one on destruction.
class ScopedModalHandler {
 public:
  explicit ScopedModalHandler(ModalHandler handler);
  ~ScopedModalHandler();
  ScopedModalHandler(const ScopedModalHandler&) = delete;
  ScopedModalHandler& operator=(const ScopedModalHandler&) = delete;

 private:
  ModalHandler previous_;
};
