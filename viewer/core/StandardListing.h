#pragma once
// The Standard list: the general rows, then one group per directory that holds tags or had load
// problems, each value formatted for reading and tagged with the editor that may change it.
// The thumbnail is not decoded here; the window asks ShowsThumbnail and shows it.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ListRows.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/exif/ExifData.h"

namespace Quorvane::Viewer {

// Appends the rows of the container (read with EnsureEnumsInRange off) to the list.
void ListStandardData(TListRows& rows, const Zorp::Exif::TExifData& data,
                      const Zorp::Base::TFormatSettings& settings);
inline void ListStandardData(TListRows& rows, const Zorp::Exif::TExifData& data) {
  ListStandardData(rows, data, Zorp::Base::FormatSettings());
}

// A Standard-list row's identity: the key that names it in edits, CSV columns and `quorvane-cli set`
// whatever its caption says, and the caption the list shows.
struct TStandardRow {
  std::string_view Key;  // lower case words joined by "-", such as "date-time-original"
  std::string_view Caption;
};

// Every value row the Standard list can have, in list order ("Loaded cleanly" stands for each
// directory's status row). Keys and captions are each unique.
std::span<const TStandardRow> StandardRows();
// The key, or the caption, of the row that a key or a caption names; "" when it names none.
std::string_view StandardRowKey(std::string_view keyOrCaption);
std::string_view StandardRowCaption(std::string_view keyOrCaption);
// Gives the value rows from index first on the key of their caption (none for an unknown caption).
void SetStandardRowKeys(TListRows& rows, std::size_t first = 0);

// For a photo without Exif: appends the rows an edit may fill in (the Standard list's string,
// select, integer and date-time rows), each with an empty value and its key.
void ListEmptyEditableRows(TListRows& rows);

// Every caption of StandardRows, in list order.
const std::vector<std::string>& StandardLabels();

// Whether the preview shows the container's thumbnail after the listing: the thumbnail group is
// listed and holds an image.
bool ShowsThumbnail(const Zorp::Exif::TExifData& data);

}  // namespace Quorvane::Viewer
