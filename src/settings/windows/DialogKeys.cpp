#include "settings/windows/DialogKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>

bool ClickOnPlainEscape(const QKeyEvent& key, QAbstractButton& button) {
  if (key.key() != Qt::Key_Escape || key.modifiers() != Qt::NoModifier) return false;
  button.click();
  return true;
}
