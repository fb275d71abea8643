#include "cli/png_writer.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "timing/bitmap_writer.h"

namespace sc {

namespace {

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

uint32_t Crc32(const std::string& bytes, size_t from) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = from; i < bytes.size(); ++i)
    c = CrcTable()[(c ^ static_cast<uint8_t>(bytes[i])) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void PutBig32(std::string& out, uint32_t v) {
  out += static_cast<char>(v >> 24);
  out += static_cast<char>(v >> 16);
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBig32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out += type;
  out += data;
  PutBig32(out, Crc32(out, start));
}

// A zlib stream of stored deflate blocks.
std::string StoredZlib(const std::string& raw) {
  std::string z = "\x78\x01";
  uint32_t a = 1, b = 0;
  for (const char ch : raw) {
    a = (a + static_cast<uint8_t>(ch)) % 65521;
    b = (b + a) % 65521;
  }
  constexpr size_t kBlock = 65535;
  size_t pos = 0;
  do {
    const size_t n = std::min(kBlock, raw.size() - pos);
    const bool last = pos + n == raw.size();
    z += static_cast<char>(last ? 1 : 0);
    z += static_cast<char>(n & 0xFF);
    z += static_cast<char>(n >> 8);
    z += static_cast<char>(~n & 0xFF);
    z += static_cast<char>((~n >> 8) & 0xFF);
    z.append(raw, pos, n);
    pos += n;
  } while (pos < raw.size());
  PutBig32(z, b << 16 | a);
  return z;
}

}  // namespace

std::string EncodePng(int width, int height, const uint8_t* rgb) {
  std::string out = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutBig32(header, static_cast<uint32_t>(width));
  PutBig32(header, static_cast<uint32_t>(height));
  header += '\x08';                // 8 bits a sample
  header += '\x02';                // RGB
  header += std::string(3, '\0');  // deflate, adaptive filters, no interlace
  PutChunk(out, "IHDR", header);
  std::string raw;
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  raw.reserve((rowBytes + 1) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    raw += '\0';  // no filter
    raw.append(reinterpret_cast<const char*>(rgb) + static_cast<size_t>(y) * rowBytes, rowBytes);
  }
  PutChunk(out, "IDAT", StoredZlib(raw));
  PutChunk(out, "IEND", {});
  return out;
}

std::string EncodePreviewPng(const PreviewImage& preview) {
  std::array<uint8_t, kPreviewWidth * kPreviewHeight * 3> rgb{};
  for (size_t k = 0; k < static_cast<size_t>(kPreviewWidth * kPreviewHeight); ++k) {
    rgb[3 * k] = preview[3 * k + 2];
    rgb[3 * k + 1] = preview[3 * k + 1];
    rgb[3 * k + 2] = preview[3 * k];
  }
  return EncodePng(kPreviewWidth, kPreviewHeight, rgb.data());
}

std::string EncodePreviewBmp(const PreviewImage& preview) {
  const auto header = BitmapHeader(kPreviewWidth, kPreviewHeight);
  const size_t stride = BitmapRowStride(kPreviewWidth);
  std::string bmp(header.begin(), header.end());
  bmp.resize(header.size() + stride * kPreviewHeight, '\0');
  // Rows bottom first; the preview's pixels are blue, green, red already.
  for (int row = 0; row < kPreviewHeight; ++row) {
    const uint8_t* from =
        preview.data() + static_cast<size_t>(kPreviewHeight - 1 - row) * kPreviewWidth * 3;
    std::copy_n(from, kPreviewWidth * 3,
                bmp.begin() + static_cast<std::ptrdiff_t>(header.size() + stride * row));
  }
  return bmp;
}

std::optional<PreviewFormat> PreviewFormatOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return PreviewFormat::kPng;
  std::string extension = name.substr(dot + 1);
  for (char& c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "png") return PreviewFormat::kPng;
  if (extension == "bmp") return PreviewFormat::kBmp;
  return std::nullopt;
}

}  // namespace sc
