// The progress window: opening, text, bar, Esc and closing.
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

#include "store/Errors.h"
#include "settings/windows/Prosess.h"

namespace {

void destroyClosedWindows() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

class ProsessTest : public testing::Test {
 protected:
  void TearDown() override {
    CloseProgress();
    destroyClosedWindows();
  }
};

TEST_F(ProsessTest, ShowProgressOpensAWindowWithTheCaptionAndAnEmptyBar) {
  ShowProgress("database: KvistMerket, bruker: OLA");
  TVisProsessForm* form = VisProsessForm();
  ASSERT_NE(form, nullptr);
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->isModal());
  EXPECT_EQ(form->windowTitle(), "database: KvistMerket, bruker: OLA");
  EXPECT_EQ(form->size(), QSize(425, 58));
  EXPECT_EQ(form->Shape->value(), 0);
  EXPECT_EQ(form->Shape->minimum(), 0);
  EXPECT_EQ(form->Shape->maximum(), 100);
  EXPECT_EQ(form->Shape->y(), 24);
  EXPECT_EQ(form->Shape->width(), 409);
  EXPECT_EQ(form->VisLabel->y(), 0);
  EXPECT_EQ(form->VisLabel->width(), 409);
  EXPECT_TRUE(form->VisLabel->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(form->findChild<QLabel*>("VisLabel"), form->VisLabel);
  EXPECT_EQ(form->findChild<QProgressBar*>("Shape"), form->Shape);
}

TEST_F(ProsessTest, TextAndBarFollowTheCaller) {
  ShowProgress("arbeid");
  SetProgressText("Åpner datafiler.....");
  EXPECT_EQ(VisProsessForm()->VisLabel->text(), "Åpner datafiler.....");
  SetProgressPosition(40);
  EXPECT_EQ(VisProsessForm()->Shape->value(), 40);
  SetProgressPosition(140);
  EXPECT_EQ(VisProsessForm()->Shape->value(), 100);
  SetProgressPosition(-5);
  EXPECT_EQ(VisProsessForm()->Shape->value(), 0);
}

TEST_F(ProsessTest, EscRaisesTheSilentAbortAndTheWindowStays) {
  ShowProgress("arbeid");
  TVisProsessForm* form = VisProsessForm();
  EXPECT_THROW(QTest::keyClick(form, Qt::Key_Escape), ff::EAbort);
  EXPECT_EQ(VisProsessForm(), form);
  EXPECT_TRUE(form->isVisible());
  EXPECT_NO_THROW(QTest::keyClick(form, Qt::Key_Escape, Qt::ShiftModifier));
  EXPECT_NO_THROW(QTest::keyClick(form, Qt::Key_Return));
}

TEST_F(ProsessTest, CloseProgressDestroysTheWindowOncePendingEventsAreHandled) {
  ShowProgress("arbeid");
  QPointer<TVisProsessForm> form = VisProsessForm();
  CloseProgress();
  EXPECT_EQ(VisProsessForm(), nullptr);
  ASSERT_FALSE(form.isNull());
  EXPECT_FALSE(form->isVisible());
  destroyClosedWindows();
  EXPECT_TRUE(form.isNull());

  SetProgressText("ingen");
  SetProgressPosition(50);
  CloseProgress();
  EXPECT_EQ(VisProsessForm(), nullptr);
}

TEST_F(ProsessTest, SecondShowProgressClosesTheWindowLeftOpen) {
  ShowProgress("første");
  QPointer<TVisProsessForm> first = VisProsessForm();
  ShowProgress("andre");
  EXPECT_NE(VisProsessForm(), first.data());
  EXPECT_EQ(VisProsessForm()->windowTitle(), "andre");
  destroyClosedWindows();
  EXPECT_TRUE(first.isNull());
}

}  // namespace
