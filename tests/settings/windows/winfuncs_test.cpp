// The message window driven offscreen through the modal seam, the log file and the date helpers.
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "store/Clock.h"
#include "store/Field.h"
#include "settings/Felles.h"
#include "settings/windows/ModalSeam.h"
#include "text/Utf8Text.h"
#include "settings/windows/winfuncs.h"

namespace {

// 15 March 2024, 10:20:30.
double fixedNow() { return ff::encodeDate(2024, 3, 15) + (10 * 3600 + 20 * 60 + 30) / 86400.0; }

std::string repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

std::size_t characters(const std::string& text) {
  return QString::fromStdString(text).toUcs4().size();
}

// Geometry and state of the message window while it is showing.
struct Seen {
  QString caption;
  int width = 0;
  int height = 0;
  bool ja = false, ok = false, nei = false, input = false, msg2 = false, quickSearch = true;
  int jaLeft = 0, okLeft = 0, neiLeft = 0;
  QRect inputLine;
  QString inputText;
  bool labelsCentred = false;
};

Seen look(const TMsgForm& form) {
  Seen seen;
  seen.caption = form.windowTitle();
  seen.width = form.width();
  seen.height = form.height();
  seen.ja = form.JaKnapp->isVisible();
  seen.ok = form.OkKnapp->isVisible();
  seen.nei = form.NeiKnapp->isVisible();
  seen.input = form.LetStr->isVisible();
  seen.msg2 = form.Msg2->isVisible();
  seen.quickSearch =
      form.LetLabel->isVisible() || form.Hurtig->isVisible() || form.FraStart->isVisible();
  seen.jaLeft = form.JaKnapp->x();
  seen.okLeft = form.OkKnapp->x();
  seen.neiLeft = form.NeiKnapp->x();
  seen.inputLine = form.LetStr->geometry();
  seen.inputText = form.LetStr->text();
  seen.labelsCentred = true;
  for (const QLabel* label : {form.FeilMsg, form.Msg1, form.Msg2}) {
    seen.labelsCentred &= label->x() == (form.width() - label->width()) / 2;
  }
  return seen;
}

class MsgTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    InitSettingsStore({path("")});
    SetUserName("ola");
    SetLogFolder(path(""));
    ff::SetClock(fixedNow);
    MsgInputText.clear();
  }
  void TearDown() override {
    SetLogFolder("");
    ff::SetClock({});
  }

  std::string path(const std::string& name) const {
    return folder_.path().toStdString() + "/" + name;
  }

  static QByteArray logContents() {
    QFile file(QString::fromStdString(LogFileName()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no log)");
  }

  // Shows a message; script looks at the window and answers it.
  static bool show(const std::string& l1, const std::string& l2, const std::string& l3,
                   TMsgKind kind, const std::function<void(TMsgForm&)>& script) {
    ScopedModalHandler scripted([&](QDialog& dialog) {
      auto& form = dynamic_cast<TMsgForm&>(dialog);
      script(form);
      return form.result();
    });
    return ShowMsg(l1, l2, l3, kind);
  }

  // Shows a message, remembers how it looked and answers with button.
  static bool showAndLook(const std::string& l1, const std::string& l2, const std::string& l3,
                          TMsgKind kind, QPushButton* TMsgForm::*button, Seen& seen) {
    return show(l1, l2, l3, kind, [&](TMsgForm& form) {
      seen = look(form);
      (form.*button)->click();
    });
  }

  QTemporaryDir folder_;
};

// ---- Window layout per kind ---------------------------------------------------------------------

TEST_F(MsgTest, InfoWithShortLinesIsBaseWidthWithOkCentred) {
  Seen seen;
  EXPECT_TRUE(showAndLook("Lagret", "ok", "", MsgInfo, &TMsgForm::OkKnapp, seen));
  EXPECT_EQ(seen.caption, "Melding...");
  EXPECT_EQ(seen.width, 202);
  EXPECT_EQ(seen.height, 116);
  EXPECT_TRUE(seen.ok);
  EXPECT_FALSE(seen.ja || seen.nei || seen.input || seen.quickSearch);
  EXPECT_TRUE(seen.msg2);
  EXPECT_EQ(seen.okLeft, 101 - 32);
  EXPECT_TRUE(seen.labelsCentred);
}

TEST_F(MsgTest, QuestionShowsJaAndNeiAroundTheMiddle) {
  Seen seen;
  EXPECT_TRUE(showAndLook("Slette?", "", "", MsgQuestion, &TMsgForm::JaKnapp, seen));
  EXPECT_TRUE(seen.ja && seen.nei);
  EXPECT_FALSE(seen.ok || seen.input);
  EXPECT_EQ(seen.jaLeft, 101 - 64 - 15);
  EXPECT_EQ(seen.neiLeft, 101 + 15);
  EXPECT_EQ(seen.inputLine.top(), 24);

  EXPECT_FALSE(showAndLook("Slette?", "", "", MsgQuestion, &TMsgForm::NeiKnapp, seen));
  EXPECT_FALSE(show("Slette?", "", "", MsgQuestion, [](TMsgForm& form) { form.close(); }));
}

TEST_F(MsgTest, WideFirstLineWidensTheWindowAndEverythingIsCentredOnIt) {
  const std::string line = "Kan ikke bokføre fakturaen fordi kunden mangler konto";
  int labelWidth = 0;
  Seen seen;
  show(line, "", "", MsgQuestion, [&](TMsgForm& form) {
    labelWidth = form.FeilMsg->width();
    EXPECT_GE(labelWidth, QFontMetrics(form.FeilMsg->font()).horizontalAdvance(
                              QString::fromStdString(line)));
    seen = look(form);
    form.reject();
  });
  ASSERT_GT(labelWidth, 182);
  EXPECT_EQ(seen.width, labelWidth + 30);
  EXPECT_TRUE(seen.labelsCentred);
  EXPECT_EQ(seen.jaLeft, seen.width / 2 - 64 - 15);
  EXPECT_EQ(seen.neiLeft, seen.width / 2 + 15);
}

TEST_F(MsgTest, MarkupInALineIsShownAsPlainText) {
  const QString markup = "<b>Feil</b> i <i>linje</i>";
  int plainWidth = 0;
  int shownWidth = 0;
  show(markup.toStdString(), "", "", MsgInfo, [&](TMsgForm& form) {
    plainWidth = QFontMetrics(form.FeilMsg->font()).horizontalAdvance(markup);
    shownWidth = form.FeilMsg->width();
    form.accept();
  });
  EXPECT_GE(shownWidth, plainWidth);
}

TEST_F(MsgTest, WideSecondLineWidensTheWindow) {
  const std::string line = repeated("Prosjekt 12 er avsluttet ", 3);
  int labelWidth = 0;
  Seen seen;
  show("Merk", line, "", MsgInfo, [&](TMsgForm& form) {
    labelWidth = form.Msg1->width();
    seen = look(form);
    form.accept();
  });
  EXPECT_EQ(seen.width, labelWidth + 30);
  EXPECT_EQ(seen.okLeft, seen.width / 2 - 32);
}

TEST_F(MsgTest, InputWidensForAThirdLineThatWouldCrowdTheInputLine) {
  // A third line wider than 202 - 60 but not than 202 - 20: only the input rule applies.
  TMsgForm probe;
  const QFontMetrics metrics(probe.Msg2->font());
  std::string line3 = "x";
  while (metrics.horizontalAdvance(QString::fromStdString(line3)) <= 150) line3 += "x";
  ASSERT_LE(metrics.horizontalAdvance(QString::fromStdString(line3)), 175);

  int labelWidth = 0;
  Seen seen;
  show("Navn", "", line3, MsgInput, [&](TMsgForm& form) {
    labelWidth = form.Msg2->width();
    seen = look(form);
    form.accept();
  });
  EXPECT_EQ(seen.width, labelWidth + 80);
  EXPECT_EQ(seen.inputLine.width(), seen.width - 21);
  EXPECT_EQ(seen.inputText, QString::fromStdString(line3));
}

TEST_F(MsgTest, LinesAndInputTextAreCutAt255Characters) {
  QString shown;
  show(repeated("ø", 300), "", "", MsgInput, [&](TMsgForm& form) {
    shown = form.FeilMsg->text();
    form.LetStr->setText(QString::fromStdString(repeated("å", 300)));
    form.accept();
  });
  EXPECT_EQ(shown, QString::fromStdString(repeated("ø", 255)));
  EXPECT_EQ(MsgInputText, repeated("å", 255));
}

// ---- The input line -----------------------------------------------------------------------------

TEST_F(MsgTest, InputLineStartsEmptyBelowTheLinesAndKeepsWhatWasTyped) {
  Seen seen;
  EXPECT_TRUE(show("Skriv navn", "", "", MsgInput, [&](TMsgForm& form) {
    seen = look(form);
    QTest::keyClicks(form.LetStr, "Ola Nordmann");
    form.JaKnapp->click();
  }));
  EXPECT_TRUE(seen.input && seen.ja && seen.nei);
  EXPECT_FALSE(seen.ok || seen.msg2);
  EXPECT_EQ(seen.inputLine, QRect(8, 50, 202 - 21, seen.inputLine.height()));
  EXPECT_EQ(seen.inputText, "");
  EXPECT_EQ(MsgInputText, "Ola Nordmann");

  EXPECT_FALSE(show("Skriv navn", "", "start", MsgInput, [&](TMsgForm& form) {
    seen = look(form);
    QTest::keyClicks(form.LetStr, "Kari");
    form.NeiKnapp->click();
  }));
  EXPECT_EQ(seen.inputText, "start");
  EXPECT_EQ(MsgInputText, "startKari");
}

TEST_F(MsgTest, EnterAndEscInTheInputLineDecide) {
  EXPECT_TRUE(show("Søk", "", "", MsgInput, [](TMsgForm& form) {
    QTest::keyClicks(form.LetStr, "abc");
    QTest::keyClick(form.LetStr, Qt::Key_Return);
  }));
  EXPECT_EQ(MsgInputText, "abc");
  EXPECT_TRUE(show("Søk", "", "", MsgInput,
                   [](TMsgForm& form) { QTest::keyClick(form.LetStr, Qt::Key_Enter); }));
  EXPECT_FALSE(show("Søk", "", "", MsgInput, [](TMsgForm& form) {
    QTest::keyClicks(form.LetStr, "def");
    QTest::keyClick(form.LetStr, Qt::Key_Escape);
  }));
  EXPECT_EQ(MsgInputText, "def");
}

TEST_F(MsgTest, ThirdLineReturnsAfterAnInputMessage) {
  Seen seen;
  show("Søk", "", "", MsgInput, [](TMsgForm& form) { form.accept(); });
  showAndLook("Info", "to", "tre", MsgInfo, &TMsgForm::OkKnapp, seen);
  EXPECT_TRUE(seen.msg2);
  EXPECT_FALSE(seen.input);
}

TEST_F(MsgTest, MessageAskedWhileOneIsShowingGetsItsOwnWindow) {
  bool innerAnswer = false;
  bool outerStillShowing = false;
  const TMsgForm* innerWindow = nullptr;
  int depth = 0;
  ScopedModalHandler scripted([&](QDialog& dialog) {
    if (++depth == 1) {
      innerAnswer = ShowMsg("Indre", "", "", MsgQuestion);
      outerStillShowing = dialog.isVisible();
      static_cast<TMsgForm&>(dialog).JaKnapp->click();
    } else {
      innerWindow = &static_cast<TMsgForm&>(dialog);
      static_cast<TMsgForm&>(dialog).JaKnapp->click();
    }
    return dialog.result();
  });
  EXPECT_TRUE(ShowMsg("Ytre", "", "", MsgQuestion));
  EXPECT_TRUE(innerAnswer);
  EXPECT_TRUE(outerStillShowing);
  EXPECT_NE(innerWindow, MsgForm());
}

// ---- The log ------------------------------------------------------------------------------------

TEST_F(MsgTest, ErrorMessageIsLoggedWithTheStoredUserName) {
  Seen seen;
  EXPECT_TRUE(showAndLook("Første", "", "tredje", MsgError, &TMsgForm::OkKnapp, seen));
  EXPECT_EQ(seen.caption, "Feilmelding...");
  EXPECT_TRUE(seen.ok);
  EXPECT_FALSE(seen.ja || seen.nei || seen.input);
  EXPECT_EQ(logContents(), "15.03.2024 10:20:30  FEILMELDING (ola): Første  tredje\r\n");
}

TEST_F(MsgTest, OtherKindsAreNotLogged) {
  show("a", "b", "c", MsgInfo, [](TMsgForm& form) { form.accept(); });
  show("a", "b", "c", MsgQuestion, [](TMsgForm& form) { form.accept(); });
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(LogFileName())));
}

TEST_F(MsgTest, FirstEntryCreatesTheLogAndLaterOnesAppend) {
  ASSERT_FALSE(QFileInfo::exists(QString::fromStdString(LogFileName())));
  WriteLog("en");
  EXPECT_EQ(logContents(), "15.03.2024 10:20:30  en\r\n");
  ff::SetClock([] { return ff::encodeDate(2024, 12, 1) + 5 / 86400.0; });
  WriteLog("to");
  EXPECT_EQ(logContents(), "15.03.2024 10:20:30  en\r\n01.12.2024 00:00:05  to\r\n");
}

TEST_F(MsgTest, LogLineIsCutAt255Characters) {
  WriteLog(repeated("æ", 300));
  const std::string line = logContents().toStdString();
  ASSERT_TRUE(line.ends_with("\r\n"));
  const std::string text = line.substr(0, line.size() - 2);
  EXPECT_EQ(characters(text), 255u);
  EXPECT_EQ(text, "15.03.2024 10:20:30  " + repeated("æ", 255 - 21));
}

TEST_F(MsgTest, LogLivesBesideTheProgramByDefault) {
  SetLogFolder("");
  const QFileInfo log(QString::fromStdString(LogFileName()));
  EXPECT_EQ(log.absolutePath(), QDir(QCoreApplication::applicationDirPath()).absolutePath());
  EXPECT_EQ(log.fileName(), "winfuncs_test.LOG");
}

TEST_F(MsgTest, UnwritableLogFolderIsAClearError) {
  QFile blocker(QString::fromStdString(path("blokk")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  SetLogFolder(path("blokk") + "/logg/");
  try {
    WriteLog("en");
    FAIL() << "WriteLog wrote into a folder that cannot exist";
  } catch (const LogWriteError& error) {
    EXPECT_NE(std::string(error.what()).find(LogFileName()), std::string::npos) << error.what();
  }
}

TEST_F(MsgTest, ErrorMessageWithUnwritableLogFailsAfterTheWindowClosed) {
  SetLogFolder(path("mangler") + "/");
  bool seenByUser = false;
  EXPECT_THROW(show("Feil", "", "", MsgError,
                    [&](TMsgForm& form) {
                      seenByUser = form.isVisible();
                      form.OkKnapp->click();
                    }),
               LogWriteError);
  EXPECT_TRUE(seenByUser);
  EXPECT_FALSE(MsgForm()->isVisible());
}

// ---- Calendar helpers ---------------------------------------------------------------------------

class DateTest : public testing::Test {
 protected:
  void TearDown() override { ff::SetClock({}); }
  static void today(int year, int month, int day) {
    ff::SetClock([=] { return ff::encodeDate(year, month, day) + 0.75; });
  }
  static std::string date(double value) { return ff::formatDateTime(value, ff::FieldType::Date); }
};

TEST_F(DateTest, AfterDaysCrossesMonthEndsByTheCalendar) {
  today(2023, 1, 31);
  EXPECT_EQ(date(DateAfterDays(30)), "02.03.2023");
  EXPECT_EQ(date(DateAfterDays(0)), "31.01.2023");
  EXPECT_EQ(DateAfterDays(0), ff::encodeDate(2023, 1, 31));
  today(2024, 1, 31);
  EXPECT_EQ(date(DateAfterDays(30)), "01.03.2024");
  today(2023, 12, 31);
  EXPECT_EQ(date(DateAfterDays(1)), "01.01.2024");
}

TEST_F(DateTest, AfterDaysAgreesWithTheCalendarOverYears) {
  for (QDate start(1999, 12, 1); start <= QDate(2001, 3, 31); start = start.addDays(7)) {
    today(start.year(), start.month(), start.day());
    for (int days : {1, 28, 29, 30, 31, 59, 60, 365, 366, 1461, 36525, 65535}) {
      const QDate expected = start.addDays(days);
      EXPECT_EQ(DateAfterDays(static_cast<std::uint16_t>(days)),
                ff::encodeDate(expected.year(), expected.month(), expected.day()))
          << start.toString("dd.MM.yyyy").toStdString() << " + " << days;
    }
  }
}

TEST(YearIsLeap, FollowsTheGregorianRules) {
  EXPECT_FALSE(YearIsLeap(1900));
  EXPECT_TRUE(YearIsLeap(2000));
  EXPECT_TRUE(YearIsLeap(2004));
  EXPECT_FALSE(YearIsLeap(2003));
  EXPECT_FALSE(YearIsLeap(2100));
  EXPECT_TRUE(YearIsLeap(2400));
}

}  // namespace
