#pragma once
// Names and tables of the EDID and CTA-861 standards that the full decoder, its text, its
// checks and the comparison share: established timings, audio formats and speakers as
// the field's reference decoder (edid-decode) names them, data block and extension names,
// flag names.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "edid/edid_model.h"

namespace sc {

// printf into a string, for the decoder's texts (cut at 511 characters, far above any line
// they make).
std::string FormatEdidText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Established timings I and II (bytes 35-37, bit 7 of byte 35 first) and III (descriptor
// 0xF7, bit 7 of its byte 6 first).
std::span<const EdidNamedTiming> EstablishedTimings();
std::span<const EdidNamedTiming> EstablishedTimingsIII();

// "1920x1080i 60 Hz", "1280x768 60 Hz RB".
std::string NamedTimingText(const EdidNamedTiming& timing);

// Audio format codes 0-15 ("Linear PCM", "AC-3", ..., "WMA Pro"); 15 and the extended
// type codes of byte 3 ("MPEG-4 HE AAC", ...). Short names ("LPCM", "AC-3", "E-AC-3") for
// lines that name a format among others.
std::string AudioFormatName(const CtaSad& sad);
std::string AudioFormatShortName(const CtaSad& sad);
// "32 44.1 48" for the rates byte, ascending.
std::string SampleRatesText(uint8_t rates);
// Rates in kHz, ascending (32, 44.1, ...); sizes in bits (16, 20, 24).
std::span<const double> SampleRatesKhz();
std::span<const int> SampleSizesBits();

// Speaker allocation bits 0-20: the short name ("FL/FR") and its meaning.
struct SpeakerName {
  const char* shortName;
  const char* meaning;
};
std::span<const SpeakerName> SpeakerNames();

// "Video Data Block", "Vendor-Specific Data Block", ... by tag and extended tag.
std::string CtaBlockName(uint8_t tag, int extendedTag);
// "HDMI", "HDMI Forum", "HDR10+", "Dolby", "AMD", or "" for another OUI.
std::string OuiName(uint32_t oui);
// "00-0C-03"
std::string OuiText(uint32_t oui);
// "CTA-861 extension", "DisplayID extension", ... by the extension's tag (byte 0).
std::string ExtensionName(uint8_t tag);

// Named bits, bit 7 first where a table lists eight.
struct FlagName {
  uint8_t mask;
  const char* name;
};
// HDMI VSDB block offset 6.
std::span<const FlagName> HdmiVsdbFlagNames();
// Colorimetry Data Block byte 2 (bit 0 first) and byte 3 (gamut metadata profiles MD0-3,
// then sRGB, ICtCp and ST2113RGB, as edid-decode names them).
std::span<const FlagName> ColorimetryNames();
std::span<const FlagName> ColorimetryMetadataNames();
// HDR static metadata EOTFs: "SDR", "HDR", "PQ", "HLG" by bit 0-3, and the long names.
std::span<const FlagName> HdrEotfShortNames();
std::span<const FlagName> HdrEotfNames();
// The HDMI Forum block's flags by field (0: block offset 6, SCDC and its friends; 1: 4:2:0
// deep colour; 2: VRR and ALLM; 5: DSC); empty for the other fields.
std::span<const FlagName> HdmiForumFlagNames(size_t field);
// The CTA extension's byte 3 flags.
std::span<const FlagName> CtaFlagNames();

// Digital interface types of EDID 1.4 (byte 20 bits 3-0): "DVI", "HDMI-a", ... or "".
const char* DigitalInterfaceName(uint8_t code);

// HDR static metadata luminance code values in cd/m^2.
double HdrMaxLuminance(uint8_t code);
double HdrMinLuminance(uint8_t maxCode, uint8_t minCode);

// Two upper-case hex digits per byte, separated by spaces ("00 FF 1E").
std::string EdidHexList(std::span<const uint8_t> bytes);

}  // namespace sc
