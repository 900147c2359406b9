#include "JsonWriter.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>

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

void TJsonWriter::Indent(std::size_t depth) { FOut.append((FBaseDepth + depth) * 2, ' '); }

void TJsonWriter::BeforeValue() {
  if (FAfterKey) {
    FAfterKey = false;
    return;
  }
  if (FLevels.empty()) return;
  TLevel& level = FLevels.back();
  FOut += level.Count++ ? ",\n" : "\n";
  Indent(FLevels.size());
}

void TJsonWriter::Key(std::string_view key) {
  BeforeValue();  // a member goes where an array element would
  // The listings' keys are short and plain: one look at each byte, then copied as they are.
  bool plain = true;
  for (const char c : key) plain &= PlainBytes[static_cast<unsigned char>(c)];
  if (plain) {
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
  if (!empty) {
    FOut += '\n';
    Indent(FLevels.size());
  }
  FOut += bracket;
}

void TJsonWriter::String(std::string_view text) {
  BeforeValue();
  AppendJsonString(FOut, text);
}

void TJsonWriter::FinishAppendedString(std::size_t start) {
  const std::string_view text = std::string_view(FOut).substr(start + 1);
  std::size_t i = 0;
  while (i + 8 <= text.size() && !NeedsLook(text.data() + i)) i += 8;
  while (i < text.size() && PlainBytes[static_cast<unsigned char>(text[i])]) ++i;
  if (i < text.size()) {
    const std::string raw(text);
    FOut.resize(start);
    AppendJsonString(FOut, raw);
    return;
  }
  FOut += '"';
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
