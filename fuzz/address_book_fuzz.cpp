// LoadAddressBook on any TQ.ini, and what Save would write of the book it gives: that
// text must load back to the same book.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "addressing/address_book.h"
#include "fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = sc::fuzz::WriteScratchFile(
      "TQ.ini", std::string_view(reinterpret_cast<const char*>(data), size));
  sc::AddressBook book;
  long messages = 0;
  auto count = [&](const std::string&) { ++messages; };
  if (!sc::LoadAddressBook(path, book, count)) sc::fuzz::Fail("a regular file failed to load");
  if (size <= sc::kMaxSettingsFileBytes && messages != 0)
    sc::fuzz::Fail("a message for a small file");
  for (const auto& entry : book.entries)
    if (entry.description.size() > sc::kMaxDescriptionLength)
      sc::fuzz::Fail("description too long");
  sc::AddressListItems(book);

  // Saved text loads back to the same book.
  sc::AddressBook stored = book;
  for (auto& entry : stored.entries)
    entry.description = sc::StorableDescription(entry.description);
  const std::string again = sc::fuzz::WriteScratchFile("TQ.ini", sc::SettingsFileText(book));
  sc::AddressBook reloaded;
  sc::LoadAddressBook(again, reloaded, count);
  if (!(reloaded == stored)) sc::fuzz::Fail("a saved book loads back different");
  return 0;
}
