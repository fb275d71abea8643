#include "link/port_directory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace sc {
namespace {

namespace fs = std::filesystem;
using Map = std::map<int, std::string>;

TEST(PortDirectory, ReadsExplicitEntries) {
  const struct {
    const char* entries;
    Map expected;
  } cases[] = {
      {"", {}},
      {"1=/dev/pts/4,7=/dev/ttyUSB0", {{1, "/dev/pts/4"}, {7, "/dev/ttyUSB0"}}},
      {" 3 = /dev/a , \t4=/dev/b\n", {{3, "/dev/a"}, {4, "/dev/b"}}},
      {"0=/dev/a,100=/dev/b,99=/dev/c,-1=/dev/d,+2=/dev/e,x=/dev/f,1x=/dev/g", {{99, "/dev/c"}}},
      {"99999999999999999999=/dev/a,007=/dev/seven", {{7, "/dev/seven"}}},
      {"5=,6= ,=/dev/a,/dev/b,7,,", {}},
      {",,8=/dev/a,,", {{8, "/dev/a"}}},
      {"2=/dev/x=y", {{2, "/dev/x=y"}}},
      {"1=/dev/a,1=/dev/b", {{1, "/dev/b"}}},  // the last word counts
      {"9=/dev/my port", {{9, "/dev/my port"}}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PortDirectory::Build(c.entries, {}).Entries(), c.expected) << c.entries;
}

TEST(PortDirectory, FoundDevicesFillTheFreeNumbersFromOneUpward) {
  const PortDirectory directory = PortDirectory::Build(
      "2=/dev/pts/4, 3=/dev/ttyUSB0, 6=/dev/ttyS0",
      {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS1"});
  EXPECT_EQ(directory.Entries(), (Map{{1, "/dev/ttyUSB1"},
                                      {2, "/dev/pts/4"},
                                      {3, "/dev/ttyUSB0"},
                                      {4, "/dev/ttyACM0"},
                                      {5, "/dev/ttyS1"},
                                      {6, "/dev/ttyS0"}}));
  EXPECT_EQ(directory.PathFor(4), "/dev/ttyACM0");
  EXPECT_EQ(directory.PathFor(7), "");
  EXPECT_EQ(directory.PathFor(0), "");
}

TEST(PortDirectory, StopsAtNinetyNine) {
  std::vector<std::string> devices;
  for (int i = 0; i < 120; ++i)
    devices.push_back("/dev/ttyUSB" + std::to_string(i));
  const PortDirectory directory = PortDirectory::Build("50=/dev/pts/1", devices);
  ASSERT_EQ(directory.Entries().size(), 99u);
  EXPECT_EQ(directory.PathFor(49), "/dev/ttyUSB48");
  EXPECT_EQ(directory.PathFor(50), "/dev/pts/1");
  EXPECT_EQ(directory.PathFor(51), "/dev/ttyUSB49");
  EXPECT_EQ(directory.PathFor(99), "/dev/ttyUSB97");
}

TEST(PortDirectory, NaturalOrder) {
  std::vector<std::string> names = {"ttyUSB10", "ttyUSB2", "ttyUSB1",   "ttyUSB02",
                                    "ttyUSB",   "ttyS0",   "ttyUSB100", "ttyUSB9"};
  std::sort(names.begin(), names.end(), NaturalLess);
  EXPECT_EQ(names, (std::vector<std::string>{"ttyS0", "ttyUSB", "ttyUSB1", "ttyUSB02", "ttyUSB2",
                                             "ttyUSB9", "ttyUSB10", "ttyUSB100"}));
  // Numbers longer than any integer type still compare by value.
  EXPECT_TRUE(NaturalLess("a99999999999999999999", "a100000000000000000000"));
  EXPECT_FALSE(NaturalLess("a100000000000000000000", "a99999999999999999999"));
  EXPECT_FALSE(NaturalLess("x", "x"));
}

// A fake /dev and /sys: device nodes are plain files, which no serial ioctl accepts.
class FakeSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sc-ports-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root = pattern;
    dev = root + "/dev";
    sys = root + "/sys";
    fs::create_directories(dev);
    fs::create_directories(sys + "/class/tty");
  }
  void TearDown() override { fs::remove_all(root); }

  void Device(const std::string& name) { std::ofstream(dev + "/" + name); }
  // A sysfs entry; type "" leaves the attribute out.
  void Sysfs(const std::string& name, bool deviceLink, const std::string& type) {
    const std::string dir = sys + "/class/tty/" + name;
    fs::create_directories(dir);
    if (deviceLink) fs::create_directory_symlink(root, dir + "/device");
    if (!type.empty()) std::ofstream(dir + "/type") << type;
  }
  std::string D(const std::string& name) const { return dev + "/" + name; }

  std::string root, dev, sys;
};

TEST_F(FakeSystem, ListsUsbThenAcmThenRealUartsEachInNaturalOrder) {
  for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM1", "ttyACM0", "ttyS0", "ttyS1", "ttyS2",
                           "ttyS3", "ttyS4", "ttyS10", "tty0", "ttyUSB", "ttyUSBx", "console"})
    Device(name);
  Sysfs("ttyS0", true, "4\n");   // a 16550A
  Sysfs("ttyS1", true, "0\n");   // a placeholder: the device link but no UART
  Sysfs("ttyS2", false, "4\n");  // no device behind it
  Sysfs("ttyS3", true, "");      // no type to read and no ioctl: listed
  Sysfs("ttyS10", true, "4\n");
  // ttyS4 has no sysfs entry at all and no ioctl answers for it.

  EXPECT_EQ(PortDirectory::SystemDevices(dev, sys),
            (std::vector<std::string>{D("ttyUSB2"), D("ttyUSB10"), D("ttyACM0"), D("ttyACM1"),
                                      D("ttyS0"), D("ttyS3"), D("ttyS10")}));
}

TEST_F(FakeSystem, ExplicitEntriesWinOverFoundDevices) {
  for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyACM0"})
    Device(name);
  fs::create_directories(dev + "/serial/by-id");
  fs::create_symlink("../../ttyUSB1", dev + "/serial/by-id/usb-Box_1234-if00-port0");

  const PortDirectory directory = PortDirectory::Discover(
      "1=" + D("ttyACM0") + ",3=" + dev + "/serial/by-id/usb-Box_1234-if00-port0", dev, sys);
  EXPECT_EQ(directory.Entries(), (Map{{1, D("ttyACM0")},
                                      {2, D("ttyUSB0")},
                                      {3, dev + "/serial/by-id/usb-Box_1234-if00-port0"}}));
}

TEST_F(FakeSystem, AMissingTreeGivesNoDevices) {
  EXPECT_TRUE(PortDirectory::SystemDevices(root + "/nothing", root + "/none").empty());
  EXPECT_EQ(PortDirectory::Discover("4=/dev/pts/9", root + "/nothing", sys).Entries(),
            (Map{{4, "/dev/pts/9"}}));
}

}  // namespace
}  // namespace sc
