#include "sim/box_infoframes.h"

#include <cmath>
#include <cstddef>
#include <string>

namespace sc {

namespace {

struct Format {
  uint8_t vic;
  uint8_t hdmiVic;  // signalled in the HDMI vendor InfoFrame instead of the VIC
  int width;
  int height;  // of the frame
  bool interlaced;
  int rate;  // frames (fields, when interlaced) a second, whole
  uint8_t shape;
};

// The formats a box names by their video code. 480i and 576i carry each pixel twice.
constexpr Format kFormats[] = {
    {1, 0, 640, 480, false, 60, 1},     {2, 0, 720, 480, false, 60, 1},
    {4, 0, 1280, 720, false, 60, 2},    {5, 0, 1920, 1080, true, 60, 2},
    {6, 0, 1440, 480, true, 60, 1},     {6, 0, 720, 480, true, 60, 1},
    {16, 0, 1920, 1080, false, 60, 2},  {17, 0, 720, 576, false, 50, 1},
    {19, 0, 1280, 720, false, 50, 2},   {20, 0, 1920, 1080, true, 50, 2},
    {21, 0, 1440, 576, true, 50, 1},    {21, 0, 720, 576, true, 50, 1},
    {31, 0, 1920, 1080, false, 50, 2},  {32, 0, 1920, 1080, false, 24, 2},
    {33, 0, 1920, 1080, false, 25, 2},  {34, 0, 1920, 1080, false, 30, 2},
    {60, 0, 1280, 720, false, 24, 2},   {93, 3, 3840, 2160, false, 24, 2},
    {94, 2, 3840, 2160, false, 25, 2},  {95, 1, 3840, 2160, false, 30, 2},
    {96, 0, 3840, 2160, false, 50, 2},  {97, 0, 3840, 2160, false, 60, 2},
    {98, 4, 4096, 2160, false, 24, 0},  {99, 0, 4096, 2160, false, 25, 0},
    {100, 0, 4096, 2160, false, 30, 0}, {101, 0, 4096, 2160, false, 50, 0},
    {102, 0, 4096, 2160, false, 60, 0},
};
constexpr int kRates[] = {24, 25, 30, 50, 60};

constexpr uint8_t kHdmiOui[3] = {0x03, 0x0C, 0x00};       // 00-0C-03, low byte first
constexpr uint8_t kHdmiForumOui[3] = {0xD8, 0x5D, 0xC4};  // C4-5D-D8

// The whole rate the measured one stands for (59.94 is 60), or 0.
int NominalRate(const BoxTiming& t) {
  const double total = (double(t.hActive) + t.hBlank) * (double(t.vActive) + t.vBlank);
  if (total <= 0 || t.pixelClock == 0) return 0;
  const double rate = t.pixelClock * 10000.0 / total;
  for (int nominal : kRates)
    if (std::fabs(rate - nominal) < 0.6) return nominal;
  return 0;
}

const Format* Lookup(int width, int height, bool interlaced, int rate) {
  for (const Format& f : kFormats)
    if (f.width == width && f.height == height && f.interlaced == interlaced && f.rate == rate)
      return &f;
  return nullptr;
}

// The picture's width: a 4:2:0 signal goes two pixels a clock, measured at half width.
int PictureWidth(const BoxSignal& signal) {
  return signal.status.colourSpace == 3 ? 2 * signal.timing.hActive : signal.timing.hActive;
}

const Format* FindFormat(const BoxSignal& signal) {
  const BoxTiming& t = signal.timing;
  const bool interlaced = t.flags & 1;
  const int rate = NominalRate(t);
  const int width = PictureWidth(signal);
  const int height = interlaced ? 2 * t.vActive : t.vActive;
  if (const Format* f = Lookup(width, height, interlaced, rate)) return f;
  // A frame-packed signal may be measured as both views and the gap between them.
  if (signal.status.structure3d == 1 && !interlaced && t.vActive > t.vBlank)
    return Lookup(width, (t.vActive - t.vBlank) / 2, false, rate);
  return nullptr;
}

// type, version, length, check sum, data.
std::vector<uint8_t> Packet(uint8_t type, uint8_t version, std::vector<uint8_t> data) {
  std::vector<uint8_t> p(4 + data.size(), 0);
  p[0] = type;
  p[1] = version;
  p[2] = static_cast<uint8_t>(data.size());
  for (size_t i = 0; i < data.size(); ++i)
    p[4 + i] = data[i];
  unsigned sum = 0;
  for (uint8_t b : p)
    sum += b;
  p[3] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
  return p;
}

std::vector<uint8_t> AviInfoFrame(const BoxSignal& s) {
  const VideoCodes codes = FindVideoCodes(s);
  const BoxTiming& t = s.timing;
  const int height = (t.flags & 1) ? 2 * t.vActive : t.vActive;
  uint8_t shape = codes.shape;
  if (shape == 0 && PictureWidth(s) * 9 == height * 16) shape = 2;
  const uint8_t colour = s.status.colourSpace & 3;  // 0 RGB, 1 4:2:2, 2 4:4:4, 3 4:2:0
  // YCbCr follows 601 up to 576 lines, 709 above; HDR10 is BT.2020, an extended one.
  const uint8_t colorimetry = s.hdr10 ? 3 : colour == 0 ? 0 : height <= 576 ? 1 : 2;
  const uint8_t extended = s.hdr10 ? 6 : 0;  // BT.2020 RGB or YCbCr
  uint8_t repetition = s.status.pixelRepetition & 0x0F;
  if (repetition == 0 && (codes.vic == 6 || codes.vic == 21) && t.hActive == 1440)
    repetition = 1;  // these formats always send each pixel twice
  std::vector<uint8_t> data(13, 0);
  data[0] = static_cast<uint8_t>(colour << 5 | 0x10);                    // active format present
  data[1] = static_cast<uint8_t>(colorimetry << 6 | shape << 4 | 0x08);  // as the picture
  data[2] = static_cast<uint8_t>(extended << 4);
  data[3] = codes.hdmiVic != 0 ? 0 : codes.vic;
  data[4] = repetition;
  return Packet(packet_type::kAvi, 2, data);
}

std::vector<uint8_t> AudioInfoFrame(const BoxSignal& s) {
  const BoxSignalStatus& a = s.status;
  std::vector<uint8_t> data(10, 0);
  data[0] = static_cast<uint8_t>((a.audioType & 0x0F) << 4 | (a.channels & 0x07));
  data[1] = static_cast<uint8_t>((a.sampleRate & 0x07) << 2 | (a.sampleSize & 0x03));
  // Speaker allocation: front pair; 5.1; 7.1.
  data[3] = a.channels == 5 ? 0x0B : a.channels == 7 ? 0x13 : 0x00;
  return Packet(packet_type::kAudio, 1, data);
}

std::vector<uint8_t> SourceProductInfoFrame(const BoxSignal& s) {
  std::vector<uint8_t> data(25, 0);
  const std::string vendor = "SIGBOX";
  for (size_t i = 0; i < vendor.size() && i < 8; ++i)
    data[i] = static_cast<uint8_t>(vendor[i]);
  for (size_t i = 0; i < s.name.size() && i < 16; ++i)
    data[8 + i] = static_cast<uint8_t>(s.name[i]);
  data[24] = 0x09;  // source: PC general
  return Packet(packet_type::kSourceProduct, 1, data);
}

// Empty when the signal needs none.
std::vector<uint8_t> VendorInfoFrame(const BoxSignal& s) {
  const VideoCodes codes = FindVideoCodes(s);
  std::vector<uint8_t> data(kHdmiOui, kHdmiOui + 3);
  switch (s.status.structure3d) {
    case 1:  // frame packing
      data.push_back(0x40);
      data.push_back(0x00);
      return Packet(packet_type::kVendor, 1, data);
    case 2:  // top-and-bottom
      data.push_back(0x40);
      data.push_back(0x60);
      return Packet(packet_type::kVendor, 1, data);
    case 3:  // side-by-side (half), horizontal sub-sampling
      data.push_back(0x40);
      data.push_back(0x80);
      data.push_back(0x00);
      return Packet(packet_type::kVendor, 1, data);
    default:
      break;
  }
  if (codes.hdmiVic != 0) {
    data.push_back(0x20);
    data.push_back(codes.hdmiVic);
    return Packet(packet_type::kVendor, 1, data);
  }
  if (codes.vic == 96 || codes.vic == 97 || codes.vic == 101 || codes.vic == 102) {
    std::vector<uint8_t> forum(kHdmiForumOui, kHdmiForumOui + 3);
    forum.push_back(0x01);  // version
    forum.push_back(0x00);  // no 3D, no ALLM
    return Packet(packet_type::kVendor, 1, forum);
  }
  return {};
}

// HDR10 as a typical disc player sends it: SMPTE ST 2084, a mastering display with the
// BT.2020 primaries in the order the standard suggests (green, blue, red) and the D65
// white point, in units of 0.00002; 1000 cd/m² peak, 0.005 cd/m² black (units of
// 0.0001), content light levels 1000 and 400 cd/m². Values go least significant byte
// first.
std::vector<uint8_t> DynamicRangeInfoFrame() {
  constexpr uint16_t kValues[] = {
      8500,  39850,  // green 0.170, 0.797
      6550,  2300,   // blue 0.131, 0.046
      35400, 14600,  // red 0.708, 0.292
      15635, 16450,  // white 0.3127, 0.3290
      1000,  50,    1000, 400,
  };
  std::vector<uint8_t> data = {0x02, 0x00};  // EOTF 2, static metadata type 1
  for (uint16_t v : kValues) {
    data.push_back(static_cast<uint8_t>(v & 0xFF));
    data.push_back(static_cast<uint8_t>(v >> 8));
  }
  return Packet(packet_type::kDynamicRange, 1, data);
}

}  // namespace

VideoCodes FindVideoCodes(const BoxSignal& signal) {
  const Format* f = FindFormat(signal);
  if (!f) return {};
  return {f->vic, f->hdmiVic, f->shape};
}

std::vector<uint8_t> CapturedInfoFrame(const BoxSignal& signal, uint8_t type) {
  std::vector<uint8_t> packet;
  // Only HDMI carries packets: DVI has no data islands, SDI none of its own.
  if (signal.Present() && signal.status.signalType == 1) {
    switch (type) {
      case packet_type::kAvi:
        packet = AviInfoFrame(signal);
        break;
      case packet_type::kAudio:
        if (signal.status.sampleRate != 0) packet = AudioInfoFrame(signal);
        break;
      case packet_type::kSourceProduct:
        packet = SourceProductInfoFrame(signal);
        break;
      case packet_type::kVendor:
        packet = VendorInfoFrame(signal);
        break;
      case packet_type::kDynamicRange:
        if (signal.hdr10) packet = DynamicRangeInfoFrame();
        break;
      default:
        break;
    }
  }
  if (packet.empty()) packet.assign(4, 0);
  return packet;
}

}  // namespace sc
