// Benchmarks of the read path: loading a typical camera JPEG (Exif block with MakerNote and
// thumbnail) from a page-cached file and reading every section; loading a large JPEG; parsing and
// regenerating a camera XMP packet. Run: build/bin/LoadBench (a release build).

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/XMPUtils.h"

namespace {

using namespace Zorp::Exif;

const std::string TypicalPhoto = std::string(QUORVANE_PHOTOS_DIR) + "/dcc_canon_eos-5d-mark-iii_EOS5D-MIII__K6A7944.jpg";

void ReadEverything(TExifData& data) {
  for (int kind = skPrimary; kind <= skMakerNote; ++kind)
    for (const TExifTag* tag : data.Sections(static_cast<TExifSectionKind>(kind))) benchmark::DoNotOptimize(tag->AsString());
  benchmark::DoNotOptimize(data.Thumbnail().Width());
}

// Load from the file (page-cached after the first round) and read every section, MakerNote included.
void BM_LoadTypicalPhotoFromFile(benchmark::State& state) {
  if (!std::filesystem::exists(TypicalPhoto)) {
    state.SkipWithError("sample photos not found");
    return;
  }
  for (auto _ : state) {
    TExifData data;
    data.LoadFromJPEG(TypicalPhoto);
    ReadEverything(data);
  }
}
BENCHMARK(BM_LoadTypicalPhotoFromFile)->Unit(benchmark::kMicrosecond);

// A 20 MB JPEG in memory: loading reads only the segments before the scan data.
void BM_LoadLargeJPEGFromMemory(benchmark::State& state) {
  std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x', 'i', 'f', 0, 0,
                                    'I',  'I',  0x2A, 0,    8,    0,    0,   0,   0,   0,   0xFF, 0xDA, 0, 2};
  jpeg.resize(20 << 20, 0x42);
  jpeg.insert(jpeg.end(), {0xFF, 0xD9});
  Zorp::Base::TUserMemoryStream stream(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  for (auto _ : state) {
    stream.SetPosition(0);
    TExifData data;
    data.LoadFromJPEG(stream);
    benchmark::DoNotOptimize(data.IsEmpty());
  }
}
BENCHMARK(BM_LoadLargeJPEGFromMemory)->Unit(benchmark::kMicrosecond);

// Parse and regenerate a camera XMP packet of about 8 KB.
void BM_ParseAndRegenerateXMP(benchmark::State& state) {
  const std::string photo = std::string(QUORVANE_PHOTOS_DIR) + "/mdx_fujifilm_finepixs1pro_FujiFilm-FinePixS1Pro-1.jpg";
  TExifData data;
  if (std::filesystem::exists(photo)) data.LoadFromJPEG(photo);
  if (!data.PendingXMPSegment()) {
    state.SkipWithError("no sample XMP packet");
    return;
  }
  Zorp::Base::TMemoryStream& source = data.PendingXMPSegment()->Data();
  state.SetLabel(std::to_string(source.Size()) + " bytes");
  for (auto _ : state) {
    TXMPPacket packet;
    source.SetPosition(0);
    packet.TryLoadFromStream(source);
    packet.Changed(true);
    Zorp::Base::TMemoryStream out;
    packet.SaveToStream(out);
    benchmark::DoNotOptimize(out.Size());
  }
}
BENCHMARK(BM_ParseAndRegenerateXMP)->Unit(benchmark::kMicrosecond);

}  // namespace
