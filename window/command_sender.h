#pragma once
// How a page reaches the main window's two send operations (page, tab control, main
// window): pages never touch the port.

#include <cstdint>

namespace sc {

class CommandSender {
 public:
  virtual ~CommandSender() = default;
  virtual void SendCommand(uint16_t code) = 0;
  virtual void SendCommandWithData(uint16_t code, int count, const uint8_t* bytes) = 0;
};

}  // namespace sc
