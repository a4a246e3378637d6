// The entry point of the test programs that drive windows: an application object of the given
// class, offscreen unless told otherwise, the table store's back ends, and a guard so that a
// modal window that no test handler answers fails the test and is rejected at once (it never
// waits for a person).
#pragma once

#include <QDialog>

#include <gtest/gtest.h>

#include "settings/windows/ModalSeam.h"
#include "store/backends/StandardBackends.h"

inline void GuardAgainstUnexpectedModals() {
  SetFallbackModalHandler([](QDialog& dlg) {
    ADD_FAILURE() << "unexpected modal window: \"" << dlg.windowTitle().toStdString() << "\"";
    return int(QDialog::Rejected);
  });
}

template <class Application>
int RunQtTests(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  Application app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ff::RegisterStandardBackends();
  GuardAgainstUnexpectedModals();
  return RUN_ALL_TESTS();
}
