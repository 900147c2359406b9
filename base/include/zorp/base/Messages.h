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

}  // namespace Zorp::Base
