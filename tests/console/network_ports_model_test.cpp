// "Link > Network port...": mapping COM numbers to device servers' ports through the
// window's behaviour, the map's own file beside the settings (TQ.ini untouched), the
// "Comm:" list, and the environment's entries winning.

#include "console/network_ports_model.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/control_ids.h"
#include "tests/support/console_fixture.h"

namespace sc {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class NetworkPortsModelTest : public ConsoleFixture {
 protected:
  std::string MapFile() const { return dir / "network-ports.conf"; }
  const std::vector<std::string>& CommItems() { return view.Items(ids::kCommList); }
};

TEST_F(NetworkPortsModelTest, AMappedPortIsKeptInItsOwnFileAndListedWithItsAddress) {
  StartConsole();
  const bool hadBook = fs::exists(dir / "TQ.ini");
  const std::string book = ReadText(dir / "TQ.ini");
  NetworkPortsModel model(*dialog);
  model.ChoosePort(5);
  model.address = "RFC2217://rack-3:7001";
  ASSERT_TRUE(model.Map()) << model.note;
  EXPECT_EQ(model.address, "rfc2217://rack-3:7001");
  EXPECT_EQ(model.note, "COM5 is rfc2217://rack-3:7001.");
  EXPECT_EQ(model.Rows(), std::vector<std::string>{"COM5  rfc2217://rack-3:7001"});
  EXPECT_EQ(CommItems()[4], "COM5  rfc2217://rack-3:7001");
  EXPECT_EQ(CommItems()[3], "COM4");
  EXPECT_EQ(dialog->ports().PathFor(5), "rfc2217://rack-3:7001");
  EXPECT_NE(ReadText(MapFile()).find("\n5=rfc2217://rack-3:7001\n"), std::string::npos);
  EXPECT_EQ(fs::exists(dir / "TQ.ini"), hadBook);
  EXPECT_EQ(ReadText(dir / "TQ.ini"), book);

  // The next start reads the map back.
  dialog.reset();
  StartConsole();
  EXPECT_EQ(CommItems()[4], "COM5  rfc2217://rack-3:7001");
  NetworkPortsModel again(*dialog);
  again.ChoosePort(5);
  EXPECT_EQ(again.address, "rfc2217://rack-3:7001");
  ASSERT_TRUE(again.Remove());
  EXPECT_EQ(again.note, "COM5 is no longer a network port.");
  EXPECT_EQ(CommItems()[4], "COM5");
  EXPECT_TRUE(again.Rows().empty());
  EXPECT_FALSE(again.Remove());
  EXPECT_EQ(ReadText(dir / "TQ.ini"), book);
}

TEST_F(NetworkPortsModelTest, ABadAddressChangesNothingAndSaysWhy) {
  StartConsole();
  NetworkPortsModel model(*dialog);
  model.ChoosePort(3);
  model.address = "tcp://2001:db8::7:4001";
  EXPECT_FALSE(model.Map());
  EXPECT_EQ(model.note, "IPv6 addresses go in brackets: tcp://[2001:db8::7]:7001.");
  EXPECT_TRUE(model.Rows().empty());
  EXPECT_FALSE(fs::exists(MapFile()));
  EXPECT_EQ(CommItems()[2], "COM3");
}

TEST_F(NetworkPortsModelTest, AnEntryOfTheEnvironmentWinsAndTheWindowSaysSo) {
  portMap[2] = "/dev/pts/77";  // as SIGNAL_CONSOLE_PORTS would name it
  StartConsole();
  NetworkPortsModel model(*dialog);
  model.ChoosePort(2);
  model.address = "tcp://rack:4001";
  ASSERT_TRUE(model.Map());
  EXPECT_EQ(model.note,
            "COM2 is tcp://rack:4001. SIGNAL_CONSOLE_PORTS names COM2 too, and its entry is used "
            "while it does.");
  EXPECT_EQ(model.Rows(),
            std::vector<std::string>{"COM2  tcp://rack:4001  (SIGNAL_CONSOLE_PORTS names COM2)"});
  EXPECT_EQ(dialog->ports().PathFor(2), "/dev/pts/77");
  EXPECT_EQ(CommItems()[1], "COM2");
}

TEST_F(NetworkPortsModelTest, BadLinesOfTheFileAreToldOnceAtStartAndTheRestIsUsed) {
  {
    std::ofstream out(MapFile());
    out << "4=tcp://rack-4:4001\n9=telnet://x:1\n";
  }
  StartConsole();
  EXPECT_EQ(CommItems()[3], "COM4  tcp://rack-4:4001");
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text,
            "Some network ports were not read and are left out:\n" + MapFile() +
                ", line 2: \"telnet://x:1\" is not an address: write rfc2217://HOST:PORT or "
                "tcp://HOST:PORT.");
}

}  // namespace
}  // namespace sc
