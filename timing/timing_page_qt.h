#pragma once
// The "Timing" page: "No signal" and whether the values are live; the sixteen timing fields
// under their captions and units, read-only; the sync polarity and scan type as radio pairs
// that only show; "Update Status"; the
// preview picture with "Update Image" and the upload label; and the check box "Frame
// capture", which shows the upload controls the layout keeps hidden.

#include "window/page_widget_qt.h"

namespace sc {

class FrameCapture;

// A preview pixel is drawn as a square of at least this many screen pixels: the 96 x 64
// picture is too small to see at one screen pixel a pixel.
inline constexpr int kMinimumPreviewScale = 3;
// Where the preview picture is drawn in the preview's `area`: at its top left inside a
// one-pixel line, at the largest whole scale that fits.
QRect PreviewPictureRect(const QRect& area);
class TimingPage;

class TimingPageWidget : public PageWidget {
  Q_OBJECT

 public:
  TimingPageWidget(TimingPage& page, FrameCapture& capture, QWidget* parent = nullptr);
};

}  // namespace sc
