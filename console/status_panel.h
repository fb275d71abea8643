#pragma once
// The "Received Signal info" panel of the main window: ten texts that say what the box
// receives. Nine come from the status reply 0x8090 (one byte each), the timing text from
// the timing the Timing page decoded. While the box's input is SDI every byte decoder
// shows the text that applies to an SDI signal, whatever the byte.

#include <array>
#include <cstdint>
#include <string>

#include "window/view.h"

namespace sc {

inline constexpr size_t kSignalStatusSize = 10;

// The box's account of what it receives, reply 0x8090: ten bytes, one a field.
struct SignalStatus {
  uint8_t colorSpace = 0;  // 0 RGB, 1 YCbCr 4:2:2, 2 YCbCr 4:4:4, 3 YCbCr 4:2:0
  uint8_t colorDepth = 0;
  uint8_t hdcp = 0;  // 0 off, 1 HDCP 1.4, 2 HDCP 2.2
  uint8_t signalType = 0;
  uint8_t sampleRate = 0;
  uint8_t audioBits = 0;
  uint8_t channels = 0;  // channel count less one
  uint8_t audioType = 0;
  uint8_t structure3d = 0;
  uint8_t pixelRepetition = 0;

  static SignalStatus FromBytes(const uint8_t* bytes);  // kSignalStatusSize bytes
  std::array<uint8_t, kSignalStatusSize> Bytes() const;
};

// "1920x1080(60)", "1920x1080i(50)": width and height (as unsigned 16-bit, at most four
// digits each), "i" when interlaced, and the field rate rounded to whole hertz (at most
// three digits).
std::string FormatTimingText(int width, int height, bool interlaced, double vFreq);

struct StatusPanel {
  std::string hdcp;        // 1008 "HDCP:"
  std::string signal;      // 1009 "Signal:"
  std::string timing;      // 1010 "Timing:"
  std::string colorSpace;  // 1011 "Color Space:"
  std::string colorDepth;  // 1012 "Color Depth:"
  std::string structure;   // 1225 "2D/3D:"
  std::string sampleRate;  // 1013 "Sample rate:"
  std::string audioBit;    // 1014 "Audio bit:"
  std::string audioType;   // 1015 "Audio Type:"
  std::string channels;    // 1121 "Channels:"

  // Decodes status bytes 0..8 (`status` holds the ten bytes of reply 0x8090) into the
  // nine byte texts. Colour space, colour depth and 2D/3D keep their text for a value
  // their table does not list; the others show "invalid", " " or "OFF".
  void Decode(const uint8_t* status, bool inputIsSdi);
  // Empties all ten texts.
  void Clear();
  // The ten texts by control id.
  void Exchange(ControlExchange& exchange);
};

}  // namespace sc
