// A save keeps what it does not lay out itself: bytes a MakerNote references past its declared end
// (in each maker's header form, and whole when the form is unknown), a private directory that IFD0
// points at, IFD1's tags without a thumbnail that decodes, and a MakerNote preview stored after the
// image. Each photo is built by hand, edited so that the directories grow, saved and read back.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "ByteBuilder.h"
#include "ExifBuilder.h"

#include "makernotes/Layouts.h"
#include "makernotes/OutsideReferences.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/StreamHelper.h"
#include "zorp/exif/TagIDs.h"

namespace {

using namespace Zorp::Exif;
using namespace Zorp::Testing;
using Bytes = std::vector<std::uint8_t>;

const Bytes Kept = {'K', 'E', 'E', 'P', ' ', 'M', 'E', '!'};

Bytes WithExifHeader(const Bytes& tiff) {
  Bytes segment = {'E', 'x', 'i', 'f', 0, 0};
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  return segment;
}

// A little-endian TIFF block laid out by hand: IFD0 at 8 (Make, the Exif pointer, an optional private
// IFD pointer, an optional link to IFD1), the Exif IFD with the MakerNote, the MakerNote, and behind
// it the 8 bytes that one of its entries references. Offsets are block offsets.
struct THandBlock {
  Bytes Data = Bytes(512, 0);
  std::uint32_t ValueAt = 0;  // the referenced bytes

  void U16(std::size_t at, std::uint32_t v) { PutWord(&Data[at], boLittleEndian, static_cast<std::uint16_t>(v)); }
  void U32(std::size_t at, std::uint32_t v) { PutLongWord(&Data[at], boLittleEndian, v); }
  void Entry(std::size_t at, std::uint16_t id, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    U16(at, id);
    U16(at + 2, type);
    U32(at + 4, count);
    U32(at + 8, value);
  }

  // makerNote: the header; its directory (one UNDEFINED entry of 8 bytes) follows at directoryAt,
  // with an offset counted from base (a block offset).
  THandBlock(const std::string& make, const Bytes& header, std::uint32_t directoryAt, bool mainBase,
             bool privateIfd = false, bool ifd1 = false) {
    std::memcpy(Data.data(), "II\x2A\0\x08\0\0\0", 8);
    const std::uint16_t ifd0Count = 2 + (privateIfd ? 1 : 0);
    U16(8, ifd0Count);
    const std::size_t ifd0End = 10 + 12 * ifd0Count;
    Entry(10, ttMake, 2, static_cast<std::uint32_t>(make.size() + 1), 200);
    std::memcpy(&Data[200], make.c_str(), make.size() + 1);
    Entry(22, ttExifIFDPointer, 4, 1, 100);
    if (privateIfd) {
      Entry(34, 0x8290, 4, 1, 400);  // a private IFD: one entry with an 8-byte value at 420
      U16(400, 1);
      Entry(402, 0x0001, 7, 8, 420);
      std::memcpy(&Data[420], "PRIVATE!", 8);
    }
    U32(ifd0End, ifd1 ? 440 : 0);
    if (ifd1) {
      // IFD1 with a Make and a "thumbnail" that is no JPEG.
      U16(440, 3);
      Entry(442, ttMake, 2, 4, 'I' | 'F' << 8 | 'D' << 16);
      Entry(454, ttJPEGInterchangeFormat, 4, 1, 480);
      Entry(466, ttJPEGInterchangeFormatLength, 4, 1, 16);
      std::memcpy(&Data[480], "NOT A JPEG IMAGE", 16);
    }
    // The Exif IFD at 100: the MakerNote at 240, its declared size ending before the value.
    const std::uint32_t note = 240;
    const std::uint32_t noteSize = directoryAt + 2 + 12 + 4;
    U16(100, 1);
    Entry(102, ttMakerNote, 7, noteSize, note);
    std::copy(header.begin(), header.end(), Data.begin() + note);
    ValueAt = note + noteSize + 4;
    U16(note + directoryAt, 1);
    Entry(note + directoryAt + 2, 0x0100, 7, 8, mainBase ? ValueAt : ValueAt - note);
    std::memcpy(&Data[ValueAt], Kept.data(), Kept.size());
  }

  Bytes Segment() const { return WithExifHeader(Data); }
};

// The Exif block (from its TIFF header) of a JPEG.
Bytes TiffBlock(const Bytes& jpeg) {
  TExifData data;
  LoadJPEG(data, jpeg);
  return Bytes(data.SourceBlock().begin(), data.SourceBlock().end());
}

// The JPEG saved after an edit that makes the main directory grow.
Bytes SaveEdited(const Bytes& jpeg) {
  TExifData data;
  LoadJPEG(data, jpeg);
  data.SetCopyright("A copyright long enough to move the directories behind it");
  return SaveJPEG(data, jpeg);
}

struct TMakerNoteCase {
  const char* Name;
  std::string Make;
  Bytes Header;
  std::uint32_t DirectoryAt;
  bool MainBase;
};

class AMakerNoteReferencingBytesPastItsEnd : public ::testing::TestWithParam<TMakerNoteCase> {};

TEST_P(AMakerNoteReferencingBytesPastItsEnd, KeepsThemAndItsOffsetThroughAnEdit) {
  const TMakerNoteCase& c = GetParam();
  const THandBlock block(c.Make, c.Header, c.DirectoryAt, c.MainBase);
  const Bytes saved = TiffBlock(SaveEdited(ExifBuilder::Jpeg({block.Segment()})));
  ASSERT_GE(saved.size(), block.ValueAt + Kept.size());
  EXPECT_EQ(Bytes(saved.begin() + block.ValueAt, saved.begin() + block.ValueAt + 8), Kept);
  // The MakerNote itself is where it was, byte for byte.
  EXPECT_TRUE(std::equal(block.Data.begin() + 240, block.Data.begin() + 240 + c.DirectoryAt + 18, saved.begin() + 240));
}

using namespace std::string_literals;
INSTANTIATE_TEST_SUITE_P(
    HeaderForms, AMakerNoteReferencingBytesPastItsEnd,
    ::testing::Values(TMakerNoteCase{"OlympusOld", "OLYMPUS OPTICAL CO.,LTD", {'O', 'L', 'Y', 'M', 'P', 0, 1, 0}, 8, true},
                      TMakerNoteCase{"Sigma", "SIGMA", {'S', 'I', 'G', 'M', 'A', 0, 0, 0, 1, 0}, 10, true},
                      TMakerNoteCase{"OlympusNew", "OLYMPUS", {'O', 'L', 'Y', 'M', 'P', 'U', 'S', 0, 'I', 'I', 3, 0}, 12, false},
                      TMakerNoteCase{"NikonType1", "NIKON", {'N', 'i', 'k', 'o', 'n', 0, 1, 0}, 8, true},
                      // No layout is known: kept whole from its start to the block's end.
                      TMakerNoteCase{"Unknown", "Some Maker", {'X', 'Y', 'Z', 'C', 'A', 'M', 0, 0}, 8, true},
                      TMakerNoteCase{"UnknownHeaderless", "Some Maker", {}, 0, true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(APrivateDirectoryPointer, KeepsItsDirectoryAndValuesWhereItPoints) {
  const THandBlock block("Kodak", {}, 0, true, /*privateIfd=*/true);
  const Bytes saved = TiffBlock(SaveEdited(ExifBuilder::Jpeg({block.Segment()})));
  ASSERT_GE(saved.size(), 428u);
  EXPECT_TRUE(std::equal(block.Data.begin() + 400, block.Data.begin() + 428, saved.begin() + 400));
  TExifData reloaded;
  LoadBlock(reloaded, WithExifHeader(saved));
  std::uint32_t pointer = 0;
  ASSERT_TRUE(reloaded.PeekSection(skPrimary).TryGetLongValue(0x8290, 0, pointer));
  EXPECT_EQ(pointer, 400u);
}

TEST(AThumbnailDirectoryWithoutADecodableThumbnail, KeepsEveryTagAndTheBytesItPointsAt) {
  const THandBlock block("Some Maker", {}, 0, true, false, /*ifd1=*/true);
  const Bytes saved = TiffBlock(SaveEdited(ExifBuilder::Jpeg({block.Segment()})));
  TExifData reloaded;
  LoadBlock(reloaded, WithExifHeader(saved));
  const TExifSection& ifd1 = reloaded.PeekSection(skThumbnail);
  EXPECT_EQ(ifd1.GetStringValue(ttMake), "IFD");
  std::uint32_t offset = 0;
  ASSERT_TRUE(ifd1.TryGetLongValue(ttJPEGInterchangeFormat, 0, offset));
  ASSERT_LE(offset + 16, saved.size());
  EXPECT_EQ(std::string(saved.begin() + offset, saved.begin() + offset + 16), "NOT A JPEG IMAGE");
}

// A Sony MakerNote whose preview entry addresses bytes behind the end-of-image marker: after an
// edit that changes the head's length, the entry still addresses the same bytes.
TEST(AMakerNotePreviewBehindTheImage, IsStillAddressedAfterTheHeadChangesLength) {
  const Bytes header = {'S', 'O', 'N', 'Y', ' ', 'D', 'S', 'C', ' ', 0, 0, 0};
  THandBlock block("SONY", header, 12, true);
  const Bytes trailer = {'P', 'R', 'E', 'V', 'I', 'E', 'W', '!'};
  for (const bool grow : {true, false}) {
    SCOPED_TRACE(grow ? "the head grows" : "the head shrinks");
    // The entry's offset: the trailer's file position less the TIFF header's (SOI, JFIF, APP1 head).
    Bytes jpeg = ExifBuilder::Jpeg({block.Segment()});
    const std::size_t tiffAt = 2 + 18 + 4 + 6;
    block.Entry(240 + 12 + 2, 0x2001, 7, 8, static_cast<std::uint32_t>(jpeg.size() - tiffAt));
    jpeg = ExifBuilder::Jpeg({block.Segment()});
    jpeg.insert(jpeg.end(), trailer.begin(), trailer.end());
    TExifData data;
    LoadJPEG(data, jpeg);
    if (!grow) data.Sections(skPrimary).Remove(ttMake);
    const Bytes saved = grow ? SaveEdited(jpeg) : SaveJPEG(data, jpeg);
    const Bytes block2 = TiffBlock(saved);
    const std::uint32_t offset = GetLongWord(&block2[240 + 12 + 2 + 8], boLittleEndian);
    ASSERT_LE(tiffAt + offset + 8, saved.size());
    EXPECT_EQ(Bytes(saved.begin() + tiffAt + offset, saved.begin() + tiffAt + offset + 8), trailer);
  }
}

// A Canon MakerNote that other software moved, keeping its value offsets: a directory of three
// entries, then its two values (8 bytes of SHORTs and a 10-byte text) filling it to its end or to
// an 8-byte footer naming the offset the values were counted for.
struct TMovedCanonCase {
  const char* Name;
  std::int64_t Moved;     // the MakerNote's offset minus the one its values count from
  bool Footer;
  std::int64_t FooterOff; // what the footer's offset is off the counted one (a footer that lies)
  std::uint32_t Slack;    // bytes after the values, so that more than one shift fits
  bool Readable;          // whether the values can be told apart from garbage
  bool Casio = false;     // the same directory behind Casio's "QVC" header, without footer
};

Bytes MovedCanonNote(std::int64_t countedAt, const TMovedCanonCase& c) {
  ByteBuilder note(boLittleEndian);
  const std::uint32_t header = c.Casio ? 6 : 0;
  const auto at = [&](std::uint32_t offset) { return static_cast<std::uint32_t>(countedAt + header + offset); };
  if (c.Casio) note.Text(std::string_view("QVC\0\0\0", 6));
  note.U16(3);
  note.U16(0x0001).U16(3).U32(4).U32(at(42));
  note.U16(0x0006).U16(2).U32(10).U32(at(50));
  note.U16(0x0010).U16(4).U32(1).U32(0x03040506);
  note.U32(0);
  note.U16(1).U16(2).U16(3).U16(4);
  note.Text("MOVED CAM").Bytes({0});
  note.Fill(c.Slack);
  if (c.Footer) note.Bytes({'I', 'I', '*', 0}).U32(static_cast<std::uint32_t>(countedAt + c.FooterOff));
  return note.Data();
}

// A JPEG with the moved MakerNote, and where the note lies in its block.
Bytes MovedCanonJpeg(const TMovedCanonCase& c, std::int64_t& noteAt) {
  const auto build = [&](std::int64_t countedAt) {
    ExifBuilder block;
    block.Primary.Ascii(ttMake, c.Casio ? "CASIO COMPUTER CO.,LTD" : "Canon").Short(ttOrientation, {1});
    block.Exif.Rational(0x829A, 1, 60).Undefined(ttMakerNote, MovedCanonNote(countedAt, c));
    const Bytes jpeg = ExifBuilder::Jpeg({block.Build()});
    for (const auto& [key, offset] : block.ValueOffsets)
      if (key.second == ttMakerNote) noteAt = offset;
    return jpeg;
  };
  build(1000);  // the same sizes put the note at the same place
  return build(noteAt - c.Moved);
}

// What the MakerNote reads: tag 1's SHORTs and tag 6's text, "-" for a value that is not there.
std::string MakerNoteValues(TExifData& data) {
  const TExifSection& tags = data.Sections(skMakerNote);
  const TExifTag* shorts = tags.Find(0x0001);
  std::string result = shorts && shorts->WellFormed() && shorts->Bytes().size() == 8 && shorts->Bytes()[6] == 4
                           ? "1 2 3 4" : "-";
  const TExifTag* text = tags.Find(0x0006);
  return result + "|" + (text && text->WellFormed() ? tags.GetStringValue(0x0006) : "-");
}

class AMovedCanonMakerNote : public ::testing::TestWithParam<TMovedCanonCase> {};

TEST_P(AMovedCanonMakerNote, IsReadAndSavedWithItsBaseShifted) {
  const TMovedCanonCase& c = GetParam();
  std::int64_t noteAt = 0;
  const Bytes jpeg = MovedCanonJpeg(c, noteAt);
  TExifData data;
  LoadJPEG(data, jpeg);
  const std::string expected = c.Readable ? "1 2 3 4|MOVED CAM" : "-|-";
  EXPECT_EQ(MakerNoteValues(data), expected);
  EXPECT_EQ(data.MakerNote().BaseShift(), c.Readable ? c.Moved : 0);

  // An edit that moves the directories verifies and keeps the note, read the same way.
  const Bytes saved = SaveEdited(jpeg);
  TExifData reread;
  LoadJPEG(reread, saved);
  EXPECT_EQ(MakerNoteValues(reread), expected);
  EXPECT_EQ(reread.MakerNote().BaseShift(), data.MakerNote().BaseShift());
  const Bytes before = TiffBlock(jpeg), after = TiffBlock(saved);
  const std::size_t size = MovedCanonNote(0, c).size();
  ASSERT_GE(after.size(), noteAt + size);
  EXPECT_TRUE(std::equal(before.begin() + noteAt, before.begin() + noteAt + size, after.begin() + noteAt));
}

INSTANTIATE_TEST_SUITE_P(
    Moves, AMovedCanonMakerNote,
    ::testing::Values(TMovedCanonCase{"NotMoved", 0, true, 0, 0, true},
                      TMovedCanonCase{"BackWithFooter", -128, true, 0, 0, true},
                      TMovedCanonCase{"ForwardWithFooter", 64, true, 0, 0, true},
                      TMovedCanonCase{"FooterWithRoomToSpare", -164, true, 0, 6, true},
                      TMovedCanonCase{"BackWithoutFooter", -278, false, 0, 0, true},
                      TMovedCanonCase{"ForwardWithoutFooter", 40, false, 0, 0, true},
                      // The footer's offset does not fit, the values fill the note: they tell.
                      TMovedCanonCase{"FooterThatLies", -100, true, 12, 0, true},
                      // Without a footer, room to spare lets several shifts fit: none is taken.
                      TMovedCanonCase{"AmbiguousWithoutFooter", -200, false, 0, 4, false},
                      TMovedCanonCase{"CasioNotMoved", 0, false, 0, 0, true, true},
                      TMovedCanonCase{"CasioBack", -36, false, 0, 0, true, true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(TheMakerNoteLayouts, AreFoundBySignatureBeforeMakeAndNotGuessed) {
  using Zorp::Exif::Detail::FindMakerNoteLayout;
  const auto find = [](std::string_view bytes, std::string_view make) {
    const auto* layout = FindMakerNoteLayout(
        {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, make);
    return layout ? std::string(layout->Name) : std::string("none");
  };
  EXPECT_EQ(find("OLYMP\0\1\0"s, "OLYMPUS"), "Olympus (old)");
  EXPECT_EQ(find("OLYMPUS\0II\3\0"s, "OLYMPUS"), "Olympus");
  EXPECT_EQ(find("Nikon\0\2\0\0\0MM"s, "NIKON CORPORATION"), "Nikon type 3");
  EXPECT_EQ(find("\0\x10\0\x01"s, "NIKON CORPORATION"), "Nikon type 2");
  EXPECT_EQ(find("AOC\0II"s, "PENTAX"), "none");  // offsets counted from different places
  EXPECT_EQ(find("\0\x10"s, "SAMSUNG"), "none");
  EXPECT_EQ(find("\0\x10"s, "Canon"), "Canon");
}

}  // namespace
