#pragma once
// The format objects the registry in MetadataFile.cpp lists, one source file each.

#include "zorp/exif/MetadataFile.h"

namespace Zorp::Exif::Formats {

extern const TMetadataFileFormat& JPEG;

}  // namespace Zorp::Exif::Formats
