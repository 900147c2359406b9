// The container's named properties: which tags each reads and writes, their defaults and range
// checks, and how each write is mirrored into the XMP packet.

#include <gtest/gtest.h>

#include "TestHelpers.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ExifBuilder.h"
#include "zorp/base/DateTime.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

using namespace Zorp::Exif;
using Zorp::Base::EncodeDate;
using Zorp::Base::EncodeDateTime;
using Zorp::Testing::ExifBuilder;

namespace {

constexpr const char* None = "<none>";

class TheNamedProperties : public ::testing::Test {
 protected:
  // The text of a top-level XMP property, "<none>" when it is not there.
  std::string Xmp(TXMPNamespaceKind kind, const std::string& name) {
    TXMPSchema* schema = nullptr;
    TXMPProperty* property = nullptr;
    if (!data.XMPPacket().FindSchema(kind, schema) || !schema->FindProperty(name, property)) return None;
    return property->ReadValue();
  }
  // Gives the packet a property, as a loaded packet would have it.
  void Seed(TXMPNamespaceKind kind, const std::string& name, const std::string& text,
            TXMPPropertyKind shape = pkSimple) {
    TXMPPacket& packet = data.XMPPacket();
    const TXMPWritePolicy policy = packet.WritePolicy();
    packet.SetWritePolicy(wpUpdateOrAdd);
    packet.UpdateProperty(kind, name, text, shape);
    packet.SetWritePolicy(policy);
  }
  void AddAll() { data.XMPPacket().SetWritePolicy(wpUpdateOrAdd); }
  std::vector<std::uint8_t> Bytes(TExifSectionKind kind, TExifTagID id) {
    const TExifTag* tag = data.Sections(kind).Find(id);
    return tag ? std::vector<std::uint8_t>(tag->Bytes().begin(), tag->Bytes().end()) : std::vector<std::uint8_t>{};
  }
  bool Has(TExifSectionKind kind, TExifTagID id) { return data.Sections(kind).Find(id) != nullptr; }
  // Counts OnChange calls from now on.
  int& CountChanges() {
    data.SetOnChange([this](TCustomExifData&) { ++changes; });
    return changes;
  }

  TExifData data;
  int changes = 0;
};

// Every tag of the five directories (ID, type, count, bytes and text) and every XMP value: all that a
// failed edit must leave as it was.
std::vector<std::string> Snapshot(TCustomExifData& photo) {
  std::vector<std::string> lines;
  for (TExifSectionKind kind : {skPrimary, skExif, skInterop, skGps, skThumbnail}) {
    for (TExifTag* tag : photo.PeekSection(kind)) {
      std::string line = std::to_string(kind) + ":" + std::to_string(tag->ID()) + " type " +
                         std::to_string(tag->DataType()) + " x" + std::to_string(tag->ElementCount()) + " [";
      for (std::uint8_t byte : tag->Bytes()) line += std::to_string(byte) + " ";
      lines.push_back(line + "] " + tag->AsString());
    }
  }
  for (std::string& line : ListXMPValues(photo.XMPPacket())) lines.push_back(std::move(line));
  return lines;
}

// A photo whose directories keep the layout of its file, with an XMP packet that mirrors its texts.
std::unique_ptr<TCustomExifData> FixedPhoto(const std::function<void(ExifBuilder&)>& addTags) {
  ExifBuilder block;
  addTags(block);
  const std::string xmp =
      std::string(XMPSignature) +
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'"
      " xmlns:tiff='http://ns.adobe.com/tiff/1.0/' xmlns:exif='http://ns.adobe.com/exif/1.0/'>"
      "<dc:creator><rdf:Seq><rdf:li>Old</rdf:li></rdf:Seq></dc:creator><tiff:Artist>Old</tiff:Artist>"
      "<exif:UserComment><rdf:Alt><rdf:li xml:lang='x-default'>Old</rdf:li></rdf:Alt></exif:UserComment>"
      "<exif:DateTimeOriginal>2010-07-04T10:20:30</exif:DateTimeOriginal>"
      "</rdf:Description></rdf:RDF></x:xmpmeta>";
  auto photo = std::make_unique<TCustomExifData>();
  const std::vector<std::uint8_t> xmpSegment(xmp.begin(), xmp.end());
  Zorp::Testing::LoadJPEG(*photo, ExifBuilder::Jpeg({block.Build(), xmpSegment}));
  return photo;
}

// A photo that accepts new tags, mirroring into every XMP property.
std::unique_ptr<TCustomExifData> OpenPhoto(const std::function<void(TCustomExifData&)>& fill) {
  auto photo = std::make_unique<TExifData>();
  photo->XMPPacket().SetWritePolicy(wpUpdateOrAdd);
  fill(*photo);
  return photo;
}

std::vector<std::uint8_t> WithHeader(const char (&header)[9], std::vector<std::uint8_t> text) {
  text.insert(text.begin(), header, header + 8);
  return text;
}

// ---------------------------------------------------------------------------------------------------
// Text

TEST_F(TheNamedProperties, RejectNonASCIITextUnderEnforceASCIIWithoutChangingAnything) {
  data.SetCameraMake("Canon");
  Seed(xnTIFF, "Make", "Canon");
  EXPECT_THROW_MSG(data.SetCameraMake("Ca\xC3\xB1on"), ENotOnlyASCIIError, "Tag may contain only ASCII string data");
  EXPECT_EQ(data.CameraMake(), "Canon");
  EXPECT_EQ(Xmp(xnTIFF, "Make"), "Canon");
  EXPECT_THROW(data.SetGPSMapDatum("W\xC3\x89GS"), ENotOnlyASCIIError);
  EXPECT_FALSE(Has(skGps, ttGPSMapDatum));

  data.SetEnforceASCII(false);
  data.SetCameraMake("Ca\xC3\xB1on");
  EXPECT_EQ(data.CameraMake(), "Ca\xC3\xB1on");
  EXPECT_EQ(Xmp(xnTIFF, "Make"), "Ca\xC3\xB1on");
}

TEST_F(TheNamedProperties, RefuseTextXMPCannotHoldBeforeChangingTagOrPacket) {
  using namespace std::string_literals;
  struct Setter {
    const char* Name;
    void (TCustomExifData::*Set)(const std::string&);
    TExifSectionKind Kind;
    TExifTagID Tag;
    TXMPNamespaceKind Schema;
    const char* Property;
  };
  const Setter setters[] = {
      {"CameraModel", &TCustomExifData::SetCameraModel, skPrimary, ttModel, xnTIFF, "Model"},
      {"Software", &TCustomExifData::SetSoftware, skPrimary, ttSoftware, xnXMPBasic, "CreatorTool"},
      {"Copyright", &TCustomExifData::SetCopyright, skPrimary, ttCopyright, xnDublinCore, "rights"},
      {"GPSMapDatum", &TCustomExifData::SetGPSMapDatum, skGps, ttGPSMapDatum, xnExif, "GPSMapDatum"},
      {"Title", &TCustomExifData::SetTitle, skPrimary, ttXPTitle, xnDublinCore, "title"},
      {"Keywords", &TCustomExifData::SetKeywords, skPrimary, ttXPKeywords, xnDublinCore, "subject"},
      {"Author", &TCustomExifData::SetAuthor, skPrimary, ttXPAuthor, xnDublinCore, "creator"},
      {"Comments", &TCustomExifData::SetComments, skPrimary, ttXPComment, xnExif, "UserComment"},
  };
  const std::string bad[] = {"EOS\x01X", "a\0b"s, "\xC3\x28x", "x\xFF"};
  data.SetEnforceASCII(false);
  for (const Setter& setter : setters) {
    for (const TXMPWritePolicy policy : {wpUpdateOrAdd, wpUpdateExistingOnly}) {
      data.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
      (data.*setter.Set)("old");
      data.XMPPacket().SetWritePolicy(policy);
      const std::vector<std::uint8_t> before = Bytes(setter.Kind, setter.Tag);
      for (const std::string& text : bad) {
        EXPECT_THROW((data.*setter.Set)(text), EInvalidXMPText) << setter.Name << " " << text;
        EXPECT_EQ(Bytes(setter.Kind, setter.Tag), before) << setter.Name << " " << text;
        EXPECT_EQ(Xmp(setter.Schema, setter.Property), "old") << setter.Name << " " << text;
      }
    }
  }
  EXPECT_THROW_MSG(data.SetCameraModel("EOS\x01X"), EInvalidXMPText, "XMP text cannot hold the character U+0001");

  // The tag's own ASCII rule speaks first; with no XMP write nothing is refused for XMP's sake.
  data.SetEnforceASCII(true);
  EXPECT_THROW(data.SetCameraModel("x\xFF"), ENotOnlyASCIIError);
  EXPECT_THROW(data.SetGPSMapDatum("x\xFF"), ENotOnlyASCIIError);
  data.XMPPacket().SetWritePolicy(wpRemove);
  data.SetCameraModel("EOS\x01X");
  EXPECT_EQ(data.CameraModel(), "EOS\x01X");
  data.SetSubsecTime("1\x01");  // a tag without a mirror
  EXPECT_EQ(data.SubsecTime(), "1\x01");
}

TEST_F(TheNamedProperties, RefuseADirectionLetterXMPCannotHoldBeforeChangingTheReference) {
  data.SetEnforceASCII(false);
  AddAll();
  TExifSection& gps = data.Sections(skGps);
  const TTiffRational parts[] = {{51, 1}, {30, 1}, {15, 1}};
  for (std::int32_t i = 0; i < 3; ++i) gps.SetFractionValue(ttGPSLatitude, i, parts[i]);
  data.GPSLatitude().SetDirection('N');
  ASSERT_EQ(Xmp(xnExif, "GPSLatitude"), "51,30,15N");
  EXPECT_THROW_MSG(data.GPSLatitude().SetDirection('\xFF'), EInvalidXMPText,
                   "XMP text cannot hold the byte 0xFF, which is not valid UTF-8");
  EXPECT_EQ(data.GPSLatitude().Direction(), 'N');
  EXPECT_EQ(Xmp(xnExif, "GPSLatitude"), "51,30,15N");
}

TEST_F(TheNamedProperties, MirrorTextOnlyIntoExistingPropertiesByDefault) {
  data.SetCameraModel("EOS");
  EXPECT_EQ(data.CameraModel(), "EOS");
  EXPECT_TRUE(data.XMPPacket().Empty());

  Seed(xnTIFF, "Make", "old");
  Seed(xnTIFF, "make", "old");
  data.SetCameraMake("Nikon  ");
  EXPECT_EQ(data.CameraMake(), "Nikon  ");
  EXPECT_EQ(Xmp(xnTIFF, "Make"), "Nikon");  // trailing blanks are not mirrored
  EXPECT_EQ(Xmp(xnTIFF, "make"), "Nikon");
  EXPECT_EQ(Xmp(xnTIFF, "Model"), None);

  data.SetCameraMake("");
  EXPECT_FALSE(Has(skPrimary, ttMake));
  EXPECT_EQ(Xmp(xnTIFF, "Make"), None);
  EXPECT_EQ(Xmp(xnTIFF, "make"), None);
}

TEST_F(TheNamedProperties, MirrorEachTextTagUnderItsOwnName) {
  AddAll();
  data.SetSoftware("Quorvane");
  data.SetCopyright("Me");
  data.SetImageUniqueID("ABC");
  data.SetGPSMapDatum("WGS-84");
  data.SetGPSDateStamp("2010:07:04");
  data.SetSubsecTime("25");
  data.SetInteropTypeName("R98");
  const std::vector<std::string> expected = {"dc:rights[x-default] = Me", "exif:ImageUniqueID = ABC",
                                             "exif:GPSMapDatum = WGS-84", "tiff:Software = Quorvane",
                                             "xmp:CreatorTool = Quorvane"};
  std::vector<std::string> lines = ListXMPValues(data.XMPPacket());
  std::sort(lines.begin(), lines.end());
  std::vector<std::string> sorted = expected;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(lines, sorted);
  EXPECT_EQ(data.GPSDateStamp(), "2010:07:04");
  EXPECT_EQ(data.SubsecTime(), "25");
  EXPECT_EQ(data.InteropTypeName(), "R98");

  data.SetKeywords("sea, sun;sand");
  EXPECT_EQ(data.Keywords(), "sea, sun;sand");
  EXPECT_EQ(Xmp(xnDublinCore, "subject"), "sea, sun,sand");
  EXPECT_EQ(Xmp(xnMicrosoftPhoto, "LastKeywordXMP"), "sea, sun,sand");
  data.SetTitle("T\xC3\xADtulo");  // Windows text takes any text
  EXPECT_EQ(data.Title(), "T\xC3\xADtulo");
  EXPECT_EQ(Xmp(xnDublinCore, "title"), "T\xC3\xADtulo");
}

TEST_F(TheNamedProperties, MirrorSoftwareAsCreatorToolAndDropTheLowerCaseName) {
  struct Case {
    const char* Seeded;  // "old", "both" or "none"
    TXMPWritePolicy Policy;
    const char* Value;
    const char* CreatorTool;
  };
  const Case cases[] = {
      {"none", wpUpdateOrAdd, "New", "New"},       {"old", wpUpdateOrAdd, "New", "New"},
      {"old", wpUpdateExistingOnly, "New", "New"}, {"both", wpUpdateExistingOnly, "New", "New"},
      {"none", wpUpdateExistingOnly, "New", None}, {"old", wpRemove, "New", None},
      {"both", wpUpdateOrAdd, "", None},
  };
  for (const Case& c : cases) {
    data.XMPPacket().Clear();
    if (std::string(c.Seeded) != "none") Seed(xnXMPBasic, "creatortool", "Old");
    if (std::string(c.Seeded) == "both") Seed(xnXMPBasic, "CreatorTool", "Older");
    Seed(xnTIFF, "creatortool", "elsewhere");
    data.XMPPacket().SetWritePolicy(c.Policy);
    data.SetSoftware(c.Value);
    EXPECT_EQ(Xmp(xnXMPBasic, "CreatorTool"), c.CreatorTool) << c.Seeded << " " << c.Policy;
    EXPECT_EQ(Xmp(xnXMPBasic, "creatortool"), None) << c.Seeded << " " << c.Policy;
    EXPECT_EQ(Xmp(xnTIFF, "creatortool"), "elsewhere") << c.Seeded << " " << c.Policy;
  }
}

TEST_F(TheNamedProperties, KeepTheXMPDescriptionWhileTheWindowsSubjectIsThere) {
  AddAll();
  data.SetImageDescription("A beach");
  EXPECT_EQ(Xmp(xnDublinCore, "description"), "A beach");
  data.SetSubject("Holiday");
  EXPECT_EQ(Xmp(xnDublinCore, "description"), "Holiday");
  data.SetImageDescription("");
  EXPECT_FALSE(Has(skPrimary, ttImageDescription));
  EXPECT_EQ(Xmp(xnDublinCore, "description"), "Holiday");

  data.SetImageDescription("A beach");
  data.XMPPacket().SetWritePolicy(wpRemove);
  data.SetImageDescription("");
  EXPECT_EQ(Xmp(xnDublinCore, "description"), None);

  data.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
  data.SetSubject("");
  data.SetImageDescription("A beach");
  data.SetImageDescription("");
  EXPECT_EQ(Xmp(xnDublinCore, "description"), None);
}

TEST_F(TheNamedProperties, ChooseTheAuthorTagsByTheTextAndWhatIsThere) {
  TExifSection& primary = data.Sections(skPrimary);
  primary.SetStringValue(ttArtist, "Old name");
  EXPECT_EQ(data.Author(), "Old name");
  Seed(xnTIFF, "Artist", "Old name");
  int& count = CountChanges();
  data.SetAuthor("Ann Smith");
  EXPECT_EQ(count, 1);
  const TExifTag* artist = primary.Find(ttArtist);
  ASSERT_NE(artist, nullptr);
  EXPECT_EQ(artist->DataType(), dtAscii);
  EXPECT_EQ(artist->ElementCount(), 10);
  EXPECT_EQ(primary.GetStringValue(ttArtist), "Ann Smith");
  EXPECT_FALSE(Has(skPrimary, ttXPAuthor));
  EXPECT_EQ(Xmp(xnTIFF, "Artist"), "Ann Smith");

  // With the Windows tag there as well, both take the name; the Windows one is read first.
  primary.SetWindowsStringValue(ttXPAuthor, "Other");
  EXPECT_EQ(data.Author(), "Other");
  count = 0;
  data.SetAuthor("Bob");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(primary.GetStringValue(ttArtist), "Bob");
  EXPECT_EQ(primary.GetWindowsStringValue(ttXPAuthor), "Bob");

  // A non-ASCII name lives in the Windows tag alone.
  data.SetAuthor("Bj\xC3\xB6rk");
  EXPECT_FALSE(Has(skPrimary, ttArtist));
  EXPECT_EQ(data.Author(), "Bj\xC3\xB6rk");

  data.SetAuthor("");
  EXPECT_FALSE(Has(skPrimary, ttXPAuthor));
  EXPECT_EQ(Xmp(xnTIFF, "Artist"), None);

  // Neither tag there: only the Windows tag is created; the XMP creator is a sequence.
  AddAll();
  data.SetAuthor("Ann, Bob");
  EXPECT_FALSE(Has(skPrimary, ttArtist));
  EXPECT_EQ(primary.GetWindowsStringValue(ttXPAuthor), "Ann, Bob");
  TXMPSchema* dc = nullptr;
  TXMPProperty* creator = nullptr;
  ASSERT_TRUE(data.XMPPacket().FindSchema(xnDublinCore, dc));
  ASSERT_TRUE(dc->FindProperty("creator", creator));
  EXPECT_EQ(creator->Kind(), pkSequence);
  EXPECT_EQ(creator->SubPropertyCount(), 2);
}

TEST_F(TheNamedProperties, ReadCommentsFromTheWindowsTagOrTheUserCommentHeaders) {
  TExifSection& exif = data.Sections(skExif);
  const auto ascii = WithHeader("ASCII\0\0\0", {'h', 'e', 'l', 'l', 'o', ' ', ' '});
  exif.AddOrUpdateTag(ttUserComment, dtUndefined, static_cast<std::int32_t>(ascii.size()), ascii.data());
  EXPECT_EQ(data.Comments(), "hello");
  const auto unicode = WithHeader("UNICODE\0", {'h', 0, 'i', 0, 0, 0});
  exif.AddOrUpdateTag(ttUserComment, dtByte, static_cast<std::int32_t>(unicode.size()), unicode.data());
  EXPECT_EQ(data.Comments(), "hi");
  // An undefined character code: plain text shows, anything else is no text.
  const auto unknown = WithHeader("\0\0\0\0\0\0\0\0", {'h', 'e', 'y', 0});
  exif.AddOrUpdateTag(ttUserComment, dtUndefined, static_cast<std::int32_t>(unknown.size()), unknown.data());
  EXPECT_EQ(data.Comments(), "hey");
  const auto binary = WithHeader("\0\0\0\0\0\0\0\0", {'h', 1, 'y'});
  exif.AddOrUpdateTag(ttUserComment, dtUndefined, static_cast<std::int32_t>(binary.size()), binary.data());
  EXPECT_EQ(data.Comments(), "");
  const auto jis = WithHeader("JIS\0\0\0\0\0", {'h', 'e', 'y'});
  exif.AddOrUpdateTag(ttUserComment, dtUndefined, static_cast<std::int32_t>(jis.size()), jis.data());
  EXPECT_EQ(data.Comments(), "");
  // Nine elements are too few; a wrong type does not count.
  exif.AddOrUpdateTag(ttUserComment, dtUndefined, 9, WithHeader("ASCII\0\0\0", {'x'}).data());
  EXPECT_EQ(data.Comments(), "");
  exif.AddOrUpdateTag(ttUserComment, dtAscii, static_cast<std::int32_t>(ascii.size()), ascii.data());
  EXPECT_EQ(data.Comments(), "");

  data.Sections(skPrimary).SetWindowsStringValue(ttXPComment, "windows");
  EXPECT_EQ(data.Comments(), "windows");
}

TEST_F(TheNamedProperties, RewriteAnExistingUserCommentAsUnicodeButNeverCreateOne) {
  data.SetComments("hi");
  EXPECT_EQ(data.Sections(skPrimary).GetWindowsStringValue(ttXPComment), "hi");
  EXPECT_FALSE(Has(skExif, ttUserComment));

  const auto ascii = WithHeader("ASCII\0\0\0", {'o', 'l', 'd'});
  data.Sections(skExif).AddOrUpdateTag(ttUserComment, dtUndefined, 11, ascii.data());
  Seed(xnExif, "UserComment", "old", pkLangAlternative);
  data.SetComments("h\xC3\xA9");
  const TExifTag* comment = data.Sections(skExif).Find(ttUserComment);
  ASSERT_NE(comment, nullptr);
  EXPECT_EQ(comment->DataType(), dtByte);
  EXPECT_EQ(comment->ElementCount(), 2 * 2 + 8);
  EXPECT_EQ(Bytes(skExif, ttUserComment), WithHeader("UNICODE\0", {'h', 0, 0xE9, 0}));
  EXPECT_EQ(Xmp(xnExif, "UserComment"), "h\xC3\xA9");

  data.SetComments("");
  EXPECT_FALSE(Has(skPrimary, ttXPComment));
  EXPECT_FALSE(Has(skExif, ttUserComment));
  EXPECT_EQ(Xmp(xnExif, "UserComment"), None);
}

TEST_F(TheNamedProperties, KeepAUnicodeUserCommentInThePhotosByteOrder) {
  data.SetByteOrder(boBigEndian);
  const auto big = WithHeader("UNICODE\0", {0, 'S', 0, 'e', 0, 't', 0, 0});
  data.Sections(skExif).AddOrUpdateTag(ttUserComment, dtUndefined, static_cast<std::int32_t>(big.size()), big.data());
  EXPECT_EQ(data.Comments(), "Set");
  data.Sections(skPrimary).Remove(ttXPComment);
  data.SetComments("h\xC3\xA9");
  EXPECT_EQ(Bytes(skExif, ttUserComment), WithHeader("UNICODE\0", {0, 'h', 0, 0xE9}));
  data.Sections(skPrimary).Remove(ttXPComment);
  EXPECT_EQ(data.Comments(), "h\xC3\xA9");
}

TEST_F(TheNamedProperties, EmptyAUserCommentThatOutgrowsAFixedLayout) {
  ExifBuilder block;
  block.Primary.Raw(ttXPComment, dtByte, 40, std::vector<std::uint8_t>(40, 0x20));
  block.Exif.Undefined(ttUserComment, WithHeader("ASCII\0\0\0", {'o', 'l', 'd', '!'}));
  const std::vector<std::uint8_t> jpeg = ExifBuilder::Jpeg({block.Build()});
  Zorp::Base::TUserMemoryStream stream(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  TCustomExifData fixed;
  fixed.LoadFromJPEG(stream);
  ASSERT_TRUE(fixed.Sections(skExif).Find(ttUserComment));

  fixed.SetComments("hello");  // 18 bytes where 12 were
  EXPECT_EQ(fixed.Sections(skPrimary).GetWindowsStringValue(ttXPComment), "hello");
  EXPECT_EQ(fixed.Sections(skExif).Find(ttUserComment)->ElementCount(), 0);
  fixed.SetComments("ok");  // 12 bytes fit in the old room again
  EXPECT_EQ(fixed.Sections(skExif).Find(ttUserComment)->ElementCount(), 12);
  EXPECT_EQ(fixed.Comments(), "ok");
}

// ---------------------------------------------------------------------------------------------------
// Date-times

TEST_F(TheNamedProperties, WriteDateTimesWithSubSecondsAndTheirXMPDate) {
  AddAll();
  const Zorp::Base::TDateTime moment = EncodeDateTime(2010, 7, 4, 10, 20, 30, 250);
  data.SetDateTimeOriginal(moment);
  EXPECT_EQ(data.Sections(skExif).GetStringValue(ttDateTimeOriginal), "2010:07:04 10:20:30");
  EXPECT_FALSE(Has(skExif, ttSubsecTimeOriginal));
  EXPECT_EQ(data.DateTimeOriginal(), EncodeDateTime(2010, 7, 4, 10, 20, 30, 0));
  EXPECT_EQ(Xmp(xnExif, "DateTimeOriginal"), "2010-07-04T10:20:30.250");

  int& count = CountChanges();
  data.SetAlwaysWritePreciseTimes(true);
  data.SetDateTimeOriginal(moment);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(data.SubsecTimeOriginal(), "250");
  EXPECT_EQ(data.DateTimeOriginal(), moment);

  data.SetDateTime(moment);
  EXPECT_EQ(data.Sections(skPrimary).GetStringValue(ttDateTime), "2010:07:04 10:20:30");
  EXPECT_EQ(data.SubsecTime(), "250");
  EXPECT_EQ(Xmp(xnTIFF, "DateTime"), "2010-07-04T10:20:30.250");
  data.SetDateTimeDigitized(moment);
  EXPECT_EQ(data.DateTimeDigitized(), moment);
  EXPECT_EQ(Xmp(xnExif, "DateTimeDigitized"), "2010-07-04T10:20:30.250");

  data.SetDateTimeOriginal(0);
  EXPECT_FALSE(Has(skExif, ttDateTimeOriginal));
  EXPECT_FALSE(Has(skExif, ttSubsecTimeOriginal));
  EXPECT_EQ(Xmp(xnExif, "DateTimeOriginal"), None);
  EXPECT_EQ(data.DateTimeOriginal(), 0);
}

TEST_F(TheNamedProperties, MirrorCameraTimesAsLocalWithTheirRecordedOffsetOnly) {
  // Camera times carry no zone: a "Z" would tell other programs they are UTC.
  using TSetter = void (TCustomExifData::*)(Zorp::Base::TDateTime);
  struct Case {
    TSetter Setter;
    TXMPNamespaceKind Schema;
    const char* Name;
    TExifTagID OffsetID;  // 0: no offset tag
    const char* Offset;
    int Milliseconds;
    const char* Expected;
  };
  const Case cases[] = {
      {&TCustomExifData::SetDateTimeOriginal, xnExif, "DateTimeOriginal", 0, "", 0, "2024-05-01T10:20:30"},
      {&TCustomExifData::SetDateTimeOriginal, xnExif, "DateTimeOriginal", 0, "", 250, "2024-05-01T10:20:30.250"},
      {&TCustomExifData::SetDateTimeOriginal, xnExif, "DateTimeOriginal", ttOffsetTimeOriginal, "+02:00", 0,
       "2024-05-01T10:20:30+02:00"},
      {&TCustomExifData::SetDateTime, xnTIFF, "DateTime", ttOffsetTime, "-05:30", 7, "2024-05-01T10:20:30.007-05:30"},
      {&TCustomExifData::SetDateTimeDigitized, xnExif, "DateTimeDigitized", ttOffsetTimeDigitized, "+00:00", 0,
       "2024-05-01T10:20:30+00:00"},
      // Each date has its own offset tag.
      {&TCustomExifData::SetDateTimeOriginal, xnExif, "DateTimeOriginal", ttOffsetTime, "+02:00", 0,
       "2024-05-01T10:20:30"},
      {&TCustomExifData::SetDateTime, xnTIFF, "DateTime", ttOffsetTimeOriginal, "+02:00", 0, "2024-05-01T10:20:30"},
  };
  for (const Case& c : cases) {
    TExifData photo;
    photo.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
    if (c.OffsetID != 0) photo.Sections(skExif).SetStringValue(c.OffsetID, c.Offset);
    (photo.*c.Setter)(EncodeDateTime(2024, 5, 1, 10, 20, 30, c.Milliseconds));
    TXMPSchema* schema = nullptr;
    TXMPProperty* property = nullptr;
    ASSERT_TRUE(photo.XMPPacket().FindSchema(c.Schema, schema) && schema->FindProperty(c.Name, property)) << c.Name;
    EXPECT_EQ(property->ReadValue(), c.Expected) << c.Name << " " << c.Offset;
  }
  // A malformed offset is ignored.
  for (const char* offset : {"+2:00", "02:00", "+02-00", "+24:00", "+02:60", "   :  ", "+02:00Z"}) {
    TExifData photo;
    photo.Sections(skExif).SetStringValue(ttOffsetTimeOriginal, offset);
    photo.XMPPacket().SetWritePolicy(wpUpdateOrAdd);
    photo.SetDateTimeOriginal(EncodeDateTime(2024, 5, 1, 10, 20, 30, 0));
    EXPECT_EQ(ListXMPValues(photo.XMPPacket()), std::vector<std::string>{"exif:DateTimeOriginal = 2024-05-01T10:20:30"})
        << offset;
  }

  // The GPS time is UTC and says so.
  AddAll();
  data.Sections(skExif).SetStringValue(ttOffsetTimeOriginal, "+02:00");
  data.SetGPSDateTimeUTC(EncodeDateTime(2024, 5, 1, 8, 20, 30, 0));
  EXPECT_EQ(Xmp(xnExif, "GPSTimeStamp"), "2024-05-01T08:20:30.000Z");
}

struct TDateCopyCase {
  const char* Name;
  const char* Copy;          // exif:DateTimeOriginal before; "" for none
  const char* Created;       // photoshop:DateCreated before; "" for none
  const char* Offset;        // OffsetTimeOriginal; "" for none
  int Milliseconds;          // of the new value
  bool KeepSubSeconds;       // the value came without sub-seconds
  const char* CopyAfter;     // None: not there
  const char* CreatedAfter;  // None: not there
  const char* SubSecAfter;   // SubsecTimeOriginal afterwards (stored "72")
};

class ADateTimeEdit : public ::testing::TestWithParam<TDateCopyCase> {};

TEST_P(ADateTimeEdit, KeepsEachCopysZoneAndTheSubSecondsUnlessNewOnesCome) {
  const TDateCopyCase& c = GetParam();
  TExifData photo;
  TXMPPacket& packet = photo.XMPPacket();
  packet.SetWritePolicy(wpUpdateOrAdd);
  if (*c.Copy) packet.UpdateProperty(xnExif, "DateTimeOriginal", c.Copy);
  if (*c.Created) packet.UpdateProperty(xnPhotoshop, "DateCreated", c.Created);
  photo.Sections(skExif).SetStringValue(ttDateTimeOriginal, "2009:06:24 09:41:07");
  photo.Sections(skExif).SetStringValue(ttSubsecTimeOriginal, "72");
  if (*c.Offset) photo.Sections(skExif).SetStringValue(ttOffsetTimeOriginal, c.Offset);
  const Zorp::Base::TDateTime value = EncodeDateTime(2009, 6, 24, 10, 41, 7, c.Milliseconds);
  if (c.KeepSubSeconds)
    photo.SetDateTimeKeepingSubSeconds(ttDateTimeOriginal, value);
  else
    photo.SetDateTimeOriginal(value);
  const auto text = [&](TXMPNamespaceKind kind, const char* name) {
    TXMPSchema* schema = nullptr;
    TXMPProperty* property = nullptr;
    return packet.FindSchema(kind, schema) && schema->FindProperty(name, property) ? property->ReadValue()
                                                                                   : std::string(None);
  };
  EXPECT_EQ(photo.Sections(skExif).GetStringValue(ttDateTimeOriginal), "2009:06:24 10:41:07");
  EXPECT_EQ(photo.SubsecTimeOriginal(), c.SubSecAfter);
  EXPECT_EQ(text(xnExif, "DateTimeOriginal"), c.CopyAfter);
  EXPECT_EQ(text(xnPhotoshop, "DateCreated"), c.CreatedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Copies, ADateTimeEdit,
    ::testing::Values(
        TDateCopyCase{"ZoneAndFractionKept", "2009-06-24T09:41:07.72+01:00", "", "", 0, true,
                      "2009-06-24T10:41:07.72+01:00", None, "72"},
        TDateCopyCase{"NewSubSecondsReplaceBoth", "2009-06-24T09:41:07.72+01:00", "", "", 500, false,
                      "2009-06-24T10:41:07.500+01:00", None, "500"},
        TDateCopyCase{"ZeroSubSecondsTypedReplaceBoth", "2009-06-24T09:41:07.72+01:00", "", "", 0, false,
                      "2009-06-24T10:41:07+01:00", None, "000"},
        TDateCopyCase{"TheOffsetTagWins", "2009-06-24T09:41:07+01:00", "", "+02:00", 0, true,
                      "2009-06-24T10:41:07+02:00", None, "72"},
        TDateCopyCase{"UTCStaysUTC", "2009-06-24T08:41:07Z", "", "", 0, true, "2009-06-24T10:41:07Z", None, "72"},
        TDateCopyCase{"LocalStaysLocal", "2009-06-24T09:41:07", "", "", 0, true, "2009-06-24T10:41:07", None, "72"},
        TDateCopyCase{"EveryCopyFollows", "2009-06-24T09:41:07-04:00", "2009-06-24", "", 0, true,
                      "2009-06-24T10:41:07-04:00", "2009-06-24T10:41:07", "72"},
        TDateCopyCase{"TheOtherCopyIsNeverCreated", "", "", "+09:00", 0, true, "2009-06-24T10:41:07+09:00", None, "72"},
        TDateCopyCase{"AnUnreadableCopyIsReplaced", "June 2009", "", "", 0, true, "2009-06-24T10:41:07", None, "72"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(TheNamedProperties, KeepSubSecondsOnlyForTheThreeDateTimesAndARealDate) {
  data.Sections(skExif).SetStringValue(ttDateTimeOriginal, "2009:06:24 09:41:07");
  EXPECT_THROW(data.SetDateTimeKeepingSubSeconds(ttDateTimeOriginal, 0), Zorp::Base::EConvertError);
  EXPECT_THROW(data.SetDateTimeKeepingSubSeconds(ttMake, EncodeDate(2009, 6, 24)), Zorp::Base::EAssertionFailed);
  EXPECT_EQ(data.Sections(skExif).GetStringValue(ttDateTimeOriginal), "2009:06:24 09:41:07");
  data.SetDateTimeKeepingSubSeconds(ttDateTime, EncodeDateTime(1850, 1, 2, 3, 4, 5, 0));
  EXPECT_EQ(data.Sections(skPrimary).GetStringValue(ttDateTime), "1850:01:02 03:04:05");
  EXPECT_FALSE(Has(skExif, ttSubsecTime));
}

TEST_F(TheNamedProperties, ReadTheGPSDateTimeWithItsFallbacks) {
  TExifSection& gps = data.Sections(skGps);
  gps.SetStringValue(ttGPSDateStamp, "2010:07:04");
  const TTiffRational time[] = {{10, 1}, {20, 1}, {305, 10}};
  gps.AddOrUpdateTag(ttGPSTimeStamp, dtRational, 3, time);
  EXPECT_EQ(data.GPSDateTimeUTC(), EncodeDateTime(2010, 7, 4, 10, 20, 30, 0));

  // Without a date stamp the date comes from DateTime, else from DateTimeOriginal.
  gps.Remove(ttGPSDateStamp);
  data.Sections(skExif).SetStringValue(ttDateTimeOriginal, "2011:01:02 03:04:05");
  EXPECT_EQ(data.GPSDateTimeUTC(), EncodeDateTime(2011, 1, 2, 10, 20, 30, 0));
  data.Sections(skPrimary).SetStringValue(ttDateTime, "2012:05:06 07:08:09");
  EXPECT_EQ(data.GPSDateTimeUTC(), EncodeDateTime(2012, 5, 6, 10, 20, 30, 0));

  // A broken time stamp leaves the date alone; a broken date stamp counts as none.
  gps.SetStringValue(ttGPSDateStamp, "2010:07:04");
  gps.SetFractionValue(ttGPSTimeStamp, 1, {20, 0});
  EXPECT_EQ(data.GPSDateTimeUTC(), EncodeDate(2010, 7, 4));
  gps.SetFractionValue(ttGPSTimeStamp, 1, {60, 1});
  EXPECT_EQ(data.GPSDateTimeUTC(), EncodeDate(2010, 7, 4));
  gps.SetStringValue(ttGPSDateStamp, "2010:02:30");
  EXPECT_EQ(data.GPSDateTimeUTC(), 0);
  gps.SetFractionValue(ttGPSTimeStamp, 1, {20, 1});
  gps.SetStringValue(ttGPSDateStamp, "2010:7:4");
  EXPECT_EQ(data.GPSDateTimeUTC(), EncodeDateTime(2012, 5, 6, 10, 20, 30, 0));
}

TEST_F(TheNamedProperties, WriteTheGPSDateTimeInOneChange) {
  // Under the default policy the existing XMP time is updated, not dropped by the element writes.
  Seed(xnExif, "GPSTimeStamp", "old");
  int& count = CountChanges();
  data.SetGPSDateTimeUTC(EncodeDateTime(2010, 7, 4, 10, 20, 30, 750));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(data.GPSDateStamp(), "2010:07:04");
  EXPECT_EQ(data.GPSTimeStamp(0), (TTiffRational{10, 1}));
  EXPECT_EQ(data.GPSTimeStamp(1), (TTiffRational{20, 1}));
  EXPECT_EQ(data.GPSTimeStamp(2), (TTiffRational{30, 1}));
  EXPECT_EQ(Xmp(xnExif, "GPSTimeStamp"), "2010-07-04T10:20:30.750Z");

  // Changing one element alone drops the XMP time, which no longer matches.
  data.SetGPSTimeStamp(2, {31, 1});
  EXPECT_EQ(data.GPSTimeStamp(2), (TTiffRational{31, 1}));
  EXPECT_EQ(Xmp(xnExif, "GPSTimeStamp"), None);
  EXPECT_THROW(data.SetGPSTimeStamp(3, {1, 1}), Zorp::Base::ERangeError);

  data.SetGPSDateTimeUTC(EncodeDateTime(2010, 7, 4, 10, 20, 30, 0));
  data.SetGPSDateTimeUTC(0);
  EXPECT_FALSE(Has(skGps, ttGPSDateStamp));
  EXPECT_FALSE(Has(skGps, ttGPSTimeStamp));
  EXPECT_EQ(Xmp(xnExif, "GPSTimeStamp"), None);
}

// ---------------------------------------------------------------------------------------------------
// Enumerations

TEST_F(TheNamedProperties, ReadGPSReferenceLettersInEitherCase) {
  TExifSection& gps = data.Sections(skGps);
  EXPECT_EQ(data.GPSSpeedRef(), srMissingOrInvalid);
  gps.SetStringValue(ttGPSSpeedRef, "k");
  EXPECT_EQ(data.GPSSpeedRef(), srKilometresPerHour);
  gps.SetStringValue(ttGPSSpeedRef, "X");
  EXPECT_EQ(data.GPSSpeedRef(), srMissingOrInvalid);
  gps.SetStringValue(ttGPSStatus, "V");
  EXPECT_EQ(data.GPSStatus(), stMeasurementVoid);
  gps.SetStringValue(ttGPSMeasureMode, "3");
  EXPECT_EQ(data.GPSMeasureMode(), mm3D);
  gps.SetStringValue(ttGPSImgDirectionRef, "m");
  EXPECT_EQ(data.GPSImgDirectionRef(), drMagneticNorth);
  gps.SetStringValue(ttGPSDestDistanceRef, "N");
  EXPECT_EQ(data.GPSDestDistanceRef(), dsKnots);

  AddAll();
  data.SetGPSTrackRef(drTrueNorth);
  EXPECT_EQ(gps.GetStringValue(ttGPSTrackRef), "T");
  EXPECT_EQ(Xmp(xnExif, "GPSTrackRef"), "T");
  data.SetGPSDestDistanceRef(dsMiles);
  EXPECT_EQ(Xmp(xnExif, "GPSDestDistanceRef"), "M");
  data.SetGPSDestBearingRef(drMagneticNorth);
  EXPECT_EQ(data.GPSDestBearingRef(), drMagneticNorth);
  data.SetGPSTrackRef(drMissingOrInvalid);
  EXPECT_FALSE(Has(skGps, ttGPSTrackRef));
  EXPECT_EQ(Xmp(xnExif, "GPSTrackRef"), None);
  EXPECT_THROW(data.SetGPSSpeedRef(static_cast<TGPSSpeedRef>(4)), Zorp::Base::ERangeError);
}

TEST_F(TheNamedProperties, StoreTheAltitudeReferenceAsOrdinalMinusOne) {
  TExifSection& gps = data.Sections(skGps);
  EXPECT_EQ(data.GPSAltitudeRef(), alTagMissing);
  gps.SetByteValue(ttGPSAltitudeRef, 0, 0);
  EXPECT_EQ(data.GPSAltitudeRef(), alAboveSeaLevel);
  gps.SetByteValue(ttGPSAltitudeRef, 0, 1);
  EXPECT_EQ(data.GPSAltitudeRef(), alBelowSeaLevel);
  gps.SetByteValue(ttGPSAltitudeRef, 0, 5);
  EXPECT_EQ(data.GPSAltitudeRef(), alTagMissing);
  data.SetEnsureEnumsInRange(false);
  EXPECT_EQ(data.GPSAltitudeRef(), 6);

  AddAll();
  data.SetGPSAltitudeRef(alBelowSeaLevel);
  EXPECT_EQ(Bytes(skGps, ttGPSAltitudeRef), std::vector<std::uint8_t>{1});
  EXPECT_EQ(Xmp(xnExif, "GPSAltitudeRef"), "1");
  data.SetGPSAltitudeRef(alTagMissing);
  EXPECT_FALSE(Has(skGps, ttGPSAltitudeRef));
  EXPECT_EQ(Xmp(xnExif, "GPSAltitudeRef"), None);
}

TEST_F(TheNamedProperties, WriteACoordinateAndTheAltitudeWithTheirXMPMirrors) {
  AddAll();
  // An old longitude of another type and length is replaced by three RATIONALs.
  const std::vector<std::uint8_t> old(32, 1);
  data.Sections(skGps).AddOrUpdateTag(ttGPSLongitude, dtSRational, 4, old.data());
  const struct {
    TTiffRational Seconds;
    const char* Xmp;
  } cases[] = {{{150000, 10000}, "51,30,15S"}, {{1234, 100}, "51,30.2056666666667S"}};
  for (const auto& c : cases) {
    data.GPSLatitude().SetValue({51, 1}, {30, 1}, c.Seconds, 's');
    data.GPSLongitude().SetValue({51, 1}, {30, 1}, c.Seconds, 'w');
    EXPECT_EQ(Xmp(xnExif, "GPSLatitude"), c.Xmp);
    EXPECT_EQ(data.GPSLongitude().Direction(), 'W');
    EXPECT_EQ(data.Sections(skGps).Find(ttGPSLongitude)->DataType(), dtRational);
    EXPECT_EQ(data.Sections(skGps).Find(ttGPSLongitude)->ElementCount(), 3);
    EXPECT_EQ(data.GPSLongitude().Seconds().Numerator, c.Seconds.Numerator);
  }
  EXPECT_THROW(data.GPSLatitude().SetValue({1, 1}, {2, 1}, {3, 1}, '\xC4'), ENotOnlyASCIIError);
  EXPECT_EQ(data.GPSLatitude().Degrees().Numerator, 51u);
  EXPECT_EQ(Xmp(xnExif, "GPSLatitude"), "51,30.2056666666667S");

  data.SetGPSAltitude({4125, 10});
  EXPECT_EQ(data.GPSAltitude().Numerator, 4125u);
  EXPECT_EQ(data.Sections(skGps).Find(ttGPSAltitude)->ElementCount(), 1);
  EXPECT_EQ(Xmp(xnExif, "GPSAltitude"), "4125/10");
  data.SetGPSAltitude({0, 0});
  EXPECT_FALSE(Has(skGps, ttGPSAltitude));
  EXPECT_EQ(Xmp(xnExif, "GPSAltitude"), None);
}

TEST_F(TheNamedProperties, CheckEnumeratedRangesOnlyWhenAskedTo) {
  TExifSection& primary = data.Sections(skPrimary);
  TExifSection& exif = data.Sections(skExif);
  primary.SetWordValue(ttOrientation, 0, 9);
  primary.SetWordValue(ttRating, 0, 6);
  exif.SetByteValue(ttFileSource, 0, 4);
  exif.SetWordValue(ttExposureProgram, 0, 9);
  exif.SetWordValue(ttMeteringMode, 0, 256);
  exif.SetWordValue(ttLightSource, 0, 300);
  EXPECT_EQ(data.Orientation(), toUndefined);
  EXPECT_EQ(data.UserRating(), urUndefined);
  EXPECT_EQ(data.FileSource(), fsUnknown);
  EXPECT_EQ(data.ExposureProgram(), -1);
  EXPECT_EQ(data.MeteringMode(), 256);  // the test wraps value + 1 to a byte
  EXPECT_EQ(data.LightSource(), -1);
  EXPECT_EQ(data.GainControl(), -1);  // absent

  data.SetEnsureEnumsInRange(false);
  EXPECT_EQ(data.Orientation(), 9);
  EXPECT_EQ(data.UserRating(), 6);
  EXPECT_EQ(data.FileSource(), 4);
  EXPECT_EQ(data.ExposureProgram(), 9);
  EXPECT_EQ(data.LightSource(), 300);
  EXPECT_EQ(data.GainControl(), -1);
}

TEST_F(TheNamedProperties, MirrorOrientationRatingAndByteEnumerations) {
  Seed(xnTIFF, "Orientation", "1");
  data.SetOrientation(toRightTop);
  EXPECT_EQ(data.Sections(skPrimary).GetWordValue(ttOrientation, 0), 6);
  EXPECT_EQ(Xmp(xnTIFF, "Orientation"), "6");
  data.SetThumbnailOrientation(toBottomRight);
  EXPECT_EQ(data.ThumbnailOrientation(), toBottomRight);
  EXPECT_EQ(Xmp(xnTIFF, "Orientation"), "6");
  data.SetThumbnailOrientation(toUndefined);
  EXPECT_FALSE(Has(skThumbnail, ttOrientation));
  EXPECT_EQ(Xmp(xnTIFF, "Orientation"), "6");
  data.SetOrientation(toUndefined);
  EXPECT_FALSE(Has(skPrimary, ttOrientation));
  EXPECT_EQ(Xmp(xnTIFF, "Orientation"), None);

  AddAll();
  data.SetUserRating(urThreeStars);
  EXPECT_EQ(data.Sections(skPrimary).GetWordValue(ttRating, 0), 3);
  EXPECT_EQ(Xmp(xnMicrosoftPhoto, "Rating"), "50");
  EXPECT_EQ(Xmp(xnXMPBasic, "Rating"), "3");
  data.SetUserRating(urUndefined);
  EXPECT_FALSE(Has(skPrimary, ttRating));
  EXPECT_EQ(Xmp(xnMicrosoftPhoto, "Rating"), None);
  EXPECT_EQ(Xmp(xnXMPBasic, "Rating"), None);

  data.SetSceneType(esDirectlyPhotographed);
  EXPECT_EQ(data.Sections(skExif).Find(ttSceneType)->DataType(), dtUndefined);
  EXPECT_EQ(data.SceneType(), esDirectlyPhotographed);
  EXPECT_EQ(Xmp(xnExif, "SceneType"), "1");
  data.SetFileSource(fsDigitalCamera);
  EXPECT_EQ(Xmp(xnExif, "FileSource"), "3");
  data.SetFileSource(fsUnknown);
  EXPECT_FALSE(Has(skExif, ttFileSource));
  EXPECT_EQ(Xmp(xnExif, "FileSource"), None);
}

// ---------------------------------------------------------------------------------------------------
// Numbers

TEST_F(TheNamedProperties, KeepAShortPixelSizeWhileItFits) {
  AddAll();
  TExifSection& exif = data.Sections(skExif);
  exif.SetWordValue(ttPixelXDimension, 0, 640);
  data.SetExifImageWidth({1024, false});
  EXPECT_EQ(exif.Find(ttPixelXDimension)->DataType(), dtShort);
  EXPECT_EQ(data.ExifImageWidth().Value, 1024u);
  EXPECT_EQ(Xmp(xnExif, "PixelXDimension"), "1024");
  data.SetExifImageWidth({70000, false});
  EXPECT_EQ(exif.Find(ttPixelXDimension)->DataType(), dtLong);
  EXPECT_EQ(data.ExifImageWidth().Value, 70000u);
  data.SetExifImageWidth({100, false});
  EXPECT_EQ(exif.Find(ttPixelXDimension)->DataType(), dtLong);

  data.SetExifImageHeight({480, false});
  EXPECT_EQ(exif.Find(ttPixelYDimension)->DataType(), dtLong);
  EXPECT_EQ(exif.Find(ttPixelYDimension)->ElementCount(), 1);
  EXPECT_EQ(Xmp(xnExif, "PixelYDimension"), "480");
  data.SetExifImageHeight({});
  EXPECT_TRUE(data.ExifImageHeight().Missing);
  EXPECT_EQ(Xmp(xnExif, "PixelYDimension"), None);

  data.SetFocalLengthIn35mmFilm(50);
  EXPECT_EQ(data.FocalLengthIn35mmFilm(), 50);
  EXPECT_EQ(Xmp(xnExif, "FocalLengthIn35mmFilm"), "50");
  data.SetFocalLengthIn35mmFilm(MissingWord);
  EXPECT_EQ(data.FocalLengthIn35mmFilm(), MissingWord);
  EXPECT_EQ(Xmp(xnExif, "FocalLengthIn35mmFilm"), None);

  data.SetMakerNoteDataOffset({-8, false});
  EXPECT_EQ(exif.Find(ttOffsetSchema)->DataType(), dtSLong);
  EXPECT_EQ(data.MakerNoteDataOffset().Value, -8);
  data.SetMakerNoteDataOffset({});
  EXPECT_TRUE(data.MakerNoteDataOffset().Missing);
}

TEST_F(TheNamedProperties, ReadDerivedNumbersWithTheirDefaults) {
  TExifSection& exif = data.Sections(skExif);
  EXPECT_EQ(data.ShutterSpeedMilliseconds(), 0);
  EXPECT_EQ(data.SubjectLocation(), (TSmallPoint{0xFFFF, 0xFFFF}));
  EXPECT_EQ(data.ExposureTime(), (TTiffRational{0, 0}));
  const TTiffRational apex[] = {{static_cast<std::uint32_t>(-3), 1}};  // 2^-(-3)
  exif.AddOrUpdateTag(ttShutterSpeedValue, dtSRational, 1, apex);
  EXPECT_DOUBLE_EQ(data.ShutterSpeedMilliseconds(), 8000.0);
  const std::uint16_t location[] = {10, 20};
  exif.AddOrUpdateTag(ttSubjectLocation, dtShort, 2, location);
  EXPECT_EQ(data.SubjectLocation(), (TSmallPoint{10, 20}));
  exif.AddOrUpdateTag(ttSubjectLocation, dtShort, 1, location);
  EXPECT_EQ(data.SubjectLocation(), (TSmallPoint{0xFFFF, 0xFFFF}));
}

// ---------------------------------------------------------------------------------------------------
// Failed edits

TEST(AFailedEdit, LeavesTheTagsAndTheXMPPacketAsTheyWere) {
  struct Case {
    const char* Name;
    std::function<std::unique_ptr<TCustomExifData>()> Photo;
    std::function<void(TCustomExifData&)> Edit;
  };
  const Case cases[] = {
      {"a version with a bad minor digit",
       [] { return OpenPhoto([](TCustomExifData& p) { p.ExifVersion().SetAsString("2.30"); }); },
       [](TCustomExifData& p) { p.ExifVersion().SetAsString("3.x"); }},
      {"a GPS version with a bad release digit",
       [] { return OpenPhoto([](TCustomExifData& p) { p.GPSVersion().SetAsString("2.20"); }); },
       [](TCustomExifData& p) { p.GPSVersion().SetAsString("3.1-"); }},
      {"a date-time that is not a number",
       [] {
         return OpenPhoto([](TCustomExifData& p) {
           p.SetAlwaysWritePreciseTimes(true);
           p.SetDateTimeOriginal(EncodeDateTime(2010, 7, 4, 10, 20, 30, 0));
           p.Sections(skExif).Remove(ttSubsecTimeOriginal);
         });
       },
       [](TCustomExifData& p) { p.SetDateTimeOriginal(std::nan("")); }},
      {"a date-time after year 9999", [] { return OpenPhoto([](TCustomExifData& p) { p.SetCameraMake("Pentax"); }); },
       [](TCustomExifData& p) { p.SetDateTime(EncodeDate(9999, 12, 31) + 1); }},
      {"a new sub-second tag in a fixed layout",
       [] { return FixedPhoto([](ExifBuilder& b) { b.Exif.Ascii(ttDateTimeOriginal, "2010:07:04 10:20:30"); }); },
       [](TCustomExifData& p) {
         p.SetAlwaysWritePreciseTimes(true);
         p.SetDateTimeOriginal(EncodeDateTime(2011, 1, 2, 3, 4, 5, 600));
       }},
      {"an ASCII author that outgrows the Artist entry",
       [] { return FixedPhoto([](ExifBuilder& b) { b.Primary.Ascii(ttArtist, "Old"); }); },
       [](TCustomExifData& p) { p.SetAuthor("Someone"); }},
      {"a non-ASCII author with no Windows author entry",
       [] { return FixedPhoto([](ExifBuilder& b) { b.Primary.Ascii(ttArtist, "Old"); }); },
       [](TCustomExifData& p) { p.SetAuthor("Ren\u00E9e"); }},
      {"an author that fits the Artist entry but not the Windows one",
       [] {
         return FixedPhoto([](ExifBuilder& b) {
           b.Primary.Ascii(ttArtist, "Old name").Raw(ttXPAuthor, dtByte, 8, {'O', 0, 'l', 0, 'd', 0, 0, 0});
         });
       },
       [](TCustomExifData& p) { p.SetAuthor("New name"); }},
      {"a comment with no Windows comment entry",
       [] { return FixedPhoto([](ExifBuilder& b) { b.Primary.Ascii(ttArtist, "Old"); }); },
       [](TCustomExifData& p) { p.SetComments("new"); }},
      {"a comment that outgrows the Windows comment entry",
       [] {
         return FixedPhoto([](ExifBuilder& b) {
           b.Primary.Raw(ttXPComment, dtByte, 8, {'O', 0, 'l', 0, 'd', 0, 0, 0});
           b.Exif.Undefined(ttUserComment, WithHeader("ASCII\0\0\0", {'o', 'l', 'd', '!'}));
         });
       },
       [](TCustomExifData& p) { p.SetComments("a longer comment"); }},
  };
  for (const Case& c : cases) {
    const std::unique_ptr<TCustomExifData> photo = c.Photo();
    const std::vector<std::string> before = Snapshot(*photo);
    ASSERT_FALSE(before.empty()) << c.Name;
    EXPECT_THROW(c.Edit(*photo), Zorp::Base::Exception) << c.Name;
    EXPECT_EQ(Snapshot(*photo), before) << c.Name;
  }
}

}  // namespace
