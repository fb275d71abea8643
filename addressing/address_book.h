#pragma once
// Provisional: replaced by the address book work.
#include <array>
#include <string>

#include "link/frame.h"

namespace sc {

struct AddressBookEntry {
  DeviceAddress address;
  std::string description = "          ";
};

struct AddressBook {
  std::array<AddressBookEntry, 32> entries;
};

}  // namespace sc
