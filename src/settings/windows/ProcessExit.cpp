#include "settings/windows/ProcessExit.h"

#include <QCoreApplication>

#include <cstdlib>

namespace {

bool terminateRequested = false;

EndProcessHandler& installedHandler() {
  static EndProcessHandler handler;
  return handler;
}

}  // namespace

void EndProcess(int code) {
  const EndProcessHandler handler = installedHandler();
  if (!handler) std::_Exit(code);
  handler(code);
}

void SetEndProcessHandler(EndProcessHandler handler) { installedHandler() = std::move(handler); }

void RequestTerminate() {
  terminateRequested = true;
  // Queued, so that a request made before the event loop starts ends it as soon as it runs.
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
  }
}

bool TerminateRequested() { return terminateRequested; }

void ResetTerminateRequest() { terminateRequested = false; }
