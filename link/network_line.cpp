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
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "link/banner_guard.h"

namespace sc {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using Failure = NetworkOpenResult::Failure;

// Bytes carried per step from the worker. The network side is not read while the worker
// has not taken what came before, so nothing piles up.
constexpr size_t kChunk = 8192;
// What a connection may still do once it is asked to end.
constexpr milliseconds kCloseWait{1000};
// How long Close() waits for the line to be gone before it returns (the rest finishes on
// the service's thread).
constexpr milliseconds kCloseJoinWait{200};
// How long a device server that hung up while we connected may take to deliver what it
// said before (its banner).
constexpr milliseconds kHangUpWait{200};
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

NetworkOpenResult Failed(Failure failure, std::string reason) {
  NetworkOpenResult result;
  result.failure = failure;
  result.reason = std::move(reason);
  return result;
}

// A name lookup on a thread of its own, so that a lookup that hangs cannot hold anything:
// whoever waits gives up at its time-out, the lookup ends whenever it ends.
struct LookupResult {
  int error = 0;
  std::vector<std::string> addresses;  // "ipv4,192.0.2.7" / "ipv6,2001:db8::7"
};

LookupResult RunLookup(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = 0;  // IPv4 or IPv6, whichever the name has
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* found = nullptr;
  LookupResult result;
  result.error = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  for (addrinfo* a = found; a && result.addresses.size() < kMaxAddresses; a = a->ai_next) {
    char text[INET6_ADDRSTRLEN] = {};
    if (::getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) !=
        0)
      continue;
    const std::string item = std::string(a->ai_family == AF_INET6 ? "ipv6," : "ipv4,") + text;
    if (std::find(result.addresses.begin(), result.addresses.end(), item) == result.addresses.end())
      result.addresses.push_back(item);
  }
  if (found) ::freeaddrinfo(found);
  return result;
}

}  // namespace

// The stream library is used from one thread only: every line of the program is driven by
// this service's thread, on one set of the library's OS functions that lives as long as
// the program. (Several threads in the library at once, each on OS functions of its own,
// crash it.) Other threads hand it work through Post(); the line's state machines run in
// the library's callbacks and in the tasks.
class NetworkService {
 public:
  static NetworkService& Get() {
    // Never destroyed: its thread is stopped at exit and may outlive static destruction.
    static NetworkService* service = [] {
      auto* created = new NetworkService;
      std::atexit([] { Get().Stop(); });
      return created;
    }();
    return *service;
  }

  gensio_os_funcs* o() const { return o_; }
  bool ok() const { return o_ != nullptr; }
  bool OnServiceThread() const { return std::this_thread::get_id() == threadId_; }

  void Post(std::function<void()> task) {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      tasks_.push_back(std::move(task));
    }
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(controlFd_, &one, sizeof one);
  }

  // Wakes the loop so that deadlines are looked at again (on the service thread).
  void Wake() { gensio_os_funcs_wake(o_, waiter_); }

  // Things with a deadline that the loop looks after: called with the time, they return
  // the next time they want to be called (or max()).
  using Deadline = std::function<Clock::time_point(Clock::time_point now)>;
  int AddDeadline(Deadline deadline) {
    deadlines_[++nextDeadline_] = std::move(deadline);
    return nextDeadline_;
  }
  void RemoveDeadline(int id) { deadlines_.erase(id); }

 private:
  NetworkService() {
    controlFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (controlFd_ < 0 || gensio_unix_funcs_alloc(nullptr, 0, &o_) != 0) {
      o_ = nullptr;
      return;
    }
    gensio_os_funcs_set_vlog(o_,
                             [](gensio_os_funcs*, enum gensio_log_levels, const char*, va_list) {});
    waiter_ = gensio_os_funcs_alloc_waiter(o_);
    if (!waiter_ || o_->add_iod(o_, GENSIO_IOD_SOCKET, controlFd_, &controlIod_) != 0 ||
        o_->set_fd_handlers(controlIod_, this, OnControl, nullptr, nullptr, nullptr) != 0) {
      o_ = nullptr;
      return;
    }
    o_->set_read_handler(controlIod_, true);
    std::mutex started;
    std::condition_variable startedCv;
    bool running = false;
    std::thread([&] {
      {
        std::lock_guard<std::mutex> guard(started);
        threadId_ = std::this_thread::get_id();
        running = true;
        startedCv.notify_all();
      }
      Run();
    }).detach();
    std::unique_lock<std::mutex> wait(started);
    startedCv.wait(wait, [&] { return running; });
  }

  static void OnControl(gensio_iod*, void* data) {
    auto& service = *static_cast<NetworkService*>(data);
    uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(service.controlFd_, &count, sizeof count);
    service.Wake();
  }

  void Run() {
    // A write to a connection the far side has closed must not end the program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (;;) {
      std::deque<std::function<void()>> tasks;
      {
        std::lock_guard<std::mutex> guard(mutex_);
        if (stop_) break;
        tasks.swap(tasks_);
      }
      for (auto& task : tasks)
        task();
      Clock::time_point next = Clock::time_point::max();
      const Clock::time_point now = Clock::now();
      // A deadline may add or remove deadlines: work on a copy of the ids.
      std::vector<int> ids;
      for (const auto& [id, deadline] : deadlines_)
        ids.push_back(id);
      for (int id : ids) {
        auto it = deadlines_.find(id);
        if (it == deadlines_.end()) continue;
        Deadline call = it->second;  // the call may remove its own entry
        next = std::min(next, call(now));
      }
      {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!tasks_.empty()) continue;
      }
      if (next == Clock::time_point::max()) {
        gensio_os_funcs_wait(o_, waiter_, 1, nullptr);
      } else {
        gensio_time t =
            ToGensioTime(std::chrono::ceil<milliseconds>(next - Clock::now()) + milliseconds(1));
        gensio_os_funcs_wait(o_, waiter_, 1, &t);
      }
    }
    std::lock_guard<std::mutex> guard(mutex_);
    stopped_ = true;
    stoppedCv_.notify_all();
  }

  void Stop() {
    if (!o_) return;
    std::unique_lock<std::mutex> lock(mutex_);
    stop_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(controlFd_, &one, sizeof one);
    stoppedCv_.wait_for(lock, std::chrono::seconds(1), [&] { return stopped_; });
  }

  gensio_os_funcs* o_ = nullptr;
  gensio_waiter* waiter_ = nullptr;
  int controlFd_ = -1;
  gensio_iod* controlIod_ = nullptr;
  std::thread::id threadId_;
  std::mutex mutex_;
  std::condition_variable stoppedCv_;
  std::deque<std::function<void()>> tasks_;
  bool stop_ = false;
  bool stopped_ = false;
  std::map<int, Deadline> deadlines_;  // the service thread's own
  int nextDeadline_ = 0;
};

// One line's state, driven on the service's thread.
struct NetworkLine::Pump : std::enable_shared_from_this<NetworkLine::Pump> {
  enum class Phase {
    Resolving,
    Connecting,
    Negotiating,
    Setting,
    Settling,
    HangingUp,
    Pumping,
    Closing,
    Done
  };

  Pump(const NetworkAddress& a, const SerialFormat& f, milliseconds t)
      : address(a), format(f), timeout(t) {}

  const NetworkAddress address;
  const SerialFormat format;
  const milliseconds timeout;
  Done done;

  // Shared with other threads, under the mutex.
  std::mutex mutex;
  std::condition_variable finishedCv;
  bool finished = false;
  int workerFd = -1;  // the worker's end; closed by NetworkLine::Close
  int rateGeneration = 0;
  LineRateAnswer answer;
  Clock::time_point askedAt;
  int confirmedRate = 0;
  NetworkLine::Ending ending;
  std::mutex deliverMutex;  // held while the outcome is delivered
  bool closeAsked = false;

  // The service thread's own.
  NetworkService* service = nullptr;
  // The library holds plain pointers to this pump until it is done with it.
  std::shared_ptr<Pump> keepAlive;
  Phase phase = Phase::Resolving;
  Clock::time_point deadline;        // of connecting, or of the phase under way
  NetworkOpenResult hangUpFallback;  // what HangingUp reports when no banner comes
  int deadlineId = 0;
  int pairFd = -1;       // the pump's end of the socket pair
  gensio* io = nullptr;  // the top of the stack (telnet, or tcp)
  gensio* tcp = nullptr;
  sergensio* sio = nullptr;
  gensio_iod* pairIod = nullptr;
  bool netEnded = false;
  int netError = 0;
  bool workerEnded = false;
  bool closeDone = false;
  bool cleared = false;
  Clock::time_point connectStarted;
  milliseconds tcpTime{0};
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
  int rateSent = 0;

  gensio_os_funcs* o() const { return service->o(); }

  // --- the library's callbacks

  static int OnEvent(gensio*, void* data, int event, int err, unsigned char* buf, gensiods* buflen,
                     const char* const*) {
    Pump& p = *static_cast<Pump*>(data);
    const auto hold = p.shared_from_this();
    switch (event) {
      case GENSIO_EVENT_READ:
        if (err) {
          p.netEnded = true;
          p.netError = err;
          gensio_set_read_callback_enable(p.io, false);
          p.Advance();
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

  static void OnPairReadable(gensio_iod*, void* data) {
    Pump& p = *static_cast<Pump*>(data);
    const auto hold = p.shared_from_this();
    p.FromWorker();
  }
  static void OnPairWritable(gensio_iod*, void* data) {
    Pump& p = *static_cast<Pump*>(data);
    const auto hold = p.shared_from_this();
    p.FlushToWorker();
  }
  static void OnCleared(gensio_iod*, void* data) {
    Pump& p = *static_cast<Pump*>(data);
    const auto hold = p.shared_from_this();
    p.cleared = true;
    p.Advance();
  }

  void FromNetwork(const unsigned char* bytes, gensiods count) {
    std::vector<uint8_t> out = guard.Take(bytes, count);
    if (out.empty()) return;
    if (phase != Phase::Pumping) {
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
        if (io) gensio_set_read_callback_enable(io, false);
        o()->set_write_handler(pairIod, true);
        return;
      }
      // The worker's end is gone: the line is being closed.
      WorkerEnded();
      return;
    }
    toWorker.clear();
    toWorkerAt = 0;
    o()->set_write_handler(pairIod, false);
    if (!netEnded && io && phase == Phase::Pumping) gensio_set_read_callback_enable(io, true);
  }

  void FromWorker() {
    uint8_t buffer[kChunk];
    const ssize_t n = ::recv(pairFd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
      WorkerEnded();
      return;
    }
    toNet.assign(buffer, buffer + n);
    toNetAt = 0;
    FlushToNetwork();
  }

  // Hands what the worker wrote to the connection; while it does not take all, the worker's
  // socket is not read (its writes then wait, as on a line that does not take data).
  void FlushToNetwork() {
    while (toNetAt < toNet.size() && !netEnded && io) {
      gensiods taken = 0;
      const int err =
          gensio_write(io, &taken, toNet.data() + toNetAt, toNet.size() - toNetAt, nullptr);
      if (err) {
        netEnded = true;
        netError = err;
        Advance();
        return;
      }
      if (taken == 0) {
        o()->set_read_handler(pairIod, false);
        gensio_set_write_callback_enable(io, true);
        return;
      }
      toNetAt += taken;
    }
    toNet.clear();
    toNetAt = 0;
    if (io) gensio_set_write_callback_enable(io, false);
    if (!workerEnded && phase == Phase::Pumping) o()->set_read_handler(pairIod, true);
  }

  void WorkerEnded() {
    workerEnded = true;
    o()->set_read_handler(pairIod, false);
    o()->set_write_handler(pairIod, false);
    Advance();
  }

  // --- rate changes

  void SendRateRequest() {
    int generation;
    int rate;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (rateGeneration == rateSent || !sio || phase != Phase::Pumping) return;
      rateSent = generation = rateGeneration;
      rate = answer.asked;
    }
    const int err = sergensio_baud(
        sio, static_cast<unsigned>(rate),
        [](sergensio* s, int error, unsigned value, void* cookie) {
          Pump& p = *static_cast<Pump*>(sergensio_get_user_data(s));
          const auto hold = p.shared_from_this();
          p.RateAnswered(static_cast<int>(reinterpret_cast<intptr_t>(cookie)), error, value);
        },
        reinterpret_cast<void*>(static_cast<intptr_t>(generation)));
    if (err) RateAnswered(generation, err, 0);
  }

  void RateAnswered(int generation, int error, unsigned value) {
    std::lock_guard<std::mutex> lock(mutex);
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

  // --- connecting, step by step

  NetworkOpenResult OpenFailure(int err, Failure fallback) const {
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

  // The device server hung up while we connected, with or without a banner first.
  NetworkOpenResult Ended() const {
    if (auto banner = guard.EndedWithBanner())
      return Failed(Failure::InUse, "in use: the device server said \"" + *banner + "\"");
    if (netError && netError != GE_REMCLOSE) return OpenFailure(netError, Failure::Closed);
    return Failed(Failure::Closed, "the device server closed the connection");
  }

  void Start(const std::shared_ptr<Pump>& self) {
    service = &NetworkService::Get();
    keepAlive = self;
    connectStarted = Clock::now();
    deadline = connectStarted + timeout;
    std::weak_ptr<Pump> weak = self;
    deadlineId = service->AddDeadline([weak](Clock::time_point now) {
      auto p = weak.lock();
      return p ? p->OnTime(now) : Clock::time_point::max();
    });
    if (!service->ok()) return Fail(Failed(Failure::Other, "the stream library could not start"));
    if (o()->add_iod(o(), GENSIO_IOD_SOCKET, pairFd, &pairIod) != 0 ||
        o()->set_fd_handlers(pairIod, this, OnPairReadable, OnPairWritable, nullptr, OnCleared) !=
            0) {
      if (pairIod) o()->release_iod(pairIod);
      pairIod = nullptr;
      return Fail(Failed(Failure::Other, "the stream library could not start"));
    }
    phase = Phase::Resolving;
    in_addr v4{};
    if (address.ipv6) return Connect({"ipv6," + address.host});
    if (inet_pton(AF_INET, address.host.c_str(), &v4) == 1)
      return Connect({"ipv4," + address.host});
    NetworkService* s = service;
    try {
      std::thread([weak, s, host = address.host] {
        LookupResult found = RunLookup(host);
        s->Post([weak, found = std::move(found)] {
          if (auto p = weak.lock()) p->Resolved(found);
        });
      }).detach();
    } catch (const std::system_error&) {
      Fail(Failed(Failure::Other, "no thread for the name lookup"));
    }
  }

  void Resolved(const LookupResult& found) {
    if (phase != Phase::Resolving) return;  // given up meanwhile
    const std::string& host = address.host;
    if (found.error == EAI_NONAME || found.error == EAI_NODATA ||
        (found.error == 0 && found.addresses.empty()))
      return Fail(Failed(Failure::NameNotFound, "the name " + host + " was not found"));
    if (found.error == EAI_AGAIN)
      return Fail(Failed(Failure::NameNotFound,
                         "the name " + host + " could not be looked up (no name server answered)"));
    if (found.error)
      return Fail(Failed(Failure::NameNotFound, "the name " + host + " could not be looked up (" +
                                                    LowerFirst(gai_strerror(found.error)) + ")"));
    Connect(found.addresses);
  }

  static void OpenDone(gensio*, int error, void* data) {
    Pump& p = *static_cast<Pump*>(data);
    const auto hold = p.shared_from_this();
    if (p.phase == Phase::Connecting)
      p.Connected(error);
    else if (p.phase == Phase::Negotiating)
      p.Negotiated(error);
  }

  void Connect(const std::vector<std::string>& hosts) {
    std::string connection = "tcp(nodelay)";
    for (const auto& host : hosts)
      connection += "," + host + "," + std::to_string(address.port);
    int err = str_to_gensio(connection.c_str(), o(), OnEvent, this, &tcp);
    if (err) return Fail(OpenFailure(err, Failure::Other));
    io = tcp;
    phase = Phase::Connecting;
    err = gensio_open(tcp, OpenDone, this);
    if (err) Fail(OpenFailure(err, Failure::Other));
  }

  void Connected(int error) {
    if (error) return Fail(OpenFailure(error, Failure::Other));
    tcpTime = std::chrono::duration_cast<milliseconds>(Clock::now() - connectStarted);
    if (address.kind == NetworkKind::RawTcp) {
      gensio_set_read_callback_enable(io, true);
      // A device server that cannot give us its port says so at once and hangs up; the
      // line counts as up once that had time to arrive (twice the connection's round trip).
      const auto settle = std::clamp(tcpTime * 2, milliseconds(50), milliseconds(500));
      phase = Phase::Settling;
      deadline = std::min(deadline, Clock::now() + settle);
      service->Wake();
      return;
    }
    gensio* telnet = nullptr;
    int err = str_to_gensio_child(tcp, "telnet(rfc2217)", o(), OnEvent, this, &telnet);
    if (err) return Fail(OpenFailure(err, Failure::Other));
    io = telnet;
    phase = Phase::Negotiating;
    err = gensio_open_nochild(telnet, OpenDone, this);
    if (err) Fail(OpenFailure(err, Failure::NotNegotiated));
  }

  void Negotiated(int error) {
    // Reading is enabled once the open is done (an open leaves it off).
    gensio_set_read_callback_enable(io, true);
    if (error) return HangUpOr(OpenFailure(error, Failure::NotNegotiated));
    sio = gensio_to_sergensio(io);
    if (!sio)
      return Fail(Failed(Failure::NotNegotiated, "the device server does not offer RFC 2217"));
    // Rate, data bits, parity and stop bits on the far side; the answers are checked.
    auto answered = [](sergensio* s, int err, unsigned value, void* cookie) {
      Pump& p = *static_cast<Pump*>(sergensio_get_user_data(s));
      const auto hold = p.shared_from_this();
      // The cookie is the setting's index plus one (a null one is not passed on).
      SettingAnswer& a = p.settings[reinterpret_cast<intptr_t>(cookie) - 1];
      a.answered = true;
      a.error = err;
      a.value = value;
      p.Advance();
    };
    auto cookie = [](intptr_t i) { return reinterpret_cast<void*>(i + 1); };
    phase = Phase::Setting;
    int err = sergensio_baud(sio, static_cast<unsigned>(format.baud), answered, cookie(0));
    if (!err)
      err = sergensio_datasize(sio, static_cast<unsigned>(format.dataBits), answered, cookie(1));
    if (!err) err = sergensio_parity(sio, ParityValue(format.parity), answered, cookie(2));
    if (!err)
      err = sergensio_stopbits(sio, static_cast<unsigned>(format.stopBits), answered, cookie(3));
    if (err) HangUpOr(OpenFailure(err, Failure::NotNegotiated));
  }

  // A failure once connected may be the device server hanging up after its banner: what
  // it sent is read first (for a moment), so that the banner is not lost.
  void HangUpOr(NetworkOpenResult fallback) {
    if (netEnded) return Fail(Ended());
    hangUpFallback = std::move(fallback);
    phase = Phase::HangingUp;
    deadline = std::min(deadline, Clock::now() + kHangUpWait);
    service->Wake();
  }

  void SettingsAnswered() {
    for (const auto& a : settings)
      if (a.error) return HangUpOr(OpenFailure(a.error, Failure::Settings));
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
      return Fail(Failed(Failure::Settings, "the device server set the line to " + wrong));
    {
      std::lock_guard<std::mutex> lock(mutex);
      confirmedRate = format.baud;
    }
    Succeed();
  }

  // Something changed (an answer, the end of the connection, the worker's end): the phase
  // under way looks whether it is done.
  void Advance() {
    switch (phase) {
      case Phase::Connecting:
      case Phase::Negotiating:
        break;  // their open callbacks carry them on
      case Phase::Setting:
        if (netEnded) return Fail(Ended());
        if (std::all_of(std::begin(settings), std::end(settings),
                        [](const SettingAnswer& a) { return a.answered; }))
          SettingsAnswered();
        break;
      case Phase::Settling:
      case Phase::HangingUp:
        if (netEnded) return Fail(Ended());
        break;
      case Phase::Pumping:
        if (netEnded || workerEnded) Finish();
        break;
      case Phase::Closing:
        Closing();
        break;
      default:
        break;
    }
  }

  // The loop's deadline check; returns when to be asked again.
  Clock::time_point OnTime(Clock::time_point now) {
    switch (phase) {
      case Phase::Resolving:
      case Phase::Connecting:
      case Phase::Negotiating:
      case Phase::Setting:
      case Phase::Settling:
      case Phase::HangingUp:
        if (now < deadline) return deadline;
        TimedOut();
        break;
      case Phase::Closing:
        if (now < deadline) return deadline;
        Closing(true);
        return Clock::time_point::max();
      default:
        break;
    }
    return (phase == Phase::Done || phase == Phase::Pumping) ? Clock::time_point::max() : deadline;
  }

  void TimedOut() {
    switch (phase) {
      case Phase::Resolving:
        return Fail(Failed(Failure::NoAnswer, "the name " + address.host +
                                                  " was not looked up within " + Seconds(timeout)));
      case Phase::Connecting:
        return Fail(Failed(Failure::NoAnswer, "no answer within " + Seconds(timeout)));
      case Phase::Negotiating:
        return Fail(Failed(Failure::NotNegotiated,
                           "the device server accepted the connection but did not negotiate "
                           "RFC 2217 within " +
                               Seconds(timeout)));
      case Phase::Setting:
        return Fail(Failed(
            Failure::NotNegotiated,
            "the device server did not answer the line settings within " + Seconds(timeout)));
      case Phase::Settling:
        return Succeed();
      case Phase::HangingUp:
        return Fail(hangUpFallback);
      default:
        return;
    }
  }

  void Deliver(const NetworkOpenResult& result) {
    std::lock_guard<std::mutex> delivering(deliverMutex);
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (!result.ok()) {
        ending.ended = true;
        ending.text = result.reason;
      }
      if (closeAsked) return;
    }
    if (done) done(result);
    done = nullptr;
  }

  void Succeed() {
    phase = Phase::Pumping;
    if (address.kind == NetworkKind::RawTcp) {
      // The rate the line was asked for: a raw port cannot say otherwise.
      std::lock_guard<std::mutex> lock(mutex);
      confirmedRate = format.baud;
    }
    Deliver({});
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (closeAsked) return Finish();
    }
    o()->set_read_handler(pairIod, true);
    if (!toWorker.empty()) FlushToWorker();
    gensio_set_read_callback_enable(io, true);
    SendRateRequest();
  }

  void Fail(const NetworkOpenResult& result) {
    Deliver(result);
    Shutdown();
  }

  // --- the end

  // The running line ended: what the network sent goes to the worker (as far as its
  // socket takes it), then the worker reads the end.
  void Finish() {
    if (phase != Phase::Pumping) return;
    if (netEnded && !workerEnded && toWorkerAt < toWorker.size()) {
      // One more try, without waiting: a worker that does not read loses the rest.
      const ssize_t n = ::send(pairFd, toWorker.data() + toWorkerAt, toWorker.size() - toWorkerAt,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) toWorkerAt += static_cast<size_t>(n);
    }
    NetworkLine::Ending e;
    e.ended = true;
    bool closed;
    {
      std::lock_guard<std::mutex> lock(mutex);
      closed = closeAsked;
    }
    if (workerEnded || closed) {
      e.text = "the line was closed here";
    } else if (auto banner = guard.EndedWithBanner()) {
      e.inUse = true;
      e.text = "in use: the device server said \"" + *banner + "\"";
    } else if (netError == GE_REMCLOSE || netError == 0) {
      e.text = "the device server closed the connection";
    } else {
      e.text = "the connection failed (" + LowerFirst(gensio_err_to_str(netError)) + ")";
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      ending = e;
    }
    Shutdown();
  }

  // Closes the connection (gracefully, within kCloseWait), then lets go of the pair.
  void Shutdown() {
    if (phase == Phase::Closing || phase == Phase::Done) return;
    phase = Phase::Closing;
    deadline = Clock::now() + kCloseWait;
    closeDone = io == nullptr;
    if (io) {
      const int err = gensio_close(
          io,
          [](gensio*, void* data) {
            Pump& p = *static_cast<Pump*>(data);
            const auto hold = p.shared_from_this();
            p.closeDone = true;
            p.Advance();
          },
          this);
      if (err) closeDone = true;
    }
    if (pairIod) {
      o()->clear_fd_handlers(pairIod);
    } else {
      cleared = true;
    }
    service->Wake();
    Closing();
  }

  void Closing(bool late = false) {
    if (phase != Phase::Closing) return;
    if ((!closeDone || !cleared) && !late) return;
    if (io) gensio_free(io);  // a close that did not finish in time is cut short
    io = tcp = nullptr;
    sio = nullptr;
    if (pairIod && cleared) o()->release_iod(pairIod);
    pairIod = nullptr;
    if (pairFd >= 0) ::close(pairFd);  // the worker reads its end of file
    pairFd = -1;
    phase = Phase::Done;
    service->RemoveDeadline(deadlineId);
    {
      std::lock_guard<std::mutex> lock(mutex);
      finished = true;
      finishedCv.notify_all();
    }
    // Whoever called keeps this pump alive until it returns (the library's callbacks and
    // the loop's deadline hold a reference while they run).
    keepAlive.reset();
  }

  // Close() on the service's thread.
  void CloseHere() {
    if (phase == Phase::Pumping) {
      workerEnded = true;
      return Finish();
    }
    Shutdown();
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
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) {
    const NetworkOpenResult failed =
        Failed(Failure::Other, std::string("no socket pair (") + std::strerror(errno) + ")");
    if (done) done(failed);
    return line;
  }
  pump->pairFd = pair[0];
  pump->workerFd = pair[1];
  line->pump_ = pump;
  // The worker's end is handed out once the line is up (fd()).
  NetworkLine* raw = line.get();
  pump->done = [raw, inner = std::move(done), workerFd = pair[1]](const NetworkOpenResult& r) {
    if (r.ok()) raw->workerFd_ = workerFd;
    if (inner) inner(r);
  };
  NetworkService::Get().Post([pump] { pump->Start(pump); });
  return line;
}

std::shared_ptr<NetworkLine> NetworkLine::ConnectAndWait(const NetworkAddress& address,
                                                         const SerialFormat& format,
                                                         std::chrono::milliseconds timeout,
                                                         NetworkOpenResult& result) {
  auto state = std::make_shared<std::pair<std::mutex, std::condition_variable>>();
  auto outcome = std::make_shared<std::optional<NetworkOpenResult>>();
  auto line = Connect(address, format, timeout, [state, outcome](const NetworkOpenResult& r) {
    std::lock_guard<std::mutex> guard(state->first);
    *outcome = r;
    state->second.notify_all();
  });
  std::unique_lock<std::mutex> wait(state->first);
  state->second.wait(wait, [&] { return outcome->has_value(); });
  result = **outcome;
  return line;
}

void NetworkLine::Close() {
  std::call_once(closed_, [this] {
    if (!pump_) return;
    std::shared_ptr<Pump> pump = pump_;
    {
      std::lock_guard<std::mutex> guard(pump->mutex);
      pump->closeAsked = true;
    }
    // An outcome on its way out is let through first; none leaves after this.
    { std::lock_guard<std::mutex> delivered(pump->deliverMutex); }
    NetworkService& service = NetworkService::Get();
    service.Post([pump] { pump->CloseHere(); });
    if (!service.OnServiceThread()) {
      std::unique_lock<std::mutex> lock(pump->mutex);
      pump->finishedCv.wait_for(lock, kCloseJoinWait, [&] { return pump->finished; });
    }
    workerFd_ = -1;
    // The worker's end is ours alone: the pump reads its own end, which sees ours close.
    std::lock_guard<std::mutex> guard(pump->mutex);
    if (pump->workerFd >= 0) ::close(pump->workerFd);
    pump->workerFd = -1;
  });
}

void NetworkLine::RequestRate(int rate) {
  if (!pump_) return;
  std::shared_ptr<Pump> pump = pump_;
  {
    std::lock_guard<std::mutex> guard(pump->mutex);
    LineRateAnswer& a = pump->answer;
    a.asked = rate;
    a.answered = 0;
    ++pump->rateGeneration;
    if (!CanChangeRate()) {
      a.state = LineRateAnswer::State::Missed;
      a.problem =
          "a tcp:// line passes raw bytes: the device server's rate cannot be changed from here";
      return;
    }
    a.state = LineRateAnswer::State::Pending;
    a.problem.clear();
    pump->askedAt = Clock::now();
  }
  NetworkService::Get().Post([pump] { pump->SendRateRequest(); });
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
