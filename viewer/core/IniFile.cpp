#include "core/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/TextEncoding.h"

namespace Quorvane::Viewer {

namespace {

using Zorp::Base::Trim;
using Zorp::Base::UpperCase;

constexpr std::size_t NoSection = static_cast<std::size_t>(-1);

// UTF-16 bytes of either order to UTF-8; an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  const std::uint64_t count = bytes.size() / 2;
  std::u16string units(static_cast<std::size_t>(count), u'\0');
  for (std::uint64_t i = 0; i < count; ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    units[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  return Zorp::Base::Utf16ToUtf8(units);
}

[[noreturn]] void Refuse(const std::filesystem::path& fileName, const std::string& reason) {
  throw Zorp::Base::EFOpenError(fileName.string() + ": " + reason);
}

// The bytes of the file, read as a photo is: opened without blocking, a regular file only, and no
// more than MaxFileSize bytes. False for a missing file.
bool ReadDescriptionFile(const std::filesystem::path& fileName, std::string& bytes) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    Refuse(fileName, std::strerror(errno));
  }
  const struct TCloser {
    int Handle;
    ~TCloser() { ::close(Handle); }
  } closer{fd};
  struct stat status {};
  if (::fstat(fd, &status) != 0) Refuse(fileName, std::strerror(errno));
  if (!S_ISREG(status.st_mode)) Refuse(fileName, "the description file is not a regular file");
  constexpr std::int64_t limit = TMemIniFile::MaxFileSize;
  if (status.st_size > limit) Refuse(fileName, "the description file is larger than 4 MB");
  // The file may grow while it is read: one byte past the limit is enough to tell.
  bytes.resize(static_cast<std::size_t>(status.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (bytes.size() > static_cast<std::size_t>(limit)) Refuse(fileName, "the description file is larger than 4 MB");
      bytes.resize(std::min<std::size_t>(bytes.size() * 2, limit + 1));
    }
    const ssize_t got = ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Refuse(fileName, std::strerror(errno));
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return true;
}

}  // namespace

TMemIniFile::TMemIniFile(const std::filesystem::path& fileName) { LoadFromFile(fileName); }

TMemIniFile TMemIniFile::FromBytes(std::string_view bytes) {
  TMemIniFile result;
  result.LoadFromBytes(bytes);
  return result;
}

void TMemIniFile::LoadFromFile(const std::filesystem::path& fileName) {
  Clear();
  FFileName.clear();
  std::string bytes;
  if (!ReadDescriptionFile(fileName, bytes)) return;
  LoadFromBytes(bytes);
  FFileName = fileName;
}

void TMemIniFile::Clear() {
  FSections.clear();
  FSectionIndex.clear();
  FLongestKey = 0;
}

void TMemIniFile::LoadFromBytes(std::string_view bytes) {
  Clear();
  FFileName.clear();
  std::size_t current = NoSection;
  std::string text;
  bool eightBit = false;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    text.assign(bytes.substr(3));
    eightBit = true;
  } else if (bytes.starts_with("\xFF\xFE")) {
    text = Utf16ToUtf8(bytes.substr(2), false);
  } else if (bytes.starts_with("\xFE\xFF")) {
    text = Utf16ToUtf8(bytes.substr(2), true);
  } else {
    text.assign(bytes);
    eightBit = true;
  }
  for (const std::string_view line : Zorp::Base::SplitLines(text)) {
    if (eightBit && !Zorp::Base::IsValidUtf8(line))
      AddLine(Zorp::Base::Windows1252ToUtf8(line), current);
    else
      AddLine(line, current);
  }
}

void TMemIniFile::AddLine(std::string_view line, std::size_t& current) {
  const std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';') return;
  if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
    std::string name = Trim(std::string_view(trimmed).substr(1, trimmed.size() - 2));
    const auto [found, added] = FSectionIndex.try_emplace(UpperCase(name), FSections.size());
    if (added) FSections.push_back(TSection{std::move(name), {}, {}});
    current = found->second;
    return;
  }
  const std::size_t equals = trimmed.find('=');
  if (current == NoSection || equals == std::string::npos) return;
  std::string name = Trim(std::string_view(trimmed).substr(0, equals));
  if (name.empty()) return;
  TSection& section = FSections[current];
  FLongestKey = std::max(FLongestKey, name.size());
  if (section.Index.try_emplace(UpperCase(name), section.Entries.size()).second)
    section.Entries.push_back(TEntry{std::move(name), Trim(std::string_view(trimmed).substr(equals + 1))});
}

const TMemIniFile::TSection* TMemIniFile::FindSection(std::string_view section) const {
  const auto found = FSectionIndex.find(UpperCase(section));
  return found == FSectionIndex.end() ? nullptr : &FSections[found->second];
}

const TMemIniFile::TEntry* TMemIniFile::FindEntry(std::string_view section, std::string_view ident) const {
  // Value texts asked for as keys may be long; one longer than every key cannot match.
  if (ident.size() > FLongestKey) return nullptr;
  const TSection* found = FindSection(section);
  if (found == nullptr) return nullptr;
  const auto entry = found->Index.find(UpperCase(ident));
  return entry == found->Index.end() ? nullptr : &found->Entries[entry->second];
}

std::string TMemIniFile::ReadString(std::string_view section, std::string_view ident,
                                    std::string_view defaultValue) const {
  const TEntry* entry = FindEntry(section, ident);
  return entry == nullptr ? std::string(defaultValue) : entry->Value;
}

std::string TMemIniFile::ReadShownString(std::string_view section, std::string_view ident,
                                         std::string_view defaultValue) const {
  const TEntry* entry = FindEntry(section, ident);
  if (entry == nullptr) return std::string(defaultValue);
  if (entry->Value.size() <= MaxShownCharacters || Zorp::Base::Utf8Length(entry->Value) <= MaxShownCharacters)
    return entry->Value;
  return Zorp::Base::Utf8Left(entry->Value, MaxShownCharacters) + "\xE2\x80\xA6";  // "…"
}

std::int32_t TMemIniFile::ReadInteger(std::string_view section, std::string_view ident,
                                      std::int32_t defaultValue) const {
  const TEntry* entry = FindEntry(section, ident);
  std::int32_t value = 0;
  return entry != nullptr && Zorp::Base::TryStrToInt(entry->Value, value) ? value : defaultValue;
}

bool TMemIniFile::ReadBool(std::string_view section, std::string_view ident, bool defaultValue) const {
  return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

bool TMemIniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

bool TMemIniFile::ValueExists(std::string_view section, std::string_view ident) const {
  return FindEntry(section, ident) != nullptr;
}

std::vector<std::string> TMemIniFile::ReadSections() const {
  std::vector<std::string> names;
  names.reserve(FSections.size());
  for (const TSection& section : FSections) names.push_back(section.Name);
  return names;
}

std::vector<std::string> TMemIniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> names;
  if (const TSection* found = FindSection(section))
    for (const TEntry& entry : found->Entries) names.push_back(entry.Name);
  return names;
}

}  // namespace Quorvane::Viewer
