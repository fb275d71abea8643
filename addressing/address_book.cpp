#include "addressing/address_book.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "storage/safe_file.h"

namespace sc {
namespace {

constexpr size_t kSeparatorSearchLength = 200;
constexpr int kStarSearchLimit = 50;

constexpr const char* kCreateFailedAtStart =
    "There is no TQ5R.ini and faild to create new empty ini file !";
constexpr const char* kCreateFailedAtSave =
    "There is no PX.ini and faild to create new empty ini file !";
constexpr const char* kStillMissing = "failed";
constexpr const char* kReadFailed = "File read failed";

void Say(const MessageSink& show, const char* text) {
  if (show) show(text);
}

// Anything at all at the path counts: a directory named TQ.ini is "there" and then fails
// to open like any other unusable file.
bool Exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

std::string InitialText() {
  std::string text;
  for (int k = 0; k < kAddressBookSize; ++k)
    text += "0000 ";
  text += "\r\n";
  for (int k = 0; k < kAddressBookSize; ++k)
    text += "* \r\n";
  return text;
}

// Creates the first-start file. Its name appears only with the whole content, so a kill
// during the creation leaves no file (the next start creates it again), never an empty
// one; a file that appeared since the existence test is left alone.
bool CreateInitialFile(const std::string& path) {
  const SafeWriteResult result = CreateFileSafely(path, InitialText());
  return result.ok() || (result.error == EEXIST && Exists(path));
}

// Reads the book from an open file, stdio style: 32 numbers as "%x" reads them, then for
// each entry a search for '*' and up to ten description characters.
void ReadBook(FILE* file, AddressBook& book) {
  for (int k = 0; k < kAddressBookSize; ++k) {
    unsigned int value = 0;
    if (fscanf(file, "%x", &value) != 1) break;  // this entry and the rest stay 0000
    book[k].address = DeviceAddress::FromWord(static_cast<uint16_t>(value & 0xFFFF));
  }
  for (int k = 0; k < kAddressBookSize; ++k) {
    for (int n = 0; n < kStarSearchLimit; ++n) {
      int c = fgetc(file);
      if (c == EOF || c == '*') break;
    }
    std::string description;
    while (description.size() < kMaxDescriptionLength) {
      int c = fgetc(file);
      if (c == EOF || c == '\r' || c == '\n' || c == '\0') break;
      description += static_cast<char>(c);
    }
    book[k].description = description;
  }
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a save must replace: the target of a symbolic link rather than the link.
std::string ReplaceTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

bool ReplaceFile(const std::string& path, const std::string& text) {
  return ReplaceFileSafely(ReplaceTarget(path), text).ok();
}

bool MakeDirectories(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i != path.size() && path[i] != '/') continue;
    const std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

}  // namespace

void AddressBook::Clear() {
  for (auto& entry : entries)
    entry = {DeviceAddress{}, kEmptyDescription};
}

std::string FormatAddress(DeviceAddress address) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X", address.group, address.device);
  return text;
}

std::string MakeSettingsPath(const std::string& executablePath) {
  const size_t searched = std::min(executablePath.size(), kSeparatorSearchLength);
  if (searched == 0) return kSettingsFileName;
  const size_t slash = executablePath.find_last_of('/', searched - 1);
  if (slash == std::string::npos) return kSettingsFileName;
  return executablePath.substr(0, slash + 1) + kSettingsFileName;
}

SettingsEnvironment SettingsEnvironment::FromProcess() {
  SettingsEnvironment environment;
  if (const char* value = std::getenv("XDG_CONFIG_HOME")) environment.xdgConfigHome = value;
  if (const char* value = std::getenv("HOME")) environment.home = value;
  environment.directoryWritable = [](const std::string& directory) {
    return access(directory.c_str(), W_OK | X_OK) == 0;
  };
  environment.installedCopy = [](const std::string& executablePath) {
    const std::string bin = DirectoryOf(executablePath);
    struct stat st {};
    return stat((bin + "/../share/applications/signal-console.desktop").c_str(), &st) == 0 &&
           S_ISREG(st.st_mode);
  };
  return environment;
}

std::string ResolveSettingsPath(const std::string& executablePath,
                                const SettingsEnvironment& environment) {
  const std::string beside = MakeSettingsPath(executablePath);
  // A book that is already there is read where it is, even from a directory this user
  // may not write: the fallback is only for a first start that cannot create it. An
  // installed copy never starts a book beside itself, even where it could (as root).
  const bool installed = environment.installedCopy && environment.installedCopy(executablePath);
  if (Exists(beside) || (!installed && (!environment.directoryWritable ||
                                        environment.directoryWritable(DirectoryOf(beside)))))
    return beside;
  // XDG: a relative XDG_CONFIG_HOME is to be ignored.
  std::string base;
  if (!environment.xdgConfigHome.empty() && environment.xdgConfigHome[0] == '/')
    base = WithoutTrailingSlashes(environment.xdgConfigHome);
  else if (!environment.home.empty())
    base = WithoutTrailingSlashes(environment.home) + "/.config";
  else
    return beside;
  if (base == "/") base.clear();
  const std::string directory = base + "/signal-console";
  if (!MakeDirectories(directory)) return beside;
  return directory + "/" + kSettingsFileName;
}

std::string RunningExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return "";
  return std::string(buffer, static_cast<size_t>(n));
}

bool LoadAddressBook(const std::string& path, AddressBook& book, const MessageSink& show) {
  // What a save (or a first start) killed part way left beside the book goes now.
  RemoveStaleTemporaries(path);
  if (!Exists(path)) {
    if (!CreateInitialFile(path)) Say(show, kCreateFailedAtStart);
    if (!Exists(path)) Say(show, kStillMissing);
  }
  book.Clear();
  // Read and write access, as the file is opened for update: a read-only book is refused.
  FILE* file = std::fopen(path.c_str(), "r+");
  if (file == nullptr) {
    Say(show, kReadFailed);
    return false;
  }
  // A pipe or device under the name would block the start-up or never end.
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fclose(file);
    Say(show, kReadFailed);
    return false;
  }
  // Only what a settings file can hold is read: a huge file must not stall the start-up.
  std::string text(kMaxSettingsFileBytes + 1, '\0');
  size_t size = std::fread(text.data(), 1, text.size(), file);
  std::fclose(file);
  if (size > kMaxSettingsFileBytes) {
    size = kMaxSettingsFileBytes;
    Say(show, (path + " holds more than " + std::to_string(kMaxSettingsFileBytes) +
               " bytes, more than an address book needs: only the first " +
               std::to_string(kMaxSettingsFileBytes) +
               " were read, and saving the address book rewrites the file.")
                  .c_str());
  }
  // Read from memory the way it would be read from the file.
  FILE* memory = fmemopen(text.data(), size, "r");
  if (memory == nullptr) {
    Say(show, kReadFailed);
    return false;
  }
  ReadBook(memory, book);
  std::fclose(memory);
  return true;
}

void ReadAddressBookText(const std::string& text, AddressBook& book) {
  book.Clear();
  std::string bytes = text.substr(0, kMaxSettingsFileBytes);
  if (bytes.empty()) return;
  FILE* memory = fmemopen(bytes.data(), bytes.size(), "r");
  if (memory == nullptr) return;
  ReadBook(memory, book);
  std::fclose(memory);
}

std::string StorableDescription(const std::string& description) {
  std::string text = description.substr(0, description.find_first_of(std::string("\r\n\0", 3)));
  if (text.size() > kMaxDescriptionLength) text.resize(kMaxDescriptionLength);
  return text;
}

std::string SettingsFileText(const AddressBook& book) {
  std::string text;
  for (const auto& entry : book.entries)
    text += FormatAddress(entry.address) + " ";
  text += "\r\n";
  for (const auto& entry : book.entries)
    text += "*" + StorableDescription(entry.description) + "\r\n";
  return text;
}

bool SaveAddressBook(const std::string& path, const AddressBook& book, const MessageSink& show) {
  if (ReplaceFile(path, SettingsFileText(book))) return true;
  Say(show, kCreateFailedAtSave);
  if (!Exists(path)) Say(show, kStillMissing);
  return false;
}

const std::array<std::string, kAddressBookSize>& AddressListLabels() {
  static const auto labels = [] {
    std::array<std::string, kAddressBookSize> texts;
    for (int k = 0; k < kAddressBookSize; ++k) {
      char text[16];
      std::snprintf(text, sizeof text, "No.%2d:", k + 1);
      texts[static_cast<size_t>(k)] = text;
    }
    return texts;
  }();
  return labels;
}

std::string AddressListItem(const AddressBook& book, int item) {
  if (item == 0) return kAddressListAllWithAck;
  if (item == 1) return kAddressListAllNoAck;
  if (item < kAddressListFixedItems || item >= kAddressListSize) return "";
  const int k = item - kAddressListFixedItems;
  return AddressListLabels()[static_cast<size_t>(k)] + FormatAddress(book[k].address) + ": " +
         book[k].description;
}

std::vector<std::string> AddressListItems(const AddressBook& book) {
  std::vector<std::string> items;
  for (int item = 0; item < kAddressListSize; ++item)
    items.push_back(AddressListItem(book, item));
  return items;
}

std::vector<std::string> InitialAddressListItems() {
  std::vector<std::string> items{kAddressListAllWithAck, kAddressListAllNoAck};
  for (const auto& label : AddressListLabels())
    items.push_back(label);
  return items;
}

std::optional<DeviceAddress> AddressListTarget(const AddressBook& book, int item) {
  if (item == 0) return DeviceAddress{0x00, 0x00};
  if (item == 1) return DeviceAddress{0xFF, 0xFF};
  if (item < kAddressListFixedItems || item >= kAddressListSize) return std::nullopt;
  return book[item - kAddressListFixedItems].address;
}

}  // namespace sc
