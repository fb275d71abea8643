#include "addressing/address_book.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace sc {
namespace {

namespace fs = std::filesystem;
using Messages = std::vector<std::string>;

const std::string kNoTq5r = "There is no TQ5R.ini and faild to create new empty ini file !";
const std::string kNoPx = "There is no PX.ini and faild to create new empty ini file !";
const std::string kReadFailed = "File read failed";

// The immutable attribute refuses opening for writing even to root, which ignores
// permission bits (the tests run as root).
bool SetImmutable(const std::string& path, bool on) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(fd);
  return ok;
}

// Makes write() fail once a file would grow past `bytes`, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct rlimit small {};
    active_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0 && sigaction(SIGXFSZ, &ignore, &signal_) == 0;
    small = saved_;
    small.rlim_cur = bytes;
    active_ = active_ && setrlimit(RLIMIT_FSIZE, &small) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    sigaction(SIGXFSZ, &signal_, nullptr);
  }
  bool active() const { return active_; }

 private:
  struct rlimit saved_ {};
  struct sigaction signal_ {};
  bool active_ = false;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

int CountNames(const std::string& directory) {
  int names = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(directory))
    ++names;
  return names;
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i)
    out += text;
  return out;
}

struct Loaded {
  AddressBook book;
  Messages messages;
  bool read = false;
};

// Loads into a book full of other values, so a load that leaves entries alone shows.
Loaded Load(const std::string& path) {
  Loaded result;
  for (auto& entry : result.book.entries)
    entry = {{0x77, 0x77}, "stale"};
  result.read = LoadAddressBook(path, result.book,
                                [&](const std::string& text) { result.messages.push_back(text); });
  return result;
}

// The state before any file was read: 0000 and ten spaces everywhere.
void ExpectEmptyBook(const AddressBook& book) {
  EXPECT_EQ(AddressListItems(book), AddressListItems(AddressBook()));
  EXPECT_EQ(book[0].description, kEmptyDescription);
}

AddressBook SampleBook() {
  AddressBook book;
  for (int k = 0; k < kAddressBookSize; ++k) {
    book[k] = {{static_cast<uint8_t>(k * 7 + 1), static_cast<uint8_t>(0xFE - k)},
               std::string(static_cast<size_t>(k % 11), static_cast<char>('a' + k))};
  }
  book[0] = {{0x0A, 0x03}, "Rack A"};
  book[1] = {{0xFF, 0xFF}, "*x* y  "};
  book[2] = {{0x00, 0x00}, " lead"};
  book[3] = {{0xAB, 0xCD}, "\xE4\xF6\xFC\xDF"};  // single-byte text beyond ASCII
  book[4] = {{0x01, 0x00}, kEmptyDescription};
  return book;
}

class AddressBookFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sc-addressing-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    ini = dir + "/TQ.ini";
  }
  void TearDown() override {
    std::error_code error;
    SetImmutable(dir, false);
    if (!fs::is_symlink(ini)) SetImmutable(ini, false);
    fs::remove_all(dir, error);
  }
  std::string dir;
  std::string ini;
};

TEST_F(AddressBookFile, FirstStartWritesThe290ByteFileAndReadsItBack) {
  Loaded loaded = Load(ini);
  EXPECT_TRUE(loaded.read);
  EXPECT_TRUE(loaded.messages.empty());
  const std::string expected = Repeat("0000 ", 32) + "\r\n" + Repeat("* \r\n", 32);
  ASSERT_EQ(expected.size(), kInitialSettingsFileSize);
  EXPECT_EQ(ReadFile(ini), expected);

  std::vector<std::string> items = AddressListItems(loaded.book);
  ASSERT_EQ(items.size(), 34u);
  EXPECT_EQ(items[0], "All: 0000(with ACT)");
  EXPECT_EQ(items[1], "All: FFFF(no ACT)");
  for (int k = 0; k < kAddressBookSize; ++k)
    EXPECT_EQ(items[static_cast<size_t>(k + 2)],
              AddressListLabels()[static_cast<size_t>(k)] + "0000:  ");
  EXPECT_EQ(items[2], "No. 1:0000:  ");
  EXPECT_EQ(items[33], "No.32:0000:  ");
}

TEST_F(AddressBookFile, LoadsWellFormedAndDamagedFiles) {
  const std::string zeros30 = Repeat("0000 ", 30);
  const struct {
    const char* name;
    std::string file;
    // Entries by index; every other one must be 0000 with "".
    std::vector<std::pair<int, AddressBookEntry>> entries;
  } cases[] = {
      {"lower-case hex",
       "0a03 ff0e " + zeros30 + "\r\n*a\r\n*b\r\n",
       {{0, {{0x0A, 0x03}, "a"}}, {1, {{0xFF, 0x0E}, "b"}}}},
      {"ten characters load whole, twelve give ten and the next record still loads",
       "0001 0002 0003\r\n*ABCDEFGHIJ\r\n*abcdefghijKL\r\n*next\r\n",
       {{0, {{0, 1}, "ABCDEFGHIJ"}}, {1, {{0, 2}, "abcdefghij"}}, {2, {{0, 3}, "next"}}}},
      {"star then CR LF is an empty description",
       "0A03\r\n*\r\n*x\r\n",
       {{0, {{0x0A, 0x03}, ""}}, {1, {{0, 0}, "x"}}}},
      {"a star inside the ten characters is text",
       "*a*b\r\n*c\r\n",
       {{0, {{0, 0}, "a*b"}}, {1, {{0, 0}, "c"}}}},
      {"LF-only line ends",
       "0102 0304\n*one\n*two\n",
       {{0, {{1, 2}, "one"}}, {1, {{3, 4}, "two"}}}},
      {"empty file", "", {}},
      {"truncated inside the address line",
       "0A03 0A0",
       {{0, {{0x0A, 0x03}, ""}}, {1, {{0x00, 0xA0}, ""}}}},
      {"numbers wider than 16 bits keep their low word",
       "12345 fffff\r\n*w\r\n",
       {{0, {{0x23, 0x45}, "w"}}, {1, {{0xFF, 0xFF}, ""}}}},
      {"address line stops early: later entries 0000, descriptions from there",
       "0A03 0A04 *Rack A\r\n*Rack B\r\n",
       {{0, {{0x0A, 0x03}, "Rack A"}}, {1, {{0x0A, 0x04}, "Rack B"}}}},
      {"garbage instead of numbers", "hello world\r\n", {}},
      {"a record without its star takes the next one's text",
       "0A03 0A04\r\nRack A\r\n*Rack B\r\n",
       {{0, {{0x0A, 0x03}, "Rack B"}}, {1, {{0x0A, 0x04}, ""}}}},
      {"the star search gives up after 50 characters and reads on from there",
       Repeat("x", 50) + "ABCDEFGHIJ\r\n*second\r\n",
       {{0, {{0, 0}, "ABCDEFGHIJ"}}, {1, {{0, 0}, "second"}}}},
      {"a star as the 50th character is still found",
       Repeat("x", 49) + "*first\r\n",
       {{0, {{0, 0}, "first"}}}},
      {"NUL ends a description",
       std::string("*ab\0cd\r\n*ef\r\n", 13),
       {{0, {{0, 0}, "ab"}}, {1, {{0, 0}, "ef"}}}},
      {"NUL in the address line stops the numbers",
       std::string("0A03\0 0A04 \r\n*p\r\n", 17),
       {{0, {{0x0A, 0x03}, "p"}}}},
      {"file ends inside a description", "*abc", {{0, {{0, 0}, "abc"}}}},
  };
  for (const auto& c : cases) {
    WriteFile(ini, c.file);
    Loaded loaded = Load(ini);
    EXPECT_TRUE(loaded.read) << c.name;
    EXPECT_TRUE(loaded.messages.empty()) << c.name;
    EXPECT_EQ(ReadFile(ini), c.file) << c.name << ": loading must not rewrite the file";
    AddressBook expected;
    for (auto& entry : expected.entries)
      entry = {{0, 0}, ""};
    for (const auto& [index, entry] : c.entries)
      expected[index] = entry;
    EXPECT_EQ(AddressListItems(loaded.book), AddressListItems(expected)) << c.name;
  }
}

TEST_F(AddressBookFile, RandomBytesNeverBreakTheBook) {
  std::mt19937 random(20240601);
  const char alphabet[] = "0123456789abcdefABCDEF *\r\n\t\0xyz-+";
  for (int round = 0; round < 300; ++round) {
    std::string bytes(random() % 700, '\0');
    for (auto& b : bytes) {
      b = round % 2 ? static_cast<char>(random() % 256)
                    : alphabet[random() % (sizeof alphabet - 1)];
    }
    WriteFile(ini, bytes);
    Loaded loaded = Load(ini);
    ASSERT_TRUE(loaded.read);
    for (const auto& entry : loaded.book.entries) {
      EXPECT_LE(entry.description.size(), kMaxDescriptionLength);
      EXPECT_EQ(entry.description.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
    }
  }
}

TEST_F(AddressBookFile, SaveThenLoadGivesTheSameBook) {
  Messages messages;
  ASSERT_TRUE(
      SaveAddressBook(ini, SampleBook(), [&](const std::string& m) { messages.push_back(m); }));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Load(ini).book, SampleBook());
}

TEST_F(AddressBookFile, SaveWritesUpperCaseFieldsAndStarRecords) {
  WriteFile(ini, "0a03 0a04\r\n*Rack A\r\n*Rack B\r\n");
  AddressBook book = Load(ini).book;
  book[2].description = " ";
  ASSERT_TRUE(SaveAddressBook(ini, book, nullptr));
  EXPECT_EQ(ReadFile(ini), "0A03 0A04 " + Repeat("0000 ", 30) + "\r\n" +
                               "*Rack A\r\n*Rack B\r\n* \r\n" + Repeat("*\r\n", 29));
}

TEST_F(AddressBookFile, DescriptionsThatWouldBreakTheFileAreStoredAsLoadingWouldReadThem) {
  AddressBook book = SampleBook();
  book[6].description = "0123456789*evil";  // the tail would become entry 7's text
  book[8].description = "ab\r\n*cd";        // a line break then a fake record
  book[10].description = std::string("x\0y", 3);
  ASSERT_TRUE(SaveAddressBook(ini, book, nullptr));

  AddressBook expected = SampleBook();
  expected[6].description = "0123456789";
  expected[8].description = "ab";
  expected[10].description = "x";
  EXPECT_EQ(AddressListItems(Load(ini).book), AddressListItems(expected));
  EXPECT_EQ(book[6].description, "0123456789*evil");  // the caller's book is left alone
}

TEST_F(AddressBookFile, SaveReplacesTheFileBehindALinkAndKeepsItsMode) {
  const std::string real = dir + "/real.ini";
  WriteFile(real, "old");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(symlink("real.ini", ini.c_str()), 0);

  ASSERT_TRUE(SaveAddressBook(ini, SampleBook(), nullptr));
  EXPECT_TRUE(fs::is_symlink(ini));
  EXPECT_EQ(Load(real).book, SampleBook());
  struct stat st;
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(CountNames(dir), 2) << "temporary file left behind";
}

TEST_F(AddressBookFile, AFailedSaveIsReportedAndLeavesTheOldFileWhole) {
  const std::string old = "0A03\r\n*kept\r\n";
  const struct {
    const char* name;
    std::string path;
    bool directoryInTheWay;
    rlim_t sizeLimit;  // 0: none
    Messages messages;
    int names;  // what the directory holds afterwards
  } cases[] = {
      {"missing directory", dir + "/missing/TQ.ini", false, 0, {kNoPx, "failed"}, 1},
      {"a directory in the way", dir + "/sub", true, 0, {kNoPx}, 2},  // there: no "failed"
      {"disk full part way", ini, false, 100, {kNoPx}, 1},
  };
  for (const auto& c : cases) {
    fs::remove_all(dir + "/sub");
    WriteFile(ini, old);
    if (c.directoryInTheWay) fs::create_directory(dir + "/sub");
    Messages messages;
    bool ok = true;
    {
      std::optional<FileSizeLimit> limit;
      if (c.sizeLimit != 0) {
        limit.emplace(c.sizeLimit);
        ASSERT_TRUE(limit->active());
      }
      ok = SaveAddressBook(c.path, SampleBook(),
                           [&](const std::string& m) { messages.push_back(m); });
    }
    EXPECT_FALSE(ok) << c.name;
    EXPECT_EQ(messages, c.messages) << c.name;
    EXPECT_EQ(ReadFile(ini), old) << c.name;
    EXPECT_EQ(CountNames(dir), c.names) << c.name << ": temporary file left behind";
  }
}

TEST_F(AddressBookFile, AFirstStartFileThatCannotBeWrittenWholeIsNotLeftBehind) {
  Loaded loaded;
  {
    FileSizeLimit limit(100);
    ASSERT_TRUE(limit.active());
    loaded = Load(ini);
  }
  EXPECT_FALSE(loaded.read);
  EXPECT_EQ(loaded.messages, (Messages{kNoTq5r, "failed", kReadFailed}));
  EXPECT_FALSE(fs::exists(ini));
  ExpectEmptyBook(loaded.book);
}

TEST_F(AddressBookFile, AReadOnlyFileGivesFileReadFailedAndAnEmptyBook) {
  ASSERT_TRUE(SaveAddressBook(ini, SampleBook(), nullptr));
  // Root ignores permission bits; for root the immutable attribute does the same job.
  const bool readOnly = geteuid() != 0 ? chmod(ini.c_str(), 0444) == 0 : SetImmutable(ini, true);
  if (!readOnly) GTEST_SKIP() << "cannot make a file read-only for this user here";
  Loaded loaded = Load(ini);
  SetImmutable(ini, false);

  EXPECT_FALSE(loaded.read);
  EXPECT_EQ(loaded.messages, (Messages{kReadFailed}));
  ExpectEmptyBook(loaded.book);
  EXPECT_EQ(AddressListItem(loaded.book, 2), "No. 1:0000:           ");
}

TEST_F(AddressBookFile, UnusableFilesGiveFileReadFailed) {
  ASSERT_TRUE(fs::create_directory(dir + "/TQ.ini"));
  ASSERT_EQ(mkfifo((dir + "/fifo.ini").c_str(), 0600), 0);  // would hang a reader
  const struct {
    std::string path;
    Messages messages;
  } cases[] = {
      {dir + "/TQ.ini", {kReadFailed}},
      {dir + "/fifo.ini", {kReadFailed}},
      {dir + "/missing/TQ.ini", {kNoTq5r, "failed", kReadFailed}},
  };
  for (const auto& c : cases) {
    Loaded loaded = Load(c.path);
    EXPECT_FALSE(loaded.read) << c.path;
    EXPECT_EQ(loaded.messages, c.messages) << c.path;
    ExpectEmptyBook(loaded.book);
  }
}

TEST_F(AddressBookFile, SaveRemovesTemporariesOfKilledSavesOnly) {
  // A process that has ended: its temporaries are stale.
  const pid_t dead = fork();
  ASSERT_GE(dead, 0);
  if (dead == 0) _exit(0);
  ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
  const std::string deadPid = std::to_string(dead);
  const struct {
    std::string name;
    bool removed;
  } cases[] = {
      {".TQ.ini." + deadPid + "-0-123", true},
      {".TQ.ini." + deadPid + "-17-99", true},
      {".TQ.ini.1-0-123", false},            // a live process may be saving right now
      {".TQ.ini." + deadPid + "-0", false},  // not a name this program makes
      {".TQ.ini.notes", false},
      {".other.ini." + deadPid + "-0-1", false},
  };
  for (const auto& c : cases)
    WriteFile(dir + "/" + c.name, "half");
  ASSERT_TRUE(SaveAddressBook(ini, SampleBook(), nullptr));
  for (const auto& c : cases)
    EXPECT_EQ(fs::exists(dir + "/" + c.name), !c.removed) << c.name;
  EXPECT_EQ(Load(ini).book, SampleBook());
}

TEST_F(AddressBookFile, OnlyTheFirstFewKilobytesOfAHugeFileAreRead) {
  const std::string line = "0A03 " + Repeat("0000 ", 31) + "\r\n" + Repeat("*Rack\r\n", 32);
  const struct {
    const char* name;
    std::string text;
    uint16_t first;  // entry 0's address as read
    bool told;
  } cases[] = {
      {"a normal book", line, 0x0A03, false},
      {"a book followed by megabytes", line + std::string(3 << 20, ' '), 0x0A03, true},
      // The numbers lie beyond the part that is read: nothing of them is taken.
      {"numbers past the limit", std::string(5000, ' ') + line, 0x0000, true},
  };
  for (const auto& c : cases) {
    WriteFile(ini, c.text);
    Loaded loaded = Load(ini);
    EXPECT_TRUE(loaded.read) << c.name;
    EXPECT_EQ(loaded.book[0].address.Word(), c.first) << c.name;
    ASSERT_EQ(loaded.messages.size(), c.told ? 1u : 0u) << c.name;
    if (c.told) {
      EXPECT_EQ(loaded.messages[0],
                ini +
                    " holds more than 4096 bytes, more than an address book needs: only the "
                    "first 4096 were read, and saving the address book rewrites the file.");
    }
  }
}

// ---- Where the file lives ----

TEST(SettingsPath, ReplacesTheFileNameAfterTheLastSeparatorInTheFirst200Characters) {
  const std::string a100 = std::string(100, 'a');
  const std::string sepAt200 = "/" + a100 + "/" + std::string(98, 'b') + "/prog";
  const std::string sepAt199 = "/" + a100 + "/" + std::string(97, 'b') + "/prog";
  ASSERT_EQ(sepAt200[200], '/');
  ASSERT_EQ(sepAt199[199], '/');
  const struct {
    std::string executable;
    std::string expected;
  } cases[] = {
      {"/usr/local/bin/signal-console", "/usr/local/bin/TQ.ini"},
      {"/signal-console", "/TQ.ini"},
      {"/a/b/", "/a/b/TQ.ini"},
      {sepAt200, "/" + a100 + "/TQ.ini"},  // the separator at 200 is not looked at
      {sepAt199, sepAt199.substr(0, 200) + "TQ.ini"},
      {"/opt/" + std::string(250, 'p'), "/opt/TQ.ini"},
      // No separator among the first 200 characters: the current directory.
      {std::string(210, 'x') + "/prog", "TQ.ini"},
      {"signal-console", "TQ.ini"},
      {"", "TQ.ini"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MakeSettingsPath(c.executable), c.expected) << c.executable;
}

TEST_F(AddressBookFile, SettingsGoToTheUsersConfigWhenTheProgramsDirectoryIsNotWritable) {
  const std::string exe = "/opt/sc/bin/signal-console";
  const std::string home = dir + "/home";
  WriteFile(dir + "/plainfile", "");
  const struct {
    const char* name;
    bool writable;
    std::string xdg;
    std::string home;
    std::string expected;
  } cases[] = {
      {"writable", true, dir + "/xdg", home, "/opt/sc/bin/TQ.ini"},
      {"XDG_CONFIG_HOME, created with its parents", false, dir + "/xdg/deep/", home,
       dir + "/xdg/deep/signal-console/TQ.ini"},
      {"no XDG_CONFIG_HOME", false, "", home, home + "/.config/signal-console/TQ.ini"},
      {"relative XDG_CONFIG_HOME is ignored", false, "rel", home,
       home + "/.config/signal-console/TQ.ini"},
      {"no home either", false, "", "", "/opt/sc/bin/TQ.ini"},
      {"fallback cannot be created", false, dir + "/plainfile", "", "/opt/sc/bin/TQ.ini"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> asked;
    SettingsEnvironment environment{c.xdg, c.home,
                                    [&](const std::string& directory) {
                                      asked.push_back(directory);
                                      return c.writable;
                                    },
                                    nullptr};
    const std::string path = ResolveSettingsPath(exe, environment);
    EXPECT_EQ(path, c.expected) << c.name;
    EXPECT_EQ(asked, (std::vector<std::string>{"/opt/sc/bin"})) << c.name;
    if (!c.writable && path != "/opt/sc/bin/TQ.ini") {
      EXPECT_TRUE(fs::is_directory(fs::path(path).parent_path())) << c.name;
    }
  }
  // An installed copy uses the user's config even where it may write beside itself.
  SettingsEnvironment installed{"", home, [](auto&) { return true; },
                                [&](const std::string& executable) { return executable == exe; }};
  EXPECT_EQ(ResolveSettingsPath(exe, installed), home + "/.config/signal-console/TQ.ini");
  EXPECT_EQ(ResolveSettingsPath("/build/app/signal-console", installed), "/build/app/TQ.ini");
  EXPECT_FALSE(fs::exists(dir + "/xdg/signal-console"));
  EXPECT_FALSE(fs::exists("rel"));
  // A first start then creates the book there.
  const std::string path =
      ResolveSettingsPath(exe, {"", home, [](auto&) { return false; }, nullptr});
  EXPECT_TRUE(Load(path).messages.empty());
  EXPECT_EQ(fs::file_size(path), kInitialSettingsFileSize);
}

TEST_F(AddressBookFile, TheProcessEnvironmentKnowsAnInstalledCopyByItsDesktopFile) {
  const auto environment = SettingsEnvironment::FromProcess();
  fs::create_directories(dir + "/bin");
  fs::create_directories(dir + "/share/applications");
  EXPECT_FALSE(environment.installedCopy(dir + "/bin/signal-console"));
  WriteFile(dir + "/share/applications/signal-console.desktop", "[Desktop Entry]\n");
  EXPECT_TRUE(environment.installedCopy(dir + "/bin/signal-console"));
  EXPECT_TRUE(environment.installedCopy(dir + "/bin/signal-cli"));
}

TEST_F(AddressBookFile, AnExistingBookBesideTheProgramIsReadEvenWhenItsDirectoryIsNotWritable) {
  const std::string exe = dir + "/bin/signal-console";
  fs::create_directory(dir + "/bin");
  ASSERT_TRUE(SaveAddressBook(dir + "/bin/TQ.ini", SampleBook(), nullptr));
  SettingsEnvironment environment{"", dir + "/home", [](const std::string&) { return false; },
                                  nullptr};
  const std::string path = ResolveSettingsPath(exe, environment);
  EXPECT_EQ(path, dir + "/bin/TQ.ini");
  EXPECT_EQ(Load(path).book, SampleBook());
  EXPECT_FALSE(fs::exists(dir + "/home/.config/signal-console")) << "fallback made all the same";
}

TEST_F(AddressBookFile, TheProcessEnvironmentSeesAnUnwritableDirectoryEvenAsRoot) {
  const auto environment = SettingsEnvironment::FromProcess();
  EXPECT_TRUE(environment.directoryWritable(dir));
  EXPECT_FALSE(environment.directoryWritable(dir + "/missing"));
  if (!SetImmutable(dir, true)) GTEST_SKIP() << "no immutable attribute here";
  const bool writable = environment.directoryWritable(dir);
  SetImmutable(dir, false);
  EXPECT_FALSE(writable);
}

// ---- The "Address:" list ----

TEST(AddressList, ItemsAndTheAddressesTheySelect) {
  AddressBook book;
  book[0] = {{0x0A, 0x03}, "Rack A"};
  book[31] = {{0xFE, 0x01}, ""};
  EXPECT_EQ(AddressListItem(book, 2), "No. 1:0A03: Rack A");
  EXPECT_EQ(AddressListItem(book, 10), "No. 9:0000:           ");
  EXPECT_EQ(AddressListItem(book, 11), "No.10:0000:           ");
  EXPECT_EQ(AddressListItem(book, 33), "No.32:FE01: ");
  EXPECT_EQ(AddressListItem(book, 34), "");
  const auto initial = InitialAddressListItems();
  ASSERT_EQ(initial.size(), 34u);
  EXPECT_EQ(initial[0], "All: 0000(with ACT)");
  EXPECT_EQ(initial[2], "No. 1:");
  EXPECT_EQ(initial[33], "No.32:");

  EXPECT_EQ(AddressListTarget(book, 0), (DeviceAddress{0x00, 0x00}));
  EXPECT_EQ(AddressListTarget(book, 1), (DeviceAddress{0xFF, 0xFF}));
  EXPECT_EQ(AddressListTarget(book, 2), (DeviceAddress{0x0A, 0x03}));
  EXPECT_EQ(AddressListTarget(book, 33), (DeviceAddress{0xFE, 0x01}));
  EXPECT_EQ(AddressListTarget(book, 34), std::nullopt);
  EXPECT_EQ(AddressListTarget(book, -1), std::nullopt);
}

}  // namespace
}  // namespace sc
