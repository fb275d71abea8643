#pragma once
// What the fuzz targets share: a host whose window thread runs nothing by itself (no
// timers fire, posted work is dropped, messages are counted, not kept) and a scratch
// directory for the files a target reads.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "window/host.h"

namespace sc::fuzz {

class FuzzHost : public Host {
 public:
  void Post(std::function<void()>) override {}
  void StartTimer(int, int) override {}
  void StopTimer(int) override {}
  void SetTimerTarget(TimerTarget*) override {}
  void ShowMessage(const std::string&, const std::string& text) override {
    ++messages;
    lastLength = text.size();
  }
  std::optional<std::string> ChooseFile(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void RunModalDialog(int) override {}
  std::chrono::milliseconds Now() const override { return std::chrono::milliseconds(0); }

  long messages = 0;
  size_t lastLength = 0;
};

// A directory of this process's own under /tmp (or $TMPDIR), made once.
const std::string& ScratchDirectory();
// Writes bytes to `name` in the scratch directory and returns its path.
std::string WriteScratchFile(const std::string& name, std::string_view bytes);

// Stops the run with a report when a property does not hold.
[[noreturn]] void Fail(const char* what);

}  // namespace sc::fuzz
