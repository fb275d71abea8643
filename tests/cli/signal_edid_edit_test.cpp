// signal-edid edit, run as a separate process: what it writes (.bin and .txt alike), what
// it prints, and its exit statuses; a refused edit or a bad argument writes nothing.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "edid/edid_file.h"
#include "edid/edid_model.h"
#include "tests/edid/edid_builder.h"

namespace sc {
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

class SignalEdidEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/signal_edid_edit_test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    const EdidImage tv = test::EdidBuilder()
                             .Name(72, "Lounge TV")
                             .Block(2, {0x90, 0x04, 0x61, 0x60})
                             .Block(1, {0x09, 0x07, 0x07, 0x15, 0x07, 0x50})
                             .Block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C})
                             .ExtendedBlock(6, {0x0D, 0x01})
                             .Build();
    std::ofstream(Path("tv.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(tv.data()), std::streamsize(tv.size()));
    input_ = std::vector<uint8_t>(tv.begin(), tv.end());
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  ProgramRun Edit(const std::string& args) const {
    const std::string errors = Path("stderr");
    const std::string command = std::string(SIGNAL_EDID_PATH) + " edit " + args + " 2>" + errors;
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
  std::vector<uint8_t> input_;
};

// The everyday edit from a script, to a .bin and to a .txt: the same bytes, the page's
// text form, the comparison printed and no new fault.
TEST_F(SignalEdidEditTest, WritesTheEditedEdidAndPrintsTheComparison) {
  const std::string edits =
      " --max-clock 300 --no-hdr --remove-audio ac3 --audio lpcm:2:32,44.1,48:16,20,24"
      " --physical-address 2.0.0.0 --name 'Test Bench'";
  for (const char* out : {"out.bin", "out.txt"}) {
    SCOPED_TRACE(out);
    const ProgramRun run = Edit(Path("tv.bin") + " -o " + Path(out) + edits);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("VIC 97 (3840x2160p 60 Hz 16:9) only in A"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Monitor name \"Lounge TV\" in A, \"Test Bench\" in B"),
              std::string::npos);
    EXPECT_NE(run.out.find("New errors and warnings: none"), std::string::npos);
  }
  const EdidBytesResult bin = LoadEdidBytes(Path("out.bin"));
  const EdidBytesResult txt = LoadEdidBytes(Path("out.txt"));
  ASSERT_TRUE(bin.ok() && txt.ok());
  EXPECT_EQ(bin.bytes.size(), 256u);
  EXPECT_EQ(bin.bytes, txt.bytes);
  std::ifstream in(Path("out.txt"), std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(text, FormatEdidTextFile([&] {
              EdidImage image{};
              std::copy(bin.bytes.begin(), bin.bytes.end(), image.begin());
              return image;
            }()));

  const EdidModel model = DecodeEdidModel(bin.bytes);
  ASSERT_EQ(model.CtaExtensions().size(), 1u);
  const CtaExtension& cta = *model.CtaExtensions()[0];
  ASSERT_EQ(cta.Svds().size(), 2u);
  EXPECT_EQ(cta.First<CtaHdrStaticBlock>(), nullptr);
  ASSERT_NE(cta.First<CtaAudioBlock>(), nullptr);
  EXPECT_EQ(cta.First<CtaAudioBlock>()->sads.size(), 1u);
  EXPECT_EQ((*cta.First<HdmiVsdb>()->physicalAddress)[0], 2);
}

TEST_F(SignalEdidEditTest, ExitStatusesAndNothingWrittenUnlessDone) {
  std::ofstream(Path("zeros.bin"), std::ios::binary) << std::string(256, '\0');
  struct Row {
    const char* name;
    std::string args;
    int status;
    const char* says;
  };
  const std::string in = Path("tv.bin"), out = Path("new.bin");
  const Row rows[] = {
      {"4K24 does not fit a detailed timing", in + " -o " + out + " --preferred 93", 1,
       "front porch of 1276 pixels"},
      {"4K120's clock", in + " -o " + out + " --preferred 118", 1, "655.35 MHz"},
      {"refused after edits that were fine", in + " -o " + out + " --name X --max-tmds 400", 1,
       "5 to 340"},
      {"unknown option", in + " -o " + out + " --remove-4k", 2, "unknown option --remove-4k"},
      {"missing value", in + " -o " + out + " --remove-vic", 2, "needs a value"},
      {"bad VIC", in + " -o " + out + " --remove-vic 4k", 2, "a VIC"},
      {"bad audio", in + " -o " + out + " --audio lpcm:9:48:16", 2, "channels are 1 to 8"},
      {"bad rate", in + " -o " + out + " --audio lpcm:2:47:16", 2, "rates are kHz"},
      {"bad address", in + " -o " + out + " --physical-address 1.2.3", 2, "A.B.C.D"},
      {"bad EOTF", in + " -o " + out + " --hdr-eotfs SDR,HDR10", 2, "SDR, HDR, PQ and HLG"},
      {"no output", in + " --no-hdr", 2, "no output file"},
      {"output neither .bin nor .txt", in + " -o " + Path("new.png"), 2, ".bin or a .txt"},
      {"missing input", Path("none.bin") + " -o " + out, 5, "File read failed"},
      {"not an EDID", Path("zeros.bin") + " -o " + out, 5, "EDID header"},
      {"output cannot be written", in + " -o " + Path("no/such/dir.bin"), 5, "cannot write"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ProgramRun run = Edit(row.args);
    EXPECT_EQ(run.status, row.status) << run.err;
    EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(Path("new.png")));
  }
  const ProgramRun help = Edit("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--physical-address A.B.C.D"), std::string::npos);
}

// An edit that finds nothing to do says so on stderr and still writes the file.
TEST_F(SignalEdidEditTest, NothingToRemoveIsANoteNotAFailure) {
  const ProgramRun run = Edit(Path("tv.bin") + " -o " + Path("same.bin") + " --remove-audio dts");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("nothing to remove"), std::string::npos);
  EXPECT_NE(run.out.find("The two EDIDs are the same."), std::string::npos) << run.out;
  const EdidBytesResult same = LoadEdidBytes(Path("same.bin"));
  EXPECT_EQ(same.bytes, input_);
}

}  // namespace
}  // namespace sc
