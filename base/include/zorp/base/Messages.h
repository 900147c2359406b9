#pragma once
// The message texts of the platform layer. Texts with %d/%s are printf-style patterns.

namespace Zorp::Base {

inline constexpr const char* SReadError = "Stream read error";
inline constexpr const char* SWriteError = "Stream write error";
inline constexpr const char* SFOpenError = "Cannot open file \"%s\". %s";
inline constexpr const char* SFCreateError = "Cannot create file \"%s\". %s";
inline constexpr const char* SNotARegularFile = "Not a regular file";
inline constexpr const char* SRangeError = "Range check error";
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";
inline constexpr const char* SInvalidInteger = "''%s'' is not a valid integer value";
inline constexpr const char* SInvalidFloat = "''%s'' is not a valid floating point value";
inline constexpr const char* SInvalidDateTime = "''%s'' is not a valid date and time";
inline constexpr const char* SDateEncodeError = "Invalid argument to date encode";
inline constexpr const char* STimeEncodeError = "Invalid argument to time encode";
inline constexpr const char* SAssertionFailed = "Assertion failed";
inline constexpr const char* SReadOnlyStream = "Stream is read-only";
inline constexpr const char* SJPEGError = "JPEG error: %s";
inline constexpr const char* SCannotReplaceFile = "Cannot replace file \"%s\". %s";
inline constexpr const char* SCannotRewriteFile =
    "Cannot rewrite file \"%s\". %s. Its former content is kept in \"%s\"";
inline constexpr const char* SPhotoChangedSinceRead =
    "The photo was changed by another program after it was read; it has been read again";
inline constexpr const char* SRestoredFromBackup =
    "The photo was restored from the backup of a save that was interrupted";
inline constexpr const char* SBackupUnusable =
    "A save of the photo was interrupted and its backup \"%s\" is damaged; the photo is left as it is";
inline constexpr const char* SBackupRestoreFailed =
    "A save of the photo was interrupted and it could not be restored from its backup \"%s\". %s";
inline constexpr const char* SBackupInTheWay =
    "Cannot rewrite file \"%s\": the backup \"%s\" of an interrupted save is still there";

}  // namespace Zorp::Base
