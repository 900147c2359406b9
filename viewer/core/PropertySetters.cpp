#include "core/PropertySetters.h"

#include "core/EnumTexts.h"

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

}  // namespace Quorvane::Viewer
