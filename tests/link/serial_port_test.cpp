// The serial driver on real pseudo-terminals: the master side plays the box.

#include "link/serial_port.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "sim/pty.h"
#include "tests/support/test_host.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

struct Note {
  unsigned message;
  unsigned first;
  int port;
};

// Records every notification; optionally drains on each received byte, as the console does.
class RecordingOwner : public PortOwner {
 public:
  explicit RecordingOwner(SerialPort*& port) : port_(port) {}
  void OnPortMessage(unsigned message, unsigned first, int portNumber) override {
    notes.push_back({message, first, portNumber});
    if (message == kMsgByte) {
      received.push_back(static_cast<uint8_t>(first));
      if (drain) {
        uint8_t buffer[kDrainBufferSize];
        int n = port_->DrainInput(buffer);
        drains.push_back(n);
        received.insert(received.end(), buffer, buffer + n);
      }
    }
    if (hook) hook(message);
  }
  int Count(unsigned message) const {
    int n = 0;
    for (const auto& note : notes)
      n += note.message == message;
    return n;
  }

  bool drain = true;
  std::vector<Note> notes;
  Bytes received;
  std::vector<int> drains;
  std::function<void(unsigned)> hook;

 private:
  SerialPort*& port_;
};

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(box.ok()) << "no pseudo-terminal: " << box.error();
    directory = PortDirectory::Build("3=" + box.SlavePath(), {});
    port = std::make_unique<SerialPort>(host, directory);
    raw = port.get();
  }

  int Open(int number = 3, int baud = 115200, unsigned mask = 3, int dataBits = 8) {
    return port->OpenPort(&owner, number, baud, 'N', dataBits, 1, mask, 512);
  }

  TestHost host;
  PtyMaster box;
  PortDirectory directory;
  std::unique_ptr<SerialPort> port;
  SerialPort* raw = nullptr;
  RecordingOwner owner{raw};
};

TEST_F(SerialPortTest, OpensTheDeviceThePortNumberMapsTo) {
  ASSERT_EQ(Open(3), 1);
  EXPECT_TRUE(port->IsOpen());
  EXPECT_EQ(port->LastOpenDevice(), box.SlavePath());
  // A number that maps to no device fails at once, silently.
  EXPECT_EQ(Open(4), 0);
  EXPECT_FALSE(port->IsOpen());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(SerialPortTest, EnvironmentMapsComNumbers) {
  ::setenv("SIGNAL_CONSOLE_PORTS", ("7=" + box.SlavePath()).c_str(), 1);
  PortDirectory fromEnvironment = PortDirectory::FromSystem();
  ::unsetenv("SIGNAL_CONSOLE_PORTS");
  EXPECT_EQ(fromEnvironment.PathFor(7), box.SlavePath());
  SerialPort other(host, fromEnvironment);
  EXPECT_EQ(other.OpenPort(&owner, 7, 115200, 'N', 8, 1, 3, 512), 1);
}

TEST_F(SerialPortTest, SecondOpenOfAHeldPortFailsSilently) {
  ASSERT_EQ(Open(3), 1);
  SerialPort second(host, directory);
  EXPECT_EQ(second.OpenPort(&owner, 3, 115200, 'N', 8, 1, 3, 512), 0);
  EXPECT_TRUE(host.messages.empty());
  // Once the first lets go, the port can be had again.
  port.reset();
  EXPECT_EQ(second.OpenPort(&owner, 3, 115200, 'N', 8, 1, 3, 512), 1);
}

TEST_F(SerialPortTest, OneNotificationThenTheOwnerDrainsTheRest) {
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(port->StartWorker(), 1);
  ASSERT_TRUE(box.Write({0x11, 0x22, 0x33}));
  ASSERT_TRUE(host.PumpUntil([&] { return owner.received.size() >= 3; }));
  host.PumpFor(50ms);
  EXPECT_EQ(owner.received, (Bytes{0x11, 0x22, 0x33}));
  EXPECT_EQ(owner.Count(kMsgByte), 1);
  ASSERT_EQ(owner.drains.size(), 1u);
  EXPECT_EQ(owner.drains[0], 2);
  EXPECT_EQ(owner.notes[0].port, 3);
  // Event mask 3 also has the event character: one notification per wake-up.
  EXPECT_GE(owner.Count(kMsgRxFlag), 1);
}

TEST_F(SerialPortTest, FramesGoOutWholeAndInOrder) {
  ASSERT_EQ(Open(), 1);
  // Queued back to back before the worker could take the first: neither is lost.
  Bytes first = {0xAA, 0x01, 0x00, 0x05, 0x00, 0x00, 0x00, 0x82, 0x80, 0x50};
  Bytes second = {0xAA, 0x01, 0x00, 0x05, 0x00, 0x00, 0x00, 0x81, 0x80, 0x51};
  port->SendBytes(first.data(), static_cast<int>(first.size()));
  port->SendBytes(second.data(), static_cast<int>(second.size()));
  ASSERT_EQ(port->StartWorker(), 1);
  // Each write step waits for the window to take its write-complete notice.
  ASSERT_TRUE(host.PumpUntil([&] { return owner.Count(kMsgWriteDone) == 2; }));
  Bytes expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(box.Read(expected.size(), 2s), expected);
}

TEST_F(SerialPortTest, AWriteDiscardsUnreadInput) {
  // Without the received-character event nobody reads, so input waits in the queue.
  ASSERT_EQ(Open(3, 115200, kEvRxFlag), 1);
  ASSERT_EQ(port->StartWorker(), 1);
  ASSERT_TRUE(box.Write({0xDE, 0xAD, 0xBE, 0xEF}));
  // The terminal hands written bytes over a moment later: wait until they are queued.
  ASSERT_TRUE(host.PumpUntil([&] { return port->InputQueued() == 4; }));
  Bytes frame = {0xAA, 0x01, 0x00, 0x05, 0x00, 0x00, 0x00, 0x82, 0x80, 0x50};
  port->SendBytes(frame.data(), static_cast<int>(frame.size()));
  ASSERT_EQ(box.Read(frame.size(), 2s), frame);
  ASSERT_TRUE(host.PumpUntil([&] { return owner.Count(kMsgWriteDone) == 1; }));
  ASSERT_TRUE(box.Write({0x42}));
  ASSERT_TRUE(host.PumpUntil([&] { return port->InputQueued() == 1; }));
  uint8_t buffer[kDrainBufferSize];
  ASSERT_EQ(port->DrainInput(buffer), 1);
  EXPECT_EQ(buffer[0], 0x42);
}

TEST_F(SerialPortTest, SetsAndReadsBackAnyRate) {
  for (int rate : {512000, 115200, 9600, 512000, 115200}) {
    ASSERT_EQ(Open(3, rate), 1) << rate;
    auto [input, output] = port->CurrentRates();
    EXPECT_EQ(output, rate);
    // Input follows output, also when coming back from a non-standard rate.
    EXPECT_EQ(input, rate);
  }
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(SerialPortTest, ConfigurationFailureIsReportedButThePortStaysOpen) {
  ASSERT_EQ(Open(3, 115200, 3, /*dataBits=*/9), 1);
  EXPECT_TRUE(port->IsOpen());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].caption, "Application Error");
  EXPECT_EQ(host.messages[0].text,
            "WARNING:  BuildCommDCB() Failed with the following error: \nInvalid argument\n"
            "Port: 3\n");
}

TEST_F(SerialPortTest, HangUpEndsTheWorkerWithOneNotice) {
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(port->StartWorker(), 1);
  box.Close();
  ASSERT_TRUE(host.PumpUntil([&] { return owner.Count(kMsgPortGone) == 1; }));
  ASSERT_TRUE(host.PumpUntil([&] { return !port->WorkerRunning(); }));
  host.PumpFor(50ms);
  EXPECT_FALSE(port->IsOpen());
  EXPECT_EQ(owner.Count(kMsgPortGone), 1);
  EXPECT_EQ(owner.Count(kMsgByte), 0);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(SerialPortTest, ShutdownNeverWaitsForAWindowThatIsNotListening) {
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(port->StartWorker(), 1);
  ASSERT_TRUE(box.Write({0x01}));
  // The worker now waits for a hand-off nobody runs; re-opening must still end it.
  std::this_thread::sleep_for(50ms);
  ASSERT_EQ(Open(), 1);
  EXPECT_FALSE(port->WorkerRunning());
  // The abandoned notification, run late, reaches nobody.
  host.RunPending();
  EXPECT_EQ(owner.Count(kMsgByte), 0);
}

TEST_F(SerialPortTest, OwnerMayReopenFromInsideANotification) {
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(port->StartWorker(), 1);
  bool reopened = false;
  owner.hook = [&](unsigned message) {
    if (message != kMsgByte || reopened) return;
    reopened = true;
    ASSERT_EQ(raw->OpenPort(&owner, 3, 512000, 'N', 8, 1, 3, 1024), 1);
    ASSERT_EQ(raw->StartWorker(), 1);
  };
  ASSERT_TRUE(box.Write({0x01}));
  ASSERT_TRUE(host.PumpUntil([&] { return owner.Count(kMsgByte) == 1 && reopened; }));
  EXPECT_EQ(port->CurrentRates().second, 512000);
  // The new worker serves the port.
  ASSERT_TRUE(box.Write({0x02}));
  ASSERT_TRUE(host.PumpUntil([&] { return owner.Count(kMsgByte) == 2; }));
}

TEST_F(SerialPortTest, DestructorEndsTheWorkerAndClosesThePort) {
  ASSERT_EQ(Open(), 1);
  ASSERT_EQ(port->StartWorker(), 1);
  port.reset();
  // The device is free again: another driver can take it.
  SerialPort other(host, directory);
  EXPECT_EQ(other.OpenPort(&owner, 3, 115200, 'N', 8, 1, 3, 512), 1);
}

TEST(PortErrorText, MatchesTheDriversFormat) {
  EXPECT_EQ(FormatPortError("WriteFile()", EIO, 12),
            "WARNING:  WriteFile() Failed with the following error: \nInput/output error\n"
            "Port: 12\n");
}

}  // namespace
}  // namespace sc
