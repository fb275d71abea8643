#include "link/frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(FrameCodec, BuildsTheWorkedExamples) {
  struct Case {
    const char* name;
    DeviceAddress address;
    uint16_t code;
    Bytes payload;
    Bytes expected;
  };
  const Case cases[] = {
      {"search probe to 00/00",
       {0x00, 0x00},
       0xF802,
       {},
       {0xAA, 0x01, 0x00, 0x05, 0x00, 0x00, 0x00, 0x02, 0xF8, 0x56}},
      {"input query to 0A/03",
       {0x0A, 0x03},
       0x8082,
       {},
       {0xAA, 0x01, 0x00, 0x05, 0x00, 0x0A, 0x03, 0x82, 0x80, 0x41}},
      {"hot-plug off to 00/00",
       {0x00, 0x00},
       0x0081,
       {0x01},
       {0xAA, 0x01, 0x00, 0x06, 0x00, 0x00, 0x00, 0x81, 0x00, 0x01, 0xCD}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildFrame(kCommandLead, c.address, c.code, c.payload), c.expected) << c.name;
  }
}

TEST(FrameCodec, LongestCommandHasLength0x0127AndSumsToZero) {
  Bytes payload(kMaxCommandPayload);
  for (size_t i = 0; i < payload.size(); ++i)
    payload[i] = static_cast<uint8_t>(i * 7);
  Bytes frame = BuildFrame(kCommandLead, {0x12, 0x34}, 0x7851, payload);
  ASSERT_EQ(frame.size(), 300u);
  EXPECT_EQ(frame[3], 0x27);
  EXPECT_EQ(frame[4], 0x01);
  EXPECT_TRUE(FrameSumIsZero(frame.data(), frame.size()));
}

// Feeds bytes and reports, per byte, what the assembler made of it.
std::string Feed(FrameAssembler& a, const Bytes& bytes) {
  std::string steps;
  for (uint8_t b : bytes) {
    switch (a.Push(b)) {
      case FrameAssembler::Step::Pending:
        steps += '.';
        break;
      case FrameAssembler::Step::Complete:
        steps += 'C';
        break;
      case FrameAssembler::Step::Dropped:
        steps += 'D';
        break;
    }
  }
  return steps;
}

TEST(FrameAssembler, AssemblesAndDropsAtTheRightByte) {
  struct Case {
    const char* name;
    Bytes bytes;
    std::string steps;
  };
  const Case cases[] = {
      {"volume reply",
       {0xAB, 0x01, 0x00, 0x06, 0x00, 0x0A, 0x03, 0x80, 0x80, 0x04, 0x3D},
       "..........C"},
      {"leading garbage is skipped",
       {0x00, 0x55, 0xAB, 0x01, 0x00, 0x05, 0x00, 1, 2, 3, 4, 5},
       "...........C"},
      {"AB AB fails at the second byte, then waits for a lead byte",
       {0xAB, 0xAB, 0x01, 0x00},
       ".D.."},
      {"wrong third byte", {0xAB, 0x01, 0x01}, "..D"},
      {"length high byte 2 drops at the fifth byte", {0xAB, 0x01, 0x00, 0x05, 0x02}, "....D"},
      {"length 501 drops", {0xAB, 0x01, 0x00, 0xF5, 0x01}, "....D"},
      {"length 500 is taken", {0xAB, 0x01, 0x00, 0xF4, 0x01}, "....."},
      {"length 4 has no room for address and code", {0xAB, 0x01, 0x00, 0x04, 0x00}, "....D"},
      {"length 0", {0xAB, 0x01, 0x00, 0x00, 0x00}, "....D"},
      {"a lead byte inside a frame is data",
       {0xAB, 0x01, 0x00, 0x06, 0x00, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0x00},
       "..........C"},
  };
  for (const auto& c : cases) {
    FrameAssembler a(kReplyLead);
    EXPECT_EQ(Feed(a, c.bytes), c.steps) << c.name;
  }
}

TEST(FrameAssembler, LongestFrameFitsTheBuffer) {
  FrameAssembler a(kReplyLead);
  Bytes payload(495, 0x5A);
  Bytes frame = BuildFrame(kReplyLead, {1, 2}, 0x8096, payload);
  ASSERT_EQ(frame.size(), 505u);
  std::string steps = Feed(a, frame);
  EXPECT_EQ(steps.back(), 'C');
  EXPECT_EQ(a.FrameSize(), 505u);
  EXPECT_TRUE(FrameSumIsZero(a.frame.data(), a.FrameSize()));
  EXPECT_EQ(a.PayloadSize(), 495u);
}

TEST(FrameAssembler, ShortLengthNeverCompletesOnAnEarlierFramesBytes) {
  // A complete frame, then a header claiming length 1: it must not "complete" using
  // the bytes left in the buffer by the first frame.
  FrameAssembler a(kReplyLead);
  Bytes good = BuildFrame(kReplyLead, {0, 0}, 0x8080, Bytes{0x04});
  EXPECT_EQ(Feed(a, good).back(), 'C');
  EXPECT_EQ(Feed(a, {0xAB, 0x01, 0x00, 0x01, 0x00}), "....D");
  EXPECT_EQ(a.state, FrameAssembler::kIdle);
}

}  // namespace
}  // namespace sc
