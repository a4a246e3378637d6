#include "app/DBNavigator.h"

#include <QHBoxLayout>
#include <QToolButton>

#include "app/NavigableModel.h"
#include "db/datamodule/Tableuni.h"

namespace {

struct ButtonLook {
  const char* name;
  const char* glyph;
  const char* hint;
};

constexpr ButtonLook kLooks[TDBNavigator::ButtonCount] = {
    {"nbFirst", "|◀", "Første post"},  {"nbPrior", "◀", "Forrige post"},     {"nbNext", "▶", "Neste post"},
    {"nbLast", "▶|", "Siste post"},    {"nbInsert", "+", "Sett inn post"},   {"nbDelete", "−", "Slett post"},
    {"nbEdit", "▲", "Rediger post"},   {"nbPost", "✓", "Lagre endringer"},   {"nbCancel", "✗", "Avbryt endringer"},
    {"nbRefresh", "↻", "Oppdater data"}};

}  // namespace

TDBNavigator::TDBNavigator(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (int b = 0; b < ButtonCount; ++b) {
    auto* button = new QToolButton(this);
    button->setObjectName(kLooks[b].name);
    button->setText(QString::fromUtf8(kLooks[b].glyph));
    button->setToolTip(QString::fromUtf8(kLooks[b].hint));
    button->setFixedSize(25, 25);
    connect(button, &QToolButton::clicked, this, [this, b] { click(static_cast<Button>(b)); });
    layout->addWidget(button);
    buttons_[b] = button;
  }
  updateButtons();
}

void TDBNavigator::setDataSource(NavigableModel* source) {
  disconnect(sourceConnection_);
  source_ = source;
  if (source_) {
    sourceConnection_ = connect(source_, &NavigableModel::stateChanged, this, &TDBNavigator::updateButtons);
  }
  updateButtons();
}

void TDBNavigator::setFlat(bool flat) {
  flat_ = flat;
  for (QToolButton* b : buttons_) b->setAutoRaise(flat);
}

void TDBNavigator::updateButtons() {
  const bool active = source_ && source_->isActive();
  const bool editing = active && source_->isEditing();
  const bool modify = active && source_->canModify();
  const bool up = active && !source_->isBof();
  const bool down = active && !source_->isEof();
  const bool hasRow = active && source_->currentRow() >= 0;
  const bool enabled[ButtonCount] = {up,     up,      down,           down,           modify,
                                     modify && hasRow, modify && !editing, modify && editing, modify && editing,
                                     active && !editing};
  for (int b = 0; b < ButtonCount; ++b) buttons_[b]->setEnabled(enabled[b]);
}

void TDBNavigator::click(Button b) {
  if (!source_) return;
  switch (b) {
    case First: source_->first(); break;
    case Prior: source_->prior(); break;
    case Next: source_->next(); break;
    case Last: source_->last(); break;
    case Insert: source_->insertRecord(); break;
    case Delete:
      if (ConfirmDelete()) source_->deleteRecord();
      break;
    case Edit: source_->edit(); break;
    case Post: source_->post(); break;
    case Cancel: source_->cancel(); break;
    case Refresh: source_->refresh(); break;
    case ButtonCount: break;
  }
}
