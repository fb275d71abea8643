// The reply parser as the serial worker feeds it: every byte through HandleReceivedByte,
// under each addressing mode, with the search matcher on or off. No terminal: the drain
// finds nothing, so each byte is one notification. Replies reach their handlers (the
// status chain, the EDID page) and the commands those send are queued, never written.
//
// Input: byte 0 chooses the mode (bits 0-2 the TargetAddress, bit 3 search on, bit 4 a
// port number outside 1..99, bit 5 the traffic log open, whose entries are then formatted
// as the log window shows them), the rest comes off the line. A byte 0xA5 0x5A pair switches
// the search on or off on the way.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "console/console_dialog.h"
#include "fuzz/fuzz_host.h"
#include "tests/support/console_test_access.h"

namespace {

struct Console {
  sc::fuzz::FuzzHost host;
  sc::MemoryView view;
  std::unique_ptr<sc::ConsoleDialog> dialog;

  Console() {
    sc::ConsoleDialog::Options options;
    options.executablePath = sc::fuzz::ScratchDirectory() + "/signal-console";
    options.ports = [] { return sc::PortDirectory(); };
    dialog = std::make_unique<sc::ConsoleDialog>(host, options);
    dialog->AttachView(&view);
    dialog->Startup();
  }
};

constexpr sc::DeviceAddress kModes[8] = {{0x00, 0x00}, {0xFF, 0xFF}, {0x0A, 0x00}, {0x0A, 0xFF},
                                         {0x00, 0x05}, {0xFF, 0x05}, {0x0A, 0x03}, {0x12, 0x34}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Console console;
  sc::ConsoleDialog& d = *console.dialog;
  if (size == 0) return 0;
  d.SelectTarget(kModes[data[0] & 7]);
  sc::ConsoleTestAccess::SetSearchActive(d, (data[0] & 8) != 0);
  sc::ConsoleTestAccess::SetDeviceFound(d, false);
  sc::ConsoleTestAccess::SetLinkUp(d, true);
  d.rx.state = sc::FrameAssembler::kIdle;
  const int port = (data[0] & 16) ? 100 : 1;
  const bool logOpen = (data[0] & 32) != 0;
  d.SetTrafficLogOpen(logOpen);
  const uint64_t firstEntry = d.trafficLog.next();
  for (size_t i = 1; i < size; ++i) {
    if (i + 1 < size && data[i] == 0xA5 && data[i + 1] == 0x5A)
      sc::ConsoleTestAccess::SetSearchActive(d, !d.searchActive());
    d.HandleReceivedByte(data[i], port);
    if (d.rx.state < sc::FrameAssembler::kIdle ||
        d.rx.state >= static_cast<int>(sc::kFrameBufferSize) - 1)
      sc::fuzz::Fail("the parser's state left its frame buffer");
  }
  if (logOpen) {
    d.trafficLog.FlushUnframed();
    for (uint64_t s = std::max(firstEntry, d.trafficLog.oldest()); s < d.trafficLog.next(); ++s) {
      const sc::TrafficEntry& entry = *d.trafficLog.Entry(s);
      if (entry.IsFrame() && entry.bytes.size() > sc::kFrameBufferSize)
        sc::fuzz::Fail("a logged frame is longer than any frame");
      (void)sc::FormatTrafficLine(entry);
    }
  }
  return 0;
}
