#include "console/status_panel.h"

#include <cmath>
#include <initializer_list>

#include "console/control_ids.h"

namespace sc {

namespace {

struct Row {
  int value;
  const char* text;
};

// One status byte's table: its listed values, the text for any other value (nullptr:
// the text stays as it was) and the text shown while the input is SDI.
struct Decoder {
  std::initializer_list<Row> rows;
  const char* other;
  const char* sdi;
};

const Decoder kHdcp{{{1, "HDCP1.4"}, {2, "HDCP2.2"}}, "OFF", "  "};
const Decoder kSignal{{{0, "DVI"}, {1, "HDMI"}}, " ", "SDI"};
const Decoder kColorSpace{
    {{0, "RGB4:4:4"}, {1, "YUV4:2:2"}, {2, "YUV4:4:4"}, {3, "YUV4:2:0"}}, nullptr, "YUV4:2:2"};
const Decoder kColorDepth{
    {{0, "24bit"}, {1, "30bit"}, {2, "36bit"}, {3, "48bit"}}, nullptr, "30bit"};
const Decoder kSampleRate{
    {{1, "32K"}, {2, "44K"}, {3, "48K"}, {4, "88K"}, {5, "96K"}, {6, "176K"}, {7, "192K"}},
    "invalid",
    "48K"};
const Decoder kAudioBit{{{1, "16bit"}, {2, "20bit"}, {3, "24bit"}}, "invalid", "24bit"};
// CEA-861 audio coding types.
const Decoder kAudioType{{{1, "PCM"},
                          {2, "AC3"},
                          {3, "MPEG1"},
                          {4, "MP3"},
                          {5, "MPEG2"},
                          {6, "AAC"},
                          {7, "DTS"},
                          {8, "ATRAC"},
                          {9, "ONEBITAUDIO"},
                          {10, "DOLBYDIGTIAL"},
                          {11, "DTSHD"},
                          {12, "MAT"},
                          {13, "DST"},
                          {14, "WMAPRO"}},
                         "invalid",
                         "PCM"};
// The byte is the CEA-861 channel count minus one.
const Decoder kChannels{
    {{1, "2ch"}, {2, "3ch"}, {3, "4ch"}, {4, "5ch"}, {5, "6ch"}, {6, "7ch"}, {7, "8ch"}},
    "invalid",
    "8ch"};
const Decoder kStructure{
    {{0, "2D"}, {1, "3D FramePacking"}, {2, "3D Top-Bottom"}, {3, "3D Side-by-Side"}},
    nullptr,
    " "};

// The box's status bytes are signed.
void Apply(const Decoder& decoder, uint8_t byte, bool inputIsSdi, std::string& text) {
  if (inputIsSdi) {
    text = decoder.sdi;
    return;
  }
  const int value = static_cast<int8_t>(byte);
  for (const Row& row : decoder.rows) {
    if (row.value == value) {
      text = row.text;
      return;
    }
  }
  if (decoder.other) text = decoder.other;
}

// The first `digits` characters of n in decimal.
std::string Leading(unsigned n, size_t digits) {
  std::string text = std::to_string(n);
  if (text.size() > digits) text.resize(digits);
  return text;
}

}  // namespace

std::string FormatTimingText(int width, int height, bool interlaced, double vFreq) {
  const double rounded = std::isfinite(vFreq) && vFreq > 0 ? std::floor(vFreq + 0.5) : 0.0;
  const auto rate = static_cast<uint16_t>(rounded < 65536 ? rounded : 0);
  return Leading(static_cast<uint16_t>(width), 4) + "x" +
         Leading(static_cast<uint16_t>(height), 4) + (interlaced ? "i" : "") + "(" +
         Leading(rate, 3) + ")";
}

SignalStatus SignalStatus::FromBytes(const uint8_t* b) {
  return {b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9]};
}

std::array<uint8_t, kSignalStatusSize> SignalStatus::Bytes() const {
  return {colorSpace, colorDepth, hdcp,      signalType,  sampleRate,
          audioBits,  channels,   audioType, structure3d, pixelRepetition};
}

void StatusPanel::Decode(const uint8_t* status, bool inputIsSdi) {
  Apply(kColorSpace, status[0], inputIsSdi, colorSpace);
  Apply(kColorDepth, status[1], inputIsSdi, colorDepth);
  Apply(kHdcp, status[2], inputIsSdi, hdcp);
  Apply(kSignal, status[3], inputIsSdi, signal);
  Apply(kSampleRate, status[4], inputIsSdi, sampleRate);
  Apply(kAudioBit, status[5], inputIsSdi, audioBit);
  Apply(kChannels, status[6], inputIsSdi, channels);
  Apply(kAudioType, status[7], inputIsSdi, audioType);
  Apply(kStructure, status[8], inputIsSdi, structure);
}

void StatusPanel::Clear() {
  for (std::string* text : {&hdcp, &signal, &timing, &colorSpace, &colorDepth, &structure,
                            &sampleRate, &audioBit, &audioType, &channels})
    text->clear();
}

void StatusPanel::Exchange(ControlExchange& exchange) {
  exchange.Text(ids::kHdcpText, hdcp);
  exchange.Text(ids::kSignalText, signal);
  exchange.Text(ids::kColorSpaceText, colorSpace);
  exchange.Text(ids::kColorDepthText, colorDepth);
  exchange.Text(ids::kAudioBitText, audioBit);
  exchange.Text(ids::kAudioTypeText, audioType);
  exchange.Text(ids::kSampleRateText, sampleRate);
  exchange.Text(ids::kTimingText, timing);
  exchange.Text(ids::kChannelsText, channels);
  exchange.Text(ids::kStructureText, structure);
}

}  // namespace sc
