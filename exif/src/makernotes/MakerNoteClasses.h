#pragma once
// Shared pieces of the MakerNote classes, one file per maker.

#include <string_view>

#include "zorp/exif/MakerNotes.h"

namespace Zorp::Exif::Detail {

bool DataStartsWith(const TExifTag& tag, std::string_view signature);

// A format test that also reports the header size.
inline bool Accept(std::int32_t& headerSize, std::int32_t size, bool ok) {
  if (ok) headerSize = size;
  return ok;
}

}  // namespace Zorp::Exif::Detail
