#pragma once
// What one round learns about one box: the input it has selected (reply 0x8082), the
// status of the signal it receives (0x8090) and the signal's timing (0x8091), as the box
// sent them, and the same decoded the way the console's status panel and Timing page
// decode them.

#include <array>
#include <cstdint>
#include <string>

#include "console/status_panel.h"
#include "link/codes.h"
#include "timing/timing_decoder.h"

namespace sc {

// The three requests a watcher sends each box, in the order the console's status chain
// asks them; the box answers each with its own code.
inline constexpr uint16_t kInputRequest = code::kInput;
inline constexpr uint16_t kTimingRequest = code::kTiming;
inline constexpr uint16_t kStatusRequest = code::kStatus;

struct BoxReading {
  uint8_t input = 0;  // payload byte 0 of 0x8082: 1 is SDI, any other value HDMI
  std::array<uint8_t, kSignalStatusSize> status{};
  std::array<uint8_t, kTimingRecordSize> timing{};
};

struct BoxState {
  bool sdi = false;
  // The decoded active width is not zero: the console shows a signal.
  bool signalPresent = false;
  // The ten texts of the "Received Signal info" panel (all empty without a signal).
  StatusPanel panel;
  // The sixteen fields of the Timing page.
  TimingFields timing;
  // HDCP as a number: 0 (off, or the SDI input), 1.4 or 2.2.
  double hdcpVersion = 0;

  const char* InputName() const { return sdi ? "SDI" : "HDMI"; }
  // The panel's timing text, "1920x1080(60)"; "" without a signal.
  const std::string& Format() const { return panel.timing; }
  const std::string& Hdcp() const { return panel.hdcp; }
};

// Decodes a reading as the console would after its status chain: the timing with the
// status's colour space, pixel repetition and 3D structure and with the input; then the
// panel's texts, or an empty panel when there is no signal. `previous` is the panel as it
// stood: colour space, colour depth and 2D/3D keep their text for a value their table
// does not list, as the console's panel does.
BoxState DecodeBoxReading(const BoxReading& reading, const StatusPanel& previous = {});

}  // namespace sc
