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
}

}  // namespace
}  // namespace sc
