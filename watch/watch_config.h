#pragma once
// The watcher's settings file, one `key = value` a line, for a service that watches one
// line (/etc/signal-console/watch-NAME.conf):
//
//   # the rack's line
//   port = /dev/ttyUSB0
//   boxes = 0101,0102,0103      (or: book = yes, the console's address book,
//                                or: book = /etc/signal-console/TQ.ini)
//   every = 5
//   timeout = 1
//   metrics = :9105
//   metrics-public = no
//
// Blank lines and lines starting with '#' are skipped; white space around keys and values
// is too. Each key at most once; an unknown key, a line without '=', a NUL byte or a file
// over kMaxWatchConfigBytes is an error naming the line. Values are checked where the
// command line's options are (the same words), not here.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/frame.h"

namespace sc {

inline constexpr size_t kMaxWatchConfigBytes = 65536;
inline constexpr size_t kMaxWatchedBoxes = 32;

struct WatchConfig {
  // Key to value, for the keys the file gives.
  std::map<std::string, std::string> values;
};

struct WatchConfigParse {
  std::optional<WatchConfig> config;
  std::string error;  // "line 3: unknown key \"prot\"", when config is empty
};

// The keys a file may give.
const std::vector<std::string>& WatchConfigKeys();
WatchConfigParse ParseWatchConfig(std::string_view text);

// "0101,0102": box addresses, group and device 01..FE each, at most kMaxWatchedBoxes, none
// twice. Nothing, with the reason in *error, otherwise.
std::optional<std::vector<DeviceAddress>> ParseBoxList(std::string_view text, std::string* error);

// "yes"/"no" (also "true"/"false", "on"/"off", "1"/"0").
std::optional<bool> ParseYesNo(std::string_view text);

}  // namespace sc
