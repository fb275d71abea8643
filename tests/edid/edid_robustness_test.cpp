// Random and truncated input for the decoder and the file readers. Nothing is asserted
// about the texts beyond their shape: the point is that no input makes them read outside
// the image or the text (the sanitizer build turns such a read into a failure).

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "edid/edid_decoder.h"
#include "edid/edid_file.h"
#include "tests/edid/edid_builder.h"

namespace sc {
namespace {

using Random = std::mt19937;

uint8_t RandomByte(Random& random) {
  return static_cast<uint8_t>(random() & 0xFF);
}

// A CEA-looking image: right header, extension tag 2, a random chain of data blocks (with
// lengths that may run past d or the image) and random bytes elsewhere.
EdidImage RandomCeaImage(Random& random) {
  EdidImage image;
  for (auto& byte : image)
    byte = RandomByte(random);
  const EdidImage valid = test::EdidBuilder().Cea().Build();
  for (size_t i = 0; i < 8; ++i)
    image[i] = valid[i];
  image[126] = static_cast<uint8_t>(random() % 3);
  image[128] = 2;
  image[130] = static_cast<uint8_t>(random() % 3 == 0 ? RandomByte(random) : 100 + random() % 28);
  for (size_t at = 132; at < 256;) {
    const uint8_t length = static_cast<uint8_t>(random() % 32);
    image[at] = static_cast<uint8_t>((random() % 8) << 5 | length);
    at += length + 1u;
  }
  return image;
}

void CheckShape(const EdidImage& image) {
  const EdidTexts texts = ShowEdid(image);
  if (!EdidHeaderOk(image)) {
    ASSERT_EQ(texts.status, "EDID data header error !");
    ASSERT_TRUE(texts.hex.empty() && texts.video.empty() && texts.audio.empty() &&
                texts.general.empty());
  } else {
    ASSERT_EQ(texts.hex.size(), 768u);
    for (const std::string* report : {&texts.video, &texts.audio, &texts.general}) {
      ASSERT_GE(report->size(), 2u);
      ASSERT_EQ(report->substr(report->size() - 2), "\r\n");
    }
  }
  // The page's own path after "Open file": no header test.
  for (const EdidSection section : {EdidSection::Video, EdidSection::Audio, EdidSection::General}) {
    std::string text;
    DecodeEdid(image, section, text);
    ASSERT_FALSE(text.empty());
  }
}

TEST(EdidRobustness, RandomImages) {
  for (uint32_t seed = 0; seed < 3000; ++seed) {
    Random random(seed);
    EdidImage image;
    switch (seed % 3) {
      case 0:  // anything
        for (auto& byte : image)
          byte = RandomByte(random);
        break;
      case 1:  // a good header, then anything
        for (auto& byte : image)
          byte = RandomByte(random);
        for (size_t i = 0; i < 8; ++i)
          image[i] = (i == 0 || i == 7) ? 0x00 : 0xFF;
        break;
      default:
        image = RandomCeaImage(random);
    }
    SCOPED_TRACE(seed);
    CheckShape(image);
  }
}

TEST(EdidRobustness, TruncatedImages) {
  // A rich image cut short the way a short .bin file is: the rest reads as 0xFF (or 0x00).
  const EdidImage full =
      test::EdidBuilder()
          .Name(72, "TRUNCATED")
          .RangeLimits(90, 24, 75, 30, 160, 60)
          .Cea()
          .Block(2, {0x90, 0x04, 0x13, 0x10})
          .Block(1, {0x09, 0x07, 0x07, 0x15, 0x07, 0x50})
          .Block(3, {3, 0x0C, 0, 0x10, 0, 0x78, 0x2D, 0xE0, 1, 2, 3, 4, 0x80, 0x60, 1, 2, 3})
          .ExtendedBlock(15, {0xFF, 0xFF})
          .ExtensionTiming({})
          .Build();
  for (size_t cut = 0; cut <= 256; ++cut) {
    for (const uint8_t fill : {uint8_t{0xFF}, uint8_t{0x00}}) {
      EdidImage image = full;
      for (size_t i = cut; i < 256; ++i)
        image[i] = fill;
      SCOPED_TRACE(cut);
      CheckShape(image);
    }
  }
}

TEST(EdidRobustness, RandomAndTruncatedText) {
  static constexpr char kAlphabet[] = " \t\r\n\v0123456789abcdefABCDEFxX+-gz,\x00\xff";
  const std::string valid = FormatEdidTextFile(test::EdidBuilder().Cea().Build());
  for (uint32_t seed = 0; seed < 2000; ++seed) {
    Random random(seed);
    std::string text;
    if (seed % 2 == 0) {
      text.resize(random() % 1200);
      for (char& c : text)
        c = kAlphabet[random() % (sizeof kAlphabet - 1)];
    } else {
      // A saved file cut anywhere: the numbers before the cut are read unchanged.
      text = valid.substr(0, random() % (valid.size() + 1));
    }
    // Read from an exact-size heap copy, so a read past its end is caught.
    const std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::copy(text.begin(), text.end(), copy.get());
    EdidImage image;
    image.fill(0xFF);
    const size_t count = ParseEdidText(std::string_view(copy.get(), text.size()), image);
    ASSERT_LE(count, 256u);
    if (seed % 2 == 1) {
      EdidImage original;
      original.fill(0xFF);
      ParseEdidText(valid, original);
      // Number k starts at 49 * (k / 16) + 3 * (k % 16): every one begun is read.
      size_t begun = 0;
      while (begun < 256 && 49 * (begun / 16) + 3 * (begun % 16) < text.size())
        ++begun;
      ASSERT_EQ(count, begun) << seed;
      for (size_t i = 0; i + 1 < count; ++i)
        ASSERT_EQ(image[i], original[i]) << seed;
    }
  }
}

TEST(EdidRobustness, RandomFiles) {
  char pattern[] = "/tmp/edid_robustness.XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  for (uint32_t seed = 0; seed < 100; ++seed) {
    Random random(seed);
    std::string bytes(random() % 600, '\0');
    for (char& c : bytes)
      c = static_cast<char>(random() % 4 == 0 ? ' ' : RandomByte(random));
    for (const char* name : {"/r.bin", "/r.txt"}) {
      std::ofstream(dir + name, std::ios::binary)
          .write(bytes.data(), std::streamsize(bytes.size()));
      EdidImage image;
      const EdidLoadResult result = LoadEdidFile(dir + name, image);
      ASSERT_TRUE(result.ok());
      ASSERT_LE(result.bytesRead, 256u);
      CheckShape(image);
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace sc
