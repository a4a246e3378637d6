#include "settings/windows/Dbdialog.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include <string>
#include <vector>

#include "store/Session.h"
#include "settings/windows/DialogKeys.h"
#include "settings/Felles.h"
#include "settings/TableGroups.h"
#include "settings/windows/WindowLook.h"

namespace {

constexpr int kClientWidth = 280;
constexpr int kClientHeight = 124;
constexpr int kButtonTop = 84;

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int left) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(left, kButtonTop, 80, 27);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TAliasdialog::TAliasdialog(const ff::TffSession& serversession, TableGroupControl& tables,
                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      serversession_(serversession),
      tables_(tables) {
  setObjectName("Aliasdialog");
  setWindowTitle("Pålogging");
  setFixedSize(kClientWidth, kClientHeight);
  setFont(QFont("Arial"));

  Label1 = new QLabel("Database:", this);
  Label1->setObjectName("Label1");
  Label1->move(16, 16);
  Aliasnavn = new QComboBox(this);
  Aliasnavn->setObjectName("Aliasnavn");
  Aliasnavn->setEditable(true);
  Aliasnavn->setInsertPolicy(QComboBox::NoInsert);
  Aliasnavn->setGeometry(16, 36, kClientWidth - 32, 24);
  Label1->setBuddy(Aliasnavn);

  BrukKnapp = makeButton(this, "BrukKnapp", "&Endre alle", 16);
  OKBtn = makeButton(this, "OKBtn", "O&k", 100);
  OKBtn->setDefault(true);
  CancelBtn = makeButton(this, "CancelBtn", "&Avbryt", 184);
  connect(BrukKnapp, &QPushButton::clicked, this, &TAliasdialog::BrukKnappClick);
  connect(OKBtn, &QPushButton::clicked, this, &TAliasdialog::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TAliasdialog::CancelBtnClick);
  CentreOnScreen(*this);
}

void TAliasdialog::GetBrukerData() { Aliasnavn->setEditText(QString::fromStdString(GetNetAlias())); }

void TAliasdialog::HentNyttKnappClick() { GetBrukerData(); }

void TAliasdialog::BitBtn4Click() { GetBrukerData(); }

void TAliasdialog::FormShow() {
  std::vector<std::string> aliases;
  serversession_.GetAliasNames(aliases);
  Aliasnavn->clear();
  for (const std::string& alias : aliases) Aliasnavn->addItem(QString::fromStdString(alias));
  GetBrukerData();
  Aliasnavn->setFocus(Qt::OtherFocusReason);
  Aliasnavn->lineEdit()->selectAll();
}

void TAliasdialog::FormClose() {
  WriteSetting("Database_SistBrukt", Aliasnavn->currentText().toStdString());
}

void TAliasdialog::OKBtnClick() {
  storeAlias();
  accept();
}

void TAliasdialog::BrukKnappClick() {
  storeAlias();
  try {
    tables_.CloseAllFiles();
    tables_.OpenAllFiles();
  } catch (...) {
    accept();
    throw;
  }
  accept();
}

void TAliasdialog::CancelBtnClick() {
  GetBrukerData();
  reject();
}

void TAliasdialog::storeAlias() { WriteSetting("Net_Alias", Aliasnavn->currentText().toStdString()); }

void TAliasdialog::done(int result) {
  FormClose();
  QDialog::done(result);
}

void TAliasdialog::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TAliasdialog::keyPressEvent(QKeyEvent* event) {
  if (!ClickOnPlainEscape(*event, *CancelBtn)) QDialog::keyPressEvent(event);
}
