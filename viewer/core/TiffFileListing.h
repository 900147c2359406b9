#pragma once
// The rows of what a TIFF or raw file holds beyond the Exif container (TiffFile.h): which format it
// is, its preview, and one group per further directory (SubIFD 1, IFD2, ...) with its tags, in the
// form of the Standard list's groups.

#include "core/ListRows.h"
#include "zorp/exif/TiffFile.h"

namespace Quorvane::Viewer {

// Appends the "File format" and "Preview" value rows, then per further directory a heading (its
// name), its "Loaded cleanly" row and one row per tag, captioned with the tag's standard name or its
// number ("Tag 0xC61A") and showing at most MaxTiffValueText characters of its value. None of the
// rows can be edited.
void ListTiffFile(TListRows& rows, const Zorp::Exif::TTiffFile& file);

// What a value row shows of a long value before it is cut with "...".
inline constexpr std::size_t MaxTiffValueText = 200;

// The Preview row's value: "W x H JPEG, N bytes at offset O (Source)", the size left out when not
// known, or "None".
std::string TiffPreviewText(const Zorp::Exif::TTiffFile& file);

}  // namespace Quorvane::Viewer
