// The "Monitor" page: the total-time text, the packed start time, "New Start" and its
// refusals, the record reply and its digits.

#include "monitor/monitor_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/recording_sender.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace monitor_ids;

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(FormatTotalTime, SaysHowLong2040SlotsLast) {
  struct Case {
    int unit;
    unsigned length;
    const char* text;
  };
  const Case cases[] = {
      {0, 1, " 34Minutes"},
      {0, 5, " 2Hours 50Minutes"},
      {0, 255, "6Days 30Minutes"},
      {1, 1, "1Day 10Hours"},
      {1, 255, "361Days 6Hours"},
      {0, 2, " 1Hour 8Minutes"},
      {1, 2, "2Days 20Hours"},
      {0, 43, "1Day 22Minutes"},
      {0, 0, ""},
      {0, 256, ""},
      {1, 1000, ""},
      {-1, 1, "1Day 10Hours"},  // no unit checked counts as minutes
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatTotalTime(c.unit, c.length), c.text) << c.unit << " " << c.length;
}

TEST(PackedStartTime, CarriesTheDateAndTimeBothWays) {
  struct Case {
    StartTime time;
    Bytes packed;
  };
  const Case cases[] = {
      {{26, 12, 7, 9, 5, 30}, {0xC7, 0x89, 0xC5, 0x1E}},
      {{26, 4, 30, 23, 59, 59}, {0xDE, 0x97, 0x7B, 0x3B}},  // month bits split 01|00
      {{31, 3, 1, 0, 0, 0}, {0xE1, 0xC0, 0x00, 0xC0}},      // the highest year, month 00|11
      {{0, 1, 31, 23, 59, 59}, {0x1F, 0x17, 0x3B, 0x7B}},
      {{28, 2, 29, 12, 0, 0}, {0xFD, 0x0C, 0x00, 0x80}},
  };
  for (const Case& c : cases) {
    const auto packed = PackStartTime(c.time);
    EXPECT_EQ(Bytes(packed.begin(), packed.end()), c.packed) << c.time.month << "/" << c.time.day;
    EXPECT_EQ(UnpackStartTime(c.packed.data()), c.time);
  }
  // Every month's last day at the last second, in each year the five bits hold.
  const int lastDay[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int year = 0; year < 32; ++year)
    for (int month = 1; month <= 12; ++month) {
      const StartTime time{year, month, lastDay[month - 1], 23, 59, 59};
      EXPECT_EQ(UnpackStartTime(PackStartTime(time).data()), time) << year << "-" << month;
    }
}

TEST(RecordDigits, ReadsTheFlagsTheReplyCarries) {
  auto record = [](uint8_t n, uint8_t m, const Bytes& flags) {
    Bytes p = {n, m, 0, 0, 5, 1, 0xC7, 0x89, 0xC5, 0x1E};
    // Appended one by one: g++ 12 warns falsely (array-bounds) on a ranged insert here.
    for (const uint8_t flag : flags)
      p.push_back(flag);
    return p;
  };
  auto digits = [](const Bytes& p) { return RecordDigits(p.data(), p.size()); };
  Bytes allNormal(255, 0xFF);
  allNormal[0] = 0xFE;
  allNormal[254] = 0x7F;
  EXPECT_EQ(digits(record(1, 3, {0xFE, 0x05})), "10000000010");
  EXPECT_EQ(digits(record(0, 0, {0x00})), "");
  EXPECT_EQ(digits(record(0, 9, {0x00})), "1111111");  // at most seven more
  // 2040 slots: M is not looked at, and nothing is read past the 255th byte.
  const std::string full = digits(record(255, 5, allNormal));
  ASSERT_EQ(full.size(), 2040u);
  EXPECT_EQ(full.substr(0, 2), "10");
  EXPECT_EQ(full.substr(2030), "0000000001");
  // A reply shorter than its slot count says: only the bytes it carries.
  EXPECT_EQ(digits(record(10, 3, {0x00, 0xFF})), "1111111100000000");
  EXPECT_EQ(digits(record(1, 3, {0x00})), "11111111");
  EXPECT_EQ(digits({1, 3, 0}), "");
}

class MonitorPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.localTime = [] { return LocalTime(2026, 12, 7, 9, 5, 30); };
    page.Create();
  }
  void Type(const std::string& length) { page.view().SetText(kSlotLength, length); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> texts;
    for (const auto& m : host.messages)
      texts.push_back(m.text);
    return texts;
  }

  TestHost host;
  RecordingSender sender;
  MonitorPage page{host, sender};
};

TEST_F(MonitorPageTest, NewStartSendsTheSettingsAndTheLocalTime) {
  Type("5");
  page.view().SetRadio(kSeconds, 1);       // minutes
  page.view().SetRadio(kImageAndLoss, 1);  // loss of signal only
  page.record = "0101";
  page.NewStart();
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(sender.sent[0], (RecordingSender::Sent{0x0096, {1, 5, 1, 0xC7, 0x89, 0xC5, 0x1E}}));
  const View& v = page.view();
  EXPECT_EQ((std::vector<int>{v.GetInt(kStartMonth), v.GetInt(kStartDay), v.GetInt(kStartHour),
                              v.GetInt(kStartMinute), v.GetInt(kStartSecond), page.startYear}),
            (std::vector<int>{12, 7, 9, 5, 30, 26}));
  EXPECT_EQ(v.GetText(kTotalTime), "7Days 2Hours");
  EXPECT_EQ(v.GetRadio(kWorking), 0);
  // The old recording's digits go: they do not belong to this start.
  EXPECT_EQ(v.GetText(kRecord), "");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(MonitorPageTest, NewStartRefusesASlotLengthOutside1To255AndSendsNothing) {
  struct Case {
    const char* typed;
    const char* message;  // nullptr: accepted
  };
  const Case cases[] = {
      {"0", kSlotLengthMessage},
      {"256", kSlotLengthMessage},
      {"1000", kSlotLengthMessage},
      {"255", nullptr},
      {" 1 ", nullptr},
      {"abc", kNotAPositiveIntegerMessage},
      {"-5", kNotAPositiveIntegerMessage},
      {"", kNotAPositiveIntegerMessage},
      {"5x", kNotAPositiveIntegerMessage},
      {"99999999999", kNotAPositiveIntegerMessage},
  };
  for (const Case& c : cases) {
    host.messages.clear();
    sender.sent.clear();
    MonitorPage fresh(host, sender);
    fresh.localTime = page.localTime;
    fresh.Create();
    fresh.view().SetText(kSlotLength, c.typed);
    fresh.NewStart();
    if (!c.message) {
      EXPECT_EQ(sender.sent.size(), 1u) << c.typed;
      EXPECT_TRUE(host.messages.empty()) << c.typed;
      continue;
    }
    EXPECT_TRUE(sender.sent.empty()) << c.typed;
    EXPECT_EQ(Messages(), std::vector<std::string>{c.message}) << c.typed;
    EXPECT_EQ(host.messages[0].caption, "TQ-KVAD");
    EXPECT_EQ(fresh.view().GetInt(kStartMonth), 0) << c.typed;  // nothing changed on the page
    EXPECT_EQ(fresh.view().GetRadio(kWorking), -1) << c.typed;
  }
}

TEST_F(MonitorPageTest, TheUnitAndEnterRefreshTheTotalTime) {
  Type("5");
  page.OnSlotLengthEnter();
  EXPECT_EQ(page.view().GetText(kTotalTime), " 2Hours 50Minutes");
  page.view().SetRadio(kSeconds, 1);
  page.OnSlotUnitClicked();
  EXPECT_EQ(page.view().GetText(kTotalTime), "7Days 2Hours");
  Type("300");
  page.OnSlotLengthEnter();
  EXPECT_EQ(page.view().GetText(kTotalTime), "");
  EXPECT_TRUE(host.messages.empty());
  // The working status shows the box's state: a click does not change it.
  page.workingStatus = 1;
  page.Push();
  page.view().SetRadio(kWorking, 0);
  page.OnWorkingStatusClicked();
  EXPECT_EQ(page.view().GetRadio(kWorking), 1);
}

TEST_F(MonitorPageTest, ARecordReplyShowsTheRecordingAsTheBoxReportsIt) {
  Type("nonsense");  // the reply replaces it without a word
  Bytes reply = {1, 3, 7, 9, 5, 4, 0xC7, 0x89, 0xC5, 0x1E, 0xFE, 0x05};
  page.OnRecord(reply.data(), reply.size());
  const View& v = page.view();
  EXPECT_EQ(v.GetText(kRecord), "10000000010");
  EXPECT_EQ(v.GetRadio(kSeconds), 1);  // any unit but 0 is minutes
  EXPECT_EQ(v.GetText(kSlotLength), "5");
  EXPECT_EQ(v.GetRadio(kImageAndLoss), 1);
  EXPECT_EQ(v.GetRadio(kWorking), 1);  // stopped
  EXPECT_EQ(v.GetText(kTotalTime), "7Days 2Hours");
  EXPECT_EQ((std::vector<int>{v.GetInt(kStartMonth), v.GetInt(kStartDay), v.GetInt(kStartHour),
                              v.GetInt(kStartMinute), v.GetInt(kStartSecond), page.startYear}),
            (std::vector<int>{12, 7, 9, 5, 30, 26}));
  EXPECT_TRUE(host.messages.empty());

  // An empty recording: nothing to save.
  reply = {0, 0, 0, 0, 1, 0, 0xC7, 0x89, 0xC5, 0x1E};
  page.OnRecord(reply.data(), reply.size());
  EXPECT_EQ(v.GetRadio(kWorking), 0);
  page.Save();
  EXPECT_EQ(Messages(), std::vector<std::string>{kNothingToSaveMessage});
  page.SaveAs();
  EXPECT_EQ(Messages(), (std::vector<std::string>{kNothingToSaveMessage, kNothingToSaveMessage}));
  EXPECT_TRUE(host.saveDialogs.empty());  // nothing asked
}

// "Save As..." writes the report the numbered save writes, under the name chosen.
TEST_F(MonitorPageTest, SaveAsWritesTheReportWhereChosen) {
  TempDir dir;
  page.workingDirectory = dir.path().string();
  std::vector<Outcome> outcomes;
  page.onOutcome = [&](const Outcome& o) { outcomes.push_back(o); };
  const Bytes reply = {1, 3, 0, 0, 5, 1, 0xC7, 0x89, 0xC5, 0x1E, 0xFE, 0x05};
  page.OnRecord(reply.data(), reply.size());
  page.Save();
  ASSERT_EQ(outcomes.back().files, std::vector<std::string>{"TQ5R_StatusRecord00.txt"});
  const std::string numbered = ReadText(dir / "TQ5R_StatusRecord00.txt");

  host.saveChoices = {dir / "night", dir / "night.log", std::nullopt, dir / "gone/x.txt"};
  for (int i = 0; i < 4; ++i)
    page.SaveAs();
  ASSERT_EQ(outcomes.size(), 6u);
  EXPECT_EQ(host.saveDialogs[0].suggestedName, "TQ5R_StatusRecord.txt");
  EXPECT_EQ(host.saveDialogs[0].folder, dir.path().string());
  // A name without an extension is a .txt; any other is taken as it is.
  EXPECT_EQ(outcomes[2].files, std::vector<std::string>{dir / "night.txt"});
  EXPECT_EQ(ReadText(dir / "night.txt"), numbered);
  EXPECT_EQ(ReadText(dir / "night.log"), numbered);
  EXPECT_EQ(outcomes[3].result, Result::kDone);
  EXPECT_EQ(outcomes[4].result, Result::kCancelled);
  EXPECT_EQ(outcomes[5].result, Result::kFileError);
  EXPECT_EQ(outcomes[5].message.rfind("Failed to write " + (dir / "gone/x.txt"), 0), 0u);
  // Saved quietly; only the failure is said.
  EXPECT_EQ(Messages(), (std::vector<std::string>{outcomes[1].message, outcomes[5].message}));
}

}  // namespace
}  // namespace sc
