// Real EDIDs (../shared/edid-corpus, each with edid-decode's output beside it): every one
// decodes, and where the console reads the same fields as edid-decode (preferred timing,
// manufacturer, product code, product name, the video data block's VICs) the two agree,
// apart from the differences the console's simpler decoder makes on purpose, named below.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

#include "edid/edid_decoder.h"
#include "edid/edid_file.h"
#include "tests/edid/edid_builder.h"
#include "tests/edid/edid_corpus.h"

namespace sc {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = test::CorpusDir();
using test::CorpusFiles;
using test::ReadText;

// What edid-decode says about the fields the console also reads.
struct EdidDecodeFacts {
  std::string manufacturer;
  std::string model;
  std::string preferred;  // "1920x1080i@60", refresh rounded
  std::string name;       // base block's product name, "" when none
  bool hasVideoBlock = false;
  std::vector<std::pair<int, bool>> vics;  // VIC, native
  bool checksumError = false;
};

EdidDecodeFacts ParseEdidDecode(const std::string& text) {
  EdidDecodeFacts facts;
  std::smatch m;
  if (std::regex_search(text, m, std::regex(R"(Manufacturer: (\S+))"))) facts.manufacturer = m[1];
  if (std::regex_search(text, m, std::regex(R"(Model: (\d+))"))) facts.model = m[1];
  if (std::regex_search(text, m, std::regex(R"(DTD 1:\s+(\d+)x(\d+)(i?)\s+([\d.]+) Hz)"))) {
    const long refresh = std::lround(std::stod(m[4]));
    facts.preferred = m[1].str() + "x" + m[2].str() + m[3].str() + "@" + std::to_string(refresh);
  }
  const std::string base = text.substr(0, text.find("Block 1,"));
  if (std::regex_search(base, m, std::regex(R"(Display Product Name: '(.*)')"))) facts.name = m[1];
  facts.checksumError = text.find("(should be") != std::string::npos;

  const size_t vdb = text.find("  Video Data Block:\n");
  if (vdb != std::string::npos) {
    facts.hasVideoBlock = true;
    std::istringstream lines(text.substr(vdb + 20));
    const std::regex vic(R"(^    VIC\s+(\d+):.*?( \(native\))?$)");
    const std::regex unknown(R"(^    Unknown \(VIC (\d+)\))");
    for (std::string line; std::getline(lines, line) && line.rfind("    ", 0) == 0;) {
      if (std::regex_search(line, m, vic)) {
        facts.vics.push_back({std::stoi(m[1]), m[2].matched});
      } else if (std::regex_search(line, m, unknown)) {
        facts.vics.push_back({std::stoi(m[1]), false});
      }
    }
  }
  return facts;
}

// The console's Short Video Descripter lines for edid-decode's VIC list. The console
// names only VICs 1-107 and takes bit 7 of every SVD byte as the native flag, so an SVD
// of VIC 193-255 (bytes that carry no native flag since CTA-861-F) shows as the native
// VIC 65-127 (files 015, 016, 017, 018, 047); VICs 108-192 give no line (117, 118, ...).
std::vector<std::string> ConsoleSvdLines(const std::vector<std::pair<int, bool>>& vics) {
  std::vector<std::string> lines;
  for (auto [vic, native] : vics) {
    if (vic >= 193) {
      vic -= 128;
      native = true;
    }
    if (vic < 1 || vic > kMaxNamedVic) continue;
    lines.push_back(std::string(EdidTextTable[kVicText + static_cast<size_t>(vic)]) +
                    (native ? "  Native" : ""));
  }
  return lines;
}

std::vector<std::string> SvdLines(const std::string& video) {
  const auto lines = test::Lines(video);
  const auto start = std::find(lines.begin(), lines.end(), "Short Video Descripter");
  if (start == lines.end()) return {};
  std::vector<std::string> svds(start + 1, lines.end());
  while (!svds.empty() && svds.back().empty())
    svds.pop_back();
  return svds;
}

std::string Field(const std::string& report, const std::string& label) {
  const size_t at = report.find(label);
  if (at == std::string::npos) return "";
  const size_t from = at + label.size();
  return report.substr(from, report.find("\r\n", from) - from);
}

// Files whose VIC list the console reads differently on purpose.
enum class VicDeviation {
  // The first data block is the HDMI vendor block: the console lists the block at
  // extension offset 4 as the video block whatever its tag.
  FirstBlockNotVideo,
  // CTA revision 1 without data blocks (d = 4): the console still reads byte 132, the
  // first byte of a detailed timing, as a video block header.
  NoDataBlocks,
  // edid-decode aborted (std::bad_alloc) in the middle of the video data block: its list
  // is cut short, so it is only a prefix of the console's.
  EdidDecodeAborted,
};
const std::map<std::string, VicDeviation> kVicDeviations = {
    {"044-oculus-rift-dk1-hmd.bin", VicDeviation::FirstBlockNotVideo},
    {"045-sharp-pn465-dvi-cta.bin", VicDeviation::NoDataBlocks},
    {"061-generic-tv-malformed-cta-length.bin", VicDeviation::EdidDecodeAborted},
};

// This base block is all the public dump held although byte 126 says 1: the missing
// bank 1 reads as 0xFF bytes, whose sum is wrong.
const char kMissingExtension[] = "060-panasonic-tv-2009-truncated-128.bin";

TEST(EdidCorpus, AgreesWithEdidDecode) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no EDID corpus at " << kCorpus;
  EXPECT_EQ(files.size(), 62u);

  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    SCOPED_TRACE(name);
    EdidImage image;
    const EdidLoadResult loaded = LoadEdidFile(file.string(), image);
    ASSERT_TRUE(loaded.ok()) << loaded.message;
    ASSERT_TRUE(loaded.bytesRead == 128 || loaded.bytesRead == 256);
    const EdidTexts texts = ShowEdid(image);

    fs::path decodeFile = file;
    decodeFile.replace_extension(".edid-decode.txt");
    const EdidDecodeFacts facts = ParseEdidDecode(ReadText(decodeFile));

    // Status: every file has a good header; the checksum verdict matches.
    std::string status = image[126] == 0 ? "DVI EDID" : "HDMI EDID\rcheck sum Ok !";
    if (facts.checksumError || name == kMissingExtension)
      status = "HDMI EDID\rBank1 check sum error !";
    EXPECT_EQ(texts.status, status);

    EXPECT_EQ(Field(texts.general, "Manufacture's Name:"), facts.manufacturer);
    EXPECT_EQ(Field(texts.general, "Product Code:"), facts.model);
    std::string productName = Field(texts.general, "Display Product Name:");
    while (!productName.empty() && productName.back() == ' ')
      productName.pop_back();
    EXPECT_EQ(productName, facts.name);

    std::string preferred = Field(texts.video, "Preferred Timing:");
    preferred = preferred.substr(0, preferred.find("Hz"));
    EXPECT_EQ(preferred, facts.preferred);

    const std::vector<std::string> ours = SvdLines(texts.video);
    const std::vector<std::string> theirs = ConsoleSvdLines(facts.vics);
    const auto deviation = kVicDeviations.find(name);
    if (deviation == kVicDeviations.end()) {
      EXPECT_EQ(ours, theirs);
      continue;
    }
    switch (deviation->second) {
      case VicDeviation::FirstBlockNotVideo:
        EXPECT_NE(image[132] >> 5, 2);
        EXPECT_NE(ours, theirs);
        break;
      case VicDeviation::NoDataBlocks:
        EXPECT_EQ(image[130], 4);
        EXPECT_FALSE(facts.hasVideoBlock);
        break;
      case VicDeviation::EdidDecodeAborted:
        ASSERT_LT(theirs.size(), ours.size());
        EXPECT_TRUE(std::equal(theirs.begin(), theirs.end(), ours.begin()));
        break;
    }
  }
}

TEST(EdidCorpus, SavedAndReopenedGivesTheSameTexts) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no EDID corpus at " << kCorpus;
  char pattern[] = "/tmp/edid_corpus_test.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  for (const fs::path& file : files) {
    EdidImage image;
    ASSERT_TRUE(LoadEdidFile(file.string(), image).ok());
    const EdidSaveResult saved = SaveEdidFiles(image, dir);
    ASSERT_TRUE(saved.ok) << saved.message;
    EdidImage reopened;
    ASSERT_TRUE(LoadEdidFile(dir + "/" + saved.textFile, reopened).ok());
    EXPECT_EQ(reopened, image) << file;
    fs::remove(dir + "/" + saved.textFile);
    fs::remove(dir + "/" + saved.binaryFile);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace sc
