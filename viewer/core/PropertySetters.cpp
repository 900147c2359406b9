#include "core/PropertySetters.h"

#include "core/EnumTexts.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/exif/Consts.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;
using Zorp::Base::TDateTime;

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
    s.DateTimes = {{"Date/time", &TCustomExifData::SetDateTime},
                   {"Date/time original", &TCustomExifData::SetDateTimeOriginal},
                   {"Date/time digitised", &TCustomExifData::SetDateTimeDigitized},
                   {"GPS date/time (UTC)", &TCustomExifData::SetGPSDateTimeUTC}};
    s.Integers = {{"Exif image width", &TCustomExifData::SetExifImageWidth},
                  {"Exif image height", &TCustomExifData::SetExifImageHeight}};
    return s;
  }();
  return setters;
}

bool HasPropertySetter(const std::string& label) {
  const TPropertySetters& setters = Setters();
  return setters.Text.contains(label) || setters.DateTimes.contains(label) || setters.Integers.contains(label);
}

void SetPropertyFromText(TExifData& data, const std::string& label, const std::string& value) {
  const TPropertySetters& setters = Setters();
  if (const auto text = setters.Text.find(label); text != setters.Text.end()) text->second(data, value);
  if (const auto date = setters.DateTimes.find(label); date != setters.DateTimes.end()) {
    TDateTime dateTime = 0;
    if (!Zorp::Base::TryStrToDateTime(value, dateTime, Zorp::Base::FormatSettings()))
      throw Zorp::Base::EConvertError(SInvalidDataFormat);
    (data.*(date->second))(dateTime);
  }
  if (const auto integer = setters.Integers.find(label); integer != setters.Integers.end()) {
    std::int32_t number = 0;
    if (!Zorp::Base::TryStrToInt(value, number) || number < 0) throw Zorp::Base::EConvertError(SInvalidIntegerFormat);
    (data.*(integer->second))(TOptionalLongWord{static_cast<std::uint32_t>(number), false});
  }
}

}  // namespace Quorvane::Viewer
