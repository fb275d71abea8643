#pragma once
// The video formats of the CTA-861 standard by their Video Identification Code (VIC 1..127
// and 193..219) and the four HDMI VICs of the HDMI 1.4 vendor-specific data: each format's
// active picture, blanking, sync, clock and picture aspect ratio. The EDID decoder and
// editor, the InfoFrame checker and the simulated box look formats up here.

#include <cstdint>
#include <span>
#include <string>

namespace sc {

enum class PictureAspect : uint8_t { k4x3, k16x9, k64x27, k256x135 };

struct CtaFormat {
  uint8_t vic;
  uint16_t hActive;
  // The frame's height: 1080 for 1920x1080i.
  uint16_t vActive;
  bool interlaced;
  uint32_t pixelClockKhz;
  uint16_t hFront, hSync, hBack;
  // Per field for an interlaced format. The even field has one line more of back porch,
  // except in VIC 39 (1080i50 with 1250 lines), whose two fields have 625 lines each.
  uint16_t vFront, vSync, vBack;
  bool hSyncPositive, vSyncPositive;
  PictureAspect aspect;

  uint32_t hTotal() const { return uint32_t{hActive} + hFront + hSync + hBack; }
  // Lines of a frame (both fields of an interlaced format).
  uint32_t vTotal() const {
    const uint32_t field = uint32_t{vActive} / (interlaced ? 2 : 1) + vFront + vSync + vBack;
    if (!interlaced) return field;
    return vic == 39 ? 2 * field : 2 * field + 1;
  }
  // Lines a second in kHz, and fields (interlaced) or frames a second in Hz.
  double hRateKhz() const { return static_cast<double>(pixelClockKhz) / hTotal(); }
  double fieldRateHz() const {
    return 1000.0 * pixelClockKhz * (interlaced ? 2 : 1) /
           (static_cast<double>(hTotal()) * vTotal());
  }
};

// Every VIC the standard defines, in VIC order.
std::span<const CtaFormat> CtaFormats();
// The format of a VIC, or null for a VIC the standard does not define (0, 128..192, 220..255).
const CtaFormat* FindCtaFormat(int vic);
// The CTA format of an HDMI VIC (1..4), or null.
const CtaFormat* FindHdmiVicFormat(int hdmiVic);
// The VIC an HDMI VIC stands for (1..4 give 95, 94, 93, 98), or 0.
int CtaVicOfHdmiVic(int hdmiVic);

// "16:9", "64:27".
const char* PictureAspectText(PictureAspect aspect);
// "60", "59.94", "23.98": the field or frame rate rounded to two decimals, no trailing zeros.
std::string RateText(double hz);
// "1920x1080p 60 Hz 16:9", "1920x1080i 50 Hz 16:9".
std::string FormatName(const CtaFormat& format);

}  // namespace sc
