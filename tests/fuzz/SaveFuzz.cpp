// Fuzz harness over load-edit-save-reload: arbitrary bytes loaded as a JPEG file, a property
// changed, the JPEG rewritten in memory, checked by the library and read back. Library exceptions
// from the load and from the save are refusals of hostile input. After a save that went through,
// a failed check (the library's own VerifySavedJPEG or the comparisons below), any other exception
// or a crash is a finding, reported by abort as libFuzzer expects.
//
// What the reload must show:
// - the edit;
// - every directory written reads back with exactly the tags the container holds after the save
//   (the save adjusts the container to what it wrote), and every tag of the container before the
//   save, except those the save adjusts, reads back unchanged;
// - a directory not written reads back empty, the strips of an uncompressed thumbnail come back
//   with their bytes;
// - the input's bytes behind the segments the save replaces come out unchanged, the image data from
//   the first start of scan on included;
// - a regenerated XMP packet loads.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <span>
#include <vector>

#include "zorp/base/Exceptions.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/JPEGUtils.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace {

using namespace Zorp::Exif;
using Zorp::Base::TCustomMemoryStream;
using Zorp::Base::TMemoryStream;
using Zorp::Base::TUserMemoryStream;
using TBytes = std::vector<std::uint8_t>;

[[noreturn]] void Finding(const char* what, int kind = 0, int id = -1) {
  if (id >= 0)
    std::fprintf(stderr, "SaveFuzz: %s (section %d, tag 0x%04X)\n", what, kind, id);
  else if (kind > 0)
    std::fprintf(stderr, "SaveFuzz: %s (section %d)\n", what, kind);
  else
    std::fprintf(stderr, "SaveFuzz: %s\n", what);
  std::abort();
}

struct TTagValue {
  TExifTagID ID = 0;
  int DataType = 0;
  std::int32_t Count = 0;
  TBytes Bytes;
  bool operator==(const TTagValue&) const = default;
};
using TDirectory = std::vector<TTagValue>;  // ascending by ID

TTagValue ValueOf(const TExifTag& tag) {
  return {tag.ID(), tag.DataType(), tag.ElementCount(), TBytes(tag.Bytes().begin(), tag.Bytes().end())};
}

// What the writer writes of a section: its well-formed tags by ID, the first of each ID.
TDirectory WrittenTags(const TExifSection& section) {
  TDirectory tags;
  for (const TExifTag* tag : section)
    if (tag->WellFormed()) tags.push_back(ValueOf(*tag));
  std::stable_sort(tags.begin(), tags.end(), [](const TTagValue& a, const TTagValue& b) { return a.ID < b.ID; });
  tags.erase(std::unique(tags.begin(), tags.end(), [](const TTagValue& a, const TTagValue& b) { return a.ID == b.ID; }),
             tags.end());
  return tags;
}

// Every tag a section read back.
TDirectory AllTags(const TExifSection& section) {
  TDirectory tags;
  for (const TExifTag* tag : section) tags.push_back(ValueOf(*tag));
  return tags;
}

// Tags whose value the save itself sets: pointers, the thumbnail's description, the padding it
// removes, the offset schema it applies and the pixel size it takes from the frame; in a main
// directory that the load did not find, the tags it adds.
bool AdjustedBySave(TExifSectionKind kind, TExifTagID id, bool newPrimary) {
  if (id == ttPadding) return true;
  switch (kind) {
    case skPrimary:
      return id == ttExifIFDPointer || id == ttGPSInfoIFDPointer ||
             (newPrimary && (id == ttXResolution || id == ttYResolution || id == ttResolutionUnit ||
                             id == ttYCbCrPositioning));
    case skExif:
      return id == ttInteroperabilityIFDPointer || id == ttExifImageWidth || id == ttExifImageHeight ||
             id == ttOffsetSchema;
    case skThumbnail:
      return id == ttJPEGInterchangeFormat || id == ttJPEGInterchangeFormatLength || id == ttCompression ||
             id == ttImageWidth || id == ttImageLength || id == ttStripOffsets;
    default:
      return false;
  }
}

TDirectory Without(TDirectory tags, TExifSectionKind kind, bool newPrimary) {
  std::erase_if(tags, [&](const TTagValue& tag) { return AdjustedBySave(kind, tag.ID, newPrimary); });
  return tags;
}

// Reports the first tag in which two directories differ.
void CompareDirectories(const TDirectory& expected, const TDirectory& actual, TExifSectionKind kind, const char* what) {
  const std::size_t common = std::min(expected.size(), actual.size());
  for (std::size_t i = 0; i < common; ++i)
    if (!(expected[i] == actual[i])) Finding(what, kind, std::min(expected[i].ID, actual[i].ID));
  if (expected.size() != actual.size())
    Finding(what, kind, expected.size() > common ? expected[common].ID : actual[common].ID);
}

// The strips of an uncompressed thumbnail (Compression 1) as (offset, size) pairs into the block,
// when all of them lie inside it: the writer carries exactly those.
bool ThumbnailStrips(const TExifSection& section, std::span<const std::uint8_t> block,
                     std::vector<std::pair<std::uint32_t, std::uint32_t>>& strips) {
  strips.clear();
  const TExifTag* offsets = section.Find(ttStripOffsets);
  const TExifTag* counts = section.Find(ttStripByteCounts);
  std::uint32_t compression = 0;
  if (!offsets || !counts || !section.TryGetLongValue(ttCompression, 0, compression) || compression != 1) return false;
  const std::int32_t count = offsets->ElementCount();
  if (count < 1 || counts->ElementCount() != count) return false;
  for (std::int32_t i = 0; i < count; ++i) {
    std::uint32_t offset = 0, size = 0;
    if (!section.TryGetLongValue(ttStripOffsets, i, offset) || !section.TryGetLongValue(ttStripByteCounts, i, size) ||
        offset > block.size() || size > block.size() - offset)
      return false;
    strips.emplace_back(offset, size);
  }
  return true;
}

TBytes StripBytes(std::span<const std::uint8_t> block, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& strips) {
  TBytes bytes;
  for (const auto& [offset, size] : strips) bytes.insert(bytes.end(), block.begin() + offset, block.begin() + offset + size);
  return bytes;
}

// Whether the save writes the directory of kind (the container as the save left it).
bool DirectoryWritten(TExifData& data, TExifSectionKind kind) {
  if (kind == skPrimary) return true;
  if (kind == skThumbnail) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> strips;
    const TExifSection& section = data.PeekSection(skThumbnail);
    if (data.HasThumbnail() || ThumbnailStrips(section, data.SourceBlock(), strips)) return true;
    // Without an image the directory keeps its other tags, and its image tags where the image's
    // offsets lie in the loaded block.
    const auto inBlock = [&](TExifTagID id) {
      const TExifTag* tag = section.Find(id);
      if (!tag || !tag->WellFormed() || tag->ElementCount() < 1) return false;
      for (std::int32_t i = 0; i < tag->ElementCount(); ++i) {
        std::uint32_t offset = 0;
        if (!section.TryGetLongValue(id, i, offset) || offset < 8 || offset > data.SourceBlock().size()) return false;
      }
      return true;
    };
    if (inBlock(ttJPEGInterchangeFormat) || inBlock(ttStripOffsets)) return true;
    for (const TExifTag* tag : section)
      if (tag->WellFormed() && tag->ID() != ttCompression && tag->ID() != ttJPEGInterchangeFormat &&
          tag->ID() != ttJPEGInterchangeFormatLength && tag->ID() != ttStripOffsets && tag->ID() != ttStripByteCounts)
        return true;
    return false;
  }
  return !WrittenTags(data.PeekSection(kind)).empty();
}

// Where the first start of scan lies in a JPEG (-1 without one).
std::int64_t StartOfScan(const TCustomMemoryStream& jpeg) {
  TUserMemoryStream stream(jpeg.Memory(), jpeg.Size());
  for (const auto& segment : ScanJPEGSegments(stream, TJPEGMarkerSet{jmStartOfScan})) return segment->Offset();
  return -1;
}

// Where the segments that a save replaces lie in a JPEG, as (offset, size): every APP0, the first
// Exif APP1 and the first XMP APP1; and where its first start of scan lies.
struct TJPEGLayout {
  std::vector<std::pair<std::int64_t, std::int64_t>> Replaced;
  std::int64_t StartOfScan = -1;
};

TJPEGLayout LayoutOf(const TCustomMemoryStream& jpeg) {
  TJPEGLayout layout;
  TUserMemoryStream stream(jpeg.Memory(), jpeg.Size());
  bool exifFound = false, xmpFound = false;
  for (const auto& segment : ScanJPEGSegments(stream, TJPEGMarkerSet{jmApp0, jmApp1})) {
    TMemoryStream& data = segment->Data();
    bool replaced = segment->Marker() == jmApp0;
    if (!replaced && !exifFound && HasExifHeader(data)) {
      exifFound = replaced = true;
    } else if (!replaced && !xmpFound && HasXMPSignature(data)) {
      xmpFound = replaced = true;
    }
    // A replaced segment goes with the fill bytes in front of its marker.
    if (replaced)
      layout.Replaced.emplace_back(segment->FillOffset(),
                                   segment->Offset() - segment->FillOffset() + segment->TotalSize());
  }
  layout.StartOfScan = StartOfScan(jpeg);
  return layout;
}

// The input behind its start-of-image marker without the replaced segments, which the output must
// end with; also where the first start of scan lies in it (-1 without one).
TBytes CopiedPart(const TCustomMemoryStream& input, const TJPEGLayout& layout, std::int64_t& startOfScan) {
  const std::uint8_t* bytes = input.Memory();
  TBytes copied;
  std::int64_t position = 2;
  startOfScan = -1;
  auto copyUpTo = [&](std::int64_t end) {
    if (layout.StartOfScan >= position && layout.StartOfScan < end)
      startOfScan = static_cast<std::int64_t>(copied.size()) + layout.StartOfScan - position;
    copied.insert(copied.end(), bytes + position, bytes + end);
    position = end;
  };
  for (const auto& [offset, size] : layout.Replaced) {
    copyUpTo(offset);
    position = offset + size;
  }
  copyUpTo(input.Size());
  return copied;
}

void CheckCopiedBytes(const TCustomMemoryStream& input, const TCustomMemoryStream& output) {
  const TJPEGLayout inputLayout = LayoutOf(input);
  std::int64_t startOfScan = -1;
  const TBytes copied = CopiedPart(input, inputLayout, startOfScan);
  const auto copiedSize = static_cast<std::int64_t>(copied.size());
  if (output.Size() < copiedSize ||
      (copiedSize > 0 && std::memcmp(output.Memory() + output.Size() - copiedSize, copied.data(), copied.size()) != 0))
    Finding("the bytes behind the replaced segments changed");
  // The image data: the output's first start of scan is the input's, with everything behind it.
  const std::int64_t outputStartOfScan = StartOfScan(output);
  const std::int64_t expected = startOfScan < 0 ? -1 : output.Size() - copiedSize + startOfScan;
  if (outputStartOfScan != expected) Finding("the image data does not start where it did");
}

// A regenerated packet must load; a packet the save copied because it cannot be read is as it was.
void CheckXMP(TExifData& reloaded, const TCustomMemoryStream& input) {
  const auto& segment = reloaded.PendingXMPSegment();
  if (!segment) Finding("the XMP packet is missing");
  TMemoryStream& written = segment->Data();
  TUserMemoryStream stream(input.Memory(), input.Size());
  for (const auto& original : ScanJPEGSegments(stream, TJPEGMarkerSet{jmApp1})) {
    TMemoryStream& data = original->Data();
    if (HasExifHeader(data) || !HasXMPSignature(data)) continue;
    if (data.Size() == written.Size() && std::memcmp(data.Memory(), written.Memory(), data.Size()) == 0) return;
    break;
  }
  TXMPPacket packet;
  written.SetPosition(0);
  if (!packet.TryLoadFromStream(written)) Finding("the regenerated XMP packet does not load");
}

void CheckReload(TExifData& data, const std::vector<TDirectory>& before, bool newPrimary, bool xmpRegenerated,
                 const TCustomMemoryStream& input, TMemoryStream& output) {
  output.SetPosition(0);
  TExifData reloaded;
  reloaded.LoadFromJPEG(output);
  if (!reloaded.SourceMetadata().Contains(mkExif)) Finding("the Exif segment is missing");
  for (int k = skPrimary; k <= skThumbnail; ++k) {
    const auto kind = static_cast<TExifSectionKind>(k);
    const TDirectory readBack = AllTags(reloaded.PeekSection(kind));
    if (!DirectoryWritten(data, kind)) {
      if (!readBack.empty()) Finding("a directory not written reads back tags", kind, readBack.front().ID);
      continue;
    }
    // Strips get new offsets in the file only; the container keeps the loaded ones.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> strips;
    const bool carriesStrips = kind == skThumbnail && !data.HasThumbnail() &&
                               ThumbnailStrips(data.PeekSection(kind), data.SourceBlock(), strips);
    TDirectory expected = WrittenTags(data.PeekSection(kind)), actual = readBack;
    if (carriesStrips) {
      std::erase_if(expected, [](const TTagValue& tag) { return tag.ID == ttStripOffsets; });
      std::erase_if(actual, [](const TTagValue& tag) { return tag.ID == ttStripOffsets; });
    }
    CompareDirectories(expected, actual, kind, "a tag reads back other than the container holds it");
    CompareDirectories(Without(before[k], kind, newPrimary), Without(readBack, kind, newPrimary), kind,
                       "a tag the save should not touch changed");
    if (carriesStrips) {
      std::vector<std::pair<std::uint32_t, std::uint32_t>> newStrips;
      if (!ThumbnailStrips(reloaded.PeekSection(kind), reloaded.SourceBlock(), newStrips) ||
          StripBytes(reloaded.SourceBlock(), newStrips) != StripBytes(data.SourceBlock(), strips))
        Finding("the thumbnail strips do not read back", kind);
    }
  }
  if (reloaded.CameraMake() != data.CameraMake()) Finding("the edit does not read back");
  if (data.HasThumbnail() != reloaded.HasThumbnail()) Finding("the thumbnail comes and goes");
  CheckCopiedBytes(input, output);
  if (xmpRegenerated) CheckXMP(reloaded, input);
  // Every value of the reload reads as text; a MakerNote that no longer fits its class may refuse.
  try {
    for (int kind = skPrimary; kind <= skMakerNote; ++kind)
      for (const TExifTag* tag : reloaded.Sections(static_cast<TExifSectionKind>(kind))) (void)tag->AsString();
  } catch (const Zorp::Base::Exception&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  TExifData data;
  TUserMemoryStream input(bytes, static_cast<std::int64_t>(size));
  try {
    data.LoadFromJPEG(input);
  } catch (const Zorp::Base::Exception&) {
    return 0;
  }
  const bool newPrimary = !data.LoadedPrimaryDirectory();
  TMemoryStream output;
  std::vector<TDirectory> before(skThumbnail + 1);
  bool xmpRegenerated = false;
  try {
    data.SetCameraMake("Quorvane");
    for (int k = skPrimary; k <= skThumbnail; ++k) before[k] = WrittenTags(data.PeekSection(static_cast<TExifSectionKind>(k)));
    const bool xmpRead = data.PendingXMPSegment() == nullptr;
    input.SetPosition(0);
    data.SaveToJPEG(input, output);
    xmpRegenerated = xmpRead && !data.XMPPacket().Empty();
  } catch (const Zorp::Base::Exception&) {
    return 0;
  }
  try {
    data.VerifySavedJPEG(output);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "SaveFuzz: %s\n", error.what());
    Finding("the saved JPEG does not verify");
  }
  try {
    CheckReload(data, before, newPrimary, xmpRegenerated, input, output);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "SaveFuzz: %s\n", error.what());
    Finding("the saved JPEG does not read back");
  }
  return 0;
}
