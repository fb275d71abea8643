#include "watch/box_reading.h"

#include <cmath>
#include <cstdlib>

#include "window/view.h"

namespace sc {

namespace {

// A float as the console's controls show it (six significant digits), as a JSON number.
nlohmann::ordered_json ShownNumber(double value) {
  if (!std::isfinite(value)) return nullptr;
  return std::strtod(FormatFloat(value).c_str(), nullptr);
}

const char* Polarity(int index) {
  return index == kPolarityPlus ? "+" : "-";
}

}  // namespace

BoxState DecodeBoxReading(const BoxReading& reading, const StatusPanel& previous) {
  BoxState s;
  s.sdi = reading.input == 1;
  TimingCorrections corrections;
  corrections.colorSpace = reading.status[0];
  corrections.structure3d = reading.status[8];
  corrections.pixelRepetition = reading.status[9];
  corrections.inputIsSdi = s.sdi;
  s.timing = DecodeTiming(TimingRecord::FromBytes(reading.timing), corrections);
  s.signalPresent = s.timing.hActive != 0;
  s.panel = previous;
  if (!s.signalPresent) {
    s.panel.Clear();
    return s;
  }
  s.panel.Decode(reading.status.data(), s.sdi);
  s.panel.timing = FormatTimingText(s.timing.hActive, s.timing.vActive,
                                    s.timing.scanType == kInterlaced, s.timing.vFreq);
  // The status byte is signed, as the panel reads it; the SDI input carries no HDCP.
  const int hdcp = static_cast<int8_t>(reading.status[2]);
  if (!s.sdi) s.hdcpVersion = hdcp == 1 ? 1.4 : hdcp == 2 ? 2.2 : 0.0;
  return s;
}

nlohmann::ordered_json StatusJson(const BoxState& s, const std::string& port,
                                  const std::string& device, const std::string& address) {
  nlohmann::ordered_json j;
  j["port"] = port;
  j["device"] = device;
  j["address"] = address;
  j["front_panel"] = {
      {"input", s.InputName()}, {"hpd", nullptr}, {"volume", nullptr}, {"edid", nullptr}};
  const StatusPanel& p = s.panel;
  j["panel"] = {{"hdcp", p.hdcp},
                {"signal", p.signal},
                {"timing", p.timing},
                {"color_space", p.colorSpace},
                {"color_depth", p.colorDepth},
                {"structure", p.structure},
                {"sample_rate", p.sampleRate},
                {"audio_bit", p.audioBit},
                {"audio_type", p.audioType},
                {"channels", p.channels}};
  const TimingFields& t = s.timing;
  j["timing"] = {{"video_clk_mhz", ShownNumber(t.pixelClock)},
                 {"h_freq_khz", ShownNumber(t.hFreq)},
                 {"v_freq_hz", ShownNumber(t.vFreq)},
                 {"h_active", t.hActive},
                 {"h_total", t.hTotal},
                 {"h_blank", t.hBlank},
                 {"hs_width", t.hSyncWidth},
                 {"hs_offset", t.hSyncOffset},
                 {"v_active", t.vActive},
                 {"v_total", t.vTotal},
                 {"v_blank", t.vBlank},
                 {"vs_width", t.vSyncWidth},
                 {"vs_offset", t.vSyncOffset},
                 {"hsync", Polarity(t.hSyncPolarity)},
                 {"vsync", Polarity(t.vSyncPolarity)},
                 {"scan", t.scanType == kInterlaced ? "Interlace" : "Progressive"}};
  return j;
}

}  // namespace sc
