#include "settings/ProcessExit.h"

#include <cstdlib>

namespace {

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
