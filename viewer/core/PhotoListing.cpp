#include "core/PhotoListing.h"

#include <exception>

#include "core/MakerNoteListing.h"
#include "core/StandardListing.h"
#include "core/SummaryListing.h"
#include "core/TiffFileListing.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;

namespace {

// Makes the file object through create, loads it through load, then lists what was loaded; failures
// end in the notice row.
template <typename TCreate, typename TLoad>
TPhotoListing LoadAndList(const std::string& fileName, const TMemIniFile& ini,
                          const Zorp::Base::TFormatSettings& settings, TCreate create, TLoad load) {
  TPhotoListing listing;
  try {
    listing.File = create();
    listing.Data = &listing.File->Exif();
    TExifData& data = *listing.Data;
    data.SetEnsureEnumsInRange(false);
    load(*listing.File);
    if (data.IsEmpty()) {
      AddCaption(listing.Standard, "No Exif metadata found");
      return listing;
    }
    listing.FileName = fileName;
    ListStandardData(listing.Standard, data, settings);
    // A TIFF or raw file comes with rows of its own beyond the Exif container's.
    if (const auto* tiff = dynamic_cast<const TTiffFile*>(listing.File->Extras())) ListTiffFile(listing.Standard, *tiff);
    ListSummary(*listing.File, listing.Summary);
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
  return LoadAndList(
      fileName, ini, settings, [&] { return TMetadataFile::Create(fileName); },
      [](TMetadataFile& file) { file.Load(); });
}

TPhotoListing ListPhoto(Zorp::Base::TStream& stream, const std::string& fileName, const TMemIniFile& ini,
                        const Zorp::Base::TFormatSettings& settings) {
  return LoadAndList(
      fileName, ini, settings, [&] { return TMetadataFile::CreateForStream(fileName); },
      [&](TMetadataFile& file) { file.Format().LoadFromStream(file, stream); });
}

}  // namespace Quorvane::Viewer
