#include "settings/windows/WindowLook.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

void CentreOnScreen(QWidget& window) {
  QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

void StyleAsHeadline(QLabel& label, bool bold) {
  QFont font("Arial");
  font.setPixelSize(16);
  font.setBold(bold);
  label.setFont(font);
  QPalette palette = label.palette();
  palette.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
  label.setPalette(palette);
}
