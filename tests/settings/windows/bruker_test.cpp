// The sign-on window driven offscreen through the modal seam, with real settings files, a real
// client configuration folder, hosts files of the test's own and pings to 127.0.0.1 only.
#include "settings/windows/bruker.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>
#include <vector>

#include "SignOnTestSupport.h"
#include "store/ClientConfig.h"
#include "settings/HostsFile.h"
#include "support/QtPrint.h"

using settings_test::Answer;
using settings_test::SignOnRun;
using settings_test::WriteBytes;

namespace fs = std::filesystem;

namespace {

bool signOn(const std::function<void(TBrukerform&)>& script) {
  return Answer<TBrukerform>(script, [] { return ShowSignOnWindow() ? 1 : 0; }) == 1;
}

bool shown(const QWidget* widget) { return !widget->isHidden(); }

// Which of the IP button, the ping button and the lamp are shown, in that order.
std::tuple<bool, bool, bool> tcpAids(const TBrukerform& form) {
  return {shown(form.ipknapp), shown(form.pingknapp), shown(form.ipshape)};
}

bool systemAllowsIcmpSockets() {
  for (int type : {SOCK_DGRAM, SOCK_RAW}) {
    const int fd = ::socket(AF_INET, type, IPPROTO_ICMP);
    if (fd >= 0) {
      ::close(fd);
      return true;
    }
  }
  return false;
}

struct ReportedError {
  std::uint32_t code;
  std::string message;
  std::string detail;
};

class BrukerTest : public ::testing::Test {
 protected:
  BrukerTest() {
    SetSignOnErrorReporter([this](std::uint32_t code, const std::string& message,
                                  const std::string& detail) {
      reported_.push_back({code, message, detail});
    });
  }
  ~BrukerTest() override { SetSignOnErrorReporter({}); }

  SignOnRun run_;
  std::vector<ReportedError> reported_;
};

// ---- Looks and creation ---------------------------------------------------------------------

TEST_F(BrukerTest, OpensCollapsedWithItsCaptionControlsAndFocus) {
  QString caption, ok, cancel, dots, dotsHint, userLabel, selected;
  QSize size;
  bool focusInUserBox = false;
  bool connectionHidden = false;
  EXPECT_FALSE(signOn([&](TBrukerform& form) {
    caption = form.windowTitle();
    size = form.size();
    ok = form.BitBtn1->text();
    cancel = form.BitBtn2->text();
    dots = form.merknapp->text();
    dotsHint = form.merknapp->toolTip();
    userLabel = form.Label1->text();
    focusInUserBox = QApplication::focusWidget() == form.Edit1;
    selected = form.Edit1->selectedText();
    connectionHidden = form.eServer->visibleRegion().isEmpty();
    form.BitBtn2->click();
  }));
  EXPECT_EQ(caption, "Pålogging: Kvistmerket 4.03-001 25.07.2003");
  EXPECT_EQ(size.height(), 196);
  EXPECT_EQ(ok, "O&k");
  EXPECT_EQ(cancel, "&Avbryt");
  EXPECT_EQ(dots, "..");
  EXPECT_EQ(dotsHint, "Oppsett");
  EXPECT_EQ(userLabel, "&Brukernavn:");
  EXPECT_TRUE(focusInUserBox);
  EXPECT_EQ(selected, "kari");
  EXPECT_TRUE(connectionHidden);
}

TEST_F(BrukerTest, DotDotExpandsForGood) {
  TBrukerform form;
  EXPECT_EQ(form.height(), 196);
  form.merknapp->click();
  EXPECT_EQ(form.height(), 378);
  EXPECT_TRUE(form.merknapp->isHidden());
  form.merknappClick();
  EXPECT_EQ(form.height(), 378);
}

TEST_F(BrukerTest, PasswordIsPrefilledMaskedWithXAndNeverStored) {
  run_.WriteFile("VELTRINO.INI", "Net_Passord=hemmelig\n");
  InitSettingsStore({run_.Etc()});
  QString typed, display;
  EXPECT_TRUE(signOn([&](TBrukerform& form) {
    typed = form.ePassord->text();
    display = form.ePassord->displayText();
    form.ePassord->setText("nytt");
    form.BitBtn1->click();
  }));
  EXPECT_EQ(typed, "hemmelig");
  EXPECT_EQ(display, "XXXXXXXX");
  EXPECT_EQ(run_.OnDisk("VELTRINO.INI", "Net_Passord"), "hemmelig");
  EXPECT_EQ(run_.OnDisk("KARI.INI", "Net_Passord"), std::nullopt);
}

TEST_F(BrukerTest, CreationReplacesTheSwitchedUserByTheLoggedOnUser) {
  ASSERT_TRUE(ApplyBrukerSwitch({"BRUKER", "ola"}));
  EXPECT_EQ(ReadStoredUserName(), "ola");
  const TBrukerform form;
  EXPECT_EQ(form.Edit1->text(), "kari");
  EXPECT_EQ(ReadStoredUserName(), "kari");
  EXPECT_EQ(GetUserName(), "KARI");
}

TEST_F(BrukerTest, ProtocolListComesFromTheClientAndTheBoxFromTheSettings) {
  ff::FFClientConfigWriteProtocolName("TCP/IP");
  {
    const TBrukerform form;
    QStringList items;
    for (int i = 0; i < form.eProtocol->count(); ++i) items << form.eProtocol->itemText(i);
    EXPECT_EQ(items, (QStringList{"Single User", "TCP/IP", "IPX/SPX"}));
    EXPECT_EQ(form.eProtocol->currentIndex(), 1);
    EXPECT_EQ(form.eProtocol->currentText(), "");  // no "Net_Protokoll" yet
  }
  WriteSetting("Net_Protokoll", "IPX/SPX");
  WriteSetting("Net_Servernavn", "ff_server@10.0.0.5");
  WriteSetting("Net_Alias", "FIRMA2");
  WriteSetting("INI_ALIAS", "1");
  const TBrukerform form;
  EXPECT_EQ(form.eProtocol->currentText(), "IPX/SPX");
  EXPECT_EQ(form.eServer->text(), "ff_server@10.0.0.5");
  EXPECT_EQ(form.eAlias->text(), "FIRMA2");
  EXPECT_TRUE(form.InifilAlias->isChecked());
}

TEST(BrukerSwitch, OnlyExactlyBrukerAndOneName) {
  SignOnRun run;
  EXPECT_FALSE(ApplyBrukerSwitch({"bruker", "ola"}));
  EXPECT_FALSE(ApplyBrukerSwitch({"BRUKER"}));
  EXPECT_FALSE(ApplyBrukerSwitch({"BRUKER", "ola", "-autologon"}));
  EXPECT_FALSE(ApplyBrukerSwitch({"-autologon", "BRUKER", "ola"}));
  EXPECT_EQ(ReadStoredUserName(), "");
  EXPECT_TRUE(ApplyBrukerSwitch({"BRUKER", "Ola"}));
  EXPECT_EQ(ReadStoredUserName(), "Ola");
  EXPECT_EQ(GetUserName(), "OLA");
}

// ---- Leaving the user box ---------------------------------------------------------------------

TEST_F(BrukerTest, LeavingTheUserBoxShowsThatUsersOwnSettings) {
  run_.WriteFile("VELTRINO.INI",
                 "Net_Alias=FELLES\nNet_Protokoll=Single User\nNet_Servernavn=ff_server\n"
                 "Net_Passord=felles\n");
  run_.WriteFile("OLA.INI",
                 "Net_Alias=FIRMA2\nNet_Protokoll=TCP/IP\nNet_Servernavn=ff_server@10.0.0.7\n"
                 "Net_Passord=olas\nINI_ALIAS=1\n");
  InitSettingsStore({run_.Etc()});
  struct Boxes {
    QString alias, protocol, server, password;
    bool perDatabase;
  };
  const auto leaveUserBoxAs = [](const QString& user) {
    Boxes boxes{};
    signOn([&](TBrukerform& form) {
      form.Edit1->setFocus();
      form.Edit1->setText(user);
      form.ePassord->setFocus(Qt::TabFocusReason);
      boxes = {form.eAlias->text(), form.eProtocol->currentText(), form.eServer->text(),
               form.ePassord->text(), form.InifilAlias->isChecked()};
      EXPECT_EQ(CurrentSettingsFile(), SettingsFileName());
      form.BitBtn2->click();
    });
    return boxes;
  };

  const Boxes ola = leaveUserBoxAs("ola");
  EXPECT_EQ(ola.alias, "FIRMA2");
  EXPECT_EQ(ola.protocol, "TCP/IP");
  EXPECT_EQ(ola.server, "ff_server@10.0.0.7");
  EXPECT_EQ(ola.password, "olas");
  EXPECT_TRUE(ola.perDatabase);

  const Boxes per = leaveUserBoxAs("per");  // no PER.INI
  EXPECT_EQ(per.alias, "KvistMerket");
  EXPECT_EQ(per.protocol, "");
  EXPECT_EQ(per.server, "");
  EXPECT_EQ(per.password, "");
  EXPECT_FALSE(per.perDatabase);
  EXPECT_EQ(ReadStoredUserName(), "per");
}

TEST_F(BrukerTest, WindowLosingActivationIsNotLeavingTheUserBox) {
  run_.WriteFile("OLA.INI", "Net_Alias=FIRMA2\n");
  InitSettingsStore({run_.Etc()});
  QString alias;
  signOn([&](TBrukerform& form) {
    form.Edit1->setFocus();
    form.Edit1->setText("ola");
    QFocusEvent deactivated(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(form.Edit1, &deactivated);
    alias = form.eAlias->text();
    form.BitBtn2->click();
  });
  EXPECT_EQ(alias, "KvistMerket");
}

// ---- Protocol, IP button, ping button and lamp --------------------------------------------------

TEST_F(BrukerTest, SingleUserCutsTheServerAtTheFirstAt) {
  TBrukerform form;
  form.eServer->setText("ff_server@10.0.0.5@x");
  form.eProtocol->setEditText("Single User");
  EXPECT_EQ(form.eServer->text(), "ff_server");
  form.eServer->setText("ff_server@10.0.0.6");  // the server box's change runs it too
  EXPECT_EQ(form.eServer->text(), "ff_server");
  form.eProtocol->setEditText("single user");
  form.eServer->setText("ff_server@10.0.0.6");
  EXPECT_EQ(form.eServer->text(), "ff_server@10.0.0.6");
}

TEST_F(BrukerTest, TcpIpShowsTheIpButtonWithoutServerAndPingWithOne) {
  TBrukerform form;
  form.eServer->setText("");
  form.eProtocol->setEditText("TCP/IP");
  EXPECT_EQ(tcpAids(form), std::make_tuple(true, false, false));
  QTest::keyClicks(form.eServer, "ff_server");
  EXPECT_EQ(tcpAids(form), std::make_tuple(false, true, true));
  form.eProtocol->setEditText("IPX/SPX");
  EXPECT_EQ(tcpAids(form), std::make_tuple(false, false, false));
  form.eProtocol->setEditText("tcp/ip");
  EXPECT_EQ(tcpAids(form), std::make_tuple(false, false, false));
}

TEST_F(BrukerTest, LampIsResetToGreyWhenThePingButtonGoes) {
  TBrukerform form;
  form.eProtocol->setEditText("TCP/IP");
  form.eServer->setText("ff_server@finnes-ikke.invalid");
  form.pingknapp->click();
  EXPECT_EQ(form.LampColour(), kLampBlue);
  form.eServer->setText("ff_server@127.0.0.1");  // still pingable: the lamp keeps its colour
  EXPECT_EQ(form.LampColour(), kLampBlue);
  form.eServer->clear();
  EXPECT_EQ(form.LampColour(), kLampGrey);
}

TEST_F(BrukerTest, PingOfLoopbackTurnsTheLampGreen) {
  TBrukerform form;
  form.eProtocol->setEditText("TCP/IP");
  form.eServer->setText("ff_server@127.0.0.1");
  form.pingknapp->click();
  EXPECT_EQ(form.ICMP.Host(), "127.0.0.1");
  EXPECT_EQ(form.ICMP.ReceiveTimeout(), 1000);
  // Where the system refuses ICMP sockets, the ping cannot be sent: blue.
  EXPECT_EQ(form.LampColour(), systemAllowsIcmpSockets() ? kLampGreen : kLampBlue);
}

TEST_F(BrukerTest, PingOfAnUnresolvableNameTurnsTheLampBlue) {
  TBrukerform form;
  form.eProtocol->setEditText("TCP/IP");
  form.eServer->setText("ff_server@finnes-ikke.invalid");
  form.pingknapp->click();
  EXPECT_EQ(form.ICMP.Host(), "finnes-ikke.invalid");
  EXPECT_EQ(form.LampColour(), kLampBlue);
}

TEST_F(BrukerTest, ReplyWithDataIsGreenWithoutDataRed) {
  TBrukerform form;
  form.ICMPReply({EchoStatus::Reply, 40});
  EXPECT_EQ(form.LampColour(), kLampGreen);
  form.ICMPReply({EchoStatus::TimedOut, 0});
  EXPECT_EQ(form.LampColour(), kLampRed);
}

// ---- Hosts file ---------------------------------------------------------------------------------

class BrukerHostsTest : public BrukerTest {
 protected:
  // Clicks "IP" under TCP/IP with the given hosts files; returns the server box afterwards.
  QString ClickIp(const std::vector<std::string>& hostsFiles) {
    TBrukerform form;
    form.SetHostsFiles(hostsFiles);
    form.eProtocol->setEditText("TCP/IP");
    form.eServer->setText(before_);
    if (!before_.isEmpty()) form.eServer->clear();
    form.ipknapp->click();
    aidsAfter_ = tcpAids(form);
    return form.eServer->text();
  }
  std::string Hosts(const std::string& name, const std::string& text) const {
    const std::string path = run_.Root() + name;
    WriteBytes(path, text);
    return path;
  }

  QString before_;
  std::tuple<bool, bool, bool> aidsAfter_;
};

TEST_F(BrukerHostsTest, LineWithTabOrBlankFillsTheServerAndShowsThePingButton) {
  EXPECT_EQ(ClickIp({Hosts("tab", "127.0.0.1\tlocalhost\n10.0.0.5\tff_server\n")}),
            "ff_server@10.0.0.5");
  EXPECT_EQ(aidsAfter_, std::make_tuple(false, true, true));
  EXPECT_EQ(ClickIp({Hosts("blank", "10.0.0.5 ff_server\r\n")}), "ff_server@10.0.0.5");
  EXPECT_EQ(ClickIp({Hosts("both", "10.0.0.5 x\tff_server\n")}), "ff_server@10.0.0.5 x");
  EXPECT_EQ(ClickIp({Hosts("neither", "ff_server\n")}), "ff_server@");
  EXPECT_EQ(ClickIp({Hosts("last", "10.0.0.5\tff_server\n# ff_server old\n10.0.0.9 ff_server2\n")}),
            "ff_server@10.0.0.9");
}

TEST_F(BrukerHostsTest, MatchIsExactCaseWithinTheFirst255Characters) {
  EXPECT_EQ(ClickIp({Hosts("case", "10.0.0.5\tFF_SERVER\n")}), "");
  EXPECT_EQ(ClickIp({Hosts("long", "10.0.0.5\t" + std::string(250, 'x') + " ff_server\n")}), "");
}

TEST_F(BrukerHostsTest, FirstExistingFileIsTheOneRead) {
  const std::string missing = run_.Root() + "missing";
  const std::string first = Hosts("first", "10.0.0.1\tlocalhost\n");
  const std::string second = Hosts("second", "10.0.0.2\tff_server\n");
  EXPECT_EQ(ClickIp({missing, first, second}), "");
  EXPECT_EQ(ClickIp({missing, second, first}), "ff_server@10.0.0.2");
  EXPECT_EQ(ClickIp({missing}), "");
  EXPECT_EQ(DefaultHostsFiles(), (std::vector<std::string>{
                                     "C:\\WINDOWS\\HOSTS",
                                     "C:\\WINNT\\SYSTEM32\\DRIVERS\\ETC\\HOSTS", "/etc/hosts"}));
}

TEST_F(BrukerHostsTest, NoMatchLeavesTheServerAsItWas) {
  TBrukerform form;
  form.SetHostsFiles({Hosts("none", "127.0.0.1\tlocalhost\n")});
  form.eProtocol->setEditText("IPX/SPX");
  form.eServer->setText("ff_server@10.1.1.1");
  form.ipknappClick();
  EXPECT_EQ(form.eServer->text(), "ff_server@10.1.1.1");
}

// ---- Saving -------------------------------------------------------------------------------------

TEST_F(BrukerTest, OkStoresTheConnectionInBothFilesAndTheClientConfiguration) {
  EXPECT_TRUE(signOn([](TBrukerform& form) {
    form.merknapp->click();
    form.eAlias->setText("FIRMA2");
    form.eProtocol->setEditText("TCP/IP");
    form.eServer->setText("ff_server@10.0.0.5");
    form.BitBtn1->click();
  }));
  for (const std::string file : {"VELTRINO.INI", "KARI.INI"}) {
    SCOPED_TRACE(file);
    EXPECT_EQ(run_.OnDisk(file, "Net_Alias"), "FIRMA2");
    EXPECT_EQ(run_.OnDisk(file, "Net_Protokoll"), "TCP/IP");
    EXPECT_EQ(run_.OnDisk(file, "Net_Servernavn"), "ff_server@10.0.0.5");
    EXPECT_EQ(run_.OnDisk(file, "INI_ALIAS"), "0");
  }
  EXPECT_EQ(run_.OnDisk("VELTRINO.INI", "Brukernavn"), "kari");
  EXPECT_EQ(ff::FFClientConfigReadServerName(), "ff_server@10.0.0.5");
  EXPECT_EQ(ff::FFClientConfigReadProtocol(), "TCP/IP");
  EXPECT_EQ(CurrentSettingsFile(), run_.Etc() + "VELTRINO.INI");
  EXPECT_TRUE(reported_.empty());
}

TEST_F(BrukerTest, OppsettEtterDatabaseMovesTheRestOfTheRunToTheAliasFile) {
  EXPECT_TRUE(signOn([](TBrukerform& form) {
    form.Edit1->setText("ola");
    form.eAlias->setText("FIRMA1");
    form.InifilAlias->setChecked(true);
    form.eProtocol->setEditText("Single User");
    form.eServer->setText("ff_server");
    form.BitBtn1->click();
  }));
  const std::string firma1 = run_.Etc() + "FIRMA1.ini";
  EXPECT_EQ(SettingsFileName(), firma1);
  EXPECT_EQ(CurrentSettingsFile(), firma1);
  EXPECT_EQ(run_.OnDisk("FIRMA1.ini", "Net_Alias"), "FIRMA1");
  EXPECT_EQ(run_.OnDisk("FIRMA1.ini", "Net_Protokoll"), "Single User");
  EXPECT_EQ(run_.OnDisk("FIRMA1.ini", "Net_Servernavn"), "ff_server");
  EXPECT_EQ(run_.OnDisk("FIRMA1.ini", "INI_ALIAS"), "1");
  EXPECT_EQ(run_.OnDisk("FIRMA1.ini", "Brukernavn"), "ola");
  EXPECT_EQ(run_.OnDisk("VELTRINO.INI", "INI_ALIAS"), "1");
  EXPECT_EQ(run_.OnDisk("OLA.INI", "Net_Alias"), "FIRMA1");

  WriteSetting("Firma_Navn", "Test AS");
  UseUserSettingsFile();
  UseCommonSettingsFile();
  EXPECT_EQ(ReadSetting("Firma_Navn"), "Test AS");
  EXPECT_EQ(run_.OnDisk("FIRMA1.ini", "Firma_Navn"), "Test AS");
}

TEST_F(BrukerTest, ClientConfigurationThatCannotBeWrittenIsReportedAndSignOnGoesOn) {
  WriteBytes(run_.Root() + "blocked", "a file, not a folder");
  settings_test::EnvVar blocked("FF_CONFIG_DIR", run_.Root() + "blocked/flashfiler");
  EXPECT_TRUE(signOn([](TBrukerform& form) {
    form.eServer->setText("ff_server@10.0.0.5");
    form.BitBtn1->click();
  }));
  ASSERT_EQ(reported_.size(), 2u);  // when the window closes, and once more after "O&k"
  EXPECT_EQ(reported_[0].code, 0u);
  EXPECT_EQ(reported_[0].message, "Kan ikke skrive til registeret");
  EXPECT_EQ(reported_[0].detail, "Mangler rettigheter for bruker, kontakt Administrator");
  EXPECT_EQ(run_.OnDisk("VELTRINO.INI", "Net_Servernavn"), "ff_server@10.0.0.5");
  EXPECT_EQ(run_.OnDisk("KARI.INI", "Net_Servernavn"), "ff_server@10.0.0.5");
}

TEST_F(BrukerTest, OverlongServerNameIsReportedWhileTheProtocolIsStored) {
  const QString overlong = "ff_server@" + QString(54, 'a');
  EXPECT_FALSE(signOn([&](TBrukerform& form) {
    form.eProtocol->setEditText("TCP/IP");
    form.eServer->setText(overlong);
    form.BitBtn2->click();
  }));
  ASSERT_EQ(reported_.size(), 1u);
  EXPECT_EQ(reported_[0].message, "Kan ikke skrive til registeret");
  EXPECT_EQ(ff::FFClientConfigReadServerName(), "");
  EXPECT_EQ(ff::FFClientConfigReadProtocol(), "TCP/IP");
  EXPECT_EQ(run_.OnDisk("VELTRINO.INI", "Net_Servernavn"), overlong.toStdString());
}

TEST_F(BrukerTest, WithoutAReporterTheFailureGoesToTheMessageWindow) {
  SetSignOnErrorReporter({});
  WriteBytes(run_.Root() + "blocked", "a file, not a folder");
  settings_test::EnvVar blocked("FF_CONFIG_DIR", run_.Root() + "blocked/flashfiler");
  std::vector<QString> messages;
  TBrukerform form;
  {
    ScopedModalHandler answer([&](QDialog& dialog) {
      auto& message = dynamic_cast<TMsgForm&>(dialog);
      messages.push_back(message.FeilMsg->text() + " / " + message.Msg1->text());
      return static_cast<int>(QDialog::Accepted);
    });
    form.Save();
  }
  EXPECT_EQ(messages, (std::vector<QString>{
                          "Kan ikke skrive til registeret / "
                          "Mangler rettigheter for bruker, kontakt Administrator"}));
}

// ---- Results of the sign-on ---------------------------------------------------------------------

TEST_F(BrukerTest, OnlyOkWithAUserNameSignsOnButEveryCloseSaves) {
  const auto closeWith = [](const QString& user, const std::function<void(TBrukerform&)>& close) {
    return signOn([&](TBrukerform& form) {
      form.Edit1->setText(user);
      form.eServer->setText(user + "@server");
      close(form);
    });
  };
  EXPECT_TRUE(closeWith("ola", [](TBrukerform& form) { form.BitBtn1->click(); }));
  EXPECT_EQ(run_.OnDisk("VELTRINO.INI", "Net_Servernavn"), "ola@server");

  EXPECT_FALSE(closeWith("", [](TBrukerform& form) { form.BitBtn1->click(); }));
  EXPECT_EQ(run_.OnDisk("VELTRINO.INI", "Net_Servernavn"), "@server");
  EXPECT_EQ(run_.OnDisk("VELTRINO.INI", "Brukernavn"), "");

  EXPECT_FALSE(closeWith("per", [](TBrukerform& form) { form.BitBtn2->click(); }));
  EXPECT_EQ(run_.OnDisk("VELTRINO.INI", "Net_Servernavn"), "per@server");
  EXPECT_EQ(run_.OnDisk("PER.INI", "Net_Servernavn"), "per@server");

  EXPECT_FALSE(closeWith("eva", [](TBrukerform& form) {
    QTest::keyClick(form.Edit1, Qt::Key_Escape);
  }));
  EXPECT_EQ(run_.OnDisk("VELTRINO.INI", "Net_Servernavn"), "eva@server");

  EXPECT_TRUE(closeWith("kari", [](TBrukerform& form) {
    QTest::keyClick(form.Edit1, Qt::Key_Return);
  }));
}

TEST_F(BrukerTest, SettingsThatCannotBeWrittenCloseTheWindowAndReachTheCaller) {
  fs::create_directory(run_.Etc() + "KARI.INI");  // the user's file cannot be read or written
  const auto closeWith = [](QPushButton* TBrukerform::*button) {
    bool closed = false;
    const bool signedOn = signOn([&](TBrukerform& form) {
      EXPECT_THROW((form.*button)->click(), SettingsError);
      closed = !form.isVisible();
    });
    EXPECT_TRUE(closed);
    EXPECT_EQ(CurrentSettingsFile(), SettingsFileName());
    return signedOn;
  };
  EXPECT_FALSE(closeWith(&TBrukerform::BitBtn2));
  EXPECT_THROW(closeWith(&TBrukerform::BitBtn1), SettingsError);  // saved once more, failing
  EXPECT_EQ(CurrentSettingsFile(), SettingsFileName());
}

}  // namespace
