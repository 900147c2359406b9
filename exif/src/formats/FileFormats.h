#pragma once
// The format objects the registry in MetadataFile.cpp lists, one source file each.

#include "zorp/exif/MetadataFile.h"

namespace Zorp::Exif::Formats {

extern const TMetadataFileFormat& JPEG;
// TIFF and the raw formats built on it (TiffFormats.cpp), read only.
extern const TMetadataFileFormat& TIFF;
extern const TMetadataFileFormat& DNG;
extern const TMetadataFileFormat& CanonCR2;
extern const TMetadataFileFormat& NikonNEF;
extern const TMetadataFileFormat& NikonNRW;
extern const TMetadataFileFormat& SonyARW;
extern const TMetadataFileFormat& SonySR2;
extern const TMetadataFileFormat& OlympusORF;
extern const TMetadataFileFormat& PanasonicRW2;
extern const TMetadataFileFormat& PentaxPEF;

}  // namespace Zorp::Exif::Formats
