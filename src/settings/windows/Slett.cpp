#include "settings/windows/Slett.h"

#include <QLabel>
#include <QPushButton>

#include "settings/windows/ModalSeam.h"
#include "settings/windows/WindowLook.h"

namespace {

constexpr int kClientWidth = 346;
constexpr int kClientHeight = 121;
constexpr int kButtonTop = 84;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int left) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(left, kButtonTop, 75, 25);
  return button;
}

}  // namespace

TSlettedialog::TSlettedialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("Slettedialog");
  setWindowTitle("Slett");
  setFixedSize(kClientWidth, kClientHeight);

  Label1 = new QLabel("Vil du slette denne fra filen?", this);
  Label1->setObjectName("Label1");
  Label1->setTextFormat(Qt::PlainText);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setWordWrap(true);
  Label1->setGeometry(8, 8, kClientWidth - 16, 68);
  StyleAsHeadline(*Label1, true);

  OKBtn = makeButton(this, "OKBtn", "O&k", 92);
  CancelBtn = makeButton(this, "CancelBtn", "&Avbryt", 180);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  // A delete is never the answer of a careless Enter.
  CancelBtn->setFocus();
  CancelBtn->setDefault(true);
}

bool AskDelete(const std::string& question) {
  TSlettedialog dialog;
  dialog.Label1->setText(QString::fromStdString(question));
  CentreOnScreen(dialog);
  return ExecModal(dialog) == QDialog::Accepted;
}
