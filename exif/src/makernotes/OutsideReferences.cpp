// Walks a loaded MakerNote's directory over the whole Exif block (not just the MakerNote's own
// bytes) and lists the value ranges that lie outside the MakerNote.

#include "makernotes/OutsideReferences.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/StreamHelper.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/TiffReader.h"

namespace Zorp::Exif::Detail {
namespace {

// The TIFF header takes the block's first 8 bytes; nothing of a MakerNote may be kept there.
inline constexpr std::int64_t TiffHeaderSize = 8;
// A headerless MakerNote's directory is looked for this far into its data at most.
inline constexpr std::int64_t MaxHeaderSize = 16;
inline constexpr std::int64_t MaxPlausibleEntries = 512;

// Entries of the MakerNote classes that point at a sub-directory of their own.
bool IsSubDirectory(const TExifMakerNoteClass& type, const TIfdEntryInfo& entry) {
  if (entry.DataType == dtIfd) return true;
  if (&type == &TNikonType3MakerNote) return entry.ID == 0x0011 || entry.ID == 0x0E10;  // preview, scan
  return false;
}

bool PlausibleDirectory(std::span<const std::uint8_t> data, std::int64_t at, TByteOrder order) {
  const std::int64_t size = static_cast<std::int64_t>(data.size());
  if (at > size - 2) return false;
  const std::int64_t count = GetWord(&data[static_cast<std::size_t>(at)], order);
  if (count < 1 || count > MaxPlausibleEntries || 12 * count > size - at - 2) return false;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::uint16_t type = GetWord(&data[static_cast<std::size_t>(at + 2 + 12 * i + 2)], order);
    if (type < dtByte || type > dtIfd) return false;
  }
  return true;
}

// Finds the directory of a MakerNote whose class does not say where it starts: the first place
// within a short header where a plausible directory lies, in the block's byte order first.
bool FindHeaderlessDirectory(std::span<const std::uint8_t> note, TByteOrder blockOrder, std::int64_t& headerSize,
                             TByteOrder& order) {
  const TByteOrder other = blockOrder == boLittleEndian ? boBigEndian : boLittleEndian;
  for (std::int64_t at = 0; at <= MaxHeaderSize; at += 2)
    for (TByteOrder candidate : {blockOrder, other})
      if (PlausibleDirectory(note, at, candidate)) {
        headerSize = at;
        order = candidate;
        return true;
      }
  return false;
}

// Whether every value the directory at headerSize references lies inside the MakerNote's bytes when
// its offsets count from the MakerNote's start.
bool SelfContained(std::span<const std::uint8_t> note, std::int64_t headerSize, TByteOrder order) {
  Zorp::Base::TUserMemoryStream stream(note.data(), static_cast<std::int64_t>(note.size()));
  TTiffReader reader(stream, 0, order);
  const TIfdInfo ifd = reader.ParseIfd(headerSize);
  if (!ifd.LoadErrors.Empty()) return false;
  for (const TIfdEntryInfo& entry : ifd.Entries)
    if (entry.ElementCount < 0) return false;
  return true;
}

}  // namespace

void MergeRanges(std::vector<TByteRange>& ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const TByteRange& a, const TByteRange& b) { return a.Start < b.Start || (a.Start == b.Start && a.End < b.End); });
  std::vector<TByteRange> merged;
  for (const TByteRange& range : ranges) {
    if (!merged.empty() && range.Start <= merged.back().End)
      merged.back().End = std::max(merged.back().End, range.End);
    else
      merged.push_back(range);
  }
  ranges = std::move(merged);
}

std::vector<TByteRange> MakerNoteOutsideRanges(TCustomExifData& data) {
  const std::span<const std::uint8_t> block = data.SourceBlock();
  const TExifTag* tag = data.PeekSection(skExif).Find(ttMakerNote);
  const TExifMakerNoteClass& type = data.MakerNoteType();
  if (block.empty() || !tag) return {};
  const std::int64_t blockSize = static_cast<std::int64_t>(block.size());
  const std::int64_t noteStart = tag->SourceDataOffset();
  const std::int64_t noteSize = tag->DataSize();
  if (noteStart < TiffHeaderSize || noteSize != tag->SourceDataSize() || noteStart > blockSize - noteSize) return {};
  const std::span<const std::uint8_t> note = block.subspan(static_cast<std::size_t>(noteStart),
                                                           static_cast<std::size_t>(noteSize));
  // A MakerNote changed since it was loaded no longer speaks for the block's bytes.
  if (!std::equal(note.begin(), note.end(), tag->Data())) return {};

  // Where the directory lies and what its offsets count from. A MakerNote of no known class (which
  // became "unrecognised" when its directory did not read at its start) is looked for; its offsets
  // count from the main header unless they all fall inside the MakerNote when counted from its start.
  TByteOrder order = data.ByteOrder();
  std::int64_t base = 0, directory = 0;
  const bool unknownLayout = &type == &THeaderlessMakerNote || &type == &TUnrecognizedMakerNote;
  if (unknownLayout) {
    std::int64_t headerSize = 0;
    if (!FindHeaderlessDirectory(note, data.ByteOrder(), headerSize, order)) return {};
    directory = noteStart + headerSize;
    if (SelfContained(note, headerSize, order)) return {};
  } else {
    std::int32_t headerSize = 0;
    const TExifMakerNote* makerNote = nullptr;
    try {
      if (!type.FormatIsOK(*data.MakerNoteContext(), headerSize)) return {};
      makerNote = &data.MakerNote();
    } catch (const EInvalidMakerNoteFormat&) {
      return {};
    }
    order = makerNote->ByteOrder();
    switch (makerNote->DataOffsetsType()) {
      case obMainHeader:
        directory = noteStart + headerSize;
        break;
      case obMakerNoteStart:
        base = noteStart;
        directory = headerSize;
        break;
      case obEmbeddedHeader:
        base = noteStart + headerSize - 8;
        directory = 8;
        break;
    }
    // The object may have settled on the other byte order because entries pointing outside the
    // MakerNote did not read; the directory itself tells.
    const TByteOrder other = order == boLittleEndian ? boBigEndian : boLittleEndian;
    if (!PlausibleDirectory(block, base + directory, order) && PlausibleDirectory(block, base + directory, other))
      order = other;
  }

  std::vector<TByteRange> ranges;
  auto add = [&](std::int64_t start, std::int64_t size) {
    if (size <= 0 || start < TiffHeaderSize || start > blockSize - size) return;  // outside the block
    if (start >= noteStart && start + size <= noteStart + noteSize) return;     // the MakerNote's own
    ranges.push_back({start, start + size});
  };
  Zorp::Base::TUserMemoryStream stream(block.data(), blockSize);
  TTiffReader reader(stream, base, order);
  // The directory, then (one level down) the sub-directories the class knows.
  auto walk = [&](std::int64_t offset, bool subDirectory, auto& self) -> void {
    const TIfdInfo ifd = reader.ParseIfd(offset);
    if (ifd.LoadErrors.Contains(leBadOffset)) return;
    if (subDirectory) add(base + offset, 2 + 12 * static_cast<std::int64_t>(ifd.Entries.size()) + 4);
    for (const TIfdEntryInfo& entry : ifd.Entries) {
      if (entry.ElementCount < 0) continue;
      const std::int64_t size = std::int64_t{entry.ElementCount} * TiffDataTypeSize(entry.DataType);
      if (size > 4) add(base + entry.DataOffset, size);
      if (!subDirectory && size == 4 && IsSubDirectory(type, entry)) {
        const std::int64_t at = base + entry.DataOffset;
        if (at >= 0 && at <= blockSize - 4)
          self(static_cast<std::int64_t>(GetLongWord(&block[static_cast<std::size_t>(at)], order)), true, self);
      }
    }
  };
  walk(directory, false, walk);
  MergeRanges(ranges);
  return ranges;
}

}  // namespace Zorp::Exif::Detail
