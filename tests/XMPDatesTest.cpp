// XMP date texts: what reads as a date, in which precision, and how a shift moves each form.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "zorp/exif/XMPDates.h"

namespace {

using namespace Zorp::Exif;

struct TReadCase {
  const char* Text;
  TXMPDatePrecision Precision;
  const char* Fraction;
  const char* Zone;
};

TEST(AnXMPDate, ReadsEachPrecisionAndWritesItBackAsStored) {
  const TReadCase cases[] = {
      {"2009", dpYear, "", ""},
      {"2009-06", dpMonth, "", ""},
      {"2009-06-24", dpDay, "", ""},
      {"2009-06-24T09:41", dpMinute, "", ""},
      {"2009-06-24T09:41Z", dpMinute, "", "Z"},
      {"2009-06-24T09:41:07", dpSecond, "", ""},
      {"2009-06-24T09:41:07.72+01:00", dpSecond, "72", "+01:00"},
      {"2009-06-24T09:41:07.123456-05:30", dpSecond, "123456", "-05:30"},
      {"2009-06-24T09:41:07+0100", dpSecond, "", "+0100"},
      {"0001-01-01T00:00:00", dpSecond, "", ""},
      {"2024-02-29T23:59:59.9Z", dpSecond, "9", "Z"},
  };
  for (const TReadCase& c : cases) {
    TXMPDate date;
    ASSERT_TRUE(TryParseXMPDate(c.Text, date)) << c.Text;
    EXPECT_EQ(date.Precision, c.Precision) << c.Text;
    EXPECT_EQ(date.Fraction, c.Fraction) << c.Text;
    EXPECT_EQ(date.Zone, c.Zone) << c.Text;
    EXPECT_EQ(XMPDateText(date), c.Text);
  }
}

TEST(AnXMPDate, RefusesTextThatIsNoDateOnTheCalendar) {
  for (const char* text : {"", "09", "2009-6-24", "2009-06-24 09:41:07", "2009-06-24T09", "2009-06-24T09:41:07.",
                           "2009-06-24T09:41:07+1:00", "2009-06-24T09:41:07+01:00Z", "2009-06-24T24:00:00",
                           "2009-06-24T09:60", "2009-02-29", "2009-13", "0000-01-01", "2009-06-24Z", "2009:06:24",
                           "2009-06-24T09:41:07 ", "2009-06-24T09:41:07+24:00", "2009-06-24T09:41:07+01:60"}) {
    TXMPDate date;
    EXPECT_FALSE(TryParseXMPDate(text, date)) << text;
  }
}

struct TShiftCase {
  const char* Name;
  const char* Before;
  std::int64_t Seconds;
  const char* After;  // nullptr: refused
};

class AShiftedXMPDate : public ::testing::TestWithParam<TShiftCase> {};

TEST_P(AShiftedXMPDate, MovesInItsOwnPrecisionKeepingFractionAndZone) {
  const TShiftCase& c = GetParam();
  TXMPDate date;
  ASSERT_TRUE(TryParseXMPDate(c.Before, date));
  const bool shifted = TryShiftXMPDate(date, c.Seconds);
  EXPECT_EQ(shifted, c.After != nullptr);
  EXPECT_EQ(XMPDateText(date), c.After ? c.After : c.Before);
}

constexpr std::int64_t Hour = 3600, Day = 86400;

INSTANTIATE_TEST_SUITE_P(
    Forms, AShiftedXMPDate,
    ::testing::Values(TShiftCase{"FractionAndZoneStay", "2009-06-24T09:41:07.72+01:00", Hour,
                                 "2009-06-24T10:41:07.72+01:00"},
                      TShiftCase{"BackAcrossMidnight", "2009-06-24T00:30:00.5Z", -Hour, "2009-06-23T23:30:00.5Z"},
                      TShiftCase{"LocalTimeStaysLocal", "2009-06-24T09:41:07", 2 * Day + 30, "2009-06-26T09:41:37"},
                      TShiftCase{"NegativeZone", "2023-12-31T23:59:59-08:00", 1, "2024-01-01T00:00:00-08:00"},
                      TShiftCase{"MinutesAreCut", "2009-06-24T09:41+02:00", 90, "2009-06-24T09:42+02:00"},
                      TShiftCase{"MinutesBack", "2009-06-24T09:41", -30, "2009-06-24T09:40"},
                      TShiftCase{"DateIgnoresHours", "2009-06-24", -Hour, "2009-06-24"},
                      TShiftCase{"DateMovesByWholeDays", "2009-06-24", -(Day + Hour), "2009-06-23"},
                      TShiftCase{"DateForwardOverMonthEnd", "2024-02-28", 2 * Day, "2024-03-01"},
                      TShiftCase{"YearMonthFromItsFirstDay", "2009-06", 40 * Day, "2009-07"},
                      TShiftCase{"YearAlone", "2009", 400 * Day, "2010"},
                      TShiftCase{"ToTheLastSecond", "9999-12-31T23:59:58", 1, "9999-12-31T23:59:59"},
                      TShiftCase{"PastTheLastYear", "9999-12-31T23:59:59", 1, nullptr},
                      TShiftCase{"BeforeTheFirstYear", "0001-01-01T00:00:00", -1, nullptr},
                      TShiftCase{"FarTooLong", "2009-06-24T09:41:07", INT64_MAX, nullptr}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(TheXMPDateCopies, PairEachExifDateWithItsMirrorFirst) {
  const auto names = [](TExifTagID id) {
    std::string text;
    for (const TXMPDateCopy& copy : XMPDateCopies(id)) text += XMPNamespacePrefix(copy.Schema) + ":" + copy.Name + " ";
    return text;
  };
  EXPECT_EQ(names(ttDateTime), "tiff:DateTime xmp:ModifyDate ");
  EXPECT_EQ(names(ttDateTimeOriginal), "exif:DateTimeOriginal photoshop:DateCreated ");
  EXPECT_EQ(names(ttDateTimeDigitized), "exif:DateTimeDigitized xmp:CreateDate ");
  EXPECT_EQ(names(ttMake), "");
}

}  // namespace
