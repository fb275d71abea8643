// The application object: the socket-layer failure path, and a run that ends with the
// main window destroyed, its worker ended and its port closed.

#include <dirent.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <filesystem>

#include "app/console_app.h"
#include "sim/pty.h"
#include "tests/support/console_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"

namespace sc {
namespace {

using namespace std::chrono_literals;

// True when no one holds the console's end of the pseudo-terminal open.
bool HungUp(const PtyMaster& box) {
  pollfd p{box.fd(), POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP);
}

int ThreadCount() {
  int count = 0;
  if (DIR* tasks = ::opendir("/proc/self/task")) {
    while (dirent* entry = ::readdir(tasks))
      if (entry->d_name[0] != '.') ++count;
    ::closedir(tasks);
  }
  return count;
}

class ConsoleAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box.ok());
    ports[1] = box.SlavePath();
    options = TestConsoleOptions(dir, &ports);
  }
  TempDir dir;
  PtyMaster box;
  TestHost host;
  std::map<int, std::string> ports;
  ConsoleDialog::Options options;
};

TEST_F(ConsoleAppTest, SocketFailureShowsItsMessageAndOpensNoWindow) {
  ConsoleApp app(host, options);
  app.SetSocketStartup([] { return false; });
  bool ran = false;
  EXPECT_EQ(app.Run([&](ConsoleDialog&) { ran = true; }), 1);
  EXPECT_FALSE(ran);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "TQ-KVAD");
  EXPECT_EQ(host.messages[0].text, "Windows sockets initialization failed.");
  EXPECT_EQ(app.mainWindow(), nullptr);
  EXPECT_FALSE(std::filesystem::exists(dir / "TQ.ini"));
}

TEST_F(ConsoleAppTest, ClosingWithTheLinkUpEndsTheWorkerAndClosesThePort) {
  ConsoleApp app(host, options);
  const int threadsBefore = ThreadCount();
  ConsoleDialog* during = nullptr;
  std::vector<uint8_t> received;
  MemoryView view;

  const int status = app.Run([&](ConsoleDialog& dialog) {
    during = app.mainWindow();
    dialog.AttachView(&view);
    ASSERT_TRUE(dialog.Startup());
    dialog.ToggleLink();
    ASSERT_TRUE(dialog.linkUp());
    received = box.Read(10, 2000ms);
    EXPECT_EQ(ThreadCount(), threadsBefore + 1);
    EXPECT_FALSE(HungUp(box));
    dialog.AttachView(nullptr);  // the window goes before the run returns
  });

  EXPECT_EQ(status, 0);
  EXPECT_NE(during, nullptr);
  EXPECT_EQ(received, BuildFrame(kCommandLead, DeviceAddress{0, 0}, 0x8082));
  EXPECT_EQ(app.mainWindow(), nullptr);
  EXPECT_EQ(ThreadCount(), threadsBefore);
  // The console's end of the line is closed: the box sees a hang-up.
  EXPECT_TRUE(HungUp(box));
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace sc
