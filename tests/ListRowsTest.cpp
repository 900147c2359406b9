// The list rows: value rows with exactly three sub-items, caption-only rows, and the load status of
// a directory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ListRows.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/TiffReader.h"

using namespace Zorp::Exif;
using namespace Quorvane::Viewer;

namespace {

using TStrings = std::vector<std::string>;

TEST(ListRows, IndentValueRowsAndPutThemFirstOrLast) {
  TListRows rows;
  AddCaption(rows, "General");
  AddItem(rows, "Orientation", false, "a\r\nb", rkSelect, "Normal");
  AddItem(rows, "Top", true, "", "", "");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].Caption, "   Top");
  EXPECT_EQ(rows[0].SubItems, (TStrings{"", "", ""}));
  EXPECT_EQ(rows[1].Caption, "General");
  EXPECT_FALSE(rows[1].IsValueRow());
  EXPECT_EQ(rows[2].Caption, "   Orientation");
  EXPECT_EQ(rows[2].SubItems, (TStrings{"Normal", "select", "a\r\nb"}));
}

struct TStatusCase {
  const char* Name;
  TExifSectionKind Kind;
  TExifSectionLoadErrors Errors;
  bool WithThumbnail;
  bool OnTop;
  const char* Expected;
};

class ALoadStatus : public ::testing::TestWithParam<TStatusCase> {};

TEST_P(ALoadStatus, NamesTheProblemsInDeclaredOrder) {
  const TStatusCase& c = GetParam();
  TExifData data;
  if (c.WithThumbnail) {
    std::vector<std::uint8_t> rgb(8 * 8 * 3, 128);
    data.Thumbnail().AssignRGB(rgb.data(), 8, 8);
  }
  // The problems as a read that found no usable entry leaves them.
  Zorp::Base::TMemoryStream stream;
  TTiffReader reader(stream, 0, boLittleEndian);
  TIfdInfo info;
  info.LoadErrors = c.Errors;
  data.Sections(c.Kind).LoadFromIfd(reader, info);
  TListRows rows;
  AddItem(rows, "Tag", false, "", "", "");
  AddLoadStatusItem(rows, data.Sections(c.Kind), c.OnTop);
  const TListRow& status = rows[c.OnTop ? 0 : 1];
  EXPECT_EQ(status.Caption, "   Loaded cleanly");
  EXPECT_EQ(status.SubItems, (TStrings{c.Expected, "noyes", ""}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ALoadStatus,
    ::testing::Values(
        TStatusCase{"Clean", skPrimary, {}, false, false, "Yes"},
        TStatusCase{"OnTop", skMakerNote, {}, false, true, "Yes"},
        TStatusCase{"BadOffset", skExif, {leBadOffset}, false, false, "No: bad IFD offset"},
        TStatusCase{"AllThree", skInterop, {leBadTagHeader, leBadOffset, leBadTagCount}, false, false,
                    "No: bad IFD offset, bad tag count, one or more bad tag headers"},
        TStatusCase{"ThumbnailWithImage", skThumbnail, {}, true, false, "Yes"},
        TStatusCase{"ThumbnailWithoutImage", skThumbnail, {}, false, false, "No: bad image offset"},
        TStatusCase{"ThumbnailBoth", skThumbnail, {leBadTagCount}, false, false, "No: bad tag count, bad image offset"}),
    [](const auto& info) { return std::string(info.param.Name); });

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
  Zorp::Base::TMemoryStream stream;
  TTiffReader reader(stream, 0, boLittleEndian);
  TIfdInfo info;
  info.LoadErrors = GetParam().Errors;
  if (!GetParam().WithTag) data.Sections(skGps).LoadFromIfd(reader, info);
  EXPECT_EQ(ListsSection(data.Sections(skGps)), GetParam().Listed);
}

INSTANTIATE_TEST_SUITE_P(Cases, AGroup,
                         ::testing::Values(TGroupCase{"EmptyAndClean", false, {}, false},
                                           TGroupCase{"WithATag", true, {}, true},
                                           TGroupCase{"EmptyWithBadHeaders", false, {leBadTagHeader}, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
