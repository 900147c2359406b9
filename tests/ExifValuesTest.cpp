// The typed value objects of the container: flash, versions, resolutions, ISO speed ratings and GPS
// coordinates, read from and written to the tags, with their XMP mirrors.

#include <gtest/gtest.h>

#include "TestHelpers.h"

#include <string>
#include <vector>

#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/ExifValues.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

using namespace Zorp::Exif;

namespace {

// The text of a top-level XMP property, "<none>" when it is not there.
std::string XmpValue(TCustomExifData& data, TXMPNamespaceKind kind, const std::string& name) {
  TXMPSchema* schema = nullptr;
  TXMPProperty* property = nullptr;
  if (!data.XMPPacket().FindSchema(kind, schema) || !schema->FindProperty(name, property)) return "<none>";
  return property->ReadValue();
}

// Gives the packet a property, as a loaded packet would have it.
void Seed(TCustomExifData& data, TXMPNamespaceKind kind, const std::string& name, const std::string& text) {
  TXMPPacket& packet = data.XMPPacket();
  const TXMPWritePolicy policy = packet.WritePolicy();
  packet.SetWritePolicy(wpUpdateOrAdd);
  packet.UpdateProperty(kind, name, text);
  packet.SetWritePolicy(policy);
}

std::vector<std::uint8_t> TagBytes(TCustomExifData& data, TExifSectionKind kind, TExifTagID id) {
  const TExifTag* tag = data.Sections(kind).Find(id);
  return tag ? std::vector<std::uint8_t>(tag->Bytes().begin(), tag->Bytes().end()) : std::vector<std::uint8_t>{};
}

void PutRational(TExifSection& section, TExifTagID id, TTiffDataType type, std::vector<TTiffRational> values) {
  section.AddOrUpdateTag(id, type, static_cast<std::int32_t>(values.size()), values.data());
}

// Sets the process-wide format settings for one test and restores them afterwards.
class TFormatSettingsGuard {
 public:
  explicit TFormatSettingsGuard(const Zorp::Base::TFormatSettings& settings) : FSaved(Zorp::Base::FormatSettings()) {
    Zorp::Base::SetFormatSettings(settings);
  }
  ~TFormatSettingsGuard() { Zorp::Base::SetFormatSettings(FSaved); }

 private:
  Zorp::Base::TFormatSettings FSaved;
};

TEST(AFlashInfo, ReadsAndWritesItsBitsInTheStoredValue) {
  TExifData data;
  EXPECT_TRUE(data.Flash().Missing());
  data.Flash().SetFired(true);
  const TExifTag* tag = data.Sections(skExif).Find(ttFlash);
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->DataType(), dtShort);
  EXPECT_EQ(tag->ElementCount(), 1);
  EXPECT_EQ(data.Sections(skExif).GetWordValue(ttFlash, 0), 1);
  EXPECT_TRUE(data.Flash().Present());
  EXPECT_FALSE(data.Flash().Missing());

  data.Flash().SetRedEyeReduction(true);
  EXPECT_EQ(data.Sections(skExif).GetWordValue(ttFlash, 0), 0x41);
  EXPECT_TRUE(data.Flash().RedEyeReduction());
  data.Flash().SetMode(efAuto);
  EXPECT_EQ(data.Sections(skExif).GetWordValue(ttFlash, 0), 0x59);
  EXPECT_EQ(data.Flash().Mode(), efAuto);
  data.Flash().SetMode(efCompulsoryFire);
  EXPECT_EQ(data.Flash().Mode(), efCompulsoryFire);
  data.Flash().SetPresent(false);
  EXPECT_EQ(data.Sections(skExif).GetWordValue(ttFlash, 0), 0x69);
  EXPECT_FALSE(data.Flash().Present());

  data.Flash().SetStrobeLight(esDetected);
  EXPECT_EQ(data.Sections(skExif).GetWordValue(ttFlash, 0) & 0x06, 0x06);
  EXPECT_EQ(data.Flash().StrobeLight(), esDetected);
  data.Flash().SetStrobeLight(esUndetected);
  EXPECT_EQ(data.Sections(skExif).GetWordValue(ttFlash, 0) & 0x06, 0x04);
  EXPECT_EQ(data.Flash().StrobeLight(), esUndetected);

  // Bit 1 without bit 2 means no detection function; 0x01 has no red-eye bit.
  data.Sections(skExif).SetWordValue(ttFlash, 0, 0x03);
  EXPECT_EQ(data.Flash().StrobeLight(), esNoDetectionFunction);
  EXPECT_FALSE(data.Flash().RedEyeReduction());
  EXPECT_TRUE(data.Flash().Fired());
}

TEST(AFlashInfo, DeletesTheTagAndTheXMPStructureWhenTheValueBecomesZero) {
  TExifData data;
  data.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
  data.Flash().SetMode(efCompulsorySuppression);
  EXPECT_EQ(data.Sections(skExif).GetWordValue(ttFlash, 0), 0x10);
  TXMPSchema* schema = nullptr;
  TXMPProperty* flash = nullptr;
  ASSERT_TRUE(data.XMPPacket().FindSchema(xnExif, schema));
  ASSERT_TRUE(schema->FindProperty("Flash", flash));
  EXPECT_EQ(flash->Kind(), pkStructure);

  data.Flash().SetMode(efUnknown);
  EXPECT_EQ(data.Sections(skExif).Find(ttFlash), nullptr);
  EXPECT_FALSE(schema->FindProperty("Flash", flash));
}

TEST(AFlashInfo, MirrorsItsFieldsOnlyIntoAnExistingStructureByDefault) {
  TExifData data;
  data.Flash().SetFired(true);
  // The exif schema comes into being, the Flash property does not.
  TXMPSchema* schema = nullptr;
  TXMPProperty* flash = nullptr;
  ASSERT_TRUE(data.XMPPacket().FindSchema(xnExif, schema));
  EXPECT_FALSE(schema->FindProperty("Flash", flash));

  data.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
  data.Flash().SetStrobeLight(esDetected);
  const std::vector<std::string> expected = {"exif:Flash/exif:Fired = True", "exif:Flash/exif:Function = False",
                                             "exif:Flash/exif:Mode = 0", "exif:Flash/exif:RedEyeMode = False",
                                             "exif:Flash/exif:Return = 3"};
  EXPECT_EQ(ListXMPValues(data.XMPPacket()), expected);

  data.XMPPacket().SetWritePolicy(wpRemove);
  data.Flash().SetRedEyeReduction(true);
  EXPECT_EQ(data.Sections(skExif).GetWordValue(ttFlash, 0), 0x47);
  EXPECT_FALSE(schema->FindProperty("Flash", flash));
}

TEST(AFlashInfo, AssignsValueAndEnergyOrDeletesBothFromNil) {
  TExifData source, data;
  source.Flash().SetFired(true);
  source.Flash().SetFlashEnergy({3, 2});
  data.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
  int changes = 0;
  data.SetOnChange([&](TCustomExifData&) { ++changes; });
  data.SetFlash(&source.Flash());
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(data.Flash().Fired());
  EXPECT_EQ(data.Flash().FlashEnergy(), (TTiffRational{3, 2}));
  EXPECT_EQ(XmpValue(data, xnExif, "FlashEnergy"), "3/2");

  data.Flash().Assign(nullptr);
  EXPECT_EQ(data.Sections(skExif).Find(ttFlash), nullptr);
  EXPECT_EQ(data.Sections(skExif).Find(ttFlashEnergy), nullptr);
  EXPECT_EQ(XmpValue(data, xnExif, "Flash"), "<none>");
  EXPECT_EQ(XmpValue(data, xnExif, "FlashEnergy"), "<none>");
  EXPECT_TRUE(data.Flash().Missing());

  EXPECT_THROW_MSG(data.Flash().Assign(&data.ExifVersion()), Zorp::Base::EConvertError,
                   "Cannot assign a TExifVersion to a TExifFlashInfo");
}

TEST(AVersion, ReadsCharactersAndRawBytesAlike) {
  TExifData data;
  data.Sections(skExif).AddOrUpdateTag(ttExifVersion, dtUndefined, 4, "0230");
  EXPECT_EQ(data.ExifVersion().Major(), 2);
  EXPECT_EQ(data.ExifVersion().Minor(), 3);
  EXPECT_EQ(data.ExifVersion().Release(), 0);
  EXPECT_EQ(data.ExifVersion().AsString(), "2.30");

  data.Sections(skExif).AddOrUpdateTag(ttExifVersion, dtUndefined, 4, "0030");
  EXPECT_TRUE(data.ExifVersion().Empty());
  EXPECT_EQ(data.ExifVersion().AsString(), "");

  const std::uint8_t gps[] = {2, 2, 0, 0};
  data.Sections(skGps).AddOrUpdateTag(ttGPSVersionID, dtByte, 4, gps);
  EXPECT_EQ(data.GPSVersion().AsString(), "2.20");
  // A version of the wrong type reads as empty.
  data.Sections(skInterop).AddOrUpdateTag(ttInteroperabilityVersion, dtAscii, 5, "0100");
  EXPECT_EQ(data.InteropVersion().AsString(), "");
}

TEST(AVersion, ParsesItsTextDigitByDigit) {
  TExifData data;
  TExifVersion& version = data.ExifVersion();
  version.SetAsString("2.21");
  const TExifTag* tag = data.Sections(skExif).Find(ttExifVersion);
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->DataType(), dtUndefined);
  // A new tag gets all four characters, its leading "0" included.
  EXPECT_EQ(TagBytes(data, skExif, ttExifVersion), (std::vector<std::uint8_t>{0x30, 0x32, 0x32, 0x31}));

  version.SetAsString("22");  // the second character is the separator
  EXPECT_EQ(version.AsString(), "2.00");
  version.SetAsString("3");
  EXPECT_EQ(version.AsString(), "3.00");

  version.SetAsString("1.00");
  EXPECT_THROW_MSG(version.SetAsString("2.x"), Zorp::Base::ERangeError, "Range check error");
  EXPECT_EQ(version.AsString(), "1.00");  // nothing is stored when a digit is bad
  EXPECT_THROW_MSG(version.SetAsString("x"), Zorp::Base::ERangeError, "Range check error");

  version.SetAsString("");
  EXPECT_EQ(data.Sections(skExif).Find(ttExifVersion), nullptr);
}

TEST(AVersion, WritesRawBytesForGPSAndKeepsThePointUnderACommaLocale) {
  TExifData data;
  data.ExifVersion().SetAsString("2.21");
  data.SetGPSVersion(&data.ExifVersion());
  EXPECT_EQ(TagBytes(data, skGps, ttGPSVersionID), (std::vector<std::uint8_t>{2, 2, 1, 0}));
  EXPECT_EQ(data.Sections(skGps).Find(ttGPSVersionID)->DataType(), dtByte);
  data.SetFlashPixVersion(&data.GPSVersion());
  EXPECT_EQ(TagBytes(data, skExif, ttFlashPixVersion), (std::vector<std::uint8_t>{'0', '2', '2', '1'}));

  Zorp::Base::TFormatSettings comma = Zorp::Base::TFormatSettings::Invariant();
  comma.DecimalSeparator = ',';
  TFormatSettingsGuard guard(comma);
  EXPECT_EQ(data.ExifVersion().AsString(), "2.21");

  // An empty source deletes; other classes are refused.
  data.SetGPSVersion(&data.InteropVersion());
  EXPECT_EQ(data.Sections(skGps).Find(ttGPSVersionID), nullptr);
  EXPECT_THROW_MSG(data.ExifVersion().Assign(&data.Resolution()), Zorp::Base::EConvertError,
                   "Cannot assign a TImageResolution to a TExifVersion");
}

// Unsigned fractions read as unsigned in every text, however large their parts; signed ones keep their sign.
TEST(AFraction, ReadsInTheSignednessOfItsTypeInTagTextAndXMP) {
  struct {
    TTiffRational Value;
    const char* Unsigned;
    const char* Signed;
  } const cases[] = {
      {{2147483647u, 1}, "2147483647", "2147483647"},
      {{2147483648u, 1}, "2147483648", "-2147483648"},
      {{3000000000u, 1}, "3000000000", "-1294967296"},
      {{2147483647u, 2147483647u}, "2147483647/2147483647", "2147483647/2147483647"},
      {{2147483648u, 3}, "2147483648/3", "-2147483648/3"},
      {{1, 2147483648u}, "1/2147483648", "1/-2147483648"},
      {{1, 4000000000u}, "1/4000000000", "1/-294967296"},
      {{4294967295u, 2}, "4294967295/2", "-1/2"},
  };
  for (const auto& c : cases) {
    TExifData data;
    data.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
    TExifSection& exif = data.Sections(skExif);
    PutRational(exif, ttExposureTime, dtRational, {c.Value});
    PutRational(exif, ttExposureBiasValue, dtSRational, {c.Value});
    data.Resolution().SetX(c.Value);
    data.Flash().SetFlashEnergy(c.Value);
    EXPECT_EQ(exif.Find(ttExposureTime)->AsString(), c.Unsigned) << c.Unsigned;
    EXPECT_EQ(exif.Find(ttExposureBiasValue)->AsString(), c.Signed) << c.Signed;
    EXPECT_EQ(RationalToText(c.Value), c.Unsigned);
    EXPECT_EQ(RationalToText(c.Value, true), c.Signed);
    EXPECT_EQ(XmpValue(data, xnTIFF, "XResolution"), c.Unsigned);
    EXPECT_EQ(XmpValue(data, xnExif, "FlashEnergy"), c.Unsigned);
  }
}

TEST(AResolution, ReadsItsTagsWithAUnitDefault) {
  TExifData data;
  TExifSection& primary = data.Sections(skPrimary);
  PutRational(primary, ttXResolution, dtRational, {{72, 1}});
  PutRational(primary, ttYResolution, dtRational, {{72, 1}});
  EXPECT_EQ(data.Resolution().Unit(), 1);
  EXPECT_FALSE(data.Resolution().Missing());
  EXPECT_TRUE(data.ThumbnailResolution().Missing());

  PutRational(primary, ttXResolution, dtSRational, {{300, 1}});
  EXPECT_EQ(data.Resolution().X(), (TTiffRational{300, 1}));
  EXPECT_TRUE(data.Resolution().Missing());
}

TEST(AResolution, MirrorsItsValuesAndRemovesThemOnAssignFromAMissingSource) {
  TExifData data;
  data.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
  data.Resolution().SetX({300, 1});
  data.Resolution().SetY({600, 2});
  data.Resolution().SetUnit(2);
  EXPECT_EQ(XmpValue(data, xnTIFF, "XResolution"), "300");
  EXPECT_EQ(XmpValue(data, xnTIFF, "YResolution"), "600/2");
  EXPECT_EQ(XmpValue(data, xnTIFF, "ResolutionUnit"), "2");
  // Unit 1 is stored, but its XMP property goes.
  data.Resolution().SetUnit(1);
  EXPECT_EQ(data.Sections(skPrimary).GetWordValue(ttResolutionUnit, 0), 1);
  EXPECT_EQ(XmpValue(data, xnTIFF, "ResolutionUnit"), "<none>");
  data.Resolution().SetUnit(3);

  // The thumbnail takes the values without touching the packet.
  const std::vector<std::string> before = ListXMPValues(data.XMPPacket());
  data.SetThumbnailResolution(&data.Resolution());
  EXPECT_EQ(data.ThumbnailResolution().X(), (TTiffRational{300, 1}));
  EXPECT_EQ(data.ThumbnailResolution().Unit(), 3);
  EXPECT_EQ(ListXMPValues(data.XMPPacket()), before);

  int changes = 0;
  data.SetOnChange([&](TCustomExifData&) { ++changes; });
  data.SetResolution(&data.FocalPlaneResolution());  // missing
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(data.Sections(skPrimary).Count(), 0);
  for (const char* name : {"XResolution", "YResolution", "ResolutionUnit"})
    EXPECT_EQ(XmpValue(data, xnTIFF, name), "<none>") << name;

  data.SetFocalPlaneResolution(&data.ThumbnailResolution());
  EXPECT_EQ(data.FocalPlaneResolution().Y(), (TTiffRational{600, 2}));
  EXPECT_EQ(XmpValue(data, xnExif, "FocalPlaneResolutionUnit"), "3");
  EXPECT_THROW_MSG(data.Resolution().Assign(&data.Flash()), Zorp::Base::EConvertError,
                   "Cannot assign a TExifFlashInfo to a TImageResolution");
}

TEST(AnISOSpeedRatingsList, IsValidOnlyAsShortOrSignedByte) {
  TExifData data;
  const std::uint16_t speeds[] = {100, 200};
  data.Sections(skExif).AddOrUpdateTag(ttISOSpeedRatings, dtShort, 2, speeds);
  EXPECT_EQ(data.ISOSpeedRatings().AsString(), "100,200");
  EXPECT_FALSE(data.ISOSpeedRatings().Missing());

  const std::uint32_t asLong[] = {400};
  data.Sections(skExif).AddOrUpdateTag(ttISOSpeedRatings, dtLong, 1, asLong);
  EXPECT_TRUE(data.ISOSpeedRatings().Missing());
  EXPECT_EQ(data.ISOSpeedRatings().AsString(), "");
}

TEST(AnISOSpeedRatingsList, AssignsAsShortValuesAndMirrorsASequence) {
  TExifData source, data;
  const std::uint16_t speeds[] = {100, 200};
  source.Sections(skExif).AddOrUpdateTag(ttISOSpeedRatings, dtShort, 2, speeds);
  const std::uint32_t asLong[] = {400};
  data.Sections(skExif).AddOrUpdateTag(ttISOSpeedRatings, dtLong, 1, asLong);
  data.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
  data.SetISOSpeedRatings(&source.ISOSpeedRatings());
  EXPECT_EQ(data.Sections(skExif).Find(ttISOSpeedRatings)->DataType(), dtShort);
  EXPECT_EQ(data.ISOSpeedRatings().AsString(), "100,200");
  const std::vector<std::string> expected = {"exif:ISOSpeedRatings[1] = 100", "exif:ISOSpeedRatings[2] = 200"};
  EXPECT_EQ(ListXMPValues(data.XMPPacket()), expected);

  // SBYTE values are taken as unsigned bytes, into an existing tag or a new one alike.
  const std::uint8_t signedBytes[] = {100, 200};
  source.Sections(skExif).AddOrUpdateTag(ttISOSpeedRatings, dtSByte, 2, signedBytes);
  data.ISOSpeedRatings().Assign(&source.ISOSpeedRatings());
  EXPECT_EQ(data.Sections(skExif).Find(ttISOSpeedRatings)->DataType(), dtShort);
  EXPECT_EQ(data.ISOSpeedRatings().AsString(), "100,200");
  TExifData fresh;
  fresh.ISOSpeedRatings().Assign(&source.ISOSpeedRatings());
  EXPECT_EQ(fresh.ISOSpeedRatings().AsString(), "100,200");
  EXPECT_EQ(fresh.Sections(skExif).Find(ttISOSpeedRatings)->DataSize(), 4);

  // Assigning the object to itself keeps the list; an invalid source clears it.
  data.SetISOSpeedRatings(&data.ISOSpeedRatings());
  data.ISOSpeedRatings().Assign(&data.ISOSpeedRatings());
  EXPECT_EQ(data.ISOSpeedRatings().AsString(), "100,200");
  data.ISOSpeedRatings().Assign(nullptr);
  EXPECT_TRUE(data.ISOSpeedRatings().Missing());
  EXPECT_EQ(XmpValue(data, xnExif, "ISOSpeedRatings"), "<none>");
}

class AGPSCoordinate : public ::testing::Test {
 protected:
  void SetLatitude(std::vector<TTiffRational> values, const std::string& ref) {
    PutRational(data.Sections(skGps), ttGPSLatitude, dtRational, std::move(values));
    data.Sections(skGps).SetStringValue(ttGPSLatitudeRef, ref);
  }
  TExifData data;
};

TEST_F(AGPSCoordinate, FormatsItsText) {
  SetLatitude({{51, 1}, {30, 1}, {15, 1}}, "N");
  EXPECT_EQ(data.GPSLatitude().AsString(), "51,30,15N");
  EXPECT_FALSE(data.GPSLatitude().Missing());
  SetLatitude({{51, 1}, {3050, 100}}, "N");
  EXPECT_EQ(data.GPSLatitude().AsString(), "51,30.5N");
  // Fractions in any field give decimal minutes, never "n/d" text.
  SetLatitude({{51, 1}, {30, 1}, {3612, 100}}, "N");
  EXPECT_EQ(data.GPSLatitude().AsString(), "51,30.602N");
  SetLatitude({{103, 2}, {0, 1}, {30, 1}}, "N");
  EXPECT_EQ(data.GPSLatitude().AsString(), "51,30.5N");
  {
    Zorp::Base::TFormatSettings comma = Zorp::Base::TFormatSettings::Invariant();
    comma.DecimalSeparator = ',';
    TFormatSettingsGuard guard(comma);
    EXPECT_EQ(data.GPSLatitude().AsString(), "51,30.5N");
  }
  SetLatitude({{51, 1}, {30, 0}, {15, 1}}, "N");
  EXPECT_EQ(data.GPSLatitude().AsString(), "");
  EXPECT_TRUE(data.GPSLatitude().Missing());

  // The direction is upper-cased; a reference of no characters has none.
  SetLatitude({{51, 1}, {30, 1}}, "s");
  EXPECT_EQ(data.GPSLatitude().Direction(), 'S');
  data.Sections(skGps).AddOrUpdateTag(ttGPSLatitudeRef, dtAscii, 1, "");
  EXPECT_EQ(data.GPSLatitude().Direction(), '\0');
  EXPECT_TRUE(data.GPSLatitude().Missing());
}

TEST_F(AGPSCoordinate, ReadsTheDirectionOfAReferenceWithOrWithoutItsNul) {
  SetLatitude({{51, 1}, {30, 1}}, "N");
  struct Case {
    const char* Bytes;
    std::int32_t Count;
    char Direction;
  };
  for (const Case& c : {Case{"S", 2, 'S'}, Case{"S", 1, 'S'}, Case{"s", 1, 'S'}, Case{"", 1, '\0'}}) {
    data.Sections(skGps).AddOrUpdateTag(ttGPSLatitudeRef, dtAscii, c.Count, c.Bytes);
    EXPECT_EQ(data.GPSLatitude().Direction(), c.Direction) << c.Bytes << "/" << c.Count;
    EXPECT_EQ(data.GPSLatitude().Missing(), c.Direction == '\0') << c.Bytes << "/" << c.Count;
  }
}

TEST_F(AGPSCoordinate, WritesTheDirectionIntoTheTagAndTheXMPText) {
  SetLatitude({{51, 1}, {3050, 100}}, "N");
  Seed(data, xnExif, "GPSLatitude", "51,30.5N");
  data.GPSLatitude().SetDirection('s');
  EXPECT_EQ(data.Sections(skGps).GetStringValue(ttGPSLatitudeRef), "S");
  EXPECT_EQ(XmpValue(data, xnExif, "GPSLatitude"), "51,30.5S");

  // Without degrees the tag is written and the packet left alone.
  Seed(data, xnExif, "GPSLongitude", "untouched");
  data.GPSLongitude().SetDirection('E');
  EXPECT_EQ(data.Sections(skGps).GetStringValue(ttGPSLongitudeRef), "E");
  EXPECT_EQ(XmpValue(data, xnExif, "GPSLongitude"), "untouched");

  // A non-ASCII letter fails under EnforceASCII and changes nothing.
  EXPECT_THROW_MSG(data.GPSLatitude().SetDirection('\xE9'), ENotOnlyASCIIError,
                   "Tag may contain only ASCII string data");
  EXPECT_EQ(data.Sections(skGps).GetStringValue(ttGPSLatitudeRef), "S");
  EXPECT_EQ(XmpValue(data, xnExif, "GPSLatitude"), "51,30.5S");

  data.GPSLatitude().SetDirection('\0');
  EXPECT_EQ(data.Sections(skGps).Find(ttGPSLatitudeRef), nullptr);
  EXPECT_EQ(XmpValue(data, xnExif, "GPSLatitude"), "<none>");
}

TEST_F(AGPSCoordinate, MirrorsItsXMPTextWithAPointUnderACommaLocale) {
  // A ',' in the minutes would read as a field separator: 48 deg 12' 5" instead of 48 deg 12.5'.
  Zorp::Base::TFormatSettings comma = Zorp::Base::TFormatSettings::Invariant();
  comma.DecimalSeparator = ',';
  TFormatSettingsGuard guard(comma);
  for (const auto& [minutes, xmp] :
       {std::pair{TTiffRational{125, 10}, "48,12.5N"}, std::pair{TTiffRational{1, 3}, "48,0.333333333333333N"}}) {
    TExifData source;
    PutRational(source.Sections(skGps), ttGPSLatitude, dtRational, {{48, 1}, minutes});
    source.Sections(skGps).SetStringValue(ttGPSLatitudeRef, "N");
    Seed(data, xnExif, "GPSLatitude", "old");
    data.SetGPSLatitude(&source.GPSLatitude());
    EXPECT_EQ(XmpValue(data, xnExif, "GPSLatitude"), xmp);
  }
}

TEST_F(AGPSCoordinate, AssignsOnlyFromItsOwnClass) {
  SetLatitude({{51, 1}, {30, 1}, {15, 1}}, "N");
  EXPECT_THROW_MSG(data.GPSLatitude().Assign(&data.GPSLongitude()), Zorp::Base::EConvertError,
                   "Cannot assign a TGPSLongitude to a TGPSLatitude");
  EXPECT_THROW_MSG(data.GPSLatitude().Assign(&data.Flash()), Zorp::Base::EConvertError,
                   "Cannot assign a TExifFlashInfo to a TGPSLatitude");

  int changes = 0;
  data.SetOnChange([&](TCustomExifData&) { ++changes; });
  data.SetGPSDestLatitude(&data.GPSLatitude());
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(data.GPSDestLatitude().AsString(), "51,30,15N");
  EXPECT_EQ(TagBytes(data, skGps, ttGPSDestLatitude), TagBytes(data, skGps, ttGPSLatitude));
  EXPECT_EQ(data.Sections(skGps).GetStringValue(ttGPSDestLatitudeRef), "N");

  // Across containers the tag keeps its own ID.
  TExifData other;
  other.SetGPSLatitude(&data.GPSDestLatitude());
  EXPECT_EQ(other.GPSLatitude().AsString(), "51,30,15N");
  EXPECT_EQ(other.Sections(skGps).Find(ttGPSDestLatitude), nullptr);

  Seed(data, xnExif, "GPSDestLatitude", "51,30,15N");
  data.SetGPSDestLatitude(&other.GPSDestLatitude());  // the source has no coordinate
  EXPECT_EQ(data.Sections(skGps).Find(ttGPSDestLatitude), nullptr);
  EXPECT_EQ(data.Sections(skGps).Find(ttGPSDestLatitudeRef), nullptr);
  EXPECT_EQ(XmpValue(data, xnExif, "GPSDestLatitude"), "<none>");
}

}  // namespace
