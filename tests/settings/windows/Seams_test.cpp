// The process-wide seams: modal windows, ending the process, the screen cursor.
#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/QtTestMain.h"
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/windows/ModalSeam.h"
#include "settings/windows/ProcessExit.h"
#include "settings/windows/ScreenCursor.h"

namespace {

// ---- Modal seam ---------------------------------------------------------------------------------

TEST(ModalSeam, HandlerGetsTheShownModalDialogAndDecidesTheResult) {
  QDialog dialog;
  bool wasShownModal = false;
  ScopedModalHandler scripted([&](QDialog& shown) {
    wasShownModal = &shown == &dialog && shown.isVisible() && shown.isModal();
    return 42;
  });
  EXPECT_EQ(ExecModal(dialog), 42);
  EXPECT_TRUE(wasShownModal);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 42);
}

TEST(ModalSeam, ButtonClickedByTheHandlerClosesTheDialog) {
  QDialog dialog;
  auto* ok = new QPushButton("Ok", &dialog);
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  bool closedByClick = false;
  ScopedModalHandler scripted([&](QDialog& shown) {
    ok->click();
    closedByClick = !shown.isVisible();
    return shown.result();
  });
  EXPECT_EQ(ExecModal(dialog), QDialog::Accepted);
  EXPECT_TRUE(closedByClick);
}

TEST(ModalSeam, HandlerFailureClosesTheDialogAndReachesTheCaller) {
  QDialog dialog;
  ScopedModalHandler scripted([](QDialog&) -> int { throw std::runtime_error("skript"); });
  EXPECT_THROW(ExecModal(dialog), std::runtime_error);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(dialog.isModal());
}

TEST(ModalSeam, ScopesRestoreTheHandlerBeforeThem) {
  QDialog dialog;
  ScopedModalHandler outer([](QDialog&) { return 1; });
  {
    ScopedModalHandler inner([](QDialog&) { return 2; });
    EXPECT_EQ(ExecModal(dialog), 2);
  }
  EXPECT_EQ(ExecModal(dialog), 1);
}

TEST(ModalSeam, WithoutHandlerTheDialogRunsItsOwnLoop) {
  SetFallbackModalHandler(nullptr);
  QDialog dialog;
  QTimer::singleShot(0, &dialog, [&] { dialog.done(7); });
  EXPECT_EQ(ExecModal(dialog), 7);
  GuardAgainstUnexpectedModals();
}

// ---- Ending the process -------------------------------------------------------------------------

TEST(ProcessExit, HandlerReceivesTheCode) {
  std::vector<int> codes;
  SetEndProcessHandler([&](int code) { codes.push_back(code); });
  EndProcess(4097);
  EndProcess(0);
  SetEndProcessHandler({});
  EXPECT_EQ(codes, (std::vector<int>{4097, 0}));
}

// The child of a death test re-runs this test from its start, so the marker's name is made
// once, by the parent, and travels in the environment.
constexpr const char* kMarkerVariable = "KV_EXIT_HANDLER_MARKER";

std::filesystem::path exitMarker() {
  if (!std::getenv(kMarkerVariable)) {
    const auto name = "kv-exit-marker-" + std::to_string(::getpid());
    ::setenv(kMarkerVariable, (std::filesystem::temp_directory_path() / name).c_str(), 1);
  }
  return std::getenv(kMarkerVariable);
}

void markOrderlyExit() {
  if (std::FILE* marker = std::fopen(exitMarker().c_str(), "w")) std::fclose(marker);
}

TEST(ProcessExit, RealEndingExitsWithTheCodeWithoutOrderlyShutdown) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::filesystem::path marker = exitMarker();
  EXPECT_EXIT(
      {
        std::atexit(markOrderlyExit);
        EndProcess(4099);
      },
      // The system keeps the low byte of the code.
      testing::ExitedWithCode(4099 & 0xff), "");
  EXPECT_FALSE(std::filesystem::exists(marker));
  std::filesystem::remove(marker);
}

// ---- Screen cursor ------------------------------------------------------------------------------

class ScreenCursorTest : public testing::Test {
 protected:
  void TearDown() override {
    SetScreenCursor(ScreenCursor::Default);
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  }
};

TEST_F(ScreenCursorTest, HourglassIsQtsWaitCursorPushedOnce) {
  EXPECT_FALSE(ScreenCursorIsHourglass());
  SetScreenCursor(ScreenCursor::Hourglass);
  SetScreenCursor(ScreenCursor::Hourglass);
  EXPECT_TRUE(ScreenCursorIsHourglass());
  EXPECT_EQ(CurrentScreenCursor(), ScreenCursor::Hourglass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

  SetScreenCursor(ScreenCursor::Default);
  EXPECT_FALSE(ScreenCursorIsHourglass());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ScreenCursorTest, DefaultLeavesOverrideCursorsOfOthersAlone) {
  QGuiApplication::setOverrideCursor(QCursor(Qt::CrossCursor));
  SetScreenCursor(ScreenCursor::Default);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
}

}  // namespace
