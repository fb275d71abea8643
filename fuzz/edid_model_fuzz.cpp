// The full EDID decoder over images of 1 to 4 blocks: decoded, checked, written as text and
// as JSON, and compared. Byte 0 chooses the number of blocks (bits 0-1, plus one) and a
// position to change for the comparison (the rest); a shorter input leaves the last block
// cut short. Every item's bytes must lie inside the image, the JSON must parse, an image
// compares equal to itself and unequal to itself with one byte changed.

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <vector>

#include "cli/edid_full_json.h"
#include "edid/edid_checks.h"
#include "edid/edid_diff.h"
#include "edid/edid_full_text.h"
#include "edid/edid_model.h"
#include "fuzz/fuzz_host.h"

namespace {

void CheckSpan(const sc::EdidModel& model, const sc::EdidSpan& span) {
  if (span.offset + span.length > sc::kEdidBlockSize) sc::fuzz::Fail("a span crosses its block");
  if (span.length && span.end() > model.wholeBlocks * sc::kEdidBlockSize)
    sc::fuzz::Fail("a span lies past the decoded blocks");
}

void CheckSpans(const sc::EdidModel& model) {
  for (const sc::EdidBlock& block : model.blocks) {
    if (!block.cta) continue;
    for (const sc::CtaDataBlock& b : block.cta->blocks) {
      CheckSpan(model, b.span);
      if (b.span.end() > size_t{block.index} * 128 + block.cta->dtdOffset &&
          block.cta->dtdOffset >= 4 && block.cta->dtdOffset <= 127)
        sc::fuzz::Fail("a data block read past the DTD offset");
    }
    for (const sc::CtaSvd* svd : block.cta->Svds())
      CheckSpan(model, svd->span);
    for (const sc::EdidDescriptor& d : block.cta->descriptors)
      CheckSpan(model, d.span);
    CheckSpan(model, block.cta->padding);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t blocks = (data[0] & 3) + 1;
  const size_t length = std::min(size - 1, blocks * sc::kEdidBlockSize);
  const std::vector<uint8_t> bytes(data + 1, data + 1 + length);

  const sc::EdidModel model = sc::DecodeEdidModel(bytes);
  CheckSpans(model);
  const std::vector<sc::EdidCheck> checks = sc::CheckEdid(model);
  if (sc::FormatEdidFullText(model, checks).empty()) sc::fuzz::Fail("no text");
  const std::string json = sc::FormatEdidFullJson("in.bin", model, checks);
  if (!nlohmann::json::accept(json)) sc::fuzz::Fail("the JSON does not parse");

  if (!sc::CompareEdids(model, model).equal()) sc::fuzz::Fail("an EDID differs from itself");
  if (bytes.empty()) return 0;
  std::vector<uint8_t> changed = bytes;
  changed[(data[0] >> 2) * 37 % changed.size()] ^= 0x5A;
  const sc::EdidModel other = sc::DecodeEdidModel(changed);
  const sc::EdidComparison comparison = sc::CompareEdids(model, other);
  if (comparison.equal()) sc::fuzz::Fail("a changed byte went unnoticed");
  for (const sc::EdidDifference& d : comparison.differences) {
    // A difference may point at bytes after the last whole block, but never past the bytes.
    for (const sc::EdidSpan& s : d.inA)
      if (s.end() > model.bytes.size()) sc::fuzz::Fail("a difference points past the bytes");
    sc::DifferenceLines(model, other, d);
  }
  if (!nlohmann::json::accept(sc::FormatEdidComparisonJson("a", "b", model, other, comparison)))
    sc::fuzz::Fail("the comparison's JSON does not parse");
  return 0;
}
