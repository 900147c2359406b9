// Benchmarks of the viewer's listing step on a typical camera JPEG (Canon, MakerNote and thumbnail):
// loading alone, and loading with both lists built, so the cost of listing shows as the difference.
// Run: build/bin/ListBench (a release build).

#include <benchmark/benchmark.h>

#include <filesystem>

#include "core/PhotoListing.h"
#include "zorp/exif/ExifData.h"

namespace {

using namespace Quorvane::Viewer;

const std::string TypicalPhoto = std::string(QUORVANE_PHOTOS_DIR) + "/dcc_canon_eos-5d-mark-iii_EOS5D-MIII__K6A7944.jpg";
const std::filesystem::path Descriptions = std::filesystem::path(QUORVANE_SOURCE_DIR) / "viewer" / "MakerNotes.ini";

bool HavePhoto(benchmark::State& state) {
  if (std::filesystem::exists(TypicalPhoto)) return true;
  state.SkipWithError("sample photos not found");
  return false;
}

// Loading as the listing does, with the MakerNote directory read, but no rows built.
void BM_LoadOnly(benchmark::State& state) {
  if (!HavePhoto(state)) return;
  for (auto _ : state) {
    Zorp::Exif::TExifData data;
    data.SetEnsureEnumsInRange(false);
    data.LoadFromJPEG(TypicalPhoto);
    benchmark::DoNotOptimize(data.MakerNote().Tags().Count());
  }
}
BENCHMARK(BM_LoadOnly)->Unit(benchmark::kMicrosecond);

// The whole step: load, Standard list, MakerNote list with the shipped descriptions.
void BM_LoadAndList(benchmark::State& state) {
  if (!HavePhoto(state)) return;
  const TMemIniFile ini(Descriptions);
  for (auto _ : state) {
    const TPhotoListing listing = ListPhoto(TypicalPhoto, ini);
    benchmark::DoNotOptimize(listing.MakerNote.size());
  }
}
BENCHMARK(BM_LoadAndList)->Unit(benchmark::kMicrosecond);

// Reading the description file once, as the window does at start.
void BM_ReadDescriptions(benchmark::State& state) {
  for (auto _ : state) {
    const TMemIniFile ini(Descriptions);
    benchmark::DoNotOptimize(ini.ReadSections().size());
  }
}
BENCHMARK(BM_ReadDescriptions)->Unit(benchmark::kMicrosecond);

}  // namespace
