// Benchmarks of the save path on a 10 MB photo: the metadata segments of a real camera JPEG (when the
// photos folder is there, else a built Exif block) in front of 10 MB of scan data. A small edit is
// saved with SaveToJPEG, next to a plain read-and-write of the same file through the same safe
// replacement, and next to the in-memory forms. Run: build/bin/SaveBench (a release build).
// The peak_MB counter is the most memory taken through operator new at any one time during a
// benchmark, above what was taken when it started.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <random>

#include "ExifBuilder.h"
#include "zorp/base/SafeFile.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/TagIDs.h"

namespace {

namespace fs = std::filesystem;
using namespace Zorp::Exif;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t ScanSize = 10 << 20;

// The photo's bytes up to its scan data (segments, tables, frame, start of scan), or a small built
// JPEG head when the photos folder is absent.
Bytes Head() {
  const fs::path photo = fs::path(QUORVANE_PHOTOS_DIR) / "dcc_canon_eos-5d-mark-iii_EOS5D-MIII__K6A7944.jpg";
  if (fs::exists(photo)) {
    std::ifstream file(photo, std::ios::binary);
    const Bytes bytes{std::istreambuf_iterator<char>(file), {}};
    Zorp::Base::TUserMemoryStream stream(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    for (const auto& segment : ScanJPEGSegments(stream, TJPEGMarkerSet{jmStartOfScan}))
      return Bytes(bytes.begin(), bytes.begin() + segment->Offset() + segment->TotalSize());
  }
  Zorp::Testing::ExifBuilder block;
  block.Primary.Ascii(ttMake, "Canon").Ascii(ttModel, "Bench");
  block.Exif.Rational(ttExposureTime, 1, 60).Undefined(ttMakerNote, Bytes(4000, 7));
  Bytes jpeg = Zorp::Testing::ExifBuilder::Jpeg({block.Build()});
  jpeg.resize(jpeg.size() - 7);  // drop the sample scan data and end marker
  return jpeg;
}

// The 10 MB photo, written once to a file in the temporary folder.
const std::string& PhotoFile() {
  static const std::string path = [] {
    Bytes jpeg = Head();
    std::mt19937 random(1);
    const std::size_t start = jpeg.size();
    jpeg.resize(start + ScanSize);
    for (std::size_t i = start; i < jpeg.size(); ++i) jpeg[i] = static_cast<std::uint8_t>(random() % 0xFF);
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    const std::string name =
        (fs::temp_directory_path() / ("quorvane-savebench-" + std::to_string(::getpid()) + ".jpg")).string();
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
    return name;
  }();
  // Removed when the program ends.
  static const struct TRemover {
    ~TRemover() { fs::remove(path); }
  } remover;
  return path;
}

// Memory taken through operator new: live bytes now and the peak since the last reset.
std::atomic<std::int64_t> LiveBytes{0}, PeakBytes{0};

// Starts a peak measurement; returns the bytes live at the start.
double StartPeakMeasurement() {
  PeakBytes = LiveBytes.load();
  return static_cast<double>(LiveBytes.load());
}

// Throughput, and the peak memory taken above what was live at the start.
void Report(benchmark::State& state, double liveAtStart) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(fs::file_size(PhotoFile())));
  state.counters["peak_MB"] = (static_cast<double>(PeakBytes.load()) - liveAtStart) / (1 << 20);
}

// The viewer's save: load, one small edit, SaveToJPEG(file) built in memory, checked, replaced.
void BM_SaveToJPEGFile(benchmark::State& state) {
  const bool inMemory = state.range(0) != 0;
  TExifData data;
  data.LoadFromJPEG(PhotoFile());
  int round = 0;
  const double resident = StartPeakMeasurement();
  for (auto _ : state) {
    data.Sections(skPrimary).SetStringValue(ttArtist, "Round " + std::to_string(++round));
    data.SaveToJPEG(PhotoFile(), inMemory);
  }
  Report(state, resident);
}
BENCHMARK(BM_SaveToJPEGFile)->Arg(1)->Arg(0)->ArgName("in_memory")->Unit(benchmark::kMillisecond);

// The baseline: read the whole file and write it back through the same safe replacement.
void BM_PlainReadAndWriteFile(benchmark::State& state) {
  PhotoFile();
  const double resident = StartPeakMeasurement();
  for (auto _ : state) {
    Zorp::Base::TMemoryStream input;
    input.LoadFromFile(PhotoFile());
    Zorp::Base::SafeWriteFile(PhotoFile(), input.Memory(), input.Size());
  }
  Report(state, resident);
}
BENCHMARK(BM_PlainReadAndWriteFile)->Unit(benchmark::kMillisecond);

// SaveToJPEG between memory streams, against a plain copy of the same bytes in memory.
void BM_SaveToJPEGInMemory(benchmark::State& state) {
  Zorp::Base::TMemoryStream input;
  input.LoadFromFile(PhotoFile());
  TExifData data;
  data.LoadFromJPEG(input);
  const double resident = StartPeakMeasurement();
  for (auto _ : state) {
    data.Sections(skPrimary).SetStringValue(ttArtist, "In memory");
    input.SetPosition(0);
    Zorp::Base::TMemoryStream output;
    data.SaveToJPEG(input, output);
    benchmark::DoNotOptimize(output.Memory());
  }
  Report(state, resident);
}
BENCHMARK(BM_SaveToJPEGInMemory)->Unit(benchmark::kMillisecond);

void BM_PlainCopyInMemory(benchmark::State& state) {
  Zorp::Base::TMemoryStream input;
  input.LoadFromFile(PhotoFile());
  const double resident = StartPeakMeasurement();
  for (auto _ : state) {
    Zorp::Base::TMemoryStream output;
    output.WriteBuffer(input.Memory(), input.Size());
    benchmark::DoNotOptimize(output.Memory());
  }
  Report(state, resident);
}
BENCHMARK(BM_PlainCopyInMemory)->Unit(benchmark::kMillisecond);

}  // namespace

// Counting allocation: operator new and delete over malloc, measuring each block as malloc sizes it.
__attribute__((noinline)) void* operator new(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (!block) throw std::bad_alloc();
  const std::int64_t live = LiveBytes += static_cast<std::int64_t>(malloc_usable_size(block));
  std::int64_t peak = PeakBytes.load();
  while (live > peak && !PeakBytes.compare_exchange_weak(peak, live)) {
  }
  return block;
}

__attribute__((noinline)) void operator delete(void* block) noexcept {
  if (!block) return;
  LiveBytes -= static_cast<std::int64_t>(malloc_usable_size(block));
  std::free(block);
}

__attribute__((noinline)) void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
