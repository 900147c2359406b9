#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <tuple>

#include "ByteBuilder.h"
#include "zorp/base/Exceptions.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TiffReader.h"

namespace {

using Zorp::Base::TMemoryStream;
using Zorp::Exif::boBigEndian;
using Zorp::Exif::boLittleEndian;
using Zorp::Exif::TByteOrder;
using Zorp::Exif::TIfdEntryInfo;
using Zorp::Exif::TIfdInfo;
using Zorp::Exif::TTiffReader;
using Zorp::Testing::ByteBuilder;
using namespace Zorp::Exif;  // load errors

constexpr std::uint16_t Byte = 1, Short = 3, Long = 4, Rational = 5, SRational = 10, Float = 11, Double = 12;

template <typename E, typename F>
void ExpectThrowWithMessage(F action, const std::string& message) {
  try {
    action();
  } catch (const E& error) {
    EXPECT_EQ(error.Message(), message);
    return;
  }
  ADD_FAILURE() << "nothing was raised, expected: " << message;
}

// A TIFF header in the builder's order with IFD0 at ifd0.
ByteBuilder Header(TByteOrder order, std::uint32_t ifd0 = 8) {
  ByteBuilder bytes(order);
  bytes.Text(order == boLittleEndian ? "II" : "MM").U16(42).U32(ifd0);
  return bytes;
}

ByteBuilder& Entry(ByteBuilder& bytes, std::uint16_t id, std::uint16_t type, std::uint32_t count,
                   std::uint32_t value = 0) {
  return bytes.U16(id).U16(type).U32(count).U32(value);
}

// The offset of the byte right behind an IFD at ifdOffset with entryCount entries and its link.
constexpr std::uint32_t BehindIfd(std::uint32_t ifdOffset, std::uint32_t entryCount) {
  return ifdOffset + 2 + 12 * entryCount + 4;
}

class ATiffReader : public ::testing::TestWithParam<TByteOrder> {
 protected:
  TByteOrder Order() const { return GetParam(); }
  TTiffReader Read(const ByteBuilder& bytes) {
    bytes.ToStream(Stream);
    return TTiffReader(Stream);
  }
  TMemoryStream Stream;
};

INSTANTIATE_TEST_SUITE_P(BothByteOrders, ATiffReader, ::testing::Values(boLittleEndian, boBigEndian),
                         [](const auto& info) { return info.param == boLittleEndian ? "II" : "MM"; });

TEST_P(ATiffReader, TakesTheByteOrderAndBaseOffsetFromTheHeader) {
  ByteBuilder bytes(Order());
  bytes.Text("Exif").Fill(2).Text(Order() == boLittleEndian ? "II" : "MM").U16(42).U32(8).U16(0).U32(0);
  bytes.ToStream(Stream);
  Stream.SetPosition(6);
  const TTiffReader reader(Stream);
  EXPECT_EQ(reader.ByteOrder(), Order());
  EXPECT_EQ(reader.BaseOffset(), 6);
  ASSERT_EQ(reader.Ifds().size(), 1u);
  EXPECT_TRUE(reader.Ifds()[0].LoadErrors.Empty());
}

TEST_P(ATiffReader, LetsTheMagicNumberOverruleTheMark) {
  // The mark claims the other order; the magic number and everything after are in Order().
  ByteBuilder bytes(Order());
  bytes.Text(Order() == boLittleEndian ? "MM" : "II").U16(42).U32(8).U16(1);
  Entry(bytes, 0x0100, Long, 1, 640).U32(0);
  const TTiffReader reader = Read(bytes);
  EXPECT_EQ(reader.ByteOrder(), Order());
  ASSERT_EQ(reader.Ifds().size(), 1u);
  ASSERT_EQ(reader.Ifds()[0].Entries.size(), 1u);
  EXPECT_EQ(reader.Ifds()[0].Entries[0].ID, 0x0100);
}

TEST(ATiffHeader, RaisesMalformedTiffDataOnABadMarkOrMagicNumber) {
  TMemoryStream stream;
  ByteBuilder().Text("IM").Bytes({0x2A, 0x00}).U32(8).ToStream(stream);
  ExpectThrowWithMessage<EInvalidTiffData>([&] { TTiffReader reader(stream); }, "Malformed TIFF data");
  ByteBuilder().Text("II").Bytes({0x2B, 0x00}).U32(8).ToStream(stream);
  ExpectThrowWithMessage<EInvalidTiffData>([&] { TTiffReader reader(stream); }, "Malformed TIFF data");
  ByteBuilder().Text("MM").Bytes({0x2A, 0x2A}).U32(8).ToStream(stream);
  ExpectThrowWithMessage<EInvalidTiffData>([&] { TTiffReader reader(stream); }, "Malformed TIFF data");
}

TEST(ATiffHeader, RaisesAReadErrorWhenTheBlockIsShorterThanTheHeader) {
  TMemoryStream stream;
  ByteBuilder().Text("II").Bytes({0x2A, 0x00, 0x08, 0x00, 0x00}).ToStream(stream);
  ExpectThrowWithMessage<Zorp::Base::EReadError>([&] { TTiffReader reader(stream); }, "Stream read error");
  ByteBuilder().Text("M").ToStream(stream);
  ExpectThrowWithMessage<Zorp::Base::EReadError>([&] { TTiffReader reader(stream); }, "Stream read error");
}

TEST_P(ATiffReader, CutsTheEntryCountToTheRoomLeft) {
  ByteBuilder bytes = Header(Order());
  bytes.U16(100);
  for (std::uint16_t i = 0; i < 5; ++i) Entry(bytes, 0x0100 + i, Short, 1, 0);
  bytes.U32(0);  // with the link, room for exactly 5 entries
  const TTiffReader reader = Read(bytes);
  ASSERT_EQ(reader.Ifds().size(), 1u);
  const TIfdInfo& ifd = reader.Ifds()[0];
  EXPECT_EQ(ifd.Entries.size(), 5u);
  EXPECT_EQ(ifd.LoadErrors, (TExifSectionLoadErrors{leBadTagCount}));
}

TEST_P(ATiffReader, KeepsASingleMalformedEntryAndReadsOn) {
  ByteBuilder bytes = Header(Order());
  bytes.U16(4);
  Entry(bytes, 1, Short, 1);
  Entry(bytes, 2, Short, 1);
  Entry(bytes, 3, 0, 1);
  Entry(bytes, 4, Short, 1).U32(0);
  const TIfdInfo ifd = Read(bytes).Ifds().at(0);
  ASSERT_EQ(ifd.Entries.size(), 4u);
  EXPECT_EQ(ifd.Entries[2].DataType, 0);
  EXPECT_EQ(ifd.Entries[3].ID, 4);
  EXPECT_EQ(ifd.LoadErrors, (TExifSectionLoadErrors{leBadTagHeader}));
}

// Malformed entries in a row do not end the directory: the good entries behind them are read, so
// that a listing shows them and a save keeps them.
TEST_P(ATiffReader, ReadsOnPastMalformedEntriesInARow) {
  ByteBuilder bytes = Header(Order());
  bytes.U16(6);
  Entry(bytes, 1, Short, 1);
  Entry(bytes, 2, Short, 1);
  Entry(bytes, 3, 0, 1);
  Entry(bytes, 4, 14, 1);
  Entry(bytes, 5, Short, 1);
  Entry(bytes, 6, Short, 1).U32(0);
  const TIfdInfo ifd = Read(bytes).Ifds().at(0);
  ASSERT_EQ(ifd.Entries.size(), 6u);
  EXPECT_EQ(ifd.Entries[5].ID, 6);
  EXPECT_EQ(ifd.LoadErrors, (TExifSectionLoadErrors{leBadTagHeader}));
}

TEST_P(ATiffReader, MarksAValueLyingOutsideTheDataWithACountOfMinusOne) {
  // Good entries between the bad ones, so that no second malformed entry in a row cuts the list.
  ByteBuilder bytes = Header(Order());
  bytes.U16(5);
  Entry(bytes, 1, Long, 10, 1000);  // past the end
  Entry(bytes, 2, Short, 1);
  Entry(bytes, 3, Long, 2, 0x80000000u);  // a negative offset
  Entry(bytes, 4, Short, 1);
  Entry(bytes, 5, Long, 0x40000000u, 8);  // a size beyond the data
  bytes.U32(0);
  const TIfdInfo ifd = Read(bytes).Ifds().at(0);
  ASSERT_EQ(ifd.Entries.size(), 5u);
  EXPECT_EQ(ifd.Entries[0].ElementCount, -1);
  EXPECT_EQ(ifd.Entries[0].DataOffset, 1000);
  EXPECT_EQ(ifd.Entries[1].ElementCount, 1);
  EXPECT_EQ(ifd.Entries[2].ElementCount, -1);
  EXPECT_EQ(ifd.Entries[4].ElementCount, -1);
  EXPECT_EQ(ifd.LoadErrors, (TExifSectionLoadErrors{leBadTagHeader}));
}

TEST_P(ATiffReader, AcceptsAValueEndingExactlyAtTheEndOfTheData) {
  ByteBuilder bytes = Header(Order());
  bytes.U16(1);
  Entry(bytes, 1, Long, 2, BehindIfd(8, 1)).U32(0).U32(7).U32(9);
  const TIfdInfo ifd = Read(bytes).Ifds().at(0);
  ASSERT_EQ(ifd.Entries.size(), 1u);
  EXPECT_EQ(ifd.Entries[0].ElementCount, 2);
  EXPECT_TRUE(ifd.LoadErrors.Empty());
}

TEST_P(ATiffReader, RecordsOffsetsRelativeToTheHeader) {
  ByteBuilder bytes(Order());
  bytes.Text("Exif").Fill(2);
  bytes.Text(Order() == boLittleEndian ? "II" : "MM").U16(42).U32(8).U16(2);
  Entry(bytes, 1, Short, 2, 0);  // inline at 8 + 2 + 8
  Entry(bytes, 2, Rational, 1, BehindIfd(8, 2));
  bytes.U32(0).U32(1).U32(3);
  bytes.ToStream(Stream);
  Stream.SetPosition(6);
  const TIfdInfo ifd = TTiffReader(Stream).Ifds().at(0);
  ASSERT_EQ(ifd.Entries.size(), 2u);
  EXPECT_EQ(ifd.Entries[0].EntryOffset, 10);
  EXPECT_EQ(ifd.Entries[0].DataOffset, 18);
  EXPECT_EQ(ifd.Entries[1].EntryOffset, 22);
  EXPECT_EQ(ifd.Entries[1].DataOffset, BehindIfd(8, 2));
}

TEST_P(ATiffReader, AddsTheAdjustmentToReferencedValuesOnly) {
  ByteBuilder bytes = Header(Order());
  bytes.U16(2);
  Entry(bytes, 1, Short, 1, 0);
  Entry(bytes, 2, Long, 2, 4);  // 4 + 34 = 38, the data behind the IFD
  bytes.U32(0).U32(5).U32(6);
  TTiffReader reader = Read(bytes);
  const TIfdInfo ifd = reader.ParseIfd(8, BehindIfd(8, 2) - 4);
  ASSERT_EQ(ifd.Entries.size(), 2u);
  EXPECT_EQ(ifd.Entries[0].DataOffset, 18);
  EXPECT_EQ(ifd.Entries[1].DataOffset, BehindIfd(8, 2));
  EXPECT_EQ(ifd.Entries[1].ElementCount, 2);
}

TEST_P(ATiffReader, ReportsABadOffsetForAnIfdOutsideTheData) {
  const TTiffReader reader = Read(Header(Order(), 4000).U16(0).U32(0));
  ASSERT_EQ(reader.Ifds().size(), 1u);
  EXPECT_EQ(reader.Ifds()[0].LoadErrors, (TExifSectionLoadErrors{leBadOffset}));
  EXPECT_TRUE(reader.Ifds()[0].Entries.empty());

  TTiffReader direct = Read(Header(Order(), 0).U16(0));  // 10 bytes, no chain
  EXPECT_TRUE(direct.Ifds().empty());
  EXPECT_TRUE(direct.ParseIfd(-9).LoadErrors.Contains(leBadOffset));
  EXPECT_TRUE(direct.ParseIfd(9).LoadErrors.Contains(leBadOffset));  // one byte left: no room for the count
  EXPECT_TRUE(direct.ParseIfd(8).LoadErrors.Empty());                // exactly the count
  EXPECT_TRUE(direct.ParseIfd(std::int64_t{1} << 62).LoadErrors.Contains(leBadOffset));
}

TEST_P(ATiffReader, FollowsTheChainAndStopsAtALinkBackToAnIfdAlreadyRead) {
  // IFD0 at 8 links to IFD1 at 14, which links back to IFD0.
  const TTiffReader reader = Read(Header(Order()).U16(0).U32(14).U16(0).U32(8));
  EXPECT_EQ(reader.Ifds().size(), 2u);

  const TTiffReader selfLinked = Read(Header(Order()).U16(0).U32(8));
  EXPECT_EQ(selfLinked.Ifds().size(), 1u);
}

TEST_P(ATiffReader, StopsAtALinkBeyondTheDataAndAfterThirtyTwoIfds) {
  EXPECT_EQ(Read(Header(Order()).U16(0).U32(15)).Ifds().size(), 1u);

  ByteBuilder bytes = Header(Order());
  for (std::uint32_t i = 0; i < 40; ++i) bytes.U16(0).U32(8 + 6 * (i + 1));
  bytes.U16(0).U32(0);
  EXPECT_EQ(Read(bytes).Ifds().size(), 32u);
}

class ATiffValue : public ATiffReader {
 protected:
  // One IFD with one entry whose value lies behind the IFD (or inline, when it fits).
  std::vector<std::uint8_t> ReadOne(std::uint16_t type, std::uint32_t count, const ByteBuilder& value) {
    ByteBuilder bytes = Header(Order());
    bytes.U16(1).U16(1).U16(type).U32(count);
    if (value.Size() <= 4) {
      bytes.Bytes(value.Data()).Fill(4 - value.Size()).U32(0);
    } else {
      bytes.U32(BehindIfd(8, 1)).U32(0).Bytes(value.Data());
    }
    TTiffReader reader = Read(bytes);
    const TIfdEntryInfo entry = reader.Ifds().at(0).Entries.at(0);
    std::vector<std::uint8_t> buffer(value.Size(), 0xEE);
    EXPECT_TRUE(reader.ReadValue(entry, buffer.data(), buffer.size()));
    return buffer;
  }
  template <typename T>
  static T At(const std::vector<std::uint8_t>& buffer, std::size_t index) {
    T value;
    std::memcpy(&value, buffer.data() + index * sizeof(T), sizeof(T));
    return value;
  }
};

INSTANTIATE_TEST_SUITE_P(BothByteOrders, ATiffValue, ::testing::Values(boLittleEndian, boBigEndian),
                         [](const auto& info) { return info.param == boLittleEndian ? "II" : "MM"; });

TEST_P(ATiffValue, ReadsBytesAsTheyLie) {
  EXPECT_EQ(ReadOne(Byte, 3, ByteBuilder().Bytes({1, 2, 3})), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(ReadOne(Byte, 6, ByteBuilder().Text("Canon").Fill(1)),
            (std::vector<std::uint8_t>{'C', 'a', 'n', 'o', 'n', 0}));
}

TEST_P(ATiffValue, ReadsShortsInlineAndReferencedIntoHostOrder) {
  const auto inlineValue = ReadOne(Short, 2, ByteBuilder(Order()).U16(0x1234).U16(0xABCD));
  EXPECT_EQ(At<std::uint16_t>(inlineValue, 0), 0x1234);
  EXPECT_EQ(At<std::uint16_t>(inlineValue, 1), 0xABCD);
  const auto referenced = ReadOne(Short, 3, ByteBuilder(Order()).U16(1).U16(0x8000).U16(0xFFFF));
  EXPECT_EQ(At<std::uint16_t>(referenced, 0), 1);
  EXPECT_EQ(At<std::uint16_t>(referenced, 1), 0x8000);
  EXPECT_EQ(At<std::uint16_t>(referenced, 2), 0xFFFF);
}

TEST_P(ATiffValue, ReadsLongsAndFloatsAsWords) {
  EXPECT_EQ(At<std::uint32_t>(ReadOne(Long, 1, ByteBuilder(Order()).U32(0x12345678)), 0), 0x12345678u);
  const float single = 0.1f;
  EXPECT_EQ(At<float>(ReadOne(Float, 1, ByteBuilder(Order()).U32(std::bit_cast<std::uint32_t>(single))), 0), single);
}

TEST_P(ATiffValue, ReadsRationalsAsNumeratorThenDenominator) {
  const auto value = ReadOne(Rational, 2, ByteBuilder(Order()).U32(1).U32(2).U32(0xDEADBEEF).U32(7));
  EXPECT_EQ(At<std::uint32_t>(value, 0), 1u);
  EXPECT_EQ(At<std::uint32_t>(value, 1), 2u);
  EXPECT_EQ(At<std::uint32_t>(value, 2), 0xDEADBEEFu);
  EXPECT_EQ(At<std::uint32_t>(value, 3), 7u);
  const auto signedValue = ReadOne(SRational, 1, ByteBuilder(Order()).U32(static_cast<std::uint32_t>(-3)).U32(4));
  EXPECT_EQ(At<std::int32_t>(signedValue, 0), -3);
  EXPECT_EQ(At<std::int32_t>(signedValue, 1), 4);
}

TEST_P(ATiffValue, ReadsDoublesAsSixtyFourBitValues) {
  const double first = -2.25e10, second = 1.0 / 3.0;
  ByteBuilder value(Order());
  for (double d : {first, second}) {
    std::uint8_t raw[8];
    PutInt64(raw, Order(), std::bit_cast<std::uint64_t>(d));
    value.Bytes({raw[0], raw[1], raw[2], raw[3], raw[4], raw[5], raw[6], raw[7]});
  }
  const auto buffer = ReadOne(Double, 2, value);
  EXPECT_EQ(At<double>(buffer, 0), first);
  EXPECT_EQ(At<double>(buffer, 1), second);
}

// A stream that is no memory stream: the reader reads directories and values through it.
class TThroughStream : public Zorp::Base::TStream {
 public:
  explicit TThroughStream(Zorp::Base::TStream& inner) : FInner(inner) {}
  std::int64_t Read(void* buffer, std::int64_t count) override { return FInner.Read(buffer, count); }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, Zorp::Base::TSeekOrigin origin) override {
    return FInner.Seek(offset, origin);
  }
  std::int64_t Size() const override { return FInner.Size(); }
  void SetSize(std::int64_t) override {}

 private:
  Zorp::Base::TStream& FInner;
};

// Directories and values read from memory in place and through a stream come out the same: inline,
// referenced, outside the data, of an unknown type, and the chain's link behind the entries.
TEST_P(ATiffValue, ReadsTheSameInPlaceAsThroughAStream) {
  ByteBuilder bytes = Header(Order());
  bytes.U16(4);
  Entry(bytes, 1, Short, 2, 0);
  Entry(bytes, 2, Rational, 1, BehindIfd(8, 4));
  Entry(bytes, 3, Long, 10, 5000);
  Entry(bytes, 4, 99, 1, 7);
  bytes.U32(BehindIfd(8, 4) + 8).U32(3).U32(4).U16(0).U32(0);
  TTiffReader inPlace = Read(bytes);
  TThroughStream through(Stream);
  Stream.SetPosition(0);
  TTiffReader streamed(through);
  ASSERT_EQ(inPlace.Ifds().size(), 2u);
  ASSERT_EQ(streamed.Ifds().size(), 2u);
  for (std::size_t ifd = 0; ifd < 2; ++ifd) {
    const auto &mine = inPlace.Ifds()[ifd], &theirs = streamed.Ifds()[ifd];
    EXPECT_EQ(mine.LoadErrors, theirs.LoadErrors);
    ASSERT_EQ(mine.Entries.size(), theirs.Entries.size());
    for (std::size_t i = 0; i < mine.Entries.size(); ++i) {
      const TIfdEntryInfo &a = mine.Entries[i], &b = theirs.Entries[i];
      EXPECT_EQ(std::tie(a.EntryOffset, a.DataOffset, a.ID, a.DataType, a.ElementCount),
                std::tie(b.EntryOffset, b.DataOffset, b.ID, b.DataType, b.ElementCount));
      std::vector<std::uint8_t> x(12, 0xEE), y(12, 0xEE);
      EXPECT_EQ(inPlace.ReadValue(a, x.data(), x.size()), streamed.ReadValue(b, y.data(), y.size()));
      EXPECT_EQ(x, y) << "entry " << a.ID;  // zeros behind a value, or all zeros
    }
  }
}

TEST_P(ATiffValue, RefusesAnUnusableEntryOrAShortBuffer) {
  ByteBuilder bytes = Header(Order());
  bytes.U16(2);
  Entry(bytes, 1, Long, 10, 1000);
  Entry(bytes, 2, Long, 2, BehindIfd(8, 2)).U32(0).U32(1).U32(2);
  TTiffReader reader = Read(bytes);
  const auto& entries = reader.Ifds().at(0).Entries;
  std::vector<std::uint8_t> buffer(40, 0xEE);
  EXPECT_FALSE(reader.ReadValue(entries.at(0), buffer.data(), buffer.size()));
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(40, 0));
  EXPECT_FALSE(reader.ReadValue(entries.at(1), buffer.data(), 7));
  EXPECT_TRUE(reader.ReadValue(entries.at(1), buffer.data(), 8));
  EXPECT_EQ(At<std::uint32_t>(buffer, 1), 2u);
}

}  // namespace
