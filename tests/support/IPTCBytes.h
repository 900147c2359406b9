#pragma once
// IPTC bytes for tests: datasets, Photoshop resource blocks and segments, and a small real JPEG that
// carries given segments.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "ByteBuilder.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/exif/IPTC.h"
#include "zorp/exif/JPEGUtils.h"

namespace Zorp::Testing {

using TBytes = std::vector<std::uint8_t>;
using Zorp::Exif::jmApp0;
using Zorp::Exif::jmApp13;

inline TBytes Dataset(std::uint8_t record, std::uint8_t number, std::string_view value) {
  return ByteBuilder().Bytes({0x1C, record, number}).BigEndianU16(static_cast<std::uint16_t>(value.size())).Text(value).Data();
}

// A dataset whose size is given in sizeBytes bytes behind an extended size field.
inline TBytes ExtendedDataset(std::uint8_t record, std::uint8_t number, std::string_view value, std::uint8_t sizeBytes) {
  ByteBuilder out;
  out.Bytes({0x1C, record, number}).BigEndianU16(static_cast<std::uint16_t>(0x8000 | sizeBytes));
  for (int shift = 8 * (sizeBytes - 1); shift >= 0; shift -= 8) out.Bytes({static_cast<std::uint8_t>(value.size() >> shift)});
  return out.Text(value).Data();
}

inline TBytes Join(std::initializer_list<TBytes> parts) {
  TBytes out;
  for (const TBytes& piece : parts) out.insert(out.end(), piece.begin(), piece.end());
  return out;
}

// A resource block: signature, ID, Pascal name padded to even, big-endian size, data padded to even.
inline TBytes Resource(std::uint16_t id, std::string_view name, const TBytes& data, std::uint8_t namePad = 0) {
  ByteBuilder out;
  out.Text("8BIM").BigEndianU16(id).Bytes({static_cast<std::uint8_t>(name.size())}).Text(name);
  if (name.size() % 2 == 0) out.Bytes({namePad});
  out.BigEndianU16(static_cast<std::uint16_t>(data.size() >> 16)).BigEndianU16(static_cast<std::uint16_t>(data.size()));
  out.Bytes(data);
  if (data.size() & 1) out.Bytes({0});
  return out.Data();
}

// The bytes without their last count.
inline TBytes CutShort(const TBytes& bytes, std::size_t count) { return TBytes(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(count)); }

inline TBytes PhotoshopSegment(const TBytes& resources) {
  return Join({TBytes(Zorp::Exif::PhotoshopSegmentSignature.begin(), Zorp::Exif::PhotoshopSegmentSignature.end()), resources});
}

inline TBytes DigestResource(const TBytes& iptc) { return Resource(Zorp::Exif::PhotoshopIPTCDigestResource, "", Zorp::Exif::MD5Digest(iptc)); }

// A small real JPEG (so that other readers decode it) with these segments behind its JFIF segment.
inline TBytes Photo(const std::vector<std::pair<std::uint8_t, TBytes>>& segments) {
  Zorp::Base::TJPEGImage image;
  const TBytes rgb(16 * 8 * 3, 90);
  image.AssignRGB(rgb.data(), 16, 8);
  const TBytes& encoded = image.Bytes();
  const std::size_t jfifEnd = encoded[3] == jmApp0 ? 4u + (encoded[4] << 8 | encoded[5]) : 2u;
  ByteBuilder out;
  out.Bytes(TBytes(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(jfifEnd)));
  for (const auto& [marker, data] : segments) out.Segment(marker, data);
  out.Bytes(TBytes(encoded.begin() + static_cast<std::ptrdiff_t>(jfifEnd), encoded.end()));
  return out.Data();
}

inline TBytes PhotoWithResources(const TBytes& resources) { return Photo({{jmApp13, PhotoshopSegment(resources)}}); }

}  // namespace Zorp::Testing
