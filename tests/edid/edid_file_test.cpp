#include "edid/edid_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "tests/edid/edid_builder.h"

namespace sc {
namespace {

namespace fs = std::filesystem;

class EdidFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/edid_file_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void Write(const std::string& name, std::string_view bytes) const {
    std::ofstream(Path(name), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  bool Exists(const std::string& name) const { return fs::exists(fs::symlink_status(Path(name))); }

  static EdidImage Sample() {
    return test::EdidBuilder().Name(72, "ABC").Cea().Block(2, {0x90, 0x04}).Build();
  }
  static EdidImage Filled(uint8_t value) {
    EdidImage image;
    image.fill(value);
    return image;
  }

  std::string dir_;
};

// ---- Reading ----

TEST_F(EdidFileTest, SavedFilesOpenToTheSameImage) {
  const EdidImage image = Sample();
  const EdidSaveResult saved = SaveEdidFiles(image, dir_);
  ASSERT_TRUE(saved.ok) << saved.message;
  for (const auto& name : {saved.textFile, saved.binaryFile}) {
    EdidImage loaded = Filled(0);
    const EdidLoadResult result = LoadEdidFile(Path(name), loaded);
    EXPECT_TRUE(result.ok()) << name;
    EXPECT_EQ(result.message, "");
    EXPECT_EQ(result.bytesRead, 256u);
    EXPECT_EQ(loaded, image) << name;
  }
}

TEST_F(EdidFileTest, TextFileLayout) {
  EdidImage image;
  for (size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<uint8_t>(255 - i);
  const std::string text = FormatEdidTextFile(image);
  ASSERT_EQ(text.size(), 784u);
  EXPECT_EQ(text.substr(0, 49), "FF FE FD FC FB FA F9 F8 F7 F6 F5 F4 F3 F2 F1 F0\r\n");
  EXPECT_EQ(text.substr(735), "0F 0E 0D 0C 0B 0A 09 08 07 06 05 04 03 02 01 00\r\n");
  EXPECT_EQ(text.find(" \r"), std::string::npos);
  ASSERT_TRUE(SaveEdidFiles(image, dir_).ok);
  EXPECT_EQ(Read("TQ_EDID00.txt"), text);
  const std::string raw = Read("TQ_EDID00.bin");
  EXPECT_EQ(raw, std::string(reinterpret_cast<const char*>(image.data()), 256));
}

TEST_F(EdidFileTest, BinFileOfAnyLength) {
  struct Case {
    size_t size;
    size_t bytesRead;
  };
  for (const Case c : {Case{0, 0}, Case{10, 10}, Case{128, 128}, Case{300, 256}}) {
    std::string bytes(c.size, '\0');
    for (size_t i = 0; i < c.size; ++i)
      bytes[i] = static_cast<char>(i + 1);
    Write("e.bin", bytes);
    EdidImage image = Filled(0);
    const EdidLoadResult result = LoadEdidFile(Path("e.bin"), image);
    EXPECT_TRUE(result.ok());
    EXPECT_EQ(result.bytesRead, c.bytesRead);
    for (size_t i = 0; i < 256; ++i) {
      ASSERT_EQ(image[i], i < c.bytesRead ? static_cast<uint8_t>(i + 1) : 0xFF)
          << c.size << " " << i;
    }
  }
}

TEST_F(EdidFileTest, TextNumbers) {
  struct Case {
    const char* text;
    std::vector<uint8_t> bytes;  // the bytes set; the rest stays 0xFF
  };
  const Case cases[] = {
      {"00 ff FF 0a", {0x00, 0xFF, 0xFF, 0x0A}},
      {"0x1f 0X2A +3 -1 1ff 12345", {0x1F, 0x2A, 0x03, 0xFF, 0xFF, 0x45}},
      {"\t1\r\n2\v3\f4  \n", {1, 2, 3, 4}},
      {"ab,cd", {0xAB}},       // ',' cannot start a number
      {"12 zz 34", {0x12}},    // the first unreadable number ends it
      {"- 5", {}},             // a sign must be followed by a digit
      {"0x 7", {0x00, 0x07}},  // "0x" without digits reads as 0
      {"0xg1", {0x00}},        // ...and 'g' then stops the reading
      {"", {}},
      {"   ", {}},
      {"00000000000000000000000000000000000000000000ABC", {0xBC}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EdidImage image = Filled(0xFF);
    EXPECT_EQ(ParseEdidText(c.text, image), c.bytes.size());
    for (size_t i = 0; i < 256; ++i) {
      ASSERT_EQ(image[i], i < c.bytes.size() ? c.bytes[i] : 0xFF) << i;
    }
  }
}

TEST_F(EdidFileTest, TextFileStopsAt256NumbersAndKeepsTheRestAt0xFF) {
  std::string half;
  for (int i = 0; i < 128; ++i)
    half += "5a ";
  Write("half.txt", half);
  EdidImage image = Filled(0);
  EdidLoadResult result = LoadEdidFile(Path("half.txt"), image);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.bytesRead, 128u);
  for (size_t i = 0; i < 256; ++i)
    ASSERT_EQ(image[i], i < 128 ? 0x5A : 0xFF) << i;

  Write("long.txt", half + half + "01 02 03 zz");
  result = LoadEdidFile(Path("long.txt"), image);
  EXPECT_EQ(result.bytesRead, 256u);
  EXPECT_EQ(image, Filled(0x5A));
}

TEST_F(EdidFileTest, TextFileIsReadOnlyToItsLimit) {
  // Numbers after the first MiB are not reached: what lies beyond reads as the end.
  Write("spaces.txt", std::string(kMaxEdidTextFileBytes - 1, ' ') + "12 34 56");
  EdidImage image = Filled(0);
  const EdidLoadResult result = LoadEdidFile(Path("spaces.txt"), image);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.bytesRead, 1u);
  EXPECT_EQ(image[0], 0x01);  // "12" cut to "1" at the limit
  EXPECT_EQ(image[1], 0xFF);
}

TEST_F(EdidFileTest, WrongExtension) {
  for (const char* name :
       {"e.TXT", "e.BIN", "e.Txt", "e", "e.bin.bak", "e.hex", "txt", "dir.txt/e"}) {
    SCOPED_TRACE(name);
    fs::create_directories(fs::path(Path(name)).parent_path());
    Write(name, "00 FF FF FF FF FF FF 00");
    EdidImage image = Sample();
    const EdidLoadResult result = LoadEdidFile(Path(name), image);
    EXPECT_EQ(result.status, EdidLoadStatus::NotBinOrTxt);
    EXPECT_EQ(result.message, "It is not bin or txt file");
    EXPECT_EQ(image, Filled(0xFF));
  }
}

TEST_F(EdidFileTest, FilesThatCannotBeRead) {
  fs::create_directory(Path("folder.txt"));
  ASSERT_EQ(::mkfifo(Path("fifo.txt").c_str(), 0600), 0);
  // The file is opened before its extension is judged: a missing "x.TXT" cannot be read.
  for (const char* name : {"missing.bin", "missing.TXT", "folder.txt", "fifo.txt"}) {
    SCOPED_TRACE(name);
    EdidImage image = Sample();
    const EdidLoadResult result = LoadEdidFile(Path(name), image);
    EXPECT_EQ(result.status, EdidLoadStatus::ReadFailed);
    EXPECT_EQ(result.message, "File read failed");
    EXPECT_NE(result.detail, "");
    EXPECT_EQ(image, Filled(0xFF));
  }
}

// ---- Saving ----

TEST_F(EdidFileTest, FirstFreeNumbersForEachKind) {
  const EdidImage image = Sample();
  EXPECT_EQ(SaveEdidFiles(image, dir_).message,
            "Save EDID data to ./TQ_EDID00.txt and TQ_EDID00.bin");
  EXPECT_EQ(SaveEdidFiles(image, dir_).message,
            "Save EDID data to ./TQ_EDID01.txt and TQ_EDID01.bin");
  fs::remove(Path("TQ_EDID00.bin"));
  const EdidSaveResult third = SaveEdidFiles(image, dir_);
  EXPECT_TRUE(third.ok);
  EXPECT_EQ(third.textFile, "TQ_EDID02.txt");
  EXPECT_EQ(third.binaryFile, "TQ_EDID00.bin");
  EXPECT_EQ(third.message, "Save EDID data to ./TQ_EDID02.txt and TQ_EDID00.bin");
}

TEST_F(EdidFileTest, AllHundredTakenOverwrites99) {
  char name[32];
  for (int n = 0; n < 100; ++n) {
    std::snprintf(name, sizeof name, "TQ_EDID%02d.txt", n);
    Write(name, "old");
    std::snprintf(name, sizeof name, "TQ_EDID%02d.bin", n);
    Write(name, "old");
  }
  const EdidImage image = Sample();
  const EdidSaveResult result = SaveEdidFiles(image, dir_);
  EXPECT_EQ(result.message, "Save EDID data to ./TQ_EDID99.txt and TQ_EDID99.bin");
  EXPECT_EQ(Read("TQ_EDID99.txt"), FormatEdidTextFile(image));
  EXPECT_EQ(Read("TQ_EDID99.bin").size(), 256u);
  EXPECT_EQ(Read("TQ_EDID98.txt"), "old");
}

TEST_F(EdidFileTest, DanglingLinkCountsAsTaken) {
  fs::create_symlink(Path("nowhere"), Path("TQ_EDID00.txt"));
  const EdidSaveResult result = SaveEdidFiles(Sample(), dir_);
  EXPECT_EQ(result.textFile, "TQ_EDID01.txt");
  EXPECT_FALSE(Exists("nowhere"));
}

TEST_F(EdidFileTest, AtTheLimitOnlyARegularFileIsOverwritten) {
  char name[32];
  for (int n = 0; n < 99; ++n) {
    std::snprintf(name, sizeof name, "TQ_EDID%02d.txt", n);
    Write(name, "old");
  }
  Write("elsewhere", "precious");
  const struct {
    const char* name;
    std::function<bool(const std::string&)> make;
  } cases[] = {
      // A FIFO would block the window until someone reads it; a reader is opened here
      // so that a save that does write into it ends all the same.
      {"a FIFO", [](const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }},
      {"a link to a file",
       [&](const std::string& path) {
         return ::symlink(Path("elsewhere").c_str(), path.c_str()) == 0;
       }},
      {"a device",
       [](const std::string& path) {
         return ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
       }},
  };
  for (const auto& c : cases) {
    const std::string target = Path("TQ_EDID99.txt");
    fs::remove(target);
    if (!c.make(target)) {
      ADD_FAILURE() << "cannot make " << c.name;
      continue;
    }
    const int reader = ::open(target.c_str(), O_RDONLY | O_NONBLOCK);
    const auto before = fs::symlink_status(target).type();
    const EdidSaveResult result = SaveEdidFiles(Sample(), dir_);
    if (reader >= 0) ::close(reader);
    EXPECT_FALSE(result.ok) << c.name;
    EXPECT_EQ(result.message, "Faild to create file") << c.name;
    EXPECT_EQ(fs::symlink_status(target).type(), before) << c.name << " replaced";
    EXPECT_EQ(Read("elsewhere"), "precious") << c.name;
  }
}

TEST_F(EdidFileTest, ASaveRemovesTemporariesOfKilledSaves) {
  const pid_t dead = ::fork();
  ASSERT_GE(dead, 0);
  if (dead == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
  const std::string stale = ".TQ_EDID05.bin." + std::to_string(dead) + "-0-1";
  Write(stale, "half");
  ASSERT_TRUE(SaveEdidFiles(Sample(), dir_).ok);
  EXPECT_FALSE(Exists(stale));
  int names = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_))
    ++names;
  EXPECT_EQ(names, 2) << "temporaries left behind";
}

TEST_F(EdidFileTest, CreationFailures) {
  const EdidSaveResult noDirectory = SaveEdidFiles(Sample(), Path("missing"));
  EXPECT_FALSE(noDirectory.ok);
  EXPECT_EQ(noDirectory.message, "Faild to create file");
  EXPECT_EQ(noDirectory.textFile, "");

  // Every .bin name is a directory: 99 is taken and cannot be created; the .txt stays.
  char name[32];
  for (int n = 0; n < 100; ++n) {
    std::snprintf(name, sizeof name, "TQ_EDID%02d.bin", n);
    fs::create_directory(Path(name));
  }
  const EdidSaveResult noBin = SaveEdidFiles(Sample(), dir_);
  EXPECT_FALSE(noBin.ok);
  EXPECT_EQ(noBin.message, "Faild to create file");
  EXPECT_EQ(noBin.textFile, "TQ_EDID00.txt");
  EXPECT_EQ(Read("TQ_EDID00.txt"), FormatEdidTextFile(Sample()));
}

TEST_F(EdidFileTest, AWriteThatFailsPartWayLeavesNothingBehind) {
  // A file-size limit makes write() fail part way, as a full disk would.
  struct sigaction ignore {
  }, saved{};
  ignore.sa_handler = SIG_IGN;
  struct rlimit old {
  }, small{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  small = old;
  small.rlim_cur = 100;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &saved), 0);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const EdidSaveResult result = SaveEdidFiles(Sample(), dir_);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::sigaction(SIGXFSZ, &saved, nullptr);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "Failed to write TQ_EDID00.txt (File too large)");
  EXPECT_TRUE(fs::is_empty(dir_)) << "a part file or a temporary is left";
}

}  // namespace
}  // namespace sc
