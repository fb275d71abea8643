#pragma once
// The Windows bitmaps frame capture saves: a 14-byte file header and a 40-byte information
// header (little-endian), then the rows bottom first, three bytes a pixel (blue, green,
// red), each row padded with zeros to a multiple of four bytes.
//
// Files take the first number 00..99 of their pattern that no file in the directory has
// ("IMAGEFULL_BMP%02d.BMP"); when all hundred exist, 99 is overwritten. A file is written
// under a temporary name beside its own and renamed into place once all of it is on disk,
// so a failed save never leaves a half-written bitmap, nor touches the file it would have
// replaced.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "storage/numbered_file.h"

namespace sc {

inline constexpr char kFrameBitmapPattern[] = "IMAGEFULL_BMP%02d.BMP";
inline constexpr char kLineChartPattern[] = "RGBline_BMP%02d.BMP";

// The messages of a save.
inline constexpr const char* kBitmapCreateFailed = kCreateFailedMessage;
inline constexpr const char* kBitmapMissingAfterCreate = kMissingAfterCreateMessage;
// Pictures go to the current folder; the name is shown as a Linux user reads it there.
inline constexpr char kImageSavedPrefix[] = "Save image data to ./";

inline constexpr size_t kBitmapHeaderSize = 54;
// 3780 pixels a metre (96 dots an inch) both ways.
inline constexpr uint32_t kBitmapPixelsPerMetre = 3780;

// Bytes of one row: width x 3 rounded up to a multiple of 4.
size_t BitmapRowStride(int width);
std::array<uint8_t, kBitmapHeaderSize> BitmapHeader(int width, int height);

struct BitmapSaveResult {
  bool ok = false;
  std::string message;   // "Save image data to ./NAME", or why nothing was saved
  std::string fileName;  // the name written, empty on failure
};

// Fills one file row (BitmapRowStride(width) bytes, already zeroed): row 0 is the bottom
// row of the picture.
using BitmapRowFiller = std::function<void(int fileRow, uint8_t* row)>;

// Saves a width x height bitmap under the first free name of pattern in directory.
// Failures: "Faild to create file" when the file cannot be created, "failed" when it is
// missing right after creation, "Failed to write NAME (reason)" when its bytes do not all
// reach the disk or it cannot take its name.
BitmapSaveResult SaveNumberedBitmap(const std::string& directory, const char* pattern, int width,
                                    int height, const BitmapRowFiller& fillRow);
// Saves a bitmap at `path`, replacing a regular file there (the way every file is
// written: whole before it takes the name). Success says nothing (message ""); a failure
// says "Failed to write PATH (reason)".
BitmapSaveResult SaveBitmapTo(const std::string& path, int width, int height,
                              const BitmapRowFiller& fillRow);

}  // namespace sc
