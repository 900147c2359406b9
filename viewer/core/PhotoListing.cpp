#include "core/PhotoListing.h"

#include <exception>

#include "core/MakerNoteListing.h"
#include "core/StandardListing.h"
#include "core/SummaryListing.h"
#include "core/TiffFileListing.h"
#include "zorp/exif/TiffFile.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;

namespace {

// Loads through load(data), then lists what was loaded; failures end in the notice row.
template <typename TLoad>
TPhotoListing LoadAndList(const std::string& fileName, const TMemIniFile& ini,
                          const Zorp::Base::TFormatSettings& settings, TLoad load) {
  TPhotoListing listing;
  try {
    listing.Data = std::make_unique<TExifData>();
    TExifData& data = *listing.Data;
    data.SetEnsureEnumsInRange(false);
    // A TIFF or raw file comes with rows of its own beyond the Exif container's.
    const std::unique_ptr<TTiffFile> tiff = load(data);
    if (data.IsEmpty()) {
      AddCaption(listing.Standard, "No Exif metadata found");
      return listing;
    }
    listing.FileName = fileName;
    ListStandardData(listing.Standard, data, settings);
    if (tiff) ListTiffFile(listing.Standard, *tiff);
    ListSummary(data, listing.Summary);
    if (data.HasMakerNote())
      ListMakerNote(listing.MakerNote, data.MakerNote(), ini);
    else
      AddCaption(listing.MakerNote, "No MakerNote found");
  } catch (const std::exception& e) {
    listing.Error = e.what();
    AddCaption(listing.Standard, "Could not read the metadata: " + listing.Error);
  }
  return listing;
}

}  // namespace

TPhotoListing ListPhoto(const std::string& fileName, const TMemIniFile& ini,
                        const Zorp::Base::TFormatSettings& settings) {
  return LoadAndList(fileName, ini, settings, [&](TExifData& data) -> std::unique_ptr<TTiffFile> {
    try {
      data.LoadFromJPEG(fileName);
      return nullptr;
    } catch (const EInvalidJPEGHeader&) {
      // Not a JPEG: a TIFF or raw file is read (and never written); anything else fails as before.
      if (IdentifyTiffFile(fileName) == tfUnknown) throw;
      return LoadTiffFile(fileName, data);
    }
  });
}

TPhotoListing ListPhoto(Zorp::Base::TStream& stream, const std::string& fileName, const TMemIniFile& ini,
                        const Zorp::Base::TFormatSettings& settings) {
  return LoadAndList(fileName, ini, settings, [&](TExifData& data) -> std::unique_ptr<TTiffFile> {
    data.LoadFromJPEG(stream);
    return nullptr;
  });
}

}  // namespace Quorvane::Viewer
