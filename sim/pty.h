#pragma once
// Pseudo-terminals for the simulated box and the tests: the master side stands where a
// box would be, the slave path is the "serial device" the console opens.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace sc {

class PtyMaster {
 public:
  // Opens a new pseudo-terminal in raw mode (so every byte value passes unchanged).
  // Check ok() and error() afterwards.
  PtyMaster();
  ~PtyMaster();
  PtyMaster(const PtyMaster&) = delete;
  PtyMaster& operator=(const PtyMaster&) = delete;

  bool ok() const { return fd_ >= 0; }
  int error() const { return error_; }
  int fd() const { return fd_; }
  const std::string& SlavePath() const { return slavePath_; }

  // Writes all bytes (waiting for room); false when the terminal is gone.
  bool Write(const std::vector<uint8_t>& bytes);
  // Reads what arrives within `wait`, stopping early once `want` bytes are in.
  std::vector<uint8_t> Read(size_t want, std::chrono::milliseconds wait);
  // Closes the master: the slave side sees a hang-up.
  void Close();

 private:
  int fd_ = -1;
  int error_ = 0;
  std::string slavePath_;
};

}  // namespace sc
