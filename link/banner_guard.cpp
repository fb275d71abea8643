#include "link/banner_guard.h"

namespace sc {

bool IsBannerText(uint8_t byte) {
  return (byte >= 0x20 && byte <= 0x7E) || byte == '\t' || byte == '\r' || byte == '\n';
}

std::vector<uint8_t> BannerGuard::Take(const uint8_t* bytes, size_t count) {
  if (!watching_) return {bytes, bytes + count};
  size_t i = 0;
  while (i < count && IsBannerText(bytes[i]) && held_.size() < kMaxBanner)
    held_.push_back(bytes[i++]);
  if (i == count && held_.size() < kMaxBanner) return {};
  // Not a banner: what was held goes on, in order, with the rest.
  watching_ = false;
  std::vector<uint8_t> out;
  out.swap(held_);
  out.insert(out.end(), bytes + i, bytes + count);
  return out;
}

std::optional<std::string> BannerGuard::EndedWithBanner() const {
  if (!watching_) return std::nullopt;
  std::string line;
  for (uint8_t b : held_) {
    if (b == '\r' || b == '\n') {
      if (!line.empty()) break;
      continue;
    }
    line.push_back(b == '\t' ? ' ' : static_cast<char>(b));
  }
  while (!line.empty() && line.back() == ' ')
    line.pop_back();
  size_t start = line.find_first_not_of(' ');
  if (start == std::string::npos) return std::nullopt;
  return line.substr(start);
}

}  // namespace sc
