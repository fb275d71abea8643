// What a network port brings in that is this program's own to read: the start of a
// connection through the BannerGuard (a device server's words held from the parser, the
// rest passed on whole and in order), and the names of network ports, typed or read from
// network-ports.conf (whole names only: they go into the stream library's connection
// string).
//
// Input: byte 0 chooses. 0..3: the rest comes off the network, split into pieces whose
// lengths the bytes of a second input part give (the first byte after the mode is that
// part's length); 4: the rest is an address as typed; 5: the rest is a map file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/banner_guard.h"
#include "link/network_address.h"
#include "link/network_port_map.h"

namespace {

void Check(bool holds) {
  if (!holds) std::abort();
}

// A name that passed may hold nothing that means something in a connection string.
void CheckAddress(const sc::NetworkAddress& a) {
  Check(a.port >= 1 && a.port <= 65535);
  Check(!a.host.empty() && a.host.size() <= 253);
  for (char c : a.host)
    Check((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
          c == '.' || (a.ipv6 && c == ':'));
  const auto again = sc::ParseNetworkAddress(sc::FormatNetworkAddress(a));
  Check(again && *again == a);
}

void Guard(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const size_t splitBytes = std::min<size_t>(data[0], size - 1);
  const uint8_t* splits = data + 1;
  const uint8_t* bytes = data + 1 + splitBytes;
  const size_t count = size - 1 - splitBytes;
  sc::BannerGuard guard;
  std::vector<uint8_t> out;
  size_t at = 0;
  for (size_t i = 0; at < count; ++i) {
    const size_t piece = std::min<size_t>(count - at, i < splitBytes ? splits[i] + 1 : count);
    const std::vector<uint8_t> passed = guard.Take(bytes + at, piece);
    out.insert(out.end(), passed.begin(), passed.end());
    at += piece;
    Check(!guard.holding() || at - out.size() <= sc::BannerGuard::kMaxBanner);
  }
  // What went on is the input from its start, in order; what was held is the rest.
  Check(out.size() <= count && std::equal(out.begin(), out.end(), bytes));
  if (const auto banner = guard.EndedWithBanner()) {
    Check(out.empty() && !banner->empty() && banner->size() <= sc::BannerGuard::kMaxBanner);
    for (char c : *banner)
      Check(c >= 0x20 && c < 0x7F);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0] % 6;
  ++data;
  --size;
  if (mode < 4) {
    Guard(data, size);
    return 0;
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (mode == 4) {
    std::string problem;
    const auto address = sc::ParseNetworkAddress(text, &problem);
    Check(address.has_value() == problem.empty());
    if (address) CheckAddress(*address);
    return 0;
  }
  std::vector<std::string> problems;
  const sc::NetworkPortMap map = sc::NetworkPortMap::Parse(text, &problems);
  for (const auto& [port, address] : map.entries()) {
    Check(port >= 1 && port <= 99);
    const auto parsed = sc::ParseNetworkAddress(address);
    Check(parsed.has_value());
    CheckAddress(*parsed);
  }
  Check(sc::NetworkPortMap::Parse(map.Format(), nullptr) == map);
  return 0;
}
