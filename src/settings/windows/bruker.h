// The sign-on window: user name and password, and behind ".." the FlashFiler connection
// (alias, settings per database, protocol, server) with the hosts-file and ping aids.
// Also the "BRUKER" start-up switch.
#pragma once

#include <QColor>
#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "settings/IcmpPing.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// Lamp colours of the ping result.
inline const QColor kLampGrey(128, 128, 128);
inline const QColor kLampGreen(0, 255, 0);
inline const QColor kLampRed(255, 0, 0);
inline const QColor kLampBlue(0, 0, 255);

// Receives the failure to store the client configuration: code, message and detail, as the
// table error window takes them.
using SignOnErrorReporter =
    std::function<void(std::uint32_t code, const std::string& message, const std::string& detail)>;

// Installs the reporter of that failure; an empty function restores the default, the message
// window (ShowMsg with MsgError).
void SetSignOnErrorReporter(SignOnErrorReporter reporter);

// Collapsed to user name and password (height 196) until ".." expands it (height 378).
// Every close runs FormClose, which saves the settings; the settings store is back on the
// common (or per-database) file whenever a handler returns.
class TBrukerform : public QDialog {
  Q_OBJECT

 public:
  // Runs FormCreate. Throws ff::Error when the client configuration exists but cannot be read.
  explicit TBrukerform(QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* Edit1;
  QLabel* Label2;
  QLineEdit* ePassord;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;
  QPushButton* merknapp;
  QLabel* Label3;
  QLineEdit* eAlias;
  QCheckBox* InifilAlias;
  QLabel* Label4;
  QComboBox* eProtocol;
  QLabel* Label5;
  QLineEdit* eServer;
  QPushButton* ipknapp;
  QToolButton* pingknapp;
  QFrame* ipshape;
  IcmpClient ICMP;

  // Edit1 gets the logged-on user, who becomes the user of this run; the protocol list is
  // filled and the configured protocol selected; the common file's settings are loaded.
  void FormCreate();
  // Sets the IP and ping buttons, focuses Edit1 with its text selected, sets the caption.
  void FormShow();
  // Runs Save. Throws as Save.
  void FormClose();
  // Has no effect on the stored settings.
  void Edit1Change();
  // Makes Edit1's text the user and shows that user's own connection settings.
  // Throws SettingsError when a settings file cannot be written or read.
  void Edit1Exit();
  // Expands the window for good and hides "..".
  void merknappClick();
  // Shows the IP button, or the ping button and lamp, under "TCP/IP"; under "Single User"
  // cuts the server text at its first "@".
  void eProtocolChange();
  // Fills eServer from the hosts file's "ff_server" line; nothing when there is none.
  // Throws HostsFileError when the hosts file exists but cannot be read.
  void ipknappClick();
  // Pings the host after the "@" of eServer; the lamp shows the answer (blue: not sent).
  void pingknappClick();
  // Green when the reply carried data, else red.
  void ICMPReply(const EchoReply& reply);
  // Reads the connection boxes from the current settings file.
  void LoadSettings();
  // Writes the connection boxes to the current settings file.
  void SaveSettings();
  // Stores everything: settings per database when ticked, the user, the connection settings in
  // the user's and the common file, the client configuration (a failure there is reported and
  // the sign-on goes on), then writes the common file to disk.
  // Throws SettingsError when a settings file cannot be written.
  void Save();

  // The hosts files ipknappClick looks in, in order (DefaultHostsFiles() at start).
  void SetHostsFiles(std::vector<std::string> files) { hostsFiles_ = std::move(files); }
  // The lamp's colour now.
  QColor LampColour() const;

 public slots:
  // Runs FormClose, then closes; the window closes even when FormClose throws.
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildUserPart();
  void buildConnectionPart();
  void setLamp(const QColor& colour);
  void writeClientConfig();
  bool leavesEdit1(QObject* watched, const QEvent& event) const;

  std::vector<std::string> hostsFiles_;
};

// Shows the sign-on window modally and releases it. Returns true iff it closed with "O&k" and
// a user name, in which case the settings are saved once more.
// Throws SettingsError when the settings cannot be written (the window has closed).
bool ShowSignOnWindow();

// The start-up switch: with exactly two parameters (program name not counted), the first
// exactly "BRUKER", the second becomes the user name of this run (SetUserName).
// Returns true iff it did.
bool ApplyBrukerSwitch(const std::vector<std::string>& parameters);
