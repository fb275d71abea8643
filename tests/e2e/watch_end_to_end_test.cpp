// The rack watcher against three simulated boxes on one pseudo-terminal: each event caused
// on one box through the simulator's commands, the JSON lines, the metrics scraped over
// HTTP and read by the Prometheus client's own text parser, the endpoint's answers to bad
// clients while the polling keeps its rhythm, and signal-cli watch itself ended by SIGTERM.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli/signal_cli.h"
#include "cli/watch_command.h"
#include "sim/box_server.h"
#include "sim/box_signal.h"
#include "sim/pty.h"
#include "sim/sim_commands.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace sc {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;
using SteadyClock = std::chrono::steady_clock;

constexpr auto kPatience = 10s;
constexpr char kPython[] = "/usr/bin/python3";

// ---- HTTP, from the client's side ----

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

struct HttpReply {
  int status = 0;
  std::string head, body;
};

// Sends `request` as it is and reads the answer until the server closes.
HttpReply Http(int port, const std::string& request) {
  HttpReply reply;
  const int fd = Connect(port);
  if (fd < 0) return reply;
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    ::close(fd);
    return reply;
  }
  std::string all;
  const auto deadline = SteadyClock::now() + kPatience;
  while (SteadyClock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    all.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  const size_t end = all.find("\r\n\r\n");
  if (end == std::string::npos) return reply;
  reply.head = all.substr(0, end);
  reply.body = all.substr(end + 4);
  if (reply.head.rfind("HTTP/1.", 0) == 0) reply.status = std::atoi(reply.head.c_str() + 9);
  return reply;
}

HttpReply Get(int port, const std::string& method = "GET", const std::string& path = "/metrics") {
  return Http(port, method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

// ---- The Prometheus client's text parser ----

bool HavePrometheusParser() {
  const std::string probe =
      std::string(kPython) + " -c 'import prometheus_client.parser' 2>/dev/null";
  return ::access(kPython, X_OK) == 0 && std::system(probe.c_str()) == 0;
}

// Every sample, as name{label=value,...} (labels in name order) to its value, and every
// family's name with its type; nothing when the parser refuses the text.
struct Exposition {
  std::map<std::string, double> samples;
  std::map<std::string, std::string> types;  // family (a counter without _total) to type
  std::map<std::string, bool> helped;
  bool Has(const std::string& key) const { return samples.count(key) != 0; }
  double operator[](const std::string& key) const {
    const auto it = samples.find(key);
    return it == samples.end() ? -1e300 : it->second;
  }
};

std::optional<Exposition> ParseExposition(const std::string& text, const TempDir& dir) {
  const std::string input = dir / "metrics.txt";
  const std::string script = dir / "parse.py";
  std::ofstream(input) << text;
  std::ofstream(script)
      << "import sys\n"
         "from prometheus_client.parser import text_string_to_metric_families\n"
         "for f in text_string_to_metric_families(open(sys.argv[1]).read()):\n"
         "    print('family', f.name, f.type, 1 if f.documentation else 0)\n"
         "    for s in f.samples:\n"
         "        labels = ','.join(k + '=' + v for k, v in sorted(s.labels.items()))\n"
         "        print('sample', s.name + '{' + labels + '}', repr(s.value))\n";
  const std::string command = std::string(kPython) + " " + script + " " + input + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::string out;
  char buffer[4096];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
    out.append(buffer, n);
  if (::pclose(pipe.release()) != 0) {
    ADD_FAILURE() << "the Prometheus parser refused the exposition: " << out << "\n" << text;
    return std::nullopt;
  }
  Exposition e;
  std::istringstream lines(out);
  std::string kind, name, a, b;
  while (lines >> kind >> name >> a) {
    if (kind == "family") {
      lines >> b;
      e.types[name] = a;
      e.helped[name] = b == "1";
    } else {
      e.samples[name] = std::stod(a);
    }
  }
  return e;
}

// ---- The watcher on a line of three simulated boxes ----

class WatchLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    const std::string path = server.path();
    plan.port = path;
    plan.comPort = 1;
    plan.ports = [path] { return PortDirectory::Build("", {path}); };
    plan.boxes = {{0x01, 0x01}, {0x01, 0x02}, {0x01, 0x03}};
    plan.every = 150ms;
    plan.timeout = 300ms;
    plan.jsonl = true;
    plan.metrics = MetricsAddress{"127.0.0.1", 0};
  }
  void TearDown() override {
    if (runner) runner->Stop();
  }

  void Start() {
    runner = std::make_unique<WatchRunner>(plan);
    runner->onWake = [this] {
      std::lock_guard lock(mutex);
      woken.notify_all();
    };
    std::string error;
    ASSERT_EQ(runner->Start(&error), kExitDone) << error;
  }

  // Takes the lines the watcher wrote so far.
  void Collect() {
    for (WatchRunner::Line& line : runner->TakeLines()) {
      ASSERT_FALSE(line.error) << line.text;
      Json j = Json::parse(line.text, nullptr, false);
      ASSERT_FALSE(j.is_discarded()) << line.text;
      events.push_back(std::move(j));
    }
  }
  // Waits for the event on the box after the events seen so far; it, or null.
  Json WaitFor(const std::string& box, const std::string& event) {
    const auto deadline = SteadyClock::now() + kPatience;
    for (size_t seen = checked; SteadyClock::now() < deadline;) {
      Collect();
      for (; seen < events.size(); ++seen) {
        if (events[seen]["box"] == box && events[seen]["event"] == event) {
          checked = seen + 1;
          return events[seen];
        }
      }
      std::unique_lock lock(mutex);
      woken.wait_for(lock, 50ms);
    }
    ADD_FAILURE() << "no " << event << " from box " << box;
    return nullptr;
  }
  std::string Sim(const std::string& line) {
    SimCommandInterpreter::Result r = commands.Execute(line);
    EXPECT_TRUE(r.ok) << line << ": " << r.text;
    return r.text;
  }
  std::string Key(const std::string& name, const std::string& box) const {
    return name + "{box=" + box + ",port=" + server.path() + "}";
  }
  std::optional<Exposition> Scrape() {
    const HttpReply reply = Get(runner->metricsPort());
    EXPECT_EQ(reply.status, 200) << reply.head;
    return ParseExposition(reply.body, dir);
  }

  BoxServer server{{{0x01, 0x01}, {0x01, 0x02}, {0x01, 0x03}}};
  SimCommandInterpreter commands{server};
  TempDir dir;
  WatchPlan plan;
  std::unique_ptr<WatchRunner> runner;
  std::mutex mutex;
  std::condition_variable woken;
  std::vector<Json> events;
  size_t checked = 0;
};

// The signal series of a box: all there with a signal, none without one or while the box
// is silent (its up, counters and last answer stay).
const char* const kSignalSeries[] = {
    "signal_box_hdcp_version",   "signal_box_pixel_clock_mhz",  "signal_box_h_active_pixels",
    "signal_box_v_active_lines", "signal_box_vertical_rate_hz", "signal_box_interlaced",
};

TEST_F(WatchLineTest, EachEventOnOneBoxShowsInTheLinesAndTheMetrics) {
  if (!HavePrometheusParser()) GTEST_SKIP() << "python3-prometheus-client is not installed";
  Start();
  Json first;
  for (const char* box : {"0101", "0102", "0103"}) {
    const Json e = WaitFor(box, "answering");
    if (std::string(box) == "0102") first = e;
  }
  checked = 0;
  ASSERT_FALSE(first.is_null());
  // The first answer carries the box's state under the keys of status --json.
  EXPECT_TRUE(std::regex_match(first["time"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")))
      << first["time"];
  EXPECT_EQ(first["port"], server.path());
  EXPECT_EQ(first["device"], server.path());
  EXPECT_EQ(first["address"], "0102");
  EXPECT_EQ(first["front_panel"]["input"], "HDMI");
  EXPECT_EQ(first["panel"]["timing"], "1920x1080(60)");
  EXPECT_EQ(first["panel"]["hdcp"], "OFF");
  EXPECT_EQ(first["panel"]["signal"], "HDMI");
  EXPECT_EQ(first["timing"]["video_clk_mhz"], 148.5);
  EXPECT_EQ(first["timing"]["v_total"], 1125);
  EXPECT_EQ(first["timing"]["scan"], "Progressive");

  std::optional<Exposition> m = Scrape();
  ASSERT_TRUE(m);
  const char* const names[] = {"signal_box_up",
                               "signal_box_signal_present",
                               "signal_box_hdcp_version",
                               "signal_box_pixel_clock_mhz",
                               "signal_box_h_active_pixels",
                               "signal_box_v_active_lines",
                               "signal_box_vertical_rate_hz",
                               "signal_box_interlaced",
                               "signal_box_last_answer_timestamp_seconds"};
  for (const char* name : names) {
    EXPECT_EQ(m->types[name], "gauge") << name;
    EXPECT_TRUE(m->helped[name]) << name;
  }
  for (const char* name : {"signal_box_polls", "signal_box_no_answer"}) {
    EXPECT_EQ(m->types[name], "counter") << name;
    EXPECT_TRUE(m->helped[name]) << name;
  }
  EXPECT_EQ((*m)[Key("signal_box_up", "0102")], 1);
  EXPECT_EQ((*m)[Key("signal_box_signal_present", "0102")], 1);
  EXPECT_EQ((*m)[Key("signal_box_pixel_clock_mhz", "0102")], 148.5);
  EXPECT_EQ((*m)[Key("signal_box_h_active_pixels", "0102")], 1920);
  EXPECT_EQ((*m)[Key("signal_box_v_active_lines", "0102")], 1080);
  EXPECT_EQ((*m)[Key("signal_box_vertical_rate_hz", "0102")], 60);
  EXPECT_EQ((*m)[Key("signal_box_interlaced", "0102")], 0);
  EXPECT_EQ((*m)[Key("signal_box_hdcp_version", "0102")], 0);
  EXPECT_GE((*m)[Key("signal_box_polls_total", "0102")], 1);
  EXPECT_EQ((*m)[Key("signal_box_no_answer_total", "0102")], 0);
  const double now = std::chrono::duration<double>(WallClock::now().time_since_epoch()).count();
  EXPECT_NEAR((*m)[Key("signal_box_last_answer_timestamp_seconds", "0102")], now, 30);

  Sim("box 0102");
  Sim("pull");
  WaitFor("0102", "signal_lost");
  m = Scrape();
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)[Key("signal_box_signal_present", "0102")], 0);
  for (const char* series : kSignalSeries) {
    EXPECT_FALSE(m->Has(Key(series, "0102"))) << series;
    EXPECT_TRUE(m->Has(Key(series, "0101"))) << series;
  }

  Sim("plug");
  EXPECT_EQ(WaitFor("0102", "signal_back")["format"], "1920x1080(60)");
  // The simulator's 1080i50 source sends with HDCP 1.4: two changes in one round.
  Sim("signal 1080i50");
  Json e = WaitFor("0102", "format_changed");
  EXPECT_EQ(e["from"], "1920x1080(60)");
  EXPECT_EQ(e["to"], "1920x1080i(50)");
  e = WaitFor("0102", "hdcp_changed");
  EXPECT_EQ(e["from"], "OFF");
  EXPECT_EQ(e["to"], "HDCP1.4");
  Sim("hdcp 2.2");
  e = WaitFor("0102", "hdcp_changed");
  EXPECT_EQ(e["from"], "HDCP1.4");
  EXPECT_EQ(e["to"], "HDCP2.2");
  m = Scrape();
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)[Key("signal_box_hdcp_version", "0102")], 2.2);
  EXPECT_EQ((*m)[Key("signal_box_interlaced", "0102")], 1);
  EXPECT_EQ((*m)[Key("signal_box_v_active_lines", "0102")], 1080);
  EXPECT_NEAR((*m)[Key("signal_box_vertical_rate_hz", "0102")], 50, 0.05);
  EXPECT_EQ((*m)[Key("signal_box_pixel_clock_mhz", "0102")], 74.25);

  Sim("input sdi");
  e = WaitFor("0102", "input_changed");
  EXPECT_EQ(e["from"], "HDMI");
  EXPECT_EQ(e["to"], "SDI");

  Sim("silent on");
  WaitFor("0102", "no_answer");
  m = Scrape();
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)[Key("signal_box_up", "0102")], 0);
  EXPECT_GE((*m)[Key("signal_box_no_answer_total", "0102")], 1);
  EXPECT_TRUE(m->Has(Key("signal_box_last_answer_timestamp_seconds", "0102")));
  EXPECT_FALSE(m->Has(Key("signal_box_signal_present", "0102")));
  for (const char* series : kSignalSeries)
    EXPECT_FALSE(m->Has(Key(series, "0102"))) << series;
  EXPECT_EQ((*m)[Key("signal_box_up", "0103")], 1);

  Sim("silent off");
  e = WaitFor("0102", "answering");
  EXPECT_EQ(e["front_panel"]["input"], "SDI");
  EXPECT_EQ(e["panel"]["signal"], "SDI");

  // Each change once, and nothing from the boxes left alone.
  Collect();
  std::map<std::string, int> count;
  for (const Json& j : events)
    ++count[j["box"].get<std::string>() + " " + j["event"].get<std::string>()];
  EXPECT_EQ(count["0101 answering"], 1);
  EXPECT_EQ(count["0103 answering"], 1);
  for (const char* event : {"signal_lost", "signal_back", "input_changed", "no_answer"})
    EXPECT_EQ(count[std::string("0102 ") + event], 1) << event;
  EXPECT_EQ(count["0102 answering"], 2);
  EXPECT_EQ(count["0102 hdcp_changed"], 2);
  // The SDI source sends 1080i50 too: the input change is no format change.
  EXPECT_EQ(count["0102 format_changed"], 1);
  EXPECT_EQ(count.size(), 9u);
}

TEST_F(WatchLineTest, TheEndpointServesTheMetricsAndNothingElse) {
  Start();
  const int port = runner->metricsPort();
  ASSERT_GT(port, 0);
  const HttpReply get = Get(port);
  EXPECT_EQ(get.status, 200);
  EXPECT_NE(get.head.find("Content-Type: text/plain; version=0.0.4"), std::string::npos)
      << get.head;
  EXPECT_NE(get.body.find("# TYPE signal_box_polls_total counter"), std::string::npos);
  const HttpReply head = Get(port, "HEAD");
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.body, "");
  EXPECT_NE(head.head.find("Content-Length: "), std::string::npos);
  EXPECT_EQ(Http(port, "GET /metrics HTTP/1.0\r\n\r\n").status, 200);

  const struct {
    const char* method;
    const char* path;
    int status;
  } refused[] = {
      {"GET", "/", 404},           {"GET", "/metrics/", 404},    {"GET", "/metricsx", 404},
      {"HEAD", "/other", 404},     {"POST", "/metrics", 405},    {"PUT", "/metrics", 405},
      {"DELETE", "/metrics", 405}, {"OPTIONS", "/metrics", 405}, {"PATCH", "/metrics", 405},
  };
  for (const auto& c : refused) {
    const HttpReply r = Get(port, c.method, c.path);
    EXPECT_EQ(r.status, c.status) << c.method << " " << c.path;
    EXPECT_EQ(r.head.find("Allow: GET, HEAD") != std::string::npos, c.status == 405)
        << c.method << " " << c.path << ": " << r.head;
  }
  // Methods CivetWeb does not know it refuses itself, before any handler.
  EXPECT_EQ(Get(port, "TRACE").status, 400);
  EXPECT_EQ(Get(port, "BREW").status, 400);
}

// A megabyte request line, connections held open without a request, and a flood of
// connections: the endpoint's few threads deal with them while the rounds go on.
TEST_F(WatchLineTest, BadHttpClientsDoNotHoldUpThePolling) {
  plan.metricsLimits.threads = 2;
  plan.metricsLimits.timeoutMs = 1500;
  Start();
  const int port = runner->metricsPort();
  WaitFor("0103", "answering");
  std::vector<int> held;
  const uint64_t before = runner->rounds();
  const auto started = SteadyClock::now();

  const int big = Connect(port);
  ASSERT_GE(big, 0);
  ::fcntl(big, F_SETFL, O_NONBLOCK);
  const std::string line = "GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n\r\n";
  size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = ::send(big, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;  // the server stopped reading, or closed
    sent += static_cast<size_t>(n);
  }
  held.push_back(big);
  for (int i = 0; i < 8; ++i) {
    const int fd = Connect(port);
    if (fd < 0) continue;
    ::send(fd, "GET /metrics HTTP/1.1\r\n", 23, MSG_NOSIGNAL);  // and never the end
    held.push_back(fd);
  }
  for (int i = 0; i < 200; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    held.push_back(fd);
  }
  std::this_thread::sleep_for(2s);
  const uint64_t during = runner->rounds() - before;
  const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();
  // A round every 150 ms: about 13 in that time. Half of them is plenty of margin for a
  // loaded machine; a polling thread held up by the endpoint would make none.
  EXPECT_GE(during, static_cast<uint64_t>(seconds / 0.15 / 2)) << during << " in " << seconds;
  for (const int fd : held)
    ::close(fd);
  Collect();
  for (const Json& e : events)
    EXPECT_NE(e["event"], "no_answer") << e.dump();
  // The endpoint serves again once they are gone.
  const auto deadline = SteadyClock::now() + kPatience;
  HttpReply r;
  while ((r = Get(port)).status != 200 && SteadyClock::now() < deadline)
    std::this_thread::sleep_for(100ms);
  EXPECT_EQ(r.status, 200);
}

TEST_F(WatchLineTest, LinesThatCannotBeWrittenAreCountedNotQueued) {
  plan.lineLimit = 1;
  plan.metrics.reset();
  Start();
  const auto deadline = SteadyClock::now() + kPatience;
  uint64_t dropped = 0;
  while (dropped < 2 && SteadyClock::now() < deadline) {
    dropped += runner->TakeDropped();
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(dropped, 2u);  // the second and third box's first answers
  EXPECT_EQ(runner->TakeLines().size(), 1u);
}

TEST_F(WatchLineTest, ADeviceThatGoesAwayEndsTheWatch) {
  plan.metrics.reset();
  Start();
  WaitFor("0101", "answering");
  server.HangUp();
  const auto deadline = SteadyClock::now() + kPatience;
  while (!runner->PortGone() && SteadyClock::now() < deadline)
    std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(runner->PortGone());
}

// The test stands in for the box: the first answer stops half way (the box hung in the
// middle of it), and the answers of the next round must still be taken whole.
TEST(WatchAnswerTest, AnAnswerCutShortDoesNotSwallowTheNextRoundsAnswer) {
  PtyMaster box;
  ASSERT_TRUE(box.ok());
  const std::string path = box.SlavePath();
  WatchPlan plan;
  plan.port = path;
  plan.ports = [path] { return PortDirectory::Build("", {path}); };
  plan.boxes = {{0x01, 0x01}};
  plan.every = 500ms;
  plan.timeout = 200ms;
  WatchRunner runner(plan);
  std::string error;
  ASSERT_EQ(runner.Start(&error), kExitDone) << error;

  const BoxSignal signal = *FindBoxSignal("1080p60");
  const auto timing = signal.timing.Bytes();
  const auto status = signal.status.Bytes();
  auto answer = [&](uint16_t code) {
    std::vector<uint8_t> payload = {0};
    if (code == kTimingRequest) payload.assign(timing.begin(), timing.end());
    if (code == kStatusRequest) payload.assign(status.begin(), status.end());
    return BuildFrame(kReplyLead, {0x01, 0x01}, code, payload);
  };
  auto request = [&] {
    const std::vector<uint8_t> bytes = box.Read(kFrameOverhead, 2s);
    return bytes.size() == kFrameOverhead ? static_cast<uint16_t>(bytes[7] | bytes[8] << 8) : 0;
  };
  ASSERT_EQ(request(), kInputRequest);
  std::vector<uint8_t> half = answer(kInputRequest);
  half.resize(6);
  ASSERT_TRUE(box.Write(half));
  // Next round, whole answers (a first answer is read twice).
  for (int reading = 0; reading < 2; ++reading) {
    for (const uint16_t code : {kInputRequest, kTimingRequest, kStatusRequest}) {
      ASSERT_EQ(request(), code);
      ASSERT_TRUE(box.Write(answer(code)));
    }
  }
  std::vector<std::string> lines;
  const auto deadline = SteadyClock::now() + kPatience;
  while (lines.size() < 2 && SteadyClock::now() < deadline) {
    for (WatchRunner::Line& line : runner.TakeLines())
      lines.push_back(line.text);
    std::this_thread::sleep_for(20ms);
  }
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("\"event\":\"no_answer\""), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("\"event\":\"answering\""), std::string::npos) << lines[1];
}

// ---- signal-cli watch itself ----

class Process {
 public:
  explicit Process(std::vector<std::string> args) {
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    args.insert(args.begin(), SIGNAL_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, SIGNAL_CLI_PATH, &actions, nullptr, argv.data(), environ) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Process() {
    if (pid_ > 0 && !status_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
    ::close(err_);
  }
  // Reads standard output until it holds `count` lines with `text`.
  std::string ReadUntil(const std::string& text, int count) {
    const auto deadline = SteadyClock::now() + kPatience;
    auto found = [&] {
      int n = 0;
      for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
        ++n;
      return n >= count;
    };
    while (!found() && SteadyClock::now() < deadline) {
      pollfd p{out_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(out_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<size_t>(n));
    }
    return out;
  }
  std::string Stderr() {
    std::string text;
    char buffer[4096];
    ::fcntl(err_, F_SETFL, O_NONBLOCK);
    for (ssize_t n; (n = ::read(err_, buffer, sizeof buffer)) > 0;)
      text.append(buffer, static_cast<size_t>(n));
    return text;
  }
  void Signal(int signal) { ::kill(pid_, signal); }
  // The exit status (or -signal), or nothing if it has not ended within `patience`.
  std::optional<int> Wait(std::chrono::milliseconds patience) {
    const auto deadline = SteadyClock::now() + patience;
    while (!status_ && SteadyClock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_)
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      else
        std::this_thread::sleep_for(10ms);
    }
    return status_;
  }
  std::string out;

 private:
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  std::optional<int> status_;
};

TEST(WatchCommandTest, WatchesUntilSigtermAndEndsWithZero) {
  BoxServer server{{{0x01, 0x01}, {0x01, 0x02}, {0x01, 0x03}}};
  ASSERT_TRUE(server.StartOnPty());
  Process watch({"--port", server.path(), "watch", "--boxes", "0101,0102,0103,0104", "--every", "5",
                 "--timeout", "0.3"});
  const std::string out = watch.ReadUntil("\"box\":\"0104\",\"event\":\"no_answer\"", 1);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 4) << out;
  EXPECT_NE(out.find("\"box\":\"0103\",\"event\":\"answering\""), std::string::npos) << out;
  // It ends on the signal, not at the next round five seconds on.
  watch.Signal(SIGTERM);
  EXPECT_EQ(watch.Wait(3s), 0);
  const std::string err = watch.Stderr();
  EXPECT_NE(err.find("signal-cli: watching 4 boxes on " + server.path() + ", a round every 5 s"),
            std::string::npos)
      << err;
}

TEST(WatchCommandTest, ThePortOrTheMetricsAddressCannotBeHad) {
  TempDir dir;
  const int taken = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(taken, 1), 0);
  socklen_t size = sizeof a;
  ::getsockname(taken, reinterpret_cast<sockaddr*>(&a), &size);
  const std::string busy = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));

  const struct {
    std::vector<std::string> args;
    int rc;
    std::string error;
  } cases[] = {
      {{"--port", dir / "none", "watch", "--boxes", "0101"},
       kExitPortUnavailable,
       "signal-cli: cannot open " + dir / "none" + ": No such file or directory\n"},
      {{"--port", dir / "none", "watch", "--boxes", "0101", "--metrics", busy},
       kExitFailed,
       "signal-cli: cannot serve the metrics on " + busy},
      {{"watch", "--boxes", "0101", "--jsonl=yes"},
       kExitBadArgument,
       "signal-cli: --jsonl takes no value\n"},
      {{"watch", "--boxes", "0101", "--json"},
       kExitBadArgument,
       "signal-cli: --json does not apply to watch\n"},
      {{"status", "--every", "3"},
       kExitBadArgument,
       "signal-cli: --every does not apply to status\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    CliEnvironment env;
    env.out = &out;
    env.err = &err;
    EXPECT_EQ(RunSignalCli(c.args, env), c.rc) << c.error;
    EXPECT_EQ(err.str().rfind(c.error, 0), 0u) << err.str();
    EXPECT_EQ(out.str(), "");
  }
  ::close(taken);
}

}  // namespace
}  // namespace sc
