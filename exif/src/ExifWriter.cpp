// Saving: the Exif block laid out afresh from the sections (a MakerNote loaded from a file keeps its
// offset, the directories go around it), the JPEG rewritten around the new Exif and XMP segments,
// the rewritten file checked by reading it back, and the file replaced through a temporary file.

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "zorp/base/Exceptions.h"
#include "makernotes/OutsideReferences.h"
#include "zorp/base/FormatSettings.h"
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
  tags.erase(std::unique(tags.begin(), tags.end(), [](const TExifTag* a, const TExifTag* b) { return a->ID() == b->ID(); }),
             tags.end());
  return tags;
}

// Lays out and writes one Exif block. One object per save; it keeps nothing afterwards.
class TExifWriter {
 public:
  TExifWriter(TExifData& data, TExifData::TMovedMakerNote& movedMakerNote)
      : FData(data), FMovedMakerNote(movedMakerNote) {}

  void Save(TStream& stream) {
    if (FData.RemovePaddingTagsOnSave()) RemovePaddingTags();
    Prepare(skInterop, {});
    Prepare(skGps, {});
    DecideMakerNote();
    Prepare(skExif, {skInterop});
    if (FMakerNoteFixed) FDataSize[skExif] -= Padded(FMakerNoteTag->DataSize());
    PrepareThumbnail();
    Prepare(skPrimary, {skExif, skGps});
    AssignOffsets();
    WriteBlock(stream);
  }

 private:
  TExifSection& Section(TExifSectionKind kind) { return FData.Sections(kind); }

  // One padding tag per section. The MakerNote section is only looked at when it has been read
  // already: the writer does not write it, so it is not read for this.
  void RemovePaddingTags() {
    for (int kind = skPrimary; kind <= skThumbnail; ++kind)
      Section(static_cast<TExifSectionKind>(kind)).RemovePaddingTag();
    const TExifSection& makerNote = FData.PeekSection(skMakerNote);
    if (makerNote.Count() > 0) const_cast<TExifSection&>(makerNote).RemovePaddingTag();
  }

  // Creates, updates or removes the pointer tags of the sub-directories in section kind, then
  // measures the directory and its data area (a directory size of 0: not written).
  void Prepare(TExifSectionKind kind, std::initializer_list<TExifSectionKind> subDirectories) {
    TExifSection& section = Section(kind);
    for (TExifSectionKind sub : subDirectories) {
      if (sub == kind || FDirectorySize[sub] > 0)
        FPointerTag[sub] = section.AddOrUpdateTag(PointerTagID(sub), dtLong, 1, nullptr);
      else
        section.Remove(PointerTagID(sub));
    }
    FTags[kind] = WrittenTags(section);
    Measure(kind);
  }

  // The sizes of the directory that FTags holds for kind and of its data area (0: not written).
  void Measure(TExifSectionKind kind) {
    const std::int64_t count = static_cast<std::int64_t>(FTags[kind].size());
    if (kind != skPrimary && count == 0) return;
    if (count > 0xFFFF) throw Zorp::Base::ERangeError(SRangeError);
    std::int64_t dataSize = 0;
    for (const TExifTag* tag : FTags[kind])
      if (tag->DataSize() > 4) dataSize += Padded(tag->DataSize());
    FDataSize[kind] = dataSize;
    FDirectorySize[kind] = 12 * count + 6;
  }

  // A MakerNote loaded from a file goes back to where it was (or to where its offset schema says it
  // came from), so that the offsets inside it stay right.
  void DecideMakerNote() {
    TExifSection& exif = Section(skExif);
    TExifTag* tag = exif.Find(ttMakerNote);
    if (!tag || tag->SourceDataOffset() == 0 || tag->DataSize() <= 4) return;
    std::int64_t offset = tag->SourceDataOffset();
    TExifTag* schema = exif.Find(ttOffsetSchema);
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
      SetLongData(*schema, 0);
      FMovedMakerNote = {tag, tag->SourceDataOffset(), offset};
    } else if (offset == tag->SourceDataOffset()) {
      // Where it stays, the bytes its entries reference beyond its own stay with it.
      FOutside = MakerNoteOutsideRanges(FData);
      FReserved.insert(FReserved.end(), FOutside.begin(), FOutside.end());
    }
    MergeRanges(FReserved);
  }

  void PrepareThumbnail() {
    if (!FData.HasThumbnail()) {
      PrepareStrips();
      return;
    }
    Zorp::Base::TJPEGImage& thumbnail = FData.Thumbnail();
    EncodeThumbnail();
    if (FThumbnail.Size() > ThumbnailSizeLimit) {
      FThumbnail.Clear();
      FData.StandardizeThumbnail();
      if (thumbnail.CompressionQuality() > ThumbnailQualityCap) thumbnail.SetCompressionQuality(ThumbnailQualityCap);
      // Encoded afresh, so that a small image carrying bulky data shrinks as well; the thumbnail
      // becomes what is written.
      const std::vector<std::uint8_t> encoded = thumbnail.Encoded(thumbnail.CompressionQuality());
      if (encoded != thumbnail.Bytes()) thumbnail.LoadFromBytes(encoded.data(), encoded.size());
      EncodeThumbnail();
      if (FThumbnail.Size() > ThumbnailSizeLimit)
        throw Zorp::Base::EAssertionFailed(Format(SThumbnailTooLarge, static_cast<long long>(FThumbnail.Size())));
    }
    TExifSection& section = Section(skThumbnail);
    section.SetWordValue(ttCompression, 0, JPEGCompression);
    section.SetLongWordValue(ttJPEGInterchangeFormatLength, 0, static_cast<std::uint32_t>(FThumbnail.Size()));
    Prepare(skThumbnail, {skThumbnail});
    FDataSize[skThumbnail] += FThumbnail.Size();
  }

  // An uncompressed thumbnail (Compression 1 with strips) is carried as it is: its strips are copied
  // from the loaded block, one after the other, to where a JPEG thumbnail would go, and the directory
  // writes new StripOffsets (LONGs) once the layout is known. Strips that are not in the block are
  // lost with their directory, as a thumbnail that does not load.
  void PrepareStrips() {
    TExifSection& section = Section(skThumbnail);
    const TExifTag* offsets = section.Find(ttStripOffsets);
    const TExifTag* counts = section.Find(ttStripByteCounts);
    std::uint32_t compression = 0;
    if (!offsets || !counts || !section.TryGetLongValue(ttCompression, 0, compression) || compression != 1) return;
    const std::int32_t stripCount = offsets->ElementCount();
    if (stripCount < 1 || counts->ElementCount() != stripCount) return;
    const std::span<const std::uint8_t> block = FData.SourceBlock();
    const std::int64_t blockSize = static_cast<std::int64_t>(block.size());
    std::vector<std::uint32_t> sizes;
    for (std::int32_t i = 0; i < stripCount; ++i) {
      std::uint32_t offset = 0, size = 0;
      if (!section.TryGetLongValue(ttStripOffsets, i, offset) || !section.TryGetLongValue(ttStripByteCounts, i, size) ||
          offset > blockSize || size > blockSize - offset) {
        FThumbnail.Clear();
        return;
      }
      FThumbnail.WriteBuffer(block.data() + offset, size);
      sizes.push_back(size);
    }
    FStripSizes = std::move(sizes);
    Prepare(skThumbnail, {});
    // The directory writes the new offsets in place of the loaded ones, which stay as they are.
    FStripOffsets = std::make_unique<TExifTag>(nullptr, ttStripOffsets, dtLong, stripCount);
    std::replace(FTags[skThumbnail].begin(), FTags[skThumbnail].end(), offsets,
                 static_cast<const TExifTag*>(FStripOffsets.get()));
    Measure(skThumbnail);
    FDataSize[skThumbnail] += FThumbnail.Size();
  }

  // The thumbnail's JPEG up to and including its end-of-image marker.
  void EncodeThumbnail() {
    FThumbnail.Clear();
    FData.Thumbnail().SaveToStream(FThumbnail);
    FThumbnail.SetPosition(0);
    FThumbnail.SetSize(MeasureJPEGData(FThumbnail));
    FThumbnail.SetPosition(0);
  }

  // Each directory with its data follows the one before, moved behind any reserved range (the fixed
  // MakerNote and the bytes it references) that it would overlap.
  void AssignOffsets() {
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
    for (const TByteRange& range : FOutside) FBlockSize = std::max(FBlockSize, range.End);
    // The block must fit one JPEG segment; refused before anything is allocated for it.
    if (ExifHeaderSize + FBlockSize > MaxJPEGSegmentDataSize)
      throw EJPEGSegmentTooLarge(Format(SSaveSegmentTooLarge, "Exif", static_cast<long long>(ExifHeaderSize + FBlockSize)));
    // Every offset is written as 32 bits.
    if (FBlockSize > std::numeric_limits<std::uint32_t>::max()) throw Zorp::Base::ERangeError(SRangeError);

    for (int k = skExif; k <= skGps; ++k)
      if (FPointerTag[k]) SetLongData(*FPointerTag[k], static_cast<std::uint32_t>(FOffset[k]));
    if (FPointerTag[skThumbnail]) SetLongData(*FPointerTag[skThumbnail], static_cast<std::uint32_t>(ThumbnailOffset()));
    if (FStripOffsets) {
      std::vector<std::uint32_t> offsets;
      std::int64_t offset = ThumbnailOffset();
      for (std::uint32_t size : FStripSizes) {
        offsets.push_back(static_cast<std::uint32_t>(offset));
        offset += size;
      }
      FStripOffsets->SetRawData(offsets.data());
    }
  }

  // Where the thumbnail's JPEG follows the thumbnail directory's other values.
  std::int64_t ThumbnailOffset() const {
    return FOffset[skThumbnail] + FDirectorySize[skThumbnail] + FDataSize[skThumbnail] - FThumbnail.Size();
  }

  // The block is assembled in memory, so that every byte that nothing covers is zero, then written
  // to the stream in one piece.
  void WriteBlock(TStream& stream) {
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
      block.SetPosition(ExifHeaderSize + ThumbnailOffset());
      block.WriteBuffer(FThumbnail.Memory(), FThumbnail.Size());
    }
    const std::span<const std::uint8_t> source = FData.SourceBlock();
    for (const TByteRange& range : FOutside) {
      block.SetPosition(ExifHeaderSize + range.Start);
      block.WriteBuffer(source.data() + range.Start, range.End - range.Start);
    }
    if (FMakerNoteFixed) {
      block.SetPosition(ExifHeaderSize + FMakerNoteOffset);
      FMakerNoteTag->WriteReferencedData(block, order);
    }
    stream.WriteBuffer(block.Memory(), block.Size());
  }

  void WriteSection(TMemoryStream& block, TExifSectionKind kind, TByteOrder order) {
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

  TExifData& FData;
  TExifData::TMovedMakerNote& FMovedMakerNote;
  // The save plan, indexed by section kind (index 0 unused).
  std::int64_t FOffset[7] = {};
  std::int64_t FDirectorySize[7] = {};
  std::int64_t FDataSize[7] = {};
  TExifTag* FPointerTag[7] = {};
  std::vector<const TExifTag*> FTags[7];
  // Ranges the directories must leave alone: the fixed MakerNote and what it references outside
  // its own bytes (FOutside, copied from the loaded block).
  std::vector<TByteRange> FReserved;
  std::vector<TByteRange> FOutside;
  std::vector<std::uint32_t> FStripSizes;  // an uncompressed thumbnail's strips, in FThumbnail
  std::unique_ptr<TExifTag> FStripOffsets;   // and where the new block has them
  TExifTag* FMakerNoteTag = nullptr;  // set only when the MakerNote is fixed
  bool FMakerNoteFixed = false;
  std::int64_t FMakerNoteOffset = 0;
  std::int64_t FMakerNoteRoom = 0;
  std::int64_t FBlockSize = 0;  // from the TIFF header to the last byte written
  TMemoryStream FThumbnail;  // the JPEG thumbnail or the strips written in the thumbnail's place
};

// Copies count bytes from the source's position; straight from memory when the source is in memory.
void CopyBytes(TStream& source, TStream& destination, std::int64_t count) {
  if (count <= 0) return;
  if (const auto* memory = dynamic_cast<const Zorp::Base::TCustomMemoryStream*>(&source)) {
    const std::int64_t position = source.Position();
    if (count > memory->Size() - position) throw Zorp::Base::EReadError(SReadError);
    destination.WriteBuffer(memory->Memory() + position, count);
    source.Seek(count, Zorp::Base::soCurrent);
    return;
  }
  destination.CopyFrom(source, count);
}

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
// directory must have are added unless present. The resolution comes from the JFIF header when it
// gives dots per inch or per centimetre, else it is 72 dots per inch; the chroma samples are centred.
void AddRequiredMainTags(TExifSection& primary, const std::vector<std::shared_ptr<IFoundJPEGSegment>>& app0Segments) {
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
  if (!primary.Find(ttXResolution)) primary.SetFractionValue(ttXResolution, 0, {x, 1});
  if (!primary.Find(ttYResolution)) primary.SetFractionValue(ttYResolution, 0, {y, 1});
  if (!primary.Find(ttResolutionUnit)) primary.SetWordValue(ttResolutionUnit, 0, unit);
  if (!primary.Find(ttYCbCrPositioning)) primary.SetWordValue(ttYCbCrPositioning, 0, 1);
}

[[noreturn]] void RaiseNotValid(const std::string& reason) {
  throw EZorpExifException(Format(SSavedJPEGNotValid, reason.c_str()));
}

}  // namespace
}  // namespace Detail

void TExifData::SaveToStream(TStream& stream) {
  BeginUpdate();
  try {
    Detail::TExifWriter(*this, FMovedMakerNote).Save(stream);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TExifData::SaveToJPEG(TStream& inStream, TStream& outStream) {
  if (!HasJPEGStartMarker(inStream)) throw EInvalidJPEGHeader(SInvalidJPEGHeader);
  if (UnreadableExif() && !RepairOnSave()) throw EZorpExifException(SUnreadableExifData);
  const std::int64_t startPosition = inStream.Position();

  // The image's pixel size from its first start-of-frame segment.
  const TExifSection& exif = PeekSection(skExif);
  if (exif.Find(ttExifImageWidth) || exif.Find(ttExifImageHeight)) {
    bool found = false;
    std::uint16_t width = 0, height = 0;
    try {
      for (const auto& segment : ScanJPEGSegments(inStream, TJPEGMarkerSet{0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7}))
        if (segment->Data().Size() > 5) {
          width = SOFImageWidth(segment->Data());
          height = SOFImageHeight(segment->Data());
          found = true;
          break;
        }
    } catch (...) {
      inStream.SetPosition(startPosition);
      throw;
    }
    inStream.SetPosition(startPosition);
    // Setting an unchanged size would only touch the XMP packet (which then could no longer be
    // copied unchanged), so the values are set when they differ.
    const TOptionalLongWord currentWidth = ExifImageWidth(), currentHeight = ExifImageHeight();
    if (found && (currentWidth.Missing || currentWidth.Value != width || currentHeight.Missing ||
                  currentHeight.Value != height)) {
      SetExifImageWidth(TOptionalLongWord{width, false});
      SetExifImageHeight(TOptionalLongWord{height, false});
    }
  }

  // The segments that the new ones replace: every APP0 (written first), the first Exif and the
  // first XMP APP1 segment. Other APP1 segments stay where they are.
  std::vector<std::shared_ptr<IFoundJPEGSegment>> app0Segments, leftOut;
  std::shared_ptr<IFoundJPEGSegment> inputXMP;
  bool exifFound = false;
  for (const auto& segment : ScanJPEGSegments(inStream, TJPEGMarkerSet{jmApp0, jmApp1})) {
    TMemoryStream& data = segment->Data();
    if (segment->Marker() == jmApp0) {
      Detail::CheckSegmentSize("APP0", data.Size());
      app0Segments.push_back(segment);
      leftOut.push_back(segment);
    } else if (!exifFound && (RepairOnSave() ? HasExifSignature(data) : HasExifHeader(data))) {
      exifFound = true;
      leftOut.push_back(segment);
    } else if (!inputXMP && HasXMPSignature(data)) {
      inputXMP = segment;
      leftOut.push_back(segment);
    }
  }

  // Both new segments are made and measured before anything is written.
  std::unique_ptr<TUserJPEGSegment> exifSegment;
  if (!IsEmpty()) {
    if (!LoadedPrimaryDirectory()) Detail::AddRequiredMainTags(Sections(skPrimary), app0Segments);
    exifSegment = std::make_unique<TUserJPEGSegment>(jmApp1, this);
    Detail::CheckSegmentSize("Exif", exifSegment->Data().Size());
  }
  std::shared_ptr<IJPEGSegment> xmpSegment = PendingXMPSegment();
  if (!xmpSegment && inputXMP && !Detail::IsReadableXMP(inputXMP->Data())) {
    // A packet that this library cannot read (and so could not have taken the edits into) is kept
    // as it is rather than replaced by what little the container holds.
    xmpSegment = inputXMP;
  } else if (!xmpSegment && !XMPPacket().Empty()) {
    XMPPacket().SetWriteSegmentHeader(true);
    xmpSegment = std::make_shared<TUserJPEGSegment>(jmApp1, &XMPPacket());
  }
  if (xmpSegment) Detail::CheckSegmentSize("XMP", xmpSegment->Data().Size());

  static constexpr std::uint8_t StartOfImage[2] = {0xFF, jmStartOfImage};
  outStream.WriteBuffer(StartOfImage, 2);
  for (const auto& segment : app0Segments) WriteJPEGSegment(outStream, *segment);
  if (exifSegment) WriteJPEGSegment(outStream, *exifSegment);
  if (xmpSegment) WriteJPEGSegment(outStream, jmApp1, xmpSegment->Data());

  inStream.SetPosition(startPosition + 2);
  for (const auto& segment : leftOut) {
    Detail::CopyBytes(inStream, outStream, segment->Offset() - inStream.Position());
    inStream.SetPosition(segment->Offset() + segment->TotalSize());
  }
  Detail::CopyBytes(inStream, outStream, inStream.Size() - inStream.Position());
  outStream.SetSize(outStream.Position());
}

void TExifData::SaveToJPEG(const std::string& fileName, bool bufferInMemory) {
  TMemoryStream input;
  input.LoadFromFile(fileName);
  if (bufferInMemory) {
    TMemoryStream output;
    // Room for the whole output at once (two new segments at most), so that it is never copied
    // while it grows.
    output.SetSize(input.Size() + 2 * (MaxJPEGSegmentDataSize + 4) + 2);
    output.SetPosition(0);
    SaveToJPEG(input, output);
    VerifySavedJPEG(output);
    Zorp::Base::SafeWriteFile(fileName, output.Memory(), output.Size());
  } else {
    Zorp::Base::TSafeFileReplacement replacement(fileName);
    SaveToJPEG(input, replacement.Stream());
    VerifySavedJPEG(replacement.Stream());
    replacement.Commit();
  }
}

void TExifData::VerifySavedJPEG(TStream& stream) {
  using Detail::RaiseNotValid;
  stream.SetPosition(0);
  TExifData saved;
  saved.SetEnsureEnumsInRange(EnsureEnumsInRange());
  try {
    saved.LoadFromJPEG(stream);
  } catch (const std::exception& error) {
    RaiseNotValid(std::string("it does not load: ") + error.what());
  }
  if (!IsEmpty() && !saved.SourceMetadata().Contains(mkExif)) RaiseNotValid("no Exif segment");

  for (int k = skPrimary; k <= skThumbnail; ++k) {
    const auto kind = static_cast<TExifSectionKind>(k);
    // Thumbnail tags without a thumbnail are not written.
    if (kind == skThumbnail && !HasThumbnail()) continue;
    const TExifSection& mine = PeekSection(kind);
    const TExifSection& theirs = saved.PeekSection(kind);
    if (mine.LoadErrors().Empty() && !theirs.LoadErrors().Empty())
      RaiseNotValid(std::string("the ") + Detail::SectionName(kind) + " reports load errors");
    std::vector<const TExifTag*> theirTags;
    for (const TExifTag* tag : theirs) theirTags.push_back(tag);
    if (Detail::TagValues(Detail::WrittenTags(mine)) != Detail::TagValues(theirTags))
      RaiseNotValid(std::string("the ") + Detail::SectionName(kind) + " reads back different tags");
  }
  if (HasThumbnail() && !saved.HasThumbnail()) RaiseNotValid("the thumbnail is missing");
  // (A pending XMP segment is not parsed for this question.)
  const bool xmpWritten = PendingXMPSegment() != nullptr || !XMPPacket().Empty();
  if (xmpWritten && !saved.SourceMetadata().Contains(mkXMP)) RaiseNotValid("the XMP packet is missing");

  // A MakerNote that reads cleanly here must read cleanly from the file. When the MakerNote's class
  // changed (an edited camera make), its contents are read differently and are not compared.
  if (&MakerNoteType() != &TUnrecognizedMakerNote && &saved.MakerNoteType() == &MakerNoteType()) {
    const TExifSection* mine = nullptr;
    try {
      mine = &Sections(skMakerNote);
    } catch (const EInvalidMakerNoteFormat&) {
    }
    if (mine && mine->Count() > 0 && mine->LoadErrors().Empty()) {
      const TExifSection* theirs = nullptr;
      try {
        theirs = &saved.Sections(skMakerNote);
      } catch (const EInvalidMakerNoteFormat&) {
        RaiseNotValid("the MakerNote does not load");
      }
      if (!theirs->LoadErrors().Empty() || theirs->Count() != mine->Count())
        RaiseNotValid("the MakerNote reads back differently");
    }
  }
}

}  // namespace Zorp::Exif
