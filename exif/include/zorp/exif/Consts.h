#pragma once
// The message texts of the metadata library. Texts with %d/%s are printf-style patterns. The
// platform layer's texts live in zorp/base/Messages.h; the library uses them under the same names.

#include "zorp/base/Messages.h"

namespace Zorp::Exif {

using Zorp::Base::SReadError;
using Zorp::Base::SWriteError;
using Zorp::Base::SFOpenError;
using Zorp::Base::SFCreateError;
using Zorp::Base::SNotARegularFile;
using Zorp::Base::SRangeError;
using Zorp::Base::SListIndexError;
using Zorp::Base::SInvalidInteger;
using Zorp::Base::SInvalidFloat;
using Zorp::Base::SInvalidDateTime;
using Zorp::Base::SDateEncodeError;
using Zorp::Base::STimeEncodeError;
using Zorp::Base::SAssertionFailed;
using Zorp::Base::SReadOnlyStream;
using Zorp::Base::SJPEGError;
using Zorp::Base::SCannotReplaceFile;
using Zorp::Base::SCannotRewriteFile;

inline constexpr const char* SInvalidFraction = "''%s'' is not a valid fraction";
inline constexpr const char* SCannotAssign = "Cannot assign a %s to a %s";

// The metadata library.
inline constexpr const char* SInvalidTiffData = "Malformed TIFF data";
inline constexpr const char* STagCanContainOnlyASCII = "Tag may contain only ASCII string data";
inline constexpr const char* STagAlreadyExists = "Tag with ID of \"%d\" already exists in section";
inline constexpr const char* SInvalidMakerNoteFormat = "Invalid MakerNote format";
inline constexpr const char* SInvalidExifData = "No Exif header found";
inline constexpr const char* SIllegalEditOfExifData =
    "Illegal attempt to edit the Exif data in such a way that it would change the file structure";
inline constexpr const char* SInvalidJPEGHeader = "JPEG header is not valid";
inline constexpr const char* SJPEGSegmentTooLarge = "JPEG segment data of %lld bytes exceeds the limit of 65533";
// Saving.
inline constexpr const char* SSaveSegmentTooLarge =
    "The %s data of %lld bytes does not fit one JPEG segment (65533 bytes at most)";
inline constexpr const char* SThumbnailTooLarge =
    "The thumbnail of %lld bytes exceeds 61440 bytes even after scaling down";
inline constexpr const char* SSavedJPEGNotValid =
    "The saved JPEG does not read back correctly (%s); the file was not changed";
inline constexpr const char* SUnreadableExifData =
    "The Exif data of this photo could not be read; saving would discard it";

// TIFF and raw files.
inline constexpr const char* SReadOnlyFileFormat = "%s files are read only: Quorvane does not save their metadata";
inline constexpr const char* SNotATiffFile = "Not a TIFF or TIFF-based raw file";
inline constexpr const char* SBigTiffNotSupported = "BigTIFF files are not supported";

// XMP.
inline constexpr const char* SInvalidXMPPacket = "XMP packet is not valid";
inline constexpr const char* SSubPropertiesNotSupported = "Property type does not support sub-properties";
inline constexpr const char* SSubPropertiesMustBeNamed = "Sub-properties must be named";
inline constexpr const char* SCannotWriteSingleValueToStructureProperty =
    "Cannot assign a single value to a structure property";
inline constexpr const char* SPreferredPrefixMustBeSet =
    "The schema's PreferredPrefix property must be set before a new item can be added";
inline constexpr const char* SXMPTextNotUtf8 = "XMP text cannot hold the byte 0x%.2X, which is not valid UTF-8";
inline constexpr const char* SXMPTextInvalidCharacter = "XMP text cannot hold the character U+%.4X";

// IPTC.
inline constexpr const char* SIPTCUnknownDataset = "There is no IPTC dataset %s";
inline constexpr const char* SIPTCValueTooLong = "The IPTC %s value of %lld bytes exceeds its limit of %lld bytes";
inline constexpr const char* SIPTCNotRepeatable = "The IPTC %s dataset holds one value only, not %lld";
inline constexpr const char* SIPTCValueNotText = "The IPTC %s value is not valid UTF-8 text";
inline constexpr const char* SIPTCBadValueFormat = "The IPTC %s value \"%s\" is not in the form %s";
inline constexpr const char* SIPTCConversionTooLong =
    "Non-ASCII text needs IPTC in UTF-8, which would make the %s value %lld bytes long, over its limit of %lld bytes";
inline constexpr const char* SIPTCNotWritable =
    "The Photoshop resources of this photo could not be read completely; IPTC is not changed";

// The viewer.
inline constexpr const char* SCouldNotFindPicturesFolder = "Could not find MyDocuments folder location.";
inline constexpr const char* SInvalidIntegerFormat = "Invalid integer format";
inline constexpr const char* SInvalidDataFormat = "Invalid data format";

}  // namespace Zorp::Exif
