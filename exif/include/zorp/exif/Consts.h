#pragma once
// The one table of message texts. Texts with %d/%s are printf-style patterns.

namespace Zorp::Exif {

// Platform errors.
inline constexpr const char* SReadError = "Stream read error";
inline constexpr const char* SWriteError = "Stream write error";
inline constexpr const char* SFOpenError = "Cannot open file \"%s\". %s";
inline constexpr const char* SFCreateError = "Cannot create file \"%s\". %s";
inline constexpr const char* SNotARegularFile = "Not a regular file";
inline constexpr const char* SRangeError = "Range check error";
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";
inline constexpr const char* SInvalidInteger = "''%s'' is not a valid integer value";
inline constexpr const char* SInvalidFloat = "''%s'' is not a valid floating point value";
inline constexpr const char* SInvalidFraction = "''%s'' is not a valid fraction";
inline constexpr const char* SInvalidDateTime = "''%s'' is not a valid date and time";
inline constexpr const char* SDateEncodeError = "Invalid argument to date encode";
inline constexpr const char* STimeEncodeError = "Invalid argument to time encode";
inline constexpr const char* SAssertionFailed = "Assertion failed";
inline constexpr const char* SCannotAssign = "Cannot assign a %s to a %s";
inline constexpr const char* SReadOnlyStream = "Stream is read-only";
inline constexpr const char* SJPEGError = "JPEG error: %s";

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
inline constexpr const char* SCannotReplaceFile = "Cannot replace file \"%s\". %s";
inline constexpr const char* SCannotRewriteFile =
    "Cannot rewrite file \"%s\". %s. Its former content is kept in \"%s\"";

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

// The viewer.
inline constexpr const char* SCouldNotFindPicturesFolder = "Could not find MyDocuments folder location.";
inline constexpr const char* SInvalidIntegerFormat = "Invalid integer format";
inline constexpr const char* SInvalidDataFormat = "Invalid data format";

}  // namespace Zorp::Exif
