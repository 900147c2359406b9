#include "core/EnumTexts.h"

#include <span>

namespace Quorvane::Viewer {

using namespace Zorp::Exif;

namespace {

struct TValueText {
  int Value;
  const char* Text;
};

std::string Unrecognised(int value) { return Zorp::Base::Format("<Unrecognised (%d)>", value); }

// The text of the value in the table; the fallback text when it has none.
std::string Lookup(std::span<const TValueText> table, int value, std::string fallback) {
  for (const TValueText& entry : table)
    if (entry.Value == value) return entry.Text;
  return fallback;
}

// A 16-bit value: -1 (tag missing) gives nothing, a value without a text the unrecognised text.
std::string Lookup16(std::span<const TValueText> table, std::int16_t value) {
  if (value == -1) return {};
  return Lookup(table, value, Unrecognised(value));
}

constexpr TValueText OrientationTexts[] = {
    {toTopLeft, "Normal"},
    {toTopRight, "Mirror horizontal"},
    {toBottomRight, "Rotate 180"},
    {toBottomLeft, "Mirror vertical"},
    {toLeftTop, "Mirrow horizontal and rotate 270"},
    {toRightTop, "Rotate 90"},
    {toRightBottom, "Mirror hotizontal and rotate 90"},
    {toLeftBottom, "Rotate 270"},
};

constexpr TValueText ExposureProgramTexts[] = {
    {0, "Undefined"}, {1, "Manual"}, {2, "Normal"},   {3, "Aperture priority"}, {4, "Shutter priority"},
    {5, "Creative"},  {6, "Action"}, {7, "Portrait"}, {8, "Landscape"},
};

constexpr TValueText GainControlTexts[] = {
    {0, "None"}, {1, "Low gain up"}, {2, "High gain up"}, {3, "Low gain down"}, {4, "High gain down"},
};

constexpr TValueText GPSDifferentialTexts[] = {{0, "Without correction"}, {1, "Correction applied"}};

constexpr TValueText LightSourceTexts[] = {
    {0, "Unknown"},
    {1, "Daylight"},
    {2, "Fluorescent"},
    {3, "Tungsten"},
    {4, "Flash"},
    {9, "Fine weather"},
    {10, "Cloudy weather"},
    {11, "Shade"},
    {12, "Daylight fluorescent"},
    {13, "DayWhite fluorescent"},
    {14, "Cool white fluorescent"},
    {15, "White fluorescent"},
    {17, "Standard light A"},
    {18, "Standard light B"},
    {19, "Standard light C"},
    {20, "D55"},
    {21, "D65"},
    {22, "D75"},
    {23, "D50"},
    {24, "ISO studio tungsten"},
    {255, "Other"},
};

constexpr TValueText MeteringModeTexts[] = {
    {0, "Unknown"}, {1, "Average"}, {2, "Centre weighted average"}, {3, "Spot"},
    {4, "Multiple spot"}, {5, "Pattern"}, {6, "Partial"},
};

constexpr TValueText RenderingTexts[] = {{0, "Normal"}, {1, "Custom"}};

constexpr TValueText SceneCaptureTypeTexts[] = {
    {0, "Standard"}, {1, "Landscape"}, {2, "Portrait"}, {3, "NightScene"},
};

constexpr TValueText SensingMethodTexts[] = {
    {1, "Monochrome"}, {2, "One chip"},  {3, "Two chip"},  {4, "ThreeChip"},
    {5, "Colour sequential"}, {7, "Trilinear"}, {8, "Colour sequential linear"},
};

constexpr TValueText SubjectDistanceRangeTexts[] = {{0, "Unknown"}, {1, "Macro"}, {2, "Close"}, {3, "Distant"}};

constexpr TValueText WhiteBalanceModeTexts[] = {{0, "Auto"}, {1, "Manual"}};
constexpr TValueText ExposureModeTexts[] = {{0, "Auto"}, {1, "Manual"}, {2, "Auto bracket"}};
constexpr TValueText ContrastTexts[] = {{0, "Normal"}, {1, "Soft"}, {2, "Hard"}};
constexpr TValueText SaturationTexts[] = {{0, "Normal"}, {1, "Low"}, {2, "High"}};

}  // namespace

// A missing reference reads as the first real one (true north, kilometres, km/h).
std::string GPSDirectionRefToStr(TGPSDirectionRef value) {
  constexpr TValueText texts[] = {
      {drMissingOrInvalid, "true north"}, {drTrueNorth, "true north"}, {drMagneticNorth, "magnetic north"}};
  return Lookup(texts, value, {});
}

std::string GPSDistanceRefToStr(TGPSDistanceRef value) {
  constexpr TValueText texts[] = {
      {dsMissingOrInvalid, "kilometres"}, {dsKilometres, "kilometres"}, {dsMiles, "miles"}, {dsKnots, "knots"}};
  return Lookup(texts, value, {});
}

std::string GPSSpeedRefToStr(TGPSSpeedRef value) {
  constexpr TValueText texts[] = {
      {srMissingOrInvalid, "km/h"}, {srKilometresPerHour, "km/h"}, {srMilesPerHour, "mph"}, {srKnots, "knots"}};
  return Lookup(texts, value, {});
}

std::string GPSMeasureModeToStr(TGPSMeasureMode value) {
  constexpr TValueText texts[] = {{mm2D, "2D"}, {mm3D, "3D"}};
  return Lookup(texts, value, {});
}

std::string GPSStatusToStr(TGPSStatus value) {
  constexpr TValueText texts[] = {
      {stMeasurementActive, "Measurement active/in progress"}, {stMeasurementVoid, "Measurement void/in interop"}};
  return Lookup(texts, value, {});
}

std::string GPSAltitudeRefToStr(TGPSAltitudeRef value) {
  constexpr TValueText texts[] = {
      {alTagMissing, ""}, {alAboveSeaLevel, "above sea level"}, {alBelowSeaLevel, "below sea level"}};
  return Lookup(texts, value, Unrecognised(value));
}

std::string FlashModeToStr(TExifFlashMode value) {
  constexpr TValueText texts[] = {
      {efCompulsoryFire, "Compulsory fire"}, {efCompulsorySuppression, "Compulsory suppression"}, {efAuto, "Auto"}};
  return Lookup(texts, value, {});
}

std::string StrobeLightToStr(TExifStrobeLight value) {
  constexpr TValueText texts[] = {
      {esNoDetectionFunction, "No detection function"}, {esUndetected, "Undetected"}, {esDetected, "Detected"}};
  return Lookup(texts, value, Unrecognised(value));
}

std::string FileSourceToStr(TExifFileSource value) {
  constexpr TValueText texts[] = {{fsUnknown, ""},
                                  {fsFilmScanner, "Film scanner"},
                                  {fsReflectionPrintScanner, "Reflection print scanner"},
                                  {fsDigitalCamera, "Digital camera"}};
  return Lookup(texts, value, Unrecognised(value));
}

std::string SceneTypeToStr(TExifSceneType value) {
  constexpr TValueText texts[] = {{esUnknown, ""}, {esDirectlyPhotographed, "Directly photographed"}};
  return Lookup(texts, value, Unrecognised(value));
}

std::string ByteOrderToStr(TByteOrder value) {
  return value == boBigEndian ? "Motorola (big endian)" : "Intel (small endian)";
}

std::string OrientationToStr(TTiffOrientation value) {
  if (value == toUndefined) return {};
  return Lookup(OrientationTexts, value, Unrecognised(value));
}

std::string OrientationChoices() {
  std::string result;
  for (int value = toUndefined; value <= toLeftBottom; ++value) {
    if (!result.empty()) result += "\r\n";
    result += OrientationToStr(static_cast<TTiffOrientation>(value));
  }
  return result;
}

TTiffOrientation StrToOrientation(std::string_view text) {
  for (int value = toUndefined; value <= toLeftBottom; ++value) {
    const auto orientation = static_cast<TTiffOrientation>(value);
    if (OrientationToStr(orientation) == text) return orientation;
  }
  return toUndefined;
}

std::string ExposureProgramToStr(std::int16_t value) { return Lookup16(ExposureProgramTexts, value); }
std::string GainControlToStr(std::int16_t value) { return Lookup16(GainControlTexts, value); }
std::string GPSDifferentialToStr(std::int16_t value) { return Lookup16(GPSDifferentialTexts, value); }
std::string LightSourceToStr(std::int16_t value) { return Lookup16(LightSourceTexts, value); }
std::string MeteringModeToStr(std::int16_t value) { return Lookup16(MeteringModeTexts, value); }
std::string RenderingToStr(std::int16_t value) { return Lookup16(RenderingTexts, value); }
std::string SceneCaptureTypeToStr(std::int16_t value) { return Lookup16(SceneCaptureTypeTexts, value); }
std::string SensingMethodToStr(std::int16_t value) { return Lookup16(SensingMethodTexts, value); }
std::string SubjectDistanceRangeToStr(std::int16_t value) { return Lookup16(SubjectDistanceRangeTexts, value); }
std::string WhiteBalanceModeToStr(std::int16_t value) { return Lookup16(WhiteBalanceModeTexts, value); }
std::string ExposureModeToStr(std::int16_t value) { return Lookup16(ExposureModeTexts, value); }
std::string ContrastToStr(std::int16_t value) { return Lookup16(ContrastTexts, value); }
std::string SaturationToStr(std::int16_t value) { return Lookup16(SaturationTexts, value); }

std::string ResolutionUnitToStr(std::int32_t value) {
  switch (value) {
    case 2: return "inches";
    case 3: return "centimetres";
    default: return {};
  }
}

std::string DateTimeToText(Zorp::Base::TDateTime value, const Zorp::Base::TFormatSettings& settings) {
  return Zorp::Base::FormatDateTime("ddddd tt", value, settings);
}

}  // namespace Quorvane::Viewer
