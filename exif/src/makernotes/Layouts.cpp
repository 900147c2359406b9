// The MakerNote layouts known for certain. Layouts whose offsets count from different places in
// different cameras of one maker (Pentax, Samsung, Kodak, Ricoh among others) are deliberately not
// listed: their MakerNotes are kept whole by the writer.

#include "makernotes/Layouts.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <vector>

#include "zorp/exif/StreamHelper.h"

namespace Zorp::Exif::Detail {
namespace {

using namespace std::string_view_literals;

constexpr std::array<TExifTagID, 2> NikonSubDirectories = {0x0011, 0x0E10};  // preview, scan settings
constexpr std::array<TImagePointer, 1> NikonImages = {{{0x0201, 0x0202}}};    // in the preview directory
// Equipment, camera settings, raw development (two), image processing, focus, raw information.
constexpr std::array<TExifTagID, 7> OlympusSubDirectories = {0x2010, 0x2020, 0x2030, 0x2031, 0x2040, 0x2050, 0x3000};
constexpr std::array<TImagePointer, 2> OlympusImages = {{{0x0088, 0x0089}, {0x0101, 0x0102}}};
constexpr std::array<TImagePointer, 1> CasioImages = {{{0x0004, 0x0003}}};

constexpr TMakerNoteLayout Layout(const char* name, std::string_view signature, std::string_view make,
                                  std::int32_t directoryAt, TMakerNoteOffsetBase base,
                                  TLayoutByteOrder order = TLayoutByteOrder::Detect, std::int32_t orderMarkAt = 0) {
  return {name, signature, make, directoryAt, -1, base, 0, order, orderMarkAt, {}, {}, false};
}

constexpr TMakerNoteLayout WithParts(TMakerNoteLayout layout, std::span<const TExifTagID> subDirectories,
                                     std::span<const TImagePointer> images) {
  layout.SubDirectories = subDirectories;
  layout.Images = images;
  return layout;
}

constexpr TMakerNoteLayout NikonType3() {
  TMakerNoteLayout layout = WithParts(Layout("Nikon type 3", "Nikon\0\2"sv, {}, 18, obEmbeddedHeader,
                                             TLayoutByteOrder::Marked, 10),
                                      NikonSubDirectories, NikonImages);
  layout.EmbeddedHeaderAt = 10;
  return layout;
}

constexpr TMakerNoteLayout Canon() {
  TMakerNoteLayout layout = Layout("Canon", {}, "Canon"sv, 0, obMainHeader);
  layout.MayBeMoved = true;
  return layout;
}

// Casio keeps its values packed behind the directory, so a MakerNote that other software moved
// shows its shift (there is no footer).
constexpr TMakerNoteLayout CasioType2() {
  TMakerNoteLayout layout = WithParts(Layout("Casio type 2", "QVC\0\0\0"sv, {}, 6, obMainHeader), {}, CasioImages);
  layout.MayBeMoved = true;
  return layout;
}

constexpr TMakerNoteLayout Fujifilm(const char* name, std::string_view signature) {
  TMakerNoteLayout layout = Layout(name, signature, {}, 12, obMakerNoteStart, TLayoutByteOrder::Little);
  layout.DirectoryPointerAt = 8;
  return layout;
}

// Signatures first, longest first where one begins another; layouts recognised by the make last.
constexpr std::array Layouts = {
    NikonType3(),
    Layout("Nikon type 1", "Nikon\0\1\0"sv, {}, 8, obMainHeader),
    Layout("Sony", "SONY DSC \0\0\0"sv, {}, 12, obMainHeader),
    Layout("Sony", "SONY CAM \0\0\0"sv, {}, 12, obMainHeader),
    Layout("Panasonic", "Panasonic\0\0\0"sv, {}, 12, obMainHeader),
    WithParts(Layout("Olympus", "OLYMPUS\0"sv, {}, 12, obMakerNoteStart, TLayoutByteOrder::Marked, 8),
              OlympusSubDirectories, OlympusImages),
    WithParts(Layout("OM System", "OM SYSTEM\0\0\0"sv, {}, 16, obMakerNoteStart, TLayoutByteOrder::Marked, 12),
              OlympusSubDirectories, OlympusImages),
    WithParts(Layout("Olympus (old)", "OLYMP\0"sv, {}, 8, obMainHeader), OlympusSubDirectories, OlympusImages),
    Layout("Epson", "EPSON\0"sv, {}, 8, obMainHeader),
    Layout("Minolta (Olympus form)", "MINOL\0"sv, {}, 8, obMainHeader),
    Layout("Sanyo", "SANYO\0"sv, {}, 8, obMainHeader),
    Layout("Sigma", "SIGMA\0\0\0"sv, {}, 10, obMainHeader),
    Layout("Sigma (Foveon)", "FOVEON\0\0"sv, {}, 10, obMainHeader),
    Fujifilm("Fujifilm", "FUJIFILM"sv),
    Fujifilm("General Imaging", "GENERALE"sv),
    CasioType2(),
    Layout("Apple", "Apple iOS\0"sv, {}, 14, obMakerNoteStart, TLayoutByteOrder::Marked, 12),
    Canon(),
    Layout("Nikon type 2", {}, "NIKON"sv, 0, obMainHeader),
    Layout("Casio type 1", {}, "CASIO"sv, 0, obMainHeader),
    Layout("Konica Minolta", {}, "KONICA MINOLTA"sv, 0, obMainHeader),
    Layout("Minolta", {}, "Minolta"sv, 0, obMainHeader),
};

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), bytes.begin(),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

inline constexpr std::int64_t FooterSize = 8;

// The offset the footer at the note's end names, if it has one.
std::optional<std::int64_t> FooterOffset(std::span<const std::uint8_t> note) {
  if (static_cast<std::int64_t>(note.size()) < FooterSize) return std::nullopt;
  const std::span<const std::uint8_t> footer = note.last(FooterSize);
  if (StartsWith(footer, "II*\0"sv)) return GetLongWord(&footer[4], boLittleEndian);
  if (StartsWith(footer, "MM\0*"sv)) return GetLongWord(&footer[4], boBigEndian);
  return std::nullopt;
}

}  // namespace

bool DirectoryValues(std::span<const std::uint8_t> note, std::int64_t at, TByteOrder order, std::int64_t& entriesEnd,
                     std::vector<TValueReference>& values) {
  const auto size = static_cast<std::int64_t>(note.size());
  if (at < 0 || at > size - 2) return false;
  const std::int64_t count = GetWord(&note[static_cast<std::size_t>(at)], order);
  entriesEnd = at + 2 + 12 * count;
  if (count == 0 || entriesEnd > size) return false;
  values.clear();
  for (std::int64_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = &note[static_cast<std::size_t>(at + 2 + 12 * i)];
    const std::int64_t valueSize = TiffDataTypeSize(GetWord(entry + 2, order)) * std::int64_t{GetLongWord(entry + 4, order)};
    if (valueSize > 4) values.push_back({GetLongWord(entry + 8, order), valueSize});
  }
  return true;
}

std::int64_t MovedBaseShift(const TMakerNoteLayout& layout, std::span<const std::uint8_t> note,
                            std::int64_t noteOffset, TByteOrder order) {
  const std::int64_t size = static_cast<std::int64_t>(note.size());
  const std::int64_t at = layout.DirectoryAt;
  std::int64_t entriesEnd = 0;
  std::vector<TValueReference> values;
  if (!layout.MayBeMoved || layout.Base != obMainHeader || layout.DirectoryPointerAt >= 0 ||
      !DirectoryValues(note, at, order, entriesEnd, values))
    return 0;
  // The directory with its link to the next one; the values lie behind it.
  const std::int64_t valuesStart = entriesEnd + 4;
  if (valuesStart > size || values.empty()) return 0;
  const std::optional<std::int64_t> footer = FooterOffset(note.subspan(static_cast<std::size_t>(valuesStart)));
  const std::int64_t valuesEnd = footer ? size - FooterSize : size;
  // Where each value lies in the note for a shift: the bounds that keep them all between the
  // directory and the end.
  std::int64_t lowest = std::numeric_limits<std::int64_t>::min(), highest = std::numeric_limits<std::int64_t>::max();
  for (const TValueReference& value : values) {
    lowest = std::max(lowest, valuesStart - (value.Offset - noteOffset));
    highest = std::min(highest, valuesEnd - value.Size - (value.Offset - noteOffset));
  }
  auto fits = [&](std::int64_t shift) { return lowest <= shift && shift <= highest; };
  if (footer && *footer != noteOffset && fits(noteOffset - *footer)) return noteOffset - *footer;
  if (fits(0)) return 0;
  return lowest == highest ? lowest : 0;
}

std::int64_t MakerNoteBaseShift(const TMakerNoteContext& context, TByteOrder order) {
  const TExifTag& tag = context.Tag;
  const std::span<const std::uint8_t> note = tag.Bytes();
  // The TIFF header takes the block's first 8 bytes: a MakerNote before them was not loaded there.
  if (context.OffsetAdjustment != 0 || tag.SourceDataOffset() < 8) return 0;
  const TMakerNoteLayout* layout = FindMakerNoteLayout(note, context.Make);
  return layout ? MovedBaseShift(*layout, note, tag.SourceDataOffset(), order) : 0;
}

const TMakerNoteLayout* FindMakerNoteLayout(std::span<const std::uint8_t> note, std::string_view make) {
  for (const TMakerNoteLayout& layout : Layouts)
    if (layout.Signature.empty() ? make.starts_with(layout.Make) : StartsWith(note, layout.Signature)) return &layout;
  return nullptr;
}

std::span<const TMakerNoteLayout> MakerNoteLayouts() { return Layouts; }

}  // namespace Zorp::Exif::Detail
