#pragma once
// The in-memory ini file that holds MakerNotes.ini: read once, then queried by section and key.
//
// Text: a UTF-8 byte-order mark, or a UTF-16LE/BE one, selects that encoding; without one the text
// is UTF-8, and a line that is not valid UTF-8 is read per byte as Windows-1252 (a stray byte spoils
// only its own line). An odd last byte of UTF-16 text is dropped. Lines end at CR LF, LF or CR.
//
// Lines: "[name]" (blanks around and inside the brackets trimmed) starts a section; "key=value"
// splits at the first "=" with key and value trimmed of blanks (codes up to 32); a line whose first
// non-blank is ";" is a comment. Anything else - blank lines, text without "=", an empty key, keys
// before the first section - is skipped. Quotes and trailing ";" text are part of the value.
//
// Section and key names compare without regard to ASCII letter case. A name that is asked for is
// not trimmed, so one with leading blanks or an "=" never matches.
//
// Duplicates: a repeated section adds to the first one, and the first occurrence of a key wins, as
// with the classic profile readers; that way a later stray copy of a key cannot override a
// description above it, and listings keep the order of first appearance and the first spelling.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Quorvane::Viewer {

class TMemIniFile {
 public:
  // The largest file LoadFromFile reads: 4 MB.
  static constexpr std::int64_t MaxFileSize = 4 * 1024 * 1024;
  // Texts of the file shown to a person are cut to this many characters (see ReadShownString).
  static constexpr std::size_t MaxShownCharacters = 200;

  // An empty ini.
  TMemIniFile() = default;
  // Reads the file as LoadFromFile does.
  explicit TMemIniFile(const std::filesystem::path& fileName);

  static TMemIniFile FromBytes(std::string_view bytes);

  const std::filesystem::path& FileName() const { return FFileName; }

  // Replaces the contents. A missing file gives an empty ini. Only a regular file is read (opened
  // without blocking, so a FIFO or device never hangs); anything else, a file larger than
  // MaxFileSize or one that cannot be read raises EFOpenError "FILE: reason" and leaves the ini empty.
  void LoadFromFile(const std::filesystem::path& fileName);
  void LoadFromBytes(std::string_view bytes);
  void Clear();

  // The value of the key, an empty one as it is; the default when section or key is missing.
  std::string ReadString(std::string_view section, std::string_view ident, std::string_view defaultValue) const;
  // ReadString for a text shown to a person (a label, a value's description): a value of the file
  // longer than MaxShownCharacters characters is cut there, on a character boundary, and "…" added;
  // the default is returned as it is.
  std::string ReadShownString(std::string_view section, std::string_view ident, std::string_view defaultValue) const;
  // The value as a decimal or "$"/"0x" hexadecimal 32-bit integer; the default when the key is
  // missing or its value is no such integer (empty included).
  std::int32_t ReadInteger(std::string_view section, std::string_view ident, std::int32_t defaultValue) const;
  // The integer value as a Boolean: non-zero is true; the default as for ReadInteger.
  bool ReadBool(std::string_view section, std::string_view ident, bool defaultValue) const;

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view ident) const;
  // Section names in file order; the keys of one section in file order (none for a missing one).
  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadSection(std::string_view section) const;

 private:
  struct TEntry {
    std::string Name;
    std::string Value;
  };
  struct TSection {
    std::string Name;
    std::vector<TEntry> Entries;
    std::unordered_map<std::string, std::size_t> Index;  // upper-case key -> entry
  };

  const TSection* FindSection(std::string_view section) const;
  const TEntry* FindEntry(std::string_view section, std::string_view ident) const;
  void AddLine(std::string_view line, std::size_t& current);

  std::filesystem::path FFileName;
  std::vector<TSection> FSections;
  std::unordered_map<std::string, std::size_t> FSectionIndex;  // upper-case name -> section
  std::size_t FLongestKey = 0;
};

}  // namespace Quorvane::Viewer
