// The EDID decoder (ShowEdid, as a device read shows an image) and the .txt and .bin
// readers of "Open file". Byte 0 chooses: 0 decode, 1 text parse, 2 a .txt file,
// 3 a .bin file; the rest is the image or the file.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "edid/edid_decoder.h"
#include "edid/edid_file.h"
#include "fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  sc::EdidImage image;
  image.fill(0xFF);
  switch (data[0] & 3) {
    case 0: {
      for (size_t i = 0; i < rest.size() && i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(rest[i]);
      const sc::EdidTexts texts = sc::ShowEdid(image);
      if (!texts.hex.empty() && texts.hex.size() != 768) sc::fuzz::Fail("hex text not 768");
      break;
    }
    case 1:
      if (sc::ParseEdidText(rest, image) > image.size()) sc::fuzz::Fail("more than 256 numbers");
      break;
    case 2:
    case 3: {
      const std::string path =
          sc::fuzz::WriteScratchFile((data[0] & 3) == 2 ? "in.txt" : "in.bin", rest);
      const sc::EdidLoadResult result = sc::LoadEdidFile(path, image);
      if (!result.ok()) sc::fuzz::Fail("a regular file failed to load");
      sc::ShowEdid(image);
      break;
    }
  }
  return 0;
}
