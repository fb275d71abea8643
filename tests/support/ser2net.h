#pragma once
// A ser2net of the test's own in front of a serial device (the simulated box's
// pseudo-terminal): started with a configuration the test writes, on a free port of
// 127.0.0.1, never the system's service. One accepter a server: rfc2217:// (Telnet with
// RFC 2217) or tcp:// (raw bytes). Killed with the object.

#include <sys/types.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace sc {

// A TCP port of 127.0.0.1 that nothing listens on just now.
int FreeLocalPort();

// A listening socket of 127.0.0.1 that never accepts. Full (`full`), its queue takes no
// more connections: an address that never answers. Otherwise the kernel completes each
// connection and nothing is ever said on it: a silent raw device server.
class QuietListener {
 public:
  explicit QuietListener(bool full);
  ~QuietListener();
  QuietListener(const QuietListener&) = delete;
  QuietListener& operator=(const QuietListener&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int filler_ = -1;
  int port_ = 0;
};

class Ser2net {
 public:
  enum class Kind { Rfc2217, RawTcp };

  // Whether ser2net is installed (tests skip without it).
  static bool Available();

  Ser2net() = default;
  ~Ser2net();
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  // Starts ser2net in front of `device` and waits until it listens. false with the reason.
  bool Start(Kind kind, const std::string& device, std::string* error);
  // "rfc2217://127.0.0.1:PORT" or "tcp://127.0.0.1:PORT".
  std::string url() const;
  int port() const { return port_; }
  // Ends ser2net at once (SIGKILL): its connections drop as a crashed server's do.
  void Kill();
  // What ser2net wrote on its standard error.
  std::string Log() const;

 private:
  TempDir dir_;
  Kind kind_ = Kind::Rfc2217;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace sc
