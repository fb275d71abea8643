// The signal-box-sim program: its options and stdin commands in-process, then the built
// program itself as a child process.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <functional>
#include <optional>
#include <thread>

#include "link/port_lock.h"
#include "sim/box_infoframes.h"
#include "sim/sim_commands.h"
#include "tests/sim/sim_test_util.h"

extern char** environ;

namespace sc {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::Command;
using test::kPatience;
using test::Reply;
using test::SlavePort;
using test::SplitReplies;

using Addresses = std::vector<DeviceAddress>;

TEST(SimOptions, ParsesTheCommandLine) {
  struct Case {
    std::vector<std::string> args;
    std::optional<Addresses> addresses;  // nullopt: the arguments are refused
  };
  const Case cases[] = {
      {{}, Addresses{{0x01, 0x01}}},
      {{"--address", "0a03"}, Addresses{{0x0A, 0x03}}},
      {{"--address=0A03"}, Addresses{{0x0A, 0x03}}},
      {{"--boxes", "3"}, Addresses{{0x01, 0x01}, {0x01, 0x02}, {0x01, 0x03}}},
      {{"--address", "0AFD", "--boxes", "2"}, Addresses{{0x0A, 0xFD}, {0x0A, 0xFE}}},
      {{"--signal", "720p60", "--input", "sdi"}, Addresses{{0x01, 0x01}}},
      {{"--signal", "2160p60", "--hdr10"}, Addresses{{0x01, 0x01}}},
      {{"--hdr10=yes"}, std::nullopt},
      {{"--device", "/dev/ttyUSB0", "--baud", "512000"}, Addresses{{0x01, 0x01}}},
      {{"--address", "0AFE", "--boxes", "2"}, std::nullopt},  // past device FE
      {{"--address", "0A01", "--address", "0A01"}, std::nullopt},
      {{"--address", "0A01", "--address", "0B01", "--boxes", "2"}, std::nullopt},
      {{"--boxes", "0"}, std::nullopt},
      {{"--boxes", "2x"}, std::nullopt},
      {{"--address", "0000"}, std::nullopt},
      {{"--address", "0A00"}, std::nullopt},
      {{"--address", "0AFF"}, std::nullopt},
      {{"--address", "A03"}, std::nullopt},
      {{"--address"}, std::nullopt},
      {{"--signal", "720p"}, std::nullopt},
      {{"--input", "usb"}, std::nullopt},
      {{"--baud", "9600"}, std::nullopt},  // nothing to apply it to
      {{"--device", "/dev/ttyUSB0", "--baud", "fast"}, std::nullopt},
      {{"--frobnicate"}, std::nullopt},
      {{"0101"}, std::nullopt},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args)
      joined += a + " ";
    std::string error;
    std::optional<SimOptions> options = ParseSimOptions(c.args, &error);
    ASSERT_EQ(options.has_value(), c.addresses.has_value()) << joined << ": " << error;
    if (options) {
      EXPECT_EQ(options->addresses, *c.addresses) << joined;
    } else {
      EXPECT_FALSE(error.empty()) << joined;
    }
  }
  std::string error;
  auto options = ParseSimOptions(
      {"--signal", "none", "--input", "sdi", "--device", "/dev/x", "--baud", "57600"}, &error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->signal, "none");
  EXPECT_EQ(options->input, 1);
  EXPECT_EQ(options->device, "/dev/x");
  EXPECT_EQ(options->baud, 57600);
  options = ParseSimOptions({"--frobnicate", "--help"}, &error);
  EXPECT_FALSE(options);  // a mistake is reported even next to --help
  options = ParseSimOptions({"--help"}, &error);
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->help);
}

TEST(SimCommands, ChangeTheSelectedBoxesAndRefuseNonsense) {
  BoxServer server({{0x0A, 0x01}, {0x0A, 0x02}});
  SimCommandInterpreter commands(server);
  using Check = std::function<void(BoxLine&)>;
  struct Case {
    const char* line;
    bool ok;
    Check check;
  };
  auto both = [](std::function<void(SimulatedBox&)> f) {
    return [f](BoxLine& line) {
      f(line.box(0));
      f(line.box(1));
    };
  };
  const Case cases[] = {
      {"volume 5", true, both([](SimulatedBox& b) { EXPECT_EQ(b.panel().volumeStep, 5); })},
      {"volume 9", false, nullptr},
      {"volume", false, nullptr},
      {"volume -1", false, nullptr},
      {"box 0A02", true, nullptr},
      {"  volume\t2 ", true,
       [](BoxLine& line) {
         EXPECT_EQ(line.box(0).panel().volumeStep, 5);
         EXPECT_EQ(line.box(1).panel().volumeStep, 2);
       }},
      {"box 0B01", false, nullptr},  // not on this line: the selection stays
      {"edid 14", true, [](BoxLine& line) { EXPECT_EQ(line.box(1).panel().edidPreset, 14); }},
      {"edid 15", false, nullptr},
      {"edidfail on", true,
       [](BoxLine& line) {
         EXPECT_FALSE(line.box(0).faults().failEdidWrites);
         EXPECT_TRUE(line.box(1).faults().failEdidWrites);
       }},
      {"edidfail maybe", false, nullptr},
      {"box all", true, nullptr},
      {"hpd off", true, both([](SimulatedBox& b) { EXPECT_EQ(b.panel().hotPlug, 1); })},
      {"input sdi", true, both([](SimulatedBox& b) { EXPECT_EQ(b.panel().input, 1); })},
      {"signal 720p60 quiet", true, both([](SimulatedBox& b) {
         // Changing inputs and hot-plug said so; an HDMI format goes to the HDMI source,
         // which the SDI input does not receive.
         EXPECT_EQ(SplitReplies(b.TakeUnsolicited()).size(), 2u);
         EXPECT_EQ(b.sources().Source(kHdmiInput).name, "720p60");
         EXPECT_EQ(b.signal().name, "sdi-1080i50");
       })},
      {"pull", true, both([](SimulatedBox& b) {
         EXPECT_FALSE(b.sources().Connected(kSdiInput));
         EXPECT_FALSE(b.signal().Present());
         EXPECT_EQ(SplitReplies(b.TakeUnsolicited()).size(), 1u);
       })},
      {"plug sdi", true, both([](SimulatedBox& b) {
         EXPECT_EQ(b.signal().name, "sdi-1080i50");
         EXPECT_EQ(SplitReplies(b.TakeUnsolicited()).size(), 1u);
       })},
      {"plug usb", false, nullptr},
      {"hdcp 2.2", true, both([](SimulatedBox& b) {
         EXPECT_EQ(b.signal().status.hdcp, 2);
         EXPECT_EQ(SplitReplies(b.TakeUnsolicited()).size(), 1u);
       })},
      {"hdcp 3", false, nullptr},
      {"signal none", true, both([](SimulatedBox& b) {
         EXPECT_FALSE(b.signal().Present());
         EXPECT_EQ(SplitReplies(b.TakeUnsolicited()).size(), 1u);
       })},
      {"signal 720p60 loud", false, nullptr},
      {"lose 3", true, both([](SimulatedBox& b) {
         EXPECT_FALSE(b.sources().Connected(kSdiInput));
         EXPECT_GT(b.TimeToNextEvent(), std::chrono::seconds(2));
       })},
      {"plug", true, both([](SimulatedBox& b) { EXPECT_EQ(b.TimeToNextEvent(), std::nullopt); })},
      {"lose 0", false, nullptr},
      {"drop 3", true, both([](SimulatedBox& b) { EXPECT_EQ(b.faults().dropFrames, 3); })},
      {"corrupt 2", true, both([](SimulatedBox& b) { EXPECT_EQ(b.faults().corruptFrames, 2); })},
      {"delay 50", true, both([](SimulatedBox& b) { EXPECT_EQ(b.faults().replyDelay, 50ms); })},
      {"duplicate 4", true,
       both([](SimulatedBox& b) { EXPECT_EQ(b.faults().duplicateFrames, 4); })},
      {"garble 5", true, both([](SimulatedBox& b) { EXPECT_EQ(b.faults().garbleFrames, 5); })},
      {"stranger 6", true, both([](SimulatedBox& b) { EXPECT_EQ(b.faults().strangerFrames, 6); })},
      {"deaf on", true, nullptr},
      {"deaf off", true, nullptr},
      {"deaf", false, nullptr},
      {"delay 99999999999999999999", false, nullptr},
      {"", true, nullptr},
      {"frobnicate", false, nullptr},
      {"add 0A03", true,
       [](BoxLine& line) {
         ASSERT_EQ(line.size(), 3u);
         EXPECT_EQ(line.box(2).address(), (DeviceAddress{0x0A, 0x03}));
       }},
      {"add 0a03", false, nullptr},  // already on the line
      {"add 0A00", false, nullptr},
      {"box 0A03", true, nullptr},
      {"remove 0A03", true,
       [](BoxLine& line) {
         EXPECT_EQ(line.size(), 2u);
         EXPECT_EQ(line.Find({0x0A, 0x03}), nullptr);
       }},
      {"remove 0A03", false, nullptr},
      // The removed box was the chosen one: the commands change every box again.
      {"edid 3", true, both([](SimulatedBox& b) { EXPECT_EQ(b.panel().edidPreset, 3); })},
      {"hangup", false, nullptr},  // not serving
  };
  for (const Case& c : cases) {
    SimCommandInterpreter::Result r = commands.Execute(c.line);
    EXPECT_EQ(r.ok, c.ok) << c.line << ": " << r.text;
    EXPECT_FALSE(r.quit) << c.line;
    if (!c.ok) {
      EXPECT_EQ(r.text.rfind("error: ", 0), 0u) << c.line << ": " << r.text;
    }
    if (c.check) server.WithLine(c.check);
  }
  SimCommandInterpreter::Result status = commands.Execute("status");
  EXPECT_NE(status.text.find("box 0A01: input sdi, hpd off, volume 5"), std::string::npos)
      << status.text;
  EXPECT_NE(status.text.find("box 0A02"), std::string::npos) << status.text;
  EXPECT_NE(status.text.find("(hdmi 720p60, sdi none)"), std::string::npos) << status.text;
  EXPECT_NE(commands.Execute("help").text.find("signal NAME"), std::string::npos);
  EXPECT_NE(commands.Execute("help").text.find("lose SECONDS"), std::string::npos);
  EXPECT_NE(commands.Execute("formats").text.find("2160p60       3840x2160 progressive 60 Hz"),
            std::string::npos);
  EXPECT_TRUE(commands.Execute("quit").quit);
}

// The box told to send packets of the user's, and HDR10.
TEST(SimCommands, InfoFramesOfTheUsersOwnAndHdr10) {
  BoxServer server({{0x0A, 0x01}});
  SimCommandInterpreter commands(server);
  auto answer = [&](uint8_t type) {
    return server.WithLine([&](BoxLine& line) {
      const auto replies = SplitReplies(line.box(0).Receive(Command({0x0A, 0x01}, 0x8092, {type})));
      return replies.size() == 1 ? replies[0].payload : Bytes{};
    });
  };
  struct Case {
    const char* line;
    std::string said;  // the answer's first line; "error" for a refusal
  };
  const Case cases[] = {
      {"infoframe avi 02 0D 47 10 08 00 10 00 00 00 00 00 00 00 00 00", "ok"},
      {"infoframe 0x84 010A00 11 0F", "ok (the length announces 10 data bytes, 2 given)"},
      {"infoframe 83 01 01 00 41", "ok (checksum 00 is wrong, as sent: 3A would be right)"},
      {"infoframe acp 02 00 01", "ok"},
      {"infoframe 4 00 00", "ok"},
      {"infoframe avi", "error"},
      {"infoframe hdmi 00", "error"},
      {"infoframe 123 00", "error"},
      {"infoframe avi 0G", "error"},
      {"infoframe avi 020", "error"},
      {"hdr maybe", "error"},
      {"signal 1080p60 hdr10 hdr10", "error"},
      {"signal 1080p60 quiet loud", "error"},
  };
  for (const Case& c : cases) {
    const SimCommandInterpreter::Result r = commands.Execute(c.line);
    if (c.said == "error") {
      EXPECT_FALSE(r.ok) << c.line;
      EXPECT_EQ(r.text.rfind("error: ", 0), 0u) << c.line;
    } else {
      EXPECT_TRUE(r.ok) << c.line;
      EXPECT_EQ(r.text, c.said + "\n") << c.line;
    }
  }
  EXPECT_FALSE(commands.Execute("infoframe avi " + std::string(65 * 3, '0')).ok);

  // The user's bytes stay until "default" (the end-to-end tests read them through the
  // console); HDR10 goes with the source's signal and, being metadata, sends no notice.
  EXPECT_EQ(answer(0x04), (Bytes{0x04, 0x00, 0x00}));
  EXPECT_NE(commands.Execute("status").text.find("own InfoFrames 04 82 83 84"), std::string::npos);
  ASSERT_TRUE(commands.Execute("signal 2160p60 quiet hdr10").ok);
  EXPECT_EQ(answer(0x87).size(), 30u);
  EXPECT_EQ(answer(0x04), (Bytes{0x04, 0x00, 0x00}));
  ASSERT_TRUE(commands.Execute("signal 720p60 quiet").ok);
  EXPECT_EQ(answer(0x87), Bytes(4, 0));
  ASSERT_TRUE(commands.Execute("hdr on").ok);
  EXPECT_NE(commands.Execute("status").text.find("signal 720p60 hdr10"), std::string::npos);
  ASSERT_TRUE(commands.Execute("hdr off").ok);
  EXPECT_EQ(answer(0x87), Bytes(4, 0));
  server.WithLine([](BoxLine& line) { EXPECT_TRUE(line.box(0).TakeUnsolicited().empty()); });
  EXPECT_NE(commands.Execute("help").text.find("infoframe TYPE HEX..."), std::string::npos);
}

// The built program as a child process, its three standard streams on pipes.
class SimProcess {
 public:
  explicit SimProcess(const std::vector<std::string>& args) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
      return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> all = {SC_BOX_SIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, SC_BOX_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0)
      pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
  }
  ~SimProcess() {
    if (pid_ > 0 && !status_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {stdin_, stdout_, stderr_})
      if (fd >= 0) ::close(fd);
  }

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  void Send(const std::string& text) {
    ASSERT_EQ(::write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void CloseStdin() {
    ::close(stdin_);
    stdin_ = -1;
  }
  // Reads the stream until it holds `until` (or ends, or the wait is over).
  std::string ReadStdout(const std::string& until) { return ReadUntil(stdout_, outText_, until); }
  std::string ReadStderr(const std::string& until) { return ReadUntil(stderr_, errText_, until); }

  // The exit status, or -signal; nullopt if it has not ended in time.
  std::optional<int> Wait() {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!status_ && std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_)
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      else
        std::this_thread::sleep_for(10ms);
    }
    return status_;
  }

 private:
  static std::string ReadUntil(int fd, std::string& text, const std::string& until) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (text.find(until) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{fd, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buffer[256];
      ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
    }
    return text;
  }

  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1, stderr_ = -1;
  std::string outText_, errText_;
  std::optional<int> status_;
};

// The first line of the program's output: the line it serves.
std::string FirstLine(SimProcess& sim) {
  std::string out = sim.ReadStdout("\n");
  return out.substr(0, out.find('\n'));
}

TEST(SignalBoxSim, ServesAPseudoTerminalUntilItsInputEnds) {
  SimProcess sim({});
  ASSERT_TRUE(sim.running());
  const std::string path = FirstLine(sim);
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  SlavePort port(path);
  ASSERT_TRUE(port.ok());
  EXPECT_EQ(port.Ask(Command({0x00, 0x00}, 0xF802), 2).at(0).address, (DeviceAddress{1, 1}));

  // The SDI input receives another signal: the box says so.
  sim.Send("input sdi\n");
  EXPECT_NE(sim.ReadStderr("ok\n").find("ok\n"), std::string::npos);
  std::vector<Reply> changed = SplitReplies(port.Read(11));
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0].code, 0x809F);
  EXPECT_EQ(changed[0].payload, Bytes{0x01});
  std::vector<Reply> r = port.Ask(Command({0x01, 0x01}, 0x8082), 1);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].payload, Bytes{0x01});

  sim.Send("signal none\nbogus\n");
  std::vector<Reply> notice = SplitReplies(port.Read(11));
  ASSERT_EQ(notice.size(), 1u);
  EXPECT_EQ(notice[0].code, 0x809F);
  EXPECT_EQ(notice[0].payload, Bytes{0x00});
  EXPECT_NE(sim.ReadStderr("error: unknown command").find("error: unknown command 'bogus'"),
            std::string::npos);

  sim.CloseStdin();
  EXPECT_EQ(sim.Wait(), 0);
  EXPECT_EQ(sim.ReadStdout("never"), path + "\n");  // nothing but the path on stdout
}

TEST(SignalBoxSim, ItsOwnEndOfTheTerminalIsNoOtherProgramToTheConsole) {
  // The program keeps the terminal's master and its own slave open between connections;
  // the console must not take that for a program holding the port.
  SimProcess sim({});
  ASSERT_TRUE(sim.running());
  const std::string path = FirstLine(sim);
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u);
  EXPECT_FALSE(FindOtherOpener(path));
}

TEST(SignalBoxSim, EndsCleanlyOnTerminationSignals) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SimProcess sim({});
    ASSERT_TRUE(sim.running());
    ASSERT_FALSE(FirstLine(sim).empty());
    ::kill(sim.pid(), signal);
    EXPECT_EQ(sim.Wait(), 0) << strsignal(signal);
  }
}

TEST(SignalBoxSim, OptionsShapeTheLine) {
  SimProcess sim({"--address", "0A01", "--boxes", "2", "--signal", "720p60"});
  SlavePort port(FirstLine(sim));
  ASSERT_TRUE(port.ok());
  ASSERT_TRUE(port.Write(Command({0x00, 0x00}, 0xF802)));
  std::vector<Reply> r = SplitReplies(port.Read(24));
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0].address, (DeviceAddress{0x0A, 0x01}));
  EXPECT_EQ(r[1].address, (DeviceAddress{0x0A, 0x02}));
  r = port.Ask(Command({0x0A, 0x02}, 0x8082), 1);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].payload, Bytes{0x00});
  r = port.Ask(Command({0x0A, 0x02}, 0x8091), 20);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].payload[4] | r[0].payload[5] << 8, 1280);

  sim.Send("hangup\n");
  pollfd p{port.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, static_cast<int>(kPatience.count())), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  sim.Send("quit\n");
  EXPECT_EQ(sim.Wait(), 0);
}

TEST(SignalBoxSim, RefusesBadOptionsWithAMessage) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--boxes", "0"}, "bad box count"},
      {{"--device", "/nonexistent/ttyUSB9"}, "/nonexistent/ttyUSB9"},
      {{"--device", "/dev/null"}, "not a serial device"},
  };
  for (const Case& c : cases) {
    SimProcess sim(c.args);
    ASSERT_TRUE(sim.running());
    std::optional<int> status = sim.Wait();
    ASSERT_TRUE(status);
    EXPECT_GT(*status, 0) << c.message;
    EXPECT_NE(sim.ReadStderr(c.message).find(c.message), std::string::npos);
    EXPECT_EQ(sim.ReadStdout("\n"), "");
  }
  SimProcess help({"--help"});
  EXPECT_NE(help.ReadStdout("--address").find("--address"), std::string::npos);
  EXPECT_EQ(help.Wait(), 0);
}

}  // namespace
}  // namespace sc
