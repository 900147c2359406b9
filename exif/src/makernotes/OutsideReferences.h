#pragma once
// What a loaded MakerNote references outside its own bytes. Many cameras declare a MakerNote
// shorter than the data its entries use, which then lies elsewhere in the Exif block; a save that
// keeps the MakerNote in place must keep those bytes in place too.

#include <cstdint>
#include <vector>

#include "zorp/exif/ExifWriter.h"

namespace Zorp::Exif {
class TCustomExifData;
}

namespace Zorp::Exif::Detail {

// The ranges of the loaded block (data.SourceBlock()) that the MakerNote's entries, and the
// sub-directories its class knows, reference outside the MakerNote tag's declared bytes; sorted and
// merged. Ranges that leave the block or touch the TIFF header are not listed. Empty when the
// MakerNote was not loaded from the block, has changed since, or its directory cannot be found.
std::vector<TByteRange> MakerNoteOutsideRanges(TCustomExifData& data);

// Sorts ranges and merges those that overlap or touch.
void MergeRanges(std::vector<TByteRange>& ranges);

}  // namespace Zorp::Exif::Detail
