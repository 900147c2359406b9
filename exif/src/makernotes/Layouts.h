#pragma once
// Where each maker's private directory lies inside its MakerNote, as data: the header in front of
// it, what its value offsets count from, its byte order, and the entries that point at further
// directories or at preview images. The writer uses it to keep everything a MakerNote references;
// a MakerNote without a layout here is kept whole, as bytes it does not understand.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "zorp/exif/MakerNotes.h"

namespace Zorp::Exif::Detail {

enum class TLayoutByteOrder : std::uint8_t {
  Detect,  // the block's order, or the other one when only that reads as a directory
  Little,
  Big,
  Marked  // "II" or "MM" at OrderMarkAt
};

// Two entries of a maker's directory: where an image starts (an offset, counted like the
// directory's other offsets) and how many bytes it has.
struct TImagePointer {
  TExifTagID Start;
  TExifTagID Length;
};

struct TMakerNoteLayout {
  const char* Name;
  std::string_view Signature;  // the MakerNote starts with these bytes; empty: recognised by Make
  std::string_view Make;       // without a signature: the camera make starts with this
  std::int32_t DirectoryAt;    // where the directory starts, counted from the MakerNote's start
  // >= 0: the directory starts where the little-endian 32-bit number at this place says instead.
  std::int32_t DirectoryPointerAt;
  TMakerNoteOffsetBase Base;
  std::int32_t EmbeddedHeaderAt;  // obEmbeddedHeader: where that TIFF header starts
  TLayoutByteOrder Order;
  std::int32_t OrderMarkAt;
  std::span<const TExifTagID> SubDirectories;  // entries (LONG or IFD) pointing at directories
  std::span<const TImagePointer> Images;       // in the directory or its sub-directories
  // The maker writes the MakerNote's offset from the TIFF header into an 8-byte footer at its end
  // (a byte-order mark, then the offset), and keeps all values behind the directory: a MakerNote
  // that other software moved, keeping its values' offsets, can be read with its base shifted.
  bool MayBeMoved;
};

// A value a directory holds outside its entries: its offset as written and its size.
struct TValueReference {
  std::int64_t Offset;
  std::int64_t Size;
};

// The values held outside the entries of the directory at `at` in note, read in order, and where
// its entries end; false when it has no entry or its entries do not fit in note.
bool DirectoryValues(std::span<const std::uint8_t> note, std::int64_t at, TByteOrder order, std::int64_t& entriesEnd,
                     std::vector<TValueReference>& values);

// The layout of a MakerNote (its bytes, and the camera make for layouts without a signature), or
// null when none is known for certain.
const TMakerNoteLayout* FindMakerNoteLayout(std::span<const std::uint8_t> note, std::string_view make);

// How far the value offsets of a MakerNote that other software moved are off (the MakerNote's
// offset minus the one its values were counted for; a value lies at its offset plus the shift):
// - the footer's offset, when it differs from noteOffset and every value of the directory then
//   lies inside the MakerNote;
// - else, when a value lies outside the MakerNote as it is, the one shift that puts every value
//   between the directory and the MakerNote's end (its footer excluded);
// - else 0: not moved, or not to be told for certain. Always 0 for a layout that is not MayBeMoved
// or whose offsets do not count from the main TIFF header. note holds the MakerNote's bytes, order
// is the directory's byte order.
std::int64_t MovedBaseShift(const TMakerNoteLayout& layout, std::span<const std::uint8_t> note,
                            std::int64_t noteOffset, TByteOrder order);

// MovedBaseShift for the context's MakerNote tag where it was loaded from, with the layout its
// bytes and camera make have: what the reader adds to its value offsets and the writer to the
// offsets of what it keeps. 0 under an offset schema, which tells the move itself.
std::int64_t MakerNoteBaseShift(const TMakerNoteContext& context, TByteOrder order);

// Every layout, for tests.
std::span<const TMakerNoteLayout> MakerNoteLayouts();

}  // namespace Zorp::Exif::Detail
