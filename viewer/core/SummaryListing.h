#pragma once
// The Summary list: the few values a photographer looks for, each in the form a camera shows it
// ("1/167 s", "f/1.8", "+2/3 EV"), one row each and only when the photo holds the value. Its rows
// cannot be edited. The number-to-text helpers are shared with the CSV listing.

#include <string>
#include <string_view>

#include "core/ListRows.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/MetadataFile.h"

namespace Quorvane::Viewer {

// Appends the Summary rows of the container to the list; Author, Copyright, Title/Description and
// Keywords as the Exif tags hold them.
void ListSummary(const Zorp::Exif::TExifData& data, TListRows& rows);
// The same for a photo file, with Author, Copyright, Title/Description and Keywords reconciled
// between the Exif, IPTC, XMP and sidecar copies (ReadMWGValue). A value whose copies differ ends
// in CopiesDifferMark, and its row's hint names each copy.
void ListSummary(Zorp::Exif::TMetadataFile& file, TListRows& rows);
inline constexpr std::string_view CopiesDifferMark = " (copies differ)";

// ---- numbers as text; empty for a value that is not a positive finite number ----
// Below 1 s a reciprocal ("1/167 s"), except a time above 1/4 s whose reciprocal is no whole
// number ("0.3 s"); from 1 s on one decimal without ".0" ("2 s", "1.3 s").
std::string ExposureTimeText(double seconds);
// "f/1.8", "f/11".
std::string ApertureText(double fNumber);
// "24 mm", "4.3 mm", and " (36 mm in 35 mm)" when mm35 is positive.
std::string FocalLengthText(double mm, int mm35 = 0);
// "0 EV", "+1 EV", "-1/3 EV", "+1 2/3 EV", "-1.5 EV"; other values with one decimal ("+0.7 EV").
// Never empty for a finite value.
std::string ExposureBiasText(double ev);
// At most that many decimals, without trailing zeros, with a point: "-0.33", "2".
std::string DecimalText(double value, int decimals);
// Signed decimal degrees with six decimals: "48.858389", "-33.856800".
std::string DecimalDegreesText(double degrees);

// ---- values of the container; empty when it does not hold them ----
// From ExposureTime, else from the APEX shutter speed.
std::string ExposureTimeText(const Zorp::Exif::TExifData& data);
// From FNumber, else from the APEX aperture value.
std::string ApertureText(const Zorp::Exif::TExifData& data);
// The focal length alone, or with its 35 mm equivalent.
std::string FocalLengthText(const Zorp::Exif::TExifData& data, bool with35mm);
std::string ExposureBiasText(const Zorp::Exif::TExifData& data);
// The bias as a plain number with at most two decimals ("-0.33"), which a spreadsheet reads as one.
std::string ExposureBiasNumber(const Zorp::Exif::TExifData& data);
// The coordinate in signed decimal degrees (south and west negative); false when it is missing.
bool TryGetDecimalDegrees(const Zorp::Exif::TGPSCoordinate& coordinate, double& degrees);
// The same as text ("-33.856800"); empty when it is missing.
std::string DegreesText(const Zorp::Exif::TGPSCoordinate& coordinate);

// The address that shows the position on OpenStreetMap.
std::string OpenStreetMapAddress(double latitude, double longitude);
// The map address of the photo's GPS position; empty when it has none.
std::string OpenStreetMapAddress(const Zorp::Exif::TExifData& data);

}  // namespace Quorvane::Viewer
