// The progress window shown during long operations, and the routines that drive it.
#pragma once

#include <QWidget>

#include <functional>
#include <string>

class QKeyEvent;
class QLabel;
class QProgressBar;

// A modeless window with one line of text (VisLabel) over a progress bar (Shape, 0 to 100).
// Esc without a modifier raises the silent abort (ff::EAbort) from the key handler; the window
// stays open.
class TVisProsessForm : public QWidget {
  Q_OBJECT

 public:
  explicit TVisProsessForm(QWidget* parent = nullptr);

  QLabel* VisLabel;
  QProgressBar* Shape;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Throws ff::EAbort for Esc without modifiers; returns false for every other key.
  bool FormKeyDown(const QKeyEvent& key);
};

// Opens a new progress window with caption as its title and the bar at 0, without waiting,
// and makes it the current one. A current window left open by an earlier call is closed first.
void ShowProgress(const std::string& caption);

// Sets the current window's text and repaints it at once. Does nothing without a window.
void SetProgressText(const std::string& text);

// Moves the current window's bar to percent (clamped to 0..100). Does nothing without a window.
void SetProgressPosition(int percent);

// Closes the current window; it is destroyed once pending events are handled. Does nothing
// without a window.
void CloseProgress();

// Tells observer of every position set on an open window (tests follow long operations so).
// An empty function removes it.
void SetProgressPositionObserver(std::function<void(int percent)> observer);

// Returns the current progress window, or nullptr when none is open.
TVisProsessForm* VisProsessForm();
