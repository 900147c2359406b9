// Saving: the Exif block laid out afresh from the sections (a MakerNote loaded from a file keeps its
// offset, the directories go around it), the JPEG rewritten around the new Exif and XMP segments,
// the rewritten file checked by reading it back, and the file replaced through a temporary file.

#include "zorp/exif/ExifWriter.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "ExifTagsDetail.h"
#include "makernotes/OutsideReferences.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/Messages.h"
#include "zorp/base/SafeFile.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/StreamHelper.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace Zorp::Exif {

using Zorp::Base::Format;
using Zorp::Base::TMemoryStream;
using Zorp::Base::TStream;

namespace Detail {
namespace {

// The embedded thumbnail may take at most this many bytes; a larger one is scaled down and
// re-encoded at this quality or below.
inline constexpr std::int64_t ThumbnailSizeLimit = 61440;
inline constexpr int ThumbnailQualityCap = 90;
// The Compression value of a JPEG thumbnail.
inline constexpr std::uint16_t JPEGCompression = 6;
// "Exif" 00 00 in front of the TIFF header, and the TIFF header itself.
inline constexpr std::int64_t ExifHeaderSize = 6;
inline constexpr std::int64_t TiffHeaderSize = 8;

// The pointer tag through which a directory is reached (0x0201 for the thumbnail: where its JPEG starts).
TExifTagID PointerTagID(TExifSectionKind kind) {
  switch (kind) {
    case skExif:
      return ttExifIFDPointer;
    case skInterop:
      return ttInteroperabilityIFDPointer;
    case skGps:
      return ttGPSInfoIFDPointer;
    case skThumbnail:
      return ttJPEGInterchangeFormat;
    default:
      return 0;
  }
}

const char* SectionName(TExifSectionKind kind) {
  switch (kind) {
    case skPrimary:
      return "main directory";
    case skExif:
      return "Exif directory";
    case skInterop:
      return "interoperability directory";
    case skGps:
      return "GPS directory";
    case skThumbnail:
      return "thumbnail directory";
    default:
      return "MakerNote";
  }
}

// TIFF wants every directory and every value that an offset points at on an even offset: odd-sized
// values are followed by one zero byte.
constexpr std::int64_t Padded(std::int64_t size) { return size + (size & 1); }

// A tag that points at a directory the writer does not lay out itself: an IFD-typed entry, or one of
// the private pointers cameras and tools write as LONGs (SubIFDs, Kodak's private IFD, DNG's global
// parameters). The sub-directories the writer places itself are not among them.
bool IsPrivateDirectoryPointer(const TExifTag& tag) {
  const TExifTagID id = tag.ID();
  if (id == ttExifIFDPointer || id == ttGPSInfoIFDPointer || id == ttInteroperabilityIFDPointer) return false;
  if (tag.DataType() == dtIfd) return true;
  return tag.DataType() == dtLong && (id == 0x014A || id == 0x8290 || id == 0x0190);
}

// Stores a 32-bit value into a one-element LONG tag (host order in memory).
void SetLongData(TExifTag& tag, std::uint32_t value) {
  std::uint8_t bytes[4];
  std::memcpy(bytes, &value, 4);
  if (tag.DataSize() == 4 && std::memcmp(tag.Data(), bytes, 4) == 0) return;
  tag.SetRawData(bytes);
}

// The tags a directory writes: the well-formed ones (a tag that could not be read carries no data),
// strictly ascending by ID; of several with one ID the first is kept, as readers do.
std::vector<const TExifTag*> WrittenTags(const TExifSection& section) {
  std::vector<const TExifTag*> tags;
  tags.reserve(static_cast<std::size_t>(section.Count()));
  for (const TExifTag* tag : section)
    if (tag->WellFormed()) tags.push_back(tag);
  std::stable_sort(tags.begin(), tags.end(), [](const TExifTag* a, const TExifTag* b) { return a->ID() < b->ID(); });
  tags.erase(
      std::unique(tags.begin(), tags.end(), [](const TExifTag* a, const TExifTag* b) { return a->ID() == b->ID(); }),
      tags.end());
  return tags;
}

// A standalone tag with the type, count and bytes of source (a zero-filled one of type when there is
// no source), element 0 then set to value as TExifSection::SetArrayElement sets it in a section.
std::unique_ptr<TExifTag> TagWithFirstElement(const TExifTag* source, TExifTagID id, TTiffDataType type,
                                              const void* value) {
  auto tag = std::make_unique<TExifTag>(nullptr, id, type, 1);
  if (source) tag->Assign(source);
  tag->SetElement(type, 0, value);
  return tag;
}

// A standalone one-element LONG tag.
std::unique_ptr<TExifTag> LongTag(TExifTagID id, std::uint32_t value) {
  auto tag = std::make_unique<TExifTag>(nullptr, id, dtLong, 1);
  tag->SetRawData(&value);
  return tag;
}

}  // namespace

TExifWriter::TExifWriter(TExifData& data, const TMovedMakerNote& movedMakerNote)
    : FData(data), FMovedMakerNote(movedMakerNote) {}

void TExifWriter::AddCallerTag(TExifSectionKind kind, std::unique_ptr<TExifTag> tag) {
  FCallerTags.push_back({kind, std::move(tag)});
}

void TExifWriter::Plan() {
  for (int k = skPrimary; k <= skThumbnail; ++k) CollectTags(static_cast<TExifSectionKind>(k));
  for (TPlannedTag& planned : FCallerTags) Substitute(planned.Kind, planned.Tag.get());
  Prepare(skInterop, {});
  Prepare(skGps, {});
  DecideMakerNote();
  Prepare(skExif, {skInterop});
  if (FMakerNoteFixed) FDataSize[skExif] -= Padded(FMakerNoteTag->DataSize());
  KeepPrivateData();
  MergeRanges(FKept);
  PrepareThumbnail();
  Prepare(skPrimary, {skExif, skGps});
  MergeRanges(FKept);
  FReserved.insert(FReserved.end(), FKept.begin(), FKept.end());
  MergeRanges(FReserved);
  AssignOffsets();
}

void TExifWriter::FitTrailer(std::int64_t padding, std::vector<std::pair<std::int64_t, std::uint32_t>> patches) {
  FPadding = padding;
  FFieldPatches = std::move(patches);
}

std::int64_t TExifWriter::SegmentDataSize() const { return ExifHeaderSize + FBlockSize + FPadding; }

std::string TExifWriter::CheckKept(std::span<const std::uint8_t> saved) const {
  const std::span<const std::uint8_t> source = FData.SourceBlock();
  const auto savedSize = static_cast<std::int64_t>(saved.size());
  for (const TByteRange& range : FKept)
    if (range.End > savedSize || !std::equal(source.begin() + range.Start, source.begin() + range.End,
                                             saved.begin() + range.Start))
      return "bytes kept from the original block (" + std::to_string(range.Start) + " to " +
             std::to_string(range.End) + ") changed";
  if (FMakerNoteFixed) {
    std::vector<std::uint8_t> expected(FMakerNoteTag->Bytes().begin(), FMakerNoteTag->Bytes().end());
    const std::int64_t size = static_cast<std::int64_t>(expected.size());
    const TByteOrder order = FData.ByteOrder();
    for (const auto& [at, value] : FFieldPatches)
      if (at >= FMakerNoteOffset && at + 4 <= FMakerNoteOffset + size) {
        std::uint8_t bytes[4];
        PutLongWord(bytes, order, value);
        std::copy(bytes, bytes + 4, expected.begin() + (at - FMakerNoteOffset));
      }
    if (FMakerNoteOffset + size > savedSize ||
        !std::equal(expected.begin(), expected.end(), saved.begin() + FMakerNoteOffset))
      return "the MakerNote's bytes changed";
  }
  return {};
}

const std::vector<const TExifTag*>& TExifWriter::Tags(TExifSectionKind kind) const { return FTags[kind]; }

void TExifWriter::Write(TStream& stream) const {
  const TByteOrder order = FData.ByteOrder();
  TMemoryStream block;
  block.SetSize(ExifHeaderSize + FBlockSize);
  block.WriteBuffer("Exif\0\0", 6);
  block.WriteBuffer(order == boBigEndian ? "MM" : "II", 2);
  WriteWord(block, order, 42);
  WriteLongWord(block, order, static_cast<std::uint32_t>(FOffset[skPrimary]));
  for (int k = skPrimary; k <= skThumbnail; ++k)
    if (FDirectorySize[k] > 0) WriteSection(block, static_cast<TExifSectionKind>(k), order);
  if (FThumbnail.Size() > 0 && FDirectorySize[skThumbnail] > 0) {
    block.SetPosition(ExifHeaderSize + ImageDataOffset());
    block.WriteBuffer(FThumbnail.Memory(), FThumbnail.Size());
  }
  const std::span<const std::uint8_t> source = FData.SourceBlock();
  for (const TByteRange& range : FKept) {
    block.SetPosition(ExifHeaderSize + range.Start);
    block.WriteBuffer(source.data() + range.Start, range.End - range.Start);
  }
  if (FMakerNoteFixed) {
    block.SetPosition(ExifHeaderSize + FMakerNoteOffset);
    FMakerNoteTag->WriteReferencedData(block, order);
  }
  for (const auto& [at, value] : FFieldPatches) {
    block.SetPosition(ExifHeaderSize + at);
    WriteLongWord(block, order, value);
  }
  block.SetSize(SegmentDataSize());  // the padding: zero bytes
  stream.WriteBuffer(block.Memory(), block.Size());
}

void TExifWriter::Apply(TMovedMakerNote& movedMakerNote) {
  FData.WithinUpdate([&] {
    if (FData.RemovePaddingTagsOnSave()) {
      for (int kind = skPrimary; kind <= skThumbnail; ++kind)
        Section(static_cast<TExifSectionKind>(kind)).RemovePaddingTag();
      const TExifSection& makerNote = FData.PeekSection(skMakerNote);
      if (makerNote.Count() > 0) const_cast<TExifSection&>(makerNote).RemovePaddingTag();
    }
    if (FSchemaApplied) {
      if (TExifTag* schema = Section(skExif).Find(ttOffsetSchema)) SetLongData(*schema, 0);
      movedMakerNote = {FMakerNoteTag, FMakerNoteTag->SourceDataOffset(), FMakerNoteOffset};
    }
    if (FShrunkThumbnail) FData.SetThumbnail(FShrunkThumbnail.get());
    for (const TPlannedTag& planned : FAdjustedTags)
      Section(planned.Kind)
          .AddOrUpdateTag(planned.Tag->ID(), planned.Tag->DataType(), planned.Tag->ElementCount(), planned.Tag->Data());
    // Every tag of the ID goes: a second one would otherwise become the pointer that is not written.
    for (const auto& [kind, id] : FDroppedPointers)
      while (Section(kind).Remove(id)) {
      }
  });
}

TExifSection& TExifWriter::Section(TExifSectionKind kind) { return FData.Sections(kind); }

const TExifSection& TExifWriter::PeekSection(TExifSectionKind kind) const { return FData.PeekSection(kind); }

void TExifWriter::CollectTags(TExifSectionKind kind) {
  FTags[kind] = WrittenTags(PeekSection(kind));
  if (!FData.RemovePaddingTagsOnSave()) return;
  for (const TExifTag* tag : PeekSection(kind))
    if (tag->IsPadding()) {
      std::erase(FTags[kind], tag);
      break;
    }
}

void TExifWriter::Substitute(TExifSectionKind kind, const TExifTag* tag) {
  std::vector<const TExifTag*>& tags = FTags[kind];
  const auto at = std::lower_bound(tags.begin(), tags.end(), tag->ID(),
                                   [](const TExifTag* t, TExifTagID id) { return t->ID() < id; });
  if (at != tags.end() && (*at)->ID() == tag->ID())
    *at = tag;
  else
    tags.insert(at, tag);
}

TExifTag& TExifWriter::Adjust(TExifSectionKind kind, std::unique_ptr<TExifTag> tag) {
  Substitute(kind, tag.get());
  FAdjustedTags.push_back({kind, std::move(tag)});
  return *FAdjustedTags.back().Tag;
}

void TExifWriter::Prepare(TExifSectionKind kind, std::initializer_list<TExifSectionKind> subDirectories) {
  for (TExifSectionKind sub : subDirectories) {
    if (sub == kind || FDirectorySize[sub] > 0) {
      FPointerTag[sub] = &Adjust(kind, LongTag(PointerTagID(sub), 0));
    } else {
      std::erase_if(FTags[kind], [&](const TExifTag* tag) { return tag->ID() == PointerTagID(sub); });
      FDroppedPointers.emplace_back(kind, PointerTagID(sub));
    }
  }
  Measure(kind);
}

void TExifWriter::Measure(TExifSectionKind kind) {
  const std::int64_t count = static_cast<std::int64_t>(FTags[kind].size());
  if (kind != skPrimary && count == 0) return;
  if (count > 0xFFFF) throw Zorp::Base::ERangeError(SRangeError);
  std::int64_t dataSize = 0;
  for (const TExifTag* tag : FTags[kind])
    if (tag->DataSize() > 4) dataSize += Padded(tag->DataSize());
  FDataSize[kind] = dataSize;
  FDirectorySize[kind] = 12 * count + 6;
}

void TExifWriter::DecideMakerNote() {
  const TExifSection& exif = PeekSection(skExif);
  const TExifTag* tag = exif.Find(ttMakerNote);
  if (!tag || tag->SourceDataOffset() == 0 || tag->DataSize() <= 4) return;
  std::int64_t offset = tag->SourceDataOffset();
  const TExifTag* schema = exif.Find(ttOffsetSchema);
  std::int32_t delta = 0;
  if (schema && schema->DataType() == dtSLong && schema->ElementCount() == 1) std::memcpy(&delta, schema->Data(), 4);
  bool schemaApplied = false;
  if (FMovedMakerNote.Tag == tag && FMovedMakerNote.SourceDataOffset == offset && delta == 0) {
    // An earlier save applied the schema: the MakerNote stays where that save put it.
    offset = FMovedMakerNote.Offset;
  } else if (delta != 0 && offset - delta > 6) {
    offset -= delta;
    schemaApplied = true;
  }
  // Never over the TIFF header, and never where one segment cannot reach (a hostile schema).
  if (offset < TiffHeaderSize || offset > MaxJPEGSegmentDataSize - ExifHeaderSize - tag->DataSize()) return;
  FMakerNoteTag = tag;
  FMakerNoteFixed = true;
  FMakerNoteOffset = offset;
  // A MakerNote that grew since it was loaded takes its new size: it must not reach into a
  // directory placed behind it.
  FMakerNoteRoom = std::max<std::int64_t>(tag->SourceDataSize(), tag->DataSize());
  FReserved.push_back({offset, offset + FMakerNoteRoom});
  if (schemaApplied) {
    // The block says the MakerNote is back in place: the schema is written as 0.
    const std::int32_t zero = 0;
    Substitute(skExif, FOwnedTags.emplace_back(TagWithFirstElement(schema, ttOffsetSchema, dtSLong, &zero)).get());
    FSchemaApplied = true;
  } else if (offset == tag->SourceDataOffset()) {
    // Where it stays, the bytes its entries reference beyond its own stay with it.
    TMakerNoteReferences references = MakerNoteReferences(FData);
    FKept.insert(FKept.end(), references.Ranges.begin(), references.Ranges.end());
    FTrailer = std::move(references.Trailer);
  }
}

void TExifWriter::KeepPrivateData() {
  const std::span<const std::uint8_t> block = FData.SourceBlock();
  if (block.empty()) return;
  for (int k = skPrimary; k <= skThumbnail; ++k) {
    const auto kind = static_cast<TExifSectionKind>(k);
    for (const TExifTag* tag : FTags[kind]) {
      if (IsPrivateDirectoryPointer(*tag))
        for (std::int32_t i = 0; i < tag->ElementCount(); ++i) {
          std::uint32_t offset = 0;
          if (PeekSection(kind).TryGetLongValue(tag->ID(), i, offset))
            AddPrivateDirectoryRanges(block, FData.ByteOrder(), offset, FKept);
        }
    }
    // Images that other directories than the thumbnail's point at stay where they are.
    if (kind != skThumbnail) {
      KeepImage(kind, ttJPEGInterchangeFormat, ttJPEGInterchangeFormatLength);
      KeepImage(kind, ttStripOffsets, ttStripByteCounts);
      KeepImage(kind, ttTileOffsets, ttTileByteCounts);
    }
  }
}

bool TExifWriter::KeepImage(TExifSectionKind kind, TExifTagID offsets, TExifTagID lengths) {
  const TExifSection& section = PeekSection(kind);
  const TExifTag* offsetTag = section.Find(offsets);
  const TExifTag* lengthTag = section.Find(lengths);
  if (!offsetTag || std::find(FTags[kind].begin(), FTags[kind].end(), offsetTag) == FTags[kind].end()) return false;
  const std::int64_t blockSize = static_cast<std::int64_t>(FData.SourceBlock().size());
  const std::int32_t count = offsetTag->ElementCount();
  for (std::int32_t i = 0; i < count; ++i) {
    std::uint32_t offset = 0, length = 0;
    if (!section.TryGetLongValue(offsets, i, offset) || offset < TiffHeaderSize || offset > blockSize) return false;
    // A length past the block's end (an image cut off with it) keeps what there is.
    if (lengthTag && section.TryGetLongValue(lengths, i, length) && length > 0)
      FKept.push_back({offset, std::min<std::int64_t>(offset + std::int64_t{length}, blockSize)});
  }
  return count > 0;
}

const Zorp::Base::TJPEGImage& TExifWriter::ThumbnailImage() {
  return FShrunkThumbnail ? *FShrunkThumbnail : FData.Thumbnail();
}

void TExifWriter::PrepareThumbnail() {
  const TExifSection& section = PeekSection(skThumbnail);
  const bool jpeg = FData.HasThumbnail();
  if (jpeg) PrepareJPEGThumbnail();
  const std::int64_t jpegSize = FThumbnail.Size();
  // A thumbnail that lies unchanged in bytes the block keeps anyway is pointed at where it is.
  std::uint32_t at = 0;
  if (jpeg && !FShrunkThumbnail && section.TryGetLongValue(ttJPEGInterchangeFormat, 0, at) &&
      Kept(at, at + jpegSize) &&
      std::equal(FThumbnail.Memory(), FThumbnail.Memory() + jpegSize, FData.SourceBlock().begin() + at)) {
    FThumbnailAt = at;
    FThumbnail.Clear();
  }
  const bool strips = PrepareStrips();
  if (!jpeg && !strips) {
    // No image that can be carried: where its pointers address the loaded block, the directory keeps
    // every tag as it was and those bytes stay where they are; else only the image's own tags go.
    const bool kept = KeepImage(skThumbnail, ttJPEGInterchangeFormat, ttJPEGInterchangeFormatLength) |
                      KeepImage(skThumbnail, ttStripOffsets, ttStripByteCounts);
    if (!kept)
      for (const TExifTagID id :
           {ttCompression, ttJPEGInterchangeFormat, ttJPEGInterchangeFormatLength, ttStripOffsets, ttStripByteCounts})
        if (section.Find(id)) {
          std::erase_if(FTags[skThumbnail], [&](const TExifTag* tag) { return tag->ID() == id; });
          FDroppedPointers.emplace_back(skThumbnail, id);
        }
    Measure(skThumbnail);
    return;
  }
  if (jpeg) {
    // An uncompressed thumbnail's Compression 1 stays; a JPEG one is labelled 6.
    std::uint32_t compression = 0;
    if (!strips || !section.TryGetLongValue(ttCompression, 0, compression) || compression != 1) {
      const std::uint16_t value = JPEGCompression;
      Adjust(skThumbnail, TagWithFirstElement(section.Find(ttCompression), ttCompression, dtShort, &value));
    }
    const auto length = static_cast<std::uint32_t>(jpegSize);
    Adjust(skThumbnail, TagWithFirstElement(section.Find(ttJPEGInterchangeFormatLength), ttJPEGInterchangeFormatLength,
                                            dtLong, &length));
    Prepare(skThumbnail, {skThumbnail});
  } else {
    Prepare(skThumbnail, {});
  }
  FStripStart = FThumbnailAt >= 0 ? 0 : jpegSize;
  FDataSize[skThumbnail] += FThumbnail.Size();
}

void TExifWriter::PrepareJPEGThumbnail() {
  EncodeThumbnail();
  if (FThumbnail.Size() <= ThumbnailSizeLimit) return;
  FThumbnail.Clear();
  // A scaled-down copy; encoded afresh, so that a small image carrying bulky data shrinks as well.
  auto shrunk = std::make_unique<Zorp::Base::TJPEGImage>(FData.Thumbnail());
  int width = 0, height = 0;
  if (shrunk->Width() > 160 || shrunk->Height() > 120) {
    FitThumbnailSize(shrunk->Width(), shrunk->Height(), 160, 120, width, height);
    *shrunk = shrunk->StretchedTo(width, height);
  }
  if (shrunk->CompressionQuality() > ThumbnailQualityCap) shrunk->SetCompressionQuality(ThumbnailQualityCap);
  const std::vector<std::uint8_t> encoded = shrunk->Encoded(shrunk->CompressionQuality());
  if (encoded != shrunk->Bytes()) shrunk->LoadFromBytes(encoded.data(), encoded.size());
  FShrunkThumbnail = std::move(shrunk);
  EncodeThumbnail();
  if (FThumbnail.Size() > ThumbnailSizeLimit)
    throw Zorp::Base::EAssertionFailed(Format(SThumbnailTooLarge, static_cast<long long>(FThumbnail.Size())));
  // The container's thumbnail directory follows a new image's size where it records one.
  for (const TExifTagID id : {ttImageWidth, ttImageLength})
    if (const TExifTag* tag = PeekSection(skThumbnail).Find(id)) {
      const auto size =
          static_cast<std::uint16_t>(id == ttImageWidth ? FShrunkThumbnail->Width() : FShrunkThumbnail->Height());
      Substitute(skThumbnail, FOwnedTags.emplace_back(TagWithFirstElement(tag, id, dtShort, &size)).get());
    }
}

bool TExifWriter::PrepareStrips() {
  const TExifSection& section = PeekSection(skThumbnail);
  const TExifTag* offsets = section.Find(ttStripOffsets);
  const TExifTag* counts = section.Find(ttStripByteCounts);
  std::uint32_t compression = 0;
  if (!offsets || !counts || !section.TryGetLongValue(ttCompression, 0, compression) || compression != 1) return false;
  const std::int32_t stripCount = offsets->ElementCount();
  if (stripCount < 1 || counts->ElementCount() != stripCount) return false;
  const std::span<const std::uint8_t> block = FData.SourceBlock();
  const std::int64_t blockSize = static_cast<std::int64_t>(block.size());
  std::vector<std::uint32_t> starts, sizes;
  std::int64_t total = 0;
  bool allKept = true;
  for (std::int32_t i = 0; i < stripCount; ++i) {
    std::uint32_t offset = 0, size = 0;
    if (!section.TryGetLongValue(ttStripOffsets, i, offset) || !section.TryGetLongValue(ttStripByteCounts, i, size) ||
        offset > blockSize || size > blockSize - offset || (total += size) > blockSize)
      return false;
    starts.push_back(offset);
    sizes.push_back(size);
    allKept = allKept && Kept(offset, std::int64_t{offset} + size);
  }
  // Strips that lie in bytes the block keeps anyway stay there, with their offsets.
  if (allKept) return true;
  for (std::size_t i = 0; i < starts.size(); ++i) FThumbnail.WriteBuffer(block.data() + starts[i], sizes[i]);
  FStripSizes = std::move(sizes);
  FStripOffsets =
      FOwnedTags.emplace_back(std::make_unique<TExifTag>(nullptr, ttStripOffsets, dtLong, stripCount)).get();
  Substitute(skThumbnail, FStripOffsets);
  return true;
}

void TExifWriter::EncodeThumbnail() {
  FThumbnail.Clear();
  ThumbnailImage().SaveToStream(FThumbnail);
  FThumbnail.SetPosition(0);
  FThumbnail.SetSize(MeasureJPEGData(FThumbnail));
  FThumbnail.SetPosition(0);
}

void TExifWriter::AssignOffsets() {
  for (int k = skPrimary; k <= skMakerNote; ++k) {
    FOffset[k] = k == skPrimary ? TiffHeaderSize : FOffset[k - 1] + FDirectorySize[k - 1] + FDataSize[k - 1];
    const std::int64_t size = FDirectorySize[k] + FDataSize[k];
    for (const TByteRange& range : FReserved)
      if (FOffset[k] < range.End && FOffset[k] + size > range.Start) FOffset[k] = Padded(range.End);
  }
  FBlockSize = 0;
  for (int k = skPrimary; k <= skThumbnail; ++k)
    if (FDirectorySize[k] > 0) FBlockSize = std::max(FBlockSize, FOffset[k] + FDirectorySize[k] + FDataSize[k]);
  if (FMakerNoteFixed) FBlockSize = std::max(FBlockSize, FMakerNoteOffset + FMakerNoteTag->DataSize());
  for (const TByteRange& range : FKept) FBlockSize = std::max(FBlockSize, range.End);
  // A reader takes a thumbnail only when it can read its first ThumbnailProbeSize bytes: a tiny one
  // at the end of the block gets zeros behind it, so that it reads back as it was written.
  if (FPointerTag[skThumbnail] && (FThumbnail.Size() > 0 || FThumbnailAt >= 0))
    FBlockSize = std::max(FBlockSize, ThumbnailOffset() + TCustomExifData::ThumbnailProbeSize);
  // The block must fit one JPEG segment; refused before anything is allocated for it.
  if (ExifHeaderSize + FBlockSize > MaxJPEGSegmentDataSize)
    throw EJPEGSegmentTooLarge(
        Format(SSaveSegmentTooLarge, "Exif", static_cast<long long>(ExifHeaderSize + FBlockSize)));
  // Every offset is written as 32 bits.
  if (FBlockSize > std::numeric_limits<std::uint32_t>::max()) throw Zorp::Base::ERangeError(SRangeError);

  for (int k = skExif; k <= skGps; ++k)
    if (FPointerTag[k]) SetLongData(*FPointerTag[k], static_cast<std::uint32_t>(FOffset[k]));
  if (FPointerTag[skThumbnail]) SetLongData(*FPointerTag[skThumbnail], static_cast<std::uint32_t>(ThumbnailOffset()));
  if (FStripOffsets) {
    std::vector<std::uint32_t> offsets;
    std::int64_t offset = ImageDataOffset() + FStripStart;
    for (std::uint32_t size : FStripSizes) {
      offsets.push_back(static_cast<std::uint32_t>(offset));
      offset += size;
    }
    FStripOffsets->SetRawData(offsets.data());
  }
}

bool TExifWriter::Kept(std::int64_t start, std::int64_t end) const {
  return std::any_of(FKept.begin(), FKept.end(), [&](const TByteRange& r) { return r.Start <= start && end <= r.End; });
}

std::int64_t TExifWriter::ThumbnailOffset() const {
  return FThumbnailAt >= 0 ? FThumbnailAt : ImageDataOffset();
}

std::int64_t TExifWriter::ImageDataOffset() const {
  return FOffset[skThumbnail] + FDirectorySize[skThumbnail] + FDataSize[skThumbnail] - FThumbnail.Size();
}

void TExifWriter::WriteSection(TMemoryStream& block, TExifSectionKind kind, TByteOrder order) const {
  const std::vector<const TExifTag*>& tags = FTags[kind];
  block.SetPosition(ExifHeaderSize + FOffset[kind]);
  WriteWord(block, order, static_cast<std::uint16_t>(tags.size()));
  std::int64_t dataOffset = FOffset[kind] + FDirectorySize[kind];
  for (const TExifTag* tag : tags) {
    if (tag == FMakerNoteTag) {
      tag->WriteEntry(block, order, static_cast<std::uint32_t>(FMakerNoteOffset));
      continue;
    }
    tag->WriteEntry(block, order, static_cast<std::uint32_t>(dataOffset));
    if (tag->DataSize() > 4) dataOffset += Padded(tag->DataSize());
  }
  const bool linksThumbnail = kind == skPrimary && FDirectorySize[skThumbnail] > 0;
  WriteLongWord(block, order, linksThumbnail ? static_cast<std::uint32_t>(FOffset[skThumbnail]) : 0);
  for (const TExifTag* tag : tags) {
    if (tag == FMakerNoteTag || tag->DataSize() <= 4) continue;
    tag->WriteReferencedData(block, order);
    if (tag->DataSize() & 1) block.Seek(1, Zorp::Base::soCurrent);  // the block is zero-filled
  }
}

namespace {

void CheckSegmentSize(const char* what, std::int64_t size) {
  if (size > MaxJPEGSegmentDataSize)
    throw EJPEGSegmentTooLarge(Format(SSaveSegmentTooLarge, what, static_cast<long long>(size)));
}

// A directory's tags as comparable values; tags with one ID may come back in another order.
using TTagValue = std::tuple<TExifTagID, int, std::int32_t, std::vector<std::uint8_t>>;
std::vector<TTagValue> TagValues(const std::vector<const TExifTag*>& tags) {
  std::vector<TTagValue> values;
  values.reserve(tags.size());
  for (const TExifTag* tag : tags)
    values.emplace_back(tag->ID(), tag->DataType(), tag->ElementCount(),
                        std::vector<std::uint8_t>(tag->Bytes().begin(), tag->Bytes().end()));
  std::sort(values.begin(), values.end());
  return values;
}

// Whether XMP segment data is a packet that loads.
bool IsReadableXMP(TMemoryStream& data) {
  TXMPPacket probe;
  data.SetPosition(0);
  const bool readable = probe.TryLoadFromStream(data);
  data.SetPosition(0);
  return readable;
}

// A photo that had no main directory gains one with its first Exif data: the tags every JPEG main
// directory must have, those missing from primary, as standalone tags. The resolution comes from the
// JFIF header when it gives dots per inch or per centimetre, else it is 72 dots per inch; the chroma
// samples are centred.
std::vector<std::unique_ptr<TExifTag>> MissingMainTags(
    const TExifSection& primary, const std::vector<std::shared_ptr<IFoundJPEGSegment>>& app0Segments) {
  std::uint16_t unit = 2, x = 72, y = 72;  // ResolutionUnit 2: inches
  for (const auto& segment : app0Segments) {
    TMemoryStream& data = segment->Data();
    const std::uint8_t* bytes = data.Memory();
    if (data.Size() < 12 || std::memcmp(bytes, "JFIF\0", 5) != 0) continue;
    const std::uint16_t densityX = GetWord(bytes + 8, boBigEndian), densityY = GetWord(bytes + 10, boBigEndian);
    if ((bytes[7] == 1 || bytes[7] == 2) && densityX > 0 && densityY > 0) {
      unit = bytes[7] + 1;  // JFIF 1 (per inch) and 2 (per cm) are TIFF 2 and 3
      x = densityX;
      y = densityY;
    }
    break;
  }
  const TTiffRational xResolution{x, 1}, yResolution{y, 1};
  const std::uint16_t centred = 1;
  std::vector<std::unique_ptr<TExifTag>> tags;
  if (!primary.Find(ttXResolution))
    tags.push_back(TagWithFirstElement(nullptr, ttXResolution, dtRational, &xResolution));
  if (!primary.Find(ttYResolution))
    tags.push_back(TagWithFirstElement(nullptr, ttYResolution, dtRational, &yResolution));
  if (!primary.Find(ttResolutionUnit)) tags.push_back(TagWithFirstElement(nullptr, ttResolutionUnit, dtShort, &unit));
  if (!primary.Find(ttYCbCrPositioning))
    tags.push_back(TagWithFirstElement(nullptr, ttYCbCrPositioning, dtShort, &centred));
  return tags;
}

[[noreturn]] void RaiseNotValid(const std::string& reason) {
  throw EZorpExifException(Format(SSavedJPEGNotValid, reason.c_str()));
}

// The Photoshop resources of a loaded photo's APP13 segments, joined, without parsing them.
std::vector<std::uint8_t> JoinedPhotoshopResources(const TExifData& data) {
  std::vector<std::uint8_t> joined;
  for (const auto& segment : data.PendingIPTCSegments()) {
    const TMemoryStream& bytes = segment->Data();
    const auto size = static_cast<std::size_t>(bytes.Size());
    if (size >= PhotoshopSegmentSignature.size())
      joined.insert(joined.end(), bytes.Memory() + PhotoshopSegmentSignature.size(), bytes.Memory() + size);
  }
  return joined;
}

// What a save's IPTC must read back as: present (copied segments), or these resources with these
// datasets (rewritten segments).
struct TIPTCExpectation {
  bool Present = false;
  bool Rewritten = false;
  std::vector<std::uint8_t> Resources;
  const TIPTCData* Data = nullptr;
};

void VerifyIPTC(TExifData& saved, const TIPTCExpectation& expected) {
  if (expected.Present && !saved.SourceMetadata().Contains(mkIPTC)) RaiseNotValid("the IPTC data is missing");
  if (!expected.Rewritten) return;
  if (expected.Resources.empty()) {
    if (saved.SourceMetadata().Contains(mkIPTC)) RaiseNotValid("removed IPTC data is still there");
    return;
  }
  if (JoinedPhotoshopResources(saved) != expected.Resources) RaiseNotValid("the IPTC data reads back differently");
  const TIPTCData& theirs = saved.IPTC();
  const auto& mine = expected.Data->Datasets();
  const auto& read = theirs.Datasets();
  const bool same = mine.size() == read.size() && std::equal(mine.begin(), mine.end(), read.begin(), [](const auto& a, const auto& b) {
    return a.Record == b.Record && a.Number == b.Number && a.Value == b.Value;
  });
  if (!same || theirs.DigestIsStale()) RaiseNotValid("the IPTC datasets read back differently");
}

// Parses a rewritten JPEG again (from the stream's start) and compares it with data, whose directories
// were written as writtenTags gives them. xmpWritten: an XMP segment was written; xmpRegenerated: it
// was serialised from a packet model, so it must parse.
void VerifySaved(TExifData& data, TStream& stream,
                 const std::function<std::vector<const TExifTag*>(TExifSectionKind)>& writtenTags, bool xmpWritten,
                 bool xmpRegenerated, const TIPTCExpectation& iptc, const TExifWriter* writer = nullptr) {
  stream.SetPosition(0);
  TExifData saved;
  saved.SetEnsureEnumsInRange(data.EnsureEnumsInRange());
  try {
    saved.LoadFromJPEG(stream);
  } catch (const std::exception& error) {
    RaiseNotValid(std::string("it does not load: ") + error.what());
  }
  if (!data.IsEmpty() && !saved.SourceMetadata().Contains(mkExif)) RaiseNotValid("no Exif segment");

  for (int k = skPrimary; k <= skThumbnail; ++k) {
    const auto kind = static_cast<TExifSectionKind>(k);
    // A thumbnail directory left with no tag is not written.
    if (kind == skThumbnail && writtenTags(kind).empty()) continue;
    const TExifSection& mine = data.PeekSection(kind);
    const TExifSection& theirs = saved.PeekSection(kind);
    if (mine.LoadErrors().Empty() && !theirs.LoadErrors().Empty())
      RaiseNotValid(std::string("the ") + SectionName(kind) + " reports load errors");
    std::vector<const TExifTag*> myTags = writtenTags(kind), theirTags;
    for (const TExifTag* tag : theirs) theirTags.push_back(tag);
    // Without the plan (a check after the save), the container has the loaded StripOffsets of an
    // uncompressed thumbnail, which the save moved.
    if (kind == skThumbnail && !writer)
      for (auto* tags : {&myTags, &theirTags})
        std::erase_if(*tags, [](const TExifTag* tag) { return tag->ID() == ttStripOffsets; });
    if (TagValues(myTags) != TagValues(theirTags))
      RaiseNotValid(std::string("the ") + SectionName(kind) + " reads back different tags");
  }
  if (data.HasThumbnail() && !saved.HasThumbnail()) RaiseNotValid("the thumbnail is missing");
  if (xmpWritten && !saved.SourceMetadata().Contains(mkXMP)) RaiseNotValid("the XMP packet is missing");
  if (xmpRegenerated && saved.PendingXMPSegment() && !IsReadableXMP(saved.PendingXMPSegment()->Data()))
    RaiseNotValid("the XMP packet does not parse");
  VerifyIPTC(saved, iptc);

  // What the plan kept byte for byte (the MakerNote, what it references, private directories) is
  // there byte for byte.
  if (writer) {
    const std::string reason = writer->CheckKept(saved.SourceBlock());
    if (!reason.empty()) RaiseNotValid(reason);
  }

  // A MakerNote that reads cleanly here must read the same values from the file. When the
  // MakerNote's class changed (an edited camera make), its contents are read differently and are
  // not compared.
  if (&data.MakerNoteType() != &TUnrecognizedMakerNote && &saved.MakerNoteType() == &data.MakerNoteType()) {
    const TExifSection* mine = nullptr;
    try {
      mine = &data.Sections(skMakerNote);
    } catch (const EInvalidMakerNoteFormat&) {
    }
    if (mine && mine->Count() > 0 && mine->LoadErrors().Empty()) {
      const TExifSection* theirs = nullptr;
      try {
        theirs = &saved.Sections(skMakerNote);
      } catch (const EInvalidMakerNoteFormat&) {
        RaiseNotValid("the MakerNote does not load");
      }
      std::vector<const TExifTag*> myTags, theirTags;
      for (const TExifTag* tag : *mine)
        if (tag->WellFormed()) myTags.push_back(tag);
      for (const TExifTag* tag : *theirs)
        if (tag->WellFormed()) theirTags.push_back(tag);
      if (!theirs->LoadErrors().Empty() || theirs->Count() != mine->Count() || TagValues(myTags) != TagValues(theirTags))
        RaiseNotValid("the MakerNote reads back differently");
    }
  }
}

}  // namespace

// One rewrite of a JPEG around new Exif and XMP segments. The constructor plans it from the container
// and the input (from its position) and builds both segments without changing the container; Write
// produces the output; Apply, once the whole save has succeeded, gives the container what was written.
class TJPEGRewrite {
 public:
  TJPEGRewrite(TExifData& data, TStream& input, const TMovedMakerNote& movedMakerNote)
      : FData(data), FInput(input), FStart(input.Position()) {
    if (data.UnreadableExif() && !data.RepairOnSave()) throw EZorpExifException(SUnreadableExifData);
    ReadFrameSize();
    // Photoshop segments are rewritten only when their IPTC data was read and changed.
    FRewriteIPTC = data.PendingIPTCSegments().empty() && data.IPTC().Modified();
    if (FRewriteIPTC) {
      FIPTCSegments = data.IPTC().SegmentData();
      for (const auto& segment : FIPTCSegments) {
        CheckSegmentSize("IPTC", static_cast<std::int64_t>(segment.size()));
        FIPTCResources.insert(FIPTCResources.end(), segment.begin() + PhotoshopSegmentSignature.size(), segment.end());
      }
    }
    FindReplacedSegments();
    if (!data.IsEmpty()) {
      FWriter = std::make_unique<TExifWriter>(data, movedMakerNote);
      if (FFrameSize) {
        // As TCustomExifData::SetExifImageWidth/Height will set them.
        for (const TExifTagID id : {ttPixelXDimension, ttPixelYDimension}) {
          const std::uint32_t value = id == ttPixelXDimension ? FFrameSize->first : FFrameSize->second;
          const TExifTag* tag = data.PeekSection(skExif).Find(id);
          auto planned = std::make_unique<TExifTag>(nullptr, id, PixelDimensionType(tag, value), 1);
          if (planned->DataType() == dtShort) {
            const auto word = static_cast<std::uint16_t>(value);
            planned->SetRawData(&word);
          } else {
            planned->SetRawData(&value);
          }
          FWriter->AddCallerTag(skExif, std::move(planned));
        }
      }
      if (!data.LoadedPrimaryDirectory())
        for (auto& tag : MissingMainTags(data.PeekSection(skPrimary), FApp0Segments)) {
          FMainTags.push_back(tag.get());
          FWriter->AddCallerTag(skPrimary, std::move(tag));
        }
      FWriter->Plan();
    }
    BuildXMPSegment();
    if (FWriter) {
      FitTrailer();
      WriteExifData();
    }
  }

  // Pads the Exif block with zero bytes so that the rest of the file lies at the same place within
  // a block of blockSize bytes as in the input, which lets a file system that shares blocks clone
  // it. Not done when MakerNote values behind the Exif segment fix where the rest lies, or when the
  // segment has no room.
  void AlignTail(std::int64_t blockSize) {
    if (!FExifData || blockSize <= 0 || !FWriter->TrailerReferences().empty()) return;
    const std::int64_t padding = ((TailStart() - HeadSize(FExifData->Size())) % blockSize + blockSize) % blockSize;
    if (padding == 0 || FExifData->Size() + padding > MaxJPEGSegmentDataSize) return;
    FWriter->FitTrailer(padding, {});
    WriteExifData();
  }

  void Write(TStream& output) {
    WriteHead(output);
    Zorp::Base::CopyStream(FInput, output, FInput.Size() - FInput.Position());
    output.SetSize(output.Position());
  }

  // The new file up to TailStart: the new segments and what the input has between the segments
  // they replace. The input is left at TailStart; the rest of the file is the input from there on.
  void WriteHead(TStream& output) {
    static constexpr std::uint8_t StartOfImage[2] = {0xFF, jmStartOfImage};
    output.WriteBuffer(StartOfImage, 2);
    for (const auto& segment : FApp0Segments) WriteJPEGSegment(output, *segment);
    if (FExifData) WriteJPEGSegment(output, jmApp1, *FExifData);
    if (FXMPSegment) WriteJPEGSegment(output, jmApp1, FXMPSegment->Data());
    // New IPTC takes the place of the first Photoshop segment, or follows the segments above.
    if (!FFirstInputIPTC) WriteIPTCSegments(output);
    FInput.SetPosition(FStart + 2);
    for (const auto& segment : FLeftOut) {
      Zorp::Base::CopyStream(FInput, output, segment->FillOffset() - FInput.Position());
      if (segment == FFirstInputIPTC) WriteIPTCSegments(output);
      FInput.SetPosition(segment->Offset() + segment->TotalSize());
    }
  }

  // Where the input's scan data begins, just after its start-of-scan header; the input's size when
  // it has none.
  std::int64_t ScanDataStart() const { return FScanDataStart >= 0 ? FScanDataStart : FInput.Size(); }

  // Where the unchanged rest of the input begins: after the last segment the new ones replace.
  std::int64_t TailStart() const {
    std::int64_t start = FStart + 2;
    for (const auto& segment : FLeftOut) start = std::max(start, segment->Offset() + segment->TotalSize());
    return start;
  }

  void Verify(TStream& output) {
    VerifySaved(
        FData, output,
        [&](TExifSectionKind kind) { return FWriter ? FWriter->Tags(kind) : WrittenTags(FData.PeekSection(kind)); },
        FXMPSegment != nullptr, FXMPRegenerated,
        TIPTCExpectation{!FRewriteIPTC && FFirstInputIPTC != nullptr, FRewriteIPTC, FIPTCResources, &FData.IPTC()},
        FWriter.get());
  }

  void Apply(TMovedMakerNote& movedMakerNote) {
    FData.WithinUpdate([&] {
      if (FFrameSize) {
        FData.SetExifImageWidth(TOptionalLongWord{FFrameSize->first, false});
        FData.SetExifImageHeight(TOptionalLongWord{FFrameSize->second, false});
      }
      for (const TExifTag* tag : FMainTags)
        FData.Sections(skPrimary).AddOrUpdateTag(tag->ID(), tag->DataType(), tag->ElementCount(), tag->Data());
      if (FWriter) FWriter->Apply(movedMakerNote);
      // The IPTC data is what was written, read as a load reads it.
      if (FRewriteIPTC) FData.IPTC().LoadFromResources(FIPTCResources);
    });
  }

 private:
  // The image's pixel size from its first start-of-frame segment, kept when ExifImageWidth or
  // ExifImageHeight exists and either differs from it. (Setting an unchanged size would only touch
  // the XMP packet, which then could no longer be copied unchanged.)
  void ReadFrameSize() {
    const TExifSection& exif = FData.PeekSection(skExif);
    if (!exif.Find(ttExifImageWidth) && !exif.Find(ttExifImageHeight)) return;
    std::optional<std::pair<std::uint16_t, std::uint16_t>> size;
    try {
      // A file cut off before its frame has no size to take.
      const auto scanner = ScanJPEGSegments(FInput, TJPEGMarkerSet{0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7});
      while (MoveNextBeforeCut(*scanner, true))
        if (scanner->Current()->Data().Size() > 5) {
          size.emplace(SOFImageWidth(scanner->Current()->Data()), SOFImageHeight(scanner->Current()->Data()));
          break;
        }
    } catch (...) {
      FInput.SetPosition(FStart);
      throw;
    }
    FInput.SetPosition(FStart);
    const TOptionalLongWord width = FData.ExifImageWidth(), height = FData.ExifImageHeight();
    if (size && (width.Missing || width.Value != size->first || height.Missing || height.Value != size->second))
      FFrameSize = size;
  }

  // The segments that the new ones replace: every APP0 (written first), the first Exif and the first
  // XMP APP1 segment. Other APP1 segments stay where they are. The same walk notes where the scan
  // data begins.
  void FindReplacedSegments() {
    bool exifFound = false;
    // A file cut off behind its metadata is rewritten up to its cut; the rest is copied as it is.
    const auto scanner = ScanJPEGSegments(FInput, TJPEGMarkerSet{jmApp0, jmApp1, jmApp13, jmStartOfScan});
    while (MoveNextBeforeCut(*scanner, exifFound || FInputXMP)) {
      const std::shared_ptr<IFoundJPEGSegment> segment = scanner->Current();
      TMemoryStream& data = segment->Data();
      if (segment->Marker() == jmStartOfScan) {
        FScanDataStart = segment->Offset() + segment->TotalSize();
      } else if (segment->Marker() == jmApp13) {
        if (!HasPhotoshopSignature(std::span<const std::uint8_t>(data.Memory(), static_cast<std::size_t>(data.Size()))))
          continue;
        if (!FFirstInputIPTC) FFirstInputIPTC = segment;
        if (FRewriteIPTC) FLeftOut.push_back(segment);
      } else if (segment->Marker() == jmApp0) {
        CheckSegmentSize("APP0", data.Size());
        FApp0Segments.push_back(segment);
        FLeftOut.push_back(segment);
      } else if (!exifFound && (FData.RepairOnSave() ? HasExifSignature(data) : HasExifHeader(data))) {
        exifFound = true;
        FInputExifAt = segment->DataOffset();
        FLeftOut.push_back(segment);
      } else if (!FInputXMP && HasXMPSignature(data)) {
        FInputXMP = segment;
        FLeftOut.push_back(segment);
      }
    }
  }

  // The Exif segment's data from the plan, through SaveToStream, which a container class may extend;
  // while this rewrite runs it writes the planned block and changes nothing.
  void WriteExifData() {
    FExifData = std::make_unique<TMemoryStream>();
    FData.FPlannedWriter = FWriter.get();
    try {
      FData.SaveToStream(*FExifData);
    } catch (...) {
      FData.FPlannedWriter = nullptr;
      throw;
    }
    FData.FPlannedWriter = nullptr;
    CheckSegmentSize("Exif", FExifData->Size());
  }

  // The bytes the APP0 segments take at the head of the new file.
  std::int64_t App0Size() const {
    std::int64_t size = 0;
    for (const auto& segment : FApp0Segments) size += 4 + segment->Data().Size();
    return size;
  }

  // The size of the head WriteHead produces, given the Exif segment's data size.
  std::int64_t HeadSize(std::int64_t exifDataSize) const {
    std::int64_t size = 2 + App0Size();
    if (FWriter) size += 4 + exifDataSize;
    if (FXMPSegment) size += 4 + FXMPSegment->Data().Size();
    if (FRewriteIPTC)
      for (const auto& segment : FIPTCSegments) size += 4 + static_cast<std::int64_t>(segment.size());
    std::int64_t position = FStart + 2;
    for (const auto& segment : FLeftOut) {
      size += std::max<std::int64_t>(segment->FillOffset() - position, 0);
      position = segment->Offset() + segment->TotalSize();
    }
    return size;
  }

  // MakerNote values behind the Exif segment (a preview stored after the image) keep their distance
  // from the TIFF header: the new block ends with zero bytes that make up for a head grown shorter,
  // or, when the head grew, the entries' offsets are written anew. The input's own offsets say where
  // the values lie now.
  void FitTrailer() {
    const std::vector<TTrailerReference>& references = FWriter->TrailerReferences();
    if (references.empty() || FInputExifAt < 0) return;
    const std::int64_t inputTiff = FInputExifAt + ExifHeaderSize;
    const std::int64_t blockData = FWriter->SegmentDataSize();
    const std::int64_t newTiff = 2 + App0Size() + 4 + ExifHeaderSize;
    const std::int64_t tailStart = TailStart();
    // How much farther the rest of the input lies from the TIFF header in the new file. Padding makes
    // up for a head grown shorter and keeps every offset as the input has it; else the offsets move.
    const std::int64_t delta = (HeadSize(blockData) - tailStart) - (newTiff - inputTiff);
    const bool pad = delta < 0 && blockData - delta <= MaxJPEGSegmentDataSize;
    const std::int64_t move = pad ? 0 : delta;
    std::vector<std::pair<std::int64_t, std::uint32_t>> patches;
    for (const TTrailerReference& reference : references) {
      std::uint32_t offset = 0;
      if (!ReadInputLong(inputTiff + reference.FieldAt, reference.Order, offset)) continue;
      const std::int64_t target = inputTiff + offset;
      if (target < tailStart || reference.Size > FInput.Size() - target) continue;  // not in the tail
      const std::int64_t moved = std::int64_t{offset} + move;
      if (moved < 0 || moved > std::numeric_limits<std::uint32_t>::max()) continue;
      patches.emplace_back(reference.FieldAt, static_cast<std::uint32_t>(moved));
    }
    if (!patches.empty()) FWriter->FitTrailer(pad ? -delta : 0, std::move(patches));
  }

  void WriteIPTCSegments(TStream& output) {
    if (!FRewriteIPTC) return;
    for (const auto& segment : FIPTCSegments)
      WriteJPEGSegment(output, jmApp13, segment.data(), static_cast<std::int64_t>(segment.size()));
  }

  // A 32-bit number of the input at position at; the input's position is kept.
  bool ReadInputLong(std::int64_t at, TByteOrder order, std::uint32_t& value) {
    if (at < 0) return false;
    const std::int64_t saved = FInput.Position();
    FInput.SetPosition(at);
    const bool read = TryReadLongWord(FInput, order, value);
    FInput.SetPosition(saved);
    return read;
  }

  // The XMP segment: copied unchanged while the packet was never read; the input's packet as it is
  // when it cannot be read at all (this library could not have taken the edits into it, and what
  // little the container holds must not replace it); else the packet serialised (none when empty),
  // with the new pixel size in a copy of the packet when the frame size is set.
  void BuildXMPSegment() {
    if (FFrameSize) (void)FData.XMPPacket();  // the size goes into the packet, which is read for it
    FXMPSegment = FData.PendingXMPSegment();
    if (FXMPSegment) {
    } else if (FInputXMP && !IsReadableXMP(FInputXMP->Data())) {
      FXMPSegment = FInputXMP;
    } else {
      TXMPPacket* packet = &FData.XMPPacket();
      if (FFrameSize) {
        FEditedXMP = std::make_unique<TXMPPacket>();
        FEditedXMP->SetWritePolicy(packet->WritePolicy());
        FEditedXMP->Assign(packet);
        FEditedXMP->UpdateProperty(xnExif, "PixelXDimension", std::to_string(FFrameSize->first));
        FEditedXMP->UpdateProperty(xnExif, "PixelYDimension", std::to_string(FFrameSize->second));
        packet = FEditedXMP.get();
      }
      if (!packet->Empty()) {
        packet->SetWriteSegmentHeader(true);
        FXMPSegment = std::make_shared<TUserJPEGSegment>(jmApp1, packet);
        FXMPRegenerated = true;
      }
    }
    if (FXMPSegment) CheckSegmentSize("XMP", FXMPSegment->Data().Size());
  }

  TExifData& FData;
  TStream& FInput;
  const std::int64_t FStart;
  std::optional<std::pair<std::uint16_t, std::uint16_t>> FFrameSize;  // width, height to set
  std::vector<std::shared_ptr<IFoundJPEGSegment>> FApp0Segments, FLeftOut;
  std::shared_ptr<IFoundJPEGSegment> FInputXMP;
  std::int64_t FScanDataStart = -1;
  std::int64_t FInputExifAt = -1;  // where the input's Exif segment data starts
  std::unique_ptr<TExifWriter> FWriter;
  std::vector<const TExifTag*> FMainTags;  // owned by FWriter
  std::unique_ptr<TMemoryStream> FExifData;
  std::unique_ptr<TXMPPacket> FEditedXMP;
  std::shared_ptr<IJPEGSegment> FXMPSegment;
  bool FXMPRegenerated = false;
  bool FRewriteIPTC = false;
  std::vector<std::vector<std::uint8_t>> FIPTCSegments;  // the new APP13 segments' data
  std::vector<std::uint8_t> FIPTCResources;              // their resources, joined
  std::shared_ptr<IFoundJPEGSegment> FFirstInputIPTC;
};

}  // namespace Detail

namespace {
// A container loaded from a file that is never written refuses every save before anything is done.
void RefuseReadOnlyFormat(const TExifData& data) {
  if (!data.ReadOnlyFormat().empty())
    throw EZorpExifException(Format(SReadOnlyFileFormat, data.ReadOnlyFormat().c_str()));
}
}  // namespace

void TExifData::SaveToStream(TStream& stream) {
  RefuseReadOnlyFormat(*this);
  if (FPlannedWriter) {
    FPlannedWriter->Write(stream);
    return;
  }
  Detail::TExifWriter writer(*this, FMovedMakerNote);
  writer.Plan();
  writer.Write(stream);
  writer.Apply(FMovedMakerNote);
}

void TExifData::SaveToJPEG(TStream& inStream, TStream& outStream) {
  RefuseReadOnlyFormat(*this);
  if (!HasJPEGStartMarker(inStream)) throw EInvalidJPEGHeader(SInvalidJPEGHeader);
  Detail::TJPEGRewrite rewrite(*this, inStream, FMovedMakerNote);
  rewrite.Write(outStream);
  rewrite.Apply(FMovedMakerNote);
}

void TExifData::SaveToJPEG(const std::string& fileName, bool bufferInMemory) {
  RefuseReadOnlyFormat(*this);
  // The file is read through a window: the metadata at its head, and what MakerNote values point at
  // behind the image. The image data is copied from file to file, never through this process.
  Zorp::Base::TFileReadStream input(fileName);
  // The file must still be the one the container was read from; the replacement checks again under
  // the photo's lock just before it replaces the file, against the file as it is read here.
  const bool checked = FFileState && fileName == FStateFileName;
  if (checked && input.Identity() != *FFileState) throw Zorp::Base::EFileChanged(Zorp::Base::SPhotoChangedSinceRead);
  if (!HasJPEGStartMarker(input)) throw EInvalidJPEGHeader(SInvalidJPEGHeader);
  Detail::TJPEGRewrite rewrite(*this, input, FMovedMakerNote);
  Zorp::Base::TSafeFileReplacement replacement(fileName);
  replacement.SetExpectedIdentity(checked ? *FFileState : input.Identity());
  if (bufferInMemory) {
    // Only the new head is built and verified in memory: the metadata lives there.
    const std::int64_t tailStart = std::min(rewrite.TailStart(), input.Size());
    rewrite.AlignTail(Zorp::Base::CloneBlockSize(input.Handle()));
    TMemoryStream head;
    rewrite.WriteHead(head);
    // The new file is read back up to its scan data, which is all a load reads; an end marker
    // there stands for the scan data, which is the input's, byte for byte.
    const std::int64_t headSize = head.Size();
    const std::int64_t scanStart = std::max(std::min(rewrite.ScanDataStart(), input.Size()), tailStart);
    input.SetPosition(tailStart);
    Zorp::Base::CopyStream(input, head, scanStart - tailStart);
    if (scanStart < input.Size()) {
      static constexpr std::uint8_t EndOfImage[2] = {0xFF, jmEndOfImage};
      head.WriteBuffer(EndOfImage, 2);
    }
    rewrite.Verify(head);
    head.SetSize(headSize);
    replacement.Stream().WriteBuffer(head.Memory(), head.Size());
    if (tailStart < input.Size()) replacement.AppendFileRange(input.Handle(), tailStart, input.Size() - tailStart);
  } else {
    rewrite.Write(replacement.Stream());
    rewrite.Verify(replacement.Stream());
  }
  replacement.Commit();
  rewrite.Apply(FMovedMakerNote);
  FStateFileName = fileName;
  FFileState = Zorp::Base::ReadFileIdentity(fileName);
}

void TExifData::VerifySavedJPEG(TStream& stream) {
  const bool regenerated = PendingXMPSegment() == nullptr && !XMPPacket().Empty();
  // IPTC read from the photo must read back as it is here; IPTC not read must still be there.
  Detail::TIPTCExpectation iptc;
  if (!PendingIPTCSegments().empty() || (!IPTC().Modified() && !IPTC().Empty())) {
    iptc.Present = true;
  } else if (IPTC().Modified()) {
    iptc.Rewritten = true;
    iptc.Resources = IPTC().ResourceBytes();
    iptc.Data = &IPTC();
  }
  Detail::VerifySaved(
      *this, stream, [&](TExifSectionKind kind) { return Detail::WrittenTags(PeekSection(kind)); },
      PendingXMPSegment() != nullptr || regenerated, regenerated, iptc);
}

}  // namespace Zorp::Exif
