#pragma once
// COM numbers mapped to network ports ("Link > Network port..."), kept in a file of their
// own beside the settings file, "network-ports.conf": one "N=ADDRESS" line a port
// ("5=rfc2217://rack-3:7001"), lines beginning with '#' and empty lines ignored. The
// settings file keeps its own format and contents; SIGNAL_CONSOLE_PORTS wins over this map.
//
// The file is read with care: at most kMaxFileBytes, lines of at most kMaxLineBytes, every
// address checked whole; a bad line is skipped and said why, and the rest is kept.

#include <map>
#include <string>
#include <vector>

namespace sc {

class NetworkPortMap {
 public:
  static constexpr const char* kFileName = "network-ports.conf";
  static constexpr size_t kMaxFileBytes = 64 * 1024;
  static constexpr size_t kMaxLineBytes = 1024;

  const std::map<int, std::string>& entries() const { return entries_; }

  // Maps COM `port` to `address` (written as FormatNetworkAddress writes it). "" when done,
  // else why not (a port outside 1..99, an address that is not one).
  std::string Set(int port, const std::string& address);
  void Remove(int port) { entries_.erase(port); }

  // The file's text, and reading it back: bad lines are skipped, each told in `problems`
  // as "line N: why".
  std::string Format() const;
  static NetworkPortMap Parse(const std::string& text, std::vector<std::string>* problems);

  // The map's file beside the settings file at `settingsPath`.
  static std::string PathBeside(const std::string& settingsPath);
  // The file at `path`; a missing file is an empty map and no problem.
  static NetworkPortMap Load(const std::string& path, std::vector<std::string>* problems);
  // Writes the file (replaced whole, never half-written). "" or why it failed.
  std::string Save(const std::string& path) const;

  friend bool operator==(const NetworkPortMap&, const NetworkPortMap&) = default;

 private:
  std::map<int, std::string> entries_;
};

}  // namespace sc
