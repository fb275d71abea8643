#pragma once
// The "Monitor" tab page (dialog 187): the box's signal monitor. Its controls and
// behaviour come with the monitor work; for now it is an empty page.

#include "window/view.h"

namespace sc {

class MonitorPage : public CoreWindow {
 protected:
  void Exchange(ControlExchange&) override {}
};

}  // namespace sc
