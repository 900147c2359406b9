#pragma once
// The TIFF reader: the header of an Exif block, the chain of image file directories (IFDs) and the
// parse of one IFD into entry records, with every problem recorded as a load error, never raised.

#include <cstdint>
#include <span>
#include <vector>

#include "zorp/base/Set.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/StreamHelper.h"

namespace Zorp::Exif {

enum TExifSectionLoadError : std::uint8_t { leBadOffset = 0, leBadTagCount = 1, leBadTagHeader = 2 };
using TExifSectionLoadErrors = Zorp::Base::TSet<TExifSectionLoadError, 8>;

// One 12-byte entry as read. Offsets are relative to the TIFF header.
struct TIfdEntryInfo {
  std::int64_t EntryOffset = 0;   // where the entry itself lies
  std::int64_t DataOffset = 0;    // where its value lies (the entry's value field when inline)
  std::uint16_t ID = 0;
  std::uint16_t DataType = 0;     // as read; may be outside 1..13
  std::int32_t ElementCount = 0;  // as read; -1 marks an unusable data offset
  // > 0: the value's size, when it starts at or behind the end of the data (a MakerNote's preview
  // stored after the image): unusable, but no bad header. Only where the reader allows it.
  std::int64_t SizeBehindData = 0;
};

struct TIfdInfo {
  std::int64_t Offset = -1;            // where it was looked for, relative to the TIFF header
  std::vector<TIfdEntryInfo> Entries;  // in file order
  TExifSectionLoadErrors LoadErrors;
};

class TTiffReader {
 public:
  // Reads the TIFF header at the stream's position ("II"/"MM", then 42) and walks the IFD chain from
  // IFD0. A bad mark or magic number raises EInvalidTiffData "Malformed TIFF data"; a block shorter
  // than the header raises EReadError. The walk ends on a link of 0 or outside the data, a link to an
  // IFD already read, an IFD that is not in the data (kept with leBadOffset), or after 32 IFDs.
  explicit TTiffReader(Zorp::Base::TStream& stream);
  // A reader over stream with a known header position and byte order, walking no chain (MakerNotes).
  TTiffReader(Zorp::Base::TStream& stream, std::int64_t baseOffset, TByteOrder byteOrder);

  Zorp::Base::TStream& Stream() const { return FStream; }
  std::int64_t BaseOffset() const { return FBaseOffset; }
  TByteOrder ByteOrder() const { return FByteOrder; }
  // The IFD chain from IFD0, in order.
  const std::vector<TIfdInfo>& Ifds() const { return FIfds; }

  // Parses the IFD at offset (relative to the header); adjustment is added to every referenced
  // value's offset (0 for the main block). Leaves the stream just behind the last entry parsed.
  TIfdInfo ParseIfd(std::int64_t offset, std::int64_t dataOffsetAdjustment = 0);

  // Reads a well-formed entry's value into buffer (ElementCount x element size bytes), converted
  // to host order element by element. Returns false (buffer zeroed) when the bytes are not there or
  // bufferSize is too small. The stream's position is left as it was.
  bool ReadValue(const TIfdEntryInfo& entry, std::uint8_t* buffer, std::size_t bufferSize);
  // Counts size bytes of tag values against what one reader hands out in all (four times its stream
  // plus a little), so that entries that each claim the whole block cannot multiply its cost; false,
  // and nothing counted, once that is spent.
  bool TakeValueBytes(std::int64_t size);
  // Values that start at or behind the end of the stream are references to the rest of the file,
  // not bad headers (MakerNotes store previews after the image so).
  void AllowValuesBehindData() { FValuesMayLieBehind = true; }

 private:
  // The stream's bytes in place when it is a memory stream, else empty: directories and values are
  // then decoded where they lie instead of being read through the stream piece by piece.
  std::span<const std::uint8_t> Memory() const;

  Zorp::Base::TStream& FStream;
  const Zorp::Base::TCustomMemoryStream* FMemoryStream = nullptr;
  std::int64_t FBaseOffset = 0;
  TByteOrder FByteOrder = boLittleEndian;
  std::vector<TIfdInfo> FIfds;
  std::int64_t FValueBytesLeft = 0;
  bool FValuesMayLieBehind = false;
};

}  // namespace Zorp::Exif
