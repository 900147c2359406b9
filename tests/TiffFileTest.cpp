// TIFF and TIFF-based raw files: which format the first bytes and the name tell, the load into the
// Exif container (sections, MakerNotes, XMP, IPTC, further directories, previews), hostile files
// ending in bounded work, and the refusal of every save. Files are built in code.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "ByteBuilder.h"
#include "ExifBuilder.h"
#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "core/PhotoListing.h"
#include "core/TiffFileListing.h"
#include "core/XmpListing.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TiffFile.h"
#include "zorp/exif/XMPPacket.h"

namespace {

using namespace Zorp::Exif;
using Zorp::Testing::ByteBuilder;
using Zorp::Testing::IfdBuilder;

// A TIFF-based file put together piece by piece: the header, then directories and blobs appended at
// the end, with pointers patched once their targets are known.
class TiffFileBuilder {
 public:
  explicit TiffFileBuilder(TByteOrder order = boLittleEndian, std::string_view magic = {}) : FOut(order) {
    FOut.Text(order == boBigEndian ? "MM" : "II");
    if (magic.empty())
      FOut.U16(42);
    else
      FOut.Text(magic);
    FOut.U32(0);
  }

  ByteBuilder& Out() { return FOut; }

  // Appends a directory with its values behind it; returns its offset. The first becomes IFD0.
  std::uint32_t Ifd(const IfdBuilder& ifd) {
    Align();
    const auto at = static_cast<std::uint32_t>(FOut.Size());
    if (FOut.Data().size() >= 8 && GetFirst() == 0) FOut.PatchU32(4, at);
    std::size_t dataAt = at + 2 + 12 * ifd.Entries.size() + 4;
    FOut.U16(static_cast<std::uint16_t>(ifd.Entries.size()));
    for (const auto& e : ifd.Entries) {
      FOut.U16(e.ID).U16(e.Type).U32(e.Count);
      const std::uint32_t size = Zorp::Testing::EntryValueSize(e);
      if (size <= 4) {
        FValues[{at, e.ID}] = FOut.Size();
        const std::size_t before = FOut.Size();
        WriteValue(e);
        FOut.Fill(4 - (FOut.Size() - before));
      } else {
        FValues[{at, e.ID}] = dataAt;
        FOut.U32(static_cast<std::uint32_t>(dataAt));
        dataAt += size + (size & 1);
      }
    }
    FLinks[at] = FOut.Size();
    FOut.U32(0);
    for (const auto& e : ifd.Entries) {
      const std::uint32_t size = Zorp::Testing::EntryValueSize(e);
      if (size <= 4) continue;
      WriteValue(e);
      if (size & 1) FOut.Fill(1);
    }
    return at;
  }
  std::uint32_t Blob(const std::vector<std::uint8_t>& bytes) {
    Align();
    const auto at = static_cast<std::uint32_t>(FOut.Size());
    FOut.Bytes(bytes);
    return at;
  }
  void SetFirst(std::uint32_t at) { FOut.PatchU32(4, at); }
  void Link(std::uint32_t from, std::uint32_t to) { FOut.PatchU32(FLinks.at(from), to); }
  // Overwrites the index-th 32-bit element of an entry's value.
  void Patch(std::uint32_t ifd, std::uint16_t id, std::uint32_t value, std::size_t index = 0) {
    FOut.PatchU32(FValues.at({ifd, id}) + 4 * index, value);
  }
  std::size_t ValueAt(std::uint32_t ifd, std::uint16_t id) const { return FValues.at({ifd, id}); }
  const std::vector<std::uint8_t>& Bytes() const { return FOut.Data(); }

 private:
  void Align() {
    if (FOut.Size() & 1) FOut.Fill(1);
  }
  std::uint32_t GetFirst() const {
    return GetLongWord(&FOut.Data()[4], FOut.Data()[0] == 'M' ? boBigEndian : boLittleEndian);
  }
  void WriteValue(const IfdBuilder::Entry& e) {
    static const std::uint32_t sizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    const std::uint32_t size = e.Type < 14 ? sizes[e.Type] : 0;
    if (size <= 1) {
      FOut.Bytes(e.Bytes);
      const std::uint32_t total = Zorp::Testing::EntryValueSize(e);
      if (total > e.Bytes.size()) FOut.Fill(total - e.Bytes.size());
    } else if (size == 2) {
      for (std::uint32_t w : e.Words) FOut.U16(static_cast<std::uint16_t>(w));
    } else {
      for (std::uint32_t w : e.Words) FOut.U32(w);
    }
  }

  ByteBuilder FOut;
  std::map<std::pair<std::uint32_t, std::uint16_t>, std::size_t> FValues;
  std::map<std::uint32_t, std::size_t> FLinks;
};

std::vector<std::uint8_t> TestJpeg(int width, int height) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width * height * 3), 90);
  Zorp::Base::TJPEGImage image;
  image.AssignRGB(rgb.data(), width, height);
  return image.Bytes();
}

// The start of a lossless JPEG (raw sensor data), which is no preview.
const std::vector<std::uint8_t> LosslessJpeg = {0xFF, 0xD8, 0xFF, 0xC3, 0x00, 0x0B, 0x0C, 0x00, 0x10, 0x00,
                                                0x20, 0x01, 0x01, 0x11, 0x00, 0xFF, 0xD9, 0x00, 0x00, 0x00};

std::unique_ptr<TTiffFile> Load(const std::vector<std::uint8_t>& bytes, TExifData& data,
                                const std::string& name = "photo.tif") {
  Zorp::Base::TUserMemoryStream stream(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  auto file = std::make_unique<TTiffFile>();
  file->Load(stream, name, data);
  return file;
}

std::string Text(const TExifSection& section, TExifTagID id) {
  std::string value;
  section.TryGetStringValue(id, value);
  return value;
}

std::vector<std::string> DirectoryNames(const TTiffFile& file) {
  std::vector<std::string> names;
  for (const TTiffDirectory& directory : file.Directories()) names.push_back(directory.Name);
  return names;
}

// ---- Files shared by several tests ----------------------------------------------------------------

const std::string XmpText =
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:Rating=\"4\"/>"
    "</rdf:RDF></x:xmpmeta>";
const std::vector<std::uint8_t> IptcBytes = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x04, 0x1C,
                                             0x02, 0x78, 0x00, 0x03, 'C',  'a',  't'};

// A DNG-like file: IFD0 (DNGVersion, XMP, IPTC, two SubIFDs, Exif and GPS), SubIFD 1 holding raw
// data as a lossless JPEG strip, SubIFD 2 a 32 x 16 JPEG preview.
std::vector<std::uint8_t> DngLike(TByteOrder order = boLittleEndian) {
  TiffFileBuilder file(order);
  IfdBuilder ifd0;
  ifd0.Raw(0x00FE, 4, 1, {}, {1})
      .Short(0x0100, {8})
      .Short(0x0101, {8})
      .Ascii(0x010F, "Testmaker")
      .Ascii(0x0110, "Model D")
      .Raw(0x014A, 4, 2, {}, {0, 0})
      .Undefined(0x02BC, std::vector<std::uint8_t>(XmpText.begin(), XmpText.end()))
      .Long(0x8769, {0})
      .Undefined(0x83BB, IptcBytes)
      .Long(0x8825, {0})
      .Raw(0xC612, 1, 4, {1, 4, 0, 0});
  const std::uint32_t at0 = file.Ifd(ifd0);
  IfdBuilder exif;
  exif.Rational(0x829A, 1, 125).Ascii(0x9003, "2024:05:06 07:08:09");
  file.Patch(at0, 0x8769, file.Ifd(exif));
  IfdBuilder gps;
  gps.Raw(0x0000, 1, 4, {2, 3, 0, 0}).Ascii(0x0001, "N");
  file.Patch(at0, 0x8825, file.Ifd(gps));
  const std::vector<std::uint8_t> preview = TestJpeg(32, 16);
  IfdBuilder raw, small;
  raw.Raw(0x00FE, 4, 1, {}, {0})
      .Short(0x0103, {7})
      .Long(0x0111, {0})
      .Long(0x0117, {static_cast<std::uint32_t>(LosslessJpeg.size())});
  small.Raw(0x00FE, 4, 1, {}, {1})
      .Short(0x0103, {7})
      .Long(0x0111, {0})
      .Long(0x0117, {static_cast<std::uint32_t>(preview.size())});
  const std::uint32_t rawAt = file.Ifd(raw), smallAt = file.Ifd(small);
  file.Patch(at0, 0x014A, rawAt, 0);
  file.Patch(at0, 0x014A, smallAt, 1);
  file.Patch(rawAt, 0x0111, file.Blob(LosslessJpeg));
  file.Patch(smallAt, 0x0111, file.Blob(preview));
  return file.Bytes();
}

// ---- Which format ---------------------------------------------------------------------------------

std::vector<std::uint8_t> HeaderWithMake(TByteOrder order, std::string_view make, bool dng = false) {
  TiffFileBuilder file(order);
  IfdBuilder ifd0;
  if (!make.empty()) ifd0.Ascii(0x010F, make);
  if (dng) ifd0.Raw(0xC612, 1, 4, {1, 4, 0, 0});
  file.Ifd(ifd0);
  return file.Bytes();
}

std::vector<std::uint8_t> Head(std::string_view bytes) { return {bytes.begin(), bytes.end()}; }

TEST(ATiffFileFormat, IsToldByTheHeaderThenDNGVersionAndMakeThenTheExtension) {
  std::vector<std::uint8_t> cr2 = Head(std::string_view("II*\0\x10\0\0\0CR\x02\0\0\0\0\0", 16));
  std::vector<std::uint8_t> ifdBeyondHead = Head(std::string_view("II*\0\0\x10\0\0", 8));
  const struct {
    const char* Name;
    std::vector<std::uint8_t> Bytes;
    const char* FileName;
    TTiffFileFormat Expected;
  } cases[] = {
      {"plain little-endian", HeaderWithMake(boLittleEndian, ""), "a.tif", tfTIFF},
      {"plain big-endian", HeaderWithMake(boBigEndian, ""), "a", tfTIFF},
      {"DNG by its version", HeaderWithMake(boLittleEndian, "Testmaker", true), "a.tif", tfDNG},
      {"DNG by its version, camera make", HeaderWithMake(boBigEndian, "NIKON CORPORATION", true), "a.nef", tfDNG},
      {"CR2 by its header", cr2, "a.tif", tfCanonCR2},
      {"Canon make without the CR mark", HeaderWithMake(boLittleEndian, "Canon"), "a.cr2", tfTIFF},
      {"NEF by make", HeaderWithMake(boBigEndian, "NIKON CORPORATION"), "photo", tfNikonNEF},
      {"NRW by make and extension", HeaderWithMake(boLittleEndian, "NIKON"), "a/b.c/P1.NRW", tfNikonNRW},
      {"NEF by extension when IFD0 lies beyond the head", ifdBeyondHead, "DSC_1.NEF", tfNikonNEF},
      {"scanner TIFF of a camera maker", HeaderWithMake(boLittleEndian, "Nikon"), "scan.tiff", tfTIFF},
      {"ARW", HeaderWithMake(boLittleEndian, "SONY"), "a.arw", tfSonyARW},
      {"SR2", HeaderWithMake(boLittleEndian, "SONY"), "a.sr2", tfSonySR2},
      {"PEF", HeaderWithMake(boBigEndian, "PENTAX Corporation"), "a.dng.pef", tfPentaxPEF},
      {"ORF IIRO", Head(std::string_view("IIRO\x08\0\0\0", 8)), "a.orf", tfOlympusORF},
      {"ORF IIRS", Head(std::string_view("IIRS\x08\0\0\0", 8)), "a", tfOlympusORF},
      {"ORF MMOR", Head(std::string_view("MMOR\0\0\0\x08", 8)), "a.tif", tfOlympusORF},
      {"RW2", Head(std::string_view("IIU\0\x18\0\0\0", 8)), "a.raw", tfPanasonicRW2},
      {"ORF extension on a plain header", HeaderWithMake(boLittleEndian, ""), "a.orf", tfTIFF},
      {"BigTIFF", Head(std::string_view("II+\0\x08\0\0\0\0\0\0\0\x10\0\0\0", 16)), "a.tif", tfUnknown},
      {"JPEG",
       Head(std::string_view("\xFF\xD8\xFF\xE1\0\x10"
                             "Exif\0\0",
                             12)),
       "a.tif", tfUnknown},
      {"too short", Head("II*"), "a.tif", tfUnknown},
      {"bad magic", Head(std::string_view("II\x2B\x01\x08\0\0\0", 8)), "a.tif", tfUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(IdentifyTiffFile(c.Bytes, c.FileName), c.Expected) << c.Name;
}

// ---- Loading --------------------------------------------------------------------------------------

TEST(ATiffFile, LoadsAMinimalTiffInBothByteOrders) {
  for (const TByteOrder order : {boLittleEndian, boBigEndian}) {
    Zorp::Testing::ExifBuilder block(order);
    block.WithExifHeader = false;
    block.Primary.Ascii(0x010F, "Maker").Ascii(0x0110, "Model T").Short(0x0112, {6});
    block.Exif.Rational(0x829A, 1, 60).Ascii(0x9003, "2020:01:02 03:04:05");
    block.Gps.Raw(0x0000, 1, 4, {2, 2, 0, 0}).Ascii(0x0001, "S");
    block.Interop.Ascii(0x0001, "R98");
    TExifData data;
    const auto file = Load(block.Build(), data);
    EXPECT_EQ(file->Format(), tfTIFF);
    EXPECT_EQ(data.ReadOnlyFormat(), "TIFF");
    EXPECT_EQ(data.ByteOrder(), order);
    EXPECT_EQ(data.CameraModel(), "Model T");
    EXPECT_EQ(data.Orientation(), toRightTop);
    EXPECT_EQ(data.ExposureTime().Denominator, 60u);
    EXPECT_EQ(Text(data.PeekSection(skGps), 0x0001), "S");
    EXPECT_EQ(data.InteropTypeName(), "R98");
    EXPECT_TRUE(data.PeekSection(skPrimary).LoadErrors().Empty());
    EXPECT_FALSE(data.Modified());
    EXPECT_TRUE(file->Directories().empty());
    EXPECT_TRUE(file->Previews().empty());
  }
}

TEST(ATiffFile, LoadsADngWithSubIFDsAPreviewXmpAndIptc) {
  for (const TByteOrder order : {boLittleEndian, boBigEndian}) {
    TExifData data;
    const auto file = Load(DngLike(order), data, "x.dng");
    EXPECT_EQ(file->Format(), tfDNG);
    EXPECT_EQ(file->FormatName(), "DNG");
    EXPECT_EQ(data.CameraMake(), "Testmaker");
    EXPECT_EQ(Text(data.PeekSection(skExif), 0x9003), "2024:05:06 07:08:09");
    EXPECT_EQ(Text(data.PeekSection(skGps), 0x0001), "N");
    EXPECT_EQ(DirectoryNames(*file), (std::vector<std::string>{"SubIFD 1", "SubIFD 2"}));
    std::uint16_t compression = 0;
    EXPECT_TRUE(file->Directories()[1].Tags->TryGetWordValue(0x0103, 0, compression));
    EXPECT_EQ(compression, 7);
    // The lossless strip is raw data; the baseline one the preview, also the container's thumbnail.
    ASSERT_EQ(file->Previews().size(), 1u);
    const TTiffPreview& preview = *file->LargestPreview();
    EXPECT_EQ(preview.Source, "SubIFD 2");
    EXPECT_EQ(preview.Size, static_cast<std::int64_t>(TestJpeg(32, 16).size()));
    EXPECT_EQ(preview.Width, 32);
    EXPECT_EQ(preview.Height, 16);
    EXPECT_EQ(file->Preview().Width(), 32);
    ASSERT_TRUE(data.HasThumbnail());
    EXPECT_EQ(data.Thumbnail().Height(), 16);
    EXPECT_EQ(file->IPTCData(), IptcBytes);
    EXPECT_TRUE(data.SourceMetadata().Contains(mkIPTC));
    Quorvane::Viewer::TListRows xmpRows;
    Quorvane::Viewer::ListXMP(xmpRows, data);
    ASSERT_EQ(xmpRows.size(), 1u);
    EXPECT_NE(xmpRows[0].Caption.find("Rating"), std::string::npos);
    EXPECT_EQ(xmpRows[0].Value(), "4");
    EXPECT_FALSE(data.Modified());
  }
}

// One camera's file with its MakerNote: the class the registry picks and a value read through it.
struct MakerNoteCase {
  const char* Name;
  TByteOrder Order;
  std::string_view Magic;
  const char* Make;
  const char* FileName;
  TTiffFileFormat Format;
  const TExifMakerNoteClass* Class;
  std::vector<std::uint8_t> Note;  // built for a note at NoteAt
  TExifTagID Tag;
  std::string Value;  // the tag's text as AsString gives it
};

// The MakerNote of each maker, its offsets counted as that maker counts them.
std::vector<MakerNoteCase> MakerNoteCases() {
  std::vector<MakerNoteCase> cases;
  {  // Nikon: an embedded TIFF header, offsets counted from it.
    ByteBuilder note(boBigEndian);
    note.Text(std::string_view("Nikon\0\x02\x10\0\0", 10)).Text("MM").U16(42).U32(8);
    note.U16(2).U16(0x0002).U16(3).U32(2).U16(0).U16(200).U16(0x0004).U16(2).U32(6).U32(8 + 2 + 24 + 4).U32(0);
    note.Text(std::string_view("FINE \0", 6));
    cases.push_back({"Nikon NEF",
                     boBigEndian,
                     {},
                     "NIKON CORPORATION",
                     "d.nef",
                     tfNikonNEF,
                     &TNikonType3MakerNote,
                     note.Data(),
                     0x0004,
                     "FINE "});
  }
  {  // Olympus: offsets counted from the MakerNote's start.
    ByteBuilder note(boLittleEndian);
    note.Text(std::string_view("OLYMPUS\0II\x03\0", 12));
    note.U16(1).U16(0x0200).U16(4).U32(3).U32(12 + 2 + 12 + 4).U32(0);
    note.U32(1).U32(2).U32(3);
    cases.push_back({"Olympus ORF", boLittleEndian, "RO", "OLYMPUS CORPORATION", "o.orf", tfOlympusORF,
                     &TOlympusMakerNote, note.Data(), 0x0200, "1,2,3"});
  }
  {
    ByteBuilder note(boLittleEndian);
    note.Text(std::string_view("Panasonic\0\0\0", 12)).U16(1).U16(0x0001).U16(7).U32(4).Text("0130").U32(0);
    cases.push_back({"Panasonic RW2", boLittleEndian, std::string_view("U\0", 2), "Panasonic", "p.rw2", tfPanasonicRW2,
                     &TPanasonicMakerNote, note.Data(), 0x0001, "30313330"});
  }
  {
    ByteBuilder note(boLittleEndian);
    note.Text(std::string_view("SONY DSC \0\0\0", 12)).U16(1).U16(0x0102).U16(4).U32(1).U32(5).U32(0);
    cases.push_back(
        {"Sony ARW", boLittleEndian, {}, "SONY", "s.arw", tfSonyARW, &TSonyMakerNote, note.Data(), 0x0102, "5"});
  }
  {
    ByteBuilder note(boBigEndian);
    note.Text(std::string_view("AOC\0MM", 6)).U16(1).U16(0x0001).U16(3).U32(1).U16(2).U16(0).U32(0);
    cases.push_back({"Pentax PEF",
                     boBigEndian,
                     {},
                     "PENTAX Corporation",
                     "k.pef",
                     tfPentaxPEF,
                     &TPentaxMakerNote,
                     note.Data(),
                     0x0001,
                     "2"});
  }
  {
    ByteBuilder note(boLittleEndian);
    note.U16(1).U16(0x0010).U16(4).U32(1).U32(0x80000213).U32(0);
    cases.push_back({"Canon CR2",
                     boLittleEndian,
                     {},
                     "Canon",
                     "c.cr2",
                     tfCanonCR2,
                     &TCanonMakerNote,
                     note.Data(),
                     0x0010,
                     "2147484179"});
  }
  return cases;
}

std::vector<std::uint8_t> CameraFile(const MakerNoteCase& c) {
  TiffFileBuilder file(c.Order, c.Magic);
  if (c.Format == tfCanonCR2) file.Out().Text(std::string_view("CR\x02\0\0\0\0\0", 8));
  IfdBuilder ifd0, exif;
  ifd0.Ascii(0x010F, c.Make).Ascii(0x0110, "Cam").Long(0x8769, {0});
  exif.Rational(0x829A, 1, 250).Undefined(0x927C, c.Note);
  const std::uint32_t at0 = file.Ifd(ifd0);
  file.Patch(at0, 0x8769, file.Ifd(exif));
  return file.Bytes();
}

TEST(ATiffFile, ReadsEachMakersMakerNoteAsInAJpeg) {
  for (const MakerNoteCase& c : MakerNoteCases()) {
    TExifData data;
    const auto file = Load(CameraFile(c), data, c.FileName);
    EXPECT_EQ(file->Format(), c.Format) << c.Name;
    EXPECT_STREQ(data.MakerNoteType().Name, c.Class->Name) << c.Name;
    const TExifTag* tag = data.Sections(skMakerNote).Find(c.Tag);
    ASSERT_NE(tag, nullptr) << c.Name;
    EXPECT_EQ(tag->AsString(), c.Value) << c.Name;
    EXPECT_TRUE(data.Sections(skMakerNote).LoadErrors().Empty()) << c.Name;
    EXPECT_FALSE(data.Modified()) << c.Name;
  }
}

TEST(ATiffFile, ReadsACr2WithItsThumbnailPreviewAndRawDirectories) {
  TiffFileBuilder file;
  file.Out().Text(std::string_view("CR\x02\0\0\0\0\0", 8));
  const std::vector<std::uint8_t> big = TestJpeg(64, 48), thumb = TestJpeg(16, 12);
  IfdBuilder ifd0, ifd1, ifd2, ifd3;
  ifd0.Short(0x0103, {6})
      .Ascii(0x010F, "Canon")
      .Long(0x0111, {0})
      .Long(0x0117, {static_cast<std::uint32_t>(big.size())});
  ifd1.Short(0x0103, {6}).Long(0x0201, {0}).Long(0x0202, {static_cast<std::uint32_t>(thumb.size())});
  ifd2.Short(0x0100, {4}).Short(0x0101, {2}).Short(0x0103, {1});
  ifd3.Short(0x0103, {6}).Long(0x0111, {0}).Long(0x0117, {static_cast<std::uint32_t>(LosslessJpeg.size())});
  const std::uint32_t at0 = file.Ifd(ifd0), at1 = file.Ifd(ifd1), at2 = file.Ifd(ifd2), at3 = file.Ifd(ifd3);
  file.Link(at0, at1);
  file.Link(at1, at2);
  file.Link(at2, at3);
  file.Patch(at0, 0x0111, file.Blob(big));
  file.Patch(at1, 0x0201, file.Blob(thumb));
  file.Patch(at3, 0x0111, file.Blob(LosslessJpeg));
  TExifData data;
  const auto loaded = Load(file.Bytes(), data, "IMG_1.CR2");
  EXPECT_EQ(loaded->Format(), tfCanonCR2);
  EXPECT_EQ(data.PeekSection(skThumbnail).Count(), 3);
  ASSERT_TRUE(data.HasThumbnail());
  EXPECT_EQ(data.Thumbnail().Width(), 16);
  EXPECT_EQ(DirectoryNames(*loaded), (std::vector<std::string>{"IFD2", "IFD3"}));
  ASSERT_EQ(loaded->Previews().size(), 2u);
  EXPECT_EQ(loaded->LargestPreview()->Source, "IFD0");
  EXPECT_EQ(loaded->LargestPreview()->Width, 64);
  EXPECT_EQ(loaded->Preview().Height(), 48);
}

TEST(ATiffFile, TakesIfd1AsADirectoryWhenItHoldsNoExifThumbnail) {
  TiffFileBuilder file(boBigEndian);
  IfdBuilder ifd0, ifd1;
  ifd0.Ascii(0x010F, "NIKON CORPORATION");
  ifd1.Short(0x0100, {4000}).Short(0x0103, {1}).Long(0x0201, {8}).Long(0x0202, {70000});
  const std::uint32_t at0 = file.Ifd(ifd0);
  file.Link(at0, file.Ifd(ifd1));
  file.Out().Fill(70000);
  TExifData data;
  const auto loaded = Load(file.Bytes(), data, "x.nef");
  EXPECT_EQ(data.PeekSection(skThumbnail).Count(), 0);
  EXPECT_FALSE(data.HasThumbnail());
  EXPECT_EQ(DirectoryNames(*loaded), (std::vector<std::string>{"IFD1"}));
  EXPECT_EQ(loaded->Directories()[0].Tags->Count(), 4);
}

TEST(ATiffFile, FindsPanasonicsJpgFromRawAsThePreview) {
  TiffFileBuilder file(boLittleEndian, std::string_view("U\0", 2));
  const std::vector<std::uint8_t> jpeg = TestJpeg(40, 30);
  IfdBuilder ifd0;
  ifd0.Undefined(0x002E, jpeg).Ascii(0x010F, "Panasonic");
  const std::uint32_t at0 = file.Ifd(ifd0);
  TExifData data;
  const auto loaded = Load(file.Bytes(), data, "P1.RW2");
  EXPECT_EQ(loaded->Format(), tfPanasonicRW2);
  ASSERT_EQ(loaded->Previews().size(), 1u);
  EXPECT_EQ(loaded->Previews()[0].Offset, static_cast<std::int64_t>(file.ValueAt(at0, 0x002E)));
  EXPECT_EQ(loaded->Previews()[0].Size, static_cast<std::int64_t>(jpeg.size()));
  EXPECT_EQ(loaded->Preview().Width(), 40);
  EXPECT_EQ(data.Thumbnail().Width(), 40);
}

TEST(ATiffFile, FindsThePreviewsAMakerNoteNames) {
  const std::vector<std::uint8_t> jpeg = TestJpeg(24, 8);
  const auto size = static_cast<std::uint32_t>(jpeg.size());
  // Nikon counts offsets from its embedded TIFF header: a preview directory, the image behind it.
  ByteBuilder nikon(boBigEndian);
  nikon.Text(std::string_view("Nikon\0\x02\x10\0\0", 10)).Text("MM").U16(42).U32(8);
  nikon.U16(1).U16(0x0011).U16(13).U32(1).U32(26).U32(0);
  nikon.U16(2).U16(0x0201).U16(4).U32(1).U32(56).U16(0x0202).U16(4).U32(1).U32(size).U32(0).Bytes(jpeg);
  // Olympus counts them from the MakerNote's start, the image named in its own directory.
  ByteBuilder olympus(boLittleEndian);
  olympus.Text(std::string_view("OLYMPUS\0II\x03\0", 12)).U16(2);
  olympus.U16(0x0088).U16(4).U32(1).U32(12 + 2 + 24 + 4).U16(0x0089).U16(4).U32(1).U32(size).U32(0).Bytes(jpeg);
  const std::pair<std::size_t, std::vector<std::uint8_t>> cases[] = {{0, nikon.Data()}, {1, olympus.Data()}};
  for (const auto& [maker, note] : cases) {
    MakerNoteCase c = MakerNoteCases()[maker];
    c.Note = note;
    const std::vector<std::uint8_t> bytes = CameraFile(c);
    TExifData data;
    const auto loaded = Load(bytes, data, c.FileName);
    ASSERT_EQ(loaded->Previews().size(), 1u) << c.Name;
    const TTiffPreview& preview = loaded->Previews()[0];
    EXPECT_EQ(preview.Source, "MakerNote") << c.Name;
    EXPECT_EQ(preview.Size, static_cast<std::int64_t>(size)) << c.Name;
    EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), bytes.begin() + preview.Offset)) << c.Name;
    EXPECT_EQ(loaded->Preview().Width(), 24) << c.Name;
  }
}

TEST(ATiffFile, ListsNestedSubIFDsAndChainsOnce) {
  TiffFileBuilder file;
  IfdBuilder ifd0, sub, inner, next;
  ifd0.Ascii(0x010F, "X").Raw(0x014A, 4, 1, {}, {0});
  sub.Short(0x0100, {1}).Raw(0x014A, 4, 1, {}, {0});
  inner.Short(0x0100, {2});
  next.Short(0x0100, {3});
  const std::uint32_t at0 = file.Ifd(ifd0), subAt = file.Ifd(sub), innerAt = file.Ifd(inner), nextAt = file.Ifd(next);
  file.Patch(at0, 0x014A, subAt);
  file.Patch(subAt, 0x014A, innerAt);
  file.Link(subAt, nextAt);
  file.Link(nextAt, subAt);  // back to a directory already read
  TExifData data;
  const auto loaded = Load(file.Bytes(), data);
  EXPECT_EQ(DirectoryNames(*loaded), (std::vector<std::string>{"SubIFD 1", "SubIFD 1.1", "SubIFD 1, next 1"}));
  EXPECT_EQ(loaded->Directories()[1].Depth, 2);
}

// ---- Hostile files --------------------------------------------------------------------------------

TEST(ATiffFile, EndsHostileFilesInBoundedWork) {
  const auto selfSub = [] {
    TiffFileBuilder file;
    IfdBuilder ifd0;
    ifd0.Ascii(0x010F, "X").Raw(0x014A, 4, 3, {}, {0, 0, 0});
    const std::uint32_t at0 = file.Ifd(ifd0);
    for (int i = 0; i < 3; ++i) file.Patch(at0, 0x014A, at0, i);
    return file.Bytes();
  };
  const auto loop = [] {
    TiffFileBuilder file;
    IfdBuilder ifd0, ifd1;
    ifd0.Ascii(0x010F, "X");
    ifd1.Short(0x0100, {1});
    const std::uint32_t at0 = file.Ifd(ifd0), at1 = file.Ifd(ifd1);
    file.Link(at0, at1);
    file.Link(at1, at0);
    return file.Bytes();
  };
  const auto hugeCounts = [] {
    // Values "lie" at offset 8; the entries claim far more than the file holds.
    ByteBuilder out;
    out.Text("II").U16(42).U32(8).U16(4);
    out.U16(0x010F).U16(2).U32(0x7FFFFFF0).U32(8);
    out.U16(0x014A).U16(4).U32(0x3FFFFFFF).U32(8);
    out.U16(0x02BC).U16(1).U32(0xFFFFFFFF).U32(8);
    out.U16(0x8769).U16(4).U32(1).U32(0xFFFFFFF0);
    out.U32(0);
    return out.Data();
  };
  const auto manySubIFDs = [] {
    // 300 SubIFD pointers at 300 distinct small directories: at most MaxDirectories are read.
    TiffFileBuilder file;
    IfdBuilder ifd0;
    std::vector<std::uint32_t> none(300, 0);
    IfdBuilder::Entry entry{0x014A, 4, 300, {}, none};
    ifd0.Add(entry);
    const std::uint32_t at0 = file.Ifd(ifd0);
    IfdBuilder leaf;
    leaf.Short(0x0100, {1});
    for (std::size_t i = 0; i < 300; ++i) file.Patch(at0, 0x014A, file.Ifd(leaf), i);
    return file.Bytes();
  };
  const auto deepSubIFDs = [] {
    // Each SubIFD points at the next one, 20 deep.
    TiffFileBuilder file;
    std::vector<std::uint32_t> at;
    for (int i = 0; i < 20; ++i) {
      IfdBuilder ifd;
      ifd.Raw(0x014A, 4, 1, {}, {0});
      at.push_back(file.Ifd(ifd));
    }
    for (std::size_t i = 0; i + 1 < at.size(); ++i) file.Patch(at[i], 0x014A, at[i + 1]);
    return file.Bytes();
  };
  const auto overlapping = [] {
    // 64 SubIFDs two bytes apart over 800 KB of 0xFF: each claims 65535 entries.
    ByteBuilder out;
    out.Text("II").U16(42).U32(8).U16(1).U16(0x014A).U16(4).U32(64).U32(26).U32(0);
    for (std::uint32_t i = 0; i < 64; ++i) out.U32(400 + 2 * i);
    out.Fill(400 - out.Size()).Fill(800000, 0xFF);
    return out.Data();
  };
  const struct {
    const char* Name;
    std::vector<std::uint8_t> Bytes;
    std::size_t MaxDirectories;
  } cases[] = {
      {"SubIFDs pointing at IFD0", selfSub(), 0},
      {"IFD chain loop", loop(), 1},
      {"counts far beyond the file", hugeCounts(), 0},
      {"many SubIFDs", manySubIFDs(), TTiffFile::MaxDirectories},
      {"deep SubIFDs", deepSubIFDs(), TTiffFile::MaxDepth},
      {"overlapping directories", overlapping(), TTiffFile::MaxDirectories},
  };
  for (const auto& c : cases) {
    TExifData data;
    std::unique_ptr<TTiffFile> file;
    try {
      file = Load(c.Bytes, data);
    } catch (const Zorp::Base::Exception& e) {
      ADD_FAILURE() << c.Name << ": " << e.what();
      continue;
    }
    EXPECT_LE(file->Directories().size(), c.MaxDirectories) << c.Name;
    std::int64_t entries = data.PeekSection(skPrimary).Count();
    for (const TTiffDirectory& directory : file->Directories()) entries += directory.Tags->Count();
    EXPECT_LE(entries, TTiffFile::MaxEntries) << c.Name;
    EXPECT_LE(file->BytesRead(), 64 * static_cast<std::int64_t>(c.Bytes.size()) + 65536) << c.Name;
  }
}

TEST(ATiffFile, LoadsOrRefusesEveryCutOfAFile) {
  const std::vector<std::uint8_t> whole = DngLike(boBigEndian);
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    TExifData data;
    try {
      const auto file = Load(cut, data, "cut.dng");
      EXPECT_LE(file->BytesRead(), 64 * static_cast<std::int64_t>(size) + 65536);
      for (const TTiffPreview& preview : file->Previews())
        EXPECT_LE(preview.Offset + preview.Size, static_cast<std::int64_t>(size));
    } catch (const Zorp::Base::Exception&) {
      // A cut header or IFD0 is refused; that is all.
    }
  }
}

TEST(ATiffFile, LoadsOrRefusesEveryByteChangedInItsFiles) {
  // Each byte of each file set to 00, FF and flipped in its top bit; every tag then read.
  const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files = {
      {"x.dng", DngLike()}, {"x.nef", CameraFile(MakerNoteCases()[0])}, {"x.orf", CameraFile(MakerNoteCases()[1])}};
  for (const auto& [name, whole] : files) {
    for (std::size_t at = 0; at < whole.size(); ++at) {
      for (const std::uint8_t value :
           {std::uint8_t{0}, std::uint8_t{0xFF}, static_cast<std::uint8_t>(whole[at] ^ 0x80)}) {
        std::vector<std::uint8_t> bytes = whole;
        bytes[at] = value;
        TExifData data;
        try {
          const auto file = Load(bytes, data, name);
          EXPECT_LE(file->BytesRead(), 64 * static_cast<std::int64_t>(bytes.size()) + 65536);
          for (const TExifTag* tag : data.Sections(skMakerNote)) (void)tag->AsString();
          for (const TTiffDirectory& directory : file->Directories())
            for (const TExifTag* tag : *directory.Tags) (void)tag->AsString();
        } catch (const Zorp::Base::Exception&) {
        }
      }
    }
  }
}

TEST(ATiffFile, BoundsTheValueBytesItReads) {
  // Eight 12 MiB values all over the same bytes: at most MaxValueBytes of them are read, one
  // beyond MaxValueSize not at all.
  const std::uint32_t size = 12u << 20;
  TiffFileBuilder file;
  IfdBuilder ifd0;
  for (std::uint16_t id = 0x9000; id < 0x9008; ++id) ifd0.Raw(id, 7, size, {}, {});
  ifd0.Raw(0x9009, 7, 20u << 20, {}, {});
  // The builder writes the values behind the directory; only their first bytes matter.
  std::vector<std::uint8_t> bytes;
  {
    ByteBuilder out;
    out.Text("II").U16(42).U32(8).U16(9);
    for (std::uint16_t id = 0x9000; id < 0x9008; ++id) out.U16(id).U16(7).U32(size).U32(128);
    out.U16(0x9009).U16(7).U32(20u << 20).U32(128);
    out.U32(0);
    bytes = out.Data();
    bytes.resize(128 + (20u << 20), 0);
  }
  TExifData data;
  const auto loaded = Load(bytes, data);
  int read = 0;
  for (const TExifTag* tag : data.PeekSection(skPrimary)) read += tag->WellFormed() ? 1 : 0;
  EXPECT_EQ(read, static_cast<int>(TTiffFile::MaxValueBytes / size));
  EXPECT_LE(loaded->BytesRead(), TTiffFile::MaxValueBytes + 65536);
}

TEST(ATiffFile, RefusesFilesItDoesNotRead) {
  TExifData data;
  EXPECT_THROW_MSG(Load(Head(std::string_view("II+\0\x08\0\0\0\0\0\0\0\x10\0\0\0", 16)), data), EInvalidTiffData,
                   "BigTIFF files are not supported");
  EXPECT_THROW_MSG(Load(Head(std::string_view("\xFF\xD8\xFF\xD9", 4)), data), EInvalidTiffData,
                   "Not a TIFF or TIFF-based raw file");
  EXPECT_THROW_MSG(Load(Head(std::string_view("II*\0\xF0\0\0\0", 8)), data), EInvalidTiffData, "Malformed TIFF data");
}

// ---- Never written --------------------------------------------------------------------------------

TEST(ATiffFile, RefusesEverySaveAndLeavesTheFileAsItWas) {
  const std::filesystem::path folder = Zorp::Testing::FreshTestFolder("tifffile");
  const std::string path = (folder / "x.dng").string();
  const std::vector<std::uint8_t> bytes = DngLike();
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  TExifData data;
  const auto file = LoadTiffFile(path, data);
  data.SetCameraModel("Changed");
  const char* message = "DNG files are read only: Quorvane does not save their metadata";
  EXPECT_THROW_MSG(data.SaveToJPEG(path), EZorpExifException, message);
  Zorp::Base::TMemoryStream in, out;
  in.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  in.SetPosition(0);
  EXPECT_THROW_MSG(data.SaveToJPEG(in, out), EZorpExifException, message);
  EXPECT_THROW_MSG(data.SaveToStream(out), EZorpExifException, message);
  EXPECT_EQ(out.Size(), 0);
  std::ifstream reread(path, std::ios::binary);
  const std::vector<std::uint8_t> after((std::istreambuf_iterator<char>(reread)), std::istreambuf_iterator<char>());
  EXPECT_EQ(after, bytes);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
  // A JPEG loaded into the same container afterwards is writable again.
  const std::vector<std::uint8_t> photo = Zorp::Testing::ExifBuilder::Jpeg({});
  Zorp::Base::TUserMemoryStream photoStream(photo.data(), static_cast<std::int64_t>(photo.size()));
  data.LoadFromJPEG(photoStream);
  EXPECT_EQ(data.ReadOnlyFormat(), "");
  std::filesystem::remove_all(folder);
}

// ---- Listing ----------------------------------------------------------------------------------------

std::string WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

TEST(ATiffFileListing, GivesTheFormatThePreviewAndEachFurtherDirectory) {
  TiffFileBuilder file;
  IfdBuilder ifd0, sub;
  ifd0.Ascii(0x010F, "X").Raw(0x014A, 4, 1, {}, {0});
  sub.Short(0x0100, {7}).Raw(0xC61A, 1, 300, std::vector<std::uint8_t>(300, 0xAB));
  const std::uint32_t at0 = file.Ifd(ifd0);
  file.Patch(at0, 0x014A, file.Ifd(sub));
  TExifData data;
  const auto loaded = Load(file.Bytes(), data, "y.tiff");
  Quorvane::Viewer::TListRows rows;
  Quorvane::Viewer::ListTiffFile(rows, *loaded);
  ASSERT_EQ(rows.size(), 6u);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"   File format", "TIFF"},   {"   Preview", "None"}, {"SubIFD 1", ""},
      {"   Loaded cleanly", "Yes"}, {"   ImageWidth", "7"}, {"   Tag 0xC61A", ""}};
  for (std::size_t i = 0; i + 1 < expected.size(); ++i) {
    EXPECT_EQ(rows[i].Caption, expected[i].first);
    EXPECT_EQ(rows[i].Value(), expected[i].second);
    EXPECT_EQ(rows[i].Kind(), i == 3 ? "noyes" : "");
  }
  EXPECT_EQ(rows[5].Caption, expected[5].first);
  EXPECT_EQ(rows[5].Value().size(), Quorvane::Viewer::MaxTiffValueText + 3);
  EXPECT_TRUE(rows[5].Value().ends_with("..."));
}

TEST(ATiffFileListing, DescribesThePreview) {
  TExifData data;
  const auto loaded = Load(DngLike(), data, "x.dng");
  const TTiffPreview& preview = *loaded->LargestPreview();
  EXPECT_EQ(Quorvane::Viewer::TiffPreviewText(*loaded), "32 x 16 JPEG, " + std::to_string(preview.Size) +
                                                            " bytes at offset " + std::to_string(preview.Offset) +
                                                            " (SubIFD 2)");
}

TEST(ATiffFileListing, ListPhotoListsARawFileAndStillRefusesOtherFiles) {
  const std::filesystem::path folder = Zorp::Testing::FreshTestFolder("tifflisting");
  const Quorvane::Viewer::TMemIniFile ini;
  const auto dng = Quorvane::Viewer::ListPhoto(WriteFile(folder / "x.dng", DngLike()), ini);
  EXPECT_TRUE(dng.Succeeded()) << dng.Error;
  std::map<std::string, std::string> values;
  for (const auto& row : dng.Standard) values.emplace(row.Caption, row.Value());
  EXPECT_EQ(values["   Camera make"], "Testmaker");
  EXPECT_EQ(values["   File format"], "DNG");
  EXPECT_EQ(values.count("SubIFD 2"), 1u);
  const auto other = Quorvane::Viewer::ListPhoto(WriteFile(folder / "x.txt", Head("plain text, no photo")), ini);
  EXPECT_EQ(other.Error, "JPEG header is not valid");
  std::filesystem::remove_all(folder);
}

// ---- Judged by exiftool ---------------------------------------------------------------------------

// The tag numbers exiftool lists per group ("IFD0", "ExifIFD", "GPS") of a file.
std::map<std::string, std::set<int>> ExifToolTags(const std::string& path) {
  std::map<std::string, std::set<int>> tags;
  std::istringstream lines(Zorp::Testing::RunCommand("exiftool -a -u -G1 -H -s '" + path + "' 2>/dev/null"));
  std::string line;
  while (std::getline(lines, line)) {
    // "[IFD0]          0x010f Make     : Testmaker"
    if (line.size() < 2 || line[0] != '[') continue;
    const std::size_t close = line.find(']');
    std::istringstream rest(line.substr(close + 1));
    std::string id;
    rest >> id;
    if (close == std::string::npos || !id.starts_with("0x")) continue;
    tags[line.substr(1, close - 1)].insert(std::stoi(id, nullptr, 16));
  }
  return tags;
}

std::set<int> OurTags(const TExifSection& section) {
  // Pointers and blocks exiftool lists elsewhere or not as tags of the directory.
  static const std::set<int> elsewhere = {0x014A, 0x02BC, 0x8769, 0x8825, 0x83BB, 0xA005, 0x927C};
  std::set<int> ids;
  for (const TExifTag* tag : section)
    if (!elsewhere.contains(tag->ID())) ids.insert(tag->ID());
  return ids;
}

TEST(ATiffFile, ListsTheTagsExifToolListsInEachDirectoryAndMakerNote) {
  if (!Zorp::Testing::HasExifTool()) GTEST_SKIP() << "exiftool is not installed";
  const std::filesystem::path folder = Zorp::Testing::FreshTestFolder("tifforacle");
  Zorp::Testing::ExifBuilder tiff(boBigEndian);
  tiff.WithExifHeader = false;
  tiff.Primary.Ascii(0x010F, "Maker").Ascii(0x0110, "Model T").Short(0x0112, {6});
  tiff.Exif.Rational(0x829A, 1, 60).Ascii(0x9003, "2020:01:02 03:04:05");
  tiff.Gps.Raw(0x0000, 1, 4, {2, 2, 0, 0}).Ascii(0x0001, "S");
  struct Case {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
    std::string MakerGroup = {};  // exiftool's group of the MakerNote's tags
  };
  std::vector<Case> cases = {{"x.tif", tiff.Build()}, {"x.dng", DngLike()}};
  for (const MakerNoteCase& camera : MakerNoteCases()) {
    const std::string name = camera.Name;
    cases.push_back({camera.FileName, CameraFile(camera), name.substr(0, name.find(' '))});
  }
  for (const auto& c : cases) {
    const std::string path = WriteFile(folder / c.Name, c.Bytes);
    TExifData data;
    const auto file = LoadTiffFile(path, data);
    auto theirs = ExifToolTags(path);
    ASSERT_FALSE(theirs["IFD0"].empty()) << c.Name;
    EXPECT_EQ(OurTags(data.PeekSection(skPrimary)), theirs["IFD0"]) << c.Name;
    EXPECT_EQ(OurTags(data.PeekSection(skExif)), theirs["ExifIFD"]) << c.Name;
    EXPECT_EQ(OurTags(data.PeekSection(skGps)), theirs["GPS"]) << c.Name;
    if (!c.MakerGroup.empty()) {
      ASSERT_FALSE(theirs[c.MakerGroup].empty()) << c.Name;
      EXPECT_EQ(OurTags(data.Sections(skMakerNote)), theirs[c.MakerGroup]) << c.Name;
    }
    // exiftool calls the SubIFDs "SubIFD", "SubIFD1", ...
    for (std::size_t i = 0; i < file->Directories().size(); ++i) {
      const TTiffDirectory& directory = file->Directories()[i];
      if (!directory.Name.starts_with("SubIFD ")) continue;
      const std::string group = "SubIFD" + (i == 0 ? std::string() : std::to_string(i));
      EXPECT_EQ(OurTags(*directory.Tags), theirs[group]) << c.Name << " " << directory.Name;
    }
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
