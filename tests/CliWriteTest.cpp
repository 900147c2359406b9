#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "Commands.h"
#include "ExifBuilder.h"
#include "PhotoReading.h"
#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "zorp/base/DateTime.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/MetadataFile.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace {

namespace fs = std::filesystem;
using namespace Zorp::Exif;
using Bytes = std::vector<std::uint8_t>;
using Zorp::Testing::ExifBuilder;

class TheWriteCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = Zorp::Testing::FreshTestFolder("quorvane-cli-write");
    ExifBuilder block;
    block.Primary.Ascii(ttMake, "Canon").Short(ttOrientation, {1});
    block.Exif.Rational(ttExposureTime, 1, 60).Short(ttExifImageWidth, {24}).Short(ttExifImageHeight, {16});
    const std::string xmp = std::string(XMPSignature) +
                            "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                            "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                            "rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:Rating='1'/>"
                            "</rdf:RDF></x:xmpmeta>";
    Original = ExifBuilder::Jpeg({block.Build(), Bytes(xmp.begin(), xmp.end())});
    Path = (Folder / "photo.jpg").string();
    Zorp::Testing::WriteFileBytes(Path, Original);
  }
  void TearDown() override { fs::remove_all(Folder); }

  int Write(const std::vector<std::string>& assignments, const Quorvane::Cli::TWriteOptions& options = {}) {
    Errors.str("");
    return Quorvane::Cli::RunWrite(Path, assignments, options, Errors);
  }
  Bytes Read() const {
    std::ifstream file(Path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
  }
  std::unique_ptr<TExifData> Reload() const { return Zorp::Testing::LoadedPhoto(Path); }
  std::string XMPValue(TExifData& data, TXMPNamespaceKind kind, const std::string& name) const {
    return Zorp::Testing::XMPValueOf(data, kind, name);
  }

  fs::path Folder;
  std::string Path;
  Bytes Original;
  std::ostringstream Errors;
};

TEST_F(TheWriteCommand, SetsEachPropertyInTheOrderGiven) {
  EXPECT_EQ(Write({"CameraMake=Nikon", "CameraMake=Leica", "DateTimeOriginal=2021-05-06T07:08:09.250", "Orientation=6",
                   "UserRating=4", "ExifImageWidth=640", "ExifVersion=2.31", "Title=Été"}),
            0)
      << Errors.str();
  auto data = Reload();
  EXPECT_EQ(data->CameraMake(), "Leica");
  EXPECT_EQ(data->Sections(skExif).GetStringValue(ttDateTimeOriginal), "2021:05:06 07:08:09");
  EXPECT_EQ(data->Orientation(), toRightTop);
  EXPECT_EQ(data->UserRating(), urFourStars);
  EXPECT_EQ(data->ExifVersion().Major(), 2);
  EXPECT_EQ(data->ExifVersion().Minor(), 3);
  EXPECT_EQ(data->Title(), "Été");
  // The saved JPEG's frame (24 x 16) wins over the width given.
  EXPECT_EQ(data->ExifImageWidth().Value, 24u);
  EXPECT_EQ(XMPValue(*data, xnXMPBasic, "Rating"), "4");
}

TEST_F(TheWriteCommand, DeletesWithAnEmptyValue) {
  EXPECT_EQ(Write({"CameraMake=", "Orientation=", "DateTime="}), 0) << Errors.str();
  auto data = Reload();
  EXPECT_FALSE(data->Sections(skPrimary).Find(ttMake));
  EXPECT_FALSE(data->Sections(skPrimary).Find(ttOrientation));
}

TEST_F(TheWriteCommand, WithoutAssignmentsSavesTheDataUnchanged) {
  EXPECT_EQ(Write({}), 0) << Errors.str();
  TExifData before, after;
  Zorp::Base::TMemoryStream original;
  original.WriteBuffer(Original.data(), static_cast<std::int64_t>(Original.size()));
  original.SetPosition(0);
  before.LoadFromJPEG(original);
  after.LoadFromJPEG(Path);
  for (int kind = skPrimary; kind <= skGps; ++kind) {
    const auto sectionKind = static_cast<TExifSectionKind>(kind);
    ASSERT_EQ(before.Sections(sectionKind).Count(), after.Sections(sectionKind).Count());
    for (int i = 0; i < before.Sections(sectionKind).Count(); ++i)
      EXPECT_EQ(before.Sections(sectionKind).Tags(i)->AsString(), after.Sections(sectionKind).Tags(i)->AsString());
  }
  ASSERT_TRUE(after.PendingXMPSegment());
  EXPECT_EQ(after.PendingXMPSegment()->Data().Bytes(), before.PendingXMPSegment()->Data().Bytes());
}

TEST_F(TheWriteCommand, RejectsAnUnknownNameListingTheKnownOnes) {
  EXPECT_EQ(Write({"CameraMake=X", "Colour=red"}), 2);
  EXPECT_NE(Errors.str().find("unknown property \"Colour\""), std::string::npos);
  EXPECT_NE(Errors.str().find("CameraMake, CameraModel"), std::string::npos);
  EXPECT_NE(Errors.str().find("UserRating"), std::string::npos);
  EXPECT_EQ(Write({"CameraMake"}), 2);
  EXPECT_EQ(Read(), Original);
}

TEST_F(TheWriteCommand, LeavesTheFileUntouchedWhenAValueIsRejected) {
  const std::pair<std::string, std::string> cases[] = {
      {"Orientation=9", "Range check error"},
      {"UserRating=many", "''many'' is not a valid integer value"},
      {"DateTime=2021-02-30T10:00:00", "''2021-02-30T10:00:00'' is not a valid date and time"},
      {"DateTime=2021:02:03 10:00:00", "is not a valid date and time"},
      {"DateTimeOriginal=1899-12-30T00:00:00", "1899-12-30 00:00:00 cannot be stored"},
      {"GPSDateTimeUTC=1899-12-30T00:00:00.250", "1899-12-30 00:00:00 cannot be stored"},
      {"CameraModel=Café", "Tag may contain only ASCII string data"},
      {"CameraModel=EOS\001X", "XMP text cannot hold the character U+0001"},
      {"Title=a\xC3\x28", "XMP text cannot hold the byte 0xC3, which is not valid UTF-8"},
      {"ExifImageWidth=4294967296", "Range check error"}};
  for (const auto& [assignment, message] : cases) {
    EXPECT_EQ(Write({"CameraMake=Changed", assignment}), 1) << assignment;
    EXPECT_NE(Errors.str().find(Path + ": "), std::string::npos) << Errors.str();
    EXPECT_NE(Errors.str().find(message), std::string::npos) << Errors.str();
    EXPECT_EQ(Read(), Original) << assignment;
  }
}

TEST_F(TheWriteCommand, AcceptsNonASCIITextWhenTheCheckIsOff) {
  Quorvane::Cli::TWriteOptions options;
  options.EnforceASCII = false;
  EXPECT_EQ(Write({"CameraModel=Café"}, options), 0) << Errors.str();
  EXPECT_EQ(Reload()->CameraModel(), "Café");
}

TEST_F(TheWriteCommand, MirrorsIntoXMPUnderTheChosenPolicy) {
  EXPECT_EQ(Write({"Software=One"}), 0);
  EXPECT_EQ(XMPValue(*Reload(), xnXMPBasic, "CreatorTool"), "(none)");  // update-existing adds nothing

  Quorvane::Cli::TWriteOptions options;
  options.Policy = "update-or-add";
  EXPECT_EQ(Write({"Software=Two"}, options), 0);
  EXPECT_EQ(XMPValue(*Reload(), xnXMPBasic, "CreatorTool"), "Two");
  EXPECT_EQ(XMPValue(*Reload(), xnXMPBasic, "creatortool"), "(none)");
  const Bytes before = Read();
  EXPECT_EQ(Write({"CameraModel=EOS\001X"}, options), 1);  // no XML parser could read the packet
  EXPECT_EQ(Read(), before);
  EXPECT_EQ(Write({"UserRating=2"}, options), 0);
  EXPECT_EQ(XMPValue(*Reload(), xnXMPBasic, "Rating"), "2");
  options.Policy = "remove";
  EXPECT_EQ(Write({"UserRating=5"}, options), 0);
  auto data = Reload();
  EXPECT_EQ(data->UserRating(), urFiveStars);
  EXPECT_EQ(XMPValue(*data, xnXMPBasic, "Rating"), "(none)");
  options.Policy = "sometimes";
  EXPECT_EQ(Write({"UserRating=1"}, options), 2);
}

TEST_F(TheWriteCommand, KeepsTheModificationTimeWhenAsked) {
  const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, Path.c_str(), old, 0), 0);
  Quorvane::Cli::TWriteOptions options;
  options.KeepModificationTime = true;
  EXPECT_EQ(Write({"CameraMake=Kept"}, options), 0);
  struct stat info {};
  ::stat(Path.c_str(), &info);
  EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(Write({"CameraMake=Now"}), 0);
  ::stat(Path.c_str(), &info);
  EXPECT_GT(info.st_mtim.tv_sec, 1000000000);
}

// A photo owned by someone else in a folder the user may write: it is saved, but the system does not
// let the user give it its former date, and the command says so.
TEST_F(TheWriteCommand, ReportsAModificationTimeItCouldNotKeep) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  fs::permissions(Folder, fs::perms::all);
  fs::permissions(Path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    Quorvane::Cli::TWriteOptions options;
    options.KeepModificationTime = true;
    const int status = Write({"CameraMake=Kept"}, options);
    const bool told = Errors.str() == "quorvane-cli: " + Path +
                                          ": saved, but its file date could not be kept: Operation not permitted\n";
    ::_exit(status * 10 + (told ? 1 : 0));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 11);
  EXPECT_EQ(Reload()->CameraMake(), "Kept");
}

TEST_F(TheWriteCommand, FailsOnAFileThatIsNotAJPEG) {
  std::ofstream(Path, std::ios::binary) << "not a photo";
  EXPECT_EQ(Write({"CameraMake=X"}), 1);
  EXPECT_NE(Errors.str().find("JPEG header is not valid"), std::string::npos);
  std::ifstream file(Path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "not a photo");
}

TEST_F(TheWriteCommand, ReportsUsageErrorsOfTheProgramWithStatus2) {
  const std::string cli = std::string(QUORVANE_BIN_DIR) + "/quorvane-cli";
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " write >/dev/null 2>&1").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " write --policy often " + Path + " >/dev/null 2>&1").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " write " + Path + " Nope=1 >/dev/null 2>&1").c_str())), 2);
  EXPECT_EQ(WEXITSTATUS(std::system((cli + " write --keep-mtime " + Path + " Copyright=Me").c_str())), 0);
  EXPECT_EQ(Reload()->Copyright(), "Me");
}

}  // namespace

// A raw file is never written: every editing command puts the edit into its sidecar and says so.
TEST_F(TheWriteCommand, PutsARawFilesEditIntoItsSidecarWhicheverCommandMakesIt) {
  ExifBuilder block;
  block.WithExifHeader = false;
  block.Primary.Ascii(ttMake, "Canon").Ascii(ttCopyright, "Old").Ascii(ttDateTime, "2024:05:03 14:22:07");
  const std::string raw = (Folder / "shot.tif").string();
  Zorp::Testing::WriteFileBytes(raw, block.Build());
  const Bytes before = Zorp::Testing::ReadFileBytes(raw);
  const struct {
    const char* Command;
    std::function<int(std::ostream&, std::ostream&)> Run;
  } cases[] = {
      {"write", [&](std::ostream& out, std::ostream& err) {
         return Quorvane::Cli::RunWrite(raw, {"Copyright=New"}, {}, err, &out);
       }},
      {"set", [&](std::ostream& out, std::ostream& err) {
         return Quorvane::Cli::RunSet(raw, "copyright", "New", "", err, &out);
       }},
      {"gps", [&](std::ostream& out, std::ostream& err) {
         return Quorvane::Cli::RunGps(std::string("10,20"), false, false, {raw}, out, err);
       }},
      {"shift", [&](std::ostream& out, std::ostream& err) {
         return Quorvane::Cli::RunShift("+01:00:00", false, {raw}, out, err);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Command);
    fs::remove(Folder / "shot.xmp");
    std::ostringstream out, err;
    EXPECT_EQ(c.Run(out, err), 0) << err.str();
    EXPECT_NE(out.str().find(raw + ": written to the XMP sidecar " + (Folder / "shot.xmp").string() + "\n"),
              std::string::npos)
        << out.str();
    EXPECT_TRUE(fs::exists(Folder / "shot.xmp"));
    EXPECT_EQ(Zorp::Testing::ReadFileBytes(raw), before);
  }
  // IPTC has no place in a sidecar: refused, nothing written.
  std::ostringstream ignored, refusal;
  EXPECT_EQ(Quorvane::Cli::RunWrite(raw, {"IPTC:City=Paris"}, {}, refusal, &ignored), 1);
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(raw), before);
  // The shift is kept in the sidecar, the only place it can live.
  auto shifted = TMetadataFile::Open(raw);
  EXPECT_EQ(XMPValue(shifted->Exif(), xnXMPBasic, "ModifyDate"), "2024-05-03T15:22:07");
}

// IPTC datasets by name: set, repeated from ";"-separated values, created where the photo had none;
// refused for an unknown name and for a file whose edits go to an XMP sidecar.
TEST_F(TheWriteCommand, SetsIPTCDatasetsByName) {
  const struct {
    std::vector<std::string> Assignments;
    int Status;
    std::vector<std::string> City, Keywords;
  } cases[] = {
      {{"IPTC:City=Paris"}, 0, {"Paris"}, {}},
      {{"IPTC:Keywords=sea; sky;", "IPTC:City="}, 0, {}, {"sea", "sky"}},
      {{"IPTC:Nope=1"}, 2, {}, {}},
      {{"IPTC:City=" + std::string(40, 'x')}, 1, {}, {}},  // City holds 32 bytes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Assignments.front());
    Zorp::Testing::WriteFileBytes(Path, Original);
    EXPECT_EQ(Write(c.Assignments), c.Status) << Errors.str();
    if (c.Status != 0) {
      EXPECT_EQ(Read(), Original);
      continue;
    }
    auto data = Reload();
    EXPECT_EQ(data->IPTC().Values("City"), c.City);
    EXPECT_EQ(data->IPTC().Values("Keywords"), c.Keywords);
    EXPECT_FALSE(data->IPTC().DigestIsStale());
  }
}
