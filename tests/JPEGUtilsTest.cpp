#include "zorp/exif/JPEGUtils.h"

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ByteBuilder.h"
#include "zorp/exif/Consts.h"

using namespace Zorp::Exif;
using Zorp::Base::TFileStream;
using Zorp::Base::TMemoryStream;
using Zorp::Base::TStream;
using Zorp::Testing::ByteBuilder;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A memory stream that records its destruction, to watch when an owning scanner frees it.
class TRecordingStream : public TMemoryStream {
 public:
  explicit TRecordingStream(bool& destroyed) : FDestroyed(destroyed) {}
  ~TRecordingStream() override { FDestroyed = true; }

 private:
  bool& FDestroyed;
};

// A file in the temporary folder holding the given bytes, removed with the object.
class TTempFile {
 public:
  explicit TTempFile(const Bytes& bytes) {
    static int counter = 0;
    FPath = (std::filesystem::temp_directory_path() /
             ("jpegutils-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".bin"))
                .string();
    TFileStream file(FPath, Zorp::Base::fmCreate);
    file.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }
  ~TTempFile() { std::filesystem::remove(FPath); }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

enum TStreamKind { skMemoryStream, skFileStream };

// The bytes as a stream of the given kind, positioned at 0.
class TTestStream {
 public:
  TTestStream(TStreamKind kind, const Bytes& bytes) {
    if (kind == skMemoryStream) {
      auto memory = std::make_unique<TMemoryStream>();
      memory->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
      memory->SetPosition(0);
      FStream = std::move(memory);
    } else {
      FFile = std::make_unique<TTempFile>(bytes);
      FStream = std::make_unique<TFileStream>(FFile->Path(), Zorp::Base::fmOpenRead);
    }
  }
  TStream& operator*() { return *FStream; }
  TStream* operator->() { return FStream.get(); }

 private:
  std::unique_ptr<TTempFile> FFile;  // declared first: the file outlives the stream over it
  std::unique_ptr<TStream> FStream;
};

struct TFound {
  std::uint8_t Marker;
  std::int64_t Offset;
  std::int32_t TotalSize;
  Bytes Data;
};

std::vector<TFound> ScanAll(TStream& stream, const TJPEGMarkerSet& markers) {
  std::vector<TFound> found;
  for (auto segment : ScanJPEGSegments(stream, markers)) {
    EXPECT_EQ(segment->DataOffset(), segment->Offset() + 4);
    found.push_back({segment->Marker(), segment->Offset(), segment->TotalSize(), segment->Data().Bytes()});
  }
  return found;
}

std::vector<TFound> ScanAll(const Bytes& bytes, const TJPEGMarkerSet& markers) {
  TTestStream stream(skMemoryStream, bytes);
  return ScanAll(*stream, markers);
}

TJPEGMarkerSet AllMarkers() {
  TJPEGMarkerSet set;
  for (int code = 0; code < 256; ++code) set.Include(static_cast<std::uint8_t>(code));
  return set;
}

// SOI, APP0, SOF0 and an SOS header; the scan data and what ends the image are up to the caller.
ByteBuilder JpegUpToScan() {
  ByteBuilder b;
  b.Bytes({0xFF, 0xD8});
  b.Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  b.Segment(0xC0, {8, 0x00, 0x10, 0x00, 0x20, 1, 1, 0x11, 0});
  b.Segment(0xDA, {1, 1, 0, 0, 63, 0});
  return b;
}

// A baseline image whose scan data holds a stuffed zero and a restart marker, then EOI.
Bytes BaselineJpeg() {
  return JpegUpToScan().Bytes({0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD0, 0x78}).Bytes({0xFF, 0xD9}).Data();
}

}  // namespace

// ---- Framing: fill bytes, offsets, lengths ------------------------------------------------------

TEST(AJPEGSegmentScanner, PlacesTheOffsetOnTheLastFillByte) {
  const Bytes bytes = ByteBuilder().Bytes({0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xE1, 0x00, 0x08, 1, 2, 3, 4, 5, 6, 0xFF, 0xD9}).Data();
  const auto found = ScanAll(bytes, {0xE1});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Marker, 0xE1);
  EXPECT_EQ(found[0].Offset, 4);
  EXPECT_EQ(found[0].TotalSize, 10);
  EXPECT_EQ(found[0].Data, (Bytes{1, 2, 3, 4, 5, 6}));
}

TEST(AJPEGSegmentScanner, ReportsRequestedSegmentsInFileOrderAndSkipsTheOthers) {
  const Bytes bytes = ByteBuilder()
                          .Bytes({0xFF, 0xD8})
                          .Segment(0xE0, {9, 9})
                          .Segment(0xE1, {'a'})
                          .Segment(0xED, {7, 7, 7})
                          .Segment(0xE1, {})
                          .Bytes({0xFF, 0xD9})
                          .Data();
  const auto found = ScanAll(bytes, {0xE1});
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].Offset, 8);
  EXPECT_EQ(found[0].Data, Bytes{'a'});
  EXPECT_EQ(found[1].Offset, 20);
  EXPECT_TRUE(found[1].Data.empty());
  EXPECT_EQ(found[1].TotalSize, 4);
}

TEST(AJPEGSegmentScanner, ReportsMarkersWithoutLengthWithEmptyData) {
  const Bytes bytes = ByteBuilder().Bytes({0xFF, 0xD8, 0xFF, 0xD8, 0xFF, 0xFF, 0xD0, 0xFF, 0x01}).Segment(0xE1, {5}).Bytes({0xFF, 0xD9}).Data();
  const auto found = ScanAll(bytes, {0xD8, 0xD0, 0x01, 0xE1});
  ASSERT_EQ(found.size(), 4u);
  EXPECT_EQ(found[0].Marker, 0xD8);
  EXPECT_EQ(found[0].Offset, 2);
  EXPECT_EQ(found[1].Marker, 0xD0);
  EXPECT_EQ(found[1].Offset, 5);
  EXPECT_EQ(found[2].Marker, 0x01);
  EXPECT_EQ(found[2].Offset, 7);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(found[i].TotalSize, 2);
    EXPECT_TRUE(found[i].Data.empty());
  }
  EXPECT_EQ(found[3].Data, Bytes{5});
}

TEST(AJPEGSegmentScanner, StartsAtTheStreamPositionAndReportsAbsoluteOffsets) {
  const Bytes bytes = ByteBuilder().Bytes({'j', 'u', 'n', 'k'}).Bytes({0xFF, 0xD8}).Segment(0xE1, {1, 2}).Bytes({0xFF, 0xD9}).Data();
  TTestStream stream(skMemoryStream, bytes);
  stream->SetPosition(4);
  auto scanner = std::make_shared<TJPEGHeaderParser>(*stream, TJPEGMarkerSet{0xE1});
  EXPECT_EQ(scanner->StartPosition(), 4);
  EXPECT_EQ(scanner->NextPosition(), 6);
  ASSERT_TRUE(scanner->MoveNext());
  EXPECT_EQ(scanner->Current()->Offset(), 6);
  EXPECT_EQ(scanner->Current()->DataOffset(), 10);
  EXPECT_FALSE(scanner->MoveNext());
  EXPECT_EQ(scanner->Current(), nullptr);
}

TEST(AJPEGSegmentScanner, KeepsSegmentDataAfterTheSourceChanges) {
  TTestStream stream(skMemoryStream, ByteBuilder().Bytes({0xFF, 0xD8}).Segment(0xE1, {1, 2, 3}).Data());
  auto scanner = ScanJPEGSegments(*stream, {0xE1});
  ASSERT_TRUE(scanner->MoveNext());
  auto segment = scanner->Current();
  stream->SetSize(0);
  scanner.reset();
  EXPECT_EQ(segment->Data().Bytes(), (Bytes{1, 2, 3}));
  EXPECT_EQ(segment->Data().Position(), 0);
}

TEST(AJPEGSegmentScanner, IteratesInARangeForOverThePointerOrTheObject) {
  TTestStream stream(skMemoryStream, ByteBuilder().Bytes({0xFF, 0xD8}).Segment(0xE1, {1}).Segment(0xE1, {2}).Bytes({0xFF, 0xD9}).Data());
  int count = 0;
  for (auto segment : ScanJPEGSegments(*stream, {0xE1})) count += segment->Data().Bytes()[0];
  EXPECT_EQ(count, 3);

  stream->SetPosition(0);
  auto scanner = ScanJPEGSegments(*stream, {0xE1});
  EXPECT_EQ(scanner->GetEnumerator(), scanner);
  count = 0;
  for (auto segment : *scanner) count += segment->Data().Bytes()[0];
  EXPECT_EQ(count, 3);
}

// ---- Failures and hostile lengths ---------------------------------------------------------------

TEST(AJPEGSegmentScanner, RejectsAStreamNotStartingWithTheStartMarker) {
  TTestStream stream(skMemoryStream, {0xFF, 0xD9, 0xFF, 0xD8});
  EXPECT_THROW_MSG(ScanJPEGSegments(*stream, {0xE1}), EInvalidJPEGHeader, "JPEG header is not valid");
  stream->SetPosition(0);
  EXPECT_THROW(ScanJPEGSegments(*stream, {0xE1}), Zorp::Base::EInvalidGraphic);
}

TEST(AJPEGSegmentScanner, RaisesAReadErrorWhenTheStreamEndsInTheStartMarker) {
  TTestStream stream(skMemoryStream, {0xFF});
  EXPECT_THROW_MSG(ScanJPEGSegments(*stream, {0xE1}), Zorp::Base::EReadError, "Stream read error");
}

TEST(AJPEGSegmentScanner, RaisesAReadErrorWhenTheStreamEndsInsideAMarkerOrLength) {
  // Only the start marker; a lone 0xFF; fill bytes; half a length field.
  for (const Bytes& bytes : {Bytes{0xFF, 0xD8}, Bytes{0xFF, 0xD8, 0xFF}, Bytes{0xFF, 0xD8, 0xFF, 0xFF},
                             Bytes{0xFF, 0xD8, 0xFF, 0xE1, 0x00}}) {
    TTestStream stream(skMemoryStream, bytes);
    auto scanner = ScanJPEGSegments(*stream, {0xE1});
    EXPECT_THROW_MSG(scanner->MoveNext(), Zorp::Base::EReadError, "Stream read error") << bytes.size();
  }
}

TEST(AJPEGSegmentScanner, RaisesAReadErrorForARequestedSegmentRunningPastTheEnd) {
  // Length 0 means 65534 data bytes; only three are there.
  for (std::uint16_t length : {0x0000, 0x0001, 0xFFFF, 0x0006}) {
    const Bytes bytes = ByteBuilder().Bytes({0xFF, 0xD8, 0xFF, 0xE1}).BigEndianU16(length).Bytes({1, 2, 3}).Data();
    TTestStream stream(skMemoryStream, bytes);
    auto scanner = ScanJPEGSegments(*stream, {0xE1});
    EXPECT_THROW_MSG(scanner->MoveNext(), Zorp::Base::EReadError, "Stream read error");
  }
}

TEST(AJPEGSegmentScanner, SkipsPastTheEndOnAHugeUnrequestedLengthThenFailsOnTheNextRead) {
  const Bytes bytes = ByteBuilder().Bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00}).Segment(0xE1, {1}).Data();
  TTestStream stream(skFileStream, bytes);
  auto scanner = ScanJPEGSegments(*stream, {0xE1});
  EXPECT_THROW(scanner->MoveNext(), Zorp::Base::EReadError);
}

// ---- The end-of-image search behind the scan data, in memory and in files -----------------------

class AnEndOfImageSearch : public ::testing::TestWithParam<TStreamKind> {};

INSTANTIATE_TEST_SUITE_P(StreamKinds, AnEndOfImageSearch, ::testing::Values(skMemoryStream, skFileStream),
                         [](const auto& info) { return info.param == skMemoryStream ? "Memory" : "File"; });

TEST_P(AnEndOfImageSearch, FindsTheEndMarkerBehindTheScanDataAndThenStops) {
  const Bytes bytes = BaselineJpeg();
  TTestStream stream(GetParam(), bytes);
  auto scanner = ScanJPEGSegments(*stream, {0xD9});
  ASSERT_TRUE(scanner->MoveNext());
  EXPECT_EQ(scanner->Current()->Marker(), 0xD9);
  EXPECT_EQ(scanner->Current()->Offset(), static_cast<std::int64_t>(bytes.size()) - 2);
  EXPECT_EQ(scanner->Current()->TotalSize(), 2);
  EXPECT_EQ(stream->Position(), static_cast<std::int64_t>(bytes.size()));
  // Once the end marker is reported the stream is left alone.
  stream->SetPosition(3);
  EXPECT_FALSE(scanner->MoveNext());
  EXPECT_EQ(stream->Position(), 3);
}

TEST_P(AnEndOfImageSearch, NeverTakesTheTwoBytesAfterTheScanHeaderAsACandidate) {
  // The byte that ends the marker loop (0x12) and the one after it (0xFF) are passed over.
  const ByteBuilder prefix = JpegUpToScan();
  const Bytes bytes = ByteBuilder().Bytes(prefix.Data()).Bytes({0x12, 0xFF, 0xD9, 0x34, 0xFF, 0xD9}).Data();
  TTestStream stream(GetParam(), bytes);
  const auto found = ScanAll(*stream, {0xD9});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Offset, static_cast<std::int64_t>(prefix.Size()) + 4);
}

TEST_P(AnEndOfImageSearch, FindsTheEndMarkerWhenScanDataStartsWithAStuffedZero) {
  const Bytes bytes = JpegUpToScan().Bytes({0xFF, 0x00, 0x12, 0x34, 0xFF, 0xD9}).Data();
  TTestStream stream(GetParam(), bytes);
  const auto found = ScanAll(*stream, {0xD9});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Offset, static_cast<std::int64_t>(bytes.size()) - 2);
}

TEST_P(AnEndOfImageSearch, MeasuresUpToTheEndMarkerWhateverPseudoMarkerStartsTheScanData) {
  // Thumbnails whose scan data opens with a stuffed zero, a restart marker or fill bytes, followed by
  // more of the enclosing block; the image ends just after its EOI all the same.
  const Bytes starts[] = {
      {0xFF, 0x00},       {0xFF, 0xD0},       {0xFF, 0xD7},
      {0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xD3}, {0xFF, 0x00, 0xFF, 0xD1, 0xFF, 0x00},
  };
  for (const Bytes& start : starts) {
    const Bytes image = JpegUpToScan().Bytes(start).Bytes({0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD9}).Data();
    const Bytes bytes = ByteBuilder().Text("Exif--").Bytes(image).Fill(40, 0x00).Text("more tags").Data();
    TTestStream stream(GetParam(), bytes);
    stream->SetPosition(6);
    EXPECT_EQ(MeasureJPEGData(*stream), static_cast<std::int64_t>(image.size())) << int(start[1]);
    EXPECT_EQ(stream->Position(), 6);
  }
}

TEST(AJPEGSegmentScanner, DoesNotSearchForTheEndMarkerBehindAPseudoMarkerBeforeAnyScan) {
  // A stuffed zero before SOS is no scan data: the enumeration just ends.
  const Bytes bytes = ByteBuilder().Bytes({0xFF, 0xD8, 0xFF, 0x00, 0x12, 0xFF, 0xD9}).Data();
  EXPECT_TRUE(ScanAll(bytes, {0xD9}).empty());
}

TEST_P(AnEndOfImageSearch, DoesNotRecognizeAnEndMarkerAfterAFillByte) {
  const Bytes bytes = JpegUpToScan().Bytes({0x12, 0x34, 0x56, 0xFF, 0xFF, 0xD9}).Data();
  TTestStream stream(GetParam(), bytes);
  EXPECT_TRUE(ScanAll(*stream, {0xD9}).empty());
  EXPECT_EQ(stream->Position(), static_cast<std::int64_t>(bytes.size()));
  stream->SetPosition(0);
  EXPECT_EQ(MeasureJPEGData(*stream), static_cast<std::int64_t>(bytes.size()));
}

TEST_P(AnEndOfImageSearch, FindsNothingWhenTheLastByteIsAFillByte) {
  for (const Bytes& tail : {Bytes{0x12, 0x34, 0xFF}, Bytes{0x12}, Bytes{0x12, 0xFF}}) {
    const Bytes bytes = JpegUpToScan().Bytes(tail).Data();
    TTestStream stream(GetParam(), bytes);
    EXPECT_TRUE(ScanAll(*stream, {0xD9}).empty());
    stream->SetPosition(0);
    EXPECT_EQ(MeasureJPEGData(*stream), static_cast<std::int64_t>(bytes.size()));
  }
}

TEST_P(AnEndOfImageSearch, FindsAnEndMarkerSplitAcrossReadChunks) {
  // Long scan data puts the 0xFF and 0xD9 on either side of a 64 KiB boundary of the file reads.
  ByteBuilder b = JpegUpToScan();
  const std::size_t scanStart = b.Size() + 1;  // first byte the search reads (after the loop's byte)
  b.Bytes({0x12}).Fill(65535, 0x55).Bytes({0xFF, 0xD9}).Fill(100, 0x55);
  const Bytes bytes = b.Data();
  ASSERT_EQ(bytes[scanStart + 65535], 0xFF);
  TTestStream stream(GetParam(), bytes);
  const auto found = ScanAll(*stream, {0xD9});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].Offset, static_cast<std::int64_t>(scanStart + 65535));
}

TEST_P(AnEndOfImageSearch, MeasuresAnImageEmbeddedInALargerStream) {
  const Bytes image = BaselineJpeg();
  const Bytes bytes = ByteBuilder().Text("Exif--").Bytes(image).Text("trailing data").Data();
  TTestStream stream(GetParam(), bytes);
  stream->SetPosition(6);
  EXPECT_EQ(MeasureJPEGData(*stream), static_cast<std::int64_t>(image.size()));
  EXPECT_EQ(stream->Position(), 6);
}

// ---- Owned streams ------------------------------------------------------------------------------

TEST(AnOwningScanner, FreesTheStreamWhenTheEnumerationEndsWithoutEndMarker) {
  bool destroyed = false;
  auto stream = std::make_unique<TRecordingStream>(destroyed);
  ByteBuilder().Bytes({0xFF, 0xD8}).Segment(0xE1, {1}).Bytes({0xFF, 0xD9}).ToStream(*stream);
  auto scanner = std::make_shared<TJPEGHeaderParser>(std::move(stream), TJPEGMarkerSet{0xE1});
  EXPECT_EQ(scanner->StreamOwnership(), ssOwned);
  ASSERT_TRUE(scanner->MoveNext());
  EXPECT_FALSE(destroyed);
  EXPECT_FALSE(scanner->MoveNext());  // reaches an end marker nobody asked for
  EXPECT_TRUE(destroyed);
  EXPECT_EQ(scanner->Stream(), nullptr);
  EXPECT_FALSE(scanner->MoveNext());
}

TEST(AnOwningScanner, KeepsTheStreamAfterReportingTheEndMarkerUntilItDies) {
  bool destroyed = false;
  auto stream = std::make_unique<TRecordingStream>(destroyed);
  ByteBuilder().Bytes(BaselineJpeg()).ToStream(*stream);
  auto scanner = ScanJPEGSegments(std::move(stream), {0xD9});
  ASSERT_TRUE(scanner->MoveNext());
  EXPECT_FALSE(scanner->MoveNext());
  EXPECT_FALSE(destroyed);
  scanner.reset();
  EXPECT_TRUE(destroyed);
}

TEST(AnOwningScanner, FreesTheStreamWhenTheEndOfImageSearchFails) {
  bool destroyed = false;
  auto stream = std::make_unique<TRecordingStream>(destroyed);
  JpegUpToScan().Bytes({0x12, 0x34}).ToStream(*stream);
  auto scanner = ScanJPEGSegments(std::move(stream), {0xD9});
  EXPECT_FALSE(scanner->MoveNext());
  EXPECT_TRUE(destroyed);
}

TEST(AnOwningScanner, FreesTheStreamWhenTheHeaderIsRejected) {
  bool destroyed = false;
  auto stream = std::make_unique<TRecordingStream>(destroyed);
  ByteBuilder().Bytes({0x00, 0x00}).ToStream(*stream);
  EXPECT_THROW(ScanJPEGSegments(std::move(stream), {0xE1}), EInvalidJPEGHeader);
  EXPECT_TRUE(destroyed);
}

// ---- Segments -----------------------------------------------------------------------------------

TEST(AJPEGSegment, RecognizesAdobeApp13SignaturesFromTwentyBytesOn) {
  struct TCase {
    std::uint8_t Marker;
    Bytes Data;
    std::int32_t HeaderSize;  // 0: not an Adobe APP13 segment
  };
  const Bytes photoshop3 = ByteBuilder().Text("Photoshop 3.0").Bytes({0}).Data();
  const TCase cases[] = {
      {0xED, ByteBuilder().Bytes(photoshop3).Fill(5, 'x').Data(), 0},  // 19 bytes: too short
      {0xED, ByteBuilder().Bytes(photoshop3).Fill(6, 'x').Data(), 14},
      {0xED, ByteBuilder().Text("Adobe_Photoshop2.5:").Text("x").Data(), 19},
      {0xE1, ByteBuilder().Bytes(photoshop3).Fill(10).Data(), 0},
      {0xED, ByteBuilder().Text("Photoshop 3.0x").Fill(10).Data(), 0},
  };
  for (const TCase& c : cases) {
    TUserJPEGSegment segment(c.Marker);
    ByteBuilder().Bytes(c.Data).ToStream(segment.Data());
    EXPECT_EQ(segment.IsAdobeApp13(), c.HeaderSize != 0) << c.Data.size();
    EXPECT_EQ(segment.AdobeHeaderSize(), c.HeaderSize);
    auto blocks = segment.GetEnumerator();
    EXPECT_EQ(blocks->NextPosition(), c.HeaderSize ? c.HeaderSize : 2147483647);
    EXPECT_FALSE(blocks->MoveNext());
  }
}

TEST(AJPEGSegment, TakesItsDataFromAPersistentSourceAtPositionZero) {
  struct TSource : Zorp::Base::IStreamPersist {
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream& stream) override { stream.WriteBuffer("abc", 3); }
  } source;
  TUserJPEGSegment segment(0xE1, &source);
  EXPECT_EQ(segment.Marker(), 0xE1);
  EXPECT_EQ(segment.Data().Bytes(), (Bytes{'a', 'b', 'c'}));
  EXPECT_EQ(segment.Data().Position(), 0);
}

TEST(AStartOfFrame, GivesHeightAndWidthOrZeroWhenTooShort) {
  const Bytes sof = {8, 0x01, 0x2C, 0x02, 0x58, 3};
  EXPECT_EQ(SOFImageHeight(sof), 300);
  EXPECT_EQ(SOFImageWidth(sof), 600);
  TMemoryStream data;
  ByteBuilder().Bytes(sof).ToStream(data);
  EXPECT_EQ(SOFImageWidth(data), 600);
  const Bytes shortSof = {8, 0x01, 0x2C, 0x02};
  EXPECT_EQ(SOFImageHeight(shortSof), 0);
  EXPECT_EQ(SOFImageWidth(shortSof), 0);
  EXPECT_EQ(SOFImageWidth(TMemoryStream()), 0);
}

// ---- Stream helpers -----------------------------------------------------------------------------

TEST(HasJPEGStartMarker, AnswersWithoutMovingThePosition) {
  TTestStream stream(skMemoryStream, {0x00, 0xFF, 0xD8, 0xFF});
  stream->SetPosition(1);
  EXPECT_TRUE(HasJPEGStartMarker(*stream));
  EXPECT_EQ(stream->Position(), 1);
  stream->SetPosition(0);
  EXPECT_FALSE(HasJPEGStartMarker(*stream));
  EXPECT_EQ(stream->Position(), 0);
  stream->SetPosition(3);  // one byte left
  EXPECT_FALSE(HasJPEGStartMarker(*stream));
  EXPECT_EQ(stream->Position(), 3);
}

TEST(MeasureJPEGData, RejectsANonJPEGAndKeepsThePosition) {
  TTestStream stream(skMemoryStream, {0x00, 0x11, 0x22});
  EXPECT_THROW_MSG(MeasureJPEGData(*stream), EInvalidJPEGHeader, "JPEG header is not valid");
  EXPECT_EQ(stream->Position(), 0);
}

// ---- Writing segments ---------------------------------------------------------------------------

TEST(WriteJPEGSegment, WritesMarkerLengthAndDataOrOnlyTheHeaderWhenEmpty) {
  TMemoryStream output, empty;
  WriteJPEGSegment(output, 0xE1, empty);
  const std::uint8_t data[3] = {7, 8, 9};
  WriteJPEGSegment(output, 0xED, data, 3);
  WriteJPEGSegment(output, 0xE0, nullptr, 0);
  EXPECT_EQ(output.Bytes(), (Bytes{0xFF, 0xE1, 0x00, 0x02, 0xFF, 0xED, 0x00, 0x05, 7, 8, 9, 0xFF, 0xE0, 0x00, 0x02}));
}

TEST(WriteJPEGSegment, WritesPartOfASourceFromItsPosition) {
  for (TStreamKind kind : {skMemoryStream, skFileStream}) {
    TTestStream source(kind, {1, 2, 3, 4, 5});
    source->SetPosition(1);
    TMemoryStream output;
    WriteJPEGSegment(output, 0xE1, *source, 3);
    EXPECT_EQ(output.Bytes(), (Bytes{0xFF, 0xE1, 0x00, 0x05, 2, 3, 4}));
    EXPECT_EQ(source->Position(), 4);
  }
}

TEST(WriteJPEGSegment, WritesNothingWhenTheSourceIsShort) {
  for (TStreamKind kind : {skMemoryStream, skFileStream}) {
    TTestStream source(kind, {1, 2, 3});
    source->SetPosition(2);
    TMemoryStream output;
    EXPECT_THROW_MSG(WriteJPEGSegment(output, 0xE1, *source, 2), Zorp::Base::EReadError, "Stream read error");
    EXPECT_EQ(output.Size(), 0);
  }
}

TEST(WriteJPEGSegment, RefusesDataBeyondTheLengthFieldAndWritesNothing) {
  const Bytes big(65534, 0xAB);
  TMemoryStream output;
  EXPECT_THROW_MSG(WriteJPEGSegment(output, 0xE1, big.data(), 65534), EJPEGSegmentTooLarge,
                   "JPEG segment data of 65534 bytes exceeds the limit of 65533");
  EXPECT_EQ(output.Size(), 0);

  TMemoryStream source;
  ByteBuilder().Bytes(big).Fill(65536 * 2).ToStream(source);  // larger than 16 bits can count
  EXPECT_THROW(WriteJPEGSegment(output, 0xE1, source), EJPEGSegmentTooLarge);
  EXPECT_THROW(WriteJPEGSegment(output, 0xE1, source), Zorp::Base::EWriteError);
  EXPECT_EQ(output.Size(), 0);

  WriteJPEGSegment(output, 0xE1, big.data(), 65533);
  const Bytes written = output.Bytes();
  EXPECT_EQ(written.size(), 65537u);
  EXPECT_EQ(written[2], 0xFF);
  EXPECT_EQ(written[3], 0xFF);
}

TEST(WriteJPEGSegment, WritesAFoundSegmentBackIdentically) {
  const Bytes bytes = ByteBuilder().Bytes({0xFF, 0xD8}).Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0}).Data();
  TTestStream stream(skMemoryStream, bytes);
  auto scanner = ScanJPEGSegments(*stream, {0xE1});
  ASSERT_TRUE(scanner->MoveNext());
  TMemoryStream output;
  WriteJPEGSegment(output, scanner->Current());
  EXPECT_EQ(output.Bytes(), Bytes(bytes.begin() + 2, bytes.end()));
}

// ---- Robustness ---------------------------------------------------------------------------------

// Scans every segment and measures the image; only the library's own exceptions may come out, and
// every reported segment must lie inside the input.
static void ScanHostileInput(TStream& stream) {
  const std::int64_t size = stream.Size();
  for (const TJPEGMarkerSet& markers : {AllMarkers(), TJPEGMarkerSet{0xE1, 0xD9}, TJPEGMarkerSet{0xD9}}) {
    try {
      stream.SetPosition(0);
      auto scanner = ScanJPEGSegments(stream, markers);
      std::int64_t reports = 0;
      while (scanner->MoveNext()) {
        auto segment = scanner->Current();
        ASSERT_GE(segment->Offset(), 0);
        ASSERT_LE(segment->Offset() + segment->TotalSize(), size);
        ASSERT_LE(++reports, size / 2);  // every report consumes at least two bytes
      }
    } catch (const Zorp::Base::Exception&) {
    }
  }
  try {
    stream.SetPosition(0);
    const std::int64_t length = MeasureJPEGData(stream);
    EXPECT_GE(length, 0);
    EXPECT_LE(length, size);
  } catch (const Zorp::Base::Exception&) {
  }
}

TEST(AJPEGSegmentScanner, SurvivesMutatedAndTruncatedInputs) {
  std::mt19937 random(20240607);
  const Bytes seed = ByteBuilder().Bytes({0xFF, 0xD8}).Segment(0xE1, Bytes(40, 0x41)).Segment(0xED, Bytes(25, 0)).Data();
  const Bytes baseline = BaselineJpeg();
  for (int round = 0; round < 3000; ++round) {
    Bytes input = (round % 2 ? seed : baseline);
    input.insert(input.end(), baseline.begin() + 2, baseline.end());
    const int flips = static_cast<int>(random() % 6);
    for (int i = 0; i < flips; ++i) {
      const std::uint32_t choice = random() % 4;
      input[2 + random() % (input.size() - 2)] =
          choice == 0 ? 0xFF : choice == 1 ? 0x00 : static_cast<std::uint8_t>(random());
    }
    if (round % 3 == 0) input.resize(random() % (input.size() + 1));
    TTestStream stream(round % 50 == 0 ? skFileStream : skMemoryStream, input);
    ScanHostileInput(*stream);
    if (HasFatalFailure()) FAIL() << "round " << round;
  }
}

TEST(AJPEGSegmentScanner, ScansTheSharedPhotos) {
  const std::filesystem::path folder = QUORVANE_PHOTOS_DIR;
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no photo folder at " << folder;
  int photos = 0, withApp1 = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".jpg" && entry.path().extension() != ".jpeg") continue;
    ++photos;
    TFileStream file(entry.path().string(), Zorp::Base::fmOpenRead);
    const std::int64_t size = file.Size();
    try {
      bool sawApp1 = false;
      for (auto segment : ScanJPEGSegments(file, {0xE1})) {
        EXPECT_LE(segment->Offset() + segment->TotalSize(), size) << entry.path();
        sawApp1 = true;
      }
      withApp1 += sawApp1;
    } catch (const Zorp::Base::Exception&) {  // damaged files may end inside a segment
    }
    try {
      file.SetPosition(0);
      const std::int64_t length = MeasureJPEGData(file);
      EXPECT_GT(length, 0) << entry.path();
      EXPECT_LE(length, size) << entry.path();
      EXPECT_EQ(file.Position(), 0);
    } catch (const Zorp::Base::Exception&) {
    }
  }
  if (photos == 0) GTEST_SKIP() << "no photos in " << folder;
  EXPECT_GT(withApp1, photos / 2);
}

TEST_P(AnEndOfImageSearch, FindsTheFirstPairInLongScanDataAcrossReadChunks) {
  // Long scan data with 0xFF runs and stray 0xD9 bytes, the end marker placed around the file
  // reader's 64 KiB chunk boundary: found where a byte-by-byte search finds it.
  const ByteBuilder prefix = JpegUpToScan();
  const std::int64_t scanStart = prefix.Size();
  for (const std::int64_t endAt : {std::int64_t{65535}, std::int64_t{65536}, std::int64_t{65537}, std::int64_t{140001}}) {
    Bytes scan;
    for (std::int64_t i = 0; scan.size() + 2 < static_cast<std::size_t>(endAt - scanStart); ++i)
      scan.push_back(i % 97 == 96 ? 0xFF : i % 89 == 88 && i % 97 != 0 ? 0xD9 : i % 7 == 6 ? 0x00 : 0x5A);
    // "FF FF D9" never ends the image: the second 0xFF was taken as the first one's follower.
    scan.insert(scan.end(), {0xFF, 0xFF, 0xD9, 0x11});
    scan.resize(static_cast<std::size_t>(endAt - scanStart), 0x5A);
    const Bytes bytes = ByteBuilder().Bytes(prefix.Data()).Bytes(scan).Bytes({0xFF, 0xD9, 0x00}).Data();
    TTestStream stream(GetParam(), bytes);
    const auto found = ScanAll(*stream, {0xD9});
    ASSERT_EQ(found.size(), 1u) << endAt;
    EXPECT_EQ(found[0].Offset, endAt) << endAt;
  }
}
