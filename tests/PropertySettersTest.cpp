// What an edit of a Standard row sets: rows named by key or caption, the typed date-time forms and
// their zones, and text beyond ASCII in the Exif tags and their XMP copies.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ExifBuilder.h"
#include "PhotoReading.h"
#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "core/PropertySetters.h"
#include "core/StandardListing.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/Exceptions.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPPacket.h"

using namespace Zorp::Exif;
using namespace Quorvane::Viewer;
using Zorp::Testing::ExifBuilder;

namespace {

namespace fs = std::filesystem;

// ---- typed date-times ----

struct TTypedCase {
  const char* Text;
  bool Parses;
  int Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  bool SubSeconds = false;
  const char* Offset = "";
  int OffsetMinutes = 0;
};

class ATypedDateTime : public ::testing::TestWithParam<TTypedCase> {};

TEST_P(ATypedDateTime, ReadsAsExpected) {
  const TTypedCase& c = GetParam();
  TTypedDateTime typed;
  ASSERT_EQ(ParseTypedDateTime(c.Text, typed, Zorp::Base::TFormatSettings::Invariant()), c.Parses) << c.Text;
  if (!c.Parses) return;
  EXPECT_EQ(typed.Value, Zorp::Base::EncodeDateTime(c.Year, c.Month, c.Day, c.Hour, c.Minute, c.Second, c.Millisecond));
  EXPECT_EQ(typed.HasSubSeconds, c.SubSeconds);
  EXPECT_EQ(typed.Offset, c.Offset);
  EXPECT_EQ(typed.OffsetMinutes, c.OffsetMinutes);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ATypedDateTime,
    ::testing::Values(TTypedCase{"2024-05-03 14:22:07", true, 2024, 5, 3, 14, 22, 7},
                      TTypedCase{"2024:05:03 14:22:07", true, 2024, 5, 3, 14, 22, 7},
                      TTypedCase{"2024-05-03T14:22:07", true, 2024, 5, 3, 14, 22, 7},
                      TTypedCase{"2024-05-03T14:22:07.25", true, 2024, 5, 3, 14, 22, 7, 250, true},
                      TTypedCase{"2024:05:03 14:22:07,5", true, 2024, 5, 3, 14, 22, 7, 500, true},
                      TTypedCase{"2024-05-03T14:22:07.0", true, 2024, 5, 3, 14, 22, 7, 0, true},
                      TTypedCase{"2024-05-03T14:22:07.123456", true, 2024, 5, 3, 14, 22, 7, 123, true},
                      TTypedCase{"2024-05-03T14:22:07Z", true, 2024, 5, 3, 14, 22, 7, 0, false, "+00:00"},
                      TTypedCase{"2024-05-03T14:22:07+02:00", true, 2024, 5, 3, 14, 22, 7, 0, false, "+02:00", 120},
                      TTypedCase{"2024-05-03T14:22:07.5-09:30", true, 2024, 5, 3, 14, 22, 7, 500, true, "-09:30", -570},
                      TTypedCase{"0001-01-01T00:00:00", true, 1, 1, 1, 0, 0, 0},
                      // the locale's form, here the invariant one with a shorter time
                      TTypedCase{"2024-05-03 14:22", true, 2024, 5, 3, 14, 22, 0}, TTypedCase{"soon", false},
                      TTypedCase{"", false}, TTypedCase{"2024-05-03T", false},
                      TTypedCase{"2024-05-03T14:22:07.", false}, TTypedCase{"2024-05-03T14:22:07+2", false},
                      TTypedCase{"2024-05-03T14:22:07+15:00", false}, TTypedCase{"2024-05-03T14:22:07+02:60", false},
                      TTypedCase{"2024-05-03T14:22:07 +02:00", false}, TTypedCase{"2024-05-03T14:22:07ZZ", false},
                      TTypedCase{"2024:05-03 14:22:07", false}, TTypedCase{"2024-02-30T14:22:07", false},
                      TTypedCase{"2024-05-03T24:00:00", false}, TTypedCase{"2024-05-03T14:22:60", false},
                      TTypedCase{"20240503T142207", false}, TTypedCase{"2024-05-03X14:22:07", false}));

// ---- setting rows ----

class TheSetters : public ::testing::Test {
 protected:
  void SetUp() override { Folder = Zorp::Testing::FreshTestFolder("quorvane-setters"); }
  void TearDown() override { fs::remove_all(Folder); }

  // A photo with a make, an Artist tag and an XMP packet that holds the copies of the text rows.
  std::string Photo() {
    ExifBuilder block;
    block.Primary.Ascii(ttMake, "Canon").Ascii(ttArtist, "Ana");
    block.Exif.Rational(ttExposureTime, 1, 60);
    const std::string xmp =
        std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description rdf:about='' xmlns:tiff='http://ns.adobe.com/tiff/1.0/' "
        "xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmlns:dc='http://purl.org/dc/elements/1.1/' "
        "tiff:Make='Canon' tiff:Model='X' xmp:CreatorTool='Y' tiff:Artist='Ana'>"
        "<dc:rights><rdf:Alt><rdf:li xml:lang='x-default'>old</rdf:li></rdf:Alt></dc:rights>"
        "<dc:description><rdf:Alt><rdf:li xml:lang='x-default'>old</rdf:li></rdf:Alt></dc:description>"
        "<dc:creator><rdf:Seq><rdf:li>Ana</rdf:li></rdf:Seq></dc:creator>"
        "</rdf:Description></rdf:RDF></x:xmpmeta>";
    const std::string path = (Folder / "photo.jpg").string();
    Zorp::Testing::WriteFileBytes(
        path, ExifBuilder::Jpeg({block.Build(), std::vector<std::uint8_t>(xmp.begin(), xmp.end())}));
    return path;
  }
  static std::unique_ptr<TExifData> Load(const std::string& path) { return Zorp::Testing::LoadedPhoto(path); }
  static std::string XMPValue(TExifData& data, TXMPNamespaceKind kind, const std::string& name) {
    return Zorp::Testing::XMPValueOf(data, kind, name);
  }

  fs::path Folder;
};

struct TTextCase {
  const char* Row;  // key or caption
  std::string (TCustomExifData::*Getter)() const;
  TXMPNamespaceKind Schema;
  const char* Property;
};

class ATextRow : public TheSetters, public ::testing::WithParamInterface<TTextCase> {};

TEST_P(ATextRow, KeepsTextBeyondASCIIInTheTagAndItsXMPCopy) {
  const TTextCase& c = GetParam();
  const std::string path = Photo(), text = "© 2026 Ana Müller 漢";
  auto data = Load(path);
  SetPropertyFromText(*data, c.Row, text);
  EXPECT_TRUE(data->EnforceASCII());  // the data's own option is left as it was
  data->SaveToJPEG(path, true);
  auto saved = Load(path);
  EXPECT_EQ(((*saved).*(c.Getter))(), text);
  EXPECT_EQ(XMPValue(*saved, c.Schema, c.Property), text);
}

INSTANTIATE_TEST_SUITE_P(Rows, ATextRow,
                         ::testing::Values(TTextCase{"copyright", &TCustomExifData::Copyright, xnDublinCore, "rights"},
                                           TTextCase{"Camera make", &TCustomExifData::CameraMake, xnTIFF, "Make"},
                                           TTextCase{"camera-model", &TCustomExifData::CameraModel, xnTIFF, "Model"},
                                           TTextCase{"software", &TCustomExifData::Software, xnXMPBasic, "CreatorTool"},
                                           TTextCase{"image-description", &TCustomExifData::ImageDescription,
                                                     xnDublinCore, "description"},
                                           TTextCase{"author", &TCustomExifData::Author, xnDublinCore, "creator"}),
                         [](const auto& info) { return std::to_string(info.index); });

TEST_F(TheSetters, GiveAnArtistTagTheAuthorAsUTF8AndRefuseTextXMLCannotHold) {
  const std::string path = Photo();
  auto data = Load(path);
  SetPropertyFromText(*data, "Author", "Zoë");
  EXPECT_EQ(data->PeekSection(skPrimary).GetStringValue(ttArtist), "Zoë");
  EXPECT_EQ(XMPValue(*data, xnTIFF, "Artist"), "Zoë");
  EXPECT_THROW(SetPropertyFromText(*data, "camera-make", "Nikon\x01"), EInvalidXMPText);
  EXPECT_THROW(SetPropertyFromText(*data, "camera-make", "Nik\xFFon"), EInvalidXMPText);
  EXPECT_EQ(data->CameraMake(), "Canon");
  EXPECT_TRUE(data->EnforceASCII());
}

struct TZoneCase {
  const char* Row;
  const char* Text;
  TExifTagID OffsetTag;  // 0: none written
  const char* Offset;
  int Hour;  // the hour stored
};

class AZone : public TheSetters, public ::testing::WithParamInterface<TZoneCase> {};

TEST_P(AZone, IsStoredBesideALocalTimeAndMovesTheGPSTimeToUTC) {
  const TZoneCase& c = GetParam();
  auto data = Load(Photo());
  SetPropertyFromText(*data, c.Row, c.Text);
  const std::string_view key = StandardRowKey(c.Row);
  const Zorp::Base::TDateTime value = key == "gps-date-time-utc" ? data->GPSDateTimeUTC()
                                      : key == "date-time"       ? data->DateTime()
                                                                 : data->DateTimeOriginal();
  EXPECT_EQ(Zorp::Base::DecodeDateTime(value).Hour, c.Hour);
  for (const TExifTagID tag : {ttOffsetTime, ttOffsetTimeOriginal, ttOffsetTimeDigitized})
    EXPECT_EQ(data->PeekSection(skExif).GetStringValue(tag), tag == c.OffsetTag ? c.Offset : "") << tag;
}

INSTANTIATE_TEST_SUITE_P(Rows, AZone,
                         ::testing::Values(TZoneCase{"date-time-original", "2024-05-03T14:22:07+02:00",
                                                     ttOffsetTimeOriginal, "+02:00", 14},
                                           TZoneCase{"Date/time", "2024-05-03T14:22:07Z", ttOffsetTime, "+00:00", 14},
                                           TZoneCase{"date-time-original", "2024:05:03 14:22:07", 0, "", 14},
                                           TZoneCase{"gps-date-time-utc", "2024-05-03T01:22:07+02:00", 0, "", 23},
                                           TZoneCase{"gps-date-time-utc", "2024-05-03T14:22:07-05:00", 0, "", 19}),
                         [](const auto& info) { return std::to_string(info.index); });

TEST_F(TheSetters, FindRowsByKeyOrCaptionAndRefuseBadDates) {
  auto data = Load(Photo());
  for (const char* row : {"camera-make", "Camera make", "date-time", "Date/time", "gps-date-time-utc"})
    EXPECT_TRUE(HasPropertySetter(row)) << row;
  for (const char* row : {"exposure-time", "Exposure time", "loaded-cleanly", "camera make", ""})
    EXPECT_FALSE(HasPropertySetter(row)) << row;
  EXPECT_THROW_MSG(SetPropertyFromText(*data, "date-time", "2024-05-03T14:22:07+2"), Zorp::Base::EConvertError,
                   "Invalid data format");
  EXPECT_THROW_MSG(SetPropertyFromText(*data, "gps-date-time-utc", "0001-01-01T00:30:00+01:00"),
                   Zorp::Base::EConvertError, "Invalid data format");  // before the first year in UTC
  EXPECT_EQ(data->DateTime(), 0);
}

}  // namespace
