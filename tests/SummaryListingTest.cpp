// The Summary list: the readable forms of exposure, aperture, bias, focal length and position, the
// rows a photo's tags give, and the map address of its position.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ExifBuilder.h"
#include "core/SummaryListing.h"

using namespace Zorp::Exif;
using namespace Quorvane::Viewer;
using Zorp::Testing::ExifBuilder;

namespace {

struct TTextCase {
  std::function<std::string()> Text;
  std::string Expected;
};

class ANumberText : public ::testing::TestWithParam<TTextCase> {};

TEST_P(ANumberText, ReadsAsACameraShowsIt) { EXPECT_EQ(GetParam().Text(), GetParam().Expected); }

INSTANTIATE_TEST_SUITE_P(
    Numbers, ANumberText,
    ::testing::Values(TTextCase{[] { return ExposureTimeText(0.00598802395209581); }, "1/167 s"},
                      TTextCase{[] { return ExposureTimeText(1.0 / 8000); }, "1/8000 s"},
                      TTextCase{[] { return ExposureTimeText(0.25); }, "1/4 s"},
                      TTextCase{[] { return ExposureTimeText(1.0 / 3); }, "1/3 s"},
                      TTextCase{[] { return ExposureTimeText(0.3); }, "0.3 s"},
                      TTextCase{[] { return ExposureTimeText(0.9999); }, "1 s"},
                      TTextCase{[] { return ExposureTimeText(2); }, "2 s"},
                      TTextCase{[] { return ExposureTimeText(1.3); }, "1.3 s"},
                      TTextCase{[] { return ExposureTimeText(30); }, "30 s"},
                      TTextCase{[] { return ExposureTimeText(0); }, ""},
                      TTextCase{[] { return ExposureTimeText(INFINITY); }, ""},
                      TTextCase{[] { return ApertureText(1.8); }, "f/1.8"},
                      TTextCase{[] { return ApertureText(11); }, "f/11"},
                      TTextCase{[] { return ApertureText(15.96); }, "f/16"},
                      TTextCase{[] { return ApertureText(-2); }, ""},
                      TTextCase{[] { return FocalLengthText(24.0, 36); }, "24 mm (36 mm in 35 mm)"},
                      TTextCase{[] { return FocalLengthText(4.3); }, "4.3 mm"},
                      TTextCase{[] { return ExposureBiasText(0); }, "0 EV"},
                      TTextCase{[] { return ExposureBiasText(-0.33); }, "-1/3 EV"},
                      TTextCase{[] { return ExposureBiasText(0.67); }, "+2/3 EV"},
                      TTextCase{[] { return ExposureBiasText(1); }, "+1 EV"},
                      TTextCase{[] { return ExposureBiasText(4.0 / 3); }, "+1 1/3 EV"},
                      TTextCase{[] { return ExposureBiasText(-1.5); }, "-1.5 EV"},
                      TTextCase{[] { return ExposureBiasText(0.5); }, "+0.5 EV"},
                      TTextCase{[] { return ExposureBiasText(0.7); }, "+0.7 EV"},
                      TTextCase{[] { return DecimalDegreesText(-33.8568); }, "-33.856800"},
                      TTextCase{[] { return DecimalDegreesText(-0.0000001); }, "0.000000"},
                      TTextCase{[] { return OpenStreetMapAddress(48.858389, 2.2945); },
                                "https://www.openstreetmap.org/?mlat=48.858389&mlon=2.294500#map=16/48.858389/2.294500"}));

std::uint32_t Signed(std::int32_t value) { return static_cast<std::uint32_t>(value); }

// A GPS coordinate of degrees, minutes and tenths of seconds.
void Coordinate(ExifBuilder& block, std::uint16_t refID, const char* ref, std::uint32_t degrees, std::uint32_t minutes,
                std::uint32_t tenths) {
  block.Gps.Ascii(refID, ref).Raw(static_cast<std::uint16_t>(refID + 1), 5, 3, {}, {degrees, 1, minutes, 1, tenths, 10});
}

TListRows Summary(const std::function<void(ExifBuilder&)>& setup) {
  ExifBuilder block;
  setup(block);
  TExifData data;
  data.SetEnsureEnumsInRange(false);
  Zorp::Testing::LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  TListRows rows;
  ListSummary(data, rows);
  return rows;
}

std::string ValueOf(const TListRows& rows, const std::string& label) {
  for (const TListRow& row : rows)
    if (row.Caption == "   " + label) return row.Value();
  return "<none>";
}

struct TRowCase {
  const char* Name;
  std::function<void(ExifBuilder&)> Setup;
  const char* Label;
  std::string Value;
};

class ASummaryRow : public ::testing::TestWithParam<TRowCase> {};

TEST_P(ASummaryRow, ShowsTheValueOfTheTags) {
  const TListRows rows = Summary(GetParam().Setup);
  EXPECT_EQ(ValueOf(rows, GetParam().Label), GetParam().Value);
  for (const TListRow& row : rows) {
    ASSERT_EQ(row.SubItems.size(), 3u) << row.Caption;
    EXPECT_TRUE(row.Kind().empty() && row.SelectList().empty()) << row.Caption;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tags, ASummaryRow,
    ::testing::Values(
        TRowCase{"MakeRepeatedByModel", [](ExifBuilder& b) { b.Primary.Ascii(0x010F, "Canon").Ascii(0x0110, "Canon EOS 5D"); },
                 "Camera", "Canon EOS 5D"},
        TRowCase{"MakeFirstWordInModel",
                 [](ExifBuilder& b) { b.Primary.Ascii(0x010F, "NIKON CORPORATION").Ascii(0x0110, "NIKON D70"); },
                 "Camera", "NIKON D70"},
        TRowCase{"MakeOtherCase", [](ExifBuilder& b) { b.Primary.Ascii(0x010F, "SONY").Ascii(0x0110, "Sony ILCE-7 "); },
                 "Camera", "Sony ILCE-7"},
        TRowCase{"MakeNotInModel", [](ExifBuilder& b) { b.Primary.Ascii(0x010F, "Apple").Ascii(0x0110, "iPhone 12"); },
                 "Camera", "Apple iPhone 12"},
        TRowCase{"ModelOnly", [](ExifBuilder& b) { b.Primary.Ascii(0x0110, "X100V"); }, "Camera", "X100V"},
        TRowCase{"Lens", [](ExifBuilder& b) { b.Exif.Ascii(0xA433, "Sigma").Ascii(0xA434, "24-70mm F2.8"); }, "Lens",
                 "Sigma 24-70mm F2.8"},
        TRowCase{"TakenWithSubSecondsAndOffset",
                 [](ExifBuilder& b) {
                   b.Exif.Ascii(0x9003, "2024:05:03 14:22:07").Ascii(0x9011, "+02:00").Ascii(0x9291, "35");
                 },
                 "Taken", "2024-05-03 14:22:07.35 +02:00"},
        TRowCase{"ExposureTime", [](ExifBuilder& b) { b.Exif.Rational(0x829A, 10, 1670); }, "Exposure", "1/167 s"},
        TRowCase{"ExposureFromApex", [](ExifBuilder& b) { b.Exif.Raw(0x9201, 10, 1, {}, {7, 1}); }, "Exposure",
                 "1/128 s"},
        TRowCase{"LongExposureFromApex", [](ExifBuilder& b) { b.Exif.Raw(0x9201, 10, 1, {}, {Signed(-1), 1}); },
                 "Exposure", "2 s"},
        TRowCase{"ApexUnknown", [](ExifBuilder& b) { b.Exif.Raw(0x9201, 10, 1, {}, {0x80000000u, 1}); }, "Exposure",
                 "<none>"},
        TRowCase{"FNumber", [](ExifBuilder& b) { b.Exif.Rational(0x829D, 18, 10); }, "Aperture", "f/1.8"},
        TRowCase{"ApertureFromApex", [](ExifBuilder& b) { b.Exif.Rational(0x9202, 6, 1); }, "Aperture", "f/8"},
        TRowCase{"FNumberBeforeApex", [](ExifBuilder& b) { b.Exif.Rational(0x829D, 11, 1).Rational(0x9202, 6, 1); },
                 "Aperture", "f/11"},
        TRowCase{"Iso", [](ExifBuilder& b) { b.Exif.Short(0x8827, {200}); }, "ISO", "ISO 200"},
        TRowCase{"FocalLengthWith35mm", [](ExifBuilder& b) { b.Exif.Rational(0x920A, 240, 10).Short(0xA405, {36}); },
                 "Focal length", "24 mm (36 mm in 35 mm)"},
        TRowCase{"FocalLength", [](ExifBuilder& b) { b.Exif.Rational(0x920A, 43, 10); }, "Focal length", "4.3 mm"},
        TRowCase{"BiasThird", [](ExifBuilder& b) { b.Exif.Raw(0x9204, 10, 1, {}, {Signed(-1), 3}); }, "Exposure bias",
                 "-1/3 EV"},
        TRowCase{"BiasHalf", [](ExifBuilder& b) { b.Exif.Raw(0x9204, 10, 1, {}, {Signed(-3), 2}); }, "Exposure bias",
                 "-1.5 EV"},
        TRowCase{"Orientation", [](ExifBuilder& b) { b.Primary.Short(0x0112, {6}); }, "Orientation",
                 "Rotate 90"},
        TRowCase{"ImageSize", [](ExifBuilder& b) { b.Exif.Long(0xA002, {4000}).Long(0xA003, {3000}); }, "Image size",
                 "4000 \u00D7 3000"},
        TRowCase{"NorthEast", [](ExifBuilder& b) { Coordinate(b, 1, "N", 48, 51, 302); Coordinate(b, 3, "E", 2, 17, 402); },
                 "Location", "48.858389, 2.294500"},
        TRowCase{"SouthEastBelowSeaLevel",
                 [](ExifBuilder& b) {
                   Coordinate(b, 1, "S", 33, 51, 245);
                   Coordinate(b, 3, "E", 151, 12, 540);
                   b.Gps.Raw(0x0005, 1, 1, {1}).Rational(0x0006, 35, 1);
                 },
                 "Location", "-33.856806, 151.215000, -35 m"},
        TRowCase{"NorthWestWithAltitude",
                 [](ExifBuilder& b) {
                   Coordinate(b, 1, "N", 40, 41, 0);
                   Coordinate(b, 3, "W", 74, 2, 0);
                   b.Gps.Rational(0x0006, 105, 10);
                 },
                 "Location", "40.683333, -74.033333, 10.5 m"},
        TRowCase{"SouthWest", [](ExifBuilder& b) { Coordinate(b, 1, "S", 22, 57, 0); Coordinate(b, 3, "W", 43, 12, 0); },
                 "Location", "-22.950000, -43.200000"},
        TRowCase{"LatitudeOnly", [](ExifBuilder& b) { Coordinate(b, 1, "N", 48, 51, 302); }, "Location", "<none>"},
        TRowCase{"DescriptionWithoutTitle", [](ExifBuilder& b) { b.Primary.Ascii(0x010E, "Sunset"); },
                 "Title/Description", "Sunset"},
        TRowCase{"ThreeStars", [](ExifBuilder& b) { b.Primary.Short(0x4746, {3}); }, "Rating",
                 "\u2605\u2605\u2605\u2606\u2606"},
        TRowCase{"NoStars", [](ExifBuilder& b) { b.Primary.Short(0x4746, {0}); }, "Rating",
                 "\u2606\u2606\u2606\u2606\u2606"},
        TRowCase{"Rejected", [](ExifBuilder& b) { b.Primary.Short(0x4746, {0xFFFF}); }, "Rating", "Rejected"}),
    [](const ::testing::TestParamInfo<TRowCase>& info) { return std::string(info.param.Name); });

TEST(TheSummary, ListsNothingForAPhotoWithoutItsValuesAndFollowsItsOrder) {
  EXPECT_TRUE(Summary([](ExifBuilder& b) { b.Primary.Short(0x0128, {2}); }).empty());
  const TListRows rows = Summary([](ExifBuilder& b) {
    b.Primary.Ascii(0x010F, "Canon").Ascii(0x0131, "Firmware 1.0");
    b.Exif.Rational(0x829A, 1, 60).Rational(0x829D, 4, 1);
  });
  std::vector<std::string> captions;
  for (const TListRow& row : rows) captions.push_back(row.Caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"   Camera", "   Exposure", "   Aperture", "   Software"}));
}

}  // namespace
