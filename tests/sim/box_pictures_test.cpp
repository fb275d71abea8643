// The simulated box's pictures: the frame cut into chunks line by line, a preview that
// differs by format and moves, the rate switch, stop and stall, and the server streaming
// a frame at the line's rate while it keeps answering.

#include "sim/box_pictures.h"

#include <gtest/gtest.h>

#include <set>

#include "sim/box_server.h"
#include "sim/sim_commands.h"
#include "sim/simulated_box.h"
#include "tests/sim/sim_test_util.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Command;
using test::Reply;
using test::SlavePort;
using test::SplitReplies;

constexpr DeviceAddress kBox{0x01, 0x01};
const Bytes kRate512000{0x00, 0xD0, 0x07};

TEST(BoxPictures, TheFrameGoesLineByLineInChunksOf180) {
  struct Case {
    int width;
    std::vector<size_t> lineChunks;  // the data bytes of each chunk of one line
  };
  const Case cases[] = {
      {1920, std::vector<size_t>(32, 180)},
      {1280,
       [] {
         std::vector<size_t> c(21, 180);
         c.push_back(60);
         return c;
       }()},
      {60, {180}},
      {4, {12}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    const BoxPicture picture{c.width, 3, 2, 5};
    FrameStream stream;
    stream.Start(picture);
    Bytes data;
    std::vector<uint8_t> payload;
    for (int line = 0; line < 3; ++line) {
      for (size_t k = 0; k < c.lineChunks.size(); ++k) {
        const uint32_t number = stream.chunksSent();
        ASSERT_TRUE(stream.NextChunk(payload));
        ASSERT_EQ(payload.size(), 3 + c.lineChunks[k]);
        EXPECT_EQ(payload[0] | payload[1] << 8, static_cast<int>(number & 0xFFFF));
        uint8_t flags = 0;
        if (k + 1 == c.lineChunks.size()) flags = kPictureLineEnd;
        if (flags && line == 2) flags |= kPictureFrameEnd;
        EXPECT_EQ(payload[2], flags) << "line " << line << " chunk " << k;
        data.insert(data.end(), payload.begin() + 3, payload.end());
      }
    }
    EXPECT_FALSE(stream.active());
    EXPECT_FALSE(stream.NextChunk(payload));
    // The bytes are the picture, red, green, blue a pixel.
    ASSERT_EQ(data.size(), static_cast<size_t>(c.width) * 3 * 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < c.width; x += std::max(1, c.width / 7)) {
        const size_t at = (static_cast<size_t>(y) * c.width + x) * 3;
        EXPECT_EQ((Rgb{data[at], data[at + 1], data[at + 2]}), PicturePixel(picture, x, y));
      }
  }
}

TEST(BoxPictures, EachFormatLooksItsOwnAndThePictureMoves) {
  // The sizes the console's Timing page shows for some formats.
  const std::pair<const char*, std::pair<int, int>> sizes[] = {
      {"1080p60", {1920, 1080}}, {"1080i50", {1920, 1080}},    {"576i50", {720, 576}},
      {"2160p60", {3840, 2160}}, {"1080p24-3d", {1920, 1080}}, {"sdi-1080i50", {1920, 1080}}};
  for (const auto& [name, size] : sizes) {
    const BoxSignal signal = *FindBoxSignal(name);
    const BoxPicture picture = PictureOf(signal, 0);
    EXPECT_EQ(std::make_pair(picture.width, picture.height), size) << name;
  }

  std::set<std::vector<std::vector<uint8_t>>> previews;
  int formats = 0;
  for (const BoxSignal& signal : BoxSignalPresets()) {
    if (!signal.Present()) continue;
    ++formats;
    const auto first = PreviewChunks(PictureOf(signal, 0));
    ASSERT_EQ(first.size(), 64u) << signal.name;
    for (size_t k = 0; k < first.size(); ++k) {
      EXPECT_EQ(first[k].size(), 195u);
      EXPECT_EQ(first[k][2], k == 63 ? kPictureLineEnd : 0) << k;
    }
    previews.insert(first);
    EXPECT_NE(PreviewChunks(PictureOf(signal, 1)), first) << signal.name;
  }
  EXPECT_EQ(previews.size(), static_cast<size_t>(formats));
  // 16-bit colour, blue high: white is FF FF, pure red 00 1F, pure blue F8 00.
  EXPECT_EQ(PreviewPixelBytes({255, 255, 255}), (std::array<uint8_t, 2>{0xFF, 0xFF}));
  EXPECT_EQ(PreviewPixelBytes({255, 0, 0}), (std::array<uint8_t, 2>{0x00, 0x1F}));
  EXPECT_EQ(PreviewPixelBytes({0, 0, 255}), (std::array<uint8_t, 2>{0xF8, 0x00}));
}

TEST(BoxPictures, TheBoxSwitchesRateStreamsStopsAndStalls) {
  SimulatedBox box(kBox);
  EXPECT_TRUE(box.Receive(Command(kBox, box_code::kBaudSwitch, kRate512000)).empty());
  EXPECT_EQ(box.lineRate(), 512000);
  // The frame comes from the stream, not at once.
  EXPECT_TRUE(box.Receive(Command(kBox, box_code::kFrame)).empty());
  EXPECT_TRUE(box.Streaming());
  std::vector<Reply> chunks = SplitReplies(box.TakeStreamed(1000));
  ASSERT_EQ(chunks.size(), 6u);  // whole frames of 193 bytes, up to 1000 or just past
  for (const Reply& r : chunks) {
    EXPECT_EQ(r.code, box_code::kFrame);
    EXPECT_TRUE(r.sumOk);
  }
  // It answers while it streams; a stop ends the transfer and the upload rate.
  EXPECT_EQ(SplitReplies(box.Receive(Command(kBox, box_code::kVolume))).size(), 1u);
  box.Receive(Command(kBox, box_code::kStopUpload));
  EXPECT_FALSE(box.Streaming());
  EXPECT_EQ(box.lineRate(), kBoxLinkRate);
  EXPECT_TRUE(box.TakeStreamed(1000).empty());

  // A stall: five chunks, then nothing, and the box back at its link rate.
  box.Receive(Command(kBox, box_code::kBaudSwitch, kRate512000));
  box.faults().stallFrameAfter = 5;
  box.Receive(Command(kBox, box_code::kFrame));
  EXPECT_EQ(SplitReplies(box.TakeStreamed(1 << 20)).size(), 5u);
  EXPECT_FALSE(box.Streaming());
  EXPECT_EQ(box.lineRate(), kBoxLinkRate);
  EXPECT_EQ(box.faults().stallFrameAfter, -1);

  // A whole frame ends the transfer by itself: 1080 lines of 32 chunks.
  box.Receive(Command(kBox, box_code::kBaudSwitch, kRate512000));
  box.Receive(Command(kBox, box_code::kFrame));
  size_t frames = 0;
  std::vector<Reply> last;
  while (box.Streaming()) {
    last = SplitReplies(box.TakeStreamed(1 << 20));
    frames += last.size();
  }
  EXPECT_EQ(frames, 1080u * 32);
  EXPECT_EQ(last.back().payload[2], kPictureLineEnd | kPictureFrameEnd);
  EXPECT_EQ(box.lineRate(), kBoxLinkRate);

  // No signal, or a request no box answers: no frame.
  box.Receive(Command({0xFF, 0xFF}, box_code::kFrame));
  EXPECT_FALSE(box.Streaming());
  box.SetSourceConnected(kHdmiInput, false, false);
  box.Receive(Command(kBox, box_code::kFrame));
  EXPECT_FALSE(box.Streaming());
  // A rate no line runs at is ignored.
  box.Receive(Command(kBox, box_code::kBaudSwitch, {0x10, 0x00, 0x00}));
  EXPECT_EQ(box.lineRate(), kBoxLinkRate);
}

TEST(BoxPictures, TheServerStreamsAtTheLineRateAndKeepsAnswering) {
  BoxServer server({kBox});
  server.SetPacing(true);
  ASSERT_TRUE(server.StartOnPty());
  SlavePort port(server.path());
  ASSERT_TRUE(port.ok());
  ASSERT_TRUE(port.Write(Command(kBox, box_code::kBaudSwitch, kRate512000)));
  ASSERT_TRUE(port.Write(Command(kBox, box_code::kFrame)));
  const auto start = std::chrono::steady_clock::now();
  // More than the line could carry in the catch-up a held-up line is allowed.
  Bytes received = port.Read(30000);
  ASSERT_EQ(received.size(), 30000u);

  // A question in the middle of the frame is answered among its chunks.
  ASSERT_TRUE(port.Write(Command(kBox, box_code::kVolume)));
  bool answered = false;
  while (!answered) {
    const Bytes more = port.Read(1000);
    ASSERT_FALSE(more.empty());
    received.insert(received.end(), more.begin(), more.end());
    for (const Reply& r : SplitReplies(received))
      answered = answered || r.code == box_code::kVolume;
  }
  // Paced: never more than 512000 baud carries (ten bits a byte), give or take the
  // 250 ms a held-up line may catch up on and one chunk.
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LE(static_cast<double>(received.size()), (seconds + 0.25) * 51200 + 193);

  // A stop ends the stream; the box is back at its link rate.
  ASSERT_TRUE(port.Write(Command(kBox, box_code::kStopUpload)));
  EXPECT_TRUE(server.WaitUntil([](BoxLine& line) { return !line.Streaming(); }, 2s));
  EXPECT_EQ(server.WithLine([](BoxLine& line) { return line.LineRate(); }), kBoxLinkRate);
}

TEST(BoxPictures, ThePictureCommandsOfTheSimulator) {
  std::string error;
  EXPECT_TRUE(ParseSimOptions({}, &error)->pace);
  EXPECT_FALSE(ParseSimOptions({"--no-pace"}, &error)->pace);
  EXPECT_FALSE(ParseSimOptions({"--no-pace=1"}, &error));

  BoxServer server({kBox});
  SimCommandInterpreter commands(server);
  EXPECT_TRUE(commands.Execute("stall 7").ok);
  EXPECT_EQ(server.WithLine([](BoxLine& line) { return line.box(0).faults().stallFrameAfter; }), 7);
  EXPECT_NE(commands.Execute("status").text.find("stall after 7 chunks"), std::string::npos);
  EXPECT_FALSE(commands.Execute("stall -1").ok);
  EXPECT_TRUE(commands.Execute("pace on").ok);
  EXPECT_TRUE(server.pacing());
  EXPECT_TRUE(commands.Execute("pace off").ok);
  EXPECT_FALSE(server.pacing());
  EXPECT_FALSE(commands.Execute("pace").ok);
}

}  // namespace
}  // namespace sc
