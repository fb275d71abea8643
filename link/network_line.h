#pragma once
// The box's line on a device server, through libgensio: Telnet with the COM-PORT-OPTION
// for rfc2217:// (the far side's rate, data bits, parity and stop bits set from here, IAC
// bytes escaped both ways) or a plain TCP connection for tcp://.
//
// The library is driven from one thread of the program's own (the library does not bear
// several threads in it at once), which connects each line, negotiates, and then carries
// bytes between the connection and one end of a socket pair. The serial worker waits on,
// reads and writes the other end (fd()) as it does a terminal, so it never knows which
// kind of line it serves. That thread also answers rate changes and notices the end of
// the connection, which reaches the worker as an end of file.
//
// Everything from the network is bounded and time-limited: connecting (name lookup,
// TCP, negotiation, line settings) ends within the time-out given, a device server's
// words at the start are held by the BannerGuard, and bytes wait in fixed buffers (the
// thread stops reading from the network while the worker is behind).

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "link/network_address.h"

namespace sc {

// The serial format the far side is asked for.
struct SerialFormat {
  int baud = 115200;
  char parity = 'N';  // N, O, E, M or S
  int dataBits = 8;
  int stopBits = 1;
};

inline constexpr std::chrono::milliseconds kDefaultConnectTimeout{3000};

struct NetworkOpenResult {
  enum class Failure {
    None,
    NameNotFound,   // the host name does not resolve
    Refused,        // nothing listens there
    Unreachable,    // no route, host down
    NoAnswer,       // no answer to the connection within the time-out
    NotNegotiated,  // connected, but no RFC 2217 negotiation (or line settings) in time
    InUse,          // the device server said its port is in use and hung up
    Closed,         // the device server hung up while we connected
    Settings,       // the device server set another rate or format than asked
    Cancelled,
    Other,
  };
  Failure failure = Failure::None;
  // For a person, without the address: "connection refused", "in use: the device
  // server said \"Port already in use\"".
  std::string reason;
  bool ok() const { return failure == Failure::None; }
};

// The far side's answer to the last rate change.
struct LineRateAnswer {
  enum class State { Reached, Pending, Missed };
  State state = State::Reached;
  int asked = 0;
  int answered = 0;     // the rate the device server reports (0: none)
  std::string problem;  // for a person, when Missed
};

class NetworkLine {
 public:
  using Done = std::function<void(const NetworkOpenResult&)>;

  // Starts connecting and returns at once. `done` runs on the network thread once the line
  // is up or has failed (it must not block); it is not called after Close() has begun.
  static std::shared_ptr<NetworkLine> Connect(const NetworkAddress& address,
                                              const SerialFormat& format,
                                              std::chrono::milliseconds timeout, Done done);
  // The same, waiting for the outcome (never on the window thread: up to `timeout`).
  static std::shared_ptr<NetworkLine> ConnectAndWait(const NetworkAddress& address,
                                                     const SerialFormat& format,
                                                     std::chrono::milliseconds timeout,
                                                     NetworkOpenResult& result);

  ~NetworkLine();
  NetworkLine(const NetworkLine&) = delete;
  NetworkLine& operator=(const NetworkLine&) = delete;

  // Ends the connection (gracefully, within a second, on the network thread) and closes
  // fd(); waits a moment for the end. Safe from any thread; later calls do nothing.
  void Close();

  // The worker's end of the socket pair, -1 until connected and after Close().
  int fd() const { return workerFd_.load(); }
  const NetworkAddress& address() const { return address_; }

  // Whether the far side's rate can be changed from here (rfc2217:// only).
  bool CanChangeRate() const { return address_.kind == NetworkKind::Rfc2217; }
  // Asks the device server for `rate`; the answer comes later (RateAnswer()). A tcp://
  // line answers Missed at once.
  void RequestRate(int rate);
  LineRateAnswer RateAnswer() const;
  // The rate the far side confirmed last (the one asked at connect for tcp://).
  int rate() const;

  // Why the connection ended, once fd() has read its end: "" while it lasts. `inUse`
  // when the device server's only words were a banner (see BannerGuard).
  struct Ending {
    bool ended = false;
    bool inUse = false;
    std::string text;  // for a person: "the device server closed the connection", ...
  };
  Ending ending() const;

  // How long a rate change may wait for its answer.
  static constexpr std::chrono::milliseconds kRateAnswerWait{2000};

 private:
  struct Pump;
  explicit NetworkLine(const NetworkAddress& address);

  NetworkAddress address_;
  std::shared_ptr<Pump> pump_;
  std::atomic<int> workerFd_{-1};
  std::once_flag closed_;
};

// "rfc2217://rack-3:7001: connection refused" and the like: the address and the reason.
std::string DescribeOpenFailure(const NetworkAddress& address, const NetworkOpenResult& result);

}  // namespace sc
