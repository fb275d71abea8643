// The simulated box's frame input: command bytes in any chunking to a line of two boxes.
// Whatever they answer must be whole reply frames with a good checksum.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_host.h"
#include "link/frame.h"
#include "sim/box_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sc::BoxLine line({{0x01, 0x01}, {0x0A, 0x03}});
  sc::FrameAssembler replies(sc::kReplyLead);
  // Byte 0 cuts the input into chunks of 1..8 bytes.
  const size_t chunk = size ? (data[0] & 7) + 1 : 1;
  for (size_t at = size ? 1 : 0; at < size; at += chunk) {
    const size_t n = at + chunk <= size ? chunk : size - at;
    for (const sc::LineOutput& out : line.Receive(data + at, n)) {
      for (size_t i = 0; i < out.bytes.size(); ++i) {
        const auto step = replies.Push(out.bytes[i]);
        if (step == sc::FrameAssembler::Step::Dropped) sc::fuzz::Fail("a reply is not a frame");
        if (step == sc::FrameAssembler::Step::Complete &&
            !sc::FrameSumIsZero(replies.frame.data(), replies.FrameSize()))
          sc::fuzz::Fail("a reply with a bad checksum");
        if (i == 0 && step != sc::FrameAssembler::Step::Pending)
          sc::fuzz::Fail("a reply cut short");
      }
      if (replies.state != sc::FrameAssembler::kIdle) sc::fuzz::Fail("a reply cut short");
    }
  }
  return 0;
}
