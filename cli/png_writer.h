#pragma once
// A PNG of an 8-bit RGB picture, written without compression (the deflate stream is made of
// stored blocks): the 96 x 64 preview is 18 kB either way, and any viewer reads it.

#include <cstdint>
#include <optional>
#include <string>

#include "timing/frame_capture.h"

namespace sc {

// `rgb` holds width x height pixels, three bytes each (red, green, blue), top row first.
std::string EncodePng(int width, int height, const uint8_t* rgb);

// The preview as frame capture keeps it (blue, green, red a pixel) as a PNG.
std::string EncodePreviewPng(const PreviewImage& preview);
// The same as a Windows bitmap, as frame capture writes its pictures.
std::string EncodePreviewBmp(const PreviewImage& preview);

enum class PreviewFormat { kPng, kBmp };
// The format a file name asks for: .bmp (any case) a bitmap, .png or no extension a PNG;
// nothing for any other extension.
std::optional<PreviewFormat> PreviewFormatOf(const std::string& path);

}  // namespace sc
