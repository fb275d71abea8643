#include "sim/box_pictures.h"

#include <algorithm>
#include <functional>
#include <string_view>

namespace sc {

namespace {

constexpr Rgb kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                          {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
constexpr Rgb kSquare{255, 128, 0};

// The format's place among the presets (a format of its own gets one from its name).
int LookOf(const BoxSignal& signal) {
  const auto& presets = BoxSignalPresets();
  for (size_t i = 0; i < presets.size(); ++i)
    if (presets[i].name == signal.name) return static_cast<int>(i);
  return static_cast<int>(std::hash<std::string_view>{}(signal.name) % 16);
}

}  // namespace

BoxPicture PictureOf(const BoxSignal& signal, uint32_t phase) {
  BoxPicture picture;
  picture.phase = phase;
  if (!signal.Present()) return picture;
  // The format's own picture size, not the console's reading of the timing: a capture of
  // another size shows the console's decoding at fault.
  picture.width = signal.picture.width;
  picture.height = signal.picture.height;
  picture.look = LookOf(signal);
  return picture;
}

Rgb PicturePixel(const BoxPicture& picture, int x, int y) {
  const int w = picture.width, h = picture.height;
  if (w <= 0 || h <= 0 || x < 0 || y < 0 || x >= w || y >= h) return {};
  const int side = std::max(1, h / 5);
  const int squareY = h / 8;
  const int travel = std::max(1, w - side);
  const int squareX = static_cast<int>(
      (picture.phase * static_cast<uint32_t>(std::max(1, w / 24))) % static_cast<uint32_t>(travel));
  if (x >= squareX && x < squareX + side && y >= squareY && y < squareY + side) return kSquare;
  if (y < h * 2 / 3) {
    const int bar = static_cast<int>(static_cast<int64_t>(x) * 8 / w);
    return kBars[(bar + picture.look) % 8];
  }
  int level = w > 1 ? static_cast<int>(static_cast<int64_t>(x) * 255 / (w - 1)) : 0;
  if ((picture.look / 8) % 2 == 1) level = 255 - level;
  const auto v = static_cast<uint8_t>(level);
  return {v, v, v};
}

std::array<uint8_t, 2> PreviewPixelBytes(Rgb c) {
  return {static_cast<uint8_t>((c.b & 0xF8) | (c.g >> 5)),
          static_cast<uint8_t>(((c.g << 3) & 0xE0) | (c.r >> 3))};
}

std::vector<std::vector<uint8_t>> PreviewChunks(const BoxPicture& picture) {
  std::vector<uint8_t> pixels;
  pixels.reserve(kBoxPreviewWidth * kBoxPreviewHeight * 2);
  for (int row = 0; row < kBoxPreviewHeight; ++row) {
    for (int column = 0; column < kBoxPreviewWidth; ++column) {
      // The middle of the part of the picture the preview pixel stands for.
      const int x = static_cast<int>((2 * static_cast<int64_t>(column) + 1) * picture.width /
                                     (2 * kBoxPreviewWidth));
      const int y = static_cast<int>((2 * static_cast<int64_t>(row) + 1) * picture.height /
                                     (2 * kBoxPreviewHeight));
      const auto bytes = PreviewPixelBytes(PicturePixel(picture, x, y));
      pixels.insert(pixels.end(), bytes.begin(), bytes.end());
    }
  }
  std::vector<std::vector<uint8_t>> chunks;
  const size_t count = pixels.size() / kPreviewChunkBytes;
  for (size_t k = 0; k < count; ++k) {
    std::vector<uint8_t> payload = {static_cast<uint8_t>(k & 0xFF), static_cast<uint8_t>(k >> 8),
                                    static_cast<uint8_t>(k + 1 == count ? kPictureLineEnd : 0)};
    const auto from = pixels.begin() + static_cast<std::ptrdiff_t>(k * kPreviewChunkBytes);
    payload.insert(payload.end(), from, from + kPreviewChunkBytes);
    chunks.push_back(std::move(payload));
  }
  return chunks;
}

void FrameStream::Start(const BoxPicture& picture) {
  picture_ = picture;
  line_ = 0;
  offset_ = 0;
  chunk_ = 0;
  lineBytes_.clear();
  active_ = picture.width > 0 && picture.height > 0;
}

bool FrameStream::NextChunk(std::vector<uint8_t>& payload) {
  if (!active_) return false;
  const size_t lineSize = static_cast<size_t>(picture_.width) * 3;
  if (offset_ == 0) {
    lineBytes_.resize(lineSize);
    for (int x = 0; x < picture_.width; ++x) {
      const Rgb c = PicturePixel(picture_, x, line_);
      lineBytes_[3 * static_cast<size_t>(x)] = c.r;
      lineBytes_[3 * static_cast<size_t>(x) + 1] = c.g;
      lineBytes_[3 * static_cast<size_t>(x) + 2] = c.b;
    }
  }
  const size_t n = std::min(kFrameChunkBytes, lineSize - offset_);
  const bool endOfLine = offset_ + n == lineSize;
  const bool endOfFrame = endOfLine && line_ + 1 == picture_.height;
  uint8_t flags = 0;
  if (endOfLine) flags |= kPictureLineEnd;
  if (endOfFrame) flags |= kPictureFrameEnd;
  payload.assign(
      {static_cast<uint8_t>(chunk_ & 0xFF), static_cast<uint8_t>((chunk_ >> 8) & 0xFF), flags});
  const auto from = lineBytes_.begin() + static_cast<std::ptrdiff_t>(offset_);
  payload.insert(payload.end(), from, from + static_cast<std::ptrdiff_t>(n));
  ++chunk_;
  offset_ += n;
  if (endOfLine) {
    offset_ = 0;
    ++line_;
  }
  if (endOfFrame) active_ = false;
  return true;
}

}  // namespace sc
