#pragma once
// Internals of the IPTC reader that the JPEG segment enumerator shares: a bounds-checked byte
// cursor and the reading of one Photoshop resource block.

#include <algorithm>
#include <cstdint>
#include <span>

#include "zorp/exif/IPTC.h"

namespace Zorp::Exif {

namespace Detail {

// A reader over bytes with a 64-bit position; every read checks the bytes left first.
class TByteCursor {
 public:
  explicit TByteCursor(std::span<const std::uint8_t> bytes) : FBytes(bytes) {}
  std::uint64_t Position() const { return FPosition; }
  void SetPosition(std::uint64_t position) { FPosition = std::min<std::uint64_t>(position, FBytes.size()); }
  std::uint64_t Left() const { return FBytes.size() - FPosition; }
  bool Need(std::uint64_t count) const { return count <= Left(); }
  bool TryByte(std::uint8_t& value) {
    if (!Need(1)) return false;
    value = FBytes[FPosition++];
    return true;
  }
  // A big-endian number of count bytes (at most 8).
  bool TryNumber(std::size_t count, std::uint64_t& value) {
    if (count > 8 || !Need(count)) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) value = value << 8 | FBytes[FPosition++];
    return true;
  }
  bool TryTake(std::uint64_t count, std::span<const std::uint8_t>& bytes) {
    if (!Need(count)) return false;
    bytes = FBytes.subspan(FPosition, count);
    FPosition += count;
    return true;
  }
  std::span<const std::uint8_t> Range(std::uint64_t from, std::uint64_t to) const {
    return FBytes.subspan(from, to - from);
  }

 private:
  std::span<const std::uint8_t> FBytes;
  std::uint64_t FPosition = 0;
};

// One resource block at the cursor, with its bytes as read; false (cursor unchanged) when it is
// not whole in the bytes left or does not start with a known signature.
bool ReadResource(TByteCursor& cursor, TPhotoshopResource& resource);

}  // namespace Detail

}  // namespace Zorp::Exif
