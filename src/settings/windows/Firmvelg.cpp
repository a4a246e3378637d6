#include "settings/windows/Firmvelg.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

#include "settings/windows/DialogKeys.h"
#include "settings/Felles.h"
#include "settings/windows/ModalSeam.h"
#include "settings/windows/WindowLook.h"

bool NewCompanyIsCustomer = false;
bool NewCompanyCancelled = false;

namespace {

constexpr int kClientWidth = 201;
constexpr int kClientHeight = 176;
constexpr int kButtonTop = 136;

QRadioButton* makeItem(QGroupBox* group, const char* name, const QString& caption, int top) {
  auto* item = new QRadioButton(caption, group);
  item->setObjectName(name);
  item->setGeometry(12, top, 160, 20);
  return item;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, int left) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(left, kButtonTop, 80, 27);
  return button;
}

}  // namespace

TVelgFirmaVindu::TVelgFirmaVindu(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName("VelgFirmaVindu");
  setWindowTitle("Registrer nytt firma");
  setFixedSize(kClientWidth, kClientHeight);
  QFont formFont("MS Sans Serif");
  formFont.setBold(true);
  setFont(formFont);

  NyvalgKnott = new QGroupBox("Velg:", this);
  NyvalgKnott->setObjectName("NyvalgKnott");
  NyvalgKnott->setGeometry(12, 8, kClientWidth - 24, 112);
  NyvalgItem1 = makeItem(NyvalgKnott, "NyvalgItem1", "&Kunde", 32);
  NyvalgItem2 = makeItem(NyvalgKnott, "NyvalgItem2", "&Leverandør", 64);
  items_ = new QButtonGroup(this);
  items_->addButton(NyvalgItem1, 0);
  items_->addButton(NyvalgItem2, 1);
  NyvalgItem1->setChecked(true);

  OKBtn = makeButton(this, "OKBtn", "O&k", 12);
  OKBtn->setDefault(true);
  CancelBtn = makeButton(this, "CancelBtn", "&Avbryt", 108);
  CancelBtn->setAutoDefault(false);
  connect(OKBtn, &QPushButton::clicked, this, &TVelgFirmaVindu::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TVelgFirmaVindu::CancelBtnClick);
}

int TVelgFirmaVindu::ItemIndex() const { return items_->checkedId(); }

void TVelgFirmaVindu::FormShow() {
  NyvalgItem1->setText(QString::fromStdString(ReadSetting("FirmaDef1")));
  NyvalgItem2->setText(QString::fromStdString(ReadSetting("FirmaDef2")));
  OKBtn->setFocus(Qt::OtherFocusReason);
}

void TVelgFirmaVindu::OKBtnClick() {
  NewCompanyIsCustomer = ItemIndex() == 0;
  NewCompanyCancelled = false;
  accept();
}

void TVelgFirmaVindu::CancelBtnClick() {
  NewCompanyCancelled = true;
  reject();
}

void TVelgFirmaVindu::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TVelgFirmaVindu::keyPressEvent(QKeyEvent* event) {
  if (!ClickOnPlainEscape(*event, *CancelBtn)) QDialog::keyPressEvent(event);
}

void ShowCompanyChooser() {
  TVelgFirmaVindu chooser;
  CentreOnScreen(chooser);
  ExecModal(chooser);
}
