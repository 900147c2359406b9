// Fuzz harness over TIFF and raw files: arbitrary bytes identified and loaded as such a file, then
// every section, the MakerNote, the further directories, the previews and the XMP packet read, and a
// save tried, which must refuse. Only the library's own exceptions are expected; anything else (or a
// crash, or a save that does not refuse) is a finding.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "zorp/base/Exceptions.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TiffFile.h"
#include "zorp/exif/XMPUtils.h"

namespace {

using namespace Zorp::Exif;

void ReadSection(const TExifSection& section) {
  for (const TExifTag* tag : section) {
    (void)tag->AsString();
    if (tag->ElementCount() > 0) (void)tag->ElementAsString(tag->ElementCount() - 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  // The name helps to tell the format; the input's size picks one of the formats' extensions.
  static const char* const names[] = {"f.tif", "f.dng", "f.cr2", "f.nef", "f.nrw", "f.arw",
                                      "f.sr2", "f.orf", "f.rw2", "f.pef", "f"};
  const std::string name = names[size % std::size(names)];
  (void)IdentifyTiffFile(std::span(bytes, size), name);
  TExifData data;
  TTiffFile file;
  try {
    Zorp::Base::TUserMemoryStream stream(bytes, static_cast<std::int64_t>(size));
    file.Load(stream, name, data);
  } catch (const Zorp::Base::Exception&) {
    return 0;
  }
  for (int kind = skPrimary; kind <= skThumbnail; ++kind)
    ReadSection(data.Sections(static_cast<TExifSectionKind>(kind)));
  try {
    ReadSection(data.Sections(skMakerNote));
  } catch (const EInvalidMakerNoteFormat&) {
  }
  for (const TTiffDirectory& directory : file.Directories()) ReadSection(*directory.Tags);
  for (const TTiffPreview& preview : file.Previews())
    if (preview.Offset < 0 || preview.Size < 0 || preview.Offset + preview.Size > static_cast<std::int64_t>(size))
      std::abort();
  if (!file.Preview().Empty()) (void)file.Preview().Width();
  try {
    (void)ListXMPValues(data.XMPPacket());
  } catch (const Zorp::Base::Exception&) {
  }
  Zorp::Base::TMemoryStream out;
  try {
    data.SaveToStream(out);
    std::abort();  // a container loaded from a raw file must never be written
  } catch (const EZorpExifException&) {
  }
  if (out.Size() != 0) std::abort();
  return 0;
}
