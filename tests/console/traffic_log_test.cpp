// The traffic log: what the receive path records for each kind of reply and for bytes
// that form none, the ring and the rows a person sees (filter, pause, clear), one row's
// columns, and saving.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/traffic_log.h"
#include "tests/support/console_fixture.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

// "Received bad sum 0x8080 [04]": the columns that say what happened to the bytes.
std::string Summary(const TrafficEntry& entry) {
  const TrafficRow row = FormatTrafficEntry(entry);
  std::string text = row.direction;
  if (!row.mark.empty()) text += " " + row.mark;
  if (!row.code.empty()) text += " " + row.code + " " + row.name;
  return text + " [" + row.data + "]";
}

std::vector<std::string> Summaries(const TrafficLog& log) {
  std::vector<std::string> all;
  for (uint64_t s = log.oldest(); s < log.next(); ++s)
    all.push_back(Summary(*log.Entry(s)));
  return all;
}

Bytes Reply(DeviceAddress from, uint16_t code, Bytes payload = {}) {
  return BuildFrame(kReplyLead, from, code, payload);
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

class TrafficLogReceiveTest : public ConsoleFixture {
 protected:
  void SetUp() override { StartConsole(); }
};

TEST_F(TrafficLogReceiveTest, EachReplyIsListedWithWhatBecameOfIt) {
  Bytes badSum = Reply({0x0A, 0x03}, 0x8080, {0x04});
  badSum.back() ^= 0x01;
  struct Case {
    const char* what;
    DeviceAddress target;
    Bytes bytes;
    std::vector<std::string> listed;
  };
  const Case cases[] = {
      {"handled",
       {0x00, 0x00},
       Reply({0x0A, 0x03}, 0x8080, {0x04}),
       {"Received 0x8080 Volume [04]"}},
      {"bad sum", {0x00, 0x00}, badSum, {"Received bad sum 0x8080 Volume [04]"}},
      {"another address",
       {0x0A, 0x05},
       Reply({0x0A, 0x03}, 0x8080, {0x04}),
       {"Received another address 0x8080 Volume [04]"}},
      {"unknown code",
       {0x00, 0x00},
       Reply({0x0A, 0x03}, 0x1234, {0x01}),
       {"Received unknown code 0x1234 unknown [01]"}},
      {"too short for its handler",
       {0x00, 0x00},
       Reply({0x0A, 0x03}, 0x8090, {0x01}),
       {"Received too short 0x8090 Signal status [01]"}},
      {"code named in the payload",
       {0x00, 0x00},
       Reply({0x0A, 0xFF}, 0x00FF, {0x01, 0x78}),
       {"Received 0x7801 no action [01 78]"}},
      {"length above 500",
       {0x00, 0x00},
       {0xAB, 0x01, 0x00, 0xF5, 0x01},
       {"Received bad length [AB 01 00 F5 01]"}},
      {"length below 5",
       {0x00, 0x00},
       {0xAB, 0x01, 0x00, 0x04, 0x00},
       {"Received bad length [AB 01 00 04 00]"}},
      {"noise before a frame",
       {0x00, 0x00},
       Join({{0x00, 0x11}, Reply({1, 1}, 0x8082, {0})}),
       {"Received no frame [00 11]", "Received 0x8082 Input [00]"}},
      // The second lead byte breaks the header; what follows it is noise until a frame.
      {"broken header",
       {0x00, 0x00},
       {0xAB, 0xAB, 0x01, 0x00},
       {"Received no frame [AB AB 01 00]"}},
  };
  dialog->SetTrafficLogOpen(true);
  for (const Case& c : cases) {
    dialog->trafficLog.Clear();
    dialog->SelectTarget(c.target);
    Feed(c.bytes);
    dialog->trafficLog.FlushUnframed();
    EXPECT_EQ(Summaries(dialog->trafficLog), c.listed) << c.what;
  }
}

TEST_F(TrafficLogReceiveTest, AClosedLogRecordsNothing) {
  Feed(Reply({1, 1}, 0x8082, {0}));
  Feed({0x00, 0x11});
  EXPECT_EQ(dialog->trafficLog.size(), 0u);
  dialog->SetTrafficLogOpen(true);
  Feed(Reply({1, 1}, 0x8082, {0}));
  dialog->SetTrafficLogOpen(false);
  Feed(Reply({1, 1}, 0x8082, {0}));
  // The note of the opening and the one reply while it was open.
  ASSERT_EQ(dialog->trafficLog.size(), 2u);
  EXPECT_EQ(FormatTrafficEntry(*dialog->trafficLog.Entry(0)).data.rfind("Log opened: Link down", 0),
            0u);
}

TEST(TrafficLogTest, SearchBytesAreAssembledIntoTheirOwnFrames) {
  TrafficLog log;
  Bytes answer = Reply({0x12, 0x34}, 0xF802, {0x01, 0x00});
  for (uint8_t b : Join({{0x55}, answer}))
    log.SearchByte(b);
  EXPECT_EQ(Summaries(log), (std::vector<std::string>{"Received no frame [55]",
                                                      "Received 0xF802 Search answer [01 00]"}));
}

Bytes Command(uint16_t code) {
  return BuildFrame(kCommandLead, {0x01, 0x01}, code);
}

TEST(TrafficLogTest, RowsFollowTheRingThroughFilterPauseAndClear) {
  TrafficLog log(4);
  int told = 0;
  log.onAppended = [&] { ++told; };
  auto send = [&](uint16_t code) {
    const Bytes frame = Command(code);
    log.Sent(frame.data(), frame.size());
  };
  auto rowCodes = [&] {
    std::vector<uint16_t> codes;
    for (size_t r = 0; r < log.RowCount(); ++r)
      codes.push_back(log.Row(r).code);
    return codes;
  };

  send(0x8082);
  send(0x8081);
  send(0x8080);
  EXPECT_EQ(told, 1);  // once per batch, however many entries it holds
  TrafficLog::RowChange change = log.Sync();
  EXPECT_EQ(change.added, 3u);
  EXPECT_EQ(rowCodes(), (std::vector<uint16_t>{0x8082, 0x8081, 0x8080}));

  ASSERT_TRUE(log.SetFilter("0x8081, 8080"));
  EXPECT_EQ(rowCodes(), (std::vector<uint16_t>{0x8081, 0x8080}));
  EXPECT_FALSE(log.SetFilter("80G1"));
  EXPECT_FALSE(log.SetFilter("18081"));
  EXPECT_EQ(rowCodes(), (std::vector<uint16_t>{0x8081, 0x8080}));

  // Paused, the rows stand still while the ring goes on: 0x8082 and 0x8081 are overwritten.
  log.SetPaused(true);
  send(0x8081);
  send(0xF850);
  send(0x8080);
  change = log.Sync();
  EXPECT_EQ(change.removedFront, 1u);  // 0x8081's row: its entry is gone
  EXPECT_EQ(change.added, 0u);
  EXPECT_EQ(rowCodes(), (std::vector<uint16_t>{0x8080}));
  log.SetPaused(false);
  change = log.Sync();
  EXPECT_EQ(change.added, 2u);
  EXPECT_EQ(rowCodes(), (std::vector<uint16_t>{0x8080, 0x8081, 0x8080}));
  EXPECT_EQ(log.size(), 4u);
  EXPECT_EQ(log.oldest(), 2u);

  // However long it runs, the log holds its capacity.
  for (int i = 0; i < 1000; ++i)
    send(0x8090);
  log.Sync();
  EXPECT_EQ(log.size(), 4u);
  EXPECT_EQ(log.RowCount(), 0u);  // 0x8090 does not pass the filter

  log.SetFilter("");
  log.Clear();
  EXPECT_EQ(log.size(), 0u);
  EXPECT_EQ(log.RowCount(), 0u);
  send(0x8096);
  log.Sync();
  EXPECT_EQ(rowCodes(), (std::vector<uint16_t>{0x8096}));
}

// 14:03:22.123 local time on some day.
TrafficEntry::Clock::time_point LocalTime() {
  std::tm t{};
  t.tm_year = 124;
  t.tm_mon = 4;
  t.tm_mday = 1;
  t.tm_hour = 14;
  t.tm_min = 3;
  t.tm_sec = 22;
  t.tm_isdst = -1;
  return TrafficEntry::Clock::from_time_t(std::mktime(&t)) + std::chrono::milliseconds(123);
}

TEST(TrafficLogTest, ARowShowsTimeDirectionAddressCodeNameAndPayload) {
  TrafficLog log;
  log.clock = LocalTime;
  const Bytes sent = BuildFrame(kCommandLead, {0x0A, 0x03}, 0xF851, Bytes{0x02});
  log.Sent(sent.data(), sent.size());
  const TrafficRow row = FormatTrafficEntry(*log.Entry(0));
  EXPECT_EQ(row.time, "14:03:22.123");
  EXPECT_EQ(row.direction, "Sent");
  EXPECT_EQ(row.address, "0A03");
  EXPECT_EQ(row.code, "0xF851");
  EXPECT_EQ(row.name, "Read EDID");
  EXPECT_EQ(row.mark, "");
  EXPECT_EQ(row.data, "02");
}

TEST(TrafficLogTest, SavesTheRowsShownAndReportsAFailure) {
  TempDir dir;
  TrafficLog log;
  log.clock = LocalTime;
  const Bytes sent = Command(0x8082);
  const Bytes answer = Reply({1, 1}, 0x8082, {0x01});
  log.Sent(sent.data(), sent.size());
  log.Received(answer.data(), answer.size(), 0x8082, TrafficMark::BadSum);
  log.Note("Link down, COM1  /dev/pts/3, 115200 baud");
  log.Sync();

  const std::string path = dir / "traffic.txt";
  ASSERT_EQ(log.Save(path), "");
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(),
            "14:03:22.123  Sent      0101  0x8082  Input query\n"
            "14:03:22.123  Received  0101  0x8082  Input                 bad sum          01\n"
            "14:03:22.123            Link down, COM1  /dev/pts/3, 115200 baud\n");
  // Only the file itself: the bytes went to a new file that was renamed over it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  EXPECT_EQ(log.Save(dir / "missing/traffic.txt"),
            "Failed to write traffic.txt (No such file or directory)");
}

}  // namespace
}  // namespace sc
