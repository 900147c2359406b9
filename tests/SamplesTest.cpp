// The photos of samples/: the generator writes them again byte for byte, each carries every kind of
// metadata the viewer shows, and each MakerNote is listed with the labels of the shipped MakerNotes.ini.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "SamplePhotos.h"
#include "core/PhotoListing.h"
#include "zorp/exif/XMPUtils.h"

using namespace Zorp::Exif;
using namespace Quorvane::Viewer;
namespace fs = std::filesystem;

namespace {

const fs::path SamplesFolder = fs::path(QUORVANE_SOURCE_DIR) / "samples";

std::set<std::string> PhotoNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".jpg") names.insert(entry.path().filename().string());
  return names;
}

}  // namespace

TEST(TheSampleGenerator, WritesTheCommittedSamplesAgainByteForByte) {
  const fs::path folder = fs::temp_directory_path() / ("quorvane-samples-" + std::to_string(getpid()));
  fs::remove_all(folder);
  const std::string command =
      std::string(QUORVANE_BIN_DIR) + "/quorvane-make-samples '" + folder.string() + "' >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(PhotoNames(folder), PhotoNames(SamplesFolder));
  for (const std::string& name : PhotoNames(SamplesFolder))
    EXPECT_TRUE(Zorp::Testing::ReadFileBytes(folder / name) == Zorp::Testing::ReadFileBytes(SamplesFolder / name)) << name << " was regenerated differently";
  fs::remove_all(folder);
}

struct TSampleCase {
  const char* File;
  const char* Title;
  const char* Type;                         // the MakerNote's Type row; nullptr for a photo without MakerNote
  std::map<std::string, std::string> Rows;  // described MakerNote rows (caption without indent) and values
  friend void PrintTo(const TSampleCase& c, std::ostream* os) { *os << c.File; }
};

class ACommittedSample : public ::testing::TestWithParam<TSampleCase> {
 protected:
  void SetUp() override {
    const TMemIniFile ini(fs::path(QUORVANE_SOURCE_DIR) / "viewer" / "MakerNotes.ini");
    Listing = ListPhoto((SamplesFolder / GetParam().File).string(), ini);
    ASSERT_TRUE(Listing.HasMetadata()) << Listing.Error;
  }
  TPhotoListing Listing;
};

TEST_P(ACommittedSample, CarriesCameraDatesExposureGPSThumbnailAndXMP) {
  TExifData& data = *Listing.Data;
  EXPECT_FALSE(data.CameraMake().empty());
  EXPECT_NE(data.DateTimeOriginal(), 0);
  EXPECT_FALSE(data.ExposureTime().IsMissing());
  EXPECT_FALSE(data.GPSLatitude().Missing());
  EXPECT_FALSE(data.GPSLongitude().Missing());
  EXPECT_FALSE(data.GPSAltitude().IsMissing());
  EXPECT_TRUE(data.HasThumbnail());
  const std::string xml = data.XMPPacket().RawXML();
  for (const std::string& text : {std::string(GetParam().Title), std::string("<xmp:Rating>")})
    EXPECT_NE(xml.find(text), std::string::npos) << text;
}

TEST_P(ACommittedSample, ListsItsMakerNoteWithTheShippedDescriptions) {
  std::map<std::string, std::string> rows;
  for (const TListRow& row : Listing.MakerNote)
    if (row.IsValueRow()) rows[row.Caption.substr(3)] = row.Value();
  if (!GetParam().Type) {
    ASSERT_FALSE(Listing.MakerNote.empty());
    EXPECT_EQ(Listing.MakerNote.front().Caption, "No MakerNote found");
    return;
  }
  EXPECT_EQ(rows["Type"], GetParam().Type);
  EXPECT_EQ(rows["Loaded cleanly"], "Yes");
  for (const auto& [caption, value] : GetParam().Rows) EXPECT_EQ(rows[caption], value) << caption;
  for (const auto& [caption, value] : rows) EXPECT_FALSE(caption.starts_with("Unknown")) << caption << "=" << value;
}

INSTANTIATE_TEST_SUITE_P(Samples, ACommittedSample,
                         ::testing::Values(TSampleCase{"canon-sunset.jpg",
                                                       "Sunset over the hills",
                                                       "Canon",
                                                       {{"Macro mode", "Normal"},
                                                        {"Quality", "Fine"},
                                                        {"Flash mode", "Off"},
                                                        {"Focus mode", "One-Shot AF"},
                                                        {"White balance", "Daylight"},
                                                        {"Image type", "Canon EOS Sample JPEG"},
                                                        {"Firmware version", "Firmware Version 1.0.2"},
                                                        {"Camera serial number", "2871003456"}}},
                                           TSampleCase{"nikon-lake.jpg",
                                                       "Mountain lake in the morning",
                                                       "NikonType3",
                                                       {{"ISO speed", "0,200"},
                                                        {"Quality", "FINE"},
                                                        {"White balance", "AUTO"},
                                                        {"Focus mode", "AF-S"},
                                                        {"Lens type", "AF-G"},
                                                        {"Lens (focal range, aperture range)", "18-55mm f/3.5-5.6"},
                                                        {"Shutter count", "4821"}}},
                                           TSampleCase{"sony-chart.jpg",
                                                       "Colour bars and grey steps",
                                                       "Sony",
                                                       {{"Creative style", "Landscape"},
                                                        {"Image stabilisation", "On"},
                                                        {"Exposure mode", "Manual"},
                                                        {"Focus mode", "AF-S"},
                                                        {"Quality", "Fine"},
                                                        {"Rating", "3"}}},
                                           TSampleCase{"night-city.jpg", "Crescent moon over the city", nullptr, {}}),
                         [](const auto& info) {
                           std::string name = info.param.File;
                           name = name.substr(0, name.find('.'));
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

TEST(TheSamplesFolder, HoldsEveryParameterisedSample) {
  EXPECT_EQ(PhotoNames(SamplesFolder),
            (std::set<std::string>{"canon-sunset.jpg", "nikon-lake.jpg", "night-city.jpg", "sony-chart.jpg"}));
}
