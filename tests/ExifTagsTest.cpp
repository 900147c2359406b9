// Tags on their own: type and count conversions, text forms, IFD entries, and the unit routines.

#include <gtest/gtest.h>

#include "TestHelpers.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ByteBuilder.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/ExifTags.h"

using namespace Zorp::Exif;
using Zorp::Base::TMemoryStream;
using Zorp::Testing::ByteBuilder;

namespace {

std::vector<std::uint8_t> BytesOf(const TExifTag& tag) { return {tag.Bytes().begin(), tag.Bytes().end()}; }

template <typename T>
void Store(TExifTag& tag, std::int32_t count, std::initializer_list<T> values) {
  std::vector<T> data(values);
  tag.UpdateData(tag.DataType(), count, data.data());
}

std::vector<std::uint8_t> EntryBytes(const TExifTag& tag, TByteOrder order, std::uint32_t offset = 0) {
  TMemoryStream stream;
  tag.WriteEntry(stream, order, offset);
  return stream.Bytes();
}

std::vector<std::uint8_t> ReferencedBytes(const TExifTag& tag, TByteOrder order) {
  TMemoryStream stream;
  tag.WriteReferencedData(stream, order);
  return stream.Bytes();
}

// Restores the process-wide number settings after a test that changes them.
class ScopedFormatSettings {
 public:
  explicit ScopedFormatSettings(char decimalSeparator) : FSaved(Zorp::Base::FormatSettings()) {
    Zorp::Base::TFormatSettings settings = Zorp::Base::TFormatSettings::Invariant();
    settings.DecimalSeparator = decimalSeparator;
    Zorp::Base::SetFormatSettings(settings);
  }
  ~ScopedFormatSettings() { Zorp::Base::SetFormatSettings(FSaved); }

 private:
  Zorp::Base::TFormatSettings FSaved;
};

}  // namespace

TEST(ATiffDataType, HasOneElementSizePerTypeCode) {
  const std::uint32_t expected[] = {1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  for (std::uint16_t code = 1; code <= 13; ++code) EXPECT_EQ(TiffDataTypeSize(code), expected[code - 1]) << code;
  EXPECT_EQ(TiffDataTypeSize(0), 0u);
  EXPECT_EQ(TiffDataTypeSize(14), 0u);
  EXPECT_EQ(TiffDataTypeSize(0xFFFF), 0u);
  EXPECT_EQ(AllTiffDataTypes().Count(), 13u);
}

// ---- Type and count conversions ----

TEST(AnExifTag, StartsZeroFilledAndTurnsANegativeCountIntoZero) {
  TExifTag tag(nullptr, 0x0100, dtRational, 2);
  EXPECT_EQ(tag.DataSize(), 16);
  EXPECT_EQ(BytesOf(tag), std::vector<std::uint8_t>(16, 0));
  EXPECT_EQ(tag.SourceDataSize(), 16u);
  EXPECT_TRUE(tag.WellFormed());

  TExifTag empty(nullptr, 0x0100, dtLong, -5);
  EXPECT_EQ(empty.ElementCount(), 0);
  EXPECT_EQ(empty.DataSize(), 0);
}

TEST(AnExifTag, KeepsIntegerValuesWhenWidened) {
  TExifTag tag(nullptr, 1, dtShort, 2);
  Store<std::uint16_t>(tag, 2, {1, 2});
  tag.SetDataType(dtLong);
  EXPECT_EQ(tag.DataSize(), 8);
  EXPECT_EQ(tag.AsString(), "1,2");

  tag.SetDataType(dtByte);
  EXPECT_EQ(BytesOf(tag), (std::vector<std::uint8_t>{1, 2}));
}

TEST(AnExifTag, KeepsTheLowBytesWhenNarrowed) {
  TExifTag tag(nullptr, 1, dtLong, 1);
  Store<std::uint32_t>(tag, 1, {70000});
  tag.SetDataType(dtShort);
  EXPECT_EQ(tag.ElementCount(), 1);
  EXPECT_EQ(tag.AsString(), "4464");
}

TEST(AnExifTag, ReinterpretsTheBitsBetweenTypesOfOneElementSize) {
  TExifTag tag(nullptr, 1, dtShort, 1);
  Store<std::uint16_t>(tag, 1, {65535});
  tag.SetDataType(dtSShort);
  EXPECT_EQ(tag.AsString(), "-1");
}

// Arrays of every integer type: decimal elements, signed ones with their sign, joined by commas.
TEST(AnExifTag, ListsIntegerArraysElementByElement) {
  struct TCase {
    TTiffDataType Type;
    std::vector<std::uint8_t> Bytes;  // host order
    const char* Text;
  };
  const TCase cases[] = {{dtByte, {0, 255, 7}, "0,255,7"},
                         {dtSByte, {0xFF, 0x7F, 0x80}, "-1,127,-128"},
                         {dtShort, {0xFF, 0xFF, 1, 0}, "65535,1"},
                         {dtSShort, {0x00, 0x80, 5, 0}, "-32768,5"},
                         {dtLong, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}, "4294967295,0"},
                         {dtSLong, {0, 0, 0, 0x80, 7, 0, 0, 0}, "-2147483648,7"},
                         {dtIfd, {0xFE, 0xFF, 0xFF, 0xFF, 8, 0, 0, 0}, "-2,8"}};
  for (const TCase& c : cases) {
    TExifTag tag(nullptr, 1, c.Type, static_cast<std::int32_t>(c.Bytes.size() / TiffDataTypeSize(c.Type)));
    tag.SetRawData(c.Bytes.data());
    EXPECT_EQ(tag.AsString(), c.Text) << c.Type;
  }
}

TEST(AnExifTag, ZeroFillsNewElementsAndKeepsTheLeadingOnes) {
  TExifTag tag(nullptr, 1, dtShort, 2);
  Store<std::uint16_t>(tag, 2, {7, 8});
  tag.SetElementCount(4);
  EXPECT_EQ(tag.AsString(), "7,8,0,0");
  tag.SetElementCount(1);
  EXPECT_EQ(tag.AsString(), "7");
}

TEST(AnExifTag, LeavesZerosWhenANonIntegerTypeChangesElementSize) {
  TExifTag tag(nullptr, 1, dtRational, 1);
  Store<TTiffRational>(tag, 1, {{1, 2}});
  tag.SetDataType(dtShort);
  EXPECT_EQ(BytesOf(tag), (std::vector<std::uint8_t>{0, 0}));
}

TEST(AnExifTag, CopiesTypeCountAndBytesOnAssign) {
  TExifTag source(nullptr, 0x0110, dtAscii, 4);
  source.SetAsString("abc");
  TExifTag target(nullptr, 0x0001, dtShort, 1);
  target.Assign(&source);
  EXPECT_EQ(target.ID(), 0x0110);  // tags outside a common section take the ID too
  EXPECT_EQ(target.DataType(), dtAscii);
  EXPECT_EQ(target.AsString(), "abc");

  target.Assign(nullptr);
  EXPECT_EQ(target.ElementCount(), 0);
  EXPECT_EQ(target.DataType(), dtAscii);
}

// ---- Text forms ----

TEST(AnExifTagAsString, DropsTheFinalByteOfAsciiTextOnlyWhenItIsANul) {
  using namespace std::string_literals;
  struct Case {
    std::string Bytes;  // the whole value, count = its size
    std::string Text;
  };
  const Case cases[] = {
      {"Canon\0"s, "Canon"},
      {"Canon"s, "Canon"},        // written without the NUL
      {"1.710_KR"s, "1.710_KR"},  // a firmware version of count 8
      {"X"s, "X"},
      {"\0"s, ""},
      {"Canon\0\0"s, "Canon\0"s},   // only the final NUL goes
      {"A\0B"s, "A\0B"s},           // NULs inside stay
      {"Caf\xE9"s, "Caf\xC3\xA9"},  // the last byte still decodes as Windows-1252
  };
  for (const Case& c : cases) {
    TExifTag tag(nullptr, 0x010F, dtAscii, static_cast<std::int32_t>(c.Bytes.size()));
    tag.SetRawData(c.Bytes.data());
    EXPECT_EQ(tag.AsString(), c.Text) << c.Bytes;
  }
}

TEST(AnExifTagAsString, DecodesBytesThatAreNotUtf8AsWindows1252) {
  TExifTag tag(nullptr, 0x010F, dtAscii, 5);
  tag.SetRawData("Caf\xE9");
  EXPECT_EQ(tag.AsString(), "Caf\xC3\xA9");
}

TEST(AnExifTagAsString, GivesUndefinedBytesAsUpperCaseHex) {
  TExifTag tag(nullptr, 0x9286, dtUndefined, 3);
  tag.SetRawData("\x0A\x1B\xFF");
  EXPECT_EQ(tag.AsString(), "0A1BFF");
}

TEST(AnExifTagAsString, FormatsRationals) {
  TExifTag tag(nullptr, 0x011A, dtRational, 1);
  Store<TTiffRational>(tag, 1, {{1, 0}});
  EXPECT_EQ(tag.AsString(), "");
  Store<TTiffRational>(tag, 1, {{72, 1}});
  EXPECT_EQ(tag.AsString(), "72");
  Store<TTiffRational>(tag, 1, {{10, 3}});
  EXPECT_EQ(tag.AsString(), "10/3");
  Store<TTiffRational>(tag, 3, {{1, 1}, {2, 1}, {3, 2}});
  EXPECT_EQ(tag.AsString(), "1,2,3/2");
}

TEST(AnExifTagAsString, FormatsEachRationalInTheSignednessOfItsType) {
  TExifTag unsignedTag(nullptr, 1, dtRational, 1);
  Store<TTiffRational>(unsignedTag, 1, {{3000000000u, 7}});
  EXPECT_EQ(unsignedTag.AsString(), "3000000000/7");

  TExifTag signedTag(nullptr, 1, dtSRational, 1);
  Store<TTiffRational>(signedTag, 1, {{static_cast<std::uint32_t>(-5), 1}});
  EXPECT_EQ(signedTag.AsString(), "-5");
  Store<TTiffRational>(signedTag, 1, {{static_cast<std::uint32_t>(-1), 3}});
  EXPECT_EQ(signedTag.AsString(), "-1/3");
}

TEST(AnExifTagAsString, FormatsSignedIntegersAndWidensSingles) {
  TExifTag sbyte(nullptr, 1, dtSByte, 2);
  sbyte.SetRawData("\xFF\x05");
  EXPECT_EQ(sbyte.AsString(), "-1,5");

  TExifTag single(nullptr, 1, dtFloat, 1);
  const float value = 0.1f;
  single.SetRawData(&value);
  EXPECT_EQ(single.AsString(), "0.100000001490116");
}

TEST(AnExifTagAsString, KeepsThePointUnderACommaLocaleAndParsesQuotedItemsBack) {
  ScopedFormatSettings comma(',');
  TExifTag tag(nullptr, 1, dtDouble, 2);
  Store<double>(tag, 2, {1.5, -2.25});
  EXPECT_EQ(tag.AsString(), "1.5,-2.25");

  tag.SetAsString("\"0.5\" 3");  // a quoted item, then a blank as separator
  ASSERT_EQ(tag.ElementCount(), 2);
  double values[2];
  std::memcpy(values, tag.Data(), sizeof values);
  EXPECT_EQ(values[0], 0.5);
  EXPECT_EQ(values[1], 3.0);
}

TEST(AnExifTagAsString, ShowsTheStoredValueRatherThanTheTextItWasSetTo) {
  TExifTag tag(nullptr, 1, dtShort, 1);
  tag.SetAsString("007");
  EXPECT_EQ(tag.AsString(), "7");
  const std::uint16_t eight = 8;
  tag.SetRawData(&eight);
  EXPECT_EQ(tag.AsString(), "8");
}

TEST(AnExifTagAsString, RoundTripsWhateverTheProcessDecimalSeparator) {
  // Texts that reach files or are parsed back never follow the user's number format.
  struct Case {
    TTiffDataType Type;
    const char* Text;
    std::int32_t Count;
  };
  const Case cases[] = {{dtFloat, "-0.25,3", 2},
                        {dtDouble, "48.2083333333333", 1},
                        {dtDouble, "1,5", 2},  // a comma always separates elements
                        {dtRational, "1/3,2,3000000000/7", 3}};
  for (char separator : {',', '.'}) {
    ScopedFormatSettings settings(separator);
    for (const Case& c : cases) {
      TExifTag tag(nullptr, 1, c.Type, 0);
      tag.SetAsString(c.Text);
      ASSERT_EQ(tag.ElementCount(), c.Count) << c.Text << separator;
      const std::vector<std::uint8_t> stored = BytesOf(tag);
      tag.SetRawData(stored.data());  // formats the stored value afresh
      EXPECT_EQ(tag.AsString(), c.Text) << c.Text << separator;
      tag.SetAsString(tag.AsString());
      EXPECT_EQ(BytesOf(tag), stored) << c.Text << separator;
    }
  }
}

TEST(AnExifTagAsString, GivesSingleElementsAndRefusesIndexesOutside) {
  TExifTag tag(nullptr, 1, dtShort, 3);
  Store<std::uint16_t>(tag, 3, {4, 5, 6});
  EXPECT_EQ(tag.ElementAsString(2), "6");
  EXPECT_THROW_MSG(tag.ElementAsString(3), Zorp::Base::EListError, "List index out of bounds (3)");
  EXPECT_THROW_MSG(tag.ElementAsString(-1), Zorp::Base::EListError, "List index out of bounds (-1)");
}

// ---- Setting AsString ----

TEST(AnExifTagSetAsString, ParsesEachIntegerTypeWithinItsRange) {
  struct Case {
    TTiffDataType Type;
    const char* Good;
    const char* TooLow;
    const char* TooHigh;
  };
  const Case cases[] = {{dtByte, "0,255", "-1", "256"},
                        {dtSByte, "-128,127", "-129", "128"},
                        {dtShort, "0,65535", "-1", "65536"},
                        {dtSShort, "-32768,32767", "-32769", "32768"},
                        {dtLong, "0,4294967295", "-1", "4294967296"}};
  for (const Case& c : cases) {
    TExifTag tag(nullptr, 1, c.Type, 1);
    tag.SetAsString(c.Good);
    const auto stored = BytesOf(tag);
    tag.SetRawData(stored.data());  // clears the cached text so that the stored values are formatted
    EXPECT_EQ(tag.AsString(), c.Good) << c.Type;
    EXPECT_THROW_MSG(tag.SetAsString(c.TooLow), Zorp::Base::ERangeError, "Range check error");
    EXPECT_THROW_MSG(tag.SetAsString(c.TooHigh), Zorp::Base::ERangeError, "Range check error");
    EXPECT_EQ(tag.AsString(), c.Good) << c.Type;
  }
}

TEST(AnExifTagSetAsString, LeavesTheTagAsItWasOnARangeOrConversionError) {
  TExifTag tag(nullptr, 1, dtByte, 2);
  tag.SetRawData("\x01\x02");
  EXPECT_THROW_MSG(tag.SetAsString("300"), Zorp::Base::ERangeError, "Range check error");
  EXPECT_THROW_MSG(tag.SetAsString("1,x"), Zorp::Base::EConvertError, Zorp::Base::Format(SInvalidInteger, "x"));
  EXPECT_EQ(tag.ElementCount(), 2);
  EXPECT_EQ(tag.AsString(), "1,2");

  TExifTag real(nullptr, 1, dtDouble, 0);
  EXPECT_THROW_MSG(real.SetAsString("1.5.2"), Zorp::Base::EConvertError, Zorp::Base::Format(SInvalidFloat, "1.5.2"));
  EXPECT_EQ(real.ElementCount(), 0);
}

TEST(AnExifTagSetAsString, RefusesASingleOutsideTheSingleRange) {
  TExifTag tag(nullptr, 1, dtFloat, 1);
  EXPECT_THROW_MSG(tag.SetAsString("1e300"), Zorp::Base::ERangeError, "Range check error");
  tag.SetAsString("2.5");
  float value;
  std::memcpy(&value, tag.Data(), 4);
  EXPECT_EQ(value, 2.5f);
}

TEST(AnExifTagSetAsString, StoresSignedRationalsAndRefusesBadText) {
  TExifTag tag(nullptr, 1, dtSRational, 1);
  auto stored = [&tag] {
    TTiffRational value;
    std::memcpy(&value, tag.Data(), sizeof value);
    return value;
  };
  tag.SetAsString("1/2");
  EXPECT_EQ(stored(), (TTiffRational{1, 2}));
  tag.SetAsString("-1/2");
  EXPECT_EQ(stored(), (TTiffRational{static_cast<std::uint32_t>(-1), 2}));
  EXPECT_THROW(tag.SetAsString("1/two"), Zorp::Base::EConvertError);
  EXPECT_EQ(stored(), (TTiffRational{static_cast<std::uint32_t>(-1), 2}));
  tag.SetAsString("7");
  EXPECT_EQ(stored(), (TTiffRational{7, 1}));
  EXPECT_EQ(tag.DataType(), dtSRational);
}

TEST(AnExifTagSetAsString, ConvertsFractionsByTheSignednessOfTheTypeOrChangesNothing) {
  constexpr std::uint32_t Minus1 = static_cast<std::uint32_t>(-1), Min = 0x80000000u;
  enum TOutcome { Stored, RangeError, ConvertError };
  struct Case {
    TTiffDataType Type;
    const char* Text;
    TOutcome Outcome;
    TTiffRational Value;  // when stored
    const char* Shown;
  };
  const Case cases[] = {
      {dtSRational, "-1/3", Stored, {Minus1, 3}, "-1/3"},
      {dtSRational, "1/-3", Stored, {Minus1, 3}, "-1/3"},
      {dtSRational, "-1/-3", Stored, {1, 3}, "1/3"},
      {dtSRational, "-5", Stored, {static_cast<std::uint32_t>(-5), 1}, "-5"},
      {dtSRational, "1/-2147483648", Stored, {1, Min}, "1/-2147483648"},  // -2147483648 has no negation
      {dtSRational, "2147483647/-1", Stored, {static_cast<std::uint32_t>(-2147483647), 1}, "-2147483647"},
      {dtSRational, "2147483648", RangeError, {}, ""},
      {dtSRational, "1/-2147483649", RangeError, {}, ""},
      {dtSRational, "1/x", ConvertError, {}, ""},
      {dtSRational, "1/", ConvertError, {}, ""},
      {dtSRational, "1/2/3", ConvertError, {}, ""},
      {dtRational, "4294967295/2", Stored, {4294967295u, 2}, "4294967295/2"},
      {dtRational, "3/0", Stored, {3, 0}, ""},  // no denominator: no text
      {dtRational, "-1/3", RangeError, {}, ""},
      {dtRational, "1.5", ConvertError, {}, ""},
      {dtRational, "2,x", ConvertError, {}, ""},
  };
  for (const Case& c : cases) {
    TExifTag tag(nullptr, 1, c.Type, 1);
    Store<TTiffRational>(tag, 1, {{5, 7}});
    ASSERT_EQ(tag.AsString(), "5/7");  // fills the text cache
    const std::vector<std::uint8_t> before = BytesOf(tag);
    switch (c.Outcome) {
      case Stored: {
        tag.SetAsString(c.Text);
        TTiffRational value;
        std::memcpy(&value, tag.Data(), sizeof value);
        EXPECT_EQ(value, c.Value) << c.Text;
        EXPECT_EQ(tag.AsString(), c.Shown) << c.Text;
        if (*c.Shown != '\0') {
          tag.SetAsString(c.Shown);  // the shown text reads back as the same value
          ASSERT_EQ(tag.ElementCount(), 1) << c.Text;
          EXPECT_EQ(std::memcmp(tag.Data(), &value, sizeof value), 0) << c.Text;
        }
        continue;
      }
      case RangeError:
        EXPECT_THROW_MSG(tag.SetAsString(c.Text), Zorp::Base::ERangeError, "Range check error");
        break;
      case ConvertError:
        EXPECT_THROW(tag.SetAsString(c.Text), Zorp::Base::EConvertError) << c.Text;
        break;
    }
    EXPECT_EQ(tag.ElementCount(), 1) << c.Text;
    EXPECT_EQ(BytesOf(tag), before) << c.Text;
    EXPECT_EQ(tag.AsString(), "5/7") << c.Text;
  }
  TExifTag tag(nullptr, 1, dtSRational, 0);
  EXPECT_THROW_MSG(tag.SetAsString("1/x"), Zorp::Base::EConvertError, Zorp::Base::Format(SInvalidFraction, "1/x"));
}

TEST(AnExifTagSetAsString, ReadsHexForUndefinedAndEmptiesOnEmptyText) {
  TExifTag tag(nullptr, 1, dtUndefined, 0);
  tag.SetAsString("0a1B");
  EXPECT_EQ(BytesOf(tag), (std::vector<std::uint8_t>{0x0A, 0x1B}));
  tag.SetAsString("ABC");  // an odd digit is dropped
  EXPECT_EQ(BytesOf(tag), (std::vector<std::uint8_t>{0xAB}));

  tag.SetAsString("");
  EXPECT_EQ(tag.ElementCount(), 0);
  EXPECT_EQ(tag.DataType(), dtUndefined);
}

TEST(AnExifTagSetAsString, StoresAsciiWithItsNul) {
  TExifTag tag(nullptr, 0x010F, dtAscii, 1);
  tag.SetAsString("Pentax");
  EXPECT_EQ(tag.ElementCount(), 7);
  EXPECT_EQ(tag.Bytes().back(), 0);
}

// ---- Unit routines ----

TEST(RationalText, FollowsTheDenominator) {
  EXPECT_EQ(RationalToText({5, 0}), "");
  EXPECT_EQ(RationalToText({4294967295u, 1}), "4294967295");
  EXPECT_EQ(RationalToText({static_cast<std::uint32_t>(-1), 2}, true), "-1/2");

  TTiffRational value{9, 9};
  EXPECT_TRUE(TextToRational("4294967295/2", value));
  EXPECT_EQ(value, (TTiffRational{4294967295u, 2}));
  EXPECT_TRUE(TextToRational("72", value));
  EXPECT_EQ(value, (TTiffRational{72, 1}));
  for (const char* bad : {"-1/2", "1/-2", "4294967296", "1/", "/2", "x", ""}) {
    value = {9, 9};
    EXPECT_FALSE(TextToRational(bad, value)) << bad;
    EXPECT_EQ(value, (TTiffRational{0, 0})) << bad;
  }
}

TEST(RationalText, ReadsASignOnEitherPartOnlyForSignedFractions) {
  TTiffRational value;
  EXPECT_TRUE(TextToRational("1/-3", value, true));
  EXPECT_EQ(value, (TTiffRational{static_cast<std::uint32_t>(-1), 3}));
  EXPECT_FALSE(TextToRational("3000000000/7", value, true));
  EXPECT_FALSE(TextToRational("-1/3", value));
  EXPECT_EQ(value, (TTiffRational{0, 0}));
}

TEST(ExifDateTimeText, AcceptsOnlyValidDatesInTheExifLayout) {
  Zorp::Base::TDateTime value = 0;
  ASSERT_TRUE(ExifTextToDateTime("2010:07:04 10:20:30", value));
  EXPECT_EQ(value, Zorp::Base::EncodeDateTime(2010, 7, 4, 10, 20, 30, 0));
  EXPECT_TRUE(ExifTextToDateTime("2010:07:04T10-20-30", value));  // separators 11, 14, 17 are not checked

  for (const char* bad : {"2010-07:04 10:20:30", "2010:02:30 10:20:30", "2010:07:04 24:00:00", "2010:07:04 10:20:3",
                          "    :  :     :  :  ", "2010:07:04 10:20:30 "})
    EXPECT_FALSE(ExifTextToDateTime(bad, value)) << bad;

  EXPECT_EQ(DateTimeToExifText(0), std::string(19, ' '));
  EXPECT_EQ(DateTimeToExifText(Zorp::Base::EncodeDateTime(2010, 7, 4, 9, 5, 3, 250)), "2010:07:04 09:05:03");
  EXPECT_EQ(MillisecondsToSubSecText(Zorp::Base::EncodeDateTime(2010, 7, 4, 9, 5, 3, 5)), "005");
}

TEST(AsciiTest, RejectsEveryByteFrom128) {
  EXPECT_TRUE(IsAsciiText("plain text\x7F"));
  EXPECT_FALSE(IsAsciiText("caf\xC3\xA9"));
  EXPECT_FALSE(IsAsciiText("\xC2\x80"));  // U+0080
}

TEST(GpsTagNames, NameTheKnownIdsOnly) {
  EXPECT_EQ(GetGPSTagName(0), "GPSVersionID");
  EXPECT_EQ(GetGPSTagName(18), "GPSMapDatum");
  EXPECT_EQ(GetGPSTagName(30), "GPSDifferential");
  std::string name = "x";
  EXPECT_FALSE(TryGetGPSTagName(19, name));
  EXPECT_EQ(name, "");
  EXPECT_EQ(GetGPSTagName(1), "");
  EXPECT_EQ(GetGPSTagName(31), "");
}

TEST(APaddingTag, NeedsItsIdTypeCountAndMark) {
  TExifTag tag(nullptr, 0xEA1C, dtUndefined, 4);
  tag.SetRawData("\x1C\xEA\x00\x00");
  EXPECT_TRUE(tag.IsPadding());
  tag.SetRawData("\xEA\x1C\x00\x00");
  EXPECT_FALSE(tag.IsPadding());

  TExifTag tooShort(nullptr, 0xEA1C, dtUndefined, 1);
  EXPECT_FALSE(tooShort.IsPadding());
}

// ---- IFD entries ----

TEST(AnExifTagEntry, HoldsSmallValuesInTheFileByteOrder) {
  TExifTag tag(nullptr, 0x0112, dtShort, 1);
  Store<std::uint16_t>(tag, 1, {5});
  EXPECT_EQ(EntryBytes(tag, boBigEndian),
            (std::vector<std::uint8_t>{0x01, 0x12, 0x00, 0x03, 0, 0, 0, 1, 0x00, 0x05, 0x00, 0x00}));
  EXPECT_EQ(EntryBytes(tag, boLittleEndian),
            (std::vector<std::uint8_t>{0x12, 0x01, 0x03, 0x00, 1, 0, 0, 0, 0x05, 0x00, 0x00, 0x00}));

  Store<std::uint16_t>(tag, 2, {0x0102, 0x0304});
  const auto pair = EntryBytes(tag, boBigEndian);
  EXPECT_EQ(std::vector<std::uint8_t>(pair.begin() + 8, pair.end()), (std::vector<std::uint8_t>{1, 2, 3, 4}));

  TExifTag bytes(nullptr, 1, dtByte, 3);
  bytes.SetRawData("\x07\x08\x09");
  EXPECT_EQ(EntryBytes(bytes, boBigEndian).back(), 0);
  EXPECT_EQ(EntryBytes(bytes, boBigEndian)[8], 7);

  TExifTag empty(nullptr, 0x0201, dtLong, 0);
  const auto entry = EntryBytes(empty, boBigEndian, 0x12345678);
  EXPECT_EQ(std::vector<std::uint8_t>(entry.begin() + 8, entry.end()), (std::vector<std::uint8_t>{0, 0, 0, 0}));
  EXPECT_TRUE(ReferencedBytes(empty, boBigEndian).empty());
}

TEST(AnExifTagEntry, PointsAtLargerValuesAndWritesThemInTheFileByteOrder) {
  TExifTag rational(nullptr, 0x011A, dtRational, 1);
  Store<TTiffRational>(rational, 1, {{72, 1}});
  const auto entry = EntryBytes(rational, boBigEndian, 0x01020304);
  EXPECT_EQ(std::vector<std::uint8_t>(entry.begin() + 8, entry.end()), (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(ReferencedBytes(rational, boBigEndian), (std::vector<std::uint8_t>{0, 0, 0, 72, 0, 0, 0, 1}));
  EXPECT_EQ(ReferencedBytes(rational, boLittleEndian), (std::vector<std::uint8_t>{72, 0, 0, 0, 1, 0, 0, 0}));

  TExifTag real(nullptr, 1, dtDouble, 1);
  Store<double>(real, 1, {1.0});
  EXPECT_EQ(ReferencedBytes(real, boBigEndian), (std::vector<std::uint8_t>{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));

  TExifTag shorts(nullptr, 1, dtShort, 3);
  Store<std::uint16_t>(shorts, 3, {1, 2, 0x0304});
  EXPECT_EQ(ReferencedBytes(shorts, boBigEndian), (std::vector<std::uint8_t>{0, 1, 0, 2, 3, 4}));

  TExifTag text(nullptr, 1, dtAscii, 6);
  text.SetRawData("Canon");
  EXPECT_EQ(ReferencedBytes(text, boBigEndian), (std::vector<std::uint8_t>{'C', 'a', 'n', 'o', 'n', 0}));
}

// ---- Tags from IFD entries ----

class AnExifTagFromAnEntry : public ::testing::TestWithParam<TByteOrder> {
 protected:
  // Offset 0: two LONG values; offset 8: the inline field of a SHORT pair.
  void SetUp() override {
    ByteBuilder builder(GetParam());
    builder.U32(70000).U32(3).U16(0x0102).U16(0x0304);
    builder.ToStream(FStream);
  }
  TIfdEntryInfo Entry(std::uint16_t type, std::int32_t count, std::int64_t dataOffset) const {
    TIfdEntryInfo entry;
    entry.EntryOffset = 100;
    entry.DataOffset = dataOffset;
    entry.ID = 0x0111;
    entry.DataType = type;
    entry.ElementCount = count;
    return entry;
  }
  TMemoryStream FStream;
};

TEST_P(AnExifTagFromAnEntry, ReadsItsValueIntoHostOrder) {
  TTiffReader reader(FStream, 0, GetParam());
  auto longs = TExifTag::CreateFromEntry(nullptr, Entry(dtLong, 2, 0), reader);
  EXPECT_TRUE(longs->WellFormed());
  EXPECT_EQ(longs->ID(), 0x0111);
  EXPECT_EQ(longs->AsString(), "70000,3");
  EXPECT_EQ(longs->SourceDataOffset(), 0);
  EXPECT_EQ(longs->SourceDataSize(), 8u);

  auto shorts = TExifTag::CreateFromEntry(nullptr, Entry(dtShort, 2, 8), reader);
  EXPECT_EQ(shorts->AsString(), "258,772");
}

TEST_P(AnExifTagFromAnEntry, KeepsBadEntriesEmptyAndNotWellFormed) {
  TTiffReader reader(FStream, 0, GetParam());
  for (const TIfdEntryInfo& entry : {Entry(0, 2, 0), Entry(14, 1, 0), Entry(dtLong, -1, 0), Entry(dtLong, 1000, 0)}) {
    auto tag = TExifTag::CreateFromEntry(nullptr, entry, reader);
    EXPECT_FALSE(tag->WellFormed()) << entry.DataType << "/" << entry.ElementCount;
    EXPECT_EQ(tag->DataType(), dtUndefined);
    EXPECT_EQ(tag->ElementCount(), 0);
    EXPECT_EQ(tag->ID(), 0x0111);
  }
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, AnExifTagFromAnEntry, ::testing::Values(boLittleEndian, boBigEndian));

// The cut text that tags prints from must be the start of the whole text, and either all of it or
// longer than asked, for every type, including numbers whose text is empty (a zero denominator);
// the text appended in place is the whole text, before and after it is cached.
TEST(AnExifTagAsStringPrefix, IsTheStartOfTheWholeTextAndPassesTheLimitWhenCut) {
  struct TCase {
    TExifTagID ID;
    TTiffDataType Type;
    std::int32_t Count;
  };
  const TCase cases[] = {{0x927C, dtUndefined, 301}, {0x0001, dtShort, 250}, {0x0002, dtRational, 120},
                         {0x0003, dtSRational, 90},  {0x0004, dtFloat, 70},  {0x010E, dtAscii, 400},
                         {0x9C9C, dtByte, 500},  // Windows text
                         {0x0005, dtUndefined, 1},   {0x0006, dtSByte, 300}, {0x0007, dtSShort, 200},
                         {0x0008, dtSLong, 90},      {0x0009, dtLong, 90}};
  const auto make = [](const TCase& c) {
    auto tag = std::make_unique<TExifTag>(nullptr, c.ID, c.Type, c.Count);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(tag->DataSize()));
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 7 == 3 ? 0 : 'A' + i % 26);
    tag->SetRawData(bytes.data());
    return tag;
  };
  for (const std::size_t limit : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{199},
                                  std::size_t{200}, std::size_t{201}, std::size_t{800}, std::string::npos}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE("tag " + std::to_string(c.ID) + " limit " + std::to_string(limit));
      const auto tag = make(c);
      const std::string prefix = tag->AsStringPrefix(limit);
      const std::string whole = make(c)->AsString();
      EXPECT_TRUE(whole.starts_with(prefix));
      EXPECT_TRUE(prefix == whole || prefix.size() > limit) << prefix.size() << " of " << whole.size();
      std::string appended = "before:";
      tag->AppendAsString(appended);
      EXPECT_EQ(appended, "before:" + whole);
      EXPECT_EQ(tag->AsString(), whole);  // the cut text is not cached as the whole
      appended = "cached:";
      tag->AppendAsString(appended);
      EXPECT_EQ(appended, "cached:" + whole);
    }
  }
}

// ---- Values kept in the tag and on the heap ----

namespace {

// Bytes seed, seed + 1, ... of a value of size bytes.
std::vector<std::uint8_t> Counting(std::size_t size, std::uint8_t seed = 1) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i);
  return bytes;
}

constexpr std::int32_t Inline = static_cast<std::int32_t>(TExifTag::InlineDataSize);

struct TSizeStep {
  std::int32_t From;
  std::int32_t To;
};

class AnExifTagValueSize : public ::testing::TestWithParam<TSizeStep> {};

}  // namespace

// Growing and shrinking across the bytes kept in the tag: new bytes, a count change that keeps the
// leading bytes and zero-fills the rest, and a change in place.
TEST_P(AnExifTagValueSize, KeepsItsBytesAcrossTheInlineSize) {
  const auto [from, to] = GetParam();
  TExifTag tag(nullptr, 1, dtUndefined, from);
  tag.SetRawData(Counting(static_cast<std::size_t>(from)));

  tag.SetElementCount(to);
  std::vector<std::uint8_t> kept = Counting(static_cast<std::size_t>(std::min(from, to)));
  kept.resize(static_cast<std::size_t>(to), 0);
  EXPECT_EQ(BytesOf(tag), kept);
  EXPECT_EQ(tag.DataSize(), to);
  EXPECT_EQ(tag.Data() == nullptr, to == 0);

  tag.UpdateData(dtUndefined, from, Counting(static_cast<std::size_t>(from), 50));
  EXPECT_EQ(BytesOf(tag), Counting(static_cast<std::size_t>(from), 50));
  tag.UpdateData(dtUndefined, to, Counting(static_cast<std::size_t>(to), 90));
  EXPECT_EQ(BytesOf(tag), Counting(static_cast<std::size_t>(to), 90));
  tag.SetRawData(Counting(static_cast<std::size_t>(to), 7));
  EXPECT_EQ(BytesOf(tag), Counting(static_cast<std::size_t>(to), 7));
}

INSTANTIATE_TEST_SUITE_P(AroundTheInlineSize, AnExifTagValueSize,
                         ::testing::Values(TSizeStep{0, Inline}, TSizeStep{Inline, Inline + 1}, TSizeStep{Inline + 1, Inline},
                                           TSizeStep{1, 3 * Inline}, TSizeStep{3 * Inline, 1}, TSizeStep{Inline + 1, 0},
                                           TSizeStep{Inline - 1, Inline}, TSizeStep{2 * Inline, Inline + 1}));

// Integers keep their values when the new width moves the value into or out of the tag.
TEST(AnExifTagValue, KeepsIntegersWhenTheWidthMovesItAcrossTheInlineSize) {
  struct TCase {
    TTiffDataType From, To;
    std::int32_t Count;
  };
  for (const TCase& c : {TCase{dtShort, dtLong, Inline / 2}, TCase{dtLong, dtShort, Inline / 2},
                         TCase{dtByte, dtShort, Inline}, TCase{dtLong, dtByte, Inline / 4 + 1}}) {
    TExifTag tag(nullptr, 1, c.From, c.Count);
    for (std::int32_t i = 0; i < c.Count; ++i) {
      const std::uint32_t value = static_cast<std::uint32_t>(i + 100);
      tag.SetElement(c.From, i, &value);  // the low bytes, in host order
    }
    tag.SetDataType(c.To);
    ASSERT_EQ(tag.DataSize(), std::int64_t{c.Count} * TiffDataTypeSize(c.To));
    for (std::int32_t i = 0; i < c.Count; ++i) EXPECT_EQ(tag.ElementAsUInt32(i), static_cast<std::uint32_t>(i + 100));
  }
}

// Assign copies between tags that keep their values in themselves and on the heap, and the copy
// shares nothing with its source.
TEST(AnExifTagValue, IsCopiedByAssignBetweenInlineAndHeapValues) {
  const std::int32_t sizes[] = {0, 4, Inline, Inline + 1, 100};
  for (const std::int32_t sourceSize : sizes) {
    for (const std::int32_t targetSize : sizes) {
      TExifTag source(nullptr, 1, dtUndefined, sourceSize);
      source.SetRawData(Counting(static_cast<std::size_t>(sourceSize), 3));
      TExifTag target(nullptr, 2, dtLong, targetSize);
      target.Assign(&source);
      EXPECT_EQ(BytesOf(target), Counting(static_cast<std::size_t>(sourceSize), 3)) << sourceSize << "->" << targetSize;
      EXPECT_EQ(target.DataType(), dtUndefined);
      source.SetRawData(Counting(static_cast<std::size_t>(sourceSize), 200));
      EXPECT_EQ(BytesOf(target), Counting(static_cast<std::size_t>(sourceSize), 3));
    }
  }
}

// The text appended in place is the cut text as AsStringPrefix gives it, after what was there.
TEST(AnExifTagAppendAsStringPrefix, AppendsWhatAsStringPrefixGives) {
  struct TCase {
    TExifTagID ID;
    TTiffDataType Type;
    std::int32_t Count;
  };
  for (const TCase& c : {TCase{1, dtUndefined, 300}, TCase{2, dtShort, 1}, TCase{3, dtRational, 1}, TCase{4, dtSRational, 1},
                         TCase{5, dtRational, 80}, TCase{6, dtAscii, 300}, TCase{7, dtDouble, 2}, TCase{8, dtSLong, 70}}) {
    for (const std::size_t limit : {std::size_t{0}, std::size_t{10}, std::size_t{200}, std::string::npos}) {
      TExifTag tag(nullptr, c.ID, c.Type, c.Count);
      std::vector<std::uint8_t> bytes(static_cast<std::size_t>(tag.DataSize()));
      for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 5 == 0 ? 0xF0 : 'a' + i % 26);
      tag.SetRawData(bytes.data());
      std::string appended = "x";
      tag.AppendAsStringPrefix(appended, limit);
      EXPECT_EQ(appended, "x" + tag.AsStringPrefix(limit)) << c.ID << " limit " << limit;
    }
  }
}

// Hex digits are formatted several bytes at a time: every byte value, at every place in a group and
// in the bytes left over, gives its two upper-case digits.
TEST(AnExifTagAsString, GivesEveryByteValueAsHexWhateverItsPlace) {
  for (const std::int32_t count : {1, 3, 4, 5, 8, 9, 256, 259}) {
    TExifTag tag(nullptr, 1, dtUndefined, count);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(255 - i * 7);
    tag.SetRawData(bytes.data());
    std::string expected;
    for (const std::uint8_t byte : bytes) {
      char pair[3];
      std::snprintf(pair, sizeof pair, "%02X", byte);
      expected += pair;
    }
    EXPECT_EQ(tag.AsString(), expected) << count;
  }
}
