#include "zorp/exif/StreamHelper.h"

#include <bit>

#include "zorp/base/Exceptions.h"
#include "zorp/exif/Consts.h"

namespace Zorp::Exif {

std::uint16_t GetWord(const std::uint8_t* b, TByteOrder order) {
  return order == boBigEndian ? static_cast<std::uint16_t>(b[0] << 8 | b[1])
                              : static_cast<std::uint16_t>(b[1] << 8 | b[0]);
}

std::uint32_t GetLongWord(const std::uint8_t* b, TByteOrder order) {
  if (order == boBigEndian)
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
  return std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[1]} << 8 | b[0];
}

std::uint64_t GetInt64(const std::uint8_t* b, TByteOrder order) {
  const std::uint64_t first = GetLongWord(b, order), second = GetLongWord(b + 4, order);
  return order == boBigEndian ? first << 32 | second : second << 32 | first;
}

void PutWord(std::uint8_t* b, TByteOrder order, std::uint16_t value) {
  const std::uint8_t hi = static_cast<std::uint8_t>(value >> 8), lo = static_cast<std::uint8_t>(value);
  b[0] = order == boBigEndian ? hi : lo;
  b[1] = order == boBigEndian ? lo : hi;
}

void PutLongWord(std::uint8_t* b, TByteOrder order, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    const int shift = order == boBigEndian ? 24 - 8 * i : 8 * i;
    b[i] = static_cast<std::uint8_t>(value >> shift);
  }
}

void PutInt64(std::uint8_t* b, TByteOrder order, std::uint64_t value) {
  const auto high = static_cast<std::uint32_t>(value >> 32), low = static_cast<std::uint32_t>(value);
  PutLongWord(b, order, order == boBigEndian ? high : low);
  PutLongWord(b + 4, order, order == boBigEndian ? low : high);
}

bool TryReadWord(TStream& stream, TByteOrder order, std::uint16_t& value) {
  std::uint8_t b[2];
  if (stream.Read(b, 2) != 2) return false;
  value = GetWord(b, order);
  return true;
}

bool TryReadSmallInt(TStream& stream, TByteOrder order, std::int16_t& value) {
  std::uint16_t word;
  if (!TryReadWord(stream, order, word)) return false;
  value = static_cast<std::int16_t>(word);
  return true;
}

bool TryReadLongWord(TStream& stream, TByteOrder order, std::uint32_t& value) {
  std::uint8_t b[4];
  if (stream.Read(b, 4) != 4) return false;
  value = GetLongWord(b, order);
  return true;
}

bool TryReadLongInt(TStream& stream, TByteOrder order, std::int32_t& value) {
  std::uint32_t word;
  if (!TryReadLongWord(stream, order, word)) return false;
  value = static_cast<std::int32_t>(word);
  return true;
}

bool TryReadDouble(TStream& stream, TByteOrder order, double& value) {
  std::uint8_t b[8];
  if (stream.Read(b, 8) != 8) return false;
  value = std::bit_cast<double>(GetInt64(b, order));
  return true;
}

// The raising forms share one shape: the try-form or the read error.
template <typename T, bool (*TryRead)(TStream&, TByteOrder, T&)>
static T ReadOrRaise(TStream& stream, TByteOrder order) {
  T value{};
  if (!TryRead(stream, order, value)) throw Zorp::Base::EReadError(SReadError);
  return value;
}

std::uint16_t ReadWord(TStream& s, TByteOrder o) { return ReadOrRaise<std::uint16_t, TryReadWord>(s, o); }
std::int16_t ReadSmallInt(TStream& s, TByteOrder o) { return ReadOrRaise<std::int16_t, TryReadSmallInt>(s, o); }
std::uint32_t ReadLongWord(TStream& s, TByteOrder o) { return ReadOrRaise<std::uint32_t, TryReadLongWord>(s, o); }
std::int32_t ReadLongInt(TStream& s, TByteOrder o) { return ReadOrRaise<std::int32_t, TryReadLongInt>(s, o); }
double ReadDouble(TStream& s, TByteOrder o) { return ReadOrRaise<double, TryReadDouble>(s, o); }

void WriteWord(TStream& stream, TByteOrder order, std::uint16_t value) {
  std::uint8_t b[2];
  PutWord(b, order, value);
  stream.WriteBuffer(b, 2);
}

void WriteSmallInt(TStream& stream, TByteOrder order, std::int16_t value) {
  WriteWord(stream, order, static_cast<std::uint16_t>(value));
}

void WriteLongWord(TStream& stream, TByteOrder order, std::uint32_t value) {
  std::uint8_t b[4];
  PutLongWord(b, order, value);
  stream.WriteBuffer(b, 4);
}

void WriteLongInt(TStream& stream, TByteOrder order, std::int32_t value) {
  WriteLongWord(stream, order, static_cast<std::uint32_t>(value));
}

void WriteDouble(TStream& stream, TByteOrder order, double value) {
  std::uint8_t b[8];
  PutInt64(b, order, std::bit_cast<std::uint64_t>(value));
  stream.WriteBuffer(b, 8);
}

}  // namespace Zorp::Exif
