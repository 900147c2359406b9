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

// Whether the edit of the row with that label sets a property.
bool HasPropertySetter(const std::string& label);

// Sets the property of that label from the row's value text: a date-time as the format settings
// read it, a pixel count as a number that is not negative. Text of the wrong form raises
// EConvertError ("Invalid data format", "Invalid integer format"); a label without a property
// changes nothing.
void SetPropertyFromText(Zorp::Exif::TExifData& data, const std::string& label, const std::string& value);

}  // namespace Quorvane::Viewer
