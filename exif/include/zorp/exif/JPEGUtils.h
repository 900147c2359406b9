#pragma once
// Access to the marker segments of a JPEG stream without decoding the image: a scanner that reports
// the requested segments (with their stream offsets and a private copy of their data), skips the
// others and can find the end-of-image marker behind the scan data; the length of a JPEG image in a
// stream; and writing segments with the same framing.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <span>
#include <string>

#include "zorp/base/Exceptions.h"
#include "zorp/base/Set.h"
#include "zorp/base/Streams.h"

namespace Zorp::Exif {

// Raised when a stream does not start with the start-of-image marker ("JPEG header is not valid").
class EInvalidJPEGHeader : public Zorp::Base::EInvalidGraphic {
 public:
  using EInvalidGraphic::EInvalidGraphic;
  const char* ClassName() const noexcept override { return "EInvalidJPEGHeader"; }
};

// Raised, before anything is written, when segment data would not fit the 16-bit length field.
class EJPEGSegmentTooLarge : public Zorp::Base::EWriteError {
 public:
  using EWriteError::EWriteError;
  const char* ClassName() const noexcept override { return "EJPEGSegmentTooLarge"; }
};

// Marker codes the library refers to by name.
inline constexpr std::uint8_t jmStartOfImage = 0xD8;
inline constexpr std::uint8_t jmEndOfImage = 0xD9;
inline constexpr std::uint8_t jmStartOfScan = 0xDA;
inline constexpr std::uint8_t jmApp0 = 0xE0;
inline constexpr std::uint8_t jmApp1 = 0xE1;
inline constexpr std::uint8_t jmApp13 = 0xED;

// The most data a segment with a length field can carry (the field counts itself).
inline constexpr std::int64_t MaxJPEGSegmentDataSize = 65533;

// A set of marker codes, telling the scanner which segments to report.
using TJPEGMarkerSet = Zorp::Base::TSet<std::uint8_t, 256>;

enum TSegmentStreamOwnership : std::uint8_t { ssBorrowed = 0, ssOwned = 1 };

using Zorp::Base::TMemoryStream;

// One resource block of an Adobe Photoshop APP13 segment, as the segment's enumerator reports it.
// (The IPTC data of a photo, IPTC.h, reads the blocks of all its Photoshop segments joined.)
class IAdobeBlock {
 public:
  virtual ~IAdobeBlock() = default;
  virtual std::string Signature() const = 0;
  virtual std::uint16_t TypeID() const = 0;
  virtual std::string Name() const = 0;
  virtual TMemoryStream& Data() = 0;
};

// Walks the resource blocks of an APP13 segment's data from startPosition. It ends at the end of
// the data or at the first block that is not whole there (a block continued in the next segment).
// Source is not owned and must outlive the enumerator.
class TAdobeApp13Enumerator {
 public:
  TAdobeApp13Enumerator(TMemoryStream* source, std::int64_t startPosition)
      : FSource(source), FNextPosition(startPosition) {}
  std::shared_ptr<IAdobeBlock> Current() const { return FCurrent; }
  bool MoveNext();
  TMemoryStream* Source() const { return FSource; }
  std::int64_t NextPosition() const { return FNextPosition; }

 private:
  TMemoryStream* FSource;
  std::int64_t FNextPosition;
  std::shared_ptr<IAdobeBlock> FCurrent;
};

// A JPEG marker segment: its marker code and its data (without the marker and length bytes).
class IJPEGSegment {
 public:
  virtual ~IJPEGSegment() = default;
  // The segment's own copy of its data; its position is 0 when the segment is handed out.
  virtual TMemoryStream& Data() = 0;
  virtual std::unique_ptr<TAdobeApp13Enumerator> GetEnumerator() = 0;
  virtual std::uint8_t Marker() const = 0;
  // True for an APP13 segment of at least 20 data bytes that starts with an Adobe Photoshop signature.
  virtual bool IsAdobeApp13() = 0;
};

// A segment found in a stream, with where it lay.
class IFoundJPEGSegment : public virtual IJPEGSegment {
 public:
  // Position of the 0xFF byte just before the marker code (the last fill byte, if any).
  virtual std::int64_t Offset() const = 0;
  // Position of the first data byte: always Offset() + 4.
  virtual std::int64_t DataOffset() const = 0;
  // Bytes the segment occupies in the stream: data + 4, or 2 for a marker without a length field.
  virtual std::int32_t TotalSize() const = 0;
  // Position of the first of the 0xFF bytes that lead up to the marker code: Offset() less the fill
  // bytes before it. A segment that is left out takes its fill bytes with it.
  virtual std::int64_t FillOffset() const { return Offset(); }
};

// Enumerates the requested segments of a JPEG stream. Usable in a range-for, either over the
// object (`for (auto segment : *scanner)`) or directly over the pointer ScanJPEGSegments returns
// (`for (auto segment : ScanJPEGSegments(stream, {jmApp1}))`); begin() starts by calling MoveNext.
class IJPEGSegmentEnumerator {
 public:
  class TIterator {
   public:
    using value_type = std::shared_ptr<IFoundJPEGSegment>;
    using difference_type = std::ptrdiff_t;
    TIterator() = default;
    explicit TIterator(IJPEGSegmentEnumerator* enumerator) : FEnumerator(enumerator) { Advance(); }
    value_type operator*() const { return FEnumerator->Current(); }
    TIterator& operator++() {
      Advance();
      return *this;
    }
    void operator++(int) { Advance(); }
    bool operator==(std::default_sentinel_t) const { return FEnumerator == nullptr; }

   private:
    void Advance() {
      if (FEnumerator && !FEnumerator->MoveNext()) FEnumerator = nullptr;
    }
    IJPEGSegmentEnumerator* FEnumerator = nullptr;
  };

  virtual ~IJPEGSegmentEnumerator() = default;
  // The segment last reported by MoveNext, or nullptr.
  virtual std::shared_ptr<IFoundJPEGSegment> Current() const = 0;
  // The enumerator itself.
  virtual std::shared_ptr<IJPEGSegmentEnumerator> GetEnumerator() = 0;
  virtual bool MoveNext() = 0;

  TIterator begin() { return TIterator(this); }
  std::default_sentinel_t end() { return {}; }
};

// Range-for directly over the shared pointer (keeps the enumerator alive for the whole loop).
inline IJPEGSegmentEnumerator::TIterator begin(const std::shared_ptr<IJPEGSegmentEnumerator>& enumerator) {
  return enumerator->begin();
}
inline std::default_sentinel_t end(const std::shared_ptr<IJPEGSegmentEnumerator>&) { return {}; }

// A segment built in memory, for writing.
class TUserJPEGSegment : public virtual IJPEGSegment {
 public:
  // With a source, the data is what source saves to a stream, positioned at 0.
  explicit TUserJPEGSegment(std::uint8_t marker = 0, Zorp::Base::IStreamPersist* source = nullptr);

  TMemoryStream& Data() override { return FData; }
  std::unique_ptr<TAdobeApp13Enumerator> GetEnumerator() override;
  std::uint8_t Marker() const override { return FMarker; }
  void SetMarker(std::uint8_t marker) { FMarker = marker; }
  bool IsAdobeApp13() override;
  // Length of the Adobe signature found by the last IsAdobeApp13 (0, 14 or 19).
  std::int32_t AdobeHeaderSize() const { return FAdobeHeaderSize; }

 protected:
  TMemoryStream FData;
  std::uint8_t FMarker;
  std::int32_t FAdobeHeaderSize = 0;
};

// A segment read from a stream by the scanner.
class TFoundJPEGSegment : public TUserJPEGSegment, public IFoundJPEGSegment {
 public:
  // The stream stands just behind the marker code, and for markers with a length field just behind
  // that field. Reads dataSize bytes of data (none for markers without a length field); data that
  // runs past the end of the stream raises EReadError before anything is allocated.
  // fillOffset: where the run of 0xFF bytes before the marker code starts (-1: no fill bytes).
  TFoundJPEGSegment(std::uint8_t marker, std::int32_t dataSize, Zorp::Base::TStream& stream,
                    std::int64_t fillOffset = -1);

  std::int64_t Offset() const override { return FOffset; }
  std::int64_t DataOffset() const override { return FOffset + 4; }
  std::int32_t TotalSize() const override;
  std::int64_t FillOffset() const override { return FFillOffset; }

 private:
  std::int64_t FOffset = 0;
  std::int64_t FFillOffset = 0;
};

// The scanner. Create it with std::make_shared (GetEnumerator hands out the object itself).
// The constructor reads the start-of-image marker at the stream's current position: anything else
// raises EInvalidJPEGHeader, fewer than two bytes EReadError.
class TJPEGHeaderParser : public IJPEGSegmentEnumerator,
                          public std::enable_shared_from_this<TJPEGHeaderParser> {
 public:
  // Scans a stream the caller keeps and frees.
  TJPEGHeaderParser(Zorp::Base::TStream& stream, const TJPEGMarkerSet& markersToFind);
  // Scans a stream the scanner owns: it is freed when an enumeration ends other than by reporting
  // the end-of-image marker, or else with the scanner.
  TJPEGHeaderParser(std::unique_ptr<Zorp::Base::TStream> stream, const TJPEGMarkerSet& markersToFind);

  std::shared_ptr<IFoundJPEGSegment> Current() const override { return FCurrent; }
  std::shared_ptr<IJPEGSegmentEnumerator> GetEnumerator() override { return shared_from_this(); }
  bool MoveNext() override;

  std::uint8_t LastMarker() const { return FLastMarker; }
  const TJPEGMarkerSet& MarkersToFind() const { return FMarkersToFind; }
  std::int64_t NextPosition() const { return FNextPosition; }
  std::int64_t StartPosition() const { return FStartPosition; }
  // The stream scanned; nullptr once an owned stream has been freed.
  Zorp::Base::TStream* Stream() const { return FStream; }
  TSegmentStreamOwnership StreamOwnership() const { return FStreamOwnership; }

 private:
  void ReadStartMarker();
  // Looks for 0xFF 0xD9 in the scan data from the current position; true when reported.
  bool FindEndOfImage();
  // Returns false after freeing an owned stream: the enumeration is over.
  bool Finish();

  std::shared_ptr<IFoundJPEGSegment> FCurrent;
  std::uint8_t FLastMarker = 0;
  bool FScanStarted = false;  // an SOS segment has been passed
  TJPEGMarkerSet FMarkersToFind;
  std::int64_t FNextPosition = 0;
  std::int64_t FStartPosition = 0;
  std::unique_ptr<Zorp::Base::TStream> FOwnedStream;
  Zorp::Base::TStream* FStream;
  TSegmentStreamOwnership FStreamOwnership;
};

// A scanner over a borrowed stream, reporting the segments whose markers are in markersToFind.
std::shared_ptr<IJPEGSegmentEnumerator> ScanJPEGSegments(Zorp::Base::TStream& stream,
                                                         const TJPEGMarkerSet& markersToFind);
// A scanner that owns its stream.
std::shared_ptr<IJPEGSegmentEnumerator> ScanJPEGSegments(std::unique_ptr<Zorp::Base::TStream> stream,
                                                         const TJPEGMarkerSet& markersToFind);

// MoveNext for a walk that keeps what a damaged file holds before its cut end: with keepWhatWasFound,
// a read past the end of the stream ends the walk (false) instead of raising.
bool MoveNextBeforeCut(IJPEGSegmentEnumerator& scanner, bool keepWhatWasFound);

// True when the next two bytes are 0xFF 0xD8; the stream position is unchanged.
bool HasJPEGStartMarker(Zorp::Base::TStream& stream);

// Length of the JPEG image starting at the stream's position: up to and including its end-of-image
// marker, or the rest of the stream when none is found. The position is unchanged afterwards.
std::int64_t MeasureJPEGData(Zorp::Base::TStream& stream);

// Writes 0xFF, marker, the big-endian length (count + 2) and count bytes of buffer (none when
// buffer is nullptr). A count outside 0..65533 raises EJPEGSegmentTooLarge and writes nothing.
void WriteJPEGSegment(Zorp::Base::TStream& stream, std::uint8_t marker, const void* buffer, std::int64_t count);
// Writes count bytes of source from its position as a segment; count 0 means the whole of source
// from its start. Too much data raises EJPEGSegmentTooLarge, too little in source EReadError; in
// both cases nothing is written.
void WriteJPEGSegment(Zorp::Base::TStream& stream, std::uint8_t marker, Zorp::Base::TStream& source,
                      std::int64_t count = 0);
// Writes a segment with its whole data.
void WriteJPEGSegment(Zorp::Base::TStream& stream, IJPEGSegment& segment);
inline void WriteJPEGSegment(Zorp::Base::TStream& stream, const std::shared_ptr<IJPEGSegment>& segment) {
  WriteJPEGSegment(stream, *segment);
}

// Image size from start-of-frame segment data (precision, height, width): the big-endian words at
// offsets 1 and 3; 0 when the data holds fewer than 5 bytes.
std::uint16_t SOFImageHeight(std::span<const std::uint8_t> data);
std::uint16_t SOFImageWidth(std::span<const std::uint8_t> data);
std::uint16_t SOFImageHeight(const Zorp::Base::TCustomMemoryStream& data);
std::uint16_t SOFImageWidth(const Zorp::Base::TCustomMemoryStream& data);

}  // namespace Zorp::Exif
