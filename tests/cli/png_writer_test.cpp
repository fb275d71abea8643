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

}  // namespace
}  // namespace sc
