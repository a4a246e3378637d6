// Table helper routines: table operations that never let a failure escape. Each catches the
// table layer's error, shows it in a fatal error window with the table's name, and reports
// success as a Boolean. Also the shared delete guard and the error reporter.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>

class QLabel;
class QMenuBar;
class QPushButton;
class QStatusBar;

namespace ff {
class TffTable;
}

// While set (only during the data module's OpenAllFiles), ShowTableError shows nothing and
// OpenTable reports nothing. False at start.
extern bool SuppressTableErrors;

// The fatal error window "FEIL": headline, detail line, O&k, a status bar with the error
// family, the code and a further text, and the menu "&Handling".
class TErrorForm : public QDialog {
  Q_OBJECT
 public:
  explicit TErrorForm(QWidget* parent = nullptr);

  QLabel* Label1;
  QLabel* Label2;
  QPushButton* BitBtn1;
  QStatusBar* StatusBar;
  QLabel* Panels[3];
  QMenuBar* MainMenu1;

  // "Avslutt program": asks the application to terminate.
  void Avsluttprogram1Click();
  // "Avbryt program": ends the process at once with exit code 0.
  void Avbrytprogram1Click();
  // "Drep program": tears the application down and ends the program.
  void Drepprogram1Click();
};

// Shows a fresh error window for code, message and detail (unless SuppressTableErrors).
void ShowTableError(std::uint32_t code, const std::string& message, const std::string& detail);

// True when the table is open afterwards. Closes an open table first; an empty database
// name becomes GetNetAlias(), else "KvistMerket". Reports 4100 (known alias) or 4101.
bool OpenTable(ff::TffTable& table);
void CloseTable(ff::TffTable& table);
bool EditTable(ff::TffTable& table);
bool PostTable(ff::TffTable& table);
bool FirstRecord(ff::TffTable& table);
bool FilterTable(ff::TffTable& table, const std::string& filter);
// For an open table: selects the index, creating it on the field of the same name when
// missing. A failure of the second attempt passes to the caller.
void SetTableIndex(ff::TffTable& table, const std::string& indexName);
void CreateTableIndex(ff::TffTable& table, const std::string& indexName, const std::string& fields,
                      unsigned options = 0);
// True when the current row may be deleted ("Bekreft_Slett" exactly "Nei", or the user agrees).
bool ConfirmDelete();
