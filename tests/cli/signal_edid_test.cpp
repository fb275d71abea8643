// The signal-edid program, run as a separate process on files in a temporary directory.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "edid/edid_decoder.h"
#include "edid/edid_file.h"
#include "tests/edid/edid_builder.h"

namespace sc {
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

// A strict reader for the one shape signal-edid writes: an object of string values. Each
// \u00XX escape stands for the byte XX. Returns nothing for anything that is not that.
std::optional<std::map<std::string, std::string>> ParseJsonLine(std::string_view s) {
  size_t i = 0;
  auto string = [&]() -> std::optional<std::string> {
    if (i >= s.size() || s[i] != '"') return std::nullopt;
    std::string value;
    for (++i; i < s.size(); ++i) {
      const char c = s[i];
      if (c == '"') {
        ++i;
        return value;
      }
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        value += c;
        continue;
      }
      if (++i >= s.size()) return std::nullopt;
      switch (s[i]) {
        case '"':
          value += '"';
          break;
        case '\\':
          value += '\\';
          break;
        case '/':
          value += '/';
          break;
        case 'b':
          value += '\b';
          break;
        case 'f':
          value += '\f';
          break;
        case 'n':
          value += '\n';
          break;
        case 'r':
          value += '\r';
          break;
        case 't':
          value += '\t';
          break;
        case 'u': {
          if (i + 4 >= s.size()) return std::nullopt;
          const unsigned code = std::stoul(std::string(s.substr(i + 1, 4)), nullptr, 16);
          if (code > 0xFF) return std::nullopt;
          value += static_cast<char>(code);
          i += 4;
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  };
  std::map<std::string, std::string> object;
  if (s.empty() || s[i++] != '{') return std::nullopt;
  while (true) {
    auto key = string();
    if (!key || i >= s.size() || s[i++] != ':') return std::nullopt;
    auto value = string();
    if (!value) return std::nullopt;
    object[*key] = *value;
    if (i < s.size() && s[i] == ',') {
      ++i;
      continue;
    }
    if (i + 1 == s.size() && s[i] == '}') return object;
    return std::nullopt;
  }
}

class SignalEdidTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/signal_edid_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string WriteImage(const std::string& name, const EdidImage& image) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    return Path(name);
  }

  ProgramRun Execute(const std::string& args) const {
    const std::string errors = Path("stderr");
    const std::string command = std::string(SIGNAL_EDID_PATH) + " " + args + " 2>" + errors;
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errors);
    run.err.assign(std::istreambuf_iterator<char>(in), {});
    return run;
  }

  std::string dir_;
};

// A name with a quote, a backslash, control bytes and bytes above 0x7F.
EdidImage OddImage() {
  return test::EdidBuilder()
      .Descriptor(72, 0xFC, {'"', '\\', 0x01, 0x1B, 0x7F, 0x80, 0xFF, 0xC3, 0xA9, 'Z', 0x0A})
      .Cea()
      .Block(2, {0x90})
      .Build();
}

TEST_F(SignalEdidTest, JsonHoldsTheTextsExactly) {
  const EdidImage odd = OddImage();
  const std::string bin = WriteImage("odd.bin", odd);
  std::ofstream(Path("plain.txt"), std::ios::binary)
      << FormatEdidTextFile(test::EdidBuilder().Build());
  EdidImage badHeader = odd;
  badHeader[1] = 0;
  WriteImage("header.bin", badHeader);

  const ProgramRun run =
      Execute("--json " + bin + " " + Path("plain.txt") + " " + Path("header.bin"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");

  std::vector<std::string> lines;
  for (size_t start = 0, end; (end = run.out.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(run.out.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 3u) << run.out;
  const std::pair<std::string, EdidImage> expected[] = {
      {bin, odd},
      {Path("plain.txt"), test::EdidBuilder().Build()},
      {Path("header.bin"), badHeader}};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(lines[i]);
    for (const char c : lines[i])
      ASSERT_TRUE(c >= 0x20 && c < 0x7F);  // plain ASCII
    const auto object = ParseJsonLine(lines[i]);
    ASSERT_TRUE(object);
    const EdidTexts texts = ShowEdid(expected[i].second);
    const std::map<std::string, std::string> want = {
        {"file", expected[i].first}, {"status", texts.status}, {"hex", texts.hex},
        {"video", texts.video},      {"audio", texts.audio},   {"general", texts.general}};
    EXPECT_EQ(*object, want);
  }
  EXPECT_NE(lines[0].find(
                R"(Display Product Name:\"\\\u0001\u001b\u007f\u0080\u00ff\u00c3\u00a9Z   \r\n)"),
            std::string::npos);
}

TEST_F(SignalEdidTest, ReadableForm) {
  const ProgramRun run = Execute(WriteImage("odd.bin", OddImage()));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.find('\r'), std::string::npos);
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
  for (const char* part :
       {"==== ", "odd.bin ====\nStatus:\n  HDMI EDID\n  check sum Ok !\n",
        "\n  00  00 FF FF FF FF FF FF 00 4C 2D 01 0C ", "\n  f0  ",
        "\nVideo Information:\n  Preferred Timing:1920x1080@60Hz\n",
        "  Short Video Descripter\n  1920x1080p@60Hz  16:9  Native\n", "\nAudio Information:\n",
        "\nGeneral Info:\n\n  Manufacture's Name:SAM\n",
        "  Display Product Name:\"\\\\x01\\x1b\\x7f\\x80\\xff\\xc3\\xa9Z   \n"}) {
    EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n" << run.out;
  }
}

TEST_F(SignalEdidTest, ErrorsGoToStderrAndTheOthersAreStillDecoded) {
  const std::string good = WriteImage("good.bin", test::EdidBuilder().Build());
  WriteImage("upper.TXT", test::EdidBuilder().Build());
  const ProgramRun run =
      Execute("--json " + Path("missing.bin") + " " + Path("upper.TXT") + " " + good);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
  EXPECT_NE(run.out.find("good.bin"), std::string::npos);
  EXPECT_NE(run.err.find("missing.bin: File read failed (No such file or directory)"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("upper.TXT: It is not bin or txt file"), std::string::npos) << run.err;
}

// --full: every block in words and the checks; an EDID with faults still decodes (exit 0).
TEST_F(SignalEdidTest, FullDecodeInWordsWithItsChecks) {
  const EdidImage good = test::EdidBuilder().Name(72, "TV").Cea().Block(2, {0x90, 0x04}).Build();
  EdidImage badSum = good;
  badSum[255] ^= 0xFF;
  const ProgramRun run =
      Execute("--full " + WriteImage("good.bin", good) + " " + WriteImage("bad.bin", badSum));
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* part :
       {"==== ", "good.bin ====\nBlock 0: Base EDID, version 1.3\n",
        "  Descriptor 2 (offset 0x48, 18 bytes): monitor name \"TV\"\n",
        "\nBlock 1: CTA-861 extension, revision 3\n",
        "    VIC  16: 1920x1080p 60 Hz 16:9, 148.5 MHz (native)\n", "Checks: none failed\n",
        "bad.bin ====\n", "  Checksum: 0x", " (wrong)\n", "  error: Block 1: the checksum 0x"})
    EXPECT_NE(run.out.find(part), std::string::npos) << part << "\n" << run.out;
}

// --full --json: one object per file with the fixed keys; a file shorter than its byte 126
// says gives the blocks it holds and a check saying so.
TEST_F(SignalEdidTest, FullJsonGivesTheFixedKeys) {
  const EdidImage image = test::EdidBuilder()
                              .Name(72, "TV")
                              .Timing(90, {7425, 1920, 280, 540, 22, true})
                              .Block(2, {0x90, 0x61})
                              .Block(1, {0x09, 0x07, 0x07})
                              .Build();
  const std::string two = WriteImage("two.bin", image);
  std::ofstream(Path("base.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), 128);
  std::ofstream(Path("two.txt"), std::ios::binary) << FormatEdidTextFile(image);

  const ProgramRun run =
      Execute("--full --json " + two + " " + Path("base.bin") + " " + Path("two.txt"));
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<nlohmann::json> objects;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);)
    objects.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(objects.size(), 3u) << run.out;

  const nlohmann::json& full = objects[0];
  EXPECT_EQ(full["file"], two);
  EXPECT_EQ(full["blocks"], 2);
  EXPECT_EQ(full["manufacturer"], "SAM");
  EXPECT_EQ(full["product"], 0x0C01);
  EXPECT_EQ(full["serial"], 0);
  EXPECT_EQ(full["name"], "TV");
  EXPECT_EQ(full["detailed_timings"],
            nlohmann::json::parse(R"([{"pixel_clock_khz":148500,"h_active":1920,"v_active":1080,)"
                                  R"("interlaced":false},{"pixel_clock_khz":74250,)"
                                  R"("h_active":1920,"v_active":1080,"interlaced":true}])"));
  ASSERT_EQ(full["cta"].size(), 1u);
  const nlohmann::json& cta = full["cta"][0];
  EXPECT_EQ(cta["revision"], 3);
  EXPECT_EQ(cta["vics"],
            nlohmann::json::parse(R"([{"vic":16,"native":true},{"vic":97,"native":false}])"));
  EXPECT_EQ(cta["audio"], nlohmann::json::parse(R"([{"format":"Linear PCM","format_code":1,)"
                                                R"("channels":2,"rates_khz":[32,44.1,48],)"
                                                R"("sizes_bits":[16,20,24]}])"));
  for (const char* key : {"physical_address", "max_tmds_mhz", "max_tmds_character_rate_mhz"})
    EXPECT_TRUE(cta[key].is_null()) << key;
  for (const char* key : {"speakers", "hdr_eotfs", "ycbcr420_vics"})
    EXPECT_EQ(cta[key], nlohmann::json::array()) << key;
  EXPECT_EQ(full["checks"], nlohmann::json::array());

  EXPECT_EQ(objects[1]["blocks"], 1);
  EXPECT_EQ(objects[1]["cta"], nlohmann::json::array());
  EXPECT_EQ(objects[1]["checks"],
            nlohmann::json::parse(R"([{"severity":"error","text":"Byte 126 declares 1 extension )"
                                  R"(block, but 0 follow the base block."}])"));
  objects[2]["file"] = two;
  EXPECT_EQ(objects[2], full);
}

TEST_F(SignalEdidTest, DiffSaysWhetherTwoEdidsDifferAndHow) {
  const EdidImage a = test::EdidBuilder().Block(1, {0x09, 0x07, 0x07}).Block(2, {0x90}).Build();
  const EdidImage b =
      test::EdidBuilder().Block(1, {0x09, 0x07, 0x07, 0x15, 0x07, 0x50}).Block(2, {0x10}).Build();
  const std::string fileA = WriteImage("a.bin", a), fileB = WriteImage("b.bin", b);
  std::ofstream(Path("a.txt"), std::ios::binary) << FormatEdidTextFile(a);

  const ProgramRun same = Execute("diff " + fileA + " " + Path("a.txt"));
  EXPECT_EQ(same.status, 0) << same.err;
  EXPECT_NE(same.out.find("The two EDIDs are the same."), std::string::npos) << same.out;

  const ProgramRun differ = Execute("diff " + fileA + " " + fileB);
  EXPECT_EQ(differ.status, 1) << differ.err;
  for (const char* part :
       {"A: ", "a.bin (2 blocks)\nB: ", "Audio: AC-3 6 channels only in B\n",
        "    B: block 1 offset 0x08: 15 07 50\n", "VIC 16 native in A, not native in B\n",
        "    A: block 1 offset 0x0", ": 90\n", "2 differences\n"})
    EXPECT_NE(differ.out.find(part), std::string::npos) << part << "\n" << differ.out;

  const ProgramRun json = Execute("diff --json " + fileA + " " + fileB);
  EXPECT_EQ(json.status, 1);
  const nlohmann::json object = nlohmann::json::parse(json.out);
  EXPECT_EQ(object["equal"], false);
  ASSERT_EQ(object["differences"].size(), 2u);
  EXPECT_EQ(object["differences"][0]["area"], "Video");
  EXPECT_EQ(object["differences"][0]["a"][0]["bytes"], "90");

  struct Case {
    std::string args;
    const char* error;
  };
  const Case troubles[] = {{"diff " + fileA, "diff takes two files"},
                           {"diff " + fileA + " " + Path("none.bin"), "none.bin: File read failed"},
                           {"diff --full " + fileA + " " + fileB, "do not go together"}};
  for (const Case& c : troubles) {
    const ProgramRun run = Execute(c.args);
    EXPECT_EQ(run.status, 2) << c.args;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
  }
}

TEST_F(SignalEdidTest, Usage) {
  const ProgramRun help = Execute("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: signal-edid", 0), 0u);
  EXPECT_EQ(Execute("").status, 2);
  const ProgramRun unknown = Execute("--yaml x.bin");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown option --yaml"), std::string::npos);
  // After "--" a name that starts with '-' is a file.
  EXPECT_EQ(Execute("-- -x.bin").status, 1);
  EXPECT_EQ(Execute("--full").status, 2);
  EXPECT_NE(help.out.find("signal-edid diff [--json] A B"), std::string::npos);
}

}  // namespace
}  // namespace sc
