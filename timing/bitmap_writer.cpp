#include "timing/bitmap_writer.h"

#include "storage/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>
#include <vector>

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

std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

bool NameExists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

std::string NumberedName(const char* pattern, int number) {
  char name[64];
  std::snprintf(name, sizeof name, pattern, number);
  return name;
}

// A fresh file beside the one it will become, that nothing else writes (mode 0666 less
// the umask). Returns the descriptor or -1 with errno set.
// Writes bytes, retrying short writes; 0 or the errno of the failure (ENOSPC for a write
// that makes no progress).
int WriteAll(int fd, const uint8_t* bytes, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, bytes + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    done += static_cast<size_t>(n);
  }
  return 0;
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

std::string FirstFreeNumberedName(const std::string& directory, const char* pattern) {
  for (int n = 0; n < 100; ++n) {
    std::string name = NumberedName(pattern, n);
    if (!NameExists(JoinPath(directory, name))) return name;
  }
  return NumberedName(pattern, 99);
}

BitmapSaveResult SaveNumberedBitmap(const std::string& directory, const char* pattern, int width,
                                    int height, const BitmapRowFiller& fillRow) {
  const size_t stride = BitmapRowStride(width);
  if (width <= 0 || height <= 0) return Failure("No image data to save");
  if (stride * static_cast<size_t>(height) >
      std::numeric_limits<uint32_t>::max() - kBitmapHeaderSize)
    return Failure("The image is too large for a bitmap file");

  // What a killed save of this kind left behind goes now.
  const std::string kind(pattern, std::string_view(pattern).find('%'));
  RemoveStaleTemporariesIn(directory, kind);
  std::string name = FirstFreeNumberedName(directory, pattern);
  // All hundred taken: number 99 is replaced only if it is a regular file, never a FIFO
  // (the window would wait on it), a device or a link whose target would be written.
  struct stat at {};
  if (::lstat(JoinPath(directory, name).c_str(), &at) == 0 && !S_ISREG(at.st_mode))
    return Failure(kBitmapCreateFailed);
  std::string tempPath;
  const int fd = CreateTemporaryBeside(JoinPath(directory, name), tempPath);
  if (fd < 0) return Failure(kBitmapCreateFailed);
  if (!NameExists(tempPath)) {
    ::close(fd);
    return Failure(kBitmapMissingAfterCreate);
  }

  // Rows go out in batches of about 256 kB.
  const auto header = BitmapHeader(width, height);
  int error = WriteAll(fd, header.data(), header.size());
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
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  // A new name is taken only if it is still free (another save may have taken it: the
  // next free one then); number 99 is replaced only if it is a regular file.
  for (int attempt = 0; error == 0 && attempt < 100; ++attempt) {
    const bool taken = NameExists(JoinPath(directory, name));
    error = PlaceTemporary(tempPath, JoinPath(directory, name), taken);
    if (error != EEXIST || taken) break;
    error = 0;
    name = FirstFreeNumberedName(directory, pattern);
  }
  if (error != 0) {
    ::unlink(tempPath.c_str());
    return Failure("Failed to write " + name + " (" + std::strerror(error) + ")");
  }
  BitmapSaveResult result;
  result.ok = true;
  result.fileName = name;
  result.message = std::string(kImageSavedPrefix) + name;
  return result;
}

}  // namespace sc
