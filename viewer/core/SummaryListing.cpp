#include "core/SummaryListing.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <utility>
#include <string>
#include <string_view>

#include "core/EnumTexts.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/MWG.h"

namespace Quorvane::Viewer {

using namespace Zorp::Exif;

namespace {

// Fixed-point text with a point, whatever the locale says (the texts also go into map addresses).
std::string Fixed(double value, int decimals) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return {};
  std::string text(buffer, result.ptr);
  if (text == "-0" || (text.starts_with("-0.") && text.find_first_not_of("0.", 1) == std::string::npos))
    text.erase(0, 1);  // no "-0.0"
  return text;
}

std::string OneDecimal(double value) { return DecimalText(value, 1); }

bool Positive(double value) { return std::isfinite(value) && value > 0; }

double SignedQuotient(const TTiffRational& value) {
  return value.Denominator == 0 ? 0.0
                                : static_cast<double>(static_cast<std::int32_t>(value.Numerator)) /
                                      static_cast<std::int32_t>(value.Denominator);
}

// A stored text without padding and surrounding blanks.
std::string Clean(std::string_view text) { return Zorp::Base::Trim(ShownAsciiText(text)); }

// Maker and name together, the maker left out when the name already starts with its first word
// ("NIKON CORPORATION" + "NIKON D70" is "NIKON D70").
std::string MakerAndName(const std::string& maker, const std::string& name) {
  if (maker.empty() || name.empty()) return maker.empty() ? name : maker;
  const std::string firstWord = maker.substr(0, maker.find(' '));
  if (name.size() >= firstWord.size() && Zorp::Base::SameText(name.substr(0, firstWord.size()), firstWord)) return name;
  return maker + " " + name;
}

std::string ExifText(const TExifData& data, TExifTagID id) {
  std::string value;
  return data.PeekSection(skExif).TryGetStringValue(id, value) ? Clean(value) : std::string();
}

// "2024-05-03 14:22:07.35 +02:00": the original date-time with the sub-seconds and the offset stored with it.
std::string TakenText(const TExifData& data) {
  const Zorp::Base::TDateTime taken = data.DateTimeOriginal();
  if (taken == 0) return {};
  std::string text = Zorp::Base::FormatDateTime("yyyy-mm-dd hh:nn:ss", taken, Zorp::Base::InvariantFormatSettings());
  const std::string subSeconds = Clean(data.SubsecTimeOriginal());
  if (!subSeconds.empty() && subSeconds.find_first_not_of("0123456789") == std::string::npos) text += "." + subSeconds;
  if (const std::string offset = ExifText(data, ttOffsetTimeOriginal); !offset.empty()) text += " " + offset;
  return text;
}

std::string FlashText(const TExifFlashInfo& flash) {
  if (flash.Missing()) return {};
  if (!flash.Present()) return "No flash function";
  std::string text = flash.Fired() ? "Fired" : "Did not fire";
  if (const std::string mode = FlashModeToStr(flash.Mode()); !mode.empty()) text += ", " + mode;
  if (flash.RedEyeReduction()) text += ", red eye reduction";
  return text;
}

std::string IsoText(const TExifData& data) {
  if (data.ISOSpeedRatings().Missing()) return {};
  const std::string all = data.ISOSpeedRatings().AsString();
  const std::string first = all.substr(0, all.find(','));
  return first.empty() || first == "0" ? std::string() : "ISO " + first;
}

std::string ImageSizeText(const TExifData& data) {
  const TOptionalLongWord width = data.ExifImageWidth(), height = data.ExifImageHeight();
  if (width.Missing || height.Missing || width.Value == 0 || height.Value == 0) return {};
  return std::to_string(width.Value) + " \u00D7 " + std::to_string(height.Value);
}

std::string LocationText(const TExifData& data) {
  double latitude = 0, longitude = 0;
  if (!TryGetDecimalDegrees(data.GPSLatitude(), latitude) || !TryGetDecimalDegrees(data.GPSLongitude(), longitude))
    return {};
  std::string text = DecimalDegreesText(latitude) + ", " + DecimalDegreesText(longitude);
  if (const TTiffRational altitude = data.GPSAltitude(); altitude.Denominator != 0) {
    const double metres = altitude.Value() * (data.GPSAltitudeRef() == alBelowSeaLevel ? -1 : 1);
    text += ", " + OneDecimal(metres) + " m";
  }
  return text;
}

// The rating of the main directory: stars out of five, "Rejected" for -1.
std::string RatingText(const TExifData& data) {
  std::uint16_t stored = 0;
  if (!data.PeekSection(skPrimary).TryGetWordValue(ttRating, 0, stored)) return {};
  const auto rating = static_cast<std::int16_t>(stored);
  if (rating < 0) return "Rejected";
  if (rating > 5) return std::to_string(rating);
  std::string stars;
  for (int star = 1; star <= 5; ++star) stars += star <= rating ? "\u2605" : "\u2606";
  return stars;
}

}  // namespace

std::string DecimalText(double value, int decimals) {
  std::string text = Fixed(value, decimals);
  if (text.find('.') == std::string::npos) return text;
  text.erase(text.find_last_not_of('0') + 1);
  if (text.ends_with('.')) text.pop_back();
  return text == "-0" ? "0" : text;
}

std::string ExposureTimeText(double seconds) {
  if (!Positive(seconds)) return {};
  if (seconds < 1) {
    const double reciprocal = 1 / seconds, whole = std::round(reciprocal);
    // A time such as 0.3 s has no whole reciprocal: it reads better as a decimal.
    if (seconds > 0.25 && std::abs(reciprocal - whole) > 0.01 * reciprocal) return OneDecimal(seconds) + " s";
    if (whole > 1) return "1/" + Fixed(whole, 0) + " s";
  }
  return OneDecimal(seconds) + " s";
}

std::string ApertureText(double fNumber) { return Positive(fNumber) ? "f/" + OneDecimal(fNumber) : std::string(); }

std::string FocalLengthText(double mm, int mm35) {
  if (!Positive(mm)) return {};
  std::string text = OneDecimal(mm) + " mm";
  if (mm35 > 0) text += " (" + std::to_string(mm35) + " mm in 35 mm)";
  return text;
}

std::string ExposureBiasText(double ev) {
  if (!std::isfinite(ev)) return {};
  if (std::abs(ev) < 0.01) return "0 EV";
  const std::string sign = ev < 0 ? "-" : "+";
  const double size = std::abs(ev);
  const double thirds = std::round(size * 3);
  if (std::abs(size - thirds / 3) <= 0.01) {
    const auto count = static_cast<long long>(thirds);
    const long long whole = count / 3, rest = count % 3;
    std::string text = sign;
    if (whole > 0) text += std::to_string(whole);
    if (rest > 0) text += (whole > 0 ? " " : "") + std::to_string(rest) + "/3";
    return text + " EV";
  }
  const double halves = std::round(size * 2);
  if (std::abs(size - halves / 2) <= 0.01) return sign + Fixed(halves / 2, 1) + " EV";
  return sign + OneDecimal(size) + " EV";
}

std::string DecimalDegreesText(double degrees) { return std::isfinite(degrees) ? Fixed(degrees, 6) : std::string(); }

std::string ExposureTimeText(const TExifData& data) {
  if (const double seconds = data.ExposureTime().Value(); Positive(seconds)) return ExposureTimeText(seconds);
  // An APEX value of -2^31 (a camera's "unknown") gives no finite time.
  return ExposureTimeText(data.ShutterSpeedMilliseconds() / 1000);
}

std::string ApertureText(const TExifData& data) {
  if (const double fNumber = data.FNumber().Value(); Positive(fNumber)) return ApertureText(fNumber);
  const TTiffRational apex = data.ApertureValue();
  if (apex.Denominator == 0) return {};
  return ApertureText(std::pow(2.0, apex.Value() / 2));
}

std::string FocalLengthText(const TExifData& data, bool with35mm) {
  const std::int32_t mm35 = data.FocalLengthIn35mmFilm();
  return FocalLengthText(data.FocalLength().Value(), with35mm && mm35 != MissingWord ? mm35 : 0);
}

std::string ExposureBiasText(const TExifData& data) {
  const TTiffRational bias = data.ExposureBiasValue();
  return bias.Denominator == 0 ? std::string() : ExposureBiasText(SignedQuotient(bias));
}

std::string ExposureBiasNumber(const TExifData& data) {
  const TTiffRational bias = data.ExposureBiasValue();
  return bias.Denominator == 0 ? std::string() : DecimalText(SignedQuotient(bias), 2);
}

bool TryGetDecimalDegrees(const TGPSCoordinate& coordinate, double& degrees) {
  if (coordinate.Missing() || coordinate.Degrees().Denominator == 0) return false;
  degrees = coordinate.Degrees().Value() + coordinate.Minutes().Value() / 60 + coordinate.Seconds().Value() / 3600;
  if (coordinate.Direction() == 'S' || coordinate.Direction() == 'W') degrees = -degrees;
  return std::isfinite(degrees);
}

std::string DegreesText(const TGPSCoordinate& coordinate) {
  double degrees = 0;
  return TryGetDecimalDegrees(coordinate, degrees) ? DecimalDegreesText(degrees) : std::string();
}

std::string OpenStreetMapAddress(double latitude, double longitude) {
  const std::string lat = DecimalDegreesText(latitude), lon = DecimalDegreesText(longitude);
  return "https://www.openstreetmap.org/?mlat=" + lat + "&mlon=" + lon + "#map=16/" + lat + "/" + lon;
}

std::string OpenStreetMapAddress(const TExifData& data) {
  double latitude = 0, longitude = 0;
  if (!TryGetDecimalDegrees(data.GPSLatitude(), latitude) || !TryGetDecimalDegrees(data.GPSLongitude(), longitude))
    return {};
  return OpenStreetMapAddress(latitude, longitude);
}

namespace {

// Lists the rows; reconcile, when given, reads the values that Exif, IPTC and XMP each hold a copy of.
void ListSummaryRows(const TExifData& data, TListRows& rows,
                     const std::function<TMWGReading(TMWGValue)>* reconcile) {
  const auto add = [&rows](std::string_view label, const std::string& value) {
    if (!value.empty()) AddItem(rows, label, false, "", "", value);
  };
  // The value of item: reconciled when reconcile is given, else the Exif text.
  const auto read = [&](TMWGValue item, const std::string& exifValue) {
    if (reconcile) return (*reconcile)(item);
    TMWGReading reading;
    reading.Value = exifValue;
    return reading;
  };
  // A value, flagged when its copies differ; the hint then names them.
  const auto addCopied = [&](std::string_view label, const TMWGReading& reading) {
    if (!reading.Disagree) return add(label, reading.Value);
    add(label, reading.Value + std::string(CopiesDifferMark));
    std::string hint = std::string("Shown: ") + MWGSourceName(reading.Source);
    const std::pair<TMWGSource, const std::string*> copies[] = {{msExif, &reading.Copies.Exif},
                                                                {msIPTC, &reading.Copies.IPTC},
                                                                {msXMP, &reading.Copies.XMP},
                                                                {msSidecar, &reading.Copies.Sidecar}};
    for (const auto& [source, text] : copies)
      if (!text->empty()) hint += std::string("\n") + MWGSourceName(source) + ": " + *text;
    rows.back().Hint = std::move(hint);
  };
  add("Camera", MakerAndName(Clean(data.CameraMake()), Clean(data.CameraModel())));
  add("Lens", MakerAndName(ExifText(data, ttLensMake), ExifText(data, ttLensModel)));
  add("Taken", TakenText(data));
  add("Exposure", ExposureTimeText(data));
  add("Aperture", ApertureText(data));
  add("ISO", IsoText(data));
  add("Focal length", FocalLengthText(data, true));
  add("Exposure bias", ExposureBiasText(data));
  add("Flash", FlashText(data.Flash()));
  add("Metering", MeteringModeToStr(data.MeteringMode()));
  add("White balance", WhiteBalanceModeToStr(data.WhiteBalanceMode()));
  add("Orientation", OrientationToStr(data.Orientation()));
  add("Image size", ImageSizeText(data));
  add("Location", LocationText(data));
  if (!rows.empty() && rows.back().Caption.ends_with("Location"))
    rows.back().Hint = "Double-click to open the position in OpenStreetMap";
  addCopied("Author", read(mvCreator, Clean(data.Author())));
  addCopied("Copyright", read(mvCopyright, Clean(data.Copyright())));
  const TMWGReading title = read(mvTitle, Zorp::Base::Trim(data.Title()));
  addCopied("Title/Description",
            title.Value.empty() ? read(mvDescription, Clean(data.ImageDescription())) : title);
  addCopied("Keywords", read(mvKeywords, Zorp::Base::Trim(data.Keywords())));
  add("Rating", RatingText(data));
  add("Software", Clean(data.Software()));
}

}  // namespace

void ListSummary(const TExifData& data, TListRows& rows) { ListSummaryRows(data, rows, nullptr); }

void ListSummary(TMetadataFile& file, TListRows& rows) {
  const std::function<TMWGReading(TMWGValue)> reconcile = [&file](TMWGValue item) {
    return ReadMWGValue(file, item);
  };
  ListSummaryRows(file.Exif(), rows, &reconcile);
}

}  // namespace Quorvane::Viewer
