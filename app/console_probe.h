#pragma once
// The console's probe: a line protocol through which a soak or a test bench drives the
// running console as a person would (clicks by caption, values set in labelled controls,
// tabs, message boxes answered) and reads what the window shows (the received-signal
// panel, the status bar, the traffic log's marks and notes) and how long the window
// thread was held up. It exists only when SIGNAL_CONSOLE_PROBE names a socket (see
// docs/soak.md); without it the console has no listening socket, timer or filter of it.
//
// Each request is one line; each answer one line of JSON:
//   state               the link, the panel's texts, the status bar, the capture flags
//   log SERIAL [all]    the traffic log's marked entries and notes from SERIAL on (with
//                       "all", every entry)
//   block               the window thread's longest lateness since last asked, and overall
//   messages            the message boxes shown since last asked, and how many are open
//   dismiss             presses OK on every open message box
//   click NAME          presses the button or menu entry with caption NAME
//   set NAME VALUE      sets the control labelled NAME (a number, a list item, on/off)
//   tab NAME            brings the page NAME to the front
//   ping

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sc {

class ConsoleDialog;

// How late a periodic timer on the window thread fires: a tick that comes later than its
// interval says the thread was busy for that long (give or take the interval).
class BlockMeter {
 public:
  using Clock = std::chrono::steady_clock;
  explicit BlockMeter(std::chrono::milliseconds interval) : interval_(interval) {}

  std::chrono::milliseconds interval() const { return interval_; }
  void Tick(Clock::time_point now);
  // The longest lateness since the last call, and since the start.
  std::chrono::microseconds TakeLongest();
  std::chrono::microseconds longest() const { return overall_; }
  uint64_t ticks() const { return ticks_; }

 private:
  std::chrono::milliseconds interval_;
  Clock::time_point last_{};
  bool started_ = false;
  std::chrono::microseconds sinceAsked_{0};
  std::chrono::microseconds overall_{0};
  uint64_t ticks_ = 0;
};

// What the probe asks of the window's toolkit.
class ProbeControls {
 public:
  struct Message {
    std::string caption;
    std::string text;
  };
  virtual ~ProbeControls() = default;
  // Each returns "" when done, else what went wrong.
  virtual std::string Click(const std::string& name) = 0;
  virtual std::string Set(const std::string& name, const std::string& value) = 0;
  virtual std::string ShowTab(const std::string& name) = 0;
  // The message boxes shown since the last call, and how many are open now.
  virtual std::vector<Message> TakeShownMessages() = 0;
  virtual int OpenMessages() = 0;
  // Presses OK on every open message box; returns how many.
  virtual int DismissMessages() = 0;
};

class ConsoleProbe {
 public:
  ConsoleProbe(ConsoleDialog& dialog, ProbeControls& controls, BlockMeter& meter)
      : dialog_(dialog), controls_(controls), meter_(meter) {}

  // The answer to one request line, as one line of JSON without its line end.
  std::string Answer(std::string_view line);

  // At most this many log entries an answer ("more" says when there are others).
  static constexpr size_t kLogBatch = 2000;

 private:
  std::string State();
  std::string Log(uint64_t from, bool all);

  ConsoleDialog& dialog_;
  ProbeControls& controls_;
  BlockMeter& meter_;
};

}  // namespace sc
