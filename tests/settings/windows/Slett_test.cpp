// The delete confirmation driven offscreen through the modal seam.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

#include "settings/windows/ModalSeam.h"
#include "settings/windows/Slett.h"

namespace {

// Asks question; script answers the dialog as shown.
bool ask(const std::string& question, const std::function<void(TSlettedialog&)>& script) {
  ScopedModalHandler scripted([&](QDialog& dialog) {
    auto& slett = dynamic_cast<TSlettedialog&>(dialog);
    script(slett);
    return slett.result();
  });
  return AskDelete(question);
}

TEST(Slett, ShowsTheQuestionWithItsCaptionAndButtons) {
  QString caption, text, ok, cancel;
  QSize size;
  EXPECT_TRUE(ask("Vil du slette prosjekt 12?", [&](TSlettedialog& dialog) {
    caption = dialog.windowTitle();
    size = dialog.size();
    text = dialog.findChild<QLabel*>("Label1")->text();
    ok = dialog.findChild<QPushButton*>("OKBtn")->text();
    cancel = dialog.findChild<QPushButton*>("CancelBtn")->text();
    dialog.OKBtn->click();
  }));
  EXPECT_EQ(caption, "Slett");
  EXPECT_EQ(size, QSize(346, 121));
  EXPECT_EQ(text, "Vil du slette prosjekt 12?");
  EXPECT_EQ(ok, "O&k");
  EXPECT_EQ(cancel, "&Avbryt");
}

TEST(Slett, OnlyOkAnswersYes) {
  EXPECT_FALSE(ask("Slette?", [](TSlettedialog& dialog) { dialog.CancelBtn->click(); }));
  EXPECT_FALSE(ask("Slette?", [](TSlettedialog& dialog) { dialog.close(); }));
  EXPECT_FALSE(ask("Slette?", [](TSlettedialog& dialog) {
    QTest::keyClick(&dialog, Qt::Key_Escape);
  }));
}

TEST(Slett, EnterRightAwayChoosesTheFocusedAvbryt) {
  const QWidget* focused = nullptr;
  const QWidget* cancel = nullptr;
  EXPECT_FALSE(ask("Slette?", [&](TSlettedialog& dialog) {
    focused = QApplication::focusWidget();
    cancel = dialog.CancelBtn;
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  }));
  EXPECT_EQ(focused, cancel);
  EXPECT_FALSE(ask("Slette?", [](TSlettedialog& dialog) {
    QTest::keyClick(&dialog, Qt::Key_Return);
  }));
}

}  // namespace
