#pragma once
// Builds test inputs in code: bytes, 16/32-bit values in a byte order, text, and patching of
// values at known offsets, so tests read as "a JPEG with these segments" or "an IFD with these entries".

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "zorp/base/Streams.h"
#include "zorp/exif/StreamHelper.h"

namespace Zorp::Testing {

class ByteBuilder {
 public:
  explicit ByteBuilder(Zorp::Exif::TByteOrder order = Zorp::Exif::boLittleEndian) : FOrder(order) {}

  ByteBuilder& Bytes(std::initializer_list<std::uint8_t> bytes) {
    FData.insert(FData.end(), bytes.begin(), bytes.end());
    return *this;
  }
  ByteBuilder& Bytes(const std::vector<std::uint8_t>& bytes) {
    FData.insert(FData.end(), bytes.begin(), bytes.end());
    return *this;
  }
  ByteBuilder& Fill(std::size_t count, std::uint8_t value = 0) {
    FData.insert(FData.end(), count, value);
    return *this;
  }
  ByteBuilder& Text(std::string_view text) {  // no terminator
    FData.insert(FData.end(), text.begin(), text.end());
    return *this;
  }
  ByteBuilder& U16(std::uint16_t value) {
    std::uint8_t b[2];
    Zorp::Exif::PutWord(b, FOrder, value);
    return Bytes({b[0], b[1]});
  }
  ByteBuilder& U32(std::uint32_t value) {
    std::uint8_t b[4];
    Zorp::Exif::PutLongWord(b, FOrder, value);
    return Bytes({b[0], b[1], b[2], b[3]});
  }
  ByteBuilder& BigEndianU16(std::uint16_t value) {
    return Bytes({static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
  }
  // A JPEG marker segment with a length field: FF, marker, big-endian (data size + 2), data.
  ByteBuilder& Segment(std::uint8_t marker, const std::vector<std::uint8_t>& data) {
    Bytes({0xFF, marker});
    BigEndianU16(static_cast<std::uint16_t>(data.size() + 2));
    return Bytes(data);
  }
  // Overwrites a 16/32-bit value at an offset already written.
  ByteBuilder& PatchU16(std::size_t offset, std::uint16_t value) {
    Zorp::Exif::PutWord(&FData.at(offset + 1) - 1, FOrder, value);
    return *this;
  }
  ByteBuilder& PatchU32(std::size_t offset, std::uint32_t value) {
    FData.at(offset + 3);
    Zorp::Exif::PutLongWord(&FData[offset], FOrder, value);
    return *this;
  }

  std::size_t Size() const { return FData.size(); }
  const std::vector<std::uint8_t>& Data() const { return FData; }
  // The bytes as a memory stream positioned at 0.
  void ToStream(Zorp::Base::TMemoryStream& stream) const {
    stream.Clear();
    stream.WriteBuffer(FData.data(), static_cast<std::int64_t>(FData.size()));
    stream.SetPosition(0);
  }

 private:
  Zorp::Exif::TByteOrder FOrder;
  std::vector<std::uint8_t> FData;
};

}  // namespace Zorp::Testing
