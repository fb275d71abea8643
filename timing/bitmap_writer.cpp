#include "timing/bitmap_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

#include "storage/numbered_file.h"
#include "storage/safe_file.h"

namespace sc {

namespace {

void PutLe16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    at[i] = static_cast<uint8_t>(value >> (8 * i));
}

BitmapSaveResult Failure(std::string message) {
  BitmapSaveResult result;
  result.message = std::move(message);
  return result;
}

}  // namespace

size_t BitmapRowStride(int width) {
  if (width <= 0) return 0;
  return (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
}

std::array<uint8_t, kBitmapHeaderSize> BitmapHeader(int width, int height) {
  std::array<uint8_t, kBitmapHeaderSize> h{};
  const auto imageSize =
      static_cast<uint32_t>(BitmapRowStride(width) * static_cast<size_t>(height > 0 ? height : 0));
  h[0] = 'B';
  h[1] = 'M';
  PutLe32(&h[2], static_cast<uint32_t>(kBitmapHeaderSize) + imageSize);
  PutLe32(&h[10], static_cast<uint32_t>(kBitmapHeaderSize));
  PutLe32(&h[14], 40);
  PutLe32(&h[18], static_cast<uint32_t>(width));
  PutLe32(&h[22], static_cast<uint32_t>(height));
  PutLe16(&h[26], 1);
  PutLe16(&h[28], 24);
  PutLe32(&h[34], imageSize);
  PutLe32(&h[38], kBitmapPixelsPerMetre);
  PutLe32(&h[42], kBitmapPixelsPerMetre);
  return h;
}

namespace {

// The header and the rows, into an open file; 0 or an errno.
int WriteBitmap(int fd, int width, int height, const BitmapRowFiller& fillRow) {
  const size_t stride = BitmapRowStride(width);
  const auto header = BitmapHeader(width, height);
  int error = WriteAll(fd, header.data(), header.size());
  // Rows go out in batches of about 256 kB.
  const size_t rowsPerBatch = std::max<size_t>(1, (256 * 1024) / stride);
  std::vector<uint8_t> batch;
  for (int row = 0; row < height && error == 0;) {
    const int rows = static_cast<int>(std::min<size_t>(rowsPerBatch, height - row));
    batch.assign(stride * static_cast<size_t>(rows), 0);
    for (int k = 0; k < rows; ++k)
      fillRow(row + k, batch.data() + stride * static_cast<size_t>(k));
    error = WriteAll(fd, batch.data(), batch.size());
    row += rows;
  }
  return error;
}

// Why a picture of this size cannot be written, or "".
std::string SizeProblem(int width, int height) {
  if (width <= 0 || height <= 0) return "No image data to save";
  if (BitmapRowStride(width) * static_cast<size_t>(height) >
      std::numeric_limits<uint32_t>::max() - kBitmapHeaderSize)
    return "The image is too large for a bitmap file";
  return {};
}

}  // namespace

BitmapSaveResult SaveNumberedBitmap(const std::string& directory, const char* pattern, int width,
                                    int height, const BitmapRowFiller& fillRow) {
  if (std::string problem = SizeProblem(width, height); !problem.empty())
    return Failure(std::move(problem));
  const NumberedFileResult written = WriteNumberedFile(
      directory, pattern, [&](int fd) { return WriteBitmap(fd, width, height, fillRow); });
  if (!written.ok()) return Failure(written.FailureMessage());
  BitmapSaveResult result;
  result.ok = true;
  result.fileName = written.name;
  result.message = std::string(kImageSavedPrefix) + written.name;
  return result;
}

BitmapSaveResult SaveBitmapTo(const std::string& path, int width, int height,
                              const BitmapRowFiller& fillRow) {
  if (std::string problem = SizeProblem(width, height); !problem.empty())
    return Failure(std::move(problem));
  auto failed = [&](int error) {
    return Failure("Failed to write " + path + " (" +
                   (error == EEXIST ? "not a regular file" : std::strerror(error)) + ")");
  };
  RemoveStaleTemporaries(path);
  std::string temporary;
  const int fd = CreateTemporaryBeside(path, temporary);
  if (fd < 0) return failed(errno);
  int error = WriteBitmap(fd, width, height, fillRow);
  if (!error && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (!error) error = PlaceTemporary(temporary, path, true);
  if (error) {
    ::unlink(temporary.c_str());
    return failed(error);
  }
  BitmapSaveResult result;
  result.ok = true;
  result.fileName = path;
  return result;
}

}  // namespace sc
