#pragma once
// Internals shared by the tag, section and typed-value code.

#include <cstddef>
#include <cstdint>
#include <span>

#include "zorp/exif/ExifTags.h"

namespace Zorp::Exif::Detail {

// The bytes of an ASCII value that make its text: all of them but a final NUL. Some cameras leave
// the NUL out, and their last character belongs to the text. NULs inside the value stay.
inline std::size_t AsciiTextLength(std::span<const std::uint8_t> bytes) {
  return !bytes.empty() && bytes.back() == 0 ? bytes.size() - 1 : bytes.size();
}

// What new data points at when it has no bytes: a null pointer means no new data to UpdateData and
// SetRawData, so an empty value needs an address.
inline constexpr std::uint8_t NoBytes = 0;
inline const std::uint8_t* DataOrNoBytes(std::span<const std::uint8_t> bytes) {
  return bytes.empty() ? &NoBytes : bytes.data();
}

// The type a pixel-size tag (ExifImageWidth/Height) takes for value: a one-element SHORT tag stays
// SHORT while the value fits; anything else becomes one LONG.
inline TTiffDataType PixelDimensionType(const TExifTag* tag, std::uint32_t value) {
  return tag && value <= 0xFFFF && tag->DataType() == dtShort && tag->ElementCount() == 1 ? dtShort : dtLong;
}

}  // namespace Zorp::Exif::Detail
