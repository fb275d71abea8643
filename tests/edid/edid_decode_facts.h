#pragma once
// What Debian's edid-decode prints about an EDID, read from its text output into the
// shape of `signal-edid --full --json`, for the fields both give: blocks, identity, the
// detailed timings, and per CTA-861 extension the VICs, audio descriptors, speakers,
// physical address, TMDS limits, HDR EOTFs and 4:2:0 VICs. Also the established and
// standard timings as "WxH@rate". A field edid-decode leaves out (an audio descriptor's
// channels for some formats) is left out here too.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace sc::test {

inline std::string RunCommand(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

inline bool HaveEdidDecode() {
  return std::system("command -v edid-decode >/dev/null 2>&1") == 0;
}

// edid-decode's whole output for a file; unbuffered, so a run that aborts part way still
// gives everything it printed before.
inline std::string EdidDecodeOutput(const std::string& path) {
  return RunCommand("stdbuf -o0 edid-decode '" + path + "' 2>/dev/null");
}

struct EdidDecodeReading {
  nlohmann::json json;  // as signal-edid --full --json names the fields
  // "1024x768i" and the rate (86.957532), base block and descriptor 0xF7 / 0xFA.
  std::vector<std::pair<std::string, double>> established;
  std::vector<std::pair<std::string, double>> standard;
};

inline EdidDecodeReading ReadEdidDecodeOutput(const std::string& text) {
  using nlohmann::json;
  EdidDecodeReading facts;
  json& out = facts.json;
  out = {{"blocks", 0},
         {"serial", 0},
         {"name", nullptr},
         {"detailed_timings", json::array()},
         {"cta", json::array()}};
  const std::regex block(R"(^Block (\d+), (.*):$)");
  const std::regex dtd(
      R"(^\s+DTD\s+\d+:\s+(\d+)x(\d+)(i?)\s+[\d.]+ Hz\s+\S+\s+[\d.]+ kHz\s+([\d.]+) MHz)");
  const std::regex vic(R"(^\s+VIC\s+(\d+):.*?( \(native\))?$)");
  const std::regex unknownVic(R"(^\s+Unknown \(VIC (\d+)\))");
  const std::regex timing(R"(^\s+\S.*?:\s+(\d+)x(\d+)(i?)\s+([\d.]+) Hz)");
  std::smatch m;
  json* cta = nullptr;
  json* sad = nullptr;
  std::string section;     // the data block or base block section a line is in
  std::string subsection;  // a heading inside it ("Established timings III:")
  bool inBase = false;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    // The decode ends where the summary of warnings and failures begins.
    if (line.rfind("edid-decode SHA", 0) == 0 || line == "Warnings:" || line == "Failures:") break;
    if (std::regex_match(line, m, block)) {
      out["blocks"] = std::stoi(m[1]) + 1;
      inBase = m[1] == "0";
      cta = nullptr;
      section.clear();
      if (m[2].str().rfind("CTA-861", 0) == 0) {
        out["cta"].push_back({{"vics", json::array()},
                              {"audio", json::array()},
                              {"speakers", json::array()},
                              {"physical_address", nullptr},
                              {"max_tmds_mhz", nullptr},
                              {"max_tmds_character_rate_mhz", nullptr},
                              {"hdr_eotfs", json::array()},
                              {"ycbcr420_vics", json::array()}});
        cta = &out["cta"].back();
      }
      continue;
    }
    if (line.rfind("----", 0) == 0) {
      cta = nullptr;
      inBase = false;
      continue;
    }
    if (line.size() > 2 && line[0] == ' ' && line[1] == ' ' && line[2] != ' ') {
      section = line.substr(2);
      subsection.clear();
      sad = nullptr;
    } else if (line.size() > 4 && line.rfind("    ", 0) == 0 && line[4] != ' ' &&
               line.back() == ':') {
      subsection = line.substr(4);
    }
    if (std::regex_search(line, m, dtd)) {
      out["detailed_timings"].push_back({{"pixel_clock_khz", std::lround(std::stod(m[4]) * 1000)},
                                         {"h_active", std::stoi(m[1])},
                                         {"v_active", std::stoi(m[2])},
                                         {"interlaced", m[3].matched && m[3].length() > 0}});
      continue;
    }
    if (inBase) {
      if (std::regex_search(line, m, std::regex(R"(^    Manufacturer: (.*)$)")))
        out["manufacturer"] = m[1];
      if (std::regex_search(line, m, std::regex(R"(^    Model: (\d+))")))
        out["product"] = std::stoul(m[1]);
      if (std::regex_search(line, m, std::regex(R"(^    Serial Number: (\d+))")))
        out["serial"] = std::stoul(m[1]);
      if (std::regex_search(line, m, std::regex(R"(Display Product Name: '(.*)')")) &&
          out["name"].is_null())
        out["name"] = m[1];
      const bool established = section.rfind("Established Timings", 0) == 0 ||
                               subsection.rfind("Established timings III", 0) == 0;
      const bool standard = section.rfind("Standard Timings", 0) == 0 ||
                            subsection.rfind("Standard Timing Identifications", 0) == 0;
      // A standard timing that is not a DMT timing shows twice, as CVT for an EDID 1.4
      // source and as GTF for a 1.3 source: once is enough.
      const bool second = line.find("(EDID 1.3 source)") != std::string::npos;
      if ((established || standard) && !second && std::regex_search(line, m, timing)) {
        (standard ? facts.standard : facts.established)
            .push_back({m[1].str() + "x" + m[2].str() + m[3].str(), std::stod(m[4])});
      }
      continue;
    }
    if (!cta) continue;
    if (line.rfind("  Revision: ", 0) == 0) (*cta)["revision"] = std::stoi(line.substr(12));
    if (section == "Video Data Block:" || section == "YCbCr 4:2:0 Video Data Block:") {
      const bool y420 = section != "Video Data Block:";
      json entry;
      if (std::regex_search(line, m, vic))
        entry = {{"vic", std::stoi(m[1])}, {"native", m[2].matched}};
      else if (std::regex_search(line, m, unknownVic))
        entry = {{"vic", std::stoi(m[1])}, {"native", false}};
      if (!entry.is_null()) {
        if (y420)
          (*cta)["ycbcr420_vics"].push_back(entry["vic"]);
        else
          (*cta)["vics"].push_back(entry);
      }
    } else if (section == "Audio Data Block:") {
      if (line.size() > 4 && line.rfind("    ", 0) == 0 && line[4] != ' ') {
        std::string format = line.substr(4);
        if (!format.empty() && format.back() == ':') format.pop_back();
        (*cta)["audio"].push_back({{"format", format}});
        sad = &(*cta)["audio"].back();
      } else if (sad && std::regex_search(line, m, std::regex(R"(Max channels: (\d+))"))) {
        (*sad)["channels"] = std::stoi(m[1]);
      } else if (sad && std::regex_search(line, m,
                                          std::regex(R"(Supported sample rates \(kHz\): (.*)$)"))) {
        std::vector<double> rates;
        std::istringstream in(m[1].str());
        for (double rate; in >> rate;)
          rates.push_back(rate);
        std::sort(rates.begin(), rates.end());
        (*sad)["rates_khz"] = rates;
      } else if (sad && std::regex_search(
                            line, m, std::regex(R"(Supported sample sizes \(bits\): (.*)$)"))) {
        std::vector<int> sizes;
        std::istringstream in(m[1].str());
        for (int size; in >> size;)
          sizes.push_back(size);
        std::sort(sizes.begin(), sizes.end());
        (*sad)["sizes_bits"] = sizes;
      } else if (sad && std::regex_search(line, m, std::regex(R"(Maximum bit rate: (\d+) kb/s)"))) {
        (*sad)["max_bitrate_kbps"] = std::stoi(m[1]);
      }
    } else if (section == "Speaker Allocation Data Block:") {
      if (std::regex_search(line, m, std::regex(R"(^    (\S+) - )")))
        (*cta)["speakers"].push_back(m[1]);
    } else if (section.rfind("Vendor-Specific Data Block (HDMI),", 0) == 0) {
      if (std::regex_search(line, m, std::regex(R"(Source physical address: (\S+))")))
        (*cta)["physical_address"] = m[1];
      if (std::regex_search(line, m, std::regex(R"(Maximum TMDS clock: (\d+) MHz)")))
        (*cta)["max_tmds_mhz"] = std::stoi(m[1]);
    } else if (section.rfind("Vendor-Specific Data Block (HDMI Forum)", 0) == 0 ||
               section.rfind("HDMI Forum Sink Capability Data Block", 0) == 0) {
      // The first block that gives it, as signal-edid takes it.
      if (std::regex_search(line, m, std::regex(R"(Maximum TMDS Character Rate: (\d+) MHz)")) &&
          (*cta)["max_tmds_character_rate_mhz"].is_null())
        (*cta)["max_tmds_character_rate_mhz"] = std::stoi(m[1]);
    } else if (section == "HDR Static Metadata Data Block:") {
      static const std::pair<const char*, const char*> kEotfs[] = {
          {"Traditional gamma - SDR luminance range", "SDR"},
          {"Traditional gamma - HDR luminance range", "HDR"},
          {"SMPTE ST2084", "PQ"},
          {"Hybrid Log-Gamma", "HLG"}};
      for (const auto& [longName, shortName] : kEotfs)
        if (line.find(longName) != std::string::npos) (*cta)["hdr_eotfs"].push_back(shortName);
    }
  }
  return facts;
}

// Each field edid-decode printed, against ours (signal-edid --full --json).
inline void ExpectAgreement(const nlohmann::json& ours, const nlohmann::json& theirs) {
  for (const char* key : {"blocks", "manufacturer", "product", "serial", "name"})
    EXPECT_EQ(ours[key], theirs[key]) << key;
  EXPECT_EQ(ours["detailed_timings"], theirs["detailed_timings"]);
  ASSERT_EQ(ours["cta"].size(), theirs["cta"].size());
  for (size_t i = 0; i < ours["cta"].size(); ++i) {
    const nlohmann::json& o = ours["cta"][i];
    const nlohmann::json& t = theirs["cta"][i];
    SCOPED_TRACE("CTA extension " + std::to_string(i));
    for (const char* key : {"revision", "vics", "speakers", "physical_address", "max_tmds_mhz",
                            "max_tmds_character_rate_mhz", "hdr_eotfs", "ycbcr420_vics"})
      EXPECT_EQ(o[key], t[key]) << key;
    ASSERT_EQ(o["audio"].size(), t["audio"].size());
    for (size_t s = 0; s < o["audio"].size(); ++s)
      for (const auto& [key, value] : t["audio"][s].items())
        EXPECT_EQ(o["audio"][s][key], value) << "audio descriptor " << s << " " << key;
  }
}

}  // namespace sc::test
