#include "core/StandardListing.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "core/EnumTexts.h"
#include "core/PropertySetters.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/TextEncoding.h"

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
  // The rows of the Main, Exif and GPS groups without their headings.
  void ListGroups() {
    ListPrimary();
    ListExif();
    ListGps();
  }

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
  const std::size_t first = rows.size();
  TStandardLister(rows, data, settings).Run();
  SetStandardRowKeys(rows, first);
}

void ListEmptyEditableRows(TListRows& rows) {
  const TExifData empty;
  TListRows all;
  TStandardLister(all, empty, Zorp::Base::FormatSettings()).ListGroups();
  const std::size_t first = rows.size();
  for (TListRow& row : all) {
    if (!row.IsValueRow() ||
        (row.Kind() != rkString && row.Kind() != rkSelect && row.Kind() != rkInt && row.Kind() != rkDateTime))
      continue;
    row.SubItems[0].clear();
    rows.push_back(std::move(row));
  }
  SetStandardRowKeys(rows, first);
}

void SetStandardRowKeys(TListRows& rows, std::size_t first) {
  for (std::size_t i = first; i < rows.size(); ++i)
    if (rows[i].IsValueRow()) rows[i].Key = StandardRowKey(Zorp::Base::Trim(rows[i].Caption));
}

namespace {

// Every value row the Standard list can have, in list order, with the key that names it whatever
// its caption. In step with the lister above: a new row goes here too (StandardListingTest checks).
constexpr TStandardRow StandardRowTable[] = {{"byte-order", "Byte order"},
                                             {"loaded-cleanly", "Loaded cleanly"},
                                             // Main IFD
                                             {"camera-make", "Camera make"},
                                             {"camera-model", "Camera model"},
                                             {"software", "Software"},
                                             {"date-time", "Date/time"},
                                             {"image-description", "Image description"},
                                             {"copyright", "Copyright"},
                                             {"orientation", "Orientation"},
                                             {"title", "Title"},
                                             {"subject", "Subject"},
                                             {"author", "Author"},
                                             {"comments", "Comments"},
                                             {"keywords", "Keywords"},
                                             {"resolution", "Resolution"},
                                             {"rating", "Rating"},
                                             // Exif sub-IFD
                                             {"exif-version", "Exif version"},
                                             {"aperture-value", "Aperture value"},
                                             {"brightness-value", "Brightness value"},
                                             {"colour-space", "Colour space"},
                                             {"compressed-bits-per-pixel", "Compressed bits per pixel"},
                                             {"date-time-original", "Date/time original"},
                                             {"date-time-digitised", "Date/time digitised"},
                                             {"digital-zoom-ratio", "Digital zoom ratio"},
                                             {"exif-image-width", "Exif image width"},
                                             {"exif-image-height", "Exif image height"},
                                             {"exposure-programme", "Exposure programme"},
                                             {"exposure-time", "Exposure time"},
                                             {"exposure-index", "Exposure index"},
                                             {"exposure-bias-value", "Exposure bias value"},
                                             {"file-source", "File source"},
                                             {"flash-present", "Flash present"},
                                             {"flash-mode", "Flash mode"},
                                             {"flash-fired", "Flash fired"},
                                             {"flash-red-eye-reduction", "Flash red eye reduction"},
                                             {"flash-strobe-energy", "Flash strobe energy"},
                                             {"flash-strobe-light", "Flash strobe light"},
                                             {"f-number", "F number"},
                                             {"focal-length", "Focal length"},
                                             {"focal-length-in-35mm-film", "Focal length in 35mm film"},
                                             {"focal-plane-resolution", "Focal plane resolution"},
                                             {"gain-control", "Gain control"},
                                             {"image-unique-id", "Image unique ID"},
                                             {"iso-speed-ratings", "ISO speed rating(s)"},
                                             {"light-source", "Light source"},
                                             {"makernote-data-offset", "MakerNote data offset"},
                                             {"max-aperture-value", "Max aperture value"},
                                             {"metering-mode", "Metering mode"},
                                             {"related-sound-file", "Related sound file"},
                                             {"rendering", "Rendering"},
                                             {"scene-capture-type", "Scene capture type"},
                                             {"scene-type", "Scene type"},
                                             {"sensing-method", "Sensing method"},
                                             {"shutter-speed", "Shutter speed"},
                                             {"spectral-sensitivity", "Spectral sensitivity"},
                                             {"subject-distance", "Subject distance"},
                                             {"subject-distance-range", "Subject distance range"},
                                             {"subject-location", "Subject location"},
                                             {"white-balance-mode", "White balance mode"},
                                             {"exposure-mode", "Exposure mode"},
                                             {"contrast", "Contrast"},
                                             {"saturation", "Saturation"},
                                             {"sharpness", "Sharpness"},
                                             {"offset-time", "Offset time"},
                                             {"offset-time-original", "Offset time original"},
                                             {"offset-time-digitised", "Offset time digitised"},
                                             {"sub-second-time", "Sub-second time"},
                                             {"sub-second-time-original", "Sub-second time original"},
                                             {"sub-second-time-digitised", "Sub-second time digitised"},
                                             {"body-serial-number", "Body serial number"},
                                             {"lens-make", "Lens make"},
                                             {"lens-model", "Lens model"},
                                             {"lens-serial-number", "Lens serial number"},
                                             // Interoperability sub-IFD
                                             {"interoperability-type", "Interoperability type"},
                                             {"interoperability-version", "Interoperability version"},
                                             // GPS sub-IFD
                                             {"gps-version", "GPS version"},
                                             {"gps-date-time-utc", "GPS date/time (UTC)"},
                                             {"gps-latitude", "GPS latitude"},
                                             {"gps-longitude", "GPS longitude"},
                                             {"gps-altitude", "GPS altitude"},
                                             {"gps-satellites", "GPS satellites"},
                                             {"gps-status", "GPS status"},
                                             {"gps-measure-mode", "GPS measure mode"},
                                             {"gps-dop", "GPS DOP"},
                                             {"gps-speed", "GPS speed"},
                                             {"gps-track", "GPS track"},
                                             {"gps-image-direction", "GPS image direction"},
                                             {"gps-map-datum", "GPS map datum"},
                                             {"gps-destination-latitude", "GPS destination latitude"},
                                             {"gps-destination-longitude", "GPS destination longitude"},
                                             {"gps-destination-bearing", "GPS destination bearing"},
                                             {"gps-destination-distance", "GPS destination distance"},
                                             {"gps-differential", "GPS differential"},
                                             // Thumbnail IFD
                                             {"thumbnail-orientation", "Thumbnail orientation"},
                                             {"thumbnail-resolution", "Thumbnail resolution"}};

}  // namespace

std::span<const TStandardRow> StandardRows() { return StandardRowTable; }

// The row a key or a caption names; nullptr for neither. Every listed row is looked up once.
const TStandardRow* FindStandardRow(std::string_view keyOrCaption) {
  static const auto rows = [] {
    std::unordered_map<std::string_view, const TStandardRow*> names;
    for (const TStandardRow& row : StandardRowTable) {
      names.emplace(row.Key, &row);
      names.emplace(row.Caption, &row);
    }
    return names;
  }();
  const auto found = rows.find(keyOrCaption);
  return found == rows.end() ? nullptr : found->second;
}

std::string_view StandardRowKey(std::string_view keyOrCaption) {
  const TStandardRow* row = FindStandardRow(keyOrCaption);
  return row ? row->Key : std::string_view();
}

std::string_view StandardRowCaption(std::string_view keyOrCaption) {
  const TStandardRow* row = FindStandardRow(keyOrCaption);
  return row ? row->Caption : std::string_view();
}

const std::vector<std::string>& StandardLabels() {
  static const std::vector<std::string> labels = [] {
    std::vector<std::string> captions;
    for (const TStandardRow& row : StandardRowTable) captions.emplace_back(row.Caption);
    return captions;
  }();
  return labels;
}

bool ShowsThumbnail(const TExifData& data) {
  return ListsSection(data.PeekSection(skThumbnail)) && data.HasThumbnail();
}

}  // namespace Quorvane::Viewer
