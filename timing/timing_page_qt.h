#pragma once
// The "Timing" page: the sixteen timing fields under their captions and units, read-only;
// the sync polarity and scan type as radio pairs that only show; "Update Status"; the
// preview picture with "Update Image" and the upload label; and the check box "Frame
// capture", which shows the upload controls the layout keeps hidden.

#include "window/page_widget_qt.h"

namespace sc {

class FrameCapture;
class TimingPage;

class TimingPageWidget : public PageWidget {
  Q_OBJECT

 public:
  TimingPageWidget(TimingPage& page, FrameCapture& capture, QWidget* parent = nullptr);
};

}  // namespace sc
