// The editor's round trip over the whole link: a TV's EDID made into one without 4K, HDR
// and surround audio, written to USER3, USER3 chosen on the box, read back: the same
// bytes, and the box presents them. Once as a person does it on the EDID page (the main
// window's core, the serial driver on a pseudo-terminal, the simulated box), once as a
// script does it with signal-edid edit and signal-cli.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "edid/edid_editor_window.h"
#include "edid/edid_file.h"
#include "sim/box_server.h"
#include "tests/support/console_fixture.h"
#include "tests/support/temp_dir.h"

namespace sc {
namespace {

using namespace std::chrono_literals;
namespace ids = edid_editor_ids;

constexpr DeviceAddress kBox{0x0A, 0x03};
constexpr int kUser3 = kFirstUserPreset + 2;

// A TV: 1080p and 4K60 VICs, LPCM 8 channels and AC-3, an HDMI block, HDR.
EdidImage Tv() {
  EdidImage b{};
  const uint8_t head[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x4C,
                          0x2D, 0x01, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1E,
                          0x01, 0x03, 0x80, 0xA0, 0x5A, 0x78, 0x0A};
  std::copy(std::begin(head), std::end(head), b.begin());
  for (size_t i = 38; i < 54; ++i)
    b[i] = 0x01;
  const uint8_t dtd[18] = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58,
                           0x2C, 0x45, 0x00, 0x40, 0x84, 0x63, 0x00, 0x00, 0x1E};
  std::copy(std::begin(dtd), std::end(dtd), b.begin() + 54);
  const uint8_t name[18] = {0,   0,   0,   0xFC, 0,   'L',  'o',  'u',  'n',
                            'g', 'e', ' ', 'T',  'V', 0x0A, 0x20, 0x20, 0x20};
  std::copy(std::begin(name), std::end(name), b.begin() + 72);
  b[93] = 0x10;
  b[111] = 0x10;
  b[126] = 1;
  const uint8_t ext[] = {
      0x02, 0x03, 0x00, 0xF1, 0x45, 0x90, 0x04, 0x1F, 0x61, 0x60,  // VICs 16 (native) 4 31 97 96
      0x26, 0x0F, 0x7F, 0x07, 0x15, 0x07, 0x50,                    // LPCM 8 ch, AC-3
      0x83, 0x4F, 0x00, 0x00,                                      // speakers
      0x67, 0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C, 0xE3, 0x06, 0x0D, 0x01};  // HDR: SDR, PQ, HLG
  std::copy(std::begin(ext), std::end(ext), b.begin() + 128);
  b[130] = static_cast<uint8_t>(sizeof ext);
  std::copy(std::begin(dtd), std::end(dtd), b.begin() + 128 + sizeof ext);
  for (const size_t block : {0u, 128u}) {
    unsigned sum = 0;
    for (size_t i = block; i < block + 127; ++i)
      sum += b[i];
    b[block + 127] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
  }
  return b;
}

class EdidEditorEndToEndTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.StartOnPty());
    portMap[1] = server.path();
    StartConsole();
    dialog->ToggleLink();
    ASSERT_TRUE(host.PumpUntil([&] { return Dispatched(0x8090); }));
    host.StopTimer(kStatusRecheckTimer);
    host.PumpFor(50ms);
    ASSERT_EQ(dialog->TargetAddress(), kBox);
    dispatched.clear();
  }
  EdidPage& page() { return dialog->edidPage; }
  bool Dispatched(uint16_t code) {
    return std::find(dispatched.begin(), dispatched.end(), code) != dispatched.end();
  }
  template <class F>
  auto OnBox(F&& f) {
    return server.WithLine([&](BoxLine& line) { return f(line.box(0)); });
  }

  BoxServer server{{kBox}};
};

TEST_F(EdidEditorEndToEndTest, EditedOnThePageWrittenToUser3ChosenAndReadBack) {
  // The TV's EDID, as if opened from a file; the box's USER3 holds something else.
  page().image = Tv();
  ASSERT_NE(OnBox([](SimulatedBox& b) { return b.edid(kUser3); }), page().image);

  std::vector<uint8_t> edited;
  host.onDialog = [&](int id) {
    ASSERT_EQ(id, ids::kDialog);
    EdidEditorWindow& w = page().editor;
    View& v = w.view();
    v.SetText(ids::kMaxClock, "300");
    w.KeepUpTo();
    w.RemoveHdr();
    const auto formats = w.listedAudioFormats();
    const auto ac3 = std::find(formats.begin(), formats.end(), 2);
    ASSERT_NE(ac3, formats.end());
    v.SetSelection(ids::kAudioList, static_cast<int>(ac3 - formats.begin()));
    w.RemoveAudio();
    v.SetText(ids::kLpcmChannels, "2");
    v.SetText(ids::kLpcmRates, "32,44.1,48");
    v.SetText(ids::kLpcmSizes, "16,20,24");
    w.SetLpcm();
    // The result's faults: none; its differences: the two 4K VICs, HDR, AC-3, and the
    // LPCM descriptor's channels and rates.
    EXPECT_TRUE(w.editor().NewChecks().empty());
    EXPECT_EQ(v.GetText(ids::kChangesSummary), "6 differences from the original");
    EXPECT_EQ(w.listedVics(), (std::vector<int>{16, 4, 31}));
    edited = w.editor().bytes();
    ASSERT_TRUE(w.Apply());
  };
  page().EditEdid();
  ASSERT_EQ(edited.size(), 256u);
  ASSERT_TRUE(std::equal(edited.begin(), edited.end(), page().image.begin()));

  // "Write to USER EDID" with USER3 chosen: no question (no new error), the box says OK.
  page().view().SetSelection(edid_ids::kSelectionList, kUser3);
  host.messages.clear();
  page().WriteUserEdid();
  ASSERT_TRUE(host.PumpUntil([&] { return !host.messages.empty(); }));
  EXPECT_EQ(host.messages.back().text, "EDID writting OK!");

  // USER3 chosen on the box: it presents the edited EDID.
  page().SelectEdidPreset();
  ASSERT_TRUE(host.PumpUntil(
      [&] { return OnBox([](SimulatedBox& b) { return b.panel().edidPreset; }) == kUser3; }));
  const EdidImage presented = OnBox([](SimulatedBox& b) { return b.edid(b.panel().edidPreset); });
  EXPECT_TRUE(std::equal(edited.begin(), edited.end(), presented.begin()));

  // Read back from the box through the page: the same bytes.
  page().image.fill(0);
  dispatched.clear();
  page().ReadEdidFromDevice();
  ASSERT_TRUE(host.PumpUntil([&] { return Dispatched(0xF851); }));
  EXPECT_TRUE(std::equal(edited.begin(), edited.end(), page().image.begin()));
  EXPECT_EQ(page().statusText, "HDMI EDID\rcheck sum Ok !");
}

// The same from a script: signal-edid edit, then signal-cli writes, chooses and reads.
class EdidEditorScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.StartOnPty()); }

  static std::pair<int, std::string> Run(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return {-1, out};
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      out.append(buffer, n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
  }
  std::string Cli(const std::string& args) const {
    return std::string(SIGNAL_CLI_PATH) + " --port " + server.path() + " --timeout 2 " + args;
  }
  std::string Bytes(const std::string& path) const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  BoxServer server{{kBox}};
  TempDir dir;
};

TEST_F(EdidEditorScriptTest, EditWriteChooseReadBack) {
  const EdidImage tv = Tv();
  std::ofstream(dir / "tv.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(tv.data()), static_cast<std::streamsize>(tv.size()));
  auto [rc, out] = Run(std::string(SIGNAL_EDID_PATH) + " edit " + (dir / "tv.bin") + " -o " +
                       (dir / "plain.bin") +
                       " --max-clock 300 --no-hdr --remove-audio ac3"
                       " --audio lpcm:2:32,44.1,48:16,20,24");
  ASSERT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("New errors and warnings: none"), std::string::npos) << out;
  const std::string edited = Bytes(dir / "plain.bin");
  ASSERT_EQ(edited.size(), 256u);

  std::tie(rc, out) = Run(Cli("edid write 3 " + (dir / "plain.bin")));
  ASSERT_EQ(rc, 0) << out;
  std::tie(rc, out) = Run(Cli("edid select 7"));
  ASSERT_EQ(rc, 0) << out;
  EXPECT_EQ(server.WithLine([](BoxLine& line) { return line.box(0).panel().edidPreset; }), kUser3);
  std::tie(rc, out) = Run(Cli("edid read 7 -o " + (dir / "back.bin")));
  ASSERT_EQ(rc, 0) << out;
  EXPECT_EQ(Bytes(dir / "back.bin"), edited);
}

}  // namespace
}  // namespace sc
