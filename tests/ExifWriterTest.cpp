#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "ExifBuilder.h"
#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/base/SafeFile.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace {

namespace fs = std::filesystem;
using namespace Zorp::Exif;
using Bytes = std::vector<std::uint8_t>;
using Zorp::Base::TMemoryStream;
using namespace Zorp::Testing;

// ---- Helpers ---------------------------------------------------------------------------------

Bytes StreamBytes(const TMemoryStream& stream) { return stream.Bytes(); }

Bytes SaveBlock(TExifData& data) {
  TMemoryStream stream;
  data.SaveToStream(stream);
  return StreamBytes(stream);
}

// A small real JPEG, made by the thumbnail class itself; noise makes it big.
Bytes MakeJPEG(int width, int height, bool noise = false, int quality = 90) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  std::mt19937 random(7);
  for (std::size_t i = 0; i < rgb.size(); ++i)
    rgb[i] = noise ? static_cast<std::uint8_t>(random()) : static_cast<std::uint8_t>(i * 7);
  Zorp::Base::TJPEGImage image;
  image.SetCompressionQuality(quality);
  image.AssignRGB(rgb.data(), width, height);
  return image.Bytes();
}

// The data of every APP1 segment of a JPEG, in file order.
std::vector<Bytes> App1Segments(const Bytes& jpeg) {
  Zorp::Base::TUserMemoryStream stream(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  std::vector<Bytes> result;
  for (const auto& segment : ScanJPEGSegments(stream, TJPEGMarkerSet{jmApp1}))
    result.push_back(segment->Data().Bytes());
  return result;
}

// Reads a written Exif block; offsets count from the TIFF header (block byte 6).
struct TWrittenBlock {
  Bytes Data;
  TByteOrder Order;

  std::uint16_t U16(std::size_t offset) const { return GetWord(&Data.at(6 + offset + 1) - 1, Order); }
  std::uint32_t U32(std::size_t offset) const {
    Data.at(6 + offset + 3);
    return GetLongWord(&Data[6 + offset], Order);
  }
  std::uint32_t Ifd0() const { return U32(4); }
  std::uint32_t NextIfd(std::uint32_t ifd) const { return U32(ifd + 2 + 12 * U16(ifd)); }
  // The 4-byte value field of the entry with this ID in the directory at ifd.
  std::optional<std::uint32_t> Entry(std::uint32_t ifd, TExifTagID id) const {
    for (std::uint32_t i = 0, n = U16(ifd); i < n; ++i)
      if (U16(ifd + 2 + 12 * i) == id) return U32(ifd + 2 + 12 * i + 8);
    return std::nullopt;
  }
  Bytes Range(std::size_t offset, std::size_t size) const {
    return Bytes(Data.begin() + 6 + offset, Data.begin() + 6 + offset + size);
  }
};

// A directory's tags as a save writes them, as comparable text: "id type count bytes" per tag, sorted;
// a tag that could not be read is not written, and of several with one ID only the first.
std::vector<std::string> Snapshot(const TExifSection& section) {
  std::vector<std::string> tags;
  std::set<TExifTagID> seen;
  for (const TExifTag* tag : section) {
    if (!tag->WellFormed() || !seen.insert(tag->ID()).second) continue;
    std::ostringstream text;
    text << std::hex << tag->ID() << ' ' << tag->DataType() << ' ' << tag->ElementCount() << ' ';
    for (std::uint8_t b : tag->Bytes()) text << static_cast<int>(b) << '.';
    tags.push_back(text.str());
  }
  std::sort(tags.begin(), tags.end());
  return tags;
}

void ExpectSameTags(const TExifSection& expected, const TExifSection& actual, const std::string& where) {
  EXPECT_EQ(Snapshot(expected), Snapshot(actual)) << where;
}

const std::string XMPPacketText = std::string(XMPSignature) +
                                  "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                                  "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                                  "rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:Rating='3'/>"
                                  "</rdf:RDF></x:xmpmeta>";
const Bytes XMPData(XMPPacketText.begin(), XMPPacketText.end());

// A Canon MakerNote of size bytes: a little-endian directory of two inline SHORT values, then zeros.
Bytes CanonMakerNote(std::size_t size) {
  ByteBuilder note(boLittleEndian);
  note.U16(2).U16(1).U16(3).U32(1).U32(7).U16(2).U16(3).U32(1).U32(9).U32(0);
  Bytes bytes = note.Data();
  bytes.resize(size, 0);
  for (std::size_t i = 30; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

// An Exif block from a Canon camera whose 600-byte MakerNote lies at makerNoteOffset (from the TIFF
// header), optionally with the offset schema tag.
Bytes BlockWithMakerNoteAt(std::uint32_t makerNoteOffset, std::optional<std::int32_t> schema = std::nullopt,
                           TByteOrder order = boLittleEndian) {
  std::int64_t padding = 1;
  for (int attempt = 0; attempt < 4 && padding > 0; ++attempt) {
    ExifBuilder block(order);
    block.Primary.Ascii(ttMake, "Canon").Ascii(ttImageDescription, std::string(static_cast<std::size_t>(padding), 'd'));
    block.Exif.Rational(ttExposureTime, 1, 60).Undefined(ttMakerNote, CanonMakerNote(600));
    if (schema) block.Exif.Raw(ttOffsetSchema, dtSLong, 1, {}, {static_cast<std::uint32_t>(*schema)});
    Bytes bytes = block.Build();
    const std::uint32_t at = block.ValueOffsets[{1, ttMakerNote}];
    if (at == makerNoteOffset) return bytes;
    padding += static_cast<std::int64_t>(makerNoteOffset) - at;
  }
  ADD_FAILURE() << "could not place the MakerNote at " << makerNoteOffset;
  return {};
}

// ---- The Exif block ------------------------------------------------------------------------

class ASavedExifBlock : public ::testing::TestWithParam<TByteOrder> {};

TEST_P(ASavedExifBlock, WithOneInlineTagIsTheMinimalBlockByteForByte) {
  TExifData data;
  data.SetByteOrder(GetParam());
  data.Sections(skPrimary).SetWordValue(ttOrientation, 0, 6);
  const Bytes little = {'E',  'x',  'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 8, 0, 0, 0,  // header
                        1,    0,                                                    // one entry
                        0x12, 0x01, 3,   0,   1, 0, 0,   0,   6,    0, 0, 0,        // 0x0112 SHORT 1 = 6
                        0,    0,    0,   0};                                        // no next IFD
  const Bytes big = {'E',  'x',  'i', 'f', 0, 0, 'M', 'M', 0, 0x2A, 0, 0, 0, 8, 0, 1,
                     0x01, 0x12, 0,   3,   0, 0, 0,   1,   0, 6,    0, 0, 0, 0, 0, 0};
  EXPECT_EQ(SaveBlock(data), GetParam() == boBigEndian ? big : little);
}

TEST_P(ASavedExifBlock, ReadsBackEveryTagOfEveryDirectory) {
  ExifBuilder block(GetParam());
  block.Primary.Ascii(ttMake, "Canon").Ascii(ttModel, "EOS").Short(ttOrientation, {6}).Rational(ttXResolution, 72, 1);
  block.Exif.Rational(ttExposureTime, 1, 125)
      .Ascii(ttDateTimeOriginal, "2010:07:04 10:20:30")
      .Raw(ttExposureBiasValue, dtSRational, 1, {}, {static_cast<std::uint32_t>(-1), 3})
      .Raw(0x9999, dtDouble, 0)
      .Undefined(ttMakerNote, CanonMakerNote(64));
  block.Interop.Ascii(ttInteroperabilityIndex, "R98");
  block.Gps.Raw(ttGPSVersionID, dtByte, 4, {2, 2, 0, 0}).Ascii(ttGPSLatitudeRef, "N");
  block.Thumbnail.Short(ttCompression, {6}).Long(ttXResolution, {1, 2, 3});
  block.ThumbnailJPEG = MakeJPEG(8, 8);
  TExifData original;
  LoadJPEG(original, ExifBuilder::Jpeg({block.Build()}));
  // A double value and a float pair are not built by the builder; they are added in memory.
  const double doubles[2] = {1.5, -2.25};
  original.Sections(skExif).AddOrUpdateTag(0x9998, dtDouble, 2, doubles);
  const float floats[2] = {0.1f, 3.0f};
  original.Sections(skGps).AddOrUpdateTag(0x0040, dtFloat, 2, floats);

  const Bytes saved = SaveJPEG(original, ExifBuilder::Jpeg({block.Build()}));
  TExifData reloaded;
  LoadJPEG(reloaded, saved);
  EXPECT_EQ(reloaded.ByteOrder(), GetParam());
  for (int kind = skPrimary; kind <= skThumbnail; ++kind)
    ExpectSameTags(original.Sections(static_cast<TExifSectionKind>(kind)),
                   reloaded.Sections(static_cast<TExifSectionKind>(kind)), "section " + std::to_string(kind));
  EXPECT_EQ(reloaded.Thumbnail().Bytes(), block.ThumbnailJPEG);
  ExpectSameTags(original.Sections(skMakerNote), reloaded.Sections(skMakerNote), "MakerNote");
  EXPECT_EQ(reloaded.Sections(skMakerNote).Count(), 2);

  // The same container saved again gives the same bytes.
  EXPECT_EQ(SaveJPEG(original, ExifBuilder::Jpeg({block.Build()})), saved);
}

TEST_P(ASavedExifBlock, DropsAnEmptyGpsDirectoryWithItsPointer) {
  ExifBuilder block(GetParam());
  block.Primary.Ascii(ttMake, "X");
  block.Gps.Ascii(ttGPSLatitudeRef, "N");
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  ASSERT_TRUE(data.Sections(skPrimary).Find(ttGPSInfoIFDPointer));
  data.Sections(skGps).Remove(ttGPSLatitudeRef);

  const TWrittenBlock written{SaveBlock(data), GetParam()};
  EXPECT_FALSE(data.Sections(skPrimary).Find(ttGPSInfoIFDPointer));
  EXPECT_FALSE(written.Entry(written.Ifd0(), ttGPSInfoIFDPointer));
  // Header, then IFD0 with Make (inline "X") only: nothing else in the block.
  EXPECT_EQ(written.Data.size(), 6u + 8 + 18);
}

TEST_P(ASavedExifBlock, WritesNoThumbnailDirectoryForThumbnailTagsWithoutAThumbnail) {
  TExifData data;
  data.SetByteOrder(GetParam());
  data.Sections(skPrimary).SetStringValue(ttMake, "Maker");
  data.Sections(skThumbnail).SetWordValue(ttCompression, 0, 6);
  data.Sections(skThumbnail).SetLongWordValue(ttJPEGInterchangeFormat, 0, 4000);

  const TWrittenBlock written{SaveBlock(data), GetParam()};
  EXPECT_EQ(written.NextIfd(written.Ifd0()), 0u);
  EXPECT_EQ(written.Data.size(), 6u + 8 + 18 + 6);  // IFD0 with one entry and its 6-byte text
}

TEST_P(ASavedExifBlock, WritesTheExifDirectoryForANonEmptyInteropDirectory) {
  TExifData data;
  data.SetByteOrder(GetParam());
  data.Sections(skInterop).SetStringValue(ttInteroperabilityIndex, "R98");

  const TWrittenBlock written{SaveBlock(data), GetParam()};
  const auto exifOffset = written.Entry(written.Ifd0(), ttExifIFDPointer);
  ASSERT_TRUE(exifOffset);
  EXPECT_EQ(written.U16(*exifOffset), 1);  // the pointer tag only
  const auto interopOffset = written.Entry(*exifOffset, ttInteroperabilityIFDPointer);
  ASSERT_TRUE(interopOffset);
  TExifData reloaded;
  LoadBlock(reloaded, written.Data);
  EXPECT_EQ(reloaded.Sections(skInterop).GetStringValue(ttInteroperabilityIndex), "R98");
}

TEST_P(ASavedExifBlock, KeepsAMakerNoteAtItsOffsetAndMovesTheCrossingDirectoryBehindIt) {
  TExifData data;
  const Bytes source = BlockWithMakerNoteAt(1000, std::nullopt, GetParam());
  LoadBlock(data, source);
  // The Exif directory grows, so that it would now reach over offset 1000.
  data.Sections(skExif).AddOrUpdateTag(ttUserComment, dtUndefined, 300, Bytes(300, 'c').data());

  const TWrittenBlock written{SaveBlock(data), GetParam()};
  EXPECT_EQ(written.Ifd0(), 8u);
  const auto exifOffset = written.Entry(8, ttExifIFDPointer);
  ASSERT_TRUE(exifOffset);
  EXPECT_GE(*exifOffset, 1600u);
  EXPECT_EQ(written.Entry(*exifOffset, ttMakerNote), 1000u);
  EXPECT_EQ(written.Range(1000, 600), CanonMakerNote(600));
  // Between the end of IFD0's values and the MakerNote nothing is written: zeros.
  const std::size_t primaryEnd = 8 + 12 * 3 + 6 + 6 + data.Sections(skPrimary).Find(ttImageDescription)->DataSize();
  const Bytes gap = written.Range(primaryEnd, 1000 - primaryEnd);
  EXPECT_TRUE(std::all_of(gap.begin(), gap.end(), [](std::uint8_t b) { return b == 0; }));
  // Read back, the MakerNote is where the offsets inside it expect it.
  TExifData reloaded;
  LoadBlock(reloaded, written.Data);
  EXPECT_EQ(reloaded.Sections(skExif).Find(ttMakerNote)->SourceDataOffset(), 1000);
  EXPECT_EQ(reloaded.Sections(skMakerNote).GetWordValue(2, 0), 9);
  EXPECT_EQ(reloaded.Sections(skExif).Find(ttUserComment)->DataSize(), 300);
}

TEST_P(ASavedExifBlock, KeepsAGrownMakerNoteApartFromTheDirectoryBehindIt) {
  TExifData data;
  const Bytes source = BlockWithMakerNoteAt(1000, std::nullopt, GetParam());
  LoadBlock(data, source);
  data.Sections(skExif).AddOrUpdateTag(ttUserComment, dtUndefined, 300, Bytes(300, 'c').data());
  const Bytes grown = CanonMakerNote(700);
  data.Sections(skExif).Find(ttMakerNote)->UpdateData(dtUndefined, 700, grown.data());

  const TWrittenBlock written{SaveBlock(data), GetParam()};
  const auto exifOffset = written.Entry(8, ttExifIFDPointer);
  ASSERT_TRUE(exifOffset);
  EXPECT_GE(*exifOffset, 1700u);
  EXPECT_EQ(written.Entry(*exifOffset, ttMakerNote), 1000u);
  EXPECT_EQ(written.Range(1000, 700), grown);
}

TEST_P(ASavedExifBlock, PutsTheMakerNoteBackWhereItsOffsetSchemaSays) {
  TExifData data;
  const Bytes source = BlockWithMakerNoteAt(1500, 500, GetParam());
  LoadBlock(data, source);

  const TWrittenBlock written{SaveBlock(data), GetParam()};
  const auto exifOffset = written.Entry(written.Ifd0(), ttExifIFDPointer);
  ASSERT_TRUE(exifOffset);
  EXPECT_EQ(written.Entry(*exifOffset, ttMakerNote), 1000u);
  EXPECT_EQ(written.Range(1000, 600), CanonMakerNote(600));
  EXPECT_EQ(written.Entry(*exifOffset, ttOffsetSchema), 0u);
  EXPECT_EQ(data.Sections(skExif).GetLongIntValue(ttOffsetSchema, 0).Value, 0);
}

TEST_P(ASavedExifBlock, KeepsAMakerNoteMovedByItsOffsetSchemaInPlaceWhenSavedAgain) {
  TExifData data;
  const Bytes source = BlockWithMakerNoteAt(1500, 500, GetParam());
  LoadBlock(data, source);
  SaveBlock(data);
  data.Sections(skPrimary).SetStringValue(ttArtist, "Second edit");

  const TWrittenBlock written{SaveBlock(data), GetParam()};
  const auto exifOffset = written.Entry(written.Ifd0(), ttExifIFDPointer);
  ASSERT_TRUE(exifOffset);
  EXPECT_EQ(written.Entry(*exifOffset, ttMakerNote), 1000u);
  EXPECT_EQ(written.Range(1000, 600), CanonMakerNote(600));
  EXPECT_EQ(written.Entry(*exifOffset, ttOffsetSchema), 0u);
}

TEST_P(ASavedExifBlock, IgnoresAnOffsetSchemaThatWouldPutTheMakerNoteIntoTheHeader) {
  TExifData data;
  const Bytes source = BlockWithMakerNoteAt(1500, 1496, GetParam());
  LoadBlock(data, source);

  const TWrittenBlock written{SaveBlock(data), GetParam()};
  const auto exifOffset = written.Entry(written.Ifd0(), ttExifIFDPointer);
  ASSERT_TRUE(exifOffset);
  EXPECT_EQ(written.Entry(*exifOffset, ttMakerNote), 1500u);
  EXPECT_EQ(written.Range(1500, 600), CanonMakerNote(600));
  EXPECT_EQ(written.Entry(*exifOffset, ttOffsetSchema), 1496u);
}

TEST_P(ASavedExifBlock, WritesAMakerNoteMadeInMemoryLikeAnyOtherValue) {
  TExifData data;
  data.SetByteOrder(GetParam());
  data.Sections(skExif).AddOrUpdateTag(ttMakerNote, dtUndefined, 40, CanonMakerNote(40).data());

  const TWrittenBlock written{SaveBlock(data), GetParam()};
  const auto exifOffset = written.Entry(8, ttExifIFDPointer);
  ASSERT_TRUE(exifOffset);
  const auto makerNoteOffset = written.Entry(*exifOffset, ttMakerNote);
  ASSERT_TRUE(makerNoteOffset);
  EXPECT_EQ(*makerNoteOffset, *exifOffset + 18);  // right behind the one-entry directory
  EXPECT_EQ(written.Range(*makerNoteOffset, 40), CanonMakerNote(40));
}

TEST_P(ASavedExifBlock, StartsEveryValueOnAnEvenOffset) {
  TExifData data;
  data.SetByteOrder(GetParam());
  data.Sections(skPrimary).SetStringValue(ttMake, "Odd");       // 4 bytes: in the entry
  data.Sections(skPrimary).SetStringValue(ttModel, "Model");    // 6 bytes
  data.Sections(skPrimary).SetStringValue(ttArtist, "Artist");  // 7 bytes, then one zero byte
  data.Sections(skPrimary).SetFractionValue(ttWhitePoint, 0, {1, 3});
  data.Sections(skExif).SetStringValue(ttDateTimeOriginal, "2020:01:02 03:04:05");

  const TWrittenBlock written{SaveBlock(data), GetParam()};
  const std::uint32_t artist = *written.Entry(8, ttArtist);
  const std::uint32_t whitePoint = *written.Entry(8, ttWhitePoint);
  EXPECT_EQ(whitePoint, artist + 8);
  EXPECT_EQ(written.Range(artist, 8), (Bytes{'A', 'r', 't', 'i', 's', 't', 0, 0}));
  const std::uint32_t exif = *written.Entry(8, ttExifIFDPointer);
  EXPECT_EQ(exif % 2, 0u);
  EXPECT_EQ(*written.Entry(exif, ttDateTimeOriginal) % 2, 0u);
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, ASavedExifBlock, ::testing::Values(boLittleEndian, boBigEndian),
                         [](const auto& info) { return info.param == boBigEndian ? "BigEndian" : "LittleEndian"; });

TEST(ASavedExifBlockPadding, LosesOnePaddingTagPerDirectoryUnlessAskedToKeepIt) {
  auto padding = [] {
    Bytes bytes(20, 0);
    bytes[0] = 0x1C;
    bytes[1] = 0xEA;
    return bytes;
  };
  for (bool remove : {true, false}) {
    TExifData data;
    data.SetRemovePaddingTagsOnSave(remove);
    data.Sections(skPrimary).AddOrUpdateTag(ttPadding, dtUndefined, 20, padding().data());
    data.Sections(skExif).AddOrUpdateTag(ttPadding, dtUndefined, 20, padding().data());
    SaveBlock(data);
    EXPECT_EQ(data.Sections(skPrimary).Find(ttPadding) == nullptr, remove);
    EXPECT_EQ(data.Sections(skExif).Find(ttPadding) == nullptr, remove);
  }
}

// ---- The thumbnail ---------------------------------------------------------------------------

TEST(ASavedThumbnail, IsWrittenUnchangedButCutAfterItsEndMarker) {
  TExifData data;
  data.Sections(skPrimary).SetStringValue(ttMake, "X");
  const Bytes jpeg = MakeJPEG(16, 8);
  Bytes withTail = jpeg;
  withTail.insert(withTail.end(), {1, 2, 3, 4});
  data.Thumbnail().LoadFromBytes(withTail.data(), withTail.size());

  const TWrittenBlock written{SaveBlock(data), boLittleEndian};
  const std::uint32_t ifd1 = written.NextIfd(8);
  ASSERT_NE(ifd1, 0u);
  EXPECT_EQ(written.Entry(ifd1, ttCompression), 6u);
  EXPECT_EQ(written.Entry(ifd1, ttJPEGInterchangeFormatLength), jpeg.size());
  const auto start = written.Entry(ifd1, ttJPEGInterchangeFormat);
  ASSERT_TRUE(start);
  EXPECT_EQ(written.Range(*start, jpeg.size()), jpeg);
  EXPECT_EQ(written.Data.size(), 6 + *start + jpeg.size());  // the thumbnail ends the block
}

// Some cameras store a bare start and end marker as their thumbnail. A reader looks at the first
// 20 bytes before it takes a thumbnail, so a shorter one must not end the block: a second save of
// the photo would find it missing and refuse.
TEST(ASavedThumbnail, ShorterThanTheReadersLookAheadReadsBackSaveAfterSave) {
  for (const Bytes& tiny : {Bytes{0xFF, 0xD8, 0xFF, 0xD9}, Bytes{0xFF, 0xD8, 0xFF, 0xFE, 0, 13, 'a', 'b', 'c', 'd',
                                                             'e', 'f', 'g', 'h', 'i', 'j', 'k', 0xFF, 0xD9}}) {
    SCOPED_TRACE(tiny.size());
    TExifData data;
    data.Sections(skPrimary).SetStringValue(ttMake, "X");
    data.Thumbnail().LoadFromBytes(tiny.data(), tiny.size());
    Bytes block = SaveBlock(data);
    for (int save = 0; save < 2; ++save) {
      TExifData reloaded;
      Zorp::Base::TUserMemoryStream stream(block.data(), static_cast<std::int64_t>(block.size()));
      reloaded.LoadFromStream(stream);
      ASSERT_TRUE(reloaded.HasThumbnail());
      EXPECT_EQ(reloaded.Thumbnail().Bytes(), tiny);
      block = SaveBlock(reloaded);
    }
  }
}

TEST(ASavedThumbnail, OverTheLimitIsScaledDownAndReencodedAtQuality90AtMost) {
  TExifData data;
  data.Sections(skThumbnail).SetWordValue(ttImageWidth, 0, 1);
  const Bytes big = MakeJPEG(400, 300, true, 100);
  ASSERT_GT(big.size(), 61440u);
  data.Thumbnail().LoadFromBytes(big.data(), big.size());
  data.Thumbnail().SetCompressionQuality(100);

  const TWrittenBlock written{SaveBlock(data), boLittleEndian};
  EXPECT_EQ(data.Thumbnail().Width(), 160);
  EXPECT_EQ(data.Thumbnail().Height(), 120);
  EXPECT_LE(data.Thumbnail().CompressionQuality(), 90);
  const std::uint32_t ifd1 = written.NextIfd(8);
  const auto length = written.Entry(ifd1, ttJPEGInterchangeFormatLength);
  ASSERT_TRUE(length);
  EXPECT_LE(*length, 61440u);
  EXPECT_EQ(*length, data.Thumbnail().Bytes().size());
  EXPECT_EQ(data.Sections(skThumbnail).GetWordValue(ttImageWidth, 0), 160);
}

// ---- The JPEG -------------------------------------------------------------------------------

Bytes Segment(std::uint8_t marker, const Bytes& data) {
  ByteBuilder b;
  b.Segment(marker, data);
  return b.Data();
}

// Frame, scan and end of image (and some bytes after it) of a 24 x 16 image.
Bytes ImageData() {
  ByteBuilder out;
  out.Segment(0xDB, Bytes(65, 1));
  out.Segment(0xC0, {8, 0, 16, 0, 24, 1, 1, 0x11, 0});
  out.Segment(0xDA, {1, 1, 0, 0, 63, 0});
  out.Bytes({0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD9});
  out.Text("after the end");
  return out.Data();
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes result;
  for (const Bytes& part : parts) result.insert(result.end(), part.begin(), part.end());
  return result;
}

TEST(ASavedJPEG, PutsAPP0ThenExifThenXMPFirstAndKeepsTheRestInOrder) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Maker");
  const Bytes app0a = Segment(jmApp0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  const Bytes app0b = Segment(jmApp0, {'J', 'F', 'X', 'X', 0, 0x10});
  const Bytes other = Segment(jmApp1, {'O', 't', 'h', 'e', 'r', 0});
  const Bytes secondExif = Segment(jmApp1, block.Build());
  const Bytes input = Concat({{0xFF, 0xD8},
                              app0a,
                              Segment(jmApp1, block.Build()),
                              app0b,
                              other,
                              Segment(jmApp1, XMPData),
                              secondExif,
                              ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  data.Sections(skPrimary).SetStringValue(ttMake, "Another");

  const Bytes output = SaveJPEG(data, input);
  const Bytes newExif = Segment(jmApp1, SaveBlock(data));
  EXPECT_EQ(output,
            Concat({{0xFF, 0xD8}, app0a, app0b, newExif, Segment(jmApp1, XMPData), other, secondExif, ImageData()}));
}

TEST(ASavedJPEG, GivesExifImageWidthAndHeightTheFrameSize) {
  ExifBuilder block;
  block.Exif.Short(ttExifImageWidth, {100}).Long(ttExifImageHeight, {70000});
  const Bytes input = Concat({{0xFF, 0xD8}, Segment(jmApp1, block.Build()), ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  TExifData reloaded;
  LoadJPEG(reloaded, SaveJPEG(data, input));
  EXPECT_EQ(reloaded.Sections(skExif).GetLongWordValue(ttExifImageWidth, 0).Value, 24u);
  EXPECT_EQ(reloaded.Sections(skExif).Find(ttExifImageWidth)->DataType(), dtShort);
  EXPECT_EQ(reloaded.Sections(skExif).GetLongWordValue(ttExifImageHeight, 0).Value, 16u);
}

TEST(ASavedJPEG, CopiesAnXMPPacketThatNoPropertyTouchedByteForByte) {
  // The image size tags already match the frame, so nothing needs to reach the packet.
  ExifBuilder block;
  block.Exif.Short(ttExifImageWidth, {24}).Short(ttExifImageHeight, {16});
  const std::string text = XMPPacketText + "   <!-- as the camera wrote it -->";
  const Bytes xmp(text.begin(), text.end());
  const Bytes input = Concat({{0xFF, 0xD8}, Segment(jmApp1, block.Build()), Segment(jmApp1, xmp), ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  data.Sections(skExif).SetStringValue(ttDateTimeOriginal, "2020:01:02 03:04:05");
  const auto segments = App1Segments(SaveJPEG(data, input));
  ASSERT_EQ(segments.size(), 2u);
  EXPECT_EQ(segments[1], xmp);
}

TEST(ASavedJPEG, WithAnEmptyContainerDropsTheExifSegment) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Maker");
  const Bytes input = Concat({{0xFF, 0xD8}, Segment(jmApp1, block.Build()), ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  data.Sections(skPrimary).Remove(ttMake);
  ASSERT_TRUE(data.IsEmpty());

  EXPECT_EQ(SaveJPEG(data, input), Concat({{0xFF, 0xD8}, ImageData()}));
}

TEST(ASavedJPEG, WithoutExifGainsAnExifSegment) {
  const Bytes input = Concat({{0xFF, 0xD8}, ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  data.Sections(skPrimary).SetStringValue(ttArtist, "Me");
  const Bytes output = SaveJPEG(data, input);
  TExifData reloaded;
  LoadJPEG(reloaded, output);
  EXPECT_EQ(reloaded.Sections(skPrimary).GetStringValue(ttArtist), "Me");
  EXPECT_EQ(FromStartOfScan(output), FromStartOfScan(input));
}

TEST(ASavedJPEG, WritesAChangedXMPPacketAnewWithItsSignature) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Maker");
  const Bytes input = Concat({{0xFF, 0xD8}, Segment(jmApp1, block.Build()), Segment(jmApp1, XMPData), ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  data.XMPPacket().UpdateProperty(xnXMPBasic, "Rating", "4");

  const Bytes output = SaveJPEG(data, input);
  const auto segments = App1Segments(output);
  ASSERT_EQ(segments.size(), 2u);
  EXPECT_TRUE(std::equal(XMPSignature.begin(), XMPSignature.end(), segments[1].begin()));
  EXPECT_NE(segments[1], XMPData);
  TExifData reloaded;
  LoadJPEG(reloaded, output);
  TXMPSchema* schema = nullptr;
  TXMPProperty* rating = nullptr;
  ASSERT_TRUE(reloaded.XMPPacket().FindSchema(xnXMPBasic, schema));
  ASSERT_TRUE(schema->FindProperty("Rating", rating));
  EXPECT_EQ(rating->ReadValue(), "4");
}

TEST(ASavedJPEG, KeepsAnXMPPacketItCannotReadEvenAfterTouchingIt) {
  const std::string text = std::string(XMPSignature) + "<?xpacket begin='' this is not XML at all";
  const Bytes xmp(text.begin(), text.end());
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Maker");
  const Bytes input = Concat({{0xFF, 0xD8}, Segment(jmApp1, block.Build()), Segment(jmApp1, xmp), ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  EXPECT_TRUE(data.XMPPacket().Empty());  // read, and found unreadable
  data.Sections(skPrimary).SetStringValue(ttMake, "Other");
  const auto segments = App1Segments(SaveJPEG(data, input));
  ASSERT_EQ(segments.size(), 2u);
  EXPECT_EQ(segments[1], xmp);
}

TEST(ASavedJPEG, RejectsInputWithoutAStartOfImageMarkerWritingNothing) {
  TExifData data;
  data.Sections(skPrimary).SetStringValue(ttMake, "X");
  TMemoryStream in, out;
  in.WriteBuffer("\xFF\xD9", 2);
  in.SetPosition(0);
  EXPECT_THROW(data.SaveToJPEG(in, out), EInvalidJPEGHeader);
  EXPECT_EQ(out.Size(), 0);
}

TEST(ASavedJPEG, RefusesExifDataTooLargeForOneSegmentBeforeWritingAnything) {
  const Bytes input = Concat({{0xFF, 0xD8}, ImageData()});
  TExifData data;
  data.Sections(skExif).AddOrUpdateTag(ttUserComment, dtUndefined, 70000, Bytes(70000, 'x').data());
  TMemoryStream in, out;
  in.WriteBuffer(input.data(), static_cast<std::int64_t>(input.size()));
  in.SetPosition(0);
  try {
    data.SaveToJPEG(in, out);
    FAIL() << "no exception";
  } catch (const EJPEGSegmentTooLarge& error) {
    EXPECT_STREQ(error.what(), "The Exif data of 70114 bytes does not fit one JPEG segment (65533 bytes at most)");
  }
  EXPECT_EQ(out.Size(), 0);
}

TEST(ASavedJPEG, RefusesAnXMPPacketTooLargeForOneSegmentBeforeWritingAnything) {
  const Bytes input = Concat({{0xFF, 0xD8}, Segment(jmApp1, XMPData), ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  data.XMPPacket().UpdateProperty(xnXMPBasic, "Rating", std::string(70000, '5'));
  TMemoryStream in, out;
  in.WriteBuffer(input.data(), static_cast<std::int64_t>(input.size()));
  in.SetPosition(0);
  EXPECT_THROW(data.SaveToJPEG(in, out), EJPEGSegmentTooLarge);
  EXPECT_EQ(out.Size(), 0);
}

// ---- Saving a file ---------------------------------------------------------------------------

class ASavedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = Zorp::Testing::FreshTestFolder("quorvane-writer");
    ExifBuilder block;
    block.Primary.Ascii(ttMake, "Maker").Ascii(ttArtist, "Before");
    Original = Concat({{0xFF, 0xD8}, Segment(jmApp1, block.Build()), ImageData()});
    Path = (Folder / "photo.jpg").string();
    Write(Path, Original);
  }
  void TearDown() override {
    Zorp::Base::SetSafeFileCommitHook(nullptr);
    fs::remove_all(Folder);
  }

  static void Write(const std::string& path, const Bytes& bytes) {
    Zorp::Testing::WriteFileBytes(path, bytes);
  }
  static Bytes Read(const std::string& path) { return ReadFileBytes(path); }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder)) names.push_back(entry.path().filename().string());
    return names;
  }
  void ExpectUntouched() const {
    EXPECT_EQ(Read(Path), Original);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"photo.jpg"});
  }

  fs::path Folder;
  std::string Path;
  Bytes Original;
};

TEST_F(ASavedFile, IsReplacedInBothFormsKeepingItsPermissionBits) {
  for (bool inMemory : {true, false}) {
    Write(Path, Original);
    fs::permissions(Path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    TExifData data;
    data.LoadFromJPEG(Path);
    data.Sections(skPrimary).SetStringValue(ttArtist, "After");
    data.SaveToJPEG(Path, inMemory);

    TExifData reloaded;
    reloaded.LoadFromJPEG(Path);
    EXPECT_EQ(reloaded.Sections(skPrimary).GetStringValue(ttArtist), "After");
    EXPECT_EQ(FromStartOfScan(Read(Path)), FromStartOfScan(Original));
    EXPECT_EQ(fs::status(Path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"photo.jpg"});
  }
}

TEST_F(ASavedFile, StaysUntouchedWhenTheSaveIsInterruptedAfterTheTemporaryFileWasWritten) {
  for (bool inMemory : {true, false}) {
    std::string seen;
    Zorp::Base::SetSafeFileCommitHook([&](const std::string& temporary) {
      seen = temporary;
      EXPECT_EQ(fs::path(temporary).parent_path(), Folder);
      const Bytes written = Read(temporary);  // the whole new file is there
      EXPECT_NE(std::search(written.begin(), written.end(), std::begin("Interrupted"), std::end("Interrupted")),
                written.end());
      throw Zorp::Base::EWriteError("interrupted");
    });
    TExifData data;
    data.LoadFromJPEG(Path);
    data.Sections(skPrimary).SetStringValue(ttArtist, "Interrupted");
    EXPECT_THROW(data.SaveToJPEG(Path, inMemory), Zorp::Base::EWriteError);
    EXPECT_FALSE(seen.empty());
    ExpectUntouched();
  }
}

TEST_F(ASavedFile, StaysUntouchedWhenWritingTheTemporaryFileFails) {
  // A file size limit makes writes fail as a full disk would.
  struct TLimit {
    rlimit Saved{};
    void (*SavedHandler)(int);
    TLimit() {
      getrlimit(RLIMIT_FSIZE, &Saved);
      SavedHandler = std::signal(SIGXFSZ, SIG_IGN);
      rlimit limit = Saved;
      limit.rlim_cur = 64;
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TLimit() {
      setrlimit(RLIMIT_FSIZE, &Saved);
      std::signal(SIGXFSZ, SavedHandler);
    }
  };
  for (bool inMemory : {true, false}) {
    TExifData data;
    data.LoadFromJPEG(Path);
    data.Sections(skPrimary).SetStringValue(ttArtist, "Full disk");
    {
      TLimit limit;
      EXPECT_THROW(data.SaveToJPEG(Path, inMemory), Zorp::Base::EWriteError);
    }
    ExpectUntouched();
  }
}

TEST_F(ASavedFile, StaysUntouchedWhenTheExifDataIsTooLarge) {
  for (bool inMemory : {true, false}) {
    TExifData data;
    data.LoadFromJPEG(Path);
    data.Sections(skExif).AddOrUpdateTag(ttUserComment, dtUndefined, 66000, Bytes(66000, 'x').data());
    EXPECT_THROW(data.SaveToJPEG(Path, inMemory), EJPEGSegmentTooLarge);
    ExpectUntouched();
  }
}

TEST_F(ASavedFile, StaysUntouchedWhenAnOversizedThumbnailCannotBeReencoded) {
  // Starts like a JPEG but cannot be decoded, so it can be neither scaled nor re-encoded.
  Bytes broken = {0xFF, 0xD8};
  broken.resize(70000, 0x11);
  for (bool inMemory : {true, false}) {
    TExifData data;
    data.LoadFromJPEG(Path);
    data.Thumbnail().LoadFromBytes(broken.data(), broken.size());
    EXPECT_THROW(data.SaveToJPEG(Path, inMemory), Zorp::Base::Exception);
    ExpectUntouched();
  }
}

TEST_F(ASavedFile, InAFolderThatDoesNotExistFailsWithoutCreatingAnything) {
  TExifData data;
  data.Sections(skPrimary).SetStringValue(ttArtist, "X");
  EXPECT_THROW(data.SaveToJPEG((Folder / "missing" / "photo.jpg").string()), Zorp::Base::EFOpenError);
  EXPECT_FALSE(fs::exists(Folder / "missing"));
  ExpectUntouched();
}

// A container whose Exif data comes out damaged, to show that the check after writing catches it.
class TDamagingExifData : public TExifData {
 public:
  enum TDamage { dmNone, dmHeader, dmEntryCount, dmValue };
  explicit TDamagingExifData(TDamage damage) : FDamage(damage) {}
  void SetDamage(TDamage damage) { FDamage = damage; }
  void SaveToStream(Zorp::Base::TStream& stream) override {
    TMemoryStream block;
    TExifData::SaveToStream(block);
    Bytes bytes = block.Bytes();
    switch (FDamage) {
      case dmNone:
        break;
      case dmHeader:
        bytes[0] = 'X';  // no longer an Exif segment
        break;
      case dmEntryCount:
        bytes[6 + 8] = 0xFF;  // IFD0 claims far more entries than there is room for
        bytes[6 + 9] = 0x7F;
        break;
      case dmValue:
        bytes[bytes.size() - 2] ^= 0x20;  // a letter of the last text value
        break;
    }
    stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }

 private:
  TDamage FDamage;
};

TEST_F(ASavedFile, StaysUntouchedWhenTheWrittenFileDoesNotReadBack) {
  const std::pair<TDamagingExifData::TDamage, std::string> cases[] = {
      {TDamagingExifData::dmHeader, "no Exif segment"},
      {TDamagingExifData::dmEntryCount, "the main directory reports load errors"},
      {TDamagingExifData::dmValue, "the main directory reads back different tags"}};
  for (const auto& [damage, reason] : cases) {
    for (bool inMemory : {true, false}) {
      TDamagingExifData data(damage);
      data.LoadFromJPEG(Path);
      data.Sections(skPrimary).SetStringValue(ttArtist, "Damaged");
      try {
        data.SaveToJPEG(Path, inMemory);
        ADD_FAILURE() << "no exception for " << reason;
      } catch (const EZorpExifException& error) {
        EXPECT_EQ(error.Message(),
                  "The saved JPEG does not read back correctly (" + reason + "); the file was not changed");
      }
      ExpectUntouched();
    }
  }
}

// ---- A failed save changes nothing -----------------------------------------------------------

// Everything of a container that a save adjusts, as comparable text.
std::vector<std::string> ContainerState(TExifData& data) {
  std::vector<std::string> state;
  for (int kind = skPrimary; kind <= skThumbnail; ++kind)
    for (const std::string& tag : Snapshot(data.Sections(static_cast<TExifSectionKind>(kind))))
      state.push_back(std::to_string(kind) + ": " + tag);
  const Bytes& thumbnail = data.Thumbnail().Bytes();
  state.emplace_back(thumbnail.begin(), thumbnail.end());
  state.push_back(std::to_string(data.Thumbnail().CompressionQuality()));
  for (const std::string& line : ListXMPValues(data.XMPPacket())) state.push_back(line);
  return state;
}

// A stream that refuses every write after its first bytes, as a full disk would.
class TFailingStream : public TMemoryStream {
 public:
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    if (Position() + count > 100) throw Zorp::Base::EWriteError("disk full");
    return TMemoryStream::Write(buffer, count);
  }
};

enum TSaveFailure { sfXMPTooLarge, sfOutputFails, sfNotReadBack, sfCommitFails };

class AFailedSave : public ASavedFile, public ::testing::WithParamInterface<TSaveFailure> {};

// The save would apply an offset schema, drop a padding tag, scale the thumbnail down, give
// ExifImageWidth the frame's size and set pointers; it fails at some point; the container must be
// exactly as before, and a later save must still do all of it.
TEST_P(AFailedSave, LeavesTheContainerAsItWas) {
  Original = Concat({{0xFF, 0xD8}, Segment(jmApp1, BlockWithMakerNoteAt(1500, 500)), Segment(jmApp1, XMPData),
                     ImageData()});
  Write(Path, Original);
  TDamagingExifData data(GetParam() == sfNotReadBack ? TDamagingExifData::dmHeader : TDamagingExifData::dmNone);
  data.LoadFromJPEG(Path);
  data.SetExifImageWidth(TOptionalLongWord{100, false});
  data.Sections(skExif).AddOrUpdateTag(ttPadding, dtUndefined, 4, Bytes{0x1C, 0xEA, 0, 0}.data());
  data.Sections(skThumbnail).SetWordValue(ttImageWidth, 0, 1);
  const Bytes big = MakeJPEG(400, 300, true, 100);
  data.Thumbnail().LoadFromBytes(big.data(), big.size());
  data.Thumbnail().SetCompressionQuality(100);
  if (GetParam() == sfXMPTooLarge) data.XMPPacket().UpdateProperty(xnXMPBasic, "Rating", std::string(70000, '5'));
  if (GetParam() == sfCommitFails)
    Zorp::Base::SetSafeFileCommitHook([](const std::string&) { throw Zorp::Base::EWriteError("interrupted"); });
  const std::vector<std::string> before = ContainerState(data);

  TMemoryStream input;
  input.LoadFromFile(Path);
  TFailingStream failing;
  TMemoryStream output;
  switch (GetParam()) {
    case sfXMPTooLarge:
      EXPECT_THROW(data.SaveToJPEG(input, output), EJPEGSegmentTooLarge);
      break;
    case sfOutputFails:
      EXPECT_THROW(data.SaveToJPEG(input, failing), Zorp::Base::EWriteError);
      break;
    case sfNotReadBack:
      EXPECT_THROW(data.SaveToJPEG(Path), EZorpExifException);
      break;
    case sfCommitFails:
      EXPECT_THROW(data.SaveToJPEG(Path, false), Zorp::Base::EWriteError);
      break;
  }
  EXPECT_EQ(ContainerState(data), before);
  ExpectUntouched();

  data.SetDamage(TDamagingExifData::dmNone);
  data.XMPPacket().RemoveProperty(xnXMPBasic, "Rating");
  const TWrittenBlock written{SaveBlock(data), boLittleEndian};
  const auto exifOffset = written.Entry(written.Ifd0(), ttExifIFDPointer);
  ASSERT_TRUE(exifOffset);
  EXPECT_EQ(written.Entry(*exifOffset, ttMakerNote), 1000u);
  EXPECT_EQ(written.Entry(*exifOffset, ttOffsetSchema), 0u);
  EXPECT_FALSE(written.Entry(*exifOffset, ttPadding));
  EXPECT_EQ(data.Thumbnail().Width(), 160);
  EXPECT_EQ(data.Sections(skThumbnail).GetWordValue(ttImageWidth, 0), 160);
}

INSTANTIATE_TEST_SUITE_P(AtEachStep, AFailedSave,
                         ::testing::Values(sfXMPTooLarge, sfOutputFails, sfNotReadBack, sfCommitFails));

TEST(ASuccessfulSaveToJPEG, GivesTheContainerWhatItWrote) {
  const Bytes input = Concat({{0xFF, 0xD8}, Segment(jmApp1, BlockWithMakerNoteAt(1500, 500)), ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  data.SetExifImageWidth(TOptionalLongWord{100, false});
  const Bytes output = SaveJPEG(data, input);
  TExifData reread;
  LoadJPEG(reread, output);
  for (int kind = skPrimary; kind <= skGps; ++kind)
    ExpectSameTags(data.Sections(static_cast<TExifSectionKind>(kind)),
                   reread.Sections(static_cast<TExifSectionKind>(kind)), std::to_string(kind));
  EXPECT_EQ(data.ExifImageWidth().Value, 24u);
}

// ---- Fidelity: what other readers must find after a save ------------------------------------

// The IDs of the directory at ifd, in file order.
std::vector<std::uint16_t> EntryIDs(const TWrittenBlock& block, std::uint32_t ifd) {
  std::vector<std::uint16_t> ids;
  for (std::uint32_t i = 0, n = block.U16(ifd); i < n; ++i) ids.push_back(block.U16(ifd + 2 + 12 * i));
  return ids;
}

struct TDirectoryCase {
  const char* Name;
  std::vector<IfdBuilder::Entry> Entries;
  std::vector<std::uint16_t> Written;
};

class AWrittenDirectory : public ::testing::TestWithParam<TDirectoryCase> {};

TEST_P(AWrittenDirectory, IsStrictlyAscendingWithoutUnreadableOrRepeatedEntries) {
  ExifBuilder builder;
  for (const auto& entry : GetParam().Entries) builder.Primary.Add(entry);
  Bytes input = builder.Build();
  TExifData data;
  LoadBlock(data, input);
  const TWrittenBlock written{SaveBlock(data), boLittleEndian};
  EXPECT_EQ(EntryIDs(written, written.Ifd0()), GetParam().Written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AWrittenDirectory,
    ::testing::Values(
        // A bad type: the entry is read as an empty tag that carries nothing.
        TDirectoryCase{"BadTypeWithTheIDOfAnotherTag",
                       {{0x0000, 1, 4, {2, 2, 0, 0}, {}}, {0x0000, 99, 1, {}, {}}, {0x010F, 2, 2, {'X', 0}, {}}},
                       {0x0000, 0x010F}},
        TDirectoryCase{"BadTypeAlone", {{0x0100, 3, 1, {}, {5}}, {0x0101, 0, 1, {}, {}}}, {0x0100}},
        // Two readable entries with one ID: the first stays.
        TDirectoryCase{"Repeated", {{0x0112, 3, 1, {}, {1}}, {0x0112, 3, 1, {}, {6}}, {0x0131, 2, 2, {'Y', 0}, {}}},
                       {0x0112, 0x0131}}),
    [](const auto& info) { return std::string(info.param.Name); });

// A MakerNote whose entry points past its own bytes, at the value of another tag; the header is
// what precedes the directory for the camera make.
struct TOutsideCase {
  const char* Name;
  const char* Make;
  Bytes Header;
};

class AMakerNoteReachingOutside : public ::testing::TestWithParam<TOutsideCase> {};

TEST_P(AMakerNoteReachingOutside, KeepsTheBytesItReferencesWhereTheyWere) {
  const Bytes outside = {'O', 'U', 'T', 'S', 'I', 'D', 'E', ' ', 'D', 'A', 'T', 'A', 0, 1, 2, 3};
  auto build = [&](std::uint32_t target) {
    ByteBuilder note(boLittleEndian);
    note.Bytes(GetParam().Header).U16(1).U16(0x0006).U16(7).U32(16).U32(target).U32(0);
    ExifBuilder builder;
    builder.Primary.Ascii(ttMake, GetParam().Make);
    builder.Exif.Undefined(ttMakerNote, note.Data()).Undefined(ttUserComment, outside);
    Bytes block = builder.Build();
    return std::make_pair(block, builder.ValueOffsets.at({1, ttUserComment}));
  };
  // The layout does not depend on the bytes, so a second build can point at the first's value.
  const auto [input, target] = build(build(0).second);
  TExifData data;
  LoadBlock(data, input);
  data.SetUserRating(urFourStars);  // an edit that moves the directories
  const TWrittenBlock written{SaveBlock(data), boLittleEndian};
  EXPECT_EQ(written.Range(target, outside.size()), outside);
  TExifData reloaded;
  LoadBlock(reloaded, written.Data);
  EXPECT_EQ(reloaded.Sections(skExif).Find(ttMakerNote)->SourceDataOffset(),
            data.Sections(skExif).Find(ttMakerNote)->SourceDataOffset());
  EXPECT_EQ(reloaded.UserRating(), urFourStars);
  const TExifTag* comment = reloaded.Sections(skExif).Find(ttUserComment);
  ASSERT_NE(comment, nullptr);
  EXPECT_EQ(Bytes(comment->Bytes().begin(), comment->Bytes().end()), outside);
}

INSTANTIATE_TEST_SUITE_P(Makers, AMakerNoteReachingOutside,
                         ::testing::Values(TOutsideCase{"Canon", "Canon", {}},
                                           TOutsideCase{"UnknownWithHeader", "Acme", {'A', 'C', 'M', 'E', 0, 1, 0, 0}}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(AnUncompressedThumbnail, IsCarriedWithItsStrips) {
  const Bytes strip(96, 0x5A);
  auto build = [&](std::uint32_t stripOffset) {
    ExifBuilder builder;
    builder.Primary.Ascii(ttMake, "Kodak");
    builder.Thumbnail.Short(ttCompression, {1})
        .Long(ttStripOffsets, {stripOffset})
        .Long(ttStripByteCounts, {static_cast<std::uint32_t>(strip.size())});
    builder.ThumbnailJPEG = strip;  // the builder puts these bytes behind IFD1
    return builder.Build();
  };
  Bytes probe = build(0);
  const auto at = std::search(probe.begin(), probe.end(), strip.begin(), strip.end()) - probe.begin() - 6;
  const Bytes input = build(static_cast<std::uint32_t>(at));
  TExifData data;
  LoadBlock(data, input);
  ASSERT_FALSE(data.HasThumbnail());
  const TWrittenBlock written{SaveBlock(data), boLittleEndian};
  TExifData reloaded;
  LoadBlock(reloaded, written.Data);
  std::uint32_t offset = 0, size = 0;
  ASSERT_TRUE(reloaded.Sections(skThumbnail).TryGetLongValue(ttStripOffsets, 0, offset));
  ASSERT_TRUE(reloaded.Sections(skThumbnail).TryGetLongValue(ttStripByteCounts, 0, size));
  EXPECT_EQ(written.Range(offset, size), strip);
  // Saved again, the same container writes the same block.
  EXPECT_EQ(SaveBlock(data), written.Data);
}

// A photo without Exif gains a main directory with the tags every JPEG main directory must have,
// its resolution taken from the JFIF header where that gives one.
struct TRequiredTagsCase {
  const char* Name;
  Bytes Jfif;  // the APP0 data
  TTiffRational Resolution;
  std::uint16_t Unit;
};

class ANewMainDirectory : public ::testing::TestWithParam<TRequiredTagsCase> {};

TEST_P(ANewMainDirectory, GetsTheRequiredTags) {
  const Bytes input = Concat({{0xFF, 0xD8}, Segment(0xE0, GetParam().Jfif), ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  data.SetCopyright("Me");
  TExifData saved;
  LoadJPEG(saved, SaveJPEG(data, input));
  const TExifSection& primary = saved.Sections(skPrimary);
  EXPECT_EQ(primary.GetFractionValue(ttXResolution, 0), GetParam().Resolution);
  EXPECT_EQ(primary.GetFractionValue(ttYResolution, 0), GetParam().Resolution);
  EXPECT_EQ(primary.GetWordValue(ttResolutionUnit, 0), GetParam().Unit);
  EXPECT_EQ(primary.GetWordValue(ttYCbCrPositioning, 0), 1);
  EXPECT_EQ(saved.Copyright(), "Me");
}

INSTANTIATE_TEST_SUITE_P(
    Densities, ANewMainDirectory,
    ::testing::Values(TRequiredTagsCase{"AspectRatioOnly", {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}, {72, 1}, 2},
                      TRequiredTagsCase{"DotsPerInch", {'J', 'F', 'I', 'F', 0, 1, 1, 1, 1, 44, 1, 44, 0, 0}, {300, 1}, 2},
                      TRequiredTagsCase{"DotsPerCentimetre", {'J', 'F', 'I', 'F', 0, 1, 1, 2, 0, 118, 0, 118, 0, 0}, {118, 1}, 3},
                      TRequiredTagsCase{"NotJFIF", {'X', 'Y', 0}, {72, 1}, 2}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ANewMainDirectory, KeepsTheTagsItAlreadyHas) {
  const Bytes input = Concat({{0xFF, 0xD8}, ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  data.Sections(skPrimary).SetWordValue(ttResolutionUnit, 0, 3);
  TExifData saved;
  LoadJPEG(saved, SaveJPEG(data, input));
  EXPECT_EQ(saved.Sections(skPrimary).GetWordValue(ttResolutionUnit, 0), 3);
}

// An Exif segment that cannot be read is never dropped silently.
struct TUnreadableCase {
  const char* Name;
  Bytes Block;
};

class AnUnreadableExifSegment : public ::testing::TestWithParam<TUnreadableCase> {};

TEST_P(AnUnreadableExifSegment, IsNotSavedOverUnlessARepairIsAskedFor) {
  const Bytes input = Concat({{0xFF, 0xD8}, Segment(0xE1, GetParam().Block), ImageData()});
  TExifData data;
  LoadJPEG(data, input);
  EXPECT_TRUE(data.UnreadableExif());
  data.SetCopyright("Me");
  TMemoryStream in, out;
  in.WriteBuffer(input.data(), static_cast<std::int64_t>(input.size()));
  in.SetPosition(0);
  EXPECT_THROW_MSG(data.SaveToJPEG(in, out), EZorpExifException,
                   "The Exif data of this photo could not be read; saving would discard it");
  EXPECT_EQ(out.Size(), 0);

  data.SetRepairOnSave(true);
  const Bytes repaired = SaveJPEG(data, input);
  EXPECT_EQ(App1Segments(repaired).size(), 1u);  // replaced, not added beside it
  TExifData reloaded;
  LoadJPEG(reloaded, repaired);
  EXPECT_FALSE(reloaded.UnreadableExif());
  EXPECT_EQ(reloaded.Copyright(), "Me");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AnUnreadableExifSegment,
    ::testing::Values(TUnreadableCase{"MainDirectoryOutside", ByteBuilder(boLittleEndian)
                                                                  .Text(std::string_view("Exif\0\0II", 8))
                                                                  .U16(42)
                                                                  .U32(0x7FFFFFFF)
                                                                  .Bytes(Bytes(64, 7))
                                                                  .Data()},
                      TUnreadableCase{"BadMagicNumber", ByteBuilder(boBigEndian)
                                                            .Text(std::string_view("Exif\0\0MM", 8))
                                                            .U16(43)
                                                            .U32(8)
                                                            .Bytes(Bytes(64, 0))
                                                            .Data()}),
    [](const auto& info) { return std::string(info.param.Name); });

// ---- Hostile blocks cost little --------------------------------------------------------------

TEST(AHostileBlock, WithAnOffsetSchemaNoSegmentCanReachSavesTheMakerNoteAsAnyValue) {
  for (const std::int32_t schema : {std::numeric_limits<std::int32_t>::min(), -70000}) {
    SCOPED_TRACE(schema);
    TExifData data;
    LoadBlock(data, BlockWithMakerNoteAt(1000, schema));
    data.SetSoftware("x");
    const Bytes block = SaveBlock(data);  // no 2 GiB block on the way
    EXPECT_LT(block.size(), 4096u);
    TExifData reloaded;
    LoadBlock(reloaded, block);
    EXPECT_EQ(reloaded.Sections(skExif).Find(ttMakerNote)->DataSize(), 600);
  }
}

// Sub-directory pointers aimed at a directory already loaded: each directory is read once.
struct TAliasCase {
  const char* Name;
  bool GpsAtIfd0, InteropAtExif, GpsAtExif;
  TExifSectionKind Refused;
};

class AnAliasedDirectoryPointer : public ::testing::TestWithParam<TAliasCase> {};

TEST_P(AnAliasedDirectoryPointer, LoadsAsABadOffset) {
  ExifBuilder builder;
  builder.Primary.Ascii(ttMake, "Maker");
  builder.Exif.Rational(ttExposureTime, 1, 60);
  builder.Gps.Short(0x0005, {0});
  builder.Interop.Ascii(0x0001, "R98");
  Bytes block = builder.Build();
  // Patch the pointers after the layout: IFD0 starts at 8, the Exif directory where 0x8769 says.
  TWrittenBlock view{block, boLittleEndian};
  const std::uint32_t exif = view.U32(builder.ValueOffsets.at({0, 0x8769}));
  auto patch = [&](int ifd, std::uint16_t id, std::uint32_t value) {
    const std::uint32_t at = builder.ValueOffsets.at({ifd, id});
    for (int i = 0; i < 4; ++i) block[6 + at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  if (GetParam().GpsAtIfd0) patch(0, 0x8825, 8);
  if (GetParam().GpsAtExif) patch(0, 0x8825, exif);
  if (GetParam().InteropAtExif) patch(1, 0xA005, exif);
  TExifData data;
  LoadBlock(data, block);
  EXPECT_TRUE(data.Sections(GetParam().Refused).LoadErrors().Contains(leBadOffset));
  EXPECT_EQ(data.Sections(GetParam().Refused).Count(), 0);
  EXPECT_EQ(data.CameraMake(), "Maker");
  EXPECT_TRUE(data.Sections(skExif).Find(ttExposureTime));
}

INSTANTIATE_TEST_SUITE_P(Cases, AnAliasedDirectoryPointer,
                         ::testing::Values(TAliasCase{"GpsAtMainDirectory", true, false, false, skGps},
                                           TAliasCase{"InteropAtExif", false, true, false, skInterop},
                                           TAliasCase{"GpsAtExif", false, false, true, skGps}),
                         [](const auto& info) { return std::string(info.param.Name); });

// Layouts found by fuzzing the save: each is saved, and what is written reads back as the container
// holds it (the check after writing passes) with the image data unchanged.
struct THostileLayoutCase {
  const char* Name;
  std::function<Bytes()> Input;
  std::function<void(TExifData&)> Edit;
  std::function<void(const TExifData& saved, const TExifData& reread)> Expect;
};

void PrintTo(const THostileLayoutCase& c, std::ostream* out) { *out << c.Name; }

class AHostileLayout : public ::testing::TestWithParam<THostileLayoutCase> {};

TEST_P(AHostileLayout, IsSavedAsTheContainerHoldsIt) {
  const Bytes input = GetParam().Input();
  TExifData data;
  LoadJPEG(data, input);
  GetParam().Edit(data);
  TMemoryStream output;
  {
    TMemoryStream in;
    in.WriteBuffer(input.data(), static_cast<std::int64_t>(input.size()));
    in.SetPosition(0);
    data.SaveToJPEG(in, output);
  }
  EXPECT_NO_THROW(data.VerifySavedJPEG(output));
  const Bytes written = output.Bytes();
  EXPECT_EQ(FromStartOfScan(written), FromStartOfScan(input));
  TExifData reread;
  LoadJPEG(reread, written);
  GetParam().Expect(data, reread);
}

Bytes WithMainDirectory(const std::function<void(IfdBuilder&)>& fill, const Bytes& before = {}) {
  ExifBuilder block;
  fill(block.Primary);
  return Concat({{0xFF, 0xD8}, before, Segment(jmApp1, block.Build()), ImageData()});
}

INSTANTIATE_TEST_SUITE_P(
    FoundByFuzzing, AHostileLayout,
    ::testing::Values(
        THostileLayoutCase{
            "FillBytesBeforeTheExifSegment",
            [] {
              // Fill bytes, then the Exif segment, then bytes that are no marker: the fill bytes must
              // go with the segment, or they would make the junk a marker.
              ExifBuilder block;
              block.Primary.Ascii(ttMake, "Maker");
              const Bytes exif = Segment(jmApp1, block.Build());
              return Concat({{0xFF, 0xD8, 0xFF, 0xFF}, exif, {0x12, 0x34}, ImageData()});
            },
            [](TExifData& data) { data.SetCameraMake("Edited"); },
            [](const TExifData&, const TExifData& reread) { EXPECT_EQ(reread.CameraMake(), "Edited"); }},
        THostileLayoutCase{
            "AnEditedTagThatCouldNotBeRead",
            [] { return WithMainDirectory([](IfdBuilder& ifd) { ifd.Raw(ttMake, 99, 4, {'a', 'b', 'c', 0}); }); },
            [](TExifData& data) {
              ASSERT_FALSE(data.Sections(skPrimary).Find(ttMake)->WellFormed());
              data.SetCameraMake("Edited");
            },
            [](const TExifData&, const TExifData& reread) { EXPECT_EQ(reread.CameraMake(), "Edited"); }},
        THostileLayoutCase{
            "TwoPointersToAnUnreadableGPSDirectory",
            [] {
              return WithMainDirectory([](IfdBuilder& ifd) {
                ifd.Ascii(ttMake, "Maker").Short(ttGPSInfoIFDPointer, {8}).Long(ttGPSInfoIFDPointer, {8});
              });
            },
            [](TExifData&) {},
            [](const TExifData& saved, const TExifData& reread) {
              EXPECT_EQ(saved.PeekSection(skPrimary).Find(ttGPSInfoIFDPointer), nullptr);
              EXPECT_EQ(reread.PeekSection(skPrimary).Find(ttGPSInfoIFDPointer), nullptr);
              EXPECT_TRUE(reread.PeekSection(skGps).LoadErrors().Empty());
            }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(AHostileBlock, WhoseEntriesAllClaimTheWholeBlockCostsAFewTimesItsSize) {
  ExifBuilder builder;
  builder.Primary.Ascii(ttMake, "Maker");
  for (std::uint16_t id = 0x1000; id < 0x1000 + 400; ++id) builder.Exif.Raw(id, dtUndefined, 4, {1, 2, 3, 4});
  Bytes block = builder.Build();
  // Every entry then claims the same 4000 bytes after the header.
  TWrittenBlock view{block, boLittleEndian};
  const std::uint32_t exif = view.U32(builder.ValueOffsets.at({0, 0x8769}));
  for (std::uint32_t i = 0; i < 400; ++i) {
    const std::size_t entry = 6 + exif + 2 + 12 * i;
    for (int b = 0; b < 4; ++b) {
      block[entry + 4 + b] = static_cast<std::uint8_t>(4000 >> (8 * b));
      block[entry + 8 + b] = b == 0 ? 8 : 0;
    }
  }
  block.resize(std::max<std::size_t>(block.size(), 4100));
  TExifData data;
  LoadBlock(data, block);
  std::int64_t total = 0, wellFormed = 0;
  for (const TExifTag* tag : data.Sections(skExif)) {
    total += tag->DataSize();
    wellFormed += tag->WellFormed();
  }
  EXPECT_LE(total, 4 * static_cast<std::int64_t>(block.size()) + 4096);
  EXPECT_GT(wellFormed, 0);
  EXPECT_LT(wellFormed, 400);
}

// ---- Real photos -----------------------------------------------------------------------------

std::vector<fs::path> Photos() {
  std::vector<fs::path> photos;
  if (!fs::is_directory(QUORVANE_PHOTOS_DIR)) return photos;
  for (const auto& entry : fs::directory_iterator(QUORVANE_PHOTOS_DIR)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".jpg" || extension == ".jpeg" || extension == ".JPG") photos.push_back(entry.path());
  }
  std::sort(photos.begin(), photos.end());
  return photos;
}

TEST(ARealPhoto, SurvivesALoadSaveLoadRoundTripWithEveryTagAndTheImageData) {
  const auto photos = Photos();
  if (photos.empty()) GTEST_SKIP() << "no photos folder";
  int saved = 0;
  for (const fs::path& photo : photos) {
    SCOPED_TRACE(photo.filename().string());
    const Bytes input = ReadFileBytes(photo);
    TExifData original;
    try {
      LoadJPEG(original, input);
    } catch (const Zorp::Base::Exception&) {
      continue;  // not loadable in the first place
    }
    if (original.UnreadableExif()) continue;  // not saved without a repair
    // The MakerNote as read before the save, where it reads at all.
    std::vector<std::string> makerNote;
    bool makerNoteClean = false;
    try {
      const TExifSection& section = original.Sections(skMakerNote);
      makerNote = Snapshot(section);
      makerNoteClean = section.LoadErrors().Empty() && section.Count() > 0;
    } catch (const EInvalidMakerNoteFormat&) {
    }
    const bool hadThumbnail = original.HasThumbnail();
    Bytes output;
    TMemoryStream in, out;
    in.WriteBuffer(input.data(), static_cast<std::int64_t>(input.size()));
    in.SetPosition(0);
    original.SaveToJPEG(in, out);
    original.VerifySavedJPEG(out);
    output = out.Bytes();
    ++saved;

    TExifData reloaded;
    LoadJPEG(reloaded, output);
    for (int kind = skPrimary; kind <= skGps; ++kind)
      ExpectSameTags(original.Sections(static_cast<TExifSectionKind>(kind)),
                     reloaded.Sections(static_cast<TExifSectionKind>(kind)), "section " + std::to_string(kind));
    if (hadThumbnail) {
      ExpectSameTags(original.Sections(skThumbnail), reloaded.Sections(skThumbnail), "thumbnail");
      EXPECT_TRUE(reloaded.HasThumbnail());
    }
    if (makerNoteClean) {
      EXPECT_EQ(makerNote, Snapshot(reloaded.Sections(skMakerNote))) << "MakerNote";
    }
    EXPECT_EQ(FromStartOfScan(output), FromStartOfScan(input));

    // Saved again, the same container gives the same file.
    TMemoryStream again;
    in.SetPosition(0);
    original.SaveToJPEG(in, again);
    EXPECT_TRUE(again.Bytes() == output);
  }
  EXPECT_GT(saved, 0);
}

// ---- Checked with an independent reader ------------------------------------------------------

TEST(ARealPhotoCheckedByExifTool, ReadsTheEditsAndEverythingElseAsBefore) {
  if (!HasExifTool()) GTEST_SKIP() << "exiftool is not installed";
  if (!fs::is_directory(QUORVANE_PHOTOS_DIR)) GTEST_SKIP() << "no photos folder";
  const std::vector<std::string> names = {"dcc_canon_eos-5d-mark-iii_EOS5D-MIII__K6A7944.jpg",
                                          "dcc_sony_slt-a55v_SLT-A55__DSC3757.jpg",
                                          "exifr_nikon_nikon-d2x_iptc-agency-photographer-example.jpg",
                                          "exiftool_olympus_e-1_OlympusE1.jpg",
                                          "dcc_apple_iphone-xr_iPhone-XR_IMG_3615.jpg",
                                          "exiftool_fujifilm_finepix2400zoom_XMP.jpg",
                                          "mdx_nikon_nikon-d60_Nikon-D60.jpg"};
  const fs::path folder = fs::temp_directory_path() / ("quorvane-oracle-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::vector<std::string> files, photos;
  std::set<std::string> withoutThumbnail;
  for (const std::string& name : names) {
    const fs::path source = fs::path(QUORVANE_PHOTOS_DIR) / name;
    if (!fs::exists(source)) continue;
    photos.push_back(name);
    const std::string original = (folder / ("original-" + name)).string();
    const std::string edited = (folder / ("edited-" + name)).string();
    const std::string again = (folder / ("again-" + name)).string();
    fs::copy_file(source, original);
    CopyWritable(source, edited);
    CopyWritable(source, again);
    TExifData data;
    data.LoadFromJPEG(edited);
    if (!data.HasThumbnail()) withoutThumbnail.insert(name);
    data.Sections(skPrimary).SetStringValue(ttArtist, "Quorvane Tester");
    data.Sections(skPrimary).SetStringValue(ttSoftware, "Quorvane 0.1");
    data.SaveToJPEG(edited);
    data.SaveToJPEG(again);  // the same container a second time
    EXPECT_EQ(ReadFileBytes(again), ReadFileBytes(edited)) << name;
    EXPECT_EQ(FromStartOfScan(ReadFileBytes(edited)), FromStartOfScan(ReadFileBytes(original))) << name;
    files.insert(files.end(), {original, edited});
  }
  if (photos.empty()) GTEST_SKIP() << "none of the photos found";

  const auto listings = ExifToolListings(files);
  // What may differ: the file itself, offsets of the new layout (also those of a second image, which
  // moves with the file's length), padding that the save drops, the offset schema that the save
  // applies, the thumbnail's length (it is cut after its end marker) and the edits. A thumbnail
  // directory without a thumbnail that loads is not written.
  std::set<std::string> layoutTags = {"IFD0:ExifOffset",      "IFD0:GPSInfo",         "ExifIFD:InteropOffset",
                                      "IFD1:ThumbnailOffset", "IFD1:ThumbnailLength", "IFD1:ThumbnailImage",
                                      "IFD0:Padding",         "ExifIFD:Padding",      "ExifIFD:OffsetSchema",
                                      "IFD0:Artist",          "IFD0:Software"};
  // A file offset into a MakerNote that the offset schema sent back to its original place.
  layoutTags.insert("PreviewIFD:PreviewImageStart");
  // The Exif image size takes the frame size (checked below).
  layoutTags.insert({"ExifIFD:ExifImageWidth", "ExifIFD:ExifImageHeight"});
  auto layoutTag = [&](const std::string& name, const std::string& tag) {
    return tag.rfind("System:", 0) == 0 || layoutTags.count(tag) ||
           (tag.rfind("MPImage", 0) == 0 && tag.find(":MPImageStart") != std::string::npos) ||
           (withoutThumbnail.count(name) && tag.rfind("IFD1:", 0) == 0);
  };
  for (const std::string& name : photos) {
    SCOPED_TRACE(name);
    const auto original = listings.find((folder / ("original-" + name)).string());
    const auto edited = listings.find((folder / ("edited-" + name)).string());
    ASSERT_NE(original, listings.end());
    ASSERT_NE(edited, listings.end());
    auto comparable = [&](const TExifToolListing& listing) {
      std::multiset<std::string> lines, warnings;
      for (const auto& [tag, value] : listing) {
        if (layoutTag(name, tag)) continue;
        (tag == "ExifTool:Warning" ? warnings : lines).insert(tag + " = " + value);
      }
      return std::make_pair(lines, warnings);
    };
    const auto [before, warningsBefore] = comparable(original->second);
    const auto [after, warningsAfter] = comparable(edited->second);
    std::vector<std::string> lost, gained;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(lost));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(gained));
    EXPECT_TRUE(lost.empty() && gained.empty())
        << "lost: " << ::testing::PrintToString(lost) << "\ngained: " << ::testing::PrintToString(gained);
    std::vector<std::string> newWarnings;
    std::set_difference(warningsAfter.begin(), warningsAfter.end(), warningsBefore.begin(), warningsBefore.end(),
                        std::back_inserter(newWarnings));
    EXPECT_TRUE(newWarnings.empty()) << ::testing::PrintToString(newWarnings);
    const auto lengthBefore = original->second.find("IFD1:ThumbnailLength");
    const auto lengthAfter = edited->second.find("IFD1:ThumbnailLength");
    if (lengthBefore != original->second.end() && !withoutThumbnail.count(name)) {
      ASSERT_NE(lengthAfter, edited->second.end());
      EXPECT_LE(std::stol(lengthAfter->second), std::stol(lengthBefore->second));
    }
    for (const auto& [exifTag, fileTag] : {std::pair{"ExifIFD:ExifImageWidth", "File:ImageWidth"},
                                           std::pair{"ExifIFD:ExifImageHeight", "File:ImageHeight"}}) {
      const auto before = original->second.find(exifTag);
      const auto after = edited->second.find(exifTag);
      const auto frame = edited->second.find(fileTag);
      EXPECT_EQ(before == original->second.end(), after == edited->second.end()) << exifTag;
      if (after != edited->second.end() && frame != edited->second.end()) {
        EXPECT_EQ(after->second, frame->second) << exifTag;
      }
    }
    const auto artist = edited->second.find("IFD0:Artist");
    ASSERT_NE(artist, edited->second.end());
    EXPECT_EQ(artist->second, "Quorvane Tester");
    const auto software = edited->second.find("IFD0:Software");
    ASSERT_NE(software, edited->second.end());
    EXPECT_EQ(software->second, "Quorvane 0.1");
  }
  fs::remove_all(folder);
}

}  // namespace
