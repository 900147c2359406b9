#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/EnumTexts.h"

using namespace Quorvane::Viewer;
using namespace Zorp::Exif;
using Zorp::Base::TFormatSettings;

namespace {

// One routine applied to one stored value; enumerations get the ordinal as the library delivers it.
struct TTextCase {
  const char* Routine;
  std::string (*Text)(int);
  int Value;
  std::string Expected;
  friend void PrintTo(const TTextCase& c, std::ostream* os) { *os << c.Routine << "(" << c.Value << ")"; }
};

template <typename T, std::string (*F)(T)>
std::string As(int value) { return F(static_cast<T>(value)); }

class AnEnumeratedValue : public testing::TestWithParam<TTextCase> {};

TEST_P(AnEnumeratedValue, ReadsAsItsDisplayText) {
  EXPECT_EQ(GetParam().Text(GetParam().Value), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(SixteenBitValues, AnEnumeratedValue, testing::Values(
  TTextCase{"ExposureProgram", As<std::int16_t, ExposureProgramToStr>, -1, ""},
  TTextCase{"ExposureProgram", As<std::int16_t, ExposureProgramToStr>, 8, "Landscape"},
  TTextCase{"ExposureProgram", As<std::int16_t, ExposureProgramToStr>, 300, "<Unrecognised (300)>"},
  TTextCase{"ExposureProgram", As<std::int16_t, ExposureProgramToStr>, -2, "<Unrecognised (-2)>"},
  TTextCase{"GainControl", As<std::int16_t, GainControlToStr>, 4, "High gain down"},
  TTextCase{"GPSDifferential", As<std::int16_t, GPSDifferentialToStr>, 2, "<Unrecognised (2)>"},
  TTextCase{"LightSource", As<std::int16_t, LightSourceToStr>, 255, "Other"},
  TTextCase{"LightSource", As<std::int16_t, LightSourceToStr>, 16, "<Unrecognised (16)>"},
  TTextCase{"MeteringMode", As<std::int16_t, MeteringModeToStr>, 255, "<Unrecognised (255)>"},
  TTextCase{"SceneCaptureType", As<std::int16_t, SceneCaptureTypeToStr>, 3, "NightScene"},
  TTextCase{"SensingMethod", As<std::int16_t, SensingMethodToStr>, 0, "<Unrecognised (0)>"},
  TTextCase{"SensingMethod", As<std::int16_t, SensingMethodToStr>, 6, "<Unrecognised (6)>"},
  TTextCase{"SubjectDistanceRange", As<std::int16_t, SubjectDistanceRangeToStr>, 0, "Unknown"},
  TTextCase{"WhiteBalanceMode", As<std::int16_t, WhiteBalanceModeToStr>, 1, "Manual"},
  TTextCase{"ResolutionUnit", As<std::int32_t, ResolutionUnitToStr>, 1, ""},
  TTextCase{"ResolutionUnit", As<std::int32_t, ResolutionUnitToStr>, -1, ""},
  TTextCase{"ResolutionUnit", As<std::int32_t, ResolutionUnitToStr>, 3, "centimetres"}));

INSTANTIATE_TEST_SUITE_P(LibraryEnumerations, AnEnumeratedValue, testing::Values(
  TTextCase{"GPSSpeedRef", As<TGPSSpeedRef, GPSSpeedRefToStr>, srMissingOrInvalid, "km/h"},
  TTextCase{"GPSSpeedRef", As<TGPSSpeedRef, GPSSpeedRefToStr>, 4, ""},
  TTextCase{"GPSDistanceRef", As<TGPSDistanceRef, GPSDistanceRefToStr>, dsMissingOrInvalid, "kilometres"},
  TTextCase{"GPSDirectionRef", As<TGPSDirectionRef, GPSDirectionRefToStr>, drMissingOrInvalid, "true north"},
  TTextCase{"GPSMeasureMode", As<TGPSMeasureMode, GPSMeasureModeToStr>, mmUnknown, ""},
  TTextCase{"GPSStatus", As<TGPSStatus, GPSStatusToStr>, stMeasurementVoid, "Measurement void/in interop"},
  TTextCase{"GPSAltitudeRef", As<TGPSAltitudeRef, GPSAltitudeRefToStr>, alTagMissing, ""},
  TTextCase{"GPSAltitudeRef", As<TGPSAltitudeRef, GPSAltitudeRefToStr>, 3, "<Unrecognised (3)>"},
  TTextCase{"FlashMode", As<TExifFlashMode, FlashModeToStr>, efUnknown, ""},
  TTextCase{"StrobeLight", As<TExifStrobeLight, StrobeLightToStr>, esNoDetectionFunction, "No detection function"},
  TTextCase{"StrobeLight", As<TExifStrobeLight, StrobeLightToStr>, 3, "<Unrecognised (3)>"},
  TTextCase{"FileSource", As<TExifFileSource, FileSourceToStr>, fsUnknown, ""},
  TTextCase{"FileSource", As<TExifFileSource, FileSourceToStr>, 200, "<Unrecognised (200)>"},
  TTextCase{"SceneType", As<TExifSceneType, SceneTypeToStr>, 2, "<Unrecognised (2)>"},
  TTextCase{"Orientation", As<TTiffOrientation, OrientationToStr>, toUndefined, ""},
  TTextCase{"Orientation", As<TTiffOrientation, OrientationToStr>, toLeftTop, "Mirrow horizontal and rotate 270"},
  TTextCase{"Orientation", As<TTiffOrientation, OrientationToStr>, toRightBottom, "Mirror hotizontal and rotate 90"},
  TTextCase{"Orientation", As<TTiffOrientation, OrientationToStr>, 9, "<Unrecognised (9)>"}));

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

TEST(TheOrientationChoices, AreTheEightTextsInValueOrderEachLeadingBackToItsValue) {
  const std::vector<std::string> lines = Lines(OrientationChoices());
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines.front(), "Normal");
  EXPECT_EQ(lines.back(), "Rotate 270");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(StrToOrientation(lines[i]), static_cast<TTiffOrientation>(i + 1)) << lines[i];
    EXPECT_EQ(OrientationToStr(StrToOrientation(lines[i])), lines[i]);
  }
}

class AnOrientationText : public testing::TestWithParam<std::pair<const char*, TTiffOrientation>> {};

TEST_P(AnOrientationText, SelectsTheOrientationWithExactlyThatText) {
  EXPECT_EQ(StrToOrientation(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Table, AnOrientationText, testing::Values(
  std::pair{"Rotate 90", toRightTop}, std::pair{"rotate 90", toUndefined}, std::pair{"", toUndefined},
  std::pair{"Rotate 90 ", toUndefined}, std::pair{"<Unrecognised (9)>", toUndefined}));

struct TDateTimeCase {
  const char* Settings;
  Zorp::Base::TDateTime Value;
  std::string Expected;
  friend void PrintTo(const TDateTimeCase& c, std::ostream* os) { *os << c.Settings << " " << c.Value; }
};

TFormatSettings SettingsNamed(const std::string& name) {
  TFormatSettings settings = TFormatSettings::Invariant();
  if (name == "German") {
    settings.DateSeparator = '.';
    settings.ShortDatePattern = "dd.mm.yyyy";
  } else if (name == "American") {
    settings.DateSeparator = '/';
    settings.ShortDatePattern = "m/d/yyyy";
    settings.LongTimePattern = "h:nn:ss AM/PM";
  }
  return settings;
}

class ADateTimeText : public testing::TestWithParam<TDateTimeCase> {};

TEST_P(ADateTimeText, IsTheShortDateABlankAndTheLongTimeOfTheSettings) {
  EXPECT_EQ(DateTimeToText(GetParam().Value, SettingsNamed(GetParam().Settings)), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ADateTimeText, testing::Values(
  TDateTimeCase{"Invariant", Zorp::Base::EncodeDateTime(2012, 3, 4, 5, 6, 7, 0), "2012-03-04 05:06:07"},
  TDateTimeCase{"Invariant", 0.0, "1899-12-30 00:00:00"},
  TDateTimeCase{"German", Zorp::Base::EncodeDateTime(2012, 3, 4, 23, 59, 59, 0), "04.03.2012 23:59:59"},
  TDateTimeCase{"American", Zorp::Base::EncodeDateTime(2012, 3, 4, 17, 6, 7, 0), "3/4/2012 5:06:07 PM"}));

TEST(ADateTimeTextWithoutSettings, FollowsTheThreadsSettings) {
  const TFormatSettings saved = Zorp::Base::FormatSettings();
  Zorp::Base::SetFormatSettings(SettingsNamed("German"));
  EXPECT_EQ(DateTimeToText(Zorp::Base::EncodeDate(2001, 12, 31)), "31.12.2001 00:00:00");
  Zorp::Base::SetFormatSettings(saved);
}
