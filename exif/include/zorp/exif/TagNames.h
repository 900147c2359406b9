#pragma once
// The standard names of the TIFF/Exif tags, per directory (Exif 2.32 and TIFF 6.0 spellings, plus the
// Windows additions), for listings that show a name beside a tag number.

#include "zorp/exif/ExifSections.h"
#include "zorp/exif/TagIDs.h"

namespace Zorp::Exif {

// The name of tag id in a directory of the given kind; nullptr when the number has none there.
// IFD1 (skThumbnail) shares the names of IFD0. MakerNote tags belong to their maker: always nullptr.
const char* StandardTagName(TExifSectionKind kind, TExifTagID id);

}  // namespace Zorp::Exif
