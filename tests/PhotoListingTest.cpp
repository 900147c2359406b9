// Loading and listing one photo as the window and the command-line companion do it: the notices for
// photos without metadata or MakerNote, a failed load, and the shared sample photos with the shipped
// MakerNote descriptions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <string>

#include "ExifBuilder.h"
#include "SamplePhotos.h"
#include "core/PhotoListing.h"
#include "zorp/exif/TagIDs.h"

using namespace Zorp::Exif;
using namespace Quorvane::Viewer;
using Zorp::Testing::ByteBuilder;
using Zorp::Testing::ExifBuilder;

namespace {

class APhotoListing : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = std::filesystem::temp_directory_path() /
             ("quorvane-listing-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::create_directories(Folder);
  }
  void TearDown() override { std::filesystem::remove_all(Folder); }

  std::string Write(const std::vector<std::uint8_t>& bytes) {
    const std::string path = (Folder / "photo.jpg").string();
    Zorp::Testing::WriteFileBytes(path, bytes);
    return path;
  }

  std::filesystem::path Folder;
};

std::vector<std::string> Captions(const TListRows& rows) {
  std::vector<std::string> captions;
  for (const TListRow& row : rows) captions.push_back(row.Caption);
  return captions;
}

}  // namespace

TEST_F(APhotoListing, OfAPhotoWithoutExifIsOneNoticeAndNothingToSave) {
  const TPhotoListing listing = ListPhoto(Write(ExifBuilder::Jpeg({})), TMemIniFile());
  EXPECT_EQ(Captions(listing.Standard), std::vector<std::string>{"No Exif metadata found"});
  EXPECT_TRUE(listing.MakerNote.empty());
  EXPECT_TRUE(listing.Succeeded());
  EXPECT_FALSE(listing.HasMetadata());
  EXPECT_NE(listing.Data, nullptr);
}

TEST_F(APhotoListing, OfAPhotoWithoutMakerNoteSaysSoInTheMakerNoteList) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Canon").Short(ttOrientation, {9});
  const std::string path = Write(ExifBuilder::Jpeg({block.Build()}));
  const TPhotoListing listing = ListPhoto(path, TMemIniFile());
  EXPECT_EQ(Captions(listing.MakerNote), std::vector<std::string>{"No MakerNote found"});
  EXPECT_TRUE(listing.HasMetadata());
  EXPECT_EQ(listing.FileName, path);
  // Enumerations are listed as stored, an unlisted one as unrecognised.
  const auto orientation = std::find_if(listing.Standard.begin(), listing.Standard.end(),
                                        [](const TListRow& r) { return r.Caption == "   Orientation"; });
  ASSERT_NE(orientation, listing.Standard.end());
  EXPECT_EQ(orientation->Value(), "<Unrecognised (9)>");
}

TEST_F(APhotoListing, WithAMakerNoteListsItWithTheDescriptions) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Canon");
  ByteBuilder note;
  note.U16(1).U16(0x0003).U16(3).U32(1).U16(7).U16(0).U32(0);
  block.Exif.Undefined(ttMakerNote, note.Data());
  const TPhotoListing listing = ListPhoto(Write(ExifBuilder::Jpeg({block.Build()})),
                                          TMemIniFile::FromBytes("[TCanonMakerNote.$0003]\nTagDescription=Zoom\n"));
  ASSERT_FALSE(listing.MakerNote.empty());
  EXPECT_EQ(listing.MakerNote.back().Caption, "   Zoom");
}

struct TFailureCase {
  const char* Name;
  std::vector<std::uint8_t> Bytes;  // empty: no file at all
};

class AFailedLoad : public APhotoListing, public ::testing::WithParamInterface<TFailureCase> {};

TEST_P(AFailedLoad, EndsTheStandardListWithTheMessage) {
  const std::string path = GetParam().Bytes.empty() ? (Folder / "missing.jpg").string() : Write(GetParam().Bytes);
  const TPhotoListing listing = ListPhoto(path, TMemIniFile());
  EXPECT_FALSE(listing.Succeeded());
  EXPECT_FALSE(listing.HasMetadata());
  ASSERT_FALSE(listing.Standard.empty());
  EXPECT_FALSE(listing.Standard.back().IsValueRow());
  EXPECT_EQ(listing.Standard.back().Caption, "Could not read the metadata: " + listing.Error);
  EXPECT_FALSE(listing.Error.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, AFailedLoad,
                         ::testing::Values(TFailureCase{"MissingFile", {}},
                                           TFailureCase{"NotAJPEG", {'G', 'I', 'F', '8', '9', 'a', 0, 0}}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Every sample photo lists without an exception escaping, and each supported maker's photos show
// labels from the shipped descriptions.
TEST(EverySamplePhoto, IsListedAndItsMakerNoteDescribed) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no sample photos at " << folder;
  const TMemIniFile ini(std::filesystem::path(QUORVANE_SOURCE_DIR) / "viewer" / "MakerNotes.ini");
  ASSERT_FALSE(ini.ReadSections().empty());
  std::map<std::string, int> describedByType;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".jpg" && entry.path().extension() != ".jpeg") continue;
    TPhotoListing listing;
    ASSERT_NO_THROW(listing = ListPhoto(entry.path().string(), ini)) << entry.path();
    if (!listing.HasMetadata() || listing.MakerNote.size() < 2) continue;
    const std::string type = listing.MakerNote[1].Value();
    int described = 0;
    for (const TListRow& row : listing.MakerNote)
      if (row.IsValueRow() && !row.Caption.starts_with("   Unknown")) ++described;
    describedByType[type] = std::max(describedByType[type], described - 3);  // less Type, Byte order, status
  }
  for (const char* type : {"Canon", "NikonType1", "NikonType2", "NikonType3", "Sony", "Panasonic"})
    EXPECT_GE(describedByType[type], 5) << type;
}

// The MakerNote rows that real photos must show, one table per maker in tests/data/makernote-rows:
// lines "photo file name<TAB>label<TAB>value" (blank lines and lines starting with # are skipped).
// The values were checked against what independent readers show of the same photos.
TEST(RealPhotos, ShowTheMakerNoteRowsTheirMakersWrote) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no sample photos at " << folder;
  const std::filesystem::path source = QUORVANE_SOURCE_DIR;
  const TMemIniFile ini(source / "viewer" / "MakerNotes.ini");
  std::map<std::string, std::map<std::string, std::string>> shown;  // photo -> label -> value
  int checked = 0;
  for (const auto& table : std::filesystem::directory_iterator(source / "tests" / "data" / "makernote-rows")) {
    std::ifstream lines(table.path());
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
      if (line.empty() || line[0] == '#') continue;
      const std::size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
      ASSERT_NE(tab2, std::string::npos) << table.path() << ":" << number << ": needs three columns";
      const std::string photo = line.substr(0, tab1), label = line.substr(tab1 + 1, tab2 - tab1 - 1);
      if (!shown.contains(photo)) {
        auto& rows = shown[photo];
        for (const TListRow& row : ListPhoto((folder / photo).string(), ini).MakerNote) {
          std::string caption = row.Caption;
          caption.erase(0, caption.find_first_not_of(' '));
          if (row.IsValueRow()) rows.emplace(caption, row.Value());
        }
        ASSERT_FALSE(rows.empty()) << photo << " lists no MakerNote rows";
      }
      const auto& rows = shown[photo];
      const auto found = rows.find(label);
      ++checked;
      if (found == rows.end())
        ADD_FAILURE() << table.path().filename() << ":" << number << ": " << photo << " has no row \"" << label << "\"";
      else
        EXPECT_EQ(found->second, line.substr(tab2 + 1)) << table.path().filename() << ":" << number << ": " << photo;
    }
  }
  std::cout << checked << " MakerNote rows of " << shown.size() << " photos checked\n";
}
