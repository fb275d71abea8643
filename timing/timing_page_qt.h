#pragma once
// The "Timing" page: the sixteen timing fields under their captions and units, read-only;
// the sync polarity and scan type as radio pairs that only show; "Update Status"; and the
// place of the preview picture with the upload label beside it.

#include "window/page_widget_qt.h"

namespace sc {

class TimingPage;

class TimingPageWidget : public PageWidget {
  Q_OBJECT

 public:
  explicit TimingPageWidget(TimingPage& page, QWidget* parent = nullptr);
};

}  // namespace sc
