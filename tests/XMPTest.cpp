// The XMP packet: namespaces, the tree's operations and policies, reading RDF/XML (hostile input
// included), writing the packet text, and round trips over the XMP of real photos.

#include <gtest/gtest.h>

#include "TestHelpers.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "zorp/base/DateTime.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/XMPUtils.h"

using namespace Zorp::Exif;
using Zorp::Base::TMemoryStream;
using Zorp::Base::TUserMemoryStream;

namespace {

const std::string RDF = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
const std::string Header =
    "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" ZorpExifVersion=\"1.1.2\">\n"
    "\t<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
const std::string Trailer = "\t</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?> ";

// A packet wrapped as XMP files carry it, around the given rdf:Description elements.
std::string Wrapped(const std::string& descriptions) {
  return "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"" + RDF + "\">" + descriptions +
         "</rdf:RDF></x:xmpmeta>";
}

bool Load(TXMPPacket& packet, const std::string& text) {
  TUserMemoryStream stream(text.data(), static_cast<std::int64_t>(text.size()));
  return packet.TryLoadFromStream(stream);
}

std::string Saved(TXMPPacket& packet) {
  TMemoryStream stream;
  packet.SaveToStream(stream);
  const auto bytes = stream.Bytes();
  return std::string(bytes.begin(), bytes.end());
}

// The text the model serialises to, ignoring any cached text.
std::string Regenerated(TXMPPacket& packet) {
  packet.Changed(true);
  return Saved(packet);
}

std::vector<std::string> ValuesAfterRoundTrip(TXMPPacket& packet) {
  TXMPPacket again;
  EXPECT_TRUE(Load(again, Regenerated(packet)));
  return ListXMPValues(again);
}

const std::string SignedPacket =
    std::string(XMPSignature) +
    "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
    " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
    "  <rdf:Description rdf:about=\"\" xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" tiff:Make=\"Zorp\">\n"
    "   <tiff:Model>Q1</tiff:Model>\n"
    "  </rdf:Description>\n"
    " </rdf:RDF>\n"
    "</x:xmpmeta>\n"
    "<?xpacket end=\"w\"?>" +
    std::string(5, '\0');

}  // namespace

// ---------------------------------------------------------------------------------------------------

TEST(AnXMPNamespaceTable, HoldsTheWellKnownPrefixesAndURIs) {
  struct Row {
    TXMPNamespaceKind Kind;
    const char* Prefix;
    std::size_t Length;
  };
  const Row rows[] = {{xnRDF, "rdf", 43},
                      {xnCameraRaw, "crs", 44},
                      {xnColorant, "xmpG", 29},
                      {xnDimensions, "stDim", 45},
                      {xnDublinCore, "dc", 32},
                      {xnFont, "stFnt", 39},
                      {xnExif, "exif", 29},
                      {xnExifAux, "aux", 33},
                      {xnIPTCCore, "Iptc4xmpCore", 43},
                      {xnJob, "stJob", 38},
                      {xnMicrosoftPhoto, "MicrosoftPhoto", 33},
                      {xnPDF, "pdf", 28},
                      {xnPhotoshop, "photoshop", 34},
                      {xnResourceEvent, "stEvt", 48},
                      {xnResourceRef, "stRef", 46},
                      {xnThumbnail, "xmpGImg", 34},
                      {xnTIFF, "tiff", 29},
                      {xnVersion, "stVer", 42},
                      {xnXMPBasic, "xmp", 28},
                      {xnXMPBasicJobTicket, "xmpBJ", 31},
                      {xnXMPDynamicMedia, "xmpDM", 41},
                      {xnXMPMediaManagement, "xmpMM", 31},
                      {xnXMPPagedText, "xmpTPg", 33},
                      {xnXMPRights, "xmpRights", 35}};
  ASSERT_EQ(std::size(rows), 24u);
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    EXPECT_EQ(rows[i].Kind, static_cast<TXMPNamespaceKind>(i + 1));
    EXPECT_EQ(XMPNamespacePrefix(rows[i].Kind), rows[i].Prefix);
    EXPECT_EQ(XMPNamespaceURI(rows[i].Kind).size(), rows[i].Length) << rows[i].Prefix;
    TXMPNamespaceKind found;
    ASSERT_TRUE(TryFindXMPNamespace(XMPNamespaceURI(rows[i].Kind), found));
    EXPECT_EQ(found, rows[i].Kind);
  }
  EXPECT_EQ(XMPNamespaceURI(xnColorant), "http://ns.adobe.com/xap/1.0/g");
  EXPECT_EQ(XMPNamespaceURI(xnMicrosoftPhoto), "http://ns.microsoft.com/photo/1.0");
  EXPECT_EQ(XMPSignature, XMPNamespaceURI(xnXMPBasic) + std::string(1, '\0'));
}

TEST(AnXMPNamespaceTable, FindsURIsWithoutRegardToCaseAndRejectsTheCustomPrefix) {
  TXMPNamespaceKind kind;
  EXPECT_TRUE(TryFindXMPNamespace("HTTP://NS.ADOBE.COM/EXIF/1.0/", kind));
  EXPECT_EQ(kind, xnExif);
  EXPECT_FALSE(TryFindXMPNamespace("http://example.com/ns/", kind));
  EXPECT_EQ(kind, xnCustom);
  EXPECT_THROW_MSG(XMPNamespacePrefix(xnCustom), Zorp::Base::EAssertionFailed, "Assertion failed");
}

TEST(AnXMPNamespaceInfo, ReadsTheTableForWellKnownKindsAndUpdatesFromNodes) {
  TXMPNamespaceInfo info(xnExif);
  int changes = 0;
  info.SetOnChange([&](TXMPNamespaceInfo&) { ++changes; });
  EXPECT_EQ(info.PreferredPrefix(), "exif");
  info.SetPreferredPrefix("exif");
  EXPECT_EQ(changes, 0);
  info.SetPreferredPrefix("ex");
  EXPECT_EQ(info.PreferredPrefix(), "ex");
  EXPECT_EQ(changes, 1);

  EXPECT_FALSE(info.UpdatePrefixAndURI("ex", XMPNamespaceURI(xnExif)));
  EXPECT_TRUE(info.UpdatePrefixAndURI("tiff", XMPNamespaceURI(xnTIFF)));
  EXPECT_EQ(info.Kind(), xnTIFF);
  EXPECT_TRUE(info.UpdatePrefixAndURI("my", "urn:my"));
  EXPECT_EQ(info.Kind(), xnCustom);
  EXPECT_EQ(info.URI(), "urn:my");
  EXPECT_EQ(changes, 1);  // node updates never notify
}

// ---------------------------------------------------------------------------------------------------

class AnXMPProperty : public ::testing::Test {
 protected:
  AnXMPProperty() {
    packet.SetOnChange([this](TXMPPacket&) { ++changes; });
    property = &packet.FindOrAddSchema(XMPNamespaceURI(xnDublinCore)).AddProperty("subject");
    changes = 0;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const TXMPProperty& item : *property) names.push_back(item.Name());
    return names;
  }
  TXMPPacket packet;
  TXMPProperty* property;
  int changes = 0;
};

TEST_F(AnXMPProperty, SplitsABagAtCommasAndSemicolons) {
  property->SetKind(pkBag);
  property->WriteValue("a,b;;c,");
  ASSERT_EQ(property->SubPropertyCount(), 4);
  EXPECT_EQ(property->SubProperties(2).Value(), "");
  EXPECT_EQ(property->ReadValue(), "a,b,,c");
  property->WriteValue("");
  EXPECT_EQ(property->SubPropertyCount(), 0);
  EXPECT_EQ(property->ReadValue("none"), "none");
}

TEST_F(AnXMPProperty, ReadingALanguageAlternativeAddsItsDefaultItem) {
  property->SetKind(pkLangAlternative);
  changes = 0;
  EXPECT_EQ(property->ReadValue("fallback"), "fallback");
  ASSERT_EQ(property->SubPropertyCount(), 1);
  EXPECT_EQ(property->SubProperties(0).Name(), "x-default");
  EXPECT_GT(changes, 0);
  property->WriteValue("Hello");
  EXPECT_EQ(property->ReadValue(), "Hello");
}

TEST_F(AnXMPProperty, NamesAndUnnamesItemsWhenItsKindChanges) {
  property->SetKind(pkBag);
  property->WriteValue("a,b");
  property->SetKind(pkStructure);
  EXPECT_EQ(Names(), (std::vector<std::string>{"SubProp0", "SubProp1"}));
  property->SetKind(pkBag);
  EXPECT_EQ(Names(), (std::vector<std::string>{"", ""}));
  property->SetKind(pkSimple);
  EXPECT_EQ(property->SubPropertyCount(), 0);
}

TEST_F(AnXMPProperty, RefusesMisuseWithTheDocumentedTextsAndLeavesTheModelUnchanged) {
  EXPECT_THROW_MSG(property->AddSubProperty("x"), EInvalidXMPOperation,
                   "Property type does not support sub-properties");
  EXPECT_THROW_MSG(property->SetSubPropertyCount(2), EInvalidXMPOperation,
                   "Property type does not support sub-properties");
  property->SetKind(pkStructure);
  EXPECT_THROW_MSG(property->AddSubProperty(""), EInvalidXMPOperation, "Sub-properties must be named");
  EXPECT_THROW_MSG(property->WriteValue("x"), EInvalidXMPOperation,
                   "Cannot assign a single value to a structure property");
  EXPECT_EQ(property->SubPropertyCount(), 0);
  EXPECT_THROW_MSG(property->SetName(""), Zorp::Base::EAssertionFailed, "Assertion failed");
  EXPECT_EQ(property->Name(), "subject");
  TXMPSchema& custom = packet.FindOrAddSchema("urn:custom");
  EXPECT_THROW_MSG(custom.AddProperty("x"), EInvalidXMPOperation,
                   "The schema's PreferredPrefix property must be set before a new item can be added");
  EXPECT_EQ(custom.PropertyCount(), 0);
  custom.NamespaceInfo().SetPreferredPrefix("cu");
  EXPECT_EQ(custom.AddProperty("x").NamespaceInfo().PreferredPrefix(), "cu");
}

TEST_F(AnXMPProperty, UpdatesFieldsUnderTheWritePolicy) {
  packet.SetWritePolicy(wpUpdateExistingOnly);
  property->UpdateSubProperty("Fired", true);
  EXPECT_EQ(property->Kind(), pkSimple);
  packet.SetWritePolicy(wpUpdateOrAdd);
  property->UpdateSubProperty("Fired", true);
  property->UpdateSubProperty("Mode", 2);
  EXPECT_EQ(property->Kind(), pkStructure);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Fired", "Mode"}));
  EXPECT_EQ(property->SubProperties(0).Value(), "True");
  packet.SetWritePolicy(wpRemove);
  property->UpdateSubProperty("Mode", 3);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Fired"}));
}

TEST_F(AnXMPProperty, IsAnAlternativeArrayOnlyWhileItIsASequence) {
  property->SetAlternativeArray(true);
  EXPECT_EQ(property->Kind(), pkSequence);
  property->WriteValue("a;b");
  EXPECT_EQ(property->ReadValue(), "a,b");
  const std::string text = Regenerated(packet);
  EXPECT_NE(text.find("<rdf:Alt>\n\t\t\t\t\t<rdf:li>a</rdf:li>\n\t\t\t\t\t<rdf:li>b</rdf:li>"), std::string::npos)
      << text;
  property->SetKind(pkBag);
  EXPECT_FALSE(property->AlternativeArray());
  property->SetKind(pkSequence);
  EXPECT_FALSE(property->AlternativeArray());
  EXPECT_EQ(Regenerated(packet).find("rdf:Alt"), std::string::npos);
}

TEST_F(AnXMPProperty, EnumeratesFromBeforeTheFirstItem) {
  property->SetKind(pkSequence);
  property->WriteValue("x;y");
  auto enumerator = property->GetEnumerator();
  EXPECT_THROW(enumerator->Current(), Zorp::Base::EListError);
  ASSERT_TRUE(enumerator->MoveNext());
  EXPECT_EQ(enumerator->Current().Value(), "x");
  ASSERT_TRUE(enumerator->MoveNext());
  EXPECT_FALSE(enumerator->MoveNext());
}

// ---------------------------------------------------------------------------------------------------

TEST(AnXMPPacket, CreatesNothingUnderUpdateExistingOnly) {
  TXMPPacket packet;
  packet.SetWritePolicy(wpUpdateExistingOnly);
  packet.UpdateProperty(xnExif, "ExposureTime", "1/60");
  EXPECT_TRUE(packet.Empty());
}

TEST(AnXMPPacket, CreatesSchemaAndPropertyUnderUpdateOrAddAndRemovesUnderRemove) {
  TXMPPacket packet;
  packet.UpdateProperty(xnExif, "ExposureTime", "1/60 \t\r\n");
  packet.UpdateProperty(xnDublinCore, "subject", "a;b", pkBag);
  packet.UpdateProperty(xnExif, "Blank", "   ");
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"exif:ExposureTime = 1/60", "exif:Blank = ",
                                                             "dc:subject[1] = a", "dc:subject[2] = b"}));
  packet.UpdateProperty(xnExif, "ExposureTime", "");
  packet.SetWritePolicy(wpRemove);
  packet.UpdateProperty(xnDublinCore, "subject", "c", pkBag);
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"exif:Blank = "}));
}

TEST(AnXMPPacket, KeepsAnExistingLowerCaseTIFFTwinInStepButNeverCreatesIt) {
  TXMPPacket packet;
  packet.UpdateProperty(xnTIFF, "Make", "Zorp");
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"tiff:Make = Zorp"}));
  packet.FindOrAddSchema(XMPNamespaceURI(xnTIFF)).AddProperty("make");
  packet.SetWritePolicy(wpUpdateExistingOnly);
  packet.UpdateProperty(xnTIFF, "Make", "Quorvane");
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"tiff:Make = Quorvane", "tiff:make = Quorvane"}));
  packet.SetWritePolicy(wpRemove);
  packet.UpdateProperty(xnTIFF, "Make", "x");
  EXPECT_TRUE(ListXMPValues(packet).empty());
}

TEST(AnXMPPacket, KeepsSchemasSortedAndFindsThemInAnyLetterCase) {
  TXMPPacket packet;
  packet.UpdateProperty(xnXMPBasic, "Rating", 3);
  packet.UpdateProperty(xnDublinCore, "format", "image/jpeg");
  packet.FindOrAddSchema("HTTP://NS.ADOBE.COM/EXIF/1.0/");
  TXMPSchema* schema;
  ASSERT_TRUE(packet.FindSchema(xnExif, schema));
  EXPECT_EQ(&packet.FindOrAddSchema(XMPNamespaceURI(xnExif)), schema);
  ASSERT_EQ(packet.SchemaCount(), 3);
  EXPECT_EQ(packet.Schemas(0).NamespaceInfo().Kind(), xnExif);
  EXPECT_EQ(packet.Schemas(1).NamespaceInfo().Kind(), xnXMPBasic);
  EXPECT_EQ(packet.Schemas(2).NamespaceInfo().Kind(), xnDublinCore);
}

TEST(AnXMPPacket, WritesDateTimesWithTheirZoneAndRemovesOnZero) {
  TXMPPacket packet;
  const Zorp::Base::TDateTime value = Zorp::Base::EncodeDateTime(2021, 3, 4, 5, 6, 7, 89);
  packet.UpdateDateTimeProperty(xnExif, "DateTimeOriginal", value, false);
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"exif:DateTimeOriginal = 2021-03-04T05:06:07.089Z"}));

  const char* oldZone = std::getenv("TZ");
  const std::string saved = oldZone ? oldZone : "";
  setenv("TZ", "QRV+5:30", 1);  // 5 h 30 min west of UTC
  tzset();
  packet.UpdateDateTimeProperty(xnExif, "DateTimeOriginal", value, true);
  oldZone ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"exif:DateTimeOriginal = 2021-03-04T05:06:07.089-05:30"}));

  packet.UpdateDateTimeProperty(xnExif, "DateTimeOriginal", 0, false);
  EXPECT_TRUE(ListXMPValues(packet).empty());
}

TEST(AnXMPPacket, ClearsAndAssignsThroughItsText) {
  TXMPPacket source;
  source.SetWriteSegmentHeader(true);
  source.UpdateProperty(xnDublinCore, "title", "T", pkLangAlternative);
  TXMPPacket copy;
  int changes = 0;
  copy.SetOnChange([&](TXMPPacket&) { ++changes; });
  copy.Assign(&source);
  EXPECT_EQ(ListXMPValues(copy), (std::vector<std::string>{"dc:title[x-default] = T"}));
  EXPECT_TRUE(copy.WriteSegmentHeader());
  EXPECT_EQ(changes, 1);
  copy.Assign(nullptr);
  EXPECT_TRUE(copy.Empty());
  EXPECT_EQ(changes, 2);
  copy.Clear();  // nothing to clear: no notification
  EXPECT_EQ(changes, 2);
}

// ---------------------------------------------------------------------------------------------------

TEST(AnXMPReader, KeepsASignedXpacketAsReadUntilTheModelChanges) {
  TXMPPacket packet;
  ASSERT_TRUE(Load(packet, SignedPacket));
  EXPECT_TRUE(packet.WriteSegmentHeader());
  std::string text = SignedPacket.substr(XMPSignature.size());
  std::replace(text.begin(), text.end(), '\0', ' ');
  EXPECT_EQ(packet.RawXML(), text);
  EXPECT_EQ(Saved(packet), std::string(XMPSignature) + text);
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"tiff:Make = Zorp", "tiff:Model = Q1"}));

  packet.UpdateProperty(xnTIFF, "Model", "Q2");
  EXPECT_EQ(Saved(packet), std::string(XMPSignature) + Header +
                               "\t\t<rdf:Description rdf:about=\"\" xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\">\n"
                               "\t\t\t<tiff:Make>Zorp</tiff:Make>\n"
                               "\t\t\t<tiff:Model>Q2</tiff:Model>\n"
                               "\t\t</rdf:Description>\n" +
                               Trailer);
}

TEST(AnXMPReader, ReserialisesAPacketWithoutXpacketAndAddsTheFinalSpaceOnSave) {
  const std::string text = Wrapped("<rdf:Description xmlns:dc=\"http://purl.org/dc/elements/1.1/\" dc:format=\"a\"/>");
  TXMPPacket packet;
  ASSERT_TRUE(Load(packet, text));
  EXPECT_FALSE(packet.WriteSegmentHeader());
  EXPECT_NE(packet.RawXML(), text);
  EXPECT_NE(packet.RawXML().find("dc:format=\"a\""), std::string::npos);
  EXPECT_EQ(Saved(packet), packet.RawXML() + " ");
  TXMPPacket again;
  ASSERT_TRUE(Load(again, Saved(packet)));
  EXPECT_EQ(ListXMPValues(again), (std::vector<std::string>{"dc:format = a"}));
}

TEST(AnXMPReader, FindsTheRDFElementByItsRules) {
  TXMPPacket packet;
  EXPECT_TRUE(Load(packet, "<any:RDF xmlns:any=\"urn:x\" xmlns:rdf=\"" + RDF +
                               "\"><rdf:Description xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
                               "xmp:Rating=\"4\"/></any:RDF>"));
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"xmp:Rating = 4"}));

  const std::string otherPrefix = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><r:RDF xmlns:r=\"" + RDF +
                                  "\"><r:Description xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
                                  "xmp:Rating=\"1\"/></r:RDF></x:xmpmeta>";
  const std::string cached = packet.RawXML();
  EXPECT_FALSE(Load(packet, otherPrefix));
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"xmp:Rating = 4"}));
  EXPECT_EQ(packet.RawXML(), cached);
  EXPECT_FALSE(Load(packet, "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><unclosed>"));
  EXPECT_FALSE(Load(packet, std::string(XMPSignature)));  // nothing after the signature
  EXPECT_TRUE(packet.WriteSegmentHeader());

  TUserMemoryStream stream(otherPrefix.data(), static_cast<std::int64_t>(otherPrefix.size()));
  EXPECT_THROW_MSG(packet.LoadFromStream(stream), EInvalidXMPPacket, "XMP packet is not valid");
  int errors = 0;
  packet.SetOnLoadError([&](TXMPPacket&, Zorp::Base::TStream& failed) {
    ++errors;
    EXPECT_EQ(&failed, &stream);
  });
  stream.SetPosition(0);
  packet.LoadFromStream(stream);
  EXPECT_EQ(errors, 1);
}

TEST(AnXMPReader, ReadsAttributeAndElementPropertiesOfEveryShape) {
  TXMPPacket packet;
  ASSERT_TRUE(Load(
      packet,
      Wrapped("<rdf:Description rdf:about=\"first\" xml:lang=\"en\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\""
              " xmlns:dc=\"http://purl.org/dc/elements/1.1/\" exif:ExposureTime=\"1/60\">"
              "<exif:Flash exif:Fired=\"True\" exif:Mode=\"2\"/>"
              "<exif:ISOSpeedRatings><rdf:Seq><rdf:li>100</rdf:li><rdf:li>200</rdf:li></rdf:Seq></exif:ISOSpeedRatings>"
              "<dc:subject><rdf:Bag><rdf:li>a</rdf:li><rdf:li>b</rdf:li><rdf:li>c</rdf:li></rdf:Bag></dc:subject>"
              "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">T</rdf:li><rdf:li>no language</rdf:li>"
              "<rdf:li xml:lang=\"de\"></rdf:li></rdf:Alt></dc:title>"
              "</rdf:Description>"
              "<rdf:Description rdf:about=\"second\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\">"
              "<exif:Gps rdf:parseType=\"Resource\"><exif:Lat>1</exif:Lat></exif:Gps>"
              "<exif:Lens><rdf:Description exif:Make=\"L\"><exif:Model>M</exif:Model></rdf:Description></exif:Lens>"
              "</rdf:Description>")));
  EXPECT_EQ(packet.AboutAttributeValue(), "first");
  const std::vector<std::string> expected{"exif:ExposureTime = 1/60",
                                          "exif:Flash/exif:Fired = True",
                                          "exif:Flash/exif:Mode = 2",
                                          "exif:ISOSpeedRatings[1] = 100",
                                          "exif:ISOSpeedRatings[2] = 200",
                                          "exif:Gps/exif:Lat = 1",
                                          "exif:Lens/exif:Make = L",
                                          "exif:Lens/exif:Model = M",
                                          "dc:subject[1] = a",
                                          "dc:subject[2] = b",
                                          "dc:subject[3] = c",
                                          "dc:title[x-default] = T",
                                          "dc:title[de] = ",
                                          "xml:lang = en"};
  EXPECT_EQ(ListXMPValues(packet), expected);
  TXMPSchema* exif;
  ASSERT_TRUE(packet.FindSchema(xnExif, exif));
  EXPECT_EQ(exif->Properties(1).Kind(), pkStructure);
  EXPECT_EQ(exif->Properties(2).Kind(), pkSequence);
  EXPECT_EQ(exif->Properties(2).SubProperties(0).Name(), "");
  EXPECT_EQ(ValuesAfterRoundTrip(packet), expected);
}

TEST(AnXMPReader, KeepsTheItemsOfAnAlternativeWithoutLanguagesThroughARegeneration) {
  const std::string ns =
      " xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:xmpGImg=\"http://ns.adobe.com/xap/1.0/g/img/\""
      " xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:ex=\"urn:ex\"";
  struct Case {
    const char* Name;
    std::string Properties;
    std::vector<std::string> Values;
    std::string Written;  // a piece of the regenerated text
  };
  const Case cases[] = {
      {"simple values",
       "<ex:Choice><rdf:Alt><rdf:li>one</rdf:li><rdf:li>two</rdf:li><rdf:li>three</rdf:li></rdf:Alt></ex:Choice>",
       {"ex:Choice[1] = one", "ex:Choice[2] = two", "ex:Choice[3] = three"},
       "<ex:Choice>\n\t\t\t\t<rdf:Alt>\n\t\t\t\t\t<rdf:li>one</rdf:li>\n"},
      {"thumbnails as resources",
       "<xmp:Thumbnails><rdf:Alt><rdf:li rdf:parseType=\"Resource\"><xmpGImg:width>160</xmpGImg:width>"
       "<xmpGImg:height>120</xmpGImg:height><xmpGImg:format>JPEG</xmpGImg:format>"
       "<xmpGImg:image>/9j/4AAQSkZJRg==</xmpGImg:image></rdf:li></rdf:Alt></xmp:Thumbnails>",
       {"xmp:Thumbnails[1]/xmpGImg:width = 160", "xmp:Thumbnails[1]/xmpGImg:height = 120",
        "xmp:Thumbnails[1]/xmpGImg:format = JPEG", "xmp:Thumbnails[1]/xmpGImg:image = /9j/4AAQSkZJRg=="},
       "<xmp:Thumbnails>\n\t\t\t\t<rdf:Alt>\n\t\t\t\t\t<rdf:li>\n\t\t\t\t\t\t<rdf:Description>\n"},
      {"thumbnails as descriptions",
       "<xmp:Thumbnails><rdf:Alt><rdf:li><rdf:Description xmpGImg:width=\"256\"><xmpGImg:image>AA==</xmpGImg:image>"
       "</rdf:Description></rdf:li><rdf:li><rdf:Description xmpGImg:width=\"64\"/></rdf:li></rdf:Alt>"
       "</xmp:Thumbnails>",
       {"xmp:Thumbnails[1]/xmpGImg:width = 256",
        "xmp:Thumbnails[1]/xmpGImg:image = AA==", "xmp:Thumbnails[2]/xmpGImg:width = 64"},
       "<xmp:Thumbnails>\n\t\t\t\t<rdf:Alt>\n\t\t\t\t\t<rdf:li>\n"},
      {"languages",
       "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">T</rdf:li><rdf:li xml:lang=\"de\">Titel</rdf:li>"
       "</rdf:Alt></dc:title>",
       {"dc:title[x-default] = T", "dc:title[de] = Titel"},
       "<rdf:Alt>\n\t\t\t\t\t<rdf:li xml:lang=\"x-default\">T</rdf:li>\n"},
      {"values and structures beside languages",
       "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">T</rdf:li></rdf:Alt></dc:title>"
       "<ex:Mixed><rdf:Alt><rdf:li>plain</rdf:li><rdf:li rdf:parseType=\"Resource\"><ex:Size>9</ex:Size></rdf:li>"
       "<rdf:li>last</rdf:li></rdf:Alt></ex:Mixed>",
       {"dc:title[x-default] = T", "ex:Mixed[1] = plain", "ex:Mixed[2]/ex:Size = 9", "ex:Mixed[3] = last"},
       "<ex:Mixed>\n\t\t\t\t<rdf:Alt>\n\t\t\t\t\t<rdf:li>plain</rdf:li>\n"},
  };
  for (const Case& c : cases) {
    TXMPPacket packet;
    ASSERT_TRUE(
        Load(packet, Wrapped("<rdf:Description rdf:about=\"\"" + ns + ">" + c.Properties + "</rdf:Description>")))
        << c.Name;
    std::vector<std::string> values = ListXMPValues(packet);
    std::sort(values.begin(), values.end());
    std::vector<std::string> expected = c.Values;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(values, expected) << c.Name;

    // Any edit regenerates the packet; the alternative keeps its items, their order and its element.
    packet.UpdateProperty(xnTIFF, "Make", "Zorp");
    const std::string text = Regenerated(packet);
    EXPECT_NE(text.find(c.Written), std::string::npos) << c.Name << "\n" << text;
    EXPECT_EQ(text.find("rdf:Seq"), std::string::npos) << c.Name;
    TXMPPacket again;
    ASSERT_TRUE(Load(again, text)) << c.Name;
    std::vector<std::string> reread = ListXMPValues(again);
    reread.erase(std::remove(reread.begin(), reread.end(), "tiff:Make = Zorp"), reread.end());
    std::sort(reread.begin(), reread.end());
    EXPECT_EQ(reread, expected) << c.Name;
    EXPECT_EQ(Regenerated(again), text) << c.Name;
  }
}

TEST(AnXMPReader, GivesAPropertyWithAnotherPrefixItsOwnNamespaceDeclaration) {
  TXMPPacket packet;
  ASSERT_TRUE(Load(packet, Wrapped("<rdf:Description xmlns:ex=\"http://ns.adobe.com/exif/1.0/\" "
                                   "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" ex:A=\"1\" exif:B=\"2\"/>")));
  TXMPSchema* schema;
  ASSERT_TRUE(packet.FindSchema(xnExif, schema));
  EXPECT_EQ(schema->NamespaceInfo().PreferredPrefix(), "ex");
  EXPECT_TRUE(schema->Properties(0).InheritsNamespace());
  EXPECT_FALSE(schema->Properties(1).InheritsNamespace());
  const std::string text = Regenerated(packet);
  EXPECT_NE(text.find("\t\t\t<ex:A>1</ex:A>\n"), std::string::npos);
  EXPECT_NE(text.find("\t\t\t<exif:B xmlns:exif=\"http://ns.adobe.com/exif/1.0/\">2</exif:B>\n"), std::string::npos);
  EXPECT_EQ(ValuesAfterRoundTrip(packet), (std::vector<std::string>{"ex:A = 1", "exif:B = 2"}));

  // Renaming the schema's prefix carries the inheriting property along, not the other one.
  schema->NamespaceInfo().SetPreferredPrefix("e");
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"e:A = 1", "exif:B = 2"}));
}

TEST(AnXMPReader, KeepsADefaultNamespaceAndSkipsFieldsWithoutAnyNamespace) {
  TXMPPacket packet;
  ASSERT_TRUE(Load(packet, Wrapped("<rdf:Description><Foo xmlns=\"urn:d\"><rdf:Description><Sub>x</Sub><None "
                                   "xmlns=\"\">n</None></rdf:Description></Foo></rdf:Description>")));
  const std::vector<std::string> expected{"Foo/Sub = x"};
  EXPECT_EQ(ListXMPValues(packet), expected);
  EXPECT_NE(Regenerated(packet).find("<rdf:Description rdf:about=\"\" xmlns=\"urn:d\">\n\t\t\t<Foo>\n"),
            std::string::npos);
  EXPECT_EQ(ValuesAfterRoundTrip(packet), expected);
}

// A nested description names itself (rdf:about, rdf:ID...): that is RDF's syntax, not a field.
TEST(AnXMPReader, TakesNoRDFSyntaxAttributeOfANestedDescriptionForAField) {
  TXMPPacket packet;
  ASSERT_TRUE(Load(packet, Wrapped("<rdf:Description xmlns:e=\"urn:e\"><e:Event><rdf:Description rdf:about=\"\" "
                                   "rdf:ID=\"n1\" e:kind=\"a\"><e:when>now</e:when></rdf:Description></e:Event>"
                                   "</rdf:Description>")));
  const std::vector<std::string> expected{"e:Event/e:kind = a", "e:Event/e:when = now"};
  EXPECT_EQ(ListXMPValues(packet), expected);
  EXPECT_EQ(Regenerated(packet).find("rdf:about xmlns"), std::string::npos);
  EXPECT_EQ(ValuesAfterRoundTrip(packet), expected);
}

TEST(AnXMPReader, TellsTheSignatureWithoutMovingTheStream) {
  const std::string data = SignedPacket;
  TUserMemoryStream stream(data.data(), static_cast<std::int64_t>(data.size()));
  EXPECT_TRUE(HasXMPSignature(stream));
  EXPECT_EQ(stream.Position(), 0);
  stream.SetPosition(1);
  EXPECT_FALSE(HasXMPSignature(stream));
  EXPECT_EQ(stream.Position(), 1);
  TUserMemoryStream shortStream(data.data(), 10);
  EXPECT_FALSE(HasXMPSignature(shortStream));
}

// ---------------------------------------------------------------------------------------------------

TEST(AnXMPWriter, WritesAnEmptyPacketAsHeaderAndTrailer) {
  TXMPPacket packet;
  EXPECT_EQ(Saved(packet), Header + Trailer);
  packet.SetWriteSegmentHeader(true);
  EXPECT_EQ(Saved(packet), std::string(XMPSignature) + Header + Trailer);
}

TEST(AnXMPWriter, LaysOutSimpleStructuredAndArrayProperties) {
  TXMPPacket packet;
  packet.UpdateProperty(xnExif, "DateTimeOriginal", "2020-01-02T03:04:05");
  TXMPProperty& flash = packet.FindOrAddSchema(XMPNamespaceURI(xnExif)).AddProperty("Flash");
  flash.UpdateSubProperty("Fired", true);
  flash.UpdateSubProperty("Mode", 2);
  packet.UpdateProperty(xnExif, "ISOSpeedRatings", "100,200", pkBag);
  packet.UpdateProperty(xnDublinCore, "title", "T", pkLangAlternative);
  EXPECT_EQ(Saved(packet), Header +
                               "\t\t<rdf:Description rdf:about=\"\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\">\n"
                               "\t\t\t<exif:DateTimeOriginal>2020-01-02T03:04:05</exif:DateTimeOriginal>\n"
                               "\t\t\t<exif:Flash>\n"
                               "\t\t\t\t<rdf:Description>\n"
                               "\t\t\t\t\t<exif:Fired>True</exif:Fired>\n"
                               "\t\t\t\t\t<exif:Mode>2</exif:Mode>\n"
                               "\t\t\t\t</rdf:Description>\n"
                               "\t\t\t</exif:Flash>\n"
                               "\t\t\t<exif:ISOSpeedRatings>\n"
                               "\t\t\t\t<rdf:Bag>\n"
                               "\t\t\t\t\t<rdf:li>100</rdf:li>\n"
                               "\t\t\t\t\t<rdf:li>200</rdf:li>\n"
                               "\t\t\t\t</rdf:Bag>\n"
                               "\t\t\t</exif:ISOSpeedRatings>\n"
                               "\t\t</rdf:Description>\n"
                               "\t\t<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
                               "\t\t\t<dc:title>\n"
                               "\t\t\t\t<rdf:Alt>\n"
                               "\t\t\t\t\t<rdf:li xml:lang=\"x-default\">T</rdf:li>\n"
                               "\t\t\t\t</rdf:Alt>\n"
                               "\t\t\t</dc:title>\n"
                               "\t\t</rdf:Description>\n" +
                               Trailer);
}

TEST(AnXMPWriter, EscapesValuesAndAttributesAndWritesTheWholeText) {
  TXMPPacket packet;
  packet.SetAboutAttributeValue("a\"b&");
  packet.UpdateProperty(xnDublinCore, "format", "&<>\"'");
  const std::string text = Saved(packet);
  // An about value with a quote stays well-formed, so the packet reads back.
  EXPECT_NE(text.find("rdf:about=\"a&quot;b&amp;\""), std::string::npos);
  TXMPPacket reread;
  ASSERT_TRUE(Load(reread, text));
  EXPECT_EQ(reread.AboutAttributeValue(), "a\"b&");
  EXPECT_NE(text.find("<dc:format>&amp;&lt;&gt;&quot;&apos;</dc:format>"), std::string::npos);

  // More than one APP1 segment holds: saving never cuts it.
  packet.SetAboutAttributeValue("");
  packet.UpdateProperty(xnDublinCore, "description", std::string(70000, 'x'), pkLangAlternative);
  TXMPPacket again;
  ASSERT_TRUE(Load(again, Saved(packet)));
  TXMPSchema* dc;
  ASSERT_TRUE(again.FindSchema(xnDublinCore, dc));
  TXMPProperty* description;
  ASSERT_TRUE(dc->FindProperty("description", description));
  EXPECT_EQ(description->ReadValue().size(), 70000u);
  TXMPProperty* format;
  ASSERT_TRUE(dc->FindProperty("format", format));
  EXPECT_EQ(format->Value(), "&<>\"'");
}

TEST(AnXMPPacket, RefusesTextXMLCannotHoldWhereverTextIsSetAndChangesNothing) {
  using namespace std::string_literals;
  struct Bad {
    std::string Text;
    const char* Message;
  };
  const Bad bad[] = {
      {"EOS\x01X", "XMP text cannot hold the character U+0001"},
      {"a\x1F-", "XMP text cannot hold the character U+001F"},
      {"a\0b"s, "XMP text cannot hold the character U+0000"},
      {"\x7F\x0B.", "XMP text cannot hold the character U+000B"},
      {"x\xEF\xBF\xBF", "XMP text cannot hold the character U+FFFF"},
      {"\xC3\x28", "XMP text cannot hold the byte 0xC3, which is not valid UTF-8"},
      {"ok\xFF", "XMP text cannot hold the byte 0xFF, which is not valid UTF-8"},
      {"\xED\xA0\x80", "XMP text cannot hold the byte 0xED, which is not valid UTF-8"},  // a surrogate
  };
  // Every place a caller puts text into the tree.
  const std::pair<const char*, std::function<void(TXMPPacket&, const std::string&)>> setters[] = {
      {"UpdateProperty", [](TXMPPacket& p, const std::string& t) { p.UpdateProperty(xnTIFF, "Model", t); }},
      {"UpdateProperty as a bag",
       [](TXMPPacket& p, const std::string& t) { p.UpdateProperty(xnDublinCore, "subject", t, pkBag); }},
      {"UpdateProperty name", [](TXMPPacket& p, const std::string& t) { p.UpdateProperty(xnTIFF, t, "v"); }},
      {"WriteValue", [](TXMPPacket& p, const std::string& t) { p.Schemas(0).Properties(0).WriteValue(t); }},
      {"language", [](TXMPPacket& p, const std::string& t) { p.Schemas(0).Properties(1).AddSubProperty(t); }},
      {"UpdateSubProperty",
       [](TXMPPacket& p, const std::string& t) { p.Schemas(0).Properties(0).UpdateSubProperty("F", pkSimple, t); }},
      {"field name",
       [](TXMPPacket& p, const std::string& t) { p.Schemas(0).Properties(0).UpdateSubProperty(t, pkSimple, "v"); }},
      {"SetName", [](TXMPPacket& p, const std::string& t) { p.Schemas(0).Properties(0).SetName(t); }},
      {"AddProperty", [](TXMPPacket& p, const std::string& t) { p.Schemas(0).AddProperty(t); }},
      {"about", [](TXMPPacket& p, const std::string& t) { p.SetAboutAttributeValue(t); }},
      {"prefix", [](TXMPPacket& p, const std::string& t) { p.Schemas(0).NamespaceInfo().SetPreferredPrefix(t); }},
      {"schema URI", [](TXMPPacket& p, const std::string& t) { p.FindOrAddSchema("urn:" + t); }},
  };
  for (const auto& [where, set] : setters) {
    for (const Bad& b : bad) {
      TXMPPacket packet;
      packet.UpdateProperty(xnTIFF, "Make", "Zorp");
      packet.UpdateProperty(xnTIFF, "Title", "T", pkLangAlternative);
      const std::string before = Regenerated(packet);
      EXPECT_THROW_MSG(set(packet, b.Text), EInvalidXMPText, b.Message) << where;
      EXPECT_EQ(Regenerated(packet), before) << where;
      EXPECT_EQ(packet.SchemaCount(), 1) << where;
    }
  }
  EXPECT_THROW(TXMPNamespaceInfo("p", "urn:\x01"), EInvalidXMPText);
  EXPECT_THROW(TXMPPacket().CheckUpdateText("\xC3"), EZorpExifException);
}

TEST(AnXMPPacket, WritesTabsLineBreaksAndAnyCharacterAndDropsTrailingControlsOnUpdate) {
  struct Good {
    std::string Text;
    std::string Stored;
  };
  const Good good[] = {
      {"a\tb", "a\tb"},
      {"line\nnext", "line\nnext"},
      {"cr\rlf", "cr\rlf"},
      {"Caf\xC3\xA9", "Caf\xC3\xA9"},
      {"\xF0\x9F\x93\xB7 camera", "\xF0\x9F\x93\xB7 camera"},
      {"\xEF\xBF\xBD", "\xEF\xBF\xBD"},
      {"EOS\x01\x1F", "EOS"},  // trailing control characters were always dropped by an update
  };
  for (const Good& g : good) {
    TXMPPacket packet;
    packet.SetAboutAttributeValue(g.Stored);
    packet.UpdateProperty(xnTIFF, "Model", g.Text);
    packet.UpdateProperty(xnTIFF, "Title", g.Text, pkLangAlternative);
    TXMPPacket again;
    ASSERT_TRUE(Load(again, Regenerated(packet))) << g.Text;
    TXMPSchema* tiff;
    ASSERT_TRUE(again.FindSchema(xnTIFF, tiff)) << g.Text;
    EXPECT_EQ(tiff->Properties(0).Value(), g.Stored) << g.Text;
    EXPECT_EQ(tiff->Properties(1).ReadValue(), g.Stored) << g.Text;
    EXPECT_EQ(again.AboutAttributeValue(), g.Stored) << g.Text;
  }

  // Under wpRemove an update stores nothing, so nothing is refused either.
  TXMPPacket packet;
  packet.UpdateProperty(xnTIFF, "Model", "M");
  packet.SetWritePolicy(wpRemove);
  packet.UpdateProperty(xnTIFF, "Model", "EOS\x01X");
  EXPECT_EQ(packet.Schemas(0).PropertyCount(), 0);
}

TEST(AnXMPWriter, EscapesANamespaceURI) {
  TXMPPacket packet;
  TXMPSchema& schema = packet.FindOrAddSchema("urn:a?b=\"1\",c=<2>");
  schema.NamespaceInfo().SetPreferredPrefix("ex");
  schema.AddProperty("Name").WriteValue("v");
  TXMPPacket again;
  ASSERT_TRUE(Load(again, Regenerated(packet)));
  TXMPSchema* found;
  ASSERT_TRUE(again.FindSchema("urn:a?b=\"1\",c=<2>", found));
  EXPECT_EQ(ListXMPValues(again), (std::vector<std::string>{"ex:Name = v"}));
}

TEST(AnXMPWriter, ListsValuesWithLineBreaksShownAsEscapes) {
  TXMPPacket packet;
  packet.UpdateProperty(xnDublinCore, "rights", "a\r\nb\nc");
  EXPECT_EQ(ListXMPValues(packet), (std::vector<std::string>{"dc:rights = a\\nb\\nc"}));
}

// ---------------------------------------------------------------------------------------------------

class AHostileXMPPacket : public ::testing::Test {
 protected:
  // Loads the text and returns whether it loaded; the load must end quickly.
  bool LoadQuickly(TXMPPacket& packet, const std::string& text) {
    const auto start = std::chrono::steady_clock::now();
    const bool loaded = Load(packet, text);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    return loaded;
  }
};

TEST_F(AHostileXMPPacket, ExpandsNoBillionLaughs) {
  std::string doctype = "<!DOCTYPE x:xmpmeta [<!ENTITY l0 \"lol\">";
  for (int i = 1; i <= 12; ++i) {
    doctype += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) doctype += "&l" + std::to_string(i - 1) + ";";
    doctype += "\">";
  }
  doctype += "]>";
  TXMPPacket packet;
  if (LoadQuickly(packet, doctype + Wrapped("<rdf:Description xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                                            "dc:a=\"&l12;\"><dc:b>&l12;</dc:b></rdf:Description>"))) {
    EXPECT_LT(Saved(packet).size(), 100000u);
    for (const std::string& line : ListXMPValues(packet)) EXPECT_LT(line.size(), 1000u);
    EXPECT_LT(Regenerated(packet).size(), 100000u);
  }
}

TEST_F(AHostileXMPPacket, NeverReadsALocalFile) {
  const auto secret = std::filesystem::temp_directory_path() / "quorvane-xmp-secret.txt";
  std::ofstream(secret) << "SECRET-7f3a";
  const std::string uri = "file://" + secret.string();
  const std::string body = Wrapped(
      "<rdf:Description xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
      "<dc:b>&ext;</dc:b></rdf:Description>");
  const std::string inputs[] = {
      "<!DOCTYPE x:xmpmeta [<!ENTITY ext SYSTEM \"" + uri + "\">]>" + body,
      "<!DOCTYPE x:xmpmeta [<!ENTITY % p SYSTEM \"" + uri + "\"> %p;]>" + body,
      "<!DOCTYPE x:xmpmeta SYSTEM \"" + uri + "\">" + body,
  };
  for (const std::string& input : inputs) {
    TXMPPacket packet;
    if (LoadQuickly(packet, input)) {
      EXPECT_EQ(Saved(packet).find("SECRET-7f3a"), std::string::npos);
      EXPECT_EQ(Regenerated(packet).find("SECRET-7f3a"), std::string::npos);
    }
  }
  std::filesystem::remove(secret);
}

TEST_F(AHostileXMPPacket, SurvivesDeepNestingAndOversizedInput) {
  std::string nested;
  for (int i = 0; i < 100000; ++i) nested += "<dc:s><rdf:Bag><rdf:li>";
  TXMPPacket packet;
  EXPECT_FALSE(LoadQuickly(packet, Wrapped("<rdf:Description xmlns:dc=\"http://purl.org/dc/elements/1.1/\">" + nested +
                                           "</rdf:Description>")));
  // Nesting within the parser's limits loads and writes back.
  std::string deep, close;
  for (int i = 0; i < 60; ++i) {
    deep += "<dc:s><rdf:Bag><rdf:li>";
    close = "</rdf:li></rdf:Bag></dc:s>" + close;
  }
  ASSERT_TRUE(LoadQuickly(packet, Wrapped("<rdf:Description xmlns:dc=\"http://purl.org/dc/elements/1.1/\">" + deep +
                                          "x" + close + "</rdf:Description>")));
  EXPECT_EQ(ValuesAfterRoundTrip(packet), ListXMPValues(packet));

  std::string huge = Wrapped("<rdf:Description/>");
  huge.append(17 * 1024 * 1024, ' ');
  EXPECT_FALSE(LoadQuickly(packet, huge));
}

// ---------------------------------------------------------------------------------------------------

TEST(AnXMPPacketOfARealPhoto, LoadsOrFailsAsDocumentedAndSurvivesARoundTrip) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no photo folder at " << folder;
  int packets = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".jpg") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::string bytes(static_cast<std::size_t>(entry.file_size()), '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    // The first APP1 segment whose data starts with the XMP signature.
    for (std::size_t at = bytes.find(XMPSignature); at != std::string::npos; at = bytes.find(XMPSignature, at + 1)) {
      if (at < 4 || static_cast<unsigned char>(bytes[at - 4]) != 0xFF ||
          static_cast<unsigned char>(bytes[at - 3]) != 0xE1)
        continue;
      const std::size_t length =
          static_cast<unsigned char>(bytes[at - 2]) * 256u + static_cast<unsigned char>(bytes[at - 1]);
      if (length < 2 || length - 2 > bytes.size() - at) continue;
      SCOPED_TRACE(entry.path().filename().string());
      TUserMemoryStream stream(bytes.data() + at, static_cast<std::int64_t>(length - 2));
      TXMPPacket packet;
      try {
        packet.LoadFromStream(stream);
      } catch (const EInvalidXMPPacket&) {
        break;
      }
      ++packets;
      EXPECT_TRUE(packet.WriteSegmentHeader());
      const std::vector<std::string> values = ListXMPValues(packet);
      EXPECT_EQ(ValuesAfterRoundTrip(packet), values);
      break;
    }
  }
  std::cout << "[ INFO     ] " << packets << " XMP packets read" << std::endl;
}
