// The watcher's settings file, whatever its bytes, and each value it gives read as the box
// list, the metrics address and yes/no are read.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "fuzz/fuzz_host.h"
#include "watch/metrics_server.h"
#include "watch/watch_config.h"

namespace {

void CheckValue(const std::string& value) {
  std::string error;
  if (const auto boxes = sc::ParseBoxList(value, &error)) {
    if (boxes->empty() || boxes->size() > sc::kMaxWatchedBoxes) sc::fuzz::Fail("a box count");
    std::set<uint16_t> seen;
    for (const sc::DeviceAddress& a : *boxes) {
      if (a.group < 0x01 || a.group > 0xFE || a.device < 0x01 || a.device > 0xFE)
        sc::fuzz::Fail("a box address that is no box's");
      if (!seen.insert(a.Word()).second) sc::fuzz::Fail("a box twice");
    }
  } else if (error.empty()) {
    sc::fuzz::Fail("a refused box list without a reason");
  }
  error.clear();
  if (const auto address = sc::ParseMetricsAddress(value, &error)) {
    if (address->port < 0 || address->port > 65535) sc::fuzz::Fail("a port out of range");
    if (address->host.empty()) sc::fuzz::Fail("no host");
    sc::IsLoopbackAddress(address->host);
  } else if (error.empty()) {
    sc::fuzz::Fail("a refused address without a reason");
  }
  sc::ParseYesNo(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const sc::WatchConfigParse parse = sc::ParseWatchConfig(text);
  if (parse.config.has_value() == !parse.error.empty()) sc::fuzz::Fail("a verdict and an error");
  if (parse.config) {
    const auto& keys = sc::WatchConfigKeys();
    for (const auto& [key, value] : parse.config->values) {
      if (std::find(keys.begin(), keys.end(), key) == keys.end()) sc::fuzz::Fail("a strange key");
      if (value.find('\n') != std::string::npos) sc::fuzz::Fail("a value across lines");
      CheckValue(value);
    }
  }
  if (size <= 64) CheckValue(std::string(text));
  return 0;
}
