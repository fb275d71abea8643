// Frame capture in the main window, chunk by chunk: the preview, the whole frame and the
// line analysis, with the box's end of a pseudo-terminal reading what the console sends
// and the test host's clock driving timers 6 and 8. The bitmaps are read back byte by byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "sim/pty.h"
#include "tests/support/console_fixture.h"
#include "timing/frame_capture.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

constexpr DeviceAddress kBox{0x01, 0x01};
const std::pair<int, int> kAtLinkRate{115200, 115200};
const std::pair<int, int> kAtUploadRate{512000, 512000};

Bytes ReadWholeFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

std::vector<std::string> FileNames(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A chunk's payload: the two leading bytes, the flags, the picture bytes.
Bytes ChunkPayload(uint8_t b0, uint8_t b1, uint8_t flags, const Bytes& data) {
  Bytes payload(3 + data.size());
  payload[0] = b0;
  payload[1] = b1;
  payload[2] = flags;
  std::copy(data.begin(), data.end(), payload.begin() + 3);
  return payload;
}

TEST(PreviewConversion, UsesTheConsolesOwnMasks) {
  // 0xF1 for blue keeps bit 0 and drops bits 1-3; 0xFE for red drops bit 0 and lets bits
  // 5-7 of the low byte fall off the top; green takes the high byte's three low bits.
  struct Case {
    uint8_t hi, lo;
    PreviewPixel want;
  };
  const Case cases[] = {
      {0xFF, 0xFF, {0xF1, 0xFF, 0xF0}},
      {0x00, 0x00, {0x00, 0x00, 0x00}},
      {0x0E, 0x00, {0x00, 0xC0, 0x00}},  // 0x0E & 0xF1 = 0; 0x0E << 5 = 0xC0 in 8 bits
      {0x01, 0x00, {0x01, 0x20, 0x00}},
      {0x08, 0x00, {0x00, 0x00, 0x00}},  // 0xF8 would keep 0x08 for blue
      {0x00, 0x01, {0x00, 0x00, 0x00}},  // 0x1F would give red 0x08
      {0x00, 0x1E, {0x00, 0x03, 0xF0}},
      {0x00, 0xE0, {0x00, 0x1C, 0x00}},  // the low byte's top bits are green, never red
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.hi) << " " << int(c.lo));
    EXPECT_EQ(ConvertPreviewPixel(c.hi, c.lo), c.want);
  }
}

class FrameCaptureTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box.ok());
    portMap[1] = box.SlavePath();
    StartConsole();
    page().AttachView(&pageView);
    page().Push();
    capture().workingDirectory = images.path().string();
    dialog->ToggleLink();
    ASSERT_TRUE(dialog->linkUp());
    ASSERT_EQ(SentCodes(), std::vector<uint16_t>{0x8082});
  }

  FrameCapture& capture() { return dialog->capture; }
  TimingPage& page() { return dialog->timingPage; }
  std::pair<int, int> Rates() { return dialog->serialPort().CurrentRates(); }

  struct Sent {
    uint16_t code;
    Bytes payload;
  };
  // The commands that reached the box since the last look.
  std::vector<Sent> TakeSent() {
    host.PumpFor(20ms);
    const Bytes bytes = box.Read(1 << 16, 60ms);
    std::vector<Sent> sent;
    FrameAssembler a(kCommandLead);
    for (uint8_t b : bytes)
      if (a.Push(b) == FrameAssembler::Step::Complete)
        sent.push_back({a.Code(), Bytes(a.Payload(), a.Payload() + a.PayloadSize())});
    return sent;
  }
  std::vector<uint16_t> SentCodes() {
    std::vector<uint16_t> codes;
    for (const Sent& s : TakeSent())
      codes.push_back(s.code);
    return codes;
  }

  // The Timing page shows a width x height picture (the page reads its controls).
  void PictureSize(int width, int height) {
    page().hActive = width;
    page().vActive = height;
    page().Push();
  }
  // An upload started and the frame requested at the upload rate.
  void StartUpload(bool lineAnalysis = false) {
    lineAnalysis ? capture().AnalyseLine() : capture().UploadWholeImage();
    const std::vector<Sent> sent = TakeSent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].code, kBaudSwitchCommand);
    EXPECT_EQ(sent[0].payload, (Bytes{0x00, 0xD0, 0x07}));
    EXPECT_EQ(Rates(), kAtLinkRate);
    host.Advance(kUploadStartFirstTick);
    EXPECT_EQ(Rates(), kAtUploadRate);
    host.Advance(kUploadStartSecondTick);
    EXPECT_EQ(SentCodes(), std::vector<uint16_t>{kFrameRequest});
  }
  void FrameChunk(uint8_t b0, uint8_t b1, uint8_t flags, const Bytes& data) {
    Feed(Reply(kBox, kFrameRequest, ChunkPayload(b0, b1, flags, data)));
  }
  void PreviewChunk(uint8_t b0, uint8_t b1, uint8_t flags, const Bytes& data) {
    Feed(Reply(kBox, kPreviewRequest, ChunkPayload(b0, b1, flags, data)));
  }
  // A 4 x 2 frame, one chunk a line: the pixels count 1, 2, 3 ... 24 in red, green, blue.
  void FeedFourByTwoFrame() {
    Bytes line1, line2;
    for (uint8_t v = 1; v <= 12; ++v) {
      line1.push_back(v);
      line2.push_back(static_cast<uint8_t>(v + 12));
    }
    FrameChunk(0, 0, kChunkLineEnd, line1);
    FrameChunk(1, 0, kChunkLineEnd | kChunkFrameEnd, line2);
  }
  // Runs timers 6 and 8 out, as after any upload (a chart that failed takes two ticks).
  void RunTimersOut() {
    host.Advance(2 * kUploadStartWait);
    host.messages.clear();
    TakeSent();
  }

  PtyMaster box;
  TempDir images;
  MemoryView pageView;
};

TEST_F(FrameCaptureTest, APreviewFillsThePictureAndEndsItsTimer) {
  EXPECT_EQ(capture().previewImage[0], 0x40);  // grey until the first preview
  capture().UpdateImage();
  EXPECT_EQ(SentCodes(), std::vector<uint16_t>{kPreviewRequest});
  EXPECT_TRUE(dialog->previewBusy());
  EXPECT_EQ(host.TimerPeriod(kUploadEndTimer), 2000);
  capture().UpdateImage();  // outstanding: nothing more goes out
  EXPECT_TRUE(TakeSent().empty());

  // 64 chunks of 192 bytes, 96 pixels a row: the first pixel white, the first of the
  // second row (pixel 96, chunk 1 byte 0) a known mix, the rest black.
  for (int k = 0; k < 64; ++k) {
    Bytes data(kPreviewChunkData, 0);
    if (k == 0) data[0] = data[1] = 0xFF;
    if (k == 1) {
      data[0] = 0x01;
      data[1] = 0x1E;
    }
    // The two leading bytes are zero only in the first chunk.
    PreviewChunk(static_cast<uint8_t>(k), 0, k == 63 ? kChunkLineEnd : 0, data);
    if (k < 63) {
      EXPECT_EQ(pageView.Repaints(timing_ids::kPreviewFrame), 0);
    }
  }
  const PreviewImage& image = capture().previewImage;
  EXPECT_EQ((Bytes{image[0], image[1], image[2]}), (Bytes{0xF1, 0xFF, 0xF0}));
  EXPECT_EQ((Bytes{image[3], image[4], image[5]}), (Bytes{0, 0, 0}));
  EXPECT_EQ((Bytes{image[96 * 3], image[96 * 3 + 1], image[96 * 3 + 2]}),
            (Bytes{0x01, 0x23, 0xF0}));
  EXPECT_EQ(image.back(), 0);
  EXPECT_EQ(pageView.Repaints(timing_ids::kPreviewFrame), 1);
  EXPECT_FALSE(dialog->previewBusy());
  EXPECT_FALSE(host.TimerRunning(kUploadEndTimer));

  // A preview that runs on past the buffer: what does not fit is dropped, the picture is
  // made from the first 64 chunks, and nothing is read or written out of bounds.
  for (int k = 0; k < 150; ++k)
    PreviewChunk(static_cast<uint8_t>(k), 0, 0, Bytes(kPreviewChunkData, k == 0 ? 0xFF : 0x00));
  PreviewChunk(1, 0, kChunkLineEnd, Bytes(kPreviewChunkData, 0x00));
  EXPECT_EQ(image[0], 0xF1);
  EXPECT_EQ(image[96 * 3 + 1], 0);
  EXPECT_EQ(pageView.Repaints(timing_ids::kPreviewFrame), 2);

  // No answer at all: timer 6 gives the preview up after 2000 ms, at the link rate.
  capture().UpdateImage();
  EXPECT_EQ(SentCodes(), std::vector<uint16_t>{kPreviewRequest});
  host.Advance(2000);
  EXPECT_FALSE(dialog->previewBusy());
  EXPECT_FALSE(host.TimerRunning(kUploadEndTimer));
  EXPECT_EQ(Rates(), kAtLinkRate);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(FrameCaptureTest, AFourByTwoFrameIsSavedWithItsSecondLineFirst) {
  PictureSize(4, 2);
  StartUpload();
  EXPECT_EQ(page().view().GetText(timing_ids::kUploadLabel), kUploadingLabel);
  EXPECT_EQ(host.TimerPeriod(kUploadEndTimer), 5500);
  FeedFourByTwoFrame();

  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Save image data to ./IMAGEFULL_BMP00.BMP"});
  const Bytes file = ReadWholeFile(images.path() / "IMAGEFULL_BMP00.BMP");
  ASSERT_EQ(file.size(), 78u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 2), (Bytes{'B', 'M'}));
  const std::pair<size_t, uint32_t> fields[] = {{2, 78},    {6, 0},     {10, 54}, {14, 40},
                                                {18, 4},    {22, 2},    {30, 0},  {34, 24},
                                                {38, 3780}, {42, 3780}, {46, 0},  {50, 0}};
  for (const auto& [offset, value] : fields)
    EXPECT_EQ(Le32(file, offset), value) << "offset " << offset;
  EXPECT_EQ(file[26] | file[27] << 8, 1);   // planes
  EXPECT_EQ(file[28] | file[29] << 8, 24);  // bits a pixel
  // The second line first, every pixel blue, green, red.
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()),
            (Bytes{15, 14, 13, 18, 17, 16, 21, 20, 19, 24, 23, 22,  //
                   3,  2,  1,  6,  5,  4,  9,  8,  7,  12, 11, 10}));

  // The upload is over; 500 ms later the port is back at the link rate.
  EXPECT_FALSE(dialog->uploadActive());
  EXPECT_EQ(page().view().GetText(timing_ids::kUploadLabel), " ");
  EXPECT_EQ(host.TimerPeriod(kUploadEndTimer), 500);
  host.Advance(499);
  EXPECT_EQ(Rates(), kAtUploadRate);
  host.Advance(1);
  EXPECT_EQ(Rates(), kAtLinkRate);
  EXPECT_FALSE(host.TimerRunning(kUploadEndTimer));
  EXPECT_FALSE(capture().rateRestorePending);
}

TEST_F(FrameCaptureTest, RowsArePaddedToFourBytes) {
  // Width 5 through the console: 15 bytes a line, 16 in the file.
  PictureSize(5, 2);
  StartUpload();
  FrameChunk(0, 0, kChunkLineEnd, Bytes(15, 0xAA));
  FrameChunk(1, 0, kChunkLineEnd | kChunkFrameEnd, Bytes(15, 0xBB));
  const Bytes file = ReadWholeFile(images.path() / "IMAGEFULL_BMP00.BMP");
  ASSERT_EQ(file.size(), 54u + 2 * 16);
  EXPECT_EQ(Le32(file, 34), 32u);
  Bytes row(15, 0xBB);
  row.push_back(0);
  EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 70), row);
  EXPECT_EQ(file.back(), 0);

  // The stride of other widths.
  const std::pair<int, size_t> strides[] = {{1, 4},  {2, 8},  {3, 12},
                                            {4, 12}, {5, 16}, {1920, 5760}};
  for (const auto& [width, stride] : strides) {
    EXPECT_EQ(BitmapRowStride(width), stride) << width;
    const auto header = BitmapHeader(width, 3);
    EXPECT_EQ(Le32(Bytes(header.begin(), header.end()), 34), stride * 3) << width;
  }
}

TEST_F(FrameCaptureTest, OnceDataArrivedAZeroChunkAppendsInsteadOfRestarting) {
  PictureSize(60, 10);  // 180 bytes a line
  StartUpload();
  FrameChunk(0, 0, kChunkLineEnd, Bytes(180, 1));
  // 180 / 1799 x 10000 = 1000.5: 1000, made odd.
  EXPECT_DOUBLE_EQ(page().uploadProgress, 10.01);
  FrameChunk(0, 0, kChunkLineEnd, Bytes(180, 2));
  EXPECT_EQ(capture().frameImage.linesCompleted, 2);
  EXPECT_EQ(capture().frameImage.writePosition, 360u);
  EXPECT_DOUBLE_EQ(page().uploadProgress, 20.01);
  // Only a progress of exactly 0 lets such a chunk start the frame again.
  page().uploadProgress = 0;
  FrameChunk(0, 0, kChunkLineEnd, Bytes(180, 3));
  EXPECT_EQ(capture().frameImage.linesCompleted, 1);
  EXPECT_EQ(capture().frameImage.writePosition, 180u);
  EXPECT_EQ(capture().frameImage.bytes[0], 3);
}

TEST_F(FrameCaptureTest, BadChunksAreReportedOnceAndStayInsideTheFrame) {
  struct Chunk {
    uint8_t b0, flags;
    size_t bytes;
  };
  struct Case {
    const char* name;
    int width, height;
    std::vector<Chunk> chunks;
    std::vector<std::string> messages;
    int linesCompleted;
  };
  const uint8_t end = kChunkLineEnd;
  const Case cases[] = {
      // 300 bytes a line: a line end after nothing needs 300 > 180.
      {"line end needing more than 180 bytes",
       100,
       4,
       {{0, end, 180}, {1, end, 180}},
       {kLineDataError},
       2},
      // One line of 180 bytes; a second full line does not fit the frame.
      {"more data than the frame holds",
       60,
       1,
       {{0, end, 180}, {1, end, 180}},
       {kFrameDataError},
       2},
      // 12 bytes a line, and a chunk of 180 without a line end overruns it.
      {"a line longer than the picture",
       4,
       100,
       {{0, 0, 180}, {1, end, 180}, {2, end, 12}},
       {kLineDataError},
       2},
      // The Timing page knows no picture: nothing has room.
      {"no picture size",
       0,
       0,
       {{0, 0, 180}, {1, end | kChunkFrameEnd, 180}},
       {kFrameDataError, kLineDataError},
       1},
      // A size no box sends: the console does not claim the memory.
      {"an impossible picture size", 131070, 131070, {{0, 0, 180}}, {kFrameDataError}, 0},
      // The first chunk does not start a frame: only the first small buffer exists.
      {"no frame started", 1920, 1080, {{1, 0, 180}, {2, 0, 180}}, {kFrameDataError}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PictureSize(c.width, c.height);
    if (c.chunks.front().b0 != 0) {
      capture().frameImage = FrameImage{};
      capture().frameImage.bytes.assign(10, 0);
    }
    StartUpload();
    for (const Chunk& chunk : c.chunks)
      FrameChunk(chunk.b0, 0, chunk.flags, Bytes(chunk.bytes, 0x55));
    EXPECT_EQ(MessageTexts(), c.messages);
    EXPECT_EQ(capture().frameImage.linesCompleted, c.linesCompleted);
    EXPECT_LE(capture().frameImage.writePosition, capture().frameImage.bytes.size());
    // A stalled upload still ends at the link rate, with no file, the box told to stop.
    host.Advance(kChunkWait);
    EXPECT_EQ(SentCodes(), std::vector<uint16_t>{kStopUploadCommand});
    host.Advance(kAfterFrameWait);
    EXPECT_EQ(Rates(), kAtLinkRate);
    EXPECT_FALSE(dialog->uploadActive());
    EXPECT_TRUE(FileNames(images.path()).empty());
    host.messages.clear();
  }
}

TEST_F(FrameCaptureTest, ALineAnalysisChartsTheChosenLine) {
  PictureSize(4, 5);
  page().view().SetInt(timing_ids::kLineNumber, 3);
  StartUpload(true);
  EXPECT_TRUE(dialog->lineMode());
  const Bytes line3 = {0, 0, 0, 255, 255, 255, 100, 50, 200, 77, 77, 10};
  FrameChunk(0, 0, kChunkLineEnd, Bytes(12, 1));
  FrameChunk(1, 0, kChunkLineEnd, Bytes(12, 2));
  EXPECT_TRUE(TakeSent().empty());
  FrameChunk(2, 0, kChunkLineEnd, line3);
  // The third line is in: the box is told to stop, still at the upload rate.
  EXPECT_EQ(SentCodes(), std::vector<uint16_t>{kStopUploadCommand});
  EXPECT_FALSE(dialog->uploadActive());
  EXPECT_EQ(page().view().GetText(timing_ids::kUploadLabel), " ");
  EXPECT_EQ(page().view().GetFloat(timing_ids::kUploadProgress), 0.0);
  FrameChunk(3, 0, kChunkLineEnd, Bytes(12, 4));  // still on its way: ignored
  EXPECT_EQ(capture().frameImage.linesCompleted, 3);

  // Timer 6 writes the chart, then brings the port back.
  host.Advance(799);
  EXPECT_TRUE(FileNames(images.path()).empty());
  host.Advance(1);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Save image data to ./RGBline_BMP00.BMP"});
  EXPECT_EQ(Rates(), kAtLinkRate);
  EXPECT_FALSE(dialog->lineMode());
  const Bytes chart = ReadWholeFile(images.path() / "RGBline_BMP00.BMP");
  ASSERT_EQ(chart.size(), 54u + 12 * 256);
  EXPECT_EQ(Le32(chart, 18), 4u);
  EXPECT_EQ(Le32(chart, 22), 256u);
  // Pixel (column, level) as blue, green, red; level 0 is the file's first row.
  auto pixel = [&](int column, int level) {
    const size_t at = 54 + static_cast<size_t>(level) * 12 + static_cast<size_t>(column) * 3;
    return Bytes{chart[at], chart[at + 1], chart[at + 2]};
  };
  const Bytes grey{0x30, 0x30, 0x30}, white{0xFF, 0xFF, 0xFF};
  EXPECT_EQ(pixel(0, 0), white);
  EXPECT_EQ(pixel(1, 255), white);
  EXPECT_EQ(pixel(2, 100), (Bytes{0x30, 0x30, 0xFF}));  // red
  EXPECT_EQ(pixel(2, 50), (Bytes{0x30, 0xFF, 0x30}));   // green
  EXPECT_EQ(pixel(2, 200), (Bytes{0xFF, 0x30, 0x30}));  // blue
  EXPECT_EQ(pixel(3, 77), (Bytes{0x30, 0xFF, 0xFF}));   // red and green: yellow
  EXPECT_EQ(pixel(3, 10), (Bytes{0xFF, 0x30, 0x30}));
  int lit = 0;
  for (int column = 0; column < 4; ++column)
    for (int level = 0; level < 256; ++level)
      lit += pixel(column, level) != grey;
  EXPECT_EQ(lit, 7);

  // The chart's data, as the console's plot shows it.
  const LineChart& data = capture().lastChart;
  EXPECT_EQ(data.line, 3);
  EXPECT_EQ(data.red, (Bytes{0, 255, 100, 77}));
  EXPECT_EQ(data.green, (Bytes{0, 255, 50, 77}));
  EXPECT_EQ(data.blue, (Bytes{0, 255, 200, 10}));
  EXPECT_EQ(data.file, images / "RGBline_BMP00.BMP");
  EXPECT_EQ(data.ValuesAt(2), "Pixel 2: R 100  G 50  B 200");
  EXPECT_EQ(data.ValuesAt(4), "");
  EXPECT_EQ(data.ValuesAt(-1), "");
}

// A chunk of the chosen line lost on the way: the line ends short, which is said, and the
// box is still told to stop there instead of sending the rest of the frame.
TEST_F(FrameCaptureTest, AChosenLineThatEndsShortStillStopsTheUpload) {
  PictureSize(100, 5);  // 300 bytes a line: a chunk, then the chunk that ends the line
  page().view().SetInt(timing_ids::kLineNumber, 2);
  StartUpload(true);
  FrameChunk(0, 0, 0, Bytes(kFrameChunkData, 1));
  FrameChunk(0, 1, kChunkLineEnd, Bytes(kFrameChunkData, 1));
  EXPECT_TRUE(TakeSent().empty());
  // Line 2's first chunk never came.
  FrameChunk(0, 3, kChunkLineEnd, Bytes(kFrameChunkData, 2));
  EXPECT_EQ(SentCodes(), std::vector<uint16_t>{kStopUploadCommand});
  EXPECT_FALSE(dialog->uploadActive());
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kLineDataError});
  FrameChunk(0, 4, kChunkLineEnd, Bytes(kFrameChunkData, 3));  // still on its way: ignored
  EXPECT_EQ(capture().frameImage.linesCompleted, 2);
  host.Advance(2 * kUploadStartWait);
  EXPECT_EQ(Rates(), kAtLinkRate);
  EXPECT_FALSE(dialog->lineMode());
}

// A window shows what a capture saved once its message is closed; "Save As..." puts a copy
// of the picture, or the chart drawn again, where the person chooses.
TEST_F(FrameCaptureTest, SaveAsPutsThePictureAndTheChartWhereChosen) {
  std::vector<std::pair<Operation, size_t>> after;  // the operation, messages shown by then
  capture().afterOutcome = [&](const Outcome& o) {
    after.push_back({o.operation, host.messages.size()});
  };
  std::vector<Outcome> outcomes;
  dialog->onOutcome = [&](const Outcome& o) { outcomes.push_back(o); };
  PictureSize(4, 2);
  StartUpload();
  FeedFourByTwoFrame();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0], std::make_pair(Operation::kFrameCapture, size_t{1}));
  EXPECT_EQ(capture().lastPicture, images / "IMAGEFULL_BMP00.BMP");
  RunTimersOut();

  TempDir mine;
  host.saveChoices = {mine / "frame", mine / "frame.png", mine / "x/frame.bmp", std::nullopt};
  for (int i = 0; i < 4; ++i)
    capture().SavePictureAs(capture().lastPicture);
  ASSERT_EQ(outcomes.size(), 5u);
  EXPECT_EQ(host.saveDialogs[0].suggestedName, "IMAGEFULL_BMP00.BMP");
  EXPECT_EQ(outcomes[1].result, Result::kDone);
  EXPECT_EQ(outcomes[1].files, std::vector<std::string>{mine / "frame.bmp"});
  EXPECT_EQ(ReadWholeFile(mine / "frame.bmp"), ReadWholeFile(capture().lastPicture));
  EXPECT_EQ(outcomes[2].result, Result::kBadInput);
  EXPECT_EQ(outcomes[3].result, Result::kFileError);
  EXPECT_EQ(outcomes[4].result, Result::kCancelled);
  // A picture that is no longer there says so.
  host.saveChoices = {mine / "again.bmp"};
  capture().SavePictureAs(images / "IMAGEFULL_BMP07.BMP");
  EXPECT_EQ(outcomes.back().result, Result::kFileError);
  EXPECT_EQ(outcomes.back().message,
            "Failed to read " + (images / "IMAGEFULL_BMP07.BMP") + " (No such file or directory)");
  EXPECT_FALSE(fs::exists(mine / "again.bmp"));

  // A line: the chart drawn again from its levels is the numbered file, byte for byte.
  page().view().SetInt(timing_ids::kLineNumber, 2);
  StartUpload(true);
  FeedFourByTwoFrame();
  host.Advance(kChunkWait);
  ASSERT_EQ(after.back().first, Operation::kLineCapture);
  host.saveChoices = {mine / "line.BMP"};
  capture().SaveChartAs(capture().lastChart);
  EXPECT_EQ(outcomes.back().operation, Operation::kChartSaveAs);
  EXPECT_EQ(outcomes.back().result, Result::kDone);
  EXPECT_EQ(host.saveDialogs.back().suggestedName, "RGBline_BMP00.BMP");
  EXPECT_EQ(ReadWholeFile(mine / "line.BMP"), ReadWholeFile(images / "RGBline_BMP00.BMP"));
  capture().SaveChartAs(LineChart{});
  EXPECT_EQ(outcomes.back().result, Result::kRefused);
  RunTimersOut();
}

TEST_F(FrameCaptureTest, TheLineNumberIsCheckedAndALineNotReceivedIsNotCharted) {
  PictureSize(4, 5);
  // Out of range: said, and the analysis goes on with it.
  page().view().SetInt(timing_ids::kLineNumber, 0);
  capture().AnalyseLine();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kLineNumberRangeMessage});
  EXPECT_TRUE(dialog->uploadActive());
  RunTimersOut();
  // 100 is accepted and becomes 99 when the analysis starts.
  page().view().SetInt(timing_ids::kLineNumber, 100);
  StartUpload(true);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(page().lineNumber, 99);
  EXPECT_EQ(page().view().GetInt(timing_ids::kLineNumber), 99);
  RunTimersOut();

  // Line 3 asked for, and the upload cancelled with "Upload Whole Image" after one line:
  // the analysis stays set, but there is no line 3 to chart.
  page().view().SetInt(timing_ids::kLineNumber, 3);
  StartUpload(true);
  FrameChunk(0, 0, kChunkLineEnd, Bytes(12, 9));
  capture().UploadWholeImage();
  EXPECT_EQ(SentCodes(), std::vector<uint16_t>{kStopUploadCommand});
  EXPECT_TRUE(dialog->lineMode());
  host.Advance(800);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Line 3 was not received: no chart saved"});
  EXPECT_TRUE(FileNames(images.path()).empty());
  // The timer keeps running; its next tick brings the port back.
  EXPECT_EQ(Rates(), kAtUploadRate);
  host.Advance(800);
  EXPECT_EQ(Rates(), kAtLinkRate);
  EXPECT_FALSE(host.TimerRunning(kUploadEndTimer));
}

TEST_F(FrameCaptureTest, NumberNinetyNineIsOverwrittenWhenAllHundredExist) {
  for (int n = 0; n < 100; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "IMAGEFULL_BMP%02d.BMP", n);
    std::ofstream(images.path() / name) << "old";
  }
  PictureSize(4, 2);
  StartUpload();
  FeedFourByTwoFrame();
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Save image data to ./IMAGEFULL_BMP99.BMP"});
  EXPECT_EQ(ReadWholeFile(images.path() / "IMAGEFULL_BMP99.BMP").size(), 78u);
  EXPECT_EQ(ReadWholeFile(images.path() / "IMAGEFULL_BMP98.BMP").size(), 3u);
  EXPECT_EQ(FileNames(images.path()).size(), 100u);  // nothing left beside them
}

TEST_F(FrameCaptureTest, AFailedSaveLeavesNoFileAndTheUploadStillEnds) {
  // A directory that is not there, and a number 99 that cannot be replaced.
  fs::create_directories(images.path() / "full" / "IMAGEFULL_BMP99.BMP");
  for (int n = 0; n < 99; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "IMAGEFULL_BMP%02d.BMP", n);
    std::ofstream(images.path() / "full" / name) << "old";
  }
  const std::pair<std::string, std::string> cases[] = {
      {(images.path() / "missing").string(), "Faild to create file"},
      // Only a regular file is replaced as number 99: anything else is not created over.
      {(images.path() / "full").string(), "Faild to create file"},
  };
  PictureSize(4, 2);
  for (const auto& [directory, message] : cases) {
    SCOPED_TRACE(directory);
    capture().workingDirectory = directory;
    StartUpload();
    FeedFourByTwoFrame();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{message});
    EXPECT_FALSE(dialog->uploadActive());
    EXPECT_EQ(page().view().GetText(timing_ids::kUploadLabel), " ");
    host.Advance(500);
    EXPECT_EQ(Rates(), kAtLinkRate);
    host.messages.clear();
  }
  EXPECT_FALSE(fs::exists(images.path() / "missing"));
  EXPECT_EQ(FileNames(images.path() / "full").size(), 100u);  // no half-written file
  EXPECT_EQ(ReadWholeFile(images.path() / "full" / "IMAGEFULL_BMP00.BMP").size(), 3u);
}

TEST_F(FrameCaptureTest, ThePortAlwaysComesBackOnceAnUploadHasRun) {
  struct Case {
    const char* name;
    std::function<void()> act;
    std::vector<uint16_t> atTheEnd;  // sent when timer 6 ends it
  };
  const Case cases[] = {
      {"Update Image after a cancel",
       [&] {
         StartUpload();
         capture().UploadWholeImage();
         EXPECT_EQ(SentCodes(), std::vector<uint16_t>{kStopUploadCommand});
         capture().UpdateImage();
       },
       {}},
      {"Update Image in the 500 ms after a frame",
       [&] {
         StartUpload();
         FeedFourByTwoFrame();
         capture().UpdateImage();
       },
       {}},
      {"an end of preview arriving during the upload",
       [&] {
         StartUpload();
         PreviewChunk(0, 0, kChunkLineEnd, Bytes(kPreviewChunkData, 0));
       },
       {kStopUploadCommand}},
      {"a cancel before the frame was asked for",
       [&] {
         capture().UploadWholeImage();
         host.Advance(kUploadStartFirstTick);
         capture().UploadWholeImage();
         host.Advance(kUploadStartSecondTick);
         EXPECT_FALSE(dialog->uploadActive());
       },
       {}},
  };
  PictureSize(4, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.act();
    for (const Sent& s : TakeSent())
      EXPECT_TRUE(s.code != kPreviewRequest && s.code != kFrameRequest) << std::hex << s.code;
    host.Advance(kUploadStartWait);
    EXPECT_EQ(SentCodes(), c.atTheEnd);
    host.Advance(kAfterFrameWait);
    EXPECT_EQ(Rates(), kAtLinkRate);
    EXPECT_FALSE(host.TimerRunning(kUploadEndTimer));
    EXPECT_FALSE(host.TimerRunning(kUploadStartTimer));
    EXPECT_FALSE(dialog->uploadActive());
    // The link works: a preview can be had again.
    capture().UpdateImage();
    EXPECT_EQ(SentCodes(), std::vector<uint16_t>{kPreviewRequest});
    RunTimersOut();
    fs::remove_all(images.path());
    fs::create_directories(images.path());
  }

  // The link taken down after a cancel: the port the user closed stays closed.
  StartUpload();
  capture().UploadWholeImage();
  dialog->ToggleLink();
  ASSERT_FALSE(dialog->linkUp());
  ASSERT_TRUE(host.PumpUntil([&] { return !dialog->serialPort().IsOpen(); }));
  host.Advance(5500);
  host.PumpFor(30ms);
  EXPECT_FALSE(dialog->serialPort().IsOpen());
}

}  // namespace
}  // namespace sc
