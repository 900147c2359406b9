#include <gtest/gtest.h>

#include "TestHelpers.h"

#include <cmath>
#include <limits>
#include <string>

#include "zorp/base/DateTime.h"
#include "zorp/base/Exceptions.h"

using namespace Zorp::Base;

namespace {

using Zorp::Testing::ConvertErrorOf;

TFormatSettings GermanSettings() {
  TFormatSettings settings;
  settings.DecimalSeparator = ',';
  settings.DateSeparator = '.';
  settings.ShortDatePattern = "dd.mm.yyyy";
  settings.LongTimePattern = "hh:nn:ss";
  return settings;
}

TFormatSettings AmericanSettings() {
  TFormatSettings settings;
  settings.DateSeparator = '/';
  settings.ShortDatePattern = "m/d/yyyy";
  settings.LongTimePattern = "h:nn:ss AM/PM";
  return settings;
}

std::string PartsText(const TDateTimeParts& p) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", p.Year, p.Month, p.Day, p.Hour, p.Minute,
                p.Second, p.Millisecond);
  return buffer;
}

std::string Decoded(TDateTime value) { return PartsText(DecodeDateTime(value)); }

}  // namespace

// ---- Validity ----

TEST(ACalendarDate, IsValidOnlyForRealDaysOfYearsOneToNineThousandNineHundredNinetyNine) {
  EXPECT_TRUE(IsValidDate(2012, 2, 29));
  EXPECT_FALSE(IsValidDate(2011, 2, 29));
  EXPECT_FALSE(IsValidDate(1900, 2, 29));
  EXPECT_TRUE(IsValidDate(2000, 2, 29));
  EXPECT_FALSE(IsValidDate(2010, 2, 30));
  EXPECT_FALSE(IsValidDate(2010, 4, 31));
  EXPECT_FALSE(IsValidDate(2010, 13, 1));
  EXPECT_FALSE(IsValidDate(2010, 0, 1));
  EXPECT_FALSE(IsValidDate(2010, 1, 0));
  EXPECT_TRUE(IsValidDate(1, 1, 1));
  EXPECT_TRUE(IsValidDate(9999, 12, 31));
  EXPECT_FALSE(IsValidDate(0, 12, 31));
  EXPECT_FALSE(IsValidDate(10000, 1, 1));
}

TEST(ATimeOfDay, IsValidBelowTwentyFourHours) {
  EXPECT_TRUE(IsValidTime(0, 0, 0, 0));
  EXPECT_TRUE(IsValidTime(23, 59, 59, 999));
  EXPECT_FALSE(IsValidTime(24, 0, 0, 0));
  EXPECT_FALSE(IsValidTime(12, 60, 0, 0));
  EXPECT_FALSE(IsValidTime(12, 0, 60, 0));
  EXPECT_FALSE(IsValidTime(12, 0, 0, 1000));
  EXPECT_FALSE(IsValidTime(-1, 0, 0, 0));
}

// ---- Encoding and decoding ----

TEST(ADateTimeValue, CountsDaysFromTheEndOf1899) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2010, 7, 4), 40363.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
  EXPECT_EQ(EncodeDateTime(2010, 7, 4, 18, 0, 0, 0), 40363.75);
}

TEST(ADateTimeValue, BeforeZeroAddsTheTimeOfDayAsMagnitude) {
  EXPECT_EQ(EncodeDateTime(1899, 12, 29, 6, 0, 0, 0), -1.25);
  EXPECT_EQ(Decoded(-1.25), "1899-12-29 06:00:00.000");
  EXPECT_EQ(Decoded(-0.5), "1899-12-30 12:00:00.000");
  EXPECT_EQ(Decoded(-2), "1899-12-28 00:00:00.000");
}

TEST(ADateTimeValue, SurvivesEncodeAndDecodeWithMilliseconds) {
  const TDateTimeParts samples[] = {
      {2010, 7, 4, 10, 20, 30, 5},     {2012, 2, 29, 23, 59, 59, 999}, {1899, 12, 30, 0, 0, 0, 1},
      {1899, 12, 29, 23, 59, 59, 999}, {1850, 3, 1, 12, 0, 0, 500},    {1, 1, 1, 0, 0, 0, 0},
      {9999, 12, 31, 23, 59, 59, 999}, {1970, 1, 1, 0, 0, 0, 0},       {2038, 1, 19, 3, 14, 7, 123},
  };
  for (const TDateTimeParts& p : samples) {
    const TDateTime value = EncodeDateTime(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second, p.Millisecond);
    EXPECT_EQ(Decoded(value), PartsText(p));
  }
}

TEST(ADateTimeValue, DecodesToTheNearestMillisecond) {
  const TDateTime almostMidnight = 40363.0 + (MSecsPerDay - 0.4) / MSecsPerDay;
  EXPECT_EQ(Decoded(almostMidnight), "2010-07-05 00:00:00.000");
  EXPECT_EQ(Decoded(40363.0 + 1.6 / MSecsPerDay), "2010-07-04 00:00:00.002");
  // Just before the day boundary on the negative side rounds up into 1899-12-30.
  EXPECT_EQ(Decoded(-1.0 - (MSecsPerDay - 0.3) / MSecsPerDay), "1899-12-30 00:00:00.000");
}

TEST(ADateTimeValue, OutsideTheCalendarDecodesToZeros) {
  EXPECT_EQ(Decoded(std::numeric_limits<double>::quiet_NaN()), "0000-00-00 00:00:00.000");
  EXPECT_EQ(Decoded(std::numeric_limits<double>::infinity()), "0000-00-00 00:00:00.000");
  EXPECT_EQ(Decoded(1e20), "0000-00-00 00:00:00.000");
  EXPECT_EQ(Decoded(2958466.0), "0000-00-00 00:00:00.000");  // 10000-01-01
}

TEST(ADateTimeValue, RaisesForAnInvalidDateOrTime) {
  TDateTime value = 7;
  EXPECT_FALSE(TryEncodeDateTime(2010, 2, 30, 0, 0, 0, 0, value));
  EXPECT_FALSE(TryEncodeDateTime(2010, 2, 3, 24, 0, 0, 0, value));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(ConvertErrorOf([] { EncodeDate(2010, 2, 30); }), "Invalid argument to date encode");
  EXPECT_EQ(ConvertErrorOf([] { EncodeTime(10, 61, 0, 0); }), "Invalid argument to time encode");
  EXPECT_EQ(ConvertErrorOf([] { EncodeDateTime(2010, 2, 28, 10, 0, 60, 0); }), "Invalid argument to time encode");
}

TEST(ADateTimeValue, AddsMillisecondsAcrossMidnightAndZero) {
  EXPECT_EQ(Decoded(IncMilliSecond(EncodeDateTime(2010, 12, 31, 23, 59, 59, 999), 1)), "2011-01-01 00:00:00.000");
  EXPECT_EQ(Decoded(IncMilliSecond(EncodeDate(2010, 7, 4), -1)), "2010-07-03 23:59:59.999");
  EXPECT_EQ(IncMilliSecond(EncodeDateTime(1899, 12, 29, 23, 59, 59, 999), 1), 0.0);
  EXPECT_EQ(Decoded(IncMilliSecond(0.0, -1)), "1899-12-29 23:59:59.999");
  EXPECT_EQ(IncMilliSecond(-1.25, 6 * 3600000), -1.5);  // 06:00 -> 12:00 on 1899-12-29
  EXPECT_EQ(Decoded(IncMilliSecond(0.0, 40363LL * 86400000 + 37230005)), "2010-07-04 10:20:30.005");
  EXPECT_TRUE(std::isnan(IncMilliSecond(std::numeric_limits<double>::quiet_NaN(), 1)));
}

// ---- Formatting ----

TEST(DateTimeFormatting, FillsEveryPatternLetter) {
  const TDateTime value = EncodeDateTime(2010, 7, 4, 9, 5, 3, 7);
  const TFormatSettings settings = TFormatSettings::Invariant();
  EXPECT_EQ(FormatDateTime("yyyy yy mm m dd d", value, settings), "2010 10 07 7 04 4");
  EXPECT_EQ(FormatDateTime("hh h nn n ss s zzz z", value, settings), "09 9 05 5 03 3 007 7");
  EXPECT_EQ(FormatDateTime("mmm mmmm ddd dddd", value, settings), "Jul July Sun Sunday");
  EXPECT_EQ(FormatDateTime("YYYY-MM-DD", value, settings), "2010-07-04");
}

TEST(DateTimeFormatting, KeepsMmAsMonthAfterHours) {
  const TDateTime value = EncodeDateTime(2010, 7, 4, 9, 5, 3, 0);
  EXPECT_EQ(FormatDateTime("hh:mm", value, TFormatSettings::Invariant()), "09:07");
}

TEST(DateTimeFormatting, CopiesQuotedLiteralsAndMapsSeparators) {
  const TDateTime value = EncodeDateTime(2010, 7, 4, 9, 5, 3, 0);
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", value, GermanSettings()), "04.07.2010 09:05");
  EXPECT_EQ(FormatDateTime("'day' d \"at\" h", value, GermanSettings()), "day 4 at 9");
  EXPECT_EQ(FormatDateTime("'unclosed d", value, GermanSettings()), "unclosed d");
  EXPECT_EQ(FormatDateTime("yyyy#", value, GermanSettings()), "2010#");
}

TEST(DateTimeFormatting, UsesTheSettingsPatternsForShortDateAndLongTime) {
  const TDateTime value = EncodeDateTime(2010, 7, 4, 10, 20, 30, 0);
  EXPECT_EQ(FormatDateTime("ddddd tt", value, TFormatSettings::Invariant()), "2010-07-04 10:20:30");
  EXPECT_EQ(DateTimeToStr(value, GermanSettings()), "04.07.2010 10:20:30");
  EXPECT_EQ(DateTimeToStr(value, AmericanSettings()), "7/4/2010 10:20:30 AM");
  EXPECT_EQ(DateTimeToStr(0.0, TFormatSettings::Invariant()), "1899-12-30 00:00:00");
}

TEST(DateTimeFormatting, WritesTwelveHourTimesWithAmPm) {
  const TFormatSettings settings = TFormatSettings::Invariant();
  EXPECT_EQ(FormatDateTime("h:nn am/pm", EncodeTime(0, 30, 0, 0), settings), "12:30 am");
  EXPECT_EQ(FormatDateTime("h:nn AM/PM", EncodeTime(12, 5, 0, 0), settings), "12:05 PM");
  EXPECT_EQ(FormatDateTime("hh a/p", EncodeTime(23, 0, 0, 0), settings), "11 p");
}

TEST(DateTimeFormatting, LeavesTheTimeOffCAtMidnight) {
  const TFormatSettings settings = TFormatSettings::Invariant();
  EXPECT_EQ(FormatDateTime("c", EncodeDate(2010, 7, 4), settings), "2010-07-04");
  EXPECT_EQ(FormatDateTime("c", EncodeDateTime(2010, 7, 4, 0, 0, 1, 0), settings), "2010-07-04 00:00:01");
}

TEST(DateTimeFormatting, StopsOnASelfReferringPattern) {
  TFormatSettings settings = TFormatSettings::Invariant();
  settings.ShortDatePattern = "ddddd";
  settings.LongTimePattern = "tt c";
  EXPECT_NO_THROW(DateTimeToStr(1.5, settings));
}

// ---- Parsing ----

TEST(DateTimeParsing, ReadsTheShortDateAndAnOptionalTime) {
  const TFormatSettings settings = TFormatSettings::Invariant();
  TDateTime value = 0;
  ASSERT_TRUE(TryStrToDateTime("2010-07-04 10:20:30", value, settings));
  EXPECT_EQ(Decoded(value), "2010-07-04 10:20:30.000");
  ASSERT_TRUE(TryStrToDateTime("  2010-7-4  ", value, settings));
  EXPECT_EQ(value, 40363.0);
  ASSERT_TRUE(TryStrToDateTime("2010-07-04 9:05", value, settings));
  EXPECT_EQ(Decoded(value), "2010-07-04 09:05:00.000");
  ASSERT_TRUE(TryStrToDateTime("2010-07-04 10:20:30.5", value, settings));
  EXPECT_EQ(Decoded(value), "2010-07-04 10:20:30.500");
  ASSERT_TRUE(TryStrToDateTime("1899-12-29 06:00", value, settings));
  EXPECT_EQ(value, -1.25);
}

TEST(DateTimeParsing, FollowsTheOrderAndSeparatorsOfTheSettings) {
  TDateTime value = 0;
  ASSERT_TRUE(TryStrToDateTime("04.07.2010 10:20:30", value, GermanSettings()));
  EXPECT_EQ(Decoded(value), "2010-07-04 10:20:30.000");
  ASSERT_TRUE(TryStrToDateTime("04.07.2010 10:20:30,25", value, GermanSettings()));
  EXPECT_EQ(Decoded(value), "2010-07-04 10:20:30.250");
  ASSERT_TRUE(TryStrToDateTime("7/4/2010 10:20:30 PM", value, AmericanSettings()));
  EXPECT_EQ(Decoded(value), "2010-07-04 22:20:30.000");
  ASSERT_TRUE(TryStrToDateTime("7/4/2010 12:00 am", value, AmericanSettings()));
  EXPECT_EQ(Decoded(value), "2010-07-04 00:00:00.000");
  EXPECT_FALSE(TryStrToDateTime("2010-07-04", value, GermanSettings()));
  EXPECT_FALSE(TryStrToDateTime("04.07.2010", value, TFormatSettings::Invariant()));
}

TEST(DateTimeParsing, ReadsTwoDigitYearsNearTheCurrentCentury) {
  TFormatSettings settings = TFormatSettings::Invariant();
  settings.ShortDatePattern = "yy-mm-dd";
  TDateTime value = 0;
  ASSERT_TRUE(TryStrToDateTime("10-07-04", value, settings));
  EXPECT_EQ(Decoded(value), "2010-07-04 00:00:00.000");
}

TEST(DateTimeParsing, RejectsInvalidTextAndLeavesTheValue) {
  const TFormatSettings settings = TFormatSettings::Invariant();
  TDateTime value = 3;
  for (const char* text : {"", "2010-02-30", "2010-13-01", "2010-07-04x", "2010/07/04", "2010-07", "10:20:30",
                           "2010-07-04 25:00", "2010-07-04 10:60", "2010-07-04 10",
                           "2010-07-04 10:20:", "2010-07-04 10:20:30.", "2010-07-04 10:20:30 XM", "2010-07-04 13:00 PM",
                           "2010-07-04 10:20:30:40", "20100-07-04", "2010-007-04", "2010-07-0410:20", "12010-07-04"}) {
    EXPECT_FALSE(TryStrToDateTime(text, value, settings)) << text;
  }
  EXPECT_EQ(value, 3);
  EXPECT_EQ(ConvertErrorOf([&] { StrToDateTime("2010-02-30", settings); }),
            "''2010-02-30'' is not a valid date and time");
}

TEST(DateTimeParsing, ReadsBackWhatFormattingWrote) {
  const TFormatSettings all[] = {TFormatSettings::Invariant(), GermanSettings(), AmericanSettings()};
  const TDateTime values[] = {EncodeDateTime(2010, 7, 4, 10, 20, 30, 0), EncodeDateTime(1850, 1, 31, 23, 0, 59, 0),
                              EncodeDateTime(1899, 12, 29, 12, 0, 0, 0), EncodeDate(9999, 12, 31),
                              EncodeDateTime(1, 1, 1, 0, 0, 1, 0)};
  for (const TFormatSettings& settings : all) {
    for (TDateTime value : values) {
      const std::string text = DateTimeToStr(value, settings);
      TDateTime parsed = 0;
      ASSERT_TRUE(TryStrToDateTime(text, parsed, settings)) << text;
      EXPECT_EQ(parsed, value) << text;
    }
  }
}
