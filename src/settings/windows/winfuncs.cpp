#include "settings/windows/winfuncs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <memory>

#include "store/Clock.h"
#include "store/Field.h"
#include "settings/Felles.h"
#include "settings/windows/ModalSeam.h"
#include "text/Utf8Text.h"
#include "settings/windows/WindowLook.h"

std::string MsgInputText;

namespace {

constexpr std::size_t kMaxText = 255;

constexpr int kClientWidth = 194;
constexpr int kClientHeight = 116;
constexpr int kBaseWidth = 202;
constexpr int kButtonTop = 83;
constexpr int kButtonWidth = 64;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 15;
constexpr int kInputLeft = 8;
constexpr int kInputHeight = 21;

QPointer<TMsgForm> programMsgForm;
std::string logFolder;

QLabel* makeCentredLabel(QWidget* parent, const char* name, int top) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  // Callers' texts are shown as they are, never read as markup.
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label->move(0, top);
  return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(0, kButtonTop, kButtonWidth, kButtonHeight);
  return button;
}

QCheckBox* makeHiddenCheckBox(QWidget* parent, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->hide();
  return box;
}

void showText(QLabel* label, const std::string& text) {
  label->setText(QString::fromStdString(text));
  label->adjustSize();
}

int centredLeft(int width, int itemWidth) { return (width - itemWidth) / 2; }

void appendToFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  const bool written = file.open(QIODevice::WriteOnly | QIODevice::Append) &&
                       file.write(bytes) == bytes.size() && file.flush();
  if (!written) {
    throw LogWriteError("Kan ikke skrive til loggfilen " + path.toStdString() + ": " +
                        file.errorString().toStdString());
  }
}

int monthLength(std::uint16_t year, int month) {
  static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && YearIsLeap(year) ? 29 : kMonthDays[month - 1];
}

}  // namespace

TMsgForm::TMsgForm(QWidget* parent) : QDialog(parent, Qt::Tool) {
  setObjectName("MsgForm");
  setFixedSize(kClientWidth, kClientHeight);
  QFont formFont("MS Sans Serif");
  formFont.setPixelSize(11);
  setFont(formFont);

  FeilMsg = makeCentredLabel(this, "FeilMsg", 9);
  StyleAsHeadline(*FeilMsg, false);
  Msg1 = makeCentredLabel(this, "Msg1", 31);
  Msg2 = makeCentredLabel(this, "Msg2", 47);

  // Creation order is the tab order: the input line first, then the buttons.
  LetStr = new QLineEdit(this);
  LetStr->setObjectName("LetStr");
  LetStr->installEventFilter(this);
  JaKnapp = makeButton(this, "JaKnapp", "Ja");
  OkKnapp = makeButton(this, "OkKnapp", "Ok");
  NeiKnapp = makeButton(this, "NeiKnapp", "Nei");
  connect(JaKnapp, &QPushButton::clicked, this, &QDialog::accept);
  connect(OkKnapp, &QPushButton::clicked, this, &QDialog::accept);
  connect(NeiKnapp, &QPushButton::clicked, this, &QDialog::reject);

  LetLabel = new QLabel("Let kriterie", this);
  LetLabel->setObjectName("LetLabel");
  LetLabel->hide();
  Hurtig = makeHiddenCheckBox(this, "Hurtig", QString::fromUtf8("Hurtigsøk"));
  FraStart = makeHiddenCheckBox(this, "FraStart", "Let fra start");
  FraStart->setChecked(true);

  FormCreate();
}

void TMsgForm::FormCreate() {
  showText(Msg1, {});
  showText(Msg2, {});
  showText(FeilMsg, {});
}

void TMsgForm::Prepare(const std::string& line1, const std::string& line2,
                       const std::string& line3, TMsgKind kind) {
  setWindowTitle(kind == MsgError ? "Feilmelding..." : "Melding...");
  // No remembered focus: showing the window focuses the first visible control in tab order.
  if (QWidget* focused = focusWidget()) focused->clearFocus();
  setTexts(line1, line2, line3, kind);
  const int width = fittingWidth(kind);
  setFixedSize(width, kClientHeight);
  centreLabels(width);
  placeButtons(width, kind);
  placeInputLine(width, kind);
  LetLabel->hide();
  Hurtig->hide();
  FraStart->hide();
  CentreOnScreen(*this);
}

void TMsgForm::setTexts(const std::string& line1, const std::string& line2,
                        const std::string& line3, TMsgKind kind) {
  showText(FeilMsg, line1);
  showText(Msg1, line2);
  showText(Msg2, line3);
  FeilMsg->show();
  Msg1->show();
  Msg2->setVisible(kind != MsgInput);
  if (kind == MsgInput) LetStr->setText(QString::fromStdString(line3));
}

int TMsgForm::fittingWidth(TMsgKind kind) const {
  int width = kBaseWidth;
  for (const QLabel* label : {FeilMsg, Msg1, Msg2}) {
    if (label->width() > width - 20) width = label->width() + 30;
  }
  if (kind == MsgInput && Msg2->width() > width - 60) width = Msg2->width() + 80;
  return width;
}

void TMsgForm::centreLabels(int width) {
  for (QLabel* label : {FeilMsg, Msg1, Msg2}) {
    label->move(centredLeft(width, label->width()), label->y());
  }
}

void TMsgForm::placeButtons(int width, TMsgKind kind) {
  const int half = width / 2;
  OkKnapp->move(half - OkKnapp->width() / 2, kButtonTop);
  JaKnapp->move(half - JaKnapp->width() - kButtonGap, kButtonTop);
  NeiKnapp->move(half + kButtonGap, kButtonTop);
  const bool asks = kind == MsgQuestion || kind == MsgInput;
  JaKnapp->setVisible(asks);
  NeiKnapp->setVisible(asks);
  OkKnapp->setVisible(!asks);
}

void TMsgForm::placeInputLine(int width, TMsgKind kind) {
  LetStr->setGeometry(kInputLeft, kind == MsgInput ? 50 : 24, width - 21, kInputHeight);
  LetStr->setVisible(kind == MsgInput);
}

bool TMsgForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == LetStr && event->type() == QEvent::KeyPress) {
    return LetStrKeyDown(static_cast<const QKeyEvent&>(*event));
  }
  return QDialog::eventFilter(watched, event);
}

bool TMsgForm::LetStrKeyDown(const QKeyEvent& key) {
  switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      accept();
      return true;
    case Qt::Key_Escape:
      reject();
      return true;
    default:
      return false;
  }
}

void CreateMsgForm() {
  if (!programMsgForm) programMsgForm = new TMsgForm;
}

TMsgForm* MsgForm() { return programMsgForm; }

void FreeMsgForm() { delete programMsgForm; }

bool ShowMsg(const std::string& line1, const std::string& line2, const std::string& line3,
             TMsgKind kind) {
  const std::string l1 = Utf8Left(line1, kMaxText);
  const std::string l2 = Utf8Left(line2, kMaxText);
  const std::string l3 = Utf8Left(line3, kMaxText);
  CreateMsgForm();
  // The shared window is busy when a message is asked for while one is showing.
  std::unique_ptr<TMsgForm> ownWindow;
  TMsgForm* form = MsgForm();
  if (form->isVisible()) {
    ownWindow = std::make_unique<TMsgForm>();
    form = ownWindow.get();
  }
  form->Prepare(l1, l2, l3, kind);
  const bool ok = ExecModal(*form) == QDialog::Accepted;
  if (kind == MsgInput) MsgInputText = Utf8Left(form->LetStr->text().toStdString(), kMaxText);
  if (kind == MsgError) {
    WriteLog(Utf8Left("FEILMELDING (" + ReadStoredUserName() + "): " + l1 + " " + l2 + " " + l3,
                      kMaxText));
  }
  return ok;
}

void WriteLog(const std::string& text) {
  const double now = ff::Now();
  const std::string stamp = ff::formatDateTime(now, ff::FieldType::Date) + " " +
                            ff::formatDateTime(now, ff::FieldType::Time);
  const std::string line = Utf8Left(stamp + "  " + text, kMaxText);
  appendToFile(QString::fromStdString(LogFileName()), QByteArray::fromStdString(line + "\r\n"));
}

std::string LogFileName() {
  const QString folder = logFolder.empty() ? QCoreApplication::applicationDirPath()
                                           : QString::fromStdString(logFolder);
  const QString program = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  return QDir(folder).filePath(program.section('.', 0, 0) + ".LOG").toStdString();
}

void SetLogFolder(const std::string& folder) { logFolder = folder; }

double DateAfterDays(std::uint16_t days) {
  int year = 0;
  int month = 0;
  int day = 0;
  ff::decodeDate(ff::Date(), year, month, day);
  day += days;
  while (day > monthLength(static_cast<std::uint16_t>(year), month)) {
    day -= monthLength(static_cast<std::uint16_t>(year), month);
    if (++month > 12) {
      month = 1;
      ++year;
    }
  }
  return ff::encodeDate(year, month, day);
}

bool YearIsLeap(std::uint16_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}
