#include "zorp/exif/JPEGUtils.h"

#include "IPTCDetail.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "zorp/base/FormatSettings.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/StreamHelper.h"

namespace Zorp::Exif {

using Zorp::Base::EReadError;
using Zorp::Base::TCustomMemoryStream;
using Zorp::Base::TStream;

namespace {

// Codes 0x00 (a stuffed zero in scan data), TEM and RST0..RST7, SOI, EOI stand alone; every other
// marker is followed by a 16-bit length field.
bool HasLengthField(std::uint8_t marker) { return !(marker <= 0x01 || (marker >= 0xD0 && marker <= 0xD9)); }

// What scan data shows to the marker loop: a stuffed zero (0xFF 0x00, also after fill bytes) or a
// restart marker RST0..RST7.
bool IsScanDataPseudoMarker(std::uint8_t marker) { return marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7); }

std::uint8_t ReadByte(TStream& stream) {
  std::uint8_t value;
  stream.ReadBuffer(&value, 1);
  return value;
}

// Bytes left from the position to the end; 0 when the position lies past the end.
std::int64_t BytesLeft(TStream& stream) { return std::max<std::int64_t>(stream.Size() - stream.Position(), 0); }

void RaiseTooLarge(std::int64_t count) {
  throw EJPEGSegmentTooLarge(Zorp::Base::Format(SJPEGSegmentTooLarge, static_cast<long long>(count)));
}

void WriteSegmentHeader(TStream& stream, std::uint8_t marker, std::int64_t count) {
  const auto length = static_cast<std::uint16_t>(count + 2);
  const std::uint8_t header[4] = {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                                  static_cast<std::uint8_t>(length)};
  stream.WriteBuffer(header, 4);
}

// Finds the end-of-image pair 0xFF 0xD9 in scan data fed in pieces. Byte 0 is never a candidate;
// a 0xFF followed by anything else than 0xD9 is passed over together with that byte, so 0xFF 0xFF
// 0xD9 is not taken for an end marker.
class TEndOfImageSearch {
 public:
  // Feeds the next bytes; true when the pair is complete, with Found() the index of its 0xFF. The
  // very first byte is never part of a pair, and a byte that follows 0xFF is never its start.
  bool Feed(std::span<const std::uint8_t> bytes) {
    const std::int64_t base = FIndex;
    const std::size_t size = bytes.size();
    FIndex += static_cast<std::int64_t>(size);
    std::size_t i = base == 0 && size > 0 ? 1 : 0;
    while (i < size) {
      if (FPendingFill) {
        FPendingFill = false;
        if (bytes[i] == 0xD9) {
          FFound = base + static_cast<std::int64_t>(i) - 1;
          return true;
        }
        ++i;
        continue;
      }
      // Scan data is mostly bytes other than 0xFF: skip to the next one at memory speed.
      const void* next = std::memchr(bytes.data() + i, 0xFF, size - i);
      if (!next) break;
      i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(next) - bytes.data()) + 1;
      FPendingFill = true;
    }
    return false;
  }
  std::int64_t Found() const { return FFound; }

 private:
  std::int64_t FIndex = 0;
  std::int64_t FFound = -1;
  bool FPendingFill = false;
};

}  // namespace

// ---- Segments -------------------------------------------------------------------------------

TUserJPEGSegment::TUserJPEGSegment(std::uint8_t marker, Zorp::Base::IStreamPersist* source) : FMarker(marker) {
  if (source) {
    source->SaveToStream(FData);
    FData.SetPosition(0);
  }
}

bool TUserJPEGSegment::IsAdobeApp13() {
  static constexpr char kPhotoshop3[] = "Photoshop 3.0";             // compared with its zero byte: 14
  static constexpr char kPhotoshop25[] = "Adobe_Photoshop2.5:";      // compared without one: 19
  FAdobeHeaderSize = 0;
  if (FMarker != jmApp13 || FData.Size() < 20) return false;
  const std::uint8_t* data = FData.Memory();
  if (std::memcmp(data, kPhotoshop3, sizeof kPhotoshop3) == 0) {
    FAdobeHeaderSize = sizeof kPhotoshop3;
    return true;
  }
  if (std::memcmp(data, kPhotoshop25, sizeof kPhotoshop25 - 1) == 0) {
    FAdobeHeaderSize = sizeof kPhotoshop25 - 1;
    return true;
  }
  return false;
}

namespace {

class TAdobeBlock : public IAdobeBlock {
 public:
  explicit TAdobeBlock(const TPhotoshopResource& resource)
      : FSignature(resource.Signature), FID(resource.ID), FName(resource.Name.begin(), resource.Name.end()) {
    if (!resource.Data.empty()) FData.WriteBuffer(resource.Data.data(), static_cast<std::int64_t>(resource.Data.size()));
    FData.SetPosition(0);
  }
  std::string Signature() const override { return FSignature; }
  std::uint16_t TypeID() const override { return FID; }
  std::string Name() const override { return FName; }
  TMemoryStream& Data() override { return FData; }

 private:
  std::string FSignature;
  std::uint16_t FID;
  std::string FName;
  TMemoryStream FData;
};

}  // namespace

bool TAdobeApp13Enumerator::MoveNext() {
  FCurrent.reset();
  if (!FSource || FNextPosition < 0 || FNextPosition >= FSource->Size()) return false;
  Detail::TByteCursor cursor({FSource->Memory(), static_cast<std::size_t>(FSource->Size())});
  cursor.SetPosition(static_cast<std::uint64_t>(FNextPosition));
  TPhotoshopResource resource;
  if (!Detail::ReadResource(cursor, resource)) return false;
  FNextPosition = static_cast<std::int64_t>(cursor.Position());
  FCurrent = std::make_shared<TAdobeBlock>(resource);
  return true;
}

std::unique_ptr<TAdobeApp13Enumerator> TUserJPEGSegment::GetEnumerator() {
  // Without a signature the start lies behind any data, so the enumeration is empty.
  const std::int64_t start = IsAdobeApp13() ? FAdobeHeaderSize : std::numeric_limits<std::int32_t>::max();
  return std::make_unique<TAdobeApp13Enumerator>(&FData, start);
}

TFoundJPEGSegment::TFoundJPEGSegment(std::uint8_t marker, std::int32_t dataSize, TStream& stream,
                                     std::int64_t fillOffset)
    : TUserJPEGSegment(marker) {
  FOffset = stream.Position() - (HasLengthField(marker) ? 4 : 2);
  FFillOffset = fillOffset >= 0 && fillOffset < FOffset ? fillOffset : FOffset;
  if (!HasLengthField(marker)) return;
  if (dataSize <= 0) return;
  // Never allocate more than the stream can still deliver.
  if (dataSize > BytesLeft(stream)) throw EReadError(SReadError);
  FData.SetSize(dataSize);
  stream.ReadBuffer(FData.Memory(), dataSize);
}

std::int32_t TFoundJPEGSegment::TotalSize() const {
  if (!HasLengthField(FMarker)) return 2;
  return static_cast<std::int32_t>(FData.Size()) + 4;
}

// ---- The scanner ----------------------------------------------------------------------------

TJPEGHeaderParser::TJPEGHeaderParser(TStream& stream, const TJPEGMarkerSet& markersToFind)
    : FMarkersToFind(markersToFind), FStream(&stream), FStreamOwnership(ssBorrowed) {
  ReadStartMarker();
}

TJPEGHeaderParser::TJPEGHeaderParser(std::unique_ptr<TStream> stream, const TJPEGMarkerSet& markersToFind)
    : FMarkersToFind(markersToFind), FOwnedStream(std::move(stream)), FStream(FOwnedStream.get()),
      FStreamOwnership(ssOwned) {
  if (!FStream) throw EReadError(SReadError);  // nothing to read from
  ReadStartMarker();
}

void TJPEGHeaderParser::ReadStartMarker() {
  FStartPosition = FStream->Position();
  std::uint8_t header[2];
  FStream->ReadBuffer(header, 2);
  if (header[0] != 0xFF || header[1] != jmStartOfImage) throw EInvalidJPEGHeader(SInvalidJPEGHeader);
  FNextPosition = FStartPosition + 2;
}

bool TJPEGHeaderParser::Finish() {
  if (FStreamOwnership == ssOwned) {
    FOwnedStream.reset();
    FStream = nullptr;
  }
  return false;
}

bool TJPEGHeaderParser::MoveNext() {
  FCurrent.reset();
  if (!FStream || FLastMarker == jmEndOfImage) return false;
  TStream& stream = *FStream;
  stream.SetPosition(FNextPosition);
  // Every turn of this loop consumes at least two bytes and moves only forward, so it ends on a
  // non-marker byte, an end marker, or a read error at the end of the stream.
  for (;;) {
    const std::int64_t runStart = stream.Position();
    if (ReadByte(stream) != 0xFF) break;
    std::uint8_t code;
    do code = ReadByte(stream);
    while (code == 0xFF);
    FLastMarker = code;
    if (code == jmStartOfScan) FScanStarted = true;
    std::uint16_t length = 0;
    if (HasLengthField(code)) {
      std::uint8_t field[2];
      stream.ReadBuffer(field, 2);
      // 16-bit arithmetic: a field of 0 or 1 gives 65534 or 65535 bytes.
      length = static_cast<std::uint16_t>(GetWord(field, boBigEndian) - 2);
    }
    if (FMarkersToFind.Contains(code)) {
      FCurrent = std::make_shared<TFoundJPEGSegment>(code, length, stream, runStart);
      FNextPosition = stream.Position();
      return true;
    }
    if (code == jmEndOfImage) break;
    stream.Seek(length, Zorp::Base::soCurrent);
  }
  // Behind SOS the loop ends inside the scan data, also when that data starts with what looks like a
  // marker (a stuffed zero, a restart marker): the end of image is searched for in either case.
  const bool inScanData = FLastMarker == jmStartOfScan || (FScanStarted && IsScanDataPseudoMarker(FLastMarker));
  if (inScanData && FMarkersToFind.Contains(jmEndOfImage) && FindEndOfImage()) return true;
  return Finish();
}

bool TJPEGHeaderParser::FindEndOfImage() {
  TStream& stream = *FStream;
  FNextPosition = stream.Position();
  const std::int64_t remaining = std::max<std::int64_t>(stream.Size() - FNextPosition, 0);
  TEndOfImageSearch search;
  bool found = false;
  if (const auto memory = Zorp::Base::MemoryFromPosition(stream)) {
    // In place: the stream's memory from the position on.
    if (!memory->empty()) found = search.Feed(*memory);
  } else {
    // Through a bounded buffer, so a large file is never loaded whole.
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::int64_t>(remaining, 1 << 16)));
    for (std::int64_t left = remaining; left > 0 && !found;) {
      const std::int64_t chunk = std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size()));
      stream.ReadBuffer(buffer.data(), chunk);
      found = search.Feed({buffer.data(), static_cast<std::size_t>(chunk)});
      left -= chunk;
    }
  }
  if (!found) {
    stream.Seek(0, Zorp::Base::soEnd);
    return false;
  }
  stream.SetPosition(FNextPosition + search.Found() + 2);
  FCurrent = std::make_shared<TFoundJPEGSegment>(jmEndOfImage, 0, stream);
  FLastMarker = jmEndOfImage;
  return true;
}

bool MoveNextBeforeCut(IJPEGSegmentEnumerator& scanner, bool keepWhatWasFound) {
  try {
    return scanner.MoveNext();
  } catch (const Zorp::Base::EReadError&) {
    if (keepWhatWasFound) return false;
    throw;
  }
}

std::shared_ptr<IJPEGSegmentEnumerator> ScanJPEGSegments(TStream& stream, const TJPEGMarkerSet& markersToFind) {
  return std::make_shared<TJPEGHeaderParser>(stream, markersToFind);
}

std::shared_ptr<IJPEGSegmentEnumerator> ScanJPEGSegments(std::unique_ptr<TStream> stream,
                                                         const TJPEGMarkerSet& markersToFind) {
  return std::make_shared<TJPEGHeaderParser>(std::move(stream), markersToFind);
}

// ---- Stream-level helpers -------------------------------------------------------------------

bool HasJPEGStartMarker(TStream& stream) {
  const std::int64_t start = stream.Position();
  std::uint8_t header[2];
  const std::int64_t read = stream.Read(header, 2);
  stream.SetPosition(start);
  return read == 2 && header[0] == 0xFF && header[1] == jmStartOfImage;
}

std::int64_t MeasureJPEGData(TStream& stream) {
  const std::int64_t start = stream.Position();
  std::int64_t result = stream.Size() - start;
  try {
    auto scanner = ScanJPEGSegments(stream, {jmEndOfImage});
    while (scanner->MoveNext()) result = stream.Position() - start;
  } catch (...) {
    stream.SetPosition(start);
    throw;
  }
  stream.SetPosition(start);
  return result;
}

void WriteJPEGSegment(TStream& stream, std::uint8_t marker, const void* buffer, std::int64_t count) {
  if (count < 0 || count > MaxJPEGSegmentDataSize) RaiseTooLarge(count);
  WriteSegmentHeader(stream, marker, count);
  if (count != 0 && buffer) stream.WriteBuffer(buffer, count);
}

void WriteJPEGSegment(TStream& stream, std::uint8_t marker, TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  if (count < 0 || count > MaxJPEGSegmentDataSize) RaiseTooLarge(count);
  if (count > BytesLeft(source)) throw EReadError(SReadError);
  if (Zorp::Base::MemoryFromPosition(source)) {
    WriteSegmentHeader(stream, marker, count);
    Zorp::Base::CopyStream(source, stream, count);
    return;
  }
  // Read first, so that a short source leaves the destination untouched.
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count));
  source.ReadBuffer(buffer.data(), count);
  WriteSegmentHeader(stream, marker, count);
  if (count != 0) stream.WriteBuffer(buffer.data(), count);
}

void WriteJPEGSegment(TStream& stream, IJPEGSegment& segment) {
  WriteJPEGSegment(stream, segment.Marker(), segment.Data(), 0);
}

// ---- Start-of-frame data --------------------------------------------------------------------

std::uint16_t SOFImageHeight(std::span<const std::uint8_t> data) {
  if (data.size() < 5) return 0;
  return GetWord(&data[1], boBigEndian);
}

std::uint16_t SOFImageWidth(std::span<const std::uint8_t> data) {
  if (data.size() < 5) return 0;
  return GetWord(&data[3], boBigEndian);
}

std::uint16_t SOFImageHeight(const TCustomMemoryStream& data) { return SOFImageHeight(Zorp::Base::MemoryOf(data)); }
std::uint16_t SOFImageWidth(const TCustomMemoryStream& data) { return SOFImageWidth(Zorp::Base::MemoryOf(data)); }

}  // namespace Zorp::Exif
