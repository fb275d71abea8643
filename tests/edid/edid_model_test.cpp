// The full decoder and its checks over built EDIDs, one row per kind of block or fault:
// what the model holds (with where its bytes lie), which checks fire, and, where the
// reading is the standard's and not a guarded one, that Debian's edid-decode prints the
// same VICs, audio descriptors, speakers, physical address, TMDS limits, EOTFs, 4:2:0 VICs
// and detailed timings.

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "cli/edid_full_json.h"
#include "edid/edid_checks.h"
#include "edid/edid_full_text.h"
#include "edid/edid_model.h"
#include "edid/edid_names.h"
#include "sim/box_edids.h"
#include "tests/edid/edid_builder.h"
#include "tests/edid/edid_decode_facts.h"
#include "tests/support/temp_dir.h"

namespace sc {
namespace {

using Bytes = std::vector<uint8_t>;
using test::DetailedTiming;
using test::EdidBuilder;

Bytes Of(const EdidImage& image) {
  return Bytes(image.begin(), image.end());
}

// The base block of an image.
Bytes BaseOnly(const EdidImage& image) {
  return Bytes(image.begin(), image.begin() + 128);
}

// A 128-byte block starting with `head`, its checksum fixed.
Bytes Block(Bytes head) {
  head.resize(128, 0);
  unsigned sum = 0;
  for (size_t i = 0; i < 127; ++i)
    sum += head[i];
  head[127] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
  return head;
}

// An image with more blocks after its first two; byte 126 and block 0's checksum follow.
Bytes WithBlocks(Bytes bytes, const std::vector<Bytes>& more) {
  for (const Bytes& block : more)
    bytes.insert(bytes.end(), block.begin(), block.end());
  bytes[126] = static_cast<uint8_t>(bytes.size() / 128 - 1);
  bytes[127] = 0;
  unsigned sum = 0;
  for (size_t i = 0; i < 127; ++i)
    sum += bytes[i];
  bytes[127] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
  return bytes;
}

bool HasCheck(const std::vector<EdidCheck>& checks, EdidSeverity severity,
              const std::string& part) {
  for (const EdidCheck& check : checks)
    if (check.severity == severity && check.text.find(part) != std::string::npos) return true;
  return false;
}

std::string Texts(const std::vector<EdidCheck>& checks) {
  std::string text;
  for (const EdidCheck& check : checks)
    text += std::string(SeverityName(check.severity)) + ": " + check.text + "\n";
  return text;
}

const CtaDataBlock& DataBlock(const EdidModel& model, size_t index, size_t extension = 1) {
  return model.blocks.at(extension).cta->blocks.at(index);
}

std::vector<int> Vics(const std::vector<CtaSvd>& svds) {
  std::vector<int> vics;
  for (const CtaSvd& svd : svds)
    vics.push_back(svd.vic);
  return vics;
}

// A base block with a monitor name (an EDID 1.3 without one gets a warning).
EdidBuilder Sink() {
  return EdidBuilder().Name(108, "SINK");
}

// The HDMI block used where a row needs an HDMI sink: 1.0.0.0, 300 MHz.
const Bytes kHdmi = {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C};

struct Row {
  const char* name;
  Bytes bytes;
  // The standard's own reading, which edid-decode also gives: compared with it.
  bool edidDecodeAgrees;
  std::function<void(const EdidModel&, const std::vector<EdidCheck>&)> expect;
};

std::vector<Row> Rows() {
  std::vector<Row> rows;
  rows.push_back(
      {"video: native flags on VICs 1-64 only, reserved bytes 0x00 and 0x80, unknown VICs",
       Of(Sink().Block(2, {0x00, 0x81, 0xC0, 0x41, 0x7F, 0x80, 0xC1, 0xDB, 0xDC, 0xFF}).Build()),
       true, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         const auto& svds = std::get<CtaVideoBlock>(DataBlock(m, 0).contents).svds;
         EXPECT_EQ(Vics(svds), (std::vector<int>{0, 1, 64, 65, 127, 0, 193, 219, 220, 255}));
         EXPECT_TRUE(svds[1].native && svds[2].native);
         EXPECT_FALSE(svds[3].native || svds[6].native || svds[8].native);
         EXPECT_EQ(svds[4].span, (EdidSpan{1, 9, 1}));
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Warning, "holds the reserved byte 0x00"));
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Warning, "holds the reserved byte 0x80"));
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Warning, "lists VIC 220, which"));
         EXPECT_FALSE(HasCheck(checks, EdidSeverity::Warning, "VIC 219,"));
       }});
  rows.push_back(
      {"audio: LPCM sizes, bit rates of formats 2-8, the byte of formats 9-14, extended types",
       Of(Sink()
              .Block(1, {0x0F, 0x7F, 0x07, 0x15, 0x07, 0x50, 0x3D, 0x1F, 0xC0, 0x4D,
                         0x02, 0x00, 0x57, 0x06, 0x03, 0x5F, 0x7E, 0x01, 0x67, 0x7E,
                         0x00, 0x71, 0x07, 0x03, 0x7F, 0x07, 0x37, 0x7D, 0x06, 0x6F})
              .Build()),
       true, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         const auto& sads = std::get<CtaAudioBlock>(DataBlock(m, 0).contents).sads;
         ASSERT_EQ(sads.size(), 10u);
         EXPECT_EQ(SadSummary(sads[0]),
                   "Linear PCM: 8 channels; 32 44.1 48 88.2 96 176.4 192 kHz; 16 20 24 bits");
         EXPECT_EQ(SadSummary(sads[1]), "AC-3: 6 channels; 32 44.1 48 kHz; max 640 kb/s");
         EXPECT_EQ(sads[2].maxBitrateKbps, 1536);  // DTS
         EXPECT_EQ(
             SadSummary(sads[5]),
             "DTS-HD: 8 channels; 44.1 48 88.2 96 176.4 192 kHz; format-dependent value 0x01");
         EXPECT_EQ(SadSummary(sads[7]), "WMA Pro: 2 channels; 32 44.1 48 kHz; profile 3");
         EXPECT_EQ(SadSummary(sads[8]), "MPEG-4 AAC LC: 8 channels; 32 44.1 48 kHz; byte 3 0x37");
         EXPECT_EQ(SadSummary(sads[9]), "L-PCM 3D Audio: 6 channels; 44.1 48 kHz; 16 20 24 bits");
         EXPECT_EQ(sads[3].span, (EdidSpan{1, 14, 3}));
         EXPECT_TRUE(checks.empty()) << Texts(checks);
       }});
  rows.push_back(
      {"audio: a block of 7 bytes, a reserved format, a descriptor without rates",
       Of(Sink().Block(1, {0x09, 0x00, 0x07, 0x00, 0x00, 0x00, 0x15}).Build()), false,
       [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         const auto& audio = std::get<CtaAudioBlock>(DataBlock(m, 0).contents);
         EXPECT_EQ(audio.sads.size(), 2u);
         EXPECT_EQ(audio.leftover, 1);
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Warning, "7 bytes long, not a multiple of 3"));
         EXPECT_TRUE(
             HasCheck(checks, EdidSeverity::Warning, "LPCM audio descriptor lists no sample rate"));
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Warning, "reserved format code 0"));
       }});
  rows.push_back({"speakers: every defined bit", Of(Sink().Block(4, {0xFF, 0xFF, 0x1F}).Build()),
                  true, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
                    EXPECT_EQ(std::get<CtaSpeakerBlock>(DataBlock(m, 0).contents).mask, 0x1FFFFFu);
                    EXPECT_TRUE(checks.empty()) << Texts(checks);
                  }});
  // edid-decode leaves out a speaker block of another length than 3; it is read here.
  rows.push_back({"speakers: a block of 2 bytes", Of(Sink().Block(4, {0x07, 0x00}).Build()), false,
                  [](const EdidModel&, const std::vector<EdidCheck>& checks) {
                    EXPECT_TRUE(HasCheck(checks, EdidSeverity::Warning, "2 bytes long, not 3"));
                  }});
  rows.push_back(
      {"HDMI: address, flags, TMDS, latencies, HDMI VICs, 3D for all, a mask and two SVDs",
       Of(Sink()
              .Block(2, {0x90, 0x04, 0x05})
              .Block(3, {0x03, 0x0C, 0x00, 0x12, 0x34, 0xF9, 0x3C, 0xE3, 0x0A, 0x15, 0x1F, 0x29,
                         0xD0, 0x47, 0x01, 0x04, 0x01, 0x41, 0x00, 0x03, 0x00, 0x18, 0x10})
              .Build()),
       true, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         const CtaDataBlock& block = DataBlock(m, 1);
         EXPECT_EQ(block.name, "Vendor-Specific Data Block (HDMI)");
         EXPECT_EQ(block.oui, 0x000C03u);
         const auto& h = std::get<HdmiVsdb>(block.contents);
         EXPECT_EQ(PhysicalAddressText(*h.physicalAddress), "1.2.3.4");
         EXPECT_EQ(h.physicalAddressSpan, (EdidSpan{1, 12, 2}));
         EXPECT_EQ(*h.flags, 0xF9);
         EXPECT_EQ(*h.maxTmdsMhz, 300);
         EXPECT_EQ(h.maxTmdsSpan, (EdidSpan{1, 15, 1}));
         EXPECT_EQ(*h.videoLatency, 0x0A);
         EXPECT_EQ(*h.interlacedAudioLatency, 0x29);
         ASSERT_EQ(h.hdmiVics.size(), 2u);
         EXPECT_EQ(h.hdmiVics[1].vic, 4);
         EXPECT_EQ(*h.structureAll, 0x0141);
         EXPECT_EQ(*h.mask, 0x0003);
         ASSERT_EQ(h.structures.size(), 2u);
         EXPECT_EQ(h.structures[1].svdIndex, 1);
         EXPECT_EQ(h.structures[1].structure, 8);
         EXPECT_EQ(h.structures[1].detail, 1);
         EXPECT_EQ(h.structures[1].span, (EdidSpan{1, 30, 2}));
         EXPECT_FALSE(h.listsCut);
         EXPECT_TRUE(checks.empty()) << Texts(checks);
         const std::string text = FormatEdidFullText(m, checks);
         for (const char* line :
              {"    Physical address: 1.2.3.4\n",
               "    Supports_AI, DC_48bit, DC_36bit, DC_30bit, DC_Y444, DVI_Dual\n",
               "    Latency: video 18 ms, audio 40 ms\n",
               "    HDMI VIC 4: 4096x2160p 24 Hz 256:135, 297 MHz\n",
               "    3D formats for every listed VIC: frame packing, top-and-bottom, "
               "side-by-side (half)\n",
               "    3D for SVD 2 (VIC 4): side-by-side (half), detail 1\n"})
           EXPECT_NE(text.find(line), std::string::npos) << line << text;
       }});
  rows.push_back(
      {"HDMI: a block with its OUI only", Of(Sink().Block(3, {0x03, 0x0C, 0x00}).Build()), true,
       [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         EXPECT_FALSE(std::get<HdmiVsdb>(DataBlock(m, 0).contents).physicalAddress);
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error, "too short for the physical address"));
       }});
  rows.push_back(
      {"HDMI: three HDMI VICs claimed, one present",
       Of(Sink()
              .Block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C, 0x20, 0x00, 0x60, 0x01})
              .Build()),
       false, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         const auto& h = std::get<HdmiVsdb>(DataBlock(m, 0).contents);
         EXPECT_EQ(h.hdmiVicLength, 3);
         EXPECT_EQ(h.hdmiVics.size(), 1u);
         EXPECT_TRUE(h.listsCut);
         EXPECT_TRUE(
             HasCheck(checks, EdidSeverity::Warning, "claim more bytes than the block holds"));
       }});
  rows.push_back({"HDMI Forum: the vendor block and the sink capability block",
                  Of(Sink()
                         .Block(3, kHdmi)
                         .Block(3, {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x80, 0x33, 0x02, 0x14, 0x78})
                         .ExtendedBlock(0x79, {0x00, 0x00, 0x01, 0x64, 0x80})
                         .Build()),
                  true, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
                    const auto& f = std::get<HdmiForumVsdb>(DataBlock(m, 1).contents);
                    EXPECT_EQ(f.version, 1);
                    EXPECT_EQ(f.maxTmdsCharacterRateMhz, 600);
                    EXPECT_EQ(f.maxRateSpan, (EdidSpan{1, 17, 1}));
                    EXPECT_EQ(f.maxFrlRate(), 3u);
                    EXPECT_EQ(f.vrrMin(), 20u);
                    EXPECT_EQ(f.vrrMax(), 120u);
                    const auto& scdb = std::get<HdmiForumVsdb>(DataBlock(m, 2).contents);
                    EXPECT_EQ(DataBlock(m, 2).name, "HDMI Forum Sink Capability Data Block");
                    EXPECT_EQ(scdb.maxTmdsCharacterRateMhz, 500);
                    EXPECT_TRUE(checks.empty()) << Texts(checks);
                  }});
  rows.push_back(
      {"video capability, colorimetry and HDR static metadata with luminance",
       Of(Sink()
              .ExtendedBlock(0, {0x4A})
              .ExtendedBlock(5, {0xC1, 0x81})
              .ExtendedBlock(6, {0x0D, 0x01, 0x78, 0x64, 0x20})
              .Build()),
       true, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         EXPECT_EQ(std::get<CtaVideoCapabilityBlock>(DataBlock(m, 0).contents).flags, 0x4A);
         EXPECT_EQ(std::get<CtaColorimetryBlock>(DataBlock(m, 1).contents).colorimetry, 0xC1);
         const auto& hdr = std::get<CtaHdrStaticBlock>(DataBlock(m, 2).contents);
         EXPECT_EQ(hdr.eotfs, 0x0D);
         EXPECT_NEAR(HdrMaxLuminance(*hdr.maxLuminance), 672.717, 0.001);
         EXPECT_NEAR(HdrMinLuminance(*hdr.maxLuminance, *hdr.minLuminance), 0.106, 0.001);
         const std::string text = FormatEdidFullText(m, checks);
         for (const char* line :
              {"    RGB quantization: selectable\n", "    IT scan: always underscanned\n",
               "    xvYCC601, BT2020YCC, BT2020RGB, MD0, ST2113RGB\n",
               "    Max luminance: 672.717 cd/m2 (code 120)\n"})
           EXPECT_NE(text.find(line), std::string::npos) << line << text;
         EXPECT_TRUE(checks.empty()) << Texts(checks);
       }});
  rows.push_back({"4:2:0: a video block and a capability map over the SVDs, within the TMDS limit",
                  Of(Sink()
                         .Block(2, {0x10, 0x04, 0x61})
                         .Block(3, kHdmi)
                         .ExtendedBlock(14, {0x60, 0x66})
                         .ExtendedBlock(15, {0x05})
                         .Build()),
                  true, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
                    EXPECT_EQ(Vics(std::get<CtaY420VideoBlock>(DataBlock(m, 2).contents).svds),
                              (std::vector<int>{96, 102}));
                    const auto& map = std::get<CtaY420MapBlock>(DataBlock(m, 3).contents);
                    EXPECT_TRUE(map.Has(0) && !map.Has(1) && map.Has(2));
                    EXPECT_EQ(map.span, (EdidSpan{1, 22, 1}));
                    EXPECT_TRUE(checks.empty()) << Texts(checks);
                  }});
  rows.push_back(
      {"4:2:0: a map marking SVD 4 of 3, a map without a video block",
       WithBlocks(Of(Sink()
                         .Block(2, {0x10, 0x04, 0x61})
                         .Block(3, kHdmi)
                         .ExtendedBlock(15, {0x09})
                         .Build()),
                  {Block({0x02, 0x03, 0x0F, 0x00, 0xE2, 0x0F, 0x01, 0x67, 0x03, 0x0C, 0x00, 0x10,
                          0x00, 0x00, 0x3C})}),
       true, [](const EdidModel&, const std::vector<EdidCheck>& checks) {
         EXPECT_TRUE(HasCheck(
             checks, EdidSeverity::Error,
             "Block 1: the YCbCr 4:2:0 Capability Map marks SVD 4, but the video block holds 3"));
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error,
                              "Block 2: a YCbCr 4:2:0 Capability Map without a Video Data Block"));
       }});
  rows.push_back(
      {"4:2:0: a map longer than the video block needs",
       Of(Sink().Block(2, {0x10}).Block(3, kHdmi).ExtendedBlock(15, {0x01, 0x00}).Build()), true,
       [](const EdidModel&, const std::vector<EdidCheck>& checks) {
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Warning, "has 2 bytes; 1 SVDs need 1"));
       }});
  rows.push_back(
      {"a data block running past the DTD offset: read up to the offset, the DTDs from it",
       Of(Sink()
              .Block(2, {0x10, 0x04})
              .Block(3,
                     {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x3C, 0x20, 0x00, 0x60, 0x01, 0x02, 0x03})
              .ExtensionTiming({7425, 1280, 370, 720, 30})
              .Set(130, 17)
              .Build()),
       false, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         const CtaDataBlock& block = DataBlock(m, 1);
         EXPECT_EQ(block.cut, CtaDataBlock::Cut::PastDtdOffset);
         EXPECT_EQ(block.claimedLength, 13);
         EXPECT_EQ(block.span, (EdidSpan{1, 7, 10}));
         EXPECT_EQ(*std::get<HdmiVsdb>(block.contents).maxTmdsMhz, 300);
         EXPECT_EQ(m.blocks[1].cta->descriptors.at(0).span.offset, 17);
         EXPECT_TRUE(HasCheck(
             checks, EdidSeverity::Error,
             "Block 1: the Vendor-Specific Data Block (HDMI) at offset 0x07 claims 13 bytes and "
             "runs 4 bytes past the DTD offset 0x11."));
       }});
  rows.push_back(
      {"a DTD offset past the block: blocks read up to the checksum, a block claiming more",
       Of(Sink()
              .Block(2, {0x10})
              .Set(130, 0xC8)
              .Set(134, 0x5F)
              .Set(166, 0x5F)
              .Set(198, 0x5F)
              .Set(230, 0x5F)
              .Build()),
       false, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         const auto& blocks = m.blocks[1].cta->blocks;
         ASSERT_FALSE(blocks.empty());
         EXPECT_EQ(blocks.back().cut, CtaDataBlock::Cut::PastBlockEnd);
         EXPECT_EQ(blocks.back().span.end() % 128, 127u);
         EXPECT_TRUE(m.blocks[1].cta->descriptors.empty());
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error, "is 200, past the end of the block"));
         EXPECT_TRUE(
             HasCheck(checks, EdidSeverity::Error, "claims 31 bytes, more than the block holds"));
       }});
  rows.push_back(
      {"a DTD offset inside the header", Of(Sink().Cea().Set(130, 2).Build()), false,
       [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         EXPECT_TRUE(m.blocks[1].cta->blocks.empty());
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error, "is 2, inside the extension's header"));
       }});
  rows.push_back(
      {"blocks cut short: an extended tag without its tag, a vendor block without its OUI, "
       "an HDR block without its metadata byte",
       Of(Sink().Block(7, {}).Block(3, {0x03, 0x0C}).ExtendedBlock(6, {0x05}).Build()), false,
       [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         EXPECT_EQ(DataBlock(m, 0).extendedTag, -1);
         EXPECT_FALSE(DataBlock(m, 1).oui);
         EXPECT_EQ(DataBlock(m, 2).kind, CtaBlockKind::Other);
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error, "has tag 7 but no extended tag"));
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error, "too short for its OUI"));
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error,
                              "HDR Static Metadata Data Block at offset 0x08 is too short"));
       }});
  rows.push_back(
      {"blocks nobody here decodes: kept with their names and bytes",
       Of(Sink()
              .Block(0, {0x01})
              .Block(6, {0x02, 0x03})
              .Block(5, {0x04})
              .ExtendedBlock(0x20, {0x01, 0x02, 0x03})
              .ExtendedBlock(0x42, {0xAA})
              .ExtendedBlock(1, {0x8B, 0x84, 0x90, 0x01})
              .Build()),
       true, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         const std::string text = FormatEdidFullText(m, checks);
         for (const char* line :
              {"  Reserved Data Block (tag 0) (offset 0x04, 2 bytes)\n    Bytes: 01\n",
               "  Reserved Data Block (tag 6) (offset 0x06, 3 bytes)\n    Bytes: 02 03\n",
               "  VESA Display Transfer Characteristics Data Block (offset 0x09, 2 bytes)\n",
               "  InfoFrame Data Block (offset 0x0B, 5 bytes)\n    Bytes: 01 02 03\n",
               "  Reserved Data Block (extended tag 66) (offset 0x10, 3 bytes)\n    Bytes: AA\n",
               "  Vendor-Specific Video Data Block (HDR10+) (offset 0x13, 6 bytes)\n"
               "    OUI: 90-84-8B\n    Bytes: 01\n"})
           EXPECT_NE(text.find(line), std::string::npos) << line << text;
       }});
  rows.push_back(
      {"detailed timings: interlaced, zero sizes, porches longer than the blanking",
       Of(Sink()
              .Timing(72, {7425, 1920, 280, 540, 22, true})
              .Timing(90, {7425, 0, 280, 720, 30})
              .ExtensionTiming({2700, 720, 10, 480, 45})
              .Set(132 + 8, 50)
              .Build()),
       false, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         const auto timings = m.DetailedTimings();
         ASSERT_EQ(timings.size(), 4u);
         EXPECT_EQ(DetailedTimingSummary(*timings[1]), "1920x1080i 60 Hz, 74.25 MHz");
         EXPECT_EQ(timings[3]->span, (EdidSpan{1, 4, 18}));
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error,
                              "Block 0: detailed timing 3 has a zero size (0x720)"));
         EXPECT_TRUE(
             HasCheck(checks, EdidSeverity::Warning,
                      "Block 1: detailed timing 4 (720x480): the front porch and sync are longer"));
       }});
  rows.push_back(
      {"descriptors: name, serial and data strings, range limits, standard timings, "
       "established timings III",
       Of(Sink()
              .Name(72, "TV")
              .Descriptor(90, 0xFF, {'S', 'N', '1', 0x0A})
              .Descriptor(108, 0xF7, {0x0A, 0x80, 0x01, 0x00, 0x00, 0x82, 0x00})
              .Set(38, 0xD1)
              .Set(39, 0xC0)
              .Set(35, 0x21)
              .Build()),
       true, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         EXPECT_EQ(*m.MonitorName(), "TV");
         EXPECT_EQ(m.base.descriptors[2].text, "SN1");
         const auto& iii = m.base.descriptors[3].established;
         ASSERT_EQ(iii.size(), 4u);
         EXPECT_EQ(NamedTimingText(iii[0]), "640x350 85 Hz");
         EXPECT_EQ(NamedTimingText(iii[1]), "1280x1024 85 Hz");
         EXPECT_EQ(NamedTimingText(iii[2]), "1600x1200 75 Hz");
         EXPECT_EQ(NamedTimingText(iii[3]), "1920x1200 60 Hz RB");
         ASSERT_EQ(m.base.standard.size(), 1u);
         EXPECT_EQ(NamedTimingText(m.base.standard[0].timing), "1920x1080 60 Hz");
         const std::string text = FormatEdidFullText(m, checks);
         EXPECT_NE(text.find("Established timings: 640x480 60 Hz, 800x600 60 Hz\n"),
                   std::string::npos);
       }});
  rows.push_back(
      {"range limits with the EDID 1.4 offsets, a name with a control byte",
       Of(Sink()
              .Set(19, 4)
              .Name(72, "TV\x01")
              .Descriptor(108, 0xFD, {0x01, 0x2C, 0x1E, 0x46, 0x78, 0x01})
              .Set(112, 0x02)
              .Build()),
       false, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         const EdidRangeLimits& r = m.base.descriptors[3].range;
         EXPECT_EQ(r.vMinHz, 1);
         EXPECT_EQ(r.vMaxHz, 299);
         EXPECT_EQ(r.hMaxKhz, 70);
         EXPECT_EQ(r.hMinKhz, 30);
         EXPECT_EQ(r.maxClockMhz, 1200);
         const std::string text = FormatEdidFullText(m, checks);
         EXPECT_NE(text.find("monitor name \"TV\\x01\""), std::string::npos) << text;
         EXPECT_NE(
             text.find("range limits: vertical 1-299 Hz, horizontal 30-70 kHz, max pixel clock "
                       "1200 MHz, range limits only"),
             std::string::npos)
             << text;
       }});
  rows.push_back({"an HDMI sink without its HDMI block: an HDMI Forum block alone",
                  Of(Sink().Block(3, {0xD8, 0x5D, 0xC4, 0x01, 0x78, 0x00}).Build()), true,
                  [](const EdidModel&, const std::vector<EdidCheck>& checks) {
                    EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error,
                                         "without the HDMI Vendor-Specific Data Block"));
                  }});
  rows.push_back({"an HDMI sink without its HDMI block: an EDID 1.4 HDMI-a interface",
                  Of(Sink().Set(19, 4).Set(20, 0xB2).Block(2, {0x10}).Build()), false,
                  [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
                    EXPECT_EQ(EdidInputText(m.base), "digital, 10 bits per colour, HDMI-a");
                    EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error,
                                         "without the HDMI Vendor-Specific Data Block"));
                  }});
  rows.push_back({"a TMDS limit below the formats listed, 4:2:0 needing half",
                  Of(Sink()
                         .Block(2, {0x10, 0x04, 0x61})
                         .Block(3, {0x03, 0x0C, 0x00, 0x10, 0x00, 0x00, 0x14})
                         .ExtendedBlock(15, {0x04})
                         .Build()),
                  true, [](const EdidModel&, const std::vector<EdidCheck>& checks) {
                    EXPECT_TRUE(HasCheck(
                        checks, EdidSeverity::Warning,
                        "Block 1: VIC 97 (3840x2160p 60 Hz 16:9, 594 MHz) needs more than the 100 "
                        "MHz the sink takes (its max TMDS clock) (2 VICs in all)."))
                        << Texts(checks);
                  }});
  rows.push_back({"a CTA revision 1: no data blocks, the bytes before the DTD offset kept",
                  Of(Sink().Block(2, {0x10}).Set(129, 1).ExtensionTiming({}).Build()), true,
                  [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
                    EXPECT_TRUE(m.blocks[1].cta->blocks.empty());
                    EXPECT_EQ(m.blocks[1].cta->reserved, (EdidSpan{1, 4, 2}));
                    EXPECT_TRUE(HasCheck(checks, EdidSeverity::Warning,
                                         "revision 1 has no data blocks, yet 2 bytes"));
                  }});
  rows.push_back(
      {"header and checksums wrong",
       Of(Sink().Block(2, {0x10}).Set(1, 0x00).KeepChecksums().Build()), false,
       [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         EXPECT_FALSE(m.base.headerOk);
         EXPECT_FALSE(m.blocks[0].checksumOk);
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error, "Block 0: the header is not"));
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error, "Block 0: the checksum 0x00 is wrong"));
         EXPECT_TRUE(HasCheck(checks, EdidSeverity::Error, "Block 1: the checksum 0x00 is wrong"));
       }});
  rows.push_back(
      {"four blocks: two CTA extensions around a DisplayID block",
       WithBlocks(Of(Sink().Block(2, {0x10}).Build()),
                  {Block({0x70, 0x12, 0x00}), Block({0x02, 0x03, 0x06, 0x00, 0x41, 0x04})}),
       true, [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
         ASSERT_EQ(m.blocks.size(), 4u);
         EXPECT_EQ(m.blocks[2].name, "DisplayID extension");
         EXPECT_FALSE(m.blocks[2].cta);
         EXPECT_EQ(m.CtaExtensions().size(), 2u);
         const std::string text = FormatEdidFullText(m, checks);
         EXPECT_NE(
             text.find("Block 2: DisplayID extension\n  Bytes (not decoded):\n    00: 70 12 00"),
             std::string::npos)
             << text;
       }});
  rows.push_back({"byte 126 against the blocks present",
                  WithBlocks(BaseOnly(Sink().Build()), {Block({0x02, 0x03, 0x04})}), true,
                  [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
                    EXPECT_EQ(m.wholeBlocks, 2u);
                    EXPECT_TRUE(checks.empty()) << Texts(checks);
                  }});
  rows.push_back({"byte 126 declaring more blocks than follow",
                  Of(Sink().Cea().Set(126, 3).Build()), false,
                  [](const EdidModel&, const std::vector<EdidCheck>& checks) {
                    EXPECT_TRUE(HasCheck(
                        checks, EdidSeverity::Error,
                        "Byte 126 declares 3 extension blocks, but 1 follows the base block."));
                  }});
  rows.push_back({"byte 126 declaring fewer blocks than follow",
                  Of(Sink().Cea().Set(126, 0).Build()), false,
                  [](const EdidModel&, const std::vector<EdidCheck>& checks) {
                    EXPECT_TRUE(HasCheck(
                        checks, EdidSeverity::Warning,
                        "Byte 126 declares 0 extension blocks, but 1 follows the base block."));
                  }});
  rows.push_back({"less than a block", Bytes(100, 0xFF), false,
                  [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
                    EXPECT_EQ(m.wholeBlocks, 0u);
                    EXPECT_EQ(checks,
                              (std::vector<EdidCheck>{
                                  {EdidSeverity::Error,
                                   "The EDID holds 100 bytes, less than one 128-byte block."}}));
                  }});
  rows.push_back({"bytes after the last whole block",
                  [] {
                    Bytes bytes = Of(Sink().Build());
                    bytes.resize(128 + 72, 0xFF);
                    return bytes;
                  }(),
                  false,
                  [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
                    EXPECT_EQ(m.wholeBlocks, 1u);
                    EXPECT_EQ(m.trailingBytes, 72u);
                    EXPECT_TRUE(HasCheck(checks, EdidSeverity::Warning,
                                         "72 bytes after the last whole block"));
                  }});
  rows.push_back({"more than 32 blocks", Bytes(33 * 128, 0), false,
                  [](const EdidModel& m, const std::vector<EdidCheck>& checks) {
                    EXPECT_EQ(m.wholeBlocks, 32u);
                    EXPECT_TRUE(HasCheck(checks, EdidSeverity::Warning,
                                         "more than 32 blocks; only the first 32"));
                  }});
  return rows;
}

TEST(EdidModel, BuiltEdidsOfEveryKindOfBlock) {
  const bool edidDecode = test::HaveEdidDecode();
  TempDir dir;
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    const EdidModel model = DecodeEdidModel(row.bytes);
    const std::vector<EdidCheck> checks = CheckEdid(model);
    row.expect(model, checks);
    // The text and the JSON forms are made for every row.
    EXPECT_FALSE(FormatEdidFullText(model, checks).empty());
    const nlohmann::json ours = nlohmann::json::parse(FormatEdidFullJson("x.bin", model, checks));
    if (!row.edidDecodeAgrees || !edidDecode) continue;
    const std::string path = dir / "row.bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(row.bytes.data()),
               static_cast<std::streamsize>(row.bytes.size()));
    test::ExpectAgreement(ours, test::ReadEdidDecodeOutput(test::EdidDecodeOutput(path)).json);
  }
}

// The box's own presets pass edid-decode's conformity check (tests/sim): no check fires.
TEST(EdidModel, TheBoxsPresetsPassEveryCheck) {
  for (int preset = 0; preset < kBuiltInEdidCount; ++preset) {
    const EdidImage image = BuiltInEdid(preset);
    const std::vector<EdidCheck> checks = CheckEdid(DecodeEdidModel(PageEdidBytes(image)));
    EXPECT_TRUE(checks.empty()) << "preset " << preset << "\n" << Texts(checks);
  }
}

// The page's image: the base block alone when byte 126 says so, both blocks otherwise.
TEST(EdidModel, ThePagesImageIsDecodedAsFarAsItsEdidGoes) {
  EdidImage image = Sink().Cea().Build();
  EXPECT_EQ(PageEdidBytes(image).size(), 256u);
  image[126] = 0;
  EXPECT_EQ(PageEdidBytes(image).size(), 128u);
  image[126] = 5;
  EXPECT_EQ(DecodeEdidModel(PageEdidBytes(image)).wholeBlocks, 2u);
}

}  // namespace
}  // namespace sc
