#pragma once
// The book of 32 named box addresses and the settings file "TQ.ini" that keeps it across
// runs, plus the texts of the main window's "Address:" list.
//
// The file: one line of 32 fields, each four upper-case hex digits and a space, CR LF;
// then 32 records "*" + description (0..10 characters) + CR LF. A first start writes
// "0000 " x 32, CR LF, then "* " CR LF x 32: 290 bytes.
//
// Messages for the user go through a MessageSink; the caller shows them in a box
// captioned "TQ-KVAD" (kAddressBookCaption). Nothing here throws.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/frame.h"

namespace sc {

inline constexpr int kAddressBookSize = 32;
inline constexpr size_t kMaxDescriptionLength = 10;
inline constexpr const char* kEmptyDescription = "          ";  // ten spaces
inline constexpr const char* kSettingsFileName = "TQ.ini";
inline constexpr const char* kAddressBookCaption = "TQ-KVAD";
inline constexpr size_t kInitialSettingsFileSize = 290;
// The most of a settings file that is read: a book this program writes is at most 578
// bytes; the rest is room for a file edited by hand.
inline constexpr size_t kMaxSettingsFileBytes = 4096;

// The "Address:" list (control 1200): two fixed items, then one item per book entry.
inline constexpr int kAddressListFixedItems = 2;
inline constexpr int kAddressListSize = kAddressListFixedItems + kAddressBookSize;
inline constexpr const char* kAddressListAllWithAck = "All: 0000(with ACT)";
inline constexpr const char* kAddressListAllNoAck = "All: FFFF(no ACT)";

using MessageSink = std::function<void(const std::string&)>;

struct AddressBookEntry {
  DeviceAddress address;
  std::string description;
  friend bool operator==(const AddressBookEntry&, const AddressBookEntry&) = default;
};

// Exactly 32 entries, index 0..31 (shown to the user as 1..32). A new book, and one
// whose file could not be read, holds 0000 with a description of ten spaces everywhere.
struct AddressBook {
  AddressBook() { Clear(); }
  void Clear();

  AddressBookEntry& operator[](int index) { return entries[static_cast<size_t>(index)]; }
  const AddressBookEntry& operator[](int index) const {
    return entries[static_cast<size_t>(index)];
  }
  friend bool operator==(const AddressBook&, const AddressBook&) = default;

  std::array<AddressBookEntry, kAddressBookSize> entries;
};

// "0A03": group then device, four upper-case hex digits.
std::string FormatAddress(DeviceAddress address);

// ---- Where the file lives ----

// The executable's path with everything after its last '/' replaced by "TQ.ini". Only the
// first 200 characters are searched for the '/', so for a longer path the file lies beside
// the last separator found among them. A path without a '/' in its first 200 characters
// gives the bare "TQ.ini" (the current directory).
std::string MakeSettingsPath(const std::string& executablePath);

// What ResolveSettingsPath needs to know about the machine, injectable for tests.
struct SettingsEnvironment {
  std::string xdgConfigHome;  // $XDG_CONFIG_HOME, "" when unset
  std::string home;           // $HOME, "" when unset
  // True when a new file can be created and renamed in the directory.
  std::function<bool(const std::string& directory)> directoryWritable;
  // True for a copy installed with the desktop files (cmake --install, the package): it
  // keeps its book in the user's config even where it could write beside itself (root).
  std::function<bool(const std::string& executablePath)> installedCopy;

  // The environment of this process; writability by access(W_OK | X_OK); installed when
  // PREFIX/share/applications/signal-console.desktop lies beside PREFIX/bin.
  static SettingsEnvironment FromProcess();
};

// MakeSettingsPath when a file (or anything) is there, or when the executable is not an
// installed copy and its directory is writable. Otherwise (an installed copy, first start):
// $XDG_CONFIG_HOME/signal-console/TQ.ini, or $HOME/.config/signal-console/TQ.ini when
// XDG_CONFIG_HOME is unset, empty or relative. The directory is created (mode 0700) when
// missing. When no usable fallback exists (no home, or the directory cannot be created) the
// path beside the executable is kept, and loading and saving report their failures there
// as usual.
std::string ResolveSettingsPath(const std::string& executablePath,
                                const SettingsEnvironment& environment);

// The running program's full path (/proc/self/exe), "" if it cannot be read.
std::string RunningExecutablePath();

// ---- Loading and saving ----

// Creates the file with its 290-byte first-start content when nothing exists at `path`,
// then reads it into `book`. Messages: "There is no TQ5R.ini and faild to create new empty
// ini file !" and "failed" when the file cannot be created, "File read failed" when it
// cannot be opened for reading and writing (a read-only file counts as a failure; the
// book then keeps its empty state). A damaged file never fails: numbers that cannot be
// read stay 0000 and missing records give empty descriptions. Only the first
// kMaxSettingsFileBytes are read; a longer file is read that far and a message says so.
// Returns true when the file was read.
bool LoadAddressBook(const std::string& path, AddressBook& book, const MessageSink& show);

// Reads a settings file's text into `book` the way LoadAddressBook reads the file (at most
// kMaxSettingsFileBytes of it), for a reader that must not create or change the file.
void ReadAddressBookText(const std::string& text, AddressBook& book);

// Rewrites the whole file from `book`. The text goes to a temporary file in the same
// directory which then replaces the old one, so a crash or a full disk leaves the old
// file whole. On failure shows "There is no PX.ini and faild to create new empty ini
// file !", then "failed" when nothing exists at `path`; the book is left as it is.
// Returns true when the new file is in place.
bool SaveAddressBook(const std::string& path, const AddressBook& book, const MessageSink& show);

// The file's text for `book`, descriptions made storable (StorableDescription).
std::string SettingsFileText(const AddressBook& book);

// The description as the file can hold it: cut at the first CR, LF or NUL and after ten
// characters, which is exactly what loading would give back. Longer text or a line break
// would otherwise leave stray text (perhaps with a '*') that loading takes for the next
// record.
std::string StorableDescription(const std::string& description);

// ---- The "Address:" list ----

// "No. 1:" .. "No. 9:", "No.10:" .. "No.32:".
const std::array<std::string, kAddressBookSize>& AddressListLabels();

// Item 0 "All: 0000(with ACT)", item 1 "All: FFFF(no ACT)", item 2 + k the label of entry
// k, its address, ": " and its description ("No. 1:0A03: Rack A"). "" outside 0..33.
std::string AddressListItem(const AddressBook& book, int item);
// All 34 items.
std::vector<std::string> AddressListItems(const AddressBook& book);
// The list before the book is first loaded: the two fixed items and the 32 bare labels.
std::vector<std::string> InitialAddressListItems();

// The address an item selects: 00/00, FF/FF, or the address of entry item - 2. Nothing
// outside 0..33.
std::optional<DeviceAddress> AddressListTarget(const AddressBook& book, int item);

}  // namespace sc
