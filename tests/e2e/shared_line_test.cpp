// Three simulated boxes on one line: the address book picks one box or a group from the
// main window, and the address dialog re-programs a box that is alone on the line.

#include <gtest/gtest.h>

#include <algorithm>

#include "console/control_ids.h"
#include "sim/box_server.h"
#include "sim/sim_commands.h"
#include "tests/support/console_fixture.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
namespace aid = address_ids;

constexpr DeviceAddress kRackA1{0x0A, 0x01}, kRackA2{0x0A, 0x02}, kRackB1{0x0B, 0x01};
constexpr DeviceAddress kGroupA{0x0A, 0x00}, kMoved{0x0C, 0x07};

class SharedLineTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    portMap[1] = server.path();
    StartConsole();
  }

  // What each box acted on: the code and the address it was sent to.
  std::vector<std::pair<uint16_t, DeviceAddress>> Acted(DeviceAddress box) {
    return server.WithLine([&](BoxLine& line) {
      std::vector<std::pair<uint16_t, DeviceAddress>> acted;
      if (SimulatedBox* b = line.Find(box))
        for (const ReceivedCommand& c : b->commands())
          acted.emplace_back(c.code, c.target);
      return acted;
    });
  }
  uint64_t NotForMe(DeviceAddress box) {
    return server.WithLine([&](BoxLine& line) { return line.Find(box)->counters().notForMe; });
  }
  void ClearRecords() {
    server.WithLine([](BoxLine& line) {
      for (size_t k = 0; k < line.size(); ++k)
        line.box(k).ClearRecords();
    });
  }
  // Lets the request chains run out: no frame reaches the line for a while.
  void Settle() {
    uint64_t frames = ~0ull;
    for (int round = 0; round < 50; ++round) {
      host.PumpFor(150ms);
      const uint64_t now = server.WithLine([](BoxLine& line) {
        uint64_t total = 0;
        for (size_t k = 0; k < line.size(); ++k)
          total += line.box(k).counters().frames;
        return total;
      });
      if (now == frames) return;
      frames = now;
    }
    FAIL() << "the line never went quiet";
  }
  // Edits the book in the address dialog, as a person would between opening and closing.
  void EditBook(const std::vector<std::tuple<int, const char*, const char*, const char*>>& rows) {
    host.onDialog = [&, rows](int id) {
      if (id != ids::kAddressDialog) return;
      AddressDialog& d = dialog->addressDialog;
      d.OnOpen();
      for (const auto& [row, group, device, description] : rows) {
        d.view().SetText(aid::GroupBox(row), group);
        d.view().SetText(aid::DeviceBox(row), device);
        d.view().SetText(aid::DescriptionBox(row), description);
      }
      d.Save();
    };
    dialog->OpenAddressManagement();
    host.onDialog = nullptr;
  }
  void Choose(int item) {
    view.SetSelection(ids::kAddressList, item);
    dialog->SelectAddress();
  }
  void Sim(const std::string& line) {
    SimCommandInterpreter::Result r = commands.Execute(line);
    ASSERT_TRUE(r.ok) << line << ": " << r.text;
  }

  BoxServer server{{kRackA1, kRackA2, kRackB1}};
  SimCommandInterpreter commands{server};
};

TEST_F(SharedLineTest, BookEntriesReachTheirBoxOrGroupAndAReprogrammedBoxIsReachedAtItsNewAddress) {
  EditBook({{0, "0A", "01", "Rack A1"}, {1, "0A", "00", "Group A"}, {2, "0B", "01", "Rack B1"}});
  ASSERT_EQ(view.Items(ids::kAddressList)[2], "No. 1:0A01: Rack A1");
  ASSERT_EQ(view.Items(ids::kAddressList)[3], "No. 2:0A00: Group A");

  // One box: the choice made while the link is down sends nothing; the link then asks
  // only that box, and the whole status chain stays with it.
  Choose(2);
  EXPECT_EQ(dialog->TargetAddress(), kRackA1);
  dialog->ToggleLink();
  ASSERT_TRUE(host.PumpUntil(
      [&] { return std::find(dispatched.begin(), dispatched.end(), 0x8091) != dispatched.end(); }));
  Settle();
  const auto rackA1 = Acted(kRackA1);
  ASSERT_GE(rackA1.size(), 5u);
  for (const auto& [code, to] : rackA1)
    EXPECT_EQ(to, kRackA1) << std::hex << code;
  EXPECT_TRUE(Acted(kRackA2).empty());
  EXPECT_TRUE(Acted(kRackB1).empty());
  EXPECT_GE(NotForMe(kRackA2), 5u);
  EXPECT_GE(NotForMe(kRackB1), 5u);

  // The group entry reaches both boxes of group 0A and not the one of group 0B.
  ClearRecords();
  Choose(3);
  Settle();
  for (DeviceAddress box : {kRackA1, kRackA2}) {
    const auto acted = Acted(box);
    ASSERT_FALSE(acted.empty());
    EXPECT_EQ(acted.front(), std::make_pair(uint16_t{0x8082}, kGroupA));
  }
  EXPECT_TRUE(Acted(kRackB1).empty());

  // Re-programming: the other boxes taken off the line, the new address written to all
  // (the one box) and read back.
  Sim("remove 0A02");
  Sim("remove 0B01");
  dialog->addressDialog.view().SetText(aid::kNewGroup, "0c");
  dialog->addressDialog.view().SetText(aid::kNewDevice, "07");
  dialog->addressDialog.WriteAddressToDevice();
  ASSERT_TRUE(server.WaitUntil([](BoxLine& line) { return line.box(0).address() == kMoved; }, 5s));
  dialog->addressDialog.ReadAddressFromDevice();
  ASSERT_TRUE(host.PumpUntil([&] { return dialog->TargetAddress() == kMoved; }));
  EXPECT_EQ(dialog->addressDialog.view().GetText(aid::kOriginalGroup), "0c");
  EXPECT_EQ(dialog->addressDialog.view().GetText(aid::kOriginalDevice), "07");

  // The others back, the book told of the move: its entry now reaches that box alone.
  Sim("add 0A02");
  Sim("add 0B01");
  EditBook({{0, "0C", "07", "Rack A1"}});
  EXPECT_EQ(view.Items(ids::kAddressList)[2], "No. 1:0C07: Rack A1");
  Settle();
  ClearRecords();
  Choose(2);
  Settle();
  const auto moved = Acted(kMoved);
  ASSERT_FALSE(moved.empty());
  EXPECT_EQ(moved.front(), std::make_pair(uint16_t{0x8082}, kMoved));
  EXPECT_TRUE(Acted(kRackA2).empty());
  EXPECT_TRUE(Acted(kRackB1).empty());
  EXPECT_EQ(dialog->TargetAddress(), kMoved);
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace sc
