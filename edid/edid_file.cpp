#include "edid/edid_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <variant>

#include "storage/numbered_file.h"

namespace sc {
namespace {

constexpr int kEnd = -1;

// Characters from a string, for ScanHexNumber.
class StringSource {
 public:
  explicit StringSource(std::string_view text) : text_(text) {}
  int Peek() const { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : kEnd; }
  void Advance() { ++pos_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Characters from an open file, read in small pieces and never more than limit bytes in
// all, so only what the numbers need is read.
class FileSource {
 public:
  FileSource(int fd, size_t limit) : fd_(fd), limit_(limit) {}
  int Peek() {
    if (pos_ == filled_ && !Fill()) return kEnd;
    return static_cast<unsigned char>(buffer_[pos_]);
  }
  void Advance() { ++pos_; }
  int error() const { return error_; }

 private:
  bool Fill() {
    if (ended_) return false;
    const size_t room = std::min(sizeof buffer_, limit_ - total_);
    ssize_t n = 0;
    do {
      n = room == 0 ? 0 : ::read(fd_, buffer_, room);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
      if (n < 0) error_ = errno;
      ended_ = true;
      return false;
    }
    total_ += static_cast<size_t>(n);
    filled_ = static_cast<size_t>(n);
    pos_ = 0;
    return true;
  }

  int fd_;
  size_t limit_;
  size_t total_ = 0;
  char buffer_[4096];
  size_t filled_ = 0;
  size_t pos_ = 0;
  bool ended_ = false;
  int error_ = 0;
};

bool IsSpace(int c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One number the way scanf's "%x" reads it: white space, an optional sign, an optional
// 0x or 0X, then every hex digit that follows. Only the low 8 bits are kept, so a long run
// of digits cannot overflow. "0x" with no digit after it reads as 0.
template <class Source>
std::optional<uint8_t> ScanHexNumber(Source& in) {
  int c = in.Peek();
  while (c != kEnd && IsSpace(c)) {
    in.Advance();
    c = in.Peek();
  }
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    in.Advance();
    c = in.Peek();
  }
  bool digits = false;
  unsigned value = 0;
  if (c == '0') {
    digits = true;
    in.Advance();
    c = in.Peek();
    if (c == 'x' || c == 'X') {
      in.Advance();
      c = in.Peek();
    }
  }
  for (int digit = HexValue(c); c != kEnd && digit >= 0; digit = HexValue(c)) {
    value = (value << 4 | static_cast<unsigned>(digit)) & 0xFF;
    digits = true;
    in.Advance();
    c = in.Peek();
  }
  if (!digits) return std::nullopt;
  if (negative) value = (0u - value) & 0xFF;
  return static_cast<uint8_t>(value);
}

// Reads numbers into out[0], out[1], ... up to out.size(); returns the count read.
template <class Source>
size_t ScanHexNumbers(Source& in, std::span<uint8_t> out) {
  size_t count = 0;
  while (count < out.size()) {
    const auto value = ScanHexNumber(in);
    if (!value) break;
    out[count++] = *value;
  }
  return count;
}

// The extension: what follows the last dot of the file's name ("" when there is none).
std::string_view Extension(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

EdidLoadResult ReadFailure(EdidImage& image, std::string detail) {
  image.fill(0xFF);
  EdidLoadResult result;
  result.status = EdidLoadStatus::ReadFailed;
  result.message = kEdidFileReadFailed;
  result.detail = std::move(detail);
  return result;
}

// Reads up to count bytes; returns how many, or -1 on an I/O error (errno set).
ssize_t ReadUpTo(int fd, uint8_t* out, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, out + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

// Writes bytes under the first free "TQ_EDID%02d.<extension>" of directory, or over
// number 99 when all are taken. Returns the name written, or the message of a failure.
std::variant<std::string, std::string> WriteEdidFile(const std::string& directory,
                                                     const char* extension,
                                                     std::string_view bytes) {
  using Result = std::variant<std::string, std::string>;
  const std::string pattern = std::string("TQ_EDID%02d.") + extension;
  const NumberedFileResult written = WriteNumberedFile(directory, pattern.c_str(), bytes);
  if (!written.ok()) return Result(std::in_place_index<1>, written.FailureMessage());
  return Result(std::in_place_index<0>, written.name);
}

}  // namespace

size_t ParseEdidText(std::string_view text, EdidImage& image) {
  StringSource source(text);
  return ScanHexNumbers(source, image);
}

EdidLoadResult LoadEdidFile(const std::string& path, EdidImage& image) {
  image.fill(0xFF);
  // Non-blocking, so that a FIFO cannot hold the window at the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return ReadFailure(image, std::strerror(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return ReadFailure(image, std::strerror(error));
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return ReadFailure(image, S_ISDIR(info.st_mode) ? "is a directory" : "not a regular file");
  }

  EdidLoadResult result;
  const std::string_view extension = Extension(path);
  if (extension == "txt") {
    FileSource source(fd, kMaxEdidTextFileBytes);
    result.bytesRead = ScanHexNumbers(source, image);
    if (source.error() != 0) {
      const int error = source.error();
      ::close(fd);
      return ReadFailure(image, std::strerror(error));
    }
  } else if (extension == "bin") {
    const ssize_t n = ReadUpTo(fd, image.data(), image.size());
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      return ReadFailure(image, std::strerror(error));
    }
    result.bytesRead = static_cast<size_t>(n);
  } else {
    result.status = EdidLoadStatus::NotBinOrTxt;
    result.message = kEdidNotBinOrTxt;
  }
  ::close(fd);
  return result;
}

EdidBytesResult LoadEdidBytes(const std::string& path) {
  EdidBytesResult result;
  auto failure = [&](std::string detail) {
    result.status = EdidLoadStatus::ReadFailed;
    result.message = kEdidFileReadFailed;
    result.detail = std::move(detail);
    result.bytes.clear();
    return result;
  };
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return failure(std::strerror(errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return failure(std::strerror(error));
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return failure(S_ISDIR(info.st_mode) ? "is a directory" : "not a regular file");
  }
  // One byte more than the most that is kept tells whether the file holds more.
  std::vector<uint8_t> bytes(kMaxEdidFileBytes + 1);
  size_t count = 0;
  const std::string_view extension = Extension(path);
  if (extension == "txt") {
    FileSource source(fd, kMaxEdidTextFileBytes);
    count = ScanHexNumbers(source, std::span<uint8_t>(bytes));
    if (source.error() != 0) {
      const int error = source.error();
      ::close(fd);
      return failure(std::strerror(error));
    }
  } else if (extension == "bin") {
    const ssize_t n = ReadUpTo(fd, bytes.data(), bytes.size());
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      return failure(std::strerror(error));
    }
    count = static_cast<size_t>(n);
  } else {
    result.status = EdidLoadStatus::NotBinOrTxt;
    result.message = kEdidNotBinOrTxt;
  }
  ::close(fd);
  result.more = count > kMaxEdidFileBytes;
  bytes.resize(std::min(count, kMaxEdidFileBytes));
  if (result.ok()) result.bytes = std::move(bytes);
  return result;
}

std::string FormatEdidTextFile(const EdidImage& image) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(784);
  for (size_t i = 0; i < image.size(); ++i) {
    text += kDigits[image[i] >> 4];
    text += kDigits[image[i] & 0x0F];
    text += (i % 16 == 15) ? "\r\n" : " ";
  }
  return text;
}

std::string FirstFreeEdidFileName(const std::string& directory, const char* extension) {
  return FirstFreeNumberedName(directory, (std::string("TQ_EDID%02d.") + extension).c_str());
}

EdidSaveResult SaveEdidFiles(const EdidImage& image, const std::string& directory) {
  EdidSaveResult result;
  // Each file takes its own first free number.
  auto text = WriteEdidFile(directory, "txt", FormatEdidTextFile(image));
  if (text.index() == 1) {
    result.message = std::get<1>(text);
    return result;
  }
  result.textFile = std::get<0>(text);

  const std::string_view raw(reinterpret_cast<const char*>(image.data()), image.size());
  auto binary = WriteEdidFile(directory, "bin", raw);
  if (binary.index() == 1) {
    result.message = std::get<1>(binary);
    return result;
  }
  result.binaryFile = std::get<0>(binary);
  const std::string& textName = result.textFile;
  const std::string& binaryName = result.binaryFile;
  result.ok = true;
  result.message = std::string(kEdidSavedPrefix) + textName + " and " + binaryName;
  return result;
}

}  // namespace sc
