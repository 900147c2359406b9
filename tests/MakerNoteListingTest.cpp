// The MakerNote list: labels and translations from the description ini, tag groups, the raw value
// texts, sorting and the general rows on top.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ExifBuilder.h"
#include "core/MakerNoteListing.h"
#include "zorp/exif/TagIDs.h"

using namespace Zorp::Exif;
using namespace Quorvane::Viewer;
using Zorp::Testing::ByteBuilder;
using Zorp::Testing::ExifBuilder;

namespace {

// A photo of the make whose MakerNote tag holds the bytes.
std::unique_ptr<TExifData> Photo(const char* make, const std::vector<std::uint8_t>& makerNote) {
  ExifBuilder block(boBigEndian);
  block.Primary.Ascii(ttMake, make);
  block.Exif.Undefined(ttMakerNote, makerNote);
  auto data = std::make_unique<TExifData>();
  Zorp::Testing::LoadJPEG(*data, ExifBuilder::Jpeg({block.Build()}));
  return data;
}

// A Canon photo whose private directory (always little-endian) holds tag 0x0003 = 7 (SHORT), a tag
// 0x0005 with a header of no known type and tag 0x0008 = 42 (LONG).
std::unique_ptr<TExifData> CanonPhoto() {
  ByteBuilder note(boLittleEndian);
  note.U16(3);
  note.U16(0x0003).U16(3).U32(1).U16(7).U16(0);
  note.U16(0x0005).U16(0).U32(1).U32(0);
  note.U16(0x0008).U16(4).U32(1).U32(42);
  note.U32(0);
  return Photo("Canon", note.Data());
}

template <typename T>
void AddTag(TExifMakerNote& note, TExifTagID id, TTiffDataType type, const std::vector<T>& values) {
  const auto count = static_cast<std::int32_t>(values.size() * sizeof(T) / TiffDataTypeSize(type));
  note.Tags().AddOrUpdateTag(id, type, count, values.data());
}

std::vector<std::string> Lines(const TListRows& rows) {
  std::vector<std::string> lines;
  for (const TListRow& row : rows) lines.push_back(row.IsValueRow() ? row.Caption + "=" + row.Value() : row.Caption);
  return lines;
}

TListRows List(TExifData& data, const std::string& ini = "") {
  TListRows rows;
  ListMakerNote(rows, data.MakerNote(), TMemIniFile::FromBytes(ini));
  return rows;
}

}  // namespace

TEST(TheMakerNoteList, WithoutDescriptionsListsEveryTagUnknownSortedUnderTheGeneralRows) {
  auto data = CanonPhoto();
  AddTag<std::uint16_t>(data->MakerNote(), 0x0001, dtShort, {1, 2, 3});
  AddTag<char>(data->MakerNote(), 0x000C, dtAscii, {'x', 'y', '\0', 'z', '\0'});
  EXPECT_EQ(Lines(List(*data)), (std::vector<std::string>{
                                    "General", "   Type=Canon", "   Byte order=Intel (small endian)",
                                    "   Loaded cleanly=No: one or more bad tag headers", "Tags",
                                    "   Unknown ($0001)=1,2,3", "   Unknown ($0003)=7",
                                    "   Unknown ($0005)=[Badly formed tag header]", "   Unknown ($0008)=42",
                                    "   Unknown ($000C)=xy"}));
  for (const TListRow& row : List(*data)) {
    if (row.IsValueRow() && row.Caption != "   Loaded cleanly") {
      EXPECT_EQ(row.Kind(), "") << row.Caption;
    }
  }
}

TEST(TheMakerNoteList, NamesTheTypeAndTheMakerNotesOwnByteOrder) {
  ByteBuilder note(boBigEndian);
  note.Text(std::string_view("Nikon\0\2\x10\0\0", 10)).Text("MM").U16(42).U32(8);
  note.U16(1).U16(0x0001).U16(3).U32(1).U16(5).U16(0).U32(0);
  auto data = Photo("NIKON CORPORATION", note.Data());
  const std::vector<std::string> lines = Lines(List(*data));
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
            (std::vector<std::string>{"General", "   Type=NikonType3", "   Byte order=Motorola (big endian)",
                                      "   Loaded cleanly=Yes"}));
}

TEST(TheMakerNoteList, TakesLabelsAndValueTextsFromTheIni) {
  auto data = CanonPhoto();
  AddTag<std::uint16_t>(data->MakerNote(), 0x0002, dtShort, {9});
  AddTag<std::uint16_t>(data->MakerNote(), 0x0004, dtShort, {4});
  const TListRows rows = List(*data,
                              "[tcanonmakernote.$0003]\n"
                              "TagDescription=Zoom\n"
                              "7=Seven\n"
                              "[TCanonMakerNote.$0002]\n"
                              "tagdescription=Alpha\n"
                              "9=\n"
                              "[TCanonMakerNote.$0004]\n"
                              "TagDescription=\n"
                              "[TCanonMakerNote.$0005]\n"
                              "TagDescription=Broken\n");
  // Sorted by caption: the empty label first; an empty translation stays empty.
  EXPECT_EQ(Lines(rows), (std::vector<std::string>{"General", "   Type=Canon", "   Byte order=Intel (small endian)",
                                                   "   Loaded cleanly=No: one or more bad tag headers", "Tags",
                                                   "   =4", "   Alpha=", "   Broken=[Badly formed tag header]",
                                                   "   Unknown ($0008)=42", "   Zoom=Seven"}));
}

TEST(TheMakerNoteList, ListsTheElementsOfAGroupTagWithTheirOwnLabelsAndTexts) {
  auto data = CanonPhoto();
  AddTag<std::uint16_t>(data->MakerNote(), 0x0001, dtShort, {10, 1, 2});
  AddTag<std::int16_t>(data->MakerNote(), 0x000C, dtSShort, {-1, 5});
  AddTag<std::uint16_t>(data->MakerNote(), 0x0010, dtShort, {});
  const TListRows rows = List(*data,
                              "[TCanonMakerNote.$0001]\nTagDescription=Settings\nTreatAsTagGroup=$1\n"
                              "[TCanonMakerNote.$0001(1)]\nTagDescription=Macro\n1=On\n"
                              "[TCanonMakerNote.$0001(2)]\n1=ignored\n"
                              "[TCanonMakerNote.$000C]\nTreatAsTagGroup=0x01\n"
                              "[TCanonMakerNote.$000C(1)]\n-1=no, that is element 0\n"
                              "[TCanonMakerNote.$0010]\nTreatAsTagGroup=1\n"
                              "[TCanonMakerNote.$0005]\nTreatAsTagGroup=1\n");
  const std::vector<std::string> lines = Lines(rows);
  // A group of no elements gives no row; a malformed tag is no group.
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 5, lines.end()),
            (std::vector<std::string>{"   Macro=On", "   Settings (0)=10", "   Settings (2)=2", "   Unknown ($0003)=7",
                                      "   Unknown ($0005)=[Badly formed tag header]", "   Unknown ($0008)=42", "   Unknown ($000C, 0)=-1",
                                      "   Unknown ($000C, 1)=5"}));
}

struct TUndefinedCase {
  const char* Name;
  std::size_t Bytes;
  std::string Expected;
};

class AnUndefinedTag : public ::testing::TestWithParam<TUndefinedCase> {};

TEST_P(AnUndefinedTag, IsShownInBracesAndCutAfter50Bytes) {
  auto data = CanonPhoto();
  AddTag<std::uint8_t>(data->MakerNote(), 0x0020, dtUndefined, std::vector<std::uint8_t>(GetParam().Bytes, 0xAB));
  const TListRows rows = List(*data);
  EXPECT_EQ(rows.back().Caption, "   Unknown ($0020)");
  EXPECT_EQ(rows.back().Value(), GetParam().Expected);
}

static std::string RepeatedAB(int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += "AB";
  return text;
}

INSTANTIATE_TEST_SUITE_P(Cases, AnUndefinedTag,
                         ::testing::Values(TUndefinedCase{"OneByte", 1, "{AB}"},
                                           TUndefinedCase{"FiftyBytes", 50, "{" + RepeatedAB(50) + "}"},
                                           TUndefinedCase{"FiftyOneBytes", 51, "{" + RepeatedAB(50) + "...}"}),
                         [](const auto& info) { return std::string(info.param.Name); });

// The value shown for a tag's raw value under the ini's Signed and Format keys.
struct TValueFormCase {
  const char* Name;
  TTiffDataType Type;
  std::vector<std::uint16_t> Words;  // the value's 16-bit words in host order
  std::string Keys;                  // lines of the tag's section after its TagDescription
  std::vector<std::string> Expected;
};

class AValueForm : public ::testing::TestWithParam<TValueFormCase> {};

TEST_P(AValueForm, ShowsTheTagAsTheIniAsks) {
  const TValueFormCase& c = GetParam();
  auto data = CanonPhoto();
  const std::int32_t count = static_cast<std::int32_t>(c.Words.size() * 2 / TiffDataTypeSize(c.Type));
  data->MakerNote().Tags().AddOrUpdateTag(0x0020, c.Type, count, c.Words.data());
  const TListRows rows = List(*data, "[TCanonMakerNote.$0003]\nTagDescription=A\n"
                                     "[TCanonMakerNote.$0005]\nTagDescription=B\n"
                                     "[TCanonMakerNote.$0008]\nTagDescription=B\n"
                                     "[TCanonMakerNote.$0020]\nTagDescription=V\n" + c.Keys +
                                     "\n[TCanonMakerNote.$0020(1)]\nTagDescription=V1\nSigned=0\n65535=Infinity\n"
                                     "[TCanonMakerNote.$0020(2)]\nTagDescription=V2\n-1=n/a\n65535=never\n");
  const std::vector<std::string> lines = Lines(rows);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 8, lines.end()), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AValueForm,
    ::testing::Values(
        TValueFormCase{"ShortUnsignedByDefault", dtShort, {65504}, "", {"   V=65504"}},
        TValueFormCase{"SignedShort", dtShort, {65504}, "Signed=1", {"   V=-32"}},
        TValueFormCase{"SignedShortWithItsKey", dtShort, {65535}, "Signed=1\n-1=n/a\n65535=no", {"   V=n/a"}},
        TValueFormCase{"SignedShorts", dtShort, {65535, 2, 32768}, "Signed=$1", {"   V=-1,2,-32768"}},
        TValueFormCase{"SignedLong", dtLong, {64816, 65535}, "Signed=1\n-720=UTC-12:00", {"   V=UTC-12:00"}},
        TValueFormCase{"SignedBytes", dtByte, {0x01FF}, "Signed=1", {"   V=-1,1"}},
        TValueFormCase{"SignedRationalsStayAsTheyAre", dtRational, {1, 0, 2, 0}, "Signed=1", {"   V=1/2"}},
        TValueFormCase{"SignedGroupWithAnUnsignedElement", dtShort, {65504, 65535, 65535},
                       "TreatAsTagGroup=1\nSigned=1", {"   V (0)=-32", "   V1=Infinity", "   V2=n/a"}},
        TValueFormCase{"UnsignedGroup", dtShort, {65504, 65535, 65535}, "TreatAsTagGroup=1",
                       {"   V (0)=65504", "   V1=Infinity", "   V2=never"}},
        TValueFormCase{"BitFlagsWithAKeyOfItsOwn", dtShort, {0}, "Format=BitFlags\n0=Single\nBit0=Continuous",
                       {"   V=Single"}},
        TValueFormCase{"BitFlagsNamed", dtShort, {33}, "format=bitflags\nBit0=Continuous\nBit5=auto ISO",
                       {"   V=Continuous, auto ISO"}},
        TValueFormCase{"BitFlagsClearAndUnnamed", dtShort, {0x1020},
                       "Format=BitFlags\nBit0=Continuous\nBit0Off=Single\nBit5=auto ISO",
                       {"   V=Single, auto ISO, bit 12"}},
        TValueFormCase{"BitFlagsOfAGroupElement", dtShort, {6, 0, 0}, "TreatAsTagGroup=1\nFormat=BitFlags\nBit1=b\nBit2=c",
                       {"   V (0)=b, c", "   V1=0", "   V2=0"}}),
    [](const auto& info) { return std::string(info.param.Name); });

// Four rationals named as a lens: the focal range, then the aperture range; a zero denominator leaves
// the raw value.
struct TLensCase {
  const char* Name;
  std::vector<std::uint32_t> Words;
  std::string Expected;
};

class ALensValue : public ::testing::TestWithParam<TLensCase> {};

TEST_P(ALensValue, IsNamedAsPhotographersNameLenses) {
  auto data = CanonPhoto();
  data->MakerNote().Tags().AddOrUpdateTag(0x0084, dtRational, static_cast<std::int32_t>(GetParam().Words.size() / 2),
                                          GetParam().Words.data());
  const TListRows rows = List(*data, "[TCanonMakerNote.$0084]\nTagDescription=Lens\nFormat=Lens\n");
  const std::vector<std::string> lines = Lines(rows);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "   Lens=" + GetParam().Expected), lines.end());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ALensValue,
    ::testing::Values(TLensCase{"Zoom", {180, 10, 550, 10, 35, 10, 56, 10}, "18-55mm f/3.5-5.6"},
                      TLensCase{"Fixed", {50, 1, 50, 1, 18, 10, 18, 10}, "50mm f/1.8"},
                      TLensCase{"ConstantAperture", {700, 10, 2000, 10, 28, 10, 28, 10}, "70-200mm f/2.8"},
                      TLensCase{"ZeroDenominator", {50, 1, 50, 1, 0, 0, 0, 0}, "50,50,,"},
                      TLensCase{"NotFour", {50, 1, 50, 1, 18, 10}, "50,50,18/10"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(TheMakerNoteList, SharesAnotherTypesDescriptionsThroughUseTagsFrom) {
  auto data = CanonPhoto();
  const TListRows rows = List(*data, "[TCanonMakerNote]\nUseTagsFrom=Shared\n[Shared.$0003]\nTagDescription=Zoom\n");
  EXPECT_EQ(rows.back().Caption, "   Zoom");
  EXPECT_EQ(List(*data, "[TCanonMakerNote]\nUseTagsFrom=\n[TCanonMakerNote.$0003]\nTagDescription=Zzz\n").back().Caption,
            "   Zzz");
}

TEST(TheMakerNoteList, OfNoKnownLayoutIsOneNotice) {
  auto data = Photo("Nobody", {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(Lines(List(*data)), std::vector<std::string>{"Unrecognised format"});
}

TEST(TheMakerNoteList, SortsCaptionsAsTextIgnoringLetterCaseFirst) {
  const std::vector<std::string> captions = {"   b", "   B", "   a", "   Unknown ($000C, 10)", "   Unknown ($000C, 2)",
                                             "   Ab"};
  TListRows rows;
  for (const std::string& caption : captions) rows.push_back({caption, {"", "", ""}});
  std::stable_sort(rows.begin(), rows.end(), CaptionLess);
  std::vector<std::string> sorted;
  for (const TListRow& row : rows) sorted.push_back(row.Caption);
  EXPECT_EQ(sorted, (std::vector<std::string>{"   a", "   Ab", "   B", "   b", "   Unknown ($000C, 10)",
                                              "   Unknown ($000C, 2)"}));
}

namespace {

// A huge description is cut to 200 characters where it is shown, and a group's elements share the
// cut text, so one photo's list stays small however long the description file's lines are.
TEST(AMakerNoteList, CutsLongDescriptionsWhereTheyAreShown) {
  auto data = CanonPhoto();
  AddTag<std::uint16_t>(data->MakerNote(), 0x0001, dtShort, std::vector<std::uint16_t>(2000, 7));
  const std::string huge(3 << 20, 'd'), cut = std::string(200, 'd') + "\xE2\x80\xA6";
  const TListRows rows = List(*data, "[TCanonMakerNote.$0001]\nTagDescription=" + huge + "\nTreatAsTagGroup=1\n"
                                     "[TCanonMakerNote.$0001(5)]\nTagDescription=" + huge + "\n7=" + huge + "\n"
                                     "[TCanonMakerNote.$0008]\nTagDescription=Short\n42=" + huge + "\n");
  std::size_t total = 0;
  for (const TListRow& row : rows) total += row.Caption.size() + row.Value().size();
  EXPECT_LT(total, 2000u * 250u);
  const std::vector<std::string> lines = Lines(rows);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "   " + cut + " (0)=7"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "   " + cut + "=" + cut), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "   Short=" + cut), lines.end());
}

}  // namespace
