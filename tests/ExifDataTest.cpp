#include <gtest/gtest.h>

#include "TestHelpers.h"

#include <filesystem>

#include "ExifBuilder.h"
#include "zorp/base/JPEGImage.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TagIDs.h"
#include "zorp/exif/XMPUtils.h"

namespace {

using namespace Zorp::Exif;
using Zorp::Base::TMemoryStream;
using Zorp::Testing::ByteBuilder;
using Zorp::Testing::ExifBuilder;
using Zorp::Testing::LoadJPEG;

// A small real JPEG of width x height, made by the thumbnail class itself.
std::vector<std::uint8_t> SmallJPEG(int width, int height) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<std::uint8_t>(i * 7);
  Zorp::Base::TJPEGImage image;
  image.AssignRGB(rgb.data(), width, height);
  return image.Bytes();
}

// An Exif block with something in every standard directory.
ExifBuilder TypicalBlock(TByteOrder order) {
  ExifBuilder block(order);
  block.Primary.Ascii(ttMake, "Canon").Ascii(ttModel, "EOS 5D").Short(ttOrientation, {6});
  block.Exif.Rational(ttExposureTime, 1, 125).Ascii(ttDateTimeOriginal, "2010:07:04 10:20:30");
  block.Interop.Ascii(ttInteroperabilityIndex, "R98");
  block.Gps.Raw(ttGPSVersionID, 1, 4, {2, 2, 0, 0}).Ascii(ttGPSLatitudeRef, "N");
  block.Thumbnail.Short(ttCompression, {6});
  return block;
}

class AnExifContainer : public ::testing::TestWithParam<TByteOrder> {};

TEST_P(AnExifContainer, LoadsEveryDirectoryOfAJPEG) {
  ExifBuilder block = TypicalBlock(GetParam());
  const auto jpeg = ExifBuilder::Jpeg({block.Build()});
  TExifData data;
  int changes = 0;
  data.SetOnChange([&](TCustomExifData&) { ++changes; });
  LoadJPEG(data, jpeg);

  EXPECT_EQ(data.ByteOrder(), GetParam());
  EXPECT_EQ(data.Sections(skPrimary).GetStringValue(ttMake), "Canon");
  EXPECT_EQ(data.Sections(skPrimary).GetWordValue(ttOrientation, 0), 6);
  EXPECT_EQ(data.Sections(skExif).GetFractionValue(ttExposureTime, 0), (TTiffRational{1, 125}));
  EXPECT_EQ(data.Sections(skInterop).GetStringValue(ttInteroperabilityIndex), "R98");
  EXPECT_EQ(data.Sections(skGps).GetStringValue(ttGPSLatitudeRef), "N");
  EXPECT_EQ(data.Sections(skThumbnail).GetWordValue(ttCompression, 0), 6);
  // The header offset is a file offset: SOI 2 + APP0 18 + APP1 marker and length 4 + "Exif" 00 00.
  EXPECT_EQ(data.TiffHeaderOffset(), 2 + 18 + 4 + 6);
  EXPECT_TRUE(data.SourceMetadata().Contains(mkExif));
  EXPECT_FALSE(data.SourceMetadata().Contains(mkXMP));
  EXPECT_FALSE(data.Modified());
  EXPECT_FALSE(data.HasMakerNote());
  EXPECT_EQ(changes, 0);
}

TEST_P(AnExifContainer, IgnoresASubDirectoryPointerOfTheWrongType) {
  ExifBuilder block(GetParam());
  block.Primary.Ascii(ttMake, "X").Short(ttExifIFDPointer, {8});
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  EXPECT_EQ(data.Sections(skPrimary).Count(), 2);
  EXPECT_EQ(data.Sections(skExif).Count(), 0);
}

TEST_P(AnExifContainer, CutsTheThumbnailOutOfTheBlock) {
  ExifBuilder block = TypicalBlock(GetParam());
  block.ThumbnailJPEG = SmallJPEG(16, 8);
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  ASSERT_TRUE(data.HasThumbnail());
  EXPECT_EQ(data.Thumbnail().Bytes(), block.ThumbnailJPEG);
  EXPECT_EQ(data.Thumbnail().Width(), 16);
  EXPECT_EQ(data.Thumbnail().Height(), 8);
  EXPECT_FALSE(data.Modified());
  EXPECT_FALSE(data.IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, AnExifContainer, ::testing::Values(boLittleEndian, boBigEndian),
                         [](const auto& info) { return info.param == boBigEndian ? "MM" : "II"; });

TEST(AnExifContainerLoad, TakesTheByteOrderFromTheMagicNumber) {
  ExifBuilder block(boBigEndian);
  block.Primary.Short(ttOrientation, {3});
  auto bytes = block.Build();
  bytes[6] = bytes[7] = 'I';  // the mark says II, the magic number 00 2A says big-endian
  TExifData data;
  Zorp::Testing::LoadBlock(data, bytes);
  EXPECT_EQ(data.ByteOrder(), boBigEndian);
  EXPECT_EQ(data.Sections(skPrimary).GetWordValue(ttOrientation, 0), 3);
}

TEST(AnExifContainerLoad, ReadsOnlyTheFirstOfTwoExifSegments) {
  ExifBuilder first(boLittleEndian), second(boBigEndian);
  first.Primary.Ascii(ttMake, "First");
  second.Primary.Ascii(ttMake, "Second");
  const auto firstBytes = first.Build();
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({firstBytes, second.Build()}));
  EXPECT_EQ(data.CameraMake(), "First");
  EXPECT_EQ(data.ByteOrder(), boLittleEndian);
  EXPECT_EQ(data.TiffHeaderOffset(), 2 + 18 + 4 + 6);
}

TEST(AnExifContainerLoad, LoadsAJPEGWithoutExifAsEmptyWithoutNotifying) {
  TExifData data;
  data.Sections(skPrimary).SetStringValue(ttMake, "Old");
  int changes = 0;
  data.SetOnChange([&](TCustomExifData&) { ++changes; });
  LoadJPEG(data, ExifBuilder::Jpeg({}));
  EXPECT_TRUE(data.IsEmpty());
  EXPECT_FALSE(data.Modified());
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(data.SourceMetadata().Empty());
}

TEST(AnExifContainerLoad, RefusesDataWithoutTheExifHeader) {
  ExifBuilder block;
  block.Primary.Short(ttOrientation, {1});
  block.WithExifHeader = false;  // a bare TIFF stream
  const auto bytes = block.Build();
  TExifData data;
  EXPECT_THROW_MSG(Zorp::Testing::LoadBlock(data, bytes), EInvalidExifData, "No Exif header found");
}

TEST(AnExifContainerLoad, RaisesTheReadErrorForABlockEndingInItsHeader) {
  const std::vector<std::uint8_t> block = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0, 8};
  TExifData data;
  EXPECT_THROW(LoadJPEG(data, ExifBuilder::Jpeg({block})), Zorp::Base::EReadError);
  EXPECT_FALSE(data.Modified());
  EXPECT_FALSE(data.Updating());
}

TEST(AnExifContainerLoad, RaisesForAStreamThatIsNotAJPEG) {
  TExifData data;
  EXPECT_THROW(LoadJPEG(data, {'G', 'I', 'F', '8', '9', 'a'}), EInvalidJPEGHeader);
}

TEST(AnExifContainerLoad, LeavesTheThumbnailEmptyWhenItsOffsetHoldsNoJPEG) {
  ExifBuilder block;
  block.Primary.Short(ttOrientation, {1});
  block.ThumbnailJPEG = std::vector<std::uint8_t>(40, 0x55);
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  EXPECT_FALSE(data.HasThumbnail());
  std::int64_t offset = 0;
  EXPECT_TRUE(data.GetThumbnailOffset(nullptr, offset));
}

TEST(AnExifContainerLoad, RemembersTheXMPSegmentAndParsesItOnFirstRead) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Canon");
  const std::string xmp =
      std::string("http://ns.adobe.com/xap/1.0/") + '\0' +
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description rdf:about='' xmlns:tiff='http://ns.adobe.com/tiff/1.0/' tiff:Make='Canon'/>"
      "</rdf:RDF></x:xmpmeta>";
  const std::vector<std::uint8_t> xmpBytes(xmp.begin(), xmp.end());
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build(), xmpBytes}));
  EXPECT_TRUE(data.SourceMetadata().Contains(mkXMP));
  EXPECT_EQ(data.XMPSegmentSize(), static_cast<std::int64_t>(xmpBytes.size()));
  EXPECT_GT(data.XMPSegmentOffset(), data.TiffHeaderOffset());
  ASSERT_NE(data.PendingXMPSegment(), nullptr);
  TXMPPacket& packet = data.XMPPacket();
  EXPECT_EQ(data.PendingXMPSegment(), nullptr);
  TXMPSchema* schema = nullptr;
  EXPECT_TRUE(packet.FindSchema(xnTIFF, schema));
}

// A memory stream that counts the bytes read from it.
class TCountingStream : public Zorp::Base::TMemoryStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t read = TMemoryStream::Read(buffer, count);
    BytesRead += read;
    return read;
  }
  std::int64_t BytesRead = 0;
};

TEST(AnExifContainerLoad, NeverReadsTheCompressedImageData) {
  ExifBuilder block = TypicalBlock(boLittleEndian);
  auto jpeg = ExifBuilder::Jpeg({block.Build()});
  const std::size_t scanAt = jpeg.size() - 7;  // the scan data and EOI of the tiny frame
  jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(scanAt), 20u << 20, 0x42);  // 20 MB of scan data
  TCountingStream stream;
  stream.WriteBuffer(jpeg.data(), static_cast<std::int64_t>(jpeg.size()));
  stream.SetPosition(0);
  TExifData data;
  data.LoadFromJPEG(stream);
  EXPECT_EQ(data.CameraMake(), "Canon");
  EXPECT_LT(stream.BytesRead, 4096);
}

TEST(AnExifContainerUpdate, CoalescesNotificationsUntilTheOutermostEnd) {
  TExifData data;
  int changes = 0;
  data.SetOnChange([&](TCustomExifData&) { ++changes; });
  data.BeginUpdate();
  data.BeginUpdate();
  data.Sections(skPrimary).SetStringValue(ttMake, "A");
  data.Sections(skPrimary).SetStringValue(ttModel, "B");
  data.EndUpdate();
  EXPECT_EQ(changes, 0);
  data.EndUpdate();
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(data.Modified());
  data.Sections(skPrimary).SetStringValue(ttMake, "C");  // outside a bracket: at once
  EXPECT_EQ(changes, 2);
}

TEST(AnExifContainerUpdate, ClearsModifiedWithoutNotifying) {
  TExifData data;
  int changes = 0;
  data.SetOnChange([&](TCustomExifData&) { ++changes; });
  data.SetModified(true);
  EXPECT_EQ(changes, 1);
  data.SetModified(false);
  EXPECT_FALSE(data.Modified());
  EXPECT_EQ(changes, 1);
}

TEST(AnExifContainerSections, AreFixedLayoutInTheBaseAndExtendableInTExifData) {
  TCustomExifData fixed;
  TExifData extendable;
  EXPECT_THROW(fixed.Sections(skPrimary).AddTag(ttMake, dtAscii, 2), EIllegalEditOfExifData);
  EXPECT_NO_THROW(extendable.Sections(skPrimary).AddTag(ttMake, dtAscii, 2));
}

TEST(AnExifContainerSections, DropTheMakerNoteWhenItsTagGoes) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Canon");
  block.Exif.Undefined(ttMakerNote, {1, 0, 1, 0, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0});
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  EXPECT_EQ(&data.MakerNoteType(), &TCanonMakerNote);
  EXPECT_EQ(data.Sections(skMakerNote).Count(), 1);
  data.Sections(skExif).Remove(ttMakerNote);
  EXPECT_EQ(&data.MakerNoteType(), &TUnrecognizedMakerNote);
  EXPECT_FALSE(data.HasMakerNote());
}

TEST(AnExifContainerSections, ReadTheMakerNoteWithoutCountingItAsAChange) {
  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Canon");
  block.Exif.Undefined(ttMakerNote, {1, 0, 1, 0, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0});
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  int changes = 0;
  data.SetOnChange([&](TCustomExifData&) { ++changes; });
  EXPECT_EQ(data.Sections(skMakerNote).Count(), 1);
  EXPECT_FALSE(data.Modified());
  EXPECT_EQ(changes, 0);
}

TEST(AnExifContainerClear, EmptiesEverySectionAndTheThumbnail) {
  ExifBuilder block = TypicalBlock(boLittleEndian);
  block.ThumbnailJPEG = SmallJPEG(8, 8);
  TExifData data;
  LoadJPEG(data, ExifBuilder::Jpeg({block.Build()}));
  ASSERT_FALSE(data.IsEmpty());
  data.Clear();
  EXPECT_TRUE(data.IsEmpty());
  EXPECT_FALSE(data.HasThumbnail());
}

TEST(AnExifContainerAssign, CopiesSectionsAndThumbnail) {
  ExifBuilder block = TypicalBlock(boBigEndian);
  block.ThumbnailJPEG = SmallJPEG(8, 8);
  TExifData source, copy;
  LoadJPEG(source, ExifBuilder::Jpeg({block.Build()}));
  copy.Assign(&source);
  EXPECT_EQ(copy.CameraMake(), "Canon");
  EXPECT_EQ(copy.Sections(skGps).Count(), 2);
  ASSERT_TRUE(copy.HasThumbnail());
  EXPECT_EQ(copy.Thumbnail().Bytes(), source.Thumbnail().Bytes());
  copy.Assign(nullptr);
  EXPECT_TRUE(copy.IsEmpty());
}

TEST(AThumbnailFit, KeepsTheAspectWithinTheLimits) {
  int w = 0, h = 0;
  FitThumbnailSize(320, 240, 160, 120, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(160, 120));
  FitThumbnailSize(100, 300, 160, 120, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(40, 120));
  FitThumbnailSize(400, 100, 160, 120, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(160, 40));
  FitThumbnailSize(0, 100, 160, 120, w, h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(0, 0));
}

TEST(AThumbnailFit, StandardizesOnlyALargeThumbnail) {
  TExifData data;
  Zorp::Base::TJPEGImage large;
  const auto bytes = SmallJPEG(320, 240);
  large.LoadFromBytes(bytes.data(), bytes.size());
  data.SetThumbnail(&large);
  data.StandardizeThumbnail();
  EXPECT_EQ(data.Thumbnail().Width(), 160);
  EXPECT_EQ(data.Thumbnail().Height(), 120);

  const auto small = SmallJPEG(150, 100);
  data.Thumbnail().LoadFromBytes(small.data(), small.size());
  data.StandardizeThumbnail();
  EXPECT_EQ(data.Thumbnail().Bytes(), small);
}

TEST(AThumbnailFit, UpdatesTheThumbnailSizeTagsWhenTheImageChanges) {
  TExifData data;
  data.Sections(skThumbnail).SetWordValue(ttImageWidth, 0, 1);
  const auto bytes = SmallJPEG(24, 16);
  data.Thumbnail().LoadFromBytes(bytes.data(), bytes.size());
  EXPECT_EQ(data.Sections(skThumbnail).GetWordValue(ttImageWidth, 0), 24);
  EXPECT_EQ(data.Sections(skThumbnail).GetWordValue(ttImageLength, 0), 16);
  EXPECT_TRUE(data.Modified());
}

// Every photo of the shared collection loads, or fails with one of the library's exceptions, and
// every section, the MakerNote and the thumbnail can then be read.
TEST(TheSamplePhotos, LoadWithoutSurprises) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no sample photos at " << folder;
  int loaded = 0, withMakerNote = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const auto ext = entry.path().extension().string();
    if (ext != ".jpg" && ext != ".jpeg") continue;
    TExifData data;
    try {
      data.LoadFromJPEG(entry.path().string());
      ++loaded;
    } catch (const Zorp::Base::Exception&) {
      continue;
    }
    for (int kind = skPrimary; kind <= skThumbnail; ++kind)
      for (const TExifTag* tag : data.Sections(static_cast<TExifSectionKind>(kind))) (void)tag->AsString();
    try {
      for (const TExifTag* tag : data.Sections(skMakerNote)) (void)tag->AsString();
      if (&data.MakerNoteType() != &TUnrecognizedMakerNote) ++withMakerNote;
    } catch (const EInvalidMakerNoteFormat&) {
    }
    if (data.HasThumbnail()) (void)data.Thumbnail().Width();
    EXPECT_FALSE(data.Modified()) << entry.path();
  }
  EXPECT_GT(loaded, 80);
  EXPECT_GT(withMakerNote, 20);
}

}  // namespace
