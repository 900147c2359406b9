#include "core/StandardListing.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "core/EnumTexts.h"
#include "core/PropertySetters.h"
#include "zorp/base/DateTime.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;
using Zorp::Base::FloatToStrG;
using Zorp::Base::TFormatSettings;

namespace {

class TStandardLister {
 public:
  TStandardLister(TListRows& rows, const TExifData& data, const TFormatSettings& settings)
      : FRows(rows), FData(data), FSettings(settings) {}

  void Run();

 private:
  TListRows& FRows;
  const TExifData& FData;
  const TFormatSettings& FSettings;

  std::string G(double value, int precision = 15) const { return FloatToStrG(value, precision, FSettings); }
  // A fraction; 0 when its denominator is 0.
  std::string Fraction(const TTiffRational& value, bool isSigned = false) const {
    if (value.Denominator == 0) return "0";
    if (isSigned)
      return G(static_cast<double>(static_cast<long double>(static_cast<std::int32_t>(value.Numerator)) /
                                   static_cast<std::int32_t>(value.Denominator)));
    return G(static_cast<double>(static_cast<long double>(value.Numerator) / value.Denominator));
  }

  void Add(const char* label, const std::string& value, std::string_view kind = {}) {
    AddItem(FRows, label, false, "", kind, value);
  }
  // An ASCII value as a person reads it, without the padding its bytes may carry.
  void AddText(const char* label, const std::string& value, std::string_view kind = {}) {
    Add(label, std::string(ShownAsciiText(value)), kind);
  }
  // What the GPS tags hold: date and time, the date or the UTC time alone, or an empty value.
  void AddGPSDateTime(const char* label) {
    Zorp::Base::TDateTime date = 0, time = 0;
    const bool hasDate = FData.TryGetGPSDate(date), hasTime = FData.TryGetGPSTime(time);
    std::string text;
    if (hasDate && hasTime)
      text = DateTimeToText(date < 0 ? date - time : date + time, FSettings);
    else if (hasDate)
      text = Zorp::Base::FormatDateTime("ddddd", date, FSettings);
    else if (hasTime)
      text = Zorp::Base::FormatDateTime("tt", time, FSettings);
    Add(label, text, rkDateTime);
  }
  // A fraction row, left out when the denominator is 0.
  void AddFraction(const char* label, const TTiffRational& value, bool isSigned = false) {
    if (value.Denominator != 0) Add(label, Fraction(value, isSigned));
  }
  // The same with a blank and a unit word (which may be empty) after the number.
  void AddFractionWithUnit(const char* label, const TTiffRational& value, const std::string& unit) {
    if (value.Denominator != 0) Add(label, Fraction(value) + " " + unit);
  }
  // A date-time the photo does not hold (0) is an empty, still editable, value.
  void AddDateTime(const char* label, Zorp::Base::TDateTime value) {
    Add(label, value == 0 ? std::string() : DateTimeToText(value, FSettings), rkDateTime);
  }
  void AddResolution(const char* label, const TCustomExifResolution& value) {
    if (value.Missing()) return;
    Add(label, Fraction(value.X()) + " x " + Fraction(value.Y()) + " " + ResolutionUnitToStr(value.Unit()));
  }
  void AddCoordinate(const char* label, const TGPSCoordinate& value) {
    if (value.Missing()) return;
    std::string direction;
    switch (value.Direction()) {
      case 'N': direction = "north"; break;
      case 'S': direction = "south"; break;
      case 'E': direction = "east"; break;
      case 'W': direction = "west"; break;
      default: break;
    }
    Add(label, Fraction(value.Degrees()) + "? " + Fraction(value.Minutes()) + " minutes and " +
                   Fraction(value.Seconds()) + " seconds " + direction);
  }
  static std::string YesNo(bool value) { return value ? "Yes" : "No"; }
  static std::string Low16(std::uint32_t value) { return std::to_string(value & 0xFFFF); }

  // The heading and load status of a directory's group; false when the group is not listed.
  bool AddSectionHeading(TExifSectionKind kind, const char* heading) {
    const TExifSection& section = FData.PeekSection(kind);
    if (!ListsSection(section)) return false;
    AddCaption(FRows, heading);
    AddLoadStatusItem(FRows, section, false);
    return true;
  }

  // Rows that appear only when the photo holds their tag.
  void AddTextIfPresent(TExifSectionKind kind, const char* label, TExifTagID id) {
    std::string value;
    if (FData.PeekSection(kind).TryGetStringValue(id, value)) AddText(label, value);
  }
  void AddEnumIfPresent(TExifSectionKind kind, const char* label, TExifTagID id,
                        std::string (*text)(std::int16_t)) {
    std::uint16_t value = 0;
    if (FData.PeekSection(kind).TryGetWordValue(id, 0, value)) Add(label, text(static_cast<std::int16_t>(value)));
  }
  static std::string Number(std::int16_t value) { return std::to_string(value); }

  void ListPrimary();
  void ListExif();
  void ListExifExtras();
  void ListInterop();
  void ListGps();
  void ListThumbnail();
};

void TStandardLister::Run() {
  AddCaption(FRows, "General");
  Add("Byte order", ByteOrderToStr(FData.ByteOrder()));
  if (AddSectionHeading(skPrimary, "Main IFD")) ListPrimary();
  if (AddSectionHeading(skExif, "Exif sub-IFD")) ListExif();
  if (AddSectionHeading(skInterop, "Interoperability sub-IFD")) ListInterop();
  if (AddSectionHeading(skGps, "GPS sub-IFD")) ListGps();
  if (AddSectionHeading(skThumbnail, "Thumbnail IFD")) ListThumbnail();
}

void TStandardLister::ListPrimary() {
  AddText("Camera make", FData.CameraMake(), rkString);
  AddText("Camera model", FData.CameraModel(), rkString);
  AddText("Software", FData.Software(), rkString);
  AddDateTime("Date/time", FData.DateTime());
  AddText("Image description", FData.ImageDescription(), rkString);
  AddText("Copyright", FData.Copyright(), rkString);
  AddItem(FRows, "Orientation", false, OrientationChoices(), rkSelect, OrientationToStr(FData.Orientation()));
  Add("Title", FData.Title(), rkString);
  Add("Subject", FData.Subject(), rkString);
  AddText("Author", FData.Author(), rkString);
  Add("Comments", FData.Comments(), rkString);
  Add("Keywords", FData.Keywords(), rkString);
  AddResolution("Resolution", FData.Resolution());
  AddEnumIfPresent(skPrimary, "Rating", ttRating, Number);
}

void TStandardLister::ListExif() {
  Add("Exif version", FData.ExifVersion().AsString(), rkString);
  AddFraction("Aperture value", FData.ApertureValue());
  AddFraction("Brightness value", FData.BrightnessValue(), true);
  switch (FData.ColorSpace()) {
    case 1: Add("Colour space", "RGB"); break;
    case 0xFFFF: Add("Colour space", "Uncalibrated"); break;
    default: break;
  }
  AddFraction("Compressed bits per pixel", FData.CompressedBitsPerPixel());
  AddDateTime("Date/time original", FData.DateTimeOriginal());
  AddDateTime("Date/time digitised", FData.DateTimeDigitized());
  AddFraction("Digital zoom ratio", FData.DigitalZoomRatio());
  const TOptionalLongWord width = FData.ExifImageWidth(), height = FData.ExifImageHeight();
  // Every save sets these from the frame, so they are shown but not editable, and the hint says why.
  for (const auto& [label, size] : {std::pair{"Exif image width", width}, std::pair{"Exif image height", height}}) {
    Add(label, Low16(size.Missing ? 0 : size.Value));
    FRows.back().Hint = NotEditableHint(label);
  }
  Add("Exposure programme", ExposureProgramToStr(FData.ExposureProgram()));
  AddFractionWithUnit("Exposure time", FData.ExposureTime(), "seconds");
  AddFraction("Exposure index", FData.ExposureIndex());
  AddFraction("Exposure bias value", FData.ExposureBiasValue(), true);
  Add("File source", FileSourceToStr(FData.FileSource()));
  const TExifFlashInfo& flash = FData.Flash();
  if (!flash.Missing()) {
    Add("Flash present", YesNo(flash.Present()));
    Add("Flash mode", FlashModeToStr(flash.Mode()));
    Add("Flash fired", YesNo(flash.Fired()));
    Add("Flash red eye reduction", YesNo(flash.RedEyeReduction()));
    AddFraction("Flash strobe energy", flash.FlashEnergy());
    Add("Flash strobe light", StrobeLightToStr(flash.StrobeLight()));
  }
  AddFraction("F number", FData.FNumber());
  AddFraction("Focal length", FData.FocalLength());
  Add("Focal length in 35mm film", Low16(static_cast<std::uint32_t>(FData.FocalLengthIn35mmFilm())));
  AddResolution("Focal plane resolution", FData.FocalPlaneResolution());
  Add("Gain control", GainControlToStr(FData.GainControl()));
  AddText("Image unique ID", FData.ImageUniqueID());
  if (!FData.ISOSpeedRatings().Missing()) Add("ISO speed rating(s)", FData.ISOSpeedRatings().AsString());
  Add("Light source", LightSourceToStr(FData.LightSource()));
  const TOptionalLongInt offset = FData.MakerNoteDataOffset();
  Add("MakerNote data offset", std::to_string(offset.Missing ? 0 : offset.Value));
  AddFraction("Max aperture value", FData.MaxApertureValue());
  Add("Metering mode", MeteringModeToStr(FData.MeteringMode()));
  AddText("Related sound file", FData.RelatedSoundFile());
  Add("Rendering", RenderingToStr(FData.Rendering()));
  Add("Scene capture type", SceneCaptureTypeToStr(FData.SceneCaptureType()));
  Add("Scene type", SceneTypeToStr(FData.SceneType()));
  Add("Sensing method", SensingMethodToStr(FData.SensingMethod()));
  const double shutterSpeed = FData.ShutterSpeedMilliseconds();
  // An APEX value of -2^31 (a camera's "unknown") gives no finite time: nothing to show.
  if (shutterSpeed != 0 && std::isfinite(shutterSpeed)) Add("Shutter speed", G(shutterSpeed, 4) + " milliseconds");
  AddText("Spectral sensitivity", FData.SpectralSensitivity());
  AddFraction("Subject distance", FData.SubjectDistance());
  Add("Subject distance range", SubjectDistanceRangeToStr(FData.SubjectDistanceRange()));
  const TSmallPoint location = FData.SubjectLocation();
  const auto x = static_cast<std::int16_t>(location.X), y = static_cast<std::int16_t>(location.Y);
  if (x != -1 || y != -1) Add("Subject location", Zorp::Base::Format("(%d, %d)", x, y));
  Add("White balance mode", WhiteBalanceModeToStr(FData.WhiteBalanceMode()));
  ListExifExtras();
}

// What photographers look for beyond the rows above, each only when the photo holds its tag.
void TStandardLister::ListExifExtras() {
  AddEnumIfPresent(skExif, "Exposure mode", ttExposureMode, ExposureModeToStr);
  AddEnumIfPresent(skExif, "Contrast", ttContrast, ContrastToStr);
  AddEnumIfPresent(skExif, "Saturation", ttSaturation, SaturationToStr);
  AddEnumIfPresent(skExif, "Sharpness", ttSharpness, ContrastToStr);
  AddTextIfPresent(skExif, "Offset time", ttOffsetTime);
  AddTextIfPresent(skExif, "Offset time original", ttOffsetTimeOriginal);
  AddTextIfPresent(skExif, "Offset time digitised", ttOffsetTimeDigitized);
  AddTextIfPresent(skExif, "Sub-second time", ttSubsecTime);
  AddTextIfPresent(skExif, "Sub-second time original", ttSubsecTimeOriginal);
  AddTextIfPresent(skExif, "Sub-second time digitised", ttSubsecTimeDigitized);
  AddTextIfPresent(skExif, "Body serial number", ttBodySerialNumber);
  AddTextIfPresent(skExif, "Lens make", ttLensMake);
  AddTextIfPresent(skExif, "Lens model", ttLensModel);
  AddTextIfPresent(skExif, "Lens serial number", ttLensSerialNumber);
}

void TStandardLister::ListInterop() {
  AddText("Interoperability type", FData.InteropTypeName());
  Add("Interoperability version", FData.InteropVersion().AsString());
}

void TStandardLister::ListGps() {
  Add("GPS version", FData.GPSVersion().AsString());
  AddGPSDateTime("GPS date/time (UTC)");
  AddCoordinate("GPS latitude", FData.GPSLatitude());
  AddCoordinate("GPS longitude", FData.GPSLongitude());
  AddFractionWithUnit("GPS altitude", FData.GPSAltitude(), "metres " + GPSAltitudeRefToStr(FData.GPSAltitudeRef()));
  AddText("GPS satellites", FData.GPSSatellites());
  Add("GPS status", GPSStatusToStr(FData.GPSStatus()));
  Add("GPS measure mode", GPSMeasureModeToStr(FData.GPSMeasureMode()));
  AddFraction("GPS DOP", FData.GPSDOP());
  AddFractionWithUnit("GPS speed", FData.GPSSpeed(), GPSSpeedRefToStr(FData.GPSSpeedRef()));
  AddFractionWithUnit("GPS track", FData.GPSTrack(), GPSDirectionRefToStr(FData.GPSTrackRef()));
  AddFractionWithUnit("GPS image direction", FData.GPSImgDirection(), GPSDirectionRefToStr(FData.GPSImgDirectionRef()));
  AddText("GPS map datum", FData.GPSMapDatum());
  AddCoordinate("GPS destination latitude", FData.GPSDestLatitude());
  AddCoordinate("GPS destination longitude", FData.GPSDestLongitude());
  AddFractionWithUnit("GPS destination bearing", FData.GPSDestBearing(),
                      GPSDirectionRefToStr(FData.GPSDestBearingRef()));
  AddFractionWithUnit("GPS destination distance", FData.GPSDestDistance(),
                      GPSDistanceRefToStr(FData.GPSDestDistanceRef()));
  Add("GPS differential", GPSDifferentialToStr(FData.GPSDifferential()));
}

void TStandardLister::ListThumbnail() {
  Add("Thumbnail orientation", OrientationToStr(FData.ThumbnailOrientation()));
  AddResolution("Thumbnail resolution", FData.ThumbnailResolution());
}

}  // namespace

void ListStandardData(TListRows& rows, const TExifData& data, const TFormatSettings& settings) {
  TStandardLister(rows, data, settings).Run();
}

// In step with the lister above: a new row's label goes here too (StandardListingTest checks).
const std::vector<std::string>& StandardLabels() {
  static const std::vector<std::string> labels = {
      "Byte order", "Loaded cleanly",
      // Main IFD
      "Camera make", "Camera model", "Software", "Date/time", "Image description", "Copyright", "Orientation", "Title",
      "Subject", "Author", "Comments", "Keywords", "Resolution", "Rating",
      // Exif sub-IFD
      "Exif version", "Aperture value", "Brightness value", "Colour space", "Compressed bits per pixel",
      "Date/time original", "Date/time digitised", "Digital zoom ratio", "Exif image width", "Exif image height",
      "Exposure programme", "Exposure time", "Exposure index", "Exposure bias value", "File source", "Flash present",
      "Flash mode", "Flash fired", "Flash red eye reduction", "Flash strobe energy", "Flash strobe light", "F number",
      "Focal length", "Focal length in 35mm film", "Focal plane resolution", "Gain control", "Image unique ID",
      "ISO speed rating(s)", "Light source", "MakerNote data offset", "Max aperture value", "Metering mode",
      "Related sound file", "Rendering", "Scene capture type", "Scene type", "Sensing method", "Shutter speed",
      "Spectral sensitivity", "Subject distance", "Subject distance range", "Subject location", "White balance mode",
      "Exposure mode", "Contrast", "Saturation", "Sharpness", "Offset time", "Offset time original",
      "Offset time digitised", "Sub-second time", "Sub-second time original", "Sub-second time digitised",
      "Body serial number", "Lens make", "Lens model", "Lens serial number",
      // Interoperability sub-IFD
      "Interoperability type", "Interoperability version",
      // GPS sub-IFD
      "GPS version", "GPS date/time (UTC)", "GPS latitude", "GPS longitude", "GPS altitude", "GPS satellites",
      "GPS status", "GPS measure mode", "GPS DOP", "GPS speed", "GPS track", "GPS image direction", "GPS map datum",
      "GPS destination latitude", "GPS destination longitude", "GPS destination bearing", "GPS destination distance",
      "GPS differential",
      // Thumbnail IFD
      "Thumbnail orientation", "Thumbnail resolution"};
  return labels;
}

bool ShowsThumbnail(const TExifData& data) {
  return ListsSection(data.PeekSection(skThumbnail)) && data.HasThumbnail();
}

}  // namespace Quorvane::Viewer
