// The company chooser driven offscreen through the modal seam.
#include "settings/windows/Firmvelg.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include "SignOnTestSupport.h"
#include "support/QtPrint.h"

using settings_test::Answer;
using settings_test::SignOnRun;

namespace {

class FirmvelgTest : public ::testing::Test {
 protected:
  FirmvelgTest() {
    WriteSetting("FirmaDef1", "Kunde");
    WriteSetting("FirmaDef2", "Leverandør");
  }
  // Sets both flags, then runs the chooser answered by script.
  void Choose(bool isCustomer, bool cancelled,
              const std::function<void(TVelgFirmaVindu&)>& script) {
    NewCompanyIsCustomer = isCustomer;
    NewCompanyCancelled = cancelled;
    Answer<TVelgFirmaVindu>(script, [] {
      ShowCompanyChooser();
      return 0;
    });
  }
  std::pair<bool, bool> Flags() const { return {NewCompanyIsCustomer, NewCompanyCancelled}; }

  SignOnRun run_;
};

TEST_F(FirmvelgTest, ShowsTheTwoChoicesFromTheSettings) {
  QString caption, group, first, second;
  QSize size;
  int selected = -1;
  bool okFocused = false;
  Choose(false, false, [&](TVelgFirmaVindu& chooser) {
    caption = chooser.windowTitle();
    size = chooser.size();
    group = chooser.NyvalgKnott->title();
    first = chooser.NyvalgItem1->text();
    second = chooser.NyvalgItem2->text();
    selected = chooser.ItemIndex();
    okFocused = QApplication::focusWidget() == chooser.OKBtn;
    chooser.CancelBtn->click();
  });
  EXPECT_EQ(caption, "Registrer nytt firma");
  EXPECT_EQ(size, QSize(201, 176));
  EXPECT_EQ(group, "Velg:");
  EXPECT_EQ(first, "Kunde");
  EXPECT_EQ(second, "Leverandør");
  EXPECT_EQ(selected, 0);
  EXPECT_TRUE(okFocused);
}

TEST_F(FirmvelgTest, MissingTextsLeaveTheChoicesWithoutCaption) {
  WriteSetting("FirmaDef1", "");
  QString first, second;
  Choose(false, false, [&](TVelgFirmaVindu& chooser) {
    first = chooser.NyvalgItem1->text();
    second = chooser.NyvalgItem2->text();
    chooser.OKBtn->click();
  });
  EXPECT_EQ(first, "");
  EXPECT_EQ(second, "Leverandør");
}

TEST_F(FirmvelgTest, OkTellsWhichChoiceWasMade) {
  Choose(true, true, [](TVelgFirmaVindu& chooser) {
    chooser.NyvalgItem2->click();
    chooser.OKBtn->click();
  });
  EXPECT_EQ(Flags(), std::make_pair(false, false));

  Choose(false, true, [](TVelgFirmaVindu&) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  });
  EXPECT_EQ(Flags(), std::make_pair(true, false));
}

TEST_F(FirmvelgTest, AvbrytAndEscCancelAndKeepTheChoiceOfBefore) {
  Choose(true, false, [](TVelgFirmaVindu& chooser) {
    chooser.NyvalgItem2->click();
    chooser.CancelBtn->click();
  });
  EXPECT_EQ(Flags(), std::make_pair(true, true));

  Choose(false, false, [](TVelgFirmaVindu& chooser) { QTest::keyClick(&chooser, Qt::Key_Escape); });
  EXPECT_EQ(Flags(), std::make_pair(false, true));
}

TEST_F(FirmvelgTest, CloseBoxSetsNeitherFlag) {
  for (const auto& [isCustomer, cancelled] : {std::pair(true, false), std::pair(false, true)}) {
    Choose(isCustomer, cancelled, [](TVelgFirmaVindu& chooser) {
      chooser.NyvalgItem2->click();
      chooser.close();
    });
    EXPECT_EQ(Flags(), std::make_pair(isCustomer, cancelled));
  }
}

}  // namespace
