#include <gtest/gtest.h>

#include "TestHelpers.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"

using namespace Zorp::Base;

namespace {

using Zorp::Testing::ConvertErrorOf;

TFormatSettings CommaSettings() {
  TFormatSettings settings = TFormatSettings::Invariant();
  settings.DecimalSeparator = ',';
  return settings;
}

std::string G(double value, int precision = 15) { return FloatToStrG(value, precision, TFormatSettings::Invariant()); }

}  // namespace

// ---- FloatToStrG: the "%g" and "%.4g" formats ----

TEST(AGeneralFloatFormat, WritesIntegersWithoutSeparator) {
  EXPECT_EQ(G(0), "0");
  EXPECT_EQ(G(-0.0), "0");
  EXPECT_EQ(G(72), "72");
  EXPECT_EQ(G(-300), "-300");
  EXPECT_EQ(G(100000000000000.0), "100000000000000");  // 15 integer digits still fixed
}

TEST(AGeneralFloatFormat, WritesFractionsWithoutTrailingZeros) {
  EXPECT_EQ(G(30.5), "30.5");
  EXPECT_EQ(G(2.25), "2.25");
  EXPECT_EQ(G(-0.125), "-0.125");
  EXPECT_EQ(G(0.0001), "0.0001");
}

TEST(AGeneralFloatFormat, RoundsToFifteenSignificantDigits) {
  EXPECT_EQ(G(static_cast<double>(0.1f)), "0.100000001490116");  // a single widened to double
  EXPECT_EQ(G(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(G(2.0 / 3), "0.666666666666667");
  EXPECT_EQ(G(0.1 + 0.2), "0.3");  // the binary noise lies beyond the 15th digit
  EXPECT_EQ(G(123456789012345.0), "123456789012345");
}

TEST(AGeneralFloatFormat, SwitchesToScientificAtThePrecision) {
  EXPECT_EQ(G(1e15), "1E15");
  EXPECT_EQ(G(999999999999999.9), "1E15");  // rounding carries into the sixteenth digit
  EXPECT_EQ(G(123456789012345678.0), "1.23456789012346E17");
  EXPECT_EQ(G(-2.5e20), "-2.5E20");
  EXPECT_EQ(G(1.5e300), "1.5E300");
}

TEST(AGeneralFloatFormat, KeepsFixedNotationDownToOneHundredThousandth) {
  EXPECT_EQ(G(0.00001), "0.00001");
  EXPECT_EQ(G(0.000012345), "0.000012345");
  EXPECT_EQ(G(0.0000099999), "9.9999E-6");
  EXPECT_EQ(G(1.5e-7), "1.5E-7");
  EXPECT_EQ(G(-1e-300), "-1E-300");
}

TEST(AGeneralFloatFormat, NamesNonFiniteValues) {
  EXPECT_EQ(G(std::numeric_limits<double>::quiet_NaN()), "NAN");
  EXPECT_EQ(G(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(G(-std::numeric_limits<double>::infinity()), "-INF");
}

TEST(AGeneralFloatFormat, UsesTheSettingsDecimalSeparator) {
  EXPECT_EQ(FloatToStrG(30.5, 15, CommaSettings()), "30,5");
  EXPECT_EQ(FloatToStrG(1.5e-7, 15, CommaSettings()), "1,5E-7");
  EXPECT_EQ(FloatToStrG(42, 15, CommaSettings()), "42");
}

TEST(AGeneralFloatFormat, WithPrecisionFourRoundsToFourDigits) {
  EXPECT_EQ(G(2.21, 4), "2.21");
  EXPECT_EQ(G(7.8125, 4), "7.812");  // an exact halfway case rounds to even, as the C library does
  EXPECT_EQ(G(1234.5, 4), "1234");
  EXPECT_EQ(G(1234.6, 4), "1235");
  EXPECT_EQ(G(12345.6, 4), "1.235E4");
  EXPECT_EQ(G(9999.9, 4), "1E4");
  EXPECT_EQ(G(1000, 4), "1000");
  EXPECT_EQ(G(0.015625, 4), "0.01562");
}

// ---- Integer parsing ----

TEST(AnIntegerParser, ReadsDecimalAndHexadecimalText) {
  std::int32_t value = 0;
  ASSERT_TRUE(TryStrToInt("42", value));
  EXPECT_EQ(value, 42);
  ASSERT_TRUE(TryStrToInt("-17", value));
  EXPECT_EQ(value, -17);
  ASSERT_TRUE(TryStrToInt("+007", value));
  EXPECT_EQ(value, 7);
  ASSERT_TRUE(TryStrToInt("$FF", value));
  EXPECT_EQ(value, 255);
  ASSERT_TRUE(TryStrToInt("0x1f", value));
  EXPECT_EQ(value, 31);
  ASSERT_TRUE(TryStrToInt("-$10", value));
  EXPECT_EQ(value, -16);
}

TEST(AnIntegerParser, AcceptsExactlyTheThirtyTwoBitRange) {
  std::int32_t value = 0;
  ASSERT_TRUE(TryStrToInt("2147483647", value));
  EXPECT_EQ(value, 2147483647);
  ASSERT_TRUE(TryStrToInt("-2147483648", value));
  EXPECT_EQ(value, std::numeric_limits<std::int32_t>::min());
  EXPECT_FALSE(TryStrToInt("2147483648", value));
  EXPECT_FALSE(TryStrToInt("-2147483649", value));
  EXPECT_FALSE(TryStrToInt("$80000000", value));
  EXPECT_FALSE(TryStrToInt("99999999999999999999999", value));
}

TEST(AnIntegerParser, AcceptsExactlyTheSixtyFourBitRange) {
  std::int64_t value = 0;
  ASSERT_TRUE(TryStrToInt64("4294967295", value));
  EXPECT_EQ(value, 4294967295LL);
  ASSERT_TRUE(TryStrToInt64("-9223372036854775808", value));
  EXPECT_EQ(value, std::numeric_limits<std::int64_t>::min());
  EXPECT_FALSE(TryStrToInt64("9223372036854775808", value));
}

TEST(AnIntegerParser, RejectsMalformedTextAndLeavesTheValue) {
  std::int32_t value = 5;
  for (const char* text : {"", "-", "+", "$", "0x", " 1", "1 ", "1a", "--1", "+-1", "0x-1", "1.0", "1e3", "abc"}) {
    EXPECT_FALSE(TryStrToInt(text, value)) << text;
  }
  EXPECT_EQ(value, 5);
}

TEST(AnIntegerParser, RaisesTheConversionErrorWithTheText) {
  EXPECT_EQ(ConvertErrorOf([] { StrToInt("abc"); }), "''abc'' is not a valid integer value");
  EXPECT_EQ(ConvertErrorOf([] { StrToInt("4294967296"); }), "''4294967296'' is not a valid integer value");
  EXPECT_EQ(ConvertErrorOf([] { StrToInt64(""); }), "'''' is not a valid integer value");
  EXPECT_EQ(StrToInt("123"), 123);
}

// ---- Float parsing ----

TEST(AFloatParser, ReadsTheSettingsSeparatorAndExponents) {
  const TFormatSettings invariant = TFormatSettings::Invariant();
  double value = 0;
  ASSERT_TRUE(TryStrToFloat("2.5", value, invariant));
  EXPECT_EQ(value, 2.5);
  ASSERT_TRUE(TryStrToFloat("2,5", value, CommaSettings()));
  EXPECT_EQ(value, 2.5);
  ASSERT_TRUE(TryStrToFloat("  -1.5E-3 ", value, invariant));
  EXPECT_EQ(value, -1.5e-3);
  ASSERT_TRUE(TryStrToFloat("+3e2", value, invariant));
  EXPECT_EQ(value, 300);
  ASSERT_TRUE(TryStrToFloat(".5", value, invariant));
  EXPECT_EQ(value, 0.5);
  ASSERT_TRUE(TryStrToFloat("7.", value, invariant));
  EXPECT_EQ(value, 7);
}

TEST(AFloatParser, RejectsAnotherSeparatorAndMalformedText) {
  double value = 9;
  EXPECT_FALSE(TryStrToFloat("2.5", value, CommaSettings()));
  EXPECT_FALSE(TryStrToFloat("2,5", value, TFormatSettings::Invariant()));
  for (const char* text : {"", " ", ".", "-", "1e", "1e+", "e5", "1 2", "1.2.3", "0x10", "inf", "nan", "1,5"}) {
    EXPECT_FALSE(TryStrToFloat(text, value, TFormatSettings::Invariant())) << text;
  }
  EXPECT_EQ(value, 9);
}

TEST(AFloatParser, FailsOnOverflowAndGivesZeroOnUnderflow) {
  const TFormatSettings invariant = TFormatSettings::Invariant();
  double value = 9;
  EXPECT_FALSE(TryStrToFloat("1e400", value, invariant));
  EXPECT_FALSE(TryStrToFloat("0.001e312", value, invariant));
  ASSERT_TRUE(TryStrToFloat("1e-400", value, invariant));
  EXPECT_EQ(value, 0);
  ASSERT_TRUE(TryStrToFloat("1000e-99999999999999999999", value, invariant));
  EXPECT_EQ(value, 0);
}

TEST(AFloatParser, RaisesTheConversionErrorWithTheText) {
  EXPECT_EQ(ConvertErrorOf([] { StrToFloat("1.5", CommaSettings()); }), "''1.5'' is not a valid floating point value");
  EXPECT_EQ(StrToFloat("1,5", CommaSettings()), 1.5);
}

// ---- Settings ----

TEST(FormatSettingsFromTheLocale, MapsCommonDateAndTimeFormats) {
  const TFormatSettings german = TFormatSettings::FromLocaleFormats(",", "%d.%m.%Y", "%H:%M:%S");
  EXPECT_EQ(german.DecimalSeparator, ',');
  EXPECT_EQ(german.ShortDatePattern, "dd.mm.yyyy");
  EXPECT_EQ(german.DateSeparator, '.');
  EXPECT_EQ(german.LongTimePattern, "hh:nn:ss");
  EXPECT_EQ(german.TimeSeparator, ':');

  const TFormatSettings american = TFormatSettings::FromLocaleFormats(".", "%m/%d/%Y", "%r");
  EXPECT_EQ(american.ShortDatePattern, "mm/dd/yyyy");
  EXPECT_EQ(american.DateSeparator, '/');
  EXPECT_EQ(american.LongTimePattern, "hh:nn:ss AM/PM");

  const TFormatSettings iso = TFormatSettings::FromLocaleFormats(".", "%F", "%T");
  EXPECT_EQ(iso.ShortDatePattern, "yyyy-mm-dd");
  EXPECT_EQ(iso.LongTimePattern, "hh:nn:ss");
}

TEST(FormatSettingsFromTheLocale, KeepsTheInvariantPartsItCannotMap) {
  const TFormatSettings invariant = TFormatSettings::Invariant();
  for (const char* date : {"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5", "%Y. %m. %d.", "%d/%m-%Y", "%d/%m", "%A %d"}) {
    const TFormatSettings mapped = TFormatSettings::FromLocaleFormats("", date, "%p %I:%M");
    EXPECT_EQ(mapped.ShortDatePattern, invariant.ShortDatePattern) << date;
    EXPECT_EQ(mapped.DateSeparator, invariant.DateSeparator) << date;
    EXPECT_EQ(mapped.LongTimePattern, invariant.LongTimePattern);
    EXPECT_EQ(mapped.DecimalSeparator, '.');
  }
  // A multi-byte radix character cannot be one char.
  EXPECT_EQ(TFormatSettings::FromLocaleFormats("\xD9\xAB", "", "").DecimalSeparator, '.');
}

TEST(FormatSettingsFromTheLocale, IsInvariantInThePosixLocaleOrAnUnknownOne) {
  const char* saved = std::getenv("LC_ALL");
  const std::optional<std::string> old = saved ? std::optional<std::string>(saved) : std::nullopt;
  for (const char* name : {"C", "POSIX", "C.UTF-8", "xx_YY.UTF-8"}) {
    setenv("LC_ALL", name, 1);
    const TFormatSettings settings = TFormatSettings::FromEnvironment();
    EXPECT_EQ(settings.DecimalSeparator, '.') << name;
    EXPECT_EQ(settings.ShortDatePattern, "yyyy-mm-dd") << name;
    EXPECT_EQ(settings.LongTimePattern, "hh:nn:ss") << name;
    EXPECT_EQ(settings.DateSeparator, '-') << name;
    EXPECT_EQ(settings.TimeSeparator, ':') << name;
  }
  if (old)
    setenv("LC_ALL", old->c_str(), 1);
  else
    unsetenv("LC_ALL");
}

TEST(TheProcessFormatSettings, CanBeReplaced) {
  const TFormatSettings before = FormatSettings();
  const TFormatSettings& current = FormatSettings();
  SetFormatSettings(CommaSettings());
  EXPECT_EQ(current.DecimalSeparator, ',');  // a reference taken earlier sees the new settings
  EXPECT_EQ(FloatToStrG(0.5), "0,5");
  EXPECT_EQ(StrToFloat("0,25"), 0.25);
  SetFormatSettings(before);
  EXPECT_EQ(FormatSettings().DecimalSeparator, before.DecimalSeparator);
}
