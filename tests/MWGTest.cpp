// The values Exif, IPTC and XMP each hold a copy of: which copy a reader is shown when they differ,
// and that an edit reaches the IPTC copy, so that ExifTool's reconciled tags read the edit.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "ExifBuilder.h"
#include "IPTCBytes.h"
#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "core/PropertySetters.h"
#include "zorp/exif/MWG.h"
#include "zorp/exif/MetadataFile.h"
#include "zorp/exif/XMPPacket.h"

using namespace Zorp::Exif;
using namespace Zorp::Testing;

namespace {

namespace fs = std::filesystem;

enum TDigest { dgNone, dgCurrent, dgStale };

// A photo with an Exif copyright, an IPTC copyright under a digest, an XMP copyright; "" leaves a copy out.
TBytes CopyrightPhoto(const std::string& exif, const std::string& iptc, TDigest digest, const std::string& xmp,
                      const TBytes& moreIPTC = {}) {
  std::vector<std::pair<std::uint8_t, TBytes>> segments;
  ExifBuilder block;
  block.Primary.Ascii(0x010F, "Canon");
  if (!exif.empty()) block.Primary.Ascii(0x8298, exif);
  segments.emplace_back(jmApp1, block.Build());
  if (!xmp.empty()) {
    const std::string packet =
        std::string(XMPSignature) +
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:rights><rdf:Alt>"
        "<rdf:li xml:lang=\"x-default\">" + xmp + "</rdf:li></rdf:Alt></dc:rights></rdf:Description></rdf:RDF></x:xmpmeta>";
    segments.emplace_back(jmApp1, TBytes(packet.begin(), packet.end()));
  }
  if (!iptc.empty() || !moreIPTC.empty()) {
    TBytes records = Join({Dataset(2, 0, std::string("\0\4", 2)), moreIPTC});
    if (!iptc.empty()) records = Join({records, Dataset(2, 116, iptc)});
    TBytes resources = Resource(0x0404, "", records);
    if (digest == dgCurrent) resources = Join({resources, DigestResource(records)});
    if (digest == dgStale) resources = Join({resources, DigestResource(Dataset(2, 116, "earlier"))});
    segments.emplace_back(jmApp13, PhotoshopSegment(resources));
  }
  return Photo(segments);
}

class TheCopies : public ::testing::Test {
 protected:
  void SetUp() override { Folder = FreshTestFolder("quorvane-mwg"); }
  void TearDown() override { fs::remove_all(Folder); }
  std::unique_ptr<TMetadataFile> Open(const TBytes& photo) {
    const std::string path = (Folder / "p.jpg").string();
    WriteFileBytes(path, photo);
    return TMetadataFile::Open(path);
  }
  fs::path Folder;
};

}  // namespace

TEST_F(TheCopies, AreReadExifFirstThenXMPUnlessAStaleDigestShowsTheIPTCIsNewer) {
  const struct {
    const char *Exif, *IPTC;
    TDigest Digest;
    const char* XMP;
    const char* Shown;
    TMWGSource Source;
    bool Disagree;
  } cases[] = {
      {"E", "", dgNone, "", "E", msExif, false},
      {"E", "E", dgCurrent, "E", "E", msExif, false},
      {"E", "I", dgNone, "X", "E", msExif, true},
      {"", "I", dgNone, "X", "X", msXMP, true},      // no digest: nothing says the IPTC is newer
      {"", "I", dgCurrent, "X", "X", msXMP, true},   // written together: the XMP copy is the full one
      {"", "I", dgStale, "X", "I", msIPTC, true},    // the IPTC changed after the XMP
      {"", "I", dgCurrent, "", "I", msIPTC, false},
      {"", "", dgNone, "X", "X", msXMP, false},
      {"", "", dgNone, "", "", msNone, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Exif) + "/" + c.IPTC + "/" + std::to_string(c.Digest) + "/" + c.XMP);
    auto file = Open(CopyrightPhoto(c.Exif, c.IPTC, c.Digest, c.XMP));
    const TMWGReading reading = ReadMWGValue(*file, mvCopyright);
    EXPECT_EQ(reading.Value, c.Shown);
    EXPECT_EQ(reading.Source, c.Source);
    EXPECT_EQ(reading.Disagree, c.Disagree);
  }
}

TEST_F(TheCopies, CompareListsAsSetsAndDatesToTheirCommonPrecision) {
  auto file = Open(CopyrightPhoto("", "", dgNone, "",
                                  Join({Dataset(2, 25, "b"), Dataset(2, 25, "a"), Dataset(2, 55, "20240503"),
                                        Dataset(2, 60, "142207+0200")})));
  file->Exif().SetKeywords("a; b");
  const TMWGReading keywords = ReadMWGValue(*file, mvKeywords);
  EXPECT_EQ(keywords.Value, "b; a");
  EXPECT_EQ(keywords.Source, msIPTC);
  EXPECT_FALSE(keywords.Disagree);
  file->Exif().SetDateTimeOriginal(Zorp::Base::EncodeDateTime(2024, 5, 3, 14, 22, 7, 0));
  const TMWGReading taken = ReadMWGValue(*file, mvDateTimeOriginal);
  EXPECT_EQ(taken.Value, "2024:05:03 14:22:07");
  EXPECT_EQ(taken.Copies.IPTC, "2024:05:03 14:22:07");
  EXPECT_FALSE(taken.Disagree);
}

TEST_F(TheCopies, FollowAnEditIntoTheIPTCOnlyWhereThePhotoHoldsIPTC) {
  const struct {
    const char* Key;
    std::string Value;
    bool WithIPTC;
    const char* Dataset;
    std::vector<std::string> Expected;  // the dataset's values after the edit
    bool Refused;
  } cases[] = {
      {"copyright", "Ana", true, "CopyrightNotice", {"Ana"}, false},
      {"keywords", "sea; sky", true, "Keywords", {"sea", "sky"}, false},
      {"author", "Ana; Ben", true, "By-line", {"Ana", "Ben"}, false},
      {"date-time-original", "2024-05-03 14:22:07", true, "TimeCreated", {"142207"}, false},
      {"copyright", "Ana", false, "CopyrightNotice", {}, false},
      {"author", std::string(40, 'x'), true, "By-line", {}, true},  // By-line holds 32 bytes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Key) + (c.WithIPTC ? " with IPTC" : " without IPTC"));
    auto file = Open(CopyrightPhoto("Old", c.WithIPTC ? "Old" : "", dgNone, ""));
    if (c.Refused) {
      EXPECT_ANY_THROW(Quorvane::Viewer::SetPropertyFromText(file->Exif(), c.Key, c.Value));
      EXPECT_EQ(file->Exif().Author(), "");
      continue;
    }
    Quorvane::Viewer::SetPropertyFromText(file->Exif(), c.Key, c.Value);
    file->Save();
    const auto again = TMetadataFile::Open(file->FileName());
    EXPECT_EQ(again->Exif().IPTC().Values(c.Dataset), c.Expected);
    EXPECT_EQ(again->Exif().IPTC().HasDatasets(), c.WithIPTC);
  }
}

TEST_F(TheCopies, EditedAreReadBackByExifToolsReconciledTags) {
  if (!HasExifTool()) GTEST_SKIP() << "exiftool is not installed";
  auto file = Open(CopyrightPhoto("Old", "Old", dgCurrent, "Old"));
  Quorvane::Viewer::SetPropertyFromText(file->Exif(), "copyright", "New owner");
  file->Save();
  const std::string quoted = "'" + file->FileName() + "'";
  EXPECT_EQ(RunCommand("exiftool -s3 -MWG:Copyright -IPTC:CopyrightNotice " + quoted), "New owner\nNew owner\n");
  EXPECT_EQ(RunCommand("exiftool -validate -warning -a -s3 " + quoted + " | grep -ci iptc"), "0\n");
}
