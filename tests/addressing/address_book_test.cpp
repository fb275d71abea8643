#include "addressing/address_book.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// The immutable attribute refuses writing (and opening for writing) even to root, which
// ignores permission bits; the tests run as root.
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

class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/sc-addressing-XXXXXX";
    path = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempDir() {
    std::error_code error;
    if (path.empty()) return;
    SetImmutable(path, false);
    for (const auto& entry : fs::recursive_directory_iterator(path, error))
      if (!entry.is_symlink()) SetImmutable(entry.path(), false);
    fs::remove_all(path, error);
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  std::string path;
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

// Loads `path` into a book that starts out full of other values, so a load that leaves
// entries alone shows.
AddressBook Load(const std::string& path, Messages* messages = nullptr, bool* read = nullptr) {
  AddressBook book;
  for (int k = 0; k < kAddressBookSize; ++k)
    book[k] = {{0x77, 0x77}, "stale"};
  bool ok = LoadAddressBook(path, book, [&](const std::string& text) {
    if (messages) messages->push_back(text);
  });
  if (read) *read = ok;
  return book;
}

class AddressBookFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.path.empty()); }
  TempDir dir;
  std::string ini = dir / "TQ.ini";
};

TEST_F(AddressBookFile, FirstStartWritesThe290ByteFileAndReadsItBack) {
  Messages messages;
  bool read = false;
  AddressBook book = Load(ini, &messages, &read);

  EXPECT_TRUE(read);
  EXPECT_TRUE(messages.empty());
  const std::string expected = Repeat("0000 ", 32) + "\r\n" + Repeat("* \r\n", 32);
  ASSERT_EQ(expected.size(), kInitialSettingsFileSize);
  EXPECT_EQ(ReadFile(ini), expected);

  for (int k = 0; k < kAddressBookSize; ++k) {
    EXPECT_EQ(book[k].address, (DeviceAddress{0, 0})) << k;
    EXPECT_EQ(book[k].description, " ") << k;
  }
  std::vector<std::string> items = AddressListItems(book);
  ASSERT_EQ(items.size(), 34u);
  EXPECT_EQ(items[0], "All: 0000(with ACT)");
  EXPECT_EQ(items[1], "All: FFFF(no ACT)");
  EXPECT_EQ(items[2], "No. 1:0000:  ");
  EXPECT_EQ(items[10], "No. 9:0000:  ");
  EXPECT_EQ(items[11], "No.10:0000:  ");
  EXPECT_EQ(items[33], "No.32:0000:  ");
}

TEST_F(AddressBookFile, AnExistingFileIsNotRewrittenByLoading) {
  const std::string text = "0A03 \r\n*Rack A\r\n";
  WriteFile(ini, text);
  Load(ini);
  EXPECT_EQ(ReadFile(ini), text);
}

struct LoadCase {
  const char* name;
  std::string file;
  // Expected entries by index; every index not listed must be 0000 with "".
  std::vector<std::pair<int, AddressBookEntry>> entries;
};

std::string Addresses(const std::string& fields) {
  return fields + "\r\n";
}

TEST_F(AddressBookFile, LoadsWellFormedAndDamagedFiles) {
  const std::string zeros30 = Repeat("0000 ", 30);
  const LoadCase cases[] = {
      {"lower-case hex",
       Addresses("0a03 ff0e " + zeros30) + "*a\r\n*b\r\n",
       {{0, {{0x0A, 0x03}, "a"}}, {1, {{0xFF, 0x0E}, "b"}}}},
      {"ten characters load whole, twelve give ten and the next record still loads",
       Addresses("0001 0002 0003 " + Repeat("0000 ", 29)) +
           "*ABCDEFGHIJ\r\n*abcdefghijKL\r\n*next\r\n",
       {{0, {{0, 1}, "ABCDEFGHIJ"}}, {1, {{0, 2}, "abcdefghij"}}, {2, {{0, 3}, "next"}}}},
      {"star then CR LF is an empty description",
       Addresses("0A03 " + Repeat("0000 ", 31)) + "*\r\n*x\r\n",
       {{0, {{0x0A, 0x03}, ""}}, {1, {{0, 0}, "x"}}}},
      {"a star inside the ten characters is text",
       "*a*b\r\n*c\r\n",
       {{0, {{0, 0}, "a*b"}}, {1, {{0, 0}, "c"}}}},
      {"LF-only line ends",
       Addresses("0102 0304") + "*one\n*two\n",
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
       Addresses("0A03 0A04") + "Rack A\r\n*Rack B\r\n",
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
    Messages messages;
    bool read = false;
    AddressBook book = Load(ini, &messages, &read);
    EXPECT_TRUE(read) << c.name;
    EXPECT_TRUE(messages.empty()) << c.name;
    AddressBook expected;
    for (int k = 0; k < kAddressBookSize; ++k)
      expected[k] = {{0, 0}, ""};
    for (const auto& [index, entry] : c.entries)
      expected[index] = entry;
    for (int k = 0; k < kAddressBookSize; ++k) {
      EXPECT_EQ(FormatAddress(book[k].address), FormatAddress(expected[k].address))
          << c.name << ", entry " << k;
      EXPECT_EQ(book[k].description, expected[k].description) << c.name << ", entry " << k;
    }
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
    bool read = false;
    AddressBook book = Load(ini, nullptr, &read);
    ASSERT_TRUE(read);
    for (const auto& entry : book.entries) {
      EXPECT_LE(entry.description.size(), kMaxDescriptionLength);
      EXPECT_EQ(entry.description.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
    }
  }
}

AddressBook SampleBook() {
  AddressBook book;
  for (int k = 0; k < kAddressBookSize; ++k) {
    book[k] = {{static_cast<uint8_t>(k * 7 + 1), static_cast<uint8_t>(0xFE - k)},
               std::string(static_cast<size_t>(k % 11), static_cast<char>('a' + k % 26))};
  }
  book[0] = {{0x0A, 0x03}, "Rack A"};
  book[1] = {{0x0A, 0x04}, "Rack B"};
  book[2] = {{0xFF, 0xFF}, "*x* y  "};
  book[3] = {{0x00, 0x00}, " lead"};
  book[4] = {{0xAB, 0xCD}, "\xE4\xF6\xFC\xDF"};  // single-byte text beyond ASCII
  book[5] = {{0x01, 0x00}, kEmptyDescription};
  return book;
}

TEST_F(AddressBookFile, SaveThenLoadGivesTheSameBook) {
  const AddressBook book = SampleBook();
  Messages messages;
  ASSERT_TRUE(SaveAddressBook(ini, book, [&](const std::string& m) { messages.push_back(m); }));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Load(ini), book);
}

TEST_F(AddressBookFile, SaveWritesUpperCaseFieldsAndStarRecords) {
  WriteFile(ini, Addresses("0a03 0a04 " + Repeat("0000 ", 30)) + "*Rack A\r\n*Rack B\r\n");
  AddressBook book = Load(ini);
  book[2].description = " ";
  ASSERT_TRUE(SaveAddressBook(ini, book, nullptr));
  const std::string text = ReadFile(ini);
  EXPECT_EQ(text.substr(0, 162), "0A03 0A04 " + Repeat("0000 ", 30) + "\r\n");
  EXPECT_EQ(text.substr(162, 25), "*Rack A\r\n*Rack B\r\n* \r\n*\r\n");
  EXPECT_EQ(text.size(), 162u + 9 + 9 + 4 + 29 * 3);
}

TEST_F(AddressBookFile, DescriptionsThatWouldBreakTheFileAreStoredAsLoadingWouldReadThem) {
  AddressBook book = SampleBook();
  book[6].description = "0123456789*evil";  // the tail would become entry 7's text
  book[7].description = "seven";
  book[8].description = "ab\r\n*cd";  // a line break then a star: another fake record
  book[9].description = "nine";
  book[10].description = std::string("x\0y", 3);
  book[11].description = "eleven";
  ASSERT_TRUE(SaveAddressBook(ini, book, nullptr));
  const AddressBook loaded = Load(ini);
  EXPECT_EQ(loaded[6].description, "0123456789");
  EXPECT_EQ(loaded[7].description, "seven");
  EXPECT_EQ(loaded[8].description, "ab");
  EXPECT_EQ(loaded[9].description, "nine");
  EXPECT_EQ(loaded[10].description, "x");
  EXPECT_EQ(loaded[11].description, "eleven");
  for (int k = 0; k < kAddressBookSize; ++k)
    EXPECT_EQ(loaded[k].address, book[k].address) << k;
  // The book in memory is the caller's and keeps its values.
  EXPECT_EQ(book[6].description, "0123456789*evil");
}

TEST_F(AddressBookFile, SaveReplacesTheFileItselfKeepingItsModeAndLinks) {
  const std::string real = dir / "real.ini";
  WriteFile(real, "old");
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  ASSERT_EQ(symlink("real.ini", ini.c_str()), 0);

  ASSERT_TRUE(SaveAddressBook(ini, SampleBook(), nullptr));
  EXPECT_TRUE(fs::is_symlink(ini));
  EXPECT_EQ(Load(real), SampleBook());
  struct stat st;
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(CountNames(dir.path), 2) << "temporary file left behind";
}

TEST_F(AddressBookFile, SaveIntoAMissingDirectoryFailsAndSaysSo) {
  Messages messages;
  AddressBook book = SampleBook();
  EXPECT_FALSE(SaveAddressBook(dir / "missing/TQ.ini", book,
                               [&](const std::string& m) { messages.push_back(m); }));
  EXPECT_EQ(messages, (Messages{kNoPx, "failed"}));
  EXPECT_EQ(book, SampleBook());
}

TEST_F(AddressBookFile, SaveOverADirectoryFailsWithoutFailed) {
  ASSERT_EQ(mkdir(ini.c_str(), 0755), 0);
  Messages messages;
  EXPECT_FALSE(
      SaveAddressBook(ini, SampleBook(), [&](const std::string& m) { messages.push_back(m); }));
  EXPECT_EQ(messages, (Messages{kNoPx}));
  EXPECT_TRUE(fs::is_directory(ini));
}

// A file-size limit makes write() fail part way, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    active_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0 && sigaction(SIGXFSZ, &ignore, &signal_) == 0;
    struct rlimit small = saved_;
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

TEST_F(AddressBookFile, AFailedWriteLeavesTheOldFileWholeAndIsReported) {
  const std::string old = Addresses("0A03 " + Repeat("0000 ", 31)) + "*kept\r\n";
  WriteFile(ini, old);
  Messages messages;
  bool ok = true;
  {
    FileSizeLimit limit(100);
    ASSERT_TRUE(limit.active());
    ok = SaveAddressBook(ini, SampleBook(), [&](const std::string& m) { messages.push_back(m); });
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(messages, (Messages{kNoPx}));
  EXPECT_EQ(ReadFile(ini), old);
  EXPECT_EQ(CountNames(dir.path), 1) << "temporary file left behind";
}

TEST_F(AddressBookFile, AFirstStartFileThatCannotBeWrittenWholeIsNotLeftBehind) {
  Messages messages;
  bool read = true;
  AddressBook book;
  {
    FileSizeLimit limit(100);
    ASSERT_TRUE(limit.active());
    book = Load(ini, &messages, &read);
  }
  EXPECT_FALSE(read);
  EXPECT_EQ(messages, (Messages{kNoTq5r, "failed", "File read failed"}));
  EXPECT_FALSE(fs::exists(ini));
  EXPECT_EQ(AddressListItems(book), AddressListItems(AddressBook()));
}

TEST_F(AddressBookFile, SaveIntoAnUnwritableDirectoryKeepsTheOldFile) {
  WriteFile(ini, "0A03 \r\n*kept\r\n");
  if (!SetImmutable(dir.path, true)) GTEST_SKIP() << "no immutable attribute here";
  Messages messages;
  bool ok =
      SaveAddressBook(ini, SampleBook(), [&](const std::string& m) { messages.push_back(m); });
  SetImmutable(dir.path, false);
  EXPECT_FALSE(ok);
  EXPECT_EQ(messages, (Messages{kNoPx}));
  EXPECT_EQ(ReadFile(ini), "0A03 \r\n*kept\r\n");
}

// ---- Files that cannot be read ----

// The state before any file was read: 0000 and ten spaces everywhere.
void ExpectEmptyBook(const AddressBook& book) {
  EXPECT_EQ(AddressListItems(book), AddressListItems(AddressBook()));
  EXPECT_EQ(book[0].description, kEmptyDescription);
}

TEST_F(AddressBookFile, AReadOnlyFileGivesFileReadFailedAndAnEmptyBook) {
  ASSERT_TRUE(SaveAddressBook(ini, SampleBook(), nullptr));
  // Root ignores permission bits; for root the immutable attribute does the same job.
  bool protectedFile = false;
  if (geteuid() != 0) {
    protectedFile = chmod(ini.c_str(), 0444) == 0;
  } else {
    protectedFile = SetImmutable(ini, true);
  }
  if (!protectedFile) GTEST_SKIP() << "cannot make a file read-only for this user here";
  Messages messages;
  bool read = true;
  AddressBook book = Load(ini, &messages, &read);
  SetImmutable(ini, false);

  EXPECT_FALSE(read);
  EXPECT_EQ(messages, (Messages{"File read failed"}));
  ExpectEmptyBook(book);
  EXPECT_EQ(AddressListItem(book, 2), "No. 1:0000:           ");
}

TEST_F(AddressBookFile, SomethingThatIsNotAFileGivesFileReadFailed) {
  const std::string directory = dir / "dir/TQ.ini";
  const std::string fifo = dir / "fifo.ini";
  ASSERT_TRUE(fs::create_directories(directory));
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // would block the start-up if read
  for (const auto& path : {directory, fifo}) {
    Messages messages;
    bool read = true;
    AddressBook book = Load(path, &messages, &read);
    EXPECT_FALSE(read) << path;
    EXPECT_EQ(messages, (Messages{"File read failed"})) << path;
    ExpectEmptyBook(book);
  }
}

TEST_F(AddressBookFile, AFileThatCannotBeCreatedGivesAllThreeMessages) {
  Messages messages;
  bool read = true;
  AddressBook book = Load(dir / "missing/TQ.ini", &messages, &read);
  EXPECT_FALSE(read);
  EXPECT_EQ(messages, (Messages{kNoTq5r, "failed", "File read failed"}));
  ExpectEmptyBook(book);
}

// ---- Where the file lives ----

TEST(SettingsPath, ReplacesTheFileNameAfterTheLastSeparatorInTheFirst200Characters) {
  const std::string a100 = std::string(100, 'a');
  // Separators at 0 and 101; the one at 200 is not looked at.
  const std::string sepAt200 = "/" + a100 + "/" + std::string(98, 'b') + "/prog";
  // Separators at 0, 101 and 199.
  const std::string sepAt199 = "/" + a100 + "/" + std::string(97, 'b') + "/" + "prog";
  ASSERT_EQ(sepAt200[200], '/');
  ASSERT_EQ(sepAt199[199], '/');
  const std::string longName = "/opt/" + std::string(250, 'p');
  const struct {
    std::string executable;
    std::string expected;
  } cases[] = {
      {"/usr/local/bin/signal-console", "/usr/local/bin/TQ.ini"},
      {"/signal-console", "/TQ.ini"},
      {"/a/b/", "/a/b/TQ.ini"},
      {sepAt200, "/" + a100 + "/TQ.ini"},
      {sepAt199, sepAt199.substr(0, 200) + "TQ.ini"},
      {longName, "/opt/TQ.ini"},
      // No separator among the first 200 characters: the current directory.
      {std::string(210, 'x') + "/prog", "TQ.ini"},
      {"signal-console", "TQ.ini"},
      {"", "TQ.ini"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MakeSettingsPath(c.executable), c.expected) << c.executable;
}

class SettingsLocation : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(dir.path.empty()); }
  // An environment whose executable directory is writable or not, as the test says.
  SettingsEnvironment Environment(bool writable, std::string xdg, std::string home) {
    SettingsEnvironment environment;
    environment.xdgConfigHome = std::move(xdg);
    environment.home = std::move(home);
    environment.directoryWritable = [this, writable](const std::string& directory) {
      asked.push_back(directory);
      return writable;
    };
    return environment;
  }
  TempDir dir;
  std::vector<std::string> asked;
};

TEST_F(SettingsLocation, BesideTheExecutableWhenItsDirectoryIsWritable) {
  EXPECT_EQ(ResolveSettingsPath("/opt/sc/bin/signal-console",
                                Environment(true, dir / "xdg", dir / "home")),
            "/opt/sc/bin/TQ.ini");
  EXPECT_EQ(asked, (std::vector<std::string>{"/opt/sc/bin"}));
  EXPECT_FALSE(fs::exists(dir / "xdg"));
}

TEST_F(SettingsLocation, FallsBackToTheUsersConfigDirectoryAndCreatesIt) {
  const std::string exe = "/usr/bin/signal-console";
  const std::string home = dir / "home";
  ASSERT_TRUE(fs::create_directories(home));
  const struct {
    const char* name;
    std::string xdg;
    std::string expected;
  } cases[] = {
      {"XDG_CONFIG_HOME, created with its parents", dir / "xdg/deep/",
       dir / "xdg/deep/signal-console/TQ.ini"},
      {"no XDG_CONFIG_HOME", "", home + "/.config/signal-console/TQ.ini"},
      {"relative XDG_CONFIG_HOME is ignored", "relative/cfg",
       home + "/.config/signal-console/TQ.ini"},
  };
  for (const auto& c : cases) {
    const std::string path = ResolveSettingsPath(exe, Environment(false, c.xdg, home));
    EXPECT_EQ(path, c.expected) << c.name;
    EXPECT_TRUE(fs::is_directory(fs::path(path).parent_path())) << c.name;
  }
  EXPECT_FALSE(fs::exists("relative"));
  // The first start then creates the book there.
  const std::string path = ResolveSettingsPath(exe, Environment(false, "", home));
  Messages messages;
  Load(path, &messages);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(fs::file_size(path), kInitialSettingsFileSize);
}

TEST_F(SettingsLocation, KeepsThePathBesideTheExecutableWhenThereIsNoUsableFallback) {
  WriteFile(dir / "plainfile", "");
  EXPECT_EQ(ResolveSettingsPath("/usr/bin/sc", Environment(false, "", "")), "/usr/bin/TQ.ini");
  EXPECT_EQ(ResolveSettingsPath("/usr/bin/sc", Environment(false, dir / "plainfile", "")),
            "/usr/bin/TQ.ini");
}

TEST_F(SettingsLocation, TheProcessEnvironmentTellsAnUnwritableDirectory) {
  const auto environment = SettingsEnvironment::FromProcess();
  EXPECT_TRUE(environment.directoryWritable(dir.path));
  EXPECT_FALSE(environment.directoryWritable(dir / "missing"));
  // Root writes anywhere but into an immutable directory.
  if (!SetImmutable(dir.path, true)) GTEST_SKIP() << "no immutable attribute here";
  bool writable = environment.directoryWritable(dir.path);
  SetImmutable(dir.path, false);
  EXPECT_FALSE(writable);
}

// ---- The "Address:" list ----

TEST(AddressList, ItemsLabelsAndTargets) {
  AddressBook book;
  book[0] = {{0x0A, 0x03}, "Rack A"};
  book[31] = {{0xFE, 0x01}, ""};
  EXPECT_EQ(AddressListItem(book, 2), "No. 1:0A03: Rack A");
  EXPECT_EQ(AddressListItem(book, 33), "No.32:FE01: ");
  EXPECT_EQ(AddressListItem(book, 34), "");
  EXPECT_EQ(AddressListItem(book, -1), "");

  const auto& labels = AddressListLabels();
  EXPECT_EQ(labels[0], "No. 1:");
  EXPECT_EQ(labels[8], "No. 9:");
  EXPECT_EQ(labels[9], "No.10:");
  EXPECT_EQ(labels[31], "No.32:");
  const auto initial = InitialAddressListItems();
  ASSERT_EQ(initial.size(), 34u);
  EXPECT_EQ(initial[1], "All: FFFF(no ACT)");
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
