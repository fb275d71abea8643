#pragma once
// A page's send operations, recorded instead of sent.

#include <cstdint>
#include <utility>
#include <vector>

#include "window/command_sender.h"

namespace sc {

class RecordingSender : public CommandSender {
 public:
  using Sent = std::pair<uint16_t, std::vector<uint8_t>>;
  void SendCommand(uint16_t code) override { sent.push_back({code, {}}); }
  void SendCommandWithData(uint16_t code, int count, const uint8_t* bytes) override {
    sent.push_back({code, std::vector<uint8_t>(bytes, bytes + count)});
  }
  std::vector<Sent> sent;
};

}  // namespace sc
