#include "settings/windows/ModalSeam.h"

#include <QCoreApplication>
#include <QDialog>

namespace {

ModalHandler& installedHandler() {
  static ModalHandler handler;
  return handler;
}

ModalHandler& fallbackHandler() {
  static ModalHandler handler;
  return handler;
}

// Shows dlg the way exec() would before its event loop starts.
void showAsModal(QDialog& dlg) {
  dlg.setAttribute(Qt::WA_ShowModal, true);
  dlg.show();
  dlg.activateWindow();
  QCoreApplication::processEvents();
}

void closeIfOpen(QDialog& dlg, int code, bool wasShowModal) {
  if (dlg.isVisible()) dlg.done(code);
  dlg.setAttribute(Qt::WA_ShowModal, wasShowModal);
}

int runScripted(QDialog& dlg, const ModalHandler& handler) {
  const bool wasShowModal = dlg.testAttribute(Qt::WA_ShowModal);
  showAsModal(dlg);
  int code;
  try {
    code = handler(dlg);
  } catch (...) {
    closeIfOpen(dlg, QDialog::Rejected, wasShowModal);
    throw;
  }
  closeIfOpen(dlg, code, wasShowModal);
  return code;
}

}  // namespace

int ExecModal(QDialog& dlg) {
  // A copy, so that a handler that installs another handler does not destroy itself.
  const ModalHandler handler = installedHandler() ? installedHandler() : fallbackHandler();
  return handler ? runScripted(dlg, handler) : dlg.exec();
}

void SetFallbackModalHandler(ModalHandler handler) { fallbackHandler() = std::move(handler); }

void SetModalHandler(ModalHandler handler) { installedHandler() = std::move(handler); }

ScopedModalHandler::ScopedModalHandler(ModalHandler handler) : previous_(installedHandler()) {
  SetModalHandler(std::move(handler));
}

ScopedModalHandler::~ScopedModalHandler() { SetModalHandler(std::move(previous_)); }
