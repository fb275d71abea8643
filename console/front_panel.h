#pragma once
// The front panel of the box as the main window sets it: hot-plug, volume and input.
// The volume travels as a step 0..8 and shows as a percentage. The ConsoleDialog
// handlers of these controls are in front_panel.cpp.

#include <cstdint>

namespace sc {

struct VolumeSetting {
  uint8_t step = 0;  // 0..8, sent with 0x0080
  int percent = 0;   // shown in the volume box
};

inline constexpr int kVolumeSteps = 9;
inline constexpr int kVolumePercent[kVolumeSteps] = {0, 12, 25, 38, 50, 62, 75, 88, 100};

// The percentage a reported step shows: 0..7 from the table, anything else 100.
int VolumePercentOfStep(int8_t step);
// One step down or up from the percentage shown. At the ends the step stays (and is sent
// again); a percentage not in the table goes to 0 ("-") or 100 ("+").
VolumeSetting VolumeStepDown(int percent);
VolumeSetting VolumeStepUp(int percent);

}  // namespace sc
