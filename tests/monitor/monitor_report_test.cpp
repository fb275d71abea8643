// The monitor's report file: its bytes, its number, and what a failed save leaves.

#include "monitor/monitor_report.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "monitor/monitor_page.h"
#include "tests/support/recording_sender.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"

namespace sc {
namespace {

namespace fs = std::filesystem;

std::string Digits(size_t count) {
  std::string digits;
  for (size_t i = 0; i < count; ++i)
    digits += (i % 7 == 3) ? '1' : '0';
  return digits;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(MonitorReportText, IsTheHeaderThenTheDigitsInRowsOf100) {
  const std::string d = Digits(250);
  struct Case {
    MonitorReport report;
    std::string text;
  };
  const Case cases[] = {
      {{5, 0, 1, {26, 12, 7, 9, 5, 30}, " 2Hours 50Minutes", 1, d},
       "Time slot:5\r\nseconds \r\nTriggle mode: triggled by lost of signal \r\nStart from: \r\n"
       "Y:26M:12D:7 Time:9:5:30\r\nTotal time:  2Hours 50Minutes \r\nRecording status: Stoped "
       "\r\n\r\n" +
           d.substr(0, 100) + "\r\n" + d.substr(100, 100) + "\r\n" + d.substr(200)},
      {{1, 1, 0, {0, 1, 31, 23, 59, 0}, "1Day 10Hours", 0, d.substr(0, 200)},
       "Time slot:1\r\nminutes \r\nTriggle mode: triggled by image content changed or signal "
       "lost \r\nStart from: \r\nY:0M:1D:31 Time:23:59:0\r\nTotal time: 1Day 10Hours \r\n"
       "Recording status: Status monitor is still working(not finished)\r\n\r\n" +
           d.substr(0, 100) + "\r\n" + d.substr(100, 100) + "\r\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MonitorReportText(c.report), c.text);
}

class MonitorSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.workingDirectory = dir.path().string();
    page.slotLength = 5;
    page.slotUnit = 0;
    page.triggerMode = 1;
    page.startYear = 26;
    page.startMonth = 12;
    page.startDay = 7;
    page.startHour = 9;
    page.startMinute = 5;
    page.startSecond = 30;
    page.totalTime = " 2Hours 50Minutes";
    page.workingStatus = 1;
    page.record = Digits(250);
  }
  void Touch(const std::string& name, const std::string& content = "old") {
    std::ofstream(dir / name, std::ios::binary) << content;
  }
  std::string Saved() {
    host.messages.clear();
    page.Save();
    return host.messages.empty() ? std::string() : host.messages.back().text;
  }
  std::string Expected() const {
    MonitorReport report{5, 0, 1, {26, 12, 7, 9, 5, 30}, " 2Hours 50Minutes", 1, Digits(250)};
    return MonitorReportText(report);
  }

  TempDir dir;
  TestHost host;
  RecordingSender sender;
  MonitorPage page{host, sender};
};

TEST_F(MonitorSaveTest, TheReportTakesTheFirstFreeNumber) {
  Touch("TQ5R_StatusRecord00.txt");
  EXPECT_EQ(Saved(), "Save EDID data to ./TQ5R_StatusRecord01.txt");
  EXPECT_EQ(ReadFile(dir.path() / "TQ5R_StatusRecord01.txt"), Expected());
  EXPECT_EQ(ReadFile(dir.path() / "TQ5R_StatusRecord00.txt"), "old");
  EXPECT_EQ(Names(dir.path()),
            (std::vector<std::string>{"TQ5R_StatusRecord00.txt", "TQ5R_StatusRecord01.txt"}));
  EXPECT_EQ(host.messages.back().caption, "TQ-KVAD");
}

TEST_F(MonitorSaveTest, WithAllHundredTakenNumber99IsReplaced) {
  for (int n = 0; n < 100; ++n) {
    char name[40];
    std::snprintf(name, sizeof name, "TQ5R_StatusRecord%02d.txt", n);
    Touch(name);
  }
  EXPECT_EQ(Saved(), "Save EDID data to ./TQ5R_StatusRecord99.txt");
  EXPECT_EQ(ReadFile(dir.path() / "TQ5R_StatusRecord99.txt"), Expected());
  EXPECT_EQ(ReadFile(dir.path() / "TQ5R_StatusRecord98.txt"), "old");
  EXPECT_EQ(Names(dir.path()).size(), 100u);
}

TEST_F(MonitorSaveTest, AFailedSaveLeavesNoFileBehind) {
  page.workingDirectory = (dir.path() / "missing").string();
  EXPECT_EQ(Saved(), "Faild to create file");

  // A disk that fills up part way: the report never appears, not even in part.
  page.workingDirectory = dir.path().string();
  Touch("TQ5R_StatusRecord00.txt");
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::string message = Saved();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(message, "Failed to write TQ5R_StatusRecord01.txt (File too large)");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"TQ5R_StatusRecord00.txt"});
}

}  // namespace
}  // namespace sc
