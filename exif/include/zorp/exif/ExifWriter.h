#pragma once
// The writer's plan of one Exif block, and the record of a MakerNote that a save moved. Saving is
// TExifData::SaveToStream and SaveToJPEG (ExifData.h); this is how the block is laid out.

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "zorp/base/JPEGImage.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifSections.h"
#include "zorp/exif/ExifTags.h"
#include "zorp/exif/StreamHelper.h"

namespace Zorp::Exif {

class TExifData;

// Where a save put a MakerNote that its offset schema sent back to its original place: the schema
// then reads 0 while the tag still records its loaded offset, so later saves of the container must
// use the place remembered here.
struct TMovedMakerNote {
  const TExifTag* Tag = nullptr;
  std::int64_t SourceDataOffset = 0;
  std::int64_t Offset = 0;
};

namespace Detail {

// Bytes [Start, End) of the Exif block, counted from its TIFF header.
struct TByteRange {
  std::int64_t Start = 0;
  std::int64_t End = 0;
  bool operator==(const TByteRange&) const = default;
};

// A MakerNote entry's value behind the Exif segment: where its 32-bit offset is written (from the
// TIFF header) and how many bytes it addresses.
struct TTrailerReference {
  std::int64_t FieldAt = 0;
  std::int64_t Size = 0;
  TByteOrder Order = boLittleEndian;
};

// Lays out and writes one Exif block without changing the container: every value the save adjusts
// (pointer tags, thumbnail tags, the offset schema, the thumbnail itself) is planned as a standalone
// tag or image that the block carries instead of the container's. Once the caller's whole save has
// succeeded, Apply gives the container those values. One object per save.
class TExifWriter {
 public:
  TExifWriter(TExifData& data, const TMovedMakerNote& movedMakerNote);

  // A tag the block carries in place of the section's tag with its ID (or in addition); the caller
  // gives the container the same value after success. Only before Plan.
  void AddCallerTag(TExifSectionKind kind, std::unique_ptr<TExifTag> tag);

  void Plan();

  // The MakerNote's references behind the Exif segment, known after Plan.
  const std::vector<TTrailerReference>& TrailerReferences() const { return FTrailer; }
  // Ends the block with padding zero bytes, and writes offsets (block offset, value) anew in the
  // written MakerNote, so that its references behind the segment stay right.
  void FitTrailer(std::int64_t padding, std::vector<std::pair<std::int64_t, std::uint32_t>> patches);
  // The size of the segment data Write produces.
  std::int64_t SegmentDataSize() const;
  // Why a saved block (from its TIFF header) does not hold what this plan keeps byte for byte: the
  // MakerNote and every kept range; empty when it does.
  std::string CheckKept(std::span<const std::uint8_t> saved) const;

  // The tags written for a directory, in order.
  const std::vector<const TExifTag*>& Tags(TExifSectionKind kind) const;

  // The block is assembled in memory, so that every byte that nothing covers is zero, then written
  // to the stream in one piece.
  void Write(Zorp::Base::TStream& stream) const;

  // The container takes what was written: padding tags go, pointer and thumbnail tags take their new
  // values, a thumbnail that was scaled down replaces the loaded one, and an applied offset schema
  // reads 0 with the MakerNote's new place remembered. The caller's own tags are the caller's.
  void Apply(TMovedMakerNote& movedMakerNote);

 private:
  struct TPlannedTag {
    TExifSectionKind Kind;
    std::unique_ptr<TExifTag> Tag;
  };

  TExifSection& Section(TExifSectionKind kind);
  const TExifSection& PeekSection(TExifSectionKind kind) const;

  // The tags a directory writes; with RemovePaddingTagsOnSave without the section's first padding tag.
  void CollectTags(TExifSectionKind kind);

  // The block carries tag in place of the directory's tag with its ID, or in addition in ID order.
  void Substitute(TExifSectionKind kind, const TExifTag* tag);

  // A value the save adjusts: written now, given to the container by Apply.
  TExifTag& Adjust(TExifSectionKind kind, std::unique_ptr<TExifTag> tag);

  // Plans the pointer tags of the sub-directories in section kind (a placeholder until AssignOffsets,
  // dropped for a sub-directory not written), then measures the directory and its data area (a
  // directory size of 0: not written).
  void Prepare(TExifSectionKind kind, std::initializer_list<TExifSectionKind> subDirectories);

  // The sizes of the directory that FTags holds for kind and of its data area (0: not written).
  void Measure(TExifSectionKind kind);

  // A MakerNote loaded from a file goes back to where it was (or to where its offset schema says it
  // came from), so that the offsets inside it stay right.
  void DecideMakerNote();

  // The thumbnail that is written: the container's, or its scaled-down copy.
  const Zorp::Base::TJPEGImage& ThumbnailImage();

  // The thumbnail directory: a JPEG thumbnail and uncompressed strips are carried; without either,
  // the directory keeps every tag but the image's own pointers and lengths.
  void PrepareThumbnail();

  // The JPEG thumbnail, scaled down and re-encoded when it is too large.
  void PrepareJPEGThumbnail();

  // An uncompressed thumbnail (Compression 1 with strips) is carried as it is: its strips are copied
  // from the loaded block, one after the other, behind a JPEG thumbnail if there is one, and the
  // directory writes new StripOffsets (LONGs) once the layout is known. False when there are no
  // strips that lie in the block. The container's StripOffsets keep the loaded offsets.
  bool PrepareStrips();

  // The thumbnail's JPEG up to and including its end-of-image marker.
  void EncodeThumbnail();

  // Keeps in place what tags other than the sub-directory pointers reference: private directories
  // (IFD-typed entries and the known private pointers) and images of directories other than the
  // thumbnail's.
  void KeepPrivateData();
  // Keeps the bytes of the loaded block that an image's offsets and lengths address; false when an
  // offset does not lie in the block (or there is none).
  bool KeepImage(TExifSectionKind kind, TExifTagID offsets, TExifTagID lengths);

  // Each directory with its data follows the one before, moved behind any reserved range (the fixed
  // MakerNote and the bytes it references) that it would overlap.
  void AssignOffsets();

  // Whether [start, end) lies in one kept range.
  bool Kept(std::int64_t start, std::int64_t end) const;

  // Where the thumbnail's JPEG lies: where it was, or where the images follow the thumbnail
  // directory's other values (ImageDataOffset).
  std::int64_t ThumbnailOffset() const;
  std::int64_t ImageDataOffset() const;

  void WriteSection(Zorp::Base::TMemoryStream& block, TExifSectionKind kind, TByteOrder order) const;

  TExifData& FData;
  const TMovedMakerNote& FMovedMakerNote;
  // The save plan, indexed by section kind (index 0 unused).
  std::int64_t FOffset[7] = {};
  std::int64_t FDirectorySize[7] = {};
  std::int64_t FDataSize[7] = {};
  TExifTag* FPointerTag[7] = {};
  std::vector<const TExifTag*> FTags[7];
  // Standalone tags the block carries: the caller's, the adjusted ones Apply hands to the container,
  // and those the container gets otherwise (schema, thumbnail size) or never (strip offsets).
  std::vector<TPlannedTag> FCallerTags;
  std::vector<TPlannedTag> FAdjustedTags;
  std::vector<std::unique_ptr<TExifTag>> FOwnedTags;
  std::vector<std::pair<TExifSectionKind, TExifTagID>> FDroppedPointers;
  // Ranges the directories must leave alone: the fixed MakerNote and the ranges of the loaded block
  // kept byte for byte at their offsets (FKept: what the MakerNote references outside its own bytes,
  // private directories, images that are not the thumbnail's).
  std::vector<TByteRange> FReserved;
  std::vector<TByteRange> FKept;
  // MakerNote entries that address data behind the Exif segment, the zero bytes that end the block
  // so that the data keeps its distance from the TIFF header, and offsets written anew instead.
  std::vector<TTrailerReference> FTrailer;
  std::int64_t FPadding = 0;
  std::vector<std::pair<std::int64_t, std::uint32_t>> FFieldPatches;
  std::vector<std::uint32_t> FStripSizes;   // an uncompressed thumbnail's strips, in FThumbnail
  std::int64_t FStripStart = 0;             // from FStripStart on
  std::int64_t FThumbnailAt = -1;           // a JPEG thumbnail left where it was in kept bytes
  TExifTag* FStripOffsets = nullptr;        // and where the new block has them
  const TExifTag* FMakerNoteTag = nullptr;  // set only when the MakerNote is fixed
  bool FMakerNoteFixed = false;
  bool FSchemaApplied = false;
  std::int64_t FMakerNoteOffset = 0;
  std::int64_t FMakerNoteRoom = 0;
  std::int64_t FBlockSize = 0;  // from the TIFF header to the last byte written
  std::unique_ptr<Zorp::Base::TJPEGImage> FShrunkThumbnail;
  Zorp::Base::TMemoryStream FThumbnail;  // the JPEG thumbnail or the strips written in the thumbnail's place
};

// The rewrite of a whole JPEG around the planned block (ExifWriter.cpp).
class TJPEGRewrite;

}  // namespace Detail
}  // namespace Zorp::Exif
