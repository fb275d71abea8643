#pragma once
// A small RFC 2217 server of the tests' own, for what ser2net will not do: it never
// negotiates (Silent), or it answers a rate change with a rate of its own choosing. It
// takes one connection at a time on a free port of 127.0.0.1, answers the COM-PORT
// option's settings, keeps the data bytes it received (Telnet's escapes undone) and
// sends nothing else.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sc {

class Rfc2217TestServer {
 public:
  enum class Mode { Negotiating, Silent };

  explicit Rfc2217TestServer(Mode mode = Mode::Negotiating);
  ~Rfc2217TestServer();
  Rfc2217TestServer(const Rfc2217TestServer&) = delete;
  Rfc2217TestServer& operator=(const Rfc2217TestServer&) = delete;

  std::string url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }

  // The rate answered to SET-BAUDRATE (asked rate in, answered rate out); by default the
  // rate asked.
  void SetRateAnswer(std::function<uint32_t(uint32_t asked)> answer);

  // The data bytes received so far, and the rates asked for, in order.
  std::vector<uint8_t> Received() const;
  std::vector<uint32_t> RatesAsked() const;

 private:
  void Serve();
  void Handle(int fd);

  Mode mode_;
  int listenFd_ = -1;
  int port_ = 0;
  int stopFd_ = -1;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::function<uint32_t(uint32_t)> rateAnswer_;
  std::vector<uint8_t> received_;
  std::vector<uint32_t> ratesAsked_;
};

}  // namespace sc
