#include "settings/windows/Prosess.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include <algorithm>

#include "store/Errors.h"
#include "settings/windows/WindowLook.h"

namespace {

constexpr int kClientWidth = 425;
constexpr int kClientHeight = 58;
constexpr int kLineLeft = 8;
constexpr int kLineWidth = 409;

QPointer<TVisProsessForm> currentForm;

}  // namespace

TVisProsessForm::TVisProsessForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("VisProsessForm");
  setFixedSize(kClientWidth, kClientHeight);
  QFont bold("Arial");
  bold.setBold(true);
  setFont(bold);

  VisLabel = new QLabel(this);
  VisLabel->setObjectName("VisLabel");
  VisLabel->setTextFormat(Qt::PlainText);
  VisLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  VisLabel->setGeometry(kLineLeft, 0, kLineWidth, 22);

  Shape = new QProgressBar(this);
  Shape->setObjectName("Shape");
  Shape->setRange(0, 100);
  Shape->setGeometry(kLineLeft, 24, kLineWidth, 25);
}

void TVisProsessForm::keyPressEvent(QKeyEvent* event) {
  if (!FormKeyDown(*event)) QWidget::keyPressEvent(event);
}

bool TVisProsessForm::FormKeyDown(const QKeyEvent& key) {
  if (key.key() == Qt::Key_Escape && key.modifiers() == Qt::NoModifier) ff::Abort();
  return false;
}

void ShowProgress(const std::string& caption) {
  CloseProgress();
  currentForm = new TVisProsessForm;
  currentForm->setAttribute(Qt::WA_DeleteOnClose);
  currentForm->Shape->setValue(0);
  currentForm->setWindowTitle(QString::fromStdString(caption));
  CentreOnScreen(*currentForm);
  currentForm->show();
}

void SetProgressText(const std::string& text) {
  if (!currentForm) return;
  currentForm->VisLabel->setText(QString::fromStdString(text));
  currentForm->VisLabel->repaint();
}

static std::function<void(int)>& positionObserver() {
  static std::function<void(int)> observer;
  return observer;
}

void SetProgressPosition(int percent) {
  if (!currentForm) return;
  currentForm->Shape->setValue(std::clamp(percent, 0, 100));
  if (positionObserver()) positionObserver()(percent);
}

void SetProgressPositionObserver(std::function<void(int percent)> observer) {
  positionObserver() = std::move(observer);
}

void CloseProgress() {
  if (!currentForm) return;
  currentForm->hide();
  currentForm->deleteLater();
  currentForm = nullptr;
}

TVisProsessForm* VisProsessForm() { return currentForm; }
