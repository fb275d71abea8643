#include "edid/edid_decoder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <optional>

namespace sc {

const std::array<std::string_view, kEdidTextCount> EdidTextTable = {
    // Audio format names, by CEA audio format code.
    "Refer to Stream Header.", "LPCM.", "AC-3.", "MPEG1.", "MP3(Layer3).", "MPEG2.", "AAC.", "DTS.",
    "ATRAC.", "OneBitAudio.", "Dolby D+.", "DTS-HD.", "MAT(MLP).", "DST.", "WMA Pro.", "Reserved.",
    // Sample rates, bits 0-6 of a short audio descriptor's second byte.
    "32KHz", "44.1KHz", "48KHz", "88KHz", "96KHz", "176KHz", "192KHz",
    // Sample sizes, bits 0-2 of its third byte.
    "16Bit", "20Bit", "24Bit",
    // Video formats, VIC 1-107.
    "640x480p@60Hz  4:3",                 // 1
    "720x480p@60Hz  4:3",                 // 2
    "720x480p@60Hz  16:9",                // 3
    "1280x720p@60Hz  16:9",               // 4
    "1920x1080i@60Hz  16:9",              // 5
    "720(1440)x480i@60Hz  4:3",           // 6
    "720(1440)x480i@60Hz  16:9",          // 7
    "720(1440)x240p@60Hz  4:3",           // 8
    "720(1440)x240p@60Hz  16:9",          // 9
    "2880x480i@60Hz  4:3",                // 10
    "2880x480i@60Hz  16:9",               // 11
    "2880x240p@60Hz  4:3",                // 12
    "2880x240p@60Hz  16:9",               // 13
    "1440x480p@60Hz  4:3",                // 14
    "1440x480p@60Hz  16:9",               // 15
    "1920x1080p@60Hz  16:9",              // 16
    "720x576p@50Hz  4:3",                 // 17
    "720x576p@50Hz  16:9",                // 18
    "1280x720p@50Hz  16:9",               // 19
    "1920x1080i@50Hz  16:9",              // 20
    "720(1440)x576i@50Hz  4:3",           // 21
    "720(1440)x576i@50Hz  16:9",          // 22
    "720(1440)x288p@50Hz  4:3",           // 23
    "720(1440)x288p@50Hz  16:9",          // 24
    "2880x576i@50Hz  4:3",                // 25
    "2880x576i@50Hz  16:9",               // 26
    "2880x288p@50Hz  4:3",                // 27
    "2880x288p@50Hz  16:9",               // 28
    "1440x576p@50Hz  4:3",                // 29
    "1440x576p@50Hz  16:9",               // 30
    "1920x1080p@50Hz  16:9",              // 31
    "1920x1080p@24Hz  16:9",              // 32
    "1920x1080p@25Hz  16:9",              // 33
    "1920x1080p@30Hz  16:9",              // 34
    "2880x480p@60Hz  4:3",                // 35
    "2880x480p@60Hz  16:9",               // 36
    "2880x576p@50Hz  4:3",                // 37
    "2880x576p@50Hz  16:9",               // 38
    "1920x1080i(1250 total)@50Hz  16:9",  // 39
    "1920x1080i@100Hz  16:9",             // 40
    "1280x720p@100Hz  16:9",              // 41
    "720x576p@100Hz  4:3",                // 42
    "720x576p@100Hz  16:9",               // 43
    "720(1440)x576i@100Hz  4:3",          // 44
    "720(1440)x576i@100Hz  16:9",         // 45
    "1920x1080i@120Hz  16:9",             // 46
    "1280x720@120Hz  16:9",               // 47
    "720x480p@120Hz  4:3",                // 48
    "720x480p@120Hz  16:9",               // 49
    "720(1440)x480i@120Hz  4:3",          // 50
    "720(1440)x480i@120Hz  16:9",         // 51
    "720x576p@200Hz  4:3",                // 52
    "720x576p@200Hz  16:9",               // 53
    "720(1440)x576i@200Hz  4:3",          // 54
    "720(1440)x576i@200Hz  16:3",         // 55
    "720x480p@240Hz  4:3",                // 56
    "720x480p@240Hz  16:9",               // 57
    "720(1440)x480i@240Hz  4:3",          // 58
    "720(1440)x480i@240Hz  16:9",         // 59
    "1280x720p@24Hz  16:9",               // 60
    "1280x720p@25Hz  16:9",               // 61
    "1280x720p@30Hz  16:9",               // 62
    "1920x1080p@120Hz  16:9",             // 63
    "1920x1080p@100Hz  16:9",             // 64
    "1280x720p@24Hz  64:27",              // 65
    "1280x720p@25Hz  64:27",              // 66
    "1280x720p@30Hz  64:27",              // 67
    "1280x720p@50Hz  64:27",              // 68
    "1280x720p@60Hz  64:27",              // 69
    "1280x720p@100Hz  64:27",             // 70
    "1280x720p@120Hz  64:27",             // 71
    "1920x1080p@24Hz  64:27",             // 72
    "1920x1080p@25Hz  64:27",             // 73
    "1920x1080p@30Hz  64:27",             // 74
    "1920x1080p@50Hz  64:27",             // 75
    "1920x1080p@60Hz  64:27",             // 76
    "1920x1080p@100Hz  64:27",            // 77
    "1920x1080p@120Hz  64:27",            // 78
    "1680x720p@24Hz  64:27",              // 79
    "1680x720p@25Hz  64:27",              // 80
    "1680x720p@30Hz  64:27",              // 81
    "1680x720p@50Hz  64:27",              // 82
    "1680x720p@60Hz  64:27",              // 83
    "1680x720p@100Hz  64:27",             // 84
    "1680x720p@120Hz  64:27",             // 85
    "2560x1080p@24Hz  64:27",             // 86
    "2560x1080p@25Hz  64:27",             // 87
    "2560x1080p@30Hz  64:27",             // 88
    "2560x1080p@50Hz  64:27",             // 89
    "2560x1080p@60Hz  64:27",             // 90
    "2560x1080p@100Hz  64:27",            // 91
    "2560x1080p@120Hz  64:27",            // 92
    "3840x2160p@24Hz  16:9",              // 93
    "3840x2160p@25Hz  16:9",              // 94
    "3840x2160p@30Hz  16:9",              // 95
    "3840x2160p@50Hz  16:9",              // 96
    "3840x2160p@60Hz  16:9",              // 97
    "4096x2160p@24Hz  256:135",           // 98
    "4096x2160p@25Hz  256:135",           // 99
    "4096x2160p@30Hz  256:135",           // 100
    "4096x2160p@50Hz  256:135",           // 101
    "4096x2160p@60Hz  256:135",           // 102
    "3840x2160p@24Hz  64:27",             // 103
    "3840x2160p@25Hz  64:27",             // 104
    "3840x2160p@30Hz  64:27",             // 105
    "3840x2160p@50Hz  64:27",             // 106
    "3840x2160p@60Hz  64:27",             // 107
};

namespace {

constexpr size_t kExtension = 128;       // bank 1 starts here
constexpr size_t kExtensionCount = 126;  // tested for zero / non-zero only
constexpr size_t kFirstDataBlock = kExtension + 4;
constexpr size_t kDescriptorSize = 18;
constexpr std::array<size_t, 4> kDescriptors = {54, 72, 90, 108};

enum DataBlockTag { kAudioBlock = 1, kVideoBlock = 2, kVendorBlock = 3, kExtendedTagBlock = 7 };

void Append(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& text, const char* format, ...) {
  char line[128];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n > 0) text.append(line, std::min(static_cast<size_t>(n), sizeof line - 1));
}

// A byte of the image, or nothing when the offset lies past its end.
std::optional<uint8_t> ByteAt(const EdidImage& image, size_t offset) {
  if (offset >= kEdidSize) return std::nullopt;
  return image[offset];
}

bool HasCeaExtension(const EdidImage& image) {
  return image[kExtensionCount] != 0 && image[kExtension] == 2;
}

uint8_t BankSum(const EdidImage& image, size_t first) {
  unsigned sum = 0;
  for (size_t i = first; i < first + 128; ++i)
    sum += image[i];
  return static_cast<uint8_t>(sum);
}

void AppendVicName(std::string& text, int vic) {
  if (vic >= 1 && vic <= kMaxNamedVic) text += EdidTextTable[kVicText + static_cast<size_t>(vic)];
}

// ---- Detailed timing descriptors ----

struct Timing {
  int width = 0;
  int height = 0;  // twice the field height when interlaced
  int refresh = 0;
  bool interlaced = false;
};

// The 18 bytes at offset must lie inside the image.
Timing DecodeDetailedTiming(const EdidImage& image, size_t offset) {
  const uint8_t* t = image.data() + offset;
  const unsigned clock = t[0] + 256u * t[1];  // 10 kHz units
  const unsigned hActive = t[2] + 256u * (t[4] >> 4);
  const unsigned hBlank = t[3] + 256u * (t[4] & 0x0F);
  const unsigned vActive = t[5] + 256u * (t[7] >> 4);
  const unsigned vBlank = t[6] + 256u * (t[7] & 0x0F);
  Timing timing;
  timing.interlaced = (t[17] & 0x80) != 0;
  timing.width = static_cast<int>(hActive);
  timing.height = static_cast<int>(timing.interlaced ? 2 * vActive : vActive);
  const unsigned hTotal = hActive + hBlank;
  const unsigned vTotal = vActive + vBlank;
  // A descriptor that is no timing at all can have a zero total: show 0 Hz rather than
  // dividing by zero. The rest is at most 655350000, well inside an int.
  if (hTotal != 0 && vTotal != 0) {
    timing.refresh = static_cast<int>(clock * 10000.0 / hTotal / vTotal + 0.5);
  }
  return timing;
}

// Both clock bytes non-zero: the descriptor is a timing and not a display descriptor.
bool IsTimingDescriptor(const EdidImage& image, size_t offset) {
  return image[offset] != 0 && image[offset + 1] != 0;
}

// ---- Data block collection of the CEA extension ----

struct DataBlock {
  size_t offset = 0;  // absolute offset of the header byte
  int length = 0;     // L, the bytes after the header

  // Block offset k (the header is block offset 0), or nothing past the image.
  std::optional<uint8_t> At(const EdidImage& image, size_t k) const {
    return ByteAt(image, offset + k);
  }
};

// The first block with the wanted tag, walking from extension offset 4 while the offset
// is below d (byte 130) and below 127. Only the start of a block is checked against d.
std::optional<DataBlock> FindDataBlock(const EdidImage& image, int tag) {
  const size_t end = image[kExtension + 2];
  for (size_t at = 4; at < end && at < 127;) {
    const uint8_t header = image[kExtension + at];
    const int length = header & 0x1F;
    if (header >> 5 == tag) return DataBlock{kExtension + at, length};
    at += static_cast<size_t>(length) + 1;
  }
  return std::nullopt;
}

// ---- Video report ----

void AppendExtensionTimings(const EdidImage& image, std::string& text) {
  const size_t d = image[kExtension + 2];
  // d = 127 leaves no room for a slot; below 4 it would point into the extension's own
  // header, above 127 past the block: no slots either way.
  if (d < 4 || d > 126) return;
  const size_t slots = (144 - d) / kDescriptorSize;
  int k = 1;
  for (size_t slot = 0; slot < slots; ++slot) {
    const size_t offset = kExtension + d + slot * kDescriptorSize;
    if (offset + kDescriptorSize > kEdidSize) break;
    if (!IsTimingDescriptor(image, offset)) continue;
    const Timing t = DecodeDetailedTiming(image, offset);
    Append(text,
           t.interlaced ? "Extension Detailed Timing%d:%dx%di@%dHz\r\n"
                        : "Extension Detailed Timing%d:%dx%d@%dHz\r\n",
           k++, t.width, t.height, t.refresh);
  }
}

// The block at extension offset 4 is listed as the video block whatever its tag.
void AppendShortVideoDescriptors(const EdidImage& image, std::string& text) {
  text += "Short Video Descripter\r\n";
  const size_t count = image[kFirstDataBlock] & 0x1F;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t svd = image[kFirstDataBlock + 1 + i];
    const int vic = svd & 0x7F;
    if (vic < 1 || vic > kMaxNamedVic) continue;
    AppendVicName(text, vic);
    if (svd & 0x80) text += "  Native";
    text += "\r\n";
  }
}

void DecodeVideo(const EdidImage& image, std::string& text) {
  const Timing preferred = DecodeDetailedTiming(image, kDescriptors[0]);
  Append(text,
         preferred.interlaced ? "Preferred Timing:%dx%di@%dHz \r\n"
                              : "Preferred Timing:%dx%d@%dHz\r\n",
         preferred.width, preferred.height, preferred.refresh);
  for (size_t i = 1; i < kDescriptors.size(); ++i) {
    if (!IsTimingDescriptor(image, kDescriptors[i])) continue;
    const Timing t = DecodeDetailedTiming(image, kDescriptors[i]);
    Append(text,
           t.interlaced ? "Detailed Timing:%dx%di@%dHz\r\n" : "Detailed Timing:%dx%d@%dHz\r\n",
           t.width, t.height, t.refresh);
  }
  if (HasCeaExtension(image)) {
    AppendExtensionTimings(image, text);
    text += "\r\n";
    AppendShortVideoDescriptors(image, text);
  }
  text += "\r\n";
}

// ---- Audio report ----

void AppendShortAudioDescriptor(uint8_t b1, uint8_t b2, uint8_t b3, std::string& text) {
  text += "Audio Format:";
  text += EdidTextTable[kAudioFormatText + ((b1 >> 3) & 0x0F)];
  text += "\r\n";
  Append(text, "Audio Channel(s):%d\r\n", (b1 & 7) + 1);
  text += "Sample Frequency:\r\n";
  for (int bit = 6; bit >= 0; --bit) {
    if (b2 >> bit & 1) {
      text += EdidTextTable[kSampleRateText + static_cast<size_t>(bit)];
      text += "\r\n";
    }
  }
  text += "\r\n";
  // Listed for every format, not only LPCM.
  if (b3 & 7) {
    text += "Sample Bit:\r\n";
    for (int bit = 2; bit >= 0; --bit) {
      if (b3 >> bit & 1) {
        text += EdidTextTable[kSampleSizeText + static_cast<size_t>(bit)];
        text += " \r\n";
      }
    }
    text += "\r\n";
  }
  text += "\r\n";
}

void DecodeAudio(const EdidImage& image, std::string& text) {
  if (HasCeaExtension(image)) {
    const auto block = FindDataBlock(image, kAudioBlock);
    if (block && block->length > 1) {
      // The last descriptor may reach past L, but not past the image.
      for (size_t i = 1; i < static_cast<size_t>(block->length); i += 3) {
        const auto b1 = block->At(image, i);
        const auto b2 = block->At(image, i + 1);
        const auto b3 = block->At(image, i + 2);
        if (!b1 || !b2 || !b3) break;
        AppendShortAudioDescriptor(*b1, *b2, *b3, text);
      }
    }
  }
  text += "\r\n";
}

// ---- General report ----

void AppendManufacturer(const EdidImage& image, std::string& text) {
  const uint8_t b8 = image[8];
  const uint8_t b9 = image[9];
  text += "Manufacture's Name:";
  // Bit 7 of byte 8 is kept in the first letter's code.
  text += static_cast<char>(((b8 >> 2) & 0x3F) + 0x40);
  text += static_cast<char>((((b8 & 3) << 3) | (b9 >> 5)) + 0x40);
  text += static_cast<char>((b9 & 0x1F) + 0x40);
  text += "\r\n";
}

bool IsDisplayDescriptorAt(const EdidImage& image, size_t o, uint8_t tag) {
  return image[o] == 0 && image[o + 1] == 0 && image[o + 2] == 0 && image[o + 3] == tag;
}

// Every byte offset 54..108 is tried, not only the four descriptor starts. A later name
// overwrites the earlier one from its start without clearing it; the name shows padded
// with spaces to 13 characters.
void AppendProductName(const EdidImage& image, std::string& text) {
  std::string name(14, ' ');
  bool found = false;
  for (size_t o = 54; o <= 108; ++o) {
    if (!IsDisplayDescriptorAt(image, o, 0xFC)) continue;
    found = true;
    for (size_t i = 0; i < 14 && image[o + 5 + i] != 0x0A; ++i) {
      name[i] = static_cast<char>(image[o + 5 + i]);
    }
  }
  if (found) {
    text += "Display Product Name:";
    text.append(name, 0, 13);
    text += "\r\n";
  }
}

void AppendRangeLimits(const EdidImage& image, std::string& text) {
  for (size_t o = 54; o <= 108; ++o) {
    if (!IsDisplayDescriptorAt(image, o, 0xFD)) continue;
    Append(text, "Vertical Rate:%dHz--%dHz\r\n", image[o + 5], image[o + 6]);
    Append(text, "Horizontal Rate:%dKHz--%dKHz\r\n", image[o + 7], image[o + 8]);
    Append(text, "Maximum Pixel Clock:%dMHz\r\n", image[o + 9] * 10);
  }
}

void AppendDeviceSupport(const EdidImage& image, std::string& text) {
  const uint8_t flags = image[kExtension + 3];
  if ((flags & 0x70) == 0) return;
  text += "Extension Device Support:\r\n";
  if (flags & 0x40) text += "Base Audio\r\n";
  if (flags & 0x20) text += "YCbCr4:4:4\r\n";
  if (flags & 0x10) text += "YCbCr4:2:2\r\n";
  text += "\r\n";
}

void AppendNativeTimings(const EdidImage& image, std::string& text) {
  int native = 0;
  if (const auto block = FindDataBlock(image, kVideoBlock)) {
    for (size_t k = 1; k <= static_cast<size_t>(block->length); ++k) {
      const auto svd = block->At(image, k);
      if (!svd) break;
      if (*svd & 0x80) ++native;
    }
  }
  Append(text, "Native Timings:%d\r\n", native);
}

void AppendDeepColor(const std::optional<DataBlock>& vendor, const EdidImage& image,
                     std::string& text) {
  uint8_t flags = 0;
  if (vendor && vendor->length >= 6) flags = vendor->At(image, 6).value_or(0);
  if (flags & 0x70) {
    text += "Deep Color:\r\n";
    if (flags & 0x40) text += "48Bit ";
    if (flags & 0x20) text += "36Bit ";
    if (flags & 0x10) text += "30Bit ";
    text += "\r\n";
  }
  text += (flags & 0x08) ? "YCbCr444 DeepColor:support\r\n" : "YCbCr444 DeepColor:not support\r\n";
}

// The HDMI video fields follow block offset 8 when bit 5 there says they are present;
// the latency fields in front of them are skipped by bits 7 and 6. These positions are
// not checked against L, only against the end of the image.
void Append3dAnd4k(const std::optional<DataBlock>& vendor, const EdidImage& image,
                   std::string& text) {
  std::optional<uint8_t> present;
  std::optional<uint8_t> vicCount;
  size_t vicsAt = 0;
  if (vendor && vendor->length >= 8) {
    const uint8_t flags = vendor->At(image, 8).value_or(0);
    if (flags & 0x20) {
      size_t s = 1;
      if (flags & 0x80) s += 2;
      if (flags & 0x40) s += 2;
      present = vendor->At(image, 8 + s).value_or(0);
      vicCount = vendor->At(image, 9 + s).value_or(0) >> 5;
      vicsAt = 10 + s;
    }
  }
  text += (present && (*present & 0x80)) ? "3D video:support\r\n" : "3D video:not support\r\n";
  text += "\r\n";
  if (!vicCount || *vicCount == 0) return;
  text += "Extended Resolution(4Kx2K):\r\n";
  for (size_t i = 0; i < *vicCount; ++i) {
    const auto vic = vendor->At(image, vicsAt + i);
    if (!vic) break;
    switch (*vic) {
      case 1:
        text += "4Kx2K@30Hz\r\n";
        break;
      case 2:
        text += "4Kx2K@25Hz\r\n";
        break;
      case 3:
        text += "4Kx2K@24Hz\r\n";
        break;
      case 4:
        text += "4Kx2K@24Hz(SMPTE)\r\n";
        break;
      default:
        break;
    }
  }
}

// Only the first block with tag 7 is looked at: when it is some other extended block,
// a 4:2:0 block after it is not searched for.
void AppendYcbcr420(const EdidImage& image, std::string& text) {
  const auto block = FindDataBlock(image, kExtendedTagBlock);
  if (!block || block->length == 0) return;
  const auto extendedTag = block->At(image, 1);
  if (!extendedTag) return;
  const size_t length = static_cast<size_t>(block->length);
  if (*extendedTag == 14) {
    text += "\r\nY420VDB Descripter :\r\n";
    for (size_t k = 2; k <= length; ++k) {
      const auto vic = block->At(image, k);
      if (!vic) break;
      if (*vic >= 1 && *vic <= kMaxNamedVic) {
        AppendVicName(text, *vic);
        text += "\r\n";
      }
    }
  } else if ((*extendedTag & 0x1F) == 15) {
    text += "\r\nY420CMDB Descripter :\r\n";
    if (length == 1) {
      text += "All SVDs do support YUV420\r\n";
      return;
    }
    // Bit j of bitmap byte i names SVD 8i + j of the block at extension offset 4.
    for (size_t i = 0; i + 2 <= length; ++i) {
      const auto bits = block->At(image, 2 + i);
      if (!bits) break;
      for (size_t j = 0; j < 8; ++j) {
        if (!(*bits >> j & 1)) continue;
        const auto svd = ByteAt(image, kFirstDataBlock + 1 + 8 * i + j);
        if (!svd) return;
        const int vic = *svd & 0x7F;
        if (vic >= 1 && vic <= kMaxNamedVic) {
          AppendVicName(text, vic);
          text += "\r\n";
        }
      }
    }
  }
}

void DecodeGeneral(const EdidImage& image, std::string& text) {
  text += "\r\n";
  AppendManufacturer(image, text);
  Append(text, "Product Code:%d\r\n", image[10] + 256 * image[11]);
  text += (image[20] & 0x80) ? "Video Signal Interface:Digtal\r\n"
                             : "Video Signal Interface:Analog\r\n";
  text += "Color Bit Depth:Reserved\r\n";
  AppendProductName(image, text);
  AppendRangeLimits(image, text);
  if (HasCeaExtension(image)) {
    AppendDeviceSupport(image, text);
    AppendNativeTimings(image, text);
    const auto vendor = FindDataBlock(image, kVendorBlock);
    AppendDeepColor(vendor, image, text);
    Append3dAnd4k(vendor, image, text);
  }
  // Made for every image, also without a CEA extension.
  AppendYcbcr420(image, text);
  text += "\r\n";
}

}  // namespace

bool EdidHeaderOk(const EdidImage& image) {
  static constexpr std::array<uint8_t, 8> kHeader = {0x00, 0xFF, 0xFF, 0xFF,
                                                     0xFF, 0xFF, 0xFF, 0x00};
  for (size_t i = 0; i < kHeader.size(); ++i) {
    if (image[i] != kHeader[i]) return false;
  }
  return true;
}

std::string EdidChecksumStatus(const EdidImage& image) {
  const bool bank0Ok = BankSum(image, 0) == 0;
  if (image[kExtensionCount] == 0) {
    // Bank 1 is not summed for a one-block EDID.
    return bank0Ok ? "DVI EDID" : "DVI EDID\rCheck sum error !";
  }
  std::string status = "HDMI EDID";
  if (!bank0Ok) status += "\rBank0 check sum error !";
  if (BankSum(image, kExtension) != 0) {
    status += "\rBank1 check sum error !";
  } else {
    status += bank0Ok ? "\rcheck sum Ok !" : "\rBank1 check sum Ok !";
  }
  return status;
}

EdidTexts ShowEdid(const EdidImage& image) {
  EdidTexts texts;
  if (!EdidHeaderOk(image)) {
    texts.status = "EDID data header error !";
    return texts;
  }
  texts.status = EdidChecksumStatus(image);
  texts.hex = FormatEdidHex(image);
  DecodeEdid(image, EdidSection::Video, texts.video);
  DecodeEdid(image, EdidSection::Audio, texts.audio);
  DecodeEdid(image, EdidSection::General, texts.general);
  return texts;
}

std::string FormatEdidHex(const EdidImage& image) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(kEdidSize * 3);
  for (const uint8_t byte : image) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
    hex += ' ';
  }
  return hex;
}

void DecodeEdid(const EdidImage& image, EdidSection section, std::string& text) {
  switch (section) {
    case EdidSection::Video:
      DecodeVideo(image, text);
      break;
    case EdidSection::Audio:
      DecodeAudio(image, text);
      break;
    case EdidSection::General:
      DecodeGeneral(image, text);
      break;
  }
}

}  // namespace sc
