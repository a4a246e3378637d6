// The sign-on dialog: picks the FlashFiler database alias, for later sign-ons only ("O&k") or
// at once, re-opening every table of the data module ("&Endre alle").
#pragma once

#include <QDialog>

class QComboBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QShowEvent;
class TableGroupControl;

namespace ff {
class TffSession;
}

// Kept for the whole run and reused on each opening (ExecModal). Every close, whatever the
// button, stores the alias shown under "Database_SistBrukt"; Esc works as "&Avbryt".
class TAliasdialog : public QDialog {
  Q_OBJECT

 public:
  // serversession gives the alias names; tables closes and re-opens the data module's tables.
  // REQUIRES: both outlive the dialog's openings.
  TAliasdialog(const ff::TffSession& serversession, TableGroupControl& tables,
               QWidget* parent = nullptr);

  QLabel* Label1;
  QComboBox* Aliasnavn;
  QPushButton* BrukKnapp;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

  // Fills the list with the session's aliases, shows the stored alias, focuses and selects it.
  // Throws ff::Error when the alias registry cannot be read.
  void FormShow();
  // Stores the alias shown under "Database_SistBrukt".
  void FormClose();
  // Stores the alias under "Net_Alias" and closes with Accepted.
  void OKBtnClick();
  // Stores the alias under "Net_Alias", closes and re-opens every table, and closes with
  // Accepted. The dialog closes even when re-opening throws; the exception passes on.
  void BrukKnappClick();
  // Shows the stored alias again and closes with Rejected.
  void CancelBtnClick();
  // Shows the stored alias (GetNetAlias) in the box.
  void GetBrukerData();
  void HentNyttKnappClick();
  void BitBtn4Click();

 public slots:
  // Runs FormClose, then closes.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void storeAlias();

  const ff::TffSession& serversession_;
  TableGroupControl& tables_;
};
