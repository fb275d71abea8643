// Network port names, the map of COM numbers to them and its file, where they take their
// numbers among the found devices, and the guard that keeps a device server's banner from
// the parser.

#include <gtest/gtest.h>

#include <fstream>

#include "link/banner_guard.h"
#include "link/network_address.h"
#include "link/network_port_map.h"
#include "link/port_directory.h"
#include "tests/support/temp_dir.h"

namespace sc {
namespace {

using Map = std::map<int, std::string>;
using Bytes = std::vector<uint8_t>;

TEST(NetworkAddress, TakesTheThreeKindsOfHostAndCanonicalScheme) {
  const struct {
    const char* text;
    NetworkKind kind;
    const char* host;
    bool ipv6;
    int port;
    const char* formatted;
  } cases[] = {
      {"rfc2217://rack-3:7001", NetworkKind::Rfc2217, "rack-3", false, 7001,
       "rfc2217://rack-3:7001"},
      {"tcp://192.0.2.7:4001", NetworkKind::RawTcp, "192.0.2.7", false, 4001,
       "tcp://192.0.2.7:4001"},
      {"RFC2217://[2001:db8::7]:1", NetworkKind::Rfc2217, "2001:db8::7", true, 1,
       "rfc2217://[2001:db8::7]:1"},
      {"Tcp://[::1]:65535", NetworkKind::RawTcp, "::1", true, 65535, "tcp://[::1]:65535"},
      {"tcp://rack-3.studio.example:07001", NetworkKind::RawTcp, "rack-3.studio.example", false,
       7001, "tcp://rack-3.studio.example:7001"},
      {"rfc2217://3com:23", NetworkKind::Rfc2217, "3com", false, 23, "rfc2217://3com:23"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_TRUE(IsNetworkPortName(c.text));
    std::string problem;
    const auto address = ParseNetworkAddress(c.text, &problem);
    ASSERT_TRUE(address) << problem;
    EXPECT_EQ(address->kind, c.kind);
    EXPECT_EQ(address->host, c.host);
    EXPECT_EQ(address->ipv6, c.ipv6);
    EXPECT_EQ(address->port, c.port);
    EXPECT_EQ(FormatNetworkAddress(*address), c.formatted);
  }
}

// The host and port end up in the stream library's connection string, where a comma, a
// bracket or a quote would add a stack of its own choosing: only whole names pass.
TEST(NetworkAddress, RefusesAnythingButAWholeName) {
  const struct {
    const char* text;
    const char* problem;
  } cases[] = {
      {"", "No address given"},
      {"/dev/ttyUSB0", "\"/dev/ttyUSB0\" is not an address"},
      {"telnet://rack-3:23", "is not an address"},
      {"rfc2217://rack-3", "has no port"},
      {"rfc2217://:7001", "names no host"},
      {"rfc2217://rack-3:", "must be a number from 1 to 65535"},
      {"rfc2217://rack-3:0", "must be a number from 1 to 65535"},
      {"rfc2217://rack-3:65536", "must be a number from 1 to 65535"},
      {"rfc2217://rack-3:123456", "must be a number from 1 to 65535"},
      {"rfc2217://rack-3:+7", "must be a number from 1 to 65535"},
      {"rfc2217://rack-3:7001/", "must be a number from 1 to 65535"},
      {"tcp://2001:db8::7:7001", "IPv6 addresses go in brackets"},
      {"tcp://[2001:db8::7:7001", "has no closing bracket"},
      {"tcp://[2001:db8::7]7001", "has no port"},
      {"tcp://[fe80::1%eth0]:7001", "is not an IPv6 address"},
      {"tcp://[192.0.2.7]:7001", "is not an IPv6 address"},
      {"tcp://256.1.1.1:7001", "is not an IPv4 address"},
      {"tcp://1.2.3:7001", "is not an IPv4 address"},
      {"tcp://user@rack-3:7001", "is not a host name"},
      {"tcp://rack-3,ipv4,10.0.0.1:7001", "is not a host name"},
      {"tcp://rack(x):7001", "is not a host name"},
      {"tcp://'rack':7001", "is not a host name"},
      {"tcp://-rack:7001", "is not a host name"},
      {"tcp://rack..3:7001", "is not a host name"},
      {"tcp://rack-3.:7001", "is not a host name"},
      {"tcp://rack 3:7001", "a space or a character that is not printable"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string problem;
    EXPECT_FALSE(ParseNetworkAddress(c.text, &problem));
    EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
  }
  EXPECT_FALSE(ParseNetworkAddress("tcp://" + std::string(64, 'a') + ":1"));  // a label of 64
  EXPECT_TRUE(ParseNetworkAddress("tcp://" + std::string(63, 'a') + ":1"));
  EXPECT_FALSE(IsNetworkPortName("/dev/pts/4"));
  // A NUL would end the name early wherever it is handed on as a C string.
  EXPECT_FALSE(ParseNetworkAddress(std::string("tcp://[::", 9) + '\0' + "x]:4001"));
  EXPECT_FALSE(ParseNetworkAddress(std::string("tcp://rack", 10) + '\0' + ":4001"));
}

TEST(NetworkPortMap, FileReadsBackAndBadLinesAreSkippedWithTheirReason) {
  NetworkPortMap map;
  EXPECT_EQ(map.Set(5, "RFC2217://rack-3:7001"), "");
  EXPECT_EQ(map.Set(12, "tcp://[::1]:4001"), "");
  EXPECT_NE(map.Set(100, "tcp://rack:1"), "");
  EXPECT_NE(map.Set(6, "rack:1"), "");
  EXPECT_EQ(map.entries(), (Map{{5, "rfc2217://rack-3:7001"}, {12, "tcp://[::1]:4001"}}));
  std::vector<std::string> problems;
  EXPECT_EQ(NetworkPortMap::Parse(map.Format(), &problems), map);
  EXPECT_TRUE(problems.empty());

  const std::string text =
      "# a comment\n"
      "\n"
      " 7 = tcp://rack-7:4001 \r\n"
      "8=/dev/ttyUSB0\n"
      "x=tcp://rack:1\n"
      "100=tcp://rack:1\n"
      "no equals sign\n"
      "9=tcp://rack-9:4001\n" +
      std::string(2000, 'z') + "\n" + "3=rfc2217://\x01\x02:7\n";
  problems.clear();
  const NetworkPortMap read = NetworkPortMap::Parse(text, &problems);
  EXPECT_EQ(read.entries(), (Map{{7, "tcp://rack-7:4001"}, {9, "tcp://rack-9:4001"}}));
  ASSERT_EQ(problems.size(), 6u);
  EXPECT_EQ(problems[0].rfind("line 4: ", 0), 0u) << problems[0];
  EXPECT_EQ(problems[4], "line 9: longer than 1024 characters");
  EXPECT_EQ(problems[5].find('\x01'), std::string::npos) << "shown printable";
}

TEST(NetworkPortMap, LivesBesideTheSettingsAndIsReadWithinBounds) {
  TempDir dir;
  EXPECT_EQ(NetworkPortMap::PathBeside(dir / "TQ.ini"), dir / "network-ports.conf");
  const std::string path = NetworkPortMap::PathBeside(dir / "TQ.ini");
  std::vector<std::string> problems;
  EXPECT_TRUE(NetworkPortMap::Load(path, &problems).entries().empty());  // no file yet
  EXPECT_TRUE(problems.empty());

  NetworkPortMap map;
  map.Set(5, "rfc2217://rack-3:7001");
  EXPECT_EQ(map.Save(path), "");
  EXPECT_EQ(NetworkPortMap::Load(path, &problems), map);
  EXPECT_TRUE(problems.empty());

  {
    std::ofstream big(path);
    big << std::string(NetworkPortMap::kMaxFileBytes + 1, '#');
  }
  EXPECT_TRUE(NetworkPortMap::Load(path, &problems).entries().empty());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("longer than 64 KiB, not read"), std::string::npos);
  EXPECT_NE(map.Save(dir / "no/such/dir/network-ports.conf"), "");
}

TEST(PortDirectory, MappedNetworkPortsTakeTheirNumbersButTheEnvironmentWins) {
  const PortDirectory found =
      PortDirectory::Build("2=/dev/pts/9", {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyACM0"});
  // ttyUSB0 on 1, ttyUSB1 on 3, ttyACM0 on 4; COM2 named by the environment.
  const PortDirectory mapped =
      found.WithMapped({{2, "tcp://rack:1"}, {3, "rfc2217://rack-3:7001"}, {100, "tcp://x:1"}});
  EXPECT_EQ(mapped.Entries(), (Map{{1, "/dev/ttyUSB0"},
                                   {2, "/dev/pts/9"},
                                   {3, "rfc2217://rack-3:7001"},
                                   {4, "/dev/ttyACM0"},
                                   {5, "/dev/ttyUSB1"}}));
  // A scan later keeps every number where it is.
  EXPECT_EQ(mapped.KeepingNumbersOf(mapped).Entries(), mapped.Entries());
  EXPECT_EQ(found.WithMapped({}).Entries(), found.Entries());
}

TEST(BannerGuard, HoldsTextUntilItIsClearlyDataOrTheEnd) {
  auto take = [](BannerGuard& g, const std::string& text) {
    return g.Take(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  };
  {
    BannerGuard g;  // ser2net's words and its hang-up
    EXPECT_TRUE(take(g, "Port already").empty());
    EXPECT_TRUE(take(g, " in use\r\n").empty());
    EXPECT_EQ(g.EndedWithBanner(), "Port already in use");
  }
  {
    BannerGuard g;  // a box's frame: through at once
    const Bytes frame = {0xAB, 0x01, 0x00, 0x06, 0x00, 0x01, 0x01, 0x82, 0x80, 0x00, 0x4A};
    EXPECT_EQ(g.Take(frame.data(), frame.size()), frame);
    EXPECT_FALSE(g.EndedWithBanner());
  }
  {
    BannerGuard g;  // text, then a frame: all of it, in order, and never held again
    EXPECT_TRUE(take(g, "\r\nhi").empty());
    const Bytes frame = {0xAB, 0x20};
    EXPECT_EQ(g.Take(frame.data(), frame.size()), (Bytes{'\r', '\n', 'h', 'i', 0xAB, 0x20}));
    EXPECT_EQ(take(g, "more"), (Bytes{'m', 'o', 'r', 'e'}));
    EXPECT_FALSE(g.EndedWithBanner());
  }
  {
    BannerGuard g;  // more text than a banner has: data
    const std::string text(BannerGuard::kMaxBanner - 1, 'x');
    EXPECT_TRUE(take(g, text).empty());
    EXPECT_EQ(take(g, "yz").size(), BannerGuard::kMaxBanner + 1);
  }
  {
    BannerGuard g;  // only white space, or nothing: no banner
    EXPECT_TRUE(take(g, "\r\n \t").empty());
    EXPECT_FALSE(g.EndedWithBanner());
    EXPECT_FALSE(BannerGuard().EndedWithBanner());
  }
}

}  // namespace
}  // namespace sc
