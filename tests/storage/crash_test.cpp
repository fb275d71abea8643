// Every file the console writes, written by a child process that is killed at a random
// moment of the write: what is left under the name is the old file or the new one, never
// an empty or half-written one. SC_CRASH_TRIES sets the tries per file (default 24).

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#include "addressing/address_book.h"
#include "edid/edid_file.h"
#include "monitor/monitor_report.h"
#include "storage/numbered_file.h"
#include "storage/safe_file.h"
#include "tests/support/temp_dir.h"
#include "timing/bitmap_writer.h"

namespace sc {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

AddressBook BookOf(char mark) {
  AddressBook book;
  for (int k = 0; k < kAddressBookSize; ++k)
    book[k] = {{static_cast<uint8_t>(mark), static_cast<uint8_t>(k + 1)}, std::string(10, mark)};
  return book;
}

EdidImage ImageOf(uint8_t value) {
  EdidImage image;
  image.fill(value);
  return image;
}

std::string Raw(const EdidImage& image) {
  return std::string(reinterpret_cast<const char*>(image.data()), image.size());
}

enum class Left { Old, New, Partial };

// One file the program writes: how to set up the old state, the write to interrupt, and
// what counts as old and new under the watched name.
struct Writer {
  const char* name;
  std::function<void(const std::string& dir)> prepare;
  std::function<void(const std::string& dir)> write;
  std::string watched;
  std::optional<std::string> oldContent;  // nothing: the name must not exist before
  std::string newContent;
};

std::vector<Writer> Writers() {
  const std::string oldText = SettingsFileText(BookOf('A'));
  const std::string newText = SettingsFileText(BookOf('B'));
  std::string initial;
  for (int k = 0; k < kAddressBookSize; ++k)
    initial += "0000 ";
  initial += "\r\n";
  for (int k = 0; k < kAddressBookSize; ++k)
    initial += "* \r\n";
  auto fillEdids = [](const std::string& dir) {
    char name[32];
    for (int n = 0; n < 100; ++n) {
      for (const char* ext : {"txt", "bin"}) {
        std::snprintf(name, sizeof name, "/TQ_EDID%02d.%s", n, ext);
        std::ofstream(dir + name, std::ios::binary)
            << (ext[0] == 't' ? FormatEdidTextFile(ImageOf(0x11)) : Raw(ImageOf(0x11)));
      }
    }
  };
  auto saveEdid = [](const std::string& dir) { SaveEdidFiles(ImageOf(0x22), dir); };
  // A 640 x 480 picture of one grey, as the frame capture saves it.
  auto saveBitmap = [](uint8_t grey) {
    return [grey](const std::string& dir) {
      SaveNumberedBitmap(dir, "IMAGEFULL_BMP%02d.BMP", 640, 480,
                         [grey](int, uint8_t* row) { std::memset(row, grey, 640 * 3); });
    };
  };
  auto bitmap = [](uint8_t grey) {
    const auto header = BitmapHeader(640, 480);
    std::string bytes(header.begin(), header.end());
    bytes.append(BitmapRowStride(640) * 480, static_cast<char>(grey));
    return bytes;
  };
  MonitorReport report;
  report.slotLength = 5;
  report.totalTime = "10 minutes";
  report.record = std::string(2040, '1');
  MonitorReport oldReport = report;
  oldReport.record = std::string(2040, '0');
  return {
      {"TQ.ini saved over the old book",
       [](const std::string& dir) { SaveAddressBook(dir + "/TQ.ini", BookOf('A'), nullptr); },
       [](const std::string& dir) { SaveAddressBook(dir + "/TQ.ini", BookOf('B'), nullptr); },
       "TQ.ini", oldText, newText},
      {"TQ.ini made at the first start", [](const std::string&) {},
       [](const std::string& dir) {
         AddressBook book;
         LoadAddressBook(dir + "/TQ.ini", book, nullptr);
       },
       "TQ.ini", std::nullopt, initial},
      {"a new TQ_EDID00.txt", [](const std::string&) {}, saveEdid, "TQ_EDID00.txt", std::nullopt,
       FormatEdidTextFile(ImageOf(0x22))},
      {"a new TQ_EDID00.bin", [](const std::string&) {}, saveEdid, "TQ_EDID00.bin", std::nullopt,
       Raw(ImageOf(0x22))},
      {"TQ_EDID99.txt overwritten", fillEdids, saveEdid, "TQ_EDID99.txt",
       FormatEdidTextFile(ImageOf(0x11)), FormatEdidTextFile(ImageOf(0x22))},
      {"TQ_EDID99.bin overwritten", fillEdids, saveEdid, "TQ_EDID99.bin", Raw(ImageOf(0x11)),
       Raw(ImageOf(0x22))},
      {"a new monitor report", [](const std::string&) {},
       [report](const std::string& dir) { SaveMonitorReport(report, dir); },
       "TQ5R_StatusRecord00.txt", std::nullopt, MonitorReportText(report)},
      {"TQ5R_StatusRecord99.txt overwritten",
       [old = MonitorReportText(oldReport)](const std::string& dir) {
         char name[40];
         for (int n = 0; n < 100; ++n) {
           std::snprintf(name, sizeof name, "/TQ5R_StatusRecord%02d.txt", n);
           std::ofstream(dir + name, std::ios::binary) << old;
         }
       },
       [report](const std::string& dir) { SaveMonitorReport(report, dir); },
       "TQ5R_StatusRecord99.txt", MonitorReportText(oldReport), MonitorReportText(report)},
      {"a new frame bitmap", [](const std::string&) {}, saveBitmap(0x5A), "IMAGEFULL_BMP00.BMP",
       std::nullopt, bitmap(0x5A)},
      {"IMAGEFULL_BMP99.BMP overwritten",
       [=](const std::string& dir) {
         for (int n = 0; n < 100; ++n)
           saveBitmap(0x11)(dir);
       },
       saveBitmap(0x5A), "IMAGEFULL_BMP99.BMP", bitmap(0x11), bitmap(0x5A)},
  };
}

Left Judge(const Writer& w, const std::string& dir) {
  const std::string path = dir + "/" + w.watched;
  if (!fs::exists(fs::symlink_status(path))) return w.oldContent ? Left::Partial : Left::Old;
  const std::string content = ReadAll(path);
  if (content == w.newContent) return Left::New;
  if (w.oldContent && content == *w.oldContent) return Left::Old;
  return Left::Partial;
}

// How long one write takes here (the longest of three: flushing to the disk varies), so
// the kills fall across it.
Clock::duration TimeOneWrite(const Writer& w) {
  Clock::duration longest{};
  for (int i = 0; i < 3; ++i) {
    TempDir dir;
    w.prepare(dir.path().string());
    const auto start = Clock::now();
    w.write(dir.path().string());
    longest = std::max(longest, Clock::now() - start);
  }
  return longest;
}

int Tries() {
  const char* text = std::getenv("SC_CRASH_TRIES");
  const int tries = text ? std::atoi(text) : 0;
  return tries > 0 ? tries : 24;
}

TEST(CrashTest, AKilledWriteLeavesTheOldFileOrTheNewOneWhole) {
  std::mt19937 random(20261208);
  const int tries = Tries();
  for (const Writer& w : Writers()) {
    const auto span = TimeOneWrite(w);
    const auto spanUs = std::chrono::duration_cast<std::chrono::microseconds>(span).count();
    std::uniform_int_distribution<long> delay(0, std::max<long>(1, spanUs * 3 / 2));
    int left[3] = {0, 0, 0};
    TempDir dir;
    for (int t = 0; t < tries; ++t) {
      for (const auto& entry : fs::directory_iterator(dir.path()))
        fs::remove_all(entry.path());
      w.prepare(dir.path().string());
      int ready[2];
      ASSERT_EQ(::pipe(ready), 0);
      const pid_t child = ::fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        ::close(ready[0]);
        [[maybe_unused]] ssize_t n = ::write(ready[1], "r", 1);
        w.write(dir.path().string());
        ::_exit(0);
      }
      ::close(ready[1]);
      char c;
      ASSERT_EQ(::read(ready[0], &c, 1), 1);
      ::close(ready[0]);
      std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
      ::kill(child, SIGKILL);
      ASSERT_EQ(::waitpid(child, nullptr, 0), child);
      ++left[static_cast<int>(Judge(w, dir.path().string()))];
    }
    std::printf("%-36s tries %d, old %d, new %d, partial %d (one write %ld us)\n", w.name, tries,
                left[0], left[1], left[2], static_cast<long>(spanUs));
    EXPECT_EQ(left[2], 0) << w.name << ": partial files in " << tries << " tries";
    // What killed writes left beside the name goes with the next write.
    w.write(dir.path().string());
    int names = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      names += entry.path().filename().string()[0] == '.';
    EXPECT_EQ(names, 0) << w.name << ": temporaries left after the next write";
  }
}

// Another program creates the very name a save chose while the save writes its bytes: its
// file stays as it made it, and the save takes the next free number.
TEST(NumberedFileRace, ANameTakenDuringASaveKeepsItsFile) {
  struct Case {
    const char* name;
    const char* taken;
    const char* next;
    std::function<bool(const std::string& dir, const std::function<void()>& meanwhile)> save;
  };
  const Case cases[] = {
      {"frame bitmap", "IMAGEFULL_BMP00.BMP", "IMAGEFULL_BMP01.BMP",
       [](const std::string& dir, const std::function<void()>& meanwhile) {
         return SaveNumberedBitmap(dir, kFrameBitmapPattern, 2, 2,
                                   [&](int row, uint8_t*) {
                                     if (row == 0) meanwhile();
                                   })
             .ok;
       }},
      {"numbered file", "TQ5R_StatusRecord00.txt", "TQ5R_StatusRecord01.txt",
       [](const std::string& dir, const std::function<void()>& meanwhile) {
         return WriteNumberedFile(dir, "TQ5R_StatusRecord%02d.txt",
                                  [&](int fd) {
                                    meanwhile();
                                    return WriteAll(fd, "report", 6);
                                  })
             .ok();
       }},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string taken = (dir.path() / c.taken).string();
    const bool saved = c.save(dir.path().string(), [&] { std::ofstream(taken) << "theirs"; });
    EXPECT_TRUE(saved) << c.name;
    EXPECT_EQ(ReadAll(taken), "theirs") << c.name;
    EXPECT_TRUE(fs::exists(dir.path() / c.next)) << c.name;
  }
}

}  // namespace
}  // namespace sc
