#include "sim/box_edids.h"

#include <string>
#include <vector>

namespace sc {

namespace {

// One video timing as a detailed timing descriptor carries it.
struct Timing {
  unsigned clock;  // units of 10 kHz
  unsigned hActive, hBlank, hSyncOffset, hSyncWidth;
  unsigned vActive, vBlank, vSyncOffset, vSyncWidth;
};

constexpr Timing k2160p60{59400, 3840, 560, 176, 88, 2160, 90, 8, 10};
constexpr Timing k2160p30{29700, 3840, 560, 176, 88, 2160, 90, 8, 10};
constexpr Timing k1080p60{14850, 1920, 280, 88, 44, 1080, 45, 4, 5};
constexpr Timing k1080p50{14850, 1920, 720, 528, 44, 1080, 45, 4, 5};
constexpr Timing k720p60{7425, 1280, 370, 110, 40, 720, 30, 5, 5};
constexpr Timing k720p50{7425, 1280, 700, 440, 40, 720, 30, 5, 5};

// CEA data block tags.
constexpr int kAudioBlock = 1;
constexpr int kVideoBlock = 2;
constexpr int kVendorBlock = 3;
constexpr int kSpeakerBlock = 4;
constexpr int kExtendedBlock = 7;

// What one built-in preset holds.
struct PresetContent {
  std::string_view productName;
  uint16_t productCode;
  uint8_t widthCm, heightCm;
  Timing preferred;
  Timing second;
  uint8_t vMin, vMax, hMinKHz, hMaxKHz, maxClockTensOfMHz;
  std::vector<uint8_t> svds;          // video data block
  std::vector<uint8_t> hdmiBlock;     // HDMI 1.4 vendor block payload, from its identifier on
  std::vector<uint8_t> forumBlock;    // HDMI Forum vendor block payload; empty: none
  std::vector<uint8_t> y420Vics;      // YCbCr 4:2:0-only VICs; empty: no such block
  std::vector<Timing> extensionDtds;  // after the data blocks
};

// Base-block bytes every preset shares: manufacturer "TQK", week 1 of 2016, EDID 1.3,
// digital input, sRGB-like chromaticity, 640x480, 800x600 and 1024x768 at 60 Hz.
constexpr uint8_t kManufacturer[2] = {0x52, 0x2B};  // T=20, Q=17, K=11 in 5-bit letters
constexpr uint8_t kChromaticity[10] = {0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54};
constexpr uint8_t kStandardTimings[16] = {0x81, 0xC0, 0xD1, 0xC0, 0x81, 0x80, 0x01, 0x01,
                                          0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01};

// The two-channel LPCM short audio descriptor: 32, 44.1 and 48 kHz, 16, 20 and 24 bit.
const std::vector<uint8_t> kStereoPcm = {0x09, 0x07, 0x07};
// Front left and right.
const std::vector<uint8_t> kStereoSpeakers = {0x01, 0x00, 0x00};
// Video capability: YCbCr and RGB quantisation ranges selectable, IT and CE formats over-
// and underscanned.
const std::vector<uint8_t> kVideoCapability = {0x00, 0xCF};

// Builds an image byte by byte and fixes both checksums at the end.
class EdidWriter {
 public:
  EdidWriter() { image_.fill(0x00); }

  void Put(size_t at, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes)
      image_.at(at++) = b;
  }
  void Put(size_t at, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
      image_.at(at + i) = bytes[i];
  }

  void PutTiming(size_t at, const Timing& t, unsigned widthMm, unsigned heightMm) {
    Put(at, {static_cast<uint8_t>(t.clock & 0xFF), static_cast<uint8_t>(t.clock >> 8),
             static_cast<uint8_t>(t.hActive & 0xFF), static_cast<uint8_t>(t.hBlank & 0xFF),
             static_cast<uint8_t>((t.hActive >> 8) << 4 | (t.hBlank >> 8)),
             static_cast<uint8_t>(t.vActive & 0xFF), static_cast<uint8_t>(t.vBlank & 0xFF),
             static_cast<uint8_t>((t.vActive >> 8) << 4 | (t.vBlank >> 8)),
             static_cast<uint8_t>(t.hSyncOffset & 0xFF), static_cast<uint8_t>(t.hSyncWidth & 0xFF),
             static_cast<uint8_t>((t.vSyncOffset & 0x0F) << 4 | (t.vSyncWidth & 0x0F)),
             static_cast<uint8_t>((t.hSyncOffset >> 8) << 6 | (t.hSyncWidth >> 8) << 4 |
                                  (t.vSyncOffset >> 4) << 2 | (t.vSyncWidth >> 4)),
             static_cast<uint8_t>(widthMm & 0xFF), static_cast<uint8_t>(heightMm & 0xFF),
             static_cast<uint8_t>((widthMm >> 8) << 4 | (heightMm >> 8)), 0x00, 0x00,
             0x1E});  // progressive, digital separate sync, both polarities positive
  }

  // A display descriptor: tag, then up to 13 bytes of text ended by LF, padded with
  // spaces.
  void PutTextDescriptor(size_t at, uint8_t tag, std::string_view text) {
    Put(at, {0x00, 0x00, 0x00, tag, 0x00});
    std::string body(text.substr(0, 13));
    if (body.size() < 13) body += '\n';
    body.resize(13, ' ');
    Put(at + 5, reinterpret_cast<const uint8_t*>(body.data()), body.size());
  }

  // A CEA data block at `at`; returns the offset after it.
  size_t PutBlock(size_t at, int tag, const std::vector<uint8_t>& payload) {
    image_.at(at) = static_cast<uint8_t>(tag << 5 | payload.size());
    Put(at + 1, payload.data(), payload.size());
    return at + 1 + payload.size();
  }

  EdidImage Finish() {
    for (size_t bank : {0u, 128u}) {
      unsigned sum = 0;
      for (size_t i = bank; i < bank + 127; ++i)
        sum += image_[i];
      image_[bank + 127] = static_cast<uint8_t>((0x100 - (sum & 0xFF)) & 0xFF);
    }
    return image_;
  }

 private:
  EdidImage image_{};
};

EdidImage BuildPreset(const PresetContent& p) {
  EdidWriter w;
  w.Put(0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
  w.Put(8, kManufacturer, 2);
  w.Put(10, {static_cast<uint8_t>(p.productCode & 0xFF), static_cast<uint8_t>(p.productCode >> 8)});
  w.Put(16, {1, 2016 - 1990, 1, 3});  // week, year, version 1.3
  // Digital input; screen size; gamma 2.2; RGB colour display, sRGB, preferred timing in
  // the first descriptor.
  w.Put(20, {0x80, p.widthCm, p.heightCm, 0x78, 0x0E});
  w.Put(25, kChromaticity, sizeof kChromaticity);
  w.Put(35, {0x21, 0x08, 0x00});
  w.Put(38, kStandardTimings, sizeof kStandardTimings);
  const unsigned widthMm = p.widthCm * 10u, heightMm = p.heightCm * 10u;
  w.PutTiming(54, p.preferred, widthMm, heightMm);
  w.PutTiming(72, p.second, widthMm, heightMm);
  w.Put(90, {0x00, 0x00, 0x00, 0xFD, 0x00, p.vMin, p.vMax, p.hMinKHz, p.hMaxKHz,
             p.maxClockTensOfMHz, 0x00, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20});
  w.PutTextDescriptor(108, 0xFC, p.productName);
  w.Put(126, {1});  // one extension

  // CEA-861 extension, revision 3: underscan, basic audio, YCbCr 4:4:4 and 4:2:2, one
  // native detailed timing.
  w.Put(128, {0x02, 0x03, 0x00, 0xF1});
  size_t at = 132;
  at = w.PutBlock(at, kVideoBlock, p.svds);  // first: the console takes it as the video block
  at = w.PutBlock(at, kAudioBlock, kStereoPcm);
  at = w.PutBlock(at, kSpeakerBlock, kStereoSpeakers);
  at = w.PutBlock(at, kVendorBlock, p.hdmiBlock);  // before the HDMI Forum block
  if (!p.forumBlock.empty()) at = w.PutBlock(at, kVendorBlock, p.forumBlock);
  if (!p.y420Vics.empty()) {
    std::vector<uint8_t> y420 = {0x0E};  // YCbCr 4:2:0 video data block
    y420.insert(y420.end(), p.y420Vics.begin(), p.y420Vics.end());
    at = w.PutBlock(at, kExtendedBlock, y420);  // the first extended block, as it must be
  }
  at = w.PutBlock(at, kExtendedBlock, kVideoCapability);
  w.Put(130, {static_cast<uint8_t>(at - 128)});
  for (const Timing& t : p.extensionDtds) {
    w.PutTiming(at, t, widthMm, heightMm);
    at += 18;
  }
  return w.Finish();
}

// VICs: 1 640x480p60, 2/3 720x480p60, 4 720p60, 5 1080i60, 16 1080p60, 17/18 720x576p50,
// 19 720p50, 20 1080i50, 31 1080p50, 32 1080p24, 33 1080p25, 34 1080p30, 93/94/95/96/97
// 2160p24/25/30/50/60, 98 4096x2160p24. No VIC is marked native: the native format is the
// preferred timing, which the extension's flags count as its one native detailed timing.
const std::vector<uint8_t> kHdVics = {16, 31, 4, 19, 5, 20, 3, 18, 2, 17, 1, 34, 33, 32};

std::vector<uint8_t> Join(std::vector<uint8_t> front, const std::vector<uint8_t>& back) {
  front.insert(front.end(), back.begin(), back.end());
  return front;
}

// HDMI vendor block payloads: the IEEE identifier 00-0C-03, physical address 1.0.0.0,
// deep colour flags, maximum TMDS clock in 5 MHz, then (when present) HDMI video present,
// 3D present and the HDMI VICs (1 4Kx2K@30, 2 @25, 3 @24, 4 @24 SMPTE).
constexpr uint8_t kDeepColour48 = 0x78;  // 48, 36 and 30 bit, also in YCbCr 4:4:4

std::vector<uint8_t> HdmiBlock(uint8_t deepColour, uint8_t maxTmds5MHz, bool threeD,
                               const std::vector<uint8_t>& hdmiVics) {
  std::vector<uint8_t> block = {0x03, 0x0C, 0x00, 0x10, 0x00, deepColour, maxTmds5MHz};
  if (!threeD && hdmiVics.empty()) return block;
  block.push_back(0x20);  // HDMI video present, no latency fields
  block.push_back(threeD ? 0x80 : 0x00);
  block.push_back(static_cast<uint8_t>(hdmiVics.size() << 5));
  block.insert(block.end(), hdmiVics.begin(), hdmiVics.end());
  return block;
}

// HDMI Forum vendor block: identifier C4-5D-D8, version 1, 600 MHz TMDS character rate,
// SCDC present with scrambling at 340 Mcsc and below, deep colour in YCbCr 4:2:0.
std::vector<uint8_t> ForumBlock(uint8_t deepColour420) {
  return {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x88, deepColour420};
}

constexpr std::string_view kProductNames[kBuiltInEdidCount] = {
    "TQ 4K60 3D", "TQ 4K60 Y420", "TQ 4K30 3D", "TQ 1080P 3D", "TQ 1080P"};

std::array<EdidImage, kBuiltInEdidCount> BuildAll() {
  const PresetContent presets[kBuiltInEdidCount] = {
      {kProductNames[0],
       0x5000,
       121,
       68,
       k2160p60,
       k1080p60,
       24,
       75,
       15,
       136,
       60,
       Join({97, 96, 95, 94, 93}, kHdVics),
       HdmiBlock(0x00, 68, true, {1, 2, 3}),
       ForumBlock(0x00),
       {},
       {k1080p50, k720p50}},
      {kProductNames[1],
       0x5001,
       121,
       68,
       k2160p30,
       k1080p60,
       24,
       75,
       15,
       136,
       60,
       Join({95, 94, 93}, kHdVics),
       HdmiBlock(kDeepColour48, 60, true, {1, 2, 3}),
       ForumBlock(0x07),
       {97, 96},
       {k1080p50, k720p50}},
      {kProductNames[2],
       0x5002,
       121,
       68,
       k2160p30,
       k1080p60,
       24,
       75,
       15,
       70,
       30,
       Join({95, 94, 93, 98}, kHdVics),
       HdmiBlock(kDeepColour48, 60, true, {1, 2, 3, 4}),
       {},
       {},
       {k1080p50, k720p50}},
      {kProductNames[3],
       0x5003,
       102,
       57,
       k1080p60,
       k720p60,
       24,
       75,
       15,
       70,
       15,
       kHdVics,
       HdmiBlock(0x00, 33, true, {}),
       {},
       {},
       {k1080p50, k720p50}},
      {kProductNames[4],
       0x5004,
       102,
       57,
       k1080p60,
       k720p60,
       24,
       75,
       15,
       70,
       15,
       kHdVics,
       HdmiBlock(0x00, 33, false, {}),
       {},
       {},
       {k1080p50, k720p50}},
  };
  std::array<EdidImage, kBuiltInEdidCount> images{};
  for (int i = 0; i < kBuiltInEdidCount; ++i)
    images[static_cast<size_t>(i)] = BuildPreset(presets[i]);
  return images;
}

}  // namespace

const EdidImage& BuiltInEdid(int preset) {
  static const std::array<EdidImage, kBuiltInEdidCount> images = BuildAll();
  return images.at(static_cast<size_t>(preset));
}

std::string_view BuiltInEdidProductName(int preset) {
  return kProductNames[static_cast<size_t>(preset)];
}

const EdidImage& InitialUserEdid() {
  return BuiltInEdid(4);
}

}  // namespace sc
