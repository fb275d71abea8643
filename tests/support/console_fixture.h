#pragma once
// A started main window whose settings live in a temporary directory and whose COM ports
// are the pseudo-terminals the test maps.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/console_dialog.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"

namespace sc {

// Options for a main window under test: its settings file in `dir`, never in the build
// tree, and its COM ports read from `ports` each time the window looks for them.
ConsoleDialog::Options TestConsoleOptions(const TempDir& dir,
                                          const std::map<int, std::string>* ports);

class ConsoleFixture : public ::testing::Test {
 protected:
  // COM numbers to device paths; used each time the window looks for ports.
  std::map<int, std::string> portMap;
  // Changes a test makes to the window's options before it starts (a shorter connect
  // time-out, say).
  std::function<void(ConsoleDialog::Options&)> adjustOptions;

  void StartConsole();

  // The frames (as bytes) the test expects, built the way the console builds them.
  static std::vector<uint8_t> Command(DeviceAddress to, uint16_t code,
                                      std::vector<uint8_t> payload = {});
  static std::vector<uint8_t> Reply(DeviceAddress from, uint16_t code,
                                    std::vector<uint8_t> payload = {});
  // Feeds bytes to the window's parser as if they had come off the line.
  void Feed(const std::vector<uint8_t>& bytes);
  std::vector<std::string> MessageTexts() const;

  TempDir dir;
  TestHost host;
  std::unique_ptr<ConsoleDialog> dialog;
  MemoryView view;
  std::vector<uint16_t> dispatched;
};

}  // namespace sc
