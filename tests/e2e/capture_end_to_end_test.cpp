// Frame capture over the whole link: the main window's core, the serial driver on a
// pseudo-terminal and the simulated box, with the test host's clock for timers 6 and 8.
// The saved frame is opened by ImageMagick's identify, a reader of its own.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "sim/box_pictures.h"
#include "sim/box_server.h"
#include "tests/support/console_fixture.h"
#include "timing/frame_capture.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using Codes = std::vector<uint16_t>;
namespace fs = std::filesystem;

const std::pair<int, int> kAtLinkRate{115200, 115200};
const std::pair<int, int> kAtUploadRate{512000, 512000};

// What `identify -format FORMAT file` prints, or nothing when it cannot run.
std::optional<std::string> Identify(const std::string& format, const std::string& file) {
  const std::string command = "identify -format '" + format + "' '" + file + "' 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) return std::nullopt;
  std::string out;
  char buffer[512];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
    out.append(buffer, n);
  if (::pclose(pipe.release()) != 0) return std::nullopt;
  return out;
}

class CaptureEndToEndTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    portMap[1] = server.path();
    StartConsole();
    capture().workingDirectory = images.path().string();
    dialog->ToggleLink();
    ASSERT_TRUE(Handled(0x8090));
    host.StopTimer(kStatusRecheckTimer);
    Forget();
  }

  FrameCapture& capture() { return dialog->capture; }
  std::pair<int, int> Rates() { return dialog->serialPort().CurrentRates(); }
  Codes BoxCodes() {
    return server.WithLine([](BoxLine& line) { return line.box(0).CommandCodes(); });
  }
  bool Handled(uint16_t code) {
    return host.PumpUntil([&] { return std::count(dispatched.begin(), dispatched.end(), code); });
  }
  void Forget() {
    dispatched.clear();
    server.WithLine([](BoxLine& line) { line.box(0).ClearRecords(); });
  }
  template <class F>
  auto OnBox(F&& f) {
    return server.WithLine([&](BoxLine& line) { return f(line.box(0)); });
  }
  // The upload started: 0x7879 at the link rate, the port at the upload rate 10 ms later,
  // the frame request 50 ms after that.
  void StartUpload(bool lineAnalysis = false) {
    lineAnalysis ? capture().AnalyseLine() : capture().UploadWholeImage();
    ASSERT_TRUE(host.PumpUntil([&] { return BoxCodes() == Codes{kBaudSwitchCommand}; }));
    EXPECT_EQ(Rates(), kAtLinkRate);
    EXPECT_EQ(OnBox([](SimulatedBox& b) { return b.lineRate(); }), 512000);
    host.Advance(kUploadStartFirstTick);
    EXPECT_EQ(Rates(), kAtUploadRate);
    host.Advance(kUploadStartSecondTick - 1);
    host.PumpFor(20ms);
    EXPECT_EQ(BoxCodes(), Codes{kBaudSwitchCommand});
    host.Advance(1);
    ASSERT_TRUE(host.PumpUntil([&] { return BoxCodes().size() == 2; }));
    EXPECT_EQ(BoxCodes().back(), kFrameRequest);
  }

  BoxServer server;
  TempDir images;
};

TEST_F(CaptureEndToEndTest, AWholeFrameOfTheBoxIsSavedAndOpensInAnImageReader) {
  StartUpload();
  const std::string saved = "Save image data to ./IMAGEFULL_BMP00.BMP";
  ASSERT_TRUE(host.PumpUntil([&] { return !host.messages.empty(); }, 60s));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{saved});
  EXPECT_EQ(capture().frameImage.linesCompleted, 1080);
  EXPECT_EQ(capture().frameImage.chunkCounter, 1080 * 32);
  EXPECT_FALSE(dialog->uploadActive());
  host.Advance(499);
  EXPECT_EQ(Rates(), kAtUploadRate);
  host.Advance(1);
  EXPECT_EQ(Rates(), kAtLinkRate);

  // Another reader sees a 1920 x 1080 bitmap with the box's picture in it: corners, bars,
  // the moving square and the ramp.
  const BoxPicture picture = OnBox([](SimulatedBox& b) { return b.lastPicture(); });
  const std::pair<int, int> points[] = {
      {0, 0},      {1919, 0},    {300, 10},
      {1000, 400}, {1500, 700},  {0, 1079},
      {960, 900},  {1919, 1079}, {picture.width / 24 + 10, picture.height / 8 + 10}};
  std::string format = "%m %w %h";
  std::ostringstream want;
  want << "BMP3 1920 1080";
  for (const auto& [x, y] : points) {
    for (const char* channel : {"r", "g", "b"})
      format += std::string(channel == std::string("r") ? " " : ",") + "%[fx:int(255*p{" +
                std::to_string(x) + "," + std::to_string(y) + "}." + channel + "+0.5)]";
    const Rgb c = PicturePixel(picture, x, y);
    want << " " << int(c.r) << "," << int(c.g) << "," << int(c.b);
  }
  const auto seen = Identify(format, (images.path() / "IMAGEFULL_BMP00.BMP").string());
  ASSERT_TRUE(seen) << "ImageMagick's identify is needed (bash scripts/deps.sh installs it)";
  EXPECT_EQ(*seen, want.str());

  // The link works at its own rate again.
  Forget();
  dialog->timingPage.UpdateStatus();
  EXPECT_TRUE(Handled(0x8090));
}

TEST_F(CaptureEndToEndTest, ASilentOrStalledUploadEndsAtTheLinkRate) {
  // An upload given up tells the box to stop, at the rate it listens at: a box not told
  // would send the rest of the frame into a port back at the link rate.
  struct Case {
    const char* name;
    bool lineAnalysis;
    int stallAfter;  // chunks the box sends
    int wait;        // ms from the last event to the upload's end
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"no chunk at all", false, 0, 5500 - kUploadStartFirstTick - kUploadStartSecondTick, {}},
      {"a stall after 100 chunks", false, 100, 800, {}},
      {"a line analysis stalled before its line",
       true,
       40,
       800,
       {"Line 3 was not received: no chart saved"}}};
  dialog->timingPage.view().SetInt(timing_ids::kLineNumber, 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OnBox([&](SimulatedBox& b) { b.faults().stallFrameAfter = c.stallAfter; });
    StartUpload(c.lineAnalysis);
    ASSERT_TRUE(host.PumpUntil([&] {
      return !OnBox([](SimulatedBox& b) { return b.Streaming(); }) &&
             capture().frameImage.chunkCounter == c.stallAfter;
    }));
    host.PumpFor(50ms);
    EXPECT_EQ(capture().frameImage.chunkCounter, c.stallAfter);
    host.Advance(c.wait - 1);
    EXPECT_TRUE(dialog->uploadActive());
    host.Advance(1);
    EXPECT_FALSE(dialog->uploadActive());
    ASSERT_TRUE(host.PumpUntil([&] { return BoxCodes().back() == kStopUploadCommand; }));
    EXPECT_EQ(Rates(), kAtUploadRate);
    EXPECT_TRUE(server.WaitUntil([](BoxLine& line) { return line.LineRate() == 115200; }, 2s));
    host.Advance(800);
    EXPECT_EQ(Rates(), kAtLinkRate);
    EXPECT_EQ(MessageTexts(), c.messages);
    EXPECT_TRUE(fs::is_empty(images.path()));
    host.messages.clear();
    Forget();
  }
}

TEST_F(CaptureEndToEndTest, ALineAnalysisChartsTheBoxsLine) {
  dialog->timingPage.view().SetInt(timing_ids::kLineNumber, 3);
  StartUpload(true);
  // The box is told to stop once the third line is in, and stops.
  ASSERT_TRUE(host.PumpUntil([&] { return BoxCodes().back() == kStopUploadCommand; }));
  EXPECT_TRUE(server.WaitUntil([](BoxLine& line) { return !line.Streaming(); }, 2s));
  EXPECT_EQ(capture().frameImage.linesCompleted, 3);
  host.Advance(800);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Save image data to ./RGBline_BMP00.BMP"});
  EXPECT_EQ(Rates(), kAtLinkRate);

  // Each column shows the third line's red, green and blue at their levels.
  const BoxPicture picture = OnBox([](SimulatedBox& b) { return b.lastPicture(); });
  std::string format = "%w %h";
  std::ostringstream want;
  want << "1920 256";
  for (int x : {0, 250, 500, 700, 1000, 1300, 1500, 1900}) {
    const Rgb level = PicturePixel(picture, x, 2);
    // identify counts rows from the top: level v is row 255 - v.
    format +=
        " %[fx:int(255*p{" + std::to_string(x) + "," + std::to_string(255 - level.r) + "}.r+0.5)]";
    want << " 255";
  }
  const auto seen = Identify(format, (images.path() / "RGBline_BMP00.BMP").string());
  ASSERT_TRUE(seen) << "ImageMagick's identify is needed (bash scripts/deps.sh installs it)";
  EXPECT_EQ(*seen, want.str());
}

TEST_F(CaptureEndToEndTest, PreviewsShowTheBoxsPictureMoving) {
  PreviewImage first;
  for (int round = 0; round < 2; ++round) {
    capture().UpdateImage();
    ASSERT_TRUE(host.PumpUntil([&] { return !dialog->previewBusy(); }));
    const BoxPicture picture = OnBox([](SimulatedBox& b) { return b.lastPicture(); });
    const PreviewImage& image = capture().previewImage;
    for (int row = 0; row < kPreviewHeight; row += 7) {
      for (int column = 0; column < kPreviewWidth; column += 5) {
        const int x = (2 * column + 1) * picture.width / (2 * kPreviewWidth);
        const int y = (2 * row + 1) * picture.height / (2 * kPreviewHeight);
        const auto bytes = PreviewPixelBytes(PicturePixel(picture, x, y));
        const PreviewPixel want = ConvertPreviewPixel(bytes[0], bytes[1]);
        const size_t at = (static_cast<size_t>(row) * kPreviewWidth + column) * 3;
        ASSERT_EQ((PreviewPixel{image[at], image[at + 1], image[at + 2]}), want)
            << row << "," << column;
      }
    }
    if (round == 0) first = image;
  }
  EXPECT_NE(capture().previewImage, first);
  EXPECT_FALSE(host.TimerRunning(kUploadEndTimer));
}

}  // namespace
}  // namespace sc
