#pragma once
// The main window over a console on a test folder, with COM1 on a device the test gives:
// the fixture the window-level GUI tests share.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <map>
#include <memory>
#include <string>

#include "console/console_dialog.h"
#include "console/main_window_qt.h"
#include "tests/support/console_fixture.h"
#include "tests/support/temp_dir.h"
#include "window/qt_host.h"

namespace sc::testing {

class ConsoleWindowTest : public ::testing::Test {
 protected:
  // Builds the console with COM1 on `device`, shows its window and, when `activate`, makes
  // it the active window (for shortcuts). Call under ASSERT_NO_FATAL_FAILURE.
  void OpenWindow(const std::string& device, bool activate = true) {
    ports[1] = device;
    dialog = std::make_unique<ConsoleDialog>(host, TestConsoleOptions(dir, &ports));
    window = std::make_unique<MainWindow>(*dialog, host);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    if (!activate) return;
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
  }
  void TearDown() override {
    window.reset();
    if (dialog) dialog->Destroy();
    dialog.reset();
  }

  template <typename T>
  T* Control(int id) const {
    return qobject_cast<T*>(window->view().widget(id));
  }
  template <typename T>
  T* PageControl(int pageId, int id) const {
    return qobject_cast<T*>(window->page(pageId)->view().widget(id));
  }

  TempDir dir;
  std::map<int, std::string> ports;
  QtHost host;
  std::unique_ptr<ConsoleDialog> dialog;
  std::unique_ptr<MainWindow> window;
};

}  // namespace sc::testing
