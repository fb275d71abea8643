#pragma once
// The full decode in words: every block, every field, every data block with where it lies,
// and the checks at the end. The EDID page's "Full decode" view and `signal-edid --full`
// show this text. Lines end in LF; bytes a descriptor text holds that are not printable
// ASCII are written as \xNN.

#include <string>
#include <string_view>
#include <vector>

#include "edid/edid_checks.h"
#include "edid/edid_model.h"

namespace sc {

std::string FormatEdidFullText(const EdidModel& model, const std::vector<EdidCheck>& checks);

// Words for single items, shared with the comparison.
std::string DetailedTimingSummary(
    const EdidDetailedTiming& timing);  // "1920x1080i 50 Hz, 74.25 MHz"
std::string VicSummary(int vic);        // "3840x2160p 60 Hz 16:9"
std::string SadSummary(
    const CtaSad& sad);  // "Linear PCM: 2 channels; 32 44.1 48 kHz; 16 20 24 bits"
// "digital, 8 bits per colour, HDMI-a"
std::string EdidInputText(const EdidBaseBlock& base);
// "standby", "RGB colour display", ... from byte 24.
std::vector<std::string> EdidFeatureNames(const EdidBaseBlock& base);
// "YCbCr quantization: selectable", "RGB quantization: ...", "PT scan: ...", "IT scan: ...",
// "CE scan: ..."
std::vector<std::string> VideoCapabilityLines(uint8_t flags);
// A chromaticity coordinate (1/1024) with four decimals: "0.6406".
std::string ChromaticityText(uint16_t value);
std::string PhysicalAddressText(const std::array<uint8_t, 4>& address);  // "1.0.0.0"
// A descriptor text with bytes outside printable ASCII as \xNN.
std::string PrintableText(std::string_view text);

}  // namespace sc
