// Start-up: how long after it is started the console's main window appears, against a
// minimal Qt window of the same size with one label, in one run (ConsoleOverMinimal gives
// the ratio: the two taken in turn, 100 pairs, the median of each). Each measurement starts
// a fresh process (this program, as a child) and takes the time from its start to the first
// paint of its window, which the child reports through a pipe. Needs a display: run it under Xvfb,
//   xvfb-run -a build/bench/startup_bench
// One child alone, with where its time went: SC_STARTUP_TRACE=1 with
// SC_STARTUP_CHILD=console (or minimal:WIDTHxHEIGHT) and descriptor 3 open
// (SC_STARTUP_TRACE=paint: its times only, without first timing the parts).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/console_app.h"
#include "app/console_style_qt.h"
#include "console/main_window_qt.h"
#include "resources/icons.h"
#include "window/qt_host.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
std::string gSelf;
bool gTrace = false;
bool gTraceParts = false;  // SC_STARTUP_TRACE=paint gives the times alone
const Clock::time_point gStart = Clock::now();

// Reports the first paint of the window it watches, then closes that window.
class FirstPaint : public QObject {
 public:
  FirstPaint(QWidget* window, int fd) : window_(window), fd_(fd) {
    window->installEventFilter(this);
  }
  double paintedMs = 0;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Paint && !done_) {
      done_ = true;
      paintedMs = std::chrono::duration<double, std::milli>(Clock::now() - gStart).count();
      char text[64];
      const int n =
          std::snprintf(text, sizeof text, "%d %d\n", window_->width(), window_->height());
      [[maybe_unused]] ssize_t w = ::write(fd_, text, static_cast<size_t>(n));
      QTimer::singleShot(0, window_, [this] { window_->close(); });
    }
    return false;
  }

 private:
  QWidget* window_;
  int fd_;
  bool done_ = false;
};

double Since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int RunConsole(int fd) {
  const auto start = gStart;
  int argc = 1;
  char name[] = "signal-console";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  const double appMs = Since(start);
  if (gTraceParts) {
    // Where the time goes, each part on its own (cold, as the window would meet it).
    auto time = [](const char* what, auto&& f) {
      const auto t = Clock::now();
      f();
      std::fprintf(stderr, "  %-28s %.2f ms\n", what, Since(t));
    };
    time("icons", [] {
      sc::icons::AppIcon();
      sc::icons::LinkIcon(false);
      sc::icons::LinkIcon(true);
      sc::icons::LampIcon(false);
      sc::icons::LampIcon(true);
    });
    time("port scan", [] { sc::PortDirectory::FromSystem(); });
    // What the window manager's icon costs: the display asks for every size.
    time("app icon, every size", [] {
      const QIcon icon = sc::icons::AppIcon();
      for (const QSize& size : icon.availableSizes())
        icon.pixmap(size);
    });
  }
  QApplication::setWindowIcon(sc::icons::AppIcon());
  sc::InstallConsoleStyle();
  sc::QtHost host;
  sc::ConsoleApp app(host);
  const double coreMs = Since(start);
  double builtMs = 0, runMs = 0;
  app.Run([&](sc::ConsoleDialog& dialog) {
    runMs = Since(start);
    sc::MainWindow window(dialog, host);
    builtMs = Since(start);
    FirstPaint watch(&window, fd);
    window.exec();
    if (gTrace) std::fprintf(stderr, "  first paint at %.1f ms\n", watch.paintedMs);
  });
  if (gTrace)
    std::fprintf(stderr,
                 "console child: QApplication %.1f ms, core made %.1f ms, window begun %.1f ms, "
                 "window built %.1f ms\n",
                 appMs, coreMs, runMs, builtMs);
  return 0;
}

int RunMinimal(int fd, int width, int height) {
  int argc = 1;
  char name[] = "minimal";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  const double appMs = Since(gStart);
  QWidget window;
  window.resize(width, height);
  // One label, the least a window shows.
  QLabel label(QStringLiteral("Signal Console"), &window);
  label.move(10, 10);
  FirstPaint watch(&window, fd);
  window.show();
  const int code = application.exec();
  if (gTrace)
    std::fprintf(stderr, "minimal child: QApplication %.1f ms, first paint at %.1f ms\n", appMs,
                 watch.paintedMs);
  return code;
}

// Starts this program as a child in `mode` and returns the milliseconds until its window
// was first painted (and its size), or a negative time when it failed.
double TimeChild(const std::string& mode, int* width = nullptr, int* height = nullptr) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  // The child learns its part from the environment; the report comes on descriptor 3.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "SC_STARTUP_CHILD=", 17) != 0) env.push_back(*e);
  env.push_back("SC_STARTUP_CHILD=" + mode);
  std::vector<char*> envp;
  for (auto& e : env)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string self = gSelf;
  char* argv[] = {self.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 3);
  const auto start = Clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, gSelf.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  double ms = -1;
  if (spawned == 0) {
    char text[64] = {};
    pollfd p{pipeFds[0], POLLIN, 0};
    if (::poll(&p, 1, 20000) > 0 && ::read(pipeFds[0], text, sizeof text - 1) > 0) {
      ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      int w = 0, h = 0;
      if (std::sscanf(text, "%d %d", &w, &h) == 2 && width && height) {
        *width = w;
        *height = h;
      }
    }
    ::waitpid(pid, nullptr, 0);
  }
  ::close(pipeFds[0]);
  return ms;
}

void Measure(benchmark::State& state, const std::string& mode) {
  double total = 0;
  for (auto _ : state) {
    const double ms = TimeChild(mode);
    if (ms < 0) {
      state.SkipWithError("the child did not show its window (is there a display?)");
      return;
    }
    total += ms;
    state.SetIterationTime(ms / 1000.0);
  }
  state.counters["ms"] = total / static_cast<double>(state.iterations());
}

void ConsoleWindow(benchmark::State& state) {
  Measure(state, "console");
}

void MinimalWindow(benchmark::State& state) {
  // The console's window size, from a first run of it (which also warms the caches).
  static int width = 0, height = 0;
  if (width == 0 && TimeChild("console", &width, &height) < 0) {
    state.SkipWithError("the console's window did not appear (is there a display?)");
    return;
  }
  state.SetLabel(std::to_string(width) + "x" + std::to_string(height));
  Measure(state, "minimal:" + std::to_string(width) + "x" + std::to_string(height));
}

// The ratio itself: the two children taken in turn, so that a machine whose speed drifts
// during the run slows both alike, and the median of each, so that one child the system
// held up does not move it.
void ConsoleOverMinimal(benchmark::State& state) {
  int width = 0, height = 0;
  if (TimeChild("console", &width, &height) < 0) {
    state.SkipWithError("the console's window did not appear (is there a display?)");
    return;
  }
  const std::string minimal = "minimal:" + std::to_string(width) + "x" + std::to_string(height);
  std::vector<double> console, plain;
  for (auto _ : state) {
    const double m = TimeChild(minimal);
    const double c = TimeChild("console");
    if (m < 0 || c < 0) {
      state.SkipWithError("a child did not show its window");
      return;
    }
    plain.push_back(m);
    console.push_back(c);
    state.SetIterationTime((m + c) / 1000.0);
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
  };
  const double c = median(console), m = median(plain);
  state.counters["console_ms"] = c;
  state.counters["minimal_ms"] = m;
  state.counters["ratio"] = c / m;
}

BENCHMARK(MinimalWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);
BENCHMARK(ConsoleWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);
BENCHMARK(ConsoleOverMinimal)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(100);

// Started with SC_STARTUP_CHILD set, this program is a child: it shows its one window,
// reports the first paint and ends, before the benchmarks' main runs.
int RunChild(const char* mode) {
  const char* trace = std::getenv("SC_STARTUP_TRACE");
  gTrace = trace != nullptr;
  gTraceParts = gTrace && std::strcmp(trace, "paint") != 0;
  const int fd = 3;
  int width = 0, height = 0;
  if (std::strcmp(mode, "console") == 0) return RunConsole(fd);
  if (std::sscanf(mode, "minimal:%dx%d", &width, &height) == 2)
    return RunMinimal(fd, width, height);
  return 2;
}

[[maybe_unused]] const int kChildRun = [] {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) gSelf.assign(self, static_cast<size_t>(n));
  if (const char* mode = std::getenv("SC_STARTUP_CHILD")) std::exit(RunChild(mode));
  return 0;
}();

}  // namespace

BENCHMARK_MAIN();
