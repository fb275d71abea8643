#include "link/network_line.h"

#include <arpa/inet.h>
#include <gensio/gensio.h>
#include <gensio/gensio_err.h>
#include <gensio/gensio_os_funcs.h>
#include <gensio/gensio_unix.h>
#include <gensio/sergensio.h>
#include <netdb.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "link/banner_guard.h"

namespace sc {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Bytes carried per step in each direction. The network side is not read while the
// worker has not taken what came before, so nothing piles up.
constexpr size_t kChunk = 8192;
// What a connection may still do once it is asked to end.
constexpr milliseconds kCloseWait{1000};
// Addresses of one name that are tried.
constexpr size_t kMaxAddresses = 8;
// Bytes of the box that come while we connect (it speaks only when asked; a signal notice
// may come): kept up to this many, the rest dropped (the worker starts with an empty queue
// anyway).
constexpr size_t kMaxEarlyBytes = 4096;

std::string Seconds(milliseconds span) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", static_cast<double>(span.count()) / 1000.0);
  return text;
}

std::string LowerFirst(std::string text) {
  const bool acronym = text.size() > 1 && text[1] >= 'A' && text[1] <= 'Z';
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && !acronym)
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

gensio_time ToGensioTime(milliseconds span) {
  if (span.count() < 0) span = milliseconds(0);
  gensio_time t;
  t.secs = span.count() / 1000;
  t.nsecs = static_cast<int32_t>((span.count() % 1000) * 1000000);
  return t;
}

char ParityLetter(unsigned value) {
  switch (value) {
    case SERGENSIO_PARITY_NONE:
      return 'N';
    case SERGENSIO_PARITY_ODD:
      return 'O';
    case SERGENSIO_PARITY_EVEN:
      return 'E';
    case SERGENSIO_PARITY_MARK:
      return 'M';
    case SERGENSIO_PARITY_SPACE:
      return 'S';
    default:
      return '?';
  }
}

unsigned ParityValue(char letter) {
  switch (letter) {
    case 'O':
    case 'o':
      return SERGENSIO_PARITY_ODD;
    case 'E':
    case 'e':
      return SERGENSIO_PARITY_EVEN;
    case 'M':
    case 'm':
      return SERGENSIO_PARITY_MARK;
    case 'S':
    case 's':
      return SERGENSIO_PARITY_SPACE;
    default:
      return SERGENSIO_PARITY_NONE;
  }
}

// A name lookup on a thread of its own, so that a lookup that hangs cannot hold the line
// past its time-out: the waiter gives up, the lookup ends whenever it ends.
struct Lookup {
  std::mutex mutex;
  std::condition_variable done_cv;
  bool done = false;
  int error = 0;
  std::vector<std::string> addresses;  // "ipv4,192.0.2.7" / "ipv6,2001:db8::7"
};

void RunLookup(const std::shared_ptr<Lookup>& lookup, const std::string& host) {
  addrinfo hints{};
  hints.ai_family = 0;  // IPv4 or IPv6, whichever the name has
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* found = nullptr;
  const int error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  std::vector<std::string> addresses;
  for (addrinfo* a = found; a && addresses.size() < kMaxAddresses; a = a->ai_next) {
    char text[INET6_ADDRSTRLEN] = {};
    if (::getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) !=
        0)
      continue;
    const std::string item = std::string(a->ai_family == AF_INET6 ? "ipv6," : "ipv4,") + text;
    if (std::find(addresses.begin(), addresses.end(), item) == addresses.end())
      addresses.push_back(item);
  }
  if (found) ::freeaddrinfo(found);
  std::lock_guard<std::mutex> guard(lookup->mutex);
  lookup->error = error;
  lookup->addresses = std::move(addresses);
  lookup->done = true;
  lookup->done_cv.notify_all();
}

using Failure = NetworkOpenResult::Failure;

// Lines whose thread was still closing its connection when Close() stopped waiting for
// it. They end within their own bounds; the program waits for them (a little) at exit,
// so that no such thread is still in the stream library while the program ends.
struct DetachedPumps {
  std::mutex mutex;
  std::condition_variable idle;
  int running = 0;
};

void WaitForDetachedPumps();

DetachedPumps& Detached() {
  // Never destroyed: a thread that outlives the wait below may still count itself out.
  static DetachedPumps* pumps = [] {
    auto* created = new DetachedPumps;
    std::atexit(WaitForDetachedPumps);
    return created;
  }();
  return *pumps;
}

void WaitForDetachedPumps() {
  DetachedPumps& d = Detached();
  std::unique_lock<std::mutex> lock(d.mutex);
  d.idle.wait_for(lock, std::chrono::seconds(2), [&] { return d.running == 0; });
}

// How long Close() waits for the line's thread before it lets it finish on its own.
constexpr milliseconds kJoinWait{200};

NetworkOpenResult Failed(Failure failure, std::string reason) {
  NetworkOpenResult result;
  result.failure = failure;
  result.reason = std::move(reason);
  return result;
}

}  // namespace

struct NetworkLine::Pump {
  Pump(const NetworkAddress& a, const SerialFormat& f, milliseconds t)
      : address(a), format(f), timeout(t) {}

  const NetworkAddress address;
  const SerialFormat format;
  const milliseconds timeout;
  Done done;
  std::thread thread;

  // Shared with other threads.
  std::mutex mutex;
  std::mutex deliverMutex;
  std::condition_variable finishedCv;
  bool stop = false;      // Close() was called
  bool finished = false;  // the thread is done with everything; controlFd is closed
  bool detached = false;
  int controlFd = -1;  // written by others under the mutex while !finished
  int pairFd = -1;     // the pump's end of the socket pair
  int workerFd = -1;   // the worker's end
  int rateGeneration = 0;
  int rateSent = 0;  // the generation last sent to the device server
  LineRateAnswer answer;
  Clock::time_point askedAt;
  int confirmedRate = 0;
  NetworkLine::Ending ending;

  // The pump thread's own.
  gensio_os_funcs* o = nullptr;
  gensio_waiter* waiter = nullptr;
  gensio* io = nullptr;  // the top of the stack (telnet, or tcp)
  sergensio* sio = nullptr;
  gensio_iod* controlIod = nullptr;
  gensio_iod* pairIod = nullptr;
  int clearedIods = 0;
  bool opened = false;
  int openError = -1;
  bool closeDone = false;
  bool netEnded = false;
  int netError = 0;
  bool workerEnded = false;
  BannerGuard guard;
  std::vector<uint8_t> toWorker;  // from the network, not yet taken by the pair
  size_t toWorkerAt = 0;
  std::vector<uint8_t> toNet;  // from the worker, not yet taken by the connection
  size_t toNetAt = 0;
  struct SettingAnswer {
    bool answered = false;
    int error = 0;
    unsigned value = 0;
  };
  SettingAnswer settings[4];  // rate, data bits, parity, stop bits
  bool pumping = false;

  void Wake() { gensio_os_funcs_wake(o, waiter); }
  bool Stopping() {
    std::lock_guard<std::mutex> guard(mutex);
    return stop;
  }

  // Runs the loop until `ready` holds, the deadline passes or Close() is called. true
  // when ready.
  template <class Ready>
  bool WaitUntil(Clock::time_point deadline, Ready ready) {
    while (!ready()) {
      if (Stopping()) return false;
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      gensio_time t = ToGensioTime(left);
      gensio_os_funcs_wait(o, waiter, 1, &t);
    }
    return true;
  }

  // --- callbacks, all on the pump thread

  static int OnEvent(gensio*, void* data, int event, int err, unsigned char* buf, gensiods* buflen,
                     const char* const*) {
    Pump& p = *static_cast<Pump*>(data);
    switch (event) {
      case GENSIO_EVENT_READ:
        if (err) {
          p.netEnded = true;
          p.netError = err;
          gensio_set_read_callback_enable(p.io, false);
          p.Wake();
          return 0;
        }
        p.FromNetwork(buf, *buflen);
        return 0;
      case GENSIO_EVENT_WRITE_READY:
        p.FlushToNetwork();
        return 0;
      default:
        // Modem and line state reports, signatures, breaks: nothing the console uses.
        return GE_NOTSUP;
    }
  }

  static void OnControl(gensio_iod*, void* data) {
    Pump& p = *static_cast<Pump*>(data);
    uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(p.controlFd, &count, sizeof count);
    if (p.pumping) p.SendRateRequest();
    p.Wake();
  }

  static void OnPairReadable(gensio_iod*, void* data) { static_cast<Pump*>(data)->FromWorker(); }
  static void OnPairWritable(gensio_iod*, void* data) { static_cast<Pump*>(data)->FlushToWorker(); }
  static void OnCleared(gensio_iod*, void* data) {
    Pump& p = *static_cast<Pump*>(data);
    ++p.clearedIods;
    p.Wake();
  }

  void FromNetwork(const unsigned char* bytes, gensiods count) {
    std::vector<uint8_t> out = guard.Take(bytes, count);
    if (out.empty()) return;
    if (!pumping) {
      // Still connecting: kept for the worker, within bounds.
      const size_t room = kMaxEarlyBytes - std::min(kMaxEarlyBytes, toWorker.size());
      toWorker.insert(toWorker.end(), out.begin(),
                      out.begin() + static_cast<std::ptrdiff_t>(std::min(room, out.size())));
      return;
    }
    toWorker.insert(toWorker.end(), out.begin(), out.end());
    FlushToWorker();
  }

  // Hands what came from the network to the worker's socket; while it does not take all,
  // the network is not read.
  void FlushToWorker() {
    while (toWorkerAt < toWorker.size()) {
      const ssize_t n = ::send(pairFd, toWorker.data() + toWorkerAt, toWorker.size() - toWorkerAt,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        toWorkerAt += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        gensio_set_read_callback_enable(io, false);
        o->set_write_handler(pairIod, true);
        return;
      }
      // The worker's end is gone: the line is being closed.
      workerEnded = true;
      Wake();
      return;
    }
    toWorker.clear();
    toWorkerAt = 0;
    o->set_write_handler(pairIod, false);
    if (!netEnded) gensio_set_read_callback_enable(io, true);
  }

  void FromWorker() {
    uint8_t buffer[kChunk];
    const ssize_t n = ::recv(pairFd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
      workerEnded = true;
      o->set_read_handler(pairIod, false);
      Wake();
      return;
    }
    toNet.assign(buffer, buffer + n);
    toNetAt = 0;
    FlushToNetwork();
  }

  // Hands what the worker wrote to the connection; while it does not take all, the worker's
  // socket is not read (its writes then wait, as on a line that does not take data).
  void FlushToNetwork() {
    while (toNetAt < toNet.size() && !netEnded) {
      gensiods taken = 0;
      const int err =
          gensio_write(io, &taken, toNet.data() + toNetAt, toNet.size() - toNetAt, nullptr);
      if (err) {
        netEnded = true;
        netError = err;
        Wake();
        return;
      }
      if (taken == 0) {
        o->set_read_handler(pairIod, false);
        gensio_set_write_callback_enable(io, true);
        return;
      }
      toNetAt += taken;
    }
    toNet.clear();
    toNetAt = 0;
    gensio_set_write_callback_enable(io, false);
    if (!workerEnded) o->set_read_handler(pairIod, true);
  }

  void SendRateRequest() {
    int generation;
    int rate;
    {
      std::lock_guard<std::mutex> guard(mutex);
      if (rateGeneration == rateSent || !sio) return;
      rateSent = generation = rateGeneration;
      rate = answer.asked;
    }
    const int err = sergensio_baud(
        sio, static_cast<unsigned>(rate),
        [](sergensio* s, int error, unsigned value, void* cookie) {
          Pump& p = *static_cast<Pump*>(sergensio_get_user_data(s));
          p.RateAnswered(static_cast<int>(reinterpret_cast<intptr_t>(cookie)), error, value);
        },
        reinterpret_cast<void*>(static_cast<intptr_t>(generation)));
    if (err) RateAnswered(generation, err, 0);
  }

  void RateAnswered(int generation, int error, unsigned value) {
    std::lock_guard<std::mutex> guard(mutex);
    if (!error) confirmedRate = static_cast<int>(value);
    if (generation != rateGeneration) return;  // an answer to an earlier request
    answer.answered = error ? 0 : static_cast<int>(value);
    if (error) {
      answer.state = LineRateAnswer::State::Missed;
      answer.problem = "the device server did not set " + std::to_string(answer.asked) + " baud (" +
                       LowerFirst(gensio_err_to_str(error)) + ")";
    } else if (static_cast<int>(value) != answer.asked) {
      answer.state = LineRateAnswer::State::Missed;
      answer.problem = "the device server set the line to " + std::to_string(value) +
                       " baud when asked for " + std::to_string(answer.asked);
    } else {
      answer.state = LineRateAnswer::State::Reached;
      answer.problem.clear();
    }
  }

  // --- connecting

  NetworkOpenResult OpenFailure(int err, Failure fallback) {
    switch (err) {
      case GE_CONNREFUSE:
        return Failed(Failure::Refused, "connection refused (nothing listens on port " +
                                            std::to_string(address.port) + ")");
      case GE_HOSTDOWN:
        return Failed(Failure::Unreachable, "the host cannot be reached");
      case GE_TIMEDOUT:
        return Failed(Failure::NoAnswer, "no answer within " + Seconds(timeout));
      case GE_REMCLOSE:
        return Failed(Failure::Closed, "the device server closed the connection");
      default:
        return Failed(fallback, LowerFirst(gensio_err_to_str(err)));
    }
  }

  // Runs until a condition holds: the deadline passed, or the device server hung up
  // (with or without a banner first).
  NetworkOpenResult Ended() {
    if (auto banner = guard.EndedWithBanner())
      return Failed(Failure::InUse, "in use: the device server said \"" + *banner + "\"");
    if (netError && netError != GE_REMCLOSE) return OpenFailure(netError, Failure::Closed);
    return Failed(Failure::Closed, "the device server closed the connection");
  }

  // A failure once connected may be the device server hanging up after its banner: what
  // it sent is read first (for a moment), so that the banner is not lost.
  NetworkOpenResult AfterHangUp(NetworkOpenResult fallback, Clock::time_point deadline) {
    gensio_set_read_callback_enable(io, true);
    WaitUntil(std::min(deadline, Clock::now() + milliseconds(200)), [&] { return netEnded; });
    if (netEnded) return Ended();
    return fallback;
  }

  NetworkOpenResult Resolve(Clock::time_point deadline, std::vector<std::string>& out) {
    if (address.ipv6) {
      out = {"ipv6," + address.host};
      return {};
    }
    in_addr v4{};
    if (inet_pton(AF_INET, address.host.c_str(), &v4) == 1) {
      out = {"ipv4," + address.host};
      return {};
    }
    auto lookup = std::make_shared<Lookup>();
    try {
      std::thread([lookup, host = address.host] { RunLookup(lookup, host); }).detach();
    } catch (const std::system_error&) {
      return Failed(Failure::Other, "no thread for the name lookup");
    }
    std::unique_lock<std::mutex> wait(lookup->mutex);
    while (!lookup->done) {
      if (Stopping()) return Failed(Failure::Cancelled, "cancelled");
      const auto slice = std::min(deadline, Clock::now() + milliseconds(50));
      lookup->done_cv.wait_until(wait, slice);
      if (!lookup->done && Clock::now() >= deadline)
        return Failed(Failure::NoAnswer,
                      "the name " + address.host + " was not looked up within " + Seconds(timeout));
    }
    if (lookup->error == EAI_NONAME || lookup->error == EAI_NODATA ||
        (lookup->error == 0 && lookup->addresses.empty()))
      return Failed(Failure::NameNotFound, "the name " + address.host + " was not found");
    if (lookup->error == EAI_AGAIN)
      return Failed(Failure::NameNotFound, "the name " + address.host +
                                               " could not be looked up (no name server answered)");
    if (lookup->error)
      return Failed(Failure::NameNotFound, "the name " + address.host +
                                               " could not be looked up (" +
                                               LowerFirst(gai_strerror(lookup->error)) + ")");
    out = lookup->addresses;
    return {};
  }

  NetworkOpenResult ConnectPhase() {
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + timeout;
    std::vector<std::string> hosts;
    if (NetworkOpenResult r = Resolve(deadline, hosts); !r.ok()) return r;

    std::string connection = "tcp(nodelay)";
    for (const auto& host : hosts)
      connection += "," + host + "," + std::to_string(address.port);
    gensio* tcp = nullptr;
    int err = str_to_gensio(connection.c_str(), o, OnEvent, this, &tcp);
    if (err) return OpenFailure(err, Failure::Other);
    io = tcp;
    auto openDone = [](gensio*, int error, void* data) {
      Pump& p = *static_cast<Pump*>(data);
      p.openError = error;
      p.opened = true;
      p.Wake();
    };
    opened = false;
    err = gensio_open(tcp, openDone, this);
    if (err) return OpenFailure(err, Failure::Other);
    if (!WaitUntil(deadline, [&] { return opened; })) {
      if (Stopping()) return Failed(Failure::Cancelled, "cancelled");
      return Failed(Failure::NoAnswer, "no answer within " + Seconds(timeout));
    }
    if (openError) return OpenFailure(openError, Failure::Other);
    const auto tcpTime = Clock::now() - start;

    if (address.kind == NetworkKind::Rfc2217) {
      gensio* telnet = nullptr;
      err = str_to_gensio_child(tcp, "telnet(rfc2217)", o, OnEvent, this, &telnet);
      if (err) return OpenFailure(err, Failure::Other);
      io = telnet;
      opened = false;
      err = gensio_open_nochild(telnet, openDone, this);
      if (err) return OpenFailure(err, Failure::Other);
      gensio_set_read_callback_enable(io, true);
      if (!WaitUntil(deadline, [&] { return opened || netEnded; })) {
        if (Stopping()) return Failed(Failure::Cancelled, "cancelled");
        return Failed(Failure::NotNegotiated,
                      "the device server accepted the connection but did not negotiate RFC 2217 "
                      "within " +
                          Seconds(timeout));
      }
      if (openError) return AfterHangUp(OpenFailure(openError, Failure::NotNegotiated), deadline);
      // Reading is enabled once the open is done (an open leaves it off).
      gensio_set_read_callback_enable(io, true);
      sio = gensio_to_sergensio(io);
      if (!sio) return Failed(Failure::NotNegotiated, "the device server does not offer RFC 2217");
      if (NetworkOpenResult r = SetLine(deadline); !r.ok()) return r;
    } else {
      gensio_set_read_callback_enable(io, true);
      // A device server that cannot give us its port says so at once and hangs up; the
      // line counts as up once that had time to arrive (twice the connection's round trip).
      const auto settle = std::clamp(std::chrono::duration_cast<milliseconds>(tcpTime * 2),
                                     milliseconds(50), milliseconds(500));
      WaitUntil(std::min(deadline, Clock::now() + settle), [&] { return netEnded; });
      if (Stopping()) return Failed(Failure::Cancelled, "cancelled");
      if (netEnded) return Ended();
    }
    if (netEnded) return Ended();
    return {};
  }

  // Sets rate, data bits, parity and stop bits on the far side and checks its answers.
  NetworkOpenResult SetLine(Clock::time_point deadline) {
    auto answered = [](sergensio* s, int error, unsigned value, void* cookie) {
      Pump& p = *static_cast<Pump*>(sergensio_get_user_data(s));
      SettingAnswer& a = p.settings[reinterpret_cast<intptr_t>(cookie) - 1];
      a.answered = true;
      a.error = error;
      a.value = value;
      p.Wake();
    };
    // The cookie is the setting's index plus one (a null one is not passed on).
    auto cookie = [](intptr_t i) { return reinterpret_cast<void*>(i + 1); };
    int err = sergensio_baud(sio, static_cast<unsigned>(format.baud), answered, cookie(0));
    if (!err)
      err = sergensio_datasize(sio, static_cast<unsigned>(format.dataBits), answered, cookie(1));
    if (!err) err = sergensio_parity(sio, ParityValue(format.parity), answered, cookie(2));
    if (!err)
      err = sergensio_stopbits(sio, static_cast<unsigned>(format.stopBits), answered, cookie(3));
    if (err) return AfterHangUp(OpenFailure(err, Failure::NotNegotiated), deadline);
    auto all = [&] {
      return std::all_of(std::begin(settings), std::end(settings),
                         [](const SettingAnswer& a) { return a.answered; });
    };
    if (!WaitUntil(deadline, [&] { return all() || netEnded; })) {
      if (Stopping()) return Failed(Failure::Cancelled, "cancelled");
      return Failed(
          Failure::NotNegotiated,
          "the device server did not answer the line settings within " + Seconds(timeout));
    }
    if (netEnded) return Ended();
    for (const auto& a : settings)
      if (a.error) return AfterHangUp(OpenFailure(a.error, Failure::Settings), deadline);
    std::string wrong;
    auto note = [&wrong](const std::string& text) { wrong += (wrong.empty() ? "" : ", ") + text; };
    if (static_cast<int>(settings[0].value) != format.baud)
      note(std::to_string(settings[0].value) + " baud, not " + std::to_string(format.baud));
    if (static_cast<int>(settings[1].value) != format.dataBits)
      note(std::to_string(settings[1].value) + " data bits, not " +
           std::to_string(format.dataBits));
    if (settings[2].value != ParityValue(format.parity))
      note(std::string("parity ") + ParityLetter(settings[2].value) + ", not " +
           static_cast<char>(std::toupper(static_cast<unsigned char>(format.parity))));
    if (static_cast<int>(settings[3].value) != format.stopBits)
      note(std::to_string(settings[3].value) + " stop bits, not " +
           std::to_string(format.stopBits));
    if (!wrong.empty())
      return Failed(Failure::Settings, "the device server set the line to " + wrong);
    std::lock_guard<std::mutex> guard(mutex);
    confirmedRate = format.baud;
    return {};
  }

  // --- the running line

  void PumpLoop() {
    pumping = true;
    o->set_read_handler(pairIod, true);
    if (!toWorker.empty()) FlushToWorker();
    SendRateRequest();
    while (!netEnded && !workerEnded && !Stopping())
      gensio_os_funcs_wait(o, waiter, 1, nullptr);
    // What the network sent before it ended still goes to the worker, for a moment.
    const auto deadline = Clock::now() + milliseconds(200);
    while (netEnded && !workerEnded && toWorkerAt < toWorker.size() && !Stopping() &&
           Clock::now() < deadline) {
      gensio_time t = ToGensioTime(milliseconds(20));
      gensio_os_funcs_wait(o, waiter, 1, &t);
    }
    pumping = false;
  }

  void NoteEnding() {
    NetworkLine::Ending e;
    e.ended = true;
    if (workerEnded || Stopping()) {
      e.text = "the line was closed here";
    } else if (auto banner = guard.EndedWithBanner()) {
      e.inUse = true;
      e.text = "in use: the device server said \"" + *banner + "\"";
    } else if (netError == GE_REMCLOSE || netError == 0) {
      e.text = "the device server closed the connection";
    } else {
      e.text = "the connection failed (" + LowerFirst(gensio_err_to_str(netError)) + ")";
    }
    std::lock_guard<std::mutex> guard(mutex);
    ending = e;
  }

  void Shutdown() {
    if (io) {
      closeDone = false;
      const int err = gensio_close(
          io,
          [](gensio*, void* data) {
            Pump& p = *static_cast<Pump*>(data);
            p.closeDone = true;
            p.Wake();
          },
          this);
      if (!err) {
        const auto deadline = Clock::now() + kCloseWait;
        while (!closeDone && Clock::now() < deadline) {
          gensio_time t = ToGensioTime(kCloseWait);
          gensio_os_funcs_wait(o, waiter, 1, &t);
        }
      }
      gensio_free(io);
      io = nullptr;
    }
    int registered = 0;
    for (gensio_iod* iod : {controlIod, pairIod}) {
      if (!iod) continue;
      o->clear_fd_handlers(iod);
      ++registered;
    }
    const auto deadline = Clock::now() + kCloseWait;
    while (clearedIods < registered && Clock::now() < deadline) {
      gensio_time t = ToGensioTime(kCloseWait);
      gensio_os_funcs_wait(o, waiter, 1, &t);
    }
    for (gensio_iod** iod : {&controlIod, &pairIod}) {
      if (*iod) o->release_iod(*iod);
      *iod = nullptr;
    }
    if (pairFd >= 0) ::close(pairFd);  // the worker reads its end of file
    pairFd = -1;
  }

  bool Register(int fd, gensio_iod** iod, void (*read)(gensio_iod*, void*),
                void (*write)(gensio_iod*, void*)) {
    if (o->add_iod(o, GENSIO_IOD_SOCKET, fd, iod)) return false;
    if (o->set_fd_handlers(*iod, this, read, write, nullptr, OnCleared)) {
      o->release_iod(*iod);
      *iod = nullptr;
      return false;
    }
    return true;
  }

  void Run() {
    // A write to a connection the far side has closed must not end the program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    NetworkOpenResult result;
    if (gensio_unix_funcs_alloc(nullptr, 0, &o) != 0) {
      result = Failed(Failure::Other, "the stream library could not start");
    } else {
      gensio_os_funcs_set_vlog(
          o, [](gensio_os_funcs*, enum gensio_log_levels, const char* f, va_list ap) {
            vfprintf(stderr, f, ap);
            fprintf(stderr, "\n");
          });
      waiter = gensio_os_funcs_alloc_waiter(o);
      if (!waiter || !Register(controlFd, &controlIod, OnControl, nullptr) ||
          !Register(pairFd, &pairIod, OnPairReadable, OnPairWritable)) {
        result = Failed(Failure::Other, "the stream library could not start");
      } else {
        o->set_read_handler(controlIod, true);
        result = ConnectPhase();
      }
    }
    {
      // Close() waits on this lock for an outcome on its way out, and no outcome leaves
      // after Close() has begun.
      std::lock_guard<std::mutex> delivering(deliverMutex);
      bool deliver;
      {
        std::lock_guard<std::mutex> guard(mutex);
        deliver = !stop;
        if (!result.ok()) {
          ending.ended = true;
          ending.text = result.reason;
        }
      }
      if (deliver && done) done(result);
      done = nullptr;
    }
    if (result.ok()) {
      PumpLoop();
      NoteEnding();
    }
    if (o) {
      Shutdown();
      if (waiter) gensio_os_funcs_free_waiter(o, waiter);
      gensio_os_funcs_free(o);
      o = nullptr;
    }
    if (pairFd >= 0) ::close(pairFd);
    pairFd = -1;
    std::lock_guard<std::mutex> guard(mutex);
    if (controlFd >= 0) ::close(controlFd);
    controlFd = -1;
    finished = true;
    finishedCv.notify_all();
    if (detached) {
      DetachedPumps& d = Detached();
      std::lock_guard<std::mutex> count(d.mutex);
      --d.running;
      d.idle.notify_all();
    }
  }

  // Wakes the thread (the control descriptor is the thread's once it has finished).
  void Signal() {
    if (finished || controlFd < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(controlFd, &one, sizeof one);
  }
};

NetworkLine::NetworkLine(const NetworkAddress& address) : address_(address) {}

NetworkLine::~NetworkLine() {
  Close();
}

std::shared_ptr<NetworkLine> NetworkLine::Connect(const NetworkAddress& address,
                                                  const SerialFormat& format,
                                                  std::chrono::milliseconds timeout, Done done) {
  std::shared_ptr<NetworkLine> line(new NetworkLine(address));
  auto pump = std::make_shared<Pump>(address, format, timeout);
  pump->done = std::move(done);
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) {
    NetworkOpenResult failed =
        Failed(Failure::Other, std::string("no socket pair (") + std::strerror(errno) + ")");
    if (pump->done) pump->done(failed);
    return line;
  }
  pump->pairFd = pair[0];
  pump->workerFd = pair[1];
  pump->controlFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  line->pump_ = pump;
  line->workerFd_ = -1;
  // The worker's end is handed out once the line is up (fd()); until then it stays here.
  auto inner = pump->done;
  NetworkLine* raw = line.get();
  pump->done = [inner, raw, pump](const NetworkOpenResult& result) {
    if (result.ok()) raw->workerFd_ = pump->workerFd;
    if (inner) inner(result);
  };
  std::thread thread([pump] { pump->Run(); });
  pump->thread = std::move(thread);
  return line;
}

std::shared_ptr<NetworkLine> NetworkLine::ConnectAndWait(const NetworkAddress& address,
                                                         const SerialFormat& format,
                                                         std::chrono::milliseconds timeout,
                                                         NetworkOpenResult& result) {
  std::mutex mutex;
  std::condition_variable done_cv;
  bool finished = false;
  auto line = Connect(address, format, timeout, [&](const NetworkOpenResult& r) {
    std::lock_guard<std::mutex> guard(mutex);
    result = r;
    finished = true;
    done_cv.notify_all();
  });
  std::unique_lock<std::mutex> wait(mutex);
  done_cv.wait(wait, [&] { return finished; });
  return line;
}

void NetworkLine::Close() {
  std::call_once(closed_, [this] {
    if (!pump_) return;
    Pump& p = *pump_;
    {
      std::lock_guard<std::mutex> guard(p.mutex);
      p.stop = true;
      p.Signal();
    }
    { std::lock_guard<std::mutex> delivered(p.deliverMutex); }
    bool finished;
    {
      std::unique_lock<std::mutex> lock(p.mutex);
      p.stop = true;
      p.Signal();
      finished = p.finishedCv.wait_for(lock, kJoinWait, [&] { return p.finished; });
      if (!finished) {
        p.detached = true;
        DetachedPumps& d = Detached();
        std::lock_guard<std::mutex> count(d.mutex);
        ++d.running;
      }
    }
    if (p.thread.joinable()) {
      if (finished)
        p.thread.join();
      else
        p.thread.detach();  // it ends within its own bounds and counts itself out
    }
    workerFd_ = -1;
    // The worker's end is ours alone: the thread reads its own end, which sees ours close.
    if (p.workerFd >= 0) ::close(p.workerFd);
    p.workerFd = -1;
  });
}

void NetworkLine::RequestRate(int rate) {
  if (!pump_) return;
  std::lock_guard<std::mutex> guard(pump_->mutex);
  LineRateAnswer& a = pump_->answer;
  a.asked = rate;
  a.answered = 0;
  ++pump_->rateGeneration;
  if (!CanChangeRate()) {
    a.state = LineRateAnswer::State::Missed;
    a.problem =
        "a tcp:// line passes raw bytes: the device server's rate cannot be changed "
        "from here";
    return;
  }
  a.state = LineRateAnswer::State::Pending;
  a.problem.clear();
  pump_->askedAt = Clock::now();
  pump_->Signal();
}

LineRateAnswer NetworkLine::RateAnswer() const {
  if (!pump_) return {};
  std::lock_guard<std::mutex> guard(pump_->mutex);
  LineRateAnswer a = pump_->answer;
  if (a.state == LineRateAnswer::State::Pending &&
      Clock::now() - pump_->askedAt > kRateAnswerWait) {
    a.state = LineRateAnswer::State::Missed;
    a.problem = "the device server did not answer the rate change to " + std::to_string(a.asked) +
                " baud within " + Seconds(kRateAnswerWait);
  }
  return a;
}

int NetworkLine::rate() const {
  if (!pump_) return 0;
  std::lock_guard<std::mutex> guard(pump_->mutex);
  return pump_->confirmedRate;
}

NetworkLine::Ending NetworkLine::ending() const {
  if (!pump_) return {};
  std::lock_guard<std::mutex> guard(pump_->mutex);
  return pump_->ending;
}

std::string DescribeOpenFailure(const NetworkAddress& address, const NetworkOpenResult& result) {
  // "tcp://rack-3:4001 is in use: the device server said ..."
  if (result.failure == NetworkOpenResult::Failure::InUse)
    return FormatNetworkAddress(address) + " is " + result.reason;
  return FormatNetworkAddress(address) + ": " + result.reason;
}

}  // namespace sc
