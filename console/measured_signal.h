#pragma once
// What the console has measured of the received signal, as the InfoFrame checks take it:
// the Timing page's decoded timing and the status panel's colour space and audio.

#include "console/status_panel.h"
#include "infoframe/infoframe_decoder.h"
#include "timing/timing_page.h"

namespace sc {

MeasuredSignal MeasuredSignalOf(const TimingPage& timing, const StatusPanel& panel);

}  // namespace sc
