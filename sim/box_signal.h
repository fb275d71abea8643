#pragma once
// What reaches the simulated box's two inputs: the named signal formats a source can send,
// with the timing, status and audio the box measures for each, and the sources on the
// HDMI and SDI connectors.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sc {

inline constexpr uint8_t kHdmiInput = 0;
inline constexpr uint8_t kSdiInput = 1;

// The raw timing the box measures, as it goes out in reply 0x8091: 20 bytes, byte 0
// unused, then the 16-bit values little-endian. The box measures what is on the wire:
// an interlaced HDMI signal per field, a 4:2:0 signal at half its width and clock, a
// pixel-repeated one at its repeated width, a frame-packed 3D one as its whole frame.
struct BoxTiming {
  uint16_t pixelClock = 0;  // units of 10 kHz
  uint8_t flags = 0;        // bit 0 interlaced, bit 1 H sync positive, bit 2 V sync positive
  uint16_t hActive = 0;
  uint16_t hBlank = 0;
  uint16_t hSyncOffset = 0;
  uint16_t hSyncWidth = 0;
  uint16_t vActive = 0;
  uint16_t vBlank = 0;
  uint16_t vSyncOffset = 0;
  uint16_t vSyncWidth = 0;

  std::array<uint8_t, 20> Bytes() const;
};

// The box's account of the received signal, reply 0x8090 (10 bytes, one per field).
struct BoxSignalStatus {
  uint8_t colourSpace = 0;  // 0 RGB 4:4:4, 1 YUV 4:2:2, 2 YUV 4:4:4, 3 YUV 4:2:0
  uint8_t colourDepth = 0;  // 0 24 bit, 1 30, 2 36, 3 48
  uint8_t hdcp = 0;         // 0 off, 1 HDCP 1.4, 2 HDCP 2.2
  uint8_t signalType = 0;   // 0 DVI, 1 HDMI, 2 SDI
  uint8_t sampleRate = 0;   // 0 no audio, 1 32 kHz, 2 44.1, 3 48, 4 88.2, 5 96, 6 176.4, 7 192
  uint8_t sampleSize = 0;   // 1 16 bit, 2 20, 3 24
  uint8_t channels = 0;     // channel count minus one
  uint8_t audioType = 0;    // CEA-861 audio coding type, 1 PCM
  uint8_t structure3d = 0;  // 0 2D, 1 frame packing, 2 top-bottom, 3 side-by-side
  uint8_t pixelRepetition = 0;

  std::array<uint8_t, 10> Bytes() const;
};

// The picture a source sends, as a capture holds it: pixel repetition undone, both fields
// of an interlaced frame, the whole width of a 4:2:0 signal, one picture of a 3D pair.
struct BoxPictureSize {
  uint16_t width = 0;
  uint16_t height = 0;
};

// A signal format: what the box measures and reports about it.
struct BoxSignal {
  std::string name;
  std::string description;
  uint8_t input = kHdmiInput;  // the connector it arrives on
  BoxTiming timing;
  BoxSignalStatus status;
  BoxPictureSize picture;
  // The source sends HDR10: a Dynamic Range and Mastering InfoFrame and BT.2020
  // colorimetry. Metadata only: the box measures the same signal and sends no notice.
  bool hdr10 = false;

  // No signal is reported as an active width of 0.
  bool Present() const { return timing.hActive != 0; }
  // The same format with the same status (what a notice would be about).
  bool SameAs(const BoxSignal& other) const;
};

// The formats the simulator knows, "none" first; "1080p60" is a new box's HDMI signal.
const std::vector<BoxSignal>& BoxSignalPresets();
std::optional<BoxSignal> FindBoxSignal(std::string_view name);
inline constexpr std::string_view kDefaultSignal = "1080p60";
inline constexpr std::string_view kDefaultSdiSignal = "sdi-1080i50";

// The sources on the box's two connectors, and whether their cables are in.
class BoxSources {
 public:
  BoxSources();

  const BoxSignal& Source(uint8_t input) const { return sources_[Index(input)].signal; }
  bool Connected(uint8_t input) const { return sources_[Index(input)].connected; }
  void SetSource(uint8_t input, const BoxSignal& signal) { sources_[Index(input)].signal = signal; }
  void SetConnected(uint8_t input, bool connected) { sources_[Index(input)].connected = connected; }

  // What the box receives on `input`: its source while the cable is in and, on HDMI,
  // while the box offers hot-plug (a source that sees no hot-plug stops sending).
  BoxSignal Received(uint8_t input, bool hotPlugOn) const;

 private:
  static size_t Index(uint8_t input) { return input == kSdiInput ? 1 : 0; }
  struct Connector {
    BoxSignal signal;
    bool connected = true;
  };
  std::array<Connector, 2> sources_;
};

}  // namespace sc
