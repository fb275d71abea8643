// The EDID editor: one table of edits over a built TV EDID, each result read by the full
// decoder and by Debian's edid-decode (skipped when absent): the edit shows in the fields
// both read, every other line edid-decode prints stays as it was, and `edid-decode --check`
// reports no failure the input did not have. The same over the corpus for the everyday
// edit (no 4K, no HDR, stereo PCM). Refused edits leave the image as it was.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/edid_full_json.h"
#include "edid/edid_checks.h"
#include "edid/edid_editor.h"
#include "edid/edid_model.h"
#include "tests/edid/edid_corpus.h"
#include "tests/edid/edid_decode_facts.h"
#include "tests/support/temp_dir.h"
#include "video/cta_formats.h"

namespace sc {
namespace {

using nlohmann::json;
using Bytes = std::vector<uint8_t>;
namespace edit = edid_edit;

// Data blocks by their parts.
Bytes Db(int tag, Bytes payload) {
  payload.insert(payload.begin(), static_cast<uint8_t>(tag << 5 | payload.size()));
  return payload;
}
Bytes Ext(uint8_t extendedTag, Bytes payload) {
  payload.insert(payload.begin(), extendedTag);
  return Db(7, payload);
}

void FixChecksums(Bytes& b) {
  for (size_t block = 0; block * 128 < b.size(); ++block) {
    unsigned sum = 0;
    for (size_t i = 0; i < 127; ++i)
      sum += b[block * 128 + i];
    b[block * 128 + 127] = static_cast<uint8_t>((0x100 - (sum & 0xFF)) & 0xFF);
  }
}

bool ChecksumsRight(const Bytes& b, size_t blocks) {
  for (size_t block = 0; block < blocks; ++block) {
    unsigned sum = 0;
    for (size_t i = 0; i < 128; ++i)
      sum += b[block * 128 + i];
    if (sum & 0xFF) return false;
  }
  return true;
}

constexpr uint8_t k1080p[18] = {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58,
                                0x2C, 0x45, 0x00, 0x40, 0x84, 0x63, 0x00, 0x00, 0x1E};
constexpr uint8_t k720p[18] = {0x01, 0x1D, 0x00, 0x72, 0x51, 0xD0, 0x1E, 0x20, 0x6E,
                               0x28, 0x55, 0x00, 0x40, 0x84, 0x63, 0x00, 0x00, 0x1E};

// A TV: 1080p preferred, a name, a dummy descriptor and range limits; a CTA-861 extension
// with VICs (16 native, 4, 31, four 4K, 34, 1), LPCM, AC-3 and E-AC-3, speakers, an HDMI
// block with HDMI VICs and 3D (all VICs frame packing, VIC 4 and VIC 31 by index), the
// HDMI Forum block, HDR (SDR, PQ, HLG), a 4:2:0-only VIC 102, a 4:2:0 map for VICs 97 and
// 96, video capability, and a 720p detailed timing.
Bytes BuiltTv(std::vector<Bytes> blocks = {}) {
  Bytes b(256, 0);
  const uint8_t header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::copy(std::begin(header), std::end(header), b.begin());
  b[8] = 0x4C, b[9] = 0x2D, b[10] = 0x01, b[11] = 0x0C, b[17] = 30, b[18] = 1, b[19] = 3;
  b[20] = 0x80, b[21] = 160, b[22] = 90, b[23] = 120, b[24] = 0x0A;
  const uint8_t colours[10] = {0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54};
  std::copy(std::begin(colours), std::end(colours), b.begin() + 25);
  for (size_t i = 38; i < 54; ++i)
    b[i] = 0x01;
  std::copy(std::begin(k1080p), std::end(k1080p), b.begin() + 54);
  const Bytes name = {0,   0,   0,   0xFC, 0,    'B',  'u',  'i',  'l',
                      't', ' ', 'T', 'V',  0x0A, 0x20, 0x20, 0x20, 0x20};
  std::copy(name.begin(), name.end(), b.begin() + 72);
  b[93] = 0x10;
  const Bytes range = {0,  0, 0,    0xFD, 0,    24,   75,   15,   140,
                       60, 0, 0x0A, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20};
  std::copy(range.begin(), range.end(), b.begin() + 108);
  b[126] = 1;
  if (blocks.empty())
    blocks = {Db(2, {0x90, 0x04, 0x1F, 0x61, 0x60, 0x5F, 0x5D, 0x22, 0x01}),
              Db(1, {0x09, 0x07, 0x07, 0x15, 0x07, 0x50, 0x57, 0x06, 0x01}),
              Db(4, {0x07, 0x00, 0x00}),
              Db(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x38, 0x3C, 0x20, 0xA0, 0x45, 0x01, 0x03, 0x00,
                     0x01, 0x10, 0x28, 0x10}),
              Db(3, {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, 0x00}),
              Ext(0, {0x4A}),
              Ext(6, {0x0D, 0x01}),
              Ext(14, {0x66}),
              Ext(15, {0x18})};
  b[128] = 0x02, b[129] = 0x03, b[131] = 0xF1;
  size_t at = 132;
  for (const Bytes& block : blocks) {
    std::copy(block.begin(), block.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    at += block.size();
  }
  b[130] = static_cast<uint8_t>(at - 128);
  std::copy(std::begin(k720p), std::end(k720p), b.begin() + static_cast<std::ptrdiff_t>(at));
  FixChecksums(b);
  return b;
}

// What edid-decode --check says of bytes: its decode (without the hex dump at the top),
// the facts it shows, and the failures by their headline (indented two spaces).
struct Decoded {
  std::vector<std::string> lines;
  json facts;
  std::multiset<std::string> failures;
};

Decoded EdidDecode(const Bytes& bytes, const TempDir& dir) {
  const std::string path = dir / "edid.bin";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const std::string out = test::RunCommand("edid-decode --check '" + path + "' 2>&1");
  Decoded d;
  d.facts = test::ReadEdidDecodeOutput(out).json;
  std::istringstream lines(out);
  bool decode = false, failures = false;
  for (std::string line; std::getline(lines, line);) {
    if (!decode && line.rfind("----", 0) == 0) decode = true;
    if (line.rfind("edid-decode SHA", 0) == 0) decode = false;
    if (line == "Failures:") failures = true;
    if (line == "Warnings:") failures = false;
    if (decode) d.lines.push_back(line);
    if (failures && line.rfind("  ", 0) == 0 && line.rfind("   ", 0) != 0) d.failures.insert(line);
  }
  return d;
}

// Our decoder's facts in the same shape.
json OurFacts(const Bytes& bytes) {
  const EdidModel model = DecodeEdidModel(bytes);
  json facts = json::parse(FormatEdidFullJson("x", model, {}));
  for (const char* key : {"file", "checks", "extension_count", "version"})
    facts.erase(key);
  return facts;
}

// Lines only in one of the two (as many times as they are more often there).
std::vector<std::string> ChangedLines(const std::vector<std::string>& a,
                                      const std::vector<std::string>& b) {
  std::map<std::string, int> count;
  for (const auto& line : a)
    ++count[line];
  for (const auto& line : b)
    --count[line];
  std::vector<std::string> changed;
  for (const auto& [line, n] : count)
    if (n != 0) changed.push_back(line);
  return changed;
}

std::vector<std::string> NewFailures(const Decoded& before, const Decoded& after) {
  std::multiset<std::string> old = before.failures;
  std::vector<std::string> fresh;
  for (const std::string& failure : after.failures) {
    if (auto found = old.find(failure); found != old.end())
      old.erase(found);
    else
      fresh.push_back(failure);
  }
  return fresh;
}

json& Cta(json& facts) {
  return facts["cta"][0];
}
void EraseVic(json& list, int vic) {
  for (auto it = list.begin(); it != list.end();)
    it = (it->is_object() ? (*it)["vic"] == vic : *it == vic) ? list.erase(it) : it + 1;
}

struct EditCase {
  const char* name;
  std::vector<EdidEdit> edits;
  std::function<void(json&)> expect;  // the input's facts made the output's
  std::vector<std::string> lines;     // patterns of edid-decode lines that may change
};

const std::vector<EditCase>& EditCases() {
  static const std::vector<EditCase> cases = {
      {"name",
       {edit::MonitorName{"Lab TV 4"}},
       [](json& f) { f["name"] = "Lab TV 4"; },
       {"Display Product Name"}},
      {"name of 13 characters",
       {edit::MonitorName{"ABCDEFGHIJKLM"}},
       [](json& f) { f["name"] = "ABCDEFGHIJKLM"; },
       {"Display Product Name"}},
      {"manufacturer, product, serial",
       {edit::Manufacturer{"abc"}, edit::Product{4660}, edit::Serial{123456}},
       [](json& f) {
         f["manufacturer"] = "ABC";
         f["product"] = 4660;
         f["serial"] = 123456;
       },
       {"Manufacturer: ", "Model: ", "Serial Number: "}},
      // The native VIC follows the preferred timing: VIC 16 is native no more.
      {"preferred from VIC 19",
       {edit::PreferredVic{19}},
       [](json& f) {
         f["detailed_timings"][0] = {{"pixel_clock_khz", 74250},
                                     {"h_active", 1280},
                                     {"v_active", 720},
                                     {"interlaced", false}};
         Cta(f)["vics"][0]["native"] = false;
       },
       {"DTD 1:", "Hfront", "Vfront", "'", "VIC  16:"}},
      // VIC 16, of the same size, stays native.
      {"preferred from interlaced VIC 5",
       {edit::PreferredVic{5}},
       [](json& f) {
         f["detailed_timings"][0] = {{"pixel_clock_khz", 74250},
                                     {"h_active", 1920},
                                     {"v_active", 1080},
                                     {"interlaced", true}};
       },
       {"DTD 1:", "Hfront", "Vfront", "'"}},
      {"preferred from the extension's timing: VIC 4 becomes native",
       {edit::PreferredTiming{1}},
       [](json& f) {
         std::swap(f["detailed_timings"][0], f["detailed_timings"][1]);
         Cta(f)["vics"][0]["native"] = false;
         Cta(f)["vics"][1]["native"] = true;
       },
       {"DTD [12]:", "Hfront", "Vfront", "'", "VIC  16:", "VIC   4:"}},
      {"preferred from VIC 4, which the extension lists as a timing: the two change places",
       {edit::PreferredVic{4}},
       [](json& f) {
         std::swap(f["detailed_timings"][0], f["detailed_timings"][1]);
         Cta(f)["vics"][0]["native"] = false;
         Cta(f)["vics"][1]["native"] = true;
       },
       {"DTD [12]:", "Hfront", "Vfront", "'", "VIC  16:", "VIC   4:"}},
      {"remove the native VIC at position 0: 3D indices and 4:2:0 map follow",
       {edit::RemoveVic{16}},
       [](json& f) { EraseVic(Cta(f)["vics"], 16); },
       {"VIC  16:"}},
      {"remove a 4K VIC of the 4:2:0 map",
       {edit::RemoveVic{97}},
       [](json& f) { EraseVic(Cta(f)["vics"], 97); },
       {"VIC  97:"}},
      {"remove a VIC with its HDMI VIC",
       {edit::RemoveVic{95}},
       [](json& f) { EraseVic(Cta(f)["vics"], 95); },
       {"VIC  95:", "HDMI VIC 1:"}},
      {"remove the 4:2:0-only VIC: its block goes",
       {edit::RemoveVic{102}},
       [](json& f) { Cta(f)["ycbcr420_vics"] = json::array(); },
       {"VIC 102:", "YCbCr 4:2:0 Video Data Block:"}},
      // A VIC added after "All advertised VICs are 3D-capable" is not claimed 3D: the VICs
      // that were become a mask, listed by edid-decode (indented 8).
      {"add a VIC",
       {edit::AddVic{19, false}},
       [](json& f) {
         Cta(f)["vics"].push_back({{"vic", 19}, {"native", false}});
       },
       {"^    VIC  19:", "3D", "^        VIC "}},
      {"add a native VIC: the old one is native no more",
       {edit::AddVic{33, true}},
       [](json& f) {
         Cta(f)["vics"][0]["native"] = false;
         Cta(f)["vics"].push_back({{"vic", 33}, {"native", true}});
       },
       {"^    VIC  16:", "^    VIC  33:", "3D", "^        VIC "}},
      {"mark native",
       {edit::MarkNative{31}},
       [](json& f) {
         Cta(f)["vics"][0]["native"] = false;
         Cta(f)["vics"][2]["native"] = true;
       },
       {"^    VIC  16:", "^    VIC  31:"}},
      {"keep VICs up to 300 MHz",
       {edit::MaxClock{300000}},
       [](json& f) {
         EraseVic(Cta(f)["vics"], 97);
         EraseVic(Cta(f)["vics"], 96);
         Cta(f)["ycbcr420_vics"] = json::array();
       },
       {"594.000000 MHz", "YCbCr 4:2:0"}},
      {"keep VICs up to 150 MHz: HDMI VICs go too",
       {edit::MaxClock{150000}},
       [](json& f) {
         for (const int vic : {97, 96, 95, 93})
           EraseVic(Cta(f)["vics"], vic);
         Cta(f)["ycbcr420_vics"] = json::array();
       },
       {"594.000000 MHz", "297.000000 MHz", "YCbCr 4:2:0", "HDMI VICs:"}},
      {"remove AC-3",
       {edit::RemoveAudio{2}},
       [](json& f) { Cta(f)["audio"].erase(1); },
       {"AC-3:", "Max channels: 6", "Supported sample rates \\(kHz\\): 48 44.1 32",
        "Maximum bit rate"}},
      {"stereo LPCM at 48 kHz, 16 and 24 bits",
       {edit::SetAudio{1, 2, 0x04, 0x05}},
       [](json& f) {
         Cta(f)["audio"][0]["rates_khz"] = {48};
         Cta(f)["audio"][0]["sizes_bits"] = {16, 24};
       },
       {"Supported sample rates", "Supported sample sizes"}},
      {"AC-3 replaced",
       {edit::SetAudio{2, 2, 0x04, 48}},
       [](json& f) {
         Cta(f)["audio"][1]["channels"] = 2;
         Cta(f)["audio"][1]["rates_khz"] = {48};
         Cta(f)["audio"][1]["max_bitrate_kbps"] = 384;
       },
       {"Max channels", "Supported sample rates", "Maximum bit rate"}},
      {"speakers",
       {edit::Speakers{0x01}},
       [](json& f) { Cta(f)["speakers"] = {"FL/FR"}; },
       {"LFE1 - ", "FC - "}},
      {"physical address",
       {edit::PhysicalAddress{{2, 1, 0, 0}}},
       [](json& f) { Cta(f)["physical_address"] = "2.1.0.0"; },
       {"Source physical address"}},
      {"deep colour", {edit::DeepColour{0x10}}, [](json&) {}, {"DC_36bit", "DC_Y444"}},
      {"TMDS limit",
       {edit::MaxTmds{225}},
       [](json& f) { Cta(f)["max_tmds_mhz"] = 225; },
       {"Maximum TMDS clock"}},
      {"HDMI Forum rate",
       {edit::HdmiForumMaxRate{500}},
       [](json& f) { Cta(f)["max_tmds_character_rate_mhz"] = 500; },
       {"Maximum TMDS Character Rate"}},
      {"no HDMI Forum block",
       {edit::RemoveHdmiForum{}},
       [](json& f) { Cta(f)["max_tmds_character_rate_mhz"] = nullptr; },
       {"HDMI Forum", "Version: 1", "Maximum TMDS Character Rate", "SCDC Present"}},
      {"no HDR",
       {edit::RemoveHdr{}},
       [](json& f) { Cta(f)["hdr_eotfs"] = json::array(); },
       {"HDR Static Metadata", "Electro optical", "Traditional gamma", "SMPTE ST2084",
        "Hybrid Log-Gamma", "[Ss]tatic metadata"}},
      {"HDR EOTFs",
       {edit::HdrEotfs{0x05}},
       [](json& f) {
         Cta(f)["hdr_eotfs"] = {"SDR", "PQ"};
       },
       {"Hybrid Log-Gamma"}},
      {"no YCbCr 4:2:2",
       {edit::Ycbcr{std::nullopt, false}},
       [](json&) {},
       {"Supports YCbCr 4:2:2"}},
  };
  return cases;
}

class EditTable : public ::testing::TestWithParam<size_t> {};

TEST_P(EditTable, ShowsTheEditAndNothingElse) {
  const EditCase& c = EditCases()[GetParam()];
  SCOPED_TRACE(c.name);
  const Bytes input = BuiltTv();
  EdidEditor editor;
  ASSERT_TRUE(editor.Load(input));
  for (const EdidEdit& e : c.edits) {
    const EdidEditResult result = editor.Apply(e);
    ASSERT_TRUE(result) << DescribeEdit(e) << ": " << result.message;
  }
  const Bytes& output = editor.bytes();
  ASSERT_EQ(output.size(), input.size());
  EXPECT_TRUE(ChecksumsRight(output, 2));
  EXPECT_TRUE(editor.NewChecks().empty()) << editor.NewChecks()[0].text;

  // Our decoder.
  json expected = OurFacts(input);
  c.expect(expected);
  EXPECT_EQ(OurFacts(output), expected);

  if (!test::HaveEdidDecode()) GTEST_SKIP() << "edid-decode is not installed";
  TempDir dir;
  const Decoded before = EdidDecode(input, dir), after = EdidDecode(output, dir);
  json theirs = before.facts;
  c.expect(theirs);
  EXPECT_EQ(after.facts, theirs);
  for (const std::string& line : ChangedLines(before.lines, after.lines)) {
    bool allowed = line.rfind("Checksum: ", 0) == 0;
    for (const std::string& pattern : c.lines)
      allowed = allowed || std::regex_search(line, std::regex(pattern));
    EXPECT_TRUE(allowed) << "edid-decode line changed: " << line;
  }
  EXPECT_EQ(NewFailures(before, after), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Edits, EditTable, ::testing::Range<size_t>(0, EditCases().size()));

// The 3D fields count SVD positions: with more than 16 VICs and 3D_Structure_ALL for all
// of the first 16, a removal that brings the 17th among them turns the list into a mask
// that leaves it out, and the 4:2:0 map moves with the positions.
TEST(EdidEditor, RemovalRenumbersThe3dFieldsAndThe4to2to0Map) {
  Bytes vics;
  for (uint8_t vic = 1; vic <= 18; ++vic)
    vics.push_back(vic);
  const Bytes input = BuiltTv(
      {Db(2, vics),
       Db(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C, 0x20, 0xA0, 0x03, 0x00, 0x01, 0x56}),
       Ext(15, {0x06, 0x00, 0x02})});
  EdidEditor editor;
  ASSERT_TRUE(editor.Load(input));
  ASSERT_TRUE(editor.Apply(edit::RemoveVic{2}));
  const CtaExtension& cta = *editor.model().blocks[1].cta;
  const HdmiVsdb* hdmi = cta.First<HdmiVsdb>();
  ASSERT_NE(hdmi, nullptr);
  EXPECT_EQ(*hdmi->videoFlags >> 5 & 3, 2);  // a mask now
  EXPECT_EQ(hdmi->mask, 0x7FFF);             // VIC 17, now 16th, not 3D
  ASSERT_EQ(hdmi->structures.size(), 1u);
  EXPECT_EQ(hdmi->structures[0].svdIndex, 4);  // was VIC 6 at 5
  const CtaY420MapBlock* map = cta.First<CtaY420MapBlock>();
  ASSERT_NE(map, nullptr);
  // VIC 3 (was 2) and VIC 18 (was 17) keep their bits.
  EXPECT_EQ(map->bitmap, (std::vector<uint8_t>{0x02, 0x00, 0x01}));
  EXPECT_TRUE(editor.NewChecks().empty());
}

TEST(EdidEditor, AddingBeyondAFullVideoBlockStartsAnotherAndFillsTheMapExplicitly) {
  Bytes vics;
  for (uint8_t vic = 1; vic <= 31; ++vic)
    vics.push_back(vic);
  // An empty 4:2:0 map: every SVD supports 4:2:0. The new VIC must not.
  const Bytes input = BuiltTv({Db(2, vics), Ext(15, {})});
  EdidEditor editor;
  ASSERT_TRUE(editor.Load(input));
  ASSERT_TRUE(editor.Apply(edit::AddVic{97, false}));
  const CtaExtension& cta = *editor.model().blocks[1].cta;
  ASSERT_EQ(cta.Svds().size(), 32u);
  EXPECT_EQ(cta.Svds().back()->vic, 97);
  const CtaY420MapBlock* map = cta.First<CtaY420MapBlock>();
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->bitmap, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F}));
  EXPECT_TRUE(ChecksumsRight(editor.bytes(), 2));
}

// Refused edits: the message says why, and the image is as it was.
TEST(EdidEditor, RefusedEditsLeaveTheImageUnchanged) {
  Bytes full;
  for (uint8_t vic = 1; vic <= 31; ++vic)
    full.push_back(vic);
  const Bytes crowded =
      BuiltTv({Db(2, full), Db(2, full), Db(2, full), Db(2, {32, 33, 34, 35, 36, 37, 38, 39})});
  Bytes noCta = BuiltTv();
  noCta.resize(128);
  noCta[126] = 0;
  FixChecksums(noCta);
  Bytes noName = BuiltTv();
  std::fill(noName.begin() + 72, noName.begin() + 108, 0);
  noName[75] = 0xFE, noName[93] = 0xFE;  // data strings
  FixChecksums(noName);
  Bytes cut = BuiltTv();
  cut[130] = 8;  // the video block runs past the DTD offset
  FixChecksums(cut);
  Bytes noHdmi = BuiltTv({Db(2, {16})});

  struct Row {
    const char* name;
    const Bytes& image;
    EdidEdit edit;
    const char* message;
  };
  const Bytes tv = BuiltTv();
  const Row rows[] = {
      {"name too long", tv, edit::MonitorName{"ABCDEFGHIJKLMN"}, "1 to 13 characters"},
      {"name not ASCII", tv, edit::MonitorName{"T\xC3\xA9l\xC3\xA9"}, "printable ASCII"},
      {"no room for a name", noName, edit::MonitorName{"TV"}, "no monitor name descriptor"},
      {"manufacturer", tv, edit::Manufacturer{"A1C"}, "three letters"},
      {"4K24: front porch 1276", tv, edit::PreferredVic{93}, "front porch of 1276 pixels"},
      {"4K120: clock 1188 MHz", tv, edit::PreferredVic{118}, "655.35 MHz"},
      {"VIC not in the table", tv, edit::PreferredVic{130}, "not a video format"},
      {"no such timing", tv, edit::PreferredTiming{5}, "no timing 6"},
      {"add unknown VIC", tv, edit::AddVic{250, false}, "not a video format"},
      {"native above 64", tv, edit::AddVic{97, true}, "only VICs 1 to 64"},
      {"mark unlisted native", tv, edit::MarkNative{5}, "not listed"},
      {"no room for a VIC", crowded, edit::AddVic{40, false}, "holds 123"},
      {"no room for audio", crowded, edit::SetAudio{1, 2, 7, 7}, "holds 123"},
      {"no CTA extension", noCta, edit::RemoveVic{16}, "no CTA-861 extension"},
      {"damaged collection", cut, edit::RemoveVic{16}, "damaged collection"},
      {"no HDMI block", noHdmi, edit::PhysicalAddress{{1, 0, 0, 0}}, "no HDMI Vendor-Specific"},
      {"address part", tv, edit::PhysicalAddress{{16, 0, 0, 0}}, "0 to F"},
      {"TMDS over 340", tv, edit::MaxTmds{600}, "5 to 340"},
      {"TMDS step", tv, edit::MaxTmds{297}, "steps of 5"},
      {"HDMI Forum rate", tv, edit::HdmiForumMaxRate{300}, "345 to 600"},
      {"no HDMI Forum block", noHdmi, edit::HdmiForumMaxRate{600}, "no HDMI Forum block"},
      {"LPCM without sizes", tv, edit::SetAudio{1, 2, 7, 0}, "sizes"},
      {"nine channels", tv, edit::SetAudio{1, 9, 7, 7}, "1 to 8 channels"},
      {"AC-3 without bit rate", tv, edit::SetAudio{2, 6, 7, 0}, "bit rate"},
      {"no EOTF", tv, edit::HdrEotfs{0}, "at least one"},
      {"speaker past the table", tv, edit::Speakers{1u << 25}, "known speakers"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EdidEditor editor;
    ASSERT_TRUE(editor.Load(row.image));
    const EdidEditResult result = editor.Apply(row.edit);
    EXPECT_FALSE(result);
    EXPECT_NE(result.message.find(row.message), std::string::npos) << result.message;
    EXPECT_EQ(editor.bytes(), row.image);
    EXPECT_FALSE(editor.changed());
  }
}

TEST(EdidEditor, LoadsOnlyAnEdidAndKeepsWhatFollowsTheDeclaredBlocks) {
  EdidEditor editor;
  EXPECT_FALSE(editor.Load(Bytes(127, 0)));
  EXPECT_FALSE(editor.Load(Bytes(256, 0xFF)));
  EXPECT_FALSE(editor.loaded());
  EXPECT_FALSE(editor.Apply(edit::Product{1}));

  // The page's image of a one-block EDID: 0xFF after it, carried over untouched.
  Bytes page = BuiltTv();
  page[126] = 0;
  std::fill(page.begin() + 128, page.end(), 0xFF);
  FixChecksums(page);
  page[255] = 0x12;
  ASSERT_TRUE(editor.Load(page));
  ASSERT_TRUE(editor.Apply(edit::Product{7}));
  EXPECT_EQ(Bytes(editor.bytes().begin() + 128, editor.bytes().end()),
            Bytes(page.begin() + 128, page.end()));
  EXPECT_EQ(editor.bytes()[10], 7);
  EXPECT_TRUE(ChecksumsRight(editor.bytes(), 1));
  EXPECT_EQ(editor.Changes().differences.size(), 1u);
}

TEST(EdidEditor, NoOpEditsSaySoAndChangeNothing) {
  const Bytes tv = BuiltTv();
  EdidEditor editor;
  ASSERT_TRUE(editor.Load(tv));
  for (const EdidEdit& e : std::vector<EdidEdit>{edit::RemoveVic{2}, edit::AddVic{16, false},
                                                 edit::RemoveAudio{11}, edit::MaxClock{600000}}) {
    const EdidEditResult result = editor.Apply(e);
    EXPECT_TRUE(result);
    EXPECT_FALSE(result.message.empty()) << DescribeEdit(e);
  }
  EXPECT_EQ(editor.bytes(), tv);
}

// A new fault is one the starting image did not have: a TMDS limit below the formats the
// sink lists is new; an old fault that stays is not.
TEST(EdidEditor, NewChecksAreThoseTheStartingImageDidNotHave) {
  Bytes tv = BuiltTv();
  tv[254] = 0x55;  // padding that is not zero, and so a wrong checksum in block 1
  EdidEditor editor;
  ASSERT_TRUE(editor.Load(tv));
  ASSERT_TRUE(editor.Apply(edit::RemoveHdmiForum{}));
  ASSERT_TRUE(editor.Apply(edit::MaxTmds{100}));
  const std::vector<EdidCheck> fresh = editor.NewChecks();
  ASSERT_FALSE(fresh.empty());
  for (const EdidCheck& check : fresh)
    EXPECT_EQ(check.text.find("checksum"), std::string::npos) << check.text;
  // The rebuilt extension's checksum is right again and its padding zero.
  EXPECT_TRUE(ChecksumsRight(editor.bytes(), 2));
  EXPECT_EQ(editor.bytes()[254], 0);
  editor.Revert();
  EXPECT_EQ(editor.bytes(), tv);
  EXPECT_TRUE(editor.NewChecks().empty());
}

// The everyday edit over the corpus: no 4K (nothing above 300 MHz), no HDR, stereo PCM
// only, a new name. The result holds exactly that by both decoders, edid-decode --check
// reports no new failure, and every checksum is right. EDIDs the editor cannot rebuild
// are refused and left as they were.
TEST(EdidEditorCorpus, EverydayEditAgreesWithEdidDecode) {
  const auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no EDID corpus beside the source tree";
  const bool reference = test::HaveEdidDecode();
  TempDir dir;
  size_t edited = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    const std::string text = test::ReadText(file);
    const Bytes input(text.begin(), text.end());
    const EdidModel model = DecodeEdidModel(input);
    if (model.CtaExtensions().empty()) continue;
    EdidEditor editor;
    ASSERT_TRUE(editor.Load(input));
    const std::vector<EdidEdit> edits = {
        edit::MaxClock{300000}, edit::RemoveHdr{},          edit::RemoveAudio{2},
        edit::RemoveAudio{7},   edit::RemoveAudio{10},      edit::RemoveAudio{11},
        edit::RemoveAudio{12},  edit::SetAudio{1, 2, 7, 7}, edit::MonitorName{"Edited"}};
    bool refused = false;
    for (const EdidEdit& e : edits) {
      const Bytes before = editor.bytes();
      const EdidEditResult result = editor.Apply(e);
      if (!result) {
        EXPECT_EQ(editor.bytes(), before) << result.message;
        refused = true;
      }
    }
    if (refused) continue;
    ++edited;
    const Bytes& output = editor.bytes();
    const size_t declared = std::min<size_t>(1 + input[126], input.size() / 128);
    EXPECT_TRUE(ChecksumsRight(output, declared));

    // The facts expected of the output, LPCM aside (the new LPCM descriptor takes the
    // first one's place, or the end of the first extension's audio).
    auto expect = [](json f) {
      for (json& cta : f["cta"]) {
        for (const char* list : {"vics", "ycbcr420_vics"})
          for (auto it = cta[list].begin(); it != cta[list].end();) {
            const CtaFormat* format =
                FindCtaFormat((it->is_object() ? (*it)["vic"] : *it).get<int>());
            it = format && format->pixelClockKhz > 300000 ? cta[list].erase(it) : it + 1;
          }
        cta["hdr_eotfs"] = json::array();
        json audio = json::array();
        for (const json& sad : cta["audio"]) {
          const std::string format = sad["format"];
          if (format != "Linear PCM" && format != "AC-3" && format != "DTS" &&
              format != "Enhanced AC-3 (DD+)" && format != "DTS-HD" && format != "MAT (MLP)")
            audio.push_back(sad);
        }
        cta["audio"] = audio;
      }
      f["name"] = "Edited";
      return f;
    };
    // The output's LPCM descriptors taken out: there must be one, stereo, 32-48 kHz.
    auto takeLpcm = [](json f) {
      int lpcm = 0;
      for (json& cta : f["cta"]) {
        json audio = json::array();
        for (const json& sad : cta["audio"]) {
          if (sad["format"] != "Linear PCM") {
            audio.push_back(sad);
            continue;
          }
          ++lpcm;
          EXPECT_EQ(sad["channels"], 2);
          EXPECT_EQ(sad["rates_khz"], json({32, 44.1, 48}));
          EXPECT_EQ(sad["sizes_bits"], json({16, 20, 24}));
        }
        cta["audio"] = audio;
      }
      EXPECT_EQ(lpcm, 1);
      return f;
    };
    auto same = [](json a, json b) {
      // The ours JSON names audio formats in its own words; compare by edid-decode's.
      EXPECT_EQ(a["name"], b["name"]);
      EXPECT_EQ(a["detailed_timings"], b["detailed_timings"]);
      ASSERT_EQ(a["cta"].size(), b["cta"].size());
      for (size_t i = 0; i < a["cta"].size(); ++i) {
        for (const char* key : {"vics", "ycbcr420_vics", "hdr_eotfs", "speakers",
                                "physical_address", "max_tmds_mhz", "max_tmds_character_rate_mhz"})
          EXPECT_EQ(a["cta"][i][key], b["cta"][i][key]) << key;
        EXPECT_EQ(a["cta"][i]["audio"].size(), b["cta"][i]["audio"].size());
      }
    };
    same(takeLpcm(OurFacts(output)), expect(OurFacts(input)));

    if (!reference) continue;
    const Decoded before = EdidDecode(input, dir), after = EdidDecode(output, dir);
    same(takeLpcm(after.facts), expect(before.facts));
    EXPECT_EQ(NewFailures(before, after), std::vector<std::string>{});
  }
  EXPECT_GT(edited, 40u);
}

}  // namespace
}  // namespace sc
