// The InfoFrame decoder and its texts. The first 8 bytes make the measured signal (width,
// height, rate, scan, pixel repetition, colour space, sample rate, channels), the rest is
// the 0x8092 payload. Whatever the bytes: every text is free of control characters, the
// checksum verdict is the byte sum's, and the rows are the headline and one per field.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/fuzz_host.h"
#include "infoframe/infoframe_decoder.h"

namespace {

void CheckText(const std::string& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      sc::fuzz::Fail("a control character in a text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  sc::MeasuredSignal m;
  m.width = data[0] * 16;
  m.height = data[1] * 16;
  m.fieldRateHz = data[2] / 2.0;
  m.interlaced = data[3] & 1;
  m.pixelRepetition = (data[3] >> 1) & 3;
  m.colourSpace = static_cast<int>(data[4] % 5) - 1;
  m.sampleRateCode = data[5] % 8;
  m.channelCount = data[6] % 9;
  const bool withSignal = data[7] & 1;
  const std::span<const uint8_t> payload(data + 8, size - 8);

  const sc::InfoFrameDecode d = sc::DecodeInfoFrame(payload, withSignal ? &m : nullptr);
  for (const sc::InfoFrameField& f : d.fields) {
    CheckText(f.label);
    CheckText(f.text);
    if (const auto* s = std::get_if<std::string>(&f.value)) CheckText(*s);
  }
  for (const sc::InfoFrameCheck& c : d.checks)
    CheckText(c.text);
  if (sc::DecodedRows(d).size() != d.fields.size() + 1) sc::fuzz::Fail("rows and fields differ");
  for (const std::string& row : sc::CheckRows(d))
    CheckText(row);

  if (d.kind == sc::InfoFrameDecode::Kind::InfoFrame && payload.size() >= 4 &&
      payload.size() >= 4u + payload[2]) {
    if (!d.checksum) sc::fuzz::Fail("a whole InfoFrame without its checksum verdict");
    unsigned sum = 0;
    for (size_t i = 0; i < 4u + payload[2]; ++i)
      sum += payload[i];
    if (d.checksum->ok != ((sum & 0xFF) == 0)) sc::fuzz::Fail("a checksum verdict against the sum");
  }
  return 0;
}
