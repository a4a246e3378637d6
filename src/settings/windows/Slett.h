// The delete confirmation: one question, "O&k" or "&Avbryt", with "&Avbryt" focused.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;

// Closes with Accepted for "O&k" and Rejected for "&Avbryt", Esc or closing.
class TSlettedialog : public QDialog {
  Q_OBJECT

 public:
  explicit TSlettedialog(QWidget* parent = nullptr);

  QLabel* Label1;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;
};

// Asks question in a delete confirmation and returns true iff it was answered "O&k".
bool AskDelete(const std::string& question);
