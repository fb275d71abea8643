// PNGs as another reader (ImageMagick) sees them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "cli/png_writer.h"
#include "tests/support/temp_dir.h"

namespace sc {
namespace {

// A picture whose raw rows (with their filter bytes) need three stored deflate blocks of
// at most 65535 bytes: block ends fall inside rows and pixels.
TEST(PngWriterTest, APictureLargerThanOneStoredBlockReadsBackWhole) {
  constexpr int kWidth = 301, kHeight = 170;  // 153,680 bytes of rows
  std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
  for (size_t i = 0; i < rgb.size(); ++i)
    rgb[i] = static_cast<uint8_t>(i * 7 + i / 1001);
  TempDir dir;
  const std::string path = dir / "big.png";
  std::ofstream(path, std::ios::binary) << EncodePng(kWidth, kHeight, rgb.data());

  const std::string command = "convert '" + path + "' -depth 8 rgb:- 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::vector<uint8_t> read;
  uint8_t buffer[8192];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
    read.insert(read.end(), buffer, buffer + n);
  ASSERT_EQ(WEXITSTATUS(::pclose(pipe.release())), 0);
  EXPECT_TRUE(read == rgb) << read.size() << " bytes read";
}

std::vector<uint8_t> ReadRgb(const std::string& path) {
  const std::string command = "convert '" + path + "' -depth 8 rgb:- 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::vector<uint8_t> read;
  uint8_t buffer[8192];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
    read.insert(read.end(), buffer, buffer + n);
  return read;
}

// "preview -o p.bmp" writes the bitmap its name promises, with the same pixels as the PNG.
TEST(PngWriterTest, ThePreviewAsBitmapHasThePngsPixels) {
  PreviewImage preview{};
  for (size_t i = 0; i < preview.size(); ++i)
    preview[i] = static_cast<uint8_t>(i * 13 + i / 288);
  TempDir dir;
  std::ofstream(dir / "p.png", std::ios::binary) << EncodePreviewPng(preview);
  std::ofstream(dir / "p.bmp", std::ios::binary) << EncodePreviewBmp(preview);
  const std::vector<uint8_t> png = ReadRgb(dir / "p.png");
  ASSERT_EQ(png.size(), preview.size());
  EXPECT_TRUE(ReadRgb(dir / "p.bmp") == png);

  const std::pair<const char*, std::optional<PreviewFormat>> names[] = {
      {"p.png", PreviewFormat::kPng},
      {"P.BMP", PreviewFormat::kBmp},
      {"dir.x/p", PreviewFormat::kPng},
      {"p.jpg", std::nullopt}};
  for (const auto& [name, format] : names)
    EXPECT_EQ(PreviewFormatOf(name), format) << name;
}

}  // namespace
}  // namespace sc
