#include "sim/simulated_box.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "sim/box_line.h"
#include "tests/sim/sim_test_util.h"

namespace sc {
namespace {

using test::Bytes;
using test::Command;
using test::Reply;
using test::SplitReplies;

constexpr DeviceAddress kAll{0x00, 0x00};
constexpr DeviceAddress kAllSilent{0xFF, 0xFF};

// The single reply to one command, or a failure.
Reply AskOne(SimulatedBox& box, const Bytes& command) {
  std::vector<Reply> replies = SplitReplies(box.Receive(command));
  EXPECT_EQ(replies.size(), 1u);
  return replies.empty() ? Reply{} : replies.front();
}

TEST(SimulatedBox, AnswersTheSearchProbeFromItsOwnAddress) {
  SimulatedBox box({0x0A, 0x03});
  EXPECT_EQ(box.Receive(Command(kAll, 0xF802)),
            (Bytes{0xAB, 0x01, 0x00, 0x07, 0x00, 0x0A, 0x03, 0x02, 0xF8, 0x01, 0x00, 0x45}));
}

TEST(SimulatedBox, AnswersTheStatusRequestsOfANewBox) {
  SimulatedBox box;  // 01/01, 1080p60 on HDMI
  // One whole frame byte for byte; the rest by payload.
  EXPECT_EQ(box.Receive(Command({0x01, 0x01}, 0x8080)),
            (Bytes{0xAB, 0x01, 0x00, 0x06, 0x00, 0x01, 0x01, 0x80, 0x80, 0x04, 0x48}));
  struct Case {
    uint16_t code;
    Bytes payload;
  };
  const Case cases[] = {
      {0x8082, {0x00}},
      {0x8081, {0x00}},
      {0x8080, {0x04}},
      {0xF850, {0x00}},
      {0x8091, {0x00, 0x02, 0x3A, 0x06, 0x80, 0x07, 0x18, 0x01, 0x58, 0x00,
                0x2C, 0x00, 0x38, 0x04, 0x2D, 0x00, 0x04, 0x00, 0x05, 0x00}},
      {0x8090, {0x00, 0x00, 0x00, 0x01, 0x03, 0x03, 0x01, 0x01, 0x00, 0x00}},
      {0xF801, {0x01, 0x01}},
  };
  for (const Case& c : cases) {
    Reply r = AskOne(box, Command({0x01, 0x01}, c.code));
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.address, (DeviceAddress{0x01, 0x01}));
    EXPECT_TRUE(r.sumOk);
    EXPECT_EQ(r.payload, c.payload) << std::hex << c.code;
  }
}

TEST(SimulatedBox, SettingsChangeLaterAnswersAndBadValuesAreIgnored) {
  struct Case {
    const char* name;
    uint16_t set;
    Bytes value;
    uint16_t query;
    uint8_t expected;
  };
  const Case cases[] = {
      {"SDI", 0x0082, {0x01}, 0x8082, 0x01},
      {"back to HDMI", 0x0082, {0x00}, 0x8082, 0x00},
      {"input 2 is no input", 0x0082, {0x02}, 0x8082, 0x00},
      {"hot-plug off", 0x0081, {0x01}, 0x8081, 0x01},
      {"hot-plug 5 ignored", 0x0081, {0x05}, 0x8081, 0x01},
      {"hot-plug on", 0x0081, {0x00}, 0x8081, 0x00},
      {"volume 8", 0x0080, {0x08}, 0x8080, 0x08},
      {"volume 0", 0x0080, {0x00}, 0x8080, 0x00},
      {"volume 9 ignored", 0x0080, {0x09}, 0x8080, 0x00},
      {"volume without a value", 0x0080, {}, 0x8080, 0x00},
  };
  SimulatedBox box({0x0A, 0x03});
  for (const Case& c : cases) {
    EXPECT_TRUE(box.Receive(Command({0x0A, 0x03}, c.set, c.value)).empty()) << c.name;
    Reply r = AskOne(box, Command({0x0A, 0x03}, c.query));
    EXPECT_EQ(r.payload, Bytes{c.expected}) << c.name;
  }
}

TEST(SimulatedBox, ActsAndAnswersByTheAddressOfTheCommand) {
  struct Case {
    DeviceAddress target;
    bool acts;
    bool answers;
  };
  const Case cases[] = {
      {{0x00, 0x00}, true, true},    // every box, with answers
      {{0xFF, 0xFF}, true, false},   // every box, no answers
      {{0x0A, 0x00}, true, true},    // its group
      {{0x0B, 0x00}, false, false},  // another group
      {{0x0A, 0x03}, true, true},    // its own address
      {{0x0A, 0x04}, false, false},  // a neighbour
      {{0x0B, 0x03}, false, false},  // same device number, other group
      {{0x00, 0xFF}, false, false},  // the invalid combinations
      {{0xFF, 0x00}, false, false}, {{0x00, 0x03}, false, false}, {{0xFF, 0x03}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << std::hex << int(c.target.group) << "/" << int(c.target.device));
    SimulatedBox box({0x0A, 0x03});
    EXPECT_TRUE(box.Receive(Command(c.target, 0x0080, {0x07})).empty());
    EXPECT_EQ(box.panel().volumeStep, c.acts ? 7 : 4);
    std::vector<Reply> replies = SplitReplies(box.Receive(Command(c.target, 0x8080)));
    ASSERT_EQ(replies.size(), c.answers ? 1u : 0u);
    if (c.answers) {
      // The answer always carries the box's own address, never the broadcast one.
      EXPECT_EQ(replies[0].address, (DeviceAddress{0x0A, 0x03}));
    }
    EXPECT_EQ(box.CommandCodes().size(), c.acts ? 2u : 0u);
  }
}

TEST(BoxLine, EveryBoxHearsEveryCommandAndTheAddressedOnesAnswerInTurn) {
  BoxLine line({{0x0A, 0x01}, {0x0A, 0x02}, {0x0B, 0x01}});
  auto ask = [&](DeviceAddress to, uint16_t code, Bytes payload = {}) {
    Bytes bytes = Command(to, code, payload);
    Bytes replies;
    for (LineOutput& o : line.Receive(bytes.data(), bytes.size()))
      replies.insert(replies.end(), o.bytes.begin(), o.bytes.end());
    std::vector<std::string> from;
    for (const Reply& r : SplitReplies(replies)) {
      char text[8];
      std::snprintf(text, sizeof text, "%02X%02X", r.address.group, r.address.device);
      from.push_back(text);
    }
    return from;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(ask(kAll, 0xF802), (Names{"0A01", "0A02", "0B01"}));
  EXPECT_EQ(ask({0x0A, 0x00}, 0xF802), (Names{"0A01", "0A02"}));
  EXPECT_EQ(ask({0x0A, 0x02}, 0x8082), (Names{"0A02"}));
  EXPECT_EQ(ask(kAllSilent, 0x0082, {0x01}), Names{});
  EXPECT_EQ(ask({0x0B, 0x01}, 0x0080, {0x02}), Names{});
  for (size_t k = 0; k < line.size(); ++k)
    EXPECT_EQ(line.box(k).panel().input, 1) << k;
  EXPECT_EQ(line.box(0).panel().volumeStep, 4);
  EXPECT_EQ(line.box(2).panel().volumeStep, 2);
  EXPECT_EQ(line.box(0).CommandCodes(), (std::vector<uint16_t>{0xF802, 0xF802, 0x0082}));
  EXPECT_EQ(line.box(1).CommandCodes(), (std::vector<uint16_t>{0xF802, 0xF802, 0x8082, 0x0082}));
  EXPECT_EQ(line.box(2).CommandCodes(), (std::vector<uint16_t>{0xF802, 0x0082, 0x0080}));

  // Two commands in one write: the answers come frame by frame, not box by box.
  Bytes both = Command(kAll, 0x8082);
  Bytes second = Command(kAll, 0x8081);
  both.insert(both.end(), second.begin(), second.end());
  Bytes replies;
  for (LineOutput& o : line.Receive(both.data(), both.size()))
    replies.insert(replies.end(), o.bytes.begin(), o.bytes.end());
  std::vector<uint16_t> codes;
  for (const Reply& r : SplitReplies(replies))
    codes.push_back(r.code);
  EXPECT_EQ(codes, (std::vector<uint16_t>{0x8082, 0x8082, 0x8082, 0x8081, 0x8081, 0x8081}));
}

TEST(SimulatedBox, FindsItsFramesInAnyChunkingAmongGarbage) {
  Bytes stream = {0x00, 0xFF, 0xAB, 0x01, 0x00, 0x55};  // noise, a reply lead
  auto append = [&](const Bytes& b) { stream.insert(stream.end(), b.begin(), b.end()); };
  append(Command({0x01, 0x01}, 0x8082));
  Bytes bad = Command({0x01, 0x01}, 0x0080, {0x08});
  bad.back() ^= 0x01;  // a damaged frame: ignored, not acted on
  append(bad);
  append({0xAA, 0xAA, 0x01, 0x00});              // a lead inside a broken start
  append({0xAA, 0x01, 0x00, 0x02, 0x00, 0x01});  // length 2: no room for a frame
  append(Command({0x01, 0x02}, 0x8081));         // someone else's
  append(Command({0x01, 0x01}, 0x8080));

  SimulatedBox whole;
  const Bytes expected = whole.Receive(stream);
  std::vector<uint16_t> codes;
  for (const Reply& r : SplitReplies(expected))
    codes.push_back(r.code);
  ASSERT_EQ(codes, (std::vector<uint16_t>{0x8082, 0x8080}));
  EXPECT_EQ(SplitReplies(expected)[1].payload, Bytes{0x04});
  EXPECT_EQ(whole.counters().badChecksum, 1u);
  EXPECT_EQ(whole.counters().notForMe, 1u);

  for (size_t chunk = 1; chunk <= 13; ++chunk) {
    SimulatedBox box;
    Bytes got;
    for (size_t i = 0; i < stream.size(); i += chunk) {
      Bytes part = box.Receive(stream.data() + i, std::min(chunk, stream.size() - i));
      got.insert(got.end(), part.begin(), part.end());
    }
    EXPECT_EQ(got, expected) << "chunks of " << chunk;
  }
}

TEST(SimulatedBox, DropsAndCorruptsTheNextFramesItSends) {
  SimulatedBox box;
  box.faults().dropFrames = 2;
  box.faults().corruptFrames = 1;
  std::vector<Reply> got;
  for (int i = 0; i < 4; ++i) {
    for (Reply& r : SplitReplies(box.Receive(Command(kAll, 0x8082))))
      got.push_back(r);
  }
  ASSERT_EQ(got.size(), 2u);  // two of four dropped
  EXPECT_FALSE(got[0].sumOk);
  EXPECT_EQ(got[0].payload, Bytes{0x00});  // only the checksum is wrong
  EXPECT_TRUE(got[1].sumOk);
  EXPECT_EQ(box.counters().dropped, 2u);
  EXPECT_EQ(box.counters().corrupted, 1u);
  EXPECT_EQ(box.faults().dropFrames, 0);
  EXPECT_EQ(box.faults().corruptFrames, 0);
  // Faults apply to the box's notices as well.
  box.faults().dropFrames = 1;
  box.SetSignal(*FindBoxSignal("none"), true);
  EXPECT_TRUE(box.TakeUnsolicited().empty());
}

TEST(SimulatedBox, DuplicatesGarblesAndAnswersAsAnotherBox) {
  SimulatedBox box({0x0A, 0x03});
  box.faults().duplicateFrames = 1;
  box.faults().garbleFrames = 1;
  box.faults().strangerFrames = 1;
  const Bytes first = box.Receive(Command(kAll, 0x8082));
  // Noise first (none of it a lead byte), then the frame twice, from 0B01 with a good sum.
  const size_t noise = sizeof kLineNoise;
  ASSERT_GT(first.size(), noise);
  EXPECT_EQ(Bytes(first.begin(), first.begin() + noise),
            Bytes(std::begin(kLineNoise), std::end(kLineNoise)));
  EXPECT_EQ(std::count(first.begin(), first.begin() + noise, kReplyLead), 0);
  const std::vector<Reply> replies = SplitReplies(Bytes(first.begin() + noise, first.end()));
  ASSERT_EQ(replies.size(), 2u);
  for (const Reply& r : replies) {
    EXPECT_TRUE(r.sumOk);
    EXPECT_EQ(r.address, (DeviceAddress{0x0B, 0x01}));
  }
  // Then the box is itself again.
  const std::vector<Reply> next = SplitReplies(box.Receive(Command(kAll, 0x8082)));
  ASSERT_EQ(next.size(), 1u);
  EXPECT_EQ(next[0].address, (DeviceAddress{0x0A, 0x03}));
  EXPECT_EQ(box.counters().duplicated + box.counters().garbled + box.counters().strangers, 3u);
}

TEST(SimulatedBox, ASignalChangeIsReportedAndAnsweredWithTheNewTiming) {
  SimulatedBox box({0x0A, 0x03});
  box.SetSignal(*FindBoxSignal("none"), true);
  std::vector<Reply> notice = SplitReplies(box.TakeUnsolicited());
  ASSERT_EQ(notice.size(), 1u);
  EXPECT_EQ(notice[0].code, 0x809F);
  EXPECT_EQ(notice[0].address, (DeviceAddress{0x0A, 0x03}));
  EXPECT_EQ(notice[0].payload, Bytes{0x00});
  EXPECT_TRUE(box.TakeUnsolicited().empty());  // taken once
  Reply timing = AskOne(box, Command(kAll, 0x8091));
  EXPECT_EQ(timing.payload, Bytes(20, 0x00));

  box.SetSignal(*FindBoxSignal("1080i60"), true);
  notice = SplitReplies(box.TakeUnsolicited());
  ASSERT_EQ(notice.size(), 1u);
  EXPECT_EQ(notice[0].payload, Bytes{0x01});
  timing = AskOne(box, Command(kAll, 0x8091));
  EXPECT_EQ(timing.payload[3], 0x07);                            // interlaced, both syncs +
  EXPECT_EQ(timing.payload[12] | timing.payload[13] << 8, 540);  // lines per field
  EXPECT_EQ(timing.payload[14] | timing.payload[15] << 8, 22);

  box.SetSignal(*FindBoxSignal("720p60"), false);
  EXPECT_TRUE(box.TakeUnsolicited().empty());
  timing = AskOne(box, Command(kAll, 0x8091));
  EXPECT_EQ(timing.payload[4] | timing.payload[5] << 8, 1280);
}

// What the box receives follows its sources, cables, input and hot-plug, as a real box's
// would; each change of the received signal is announced once, whoever made it.
TEST(SimulatedBox, ReceivesWhatItsSelectedInputGetsAndAnnouncesChanges) {
  SimulatedBox box({0x0A, 0x03});
  using Step = std::function<void(SimulatedBox&)>;
  auto command = [](uint16_t code, uint8_t value) {
    return [=](SimulatedBox& b) { EXPECT_TRUE(b.Receive(Command(kAll, code, {value})).empty()); };
  };
  auto format = [](const char* name) {
    return [=](SimulatedBox& b) { b.SetSignal(*FindBoxSignal(name), true); };
  };
  auto cable = [](uint8_t input, bool in) {
    return [=](SimulatedBox& b) { b.SetSourceConnected(input, in, true); };
  };
  struct Case {
    const char* what;
    Step step;
    const char* receives;
    int notice;  // payload of the notice, -1 none
  };
  const Case cases[] = {
      {"hot-plug off: the source stops", command(0x0081, 1), "none", 0},
      {"hot-plug off again", command(0x0081, 1), "none", -1},
      {"hot-plug on: it sends again", command(0x0081, 0), "1080p60", 1},
      {"an SDI format goes to the SDI source", format("sdi-1080i50"), "1080p60", -1},
      {"the SDI cable, unused, pulled", cable(kSdiInput, false), "1080p60", -1},
      {"the HDMI cable pulled", cable(kHdmiInput, false), "none", 0},
      {"a new HDMI format while unplugged", format("720p60"), "none", -1},
      {"plugged back", cable(kHdmiInput, true), "720p60", 1},
      {"SDI selected, its cable out", command(0x0082, 1), "none", 0},
      {"SDI has no hot-plug to lose", command(0x0081, 1), "none", -1},
      {"the SDI cable in", cable(kSdiInput, true), "sdi-1080i50", 1},
      {"HDCP of the SDI source", [](SimulatedBox& b) { b.SetHdcp(kSdiInput, 1, true); },
       "sdi-1080i50", 1},
      {"no signal on the selected input", format("none"), "none", 0},
      {"back to HDMI, hot-plug still off", command(0x0082, 0), "none", -1},
  };
  for (const Case& c : cases) {
    c.step(box);
    EXPECT_EQ(box.signal().name, c.receives) << c.what;
    std::vector<Reply> notices = SplitReplies(box.TakeUnsolicited());
    if (c.notice < 0) {
      EXPECT_TRUE(notices.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(notices.size(), 1u) << c.what;
    EXPECT_EQ(notices[0].code, 0x809F) << c.what;
    EXPECT_EQ(notices[0].payload, Bytes{static_cast<uint8_t>(c.notice)}) << c.what;
  }
  // What the box answers is what it receives.
  EXPECT_EQ(AskOne(box, Command(kAll, 0x8091)).payload, Bytes(20, 0x00));
  EXPECT_EQ(AskOne(box, Command(kAll, 0x8090)).payload, Bytes(10, 0x00));
}

TEST(SimulatedBox, TakesANewAddressAndAnswersFromIt) {
  BoxLine line({{0x01, 0x01}});
  SimulatedBox& box = line.box(0);
  struct Case {
    Bytes payload;
    DeviceAddress expected;
  };
  const Case cases[] = {
      {{0x0B, 0x05}, {0x0B, 0x05}}, {{0x00, 0x05}, {0x0B, 0x05}},  // not an address a box can carry
      {{0xFF, 0xFF}, {0x0B, 0x05}}, {{0x0C}, {0x0B, 0x05}},        // too short
      {{0x0C, 0x07}, {0x0C, 0x07}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(box.Receive(Command(kAll, 0x7801, c.payload)).empty());
    EXPECT_EQ(box.address(), c.expected);
  }
  Reply r = AskOne(box, Command(kAll, 0xF801));
  EXPECT_EQ(r.address, (DeviceAddress{0x0C, 0x07}));
  EXPECT_EQ(r.payload, (Bytes{0x0C, 0x07}));
  EXPECT_EQ(SplitReplies(box.Receive(Command({0x01, 0x01}, 0x8082))).size(), 0u);
  EXPECT_EQ(SplitReplies(box.Receive(Command({0x0C, 0x07}, 0x8082))).size(), 1u);
}

}  // namespace
}  // namespace sc
