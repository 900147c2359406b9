#pragma once
// Loading one photo and listing it: the step the window runs when a photo is selected and the
// command-line companion runs per file. It reads the file, fills the Summary, Standard and MakerNote
// lists and tells whether the photo holds metadata to save or edit.

#include <memory>
#include <string>

#include "core/IniFile.h"
#include "core/ListRows.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/MetadataFile.h"

namespace Quorvane::Viewer {

struct TPhotoListing {
  // The photo file with its containers, kept also when the photo holds no metadata or the load
  // failed part-way; none when no format reads the file.
  std::unique_ptr<Zorp::Exif::TMetadataFile> File;
  // The file's Exif container (nullptr without a file).
  Zorp::Exif::TExifData* Data = nullptr;
  // The photo's path once metadata was found: the target of edits. Empty otherwise.
  std::string FileName;
  TListRows Summary;
  TListRows Standard;
  TListRows MakerNote;
  // The message of the exception that ended loading or listing; empty when all went well.
  std::string Error;

  bool Succeeded() const { return Error.empty(); }
  // Whether there is metadata to export or edit: found, and listed without a failure.
  bool HasMetadata() const { return Succeeded() && !FileName.empty(); }
};

// Loads the photo through the format its file has (enumerations kept as stored) and lists it. A photo without any Exif tag or
// thumbnail gives the single Standard row "No Exif metadata found"; one without a MakerNote tag the
// MakerNote row "No MakerNote found". A failure keeps the rows built so far and adds the Standard
// notice "Could not read the metadata: " with its message; it is not thrown. A file that is no JPEG
// but a TIFF or raw file (TiffFile.h) is read too, its own rows (ListTiffFile) after the Standard rows.
TPhotoListing ListPhoto(const std::string& fileName, const TMemIniFile& ini,
                        const Zorp::Base::TFormatSettings& settings);
inline TPhotoListing ListPhoto(const std::string& fileName, const TMemIniFile& ini) {
  return ListPhoto(fileName, ini, Zorp::Base::FormatSettings());
}
// The same for a stream, read as the format fileName names (JPEG for other names); fileName is what
// the listing records as the photo's path.
TPhotoListing ListPhoto(Zorp::Base::TStream& stream, const std::string& fileName, const TMemIniFile& ini,
                        const Zorp::Base::TFormatSettings& settings);

}  // namespace Quorvane::Viewer
