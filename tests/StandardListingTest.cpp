// The Standard listing: value formats, the rows left out, the order of groups and rows, the load
// status under each heading, and the shared sample photos.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ExifBuilder.h"
#include "core/EnumTexts.h"
#include "core/StandardListing.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/TiffReader.h"

using namespace Zorp::Exif;
using namespace Quorvane::Viewer;
using Zorp::Testing::ExifBuilder;
using Zorp::Testing::LoadJPEG;

namespace {

using TSetup = std::function<void(TExifData&)>;

TListRows List(const TExifData& data) {
  TListRows rows;
  ListStandardData(rows, data, Zorp::Base::TFormatSettings::Invariant());
  return rows;
}

// The index of the row with the caption; the row count when there is none.
std::size_t IndexOf(const TListRows& rows, const std::string& caption) {
  return static_cast<std::size_t>(
      std::find_if(rows.begin(), rows.end(), [&](const TListRow& r) { return r.Caption == caption; }) - rows.begin());
}

const TListRow* Find(const TListRows& rows, const std::string& label) {
  const std::size_t at = IndexOf(rows, "   " + label);
  return at < rows.size() ? &rows[at] : nullptr;
}

// values holds whole elements of type (a fraction is two of them).
template <typename T, std::size_t N>
void AddTag(TExifData& data, TExifSectionKind kind, TExifTagID id, TTiffDataType type, const T (&values)[N]) {
  const auto count = static_cast<std::int32_t>(N * sizeof(T) / TiffDataTypeSize(type));
  data.Sections(kind).AddOrUpdateTag(id, type, count, values);
}

void Word(TExifData& data, TExifSectionKind kind, TExifTagID id, std::uint16_t value) {
  data.Sections(kind).SetWordValue(id, 0, value);
}

void Fraction(TExifData& data, TExifSectionKind kind, TExifTagID id, std::uint32_t n, std::uint32_t d) {
  data.Sections(kind).SetFractionValue(id, 0, {n, d});
}

struct TValueCase {
  const char* Name;
  TSetup Setup;
  const char* Label;
  std::string Value;
  std::string Kind;
  std::string SelectList = "";
};

class AListedValue : public ::testing::TestWithParam<TValueCase> {};

TEST_P(AListedValue, ReadsAsExpected) {
  const TValueCase& c = GetParam();
  const std::vector<std::string>& labels = StandardLabels();
  EXPECT_NE(std::find(labels.begin(), labels.end(), c.Label), labels.end())
      << c.Label << " is missing from StandardLabels";
  TExifData data;
  data.SetEnsureEnumsInRange(false);
  Word(data, skPrimary, ttOrientation, 1);
  Word(data, skExif, ttColorSpace, 1);
  c.Setup(data);
  const TListRows rows = List(data);
  const TListRow* row = Find(rows, c.Label);
  ASSERT_NE(row, nullptr) << c.Label;
  EXPECT_EQ(row->SubItems, (std::vector<std::string>{c.Value, c.Kind, c.SelectList}));
}

const TValueCase ValueCases[] = {
    {"Text", [](TExifData& d) { d.Sections(skPrimary).SetStringValue(ttMake, "Canon"); }, "Camera make", "Canon", "string"},
    {"Orientation", [](TExifData& d) { Word(d, skPrimary, ttOrientation, 6); }, "Orientation",
     OrientationToStr(toRightTop), "select", OrientationChoices()},
    {"DateTime", [](TExifData& d) { d.Sections(skPrimary).SetStringValue(ttDateTime, "2010:07:04 10:20:30"); },
     "Date/time", DateTimeToText(Zorp::Base::EncodeDateTime(2010, 7, 4, 10, 20, 30, 0), Zorp::Base::TFormatSettings::Invariant()),
     "datetime"},
    // A date-time the photo does not hold is empty, not the zero date, and still editable.
    {"DateTimeMissing", [](TExifData& d) { d.Sections(skPrimary).SetStringValue(ttMake, "Canon"); }, "Date/time", "",
     "datetime"},
    {"ResolutionWithoutUnitWord",
     [](TExifData& d) {
       Fraction(d, skPrimary, ttXResolution, 72, 1);
       Fraction(d, skPrimary, ttYResolution, 72, 1);
       Word(d, skPrimary, ttResolutionUnit, 1);
     },
     "Resolution", "72 x 72 ", ""},
    {"UnsignedFraction", [](TExifData& d) { Fraction(d, skExif, ttApertureValue, 28, 10); }, "Aperture value", "2.8", ""},
    {"LargeUnsignedFraction", [](TExifData& d) { Fraction(d, skExif, ttApertureValue, 0xFFFFFFFF, 1); },
     "Aperture value", "4294967295", ""},
    {"SignedFraction",
     [](TExifData& d) { AddTag(d, skExif, ttBrightnessValue, dtSRational, {-3, 2}); },
     "Brightness value", "-1.5", ""},
    {"SecondsUnit", [](TExifData& d) { Fraction(d, skExif, ttExposureTime, 1, 125); }, "Exposure time", "0.008 seconds", ""},
    {"RGB", [](TExifData&) {}, "Colour space", "RGB", ""},
    {"FifteenDigits", [](TExifData& d) { AddTag(d, skExif, ttExposureBiasValue, dtSRational, {-1, 3}); },
     "Exposure bias value", "-0.333333333333333", ""},
    {"Uncalibrated", [](TExifData& d) { Word(d, skExif, ttColorSpace, 0xFFFF); }, "Colour space", "Uncalibrated", ""},
    {"WidthLow16Bits", [](TExifData& d) { d.Sections(skExif).SetLongWordValue(ttPixelXDimension, 0, 0x12345); },
     "Exif image width", "9029", ""},
    {"MissingFocalLength35", [](TExifData&) {}, "Focal length in 35mm film", "0", ""},
    {"ShutterSpeedFourDigits",
     [](TExifData& d) { AddTag(d, skExif, ttShutterSpeedValue, dtSRational, {7, 1}); },
     "Shutter speed", "7.812 milliseconds", ""},
    {"SubjectLocation",
     [](TExifData& d) { AddTag(d, skExif, ttSubjectLocation, dtShort, {std::uint16_t{3}, std::uint16_t{0xFFFE}}); },
     "Subject location", "(3, -2)", ""},
    {"ISOSpeeds", [](TExifData& d) { AddTag(d, skExif, ttISOSpeedRatings, dtShort, {std::uint16_t{100}, std::uint16_t{200}}); },
     "ISO speed rating(s)", "100,200", ""},
    {"EnumOutOfRange", [](TExifData& d) { Word(d, skExif, ttLightSource, 300); }, "Light source", LightSourceToStr(300), ""},
    {"FlashModeAuto", [](TExifData& d) { Word(d, skExif, ttFlash, 0x19); }, "Flash mode", FlashModeToStr(efAuto), ""},
    {"Latitude",
     [](TExifData& d) {
       AddTag(d, skGps, ttGPSLatitude, dtRational, {51u, 1u, 30u, 1u, 1234u, 100u});
       d.Sections(skGps).SetStringValue(ttGPSLatitudeRef, "N");
     },
     "GPS latitude", "51? 30 minutes and 12.34 seconds north", ""},
    {"LatitudeWithAnOddLetterAndNoSeconds",
     [](TExifData& d) {
       AddTag(d, skGps, ttGPSDestLatitude, dtRational, {10u, 1u, 30u, 1u, 5u, 0u});
       d.Sections(skGps).SetStringValue(ttGPSDestLatitudeRef, "X");
     },
     "GPS destination latitude", "10? 30 minutes and 0 seconds ", ""},
    {"AltitudeWithoutReference", [](TExifData& d) { Fraction(d, skGps, ttGPSAltitude, 1005, 10); }, "GPS altitude",
     "100.5 metres ", ""},
    // Rows shown only for photos holding their tag.
    {"Rating", [](TExifData& d) { Word(d, skPrimary, ttRating, 4); }, "Rating", "4", ""},
    {"ExposureMode", [](TExifData& d) { Word(d, skExif, ttExposureMode, 2); }, "Exposure mode", "Auto bracket", ""},
    {"Contrast", [](TExifData& d) { Word(d, skExif, ttContrast, 1); }, "Contrast", "Soft", ""},
    {"Saturation", [](TExifData& d) { Word(d, skExif, ttSaturation, 2); }, "Saturation", "High", ""},
    {"Sharpness", [](TExifData& d) { Word(d, skExif, ttSharpness, 2); }, "Sharpness", "Hard", ""},
    {"SharpnessUnknown", [](TExifData& d) { Word(d, skExif, ttSharpness, 7); }, "Sharpness", ContrastToStr(7), ""},
    {"OffsetTimeOriginal", [](TExifData& d) { d.Sections(skExif).SetStringValue(ttOffsetTimeOriginal, "+01:00"); },
     "Offset time original", "+01:00", ""},
    {"SubSecondTime", [](TExifData& d) { d.Sections(skExif).SetStringValue(ttSubsecTimeDigitized, "72"); },
     "Sub-second time digitised", "72", ""},
    {"LensModel", [](TExifData& d) { d.Sections(skExif).SetStringValue(ttLensModel, "EF-S18-55mm f/3.5-5.6"); },
     "Lens model", "EF-S18-55mm f/3.5-5.6", ""},
    {"BodySerialNumber", [](TExifData& d) { d.Sections(skExif).SetStringValue(ttBodySerialNumber, "0123456789"); },
     "Body serial number", "0123456789", ""},
};

INSTANTIATE_TEST_SUITE_P(Rows, AListedValue, ::testing::ValuesIn(ValueCases),
                         [](const auto& info) { return std::string(info.param.Name); });

struct TOmissionCase {
  const char* Name;
  TSetup Setup;
  const char* Label;
};

class AnOmittedRow : public ::testing::TestWithParam<TOmissionCase> {};

TEST_P(AnOmittedRow, IsNotListed) {
  TExifData data;
  data.SetEnsureEnumsInRange(false);
  // Every group present, so that only the row's own rule can leave it out.
  data.Sections(skPrimary).SetStringValue(ttMake, "Canon");
  Fraction(data, skExif, ttFNumber, 28, 10);
  data.Sections(skInterop).SetStringValue(0x0001, "R98");
  data.Sections(skGps).SetStringValue(ttGPSMapDatum, "WGS-84");
  Word(data, skThumbnail, ttCompression, 6);
  GetParam().Setup(data);
  const TListRows rows = List(data);
  EXPECT_NE(Find(rows, "F number"), nullptr);
  EXPECT_EQ(Find(rows, GetParam().Label), nullptr);
}

const TOmissionCase OmissionCases[] = {
    {"ZeroDenominator", [](TExifData& d) { Fraction(d, skExif, ttApertureValue, 28, 0); }, "Aperture value"},
    {"ZeroDenominatorWithUnit", [](TExifData& d) { Fraction(d, skGps, ttGPSAltitude, 5, 0); }, "GPS altitude"},
    {"ColourSpaceTwo", [](TExifData& d) { Word(d, skExif, ttColorSpace, 2); }, "Colour space"},
    {"MissingResolution", [](TExifData&) {}, "Resolution"},
    {"MissingFlash", [](TExifData&) {}, "Flash present"},
    {"MissingFlashEnergy", [](TExifData& d) { Word(d, skExif, ttFlash, 0x19); }, "Flash strobe energy"},
    {"SubjectLocationBothMinusOne",
     [](TExifData& d) { AddTag(d, skExif, ttSubjectLocation, dtShort, {std::uint16_t{0xFFFF}, std::uint16_t{0xFFFF}}); },
     "Subject location"},
    {"MissingLatitude", [](TExifData&) {}, "GPS latitude"},
    {"MissingRating", [](TExifData&) {}, "Rating"},
    {"MissingContrast", [](TExifData&) {}, "Contrast"},
    {"MissingLensModel", [](TExifData&) {}, "Lens model"},
    {"MissingOffsetTime", [](TExifData&) {}, "Offset time"},
    {"ShutterSpeedOfNoFiniteTime",
     [](TExifData& d) { Fraction(d, skExif, ttShutterSpeedValue, 0x80000000u, 1); }, "Shutter speed"},
};

INSTANTIATE_TEST_SUITE_P(Rows, AnOmittedRow, ::testing::ValuesIn(OmissionCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(TheStandardListing, OfAMainDirectoryAloneListsItsRowsInOrder) {
  TExifData data;
  data.Sections(skPrimary).SetStringValue(ttMake, "Canon");
  const TListRows rows = List(data);
  std::vector<std::string> captions;
  for (const TListRow& row : rows) captions.push_back(row.Caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"General", "   Byte order", "Main IFD", "   Loaded cleanly",
                                                "   Camera make", "   Camera model", "   Software", "   Date/time",
                                                "   Image description", "   Copyright", "   Orientation", "   Title",
                                                "   Subject", "   Author", "   Comments", "   Keywords"}));
  EXPECT_EQ(rows[1].SubItems, (std::vector<std::string>{"Intel (small endian)", "", ""}));
  EXPECT_EQ(rows[3].Value(), "Yes");
}

TEST(TheStandardListing, ListsEveryGroupInOrderWithItsStatusFirst) {
  ExifBuilder block(boBigEndian);
  block.Primary.Ascii(ttMake, "Canon");
  block.Exif.Rational(ttExposureTime, 1, 125);
  block.Interop.Ascii(0x0001, "R98");
  block.Gps.Raw(ttGPSVersionID, 1, 4, {2, 2, 0, 0});
  block.Thumbnail.Short(ttCompression, {6});
  TExifData data;
  data.SetEnsureEnumsInRange(false);
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  const TListRows rows = List(data);
  std::vector<std::string> headings;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].IsValueRow()) {
      EXPECT_EQ(rows[i].Caption.substr(0, 3), "   ");
      EXPECT_EQ(rows[i].SubItems.size(), 3u);
      continue;
    }
    headings.push_back(rows[i].Caption);
    if (i > 0) {
      EXPECT_EQ(rows.at(i + 1).Caption, "   Loaded cleanly") << rows[i].Caption;
    }
  }
  EXPECT_EQ(headings, (std::vector<std::string>{"General", "Main IFD", "Exif sub-IFD", "Interoperability sub-IFD",
                                                "GPS sub-IFD", "Thumbnail IFD"}));
  EXPECT_EQ(Find(rows, "Byte order")->Value(), "Motorola (big endian)");
  EXPECT_EQ(Find(rows, "Exposure time")->Value(), "0.008 seconds");
  EXPECT_EQ(Find(rows, "GPS version")->Value(), data.GPSVersion().AsString());
  // No image behind the thumbnail directory.
  EXPECT_EQ(rows.back().Caption, "   Thumbnail orientation");
  EXPECT_EQ(rows[rows.size() - 2].Value(), "No: bad image offset");
}

TEST(TheStandardListing, ListsADirectoryWhoseTagsWereAllDroppedWithItsProblem) {
  TExifData data;
  data.Sections(skPrimary).SetStringValue(ttMake, "Canon");
  // What the reader leaves of a GPS directory whose every entry had a bad header.
  Zorp::Base::TMemoryStream stream;
  TTiffReader reader(stream, 0, boLittleEndian);
  TIfdInfo info;
  info.LoadErrors = {leBadTagHeader};
  data.Sections(skGps).LoadFromIfd(reader, info);
  const TListRows rows = List(data);
  const std::size_t gps = IndexOf(rows, "GPS sub-IFD");
  ASSERT_LT(gps + 2, rows.size());
  EXPECT_EQ(rows[gps + 1].Value(), "No: one or more bad tag headers");
  EXPECT_EQ(rows[gps + 2].Caption, "   GPS version");
  EXPECT_EQ(IndexOf(rows, "Exif sub-IFD"), rows.size());
}

// ---- Values as the tags hold them, without padding and without borrowed parts --------------

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// An ASCII entry of exactly these bytes (padding, no NUL, garbage after the NUL).
void RawAscii(Zorp::Testing::IfdBuilder& ifd, TExifTagID id, std::string_view bytes) {
  ifd.Raw(id, dtAscii, static_cast<std::uint32_t>(bytes.size()), Bytes(bytes));
}

// A character-code header and text as UTF-16 in the byte order given.
std::vector<std::uint8_t> Utf16Comment(std::string_view header, std::u16string_view text, TByteOrder order) {
  std::vector<std::uint8_t> bytes = Bytes(header);
  for (char16_t unit : text) {
    const auto low = static_cast<std::uint8_t>(unit & 0xFF), high = static_cast<std::uint8_t>(unit >> 8);
    bytes.insert(bytes.end(), order == boBigEndian ? std::initializer_list<std::uint8_t>{high, low}
                                                   : std::initializer_list<std::uint8_t>{low, high});
  }
  return bytes;
}

struct TShownValueCase {
  const char* Name;
  std::function<void(ExifBuilder&)> Build;
  const char* Label;
  std::string Shown;
};

class AListedText : public ::testing::TestWithParam<TShownValueCase> {};

TEST_P(AListedText, ShowsWhatItsTagsHoldInEitherByteOrder) {
  for (TByteOrder order : {boLittleEndian, boBigEndian}) {
    ExifBuilder block(order);
    GetParam().Build(block);
    TExifData data;
    LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
    const TListRows rows = List(data);
    const TListRow* row = Find(rows, GetParam().Label);
    ASSERT_NE(row, nullptr) << order;
    EXPECT_EQ(row->Value(), GetParam().Shown) << order;
  }
}

const std::string Taken = "2004-01-01 12:00:00";
const std::u16string_view SetText = u"Set: 1 \u00e9";

INSTANTIATE_TEST_SUITE_P(
    Cases, AListedText,
    ::testing::Values(
        TShownValueCase{"MakePaddedWithNuls",
                        [](ExifBuilder& b) { RawAscii(b.Primary, ttMake, std::string_view("Hewlett-Packard\0\0\0\0\0", 20)); },
                        "Camera make", "Hewlett-Packard"},
        TShownValueCase{"ModelWithBufferLeftoversAfterItsNul",
                        [](ExifBuilder& b) { RawAscii(b.Primary, ttModel, std::string_view("E775\0XYZ old\0", 13)); },
                        "Camera model", "E775"},
        TShownValueCase{"SoftwarePaddedWithBlanks",
                        [](ExifBuilder& b) { RawAscii(b.Primary, ttSoftware, std::string_view("v1.0    \0", 9)); },
                        "Software", "v1.0"},
        TShownValueCase{"ArtistPadded",
                        [](ExifBuilder& b) { RawAscii(b.Primary, ttArtist, std::string_view("Ann  \0\0\0", 8)); }, "Author",
                        "Ann"},
        TShownValueCase{"MapDatumPadded",
                        [](ExifBuilder& b) { RawAscii(b.Gps, ttGPSMapDatum, std::string_view("WGS-84\0\0\0\0", 10)); },
                        "GPS map datum", "WGS-84"},
        TShownValueCase{"DateTimeWithTwoNuls",
                        [](ExifBuilder& b) { RawAscii(b.Primary, ttDateTime, std::string_view("2004:01:01 12:00:00\0\0", 21)); },
                        "Date/time", Taken},
        TShownValueCase{"DateTimeOriginalWithBlanksAndNul",
                        [](ExifBuilder& b) {
                          RawAscii(b.Exif, ttDateTimeOriginal, std::string_view("2004:01:01 12:00:00  \0", 22));
                        },
                        "Date/time original", Taken},
        TShownValueCase{"DateTimeDigitisedWithoutNul",
                        [](ExifBuilder& b) { RawAscii(b.Exif, ttDateTimeDigitized, "2004:01:01 12:00:00"); },
                        "Date/time digitised", Taken},
        TShownValueCase{"DateTimeFollowedByMoreText",
                        [](ExifBuilder& b) { RawAscii(b.Primary, ttDateTime, std::string_view("2004:01:01 12:00:00 x\0", 22)); },
                        "Date/time", ""},
        TShownValueCase{"GPSTimeWithoutDate",
                        [](ExifBuilder& b) {
                          b.Primary.Ascii(ttDateTime, "2009:06:20 23:00:00");
                          b.Gps.Raw(ttGPSTimeStamp, dtRational, 3, {}, {8, 1, 41, 1, 7, 1});
                        },
                        "GPS date/time (UTC)", "08:41:07"},
        TShownValueCase{"GPSDateWithoutTime",
                        [](ExifBuilder& b) { b.Gps.Ascii(ttGPSDateStamp, "2009:06:24"); }, "GPS date/time (UTC)",
                        "2009-06-24"},
        TShownValueCase{"GPSPaddedDateAndTime",
                        [](ExifBuilder& b) {
                          RawAscii(b.Gps, ttGPSDateStamp, std::string_view("2009:06:24\0\0", 12));
                          b.Gps.Raw(ttGPSTimeStamp, dtRational, 3, {}, {8, 1, 41, 1, 7, 1});
                        },
                        "GPS date/time (UTC)", "2009-06-24 08:41:07"},
        TShownValueCase{"GPSNeitherDateNorTime",
                        [](ExifBuilder& b) {
                          b.Primary.Ascii(ttDateTime, "2009:06:20 23:00:00");
                          b.Gps.Raw(ttGPSVersionID, dtByte, 4, {2, 2, 0, 0});
                        },
                        "GPS date/time (UTC)", ""},
        TShownValueCase{"UnicodeCommentInThePhotosByteOrder",
                        [](ExifBuilder& b) {
                          b.Exif.Undefined(ttUserComment, Utf16Comment(std::string_view("UNICODE\0", 8), SetText, b.Order));
                        },
                        "Comments", "Set: 1 \u00e9"},
        TShownValueCase{"CommentOfUndefinedCodeInPlainText",
                        [](ExifBuilder& b) {
                          b.Exif.Undefined(ttUserComment, Bytes(std::string_view("\0\0\0\0\0\0\0\0Value 1\0", 16)));
                        },
                        "Comments", "Value 1"},
        TShownValueCase{"CommentOfUndefinedCodeInBinary",
                        [](ExifBuilder& b) {
                          b.Exif.Undefined(ttUserComment, Bytes(std::string_view("\0\0\0\0\0\0\0\0\x01\x02\xFFxy", 13)));
                        },
                        "Comments", ""},
        TShownValueCase{"WindowsTitleWithoutTerminator",
                        [](ExifBuilder& b) {
                          b.Primary.Raw(ttXPTitle, dtByte, 6, Utf16Comment("", u"hdr", boLittleEndian));
                        },
                        "Title", "hdr"},
        TShownValueCase{"WindowsKeywordsWithTerminator",
                        [](ExifBuilder& b) {
                          b.Primary.Raw(ttXPKeywords, dtByte, 8, Utf16Comment("", std::u16string_view(u"hdr\0", 4), boLittleEndian));
                        },
                        "Keywords", "hdr"}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TPreviewCase {
  const char* Name;
  bool WithDirectory;
  bool WithImage;
  bool Shown;
};

class ThePreview : public ::testing::TestWithParam<TPreviewCase> {};

TEST_P(ThePreview, ShowsTheThumbnailOnlyWhenItsGroupIsListedWithAnImage) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Canon");
  if (GetParam().WithDirectory) block.Thumbnail.Short(ttCompression, {6});
  if (GetParam().WithImage) {
    std::vector<std::uint8_t> rgb(8 * 8 * 3, 90);
    Zorp::Base::TJPEGImage image;
    image.AssignRGB(rgb.data(), 8, 8);
    block.ThumbnailJPEG = image.Bytes();
  }
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  EXPECT_EQ(ShowsThumbnail(data), GetParam().Shown);
  if (GetParam().Shown) {
    const TListRows rows = List(data);
    EXPECT_EQ(rows[rows.size() - 2].Value(), "Yes");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ThePreview,
                         ::testing::Values(TPreviewCase{"WithImage", true, true, true},
                                           TPreviewCase{"DirectoryWithoutImage", true, false, false},
                                           TPreviewCase{"NoDirectory", false, false, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Every photo of the shared collection that loads also lists.
TEST(TheStandardListing, ListsEverySamplePhoto) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no sample photos at " << folder;
  int listed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const auto ext = entry.path().extension().string();
    if (ext != ".jpg" && ext != ".jpeg") continue;
    TExifData data;
    data.SetEnsureEnumsInRange(false);
    try {
      data.LoadFromJPEG(entry.path().string());
    } catch (const Zorp::Base::Exception&) {
      continue;
    }
    if (data.IsEmpty()) continue;
    EXPECT_NO_THROW(List(data)) << entry.path();
    ++listed;
  }
  EXPECT_GT(listed, 0);
}

// ---- row keys ----

TEST(TheStandardRowKeys, NameEachRowOnceAndMapToItsCaptionBothWays) {
  std::vector<std::string_view> names;
  std::vector<std::string> captions;
  for (const TStandardRow& row : StandardRows()) {
    names.push_back(row.Key);
    names.push_back(row.Caption);
    captions.emplace_back(row.Caption);
    EXPECT_EQ(row.Key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-"), std::string_view::npos) << row.Key;
    EXPECT_EQ(StandardRowKey(row.Caption), row.Key);
    EXPECT_EQ(StandardRowKey(row.Key), row.Key);
    EXPECT_EQ(StandardRowCaption(row.Key), row.Caption);
    EXPECT_EQ(StandardRowCaption(row.Caption), row.Caption);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());  // no key or caption twice
  EXPECT_EQ(captions, StandardLabels());
  for (const char* unknown : {"", "camera make", "Camera Make", "camera-make ", "   Camera make"}) {
    EXPECT_EQ(StandardRowKey(unknown), "") << unknown;
    EXPECT_EQ(StandardRowCaption(unknown), "") << unknown;
  }
}

// Keys are what scripts and CSV columns name: they must not change.
class AStableKey : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(AStableKey, NamesItsRow) { EXPECT_EQ(StandardRowCaption(GetParam().first), GetParam().second); }

INSTANTIATE_TEST_SUITE_P(Keys, AStableKey,
                         ::testing::Values(std::pair{"camera-make", "Camera make"}, std::pair{"date-time", "Date/time"},
                                           std::pair{"date-time-original", "Date/time original"},
                                           std::pair{"date-time-digitised", "Date/time digitised"},
                                           std::pair{"gps-date-time-utc", "GPS date/time (UTC)"},
                                           std::pair{"gps-latitude", "GPS latitude"},
                                           std::pair{"iso-speed-ratings", "ISO speed rating(s)"},
                                           std::pair{"f-number", "F number"},
                                           std::pair{"image-description", "Image description"},
                                           std::pair{"loaded-cleanly", "Loaded cleanly"}));

TEST(TheStandardListing, GivesEachValueRowTheKeyOfItsCaption) {
  ExifBuilder block(boBigEndian);
  block.Primary.Ascii(ttMake, "Canon");
  block.Exif.Rational(ttExposureTime, 1, 125).Ascii(ttLensModel, "50mm");
  block.Gps.Raw(ttGPSVersionID, 1, 4, {2, 2, 0, 0});
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  std::size_t values = 0;
  for (const TListRow& row : List(data)) {
    if (!row.IsValueRow()) {
      EXPECT_EQ(row.Key, "") << row.Caption;
      continue;
    }
    ++values;
    EXPECT_EQ(row.Key, StandardRowKey(row.Caption.substr(3))) << row.Caption;
    EXPECT_NE(row.Key, "") << row.Caption;
  }
  EXPECT_GT(values, 40u);
}

TEST(TheStandardListing, OffersAPhotoWithoutExifItsEditableRowsEmpty) {
  TListRows rows;
  AddCaption(rows, "No Exif metadata found");
  ListEmptyEditableRows(rows);
  std::vector<std::string> keys;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    keys.push_back(rows[i].Key);
    EXPECT_EQ(rows[i].Value(), "") << rows[i].Caption;
    EXPECT_NE(rows[i].Kind(), "") << rows[i].Caption;
    EXPECT_NE(rows[i].Kind(), rkNoYes) << rows[i].Caption;
  }
  EXPECT_EQ(rows[0].Caption, "No Exif metadata found");
  EXPECT_EQ(keys, (std::vector<std::string>{"camera-make", "camera-model", "software", "date-time", "image-description",
                                            "copyright", "orientation", "title", "subject", "author", "comments",
                                            "keywords", "exif-version", "date-time-original", "date-time-digitised",
                                            "gps-date-time-utc"}));
  EXPECT_NE(rows[IndexOf(rows, "   Orientation")].SelectList(), "");
}

}  // namespace
