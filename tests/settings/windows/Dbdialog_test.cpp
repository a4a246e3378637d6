// The sign-on dialog driven offscreen, with a real session over a temporary alias registry.
// The data module's table groups are stood in for by a recorder until the data module exists.
#include "settings/windows/Dbdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

#include "SignOnTestSupport.h"
#include "store/Aliases.h"
#include "store/Session.h"
#include "settings/TableGroups.h"
#include "support/QtPrint.h"

using settings_test::Answer;
using settings_test::SignOnRun;

namespace {

// Records each call with the alias stored at that moment: "close(FIRMA2) open(FIRMA2)".
class RecordingTableGroups : public TableGroupControl {
 public:
  void CloseAllFiles() override { record("close"); }
  void OpenAllFiles() override {
    record("open");
    if (failOpen) throw std::runtime_error("kan ikke åpne tabellene");
  }
  std::string calls;
  bool failOpen = false;

 private:
  void record(const std::string& what) {
    calls += (calls.empty() ? "" : " ") + what + "(" + GetNetAlias() + ")";
  }
};

class DbdialogTest : public ::testing::Test {
 protected:
  DbdialogTest() {
    ff::AddAlias("FIRMA1", run_.Root() + "firma1");
    ff::AddAlias("FIRMA2", run_.Root() + "firma2");
    WriteSetting("Net_Alias", "FIRMA1");
  }

  // Opens the dialog, lets script answer it, and returns the result code.
  int Open(const std::function<void(TAliasdialog&)>& script) {
    return Answer<TAliasdialog>(script, [this] { return ExecModal(dialog_); });
  }
  static void Type(TAliasdialog& dialog, const QString& alias) {
    dialog.Aliasnavn->lineEdit()->selectAll();
    QTest::keyClicks(dialog.Aliasnavn->lineEdit(), alias);
  }

  SignOnRun run_;
  ff::TffSession session_{"VeltrinoSession"};
  RecordingTableGroups tables_;
  TAliasdialog dialog_{session_, tables_};
};

TEST_F(DbdialogTest, ShowsTheSessionsAliasesWithTheStoredOneSelected) {
  QString caption, label, bruk, ok, cancel, text, selected;
  QSize size;
  QStringList items;
  bool focused = false;
  Open([&](TAliasdialog& dialog) {
    caption = dialog.windowTitle();
    size = dialog.size();
    label = dialog.Label1->text();
    bruk = dialog.BrukKnapp->text();
    ok = dialog.OKBtn->text();
    cancel = dialog.CancelBtn->text();
    for (int i = 0; i < dialog.Aliasnavn->count(); ++i) items << dialog.Aliasnavn->itemText(i);
    text = dialog.Aliasnavn->currentText();
    selected = dialog.Aliasnavn->lineEdit()->selectedText();
    focused = dialog.Aliasnavn->hasFocus();
    dialog.CancelBtn->click();
  });
  EXPECT_EQ(caption, "Pålogging");
  EXPECT_EQ(size, QSize(280, 124));
  EXPECT_EQ(label, "Database:");
  EXPECT_EQ(bruk, "&Endre alle");
  EXPECT_EQ(ok, "O&k");
  EXPECT_EQ(cancel, "&Avbryt");
  EXPECT_EQ(items, (QStringList{"FIRMA1", "FIRMA2"}));
  EXPECT_EQ(text, "FIRMA1");
  EXPECT_EQ(selected, "FIRMA1");
  EXPECT_TRUE(focused);
}

TEST_F(DbdialogTest, EachOpeningReadsTheAliasesAndTheStoredAliasAfresh) {
  Open([](TAliasdialog& dialog) { dialog.CancelBtn->click(); });
  ff::AddAlias("FIRMA3", run_.Root() + "firma3");
  WriteSetting("Net_Alias", "");
  QString text;
  int count = 0;
  Open([&](TAliasdialog& dialog) {
    text = dialog.Aliasnavn->currentText();
    count = dialog.Aliasnavn->count();
    dialog.CancelBtn->click();
  });
  EXPECT_EQ(text, "KvistMerket");
  EXPECT_EQ(count, 3);
}

TEST_F(DbdialogTest, OkStoresTheAliasForLaterSignOnsOnly) {
  EXPECT_EQ(Open([](TAliasdialog& dialog) {
              Type(dialog, "FIRMA2");
              dialog.OKBtn->click();
            }),
            QDialog::Accepted);
  EXPECT_EQ(ReadSetting("Net_Alias"), "FIRMA2");
  EXPECT_EQ(ReadSetting("Database_SistBrukt"), "FIRMA2");
  EXPECT_EQ(tables_.calls, "");
}

TEST_F(DbdialogTest, EndreAlleStoresTheAliasThenReopensEveryTableUnderIt) {
  EXPECT_EQ(Open([](TAliasdialog& dialog) {
              Type(dialog, "FIRMA2");
              dialog.BrukKnapp->click();
            }),
            QDialog::Accepted);
  EXPECT_EQ(tables_.calls, "close(FIRMA2) open(FIRMA2)");
  EXPECT_EQ(ReadSetting("Net_Alias"), "FIRMA2");
  EXPECT_EQ(ReadSetting("Database_SistBrukt"), "FIRMA2");
}

TEST_F(DbdialogTest, DialogClosesEvenWhenReopeningFails) {
  tables_.failOpen = true;
  bool closed = false;
  Open([&](TAliasdialog& dialog) {
    EXPECT_THROW(dialog.BrukKnapp->click(), std::runtime_error);
    closed = !dialog.isVisible();
  });
  EXPECT_TRUE(closed);
  EXPECT_EQ(dialog_.result(), QDialog::Accepted);
  EXPECT_EQ(ReadSetting("Database_SistBrukt"), "FIRMA1");
}

TEST_F(DbdialogTest, AvbrytAndEscKeepTheStoredAliasAndRecordIt) {
  for (const auto& cancel : std::vector<std::function<void(TAliasdialog&)>>{
           [](TAliasdialog& dialog) { dialog.CancelBtn->click(); },
           [](TAliasdialog& dialog) { QTest::keyClick(dialog.Aliasnavn->lineEdit(), Qt::Key_Escape); },
       }) {
    WriteSetting("Database_SistBrukt", "");
    EXPECT_EQ(Open([&](TAliasdialog& dialog) {
                Type(dialog, "FIRMA2");
                cancel(dialog);
              }),
              QDialog::Rejected);
    EXPECT_EQ(ReadSetting("Net_Alias"), "FIRMA1");
    EXPECT_EQ(ReadSetting("Database_SistBrukt"), "FIRMA1");
    EXPECT_EQ(dialog_.Aliasnavn->currentText(), "FIRMA1");
  }
  EXPECT_EQ(tables_.calls, "");
}

TEST_F(DbdialogTest, CloseBoxRecordsTheAliasShownWithoutStoringIt) {
  EXPECT_EQ(Open([](TAliasdialog& dialog) {
              Type(dialog, "NYTT");
              dialog.close();
            }),
            QDialog::Rejected);
  EXPECT_EQ(ReadSetting("Net_Alias"), "FIRMA1");
  EXPECT_EQ(ReadSetting("Database_SistBrukt"), "NYTT");
}

TEST_F(DbdialogTest, UnknownAliasIsStoredAsTyped) {
  Open([](TAliasdialog& dialog) {
    Type(dialog, "Ukjent Firma");
    dialog.OKBtn->click();
  });
  EXPECT_EQ(ReadSetting("Net_Alias"), "Ukjent Firma");
  EXPECT_FALSE(session_.IsAlias("Ukjent Firma"));
}

TEST_F(DbdialogTest, UnboundFetchersShowTheStoredAlias) {
  dialog_.Aliasnavn->setEditText("x");
  dialog_.HentNyttKnappClick();
  EXPECT_EQ(dialog_.Aliasnavn->currentText(), "FIRMA1");
  dialog_.Aliasnavn->setEditText("y");
  dialog_.BitBtn4Click();
  EXPECT_EQ(dialog_.Aliasnavn->currentText(), "FIRMA1");
}

}  // namespace
