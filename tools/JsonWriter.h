#pragma once
// A streaming JSON writer for the listings: values go straight into a text buffer as they are
// produced, with no document tree. The layout is that of a two-blank indented dump: "{" and "["
// on the line of their key, one member per line, empty containers as "{}" and "[]". Text is UTF-8;
// control characters are escaped and invalid UTF-8 becomes U+FFFD.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvane::Cli {

class TJsonWriter {
 public:
  // baseDepth: the indent level of the first value, for a value written inside an outer document.
  explicit TJsonWriter(std::string& out, std::size_t baseDepth = 0) : FOut(out), FBaseDepth(baseDepth) {}

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // The key of the next member of the open object.
  void Key(std::string_view key);

  void String(std::string_view text);
  // A string value whose text produce(out) appends straight to the output, escaped afterwards only
  // when it needs to be: a long text is not copied on its way.
  template <typename TProduce>
  void StringAppended(TProduce&& produce) {
    BeforeValue();
    const std::size_t start = FOut.size();
    FOut += '"';
    produce(FOut);
    FinishAppendedString(start);
  }
  // The same for a text that needs no escape (hex digits, numbers): it is not looked at again.
  template <typename TProduce>
  void PlainStringAppended(TProduce&& produce) {
    BeforeValue();
    FOut += '"';
    produce(FOut);
    FOut += '"';
  }
  void Number(std::int64_t value);
  void Number(std::uint64_t value);
  void Bool(bool value);
  void Null();
  void StringArray(const std::vector<std::string>& texts);

  // For an element of the open array that the caller writes whole into Output(), the separator
  // and indent before it included: whether it is the array's first element. Depth() is the
  // element's indent level (its members go one level deeper).
  bool BeginRawElement() { return FLevels.back().Count++ == 0; }
  std::size_t Depth() const { return FBaseDepth + FLevels.size(); }
  std::string& Output() { return FOut; }

 private:
  // Before a value: the separator and indent in an array; nothing after a key.
  void BeforeValue();
  // Ends the open object or array with its bracket, on a line of its own unless it is empty.
  void Close(char bracket);
  // Closes the string that StringAppended began at start, escaping its text if need be.
  void FinishAppendedString(std::size_t start);

  struct TLevel {
    bool Object;
    std::size_t Count;
  };
  std::string& FOut;
  std::size_t FBaseDepth;
  std::vector<TLevel> FLevels;
  bool FAfterKey = false;
};

// Appends text as a JSON string, quotes included.
void AppendJsonString(std::string& out, std::string_view text);

// Escapes, if it needs it, the text that follows the opening quote at out[start]; the closing quote
// is left to the caller.
void EscapeAppendedText(std::string& out, std::size_t start);

// Whether text goes into a JSON string as it is (printable ASCII other than quote and backslash).
bool IsPlainJsonText(std::string_view text);

// Appends two upper-case hex digits for each byte, in one growth of out.
void AppendHexDigits(std::string& out, std::span<const std::uint8_t> bytes);

// The fixed text of an object whose members have known keys, formed once for an indent level:
// Before(i) goes before member i's value ("{", or "," after an earlier member, then the line break,
// the indent and the key), Closing() after the last value. A member may be left out, except the
// first. ElementOpening(first) is Before(0) with the separator and indent of an array element.
class TJsonObjectPieces {
 public:
  TJsonObjectPieces(std::initializer_list<std::string_view> keys, std::size_t depth);
  std::string_view Before(std::size_t member) const { return FBefore[member]; }
  std::string_view Closing() const { return FClosing; }
  std::string_view ElementOpening(bool first) const { return FElementOpening[first ? 1 : 0]; }

 private:
  std::vector<std::string> FBefore;
  std::string FClosing;
  std::string FElementOpening[2];
};

}  // namespace Quorvane::Cli
