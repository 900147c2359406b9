// IPTC in Photoshop APP13 segments: parsing resources and datasets (cut, extended, spread over
// segments), the character set, edits against the dataset table, the digest, saving in place of the
// old segments, the listing rows, and ExifTool's view of a written photo.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ByteBuilder.h"
#include "ExifBuilder.h"
#include "IPTCBytes.h"
#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "core/IptcListing.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/IPTC.h"

namespace {

using namespace Zorp::Exif;
using namespace Zorp::Testing;

// The markers and data of the segments up to the scan, in order.
std::vector<std::pair<std::uint8_t, TBytes>> SegmentsOf(const TBytes& jpeg) {
  std::vector<std::pair<std::uint8_t, TBytes>> segments;
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != jmStartOfScan) {
    const std::size_t size = (jpeg[at + 2] << 8 | jpeg[at + 3]) - 2u;
    segments.emplace_back(jpeg[at + 1], TBytes(jpeg.begin() + at + 4, jpeg.begin() + at + 4 + size));
    at += 4 + size;
  }
  return segments;
}

TIPTCData Parsed(const TBytes& resources) {
  TIPTCData iptc;
  iptc.LoadFromResources(resources);
  return iptc;
}

const TBytes Resolution = Resource(0x03ED, "", TBytes{0, 72, 0, 0, 0, 1, 0, 1, 0, 72, 0, 0, 0, 1, 0, 1});
const TBytes Keywords = Join({Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 25, "one"), Dataset(2, 25, "two"),
                              Dataset(2, 5, "Title"), Dataset(2, 25, "three")});

// ---- Reading ---------------------------------------------------------------------------------------

struct TReadCase {
  const char* Name;
  TBytes Resources;
  std::uint8_t Number;  // dataset of record 2 compared
  std::vector<std::string> Values;
  bool Writable;
  std::size_t UnparsedIPTC;
};

TEST(AnIPTCReader, ReadsDatasetsInFileOrderWhateverTheirFraming) {
  const TBytes latin1 = Dataset(2, 120, "Caf\xE9 cr\xE8me");
  const TReadCase cases[] = {
      {"repeated keywords", Join({Resolution, Resource(0x0404, "", Keywords)}), 25, {"one", "two", "three"}, true, 0},
      {"UTF-8 with 1:90", Resource(0x0404, "", Join({Dataset(1, 90, "\x1B%G"), Dataset(2, 120, "Caf\xC3\xA9")})), 120,
       {"Café"}, true, 0},
      {"Latin-1 without 1:90", Resource(0x0404, "", latin1), 120, {"Café crème"}, true, 0},
      {"UTF-8 bytes without 1:90", Resource(0x0404, "", Dataset(2, 120, "\xC3\xA9t\xC3\xA9")), 120, {"été"}, true, 0},
      {"extended size, 2 bytes", Resource(0x0404, "", ExtendedDataset(2, 120, "long caption", 2)), 120,
       {"long caption"}, true, 0},
      {"extended size, 4 bytes", Resource(0x0404, "", ExtendedDataset(2, 120, "x", 4)), 120, {"x"}, true, 0},
      {"odd name before", Join({Resource(0x03ED, "a", TBytes{1, 2, 3}), Resource(0x0404, "abc", Keywords)}), 25,
       {"one", "two", "three"}, true, 0},
      {"even name before", Join({Resource(0x03ED, "ab", TBytes{1, 2}, 0x20), Resource(0x0404, "", Keywords)}), 25,
       {"one", "two", "three"}, true, 0},
      {"truncated dataset", Resource(0x0404, "", Join({Dataset(2, 25, "kept"), TBytes{0x1C, 2, 25, 0, 40, 'c', 'u'}})),
       25, {"kept"}, true, 7},
      {"extended size of 9 bytes", Resource(0x0404, "", Join({Dataset(2, 25, "kept"), TBytes{0x1C, 2, 120, 0x80, 9, 1}})),
       25, {"kept"}, true, 6},
      {"truncated resource", Join({Resolution, CutShort(Resource(0x0404, "", Keywords), 6)}),
       25, {}, false, 0},
      {"padding behind the blocks", Join({Resource(0x0404, "", Dataset(2, 25, "k")), TBytes(3, 0)}), 25, {"k"}, true, 0},
  };
  for (const TReadCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TIPTCData iptc = Parsed(c.Resources);
    EXPECT_EQ(iptc.Values(2, c.Number), c.Values);
    EXPECT_EQ(iptc.Writable(), c.Writable);
    EXPECT_EQ(iptc.UnparsedIPTCBytes().size(), c.UnparsedIPTC);
    // Every byte is in a block or kept as an unparsed tail, so nothing is lost on a write.
    EXPECT_EQ(iptc.ResourceBytes(), c.Resources);
  }
}

TEST(AnIPTCReader, KeepsOtherRecordsAndResourcesByteForByte) {
  const TBytes odd = Resource(0x0BB7, "odd", TBytes{9, 8, 7}, 0);
  const TBytes iptc = Join({Dataset(1, 90, "\x1B%G"), Dataset(2, 25, "k"), Dataset(7, 10, "x"), Dataset(9, 10, "y")});
  const TIPTCData data = Parsed(Join({odd, Resource(0x0404, "", iptc), Resolution}));
  ASSERT_EQ(data.Resources().size(), 3u);
  EXPECT_EQ(data.Resources()[0].Raw, odd);
  EXPECT_EQ(data.Resources()[2].Raw, Resolution);
  EXPECT_EQ(data.Datasets().size(), 4u);
  EXPECT_TRUE(data.IsUTF8());
  EXPECT_EQ(data.ResourceBytes(), Join({odd, Resource(0x0404, "", iptc), Resolution}));
}

TEST(AnIPTCReader, JoinsResourcesSpreadOverTwoSegments) {
  const TBytes resources = Join({Resolution, Resource(0x0404, "", Keywords), DigestResource(Keywords)});
  const std::size_t cut = Resolution.size() + 9;  // inside the IPTC block's header
  const TBytes photo = Photo({{jmApp13, PhotoshopSegment(TBytes(resources.begin(), resources.begin() + cut))},
                              {jmApp1, TBytes{'x'}},
                              {jmApp13, PhotoshopSegment(TBytes(resources.begin() + cut, resources.end()))}});
  TExifData data;
  LoadJPEG(data, photo);
  EXPECT_TRUE(data.SourceMetadata().Contains(mkIPTC));
  EXPECT_EQ(data.PendingIPTCSegments().size(), 2u);
  EXPECT_EQ(data.IPTC().Values("Keywords"), (std::vector<std::string>{"one", "two", "three"}));
  EXPECT_FALSE(data.IPTC().DigestIsStale());
}

TEST(AnIPTCReader, TellsAStaleDigest) {
  const TBytes other = Join({Keywords, Dataset(2, 25, "four")});
  const struct {
    const char* Name;
    TBytes Resources;
    bool Stale;
  } cases[] = {
      {"current", Join({Resource(0x0404, "", Keywords), DigestResource(Keywords)}), false},
      {"of other data", Join({Resource(0x0404, "", Keywords), DigestResource(other)}), true},
      {"cut short", Join({Resource(0x0404, "", Keywords), Resource(0x0425, "", TBytes(8, 1))}), true},
      {"absent", Resource(0x0404, "", Keywords), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(Parsed(c.Resources).DigestIsStale(), c.Stale);
  }
}

TEST(AnAdobeSegmentEnumerator, ReportsTheWholeBlocksOfOneSegment) {
  const TBytes whole = Resource(0x0404, "ab", Keywords);
  const struct {
    const char* Name;
    TBytes Data;
    std::vector<std::string> Blocks;  // ID:name:data size
  } cases[] = {
      {"odd and even names", PhotoshopSegment(Join({Resource(0x03ED, "a", TBytes(3, 1)), whole})),
       {"1005:a:3", "1028:ab:" + std::to_string(Keywords.size())}},
      {"cut behind the first", PhotoshopSegment(Join({Resolution, CutShort(whole, 2)})), {"1005::16"}},
      {"not Photoshop", Join({ByteBuilder().Text("Adobe_CM").Fill(12).Data(), Resolution}), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TUserJPEGSegment segment(jmApp13);
    segment.Data().WriteBuffer(c.Data.data(), static_cast<std::int64_t>(c.Data.size()));
    std::vector<std::string> blocks;
    for (auto enumerator = segment.GetEnumerator(); enumerator->MoveNext();) {
      const auto block = enumerator->Current();
      EXPECT_EQ(block->Signature(), "8BIM");
      blocks.push_back(std::to_string(block->TypeID()) + ":" + block->Name() + ":" + std::to_string(block->Data().Size()));
    }
    EXPECT_EQ(blocks, c.Blocks);
  }
}

// ---- Editing ---------------------------------------------------------------------------------------

TEST(AnIPTCEdit, RefusesWhatTheDatasetCannotHoldAndChangesNothing) {
  const struct {
    const char* Dataset;
    std::vector<std::string> Values;
    std::string Message;
  } cases[] = {
      {"Keywords", {std::string(65, 'k')}, "The IPTC Keywords (2:25) value of 65 bytes exceeds its limit of 64 bytes"},
      {"Keywords", {std::string(32, '\xC3') + std::string(1, 'a')}, "The IPTC Keywords (2:25) value is not valid UTF-8 text"},
      {"ObjectName", {"a", "b"}, "The IPTC ObjectName dataset holds one value only, not 2"},
      {"DateCreated", {"2024-01-02"}, "The IPTC DateCreated (2:55) value \"2024-01-02\" is not in the form CCYYMMDD"},
      {"TimeCreated", {"1200"}, "The IPTC TimeCreated (2:60) value \"1200\" is not in the form HHMMSS+HHMM"},
      {"Urgency", {"12"}, "The IPTC Urgency (2:10) value of 2 bytes exceeds its limit of 1 bytes"},
      {"Urgency", {"x"}, "The IPTC Urgency (2:10) value \"x\" is not in the form of digits"},
      {"Rating", {"1"}, "There is no IPTC dataset Rating"},
      {"City", {"K\xC3\xB6ln"},
       "Non-ASCII text needs IPTC in UTF-8, which would make the Credit (2:110) value 33 bytes long, over its limit of "
       "32 bytes"},
  };
  // A Credit of 32 Latin-1 bytes, one of them the copyright sign, which takes two in UTF-8.
  const TBytes resources =
      Resource(0x0404, "", Join({Dataset(2, 110, "\xA9" + std::string(31, 'c')), Dataset(2, 120, "Caf\xE9"), Keywords}));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Message);
    TIPTCData iptc = Parsed(resources);
    EXPECT_THROW_MSG(iptc.SetValues(c.Dataset, c.Values), EInvalidIPTCValue, c.Message);
    EXPECT_FALSE(iptc.Modified());
    EXPECT_EQ(iptc.ResourceBytes(), resources);
  }
}

TEST(AnIPTCEdit, PlacesValuesAndConvertsToUTF8WhenNeeded) {
  const struct {
    const char* Name;
    TBytes Iptc;
    const char* Dataset;
    std::vector<std::string> Values;
    TBytes Expected;
  } cases[] = {
      {"keywords replaced in place", Keywords, "Keywords", {"a", "b"},
       Join({Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 25, "a"), Dataset(2, 25, "b"), Dataset(2, 5, "Title")})},
      {"removed", Keywords, "Keywords", {}, Join({Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 5, "Title")})},
      {"new one in number order", Join({Dataset(2, 0, std::string("\0\2", 2)), Dataset(2, 120, "c")}), "City", {"Paris"},
       Join({Dataset(2, 0, std::string("\0\2", 2)), Dataset(2, 90, "Paris"), Dataset(2, 120, "c")})},
      {"record version added", TBytes{}, "ObjectName", {"T"},
       Join({Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 5, "T")})},
      {"Latin-1 texts converted", Join({Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 120, "Caf\xE9")}), "City",
       {"K\xC3\xB6ln"},
       Join({Dataset(1, 90, "\x1B%G"), Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 90, "K\xC3\xB6ln"),
             Dataset(2, 120, "Caf\xC3\xA9")})},
      {"ASCII keeps Latin-1", Join({Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 120, "Caf\xE9")}), "City", {"Koeln"},
       Join({Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 90, "Koeln"), Dataset(2, 120, "Caf\xE9")})},
      {"UTF-8 already", Join({Dataset(1, 90, "\x1B%G"), Dataset(2, 0, std::string("\0\4", 2))}), "City", {"K\xC3\xB6ln"},
       Join({Dataset(1, 90, "\x1B%G"), Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 90, "K\xC3\xB6ln")})},
      {"extended kept, 40000 bytes in", ExtendedDataset(2, 202, std::string(40000, 'p'), 4), "Keywords", {"k"},
       Join({Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 25, "k"), ExtendedDataset(2, 202, std::string(40000, 'p'), 4)})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIPTCData iptc = Parsed(Resource(0x0404, "", c.Iptc));
    iptc.SetValues(c.Dataset, c.Values);
    EXPECT_TRUE(iptc.Modified());
    const TIPTCData written = Parsed(iptc.ResourceBytes());
    ASSERT_EQ(written.Resources().size(), 1u);
    EXPECT_EQ(written.Resources()[0].Data, c.Expected);
  }
}

TEST(AnIPTCEdit, IsRefusedWhenResourcesCouldNotBeReadWhole) {
  const TBytes whole = Resource(0x0404, "", Keywords);
  TIPTCData iptc = Parsed(Join({Resolution, TBytes(whole.begin(), whole.end() - 4)}));
  EXPECT_THROW_MSG(iptc.SetValues("Keywords", {"x"}), EIPTCNotWritable, SIPTCNotWritable);
  EXPECT_FALSE(iptc.Modified());
}

// ---- Saving ----------------------------------------------------------------------------------------

struct TSaved {
  TBytes Photo;
  std::unique_ptr<TExifData> Data;
};

TSaved EditAndSave(const TBytes& photo, const std::vector<std::string>& keywords) {
  TExifData data;
  LoadJPEG(data, photo);
  data.IPTC().SetValues("Keywords", keywords);
  TSaved saved{SaveJPEG(data, photo), std::make_unique<TExifData>()};
  Zorp::Base::TUserMemoryStream written(saved.Photo.data(), static_cast<std::int64_t>(saved.Photo.size()));
  data.VerifySavedJPEG(written);
  LoadJPEG(*saved.Data, saved.Photo);
  return saved;
}

TEST(AnIPTCSave, RewritesOnlyTheIPTCResourceAndItsDigestInPlaceOfTheOldSegment) {
  const TBytes thumbnailish = Resource(0x040C, "", TBytes(301, 0xAB));
  const TBytes resources = Join({Resolution, Resource(0x0404, "", Keywords), Resource(0x0425, "", MD5Digest({})),
                                 thumbnailish});
  const TBytes photo = Photo({{jmApp1, TBytes{'o', 't', 'h', 'e', 'r'}}, {jmApp13, PhotoshopSegment(resources)},
                              {0xEE, TBytes{'A', 'd', 'o', 'b', 'e'}}});
  const TSaved saved = EditAndSave(photo, {"neu", "zwei"});

  TIPTCData& iptc = saved.Data->IPTC();
  EXPECT_EQ(iptc.Values("Keywords"), (std::vector<std::string>{"neu", "zwei"}));
  EXPECT_EQ(iptc.Values("ObjectName"), std::vector<std::string>{"Title"});
  EXPECT_FALSE(iptc.DigestIsStale());
  ASSERT_EQ(iptc.Resources().size(), 4u);
  EXPECT_EQ(iptc.Resources()[0].Raw, Resolution);
  EXPECT_EQ(iptc.Resources()[3].Raw, thumbnailish);
  // Same segments in the same order; only the APP13 data differs.
  const auto before = SegmentsOf(photo), after = SegmentsOf(saved.Photo);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].first, before[i].first);
    if (before[i].first != jmApp13) {
      EXPECT_EQ(after[i].second, before[i].second);
    }
  }
  EXPECT_EQ(FromStartOfScan(saved.Photo), FromStartOfScan(photo));
}

TEST(AnIPTCSave, CopiesTheSegmentsUnchangedWithoutAnEdit) {
  const TBytes whole = Resource(0x0404, "", Keywords);
  const struct {
    const char* Name;
    TBytes Photo;
    bool Read;
  } cases[] = {
      {"stale digest, read", PhotoWithResources(Join({whole, DigestResource({})})), true},
      {"stale digest, never read", PhotoWithResources(Join({whole, DigestResource({})})), false},
      {"truncated resource", PhotoWithResources(Join({Resolution, TBytes(whole.begin(), whole.end() - 5)})), true},
      {"truncated dataset", PhotoWithResources(Resource(0x0404, "", Join({Keywords, TBytes{0x1C, 2, 5, 0, 9, 'a'}}))), true},
      {"two segments", Photo({{jmApp13, PhotoshopSegment(TBytes(whole.begin(), whole.begin() + 10))},
                              {jmApp13, PhotoshopSegment(TBytes(whole.begin() + 10, whole.end()))}}),
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TExifData data;
    LoadJPEG(data, c.Photo);
    if (c.Read) (void)data.IPTC().Values("Keywords");
    data.SetCameraMake("Maker");  // an Exif edit: the save writes an Exif segment
    const TBytes saved = SaveJPEG(data, c.Photo);
    auto app13 = [](const TBytes& jpeg) {
      std::vector<TBytes> found;
      for (auto& [marker, bytes] : SegmentsOf(jpeg))
        if (marker == jmApp13) found.push_back(bytes);
      return found;
    };
    EXPECT_EQ(app13(saved), app13(c.Photo));
  }
}

TEST(AnIPTCSave, EditsKeepWhatCouldNotBeParsed) {
  const TBytes cut = TBytes{0x1C, 2, 5, 0, 9, 'a'};
  const TBytes photo = PhotoWithResources(Join({Resource(0x0404, "", Join({Keywords, cut})), Resolution, TBytes(2, 0)}));
  const TSaved saved = EditAndSave(photo, {"k"});
  TIPTCData& iptc = saved.Data->IPTC();
  EXPECT_EQ(iptc.Values("Keywords"), std::vector<std::string>{"k"});
  EXPECT_EQ(TBytes(iptc.UnparsedIPTCBytes().begin(), iptc.UnparsedIPTCBytes().end()), cut);
  EXPECT_EQ(TBytes(iptc.UnparsedResourceBytes().begin(), iptc.UnparsedResourceBytes().end()), TBytes(2, 0));
  EXPECT_EQ(iptc.Resources().back().Raw, Resolution);
}

TEST(AnIPTCSave, ReplacesSeveralSegmentsAndSplitsLargeResources) {
  const TBytes whole = Join({Resource(0x0404, "", Keywords), Resolution});
  const struct {
    const char* Name;
    TBytes Photo;
    std::size_t KeywordCount;
    std::size_t Segments;
  } cases[] = {
      {"two old segments become one", Photo({{jmApp13, PhotoshopSegment(TBytes(whole.begin(), whole.begin() + 12))},
                                             {jmApp1, TBytes{'x'}},
                                             {jmApp13, PhotoshopSegment(TBytes(whole.begin() + 12, whole.end()))}}),
       3, 1},
      {"large resources take two", Photo({{jmApp13, PhotoshopSegment(Join({whole, Resource(0x0BB8, "", TBytes(60000, 7))}))},
                                          {jmApp13, PhotoshopSegment(Resource(0x0BB9, "", TBytes(10000, 8)))}}),
       3, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TSaved saved = EditAndSave(c.Photo, std::vector<std::string>(c.KeywordCount, "w"));
    std::size_t segments = 0;
    for (auto& [marker, bytes] : SegmentsOf(saved.Photo)) segments += marker == jmApp13;
    EXPECT_EQ(segments, c.Segments);
    EXPECT_EQ(saved.Data->IPTC().Values("Keywords").size(), c.KeywordCount);
    EXPECT_FALSE(saved.Data->IPTC().DigestIsStale());
  }
}

TEST(AnIPTCSave, GivesAPhotoWithoutIPTCANewSegmentBehindExifAndXMP) {
  ExifBuilder exif = CanonCamera();
  const TBytes xmp = Join({TBytes{'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.', 'a', 'd', 'o', 'b', 'e', '.', 'c',
                                  'o', 'm', '/', 'x', 'a', 'p', '/', '1', '.', '0', '/', 0},
                           ByteBuilder().Text("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>").Data()});
  const TBytes photo = Photo({{jmApp1, exif.Build()}, {jmApp1, xmp}, {0xE2, TBytes{'I', 'C', 'C'}}});
  const TSaved saved = EditAndSave(photo, {"neu"});
  const auto segments = SegmentsOf(saved.Photo);
  std::vector<std::uint8_t> markers;
  for (auto& [marker, bytes] : segments) markers.push_back(marker);
  markers.resize(std::min<std::size_t>(markers.size(), 5));
  EXPECT_EQ(markers, (std::vector<std::uint8_t>{jmApp0, jmApp1, jmApp1, jmApp13, 0xE2}));
  EXPECT_EQ(saved.Data->IPTC().Values("Keywords"), std::vector<std::string>{"neu"});
  EXPECT_EQ(saved.Data->IPTC().Values("ApplicationRecordVersion"), std::vector<std::string>{"4"});
  // A new IPTC resource comes with its digest.
  ASSERT_EQ(saved.Data->IPTC().Resources().size(), 2u);
  EXPECT_EQ(saved.Data->IPTC().Resources()[1].ID, PhotoshopIPTCDigestResource);
  EXPECT_FALSE(saved.Data->IPTC().DigestIsStale());
}

TEST(AnIPTCSave, ClearRemovesTheSegmentsAndEditsNotify) {
  const TBytes photo = PhotoWithResources(Resource(0x0404, "", Keywords));
  TExifData data;
  LoadJPEG(data, photo);
  EXPECT_FALSE(data.Modified());
  data.IPTC().SetValues("City", {"Rome"});
  EXPECT_TRUE(data.Modified());
  data.Clear();
  EXPECT_TRUE(data.IsEmpty());
  TExifData saved;
  LoadJPEG(saved, SaveJPEG(data, photo));
  EXPECT_FALSE(saved.SourceMetadata().Contains(mkIPTC));
}

// ---- Listing ---------------------------------------------------------------------------------------

TEST(AnIPTCListing, ShowsOneRowPerValueAndItsNotices) {
  using namespace Quorvane::Viewer;
  const struct {
    const char* Name;
    TBytes Resources;
    std::vector<std::string> Rows;  // caption = value, or the caption of a notice
  } cases[] = {
      {"values", Resource(0x0404, "", Join({Keywords, Dataset(2, 120, "two\nlines")})),
       {"ApplicationRecordVersion (2:00)=4", "Keywords[1] (2:25)=one", "Keywords[2] (2:25)=two",
        "Keywords[3] (2:25)=three", "ObjectName (2:05)=Title", "Caption-Abstract (2:120)=two\\nlines"}},
      {"no datasets", Resolution, {std::string(NoIPTCNotice)}},
      {"stale digest", Join({Resource(0x0404, "", Dataset(2, 5, "T")), DigestResource({})}),
       {std::string(StaleIPTCDigestNotice), "ObjectName (2:05)=T"}},
      {"cut resource", Join({Resolution, CutShort(Resource(0x0404, "", Keywords), 3)}),
       {std::string(UnreadableIPTCNotice), std::string(NoIPTCNotice)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TListRows rows;
    ListIPTCData(rows, Parsed(c.Resources));
    std::vector<std::string> shown;
    for (const TListRow& row : rows) shown.push_back(row.IsValueRow() ? row.Caption + "=" + row.Value() : row.Caption);
    EXPECT_EQ(shown, c.Rows);
  }
  const std::vector<TIPTCListedDataset> listed = ListIPTCDatasets(Parsed(Resource(0x0404, "", Keywords)));
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[1].Name, "Keywords");
  EXPECT_EQ(listed[1].Values, (std::vector<std::string>{"one", "two", "three"}));
}

// ---- ExifTool's view -------------------------------------------------------------------------------

TEST(AnIPTCSave, WritesWhatExifToolValidatesAndReads) {
  if (!HasExifTool()) GTEST_SKIP() << "exiftool is not installed";
  const std::filesystem::path folder = FreshTestFolder("quorvane-iptc");
  const TBytes latin1 = Resource(0x0404, "", Join({Dataset(2, 0, std::string("\0\4", 2)), Dataset(2, 120, "Caf\xE9")}));
  const struct {
    const char* Name;
    TBytes Photo;
    const char* WarningsBefore;  // IPTC warnings of the input
    const char* Read;            // Keywords and Caption-Abstract as ExifTool reads them
  } cases[] = {
      {"stale digest, Latin-1", PhotoWithResources(Join({Resolution, latin1, DigestResource({})})), "1\n",
       "Köln|two\nCafé\n"},
      {"no IPTC before", Photo({{jmApp1, CanonCamera().Build()}}), "0\n", "Köln|two\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::filesystem::path path = folder / "photo.jpg";
    WriteFileBytes(path, c.Photo);
    const std::string quoted = "'" + path.string() + "'";
    const std::string validate = "exiftool -validate -warning -a -s3 " + quoted + " | grep -ci iptc";
    EXPECT_EQ(RunCommand(validate), c.WarningsBefore);
    TExifData data;
    data.LoadFromJPEG(path.string());
    data.IPTC().SetValues("Keywords", {"Köln", "two"});
    data.SaveToJPEG(path.string());
    EXPECT_EQ(RunCommand(validate), "0\n");
    EXPECT_EQ(RunCommand("exiftool -s3 -sep '|' -IPTC:Keywords -IPTC:Caption-Abstract " + quoted), c.Read);
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
