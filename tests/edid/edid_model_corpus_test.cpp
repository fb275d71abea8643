// The full decoder over the real EDIDs of ../shared/edid-corpus, held against what Debian's
// edid-decode printed for each (the saved .edid-decode.txt beside it): blocks, identity,
// detailed timings, established and standard timings, and per CTA-861 extension the VICs
// with their native flags, the audio descriptors, the speakers, the physical address, the
// TMDS limits, the HDR EOTFs and the 4:2:0 VICs, compared through the JSON that
// `signal-edid --full --json` prints.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/edid_full_json.h"
#include "edid/edid_checks.h"
#include "edid/edid_file.h"
#include "edid/edid_model.h"
#include "edid/edid_names.h"
#include "tests/edid/edid_corpus.h"
#include "tests/edid/edid_decode_facts.h"

namespace sc {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

// File 061's data block collection runs three bytes past its DTD offset (46): the HDMI
// block at 35 claims 13 bytes. edid-decode 2022 reads the block whole, then aborts, so its
// saved output ends inside the video block; run whole (unbuffered) it shows the slot at
// the DTD offset as a raw "Detailed mode" where this decoder reads the detailed timing the
// offset declares (259x1280 at 5.13 MHz, bytes 01 02 03 01 1D 00 ...).
// File 010's second standard timing is 61 4C: 1024x768, 4:3, 72 Hz. No DMT timing has
// that rate; edid-decode shows DMT 0x11, 1024x768 at 70 Hz, in its place.
const char kNearestDmtFile[] = "010-aoc-1619w-vga.bin";

const char kOverrunFile[] = "061-generic-tv-malformed-cta-length.bin";
const json kTimingAtOverrunOffset = {
    {"pixel_clock_khz", 5130}, {"h_active", 259}, {"v_active", 1280}, {"interlaced", false}};

using NamedRates = std::vector<std::pair<std::string, double>>;

// The established (or standard) timings of the base block and its descriptors.
NamedRates ModelTimings(const EdidModel& model, bool standard) {
  NamedRates timings;
  auto add = [&](const EdidNamedTiming& t) {
    timings.push_back(
        {std::to_string(t.width) + "x" + std::to_string(t.height) + (t.interlaced ? "i" : ""),
         t.refreshHz});
  };
  if (standard) {
    for (const EdidStandardTiming& st : model.base.standard)
      add(st.timing);
  } else {
    for (const EdidNamedTiming& t : model.base.established)
      add(t);
  }
  for (const EdidDescriptor& d : model.base.descriptors) {
    if (d.kind != EdidDescriptor::Kind::Display) continue;
    if (standard)
      for (const EdidStandardTiming& st : d.standard)
        add(st.timing);
    else
      for (const EdidNamedTiming& t : d.established)
        add(t);
  }
  return timings;
}

// Sizes equal, rates within a hertz: the tables name a timing by its nominal rate (640x480
// at 72 Hz), edid-decode prints the rate of its DMT timing (72.808802 Hz).
void ExpectSameTimings(const NamedRates& ours, const NamedRates& theirs) {
  ASSERT_EQ(ours.size(), theirs.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(ours[i].first, theirs[i].first) << i;
    EXPECT_NEAR(ours[i].second, theirs[i].second, 1.0) << ours[i].first;
  }
}

TEST(EdidModelCorpus, AgreesWithEdidDecode) {
  const auto files = test::CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no EDID corpus at " << test::CorpusDir();
  for (const fs::path& file : files) {
    const std::string name = file.filename().string();
    SCOPED_TRACE(name);
    const EdidBytesResult loaded = LoadEdidBytes(file.string());
    ASSERT_TRUE(loaded.ok()) << loaded.message;
    const EdidModel model = DecodeEdidModel(loaded.bytes, loaded.more);
    const json ours = json::parse(FormatEdidFullJson(name, model, CheckEdid(model)));

    fs::path saved = file;
    saved.replace_extension(".edid-decode.txt");
    std::string output = test::ReadText(saved);
    if (name == kOverrunFile) {
      if (!test::HaveEdidDecode()) continue;  // the saved output is cut short
      output = test::EdidDecodeOutput(file.string());
    }
    const test::EdidDecodeReading theirs = test::ReadEdidDecodeOutput(output);
    ExpectSameTimings(ModelTimings(model, false), theirs.established);
    NamedRates standard = ModelTimings(model, true);
    if (name == kNearestDmtFile) standard[1].second = 70.069359;
    ExpectSameTimings(standard, theirs.standard);
    if (name != kOverrunFile) {
      test::ExpectAgreement(ours, theirs.json);
      continue;
    }
    json expected = theirs.json;
    expected["detailed_timings"].push_back(kTimingAtOverrunOffset);
    test::ExpectAgreement(ours, expected);
  }
}

}  // namespace
}  // namespace sc
