#pragma once
// The pictures the simulated box sends of what it receives: a 96 x 64 preview in 16-bit
// colour (chunks of reply 0x8095) and the whole active frame at 24 bits a pixel, line by
// line (chunks of reply 0x8094). The picture is eight colour bars over a grey ramp, with an
// orange square that moves on each time a picture is taken, so successive previews differ;
// each format has its own order of bars and direction of ramp, so a new format shows.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/box_signal.h"

namespace sc {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// What one picture shows.
struct BoxPicture {
  int width = 0;   // pixels a line, as the Timing page shows the format
  int height = 0;  // lines
  int look = 0;    // the format's bar order (look % 8) and ramp direction (look / 8 odd: falling)
  uint32_t phase = 0;  // where the square is: it moves with every picture taken
};

// The picture of the signal the box receives (black, 0 x 0, when there is none).
BoxPicture PictureOf(const BoxSignal& signal, uint32_t phase);
Rgb PicturePixel(const BoxPicture& picture, int x, int y);

// Chunk layout: two bytes (the chunk's number from 0, little-endian, so both are zero in
// the first chunk), the flags, then the picture bytes.
inline constexpr uint8_t kPictureLineEnd = 0x40;   // end of a line, or of the preview
inline constexpr uint8_t kPictureFrameEnd = 0x80;  // end of the frame
inline constexpr size_t kPreviewChunkBytes = 192;
inline constexpr size_t kFrameChunkBytes = 180;
inline constexpr int kBoxPreviewWidth = 96;
inline constexpr int kBoxPreviewHeight = 64;

// A preview pixel as the box sends it: 5 bits blue, 6 green, 5 red, high byte first
// (hi = BBBBBGGG, lo = GGGRRRRR).
std::array<uint8_t, 2> PreviewPixelBytes(Rgb colour);
// The payloads of the preview's 64 chunks: the picture sampled at 96 x 64, the last chunk
// flagged as the end.
std::vector<std::vector<uint8_t>> PreviewChunks(const BoxPicture& picture);

// The whole frame, chunk by chunk, made as the line takes them (a 1920 x 1080 frame is
// 34,560 chunks; it is never held whole). Each line is sent in chunks of 180 bytes, the
// last one shorter when the line's bytes are not a multiple of 180 and flagged as the end
// of the line; the frame's last chunk also carries the end of the frame.
class FrameStream {
 public:
  void Start(const BoxPicture& picture);
  void Stop() { active_ = false; }
  bool active() const { return active_; }
  // The next chunk's payload; false (and the stream over) when the frame has gone out.
  bool NextChunk(std::vector<uint8_t>& payload);
  uint32_t chunksSent() const { return chunk_; }

 private:
  BoxPicture picture_;
  bool active_ = false;
  int line_ = 0;
  size_t offset_ = 0;  // bytes of the current line already sent
  uint32_t chunk_ = 0;
  std::vector<uint8_t> lineBytes_;  // the current line, red, green, blue a pixel
};

}  // namespace sc
