#include "sim/box_server.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "tests/sim/sim_test_util.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Command;
using test::kPatience;
using test::Reply;
using test::SlavePort;
using test::SplitReplies;

constexpr DeviceAddress kAll{0x00, 0x00};
const Bytes kProbe = Command(kAll, 0xF802);

// Waits until the fd is readable (or reports a hang-up); returns the events seen.
short WaitForEvents(int fd, short events = POLLIN) {
  pollfd p{fd, events, 0};
  if (::poll(&p, 1, static_cast<int>(kPatience.count())) <= 0) return 0;
  return p.revents;
}

bool WaitForState(BoxServer& server, BoxServer::State state) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (server.state() != state && std::chrono::steady_clock::now() < deadline) {
    if (WaitForEvents(server.stateFd()) & POLLIN) {
      uint64_t count;
      ssize_t n = ::read(server.stateFd(), &count, sizeof count);
      (void)n;
    }
  }
  return server.state() == state;
}

TEST(BoxServer, AnswersOnAPseudoTerminalThroughTheStatusChain) {
  BoxServer server({{0x0A, 0x03}});
  std::string error;
  ASSERT_TRUE(server.StartOnPty(&error)) << error;
  EXPECT_EQ(server.state(), BoxServer::State::Serving);
  EXPECT_EQ(server.path().rfind("/dev/pts/", 0), 0u) << server.path();
  SlavePort port(server.path());
  ASSERT_TRUE(port.ok());

  ASSERT_TRUE(port.Write(kProbe));
  EXPECT_EQ(port.Read(12),
            (Bytes{0xAB, 0x01, 0x00, 0x07, 0x00, 0x0A, 0x03, 0x02, 0xF8, 0x01, 0x00, 0x45}));

  // The console's chain: each request only after the previous answer.
  const std::pair<uint16_t, size_t> chain[] = {{0x8082, 1}, {0x8081, 1},  {0x8080, 1},
                                               {0xF850, 1}, {0x8091, 20}, {0x8090, 10}};
  for (auto [code, size] : chain) {
    std::vector<Reply> r = port.Ask(Command({0x0A, 0x03}, code), size);
    ASSERT_EQ(r.size(), 1u) << std::hex << code;
    EXPECT_EQ(r[0].code, code);
    EXPECT_EQ(r[0].payload.size(), size);
  }
  server.WithLine([](BoxLine& line) {
    EXPECT_EQ(line.box(0).CommandCodes(),
              (std::vector<uint16_t>{0xF802, 0x8082, 0x8081, 0x8080, 0xF850, 0x8091, 0x8090}));
  });
}

TEST(BoxServer, ChangesMadeWhileServingReachTheLine) {
  BoxServer server;
  ASSERT_TRUE(server.StartOnPty());
  SlavePort port(server.path());
  ASSERT_TRUE(port.ok());

  // A change from the test's side sends the box's notice on its own.
  server.WithLine([](BoxLine& line) { line.box(0).SetSignal(*FindBoxSignal("none"), true); });
  std::vector<Reply> notice = SplitReplies(port.Read(11));
  ASSERT_EQ(notice.size(), 1u);
  EXPECT_EQ(notice[0].code, 0x809F);
  EXPECT_EQ(notice[0].payload, Bytes{0x00});

  // A setting from the console's side shows in the box's state and its answers.
  ASSERT_TRUE(port.Write(Command(kAll, 0x0082, {0x01})));
  EXPECT_TRUE(
      server.WaitUntil([](BoxLine& line) { return line.box(0).panel().input == 1; }, kPatience));
  // The SDI input has a signal where HDMI had none: the box says so, then answers.
  notice = SplitReplies(port.Read(11));
  ASSERT_EQ(notice.size(), 1u);
  EXPECT_EQ(notice[0].code, 0x809F);
  EXPECT_EQ(notice[0].payload, Bytes{0x01});
  std::vector<Reply> r = port.Ask(Command(kAll, 0x8082), 1);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].code, 0x8082);
  EXPECT_EQ(r[0].payload, Bytes{0x01});

  // Faults injected while serving.
  server.WithLine([](BoxLine& line) {
    line.box(0).faults().dropFrames = 1;
    line.box(0).faults().corruptFrames = 1;
  });
  ASSERT_TRUE(port.Write(kProbe));
  ASSERT_TRUE(port.Write(kProbe));
  ASSERT_TRUE(port.Write(kProbe));
  std::vector<Reply> probes = SplitReplies(port.Read(24));
  ASSERT_EQ(probes.size(), 2u);
  EXPECT_FALSE(probes[0].sumOk);
  EXPECT_TRUE(probes[1].sumOk);
}

TEST(BoxServer, TwoBoxesAnswerInTurnWhateverTheirDelays) {
  BoxServer server({{0x0A, 0x01}, {0x0A, 0x02}});
  // The first box is slow: the second must still wait its turn.
  server.WithLine([](BoxLine& line) { line.box(0).faults().replyDelay = 150ms; });
  ASSERT_TRUE(server.StartOnPty());
  SlavePort port(server.path());
  ASSERT_TRUE(port.ok());
  ASSERT_TRUE(port.Write(kProbe));
  std::vector<Reply> r = SplitReplies(port.Read(24));
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].address, (DeviceAddress{0x0A, 0x01}));
  EXPECT_EQ(r[1].address, (DeviceAddress{0x0A, 0x02}));

  ASSERT_TRUE(port.Write(Command({0x0A, 0x02}, 0x8080)));
  r = SplitReplies(port.Read(11));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].address, (DeviceAddress{0x0A, 0x02}));
}

TEST(BoxServer, TheConsoleMayCloseAndReopenThePortWithoutTheServerSpinning) {
  BoxServer server;
  ASSERT_TRUE(server.StartOnPty());
  {
    SlavePort port(server.path());
    ASSERT_TRUE(port.ok());
    ASSERT_EQ(port.Ask(kProbe, 2).size(), 1u);
  }
  // Nobody has the port open now. A server that polled a hung-up master would wake
  // thousands of times here; an idle one hardly at all.
  const uint64_t before = server.wakeups();
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(server.wakeups() - before, 20u);

  SlavePort again(server.path());
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again.Ask(kProbe, 2).size(), 1u);
}

TEST(BoxServer, HangUpShowsOnTheConsoleSide) {
  BoxServer server;
  ASSERT_TRUE(server.StartOnPty());
  const std::string path = server.path();
  SlavePort port(path);
  ASSERT_TRUE(port.ok());
  ASSERT_EQ(port.Ask(kProbe, 2).size(), 1u);

  server.HangUp();
  EXPECT_EQ(server.state(), BoxServer::State::HungUp);
  EXPECT_TRUE(WaitForEvents(port.fd()) & POLLHUP);
  uint8_t byte;
  ssize_t n = ::read(port.fd(), &byte, 1);
  EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << n << " " << errno;
  EXPECT_EQ(::write(port.fd(), kProbe.data(), kProbe.size()), -1);
  SlavePort late(path);
  EXPECT_FALSE(late.ok());

  // The boxes outlive the line; hanging up again or stopping is harmless.
  server.WithLine([](BoxLine& line) { line.box(0).SetSignal(*FindBoxSignal("none"), true); });
  server.HangUp();
  server.Stop();
  EXPECT_EQ(server.state(), BoxServer::State::Stopped);
}

TEST(BoxServer, ServesAnExistingSerialDeviceUntilItGoesAway) {
  // A pseudo-terminal's slave stands in for a USB adapter; the test holds the far end.
  PtyMaster far;
  ASSERT_TRUE(far.ok());
  BoxServer server({{0x0A, 0x03}});
  std::string error;
  ASSERT_TRUE(server.StartOnDevice(far.SlavePath(), 512000, &error)) << error;
  EXPECT_EQ(server.path(), far.SlavePath());
  ASSERT_TRUE(far.Write(kProbe));
  std::vector<Reply> r = SplitReplies(far.Read(12, kPatience));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].address, (DeviceAddress{0x0A, 0x03}));

  far.Close();  // the adapter is pulled out
  EXPECT_TRUE(WaitForState(server, BoxServer::State::LineLost));
  const uint64_t before = server.wakeups();
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(server.wakeups() - before, 5u);
}

}  // namespace
}  // namespace sc
