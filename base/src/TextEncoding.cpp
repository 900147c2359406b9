#include "zorp/base/TextEncoding.h"

#include <algorithm>

namespace Zorp::Base {

namespace {

constexpr char32_t ReplacementCharacter = 0xFFFD;

// Windows-1252 at 0x80..0x9F; the five unassigned bytes keep their C1 code points.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  }
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

// -----------------------------------------------------------------------------------------------
// Validation and 8-bit text

std::size_t DecodeUtf8(std::string_view text, std::size_t pos, char32_t& code) {
  if (pos >= text.size()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsValidUtf8(std::string_view text) {
  char32_t code = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t length = DecodeUtf8(text, pos, code);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
  std::string result;
  result.reserve(bytes.size());
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0x9F)
      AppendUtf8(result, Windows1252High[byte - 0x80]);
    else
      AppendUtf8(result, byte);
  }
  return result;
}

std::string DecodeTagText(const std::uint8_t* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return {};
  const std::string_view text(reinterpret_cast<const char*>(bytes), count);
  return IsValidUtf8(text) ? std::string(text) : Windows1252ToUtf8(text);
}

// -----------------------------------------------------------------------------------------------
// UTF-16

std::u16string Utf8ToUtf16(std::string_view text) {
  std::string decoded;
  if (!IsValidUtf8(text)) {
    decoded = Windows1252ToUtf8(text);
    text = decoded;
  }
  std::u16string result;
  result.reserve(text.size());
  char32_t code = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    pos += DecodeUtf8(text, pos, code);  // valid by now, so every step advances
    AppendUtf16(result, code);
  }
  return result;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(result, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(result, ReplacementCharacter);
    } else {
      AppendUtf8(result, unit);
    }
  }
  return result;
}

std::string Utf16LEToUtf8(const std::uint8_t* bytes, std::size_t codeUnits) {
  if (bytes == nullptr) return {};
  std::u16string units(codeUnits, u'\0');
  for (std::size_t i = 0; i < codeUnits; ++i) units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return Utf16ToUtf8(units);
}

std::vector<std::uint8_t> Utf8ToUtf16LE(std::string_view text) {
  const std::u16string units = Utf8ToUtf16(text);
  std::vector<std::uint8_t> result;
  result.reserve(units.size() * 2);
  for (char16_t unit : units) {
    result.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    result.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return result;
}

// -----------------------------------------------------------------------------------------------
// Code points

std::size_t Utf8Length(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuationByte(c); }));
}

std::string Utf8Left(std::string_view text, std::size_t count) {
  std::size_t seen = 0;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    if (!IsContinuationByte(text[pos]) && seen++ == count) return std::string(text.substr(0, pos));
  }
  return std::string(text);
}

// -----------------------------------------------------------------------------------------------
// ASCII case and blanks

std::string UpperCase(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), UpperAscii);
  return result;
}

std::string LowerCase(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), LowerAscii);
  return result;
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const int difference = static_cast<unsigned char>(UpperAscii(a[i])) - static_cast<unsigned char>(UpperAscii(b[i]));
    if (difference != 0) return difference;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

std::string TrimLeft(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  return std::string(text.substr(first));
}

std::string TrimRight(std::string_view text) {
  std::size_t last = text.size();
  while (last > 0 && IsBlank(text[last - 1])) --last;
  return std::string(text.substr(0, last));
}

// -----------------------------------------------------------------------------------------------
// Comma text

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> SplitCommaText(std::string_view text) {
  // A NUL ends the text, as it ends the platform's character buffer.
  text = text.substr(0, std::min(text.find('\0'), text.size()));
  const auto separatorBlank = [](char c) { return c != '\0' && IsBlank(c); };
  std::vector<std::string> items;
  std::size_t pos = 0;
  while (pos < text.size() && separatorBlank(text[pos])) ++pos;
  while (pos < text.size()) {
    std::string item;
    if (text[pos] == '"') {
      // Quoted: up to the closing quote (or the end), "" standing for one quote.
      ++pos;
      while (pos < text.size()) {
        if (text[pos] == '"') {
          if (pos + 1 < text.size() && text[pos + 1] == '"') {
            item += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        item += text[pos++];
      }
    } else {
      const std::size_t start = pos;
      while (pos < text.size() && !IsBlank(text[pos]) && text[pos] != ',') ++pos;
      item.assign(text.substr(start, pos - start));
    }
    items.push_back(std::move(item));
    while (pos < text.size() && separatorBlank(text[pos])) ++pos;
    if (pos < text.size() && text[pos] == ',') {
      // A comma that ends the text still separates: an empty item follows it.
      if (pos + 1 == text.size()) items.emplace_back();
      ++pos;
      while (pos < text.size() && separatorBlank(text[pos])) ++pos;
    }
  }
  return items;
}

std::string JoinCommaText(const std::vector<std::string>& items) {
  std::string result;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) result += ',';
    const std::string& item = items[i];
    const bool quote = std::any_of(item.begin(), item.end(), [](char c) { return IsBlank(c) || c == ',' || c == '"'; });
    if (!quote) {
      result += item;
      continue;
    }
    result += '"';
    for (char c : item) {
      if (c == '"') result += '"';
      result += c;
    }
    result += '"';
  }
  return result;
}

}  // namespace Zorp::Base
