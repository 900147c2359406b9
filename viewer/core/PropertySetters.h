#pragma once
// What an edit of a Standard-list row sets, by the row's label. The value text is already
// validated for the row's kind; the window's edit and the jobs over many photos share this table.

#include <functional>
#include <map>
#include <string>

#include "zorp/base/DateTime.h"
#include "zorp/exif/ExifData.h"

namespace Quorvane::Viewer {

// A camera's local date-time: the tag that holds it and the setter that replaces its sub-seconds too.
struct TLocalDateTimeSetter {
  Zorp::Exif::TExifTagID ID;
  void (Zorp::Exif::TCustomExifData::*Setter)(Zorp::Base::TDateTime);
};

struct TPropertySetters {
  std::map<std::string, std::function<void(Zorp::Exif::TExifData&, const std::string&)>> Text;
  // The camera's three local date-times, by the tag that holds each.
  std::map<std::string, TLocalDateTimeSetter> DateTimes;
  std::map<std::string, void (Zorp::Exif::TCustomExifData::*)(Zorp::Base::TDateTime)> UTCDateTimes;
};

const TPropertySetters& Setters();

// Whether the edit of the row with that label sets a property.
bool HasPropertySetter(const std::string& label);

// Rows the Standard list shows that no edit may change, since every save sets them: their hint and
// why an edit is refused. Empty texts for other labels.
std::string NotEditableHint(const std::string& label);
std::string NotEditableMessage(const std::string& label);

// The message that refuses a typed date-time the Exif date format cannot hold, or "" for one it can.
// 1899-12-30 00:00:00 stands for "no date" inside the library and would delete the date.
std::string UnstorableDateTimeMessage(Zorp::Base::TDateTime value);

// Sets the property of that label from the row's value text: a date-time as the format settings
// read it. Sub-seconds replace the stored ones only when the text gives them ("10:41:07.5");
// otherwise the photo's sub-seconds stay. Text of the wrong form raises EConvertError ("Invalid data
// format"), a date-time that cannot be stored EConvertError with UnstorableDateTimeMessage; a label
// without a property changes nothing.
void SetPropertyFromText(Zorp::Exif::TExifData& data, const std::string& label, const std::string& value);

}  // namespace Quorvane::Viewer
