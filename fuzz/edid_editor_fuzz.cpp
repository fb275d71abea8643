// The EDID editor: random edit sequences on random images of 1 to 4 blocks. Byte 0 gives
// the number of blocks (bits 0-1, plus one), byte 1 the number of edits (up to 16); four
// bytes per edit follow (which edit, three parameters), then the image, whose header is
// put in place so that it loads. After every edit: a refused one leaves the bytes as they
// were; a done one keeps the size, every declared block's checksum is right, the bytes
// after the declared blocks are untouched, no data block runs past its DTD offset where
// none did before, and the result decodes, checks and compares.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "edid/edid_checks.h"
#include "edid/edid_diff.h"
#include "edid/edid_editor.h"
#include "edid/edid_model.h"
#include "fuzz/fuzz_host.h"

namespace {

using namespace sc::edid_edit;

sc::EdidEdit MakeEdit(const uint8_t* p) {
  const uint8_t a = p[1], b = p[2], c = p[3];
  switch (p[0] % 21) {
    case 0: {
      std::string text;
      for (int i = 0; i < a % 15; ++i)
        text += static_cast<char>(b + i * c);
      return MonitorName{text};
    }
    case 1:
      return Manufacturer{
          std::string{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c)}};
    case 2:
      return Product{static_cast<uint16_t>(a << 8 | b)};
    case 3:
      return Serial{static_cast<uint32_t>(a << 16 | b << 8 | c)};
    case 4:
      return PreferredVic{a};
    case 5:
      return PreferredTiming{static_cast<size_t>(a % 8)};
    case 6:
      return RemoveVic{a};
    case 7:
      return AddVic{a, (b & 1) != 0};
    case 8:
      return MarkNative{a};
    case 9:
      return MaxClock{static_cast<uint32_t>((a << 8 | b) * 10)};
    case 10: {
      Ycbcr y;
      if (a & 1) y.ycbcr444 = (a & 2) != 0;
      if (a & 4) y.ycbcr422 = (a & 8) != 0;
      return y;
    }
    case 11:
      return RemoveAudio{static_cast<uint8_t>(a % 16)};
    case 12:
      return SetAudio{static_cast<uint8_t>(a % 16), static_cast<uint8_t>(a >> 4), b, c};
    case 13:
      return Speakers{static_cast<uint32_t>(a | b << 8 | c << 16)};
    case 14:
      return PhysicalAddress{{static_cast<uint8_t>(a >> 4), static_cast<uint8_t>(a & 15),
                              static_cast<uint8_t>(b >> 4), static_cast<uint8_t>(c % 17)}};
    case 15:
      return DeepColour{a};
    case 16:
      return MaxTmds{static_cast<unsigned>(a * 5 + b % 5)};
    case 17:
      return HdmiForumMaxRate{static_cast<unsigned>(a * 5)};
    case 18:
      return RemoveHdmiForum{};
    case 19:
      return RemoveHdr{};
    default:
      return HdrEotfs{a};
  }
}

bool ChecksumRight(const std::vector<uint8_t>& bytes, size_t block) {
  unsigned sum = 0;
  for (size_t i = 0; i < 128; ++i)
    sum += bytes[block * 128 + i];
  return (sum & 0xFF) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t blocks = (data[0] & 3) + 1;
  const size_t edits = std::min<size_t>(data[1], 16);
  size_t at = 2;
  if (size < at + 4 * edits) return 0;
  const uint8_t* ops = data + at;
  at += 4 * edits;
  std::vector<uint8_t> image(data + at, data + std::min(size, at + blocks * 128));
  image.resize(blocks * 128, 0);
  const uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  std::copy(std::begin(header), std::end(header), image.begin());

  sc::EdidEditor editor;
  if (!editor.Load(image)) sc::fuzz::Fail("an image with the header did not load");
  const size_t declared = std::min<size_t>(1 + image[126], blocks);
  for (size_t e = 0; e < edits; ++e) {
    const sc::EdidEdit edit = MakeEdit(ops + 4 * e);
    const std::vector<uint8_t> before = editor.bytes();
    const sc::EdidModel beforeModel = editor.model();
    const sc::EdidEditResult result = editor.Apply(edit);
    if (sc::DescribeEdit(edit).empty()) sc::fuzz::Fail("an edit without words");
    if (!result) {
      if (editor.bytes() != before) sc::fuzz::Fail("a refused edit changed the image");
      if (result.message.empty()) sc::fuzz::Fail("a refusal without a message");
      continue;
    }
    const std::vector<uint8_t>& after = editor.bytes();
    if (after.size() != image.size()) sc::fuzz::Fail("an edit changed the size");
    for (size_t block = 0; block < declared; ++block)
      if (!ChecksumRight(after, block)) sc::fuzz::Fail("a checksum is wrong after an edit");
    if (!std::equal(after.begin() + static_cast<std::ptrdiff_t>(declared * 128), after.end(),
                    image.begin() + static_cast<std::ptrdiff_t>(declared * 128)))
      sc::fuzz::Fail("an edit changed a block past the declared ones");
    const sc::EdidModel& model = editor.model();
    // An edit never damages a collection that was whole.
    auto cut = [](const sc::EdidBlock& block) {
      return block.cta && std::any_of(block.cta->blocks.begin(), block.cta->blocks.end(),
                                      [](const sc::CtaDataBlock& b) {
                                        return b.cut != sc::CtaDataBlock::Cut::None;
                                      });
    };
    for (size_t block = 1; block < declared; ++block)
      if (cut(model.blocks[block]) && !cut(beforeModel.blocks[block]))
        sc::fuzz::Fail("an edit cut a collection short");
    sc::CheckEdid(model);
    sc::CompareEdids(beforeModel, model);
  }
  editor.NewChecks();
  for (const sc::EdidDifference& d : editor.Changes().differences)
    sc::DifferenceLines(editor.originalModel(), editor.model(), d);
  editor.Revert();
  if (editor.bytes() != image) sc::fuzz::Fail("reverting did not give the image back");
  return 0;
}
