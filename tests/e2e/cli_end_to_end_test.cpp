// signal-cli against the simulated box on a pseudo-terminal: every command, its output,
// what the box was left with, and the exit codes a script tests.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "cli/cli_options.h"
#include "cli/signal_cli.h"
#include "cli/text_output.h"
#include "console/control_ids.h"
#include "edid/edid_file.h"
#include "edid/edid_page.h"
#include "sim/box_infoframes.h"
#include "sim/box_pictures.h"
#include "sim/box_server.h"
#include "sim/box_signal.h"
#include "sim/pty.h"
#include "tests/support/console_fixture.h"
#include "timing/frame_capture.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct CliRun {
  int rc = -1;
  std::string out, err;
};

// What a shell command prints on standard output, and its exit status.
std::pair<int, std::string> Shell(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  std::string out;
  char buffer[4096];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
    out.append(buffer, n);
  const int status = ::pclose(pipe.release());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.StartOnPty()); }

  CliRun Cli(std::vector<std::string> args, CliHost* host = nullptr, bool terminal = false) {
    args.insert(args.begin(), {"--port", server.path(), "--timeout", "2"});
    return CliOn(args, host, terminal);
  }
  CliRun CliOn(const std::vector<std::string>& args, CliHost* host = nullptr,
               bool terminal = false) {
    std::ostringstream out, err;
    CliEnvironment env;
    env.out = &out;
    env.err = &err;
    env.errIsTerminal = terminal;
    env.executablePath = settingsDir / "signal-cli";
    SettingsEnvironment settings;
    settings.directoryWritable = [](const std::string&) { return true; };
    env.settingsEnvironment = settings;
    env.systemPorts = [this] { return PortDirectory::Build("1=" + server.path(), {}); };
    env.localTime = [] {
      std::tm t{};
      t.tm_year = 126;
      t.tm_mon = 11;
      t.tm_mday = 7;
      t.tm_hour = 9;
      t.tm_min = 5;
      t.tm_sec = 30;
      return t;
    };
    env.host = host;
    CliRun run;
    run.rc = RunSignalCli(args, env);
    run.out = out.str();
    run.err = err.str();
    return run;
  }
  template <class F>
  auto OnBox(F&& f) {
    return server.WithLine([&](BoxLine& line) { return f(line.box(0)); });
  }
  void Receive(const char* format) {
    const BoxSignal signal = *FindBoxSignal(format);
    OnBox([&](SimulatedBox& b) { b.SetSignal(signal, false); });
  }

  BoxServer server{{{0x01, 0x01}}};
  TempDir dir;
  TempDir settingsDir;  // the address book the core loads, apart from the files written
};

// Each setting goes out, is read back from the box and is what the box now holds.
TEST_F(CliTest, SettingsReachTheBoxAndAreReadBack) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
    std::function<bool(SimulatedBox&)> holds;
  };
  const Case cases[] = {
      {{"hpd", "off"}, "HPD OFF\n", [](SimulatedBox& b) { return b.panel().hotPlug == 1; }},
      {{"hpd", "on"}, "HPD ON\n", [](SimulatedBox& b) { return b.panel().hotPlug == 0; }},
      {{"volume", "7"}, "Volume 88 %\n", [](SimulatedBox& b) { return b.panel().volumeStep == 7; }},
      {{"volume", "0"}, "Volume 0 %\n", [](SimulatedBox& b) { return b.panel().volumeStep == 0; }},
      {{"volume", "8"},
       "Volume 100 %\n",
       [](SimulatedBox& b) { return b.panel().volumeStep == 8; }},
      {{"input", "sdi"},
       "Input SDI\n",
       [](SimulatedBox& b) { return b.panel().input == kSdiInput; }},
      {{"input", "hdmi"},
       "Input HDMI\n",
       [](SimulatedBox& b) { return b.panel().input == kHdmiInput; }},
      {{"edid", "select", "14"},
       "14-USER10\n",
       [](SimulatedBox& b) { return b.panel().edidPreset == 14; }},
      {{"edid", "select", "3"},
       "3-1080P-3D-24BIT-2CH(PCM)\n",
       [](SimulatedBox& b) { return b.panel().edidPreset == 3; }},
      {{"address", "write", "0A03"},
       "0A03\n",
       [](SimulatedBox& b) {
         return b.address() == DeviceAddress{0x0A, 0x03};
       }},
      {{"address", "read"}, "0A03\n", [](SimulatedBox&) { return true; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const CliRun run = Cli(c.args);
    EXPECT_EQ(run.rc, kExitDone) << run.err;
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(OnBox(c.holds));
  }
}

TEST_F(CliTest, ASettingTheBoxDoesNotKeepFails) {
  // The box's hot-plug is forced back on after every command: the read-back says so. Its
  // answers go out 100 ms late, so the hot-plug is back on before it is asked for.
  OnBox([](SimulatedBox& b) { b.faults().replyDelay = 100ms; });
  std::atomic<bool> stop{false};
  std::thread keeper([&] {
    while (!stop) {
      server.WaitUntil([](BoxLine& line) { return line.box(0).panel().hotPlug == 1; }, 50ms);
      OnBox([](SimulatedBox& b) { b.panel().hotPlug = 0; });
    }
  });
  const CliRun run = Cli({"hpd", "off"});
  stop = true;
  keeper.join();
  EXPECT_EQ(run.rc, kExitFailed);
  EXPECT_EQ(run.err, "signal-cli: The box reports HPD ON\n");
}

TEST_F(CliTest, AChainThatLostAReplyIsAskedOnceMore) {
  // The box answers the input query, then its hot-plug answer is lost. Its answers go
  // out 100 ms late, time enough to set the fault between the two.
  OnBox([](SimulatedBox& b) { b.faults().replyDelay = 100ms; });
  std::thread fault([&] {
    server.WaitUntil(
        [](BoxLine& line) {
          const auto codes = line.box(0).CommandCodes();
          return std::find(codes.begin(), codes.end(), 0x8082) != codes.end();
        },
        5s);
    OnBox([](SimulatedBox& b) { b.faults().dropFrames = 1; });
  });
  const CliRun run = Cli({"--timeout", "1.5", "status"});
  fault.join();
  EXPECT_EQ(run.rc, kExitDone) << run.err;
  EXPECT_EQ(OnBox([](SimulatedBox& b) { return b.counters().dropped; }), 1u);
  const auto codes = OnBox([](SimulatedBox& b) { return b.CommandCodes(); });
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x8082), 2);
}

TEST_F(CliTest, SearchNamesThePortAndTheBox) {
  OnBox([](SimulatedBox& b) { b.SetAddress({0x0A, 0x03}); });
  const CliRun run = Cli({"search"});
  EXPECT_EQ(run.rc, kExitDone) << run.err;
  EXPECT_EQ(run.out, "COM1 " + server.path() + " 0A03\n");
}

// status --json, read by Python's json module, holds exactly what the console's views
// were given for the same box: the panel's texts and the Timing page's fields.
TEST_F(CliTest, StatusJsonHoldsWhatTheConsoleShows) {
  for (const char* format : {"1080p60", "2160p60", "576i50", "1080p24-3d", "sdi-1080i50", "none"}) {
    SCOPED_TRACE(format);
    Receive(format);
    OnBox([&](SimulatedBox& b) {
      b.SetInput(std::string(format).rfind("sdi", 0) == 0 ? 1 : 0, false);
    });

    // The console: its core on the same box, its views as the widgets would get them.
    TestHost host;
    std::map<int, std::string> ports{{1, server.path()}};
    auto owned = std::make_unique<ConsoleDialog>(host, TestConsoleOptions(settingsDir, &ports));
    ConsoleDialog& console = *owned;
    MemoryView mainView, timingView;
    console.AttachView(&mainView);
    console.timingPage.AttachView(&timingView);
    bool statusSeen = false, noSignal = false;
    console.onDispatch = [&](uint16_t code) {
      statusSeen |= code == 0x8090;
      noSignal |= code == 0x8091 && std::string(format) == "none";
    };
    ASSERT_TRUE(console.Startup());
    console.ToggleLink();
    ASSERT_TRUE(host.PumpUntil([&] { return statusSeen || noSignal; }));
    host.PumpFor(50ms);
    std::map<std::string, std::string> expected;
    const std::pair<const char*, int> texts[] = {{"hdcp", ids::kHdcpText},
                                                 {"signal", ids::kSignalText},
                                                 {"timing", ids::kTimingText},
                                                 {"color_space", ids::kColorSpaceText},
                                                 {"color_depth", ids::kColorDepthText},
                                                 {"structure", ids::kStructureText},
                                                 {"sample_rate", ids::kSampleRateText},
                                                 {"audio_bit", ids::kAudioBitText},
                                                 {"audio_type", ids::kAudioTypeText},
                                                 {"channels", ids::kChannelsText}};
    for (const auto& [key, id] : texts)
      expected[std::string("panel.") + key] = mainView.GetText(id);
    const std::pair<const char*, int> floats[] = {{"video_clk_mhz", timing_ids::kPixelClock},
                                                  {"h_freq_khz", timing_ids::kHFreq},
                                                  {"v_freq_hz", timing_ids::kVFreq}};
    for (const auto& [key, id] : floats)
      expected[std::string("timing.") + key] = FormatFloat(timingView.GetFloat(id));
    const std::pair<const char*, int> ints[] = {
        {"h_active", timing_ids::kHActive},      {"h_total", timing_ids::kHTotal},
        {"h_blank", timing_ids::kHBlank},        {"hs_width", timing_ids::kHSyncWidth},
        {"hs_offset", timing_ids::kHSyncOffset}, {"v_active", timing_ids::kVActive},
        {"v_total", timing_ids::kVTotal},        {"v_blank", timing_ids::kVBlank},
        {"vs_width", timing_ids::kVSyncWidth},   {"vs_offset", timing_ids::kVSyncOffset}};
    for (const auto& [key, id] : ints)
      expected[std::string("timing.") + key] = std::to_string(timingView.GetInt(id));
    const char* sign[] = {"+", "-"};
    const char* scan[] = {"Progressive", "Interlace"};
    auto radio = [](int index, const char* const* names) {
      return index < 0 ? std::string("None") : std::string(names[index]);
    };
    expected["timing.hsync"] = radio(timingView.GetRadio(timing_ids::kHSyncPlus), sign);
    expected["timing.vsync"] = radio(timingView.GetRadio(timing_ids::kVSyncPlus), sign);
    expected["timing.scan"] = radio(timingView.GetRadio(timing_ids::kScanType), scan);
    expected["front_panel.volume"] = std::to_string(mainView.GetInt(ids::kVolumeBox));
    owned.reset();  // the port closed, as when the console ends

    const CliRun run = Cli({"status", "--json"});
    ASSERT_EQ(run.rc, kExitDone) << run.err;
    const std::string json = dir / "status.json";
    std::ofstream(json) << run.out;
    // Every leaf as "group.key=value", numbers as Python prints them.
    const auto [status, flat] = Shell(
        "python3 -c 'import json,sys\n"
        "d=json.load(open(sys.argv[1]))\n"
        "for g in (\"panel\",\"timing\",\"front_panel\"):\n"
        "  for k,v in d[g].items(): print(\"%s.%s=%s\" % (g,k,v))' " +
        json);
    ASSERT_EQ(status, 0) << run.out;
    std::map<std::string, std::string> got;
    std::istringstream lines(flat);
    for (std::string line; std::getline(lines, line);)
      got[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    for (const auto& [key, value] : expected)
      EXPECT_EQ(got[key], value) << key;
  }
}

TEST_F(CliTest, StatusTextShowsTheConsolesCaptions) {
  const CliRun run = Cli({"status"});
  ASSERT_EQ(run.rc, kExitDone) << run.err;
  for (const char* line :
       {"  Timing:       1920x1080(60)\n", "  Video clk:    148.5 MHz\n", "  V active:     1080\n",
        "  Scan type:    Progressive\n", "  Input:        HDMI\n", "  Volume:       50 %\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
}

TEST_F(CliTest, EdidReadListAndWrite) {
  CliRun run = Cli({"edid", "list"});
  ASSERT_EQ(run.rc, kExitDone);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 15);
  EXPECT_NE(
      run.out.find("* " +
                   kEdidPresetNames[OnBox([](SimulatedBox& b) { return b.panel().edidPreset; })]),
      std::string::npos);

  // Preset 1 saved as binary and as text: the box's bytes either way.
  const EdidImage preset1 = OnBox([](SimulatedBox& b) { return b.edid(1); });
  ASSERT_EQ(Cli({"edid", "read", "1", "-o", dir / "p1.bin"}).rc, kExitDone);
  EXPECT_EQ(ReadFile(dir / "p1.bin"), std::string(preset1.begin(), preset1.end()));
  ASSERT_EQ(Cli({"edid", "read", "1", "-o", dir / "p1.txt"}).rc, kExitDone);
  EXPECT_EQ(ReadFile(dir / "p1.txt"), FormatEdidTextFile(preset1));
  run = Cli({"edid", "read", "1"});
  EXPECT_NE(run.out.find("check sum Ok !"), std::string::npos) << run.out;

  // Written into USER3 (preset 7) and read back from there.
  run = Cli({"edid", "write", "3", dir / "p1.txt"});
  EXPECT_EQ(run.rc, kExitDone);
  EXPECT_EQ(run.err, "signal-cli: EDID writting OK!\n");
  EXPECT_EQ(OnBox([](SimulatedBox& b) { return b.edid(7); }), preset1);
  // Writing does not change the preset the box presents.
  EXPECT_NE(OnBox([](SimulatedBox& b) { return b.panel().edidPreset; }), 7);

  OnBox([](SimulatedBox& b) { b.faults().failEdidWrites = true; });
  run = Cli({"edid", "write", "3", dir / "p1.bin"});
  EXPECT_EQ(run.rc, kExitFailed);
  EXPECT_EQ(run.err, "signal-cli: EDID writting failed!\n");
}

TEST_F(CliTest, InfoFrameRowsAsThePageShowsThemThenTheDecode) {
  const CliRun run = Cli({"infoframe", "AVI"});
  ASSERT_EQ(run.rc, kExitDone) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "5-AVI_INF");
  EXPECT_NE(run.out.find("  InfoFrame Type code: 0x82\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  InfoFrame Length:    0x0D\n"), std::string::npos);
  EXPECT_NE(run.out.find("  Data Byte 13:"), std::string::npos);
  EXPECT_EQ(run.out.find("Data Byte 14"), std::string::npos);  // past the packet: hidden
  // After the rows, the lists of the page: the decode, and the checks, the measured
  // signal's among them.
  EXPECT_NE(
      run.out.find("  Data Byte 13:        0x00\nDecoded:\n  AVI InfoFrame (0x82), version 2, "
                   "13 data bytes, checksum"),
      std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\n  Video format (VIC): 1920x1080p 60 Hz 16:9 (16)\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("\nChecks:\n  No problem found. Checked: the checksum, the length, the "
                         "version, reserved bits and values, the video format against the measured "
                         "timing, the colour format against the measured one.\n"),
            std::string::npos)
      << run.out;
}

// The JSON object scripts read: its fixed shape, the same from the box as from "decode",
// and what a packet that contradicts the measured signal gets.
TEST_F(CliTest, InfoFrameJsonFromTheBoxAndFromTheCommandLine) {
  OnBox([](SimulatedBox& b) { b.SetHdr10(kHdmiInput, true); });
  CliRun run = Cli({"infoframe", "drm", "--json"});
  ASSERT_EQ(run.rc, kExitDone) << run.err;
  ASSERT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
  const nlohmann::json box = nlohmann::json::parse(run.out);
  const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(run.out);
  std::vector<std::string> keys;
  for (auto it = ordered.begin(); it != ordered.end(); ++it)
    keys.push_back(it.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"type", "name", "version", "length", "checksum",
                                            "fields", "checks"}));
  EXPECT_EQ(box["type"], 135);
  EXPECT_EQ(box["name"], "Dynamic Range and Mastering");
  EXPECT_EQ(box["length"], 26);
  EXPECT_EQ(box["checksum"],
            (nlohmann::json{{"received", 0x91}, {"expected", 0x91}, {"ok", true}}));
  EXPECT_EQ(box["fields"][0], (nlohmann::json{{"key", "EOTF"},
                                              {"label", "Transfer function"},
                                              {"value", 2},
                                              {"text", "SMPTE ST 2084 (PQ)"}}));
  EXPECT_EQ(box["fields"][10]["key"], "max_display_mastering_luminance");
  // Written as \u00b2 (ASCII only), read back as the character.
  EXPECT_EQ(box["fields"][10]["text"], "1000 cd/m\u00b2");
  EXPECT_NE(run.out.find("1000 cd/m\\u00b2"), std::string::npos);
  EXPECT_EQ(box["checks"], nlohmann::json::array());

  // The same bytes from the command line, without a box: the same object.
  std::vector<std::string> args = {"infoframe", "decode"};
  const std::vector<uint8_t> packet = CapturedInfoFrame(*FindBoxSignal("1080p60"), 0x87);
  ASSERT_EQ(packet.size(), 4u);  // the preset itself sends no HDR
  BoxSignal hdr = *FindBoxSignal("1080p60");
  hdr.hdr10 = true;
  for (const uint8_t b : CapturedInfoFrame(hdr, 0x87)) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", b);
    args.push_back(hex);
  }
  args.push_back("--json");
  run = CliOn(args);
  ASSERT_EQ(run.rc, kExitDone) << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out), box);

  // A VIC that contradicts the timing the box measures, with a wrong checksum.
  OnBox([](SimulatedBox& b) {
    b.SetInfoFrame(0x82, {0x02, 0x0D, 0x47, 0x10, 0x08, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  });
  run = Cli({"infoframe", "avi", "--json"});
  ASSERT_EQ(run.rc, kExitDone) << run.err;
  const nlohmann::json avi = nlohmann::json::parse(run.out);
  EXPECT_EQ(avi["checksum"]["ok"], false);
  EXPECT_EQ(avi["checksum"]["expected"], 0x53);
  ASSERT_EQ(avi["checks"].size(), 2u);
  EXPECT_EQ(avi["checks"][0]["key"], "checksum");
  EXPECT_EQ(avi["checks"][1],
            (nlohmann::json{{"key", "vic_timing"},
                            {"text",
                             "VIC 4 is 1280x720p 60 Hz 16:9, but the box measures "
                             "1920x1080p 60 Hz: the active size is 1920x1080, not "
                             "1280x720."}}));
}

TEST_F(CliTest, InfoFrameDecodeNeedsNoBoxAndRefusesBadBytes) {
  struct Case {
    std::vector<std::string> args;
    int rc;
    std::string out;  // the start of standard output, or of the error line
  };
  const Case cases[] = {
      {{"82020D47", "10 08 00 10", "00 00 00 00 00 00 00 00 00"},
       kExitDone,
       "Decoded:\n  AVI InfoFrame (0x82), version 2, 13 data bytes, checksum 0x47 right\n"},
      {{"0x82 0x02 0x0D 0x48 10 08 00 10 00 00 00 00 00 00 00 00 00"},
       kExitDone,
       "Decoded:\n  AVI InfoFrame (0x82), version 2, 13 data bytes, checksum 0x48 wrong\n"},
      {{"00", "00", "00", "00"}, kExitDone, "Decoded:\n  No packet: the box has captured none"},
      {{"04 02 00 01 02"}, kExitDone, "Decoded:\n  ACP packet (0x04), 2 body bytes\n"},
      {{"82 02 0D 47 10 08"},
       kExitBadArgument,
       "signal-cli: the payload is shorter than its length: 13 data bytes announced, 2 given\n"},
      {{"82 02 0D"},
       kExitBadArgument,
       "signal-cli: an InfoFrame starts with its type, version, length and checksum: 3 bytes "
       "given\n"},
      {{"82 02 0G"},
       kExitBadArgument,
       "signal-cli: \"0G\" is not hexadecimal (give bytes such as 82 02 0D or 82020D)\n"},
      {{"820"},
       kExitBadArgument,
       "signal-cli: \"820\" has an odd number of hexadecimal digits: two make a byte\n"},
      {{},
       kExitBadArgument,
       "signal-cli: infoframe decode needs the packet's bytes in hexadecimal\n"},
      {{"05"},
       kExitBadArgument,
       "signal-cli: a packet starts with its type and two header bytes: 1 given\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"infoframe", "decode"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    // No port at all: nothing is opened.
    const CliRun run = CliOn(args);
    EXPECT_EQ(run.rc, c.rc) << c.out << run.err;
    if (c.rc == kExitDone) {
      EXPECT_EQ(run.out.substr(0, c.out.size()), c.out);
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_EQ(run.err, c.out);
      EXPECT_EQ(run.out, "");
    }
  }
  // An ACP packet's JSON: no version, length or checksum.
  const CliRun acp = CliOn({"infoframe", "decode", "04 02 00", "--json"});
  const nlohmann::json j = nlohmann::json::parse(acp.out);
  EXPECT_TRUE(j["version"].is_null() && j["length"].is_null() && j["checksum"].is_null());
  EXPECT_EQ(j["fields"][0]["key"], "ACP_Type");
  EXPECT_EQ(
      j["fields"][1],
      (nlohmann::json{{"key", "body"}, {"label", "Packet body"}, {"value", ""}, {"text", "none"}}));
  EXPECT_EQ(CliOn({"infoframe", "decode", "82", "-o", "x"}).rc, kExitBadArgument);
}

TEST_F(CliTest, MonitorStartsReadsAndSaves) {
  auto boxTime = std::make_shared<std::atomic<long>>(0);
  const auto origin = SimulatedBox::Clock::now();
  OnBox([&](SimulatedBox& b) {
    b.SetClock([boxTime, origin] { return origin + std::chrono::milliseconds(boxTime->load()); });
  });
  CliRun run = Cli({"monitor", "start", "--slot", "2", "--unit", "s", "--trigger", "loss"});
  ASSERT_EQ(run.rc, kExitDone) << run.err;
  EXPECT_EQ(run.out,
            "Recording from 12-07 09:05:30 (year 26): 2 Seconds a slot, loss of signal only "
            "(2040 slots: 1Hour 8Minutes)\n");

  *boxTime = 4500;
  OnBox([](SimulatedBox& b) { b.SetSourceConnected(kHdmiInput, false, true); });
  *boxTime = 7000;
  OnBox([](SimulatedBox& b) { b.SetSourceConnected(kHdmiInput, true, true); });
  *boxTime = 12100;

  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  run = Cli({"monitor", "read", "--save"});
  fs::current_path(previous);
  ASSERT_EQ(run.rc, kExitDone) << run.err;
  EXPECT_NE(run.out.find("Slots:     6 recorded, 2 triggered\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Slot 3 triggered: 7 Dec 09:05:34 to 09:05:36"), std::string::npos);
  EXPECT_NE(run.out.find("   1 001100\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir / "TQ5R_StatusRecord00.txt"));
}

TEST_F(CliTest, PreviewIsThePictureTheBoxSent) {
  const CliRun run = Cli({"preview", "-o", dir / "p.png"});
  ASSERT_EQ(run.rc, kExitDone) << run.err;
  EXPECT_EQ(run.out, dir / "p.png" + std::string("\n"));
  // The PNG as ImageMagick reads it, pixel for pixel against the box's own preview.
  const auto [status, rgb] = Shell("convert '" + (dir / "p.png") + "' rgb:- 2>/dev/null");
  ASSERT_EQ(status, 0);
  const BoxPicture picture = OnBox([](SimulatedBox& b) { return b.lastPicture(); });
  std::vector<uint8_t> bytes;
  for (const auto& chunk : PreviewChunks(picture))
    bytes.insert(bytes.end(), chunk.begin() + 3, chunk.end());
  PreviewImage expected{};
  ConvertPreview(bytes.data(), expected);
  ASSERT_EQ(rgb.size(), expected.size());
  size_t differing = 0;
  for (size_t k = 0; k < expected.size(); k += 3)
    differing += static_cast<uint8_t>(rgb[k]) != expected[k + 2] ||
                 static_cast<uint8_t>(rgb[k + 1]) != expected[k + 1] ||
                 static_cast<uint8_t>(rgb[k + 2]) != expected[k];
  EXPECT_EQ(differing, 0u);
}

TEST_F(CliTest, CapturesSaveTheFrameAndTheLineChart) {
  Receive("640x480p60");
  CliRun run = Cli({"capture", "frame", "-o", dir / "frame.bmp"}, nullptr, true);
  ASSERT_EQ(run.rc, kExitDone) << run.err;
  EXPECT_EQ(run.out, dir / "frame.bmp" + std::string("\n"));
  // The progress bar on the terminal, and no numbered name that is not the file's.
  EXPECT_NE(run.err.find("\r["), std::string::npos);
  EXPECT_NE(run.err.find("100%\n"), std::string::npos);
  EXPECT_EQ(run.err.find("IMAGEFULL"), std::string::npos);
  EXPECT_EQ(Shell("identify -format '%w %h' '" + (dir / "frame.bmp") + "'").second, "640 480");
  // Only the file: the folder it was made in is gone.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

  run = Cli({"capture", "line", "5", "-o", dir / "line.bmp"});
  ASSERT_EQ(run.rc, kExitDone) << run.err;
  EXPECT_EQ(run.err, "");  // not a terminal: no bar
  EXPECT_EQ(Shell("identify -format '%w %h' '" + (dir / "line.bmp") + "'").second, "640 256");

  // Without -o the numbered name in the current directory, as the console saves it.
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  run = Cli({"capture", "frame"});
  fs::current_path(previous);
  EXPECT_EQ(run.rc, kExitDone);
  EXPECT_EQ(run.out, "IMAGEFULL_BMP00.BMP\n");
  EXPECT_TRUE(fs::exists(dir / "IMAGEFULL_BMP00.BMP"));
  EXPECT_EQ(OnBox([](SimulatedBox& b) { return b.lineRate(); }), kBoxLinkRate);
}

TEST_F(CliTest, InterruptedCaptureStopsTheBoxAndLeavesNoFile) {
  server.SetPacing(true);  // 0.9 MB at 512000 baud: some 18 s, time to interrupt
  Receive("640x480p60");
  CliHost host;
  std::thread interrupter([&] {
    server.WaitUntil([](BoxLine& line) { return line.box(0).Streaming(); }, 10s);
    std::this_thread::sleep_for(200ms);
    host.Interrupt();
  });
  const CliRun run = Cli({"capture", "frame", "-o", dir / "frame.bmp"}, &host);
  interrupter.join();
  EXPECT_EQ(run.rc, kExitInterrupted);
  EXPECT_FALSE(fs::exists(dir / "frame.bmp"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 0);
  EXPECT_TRUE(server.WaitUntil([](BoxLine& line) { return !line.box(0).Streaming(); }, 5s));
  EXPECT_EQ(OnBox([](SimulatedBox& b) { return b.commands().back().code; }), kStopUploadCommand);
  // The box and the port are back at the link rate: the next command is answered.
  server.SetPacing(false);
  EXPECT_EQ(Cli({"status"}).rc, kExitDone);
}

// The log prints the link's chain as it goes by, each line as the console's log shows it.
TEST_F(CliTest, LogStreamsTheTrafficUntilItsTimeIsUp) {
  const auto lines = [](const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
      all.push_back(line);
    return all;
  };
  const auto has = [](const std::string& line, std::initializer_list<const char*> words) {
    return std::all_of(words.begin(), words.end(),
                       [&](const char* w) { return line.find(w) != std::string::npos; });
  };
  const auto first = [&](const std::vector<std::string>& all,
                         std::initializer_list<const char*> words) {
    return std::find_if(all.begin(), all.end(), [&](auto& l) { return has(l, words); }) -
           all.begin();
  };

  CliRun run = Cli({"log", "--for", "1"});
  EXPECT_EQ(run.rc, kExitDone) << run.err;
  std::vector<std::string> all = lines(run.out);
  const auto n = static_cast<std::ptrdiff_t>(all.size());
  EXPECT_LT(first(all, {"Log opened"}), first(all, {"Sent", "0x8082"}));
  EXPECT_LT(first(all, {"Sent", "0x8082"}), first(all, {"Received", "0x8082"}));
  EXPECT_LT(first(all, {"Received", "0x8082"}), first(all, {"Sent", "0x8081"}));
  EXPECT_LT(first(all, {"Sent", "0x8090"}), n);
  EXPECT_LT(first(all, {"Received", "0x8090", "0101"}), n);

  // Only the codes asked for; a corrupted answer keeps its mark.
  OnBox([](SimulatedBox& b) { b.faults().corruptFrames = 1; });
  run = Cli({"log", "--filter", "8082", "--for", "1"});
  EXPECT_EQ(run.rc, kExitDone) << run.err;
  all = lines(run.out);
  EXPECT_LT(first(all, {"Received", "0x8082", "bad sum"}), static_cast<std::ptrdiff_t>(all.size()))
      << run.out;
  for (const std::string& line : all) {
    const bool frame = has(line, {"Sent"}) || has(line, {"Received"});
    EXPECT_TRUE(!frame || has(line, {"0x8082"})) << line;
  }

  // Ctrl+C is the log's normal end.
  CliHost host;
  std::thread interrupter([&] {
    std::this_thread::sleep_for(500ms);
    host.Interrupt();
  });
  run = Cli({"log"}, &host);
  interrupter.join();
  EXPECT_EQ(run.rc, kExitDone);
  EXPECT_NE(run.out.find("0x8090"), std::string::npos);
}

// Exit codes for what goes wrong, each with one line on standard error.
TEST_F(CliTest, ExitCodesTellWhatWentWrong) {
  PtyMaster silent;  // a line nobody answers on
  ASSERT_TRUE(silent.ok());
  PtyMaster held;  // a line another program holds
  ASSERT_TRUE(held.ok());
  const int holder = ::open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  const std::string missing = dir / "no-such-port";
  struct Case {
    std::vector<std::string> args;
    int rc;
    std::string err;  // the start of the one line on standard error
    std::function<void()> before = nullptr;
  };
  const Case cases[] = {
      // A port that does not open: named as it was given, and why.
      {{"--port", missing, "status"},
       kExitPortUnavailable,
       "signal-cli: cannot open " + missing + ": no such device"},
      {{"--port", "COM7", "status"},
       kExitPortUnavailable,
       "signal-cli: cannot open COM7 (no device): no device for this COM number"},
      {{"--port", held.SlavePath(), "status"},
       kExitPortUnavailable,
       "signal-cli: cannot open " + held.SlavePath() + ": in use by another program"},
      {{"--port", silent.SlavePath(), "--timeout", "0.3", "status"},
       kExitNoAnswer,
       "signal-cli: no box answered on " + silent.SlavePath() + " within 0.3 s"},
      {{"--timeout", "0.3", "status"},
       kExitNoAnswer,
       "signal-cli: no box answered on COM1 (" + server.path() + ") within 0.3 s",
       [this] { OnBox([](SimulatedBox& b) { b.faults().dropFrames = 1; }); }},
      {{"--port", silent.SlavePath(), "--timeout", "0.3", "address", "read"},
       kExitNoAnswer,
       "signal-cli: no box answered"},
      {{"--port", server.path(), "--timeout", "0.3", "--address", "0A05", "status"},
       kExitNoAnswer,
       "signal-cli: no box answered"},
      {{"--port", server.path(), "--timeout", "0.3", "status"},
       kExitNoAnswer,
       "signal-cli: no box answered",
       [this] { OnBox([](SimulatedBox& b) { b.faults().dropFrames = 1; }); }},
      {{"--port", server.path(), "volume", "9"},
       kExitBadArgument,
       "signal-cli: usage: volume 0..8"},
      {{"--port", server.path(), "edid", "write", "11", "x.bin"},
       kExitBadArgument,
       "signal-cli: the user slot is a number 1..10"},
      {{"--port", server.path(), "monitor", "start", "--slot", "0"},
       kExitBadArgument,
       "signal-cli: Time slot must be 1~255."},
      {{"--port", server.path(), "address", "write", "FF01"},
       kExitBadArgument,
       "signal-cli: group and device must each be 01..FE"},
      {{"--port", server.path(), "status", "--save"},
       kExitBadArgument,
       "signal-cli: --save does not apply to status"},
      {{"--address", "0G01", "status"}, kExitBadArgument, "signal-cli: --address takes four"},
      {{"--port", "COM100", "status"},
       kExitBadArgument,
       "signal-cli: the COM ports are COM1..COM99"},
      {{"--port", missing, "log"},
       kExitPortUnavailable,
       "signal-cli: cannot open " + missing + ": no such device"},
      {{"log", "--filter", "80x0"},
       kExitBadArgument,
       "signal-cli: --filter takes codes in hexadecimal"},
      {{"log", "--for", "0"}, kExitBadArgument, "signal-cli: --for takes a number of seconds"},
      {{"status", "--for", "1"}, kExitBadArgument, "signal-cli: --for does not apply to status"},
      {{"frobnicate"}, kExitBadArgument, "signal-cli: unknown command \"frobnicate\""},
      {{}, kExitBadArgument, "signal-cli: no command given"},
      {{"--port", server.path(), "edid", "write", "1", dir / "absent.bin"},
       kExitFileError,
       "signal-cli: File read failed"},
      {{"--port", server.path(), "preview", "-o", dir / "no/such/dir/p.png"},
       kExitFileError,
       "signal-cli: Cannot write"},
      {{"--port", server.path(), "capture", "frame", "-o", dir.path().string()},
       kExitFileError,
       "signal-cli: Cannot write"},
      {{"--port", server.path(), "capture", "frame"},
       kExitFailed,
       "signal-cli: The box receives no signal",
       [this] { Receive("none"); }},
      {{"--port", server.path(), "hpd", "off"},
       kExitFailed,
       "signal-cli: The SDI input has no hot-plug",
       [this] { OnBox([](SimulatedBox& b) { b.SetInput(kSdiInput, false); }); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    if (c.before) c.before();
    const CliRun run = CliOn(c.args);
    EXPECT_EQ(run.rc, c.rc);
    EXPECT_EQ(run.err.rfind(c.err, 0), 0u) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.out, "");
  }
  ::close(holder);
}

TEST_F(CliTest, APortWithoutPermissionNamesTheDialoutGroup) {
  // A pseudo-terminal belongs to its creator (mode 0620): another user cannot open it for
  // writing. Root can open anything, so signal-cli runs as nobody in a child process.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  fs::permissions(settingsDir.path(), fs::perms::all);
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeEnds[0]);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    const CliRun run = CliOn({"--port", server.path(), "status"});
    const std::string said = std::to_string(run.rc) + " " + run.err;
    [[maybe_unused]] const ssize_t n = ::write(pipeEnds[1], said.data(), said.size());
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::string said;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
    said.append(buffer, static_cast<size_t>(n));
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(said, std::to_string(kExitPortUnavailable) + " signal-cli: cannot open " +
                      server.path() +
                      ": permission denied; add your user to the dialout group (sudo usermod "
                      "-aG dialout $USER), then log in again\n");
}

TEST_F(CliTest, EveryCommandHasItsHelp) {
  for (const std::string& command : CommandNames()) {
    const CliRun run = CliOn({command, "--help"});
    EXPECT_EQ(run.rc, kExitDone);
    EXPECT_EQ(run.out.rfind("Usage: signal-cli [OPTIONS] " + command, 0), 0u) << run.out;
  }
  const CliRun run = CliOn({"--help"});
  EXPECT_EQ(run.rc, kExitDone);
  for (const char* code :
       {"  2    bad argument", "  3    port unavailable", "  4    no box answered"})
    EXPECT_NE(run.out.find(code), std::string::npos) << code;
}

TEST(CliOptionsTest, WordsOfTheCommandLine) {
  EXPECT_EQ(ParseComPort("COM7"), 7);
  EXPECT_EQ(ParseComPort("com99"), 99);
  EXPECT_EQ(ParseComPort("12"), 12);
  EXPECT_EQ(ParseComPort("COM100"), std::nullopt);
  EXPECT_EQ(ParseComPort("COM0"), std::nullopt);
  EXPECT_EQ(ParseComPort("/dev/ttyUSB0"), std::nullopt);
  EXPECT_EQ(ParseAddressArgument("0a03"), (DeviceAddress{0x0A, 0x03}));
  EXPECT_EQ(ParseAddressArgument("0A3"), std::nullopt);
  const std::pair<const char*, std::optional<int>> types[] = {{"5-AVI_INF", 5},
                                                              {"avi_inf", 5},
                                                              {"AVI", 5},
                                                              {"spd", 6},
                                                              {"audio", 7},
                                                              {"2-ISRC2", 2},
                                                              {"isrc2", 2},
                                                              {"0x82", 5},
                                                              {"0x0A", 3},
                                                              {"8", 8},
                                                              {"9", 9},
                                                              {"drm", 9},
                                                              {"9-DRM_INF", 9},
                                                              {"0x87", 9},
                                                              {"10", std::nullopt},
                                                              {"0x99", std::nullopt},
                                                              {"av", std::nullopt},
                                                              {"", std::nullopt}};
  for (const auto& [text, entry] : types)
    EXPECT_EQ(ParsePacketType(text), entry) << text;
}

// A message box's text on one line of standard error, safe for the terminal.
TEST(CliOptionsTest, MessagesBecomeOneLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"WARNING:  open Failed with the following error: \nNo such file\nPort: 1\n",
       "WARNING:  open Failed with the following error: No such file; Port: 1"},
      {"Can not find this port or used by other application\nNo permission to open /dev/ttyUSB0",
       "Can not find this port or used by other application; No permission to open /dev/ttyUSB0"},
      {"Write EDID Step:\r1.Select \r2.Read \r\n\r\n3.Write",
       "Write EDID Step: 1.Select; 2.Read; 3.Write"},
      {"bad\x1b[31m name\x7f", "bad\\x1b[31m name\\x7f"},
      {"\r\n", ""},
  };
  for (const auto& [text, line] : cases)
    EXPECT_EQ(OneLine(text), line) << text;
}

// The program itself: its standard output, standard error and exit status apart.
TEST_F(CliTest, TheProgramSeparatesResultsFromErrors) {
  const std::string program = SIGNAL_CLI_PATH;
  auto [rc, out] = Shell(program + " --port " + server.path() + " status --json 2>/dev/null");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out.rfind("{\"port\":\"COM1\"", 0), 0u) << out;
  std::tie(rc, out) = Shell(program + " --port " + (dir / "none") + " status 2>&1 >/dev/null");
  EXPECT_EQ(rc, kExitPortUnavailable);
  EXPECT_EQ(out, "signal-cli: cannot open " + (dir / "none") + ": no such device\n");
}

}  // namespace
}  // namespace sc
