// The Ultilities and Monitor pages over the whole link: the main window's core, the
// serial driver on a pseudo-terminal and the simulated box (on a manual clock) at the
// other end.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

#include "monitor/monitor_report.h"
#include "sim/box_infoframes.h"
#include "sim/box_server.h"
#include "sim/sim_commands.h"
#include "tests/support/console_fixture.h"

namespace sc {
namespace {

using namespace std::chrono_literals;

constexpr DeviceAddress kBox{0x0A, 0x03};

class PagesEndToEndTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    portMap[1] = server.path();
    server.WithLine([this](BoxLine& line) {
      line.box(0).SetClock([this] {
        return SimulatedBox::Clock::time_point(std::chrono::milliseconds(boxClock.load()));
      });
    });
    StartConsole();
    dialog->ToggleLink();
    ASSERT_TRUE(host.PumpUntil([&] { return Dispatched(0x8091); }));
    host.PumpFor(50ms);
    dispatched.clear();
  }

  bool Dispatched(uint16_t code) {
    return std::find(dispatched.begin(), dispatched.end(), code) != dispatched.end();
  }
  bool Await(uint16_t code) {
    const bool got = host.PumpUntil([&] { return Dispatched(code); });
    dispatched.clear();
    return got;
  }
  // Moves the box's clock and lets it do what fell due.
  void BoxTime(std::chrono::milliseconds since) {
    boxClock = since.count();
    server.WithLine([](BoxLine&) {});
  }
  // The byte rows the grid shows, as values.
  std::vector<std::string> ShownBytes() {
    std::vector<std::string> bytes;
    for (int row = 0; row < utility_ids::kGridRows; ++row)
      if (row < utility_ids::kHeaderRows || static_cast<MemoryView&>(dialog->utilityPage.view())
                                                .Visible(utility_ids::kGridValue[row]))
        bytes.push_back(dialog->utilityPage.view().GetText(utility_ids::kGridValue[row]));
    return bytes;
  }
  static std::vector<std::string> AsShown(const std::vector<uint8_t>& packet) {
    std::vector<std::string> shown;
    for (uint8_t b : packet)
      shown.push_back(FormatHexByte(b));
    return shown;
  }

  std::atomic<int64_t> boxClock{0};
  BoxServer server{{kBox}};
  SimCommandInterpreter commands{server};
};

TEST_F(PagesEndToEndTest, TheInfoFramesOfTheSignalShowByteForByte) {
  UtilityPage& page = dialog->utilityPage;
  page.ReadInfoFrame();  // "5-AVI_INF", selected at start
  ASSERT_TRUE(Await(0x8092));
  const std::vector<uint8_t> avi1080 = CapturedInfoFrame(*FindBoxSignal("1080p60"), 0x82);
  EXPECT_EQ(ShownBytes(), AsShown(avi1080));
  EXPECT_EQ(page.view().GetText(utility_ids::kGridValue[7]), "0x10");  // VIC 16

  ASSERT_TRUE(commands.Execute("signal 2160p60").ok);
  // The box's notice brings the timing and then the status again. Each write first
  // discards what has not been read yet, so a request sent while those answers are on
  // their way could lose its own answer: the page asks once they are in.
  ASSERT_TRUE(Await(0x8090));
  page.ReadInfoFrame();
  ASSERT_TRUE(Await(0x8092));
  EXPECT_EQ(ShownBytes(), AsShown(CapturedInfoFrame(*FindBoxSignal("2160p60"), 0x82)));
  EXPECT_EQ(page.view().GetText(utility_ids::kGridValue[7]), "0x61");  // VIC 97
  EXPECT_EQ(page.view().GetText(utility_ids::kGridLabel[16]), "Data Byte 13");

  page.view().SetSelection(utility_ids::kPacketList, 0);  // ACP: not captured
  page.ReadInfoFrame();
  ASSERT_TRUE(Await(0x8092));
  EXPECT_EQ(ShownBytes(), (std::vector<std::string>{"0x00", "0x00", "0x00"}));
  EXPECT_TRUE(host.messages.empty());
}

// The checker over the whole link: the box's packets held against the timing and status
// the console measured from the same box, for every format it sends; then packets that
// contradict them, and HDR10.
TEST_F(PagesEndToEndTest, TheCheckerHoldsThePacketsAgainstTheMeasuredSignal) {
  UtilityPage& page = dialog->utilityPage;
  auto read = [&](int entry) {
    page.view().SetSelection(utility_ids::kPacketList, entry);
    page.ReadInfoFrame();
    return Await(0x8092);
  };
  auto checks = [&] {
    return static_cast<MemoryView&>(page.view()).Items(utility_ids::kChecksList);
  };
  auto decoded = [&] {
    return static_cast<MemoryView&>(page.view()).Items(utility_ids::kDecodedList);
  };
  auto shows = [&](const std::string& row) {
    const auto rows = decoded();
    return std::find(rows.begin(), rows.end(), row) != rows.end();
  };
  const char* kClean =
      "No problem found. Checked: the checksum, the length, the version, reserved bits and "
      "values, the video format against the measured timing, the colour format against the "
      "measured one.";

  // Each format's VIC (or HDMI_VIC) agrees with the Timing page's picture: interlaced, 4:2:0,
  // pixel repetition and frame packing included.
  for (const char* format : {"480p59.94", "576i50", "720p50", "1080i60", "1080p24", "2160p60",
                             "1080p24-3d", "1080p60"}) {
    ASSERT_TRUE(commands.Execute(std::string("signal ") + format).ok);
    ASSERT_TRUE(Await(0x8090)) << format;
    ASSERT_TRUE(read(5)) << format;
    EXPECT_EQ(checks(), std::vector<std::string>{kClean}) << format;
  }
  ASSERT_TRUE(commands.Execute("signal 2160p30").ok);
  ASSERT_TRUE(Await(0x8090));
  ASSERT_TRUE(read(4));
  EXPECT_TRUE(shows("HDMI video format (HDMI_VIC): 3840x2160p 30 Hz 16:9 (1)"));
  EXPECT_EQ(checks(), std::vector<std::string>{
                          "No problem found. Checked: the checksum, the length, the version, "
                          "reserved bits and values, the video format against the measured "
                          "timing."});
  ASSERT_TRUE(read(7));  // audio, against the status panel's
  EXPECT_NE(checks().at(0).find("the audio against the measured audio"), std::string::npos);

  // The box told to send VIC 4 (720p) with a wrong checksum while the signal is 2160p30.
  ASSERT_TRUE(commands.Execute("infoframe avi 02 0D 47 10 08 00 04 00 00 00 00 00 00 00 00 00").ok);
  ASSERT_TRUE(read(5));
  EXPECT_EQ(checks(),
            (std::vector<std::string>{
                "Checksum 0x47 is wrong: 0x53 would make the packet's bytes sum to 0.",
                "VIC 4 is 1280x720p 60 Hz 16:9, but the box measures 3840x2160p 30 Hz: the active "
                "size is 3840x2160, not 1280x720; the rate is 30 Hz, not 60 Hz."}));
  ASSERT_TRUE(commands.Execute("infoframe avi default").ok);

  // HDR10: the source's colorimetry, transfer function and mastering luminance in words.
  ASSERT_TRUE(commands.Execute("hdr on").ok);
  ASSERT_TRUE(read(5));
  EXPECT_TRUE(shows("Extended colorimetry (EC): ITU-R BT.2020 RGB or YCbCr (6)"));
  ASSERT_TRUE(read(9));  // "9-DRM_INF"
  EXPECT_TRUE(shows("Transfer function (EOTF): SMPTE ST 2084 (PQ) (2)"));
  EXPECT_TRUE(shows("Display primary 2 x (display_primaries_x2): x 0.708, y 0.292 (red) (35400)"));
  EXPECT_TRUE(shows(
      "Mastering display maximum luminance (max_display_mastering_luminance): 1000 cd/m² (1000)"));
  EXPECT_EQ(page.packet->decode.type, 0x87);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(PagesEndToEndTest, ARecordingMarksTheSecondsTheSignalWasLostAndSaves) {
  MonitorPage& page = dialog->monitorPage;
  page.localTime = [] {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 30;
    return t;
  };
  page.workingDirectory = dir.path().string();
  page.view().SetText(monitor_ids::kSlotLength, "1");
  page.NewStart();
  ASSERT_TRUE(server.WaitUntil(
      [](BoxLine& line) {
        return !line.box(0).commands().empty() && line.box(0).commands().back().code == 0x0096;
      },
      5s));

  BoxTime(3500ms);
  ASSERT_TRUE(commands.Execute("lose 3").ok);
  ASSERT_TRUE(Await(0x809F));  // the signal is gone
  BoxTime(6500ms);
  ASSERT_TRUE(Await(0x809F));  // and back
  BoxTime(10200ms);

  page.ReadStatusRecord();
  ASSERT_TRUE(Await(0x8096));
  const View& v = page.view();
  EXPECT_EQ(v.GetText(monitor_ids::kRecord), "0001111000");
  EXPECT_EQ(v.GetRadio(monitor_ids::kWorking), 0);
  EXPECT_EQ(v.GetText(monitor_ids::kSlotLength), "1");
  EXPECT_EQ(v.GetText(monitor_ids::kTotalTime), " 34Minutes");
  EXPECT_EQ(v.GetInt(monitor_ids::kStartDay), 7);

  page.Save();
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().text, "Save EDID data to ./TQ5R_StatusRecord00.txt");
  std::ifstream file(dir / "TQ5R_StatusRecord00.txt", std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  EXPECT_EQ(content.str(),
            "Time slot:1\r\nseconds \r\nTriggle mode: triggled by image content changed or "
            "signal lost \r\nStart from: \r\nY:26M:12D:7 Time:9:5:30\r\nTotal time:  34Minutes "
            "\r\nRecording status: Status monitor is still working(not finished)\r\n\r\n"
            "0001111000");
}

}  // namespace
}  // namespace sc
