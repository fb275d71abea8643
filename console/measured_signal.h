#pragma once
// What the console has measured of the received signal, as the InfoFrame checks take it:
// the Timing page's decoded timing and the colour space and audio of the status the box
// last reported, as the status panel shows them.

#include <optional>

#include "console/status_panel.h"
#include "infoframe/infoframe_decoder.h"
#include "timing/timing_page.h"

namespace sc {

// `status` counts only while the panel shows it: with a timing (the panel is emptied with
// it) and from the HDMI input (the SDI input's texts are fixed, not measured).
MeasuredSignal MeasuredSignalOf(const TimingPage& timing, const std::optional<SignalStatus>& status,
                                bool inputIsSdi);

}  // namespace sc
