// The metadata file layer: which format a file name or a file's first bytes give, how sidecars are
// found, listed and written, and that a file its format does not write is never touched.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ExifBuilder.h"
#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "core/XmpListing.h"
#include "zorp/exif/MWG.h"
#include "zorp/exif/MetadataFile.h"
#include "zorp/exif/XMPPacket.h"

using namespace Zorp::Exif;
using Zorp::Testing::ExifBuilder;
using Zorp::Testing::ReadFileBytes;
using Zorp::Testing::WriteFileBytes;

namespace {

namespace fs = std::filesystem;

// A JPEG that a format declines to write: its edits must go to the sidecar.
class TReadOnlyJPEG final : public TMetadataFileFormat {
 public:
  std::string_view Name() const override { return "read-only JPEG"; }
  std::span<const std::string_view> Extensions() const override { return {}; }
  bool Recognizes(std::span<const std::uint8_t>, std::string_view) const override { return false; }
  bool WritesInPlace() const override { return false; }
  void Load(TMetadataFile& file) const override { file.Exif().LoadFromJPEG(file.FileName()); }
};
const TReadOnlyJPEG ReadOnlyJPEG;

const std::string SidecarText =
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:Rating=\"4\" "
    "xmlns:crs=\"http://ns.adobe.com/camera-raw-settings/1.0/\" crs:Exposure2012=\"+0.50\"/>"
    "</rdf:RDF></x:xmpmeta>";

std::vector<std::uint8_t> Photo() {
  ExifBuilder block;
  block.Primary.Ascii(0x010F, "Canon").Ascii(0x8298, "Old owner");
  return ExifBuilder::Jpeg({block.Build()});
}

void WriteText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string ReadText(const fs::path& path) {
  const auto bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> Captions(const Quorvane::Viewer::TListRows& rows) {
  std::vector<std::string> captions;
  for (const auto& row : rows) captions.push_back(row.Caption);
  return captions;
}

}  // namespace

TEST(AFileFormat, IsNamedByTheExtensionInAnyCaseOrRecognisedByItsFirstBytes) {
  const struct {
    const char* Name;
    std::vector<std::uint8_t> Head;
    const char* Format;  // nullptr: none
  } cases[] = {
      {"a/photo.jpg", {}, "JPEG"},       {"PHOTO.JPEG", {}, "JPEG"},
      {"block.exif", {}, "JPEG"},        {"notes.txt", {}, nullptr},
      {"dir.jpg/file", {}, nullptr},     {".jpg", {}, nullptr},
      {"photo.bin", {0xFF, 0xD8, 0xFF, 0xE1}, "JPEG"}, {"photo.bin", {0xFF, 0xD8}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TMetadataFileFormat* format = c.Head.empty() ? FileFormatOfName(c.Name) : RecognizeFileFormat(c.Head, c.Name);
    EXPECT_EQ(format ? std::string(format->Name()) : "none", c.Format ? c.Format : "none");
    if (c.Head.empty()) { EXPECT_EQ(IsMetadataFileName(c.Name), c.Format != nullptr); }
  }
}

TEST(ASidecar, IsFoundByEitherNamingAndAFullNameWins) {
  const struct {
    std::vector<const char*> Present;
    const char* Found;
  } cases[] = {
      {{}, ""},
      {{"p.xmp"}, "p.xmp"},
      {{"p.XMP"}, "p.XMP"},
      {{"p.nef.xmp"}, "p.nef.xmp"},
      {{"p.xmp", "p.nef.xmp"}, "p.nef.xmp"},
      {{"p.nef.XMP", "p.XMP"}, "p.nef.XMP"},
  };
  for (const auto& c : cases) {
    const fs::path folder = Zorp::Testing::FreshTestFolder("quorvane-sidecar-find");
    for (const char* name : c.Present) WriteText(folder / name, SidecarText);
    const std::string found = TMetadataFile::FindSidecar((folder / "p.nef").string());
    EXPECT_EQ(found.empty() ? "" : fs::path(found).filename().string(), c.Found);
    fs::remove_all(folder);
  }
  EXPECT_EQ(TMetadataFile::NewSidecarName("/a.b/p.nef"), "/a.b/p.xmp");
  EXPECT_EQ(TMetadataFile::NewSidecarName("/a.b/p"), "/a.b/p.xmp");
}

class ASidecarBeside : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = Zorp::Testing::FreshTestFolder("quorvane-sidecar");
    PhotoName = (Folder / "p.jpg").string();
    WriteFileBytes(PhotoName, Photo());
  }
  void TearDown() override { fs::remove_all(Folder); }

  std::unique_ptr<TMetadataFile> OpenReadOnly() {
    auto file = std::make_unique<TMetadataFile>(PhotoName, ReadOnlyJPEG);
    file->Load();
    return file;
  }

  fs::path Folder;
  std::string PhotoName;
};

TEST_F(ASidecarBeside, AJPEGIsListedUnderItsOriginAndNeverWritten) {
  WriteText(Folder / "p.xmp", SidecarText);
  auto file = TMetadataFile::Open(PhotoName);
  Quorvane::Viewer::TListRows rows;
  Quorvane::Viewer::ListXMP(rows, *file);
  EXPECT_EQ(Captions(rows), (std::vector<std::string>{"No XMP packet found", "XMP sidecar p.xmp",
                                                      "crs:Exposure2012", "xmp:Rating"}));
  file->Exif().SetCopyright("New owner");
  file->Save();
  EXPECT_EQ(ReadText(Folder / "p.xmp"), SidecarText);
  EXPECT_EQ(TMetadataFile::Open(PhotoName)->Exif().Copyright(), "New owner");
}

TEST_F(ASidecarBeside, AReadOnlyFileTakesItsEditsKeepingEveryOtherProperty) {
  const auto before = ReadFileBytes(PhotoName);
  for (const bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "existing sidecar" : "new sidecar");
    fs::remove(Folder / "p.xmp");
    if (existing) WriteText(Folder / "p.xmp", SidecarText);
    auto file = OpenReadOnly();
    file->Exif().SetCopyright("New owner");
    file->Save();
    EXPECT_EQ(file->SidecarFileName(), (Folder / "p.xmp").string());
    EXPECT_EQ(ReadFileBytes(PhotoName), before);
    const auto again = OpenReadOnly();
    const auto values = ListXMPValues(again->XMP());
    EXPECT_NE(std::find(values.begin(), values.end(), "dc:rights[x-default] = New owner"), values.end());
    EXPECT_EQ(std::find(values.begin(), values.end(), "crs:Exposure2012 = +0.50") != values.end(), existing);
  }
}

TEST_F(ASidecarBeside, ThatCannotBeReadOrWasChangedMeanwhileIsNotReplaced) {
  const struct {
    const char* Case;
    std::string Before;  // the sidecar at load; empty: none
    std::string After;   // written by another program before the save
  } cases[] = {
      {"not XMP", "not xml at all", ""},
      {"changed", SidecarText, SidecarText + " "},
      {"created", "", SidecarText},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    fs::remove(Folder / "p.xmp");
    if (!c.Before.empty()) WriteText(Folder / "p.xmp", c.Before);
    auto file = OpenReadOnly();
    if (!c.After.empty()) WriteText(Folder / "p.xmp", c.After);
    const std::string expected = c.After.empty() ? c.Before : c.After;
    file->Exif().SetCopyright("New owner");
    EXPECT_ANY_THROW(file->Save());
    EXPECT_EQ(ReadText(Folder / "p.xmp"), expected);
  }
}

TEST_F(ASidecarBeside, ARawFileOpensReadOnlyAndItsEditsGoToTheSidecar) {
  ExifBuilder block;
  block.WithExifHeader = false;
  block.Primary.Ascii(0x010F, "Canon").Ascii(0x8298, "Old owner").Short(0x0100, {16}).Short(0x0101, {8});
  const std::string raw = (Folder / "p.tif").string();
  WriteFileBytes(raw, block.Build());
  const auto before = ReadFileBytes(raw);
  EXPECT_TRUE(IsMetadataFileName(raw));
  auto file = TMetadataFile::Open(raw);
  EXPECT_EQ(file->Format().Name(), "TIFF");
  EXPECT_FALSE(file->WritesInPlace());
  EXPECT_EQ(file->Exif().Copyright(), "Old owner");
  file->Exif().SetCopyright("New owner");
  file->Save();
  EXPECT_EQ(ReadFileBytes(raw), before);
  auto again = TMetadataFile::Open(raw);
  EXPECT_EQ(ReadMWGValue(*again, mvCopyright).Value, "New owner");
  Quorvane::Viewer::TListRows rows;
  Quorvane::Viewer::ListXMP(rows, *again);
  EXPECT_EQ(Captions(rows), (std::vector<std::string>{"XMP sidecar p.xmp", "dc:rights[x-default]"}));
  // A TIFF named as a JPEG is still read as what it holds.
  fs::copy_file(raw, Folder / "q.jpg");
  EXPECT_EQ(TMetadataFile::Open((Folder / "q.jpg").string())->Format().Name(), "TIFF");
}
