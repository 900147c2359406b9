#include "core/PropertySetters.h"

#include <cmath>

#include "core/EnumTexts.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/TagIDs.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;
using Zorp::Base::TDateTime;

namespace {

// Whether the typed date-time gives a fraction of a second: a point or decimal separator after the
// last time separator ("10:41:07.5"), or milliseconds that read as more than zero.
bool TypedSubSeconds(const std::string& text, TDateTime value, const Zorp::Base::TFormatSettings& settings) {
  if (Zorp::Base::DecodeDateTime(value).Millisecond != 0) return true;
  const std::size_t lastSeparator = text.rfind(settings.TimeSeparator);
  if (lastSeparator == std::string::npos) return false;
  const std::string_view seconds = std::string_view(text).substr(lastSeparator + 1);
  return seconds.find('.') != std::string_view::npos ||
         seconds.find(settings.DecimalSeparator) != std::string_view::npos;
}

// Every save writes these from the image's own frame, so an edit could never last.
constexpr const char* SizeRows[] = {"Exif image width", "Exif image height"};

bool IsSizeRow(const std::string& label) {
  for (const char* row : SizeRows)
    if (label == row) return true;
  return false;
}

}  // namespace

const TPropertySetters& Setters() {
  static const TPropertySetters setters = [] {
    TPropertySetters s;
    auto text = [](void (TCustomExifData::*setter)(const std::string&)) {
      return [setter](TExifData& data, const std::string& value) { (data.*setter)(value); };
    };
    s.Text = {{"Camera make", text(&TCustomExifData::SetCameraMake)},
              {"Camera model", text(&TCustomExifData::SetCameraModel)},
              {"Software", text(&TCustomExifData::SetSoftware)},
              {"Image description", text(&TCustomExifData::SetImageDescription)},
              {"Copyright", text(&TCustomExifData::SetCopyright)},
              {"Author", text(&TCustomExifData::SetAuthor)},
              {"Comments", text(&TCustomExifData::SetComments)},
              {"Keywords", text(&TCustomExifData::SetKeywords)},
              {"Subject", text(&TCustomExifData::SetSubject)},
              {"Title", text(&TCustomExifData::SetTitle)},
              {"Exif version", [](TExifData& data, const std::string& value) { data.ExifVersion().SetAsString(value); }},
              {"Orientation",
               [](TExifData& data, const std::string& value) { data.SetOrientation(StrToOrientation(value)); }}};
    s.DateTimes = {{"Date/time", {ttDateTime, &TCustomExifData::SetDateTime}},
                   {"Date/time original", {ttDateTimeOriginal, &TCustomExifData::SetDateTimeOriginal}},
                   {"Date/time digitised", {ttDateTimeDigitized, &TCustomExifData::SetDateTimeDigitized}}};
    s.UTCDateTimes = {{"GPS date/time (UTC)", &TCustomExifData::SetGPSDateTimeUTC}};
    return s;
  }();
  return setters;
}

bool HasPropertySetter(const std::string& label) {
  const TPropertySetters& setters = Setters();
  return setters.Text.contains(label) || setters.DateTimes.contains(label) || setters.UTCDateTimes.contains(label);
}

std::string NotEditableHint(const std::string& label) {
  return IsSizeRow(label) ? "Set from the image's real size on every save; not editable" : std::string();
}

std::string NotEditableMessage(const std::string& label) {
  return IsSizeRow(label) ? "\"" + label + "\" is set from the image's real size on every save and cannot be edited"
                          : std::string();
}

std::string UnstorableDateTimeMessage(TDateTime value) {
  // Only whole seconds reach the Exif date text; the sub-seconds live in a tag of their own that a
  // photo may lack, so a date whose seconds read as the zero date is refused whatever its fraction.
  if (!std::isfinite(value)) return {};
  const Zorp::Base::TDateTimeParts parts = Zorp::Base::DecodeDateTime(value);
  if (parts.Year != 1899 || parts.Month != 12 || parts.Day != 30 || parts.Hour != 0 || parts.Minute != 0 ||
      parts.Second != 0)
    return {};
  return "1899-12-30 00:00:00 cannot be stored; enter a date-time from 0001-01-01 00:00:00 to 9999-12-31 23:59:59 "
         "other than 1899-12-30 00:00:00";
}

void SetPropertyFromText(TExifData& data, const std::string& label, const std::string& value) {
  const TPropertySetters& setters = Setters();
  if (const auto text = setters.Text.find(label); text != setters.Text.end()) text->second(data, value);
  const auto local = setters.DateTimes.find(label);
  const auto utc = setters.UTCDateTimes.find(label);
  if (local == setters.DateTimes.end() && utc == setters.UTCDateTimes.end()) return;
  const Zorp::Base::TFormatSettings& settings = Zorp::Base::FormatSettings();
  TDateTime dateTime = 0;
  if (!Zorp::Base::TryStrToDateTime(value, dateTime, settings)) throw Zorp::Base::EConvertError(SInvalidDataFormat);
  if (const std::string refusal = UnstorableDateTimeMessage(dateTime); !refusal.empty())
    throw Zorp::Base::EConvertError(refusal);
  if (utc != setters.UTCDateTimes.end())
    (data.*(utc->second))(dateTime);
  else if (TypedSubSeconds(value, dateTime, settings))
    (data.*(local->second.Setter))(dateTime);
  else
    data.SetDateTimeKeepingSubSeconds(local->second.ID, dateTime);
}

}  // namespace Quorvane::Viewer
