#pragma once
// A device server that cannot give us its serial port often says so in words and hangs
// up: ser2net writes "Port already in use\r\n" (or "Port's device already in use\r\n")
// and closes. Those words must not reach the reply parser as if the box had sent them,
// and the person should hear "in use", not "the line went away".
//
// The box itself never speaks first and every frame of it begins with 0xAB, so until the
// first byte that is not plain text arrives, what comes from the network is held back
// (at most kMaxBanner bytes). A byte that is not text, or more text than a banner has,
// lets everything held go on as data; a connection that ends while only text was held
// ended with a banner. Only the start of a connection is watched: once data has gone on,
// nothing is held again.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sc {

class BannerGuard {
 public:
  static constexpr size_t kMaxBanner = 256;

  // Takes bytes from the network in order; returns those that may go on now (held
  // bytes first).
  std::vector<uint8_t> Take(const uint8_t* bytes, size_t count);
  // The connection ended: the banner's text (its first line, printable characters only,
  // white space trimmed), or nothing when it did not end with one.
  std::optional<std::string> EndedWithBanner() const;
  // Whether bytes are still being held.
  bool holding() const { return watching_ && !held_.empty(); }

 private:
  bool watching_ = true;
  std::vector<uint8_t> held_;
};

// Printable ASCII, tab, CR or LF.
bool IsBannerText(uint8_t byte);

}  // namespace sc
