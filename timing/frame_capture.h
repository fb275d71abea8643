#pragma once
// Frame capture: the small preview of the received picture ("Update Image", chunks of
// reply 0x8095), the whole active frame at 512000 baud ("Upload Whole Image", chunks of
// reply 0x8094) saved as "IMAGEFULL_BMP%02d.BMP", and the line analysis ("Line Image data
// Analyse"), the same upload stopped after the chosen line and saved as a chart of that
// line's red, green and blue levels, "RGBline_BMP%02d.BMP". It keeps the preview and frame
// buffers and does the capture's part of the main window's timers 6 (end of a preview or
// upload) and 8 (two-tick upload start); the main window's reply handlers and timer steps
// hand over to it. It owns the capture's flags: others read them, and are told when they
// change.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/network_line.h"
#include "timing/bitmap_writer.h"
#include "timing/line_chart.h"
#include "timing/timing_page.h"
#include "window/command_sender.h"
#include "window/host.h"
#include "window/outcome.h"
#include "window/save_as.h"

namespace sc {

// Codes: each request is answered with chunks of its own code.
inline constexpr uint16_t kPreviewRequest = 0x8095;
inline constexpr uint16_t kFrameRequest = 0x8094;
inline constexpr uint16_t kBaudSwitchCommand = 0x7879;  // 3 bytes: the new rate, little-endian
inline constexpr uint16_t kStopUploadCommand = 0x0101;

// ImageChunkFlags, payload byte 2 of every chunk.
inline constexpr uint8_t kChunkLineEnd = 0x40;   // end of a line (0x8094), of the preview (0x8095)
inline constexpr uint8_t kChunkFrameEnd = 0x80;  // end of the frame; it also ends its line

inline constexpr int kPreviewWidth = 96;
inline constexpr int kPreviewHeight = 64;
inline constexpr size_t kPreviewPixelBytes = kPreviewWidth * kPreviewHeight * 2;  // 16-bit
inline constexpr size_t kPreviewBufferSize = 20000;
inline constexpr size_t kPreviewChunkData = 192;
inline constexpr size_t kFrameChunkData = 180;
// Room beyond the frame, so that a chunk landing at its very end still fits.
inline constexpr size_t kFrameSlack = 200;
// The largest frame kept, 7680 x 4320 (twice that for frame packing): a width or height
// beyond any picture the box can send must not make the console claim gigabytes.
inline constexpr size_t kMaxFrameBytes = size_t{7680} * 4320 * 3;

// The main window's timers that capture runs: 6 ends a preview or an upload, 8 starts an
// upload in two ticks.
inline constexpr int kUploadEndTimer = 6;
inline constexpr int kUploadStartTimer = 8;
// Timer 8: the port is re-opened at the upload rate after the first tick, the frame is
// requested after the second (ms).
inline constexpr int kUploadStartFirstTick = 10;
inline constexpr int kUploadStartSecondTick = 50;
// Timer 6 (ms): no preview, no first chunk, no further chunk, and after a stored frame.
inline constexpr int kPreviewWait = 2000;
inline constexpr int kUploadStartWait = 5500;
inline constexpr int kChunkWait = 800;
inline constexpr int kAfterFrameWait = 500;
inline constexpr int kUploadRate = 512000;
inline constexpr int kLinkRate = 115200;

// Texts.
inline constexpr char kCaptureCaption[] = "TQ-KVAD";
inline constexpr char kLineDataError[] = "Data Error !";
inline constexpr char kFrameDataError[] = "Data error !";
inline constexpr char kUploadingLabel[] = "Uploading...";
inline constexpr char kLineNumberRangeMessage[] = "Please enter an integer between 1 and 100.";

// The preview: 96 x 64 pixels, three bytes each (blue, green, red), rows top to bottom.
using PreviewImage = std::array<uint8_t, kPreviewWidth * kPreviewHeight * 3>;

struct PreviewPixel {
  uint8_t blue = 0, green = 0, red = 0;
  friend bool operator==(const PreviewPixel&, const PreviewPixel&) = default;
};
// One 16-bit preview pixel, high byte first, with the console's own masks (0xF1 for blue
// and 0xFE for red, all arithmetic on 8-bit values).
PreviewPixel ConvertPreviewPixel(uint8_t hi, uint8_t lo);
// The first 12288 bytes of the preview buffer into the picture.
void ConvertPreview(const uint8_t* bytes, PreviewImage& image);

// The received frame: red, green, blue a pixel, `width` pixels a line, lines in the order
// received, and the counters of the transfer.
struct FrameImage {
  std::vector<uint8_t> bytes;
  size_t writePosition = 0;
  int lineBytes = 0;  // received of the current line
  int linesCompleted = 0;
  int chunkCounter = 0;
  int width = 0;
  int height = 0;
};

class FrameCapture {
 public:
  // What the capture asks of the main window's link.
  struct Link {
    std::function<bool()> linkUp;
    // Re-opens the current port at another rate (failures are silent).
    std::function<void(int rate)> reopenAtBaud;
    // Told after uploadActive, previewBusy or lineMode changed.
    std::function<void()> stateChanged;
    // Why the line cannot change its rate at all ("" when it can): asked before anything
    // of a capture is sent. Nothing: it can.
    std::function<std::string()> rateRefusal;
    // The line's answer to the last re-open's rate (a device server answers later).
    // Nothing: the rate is reached at once.
    std::function<LineRateAnswer()> rateAnswer;
  };

  FrameCapture(Host& host, CommandSender& sender, TimingPage& page, Link link);

  // A preview is awaited; an upload (whole frame or line) runs; a line analysis runs (its
  // chart is written when the line is in).
  bool previewBusy() const { return previewBusy_; }
  bool uploadActive() const { return uploadActive_; }
  bool lineMode() const { return lineMode_; }
  // Which half of an upload start timer 8 runs next.
  int uploadStep() const { return uploadStep_; }

  // Window start-up: the first 10-byte frame buffer and the grey preview (every byte 0x40).
  void Startup();
  // Window destruction: the frame buffer is released.
  void Release();

  // "Update Image" (button 1114): asks the box for a preview.
  void UpdateImage();
  // "Upload Whole Image" (1118) and "Line Image data Analyse" (1226): each starts an
  // upload, or cancels the one running.
  void UploadWholeImage() { StartOrCancelUpload(false); }
  void AnalyseLine() { StartOrCancelUpload(true); }
  // Stops a running upload and drops a line analysis whose chart is not yet written;
  // timer 6 still brings the port back to 115200 baud.
  void CancelUpload();

  // Replies; payload bytes beyond `size` read as 0.
  void OnPreviewChunk(const uint8_t* payload, size_t size);
  void OnFrameChunk(const uint8_t* payload, size_t size);

  // Timer steps.
  void UploadEndStep();    // timer 6
  void UploadStartStep();  // timer 8

  // The received frame as "IMAGEFULL_BMP%02d.BMP", and the chart of line L as
  // "RGBline_BMP%02d.BMP", in workingDirectory. Nothing is shown here.
  BitmapSaveResult WriteFrameBitmap() const;
  BitmapSaveResult WriteLineChart() const;

  // "Save As..." of a picture the capture saved (the viewer's) and of a line's chart: a
  // .bmp of the person's choosing.
  void SavePictureAs(const std::string& picture);
  void SaveChartAs(const LineChart& chart);

  // Told how a preview, a frame capture and a line capture ended.
  OutcomeSink onOutcome;
  // Told the same once its message (if any) has been shown and closed: where a window
  // shows what was captured.
  OutcomeSink afterOutcome;
  // The picture the last frame capture saved (its path) and the last line's chart, saved
  // or not; empty before the first.
  std::string lastPicture;
  LineChart lastChart;

  PreviewImage previewImage{};
  FrameImage frameImage;
  // Where the bitmaps go: the current directory.
  std::string workingDirectory = ".";
  // The folder the console's file dialogs start in (the main window's), if any.
  FileDialogFolder* dialogFolder = nullptr;
  // An upload has begun and timer 6 has not yet brought the port back to 115200 baud.
  bool rateRestorePending = false;
  // Why the last capture did not start at 512000 baud ("" when it did, or was not asked
  // for): the line cannot change its rate, or did not reach it.
  std::string rateProblem;

 private:
  void StartOrCancelUpload(bool lineAnalysis);
  // The page reads its controls; a line number outside 1..100 is reported, and the
  // operation goes on.
  void ReadPageControls();
  void StartFrame();
  // The stop command for an upload under way (a cancel, the chosen line in, one given
  // up); the upload is no longer active. The page is pushed by the caller.
  void TellBoxToStop();
  // The outcome of an upload that stored nothing, when one is still owed.
  void ReportUnfinishedUpload();
  // Ends the upload and brings the port back to 115200 baud (timer 6, last step).
  void EndUpload();
  // Each data error is shown once an upload: a box that keeps sending bad chunks must not
  // bury the window under message boxes.
  void ShowDataError(const char* text, bool& shown);
  void Show(const std::string& text);
  void Finish(const Outcome& outcome);
  bool DataErrorShown() const { return lineErrorShown_ || overflowErrorShown_; }
  // The chosen line of a line analysis is in the frame buffer.
  bool LineReceived() const;
  // In a line analysis, once the chosen line has ended (whole or not): the upload stops.
  // Returns whether it did.
  bool StopAtChosenLine();
  void Reopen(int rate);
  void Set(bool& flag, bool value);
  void SetUploadActive(bool value) { Set(uploadActive_, value); }
  void SetPreviewBusy(bool value) { Set(previewBusy_, value); }
  void SetLineMode(bool value) { Set(lineMode_, value); }

  friend struct ConsoleTestAccess;

  Host& host_;
  CommandSender& sender_;
  TimingPage& page_;
  Link window_;
  bool uploadActive_ = false;
  bool previewBusy_ = false;
  bool lineMode_ = false;
  int uploadStep_ = 0;
  std::array<uint8_t, kPreviewBufferSize> previewBuffer_{};
  size_t previewPosition_ = 0;
  bool lineErrorShown_ = false;
  bool overflowErrorShown_ = false;
  // The upload that has begun and whose outcome is not yet told.
  std::optional<Operation> pendingUpload_;
};

}  // namespace sc
