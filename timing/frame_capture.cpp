#include "timing/frame_capture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "storage/safe_file.h"

namespace sc {

namespace {

constexpr size_t kChunkHeader = 3;  // two bytes, zero in a picture's first chunk; the flags
// The longest chunk read: a preview chunk.
constexpr size_t kLongestChunk = kChunkHeader + kPreviewChunkData;

// A chunk's payload with whatever the reply lacks read as 0.
std::array<uint8_t, kLongestChunk> PaddedChunk(const uint8_t* payload, size_t size) {
  std::array<uint8_t, kLongestChunk> chunk{};
  if (payload) std::copy(payload, payload + std::min(size, chunk.size()), chunk.begin());
  return chunk;
}

}  // namespace

PreviewPixel ConvertPreviewPixel(uint8_t hi, uint8_t lo) {
  PreviewPixel p;
  p.blue = static_cast<uint8_t>(hi & 0xF1);
  p.green = static_cast<uint8_t>(static_cast<uint8_t>(hi << 5) | ((lo >> 3) & 0x1F));
  p.red = static_cast<uint8_t>((lo & 0xFE) << 3);
  return p;
}

void ConvertPreview(const uint8_t* bytes, PreviewImage& image) {
  for (size_t k = 0; k < kPreviewWidth * kPreviewHeight; ++k) {
    const PreviewPixel p = ConvertPreviewPixel(bytes[2 * k], bytes[2 * k + 1]);
    image[3 * k] = p.blue;
    image[3 * k + 1] = p.green;
    image[3 * k + 2] = p.red;
  }
}

FrameCapture::FrameCapture(Host& host, CommandSender& sender, TimingPage& page, Link link)
    : host_(host), sender_(sender), page_(page), window_(std::move(link)) {}

void FrameCapture::Set(bool& flag, bool value) {
  if (flag == value) return;
  flag = value;
  if (window_.stateChanged) window_.stateChanged();
}

void FrameCapture::Startup() {
  frameImage = FrameImage{};
  frameImage.bytes.assign(10, 0);
  previewImage.fill(0x40);
  // The layout creates the upload controls hidden.
  page_.ShowCaptureControls(page_.captureControlsShown);
}

void FrameCapture::Release() {
  frameImage.bytes.clear();
  frameImage.bytes.shrink_to_fit();
}

void FrameCapture::Show(const std::string& text) {
  host_.ShowMessage(kCaptureCaption, text);
}

void FrameCapture::Finish(const Outcome& outcome) {
  if (outcome.operation == Operation::kFrameCapture || outcome.operation == Operation::kLineCapture)
    pendingUpload_.reset();
  Conclude(onOutcome, outcome, [this](const std::string& text) { Show(text); });
  if (afterOutcome) afterOutcome(outcome);
}

void FrameCapture::Reopen(int rate) {
  // A port the user has taken down (or replaced by another) stays as the user left it.
  if (window_.linkUp() && window_.reopenAtBaud) window_.reopenAtBaud(rate);
}

void FrameCapture::ReadPageControls() {
  page_.Pull();
  if (page_.lineNumber < 1 || page_.lineNumber > 100) Show(kLineNumberRangeMessage);
}

// ---------------------------------------------------------------------------------------
// Preview

void FrameCapture::UpdateImage() {
  // Until timer 6 has brought the port back from an upload, a preview would take over the
  // timer and leave the port at the upload rate for good.
  if (previewBusy_ || uploadActive_ || !window_.linkUp() || rateRestorePending)
    return Finish(Outcome(Operation::kPreview, Result::kRefused));
  ReadPageControls();
  sender_.SendCommand(kPreviewRequest);
  SetPreviewBusy(true);
  host_.StartTimer(kUploadEndTimer, kPreviewWait);
  page_.uploadProgress = 0;
}

void FrameCapture::OnPreviewChunk(const uint8_t* payload, size_t size) {
  const auto chunk = PaddedChunk(payload, size);
  if (chunk[0] == 0 && chunk[1] == 0) previewPosition_ = 0;
  // Chunks beyond the buffer are dropped; the preview only needs the first 64.
  if (previewPosition_ + kPreviewChunkData <= previewBuffer_.size()) {
    std::copy_n(chunk.begin() + kChunkHeader, kPreviewChunkData,
                previewBuffer_.begin() + static_cast<std::ptrdiff_t>(previewPosition_));
    previewPosition_ += kPreviewChunkData;
  }
  if (!(chunk[2] & kChunkLineEnd)) return;
  previewPosition_ = 0;
  // Timer 6 is the preview's only while a preview is outstanding: a stray end of preview
  // during an upload must not stop the timer that brings the port back.
  if (previewBusy_) host_.StopTimer(kUploadEndTimer);
  ConvertPreview(previewBuffer_.data(), previewImage);
  page_.view().Repaint(timing_ids::kPreviewFrame);
  const bool asked = previewBusy_;
  SetPreviewBusy(false);
  if (asked) Finish(Outcome(Operation::kPreview));
}

// ---------------------------------------------------------------------------------------
// Upload

void FrameCapture::StartOrCancelUpload(bool lineAnalysis) {
  const Operation operation = lineAnalysis ? Operation::kLineCapture : Operation::kFrameCapture;
  ReadPageControls();
  if (previewBusy_ || !window_.linkUp()) return Finish(Outcome(operation, Result::kRefused));
  page_.uploadProgress = 0;
  if (!uploadActive_) {
    rateProblem.clear();
    // A line whose rate cannot be changed (a raw network port) would leave the box at
    // 512000 baud and the line at its own rate: nothing is sent.
    if (const std::string why = window_.rateRefusal ? window_.rateRefusal() : std::string();
        !why.empty()) {
      rateProblem = why;
      return Finish(Outcome(operation, Result::kRefused,
                            "A capture runs at 512000 baud, but " + why + ". Nothing was sent."));
    }
    static constexpr uint8_t kRate[3] = {kUploadRate & 0xFF, (kUploadRate >> 8) & 0xFF,
                                         (kUploadRate >> 16) & 0xFF};
    sender_.SendCommandWithData(kBaudSwitchCommand, 3, kRate);
    SetUploadActive(true);
    rateRestorePending = true;
    lineErrorShown_ = overflowErrorShown_ = false;
    pendingUpload_ = operation;
    host_.StartTimer(kUploadStartTimer, kUploadStartFirstTick);
    page_.uploadLabel = kUploadingLabel;
    host_.StartTimer(kUploadEndTimer, kUploadStartWait);
    if (lineAnalysis) {
      SetLineMode(true);
      page_.lineNumber = std::min(page_.lineNumber, 99);
    }
    page_.Push();
    return;
  }
  TellBoxToStop();
  page_.Push();
  if (lineAnalysis) SetLineMode(false);
  Finish(Outcome(operation, Result::kCancelled));
}

void FrameCapture::TellBoxToStop() {
  // A start still under way ends too: otherwise its second tick would request the frame
  // and set the upload going again.
  host_.StopTimer(kUploadStartTimer);
  uploadStep_ = 0;
  SetUploadActive(false);
  sender_.SendCommand(kStopUploadCommand);
  page_.uploadLabel = " ";
}

void FrameCapture::CancelUpload() {
  if (uploadActive_) StartOrCancelUpload(lineMode_);
  SetLineMode(false);
}

void FrameCapture::UploadStartStep() {
  if (uploadStep_ == 0) {
    Reopen(kUploadRate);
    host_.StartTimer(kUploadStartTimer, kUploadStartSecondTick);
    uploadStep_ = 1;
    return;
  }
  // The frame is requested only at a rate the line has: a device server answers the rate
  // change later (the next tick asks again, timer 6 bounds the wait), and one that set
  // another rate is told once and the capture ends without the request.
  const LineRateAnswer answer = window_.rateAnswer ? window_.rateAnswer() : LineRateAnswer{};
  if (answer.state == LineRateAnswer::State::Pending) {
    host_.StartTimer(kUploadStartTimer, kUploadStartSecondTick);
    return;
  }
  uploadStep_ = 0;
  if (answer.state == LineRateAnswer::State::Missed) {
    host_.StopTimer(kUploadStartTimer);
    rateProblem = answer.problem;
    const Operation operation = pendingUpload_.value_or(Operation::kFrameCapture);
    pendingUpload_.reset();
    SetLineMode(false);
    EndUpload();
    Finish(
        Outcome(operation, Result::kRefused, "The capture did not start: " + answer.problem + "."));
    return;
  }
  // The frame request is the one command without payload let through during an upload
  // (the flag is lowered for the send only: no change anyone need be told of).
  uploadActive_ = false;
  sender_.SendCommand(kFrameRequest);
  uploadActive_ = true;
  host_.StopTimer(kUploadStartTimer);
}

void FrameCapture::StartFrame() {
  FrameImage& f = frameImage;
  f.writePosition = 0;
  f.lineBytes = 0;
  f.linesCompleted = 0;
  f.chunkCounter = 0;
  f.width = std::max(page_.hActive, 0);
  f.height = std::max(page_.vActive, 0);
  const size_t frameBytes = static_cast<size_t>(f.width) * static_cast<size_t>(f.height) * 3;
  size_t capacity = frameBytes + kFrameSlack;
  if (page_.structure3d == 1) capacity *= 2;  // frame packing
  bool held = frameBytes <= kMaxFrameBytes;
  if (held) {
    try {
      f.bytes.assign(capacity, 0);
    } catch (const std::bad_alloc&) {
      held = false;
    }
  }
  if (!held) {
    // No room for this picture: every chunk then reads as more than the frame holds.
    f.width = f.height = 0;
    f.bytes.assign(kFrameSlack, 0);
  }
}

void FrameCapture::ShowDataError(const char* text, bool& shown) {
  if (shown) return;
  shown = true;
  Show(text);
}

void FrameCapture::OnFrameChunk(const uint8_t* payload, size_t size) {
  if (!uploadActive_) return;
  host_.StartTimer(kUploadEndTimer, kChunkWait);
  const auto chunk = PaddedChunk(payload, size);
  const uint8_t flags = chunk[2];
  FrameImage& f = frameImage;
  if (chunk[0] == 0 && chunk[1] == 0 && page_.uploadProgress == 0) StartFrame();

  const int lineSize = f.width * 3;
  int n = static_cast<int>(kFrameChunkData);
  const bool endsLine = flags & (kChunkLineEnd | kChunkFrameEnd);
  if (endsLine) {
    ++f.linesCompleted;
    if (f.lineBytes + static_cast<int>(kFrameChunkData) < lineSize) {
      // A line that came short still ends: the chosen one stops the upload as it would
      // whole (else the box sends the rest of the frame, minutes at the upload rate).
      StopAtChosenLine();
      ShowDataError(kLineDataError, lineErrorShown_);
      return;
    }
    n = lineSize - f.lineBytes;
    if (n < 0) {
      // The line already ran past the frame's width: nothing of this chunk fits it.
      f.lineBytes = 0;
      StopAtChosenLine();
      ShowDataError(kLineDataError, lineErrorShown_);
      return;
    }
  }
  if (f.writePosition + static_cast<size_t>(n) > f.bytes.size()) {
    // Only a chunk before any frame was started gets here: the buffer is the first small one.
    f.writePosition = 0;
    ShowDataError(kFrameDataError, overflowErrorShown_);
    return;
  }
  std::copy_n(chunk.begin() + kChunkHeader, n,
              f.bytes.begin() + static_cast<std::ptrdiff_t>(f.writePosition));
  f.writePosition += static_cast<size_t>(n);
  f.lineBytes += n;
  if (endsLine) f.lineBytes = 0;

  if (StopAtChosenLine()) return;

  const size_t frameBytes = static_cast<size_t>(f.width) * static_cast<size_t>(f.height) * 3;
  if (f.writePosition > frameBytes) {
    f.writePosition = 0;
    ShowDataError(kFrameDataError, overflowErrorShown_);
    return;
  }

  // Once data have arrived the progress is odd in its last hundredth, so that a later
  // chunk whose first two bytes are zero cannot start the frame again.
  long p = 0;
  if (frameBytes > 1)
    p = static_cast<long>(std::floor(static_cast<double>(f.writePosition) /
                                     static_cast<double>(frameBytes - 1) * 10000.0));
  if (p != 10000) p |= 1;
  page_.uploadProgress = static_cast<double>(p) * 0.01;

  if (f.chunkCounter % 64 == 0 || (flags & kChunkFrameEnd)) page_.Push();
  ++f.chunkCounter;

  if (!(flags & kChunkFrameEnd)) return;
  f.writePosition = 0;
  f.lineBytes = 0;
  host_.StopTimer(kUploadEndTimer);
  const BitmapSaveResult saved = WriteFrameBitmap();
  // A frame that could not be saved ends the upload as a saved one does: the port still
  // has to come back to 115200 baud. The upload ends before the message is up, so the
  // port does not wait for the user's OK.
  SetUploadActive(false);
  SetPreviewBusy(false);
  page_.uploadLabel = " ";
  page_.Push();
  host_.StartTimer(kUploadEndTimer, kAfterFrameWait);
  if (saved.ok) lastPicture = JoinPath(workingDirectory, saved.fileName);
  Outcome outcome(Operation::kFrameCapture,
                  !saved.ok          ? Result::kFileError
                  : DataErrorShown() ? Result::kDataError
                                     : Result::kDone,
                  saved.message);
  if (saved.ok) outcome.WithFile(saved.fileName);
  Finish(outcome);
}

bool FrameCapture::StopAtChosenLine() {
  if (!lineMode_ || frameImage.linesCompleted < page_.lineNumber) return false;
  // The chosen line is in: the box is told to stop, and timer 6 writes the chart.
  TellBoxToStop();
  page_.uploadProgress = 0;
  page_.Push();
  return true;
}

void FrameCapture::UploadEndStep() {
  if (previewBusy_) {
    // A preview runs at the link rate: it is only given up.
    SetPreviewBusy(false);
    host_.StopTimer(kUploadEndTimer);
    Finish(Outcome(Operation::kPreview, Result::kNoAnswer));
    return;
  }
  // An upload given up while the box may still be sending (the first chunk never came, or
  // the chunks stopped short of the chosen line or the frame's end): the box is told to
  // stop, at the rate it now listens at, or it would send the rest of the frame into a
  // port back at the link rate. The port comes back on the timer's next tick, once the
  // stop is out.
  const bool abandoned = uploadActive_;
  if (abandoned) {
    TellBoxToStop();
    page_.Push();
  }
  if (lineMode_) {
    SetLineMode(false);
    const bool received = LineReceived();
    if (received)
      lastChart = ChartOfLine(frameImage.bytes.data(), frameImage.width, page_.lineNumber);
    const BitmapSaveResult chart = WriteLineChart();
    if (chart.ok) lastChart.file = JoinPath(workingDirectory, chart.fileName);
    if (!chart.ok) {
      // The timer keeps running: its next tick ends the upload.
      Finish(Outcome(Operation::kLineCapture, received ? Result::kFileError : Result::kDataError,
                     chart.message));
      return;
    }
    pendingUpload_.reset();
    EndUpload();
    Finish(Outcome(Operation::kLineCapture, DataErrorShown() ? Result::kDataError : Result::kDone,
                   chart.message)
               .WithFile(chart.fileName));
    return;
  }
  if (abandoned) {
    ReportUnfinishedUpload();
    host_.StartTimer(kUploadEndTimer, kAfterFrameWait);
    return;
  }
  EndUpload();
}

bool FrameCapture::LineReceived() const {
  const FrameImage& f = frameImage;
  const int line = page_.lineNumber;
  const size_t width = static_cast<size_t>(std::max(f.width, 0));
  return width != 0 && line >= 1 && line <= f.linesCompleted &&
         static_cast<size_t>(line) * width * 3 <= f.bytes.size();
}

void FrameCapture::ReportUnfinishedUpload() {
  // An upload that ends with nothing stored got no whole picture from the box in time, or
  // one whose chunks did not fit.
  if (pendingUpload_)
    Finish(Outcome(*pendingUpload_, DataErrorShown() ? Result::kDataError : Result::kNoAnswer));
}

void FrameCapture::EndUpload() {
  ReportUnfinishedUpload();
  SetUploadActive(false);
  SetPreviewBusy(false);
  Reopen(kLinkRate);
  rateRestorePending = false;
  page_.uploadLabel = " ";
  page_.Push();
  host_.StopTimer(kUploadEndTimer);
}

// ---------------------------------------------------------------------------------------
// Bitmaps

BitmapSaveResult FrameCapture::WriteFrameBitmap() const {
  const FrameImage& f = frameImage;
  const size_t width = static_cast<size_t>(f.width);
  if (width * static_cast<size_t>(f.height) * 3 > f.bytes.size())
    return {false, "No image data to save", {}};
  // The first row in the file is the frame's last line.
  return SaveNumberedBitmap(workingDirectory, kFrameBitmapPattern, f.width, f.height,
                            [&](int fileRow, uint8_t* row) {
                              const size_t line = static_cast<size_t>(f.height - 1 - fileRow);
                              const uint8_t* from = f.bytes.data() + line * width * 3;
                              for (size_t x = 0; x < width; ++x) {
                                row[3 * x] = from[3 * x + 2];
                                row[3 * x + 1] = from[3 * x + 1];
                                row[3 * x + 2] = from[3 * x];
                              }
                            });
}

BitmapSaveResult FrameCapture::WriteLineChart() const {
  const FrameImage& f = frameImage;
  const int line = page_.lineNumber;
  // Only a line that arrived is charted: never bytes beyond what was received.
  if (!LineReceived())
    return {false, "Line " + std::to_string(line) + " was not received: no chart saved", {}};
  const LineChart chart = ChartOfLine(f.bytes.data(), f.width, line);
  const std::vector<uint8_t> canvas = LineChartCanvas(chart);
  const size_t rowBytes = static_cast<size_t>(chart.width()) * 3;
  return SaveNumberedBitmap(
      workingDirectory, kLineChartPattern, chart.width(), kChartLevels,
      [&](int fileRow, uint8_t* row) {
        std::copy_n(
            canvas.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(fileRow) * rowBytes),
            rowBytes, row);
      });
}

// ---------------------------------------------------------------------------------------
// Save As

namespace {

constexpr char kBitmapSaveAsFilter[] = "bitmap file(*.bmp)|*.bmp;*.BMP||";

}  // namespace

void FrameCapture::SavePictureAs(const std::string& picture) {
  const std::optional<std::string> chosen = ChooseSavePath(
      host_, dialogFolder, kBitmapSaveAsFilter, workingDirectory, std::string(FileName(picture)));
  if (!chosen) return Finish(Outcome(Operation::kPictureSaveAs, Result::kCancelled));
  const std::optional<std::string> path = SavePathWithExtension(*chosen, {"bmp"}, false);
  if (!path)
    return Finish(Outcome(Operation::kPictureSaveAs, Result::kBadInput,
                          "A picture is saved as a .bmp file: " + *chosen));
  // The picture as it was saved: the file is copied, whole before it takes its name.
  const SafeWriteResult copied = CopyFileSafely(picture, *path);
  if (!copied.ok()) {
    const std::string message =
        copied.readFailed ? "Failed to read " + picture + " (" + std::strerror(copied.error) + ")"
                          : WriteFailedMessage(*path, copied.error);
    return Finish(Outcome(Operation::kPictureSaveAs, Result::kFileError, message).WithFile(*path));
  }
  Finish(Outcome(Operation::kPictureSaveAs).WithFile(*path));
}

void FrameCapture::SaveChartAs(const LineChart& chart) {
  if (chart.width() == 0)
    return Finish(Outcome(Operation::kChartSaveAs, Result::kRefused, "No chart to save"));
  const std::string suggested =
      chart.file.empty() ? "RGBline.bmp" : std::string(FileName(chart.file));
  const std::optional<std::string> chosen =
      ChooseSavePath(host_, dialogFolder, kBitmapSaveAsFilter, workingDirectory, suggested);
  if (!chosen) return Finish(Outcome(Operation::kChartSaveAs, Result::kCancelled));
  const std::optional<std::string> path = SavePathWithExtension(*chosen, {"bmp"}, false);
  if (!path)
    return Finish(Outcome(Operation::kChartSaveAs, Result::kBadInput,
                          "A chart is saved as a .bmp file: " + *chosen));
  // Drawn again from the chart's levels, as the numbered file was.
  const std::vector<uint8_t> canvas = LineChartCanvas(chart);
  const size_t rowBytes = static_cast<size_t>(chart.width()) * 3;
  const BitmapSaveResult saved =
      SaveBitmapTo(*path, chart.width(), kChartLevels, [&](int fileRow, uint8_t* row) {
        std::copy_n(
            canvas.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(fileRow) * rowBytes),
            rowBytes, row);
      });
  Outcome outcome(Operation::kChartSaveAs, saved.ok ? Result::kDone : Result::kFileError,
                  saved.message);
  Finish(outcome.WithFile(*path));
}

}  // namespace sc
