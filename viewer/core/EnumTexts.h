#pragma once
// Display texts of enumerated Exif values for the Standard listing, the orientation choices of its
// "select" editor with their reverse lookup, and the date-time text. An empty result means there is
// nothing to show; a value without a text gives "<Unrecognised (%d)>" with the full stored value.

#include <cstdint>
#include <string>
#include <string_view>

#include "zorp/base/DateTime.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/exif/ExifPropertyTypes.h"
#include "zorp/exif/StreamHelper.h"

namespace Quorvane::Viewer {

// Values delivered as one of the library's enumerations; the ordinal may lie outside the declared
// members, since the viewer reads with range enforcement off.
std::string GPSDirectionRefToStr(Zorp::Exif::TGPSDirectionRef value);
std::string GPSDistanceRefToStr(Zorp::Exif::TGPSDistanceRef value);
std::string GPSSpeedRefToStr(Zorp::Exif::TGPSSpeedRef value);
std::string GPSMeasureModeToStr(Zorp::Exif::TGPSMeasureMode value);
std::string GPSStatusToStr(Zorp::Exif::TGPSStatus value);
std::string GPSAltitudeRefToStr(Zorp::Exif::TGPSAltitudeRef value);
std::string FlashModeToStr(Zorp::Exif::TExifFlashMode value);
std::string StrobeLightToStr(Zorp::Exif::TExifStrobeLight value);
std::string FileSourceToStr(Zorp::Exif::TExifFileSource value);
std::string SceneTypeToStr(Zorp::Exif::TExifSceneType value);
// "Intel (small endian)" or "Motorola (big endian)".
std::string ByteOrderToStr(Zorp::Exif::TByteOrder value);
std::string OrientationToStr(Zorp::Exif::TTiffOrientation value);

// The texts of orientations 1 to 8 in value order, separated by CR LF.
std::string OrientationChoices();
// The first orientation from 0 to 8 whose text equals the given one exactly; toUndefined if none does.
Zorp::Exif::TTiffOrientation StrToOrientation(std::string_view text);

// Values delivered as signed 16-bit numbers, -1 meaning that the tag is missing (empty text).
std::string ExposureProgramToStr(std::int16_t value);
std::string GainControlToStr(std::int16_t value);
std::string GPSDifferentialToStr(std::int16_t value);
std::string LightSourceToStr(std::int16_t value);
std::string MeteringModeToStr(std::int16_t value);
std::string RenderingToStr(std::int16_t value);
std::string SceneCaptureTypeToStr(std::int16_t value);
std::string SensingMethodToStr(std::int16_t value);
std::string SubjectDistanceRangeToStr(std::int16_t value);
std::string WhiteBalanceModeToStr(std::int16_t value);
std::string ExposureModeToStr(std::int16_t value);
std::string ContrastToStr(std::int16_t value);  // also for Sharpness: Normal, Soft, Hard
std::string SaturationToStr(std::int16_t value);

// The unit word of a resolution: "inches" for 2, "centimetres" for 3, empty otherwise. Takes a
// resolution's unsigned Unit() as well as -1.
std::string ResolutionUnitToStr(std::int32_t value);

// The short date, a blank and the long time of the settings ("ddddd tt"); every value is formatted,
// none is taken as missing.
std::string DateTimeToText(Zorp::Base::TDateTime value, const Zorp::Base::TFormatSettings& settings);
inline std::string DateTimeToText(Zorp::Base::TDateTime value) {
  return DateTimeToText(value, Zorp::Base::FormatSettings());
}

}  // namespace Quorvane::Viewer
