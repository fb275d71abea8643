#include "cli/watch_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "addressing/address_book.h"
#include "cli/status_report.h"
#include "cli/text_output.h"
#include "watch/event_output.h"
#include "watch/line_watcher.h"
#include "watch/watch_config.h"

namespace sc {

namespace {

// Seconds as the options take them: a number within [low, high].
std::optional<std::chrono::milliseconds> Seconds(const std::string& text, double low, double high) {
  char* end = nullptr;
  const double seconds = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(seconds >= low) || !(seconds <= high)) return std::nullopt;
  return std::chrono::milliseconds(static_cast<long>(std::ceil(seconds * 1000)));
}

// A regular file's first `limit` bytes (and one more, to tell it was longer).
bool ReadSmallFile(const std::string& path, size_t limit, std::string& text, std::string* error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = "cannot read " + path + ": not a regular file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  text.assign(limit + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  if (in.bad()) {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}

// The boxes of an address book: its entries that are one box's address, each once.
std::vector<DeviceAddress> BookBoxes(const AddressBook& book, std::vector<std::string>* notes) {
  std::vector<DeviceAddress> boxes;
  for (int k = 0; k < kAddressBookSize; ++k) {
    const DeviceAddress a = book[k].address;
    if (a.group == 0 && a.device == 0) continue;  // an empty entry
    const auto single = [](uint8_t b) { return b >= 0x01 && b <= 0xFE; };
    const std::string name =
        "address book entry " + std::to_string(k + 1) + " (" + FormatAddress(a) + ")";
    if (!single(a.group) || !single(a.device)) {
      if (notes) notes->push_back(name + " is not one box's address: not watched");
      continue;
    }
    if (std::find(boxes.begin(), boxes.end(), a) != boxes.end()) continue;
    boxes.push_back(a);
  }
  return boxes;
}

std::string SecondsText(std::chrono::milliseconds ms) {
  std::ostringstream s;
  s << ms.count() / 1000.0;
  return s.str();
}

}  // namespace

int MakeWatchPlan(const CliRequest& r, const CliEnvironment& env, WatchPlan& plan,
                  std::string* error, std::vector<std::string>* notes) {
  // The settings file fills in what the command line left out.
  std::map<std::string, std::string> file;
  if (!r.config.empty()) {
    std::string text;
    if (!ReadSmallFile(r.config, kMaxWatchConfigBytes, text, error)) return kExitFileError;
    WatchConfigParse parse = ParseWatchConfig(text);
    if (!parse.config) {
      *error = r.config + ": " + parse.error;
      return kExitBadArgument;
    }
    file = std::move(parse.config->values);
  }
  auto fromFile = [&](const char* key) -> std::optional<std::string> {
    const auto it = file.find(key);
    if (it == file.end()) return std::nullopt;
    return it->second;
  };
  auto bad = [&](const std::string& why) {
    *error = why;
    return kExitBadArgument;
  };
  const std::string where = r.config.empty() ? "" : " (" + r.config + ")";
  if (r.address) return bad("watch takes its boxes from --boxes or --book, not --address");

  // The port, as every command takes it.
  std::string port = r.port;
  if (port.empty()) {
    if (auto p = fromFile("port")) {
      if (p->empty()) return bad("port is empty" + where);
      port = *p;
      const std::string lower = [&] {
        std::string l = port;
        for (char& c : l)
          c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return l;
      }();
      if (lower.size() > 3 && lower.rfind("com", 0) == 0 &&
          lower.find_first_not_of("0123456789", 3) == std::string::npos && !ParseComPort(port))
        return bad("the COM ports are COM1..COM99, not " + port + where);
    }
  }
  // Named as the events and metrics name it: "COM3", or the device given.
  const CliPort chosen = ChooseCliPort(port, env);
  plan.comPort = chosen.number;
  plan.port = chosen.name;
  plan.ports = chosen.ports;

  // The boxes: the command line's choice, else the file's.
  std::optional<std::string> boxes = r.boxes, book = r.book;
  if (!boxes && !book) {
    boxes = fromFile("boxes");
    if (auto b = fromFile("book")) {
      const std::optional<bool> yes = ParseYesNo(*b);
      if (!yes)
        book = *b;  // a file
      else if (*yes)
        book = std::string();
    }
  }
  if (boxes && book) return bad("watch takes --boxes or --book, not both" + where);
  if (!boxes && !book) return bad("watch needs --boxes GGDD,... or --book");
  if (boxes) {
    std::string why;
    const auto list = ParseBoxList(*boxes, &why);
    if (!list) return bad(why);
    plan.boxes = *list;
  } else {
    std::string path = *book;
    if (path.empty()) {
      const std::string executable =
          env.executablePath.empty() ? RunningExecutablePath() : env.executablePath;
      path = ResolveSettingsPath(executable, env.settingsEnvironment
                                                 ? *env.settingsEnvironment
                                                 : SettingsEnvironment::FromProcess());
    }
    std::string text;
    if (!ReadSmallFile(path, kMaxSettingsFileBytes, text, error)) {
      *error = "no address book: " + *error;
      return kExitFileError;
    }
    AddressBook entries;
    ReadAddressBookText(text, entries);
    plan.boxes = BookBoxes(entries, notes);
    if (plan.boxes.empty()) {
      *error = "the address book " + path + " names no box";
      return kExitBadArgument;
    }
  }

  std::optional<std::string> every = r.every ? r.every : fromFile("every");
  if (every) {
    const auto ms = Seconds(*every, 1, 86400);
    if (!ms) return bad("--every takes a number of seconds, at least 1, at most 86400" + where);
    plan.every = *ms;
  }
  if (r.timeoutGiven) {
    plan.timeout = r.timeout;
  } else if (auto t = fromFile("timeout")) {
    const auto ms = Seconds(*t, 0.001, 3600);
    if (!ms) return bad("timeout takes a number of seconds above 0, at most 3600" + where);
    plan.timeout = *ms;
  }
  plan.jsonl = r.jsonl || !env.outIsTerminal;

  plan.metricsPublic = r.metricsPublic;
  if (!plan.metricsPublic) {
    if (auto p = fromFile("metrics-public")) {
      const std::optional<bool> yes = ParseYesNo(*p);
      if (!yes) return bad("metrics-public takes yes or no" + where);
      plan.metricsPublic = *yes;
    }
  }
  std::optional<std::string> metrics = r.metrics ? r.metrics : fromFile("metrics");
  if (metrics) {
    std::string why;
    plan.metrics = ParseMetricsAddress(*metrics, &why);
    if (!plan.metrics) return bad(why);
    if (!IsLoopbackAddress(plan.metrics->host) && !plan.metricsPublic)
      return bad("serving the metrics on " + plan.metrics->host +
                 " opens them to the network: add --metrics-public to do so");
  } else if (r.metricsPublic) {
    return bad("--metrics-public goes with --metrics HOST:PORT");
  }
  return kExitDone;
}

WatchRunner::WatchRunner(WatchPlan plan) : plan_(std::move(plan)) {}

WatchRunner::~WatchRunner() {
  Stop();
}

int WatchRunner::Start(std::string* error) {
  metrics_ = std::make_unique<WatchMetrics>(plan_.port, plan_.boxes);
  if (plan_.metrics) {
    WatchMetrics* metrics = metrics_.get();
    server_ = MetricsServer::Start(
        *plan_.metrics, [metrics] { return metrics->Exposition(); }, error, plan_.metricsLimits);
    if (!server_) return kExitFailed;
  }
  std::promise<std::string> opened;
  std::future<std::string> result = opened.get_future();
  thread_ = std::thread(&WatchRunner::Poll, this, std::move(opened));
  const std::string why = result.get();
  if (!why.empty()) {
    Stop();
    *error = why;
    return kExitPortUnavailable;
  }
  return kExitDone;
}

void WatchRunner::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    if (pollHost_) pollHost_->Interrupt();
  }
  if (thread_.joinable()) thread_.join();
  server_.reset();
}

void WatchRunner::Poll(std::promise<std::string> opened) {
  CliHost host;
  {
    std::lock_guard lock(mutex_);
    if (stop_) {
      opened.set_value("stopped");
      return;
    }
    pollHost_ = &host;
  }
  host.onMessage = [this](const std::string&, const std::string& text) {
    Push({true, OneLine(text)});
  };
  {
    LineWatcher::Settings settings;
    settings.boxes = plan_.boxes;
    settings.every = plan_.every;
    settings.timeout = plan_.timeout;
    LineWatcher watcher(host, plan_.ports(), plan_.comPort, settings);
    device_ = watcher.DevicePath();
    watcher.onEvent = [this](const WatchEvent& e) {
      const EventSource source{plan_.port, device_, FormatAddress(plan_.boxes[e.box])};
      if (!plan_.jsonl) {
        Push({false, FormatEventText(e, source)});
        return;
      }
      // A box's state in the words of status --json, made by the same function.
      std::optional<Json> state;
      if (e.kind == WatchEventKind::Answering && e.state) {
        StatusRecords records;
        records.inputIsSdi = e.state->sdi;
        records.panel = e.state->panel;
        records.timing = e.state->timing;
        StatusReport report = MakeStatusReport(records);
        report.port = source.port;
        report.device = source.device;
        report.address = source.address;
        state = StatusJson(report);
      }
      Push({false, FormatEventJson(e, source, state ? &*state : nullptr)});
    };
    watcher.onPoll = [this](size_t box, const BoxTracker& tracker) {
      metrics_->Update(box, tracker);
    };
    watcher.onRound = [this](const RoundScheduler::RoundEnd&) { ++rounds_; };
    watcher.onPortGone = [this] {
      portGone_ = true;
      Wake();
    };
    std::string error;
    const bool started = watcher.Start(&error);
    opened.set_value(started ? std::string() : error);
    if (started) host.RunUntil([this] { return portGone_.load(); }, std::nullopt);
  }
  std::lock_guard lock(mutex_);
  pollHost_ = nullptr;
}

void WatchRunner::Push(Line line) {
  {
    std::lock_guard lock(mutex_);
    if (lines_.size() >= plan_.lineLimit) {
      ++dropped_;
      return;
    }
    lines_.push_back(std::move(line));
  }
  Wake();
}

void WatchRunner::Wake() {
  if (onWake) onWake();
}

std::vector<WatchRunner::Line> WatchRunner::TakeLines() {
  std::lock_guard lock(mutex_);
  return std::exchange(lines_, {});
}

uint64_t WatchRunner::TakeDropped() {
  std::lock_guard lock(mutex_);
  return std::exchange(dropped_, 0);
}

int RunWatch(const CliRequest& r, const CliEnvironment& env) {
  std::ostream& out = *env.out;
  std::ostream& err = *env.err;
  WatchPlan plan;
  std::string error;
  std::vector<std::string> notes;
  const int planned = MakeWatchPlan(r, env, plan, &error, &notes);
  for (const std::string& note : notes)
    err << "signal-cli: " << PrintableLine(note) << "\n";
  if (planned != kExitDone) {
    err << "signal-cli: " << PrintableLine(error) << "\n";
    return planned;
  }

  CliHost ownHost;
  CliHost& host = env.host ? *env.host : ownHost;
  WatchRunner runner(plan);
  // One wake-up waits on the main loop at a time, whatever the polling thread says.
  auto wakePending = std::make_shared<std::atomic<bool>>(false);
  runner.onWake = [&host, wakePending] {
    if (!wakePending->exchange(true)) host.Post([wakePending] { *wakePending = false; });
  };
  if (const int rc = runner.Start(&error); rc != kExitDone) {
    err << "signal-cli: " << PrintableLine(error) << "\n";
    return rc;
  }
  err << "signal-cli: watching " << plan.boxes.size()
      << (plan.boxes.size() == 1 ? " box" : " boxes") << " on " << PrintableLine(plan.port);
  if (runner.device() != plan.port) err << " (" << PrintableLine(runner.device()) << ")";
  err << ", a round every " << SecondsText(plan.every) << " s\n";
  if (plan.metrics) {
    err << "signal-cli: metrics at http://" << plan.metrics->host << ":" << runner.metricsPort()
        << "/metrics";
    if (!IsLoopbackAddress(plan.metrics->host))
      err << ", open to the network (--metrics-public): anyone who reaches this address can read "
             "them";
    err << "\n";
  }
  err << std::flush;

  bool outputFailed = false;
  const auto flush = [&] {
    for (const WatchRunner::Line& line : runner.TakeLines()) {
      if (line.error)
        err << "signal-cli: " << line.text << "\n" << std::flush;
      else
        out << line.text << "\n";
    }
    if (const uint64_t dropped = runner.TakeDropped())
      err << "signal-cli: " << dropped
          << " event lines were dropped: standard output did not keep up\n"
          << std::flush;
    out << std::flush;
    if (!out) outputFailed = true;
  };
  host.RunUntil(
      [&] {
        flush();
        return outputFailed || runner.PortGone();
      },
      std::nullopt);
  runner.Stop();
  flush();
  if (outputFailed) {
    err << "signal-cli: cannot write the output\n";
    return kExitFailed;
  }
  if (runner.PortGone()) {
    err << "signal-cli: " << PrintableLine(runner.device()) << " went away\n";
    return kExitPortUnavailable;
  }
  return kExitDone;  // Ctrl+C or SIGTERM: the watcher's normal end
}

}  // namespace sc
