// The box behind a device server: the console's core with its serial driver on a network
// port, a ser2net of the test's own in front of the simulated box's pseudo-terminal (and,
// for what ser2net will not do, the tests' own RFC 2217 server), timers on the test
// host's clock. Skipped where ser2net is not installed.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "console/control_ids.h"
#include "sim/box_server.h"
#include "tests/support/console_fixture.h"
#include "tests/support/rfc2217_test_server.h"
#include "tests/support/ser2net.h"
#include "timing/frame_capture.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using Codes = std::vector<uint16_t>;
namespace fs = std::filesystem;

constexpr DeviceAddress kBox{0x01, 0x01};
constexpr int kComPort = 5;

class NetworkPortTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    if (!Ser2net::Available()) GTEST_SKIP() << "ser2net is not installed (scripts/deps.sh)";
    ASSERT_TRUE(box.StartOnPty());
    adjustOptions = [this](ConsoleDialog::Options& options) {
      options.connectTimeout = connectTimeout;
    };
  }

  // ser2net in front of the box, mapped to COM5, and the console started.
  void StartBehind(Ser2net::Kind kind) {
    std::string error;
    ASSERT_TRUE(ser2net.Start(kind, box.path(), &error)) << error;
    portMap[kComPort] = ser2net.url();
    StartOnCom5();
  }
  void StartOnCom5() {
    StartConsole();
    view.SetSelection(ids::kCommList, kComPort - 1);
    dialog->ChoosePort(kComPort);
  }
  // The link icon: the window goes on while the port connects, then the link is up and
  // the status chain has run.
  void LinkUp() {
    dialog->ToggleLink();
    EXPECT_TRUE(dialog->connecting());  // the click has returned; the connection has not
    EXPECT_EQ(dialog->statusBar.link(), "Connecting...");
    EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
    ASSERT_TRUE(host.PumpUntil([&] { return dialog->linkUp(); }))
        << (host.messages.empty() ? "" : host.messages.back().text);
    ASSERT_TRUE(Handled(0x8090));
    host.StopTimer(kStatusRecheckTimer);
    Forget();
  }
  // The outcome of a link icon click on a port that does not come up: the one message.
  std::string FailedLinkMessage() {
    dialog->ToggleLink();
    EXPECT_TRUE(host.PumpUntil([&] { return !dialog->connecting(); }));
    EXPECT_FALSE(dialog->linkUp());
    EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
    EXPECT_EQ(host.messages.size(), 1u);
    return host.messages.empty() ? "" : host.messages.back().text;
  }

  bool Handled(uint16_t code) {
    return host.PumpUntil([&] { return std::count(dispatched.begin(), dispatched.end(), code); });
  }
  void Forget() {
    dispatched.clear();
    box.WithLine([](BoxLine& line) { line.box(0).ClearRecords(); });
  }
  Codes BoxCodes() {
    return box.WithLine([](BoxLine& line) { return line.box(0).CommandCodes(); });
  }
  template <class F>
  auto OnBox(F&& f) {
    return box.WithLine([&](BoxLine& line) { return f(line.box(0)); });
  }
  std::pair<int, int> Rates() { return dialog->serialPort().CurrentRates(); }

  std::chrono::milliseconds connectTimeout = 3000ms;
  BoxServer box{{kBox}};
  Ser2net ser2net;
  TempDir images;
};

// Both kinds of network port, at 115200 baud.
class NetworkPortKindTest : public NetworkPortTest,
                            public ::testing::WithParamInterface<Ser2net::Kind> {};

INSTANTIATE_TEST_SUITE_P(Kinds, NetworkPortKindTest,
                         ::testing::Values(Ser2net::Kind::Rfc2217, Ser2net::Kind::RawTcp),
                         [](const auto& info) {
                           return info.param == Ser2net::Kind::Rfc2217 ? "Rfc2217" : "RawTcp";
                         });

TEST_P(NetworkPortKindTest, TheChainEdidReadAndWriteInfoFrameAndPreviewWork) {
  StartBehind(GetParam());
  EXPECT_EQ(view.Items(ids::kCommList)[kComPort - 1], "COM5  " + ser2net.url());
  LinkUp();
  EXPECT_EQ(Rates(), (std::pair<int, int>{115200, 115200}));

  // An EDID is full of 0xFF (Telnet's IAC): read, written into USER3 and read back whole.
  EdidPage& edid = dialog->edidPage;
  edid.view().SetSelection(edid_ids::kSelectionList, 2);
  edid.ReadEdidFromDevice();
  ASSERT_TRUE(Handled(0xF851));
  const EdidImage builtIn = OnBox([](SimulatedBox& b) { return b.edid(2); });
  ASSERT_EQ(edid.image, builtIn);
  edid.view().SetSelection(edid_ids::kSelectionList, 7);
  edid.WriteUserEdid();
  ASSERT_TRUE(host.PumpUntil([&] { return !host.messages.empty(); }));
  EXPECT_EQ(host.messages.back().text, "EDID writting OK!");
  EXPECT_EQ(OnBox([](SimulatedBox& b) { return b.edid(7); }), builtIn);
  host.messages.clear();
  dispatched.clear();
  edid.ReadEdidFromDevice();
  ASSERT_TRUE(Handled(0xF851));
  EXPECT_EQ(edid.image, builtIn);

  dialog->utilityPage.ReadInfoFrame();  // "5-AVI_INF"
  ASSERT_TRUE(Handled(0x8092));
  EXPECT_EQ(dialog->utilityPage.view().GetText(utility_ids::kGridValue[7]), "0x10");  // VIC 16

  dialog->capture.UpdateImage();
  ASSERT_TRUE(host.PumpUntil([&] { return !dialog->previewBusy(); }));
  EXPECT_FALSE(host.TimerRunning(kUploadEndTimer));  // the preview came: no time-out
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(NetworkPortTest, ALineCaptureRunsAt512000ThroughRfc2217AndTheLineComesBack) {
  StartBehind(Ser2net::Kind::Rfc2217);
  LinkUp();
  dialog->capture.workingDirectory = images.path().string();
  dialog->timingPage.view().SetInt(timing_ids::kLineNumber, 3);
  dialog->capture.AnalyseLine();
  ASSERT_TRUE(host.PumpUntil([&] { return BoxCodes() == Codes{kBaudSwitchCommand}; }));
  host.Advance(kUploadStartFirstTick);
  // The device server is asked for 512000 baud and sets it on the box's line.
  ASSERT_TRUE(host.PumpUntil(
      [&] { return dialog->serialPort().RateAnswer().state != LineRateAnswer::State::Pending; }));
  EXPECT_EQ(dialog->serialPort().RateAnswer().state, LineRateAnswer::State::Reached);
  EXPECT_EQ(Rates(), (std::pair<int, int>{512000, 512000}));
  host.Advance(kUploadStartSecondTick);
  ASSERT_TRUE(host.PumpUntil(
      [&] { return !BoxCodes().empty() && BoxCodes().back() == kStopUploadCommand; }));
  EXPECT_EQ(BoxCodes()[1], kFrameRequest);
  EXPECT_EQ(dialog->capture.frameImage.linesCompleted, 3);
  host.Advance(kChunkWait);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Save image data to ./RGBline_BMP00.BMP"});
  EXPECT_TRUE(fs::exists(images.path() / "RGBline_BMP00.BMP"));
  // Back at the link rate: the device server was asked, and the link answers.
  ASSERT_TRUE(host.PumpUntil([&] { return Rates().first == 115200; }));
  Forget();
  dialog->timingPage.UpdateStatus();
  EXPECT_TRUE(Handled(0x8090));
}

TEST_F(NetworkPortTest, ThroughRawTcpACaptureIsRefusedBeforeAnythingIsSent) {
  StartBehind(Ser2net::Kind::RawTcp);
  LinkUp();
  dialog->capture.UploadWholeImage();
  EXPECT_FALSE(dialog->uploadActive());
  EXPECT_FALSE(host.TimerRunning(kUploadStartTimer));
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"A capture runs at 512000 baud, but " + ser2net.url() +
                                     " passes raw bytes, so the device server's line rate "
                                     "cannot be changed from here (an rfc2217:// port's can). "
                                     "Nothing was sent."});
  host.PumpFor(100ms);
  EXPECT_TRUE(BoxCodes().empty());
  EXPECT_EQ(OnBox([](SimulatedBox& b) { return b.lineRate(); }), 115200);
}

TEST_P(NetworkPortKindTest, TheSearchFindsTheBoxBehindTheDeviceServer) {
  std::string error;
  ASSERT_TRUE(ser2net.Start(GetParam(), box.path(), &error)) << error;
  portMap[2] = "rfc2217://127.0.0.1:" + std::to_string(FreeLocalPort());  // refused
  portMap[kComPort] = ser2net.url();
  StartConsole();
  dialog->SearchDevice();
  EXPECT_TRUE(dialog->searchActive());
  // COM2 is refused at once and skipped; COM5 connects and the box answers its probe.
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->deviceFound(); }));
  host.Advance(kReplyByteWait);
  EXPECT_TRUE(dialog->linkUp());
  EXPECT_EQ(dialog->port(), kComPort);
  EXPECT_EQ(view.GetSelection(ids::kCommList), kComPort - 1);
  EXPECT_TRUE(Handled(0x8090));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(NetworkPortTest, Ser2netKilledMidLinkTakesTheLinkDownWithOneMessage) {
  StartBehind(Ser2net::Kind::Rfc2217);
  LinkUp();
  ser2net.Kill();
  ASSERT_TRUE(host.PumpUntil([&] { return !dialog->linkUp(); }));
  const uint64_t wakeups = dialog->serialPort().WorkerWakeups();
  host.PumpFor(300ms);
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"The connection to " + ser2net.url() +
                                     " on COM5 has ended: the device server closed the "
                                     "connection. Check the device server and the network, then "
                                     "click the link icon to connect again."});
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
  EXPECT_FALSE(dialog->serialPort().IsOpen());
  EXPECT_EQ(dialog->serialPort().WorkerWakeups(), wakeups);  // no spinning
  EXPECT_EQ(dialog->statusBar.link(), "Link down: the device went away");
}

TEST_F(NetworkPortTest, APortInUseIsPortUnavailableNeverData) {
  StartBehind(Ser2net::Kind::RawTcp);
  // Another client holds the device server's port.
  NetworkOpenResult held;
  auto other = NetworkLine::ConnectAndWait(*ParseNetworkAddress(ser2net.url()), {}, 3s, held);
  ASSERT_TRUE(held.ok()) << held.reason;
  EXPECT_EQ(FailedLinkMessage(), std::string(kPortUnavailableMessage) + "\n" + ser2net.url() +
                                     " is in use: the device server said \"Port already in "
                                     "use\".");
  EXPECT_TRUE(dispatched.empty());
}

TEST_F(NetworkPortTest, ALateBannerTakesTheLinkDownAsPortUnavailableNeverData) {
  // A device server that says its port is in use only after the link counts as up.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::listen(listener, 1);
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  std::thread server([listener] {
    const int fd = ::accept(listener, nullptr, nullptr);
    std::this_thread::sleep_for(600ms);
    const char banner[] = "Port already in use\r\n";
    [[maybe_unused]] ssize_t n = ::send(fd, banner, sizeof banner - 1, MSG_NOSIGNAL);
    ::close(fd);
  });
  const std::string url = "tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  portMap[kComPort] = url;
  StartOnCom5();
  dialog->ToggleLink();
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->linkUp(); }));
  ASSERT_TRUE(host.PumpUntil([&] { return !dialog->linkUp(); }));
  server.join();
  ::close(listener);
  host.PumpFor(100ms);
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{std::string(kPortUnavailableMessage) + "\n" + url +
                                     " is in use: the device server said \"Port "
                                     "already in use\"."});
  EXPECT_TRUE(dispatched.empty());
  EXPECT_EQ(view.Icon(ids::kLinkIcon), ids::kIconLinkDown);
}

TEST_F(NetworkPortTest, AnAddressThatFailsGivesPortUnavailableWithinTheTimeOut) {
  connectTimeout = 1000ms;
  QuietListener neverAnswers(true);
  Rfc2217TestServer silent(Rfc2217TestServer::Mode::Silent);
  const int closed = FreeLocalPort();
  struct Case {
    std::string address;
    std::string reason;
  };
  const Case cases[] = {
      {"rfc2217://127.0.0.1:" + std::to_string(closed),
       ": connection refused (nothing listens on port " + std::to_string(closed) + ")"},
      {"tcp://127.0.0.1:" + std::to_string(neverAnswers.port()), ": no answer within 1 s"},
      {"rfc2217://no-such-device-server.invalid:7001",
       ": the name no-such-device-server.invalid was not found"},
      {silent.url(),
       ": the device server accepted the connection but did not negotiate RFC 2217 within 1 s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    portMap[kComPort] = c.address;
    host.messages.clear();
    StartOnCom5();
    EXPECT_EQ(FailedLinkMessage(),
              std::string(kPortUnavailableMessage) + "\n" + c.address + c.reason + ".");
    EXPECT_FALSE(dialog->serialPort().IsOpen());
  }
}

TEST_F(NetworkPortTest, AClickWhileConnectingGivesTheConnectionUpSilently) {
  connectTimeout = 300ms;
  QuietListener neverAnswers(true);
  portMap[kComPort] = "tcp://127.0.0.1:" + std::to_string(neverAnswers.port());
  StartOnCom5();
  dialog->ToggleLink();
  ASSERT_TRUE(dialog->connecting());
  dialog->ToggleLink();
  EXPECT_FALSE(dialog->connecting());
  EXPECT_FALSE(dialog->linkUp());
  EXPECT_EQ(dialog->statusBar.link(), "Link down");
  host.PumpFor(connectTimeout + 300ms);  // the time-out would have come by now
  EXPECT_TRUE(host.messages.empty());
  EXPECT_FALSE(dialog->serialPort().IsOpen());
}

TEST_F(NetworkPortTest, AServerThatSetsAnotherRateIsToldOnceAndNoFrameIsRequested) {
  Rfc2217TestServer server;
  server.SetRateAnswer([](uint32_t asked) { return asked == 512000 ? 460800u : asked; });
  portMap[kComPort] = server.url();
  StartOnCom5();
  dialog->ToggleLink();
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->linkUp(); }));
  host.PumpFor(50ms);  // the status chain's first request goes out, unanswered

  dialog->capture.UploadWholeImage();
  host.Advance(kUploadStartFirstTick);
  ASSERT_TRUE(host.PumpUntil(
      [&] { return dialog->serialPort().RateAnswer().state != LineRateAnswer::State::Pending; }));
  host.Advance(kUploadStartSecondTick);
  EXPECT_FALSE(dialog->uploadActive());
  EXPECT_FALSE(host.TimerRunning(kUploadStartTimer));
  EXPECT_FALSE(host.TimerRunning(kUploadEndTimer));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{
                                "The capture did not start: " + server.url() +
                                ": the device server set the line to 460800 baud when asked for "
                                "512000."});
  EXPECT_EQ(dialog->capture.rateProblem,
            server.url() + ": the device server set the line to 460800 baud when asked for 512000");
  ASSERT_TRUE(host.PumpUntil([&] { return server.RatesAsked().size() == 3; }));
  EXPECT_EQ(server.RatesAsked(), (std::vector<uint32_t>{115200, 512000, 115200}));
  host.Advance(kUploadStartWait);
  host.PumpFor(100ms);
  EXPECT_EQ(host.messages.size(), 1u);

  // The box was told to switch; the frame was never asked for.
  const std::vector<uint8_t> received = server.Received();
  FrameAssembler frames(kCommandLead);
  Codes codes;
  for (uint8_t b : received)
    if (frames.Push(b) == FrameAssembler::Step::Complete) codes.push_back(frames.Code());
  EXPECT_EQ(codes, (Codes{0x8082, kBaudSwitchCommand}));
}

}  // namespace
}  // namespace sc
