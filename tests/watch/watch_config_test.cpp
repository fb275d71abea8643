// The watcher's settings: its settings file, the box list, the metrics address, and how the
// command line and the file together make the plan a run follows.

#include "watch/watch_config.h"

#include <gtest/gtest.h>

#include <fstream>

#include "addressing/address_book.h"
#include "cli/watch_command.h"
#include "tests/support/temp_dir.h"
#include "watch/metrics_server.h"

namespace sc {
namespace {

using namespace std::chrono_literals;

TEST(WatchConfigTest, FileLinesAndTheirErrors) {
  struct Case {
    std::string text;
    std::string error;  // "" when it parses
  };
  const Case cases[] = {
      {"# rack 1\r\n\n  port = /dev/ttyUSB0 \r\nboxes=0101, 0102\nmetrics-public = yes", ""},
      {"", ""},
      {"port /dev/ttyUSB0\n", "line 1: not \"key = value\": \"port /dev/ttyUSB0\""},
      {"\n\nprot = COM1\n", "line 3: unknown key \"prot\""},
      {"every = 5\nevery = 6\n", "line 2: every is given twice"},
      {std::string("port = a\0b\n", 11), "line 1: a NUL byte"},
      {std::string(kMaxWatchConfigBytes + 1, '#'), "the file is over 65536 bytes"},
  };
  for (const Case& c : cases) {
    const WatchConfigParse parse = ParseWatchConfig(c.text);
    EXPECT_EQ(parse.error, c.error) << c.text.substr(0, 60);
    EXPECT_EQ(parse.config.has_value(), c.error.empty()) << c.text.substr(0, 60);
  }
  const WatchConfig config = *ParseWatchConfig(cases[0].text).config;
  EXPECT_EQ(config.values.at("port"), "/dev/ttyUSB0");
  EXPECT_EQ(config.values.at("boxes"), "0101, 0102");
  EXPECT_EQ(config.values.at("metrics-public"), "yes");
}

TEST(WatchConfigTest, BoxListsAndMetricsAddresses) {
  std::string error;
  EXPECT_EQ(ParseBoxList("0A03,fe01", &error),
            (std::vector<DeviceAddress>{{0x0A, 0x03}, {0xFE, 0x01}}));
  const struct {
    const char* list;
    const char* error;
  } badLists[] = {
      {"", "a box is four hexadecimal digits (GGDD), not \"\""},
      {"0101,", "a box is four hexadecimal digits (GGDD), not \"\""},
      {"01O1", "a box is four hexadecimal digits (GGDD), not \"01O1\""},
      {"0A00", "box 0A00 is not one box's address: group and device are 01..FE each"},
      {"FFFF", "box FFFF is not one box's address: group and device are 01..FE each"},
      {"0101,0102,0101", "box 0101 is given twice"},
  };
  for (const auto& c : badLists) {
    EXPECT_FALSE(ParseBoxList(c.list, &error)) << c.list;
    EXPECT_EQ(error, c.error) << c.list;
  }
  std::string many;
  for (int i = 1; i <= 33; ++i) {
    char box[8];
    std::snprintf(box, sizeof box, "%s01%02X", many.empty() ? "" : ",", i);
    many += box;
  }
  EXPECT_FALSE(ParseBoxList(many, &error));
  EXPECT_EQ(error, "at most 32 boxes on one line");

  const struct {
    const char* text;
    const char* host;
    int port;
    bool loopback;
  } addresses[] = {
      {":9105", "127.0.0.1", 9105, true},
      {"localhost:80", "127.0.0.1", 80, true},
      {"127.1.2.3:0", "127.1.2.3", 0, true},
      {"0.0.0.0:9105", "0.0.0.0", 9105, false},
      {"192.168.7.2:9105", "192.168.7.2", 9105, false},
  };
  for (const auto& c : addresses) {
    const auto a = ParseMetricsAddress(c.text, &error);
    ASSERT_TRUE(a) << c.text << ": " << error;
    EXPECT_EQ(a->host, c.host);
    EXPECT_EQ(a->port, c.port);
    EXPECT_EQ(IsLoopbackAddress(a->host), c.loopback) << c.text;
  }
  for (const char* bad : {"9105", ":", ":65536", ":-1", "::1:9105", "example.org:9105",
                          "127.0.0.1:9105x", "1.2.3:9105"})
    EXPECT_FALSE(ParseMetricsAddress(bad, &error)) << bad;
}

class WatchPlanTest : public ::testing::Test {
 protected:
  int Plan(const CliRequest& r) {
    CliEnvironment env;
    env.executablePath = dir / "signal-cli";
    SettingsEnvironment settings;
    settings.directoryWritable = [](const std::string&) { return true; };
    env.settingsEnvironment = settings;
    env.outIsTerminal = terminal;
    plan = WatchPlan{};
    error.clear();
    notes.clear();
    return MakeWatchPlan(r, env, plan, &error, &notes);
  }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return dir / name;
  }
  CliRequest Request(std::vector<std::string> args) {
    args.insert(args.begin(), "watch");
    CliParse parse = ParseCommandLine(args);
    EXPECT_TRUE(parse.request) << parse.error;
    return parse.request.value_or(CliRequest{});
  }

  TempDir dir;
  WatchPlan plan;
  std::string error;
  std::vector<std::string> notes;
  bool terminal = false;
};

// The file fills in what the command line leaves out; the command line wins.
TEST_F(WatchPlanTest, TheCommandLineWinsOverTheFile) {
  const std::string file = Write("watch.conf",
                                 "port = /dev/ttyUSB7\nboxes = 0101,0102\nevery = 10\n"
                                 "timeout = 0.5\nmetrics = 0.0.0.0:9105\nmetrics-public = yes\n");
  ASSERT_EQ(Plan(Request({"--config", file})), kExitDone) << error;
  EXPECT_EQ(plan.port, "/dev/ttyUSB7");
  EXPECT_EQ(plan.boxes.size(), 2u);
  EXPECT_EQ(plan.every, 10s);
  EXPECT_EQ(plan.timeout, 500ms);
  EXPECT_EQ(plan.metrics->host, "0.0.0.0");
  EXPECT_TRUE(plan.jsonl);

  CliRequest r =
      Request({"--config", file, "--boxes", "0A03", "--every", "2", "--metrics", ":9200"});
  r.port = "COM4";
  r.timeout = 2s;
  r.timeoutGiven = true;
  terminal = true;
  ASSERT_EQ(Plan(r), kExitDone) << error;
  EXPECT_EQ(plan.port, "COM4");
  EXPECT_EQ(plan.comPort, 4);
  EXPECT_EQ(plan.boxes, (std::vector<DeviceAddress>{{0x0A, 0x03}}));
  EXPECT_EQ(plan.every, 2s);
  EXPECT_EQ(plan.timeout, 2s);
  EXPECT_EQ(plan.metrics->port, 9200);
  EXPECT_FALSE(plan.jsonl);
  // Without anything the defaults: COM1, a round every 5 s, 1 s for each answer.
  ASSERT_EQ(Plan(Request({"--boxes", "0101"})), kExitDone) << error;
  EXPECT_EQ(plan.port, "COM1");
  EXPECT_EQ(plan.every, 5s);
  EXPECT_EQ(plan.timeout, 1s);
  EXPECT_FALSE(plan.metrics);
}

TEST_F(WatchPlanTest, TheAddressBookGivesItsBoxes) {
  AddressBook book;
  book[0].address = {0x0A, 0x03};
  book[2].address = {0x0A, 0x00};  // a group
  book[5].address = {0x0B, 0x01};
  book[6].address = {0x0A, 0x03};  // twice
  ASSERT_TRUE(SaveAddressBook(dir / "TQ.ini", book, nullptr));
  // A book the watcher may only read (a service's) is read all the same.
  std::filesystem::permissions(dir / "TQ.ini", std::filesystem::perms::owner_read);
  ASSERT_EQ(Plan(Request({"--book"})), kExitDone) << error;
  EXPECT_EQ(plan.boxes, (std::vector<DeviceAddress>{{0x0A, 0x03}, {0x0B, 0x01}}));
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "address book entry 3 (0A00) is not one box's address: not watched"}));

  const std::string other = dir / "other.ini";
  std::filesystem::copy_file(dir / "TQ.ini", other);
  const std::string file = Write("book.conf", "book = " + other + "\n");
  ASSERT_EQ(Plan(Request({"--config", file})), kExitDone) << error;
  EXPECT_EQ(plan.boxes.size(), 2u);
  ASSERT_EQ(Plan(Request({"--book=" + other})), kExitDone) << error;
  EXPECT_EQ(plan.boxes.size(), 2u);
}

TEST_F(WatchPlanTest, WhatCannotBeWatched) {
  const std::string both = Write("both.conf", "boxes = 0101\nbook = yes\n");
  const std::string typo = Write("typo.conf", "boxes = 0101\nevry = 3\n");
  const std::string badPort = Write("port.conf", "port = COM100\nboxes = 0101\n");
  const std::string emptyBook = Write("TQ.ini", "");
  const struct {
    std::vector<std::string> args;
    int rc;
    std::string error;
  } cases[] = {
      {{}, kExitBadArgument, "watch needs --boxes GGDD,... or --book"},
      {{"--boxes", "0101", "--book"}, kExitBadArgument, "watch takes --boxes or --book, not both"},
      {{"--config", both},
       kExitBadArgument,
       "watch takes --boxes or --book, not both (" + both + ")"},
      {{"--config", typo}, kExitBadArgument, typo + ": line 2: unknown key \"evry\""},
      {{"--config", dir / "none.conf"},
       kExitFileError,
       "cannot read " + dir / "none.conf" + ": No such file or directory"},
      {{"--config", badPort},
       kExitBadArgument,
       "the COM ports are COM1..COM99, not COM100 (" + badPort + ")"},
      {{"--book"}, kExitBadArgument, "the address book " + emptyBook + " names no box"},
      {{"--book=" + dir / "missing.ini"},
       kExitFileError,
       "no address book: cannot read " + dir / "missing.ini" + ": No such file or directory"},
      {{"--boxes", "0101", "--every", "0.5"},
       kExitBadArgument,
       "--every takes a number of seconds, at least 1, at most 86400"},
      {{"--boxes", "0101", "--metrics", "0.0.0.0:9105"},
       kExitBadArgument,
       "serving the metrics on 0.0.0.0 opens them to the network: add --metrics-public to do "
       "so"},
      {{"--boxes", "0101", "--metrics-public"},
       kExitBadArgument,
       "--metrics-public goes with --metrics HOST:PORT"},
      {{"--boxes", "0101", "--address", "0102"},
       kExitBadArgument,
       "watch takes its boxes from --boxes or --book, not --address"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Plan(Request(c.args)), c.rc) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace sc
