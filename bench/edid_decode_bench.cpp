// Decoding speed: images per second through ShowEdid (header and checksum test, hex text
// and the three reports) over the real EDIDs of the corpus, loaded once into memory.
// The corpus is found at SC_EDID_CORPUS, else at ../shared/edid-corpus beside the sources.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "edid/edid_decoder.h"
#include "edid/edid_file.h"

namespace {

std::vector<sc::EdidImage> LoadCorpus() {
  const char* env = std::getenv("SC_EDID_CORPUS");
  const std::filesystem::path dir = env ? env : SC_EDID_CORPUS_DIR;
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    if (entry.path().extension() == ".bin") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<sc::EdidImage> images;
  for (const auto& file : files) {
    sc::EdidImage image;
    if (sc::LoadEdidFile(file.string(), image).ok()) images.push_back(image);
  }
  return images;
}

void BM_ShowEdidCorpus(benchmark::State& state) {
  static const std::vector<sc::EdidImage> images = LoadCorpus();
  if (images.empty()) {
    state.SkipWithError("no EDID corpus (set SC_EDID_CORPUS)");
    return;
  }
  for (auto _ : state) {
    for (const sc::EdidImage& image : images) {
      sc::EdidTexts texts = sc::ShowEdid(image);
      benchmark::DoNotOptimize(texts);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * images.size()));
  state.counters["images"] = static_cast<double>(images.size());
}
BENCHMARK(BM_ShowEdidCorpus);

// The same with each image first read from its .bin file, as signal-edid does.
void BM_LoadAndShowEdidCorpus(benchmark::State& state) {
  const char* env = std::getenv("SC_EDID_CORPUS");
  const std::filesystem::path dir = env ? env : SC_EDID_CORPUS_DIR;
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    if (entry.path().extension() == ".bin") files.push_back(entry.path().string());
  }
  if (files.empty()) {
    state.SkipWithError("no EDID corpus (set SC_EDID_CORPUS)");
    return;
  }
  for (auto _ : state) {
    for (const std::string& file : files) {
      sc::EdidImage image;
      sc::LoadEdidFile(file, image);
      sc::EdidTexts texts = sc::ShowEdid(image);
      benchmark::DoNotOptimize(texts);
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * files.size()));
}
BENCHMARK(BM_LoadAndShowEdidCorpus);

}  // namespace

BENCHMARK_MAIN();
