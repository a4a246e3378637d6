// The application object's catcher: a failure that reaches the event loop is shown in the
// standard error box, the silent abort is not, and the loop goes on.
#include "settings/windows/Application.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "support/QtTestMain.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/Errors.h"
#include "settings/windows/ModalSeam.h"

namespace {

// Runs its step for every user event it receives.
class Receiver : public QObject {
 public:
  explicit Receiver(std::function<void()> step) : step_(std::move(step)) {}

 protected:
  bool event(QEvent* event) override {
    if (event->type() != QEvent::User) return QObject::event(event);
    step_();
    return true;
  }

 private:
  std::function<void()> step_;
};

// What an error box showed: "caption|text|icon|buttons".
std::string Rendered(const QMessageBox& box) {
  std::string buttons;
  for (const QAbstractButton* button : box.buttons()) buttons += button->text().toStdString() + ";";
  return box.windowTitle().toStdString() + "|" + box.text().toStdString() + "|" +
         std::to_string(box.icon()) + "|" + buttons;
}

// Records every error box shown while it lives and answers it with "OK"; while a box is open,
// during runs before the answer.
class ErrorBoxes {
 public:
  std::vector<std::string> shown;
  std::function<void()> during;

 private:
  int answer(QDialog& dialog) {
    auto& box = dynamic_cast<QMessageBox&>(dialog);
    EXPECT_EQ(box.objectName(), "ErrorBox");
    EXPECT_TRUE(box.isModal());
    shown.push_back(box.text().toStdString());
    if (during) during();
    return QMessageBox::Ok;
  }

  ScopedModalHandler handler_{[this](QDialog& dialog) { return answer(dialog); }};
};

// Posts one event to each step in turn, then one that ends the loop, and runs the loop.
// Returns the loop's exit code and whether the last event was reached.
std::pair<int, bool> RunLoopThrough(const std::vector<std::function<void()>>& steps) {
  QEventLoop loop;
  std::vector<std::unique_ptr<Receiver>> receivers;
  for (const auto& step : steps) receivers.push_back(std::make_unique<Receiver>(step));
  bool reachedEnd = false;
  receivers.push_back(std::make_unique<Receiver>([&] {
    reachedEnd = true;
    loop.exit(0);
  }));
  for (const auto& receiver : receivers) QCoreApplication::postEvent(receiver.get(), new QEvent(QEvent::User));
  return {loop.exec(), reachedEnd};
}

TEST(Application, FailuresReachingTheLoopAreShownAndTheLoopGoesOn) {
  ErrorBoxes boxes;
  const auto [code, reachedEnd] = RunLoopThrough({
      [] { throw std::runtime_error("Kan ikke kjøre SQL"); },
      [] { throw ff::EKeyViolation("Nøkkelbrudd i PROSJEKT"); },
  });
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(reachedEnd);
  EXPECT_EQ(boxes.shown, (std::vector<std::string>{"Kan ikke kjøre SQL", "Nøkkelbrudd i PROSJEKT"}));
}

TEST(Application, TheSilentAbortShowsNothing) {
  ErrorBoxes boxes;
  const auto [code, reachedEnd] = RunLoopThrough({[] { ff::Abort(); }});
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(reachedEnd);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(Application, AFailureWithoutMessageIsShownAsUnknown) {
  ErrorBoxes boxes;
  const auto [code, reachedEnd] = RunLoopThrough({[] { throw 42; }});
  EXPECT_TRUE(reachedEnd);
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"Ukjent feil"});
}

TEST(Application, AFailingButtonStaysUsable) {
  ErrorBoxes boxes;
  QPushButton button("Kjør SQL");
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&] {
    ++clicks;
    throw std::runtime_error("Tabellen finnes ikke");
  });
  button.show();
  QTest::mouseClick(&button, Qt::LeftButton);
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(boxes.shown, (std::vector<std::string>{"Tabellen finnes ikke", "Tabellen finnes ikke"}));
}

TEST(Application, DeliveryReportsTheReceiversAnswerOrFalseAfterAFailure) {
  ErrorBoxes boxes;
  Receiver handles([] {});
  Receiver fails([] { throw std::runtime_error("feil"); });
  QEvent first(QEvent::User);
  QEvent second(QEvent::User);
  EXPECT_TRUE(QCoreApplication::sendEvent(&handles, &first));
  EXPECT_FALSE(QCoreApplication::sendEvent(&fails, &second));
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"feil"});
}

TEST(Application, AFailureWhileABoxIsOpenIsShownAfterIt) {
  ErrorBoxes boxes;
  Receiver failsAgain([] { throw std::runtime_error("andre feil"); });
  boxes.during = [&] {
    boxes.during = nullptr;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&failsAgain, &event);
    EXPECT_EQ(boxes.shown.size(), 1u) << "no box on top of the open one";
  };
  const auto [code, reachedEnd] = RunLoopThrough({[] { throw std::runtime_error("første feil"); }});
  EXPECT_TRUE(reachedEnd);
  EXPECT_EQ(boxes.shown, (std::vector<std::string>{"første feil", "andre feil"}));
}

TEST(Application, ARepeatedFailureWhileItsBoxIsOpenIsShownOnce) {
  ErrorBoxes boxes;
  Receiver fails([] { throw std::runtime_error("tidtakeren feiler"); });
  boxes.during = [&] {
    for (int tick = 0; tick < 5; ++tick) {
      QEvent event(QEvent::User);
      QCoreApplication::sendEvent(&fails, &event);
    }
  };
  QEvent event(QEvent::User);
  QCoreApplication::sendEvent(&fails, &event);
  EXPECT_EQ(boxes.shown, std::vector<std::string>{"tidtakeren feiler"});

  boxes.during = nullptr;
  QCoreApplication::sendEvent(&fails, &event);
  EXPECT_EQ(boxes.shown.size(), 2u) << "shown again once its box is closed";
}

TEST(Application, TheStandardErrorBoxIsACriticalBoxWithANorwegianCaption) {
  std::string shown;
  ScopedModalHandler handler([&](QDialog& dialog) {
    auto& box = dynamic_cast<QMessageBox&>(dialog);
    EXPECT_EQ(box.textFormat(), Qt::PlainText) << "a message is never read as markup";
    shown = Rendered(box);
    return static_cast<int>(QMessageBox::Ok);
  });
  TApplication::ShowException("Feil i SQL <b>ikke markup</b>");
  const QMessageBox plain(QMessageBox::Critical, "", "", QMessageBox::Ok);
  const std::string ok = plain.buttons().at(0)->text().toStdString();
  EXPECT_EQ(shown, "Feil|Feil i SQL <b>ikke markup</b>|" + std::to_string(QMessageBox::Critical) + "|" + ok + ";");
}

TEST(Application, QtsOwnButtonsSpeakNorwegian) {
  ASSERT_TRUE(TApplication::InstallQtNorwegian()) << "Qt's Norwegian translation is installed (qt6-translations-l10n)";
  QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  QStringList captions;
  for (const QAbstractButton* button : box.buttons()) captions << button->text().remove('&');
  captions.sort();
  EXPECT_EQ(captions, (QStringList{"Avbryt", "Ja", "Nei"}));
}

}  // namespace

// Own entry point: these tests need the program's own application object.
int main(int argc, char** argv) { return RunQtTests<TApplication>(argc, argv); }
