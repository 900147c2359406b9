#include "JsonWriter.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Quorvane::Cli {

namespace {

// Printable ASCII other than the quote and the backslash.
constexpr auto PlainBytes = [] {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
  return plain;
}();

// Whether any of the eight bytes at p is a control character, non-ASCII, a quote or a backslash.
bool NeedsLook(const char* p) {
  constexpr std::uint64_t Ones = 0x0101010101010101u, High = 0x8080808080808080u;
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  const auto hasZeroByte = [](std::uint64_t v) { return ((v - Ones) & ~v & High) != 0; };
  const bool hasControl = ((word - Ones * 0x20) & ~word & High) != 0;
  return (word & High) != 0 || hasControl || hasZeroByte(word ^ (Ones * '"')) || hasZeroByte(word ^ (Ones * '\\'));
}

// The length of the leading run of text that goes into a JSON string as it is.
std::size_t PlainPrefixLength(std::string_view text) {
  std::size_t i = 0;
  while (i + 8 <= text.size() && !NeedsLook(text.data() + i)) i += 8;
  while (i < text.size() && PlainBytes[static_cast<unsigned char>(text[i])]) ++i;
  return i;
}

// Appends ",\n" (or "\n") and the indent of the level. The texts of the first levels are formed
// once: copied from a string whose length the compiler cannot bound, they go through a call to
// memcpy, which is faster for them than the inline string copy it emits for a bounded length.
void AppendBreak(std::string& out, bool comma, std::size_t level) {
  constexpr std::size_t FormedLevels = 32;
  static const auto Breaks = [] {
    std::array<std::string, FormedLevels + 1> breaks;
    for (std::size_t i = 0; i <= FormedLevels; ++i) breaks[i] = ",\n" + std::string(2 * i, ' ');
    return breaks;
  }();
  if (level <= FormedLevels) {
    const std::string& text = Breaks[level];
    out.append(text.data() + (comma ? 0 : 1), text.size() - (comma ? 0 : 1));
    return;
  }
  out += comma ? ",\n" : "\n";
  out.append(2 * level, ' ');
}

// The length of the well-formed UTF-8 sequence at text[i], or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return length;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  const std::size_t start = out.size();
  out += '"';
  std::size_t plainStart = 0;
  for (std::size_t i = 0; i < text.size();) {
    // Runs of bytes that go out as they are, skipped eight at a time while no byte in a word needs
    // a look (long hex texts are all such bytes), then by table.
    while (i + 8 <= text.size() && !NeedsLook(text.data() + i)) i += 8;
    while (i < text.size() && PlainBytes[static_cast<unsigned char>(text[i])]) ++i;
    if (i == text.size()) break;
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      if (const std::size_t length = Utf8SequenceLength(text, i)) {
        i += length;
        continue;
      }
      // Invalid UTF-8: the whole text is escaped by the JSON library, whose replacement rules
      // decide how many bytes each U+FFFD stands for.
      out.resize(start);
      out += nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      return;
    }
    out.append(text.data() + plainStart, i - plainStart);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        static const char hex[] = "0123456789abcdef";
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 0xF];
      }
    }
    plainStart = ++i;
  }
  out.append(text.data() + plainStart, text.size() - plainStart);
  out += '"';
}

void TJsonWriter::BeforeValue() {
  if (FAfterKey) {
    FAfterKey = false;
    return;
  }
  if (FLevels.empty()) return;
  TLevel& level = FLevels.back();
  AppendBreak(FOut, level.Count++ > 0, FBaseDepth + FLevels.size());
}

void TJsonWriter::Key(std::string_view key) {
  BeforeValue();  // a member goes where an array element would
  // The listings' keys are short and plain: one look at their bytes, then copied as they are.
  if (IsPlainJsonText(key)) {
    FOut += '"';
    FOut += key;
    FOut += "\": ";
  } else {
    AppendJsonString(FOut, key);
    FOut += ": ";
  }
  FAfterKey = true;
}

void TJsonWriter::BeginObject() {
  BeforeValue();
  FOut += '{';
  FLevels.push_back({true, 0});
}

void TJsonWriter::BeginArray() {
  BeforeValue();
  FOut += '[';
  FLevels.push_back({false, 0});
}

void TJsonWriter::EndObject() { Close('}'); }

void TJsonWriter::EndArray() { Close(']'); }

void TJsonWriter::Close(char bracket) {
  const bool empty = FLevels.back().Count == 0;
  FLevels.pop_back();
  if (!empty) AppendBreak(FOut, false, FBaseDepth + FLevels.size());
  FOut += bracket;
}

void TJsonWriter::String(std::string_view text) {
  BeforeValue();
  AppendJsonString(FOut, text);
}

void TJsonWriter::FinishAppendedString(std::size_t start) {
  EscapeAppendedText(FOut, start);
  FOut += '"';
}

void EscapeAppendedText(std::string& out, std::size_t start) {
  const std::string_view text = std::string_view(out).substr(start + 1);
  if (PlainPrefixLength(text) == text.size()) return;
  const std::string raw(text);
  out.resize(start);
  AppendJsonString(out, raw);
  out.pop_back();  // the closing quote, which the caller writes
}

bool IsPlainJsonText(std::string_view text) { return PlainPrefixLength(text) == text.size(); }

void AppendHexDigits(std::string& out, std::span<const std::uint8_t> bytes) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  const std::size_t start = out.size();
  out.resize(start + 2 * bytes.size());
  char* digits = out.data() + start;
  std::size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time: the high and low nibbles apart, each nibble n made '0' + n plus 7 from
  // 10 on ('A' follows '9' after 7), then interleaved high nibble first.
  const __m128i nibble = _mm_set1_epi8(0x0F), nine = _mm_set1_epi8(9), zero = _mm_set1_epi8('0'),
                seven = _mm_set1_epi8(7);
  const auto toDigits = [&](__m128i n) {
    return _mm_add_epi8(_mm_add_epi8(n, zero), _mm_and_si128(_mm_cmpgt_epi8(n, nine), seven));
  };
  for (; bytes.size() - i >= 16; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
    const __m128i high = toDigits(_mm_and_si128(_mm_srli_epi16(block, 4), nibble));
    const __m128i low = toDigits(_mm_and_si128(block, nibble));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 2 * i), _mm_unpacklo_epi8(high, low));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(digits + 2 * i + 16), _mm_unpackhi_epi8(high, low));
  }
#endif
  for (; i < bytes.size(); ++i) {
    digits[2 * i] = Digits[bytes[i] >> 4];
    digits[2 * i + 1] = Digits[bytes[i] & 0x0F];
  }
}

TJsonObjectPieces::TJsonObjectPieces(std::initializer_list<std::string_view> keys, std::size_t depth) {
  for (const std::string_view key : keys) {
    std::string piece(FBefore.empty() ? "{" : "");
    AppendBreak(piece, !FBefore.empty(), depth + 1);
    AppendJsonString(piece, key);
    piece += ": ";
    FBefore.push_back(std::move(piece));
  }
  AppendBreak(FClosing, false, depth);
  FClosing += '}';
  for (const bool first : {false, true}) {
    std::string& opening = FElementOpening[first ? 1 : 0];
    AppendBreak(opening, !first, depth);
    opening += FBefore.front();
  }
}

// Numbers are written through a buffer on the stack, not a string of their own.
void TJsonWriter::Number(std::int64_t value) {
  BeforeValue();
  char digits[24];
  FOut.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void TJsonWriter::Number(std::uint64_t value) {
  BeforeValue();
  char digits[24];
  FOut.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void TJsonWriter::Bool(bool value) {
  BeforeValue();
  FOut += value ? "true" : "false";
}

void TJsonWriter::Null() {
  BeforeValue();
  FOut += "null";
}

void TJsonWriter::StringArray(const std::vector<std::string>& texts) {
  BeginArray();
  for (const std::string& text : texts) String(text);
  EndArray();
}

}  // namespace Quorvane::Cli
