// The list rows: value rows with their three sub-items, caption-only rows, the load status of a
// directory and which directories get a group.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ListRows.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/TiffReader.h"

using namespace Zorp::Exif;
using namespace Quorvane::Viewer;

namespace {

// Gives a directory the load problems of a read that found no usable entry.
void SetLoadErrors(TExifSection& section, TExifSectionLoadErrors errors) {
  Zorp::Base::TMemoryStream stream;
  TTiffReader reader(stream, 0, boLittleEndian);
  TIfdInfo info;
  info.LoadErrors = errors;
  section.LoadFromIfd(reader, info);
}

TEST(ListRows, ValueRowsCarryTheLabelIndentedAndExactlyThreeSubItems) {
  TListRows rows;
  AddCaption(rows, "General");
  AddItem(rows, "Orientation", false, "a\r\nb", rkSelect, "Normal");
  AddItem(rows, "Empty", false, "", "", "");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].Caption, "General");
  EXPECT_TRUE(rows[0].SubItems.empty());
  EXPECT_EQ(rows[1].Caption, "   Orientation");
  EXPECT_EQ(rows[1].SubItems, (std::vector<std::string>{"Normal", "select", "a\r\nb"}));
  EXPECT_EQ(rows[2].SubItems, (std::vector<std::string>{"", "", ""}));
  EXPECT_TRUE(rows[2].IsValueRow());
}

TEST(ListRows, InsertAtTopPutsTheRowFirstElseLast) {
  TListRows rows;
  AddItem(rows, "a", false, "", "", "1");
  AddItem(rows, "b", true, "", "", "2");
  AddItem(rows, "c", false, "", "", "3");
  std::vector<std::string> captions;
  for (const TListRow& row : rows) captions.push_back(row.Caption);
  EXPECT_EQ(captions, (std::vector<std::string>{"   b", "   a", "   c"}));
}

struct TStatusCase {
  const char* Name;
  TExifSectionKind Kind;
  TExifSectionLoadErrors Errors;
  bool WithThumbnail;
  const char* Expected;
};

class ALoadStatus : public ::testing::TestWithParam<TStatusCase> {};

TEST_P(ALoadStatus, NamesTheProblemsInDeclaredOrder) {
  const TStatusCase& c = GetParam();
  TExifData data;
  data.SetEnsureEnumsInRange(false);
  if (c.WithThumbnail) {
    std::vector<std::uint8_t> rgb(8 * 8 * 3, 128);
    data.Thumbnail().AssignRGB(rgb.data(), 8, 8);
  }
  SetLoadErrors(data.Sections(c.Kind), c.Errors);
  TListRows rows;
  AddItem(rows, "Before", false, "", "", "");
  AddLoadStatusItem(rows, data.Sections(c.Kind), false);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].Caption, "   Loaded cleanly");
  EXPECT_EQ(rows[1].SubItems, (std::vector<std::string>{c.Expected, "noyes", ""}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ALoadStatus,
    ::testing::Values(
        TStatusCase{"Clean", skPrimary, {}, false, "Yes"},
        TStatusCase{"BadOffset", skExif, {leBadOffset}, false, "No: bad IFD offset"},
        TStatusCase{"BadHeaders", skGps, {leBadTagHeader}, false, "No: one or more bad tag headers"},
        TStatusCase{"AllThree", skInterop, {leBadTagHeader, leBadOffset, leBadTagCount}, false,
                    "No: bad IFD offset, bad tag count, one or more bad tag headers"},
        TStatusCase{"ThumbnailWithImage", skThumbnail, {}, true, "Yes"},
        TStatusCase{"ThumbnailWithoutImage", skThumbnail, {}, false, "No: bad image offset"},
        TStatusCase{"ThumbnailBothProblems", skThumbnail, {leBadTagCount}, false, "No: bad tag count, bad image offset"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ListRows, TheLoadStatusCanGoOnTop) {
  TExifData data;
  TListRows rows;
  AddItem(rows, "Tag", false, "", "", "1");
  AddLoadStatusItem(rows, data.Sections(skMakerNote), true);
  EXPECT_EQ(rows.front().Caption, "   Loaded cleanly");
  EXPECT_EQ(rows.front().Value(), "Yes");
}

struct TGroupCase {
  const char* Name;
  bool WithTag;
  TExifSectionLoadErrors Errors;
  bool Listed;
};

class AGroup : public ::testing::TestWithParam<TGroupCase> {};

TEST_P(AGroup, IsListedWhenItHasTagsOrLoadProblems) {
  TExifData data;
  if (GetParam().WithTag) data.Sections(skGps).SetStringValue(0x0012, "WGS-84");
  SetLoadErrors(data.Sections(skInterop), GetParam().Errors);
  const TExifSection& section = GetParam().WithTag ? data.Sections(skGps) : data.Sections(skInterop);
  EXPECT_EQ(ListsSection(section), GetParam().Listed);
}

INSTANTIATE_TEST_SUITE_P(Cases, AGroup,
                         ::testing::Values(TGroupCase{"EmptyAndClean", false, {}, false},
                                           TGroupCase{"WithATag", true, {}, true},
                                           TGroupCase{"EmptyWithBadHeaders", false, {leBadTagHeader}, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
