#include "zorp/exif/TiffReader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <set>

#include "zorp/base/Exceptions.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/ExifTags.h"

namespace Zorp::Exif {

namespace Detail {

// The walk never follows more IFDs than this; the container uses only the first two.
constexpr std::size_t MaxIfdsInChain = 32;

// base + offset as a stream position, or -1 when the sum leaves 0..size (or overflows).
inline std::int64_t PositionInside(std::int64_t base, std::int64_t offset, std::int64_t size) {
  std::int64_t position;
  if (__builtin_add_overflow(base, offset, &position) || position < 0 || position > size) return -1;
  return position;
}

}  // namespace Detail

namespace {
// What one reader hands out in tag values: four times its stream, and a little more for tiny ones.
std::int64_t ValueBytesAllowed(Zorp::Base::TStream& stream) { return 4 * stream.Size() + 4096; }
}  // namespace

TTiffReader::TTiffReader(Zorp::Base::TStream& stream)
    : FStream(stream),
      FMemoryStream(dynamic_cast<const Zorp::Base::TCustomMemoryStream*>(&stream)),
      FValueBytesLeft(ValueBytesAllowed(stream)) {
  FBaseOffset = stream.Position();

  // The mark is read as it lies in memory: "II" and "MM" read the same in either order.
  const std::uint16_t mark = ReadWord(stream, boLittleEndian);
  if (mark == 0x4949)
    FByteOrder = boLittleEndian;
  else if (mark == 0x4D4D)
    FByteOrder = boBigEndian;
  else
    throw EInvalidTiffData(SInvalidTiffData);

  // The data's own magic number wins over its mark.
  const std::uint16_t magic = ReadWord(stream, FByteOrder);
  if (magic == 0x2A00)
    FByteOrder = FByteOrder == boLittleEndian ? boBigEndian : boLittleEndian;
  else if (magic != 42)
    throw EInvalidTiffData(SInvalidTiffData);

  const std::int64_t maxOffset = stream.Size() - FBaseOffset - 4;
  std::int64_t offset = ReadLongInt(stream, FByteOrder);

  // Walk the chain. A link back to an IFD already read, or a chain of absurd length, ends it.
  std::set<std::int64_t> visited;
  while (offset != 0 && FIfds.size() < Detail::MaxIfdsInChain && visited.insert(offset).second) {
    FIfds.push_back(ParseIfd(offset));
    // An IFD that is not there has no link behind it: reading one from wherever the stream
    // happens to stand would follow garbage.
    if (FIfds.back().LoadErrors.Contains(leBadOffset)) break;
    std::int32_t link;
    if (!TryReadLongInt(stream, FByteOrder, link) || link > maxOffset) break;
    offset = link;
  }
  FIfds.shrink_to_fit();
}

TTiffReader::TTiffReader(Zorp::Base::TStream& stream, std::int64_t baseOffset, TByteOrder byteOrder)
    : FStream(stream),
      FMemoryStream(dynamic_cast<const Zorp::Base::TCustomMemoryStream*>(&stream)),
      FBaseOffset(baseOffset),
      FByteOrder(byteOrder),
      FValueBytesLeft(ValueBytesAllowed(stream)) {}

std::span<const std::uint8_t> TTiffReader::Memory() const {
  if (FMemoryStream == nullptr) return {};
  const std::span<const std::uint8_t> memory = Zorp::Base::MemoryOf(*FMemoryStream);
  // Only while the bytes are all there; a stream of another size is read through.
  return static_cast<std::int64_t>(memory.size()) == FStream.Size() ? memory : std::span<const std::uint8_t>();
}

bool TTiffReader::TakeValueBytes(std::int64_t size) {
  if (size < 0 || size > FValueBytesLeft) return false;
  FValueBytesLeft -= size;
  return true;
}

TIfdInfo TTiffReader::ParseIfd(std::int64_t offset, std::int64_t dataOffsetAdjustment) {
  TIfdInfo result;
  result.Offset = offset;
  const std::int64_t streamSize = FStream.Size();

  // The IFD must at least hold its 16-bit entry count (P + 2 <= size, written as a subtraction).
  const std::int64_t ifdPosition = Detail::PositionInside(FBaseOffset, offset, streamSize);
  if (ifdPosition < 0 || ifdPosition > streamSize - 2) {
    result.LoadErrors.Include(leBadOffset);
    return result;
  }

  const std::int64_t room = (streamSize - ifdPosition - 2) / 12;
  FStream.SetPosition(ifdPosition);
  std::uint16_t declaredCount;
  if (!TryReadWord(FStream, FByteOrder, declaredCount)) {
    result.LoadErrors.Include(leBadOffset);
    return result;
  }
  std::int64_t count = declaredCount;
  if (count > room) {
    result.LoadErrors.Include(leBadTagCount);
    count = room;
  }
  result.Entries.reserve(static_cast<std::size_t>(count));

  // The entries in one piece: in place from memory, else read at once.
  const std::int64_t entriesPosition = ifdPosition + 2;
  const std::span<const std::uint8_t> memory = Memory();
  std::vector<std::uint8_t> read;
  const std::uint8_t* entries = nullptr;
  if (!memory.empty()) {
    entries = memory.data() + entriesPosition;  // count <= room: all of them lie inside
  } else {
    read.resize(static_cast<std::size_t>(count * 12));
    const std::int64_t got = FStream.Read(read.data(), count * 12);
    if (got < count * 12) {
      // Cannot happen while count <= room, unless the stream shrank under us.
      result.LoadErrors.Include(leBadTagCount);
      count = std::max<std::int64_t>(got, 0) / 12;
    }
    entries = read.data();
  }
  FStream.SetPosition(entriesPosition + count * 12);  // where the link to the next directory lies

  for (std::int64_t i = 0; i < count; ++i) {
    const std::uint8_t* field = entries + i * 12;
    TIfdEntryInfo entry;
    entry.EntryOffset = entriesPosition + i * 12 - FBaseOffset;
    entry.ID = GetWord(field, FByteOrder);
    entry.DataType = GetWord(field + 2, FByteOrder);
    entry.ElementCount = static_cast<std::int32_t>(GetLongWord(field + 4, FByteOrder));

    const std::int64_t elementSize = TiffDataTypeSize(entry.DataType);
    const std::int64_t size = std::int64_t{entry.ElementCount} * elementSize;
    if (size <= 4) {
      entry.DataOffset = entry.EntryOffset + 8;  // the value field itself
    } else {
      const auto valueOffset = static_cast<std::int32_t>(GetLongWord(field + 8, FByteOrder));
      std::int64_t dataOffset;
      if (__builtin_add_overflow(std::int64_t{valueOffset}, dataOffsetAdjustment, &dataOffset)) {
        entry.DataOffset = std::numeric_limits<std::int64_t>::min();
        entry.ElementCount = -1;
      } else {
        entry.DataOffset = dataOffset;
        const std::int64_t dataPosition = Detail::PositionInside(FBaseOffset, dataOffset, streamSize);
        if (dataPosition < 0 || size > streamSize - dataPosition) {
          if (FValuesMayLieBehind && IsValidTiffDataType(entry.DataType) &&
              size <= std::numeric_limits<std::int32_t>::max() && dataOffset >= streamSize - FBaseOffset)
            entry.SizeBehindData = size;
          entry.ElementCount = -1;
        }
      }
    }

    const std::int64_t checkedSize = std::int64_t{entry.ElementCount} * elementSize;
    const bool malformed =
        elementSize == 0 || checkedSize < 0 || checkedSize > std::numeric_limits<std::int32_t>::max();
    // A malformed entry is kept (its tag not well-formed) and the walk goes on: the entries behind it
    // are read as other readers read them, and a save does not lose them. The count is bounded by the
    // room in the data.
    if (malformed && entry.SizeBehindData == 0) result.LoadErrors.Include(leBadTagHeader);
    result.Entries.push_back(entry);
  }
  return result;
}

bool TTiffReader::ReadValue(const TIfdEntryInfo& entry, std::uint8_t* buffer, std::size_t bufferSize) {
  // A value that cannot be read leaves the buffer zeroed; one that can, zeros behind it.
  const auto fail = [&] {
    if (bufferSize > 0) std::memset(buffer, 0, bufferSize);
    return false;
  };
  const std::int64_t elementSize = TiffDataTypeSize(entry.DataType);
  if (elementSize == 0 || entry.ElementCount < 0) return fail();
  const std::int64_t size = std::int64_t{entry.ElementCount} * elementSize;
  if (static_cast<std::uint64_t>(size) > bufferSize) return fail();
  if (bufferSize > static_cast<std::size_t>(size))
    std::memset(buffer + size, 0, bufferSize - static_cast<std::size_t>(size));
  if (size == 0) return true;

  const std::int64_t streamSize = FStream.Size();
  const std::int64_t position = Detail::PositionInside(FBaseOffset, entry.DataOffset, streamSize);
  if (position < 0 || size > streamSize - position) return fail();

  bool complete = true;
  if (const std::span<const std::uint8_t> memory = Memory(); !memory.empty()) {
    std::memcpy(buffer, memory.data() + position, static_cast<std::size_t>(size));
  } else {
    const std::int64_t savedPosition = FStream.Position();
    FStream.SetPosition(position);
    complete = FStream.Read(buffer, size) == size;
    FStream.SetPosition(savedPosition);
  }
  if (!complete) return fail();

  // Convert in place from the file's order to host (little-endian) order.
  const auto bytes = static_cast<std::size_t>(size);
  if (elementSize == 2) {
    for (std::size_t i = 0; i < bytes; i += 2) {
      const std::uint16_t value = GetWord(buffer + i, FByteOrder);
      std::memcpy(buffer + i, &value, 2);
    }
  } else if (entry.DataType == dtDouble) {
    for (std::size_t i = 0; i < bytes; i += 8) {
      const std::uint64_t value = GetInt64(buffer + i, FByteOrder);
      std::memcpy(buffer + i, &value, 8);
    }
  } else if (elementSize > 1) {
    // 4-byte types and both rationals: 32-bit words, a rational's numerator and denominator apart.
    for (std::size_t i = 0; i < bytes; i += 4) {
      const std::uint32_t value = GetLongWord(buffer + i, FByteOrder);
      std::memcpy(buffer + i, &value, 4);
    }
  }
  return true;
}

}  // namespace Zorp::Exif
