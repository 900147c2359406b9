// Damaged photos end to end: every sample photo cut short at points inside its metadata, and with
// seeded byte flips in its Exif segment, is loaded, listed, saved and reloaded. Nothing may escape
// the listing, a save either succeeds or raises the library's own exception, and a saved photo
// reads back; saved in place, a failed save leaves the file byte for byte. QUORVANE_SWEEP=long cuts at every byte and flips a thousand bytes per photo.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <unistd.h>

#include "SamplePhotos.h"
#include "core/PhotoListing.h"
#include "zorp/base/Exceptions.h"

using namespace Quorvane::Viewer;
namespace fs = std::filesystem;

namespace {

struct TSweep {
  std::size_t Cuts;   // truncation points per photo (0: every byte of the metadata)
  std::size_t Flips;  // flipped bytes per photo
};

TSweep SweepSize() {
  const char* mode = std::getenv("QUORVANE_SWEEP");
  return mode != nullptr && std::string(mode) == "long" ? TSweep{0, 1000} : TSweep{48, 32};
}

// Where the metadata ends (the start of scan; the file's end when the scan finds none) and where
// the first Exif segment lies.
struct TLayout {
  std::size_t MetadataEnd = 0, ExifStart = 0, ExifEnd = 0;
};

TLayout Layout(const std::vector<std::uint8_t>& jpeg) {
  using namespace Zorp::Exif;
  TLayout layout{jpeg.size(), 0, 0};
  Zorp::Base::TUserMemoryStream stream(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  try {
    for (const auto& segment : ScanJPEGSegments(stream, TJPEGMarkerSet{jmApp1, jmStartOfScan})) {
      const auto at = static_cast<std::size_t>(segment->DataOffset());
      if (segment->Marker() == jmStartOfScan) {
        layout.MetadataEnd = static_cast<std::size_t>(segment->Offset());
        break;
      }
      if (layout.ExifEnd == 0 && std::string_view(reinterpret_cast<const char*>(jpeg.data()) + at,
                                                  std::min<std::size_t>(4, jpeg.size() - at)) == "Exif") {
        layout.ExifStart = at;
        layout.ExifEnd = at + static_cast<std::size_t>(segment->Data().Size());
      }
    }
  } catch (const Zorp::Base::Exception&) {
    // a damaged photo: the layout found up to the damage
  }
  return layout;
}

// Load, list, save into memory and reload; returns a description of what went wrong, or "".
std::string Exercise(const std::vector<std::uint8_t>& jpeg, const TMemIniFile& ini) {
  Zorp::Base::TUserMemoryStream input(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  TPhotoListing listing = ListPhoto(input, "photo.jpg", ini, Zorp::Base::InvariantFormatSettings());
  if (!listing.HasMetadata()) return "";
  Zorp::Base::TMemoryStream output;
  try {
    input.SetPosition(0);
    listing.Data->SaveToJPEG(input, output);
  } catch (const Zorp::Base::Exception&) {
    return "";  // refused: the library's own report
  }
  output.SetPosition(0);
  const TPhotoListing reread = ListPhoto(output, "saved.jpg", ini, Zorp::Base::InvariantFormatSettings());
  return reread.Succeeded() ? "" : "the saved photo does not read back: " + reread.Error;
}

// The same through a file saved in place, with an edit: a save that fails must leave the file as
// it was, byte for byte; one that succeeds must read back.
std::string ExerciseFile(const std::vector<std::uint8_t>& jpeg, const fs::path& file, const TMemIniFile& ini) {
  Zorp::Testing::WriteFileBytes(file, jpeg);
  TPhotoListing listing = ListPhoto(file.string(), ini, Zorp::Base::InvariantFormatSettings());
  if (!listing.HasMetadata()) return "";
  try {
    listing.Data->SetImageDescription("Swept");
    listing.Data->SaveToJPEG(file.string(), true);
  } catch (const Zorp::Base::Exception&) {
    return Zorp::Testing::ReadFileBytes(file) == jpeg ? "" : "a failed save changed the file";
  }
  const TPhotoListing reread = ListPhoto(file.string(), ini, Zorp::Base::InvariantFormatSettings());
  return reread.Succeeded() ? "" : "the saved file does not read back: " + reread.Error;
}

std::vector<fs::path> Photos() {
  std::vector<fs::path> photos;
  for (const fs::path& folder : {fs::path(QUORVANE_SOURCE_DIR) / "samples", fs::path(QUORVANE_PHOTOS_DIR)}) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
      if (it->path().extension() == ".jpg" || it->path().extension() == ".jpeg") photos.push_back(it->path());
  }
  return photos;
}

}  // namespace

TEST(DamagedPhotos, AreListedSavedAndReloadedWithoutAnEscape) {
  const TMemIniFile ini(fs::path(QUORVANE_SOURCE_DIR) / "viewer" / "MakerNotes.ini");
  const TSweep sweep = SweepSize();
  std::mt19937 random(20261208);
  std::size_t exercised = 0;
  const fs::path folder = fs::temp_directory_path() / ("quorvane-sweep-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const fs::path file = folder / "photo.jpg";
  for (const fs::path& photo : Photos()) {
    const std::vector<std::uint8_t> jpeg = Zorp::Testing::ReadFileBytes(photo);
    const TLayout layout = Layout(jpeg);
    const std::size_t step = sweep.Cuts == 0 ? 1 : std::max<std::size_t>(1, layout.MetadataEnd / sweep.Cuts);
    for (std::size_t cut = 2; cut < layout.MetadataEnd; cut += step, ++exercised) {
      const std::string problem = Exercise(std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + cut), ini);
      ASSERT_EQ(problem, "") << photo << " cut at " << cut;
    }
    if (layout.ExifEnd <= layout.ExifStart) continue;
    std::uniform_int_distribution<std::size_t> where(layout.ExifStart, layout.ExifEnd - 1);
    std::uniform_int_distribution<int> flip(1, 255);
    for (std::size_t i = 0; i < sweep.Flips; ++i, ++exercised) {
      std::vector<std::uint8_t> damaged = jpeg;
      const std::size_t at = where(random);
      damaged[at] = static_cast<std::uint8_t>(damaged[at] ^ flip(random));
      const std::string problem = Exercise(damaged, ini);
      ASSERT_EQ(problem, "") << photo << " flipped at " << at;
      if (i % 4 == 0) {
        ASSERT_EQ(ExerciseFile(damaged, file, ini), "") << photo << " flipped at " << at << " (file)";
      }
    }
  }
  EXPECT_GT(exercised, 0u);
  fs::remove_all(folder);
}
