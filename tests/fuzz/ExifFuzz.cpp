// Fuzz harness over the Exif read path: arbitrary bytes loaded as a JPEG file and as an Exif block,
// then every section, the MakerNote, the thumbnail and the XMP packet read. Only the library's own
// exceptions are expected; anything else (or a crash) is a finding.

#include <cstddef>
#include <cstdint>

#include "zorp/base/Exceptions.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/XMPUtils.h"

namespace {

using namespace Zorp::Exif;

void ReadEverything(TExifData& data) {
  for (int kind = skPrimary; kind <= skThumbnail; ++kind)
    for (const TExifTag* tag : data.Sections(static_cast<TExifSectionKind>(kind))) {
      (void)tag->AsString();
      if (tag->ElementCount() > 0) (void)tag->ElementAsString(tag->ElementCount() - 1);
    }
  try {
    for (const TExifTag* tag : data.Sections(skMakerNote)) (void)tag->AsString();
  } catch (const EInvalidMakerNoteFormat&) {
  }
  if (data.HasThumbnail()) {
    (void)data.Thumbnail().Width();
    std::vector<std::uint8_t> rgb;
    int width = 0, height = 0;
    data.Thumbnail().DecodeRGB(rgb, width, height);
  }
  (void)ListXMPValues(data.XMPPacket());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  try {
    TExifData data;
    Zorp::Base::TUserMemoryStream stream(bytes, static_cast<std::int64_t>(size));
    data.LoadFromJPEG(stream);
    ReadEverything(data);
  } catch (const Zorp::Base::Exception&) {
  }
  try {
    TExifData data;
    Zorp::Base::TUserMemoryStream stream(bytes, static_cast<std::int64_t>(size));
    data.LoadFromStream(stream);
    ReadEverything(data);
  } catch (const Zorp::Base::Exception&) {
  }
  return 0;
}
