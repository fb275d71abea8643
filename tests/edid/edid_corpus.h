#pragma once
// The EDID corpus beside the source tree (../shared/edid-corpus): real EDIDs, each with
// edid-decode's output. Tests skip when it is absent.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace sc::test {

// SC_EDID_CORPUS names another place for it (a work tree without shared/ beside it).
inline std::filesystem::path CorpusDir() {
  const char* place = std::getenv("SC_EDID_CORPUS");
  return place ? std::filesystem::path(place)
               : std::filesystem::path(SC_SOURCE_DIR "/../shared/edid-corpus");
}

// The corpus's .bin files, in name order; empty when there is no corpus.
inline std::vector<std::filesystem::path> CorpusFiles() {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusDir(), error))
    if (entry.path().extension() == ".bin") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace sc::test
