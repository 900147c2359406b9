#pragma once
// Text helpers: UTF-8 is the host string encoding; tags hold UTF-8 bytes, UTF-16LE (Windows text tags),
// or old 8-bit text that is decoded per byte as Windows-1252 when it is not valid UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Zorp::Base {

bool IsAscii(std::string_view text);
bool IsValidUtf8(std::string_view text);
// Decodes the UTF-8 sequence at text[pos] into code and returns its length, or 0 when the bytes
// there are not one (a stray continuation byte, a truncated sequence, an overlong form, a surrogate,
// a code point above U+10FFFF) or pos lies at or past the end.
std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& code);
// Windows-1252 bytes to UTF-8 (undefined code points 0x81, 0x8D, 0x8F, 0x90, 0x9D map to U+0081 etc.).
std::string Windows1252ToUtf8(std::string_view bytes);
// 8-bit text read from a file: kept when it is valid UTF-8, otherwise each byte as Windows-1252.
std::string DecodeTagText(const std::uint8_t* bytes, std::size_t count);

// UTF-8 <-> UTF-16. Invalid UTF-8 input is decoded as DecodeTagText does; unpaired surrogates
// become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-16LE bytes (count code units) to UTF-8.
std::string Utf16LEToUtf8(const std::uint8_t* bytes, std::size_t codeUnits);
// UTF-8 text as UTF-16LE bytes, without a terminator.
std::vector<std::uint8_t> Utf8ToUtf16LE(std::string_view text);

// Unicode code points in valid UTF-8 text; the first count code points.
std::size_t Utf8Length(std::string_view text);
std::string Utf8Left(std::string_view text, std::size_t count);

// ASCII-only case mapping and comparison (the platform's UpperCase/LowerCase/SameText/CompareText).
inline constexpr char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline constexpr char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
// Removes characters up to and including the blank (code <= 32) from both ends / one end.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

// The lines of a text, ended by CR LF, LF or CR; a line end at the very end starts no further line.
// The views point into text.
std::vector<std::string_view> SplitLines(std::string_view text);

// Comma text: items separated by commas and unquoted blanks (codes 1..32); double quotes group,
// with "" standing for one quote. Empty text gives no items.
std::vector<std::string> SplitCommaText(std::string_view text);
// Joins with commas and no blanks; an item with a blank, comma, quote or control character
// is quoted with inner quotes doubled.
std::string JoinCommaText(const std::vector<std::string>& items);

}  // namespace Zorp::Base
