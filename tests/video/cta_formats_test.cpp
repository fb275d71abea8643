// The VIC table against Debian's edid-decode, which lists every format of the standard
// with its timing (`edid-decode --vic N`, `--hdmi-vic N`).

#include "video/cta_formats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

namespace sc {
namespace {

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
      out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

bool HaveEdidDecode() {
  return std::system("command -v edid-decode >/dev/null 2>&1") == 0;
}

// The format as edid-decode prints it: "1920x1080i 50.000000 Hz 16:9 ... 74.250000 MHz"
// then "Hfront 88 Hsync 44 Hback 148 Hpol P" and "Vfront 2 Vsync 5 Vback 15 Vpol P ...".
std::string Describe(const CtaFormat& f) {
  char text[256];
  std::snprintf(text, sizeof text, "%ux%u%s %.3f Hz %s %.3f MHz H %u %u %u %c V %u %u %u %c",
                f.hActive, f.vActive, f.interlaced ? "i" : "", f.fieldRateHz(),
                PictureAspectText(f.aspect), f.pixelClockKhz / 1000.0, f.hFront, f.hSync, f.hBack,
                f.hSyncPositive ? 'P' : 'N', f.vFront, f.vSync, f.vBack,
                f.vSyncPositive ? 'P' : 'N');
  return text;
}

std::string DescribeEdidDecode(const std::string& output) {
  std::istringstream in(output);
  std::string word, size, aspect, hz, mhz;
  double rate = 0, khz = 0, clock = 0;
  // "VIC  16:" or "HDMI VIC 1:"
  while (in >> word && word.back() != ':') {
  }
  in >> size >> rate >> hz >> aspect >> khz >> word >> clock >> mhz;
  unsigned hf = 0, hs = 0, hb = 0, vf = 0, vs = 0, vb = 0;
  std::string hp, vp, label;
  in >> label >> hf >> label >> hs >> label >> hb >> label >> hp;
  in >> label >> vf >> label >> vs >> label >> vb >> label >> vp;
  char text[256];
  std::snprintf(text, sizeof text, "%s %.3f Hz %s %.3f MHz H %u %u %u %s V %u %u %u %s",
                size.c_str(), rate, aspect.c_str(), clock, hf, hs, hb, hp.c_str(), vf, vs, vb,
                vp.c_str());
  return text;
}

TEST(CtaFormatsTest, EveryVicAgreesWithEdidDecode) {
  if (!HaveEdidDecode()) GTEST_SKIP() << "edid-decode is not installed";
  int known = 0;
  for (int vic = 0; vic <= 255; ++vic) {
    const std::string out = Output("edid-decode --vic " + std::to_string(vic) + " 2>/dev/null");
    const CtaFormat* f = FindCtaFormat(vic);
    if (out.find("VIC") == std::string::npos) {
      EXPECT_EQ(f, nullptr) << "VIC " << vic << " is not in the standard";
      continue;
    }
    ASSERT_NE(f, nullptr) << "VIC " << vic << " is missing";
    EXPECT_EQ(f->vic, vic);
    EXPECT_EQ(Describe(*f), DescribeEdidDecode(out)) << "VIC " << vic;
    ++known;
  }
  EXPECT_EQ(known, static_cast<int>(CtaFormats().size()));
  for (int hdmiVic = 1; hdmiVic <= 4; ++hdmiVic) {
    const std::string out = Output("edid-decode --hdmi-vic " + std::to_string(hdmiVic));
    ASSERT_NE(FindHdmiVicFormat(hdmiVic), nullptr);
    EXPECT_EQ(Describe(*FindHdmiVicFormat(hdmiVic)), DescribeEdidDecode(out)) << hdmiVic;
  }
  EXPECT_EQ(FindHdmiVicFormat(0), nullptr);
  EXPECT_EQ(FindHdmiVicFormat(5), nullptr);
}

TEST(CtaFormatsTest, NamesInWords) {
  const struct {
    int vic;
    const char* name;
  } cases[] = {
      {16, "1920x1080p 60 Hz 16:9"}, {2, "720x480p 59.94 Hz 4:3"},
      {20, "1920x1080i 50 Hz 16:9"}, {8, "1440x240p 60.05 Hz 4:3"},
      {32, "1920x1080p 24 Hz 16:9"}, {98, "4096x2160p 24 Hz 256:135"},
      {79, "1680x720p 24 Hz 64:27"}, {201, "7680x4320p 120 Hz 16:9"},
  };
  for (const auto& c : cases) {
    ASSERT_NE(FindCtaFormat(c.vic), nullptr);
    EXPECT_EQ(FormatName(*FindCtaFormat(c.vic)), c.name) << c.vic;
  }
}

}  // namespace
}  // namespace sc
