#pragma once
// What an edit of a Standard-list row sets, by the row's label. The value text is already
// validated for the row's kind; the window's edit and the jobs over many photos share this table.

#include <functional>
#include <map>
#include <string>

#include "zorp/base/DateTime.h"
#include "zorp/exif/ExifData.h"

namespace Quorvane::Viewer {

struct TPropertySetters {
  std::map<std::string, std::function<void(Zorp::Exif::TExifData&, const std::string&)>> Text;
  std::map<std::string, void (Zorp::Exif::TCustomExifData::*)(Zorp::Base::TDateTime)> DateTimes;
  std::map<std::string, void (Zorp::Exif::TCustomExifData::*)(const Zorp::Exif::TOptionalLongWord&)> Integers;
};

const TPropertySetters& Setters();

}  // namespace Quorvane::Viewer
