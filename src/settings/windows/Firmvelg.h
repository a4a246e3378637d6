// The company chooser: is the firm being registered a customer or a supplier?
#pragma once

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QKeyEvent;
class QPushButton;
class QRadioButton;
class QShowEvent;

// Set when the chooser closes with "O&k": true iff the first item (customer) was chosen.
// False at start; kept by "&Avbryt" and by the close box.
extern bool NewCompanyIsCustomer;
// Set false when the chooser closes with "O&k", true with "&Avbryt" (or Esc). False at start;
// kept by the close box.
extern bool NewCompanyCancelled;

// Created, shown modally and released for each use.
class TVelgFirmaVindu : public QDialog {
  Q_OBJECT

 public:
  explicit TVelgFirmaVindu(QWidget* parent = nullptr);

  QGroupBox* NyvalgKnott;
  // The two items of NyvalgKnott; the first is selected at start.
  QRadioButton* NyvalgItem1;
  QRadioButton* NyvalgItem2;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

  // Returns 0 or 1 for the selected item, -1 when none is.
  int ItemIndex() const;

  // The items get the texts of "FirmaDef1" and "FirmaDef2" (empty when missing).
  void FormShow();
  // Records the choice and closes with Accepted.
  void OKBtnClick();
  // Records the cancel and closes with Rejected.
  void CancelBtnClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QButtonGroup* items_;
};

// Shows a new chooser centred on the screen, modally, and releases it; the answer is in
// NewCompanyIsCustomer and NewCompanyCancelled.
void ShowCompanyChooser();
