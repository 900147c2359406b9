#pragma once
// What a save must keep of the loaded Exif block besides the tags it writes: the bytes a MakerNote
// references outside its own (many cameras declare a MakerNote shorter than the data its entries
// use), a MakerNote's preview images, and the private directories that other tags point at. A save
// keeps them byte for byte at the same offsets, and lays its own directories around them.

#include <cstdint>
#include <span>
#include <vector>

#include "zorp/exif/ExifWriter.h"

namespace Zorp::Exif {
class TCustomExifData;
}

namespace Zorp::Exif::Detail {

struct TMakerNoteLayout;

struct TMakerNoteReferences {
  // Ranges of the loaded block outside the MakerNote's own bytes, sorted and merged.
  std::vector<TByteRange> Ranges;
  // Values behind the Exif segment, in the rest of the file (a preview stored after the image).
  std::vector<TTrailerReference> Trailer;
  // No layout is known for certain: everything from the MakerNote to the block's end is kept.
  bool Opaque = false;
  const TMakerNoteLayout* Layout = nullptr;
};

// What the loaded MakerNote references (data.SourceBlock()). Empty when there is no MakerNote, it
// was not loaded from the block, or it has changed since.
TMakerNoteReferences MakerNoteReferences(TCustomExifData& data);

// Adds the ranges of the loaded block that a private directory at offset (counted from the TIFF
// header, in the block's byte order) occupies with everything it references: its values, the
// directories it points at and those its chain links to. Nothing when no directory reads there.
void AddPrivateDirectoryRanges(std::span<const std::uint8_t> block, TByteOrder order, std::int64_t offset,
                               std::vector<TByteRange>& ranges);

// Sorts ranges and merges those that overlap or touch.
void MergeRanges(std::vector<TByteRange>& ranges);

}  // namespace Zorp::Exif::Detail
