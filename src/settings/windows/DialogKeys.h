// Keys shared by the suite's dialogs.
#pragma once

class QAbstractButton;
class QKeyEvent;

// The suite's dialogs answer Esc by clicking their cancel button (its handler runs), while the
// close box only rejects. Clicks button and returns true iff key is Esc without modifiers.
bool ClickOnPlainEscape(const QKeyEvent& key, QAbstractButton& button);
