// The Summary list: the readable forms of exposure, aperture, bias, focal length and position, the
// rows a photo's tags give, and the map address of its position.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ExifBuilder.h"
#include "core/SummaryListing.h"

using namespace Zorp::Exif;
using namespace Quorvane::Viewer;
using Zorp::Testing::ExifBuilder;

namespace {

struct TNumberCase {
  double Number;
  const char* Text;
};

TEST(TheNumberTexts, ReadAsACameraShowsThem) {
  const TNumberCase exposures[] = {{0.00598802395209581, "1/167 s"},
                                   {1.0 / 8000, "1/8000 s"},
                                   {0.25, "1/4 s"},
                                   {0.3, "0.3 s"},
                                   {0.9999, "1 s"},
                                   {2, "2 s"},
                                   {1.3, "1.3 s"},
                                   {30, "30 s"},
                                   {0, ""},
                                   {INFINITY, ""}};
  for (const auto& [seconds, text] : exposures) EXPECT_EQ(ExposureTimeText(seconds), text) << seconds;
  const TNumberCase apertures[] = {{1.8, "f/1.8"}, {11, "f/11"}, {15.96, "f/16"}, {-2, ""}};
  for (const auto& [fNumber, text] : apertures) EXPECT_EQ(ApertureText(fNumber), text) << fNumber;
  const TNumberCase biases[] = {{0, "0 EV"},      {-0.33, "-1/3 EV"},     {0.67, "+2/3 EV"},
                                {1, "+1 EV"},     {4.0 / 3, "+1 1/3 EV"}, {-1.5, "-1.5 EV"},
                                {0.5, "+0.5 EV"}, {0.7, "+0.7 EV"}};
  for (const auto& [ev, text] : biases) EXPECT_EQ(ExposureBiasText(ev), text) << ev;
  const TNumberCase degrees[] = {{-33.8568, "-33.856800"}, {-0.0000001, "0.000000"}};
  for (const auto& [value, text] : degrees) EXPECT_EQ(DecimalDegreesText(value), text) << value;
  EXPECT_EQ(FocalLengthText(24.0, 36), "24 mm (36 mm in 35 mm)");
  EXPECT_EQ(FocalLengthText(4.3), "4.3 mm");
  EXPECT_EQ(OpenStreetMapAddress(48.858389, 2.2945),
            "https://www.openstreetmap.org/?mlat=48.858389&mlon=2.294500#map=16/48.858389/2.294500");
}

// One entry of the main ('P'), Exif ('E') or GPS ('G') directory: ASCII text, or words of its type.
struct TTag {
  char Ifd;
  std::uint16_t ID;
  std::uint16_t Type;
  std::vector<std::uint32_t> Words;
  std::string Text = "";
};
TTag Ascii(char ifd, std::uint16_t id, std::string text) { return {ifd, id, 2, {}, std::move(text)}; }
// A GPS coordinate of degrees, minutes and tenths of seconds, with its reference letter.
std::vector<TTag> Coordinate(std::uint16_t refID, const char* ref, std::uint32_t deg, std::uint32_t min,
                             std::uint32_t tenths) {
  return {Ascii('G', refID, ref), {'G', static_cast<std::uint16_t>(refID + 1), 5, {deg, 1, min, 1, tenths, 10}}};
}
std::vector<TTag> operator+(std::vector<TTag> a, const std::vector<TTag>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TListRows Summary(const std::vector<TTag>& tags) {
  ExifBuilder block;
  for (const TTag& tag : tags) {
    auto& ifd = tag.Ifd == 'P' ? block.Primary : tag.Ifd == 'E' ? block.Exif : block.Gps;
    const bool fraction = tag.Type == 5 || tag.Type == 10;
    if (tag.Type == 2)
      ifd.Ascii(tag.ID, tag.Text);
    else if (tag.Type == 1)
      ifd.Raw(tag.ID, 1, 1, {static_cast<std::uint8_t>(tag.Words[0])});
    else
      ifd.Raw(tag.ID, tag.Type, static_cast<std::uint32_t>(tag.Words.size() / (fraction ? 2 : 1)), {}, tag.Words);
  }
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
  std::vector<TTag> Tags;
  const char* Label;
  std::string Value;
};

class ASummaryRow : public ::testing::TestWithParam<TRowCase> {};

TEST_P(ASummaryRow, ShowsTheValueOfTheTags) {
  const TListRows rows = Summary(GetParam().Tags);
  EXPECT_EQ(ValueOf(rows, GetParam().Label), GetParam().Value);
  for (const TListRow& row : rows) {
    ASSERT_EQ(row.SubItems.size(), 3u) << row.Caption;
    EXPECT_TRUE(row.Kind().empty() && row.SelectList().empty()) << row.Caption;
  }
}

constexpr std::uint32_t MinusOne = 0xFFFFFFFF;
const TTag Make = Ascii('P', 0x010F, "Canon"), Model = Ascii('P', 0x0110, "Canon EOS 5D");
const std::vector<TTag> Paris = Coordinate(1, "N", 48, 51, 302) + Coordinate(3, "E", 2, 17, 402);

INSTANTIATE_TEST_SUITE_P(
    Tags, ASummaryRow,
    ::testing::Values(
        TRowCase{{Make, Model}, "Camera", "Canon EOS 5D"},
        TRowCase{{Ascii('P', 0x010F, "NIKON CORPORATION"), Ascii('P', 0x0110, "NIKON D70")}, "Camera", "NIKON D70"},
        TRowCase{{Ascii('P', 0x010F, "SONY"), Ascii('P', 0x0110, "Sony ILCE-7 ")}, "Camera", "Sony ILCE-7"},
        TRowCase{{Ascii('P', 0x010F, "Apple"), Ascii('P', 0x0110, "iPhone 12")}, "Camera", "Apple iPhone 12"},
        TRowCase{{Ascii('E', 0xA433, "Sigma"), Ascii('E', 0xA434, "24-70mm F2.8")}, "Lens", "Sigma 24-70mm F2.8"},
        TRowCase{{Ascii('E', 0x9003, "2024:05:03 14:22:07"), Ascii('E', 0x9011, "+02:00"), Ascii('E', 0x9291, "35")},
                 "Taken",
                 "2024-05-03 14:22:07.35 +02:00"},
        TRowCase{{{'E', 0x9201, 10, {7, 1}}}, "Exposure", "1/128 s"},  // APEX
        TRowCase{{{'E', 0x9201, 10, {MinusOne, 1}}}, "Exposure", "2 s"},
        TRowCase{{{'E', 0x9201, 10, {0x80000000u, 1}}}, "Exposure", "<none>"},  // "unknown"
        TRowCase{{{'E', 0x9202, 5, {6, 1}}}, "Aperture", "f/8"},
        TRowCase{{{'E', 0x829D, 5, {11, 1}}, {'E', 0x9202, 5, {6, 1}}}, "Aperture", "f/11"},
        TRowCase{{{'E', 0x8827, 3, {200}}}, "ISO", "ISO 200"},
        TRowCase{{{'E', 0x920A, 5, {240, 10}}, {'E', 0xA405, 3, {36}}}, "Focal length", "24 mm (36 mm in 35 mm)"},
        TRowCase{{{'E', 0x9204, 10, {MinusOne, 3}}}, "Exposure bias", "-1/3 EV"},
        TRowCase{{{'E', 0xA002, 4, {4000}}, {'E', 0xA003, 4, {3000}}}, "Image size", "4000 \u00D7 3000"},
        TRowCase{Paris, "Location", "48.858389, 2.294500"},
        TRowCase{Paris + std::vector<TTag>{{'G', 5, 1, {1}}, {'G', 6, 5, {35, 1}}}, "Location",
                 "48.858389, 2.294500, -35 m"},
        TRowCase{Paris + std::vector<TTag>{{'G', 6, 5, {105, 10}}}, "Location", "48.858389, 2.294500, 10.5 m"},
        TRowCase{Coordinate(1, "S", 33, 51, 245) + Coordinate(3, "E", 151, 12, 540), "Location",
                 "-33.856806, 151.215000"},
        TRowCase{Coordinate(1, "N", 40, 41, 0) + Coordinate(3, "W", 74, 2, 0), "Location", "40.683333, -74.033333"},
        TRowCase{Coordinate(1, "S", 22, 57, 0) + Coordinate(3, "W", 43, 12, 0), "Location", "-22.950000, -43.200000"},
        TRowCase{Coordinate(1, "N", 48, 51, 302), "Location", "<none>"},
        TRowCase{{Ascii('P', 0x010E, "Sunset")}, "Title/Description", "Sunset"},
        TRowCase{{{'P', 0x4746, 3, {3}}}, "Rating", "\u2605\u2605\u2605\u2606\u2606"},
        TRowCase{{{'P', 0x4746, 3, {0}}}, "Rating", "\u2606\u2606\u2606\u2606\u2606"},
        TRowCase{{{'P', 0x4746, 3, {0xFFFF}}}, "Rating", "Rejected"}));

TEST(TheSummary, ListsNothingForAPhotoWithoutItsValuesAndFollowsItsOrder) {
  EXPECT_TRUE(Summary({{'P', 0x0128, 3, {2}}}).empty());
  const TListRows rows =
      Summary({Make, Ascii('P', 0x0131, "Firmware 1.0"), {'E', 0x829A, 5, {1, 60}}, {'E', 0x829D, 5, {4, 1}}});
  std::vector<std::string> captions;
  for (const TListRow& row : rows) captions.push_back(row.Caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"   Camera", "   Exposure", "   Aperture", "   Software"}));
  EXPECT_EQ(rows[1].Value(), "1/60 s");
}

}  // namespace
