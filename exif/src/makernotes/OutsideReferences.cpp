// Walks directories over the whole loaded Exif block and lists what their entries reference.

#include "makernotes/OutsideReferences.h"

#include <algorithm>
#include <optional>
#include <set>

#include "makernotes/Layouts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/StreamHelper.h"
#include "zorp/exif/TagIDs.h"

namespace Zorp::Exif::Detail {
namespace {

// The TIFF header takes the block's first 8 bytes; nothing is kept there.
inline constexpr std::int64_t TiffHeaderSize = 8;
inline constexpr std::int64_t MaxPlausibleEntries = 512;
// Bounds of one walk: directories in all, nesting, and offsets a sub-directory entry may list.
inline constexpr int MaxDirectories = 64;
inline constexpr int MaxDepth = 4;
inline constexpr std::int64_t MaxSubDirectoryCount = 16;

bool PlausibleDirectory(std::span<const std::uint8_t> block, std::int64_t at, TByteOrder order) {
  const std::int64_t size = static_cast<std::int64_t>(block.size());
  if (at < 0 || at > size - 2) return false;
  const std::int64_t count = GetWord(&block[static_cast<std::size_t>(at)], order);
  if (count < 1 || count > MaxPlausibleEntries || 12 * count > size - at - 2) return false;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::uint16_t type = GetWord(&block[static_cast<std::size_t>(at + 2 + 12 * i + 2)], order);
    if (type < dtByte || type > dtIfd) return false;
  }
  return true;
}

// One walk over directories whose offsets count from Base (a block offset).
class TDirectoryWalk {
 public:
  TDirectoryWalk(std::span<const std::uint8_t> block, std::int64_t base, TByteOrder order,
                 const TMakerNoteLayout* layout, std::vector<TByteRange>& ranges, std::vector<TTrailerReference>* trailer)
      : FBlock(block), FSize(static_cast<std::int64_t>(block.size())), FBase(base), FOrder(order), FLayout(layout),
        FRanges(ranges), FTrailer(trailer) {}

  void Directory(std::int64_t at, int depth, bool followChain) {
    for (int links = 0; at >= 0 && links < MaxDirectories; ++links) {
      if (depth > MaxDepth || ++FDirectories > MaxDirectories || !FVisited.insert(at).second) return;
      if (!PlausibleDirectory(FBlock, at, FOrder)) {
        // An empty or unreadable one: its entry count and link stay, so that it reads as before.
        if (depth > 0 && at >= 0 && at < FSize) Add(at, std::min<std::int64_t>(6, FSize - at));
        return;
      }
      const std::int64_t count = Word(at);
      const std::int64_t end = std::min(at + 2 + 12 * count + 4, FSize);
      Add(at, end - at);
      for (std::int64_t i = 0; i < count; ++i) Entry(at, at + 2 + 12 * i, depth);
      if (!followChain || end < at + 2 + 12 * count + 4) return;
      const std::uint32_t link = Long(at + 2 + 12 * count);
      if (link == 0) return;
      at = FBase + link;
    }
  }

 private:
  std::uint16_t Word(std::int64_t at) const { return GetWord(&FBlock[static_cast<std::size_t>(at)], FOrder); }
  std::uint32_t Long(std::int64_t at) const { return GetLongWord(&FBlock[static_cast<std::size_t>(at)], FOrder); }

  void Add(std::int64_t start, std::int64_t size) {
    if (size <= 0 || start < TiffHeaderSize || start > FSize - size) return;
    FRanges.push_back({start, start + size});
  }

  // A value at offset (counted from the base): kept where it lies in the block, or noted when it
  // lies behind the block; fieldAt is where the offset is written.
  void Value(std::int64_t fieldAt, std::uint32_t offset, std::int64_t size) {
    const std::int64_t start = FBase + offset;
    if (start >= FSize && FTrailer) {
      FTrailer->push_back({fieldAt, size, FOrder});
      return;
    }
    Add(start, size);
  }

  bool IsSubDirectory(std::uint16_t id, std::uint16_t type) const {
    if (type == dtIfd) return true;
    if (type != dtLong || !FLayout) return false;
    return std::find(FLayout->SubDirectories.begin(), FLayout->SubDirectories.end(), id) !=
           FLayout->SubDirectories.end();
  }

  // Whether the entry holds exactly one 32-bit value, in its value field.
  bool HoldsOneLong(std::int64_t entry) const {
    const std::uint16_t type = Word(entry + 2);
    return Long(entry + 4) == 1 && (type == dtLong || type == dtSLong || type == dtUndefined);
  }

  // The 32-bit value of the entry with ID id in the directory at at, if it has exactly one.
  bool FindLong(std::int64_t at, std::uint16_t id, std::uint32_t& value) const {
    const std::int64_t count = Word(at);
    for (std::int64_t i = 0; i < count; ++i) {
      const std::int64_t entry = at + 2 + 12 * i;
      if (Word(entry) != id || !HoldsOneLong(entry)) continue;
      value = Long(entry + 8);
      return true;
    }
    return false;
  }

  void Entry(std::int64_t directory, std::int64_t entry, int depth) {
    const std::uint16_t id = Word(entry), type = Word(entry + 2);
    const std::int64_t elementSize = TiffDataTypeSize(type);
    const std::int64_t size = std::int64_t{Long(entry + 4)} * elementSize;
    if (elementSize == 0) return;
    const std::int64_t fieldAt = entry + 8;
    if (size > 4) Value(fieldAt, Long(fieldAt), size);
    if (IsSubDirectory(id, type)) {
      const std::int64_t count = Long(entry + 4);
      if (count < 1 || count > MaxSubDirectoryCount) return;
      const std::int64_t list = size > 4 ? FBase + Long(fieldAt) : fieldAt;
      if (list < 0 || list > FSize - 4 * count) return;
      for (std::int64_t i = 0; i < count; ++i) Directory(FBase + Long(list + 4 * i), depth + 1, false);
    }
    // An image's start: its length is another entry of the same directory.
    if (FLayout && HoldsOneLong(entry))
      for (const TImagePointer& image : FLayout->Images) {
        std::uint32_t length = 0;
        if (image.Start == id && Long(fieldAt) != 0 && FindLong(directory, image.Length, length) && length != 0)
          Value(fieldAt, Long(fieldAt), length);
      }
  }

  std::span<const std::uint8_t> FBlock;
  std::int64_t FSize;
  std::int64_t FBase;
  TByteOrder FOrder;
  const TMakerNoteLayout* FLayout;
  std::vector<TByteRange>& FRanges;
  std::vector<TTrailerReference>* FTrailer;
  std::set<std::int64_t> FVisited;
  int FDirectories = 0;
};

TByteOrder Other(TByteOrder order) { return order == boLittleEndian ? boBigEndian : boLittleEndian; }

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

void AddPrivateDirectoryRanges(std::span<const std::uint8_t> block, TByteOrder order, std::int64_t offset,
                               std::vector<TByteRange>& ranges) {
  TDirectoryWalk(block, 0, order, nullptr, ranges, nullptr).Directory(offset, 0, true);
}

TMakerNoteReferences MakerNoteReferences(TCustomExifData& data) {
  const std::span<const std::uint8_t> block = data.SourceBlock();
  const TExifTag* tag = data.PeekSection(skExif).Find(ttMakerNote);
  if (block.empty() || !tag) return {};
  const std::int64_t blockSize = static_cast<std::int64_t>(block.size());
  const std::int64_t noteStart = tag->SourceDataOffset();
  const std::int64_t noteSize = tag->DataSize();
  if (noteStart < TiffHeaderSize || noteSize != tag->SourceDataSize() || noteStart > blockSize - noteSize) return {};
  const std::span<const std::uint8_t> note =
      block.subspan(static_cast<std::size_t>(noteStart), static_cast<std::size_t>(noteSize));
  // A MakerNote changed since it was loaded no longer speaks for the block's bytes.
  if (!std::equal(note.begin(), note.end(), tag->Data())) return {};

  TMakerNoteReferences result;
  const std::optional<TMakerNoteContext> context = data.MakerNoteContext();
  result.Layout = FindMakerNoteLayout(note, context ? std::string_view(context->Make) : std::string_view());
  auto opaque = [&] {
    result.Layout = nullptr;
    result.Opaque = true;
    result.Ranges.clear();
    result.Trailer.clear();
    if (noteStart + noteSize < blockSize) result.Ranges.push_back({noteStart + noteSize, blockSize});
    return result;
  };
  const TMakerNoteLayout* layout = result.Layout;
  if (!layout) return opaque();

  std::int64_t directory = layout->DirectoryAt;
  if (layout->DirectoryPointerAt >= 0) {
    if (layout->DirectoryPointerAt > noteSize - 4) return opaque();
    directory = GetLongWord(&note[static_cast<std::size_t>(layout->DirectoryPointerAt)], boLittleEndian);
  }
  if (directory < 0 || directory > noteSize - 2) return opaque();
  std::int64_t base = 0;
  if (layout->Base == obMakerNoteStart) base = noteStart;
  if (layout->Base == obEmbeddedHeader) base = noteStart + layout->EmbeddedHeaderAt;
  TByteOrder order = data.ByteOrder();
  switch (layout->Order) {
    case TLayoutByteOrder::Little:
      order = boLittleEndian;
      break;
    case TLayoutByteOrder::Big:
      order = boBigEndian;
      break;
    case TLayoutByteOrder::Marked:
      if (layout->OrderMarkAt > noteSize - 2) return opaque();
      if (note[layout->OrderMarkAt] == 'I' && note[layout->OrderMarkAt + 1] == 'I') order = boLittleEndian;
      else if (note[layout->OrderMarkAt] == 'M' && note[layout->OrderMarkAt + 1] == 'M') order = boBigEndian;
      else return opaque();
      break;
    case TLayoutByteOrder::Detect:
      if (!PlausibleDirectory(block, noteStart + directory, order)) order = Other(order);
      break;
  }
  // The directory must be where the layout says: otherwise this is not the layout after all.
  if (!PlausibleDirectory(block, noteStart + directory, order)) return opaque();
  std::vector<TByteRange> ranges;
  // A MakerNote moved by other software: its values lie where the reader reads them, shifted; what
  // the offsets name unshifted stays too, for readers that do not shift them. An unshifted offset
  // behind the block is no preview behind the image: it is not rewritten.
  const std::int64_t shift = context ? MakerNoteBaseShift(*context, order) : 0;
  TDirectoryWalk(block, base, order, layout, ranges, shift == 0 ? &result.Trailer : nullptr)
      .Directory(noteStart + directory, 0, false);
  if (shift != 0)
    TDirectoryWalk(block, base + shift, order, layout, ranges, &result.Trailer).Directory(noteStart + directory, 0, false);
  for (const TByteRange& range : ranges)
    if (range.Start < noteStart || range.End > noteStart + noteSize) result.Ranges.push_back(range);
  MergeRanges(result.Ranges);
  return result;
}

}  // namespace Zorp::Exif::Detail
