#pragma once
// The EDID editor: an EDID loaded as bytes, changed one edit at a time, and written back
// with its data block collections rebuilt (block lengths, the DTD offset in byte 2 of the
// extension, zero padding) and every checksum recomputed. Each edit works on a copy: one
// the bytes cannot hold, or one that makes no sense for this EDID, is refused with a
// message and leaves the image as it was. Bytes the editor does not model (data blocks of
// other kinds, other extensions, the fields of a block it does not touch) are carried over
// unchanged; an extension no edit touched keeps its bytes as they were, its checksum aside.
//
// The editor reads the image through the full decoder (edid_model.h) after every edit, so
// it always works on what a reader of the bytes sees. New faults are the full decoder's
// checks of the edited image that the starting image did not have.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "edid/edid_checks.h"
#include "edid/edid_diff.h"
#include "edid/edid_model.h"

namespace sc {

// The edits, one struct each.
namespace edid_edit {
// Identity (base block).
struct MonitorName {
  std::string text;  // 1 to 13 printable ASCII characters
};
struct Manufacturer {
  std::string id;  // three letters A-Z
};
struct Product {
  uint16_t code = 0;
};
struct Serial {
  uint32_t number = 0;
};
// The first detailed timing of the base block, from a VIC's timing or from another of
// the EDID's detailed timings (an index into EdidModel::DetailedTimings(), which swaps the
// two descriptors).
struct PreferredVic {
  int vic = 0;
};
struct PreferredTiming {
  size_t index = 0;
};
// Video.
struct RemoveVic {
  int vic = 0;
};
struct AddVic {
  int vic = 0;
  bool native = false;
};
struct MarkNative {
  int vic = 0;
};
struct MaxClock {
  uint32_t khz = 0;  // VICs (and HDMI VICs) whose pixel clock is above this go
};
struct Ycbcr {
  std::optional<bool> ycbcr444, ycbcr422;
};
// Audio.
struct RemoveAudio {
  uint8_t format = 0;  // 1 LPCM ... 14 WMA Pro
};
// Replaces every descriptor of the format with this one (or adds it). byte3: for LPCM
// the sizes (bit 0 16, bit 1 20, bit 2 24 bits), for formats 2-8 the maximum bit rate
// divided by 8 kbit/s.
struct SetAudio {
  uint8_t format = 1;
  uint8_t channels = 2;
  uint8_t rates = 0;  // bit 0 32 kHz ... bit 6 192 kHz
  uint8_t byte3 = 0;
};
struct Speakers {
  uint32_t mask = 0;  // bits 0-20, as SpeakerNames() lists them
};
// HDMI.
struct PhysicalAddress {
  std::array<uint8_t, 4> address{};  // each 0-15
};
struct DeepColour {
  uint8_t flags = 0;  // HDMI block offset 6 bits 6-3: 48, 36, 30 bit, Y444
};
struct MaxTmds {
  unsigned mhz = 0;  // 5 to 340, a multiple of 5
};
struct HdmiForumMaxRate {
  unsigned mhz = 0;  // 0 (not above 340), or 345 to 600, a multiple of 5
};
struct RemoveHdmiForum {};
// HDR.
struct RemoveHdr {};
struct HdrEotfs {
  uint8_t eotfs = 0;  // bit 0 SDR, 1 HDR, 2 PQ, 3 HLG
};
}  // namespace edid_edit

using EdidEdit =
    std::variant<edid_edit::MonitorName, edid_edit::Manufacturer, edid_edit::Product,
                 edid_edit::Serial, edid_edit::PreferredVic, edid_edit::PreferredTiming,
                 edid_edit::RemoveVic, edid_edit::AddVic, edid_edit::MarkNative,
                 edid_edit::MaxClock, edid_edit::Ycbcr, edid_edit::RemoveAudio, edid_edit::SetAudio,
                 edid_edit::Speakers, edid_edit::PhysicalAddress, edid_edit::DeepColour,
                 edid_edit::MaxTmds, edid_edit::HdmiForumMaxRate, edid_edit::RemoveHdmiForum,
                 edid_edit::RemoveHdr, edid_edit::HdrEotfs>;

// "Monitor name \"TV\"", "Remove VIC 97": the edit in words.
std::string DescribeEdit(const EdidEdit& edit);

struct EdidEditResult {
  bool ok = true;
  std::string message;  // why it was refused
  explicit operator bool() const { return ok; }
};

class EdidEditor {
 public:
  EdidEditor() = default;

  // Starts on bytes: at least one whole block with the EDID header. Refused (the editor
  // keeps what it held) otherwise. Blocks past the count byte 126 declares, and bytes
  // after the last whole block, are carried over as they are.
  EdidEditResult Load(std::span<const uint8_t> bytes);
  bool loaded() const { return !original_.empty(); }

  // One edit, all or nothing.
  EdidEditResult Apply(const EdidEdit& edit);
  // Back to the image loaded.
  void Revert();

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  const std::vector<uint8_t>& original() const { return original_; }
  const EdidModel& model() const { return model_; }
  const EdidModel& originalModel() const { return originalModel_; }
  bool changed() const { return bytes_ != original_; }

  // The full decoder's checks of the edited image that the loaded image did not have
  // (each line counted: a second instance of a line is new).
  std::vector<EdidCheck> NewChecks() const;
  bool HasNewError() const;
  // The loaded image against the edited one.
  EdidComparison Changes() const;

 private:
  std::vector<uint8_t> original_, bytes_;
  EdidModel originalModel_, model_;
};

// Texts the editor's front ends (the window, signal-edid edit) read and show. Lists are
// comma-separated, spaces around an item allowed; each parser returns nothing for a text
// it cannot read whole.
std::optional<uint8_t> ParseSampleRates(std::string_view text);  // "32,44.1,48" (kHz)
std::optional<uint8_t> ParseSampleSizes(std::string_view text);  // "16,20,24" (bits)
std::optional<uint32_t> ParseSpeakers(std::string_view text);    // "FL/FR,LFE1,FC"
std::optional<std::array<uint8_t, 4>> ParsePhysicalAddress(std::string_view text);  // "1.0.0.0"
std::optional<uint8_t> ParseEotfs(std::string_view text);  // "SDR,PQ,HLG" (any case)
std::string SpeakersText(uint32_t mask);                   // "FL/FR,LFE1,FC"
std::string EotfsText(uint8_t eotfs);                      // "SDR,PQ,HLG"

// Tables the editor and its front ends share.
// "lpcm", "ac3", "mpeg1", "mp3", "mpeg2", "aac", "dts", "atrac", "dsd", "eac3", "dtshd",
// "mat", "dst", "wma": the format code 1..14, or 0 for a name not among them.
uint8_t AudioFormatByName(const std::string& name);
const char* AudioFormatKey(uint8_t format);

}  // namespace sc
