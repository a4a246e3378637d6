#include "settings/windows/bruker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include "store/ClientConfig.h"
#include "store/Errors.h"
#include "settings/Felles.h"
#include "settings/HostsFile.h"
#include "settings/windows/ModalSeam.h"
#include "settings/windows/WindowLook.h"
#include "settings/windows/winfuncs.h"

namespace {

constexpr int kWidth = 330;
constexpr int kCollapsedHeight = 196;
constexpr int kExpandedHeight = 378;
constexpr int kLabelLeft = 24;
constexpr int kBoxLeft = 128;
constexpr int kBoxWidth = 153;
constexpr int kBoxHeight = 21;
constexpr int kAsideLeft = 288;
constexpr int kPingTimeoutMs = 1000;

const QString kTcpIp = "TCP/IP";
const QString kSingleUser = "Single User";

SignOnErrorReporter& installedReporter() {
  static SignOnErrorReporter reporter;
  return reporter;
}

void reportSignOnError(std::uint32_t code, const std::string& message, const std::string& detail) {
  if (const SignOnErrorReporter& reporter = installedReporter()) {
    reporter(code, message, detail);
    return;
  }
  ShowMsg(message, detail, "", MsgError);
}

// The password box masks with "X", as the suite always has.
class PasswordStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return 'X';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

QString q(const std::string& text) { return QString::fromStdString(text); }

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, int top) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->move(kLabelLeft, top + 3);
  return label;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, int left, int top) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(left, top, kBoxWidth, kBoxHeight);
  return edit;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& geometry) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(geometry);
  return button;
}

// The text before the first "@"; all of it when there is none.
QString beforeAt(const QString& text) {
  const auto at = text.indexOf('@');
  return at < 0 ? text : text.left(at);
}

// The text after the first "@"; all of it when there is none.
QString afterAt(const QString& text) {
  const auto at = text.indexOf('@');
  return at < 0 ? text : text.mid(at + 1);
}

}  // namespace

void SetSignOnErrorReporter(SignOnErrorReporter reporter) {
  installedReporter() = std::move(reporter);
}

TBrukerform::TBrukerform(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      hostsFiles_(DefaultHostsFiles()) {
  setObjectName("Brukerform");
  setWindowTitle("Pålogging");
  QFont formFont("MS Sans Serif");
  formFont.setPixelSize(11);
  setFont(formFont);
  buildUserPart();
  buildConnectionPart();
  ICMP.SetReceiveTimeout(kPingTimeoutMs);
  ICMP.SetOnReply([this](const EchoReply& reply) { ICMPReply(reply); });
  FormCreate();
}

void TBrukerform::buildUserPart() {
  Label1 = makeLabel(this, "Label1", "&Brukernavn:", 20);
  Edit1 = makeEdit(this, "Edit1", kBoxLeft, 20);
  Label1->setBuddy(Edit1);
  Label2 = makeLabel(this, "Label2", "&Passord", 52);
  ePassord = makeEdit(this, "ePassord", kBoxLeft, 52);
  ePassord->setEchoMode(QLineEdit::Password);
  auto* passwordStyle = new PasswordStyle;
  passwordStyle->setParent(this);
  ePassord->setStyle(passwordStyle);
  Label2->setBuddy(ePassord);
  merknapp = makeButton(this, "merknapp", "..", QRect(kAsideLeft, 52, 21, kBoxHeight));
  merknapp->setToolTip("Oppsett");
  merknapp->setAutoDefault(false);

  BitBtn1 = makeButton(this, "BitBtn1", "O&k", QRect(72, 120, 89, 33));
  BitBtn1->setDefault(true);
  BitBtn2 = makeButton(this, "BitBtn2", "&Avbryt", QRect(176, 120, 89, 33));
  BitBtn2->setAutoDefault(false);

  connect(Edit1, &QLineEdit::textChanged, this, &TBrukerform::Edit1Change);
  Edit1->installEventFilter(this);
  connect(merknapp, &QPushButton::clicked, this, &TBrukerform::merknappClick);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TBrukerform::buildConnectionPart() {
  Label3 = makeLabel(this, "Label3", "Database (alias): ", 200);
  eAlias = makeEdit(this, "eAlias", kBoxLeft, 200);
  InifilAlias = new QCheckBox("Oppsett etter database", this);
  InifilAlias->setObjectName("InifilAlias");
  InifilAlias->setGeometry(kBoxLeft, 228, 180, 17);
  Label4 = makeLabel(this, "Label4", "Protokoll:", 256);
  eProtocol = new QComboBox(this);
  eProtocol->setObjectName("eProtocol");
  eProtocol->setEditable(true);
  eProtocol->setInsertPolicy(QComboBox::NoInsert);
  eProtocol->setGeometry(kBoxLeft, 256, kBoxWidth, kBoxHeight);
  Label5 = makeLabel(this, "Label5", "Database-server:", 288);
  eServer = makeEdit(this, "eServer", kBoxLeft, 288);

  ipknapp = makeButton(this, "ipknapp", "IP", QRect(kAsideLeft, 288, 25, kBoxHeight));
  ipknapp->setToolTip("Henter opplysninger i fra HOST-filen");
  ipknapp->setAutoDefault(false);
  ipknapp->hide();
  pingknapp = new QToolButton(this);
  pingknapp->setObjectName("pingknapp");
  pingknapp->setAutoRaise(true);
  pingknapp->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  pingknapp->setGeometry(kAsideLeft, 288, 21, kBoxHeight);
  pingknapp->hide();
  ipshape = new QFrame(this);
  ipshape->setObjectName("ipshape");
  ipshape->setFrameShape(QFrame::Box);
  ipshape->setAutoFillBackground(true);
  ipshape->setGeometry(kAsideLeft + 24, 288, 8, 21);
  setLamp(kLampGrey);
  ipshape->hide();

  connect(eProtocol, &QComboBox::editTextChanged, this, &TBrukerform::eProtocolChange);
  connect(eServer, &QLineEdit::textChanged, this, &TBrukerform::eProtocolChange);
  connect(ipknapp, &QPushButton::clicked, this, &TBrukerform::ipknappClick);
  connect(pingknapp, &QToolButton::clicked, this, &TBrukerform::pingknappClick);
}

void TBrukerform::FormCreate() {
  Edit1->setText(q(GetWindowsUserName()));
  SetUserName(Edit1->text().toStdString());
  for (const std::string& name : ff::FFClientConfigGetProtocolNames()) eProtocol->addItem(q(name));
  eProtocol->setCurrentIndex(eProtocol->findText(q(ff::FFClientConfigReadProtocol())));
  LoadSettings();
  setFixedSize(kWidth, kCollapsedHeight);
}

void TBrukerform::FormShow() {
  eProtocolChange();
  Edit1->setFocus(Qt::OtherFocusReason);
  Edit1->selectAll();
  setWindowTitle("Pålogging: Kvistmerket 4.03-001 25.07.2003");
}

void TBrukerform::FormClose() { Save(); }

void TBrukerform::Edit1Change() {}

void TBrukerform::Edit1Exit() {
  SetUserName(Edit1->text().toStdString());
  eAlias->setText(q(GetNetAlias()));
  UseUserSettingsFile();
  LoadSettings();
  UseCommonSettingsFile();
}

void TBrukerform::merknappClick() {
  if (height() >= kExpandedHeight) return;
  setFixedSize(kWidth, kExpandedHeight);
  merknapp->hide();
}

void TBrukerform::eProtocolChange() {
  const QString protocol = eProtocol->currentText();
  const bool canPing = protocol == kTcpIp && !eServer->text().isEmpty();
  ipknapp->setVisible(protocol == kTcpIp && !canPing);
  pingknapp->setVisible(canPing);
  ipshape->setVisible(canPing);
  if (!canPing) setLamp(kLampGrey);
  if (protocol == kSingleUser && eServer->text().contains('@')) {
    eServer->setText(beforeAt(eServer->text()));
  }
}

void TBrukerform::ipknappClick() {
  if (const auto server = LookUpFfServer(hostsFiles_)) eServer->setText(q(*server));
}

void TBrukerform::pingknappClick() {
  setLamp(kLampGrey);
  ipshape->repaint();
  ICMP.SetReceiveTimeout(kPingTimeoutMs);
  ICMP.SetHost(afterAt(eServer->text()).toStdString());
  try {
    ICMP.Ping();
  } catch (const IcmpSendError&) {
    setLamp(kLampBlue);
  }
}

void TBrukerform::ICMPReply(const EchoReply& reply) {
  setLamp(reply.BytesReceived > 0 ? kLampGreen : kLampRed);
}

void TBrukerform::LoadSettings() {
  eProtocol->setEditText(q(ReadSetting("Net_Protokoll")));
  eServer->setText(q(ReadSetting("Net_Servernavn")));
  eAlias->setText(q(GetNetAlias()));
  ePassord->setText(q(ReadSetting("Net_Passord")));
  InifilAlias->setChecked(ReadSetting("INI_ALIAS") == "1");
}

void TBrukerform::SaveSettings() {
  WriteSetting("Net_Alias", eAlias->text().toStdString());
  WriteSetting("Net_Protokoll", eProtocol->currentText().toStdString());
  WriteSetting("Net_Servernavn", eServer->text().toStdString());
  WriteSetting("INI_ALIAS", InifilAlias->isChecked() ? "1" : "0");
}

void TBrukerform::Save() {
  if (InifilAlias->isChecked()) {
    WriteSetting("INI_ALIAS", "1");
    UseDatabaseSettingsFile(eAlias->text().toStdString());
  } else {
    WriteSetting("INI_ALIAS", "0");
  }
  SetUserName(Edit1->text().toStdString());
  UseUserSettingsFile();
  SaveSettings();
  UseCommonSettingsFile();
  SaveSettings();
  writeClientConfig();
  FlushSettings();
}

// Both are tried; one report covers either failing.
void TBrukerform::writeClientConfig() {
  bool failed = false;
  const auto attempt = [&failed](const auto& write, const QString& value) {
    try {
      write(value.toStdString());
    } catch (const ff::Error&) {
      failed = true;
    }
  };
  attempt(ff::FFClientConfigWriteServerName, eServer->text());
  attempt(ff::FFClientConfigWriteProtocolName, eProtocol->currentText());
  if (failed) {
    reportSignOnError(0, "Kan ikke skrive til registeret",
                      "Mangler rettigheter for bruker, kontakt Administrator");
  }
}

QColor TBrukerform::LampColour() const { return ipshape->palette().color(QPalette::Window); }

void TBrukerform::setLamp(const QColor& colour) {
  QPalette palette = ipshape->palette();
  palette.setColor(QPalette::Window, colour);
  ipshape->setPalette(palette);
}

void TBrukerform::done(int result) {
  try {
    FormClose();
  } catch (...) {
    QDialog::done(result);
    throw;
  }
  QDialog::done(result);
}

void TBrukerform::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

// Leaving the box for another control of this window; not the window losing activation.
bool TBrukerform::leavesEdit1(QObject* watched, const QEvent& event) const {
  if (watched != Edit1 || event.type() != QEvent::FocusOut || !isVisible()) return false;
  const Qt::FocusReason reason = static_cast<const QFocusEvent&>(event).reason();
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

bool TBrukerform::eventFilter(QObject* watched, QEvent* event) {
  if (leavesEdit1(watched, *event)) Edit1Exit();
  return QDialog::eventFilter(watched, event);
}

bool ShowSignOnWindow() {
  TBrukerform form;
  CentreOnScreen(form);
  const bool signedOn = ExecModal(form) == QDialog::Accepted && !form.Edit1->text().isEmpty();
  if (signedOn) form.Save();
  return signedOn;
}

bool ApplyBrukerSwitch(const std::vector<std::string>& parameters) {
  if (parameters.size() != 2 || parameters[0] != "BRUKER") return false;
  SetUserName(parameters[1]);
  return true;
}
