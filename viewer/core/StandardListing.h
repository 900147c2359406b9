#pragma once
// The Standard list: the general rows, then one group per directory that holds tags or had load
// problems, each value formatted for reading and tagged with the editor that may change it.
// The thumbnail is not decoded here; the window asks ShowsThumbnail and shows it.

#include <string>
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

// Every label a value row of the Standard list can have, in list order ("Loaded cleanly" stands for
// each directory's status row).
const std::vector<std::string>& StandardLabels();

// Whether the preview shows the container's thumbnail after the listing: the thumbnail group is
// listed and holds an image.
bool ShowsThumbnail(const Zorp::Exif::TExifData& data);

}  // namespace Quorvane::Viewer
