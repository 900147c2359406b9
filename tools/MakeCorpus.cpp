// quorvane-make-corpus: writes a corpus of varied photos for the benchmark, so that it needs no
// download. Every photo is one of the sample photos (real pixels, a MakerNote in the Canon, Nikon
// type 3 or Sony layout or none, little- and big-endian) given other metadata through the library's
// own writer: dates, texts, a location, with or without thumbnail, and XMP in one photo of three.
//
//   quorvane-make-corpus [--count N] [--big FILE] SAMPLES OUTDIR
//
// --big also writes FILE, a photo of about 10 MB (noise pixels, the first sample's metadata), for
// the save benchmark. The output depends only on the arguments.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "zorp/base/DateTime.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"

namespace {

namespace fs = std::filesystem;
using namespace Zorp::Exif;
using Zorp::Base::TMemoryStream;

// A fixed pseudo-random sequence, the same on every run.
class TSequence {
 public:
  explicit TSequence(std::uint32_t seed) : FState(seed) {}
  std::uint32_t Next() {
    FState = FState * 1664525u + 1013904223u;
    return FState >> 8;
  }
  std::uint32_t Below(std::uint32_t limit) { return Next() % limit; }

 private:
  std::uint32_t FState;
};

// The i-th photo of the corpus from its sample.
std::vector<std::uint8_t> VariedPhoto(TMemoryStream& sample, std::size_t i) {
  TSequence random(static_cast<std::uint32_t>(i) * 2654435761u + 1);
  TExifData data;
  sample.SetPosition(0);
  data.LoadFromJPEG(sample);
  if (i % 3 != 0) data.XMPPacket().Clear();  // XMP in one photo of three
  else data.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
  const Zorp::Base::TDateTime taken =
      Zorp::Base::EncodeDateTime(2015 + static_cast<int>(random.Below(11)), 1 + static_cast<int>(random.Below(12)),
                                 1 + static_cast<int>(random.Below(28)), static_cast<int>(random.Below(24)),
                                 static_cast<int>(random.Below(60)), static_cast<int>(random.Below(60)), 0);
  data.SetDateTime(taken);
  data.SetDateTimeOriginal(taken);
  data.SetDateTimeDigitized(taken);
  data.SetImageDescription(Zorp::Base::Format("Corpus photo %zu", i));
  data.SetAuthor(i % 2 ? "Corpus author" : "Another photographer with a longer name");
  data.SetOrientation(static_cast<TTiffOrientation>(1 + random.Below(8)));
  if (i % 4 == 1) {
    data.Sections(skGps).Clear();
  } else {
    data.GPSLatitude().SetValue({random.Below(90), 1}, {random.Below(60), 1}, {random.Below(6000), 100},
                                random.Below(2) ? 'N' : 'S');
    data.GPSLongitude().SetValue({random.Below(180), 1}, {random.Below(60), 1}, {random.Below(6000), 100},
                                 random.Below(2) ? 'E' : 'W');
  }
  if (i % 5 == 2) data.SetThumbnail(nullptr);
  TMemoryStream out;
  sample.SetPosition(0);
  data.SaveToJPEG(sample, out);
  return out.Bytes();
}

// About 10 MB of noise pixels carrying the sample's metadata.
std::vector<std::uint8_t> BigPhoto(TMemoryStream& sample) {
  constexpr int width = 3600, height = 2700;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
  TSequence random(7);
  for (std::size_t p = 0; p < pixels.size(); p += 3) {
    // A gradient with noise: large when encoded, yet a picture.
    const std::size_t x = (p / 3) % width, y = (p / 3) / width;
    const std::uint32_t noise = random.Next();
    pixels[p] = static_cast<std::uint8_t>((x * 255 / width + (noise & 0x3F)) & 0xFF);
    pixels[p + 1] = static_cast<std::uint8_t>((y * 255 / height + ((noise >> 6) & 0x3F)) & 0xFF);
    pixels[p + 2] = static_cast<std::uint8_t>(((x + y) * 128 / width + ((noise >> 12) & 0x3F)) & 0xFF);
  }
  Zorp::Base::TJPEGImage picture;
  picture.SetCompressionQuality(97);
  picture.AssignRGB(pixels.data(), width, height);
  TMemoryStream plain;
  picture.SaveToStream(plain);
  TExifData data;
  sample.SetPosition(0);
  data.LoadFromJPEG(sample);
  TMemoryStream out;
  plain.SetPosition(0);
  data.SaveToJPEG(plain, out);
  return out.Bytes();
}

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  TMemoryStream file;
  file.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  file.SaveToFile(path.string());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 1000;
  std::string big;
  std::vector<std::string> folders;
  for (int a = 1; a < argc; ++a) {
    const std::string arg = argv[a];
    if (arg == "--count" && a + 1 < argc) count = std::strtoul(argv[++a], nullptr, 10);
    else if (arg == "--big" && a + 1 < argc) big = argv[++a];
    else folders.push_back(arg);
  }
  if (folders.size() != 2) {
    std::fprintf(stderr, "usage: quorvane-make-corpus [--count N] [--big FILE] SAMPLES OUTDIR\n");
    return 2;
  }
  try {
    std::vector<fs::path> samplePaths;
    for (const auto& entry : fs::directory_iterator(folders[0]))
      if (entry.path().extension() == ".jpg") samplePaths.push_back(entry.path());
    std::sort(samplePaths.begin(), samplePaths.end());
    if (samplePaths.empty()) throw std::runtime_error("no .jpg photos in " + folders[0]);
    std::vector<TMemoryStream> samples(samplePaths.size());
    for (std::size_t s = 0; s < samplePaths.size(); ++s) samples[s].LoadFromFile(samplePaths[s].string());

    const fs::path out = folders[1];
    fs::create_directories(out);
    for (std::size_t i = 0; i < count; ++i) {
      TMemoryStream& sample = samples[i % samples.size()];
      WriteFile(out / Zorp::Base::Format("photo-%05zu.jpg", i), VariedPhoto(sample, i));
    }
    std::printf("%zu photos in %s\n", count, out.c_str());
    if (!big.empty()) {
      const std::vector<std::uint8_t> bytes = BigPhoto(samples[0]);
      WriteFile(big, bytes);
      std::printf("%s: %zu bytes\n", big.c_str(), bytes.size());
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "quorvane-make-corpus: %s\n", error.what());
    return 1;
  }
  return 0;
}
