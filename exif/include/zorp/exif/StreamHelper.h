#pragma once
// Reading and writing 16/32-bit integers and 64-bit doubles in a given byte order.
// Try-forms return false on a short read; plain forms raise EReadError ("Stream read error").

#include <cstdint>

#include "zorp/base/Streams.h"

namespace Zorp::Exif {

enum TByteOrder : std::uint8_t { boLittleEndian = 0, boBigEndian = 1 };

using Zorp::Base::TStream;

bool TryReadWord(TStream& stream, TByteOrder order, std::uint16_t& value);
bool TryReadSmallInt(TStream& stream, TByteOrder order, std::int16_t& value);
bool TryReadLongWord(TStream& stream, TByteOrder order, std::uint32_t& value);
bool TryReadLongInt(TStream& stream, TByteOrder order, std::int32_t& value);
bool TryReadDouble(TStream& stream, TByteOrder order, double& value);

std::uint16_t ReadWord(TStream& stream, TByteOrder order);
std::int16_t ReadSmallInt(TStream& stream, TByteOrder order);
std::uint32_t ReadLongWord(TStream& stream, TByteOrder order);
std::int32_t ReadLongInt(TStream& stream, TByteOrder order);
double ReadDouble(TStream& stream, TByteOrder order);

void WriteWord(TStream& stream, TByteOrder order, std::uint16_t value);
void WriteSmallInt(TStream& stream, TByteOrder order, std::int16_t value);
void WriteLongWord(TStream& stream, TByteOrder order, std::uint32_t value);
void WriteLongInt(TStream& stream, TByteOrder order, std::int32_t value);
void WriteDouble(TStream& stream, TByteOrder order, double value);

// The same conversions over raw bytes (at least 2, 4 or 8 of them), for parsers working on buffers.
std::uint16_t GetWord(const std::uint8_t* bytes, TByteOrder order);
std::uint32_t GetLongWord(const std::uint8_t* bytes, TByteOrder order);
std::uint64_t GetInt64(const std::uint8_t* bytes, TByteOrder order);
void PutWord(std::uint8_t* bytes, TByteOrder order, std::uint16_t value);
void PutLongWord(std::uint8_t* bytes, TByteOrder order, std::uint32_t value);
void PutInt64(std::uint8_t* bytes, TByteOrder order, std::uint64_t value);

}  // namespace Zorp::Exif
