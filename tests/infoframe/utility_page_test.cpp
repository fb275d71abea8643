// The "Ultilities" page: which packet type is asked for, and how a reply fills the grid.

#include "infoframe/utility_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/recording_sender.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace utility_ids;

// A packet of `length` data bytes 0x10, 0x11, ... after the four header bytes.
Bytes Packet(uint8_t type, uint8_t version, int length, uint8_t checksum) {
  Bytes p = {type, version, static_cast<uint8_t>(length), checksum};
  for (int i = 0; i < length; ++i)
    p.push_back(static_cast<uint8_t>(0x10 + i));
  return p;
}

class UtilityPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page.Create();
    page.PrepareHeaderRows();
  }
  void Show(const Bytes& payload) { page.ShowInfoFrame(payload.data(), payload.size()); }
  // The byte rows shown, as "label=value".
  std::vector<std::string> ShownByteRows() const {
    std::vector<std::string> rows;
    for (int row = kHeaderRows; row < kGridRows; ++row) {
      const bool label = view().Visible(kGridLabel[row]);
      EXPECT_EQ(label, view().Visible(kGridValue[row])) << row;
      if (label)
        rows.push_back(view().GetText(kGridLabel[row]) + "=" + view().GetText(kGridValue[row]));
    }
    return rows;
  }
  std::vector<std::string> Header() const {
    return {view().GetText(kGridValue[0]), view().GetText(kGridValue[1]),
            view().GetText(kGridValue[2])};
  }
  const MemoryView& view() const { return static_cast<const MemoryView&>(page.view()); }

  RecordingSender sender;
  UtilityPage page{sender};
};

TEST_F(UtilityPageTest, ReadAsksForTheTypeOfTheListsEntry) {
  const uint8_t codes[] = {0x04, 0x05, 0x06, 0x0A, 0x81, 0x82, 0x83, 0x84, 0x85, 0x87};
  ASSERT_EQ(view().Items(kPacketList), kPacketListEntries);
  ASSERT_EQ(kPacketListEntries.size(), 10u);
  EXPECT_EQ(kPacketListEntries[9], "9-DRM_INF");
  page.ReadInfoFrame();  // entry 5 from the start-up
  for (int entry = 0; entry < 10; ++entry) {
    page.view().SetSelection(kPacketList, entry);
    page.ReadInfoFrame();
    EXPECT_EQ(page.lastRequestIndex, entry);
  }
  page.view().SetSelection(kPacketList, -1);  // typed text: nothing asked
  page.ReadInfoFrame();
  ASSERT_EQ(sender.sent.size(), 11u);
  EXPECT_EQ(sender.sent[0], (RecordingSender::Sent{0x8092, {0x82}}));
  for (int entry = 0; entry < 10; ++entry)
    EXPECT_EQ(sender.sent[entry + 1], (RecordingSender::Sent{0x8092, {codes[entry]}}));
}

TEST_F(UtilityPageTest, RepliesFillTheGridWithEveryDataByteAndNothingStale) {
  auto rows = [](int length, int carried) {
    std::vector<std::string> expected = {"Check sum  =0x47"};
    for (int i = 1; i <= length; ++i) {
      char value[16];
      std::snprintf(value, sizeof value, "0x%02X", 0x10 + i - 1);
      expected.push_back("Data Byte " + std::to_string(i) + "=" + (i <= carried ? value : ""));
    }
    return expected;
  };
  auto cut = [](Bytes p, size_t size) {
    p.resize(size);
    return p;
  };
  const std::vector<std::string> none;
  const std::vector<std::string> zeros = {"0x00", "0x00", "0x00"};
  struct Case {
    const char* what;
    Bytes payload;
    std::vector<std::string> header;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"AVI, 13 bytes: the 13th shows",
       Packet(0x82, 0x02, 13, 0x47),
       {"0x82", "0x02", "0x0D"},
       rows(13, 13)},
      {"30 bytes: all of them",
       Packet(0x83, 0x01, 30, 0x47),
       {"0x83", "0x01", "0x1E"},
       rows(30, 30)},
      {"one byte", Packet(0x84, 0x01, 1, 0x47), {"0x84", "0x01", "0x01"}, rows(1, 1)},
      {"31 bytes: no packet", Packet(0x83, 0x01, 31, 0x47), zeros, none},
      {"version 0: no packet", Packet(0x82, 0x00, 13, 0x47), zeros, none},
      {"type 0: no packet", Packet(0x00, 0x02, 13, 0x47), zeros, none},
      {"length 0: no packet", Packet(0x82, 0x02, 0, 0x47), zeros, none},
      {"the box's answer for nothing captured", Bytes(4, 0), zeros, none},
      {"a reply shorter than its length: the rest empty",
       cut(Packet(0x82, 0x02, 13, 0x47), 9),
       {"0x82", "0x02", "0x0D"},
       rows(13, 5)},
      {"no check sum",
       cut(Packet(0x82, 0x02, 13, 0x47), 3),
       {"0x82", "0x02", "0x0D"},
       [&] {
         auto r = rows(13, 0);
         r[0] = "Check sum  =";
         return r;
       }()},
      {"no header", {0x82, 0x02}, zeros, none},
      {"nothing", {}, zeros, none},
  };
  for (const Case& c : cases) {
    // A longer packet first, so that anything left over would show.
    Show(Packet(0x81, 0x01, 30, 0x99));
    Show(c.payload);
    EXPECT_EQ(Header(), c.header) << c.what;
    EXPECT_EQ(ShownByteRows(), c.rows) << c.what;
    EXPECT_EQ(view().GetText(kGridLabel[0]), "InfoFrame Type code") << c.what;
    // Nothing of the long packet is left in a hidden row either.
    for (int row = kHeaderRows + static_cast<int>(c.rows.size()); row < kGridRows; ++row)
      EXPECT_EQ(page.values[row], "") << c.what << " row " << row + 1;
  }
}

}  // namespace
}  // namespace sc
