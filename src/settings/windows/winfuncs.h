// The message window (question, information, input line, error message), the log of error
// messages, and the calendar helpers of the sales rules.
#pragma once

#include <QDialog>

#include <cstdint>
#include <stdexcept>
#include <string>

class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// Kind of a message window: caption, buttons, input line and whether it is logged.
enum TMsgKind : std::uint8_t { MsgQuestion = 0, MsgInfo = 1, MsgInput = 2, MsgError = 3 };

// What was in the input line when the last MsgInput window closed, whatever closed it; at
// most 255 characters. Empty at start.
extern std::string MsgInputText;

// The log file could not be created, opened or written.
class LogWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The one message window, reconfigured by every ShowMsg. Closes with Accepted for "Ja", "Ok"
// or Enter in the input line, and with Rejected for "Nei", Esc or the close box.
class TMsgForm : public QDialog {
  Q_OBJECT

 public:
  explicit TMsgForm(QWidget* parent = nullptr);

  // Sets caption, texts, width, placement and visible controls for one message; shows nothing.
  // REQUIRES: kind is one of the four kinds; each line has at most 255 characters.
  void Prepare(const std::string& line1, const std::string& line2, const std::string& line3,
               TMsgKind kind);

  QLabel* FeilMsg;
  QLabel* Msg1;
  QLabel* Msg2;
  QLineEdit* LetStr;
  QPushButton* JaKnapp;
  QPushButton* OkKnapp;
  QPushButton* NeiKnapp;
  QLabel* LetLabel;
  QCheckBox* Hurtig;
  QCheckBox* FraStart;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  // Enter closes with Accepted, Esc with Rejected; returns true iff the key was used.
  bool LetStrKeyDown(const QKeyEvent& key);
  void setTexts(const std::string& line1, const std::string& line2, const std::string& line3,
                TMsgKind kind);
  int fittingWidth(TMsgKind kind) const;
  void centreLabels(int width);
  void placeButtons(int width, TMsgKind kind);
  void placeInputLine(int width, TMsgKind kind);
};

// Creates the program's message window unless it exists (start-up does this once).
void CreateMsgForm();

// Returns the program's message window; nullptr before CreateMsgForm or after FreeMsgForm.
TMsgForm* MsgForm();

// Destroys the program's message window (program end). REQUIRES: it is not showing.
void FreeMsgForm();

// Shows a message modally and returns true iff it closed with "Ja", "Ok" or Enter in the input
// line. Lines longer than 255 characters are cut. MsgInput stores the input line in
// MsgInputText; MsgError then appends "FEILMELDING (<stored user name>): line1 line2 line3"
// to the log. Uses the program's message window (created when missing); a call made while
// that window is showing gets a window of its own.
// Throws LogWriteError for MsgError when the log cannot be written (the window has closed).
bool ShowMsg(const std::string& line1, const std::string& line2, const std::string& line3,
             TMsgKind kind);

// Appends one line to the log: "dd.mm.yyyy hh:mm:ss", two blanks, text; cut at 255 characters,
// ending in CR LF. Creates the log file when missing; nothing stays open afterwards.
// Throws LogWriteError when the file cannot be created, opened or written.
void WriteLog(const std::string& text);

// Returns the log file: the log folder, then the program file's name up to its first ".",
// then ".LOG".
std::string LogFileName();

// Makes folder the log folder; an empty text restores the program's own folder.
void SetLogFolder(const std::string& folder);

// Returns the date (days since 30 December 1899, no time of day) days days after today.
double DateAfterDays(std::uint16_t days);

// Returns true iff year is a leap year of the Gregorian calendar.
bool YearIsLeap(std::uint16_t year);
