#pragma once
// Builds EDID images for the tests: a valid base block with one 1080p60 timing, and on
// request a CEA extension whose data blocks and detailed timings are laid out in order.
// Raw byte overrides are applied last, then both checksums are fixed (unless told not to).

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "edid/edid_decoder.h"

namespace sc::test {

struct DetailedTiming {
  unsigned clock = 14850;  // 10 kHz units
  unsigned hActive = 1920;
  unsigned hBlank = 280;
  unsigned vActive = 1080;
  unsigned vBlank = 45;
  bool interlaced = false;
};

// Writes the descriptor at image offset at; bytes that would lie past the image are dropped.
inline void PutTiming(EdidImage& image, size_t at, const DetailedTiming& t) {
  uint8_t d[18] = {};
  d[0] = static_cast<uint8_t>(t.clock & 0xFF);
  d[1] = static_cast<uint8_t>(t.clock >> 8);
  d[2] = static_cast<uint8_t>(t.hActive & 0xFF);
  d[3] = static_cast<uint8_t>(t.hBlank & 0xFF);
  d[4] = static_cast<uint8_t>((t.hActive >> 8) << 4 | (t.hBlank >> 8));
  d[5] = static_cast<uint8_t>(t.vActive & 0xFF);
  d[6] = static_cast<uint8_t>(t.vBlank & 0xFF);
  d[7] = static_cast<uint8_t>((t.vActive >> 8) << 4 | (t.vBlank >> 8));
  d[17] = t.interlaced ? 0x9E : 0x1E;
  for (size_t i = 0; i < 18 && at + i < image.size(); ++i)
    image[at + i] = d[i];
}

inline uint8_t ChecksumFor(const EdidImage& image, size_t bank) {
  unsigned sum = 0;
  for (size_t i = bank; i < bank + 127; ++i)
    sum += image[i];
  return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

class EdidBuilder {
 public:
  EdidBuilder() {
    image_.fill(0);
    const uint8_t header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    for (size_t i = 0; i < 8; ++i)
      image_[i] = header[i];
    image_[8] = 0x4C;  // "SAM"
    image_[9] = 0x2D;
    image_[10] = 0x01;
    image_[11] = 0x0C;
    image_[18] = 1;
    image_[19] = 3;
    image_[20] = 0x80;  // digital
    PutTiming(image_, 54, DetailedTiming{});
  }

  // Base block
  EdidBuilder& Timing(size_t at, const DetailedTiming& t) {
    PutTiming(image_, at, t);
    return *this;
  }
  EdidBuilder& Descriptor(size_t at, uint8_t tag, std::vector<uint8_t> body) {
    for (size_t i = 0; i < 18; ++i)
      image_[at + i] = 0;
    image_[at + 3] = tag;
    for (size_t i = 0; i < body.size() && i < 13; ++i)
      image_[at + 5 + i] = body[i];
    return *this;
  }
  EdidBuilder& Name(size_t at, std::string_view name) {
    std::vector<uint8_t> body(name.begin(), name.end());
    if (body.size() < 13) body.push_back(0x0A);
    while (body.size() < 13)
      body.push_back(' ');
    return Descriptor(at, 0xFC, body);
  }
  EdidBuilder& RangeLimits(size_t at, uint8_t vMin, uint8_t vMax, uint8_t hMin, uint8_t hMax,
                           uint8_t clockTens) {
    return Descriptor(at, 0xFD, {vMin, vMax, hMin, hMax, clockTens, 0x00, 0x0A});
  }

  // CEA extension: byte 126 = 1, tag 2, revision 3, byte 131 = flags. Blocks follow from
  // extension offset 4, then d, then the extension's detailed timings.
  EdidBuilder& Cea(uint8_t flags = 0x70) {
    cea_ = true;
    flags_ = flags;
    return *this;
  }
  EdidBuilder& Block(int tag, std::vector<uint8_t> payload) {
    cea_ = true;
    blocks_.push_back({tag, std::move(payload)});
    return *this;
  }
  EdidBuilder& ExtendedBlock(uint8_t extendedTag, std::vector<uint8_t> payload) {
    payload.insert(payload.begin(), extendedTag);
    return Block(7, std::move(payload));
  }
  EdidBuilder& ExtensionTiming(const DetailedTiming& t) {
    cea_ = true;
    extensionTimings_.push_back(t);
    return *this;
  }

  // Raw bytes, applied after the layout.
  EdidBuilder& Set(size_t offset, uint8_t value) {
    overrides_.push_back({offset, value});
    return *this;
  }
  EdidBuilder& KeepChecksums() {
    fixChecksums_ = false;
    return *this;
  }

  EdidImage Build() const {
    EdidImage image = image_;
    if (cea_) {
      image[126] = 1;
      image[128] = 2;
      image[129] = 3;
      image[131] = flags_;
      size_t at = 132;
      for (const auto& [tag, payload] : blocks_) {
        image[at++] = static_cast<uint8_t>(tag << 5 | (payload.size() & 0x1F));
        for (const uint8_t byte : payload)
          image[at++] = byte;  // tests keep blocks short
      }
      image[130] = static_cast<uint8_t>(at - 128);
      for (const DetailedTiming& t : extensionTimings_) {
        PutTiming(image, at, t);
        at += 18;
      }
    }
    for (const auto& [offset, value] : overrides_)
      image[offset] = value;
    if (fixChecksums_) {
      image[127] = ChecksumFor(image, 0);
      image[255] = ChecksumFor(image, 128);
    }
    return image;
  }

 private:
  EdidImage image_{};
  bool cea_ = false;
  uint8_t flags_ = 0x70;
  std::vector<std::pair<int, std::vector<uint8_t>>> blocks_;
  std::vector<DetailedTiming> extensionTimings_;
  std::vector<std::pair<size_t, uint8_t>> overrides_;
  bool fixChecksums_ = true;
};

inline std::string Report(const EdidImage& image, EdidSection section) {
  std::string text;
  DecodeEdid(image, section, text);
  return text;
}

// The lines of a report (CR LF removed), for checks that look at single lines.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

}  // namespace sc::test
