#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ExifBuilder.h"
#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "zorp/exif/ExifData.h"

namespace {

namespace fs = std::filesystem;
using Zorp::Testing::ReadFileBytes;

// quorvane-cli shift, gps and csv run as a user runs them, over copies of the sample photos.
class TheJobCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = Zorp::Testing::FreshTestFolder("quorvane-cli-jobs");
    for (const char* name : {"canon-sunset.jpg", "nikon-lake.jpg", "sony-chart.jpg"})
      Zorp::Testing::CopyWritable(fs::path(QUORVANE_SOURCE_DIR) / "samples" / name, Folder / name);
    fs::permissions(Folder / "sony-chart.jpg", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  void TearDown() override {
    fs::permissions(Folder / "sony-chart.jpg", fs::perms::owner_all);
    fs::remove_all(Folder);
  }

  // Runs the command line in the photos' folder; keeps what it wrote.
  int Run(const std::string& arguments) {
    const std::string command = "cd '" + Folder.string() + "' && '" + std::string(QUORVANE_BIN_DIR) +
                                "/quorvane-cli' " + arguments + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    Out = Read("out.txt");
    Err = Read("err.txt");
    return WEXITSTATUS(status);
  }
  std::string Read(const std::string& name) const {
    std::ifstream file(Folder / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  fs::path Folder;
  std::string Out, Err;
};

TEST_F(TheJobCommands, ReportEachFileAndExitAsDocumented) {
  const struct {
    const char* Arguments;
    int Status;
    const char* Out;  // the whole standard output
    const char* Err;  // a part of standard error
  } cases[] = {
      {"shift --by +0:01:00:00 canon-sunset.jpg nikon-lake.jpg", 0,
       "canon-sunset.jpg: changed\nnikon-lake.jpg: changed\n", ""},
      {"shift --by -0:01:00:00 --keep-mtime canon-sunset.jpg missing.jpg", 1, "canon-sunset.jpg: changed\n",
       "quorvane-cli: missing.jpg: Cannot open file"},
      {"shift --by 24:00:00 canon-sunset.jpg", 2, "", "invalid offset \"24:00:00\""},
      {"shift canon-sunset.jpg", 2, "", "--by"},
      {"gps --set 48.8584,2.2945,35 canon-sunset.jpg sony-chart.jpg nikon-lake.jpg", 1,
       "canon-sunset.jpg: changed\nnikon-lake.jpg: changed\n", "quorvane-cli: sony-chart.jpg: "},
      {"gps --set=48.8584,2.2945,35 canon-sunset.jpg", 0, "canon-sunset.jpg: unchanged\n", ""},
      {"gps --set -33.8568,151.2153 nikon-lake.jpg", 0, "nikon-lake.jpg: changed\n", ""},
      {"gps --set 91,0 canon-sunset.jpg", 2, "", "invalid location \"91,0\""},
      {"gps --set 1,2 --clear canon-sunset.jpg", 2, "", "exactly one of --set"},
      {"gps canon-sunset.jpg", 2, "", "exactly one of --set"},
      {"gps --clear canon-sunset.jpg", 0, "canon-sunset.jpg: changed\n", ""},
      {"gps --clear canon-sunset.jpg", 0, "canon-sunset.jpg: unchanged\n", ""},
      {"csv --columns 'Camera make, Camera model' canon-sunset.jpg sony-chart.jpg", 0,
       "File,Camera make,Camera model\r\ncanon-sunset.jpg,Canon,Canon EOS Sample\r\nsony-chart.jpg,SONY,DSC-SAMPLE\r\n",
       ""},
      {"csv --columns 'Camera make,GPS altitude' canon-sunset.jpg missing.jpg", 1,
       "File,Camera make,GPS altitude\r\ncanon-sunset.jpg,Canon,\r\nmissing.jpg,,\r\n",
       "quorvane-cli: missing.jpg: Cannot open file"},
      {"csv --columns 'Camera make,Lens' canon-sunset.jpg", 2, "",
       "unknown column \"Lens\"; the labels are:\n  Byte order\n"},
      {"frobnicate canon-sunset.jpg", 2, "", ""},
  };
  const auto readOnly = ReadFileBytes(Folder / "sony-chart.jpg");
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.Arguments), c.Status) << c.Arguments << "\n" << Err;
    EXPECT_EQ(Out, c.Out) << c.Arguments;
    EXPECT_NE(Err.find(c.Err), std::string::npos) << c.Arguments << "\n" << Err;
  }
  EXPECT_EQ(ReadFileBytes(Folder / "sony-chart.jpg"), readOnly);
}

// Two commands that change the same photo at the same moment take turns: both changes land, in
// every round.
TEST_F(TheJobCommands, TwoWritersAtOnceBothLand) {
  const std::string cli = "'" + std::string(QUORVANE_BIN_DIR) + "/quorvane-cli'";
  const auto original = [&] {
    Zorp::Exif::TExifData data;
    data.LoadFromJPEG((Folder / "nikon-lake.jpg").string());
    return data.DateTimeOriginal();
  };
  const double before = original();
  constexpr int Rounds = 15;
  for (int round = 0; round < Rounds; ++round) {
    SCOPED_TRACE(round);
    const std::string n = std::to_string(round);
    const std::string command = "cd '" + Folder.string() + "' && { " + cli + " write nikon-lake.jpg Author=A" + n +
                                " & " + cli + " write nikon-lake.jpg Copyright=C" + n + " & " + cli +
                                " shift --by +0:00:00:01 nikon-lake.jpg >/dev/null & wait; } 2>err.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(Read("err.txt"), "");
    Zorp::Exif::TExifData data;
    data.LoadFromJPEG((Folder / "nikon-lake.jpg").string());
    EXPECT_EQ(data.Author(), "A" + n);
    EXPECT_EQ(data.Copyright(), "C" + n);
  }
  EXPECT_EQ(std::lround((original() - before) * 86400), Rounds);  // every one-second shift landed
}

TEST_F(TheJobCommands, PrintAPhotosNotesAfterItsOutcome) {
  Zorp::Testing::ExifBuilder block;
  block.Primary.Ascii(0x010F, "DJI");
  block.Gps.Ascii(0x0001, "N");
  const std::string unreadable = std::string("http://ns.adobe.com/xap/1.0/") + '\0' + "<x:xmpmeta><GPSLatitude>22.5<";
  Zorp::Testing::WriteFileBytes(Folder / "drone.jpg",
                                Zorp::Testing::ExifBuilder::Jpeg(
                                    {block.Build(), std::vector<std::uint8_t>(unreadable.begin(), unreadable.end())}));
  EXPECT_EQ(Run("gps --clear drone.jpg nikon-lake.jpg"), 0) << Err;
  EXPECT_EQ(Out, "drone.jpg: changed\ndrone.jpg: location kept in an unreadable XMP packet\nnikon-lake.jpg: changed\n");
}

TEST_F(TheJobCommands, DefaultToTheTenCsvColumns) {
  ASSERT_EQ(Run("csv canon-sunset.jpg"), 0) << Err;
  EXPECT_EQ(Out.substr(0, Out.find("\r\n")),
            "File,Camera make,Camera model,Date/time original,Exposure time,F number,ISO speed rating(s),Focal "
            "length,GPS latitude,GPS longitude,Latitude,Longitude,Orientation");
}

}  // namespace
