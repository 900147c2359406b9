#pragma once
// What an edit of a Standard-list row sets, by the row's key (a caption names the same row). The
// value text is already validated for the row's kind; the window's edit and the jobs over many
// photos share this table.

#include <functional>
#include <map>
#include <string>

#include "zorp/base/DateTime.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/exif/ExifData.h"

namespace Quorvane::Viewer {

// A camera's local date-time: the tag that holds it, the setter that replaces its sub-seconds too,
// and the tag of its zone offset.
struct TLocalDateTimeSetter {
  Zorp::Exif::TExifTagID ID;
  void (Zorp::Exif::TCustomExifData::*Setter)(Zorp::Base::TDateTime);
  Zorp::Exif::TExifTagID OffsetID;
};

// Keyed by the rows' keys ("camera-make").
struct TPropertySetters {
  std::map<std::string, std::function<void(Zorp::Exif::TExifData&, const std::string&)>> Text;
  // The camera's three local date-times, by the tag that holds each.
  std::map<std::string, TLocalDateTimeSetter> DateTimes;
  std::map<std::string, void (Zorp::Exif::TCustomExifData::*)(Zorp::Base::TDateTime)> UTCDateTimes;
};

const TPropertySetters& Setters();

// Whether the edit of the row with that key or caption sets a property.
bool HasPropertySetter(const std::string& keyOrCaption);

// Rows the Standard list shows that no edit may change, since every save sets them: their hint and
// why an edit is refused (naming the row by its caption). Empty texts for other rows.
std::string NotEditableHint(const std::string& keyOrCaption);
std::string NotEditableMessage(const std::string& keyOrCaption);

// The message that refuses a typed date-time the Exif date format cannot hold, or "" for one it can.
// 1899-12-30 00:00:00 stands for "no date" inside the library and would delete the date.
std::string UnstorableDateTimeMessage(Zorp::Base::TDateTime value);

// A date-time as typed into an edit.
struct TTypedDateTime {
  Zorp::Base::TDateTime Value = 0;  // the date and time as written, without applying any offset
  bool HasSubSeconds = false;       // the text gave a fraction of a second
  std::string Offset;               // the zone it named, as "+02:00" ("Z" gives "+00:00"); "" for none
  int OffsetMinutes = 0;            // the same in minutes east of UTC
};

// Reads a typed date-time: "YYYY-MM-DD HH:MM:SS", the Exif form "YYYY:MM:DD HH:MM:SS" and ISO 8601
// "YYYY-MM-DDTHH:MM:SS", each with an optional fraction of a second and zone ("Z", "+02:00"), or
// else the form of the format settings. False for anything else.
bool ParseTypedDateTime(const std::string& text, TTypedDateTime& result, const Zorp::Base::TFormatSettings& settings);

// Sets the property of that row (by key or caption) from the row's value text. A date-time is read
// with ParseTypedDateTime; its sub-seconds replace the stored ones only when the text gives them
// ("10:41:07.5"), otherwise the photo's sub-seconds stay. A zone is stored in the date's offset tag
// (OffsetTime, OffsetTimeOriginal, OffsetTimeDigitized); for the GPS date-time, which is UTC, the
// time is moved to UTC instead. Text goes into ASCII tags as UTF-8 whatever the data's EnforceASCII
// says; text XML cannot hold (invalid UTF-8, control characters) is refused before anything changes.
// Text of the wrong form raises EConvertError ("Invalid data format"), a date-time that cannot be
// stored EConvertError with UnstorableDateTimeMessage; a row without a property changes nothing.
void SetPropertyFromText(Zorp::Exif::TExifData& data, const std::string& keyOrCaption, const std::string& value);

}  // namespace Quorvane::Viewer
