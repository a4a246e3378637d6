#include "settings/windows/ScreenCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

ScreenCursor current = ScreenCursor::Default;
// True while this module has an override cursor pushed on Qt's stack.
bool overridePushed = false;

bool haveGuiApplication() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

void mirrorToQt(ScreenCursor cursor) {
  if (cursor == ScreenCursor::Hourglass && !overridePushed && haveGuiApplication()) {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    overridePushed = true;
  } else if (cursor == ScreenCursor::Default && overridePushed) {
    if (haveGuiApplication()) QGuiApplication::restoreOverrideCursor();
    overridePushed = false;
  }
}

}  // namespace

void SetScreenCursor(ScreenCursor cursor) {
  current = cursor;
  mirrorToQt(cursor);
}

ScreenCursor CurrentScreenCursor() { return current; }

bool ScreenCursorIsHourglass() { return current == ScreenCursor::Hourglass; }
