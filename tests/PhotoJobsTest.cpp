#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "ExifBuilder.h"
#include "PhotoReading.h"
#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "core/PhotoJobs.h"
#include "core/PhotoListing.h"
#include "zorp/base/SafeFile.h"
#include "zorp/base/TextEncoding.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace {

namespace fs = std::filesystem;
using namespace Zorp::Exif;
using namespace Quorvane::Viewer;
using Bytes = std::vector<std::uint8_t>;
using Zorp::Testing::ExifBuilder;
using Zorp::Testing::ReadFileBytes;

class PhotoJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = Zorp::Testing::FreshTestFolder("quorvane-jobs");
  }
  void TearDown() override {
    for (const auto& entry : fs::directory_iterator(Folder)) fs::permissions(entry.path(), fs::perms::owner_all);
    fs::remove_all(Folder);
  }

  // A built photo with the three date-times (an empty text leaves one out), their sub-seconds and an
  // XMP packet with the mirrors of the first two where given (the container updates mirrors that are
  // there).
  std::string DatedPhoto(const std::string& name, const std::string& dateTime, const std::string& original,
                         const std::string& digitized, const std::string& subSecOriginal = "") {
    ExifBuilder block;
    block.Primary.Ascii(ttMake, "Canon");
    if (!dateTime.empty()) block.Primary.Ascii(ttDateTime, dateTime);
    if (!original.empty()) block.Exif.Ascii(ttDateTimeOriginal, original);
    if (!digitized.empty()) block.Exif.Ascii(ttDateTimeDigitized, digitized);
    if (!subSecOriginal.empty()) block.Exif.Ascii(ttSubsecTimeOriginal, subSecOriginal);
    block.Exif.Short(ttExifImageWidth, {24});
    const auto mirror = [](const char* name, std::string date) {
      if (date.empty()) return std::string();
      date[4] = date[7] = '-';
      date[10] = 'T';
      return std::string(" ") + name + "='" + date + "'";
    };
    const std::string xmp = std::string(XMPSignature) +
                            "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                            "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                            "rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:Rating='3' "
                            "xmlns:exif='http://ns.adobe.com/exif/1.0/'" +
                            mirror("exif:DateTimeOriginal", original) + " xmlns:tiff='http://ns.adobe.com/tiff/1.0/'" +
                            mirror("tiff:DateTime", dateTime) + "/></rdf:RDF></x:xmpmeta>";
    const std::string path = (Folder / name).string();
    Zorp::Testing::WriteFileBytes(path, ExifBuilder::Jpeg({block.Build(), Bytes(xmp.begin(), xmp.end())}));
    return path;
  }
  // An XMP APP1 segment: the signature and a packet of one rdf:Description with these attributes
  // and inner elements (namespaces declared by the caller).
  static Bytes XmpSegment(const std::string& attributes, const std::string& elements = "") {
    const std::string text = std::string(XMPSignature) +
                             "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                             "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' " +
                             attributes + ">" + elements + "</rdf:Description></rdf:RDF></x:xmpmeta>";
    return Bytes(text.begin(), text.end());
  }
  // A photo with a make, the GPS directory (when withGps) and an XMP segment of these bytes.
  std::string PhotoWithXmp(const std::string& name, const Bytes& xmp, bool withGps = true) {
    ExifBuilder block;
    block.Primary.Ascii(ttMake, "DJI");
    block.Exif.Short(ttExifImageWidth, {24});
    if (withGps) block.Gps.Raw(ttGPSVersionID, 1, 4, {2, 3, 0, 0}).Ascii(ttGPSLatitudeRef, "N");
    const std::string path = (Folder / name).string();
    Zorp::Testing::WriteFileBytes(path, ExifBuilder::Jpeg({block.Build(), xmp}));
    return path;
  }
  static std::unique_ptr<TExifData> Reload(const std::string& path) { return Zorp::Testing::LoadedPhoto(path); }
  static std::string XMPValue(TExifData& data, TXMPNamespaceKind kind, const std::string& name) {
    return Zorp::Testing::XMPValueOf(data, kind, name);
  }

  fs::path Folder;
};

// ---- shifting ----

struct TShiftCase {
  const char* Name;
  const char* Before;
  const char* Offset;
  const char* After;
};

class AShift : public PhotoJobs, public ::testing::WithParamInterface<TShiftCase> {};

TEST_P(AShift, MovesAllThreeDateTimesOnTheCalendar) {
  const TShiftCase& c = GetParam();
  const std::string path = DatedPhoto("a.jpg", c.Before, c.Before, c.Before);
  TTimeOffset offset;
  ASSERT_TRUE(ParseTimeOffset(c.Offset, offset));
  EXPECT_EQ(ShiftDateTimes(path, offset, {}), TPhotoOutcome::Changed);
  auto data = Reload(path);
  EXPECT_EQ(data->Sections(skPrimary).GetStringValue(ttDateTime), c.After);
  EXPECT_EQ(data->Sections(skExif).GetStringValue(ttDateTimeOriginal), c.After);
  EXPECT_EQ(data->Sections(skExif).GetStringValue(ttDateTimeDigitized), c.After);
  std::string xmp = c.After;  // "yyyy:mm:dd hh:nn:ss" -> "yyyy-mm-ddThh:nn:ss"
  xmp[4] = xmp[7] = '-';
  xmp[10] = 'T';
  EXPECT_EQ(XMPValue(*data, xnExif, "DateTimeOriginal"), xmp);
  EXPECT_EQ(XMPValue(*data, xnTIFF, "DateTime"), xmp);
}

INSTANTIATE_TEST_SUITE_P(
    Calendar, AShift,
    ::testing::Values(TShiftCase{"AcrossMidnight", "2024:03:10 23:30:00", "+0:01:00:00", "2024:03:11 00:30:00"},
                      TShiftCase{"AcrossMonthEnd", "2024:04:30 22:00:00", "+03:00:00", "2024:05:01 01:00:00"},
                      TShiftCase{"AcrossYearEnd", "2023:12:31 23:59:30", "+00:00:45", "2024:01:01 00:00:15"},
                      TShiftCase{"OntoLeapDay", "2024:02:28 12:00:00", "+1:00:00:00", "2024:02:29 12:00:00"},
                      TShiftCase{"BackOntoLeapDay", "2024:03:01 01:00:00", "-0:02:00:00", "2024:02:29 23:00:00"},
                      TShiftCase{"NoLeapDayIn2023", "2023:02:28 23:00:00", "+01:00:00", "2023:03:01 00:00:00"},
                      TShiftCase{"NoLeapDayIn2100", "2100:02:28 23:00:00", "+01:00:00", "2100:03:01 00:00:00"},
                      TShiftCase{"BackAcrossYearStart", "2024:01:01 00:10:00", "-0:00:20:00", "2023:12:31 23:50:00"},
                      TShiftCase{"SeveralDays", "2024:12:30 10:00:00", "+2:00:00:00", "2025:01:01 10:00:00"},
                      TShiftCase{"NoSignIsForward", "2024:06:01 12:00:00", "0:00:00:01", "2024:06:01 12:00:01"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(PhotoJobs, AShiftKeepsSubSecondsAndLeavesAMissingDateTimeMissing) {
  const std::string path = DatedPhoto("a.jpg", "2024:01:01 00:00:00", "2024:01:01 00:00:00", "", "123456");
  EXPECT_EQ(ShiftDateTimes(path, {-1}, {}), TPhotoOutcome::Changed);
  auto data = Reload(path);
  EXPECT_EQ(data->Sections(skExif).GetStringValue(ttDateTimeOriginal), "2023:12:31 23:59:59");
  EXPECT_EQ(data->Sections(skExif).GetStringValue(ttSubsecTimeOriginal), "123456");
  // The XMP copy moves in its own precision: it had no fraction, and gets none.
  EXPECT_EQ(XMPValue(*data, xnExif, "DateTimeOriginal"), "2023-12-31T23:59:59");
  EXPECT_EQ(data->Sections(skExif).Find(ttDateTimeDigitized), nullptr);
  EXPECT_EQ(XMPValue(*data, xnExif, "DateTimeDigitized"), "(none)");
}

TEST_F(PhotoJobs, AShiftWithNothingToMoveLeavesTheFileAlone) {
  const std::string dated = DatedPhoto("dated.jpg", "2024:01:01 00:00:00", "", "");
  const std::string undated = DatedPhoto("undated.jpg", "", "", "");
  const Bytes datedBytes = ReadFileBytes(dated), undatedBytes = ReadFileBytes(undated);
  EXPECT_EQ(ShiftDateTimes(dated, {0}, {}), TPhotoOutcome::Unchanged);
  EXPECT_EQ(ShiftDateTimes(undated, {3600}, {}), TPhotoOutcome::Unchanged);
  EXPECT_EQ(ReadFileBytes(dated), datedBytes);
  EXPECT_EQ(ReadFileBytes(undated), undatedBytes);
}

TEST_F(PhotoJobs, AShiftOutOfTheCalendarRefusesThePhoto) {
  const std::string path = DatedPhoto("a.jpg", "0001:01:01 00:30:00", "", "");
  const Bytes before = ReadFileBytes(path);
  EXPECT_THROW(ShiftDateTimes(path, {-3600}, {}), std::exception);
  EXPECT_THROW(ShiftDateTimes(path, {std::numeric_limits<std::int64_t>::max()}, {}), std::exception);
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(PhotoJobs, KeepingFileDatesGivesBackTheModificationTime) {
  const std::string path = DatedPhoto("a.jpg", "2024:01:01 00:00:00", "", "");
  Zorp::Base::SetFileTimes(path, {1000000000, 0, 1000000000, 500});
  EXPECT_EQ(ShiftDateTimes(path, {60}, {.KeepFileDates = true}), TPhotoOutcome::Changed);
  const Zorp::Base::TFileTimes kept = Zorp::Base::GetFileTimes(path);
  EXPECT_EQ(kept.ModificationSeconds, 1000000000);
  EXPECT_EQ(kept.ModificationNanoseconds, 500);
  EXPECT_EQ(ShiftDateTimes(path, {60}, {}), TPhotoOutcome::Changed);
  EXPECT_GT(Zorp::Base::GetFileTimes(path).ModificationSeconds, 1000000000);
}

// A photo owned by someone else in a folder the user may write: the shift is saved, but the system
// does not let the user give the file its former date, and the job's summary says so.
TEST_F(PhotoJobs, AFileDateThatCannotBeKeptIsReportedPerPhoto) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const std::string path = DatedPhoto("a.jpg", "2024:01:01 00:00:00", "", "");
  fs::permissions(Folder, fs::perms::all);
  fs::permissions(path, fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    const TJobSummary summary = RunPhotoJob(
        {path}, [](const std::string& file) { return ShiftDateTimes(file, {60}, {.KeepFileDates = true}); });
    const bool told = summary.Changed == 1 && summary.FileDatesLost == 1 &&
                      SummaryText(summary) == "1 changed, 0 unchanged, 0 failed\n" + path +
                                                  ": saved, but its file date could not be kept: Operation not permitted";
    ::_exit(told ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Reload(path)->DateTime(), Zorp::Base::EncodeDateTime(2024, 1, 1, 0, 1, 0, 0));
}

TEST(ATimeOffset, IsParsedFromItsTextForm) {
  const std::pair<const char*, std::int64_t> valid[] = {
      {"+0:01:00:00", 3600}, {"-0:01:30:00", -5400}, {"+2:00:00:00", 172800},   {"01:02:03", 3723},
      {"-00:00:01", -1},     {"+0:00:00", 0},        {"100:23:59:59", 8726399}, {"3:4:5", 11045}};
  for (const auto& [text, seconds] : valid) {
    TTimeOffset offset{-99};
    EXPECT_TRUE(ParseTimeOffset(text, offset)) << text;
    EXPECT_EQ(offset.Seconds, seconds) << text;
  }
  for (const char* text : {"", "+", "01:00", "24:00:00", "00:60:00", "00:00:60", "1:00:00:00:00", "+-01:00:00",
                           "a1:00:00", "01:00:00 ", "0:0:0:", "1234567:00:00:00", "::", "001:00:00", "1.5:00:00"}) {
    TTimeOffset offset{-99};
    EXPECT_FALSE(ParseTimeOffset(text, offset)) << text;
  }
  EXPECT_EQ(TimeOffsetText({std::numeric_limits<std::int64_t>::min()}), "-106751991167300:15:30:08");
  for (const char* text : {"-0:01:30:00", "+2:00:00:00", "+0:00:00:00", "-100:23:59:59"}) {
    TTimeOffset offset;
    ASSERT_TRUE(ParseTimeOffset(text, offset));
    EXPECT_EQ(TimeOffsetText(offset), text);
  }
}

// ---- the location ----

// The decimal degrees a GPS coordinate holds, negative south and west.
double Decimal(const TGPSCoordinate& coordinate) {
  const auto value = [](const TTiffRational& r) { return static_cast<double>(r.Numerator) / r.Denominator; };
  const double degrees =
      value(coordinate.Degrees()) + value(coordinate.Minutes()) / 60 + value(coordinate.Seconds()) / 3600;
  return coordinate.Direction() == 'S' || coordinate.Direction() == 'W' ? -degrees : degrees;
}

struct TLocationCase {
  const char* Name;
  TLocation Location;
  const char* Letters;  // latitude and longitude reference
  const char* XMPLatitude;
};

class ALocation : public PhotoJobs, public ::testing::WithParamInterface<TLocationCase> {
 protected:
  std::string SamplePhoto() {
    const std::string path = (Folder / "photo.jpg").string();
    Zorp::Testing::CopyWritable(fs::path(QUORVANE_SOURCE_DIR) / "samples" / "canon-sunset.jpg", path);
    return path;
  }
};

TEST_P(ALocation, IsWrittenTheStandardWayAndReadBack) {
  const TLocationCase& c = GetParam();
  const std::string path = SamplePhoto();
  EXPECT_EQ(SetLocation(path, c.Location, {}), TPhotoOutcome::Changed);
  auto data = Reload(path);
  EXPECT_EQ(data->GPSVersion().AsString(), "2.30");
  EXPECT_NEAR(Decimal(data->GPSLatitude()), c.Location.Latitude, 1e-9);
  EXPECT_NEAR(Decimal(data->GPSLongitude()), c.Location.Longitude, 1e-9);
  EXPECT_EQ(std::string({data->GPSLatitude().Direction(), data->GPSLongitude().Direction()}), c.Letters);
  EXPECT_EQ(data->Sections(skGps).Find(ttGPSLatitude)->DataType(), dtRational);
  EXPECT_EQ(XMPValue(*data, xnExif, "GPSLatitude"), c.XMPLatitude);
  if (c.Location.Altitude) {
    const TTiffRational altitude = data->GPSAltitude();
    EXPECT_NEAR(static_cast<double>(altitude.Numerator) / altitude.Denominator, std::fabs(*c.Location.Altitude), 1e-9);
    EXPECT_EQ(data->GPSAltitudeRef(), *c.Location.Altitude < 0 ? alBelowSeaLevel : alAboveSeaLevel);
    EXPECT_EQ(XMPValue(*data, xnExif, "GPSAltitudeRef"), *c.Location.Altitude < 0 ? "1" : "0");
  } else {
    // The sample's altitude was stale for the new place.
    EXPECT_EQ(data->GPSAltitude().Denominator, 0u);
    EXPECT_EQ(data->GPSAltitudeRef(), alTagMissing);
    EXPECT_EQ(XMPValue(*data, xnExif, "GPSAltitudeRef"), "(none)");
  }
  // The same location again saves nothing.
  const Bytes saved = ReadFileBytes(path);
  EXPECT_EQ(SetLocation(path, c.Location, {}), TPhotoOutcome::Unchanged);
  EXPECT_EQ(ReadFileBytes(path), saved);
}

INSTANTIATE_TEST_SUITE_P(
    Places, ALocation,
    ::testing::Values(TLocationCase{"NorthEast", {48.8584, 2.2945, 35}, "NE", "48,51.504N"},
                      TLocationCase{"SouthEast", {-33.8568, 151.2153, std::nullopt}, "SE", "33,51.408S"},
                      TLocationCase{"SouthWestBelowSeaLevel", {-22.9519, -43.2105, -12.5}, "SW", "22,57.114S"},
                      TLocationCase{"NorthWestAtSeaLevel", {40.6892, -74.0445, 0}, "NW", "40,41.352N"},
                      TLocationCase{"EquatorAndPrimeMeridian", {0, 0, std::nullopt}, "NE", "0,0,0N"},
                      TLocationCase{"PoleAndDateLine", {-90, -180, 8848.86}, "SW", "90,0,0S"},
                      TLocationCase{"WholeSeconds", {46.52, 6.64, 412.5}, "NE", "46,31,12N"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(PhotoJobs, ALocationOutOfRangeIsRefusedAndChangesNothing) {
  const std::string path = DatedPhoto("a.jpg", "", "", "");
  const Bytes before = ReadFileBytes(path);
  for (const TLocation& location : {TLocation{90.0001, 0, std::nullopt}, TLocation{0, -180.0001, std::nullopt},
                                    TLocation{std::nan(""), 0, std::nullopt},
                                    TLocation{0, 0, std::numeric_limits<double>::infinity()}, TLocation{0, 0, 5e6}})
    EXPECT_THROW(SetLocation(path, location, {}), std::exception) << location.Latitude << "," << location.Longitude;
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(ACoordinate, IsParsedFromDecimalOrDegreesMinutesAndSeconds) {
  const double sydney = -(33 + 51 / 60.0 + 24.5 / 3600);
  const struct {
    const char* Text;
    bool Latitude;
    double Degrees;
  } valid[] = {{"-33.8568", true, -33.8568},
               {"+48.8584", true, 48.8584},
               {"48.8584\xC2\xB0", true, 48.8584},
               {"33\xC2\xB0"
                "51'24.5\"S",
                true, sydney},
               {"33\xC2\xB0"
                "51\xE2\x80\xB2"
                "24.5\xE2\x80\xB3 S",
                true, sydney},
               {"33 51 24.5 s", true, sydney},
               {"33d51m24.5s", true, -sydney},
               {"151d12m30sE", false, 151 + 12 / 60.0 + 30 / 3600.0},
               {"W 74 2.67", false, -(74 + 2.67 / 60)},
               {"90", true, 90.0},
               {"-180", false, -180.0}};
  for (const auto& c : valid) {
    double degrees = -999;
    EXPECT_TRUE(ParseCoordinate(c.Text, c.Latitude, degrees)) << c.Text;
    EXPECT_NEAR(degrees, c.Degrees, 1e-12) << c.Text;
  }
  // Refused both as a latitude and as a longitude.
  for (const char* text : {"180 0 1 E", "33 60 0", "33 51 60", "-33 S", "33.5 30", "33 51 24 12", "33'51", "1e5",
                           "N 33 S", "", "north", "33,5", "12 X"}) {
    double degrees = -999;
    EXPECT_FALSE(ParseCoordinate(text, true, degrees) || ParseCoordinate(text, false, degrees)) << text;
  }
  double degrees = 0;
  EXPECT_FALSE(ParseCoordinate("90.0001", true, degrees));
  EXPECT_FALSE(ParseCoordinate("33 51 24.5 E", true, degrees));
  EXPECT_FALSE(ParseCoordinate("12 N", false, degrees));
}

TEST(ALocationText, IsLatitudeLongitudeAndAnOptionalAltitude) {
  const std::pair<const char*, TLocation> valid[] = {{"48.8584,2.2945,35", {48.8584, 2.2945, 35}},
                                                     {" -33.8568 , 151.2153 ", {-33.8568, 151.2153, std::nullopt}},
                                                     {"1,2,-10.5", {1, 2, -10.5}},
                                                     {"1,2,+7", {1, 2, 7}}};
  for (const auto& [text, expected] : valid) {
    TLocation location{-1, -1, -1};
    EXPECT_TRUE(ParseLocation(text, location)) << text;
    EXPECT_DOUBLE_EQ(location.Latitude, expected.Latitude) << text;
    EXPECT_DOUBLE_EQ(location.Longitude, expected.Longitude) << text;
    EXPECT_EQ(location.Altitude, expected.Altitude) << text;
  }
  for (const char* text : {"91,0", "0,181", "0", "0,0,0,0", "0,0,abc", "0,0,", "0,0,5000000", "0,0,1e3", ","}) {
    TLocation location;
    EXPECT_FALSE(ParseLocation(text, location)) << text;
  }
}

TEST_F(PhotoJobs, RemovingTheLocationLeavesEverythingElseAsItWas) {
  const std::string path = (Folder / "photo.jpg").string();
  Zorp::Testing::CopyWritable(fs::path(QUORVANE_SOURCE_DIR) / "samples" / "canon-sunset.jpg", path);
  const bool oracle = Zorp::Testing::HasExifTool();
  const auto before = oracle ? Zorp::Testing::ExifToolListings({path})[path] : Zorp::Testing::TExifToolListing{};
  const Bytes image = Zorp::Testing::FromStartOfScan(ReadFileBytes(path));
  EXPECT_EQ(RemoveLocation(path, {}), TPhotoOutcome::Changed);
  auto data = Reload(path);
  EXPECT_EQ(data->PeekSection(skGps).Count(), 0);
  EXPECT_EQ(data->PeekSection(skPrimary).Find(ttGPSInfoIFDPointer), nullptr);
  EXPECT_EQ(XMPValue(*data, xnExif, "GPSLatitude"), "(none)");
  EXPECT_EQ(XMPValue(*data, xnExif, "GPSTimeStamp"), "(none)");
  EXPECT_EQ(XMPValue(*data, xnExif, "DateTimeOriginal"), "2023-06-21T21:14:05+02:00");
  EXPECT_EQ(Zorp::Testing::FromStartOfScan(ReadFileBytes(path)), image);
  const Bytes saved = ReadFileBytes(path);
  EXPECT_EQ(RemoveLocation(path, {}), TPhotoOutcome::Unchanged);
  EXPECT_EQ(ReadFileBytes(path), saved);
  if (!oracle) GTEST_SKIP() << "the independent reader is not installed";
  // Every tag but the GPS ones and the file's own facts reads as before.
  const auto kept = [](const Zorp::Testing::TExifToolListing& listing) {
    Zorp::Testing::TExifToolListing result;
    for (const auto& [name, value] : listing) {
      const std::string tag = name.substr(name.find(':') + 1);
      if (name.starts_with("File:") || name.starts_with("System:") || name.starts_with("GPS:") ||
          tag.starts_with("GPS") || tag == "ThumbnailOffset")
        continue;
      result.emplace(name, value);
    }
    return result;
  };
  const auto after = Zorp::Testing::ExifToolListings({path})[path];
  EXPECT_EQ(kept(after), kept(before));
  for (const auto& [name, value] : after) EXPECT_EQ(name.find("GPS"), std::string::npos) << name << " = " << value;
}

TEST_F(PhotoJobs, AShiftMovesEveryXMPDateInItsOwnFormAlsoWithoutTheExifDate) {
  struct TCase {
    const char* Offset;
    std::vector<std::string> After;  // xmp:CreateDate, xmp:ModifyDate, exif:DateTimeOriginal,
                                     // photoshop:DateCreated, exif:DateTimeDigitized
  };
  const TCase cases[] = {
      {"+01:00:00",
       {"2009-06-24T10:41:07.72+01:00", "2009-06-25T00:30Z", "2009-06-24T10:41:07", "2009-06-24",
        "2009-06-24T10:41:07.123456-05:30"}},
      {"-1:00:00:00",
       {"2009-06-23T09:41:07.72+01:00", "2009-06-23T23:30Z", "2009-06-23T09:41:07", "2009-06-23",
        "2009-06-23T09:41:07.123456-05:30"}},
      {"+00:00:59",
       {"2009-06-24T09:42:06.72+01:00", "2009-06-24T23:30Z", "2009-06-24T09:42:06", "2009-06-24",
        "2009-06-24T09:42:06.123456-05:30"}},
      {"-10:00:00",
       {"2009-06-23T23:41:07.72+01:00", "2009-06-24T13:30Z", "2009-06-23T23:41:07", "2009-06-24",
        "2009-06-23T23:41:07.123456-05:30"}},
  };
  const Bytes xmp = XmpSegment(
      "xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:CreateDate='2009-06-24T09:41:07.72+01:00' "
      "xmp:ModifyDate='2009-06-24T23:30Z' xmp:MetadataDate='2009-06-24T09:41:07' "
      "xmlns:exif='http://ns.adobe.com/exif/1.0/' exif:DateTimeOriginal='2009-06-24T09:41:07' "
      "exif:DateTimeDigitized='2009-06-24T09:41:07.123456-05:30' exif:GPSTimeStamp='2009-06-24T08:41:07Z' "
      "xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/' photoshop:DateCreated='2009-06-24'");
  for (const TCase& c : cases) {
    const std::string path = PhotoWithXmp("a.jpg", xmp, false);  // no Exif date at all
    TTimeOffset offset;
    ASSERT_TRUE(ParseTimeOffset(c.Offset, offset));
    EXPECT_EQ(ShiftDateTimes(path, offset, {}), TPhotoOutcome::Changed) << c.Offset;
    auto data = Reload(path);
    const std::vector<std::string> after = {
        XMPValue(*data, xnXMPBasic, "CreateDate"), XMPValue(*data, xnXMPBasic, "ModifyDate"),
        XMPValue(*data, xnExif, "DateTimeOriginal"), XMPValue(*data, xnPhotoshop, "DateCreated"),
        XMPValue(*data, xnExif, "DateTimeDigitized")};
    EXPECT_EQ(after, c.After) << c.Offset;
    // Neither the time the metadata changed nor the satellites' UTC time is the camera's clock.
    EXPECT_EQ(XMPValue(*data, xnXMPBasic, "MetadataDate"), "2009-06-24T09:41:07") << c.Offset;
    EXPECT_EQ(XMPValue(*data, xnExif, "GPSTimeStamp"), "2009-06-24T08:41:07Z") << c.Offset;
    EXPECT_EQ(data->Sections(skExif).Find(ttDateTimeOriginal), nullptr) << c.Offset;
  }
}

TEST_F(PhotoJobs, AShiftKeepsTheSubSecondTagsAndEachCopysOwnFraction) {
  ExifBuilder block;
  block.Exif.Ascii(ttDateTimeOriginal, "2009:06:24 09:41:07").Ascii(ttSubsecTimeOriginal, "72");
  block.Exif.Ascii(ttOffsetTimeOriginal, "+01:00");
  const std::string path = (Folder / "a.jpg").string();
  Zorp::Testing::WriteFileBytes(
      path, ExifBuilder::Jpeg({block.Build(), XmpSegment("xmlns:exif='http://ns.adobe.com/exif/1.0/' "
                                                         "exif:DateTimeOriginal='2009-06-24T09:41:07.72+01:00'")}));
  EXPECT_EQ(ShiftDateTimes(path, {-7200}, {}), TPhotoOutcome::Changed);
  auto data = Reload(path);
  EXPECT_EQ(data->Sections(skExif).GetStringValue(ttDateTimeOriginal), "2009:06:24 07:41:07");
  EXPECT_EQ(data->SubsecTimeOriginal(), "72");
  EXPECT_EQ(XMPValue(*data, xnExif, "DateTimeOriginal"), "2009-06-24T07:41:07.72+01:00");
}

// ---- typed dates ----

struct TTypedDateCase {
  const char* Name;
  const char* Label;
  const char* Typed;
  std::optional<TPhotoOutcome::TKind> Outcome;  // none: refused, the file untouched
  const char* Exif;                             // the Exif text afterwards
  const char* SubSeconds;                       // SubsecTimeOriginal afterwards
  const char* Copy;                             // exif:DateTimeOriginal afterwards
};

class ATypedDate : public PhotoJobs, public ::testing::WithParamInterface<TTypedDateCase> {};

TEST_P(ATypedDate, ReplacesTheDateButNeverDeletesIt) {
  const TTypedDateCase& c = GetParam();
  ExifBuilder block;
  block.Exif.Ascii(ttDateTimeOriginal, "2009:06:24 09:41:07").Ascii(ttSubsecTimeOriginal, "72");
  block.Gps.Ascii(ttGPSDateStamp, "2009:06:24").Raw(ttGPSTimeStamp, 5, 3, {}, {8, 1, 41, 1, 7, 1});
  const std::string path = (Folder / "a.jpg").string();
  Zorp::Testing::WriteFileBytes(
      path, ExifBuilder::Jpeg({block.Build(), XmpSegment("xmlns:exif='http://ns.adobe.com/exif/1.0/' "
                                                         "exif:DateTimeOriginal='2009-06-24T09:41:07.72+01:00'")}));
  const Bytes before = ReadFileBytes(path);
  if (c.Outcome) {
    EXPECT_EQ(SetStandardValue(path, c.Label, c.Typed, {}), *c.Outcome);
  } else {
    EXPECT_THROW_MSG(SetStandardValue(path, c.Label, c.Typed, {}), Zorp::Base::EConvertError,
                     "1899-12-30 00:00:00 cannot be stored; enter a date-time from 0001-01-01 00:00:00 to "
                     "9999-12-31 23:59:59 other than 1899-12-30 00:00:00");
    EXPECT_EQ(ReadFileBytes(path), before);
  }
  auto data = Reload(path);
  EXPECT_EQ(data->Sections(skExif).GetStringValue(ttDateTimeOriginal), c.Exif);
  EXPECT_EQ(data->SubsecTimeOriginal(), c.SubSeconds);
  EXPECT_EQ(XMPValue(*data, xnExif, "DateTimeOriginal"), c.Copy);
  EXPECT_NE(data->GPSDateTimeUTC(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ATypedDate,
    ::testing::Values(
        TTypedDateCase{"WholeSecondsKeepTheStoredSubSeconds", "Date/time original", "2009-06-24 10:41:07",
                       TPhotoOutcome::Changed, "2009:06:24 10:41:07", "72", "2009-06-24T10:41:07.72+01:00"},
        TTypedDateCase{"TypedSubSecondsReplaceThem", "Date/time original", "2009-06-24 10:41:07.5",
                       TPhotoOutcome::Changed, "2009:06:24 10:41:07", "500", "2009-06-24T10:41:07.500+01:00"},
        TTypedDateCase{"TypedZeroSubSecondsToo", "Date/time original", "2009-06-24 10:41:07.000",
                       TPhotoOutcome::Changed, "2009:06:24 10:41:07", "000", "2009-06-24T10:41:07+01:00"},
        TTypedDateCase{"TheShownValueIsNoChange", "Date/time original", "2009-06-24 09:41:07", TPhotoOutcome::Unchanged,
                       "2009:06:24 09:41:07", "72", "2009-06-24T09:41:07.72+01:00"},
        TTypedDateCase{"TheZeroDateIsRefused", "Date/time original", "1899-12-30 00:00:00", std::nullopt,
                       "2009:06:24 09:41:07", "72", "2009-06-24T09:41:07.72+01:00"},
        TTypedDateCase{"WithAFractionToo", "Date/time original", "1899-12-30 00:00:00.500", std::nullopt,
                       "2009:06:24 09:41:07", "72", "2009-06-24T09:41:07.72+01:00"},
        TTypedDateCase{"TheGPSTimeToo", "GPS date/time (UTC)", "1899-12-30 00:00:00", std::nullopt,
                       "2009:06:24 09:41:07", "72", "2009-06-24T09:41:07.72+01:00"},
        TTypedDateCase{"OneSecondLaterIsADate", "Date/time original", "1899-12-30 00:00:01", TPhotoOutcome::Changed,
                       "1899:12:30 00:00:01", "72", "1899-12-30T00:00:01.72+01:00"},
        TTypedDateCase{"TheFirstYear", "Date/time original", "0001-01-01 00:00:00", TPhotoOutcome::Changed,
                       "0001:01:01 00:00:00", "72", "0001-01-01T00:00:00.72+01:00"}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---- the XMP location ----

TEST(AnXMPLocationProperty, IsNamedForAPositionOrAnAltitudeInAnyNamespace) {
  const std::string exif = "http://ns.adobe.com/exif/1.0/", dji = "http://www.dji.com/drone-dji/1.0/",
                    iptc = "http://iptc.org/std/Iptc4xmpExt/2008-02-29/", custom = "http://example.com/ns/";
  const std::tuple<std::string, const char*, bool> cases[] = {
      {exif, "GPSLatitude", true},
      {exif, "GPSTimeStamp", true},
      {exif, "GPSImgDirection", true},
      {"http://cipa.jp/exif/1.0/", "GPSHPositioningError", true},
      {dji, "GpsLatitude", true},
      {dji, "GpsLongtitude", true},
      {dji, "GPSLongitude", true},
      {dji, "AbsoluteAltitude", true},
      {dji, "RelativeAltitude", true},
      {dji, "GimbalYawDegree", false},
      {dji, "FlightYawDegree", false},
      {custom, "GPSAltitudeRef", true},
      {custom, "GPSDestLatitude", true},
      {custom, "GPSPosition", true},
      {custom, "GPSCoordinates", true},
      {custom, "GPSTimeStamp", false},
      {custom, "GPSVersionID", false},
      {custom, "Latitude", false},
      {iptc, "City", false},
      {iptc, "LocationCreated", false},
      {custom, "gpsaltitude", true},
      {custom, "MyGPSLatitude", false},
  };
  for (const auto& [uri, name, expected] : cases)
    EXPECT_EQ(IsXMPLocationProperty(uri, name), expected) << uri << " " << name;
}

TEST_F(PhotoJobs, RemovingTheLocationTakesEveryXMPPositionAndAltitude) {
  const Bytes xmp = XmpSegment(
      "xmlns:drone-dji='http://www.dji.com/drone-dji/1.0/' drone-dji:GpsLatitude='22.5' "
      "drone-dji:GpsLongtitude='113.9' drone-dji:AbsoluteAltitude='+120.5' drone-dji:RelativeAltitude='+30.1' "
      "drone-dji:GimbalYawDegree='-90.0' xmlns:exif='http://ns.adobe.com/exif/1.0/' exif:GPSLatitude='22,30.0N' "
      "exif:GPSMapDatum='WGS-84' exif:ExposureTime='1/100' xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:Rating='3'",
      "<Iptc4xmpExt:LocationCreated xmlns:Iptc4xmpExt='http://iptc.org/std/Iptc4xmpExt/2008-02-29/' "
      "rdf:parseType='Resource'><Iptc4xmpExt:City>Shenzhen</Iptc4xmpExt:City>"
      "<exif:GPSLatitude>22,30.0N</exif:GPSLatitude></Iptc4xmpExt:LocationCreated>"
      "<Iptc4xmpExt:LocationShown xmlns:Iptc4xmpExt='http://iptc.org/std/Iptc4xmpExt/2008-02-29/'><rdf:Bag>"
      "<rdf:li rdf:parseType='Resource'><exif:GPSLongitude>113,54.0E</exif:GPSLongitude>"
      "<exif:GPSAltitude>120</exif:GPSAltitude></rdf:li></rdf:Bag></Iptc4xmpExt:LocationShown>"
      "<Iptc4xmpExt:Sublocation xmlns:Iptc4xmpExt='http://iptc.org/std/Iptc4xmpExt/2008-02-29/' "
      "rdf:parseType='Resource'><exif:GPSAltitude>5</exif:GPSAltitude></Iptc4xmpExt:Sublocation>");
  const std::string path = PhotoWithXmp("drone.jpg", xmp);
  const TPhotoOutcome outcome = RemoveLocation(path, {});
  EXPECT_EQ(outcome, TPhotoOutcome::Changed);
  EXPECT_TRUE(outcome.Notes.empty());
  auto data = Reload(path);
  EXPECT_EQ(data->PeekSection(skGps).Count(), 0);
  std::vector<std::string> left = ListXMPValues(data->XMPPacket());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Iptc4xmpExt:LocationCreated/Iptc4xmpExt:City = Shenzhen",
                                            "drone-dji:GimbalYawDegree = -90.0", "exif:ExposureTime = 1/100",
                                            "xmp:Rating = 3"}));
  // What held nothing but a location goes with it.
  const std::string& raw = data->XMPPacket().RawXML();
  EXPECT_EQ(raw.find("LocationShown"), std::string::npos) << raw;
  EXPECT_EQ(raw.find("Sublocation"), std::string::npos) << raw;
  EXPECT_EQ(RemoveLocation(path, {}), TPhotoOutcome::Unchanged);
}

TEST_F(PhotoJobs, RemovingTheLocationFromAnXMPOnlyPhotoChangesIt) {
  const std::string path = PhotoWithXmp(
      "a.jpg", XmpSegment("xmlns:drone-dji='http://www.dji.com/drone-dji/1.0/' drone-dji:RelativeAltitude='+3'"),
      false);
  EXPECT_EQ(RemoveLocation(path, {}), TPhotoOutcome::Changed);
  EXPECT_EQ(XMPValue(*Reload(path), xnCustom, "RelativeAltitude"), "(none)");
  EXPECT_TRUE(ListXMPValues(Reload(path)->XMPPacket()).empty());
}

struct TUnreadableCase {
  const char* Name;
  const char* Packet;  // after the signature; none of these parse
  bool WithGps;
  TPhotoOutcome::TKind Outcome;
  bool Noted;
};

class AnUnreadablePacket : public PhotoJobs, public ::testing::WithParamInterface<TUnreadableCase> {};

TEST_P(AnUnreadablePacket, IsKeptAndNotedWhenItNamesALocation) {
  const TUnreadableCase& c = GetParam();
  const std::string packet = std::string(XMPSignature) + c.Packet;
  const std::string path = PhotoWithXmp("a.jpg", Bytes(packet.begin(), packet.end()), c.WithGps);
  const TJobSummary summary = RunPhotoJob({path}, [](const std::string& file) { return RemoveLocation(file, {}); });
  EXPECT_EQ(summary.Changed, c.Outcome == TPhotoOutcome::Changed ? 1 : 0);
  ASSERT_EQ(summary.Notes.size(), c.Noted ? 1u : 0u);
  if (c.Noted) {
    EXPECT_EQ(summary.Notes[0].FileName, path);
    EXPECT_EQ(summary.Notes[0].Message, "location kept in an unreadable XMP packet");
    EXPECT_TRUE(SummaryText(summary).ends_with("\n" + path + ": location kept in an unreadable XMP packet"));
  }
  const Bytes saved = ReadFileBytes(path);
  EXPECT_NE(std::search(saved.begin(), saved.end(), packet.begin(), packet.end()), saved.end());
  EXPECT_EQ(Reload(path)->PeekSection(skGps).Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Packets, AnUnreadablePacket,
                         ::testing::Values(TUnreadableCase{"WithAPositionAndTheGPSDirectory",
                                                           "<x:xmpmeta><drone-dji:GpsLatitude>22.5<", true,
                                                           TPhotoOutcome::Changed, true},
                                           TUnreadableCase{"WithAnAltitudeOnly", "<rdf:RDF><a AbsoluteAltitude='3'>",
                                                           false, TPhotoOutcome::Unchanged, true},
                                           TUnreadableCase{"WithoutALocation", "<x:xmpmeta><xmp:Rating>3<", true,
                                                           TPhotoOutcome::Changed, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- running a job over many photos ----

TEST_F(PhotoJobs, AReadOnlyPhotoIsReportedAndTheOthersAreStillChanged) {
  std::vector<std::string> files;
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
    files.push_back(DatedPhoto(name, "2024:01:01 00:00:00", "2024:01:01 00:00:00", ""));
  fs::permissions(files[1], fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const Bytes readOnly = ReadFileBytes(files[1]);
  std::vector<std::size_t> progress;
  const TJobSummary summary = RunPhotoJob(
      files, [](const std::string& file) { return ShiftDateTimes(file, {3600}, {}); },
      [&](std::size_t done, std::size_t) {
        progress.push_back(done);
        return true;
      });
  EXPECT_EQ(progress, (std::vector<std::size_t>{0, 1, 2, 3}));
  EXPECT_EQ(summary.Changed, 2);
  EXPECT_EQ(summary.Failed, 1);
  ASSERT_EQ(summary.Failures.size(), 1u);
  EXPECT_EQ(summary.Failures[0].FileName, files[1]);
  EXPECT_NE(summary.Failures[0].Message.find("Permission denied"), std::string::npos) << summary.Failures[0].Message;
  EXPECT_EQ(ReadFileBytes(files[1]), readOnly);
  EXPECT_EQ(Reload(files[2])->Sections(skPrimary).GetStringValue(ttDateTime), "2024:01:01 01:00:00");
  EXPECT_EQ(SummaryText(summary), "2 changed, 0 unchanged, 1 failed\n" + files[1] + ": " + summary.Failures[0].Message);
}

TEST_F(PhotoJobs, CancellingLeavesThePhotosNotYetStartedUntouched) {
  std::vector<std::string> files;
  std::vector<Bytes> before;
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) {
    files.push_back(DatedPhoto(name, "2024:01:01 00:00:00", "", ""));
    before.push_back(ReadFileBytes(files.back()));
  }
  std::vector<std::pair<std::size_t, std::size_t>> calls;
  const TJobSummary summary = RunPhotoJob(
      files, [](const std::string& file) { return ShiftDateTimes(file, {60}, {}); },
      [&](std::size_t done, std::size_t total) {
        calls.emplace_back(done, total);
        return done < 2;
      });
  EXPECT_EQ(calls, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 4}, {1, 4}, {2, 4}}));
  EXPECT_TRUE(summary.Cancelled);
  EXPECT_EQ(summary.Changed, 2);
  EXPECT_EQ(summary.NotDone, 2);
  for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(ReadFileBytes(files[i]) == before[i], i >= 2) << files[i];
  EXPECT_EQ(SummaryText(summary), "2 changed, 0 unchanged, 0 failed, 2 not done (cancelled)");
}

// ---- one Standard-list value ----

struct TValueCase {
  const char* Name;
  const char* Label;
  const char* Value;
  std::optional<TPhotoOutcome> Outcome;  // none: refused
  const char* Shown;                     // what the row shows afterwards
};

class AStandardValue : public PhotoJobs, public ::testing::WithParamInterface<TValueCase> {};

TEST_P(AStandardValue, IsSetAsTheViewersEditSetsIt) {
  const TValueCase& c = GetParam();
  const std::string path = DatedPhoto("a.jpg", "2024:01:02 03:04:05", "", "");
  const Bytes before = ReadFileBytes(path);
  if (c.Outcome) {
    EXPECT_EQ(SetStandardValue(path, c.Label, c.Value, {}), *c.Outcome);
  } else {
    EXPECT_THROW(SetStandardValue(path, c.Label, c.Value, {}), std::exception);
  }
  EXPECT_EQ(ReadFileBytes(path) != before, c.Outcome == TPhotoOutcome::Changed);
  auto data = Reload(path);
  const std::map<std::string, std::string> stored = {
      {"Camera make", data->CameraMake()},
      {"Exif image width", std::to_string(data->ExifImageWidth().Value)},
      {"Orientation", std::to_string(static_cast<int>(data->Orientation()))},
      {"Date/time", data->Sections(skPrimary).GetStringValue(ttDateTime)}};
  EXPECT_EQ(stored.at(c.Label), c.Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AStandardValue,
    ::testing::Values(
        TValueCase{"Text", "Camera make", "  Leica ", TPhotoOutcome::Changed, "Leica"},
        TValueCase{"SameText", "Camera make", "Canon", TPhotoOutcome::Unchanged, "Canon"},
        TValueCase{"SizeIsNotEditable", "Exif image width", "24", std::nullopt, "24"},
        TValueCase{"NotAnInteger", "Exif image width", "abc", std::nullopt, "24"},
        TValueCase{"NegativeInteger", "Exif image width", "-1", std::nullopt, "24"},
        TValueCase{"Choice", "Orientation", "Rotate 90", TPhotoOutcome::Changed, "6"},
        TValueCase{"NotAChoice", "Orientation", "Sideways", std::nullopt, "0"},
        TValueCase{"DateTime", "Date/time", "2020-01-02 03:04:05", TPhotoOutcome::Changed, "2020:01:02 03:04:05"},
        TValueCase{"SameDateTime", "Date/time", "2024-01-02 03:04:05", TPhotoOutcome::Unchanged, "2024:01:02 03:04:05"},
        TValueCase{"NotADate", "Date/time", "yesterday", std::nullopt, "2024:01:02 03:04:05"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(PhotoJobs, ALabelThatCannotBeEditedIsRefusedBeforeAnyPhotoIsRead) {
  for (const char* label : {"Byte order", "F number", "camera make", ""})
    EXPECT_THROW(SetStandardValue((Folder / "missing.jpg").string(), label, "x", {}), std::invalid_argument) << label;
}

// ---- CSV ----

TEST_F(PhotoJobs, ACsvQuotesCommasQuotesAndLineBreaks) {
  ExifBuilder block;
  block.Primary.Ascii(ttImageDescription, "first line\r\nsecond line").Ascii(ttMake, "Acme, \"Best\" Cameras");
  block.Primary.Ascii(ttModel, "Plain \xC3\xA9t\xC3\xA9");
  const std::string quoted = (Folder / "a,b.jpg").string(), plain = (Folder / "c.jpg").string();
  Zorp::Testing::WriteFileBytes(quoted, ExifBuilder::Jpeg({block.Build()}));
  Zorp::Testing::WriteFileBytes(plain, ExifBuilder::Jpeg({}));
  std::ostringstream out;
  const auto failures =
      WriteCsv(out, {quoted, plain}, {"Camera make", "Image description", "Camera model", "F number"}, TMemIniFile());
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(out.str(),
            "File,Camera make,Image description,Camera model,F number\r\n"
            "\"" +
                quoted +
                "\",\"Acme, \"\"Best\"\" Cameras\",\"first line\r\nsecond line\",Plain \xC3\xA9t\xC3\xA9,\r\n" + plain +
                ",,,,\r\n");
}

TEST_F(PhotoJobs, ACsvColumnMayBeNamedByItsKeyAndIsHeadedByItsCaption) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Acme").Ascii(ttModel, "One");
  block.Exif.Rational(ttFNumber, 28, 10);
  const std::string photo = (Folder / "a.jpg").string();
  Zorp::Testing::WriteFileBytes(photo, ExifBuilder::Jpeg({block.Build()}));
  std::ostringstream byKey, byCaption;
  EXPECT_TRUE(WriteCsv(byKey, {photo}, {"camera-make", "f-number", "Camera model"}, TMemIniFile()).empty());
  WriteCsv(byCaption, {photo}, {"Camera make", "F number", "camera-model"}, TMemIniFile());
  EXPECT_EQ(byKey.str(), "File,Camera make,F number,Camera model\r\n" + photo + ",Acme,f/2.8,One\r\n");
  EXPECT_EQ(byCaption.str(), byKey.str());
  for (const char* column : {"camera-make", "Camera make", "gps-latitude", "loaded-cleanly"})
    EXPECT_TRUE(IsCsvColumn(column)) << column;
  for (const char* column : {"camera make", "Camera-make", "", "File"}) {
    EXPECT_FALSE(IsCsvColumn(column)) << column;
    EXPECT_THROW(WriteCsv(byKey, {photo}, {column}, TMemIniFile()), std::invalid_argument) << column;
  }
}

TEST_F(PhotoJobs, AnEditOfManyPhotosNamesItsRowByKeyAndGivesAPhotoWithoutExifTheValue) {
  const std::string plain = (Folder / "plain.jpg").string();
  Zorp::Testing::WriteFileBytes(plain, ExifBuilder::Jpeg({}));
  EXPECT_EQ(SetStandardValue(plain, "copyright", "© Ana", {}).Kind, TPhotoOutcome::Changed);
  EXPECT_EQ(SetStandardValue(plain, "Copyright", "© Ana", {}).Kind, TPhotoOutcome::Unchanged);
  EXPECT_EQ(SetStandardValue(plain, "orientation", "Rotate 90", {}).Kind, TPhotoOutcome::Changed);
  EXPECT_THROW(SetStandardValue(plain, "orientation", "Sideways", {}), std::invalid_argument);
  TExifData data;
  data.LoadFromJPEG(plain);
  EXPECT_EQ(data.Copyright(), "© Ana");
  EXPECT_EQ(data.Orientation(), toRightTop);
}

// The numeric columns read as the Summary shows them; the two position columns in decimal degrees.
TEST_F(PhotoJobs, ACsvWritesReadableNumbersAndThePositionInDecimalDegrees) {
  ExifBuilder full, apex;
  full.Exif.Rational(ttExposureTime, 10, 1670).Rational(ttFNumber, 18, 10).Short(0x8827, {200});
  full.Exif.Raw(0x9204, 10, 1, {}, {0xFFFFFFFF, 3}).Rational(ttFocalLength, 24, 1).Short(0xA405, {36});
  full.Gps.Ascii(1, "S")
      .Raw(2, 5, 3, {}, {33, 1, 51, 1, 245, 10})
      .Ascii(3, "E")
      .Raw(4, 5, 3, {}, {2, 1, 17, 1, 402, 10});
  apex.Exif.Raw(ttShutterSpeedValue, 10, 1, {}, {7, 1}).Raw(0x9204, 10, 1, {}, {2, 3});
  const std::vector<std::string> columns = {"Exposure time",       "F number", "Focal length", "ISO speed rating(s)",
                                            "Exposure bias value", "Latitude", "Longitude"};
  const std::pair<ExifBuilder*, std::string> cases[] = {{&full, ",1/167 s,f/1.8,24 mm,200,-0.33,-33.856806,2.294500"},
                                                        {&apex, ",1/128 s,,,,0.67,,"}};
  for (const auto& [block, cells] : cases) {
    const std::string path = (Folder / "a.jpg").string();
    Zorp::Testing::WriteFileBytes(path, ExifBuilder::Jpeg({block->Build()}));
    TJobFailure failure;
    EXPECT_EQ(CsvLine(path, columns, TMemIniFile(), failure), path + cells + "\r\n");
  }
  const std::vector<std::string>& labels = CsvColumnLabels();
  for (const char* column : {"Latitude", "Longitude"})
    EXPECT_NE(std::find(labels.begin(), labels.end(), column), labels.end()) << column;
}

TEST_F(PhotoJobs, ACsvRowIsWrittenAlsoForAPhotoThatCannotBeRead) {
  const std::string missing = (Folder / "missing.jpg").string();
  std::ostringstream out;
  std::vector<std::size_t> progress;
  const auto failures = WriteCsv(out, {missing}, {"Camera make"}, TMemIniFile(), [&](std::size_t done, std::size_t) {
    progress.push_back(done);
    return true;
  });
  EXPECT_EQ(out.str(), "File,Camera make\r\n" + missing + ",\r\n");
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].FileName, missing);
  EXPECT_NE(failures[0].Message.find("missing.jpg"), std::string::npos) << failures[0].Message;
  EXPECT_EQ(progress, (std::vector<std::size_t>{0, 1}));
  EXPECT_THROW(WriteCsv(out, {missing}, {"Camera brand"}, TMemIniFile()), std::invalid_argument);
}

TEST_F(PhotoJobs, TheCsvColumnsAreTheLabelsTheStandardListShows) {
  const std::vector<std::string>& labels = CsvColumnLabels();
  for (const std::string& column : DefaultCsvColumns())
    EXPECT_NE(std::find(labels.begin(), labels.end(), column), labels.end()) << column;
  // Every value row of the sample photos (and of the real photos where they are) has a label a
  // column may name, and the default columns read the sample's values.
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(fs::path(QUORVANE_SOURCE_DIR) / "samples"))
    if (entry.path().extension() == ".jpg") files.push_back(entry.path().string());
  if (fs::is_directory(QUORVANE_PHOTOS_DIR))
    for (const auto& entry : fs::directory_iterator(QUORVANE_PHOTOS_DIR))
      if (entry.path().extension() == ".jpg" || entry.path().extension() == ".JPG")
        files.push_back(entry.path().string());
  for (const std::string& file : files)
    for (const TListRow& row : ListPhoto(file, TMemIniFile()).Standard)
      if (row.IsValueRow()) {
        EXPECT_NE(std::find(labels.begin(), labels.end(), Zorp::Base::Trim(row.Caption)), labels.end())
            << row.Caption << " in " << file;
      }
  std::ostringstream out;
  WriteCsv(out, {(fs::path(QUORVANE_SOURCE_DIR) / "samples" / "canon-sunset.jpg").string()}, DefaultCsvColumns(),
           TMemIniFile());
  const std::string csv = out.str();
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "File,Camera make,Camera model,Date/time original,Exposure time,F number,ISO speed rating(s),Focal "
            "length,GPS latitude,GPS longitude,Latitude,Longitude,Orientation");
  EXPECT_NE(csv.find(",Canon,Canon EOS Sample,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",1/500 s,f/8,100,35 mm,46? 30 minutes and 36 seconds north,"), std::string::npos) << csv;
}

// A cell a spreadsheet would run as a formula gets an apostrophe; a plain number stays a number.
TEST_F(PhotoJobs, ACsvCellThatASpreadsheetWouldRunIsNeutralised) {
  const struct {
    std::string Cell;
    std::string Written;
  } cases[] = {
      {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {"=1+2", "'=1+2"},
      {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
      {"-2+3", "'-2+3"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tx", "'\tx"},
      {"\rx", "\"'\rx\""},
      {"-", "'-"},
      {"-.", "'-."},
      {"-0.7 EV", "'-0.7 EV"},
      {"-0.7", "-0.7"},
      {"-3", "-3"},
      {"+1.5", "+1.5"},
      {"-.5", "-.5"},
      {"-0,7", "\"-0,7\""},
      {"a=b", "a=b"},
      {" =x", " =x"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CsvHeader({c.Cell}), "File," + c.Written + "\r\n") << c.Cell;
}

TEST_F(PhotoJobs, ANegativeExposureBiasOfARealPhotoStaysANumberInTheCsv) {
  const fs::path photo = fs::path(QUORVANE_PHOTOS_DIR) / "exiftool_olympus_u760-s760_Olympus2.jpg";
  if (!fs::exists(photo)) GTEST_SKIP() << "no real photos";
  std::string value;
  for (const TListRow& row : ListPhoto(photo.string(), TMemIniFile()).Standard)
    if (row.IsValueRow() && Zorp::Base::Trim(row.Caption) == "Exposure bias value") value = row.Value();
  ASSERT_TRUE(value.starts_with("-0")) << value;  // as the Standard list shows it
  TJobFailure failure;
  const std::string written = CsvLine(photo.string(), {"Exposure bias value"}, TMemIniFile(), failure);
  EXPECT_TRUE(written.ends_with("," + value + "\r\n") || written.ends_with(",\"" + value + "\"\r\n")) << written;
}

}  // namespace
