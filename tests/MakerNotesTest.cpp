#include <gtest/gtest.h>

#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

#include "ExifBuilder.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/TagIDs.h"

namespace {

using namespace Zorp::Exif;
using Zorp::Base::TMemoryStream;
using Zorp::Testing::ByteBuilder;
using Zorp::Testing::ExifBuilder;

// A private directory: entry count, 12-byte entries (ID, type, count, 4-byte value field), no link.
struct PrivateEntry {
  std::uint16_t ID, Type;
  std::uint32_t Count, Value;
};

ByteBuilder& PrivateIfd(ByteBuilder& out, std::initializer_list<PrivateEntry> entries) {
  out.U16(static_cast<std::uint16_t>(entries.size()));
  for (const auto& e : entries) out.U16(e.ID).U16(e.Type).U32(e.Count).U32(e.Value);
  return out.U32(0);
}

// A short value inline: in the entry's first two bytes, in the directory's byte order.
std::uint32_t InlineShort(TByteOrder order, std::uint16_t value) {
  return order == boBigEndian ? std::uint32_t{value} << 16 : value;
}

std::unique_ptr<TExifData> Load(ExifBuilder& block) {
  auto data = std::make_unique<TExifData>();
  Zorp::Testing::LoadJPEG(*data, ExifBuilder::Jpeg({block.Build()}));
  return data;
}

// A camera whose Exif block has the given make, model, byte order and MakerNote bytes.
std::unique_ptr<TExifData> Camera(const std::string& make, const std::string& model, TByteOrder order,
                                  const std::vector<std::uint8_t>& makerNote) {
  ExifBuilder block(order);
  if (!make.empty()) block.Primary.Ascii(ttMake, make);
  if (!model.empty()) block.Primary.Ascii(ttModel, model);
  block.Exif.Undefined(ttMakerNote, makerNote);
  return Load(block);
}

TEST(AMakerNote, OfNikonType3IsReadInItsEmbeddedByteOrderFromByte18) {
  ByteBuilder note(boBigEndian);
  note.Text(std::string_view("Nikon\0\2\x10\0\0", 10)).Text("MM").U16(42).U32(8);
  // Entry 1: a short inline; entry 2: 6 bytes at offset 0x28 from the embedded header (byte 0x32).
  PrivateIfd(note, {{0x0001, 3, 1, InlineShort(boBigEndian, 0x1234)}, {0x0002, 2, 6, 0x28}});
  note.Fill(0x32 - note.Size()).Text(std::string_view("HELLO\0", 6));
  auto data = Camera("NIKON CORPORATION", "D300", boLittleEndian, note.Data());

  EXPECT_EQ(&data->MakerNoteType(), &TNikonType3MakerNote);
  const TExifSection& tags = data->Sections(skMakerNote);
  EXPECT_EQ(data->MakerNote().ByteOrder(), boBigEndian);
  EXPECT_EQ(data->MakerNote().DataOffsetsType(), obEmbeddedHeader);
  EXPECT_EQ(tags.GetWordValue(0x0001, 0), 0x1234);
  EXPECT_EQ(tags.GetStringValue(0x0002), "HELLO");
  EXPECT_TRUE(tags.LoadErrors().Empty());
}

TEST(AMakerNote, OfSonyIsBigEndianOnlyForTheDSLRA100) {
  for (const auto& [model, order] : {std::pair{"DSLR-A100", boBigEndian}, std::pair{"DSLR-A200", boLittleEndian}}) {
    ByteBuilder note(order);
    note.Text(std::string_view("SONY DSC \0\0\0", 12));
    PrivateIfd(note, {{0x0102, 3, 1, InlineShort(order, 7)}, {0x0104, 3, 1, InlineShort(order, 8)},
                      {0x0105, 3, 1, InlineShort(order, 9)}});
    auto data = Camera("SONY", model, boLittleEndian, note.Data());
    EXPECT_EQ(&data->MakerNoteType(), &TSonyMakerNote);
    EXPECT_EQ(data->MakerNote().ByteOrder(), order) << model;
    EXPECT_EQ(data->Sections(skMakerNote).GetWordValue(0x0105, 0), 9) << model;
  }
}

TEST(AMakerNote, OfPanasonicNeedsUndefinedData) {
  ByteBuilder note(boLittleEndian);
  note.Text(std::string_view("Panasonic\0\0\0", 12));
  PrivateIfd(note, {{0x0001, 3, 1, 5}, {0x0002, 3, 1, 6}, {0x0003, 3, 1, 7}});
  EXPECT_EQ(&Camera("Panasonic", "DMC", boBigEndian, note.Data())->MakerNoteType(), &TPanasonicMakerNote);

  ExifBuilder block;
  block.Primary.Ascii(ttMake, "Panasonic");
  block.Exif.Raw(ttMakerNote, dtAscii, static_cast<std::uint32_t>(note.Size()), note.Data());
  EXPECT_EQ(&Load(block)->MakerNoteType(), &THeaderlessMakerNote);
}

TEST(AMakerNote, OfCanonIsLittleEndianInsideABigEndianBlock) {
  ByteBuilder note(boLittleEndian);
  PrivateIfd(note, {{0x0001, 3, 1, 11}, {0x0002, 3, 1, 12}, {0x0003, 3, 1, 13}});
  auto data = Camera("Canon", "EOS", boBigEndian, note.Data());
  EXPECT_EQ(&data->MakerNoteType(), &TCanonMakerNote);
  EXPECT_EQ(data->Sections(skMakerNote).GetWordValue(0x0003, 0), 13);
  EXPECT_EQ(data->MakerNote().ByteOrder(), boLittleEndian);
}

TEST(AMakerNote, IsChosenByTheExactCameraMake) {
  ByteBuilder note(boLittleEndian);
  PrivateIfd(note, {{0x0001, 3, 1, 1}, {0x0002, 3, 1, 2}, {0x0003, 3, 1, 3}});
  EXPECT_EQ(&Camera("NIKON CORPORATION", "", boLittleEndian, note.Data())->MakerNoteType(), &TNikonType2MakerNote);
  EXPECT_EQ(&Camera("Nikon Corporation", "", boLittleEndian, note.Data())->MakerNoteType(), &THeaderlessMakerNote);
  EXPECT_EQ(&Camera("Canon", "", boLittleEndian, note.Data())->MakerNoteType(), &TCanonMakerNote);

  // Only a final NUL ends the make: "Canon" + two NULs is not "Canon".
  ExifBuilder block;
  block.Primary.Raw(ttMake, dtAscii, 7, {'C', 'a', 'n', 'o', 'n', 0, 0});
  block.Exif.Undefined(ttMakerNote, note.Data());
  EXPECT_NE(&Load(block)->MakerNoteType(), &TCanonMakerNote);
  ExifBuilder padded;
  padded.Primary.Raw(ttMake, dtAscii, 7, {'N', 'I', 'K', 'O', 'N', 0, 0});
  padded.Exif.Undefined(ttMakerNote, note.Data());
  EXPECT_EQ(&Load(padded)->MakerNoteType(), &TNikonType2MakerNote);
}

TEST(AMakerNote, IsRecognisedByAMakeWrittenWithoutItsNul) {
  using namespace std::string_literals;
  ByteBuilder note(boLittleEndian);
  PrivateIfd(note, {{0x0001, 3, 1, 1}, {0x0002, 3, 1, 2}, {0x0003, 3, 1, 3}});
  struct Case {
    std::string Make;  // raw bytes, counted as they are
    const TExifMakerNoteClass* Class;
  };
  const Case cases[] = {{"Canon", &TCanonMakerNote},
                        {"Canon\0"s, &TCanonMakerNote},
                        {"NIKON", &TNikonType2MakerNote},
                        {"NIKON CORPORATION", &TNikonType2MakerNote}};
  for (const Case& c : cases) {
    ExifBuilder block(boBigEndian);
    block.Primary.Raw(ttMake, dtAscii, static_cast<std::uint32_t>(c.Make.size()),
                      std::vector<std::uint8_t>(c.Make.begin(), c.Make.end()));
    block.Exif.Undefined(ttMakerNote, note.Data());
    auto data = Load(block);
    EXPECT_EQ(&data->MakerNoteType(), c.Class) << c.Make;
    EXPECT_EQ(data->Sections(skMakerNote).GetWordValue(0x0003, 0), 3) << c.Make;
  }
}

TEST(AMakerNote, OfNikonType1SkipsItsEightByteSignature) {
  ByteBuilder note(boLittleEndian);
  note.Text(std::string_view("Nikon\0\1\0", 8));
  PrivateIfd(note, {{0x0003, 3, 1, 4}, {0x0004, 3, 1, 5}, {0x0005, 3, 1, 6}});
  auto data = Camera("NIKON", "E990", boLittleEndian, note.Data());
  EXPECT_EQ(&data->MakerNoteType(), &TNikonType1MakerNote);
  EXPECT_EQ(data->Sections(skMakerNote).GetWordValue(0x0004, 0), 5);
}

TEST(AMakerNote, WithoutHeaderIsRetriedInTheOtherByteOrder) {
  // Written big-endian inside a little-endian block: the first read finds a huge entry count.
  ByteBuilder note(boBigEndian);
  PrivateIfd(note, {{0x0001, 3, 1, InlineShort(boBigEndian, 21)}, {0x0002, 3, 1, InlineShort(boBigEndian, 22)}});
  auto data = Camera("Acme", "", boLittleEndian, note.Data());
  EXPECT_EQ(&data->MakerNoteType(), &THeaderlessMakerNote);
  EXPECT_EQ(data->Sections(skMakerNote).GetWordValue(0x0002, 0), 22);
  EXPECT_EQ(data->MakerNote().ByteOrder(), boBigEndian);
}

TEST(AMakerNote, ThatIsGarbageInBothOrdersEndsEmptyWithABadOffset) {
  // Two entries of an invalid type: malformed in either byte order.
  ByteBuilder note(boLittleEndian);
  note.U16(2).U16(1).U16(0x0909).U32(1).U32(0).U16(2).U16(0x0909).U32(1).U32(0).U32(0);
  auto data = Camera("Acme", "", boLittleEndian, note.Data());
  const TExifSection& section = data->Sections(skMakerNote);
  EXPECT_EQ(section.Count(), 0);
  EXPECT_EQ(section.LoadErrors(), TExifSectionLoadErrors{leBadOffset});
  EXPECT_EQ(&data->MakerNoteType(), &TUnrecognizedMakerNote);
}

TEST(AMakerNote, ReadsReferencedValuesFurtherOnByTheOffsetSchema) {
  // A Canon note (offsets from the main TIFF header) whose string lies at byte 60 of the note; with
  // the schema at 100 its entry says 100 bytes less.
  for (const bool withSchema : {false, true}) {
    auto block = [&](const std::vector<std::uint8_t>& note) {
      ExifBuilder b;
      b.Primary.Ascii(ttMake, "Canon");
      b.Exif.Undefined(ttMakerNote, note);
      if (withSchema) b.Exif.Raw(ttOffsetSchema, dtSLong, 1, {}, {100});
      return b;
    };
    ExifBuilder layout = block(std::vector<std::uint8_t>(80, 0));
    layout.Build();
    const std::uint32_t noteAt = layout.ValueOffsets.at({1, ttMakerNote});
    ByteBuilder note(boLittleEndian);
    PrivateIfd(note, {{0x0001, 3, 1, 1}, {0x0002, 3, 1, 2}, {0x0006, 2, 6, noteAt + 60 - (withSchema ? 100 : 0)}});
    note.Fill(60 - note.Size()).Text(std::string_view("EOS-1\0", 6)).Fill(14);
    ExifBuilder real = block(note.Data());
    auto data = Load(real);
    ASSERT_EQ(real.ValueOffsets.at({1, ttMakerNote}), noteAt);
    EXPECT_EQ(data->Sections(skMakerNote).GetStringValue(0x0006), "EOS-1") << withSchema;
    EXPECT_EQ(data->MakerNote().DataOffsetsType(), obMainHeader);
  }
}

TEST(AMakerNote, ThatNoLongerFitsItsClassRaisesOnEveryAccess) {
  ByteBuilder note(boLittleEndian);
  PrivateIfd(note, {{0x0001, 3, 1, 1}, {0x0002, 3, 1, 2}, {0x0003, 3, 1, 3}});
  auto data = Camera("Canon", "", boLittleEndian, note.Data());
  data->Sections(skPrimary).SetStringValue(ttMake, "Nikon");
  try {
    data->MakerNote();
    ADD_FAILURE() << "no exception";
  } catch (const EInvalidMakerNoteFormat& e) {
    EXPECT_EQ(e.Message(), "Invalid MakerNote format");
  }
  EXPECT_THROW(data->Sections(skMakerNote), EInvalidMakerNoteFormat);
}

TEST(TheMakerNoteRegistry, KeepsItsOrderAndTriesFromTheLast) {
  const auto list = MakerNoteClassList();
  const std::vector<std::string> names = {
      "TSamsungMakerNote",   "TCasioMakerNote",      "TNikonType2MakerNote", "TCanonMakerNote",
      "TSonyMakerNote",      "TNikonType1MakerNote", "TNikonType3MakerNote", "TPanasonicMakerNote",
      "TOlympusMakerNote",   "TFujifilmMakerNote",   "TCasioType2MakerNote", "TPentaxMakerNote",
      "TRicohMakerNote",     "TSigmaMakerNote",      "TAppleMakerNote",      "TKodakMakerNote"};
  ASSERT_EQ(list.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(list[i]->Name, names[i]);
  // A Nikon type 3 signature wins over a Canon make: the later-registered class is tried first.
  ByteBuilder note(boLittleEndian);
  note.Text(std::string_view("Nikon\0\2\x10\0\0", 10)).Text("II").U16(42).U32(8);
  PrivateIfd(note, {{0x0001, 3, 1, 1}});
  EXPECT_EQ(&Camera("Canon", "", boLittleEndian, note.Data())->MakerNoteType(), &TNikonType3MakerNote);
}

// A MakerNote's bytes: the leading bytes given, then a three-entry private directory.
std::vector<std::uint8_t> NoteAfter(std::string_view leading) {
  ByteBuilder note(boLittleEndian);
  note.Text(leading);
  PrivateIfd(note, {{0x0001, 3, 1, 1}, {0x0002, 3, 1, 2}, {0x0003, 3, 1, 3}});
  return note.Data();
}

std::vector<std::uint8_t> BytesOf(std::string_view text) { return {text.begin(), text.end()}; }

using namespace std::string_view_literals;
const auto NikonType3Note = NoteAfter("Nikon\0\2\x10\0\0II\x2A\0\x08\0\0\0"sv);

// A Kodak "KDK" MakerNote: the 8-byte header, then a 112-byte record in the given byte order.
std::vector<std::uint8_t> KodakNote(TByteOrder order, std::uint16_t year = 2004) {
  ByteBuilder note(order);
  note.Text("KDK INFO").Text("DX7630  ")  // 0: model
      .Bytes({0, 2, 1, 0})                  // 9: quality, 10: burst mode
      .U16(2856).U16(2142)                  // 12: width, 14: height
      .U16(year).Bytes({12, 31})            // 16: year, 18: month, day
      .Bytes({23, 59, 58, 99})              // 20: hour, minute, second, hundredths
      .Fill(6)
      .U16(560).U32(250)                    // 30: f-number x 100, 32: exposure time
      .U16(static_cast<std::uint16_t>(-667))  // 36: exposure compensation
      .Fill(93 - 38).Bytes({1})             // 93: flash fired
      .Fill(107 - 94).Bytes({0xFF})         // 107: sharpness -1
      .Fill(4);
  return note.Data();
}

// An old DC record: 01 00 00 00 00 00 04 00, the maker's name, the model, the image size at 108.
std::vector<std::uint8_t> EastmanNote(std::string_view maker, TByteOrder order = boBigEndian) {
  ByteBuilder note(order);
  note.Bytes({1, 0, 0, 0, 0, 0, 4, 0}).Text(maker).Fill(32 - maker.size()).Text("KODAK DC260").Fill(21);
  return note.Fill(108 - 72).U32(1536).U32(1024).Fill(16).Data();
}

struct TRecognitionCase {
  const char* Name;
  std::string Make, Model;  // no tag when empty
  TByteOrder Order;         // of the Exif block
  TTiffDataType Type;
  std::vector<std::uint8_t> Note;
  const TExifMakerNoteClass* Winner;
};

void PrintTo(const TRecognitionCase& c, std::ostream* out) { *out << c.Name; }

class AMakerNoteRecognition : public ::testing::TestWithParam<TRecognitionCase> {};

TEST_P(AMakerNoteRecognition, PicksTheClassForTheCameraAndTheBytes) {
  const TRecognitionCase& c = GetParam();
  TExifTag tag(nullptr, ttMakerNote, c.Type, static_cast<std::int32_t>(c.Note.size()));
  tag.SetRawData(c.Note);
  EXPECT_STREQ(RecognizeMakerNote({c.Make, c.Model, c.Order, tag}).Name, c.Winner->Name);

  // The container recognises the same from a loaded block.
  ExifBuilder block(c.Order);
  if (!c.Make.empty()) block.Primary.Ascii(ttMake, c.Make);
  if (!c.Model.empty()) block.Primary.Ascii(ttModel, c.Model);
  block.Exif.Raw(ttMakerNote, c.Type, static_cast<std::uint32_t>(c.Note.size()), c.Note);
  EXPECT_STREQ(Load(block)->MakerNoteType().Name, c.Winner->Name);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AMakerNoteRecognition,
    ::testing::Values(
        // Headerless directories go by the camera make: exactly "Canon", or starting with "NIKON".
        TRecognitionCase{"CanonMake", "Canon", "EOS", boLittleEndian, dtUndefined, NoteAfter(""), &TCanonMakerNote},
        TRecognitionCase{"CanonMakeInBigEndian", "Canon", "", boBigEndian, dtUndefined, NoteAfter(""), &TCanonMakerNote},
        TRecognitionCase{"NikonMake", "NIKON CORPORATION", "D70", boLittleEndian, dtUndefined, NoteAfter(""),
                         &TNikonType2MakerNote},
        TRecognitionCase{"NikonMakePrefix", "NIKONX", "", boBigEndian, dtUndefined, NoteAfter(""), &TNikonType2MakerNote},
        TRecognitionCase{"NikonMakeMixedCase", "Nikon Corporation", "", boLittleEndian, dtUndefined, NoteAfter(""),
                         &THeaderlessMakerNote},
        TRecognitionCase{"CanonMakeLowerCase", "canon", "", boLittleEndian, dtUndefined, NoteAfter(""),
                         &THeaderlessMakerNote},
        TRecognitionCase{"CanonMakeWithSpace", "Canon ", "", boLittleEndian, dtUndefined, NoteAfter(""),
                         &THeaderlessMakerNote},
        TRecognitionCase{"OtherMake", "Acme", "", boLittleEndian, dtUndefined, NoteAfter(""), &THeaderlessMakerNote},
        TRecognitionCase{"NoMake", "", "", boBigEndian, dtUndefined, NoteAfter(""), &THeaderlessMakerNote},
        // A signature at the start of the data wins, whatever the make.
        TRecognitionCase{"NikonType1", "NIKON", "E990", boLittleEndian, dtUndefined, NoteAfter("Nikon\0\1\0"sv),
                         &TNikonType1MakerNote},
        TRecognitionCase{"NikonType1OtherMake", "Acme", "", boBigEndian, dtUndefined, NoteAfter("Nikon\0\1\0"sv),
                         &TNikonType1MakerNote},
        TRecognitionCase{"NikonType3", "NIKON CORPORATION", "D300", boLittleEndian, dtUndefined, NikonType3Note,
                         &TNikonType3MakerNote},
        TRecognitionCase{"NikonType3CanonMake", "Canon", "", boLittleEndian, dtUndefined, NikonType3Note,
                         &TNikonType3MakerNote},
        TRecognitionCase{"Sony", "SONY", "DSLR-A100", boLittleEndian, dtUndefined, NoteAfter("SONY DSC \0\0\0"sv),
                         &TSonyMakerNote},
        TRecognitionCase{"SonyCanonMake", "Canon", "", boBigEndian, dtUndefined, NoteAfter("SONY DSC \0\0\0"sv),
                         &TSonyMakerNote},
        TRecognitionCase{"SonyNikonMake", "NIKON", "", boLittleEndian, dtUndefined, NoteAfter("SONY DSC \0\0\0"sv),
                         &TSonyMakerNote},
        TRecognitionCase{"Panasonic", "Panasonic", "DMC", boBigEndian, dtUndefined, NoteAfter("Panasonic\0\0\0"sv),
                         &TPanasonicMakerNote},
        TRecognitionCase{"PanasonicNikonMake", "NIKON", "", boLittleEndian, dtUndefined,
                         NoteAfter("Panasonic\0\0\0"sv), &TPanasonicMakerNote},
        TRecognitionCase{"Olympus", "OLYMPUS IMAGING CORP.", "", boLittleEndian, dtUndefined,
                         NoteAfter("OLYMPUS\0II\3\0"sv), &TOlympusMakerNote},
        TRecognitionCase{"OMSystem", "OM Digital Solutions", "", boBigEndian, dtUndefined,
                         NoteAfter("OM SYSTEM\0\0\0II\4\0"sv), &TOlympusMakerNote},
        TRecognitionCase{"OlympusOld", "OLYMPUS OPTICAL CO.,LTD", "", boLittleEndian, dtUndefined,
                         NoteAfter("OLYMP\0\1\0"sv), &TOlympusMakerNote},
        TRecognitionCase{"Fujifilm", "FUJIFILM", "", boBigEndian, dtUndefined, NoteAfter("FUJIFILM\x0c\0\0\0"sv),
                         &TFujifilmMakerNote},
        // The directory pointer must lie behind the header.
        TRecognitionCase{"FujifilmPointerIntoHeader", "FUJIFILM", "", boLittleEndian, dtUndefined,
                         NoteAfter("FUJIFILM\x04\0\0\0"sv), &THeaderlessMakerNote},
        TRecognitionCase{"CasioType1", "CASIO", "QV-3000EX", boBigEndian, dtUndefined, NoteAfter(""), &TCasioMakerNote},
        TRecognitionCase{"CasioType2", "CASIO COMPUTER CO.,LTD", "EX-Z3", boBigEndian, dtUndefined,
                         NoteAfter("QVC\0\0\0"sv), &TCasioType2MakerNote},
        TRecognitionCase{"PentaxAOC", "PENTAX Corporation", "", boLittleEndian, dtUndefined, NoteAfter("AOC\0II"sv),
                         &TPentaxMakerNote},
        TRecognitionCase{"PentaxLater", "RICOH IMAGING COMPANY, LTD.", "", boLittleEndian, dtUndefined,
                         NoteAfter("PENTAX \0II\0\0"sv), &TPentaxMakerNote},
        TRecognitionCase{"PentaxMadeRicoh", "RICOH IMAGING COMPANY, LTD.", "", boLittleEndian, dtUndefined,
                         NoteAfter("RICOH\0II"sv), &TPentaxMakerNote},
        TRecognitionCase{"Ricoh", "RICOH", "", boBigEndian, dtUndefined, NoteAfter("Ricoh\0\0\0"sv), &TRicohMakerNote},
        TRecognitionCase{"SamsungMakeAnyCase", "Samsung Techwin", "", boLittleEndian, dtUndefined, NoteAfter(""),
                         &TSamsungMakerNote},
        TRecognitionCase{"Sigma", "SIGMA", "", boLittleEndian, dtUndefined, NoteAfter("SIGMA\0\0\0\1\0"sv),
                         &TSigmaMakerNote},
        TRecognitionCase{"Foveon", "SIGMA", "", boLittleEndian, dtUndefined, NoteAfter("FOVEON\0\0\1\0"sv),
                         &TSigmaMakerNote},
        TRecognitionCase{"Apple", "Apple", "", boBigEndian, dtUndefined, NoteAfter("Apple iOS\0\0\1II"sv),
                         &TAppleMakerNote},
        TRecognitionCase{"SignatureNotAtTheStart", "Acme", "", boLittleEndian, dtUndefined, NoteAfter("xSONY DSC \0\0"sv),
                         &THeaderlessMakerNote},
        // A signature with nothing behind it does not count; the make still may.
        TRecognitionCase{"PanasonicSignatureOnly", "Acme", "", boLittleEndian, dtUndefined,
                         BytesOf("Panasonic\0\0\0"sv), &THeaderlessMakerNote},
        TRecognitionCase{"PanasonicSignatureOnlyCanonMake", "Canon", "", boLittleEndian, dtUndefined,
                         BytesOf("Panasonic\0\0\0"sv), &TCanonMakerNote},
        TRecognitionCase{"SonySignatureOnly", "SONY", "", boLittleEndian, dtUndefined, BytesOf("SONY DSC \0\0\0"sv),
                         &THeaderlessMakerNote},
        TRecognitionCase{"NikonType1SignatureOnly", "Acme", "", boLittleEndian, dtUndefined, BytesOf("Nikon\0\1\0"sv),
                         &THeaderlessMakerNote},
        TRecognitionCase{"NikonType3HeaderOnlyNikonMake", "NIKON", "", boLittleEndian, dtUndefined,
                         std::vector<std::uint8_t>(NikonType3Note.begin(), NikonType3Note.begin() + 18),
                         &TNikonType2MakerNote},
        // Only UNDEFINED data of more than one byte is tested at all.
        TRecognitionCase{"OneByte", "Canon", "", boLittleEndian, dtUndefined, {0}, &THeaderlessMakerNote},
        TRecognitionCase{"AsciiCanonMake", "Canon", "", boLittleEndian, dtAscii, NoteAfter(""), &THeaderlessMakerNote},
        TRecognitionCase{"ByteSony", "SONY", "", boBigEndian, dtByte, NoteAfter("SONY DSC \0\0\0"sv),
                         &THeaderlessMakerNote},
        TRecognitionCase{"BytePanasonic", "Panasonic", "", boLittleEndian, dtByte, NoteAfter("Panasonic\0\0\0"sv),
                         &THeaderlessMakerNote},
        // Kodak: "KDK" whatever the make; the old DC record only with a Kodak make and maker name.
        TRecognitionCase{"KodakKDK", "EASTMAN KODAK COMPANY", "", boBigEndian, dtUndefined, KodakNote(boLittleEndian),
                         &TKodakMakerNote},
        TRecognitionCase{"KodakKDKOtherMake", "Acme", "", boLittleEndian, dtUndefined, KodakNote(boBigEndian),
                         &TKodakMakerNote},
        TRecognitionCase{"KodakKDKHeaderOnly", "EASTMAN KODAK COMPANY", "", boLittleEndian, dtUndefined,
                         BytesOf("KDK INFO"sv), &THeaderlessMakerNote},
        TRecognitionCase{"KodakEastman", "Eastman Kodak Company", "", boLittleEndian, dtUndefined,
                         EastmanNote("Eastman Kodak Company"), &TKodakMakerNote},
        TRecognitionCase{"KodakEastmanUpperCaseMake", "EASTMAN KODAK COMPANY", "", boBigEndian, dtUndefined,
                         EastmanNote("Eastman Kodak Company"), &TKodakMakerNote},
        TRecognitionCase{"KodakEastmanOtherMake", "Acme", "", boLittleEndian, dtUndefined,
                         EastmanNote("Eastman Kodak Company"), &THeaderlessMakerNote},
        TRecognitionCase{"MinoltaInTheEastmanRecord", "Minolta Co., Ltd.", "", boLittleEndian, dtUndefined,
                         EastmanNote("Minolta Co., Ltd."), &THeaderlessMakerNote},
        TRecognitionCase{"MinoltaRecordKodakMake", "Eastman Kodak Company", "", boLittleEndian, dtUndefined,
                         EastmanNote("Minolta Co., Ltd."), &THeaderlessMakerNote},
        TRecognitionCase{"KodakMakeDirectory", "EASTMAN KODAK COMPANY", "", boLittleEndian, dtUndefined, NoteAfter(""),
                         &THeaderlessMakerNote},
        // The DC240 and DC210 families' records go by the Kodak make and the model.
        TRecognitionCase{"KodakDC240", "EASTMAN KODAK COMPANY", "KODAK DC240 ZOOM DIGITAL CAMERA", boBigEndian,
                         dtUndefined, NoteAfter(""), &TKodakMakerNote},
        TRecognitionCase{"KodakDC210", "Eastman Kodak Company", "DC210 Zoom (V05.00)", boBigEndian, dtUndefined,
                         NoteAfter(""), &TKodakMakerNote},
        TRecognitionCase{"DC240ModelOtherMake", "Acme", "DC240", boBigEndian, dtUndefined, NoteAfter(""),
                         &THeaderlessMakerNote}),
    [](const auto& info) { return std::string(info.param.Name); });

// Cameras often declare a MakerNote shorter than the data its entries use: the last values lie
// (partly) behind its declared end, in the Exif block, where other readers and the writer find them.
class AMakerNoteValuePastItsDeclaredEnd : public ::testing::TestWithParam<std::tuple<TByteOrder, std::uint32_t>> {};

TEST_P(AMakerNoteValuePastItsDeclaredEnd, IsReadFromTheBlockAroundIt) {
  const auto [order, declaredEnd] = GetParam();
  ByteBuilder note(boBigEndian);
  note.Text(std::string_view("Nikon\0\2\x10\0\0", 10)).Text("MM").U16(42).U32(8);
  // Two rationals 7.8, 7.8 at offset 26 from the embedded header (note byte 36), right behind the directory.
  PrivateIfd(note, {{0x009A, 5, 2, 26}});
  note.U32(78).U32(10).U32(78).U32(10);
  ExifBuilder block(order);
  block.Primary.Ascii(ttMake, "NIKON CORPORATION");
  block.Exif.Raw(ttMakerNote, dtUndefined, declaredEnd, note.Data());
  auto data = Load(block);

  const TExifTag* tag = data->MakerNote().Tags().Find(0x009A);
  ASSERT_NE(tag, nullptr);
  EXPECT_TRUE(tag->WellFormed());
  EXPECT_EQ(tag->AsString(), "78/10,78/10");
  EXPECT_TRUE(data->MakerNote().Tags().LoadErrors().Empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, AMakerNoteValuePastItsDeclaredEnd,
                         ::testing::Combine(::testing::Values(boLittleEndian, boBigEndian),
                                            ::testing::Values(36u, 44u, 52u)));

TEST(AMakerNoteValuePastItsDeclaredEnd, IsBadlyFormedOnceTheMakerNoteNoLongerHoldsTheLoadedBytes) {
  ByteBuilder note(boBigEndian);
  note.Text(std::string_view("Nikon\0\2\x10\0\0", 10)).Text("MM").U16(42).U32(8);
  PrivateIfd(note, {{0x009A, 5, 2, 26}});
  ExifBuilder block(boLittleEndian);
  block.Primary.Ascii(ttMake, "NIKON CORPORATION");
  block.Exif.Raw(ttMakerNote, dtUndefined, 36, [&] { return note.U32(78).U32(10).U32(78).U32(10).Data(); }());
  auto data = Load(block);
  std::vector<std::uint8_t> bytes(note.Data().begin(), note.Data().begin() + 36);
  bytes[35] ^= 1;  // an edited MakerNote: its bytes are no longer those of the block
  data->Sections(skExif).Find(ttMakerNote)->UpdateData(dtUndefined, 36, bytes.data());
  const TExifTag* tag = data->MakerNote().Tags().Find(0x009A);
  EXPECT_TRUE(tag == nullptr || !tag->WellFormed());
}

// A Kodak record is read in its own byte order, told from the year, whatever the block's order.
class AKodakMakerNote : public ::testing::TestWithParam<std::tuple<TByteOrder, TByteOrder>> {};

TEST_P(AKodakMakerNote, IsReadFieldByFieldInItsOwnByteOrder) {
  const auto [blockOrder, recordOrder] = GetParam();
  auto data = Camera("EASTMAN KODAK COMPANY", "KODAK DX7630", blockOrder, KodakNote(recordOrder));
  ASSERT_EQ(&data->MakerNoteType(), &TKodakMakerNote);
  const TExifSection& tags = data->Sections(skMakerNote);
  EXPECT_EQ(data->MakerNote().ByteOrder(), recordOrder);
  EXPECT_TRUE(tags.LoadErrors().Empty());
  EXPECT_EQ(tags.Count(), 34);
  EXPECT_EQ(tags.GetStringValue(0x0000), "DX7630  ");
  EXPECT_EQ(tags.GetWordValue(0x0009, 0), 2);
  EXPECT_EQ(tags.GetWordValue(0x000C, 0), 2856);
  EXPECT_EQ(tags.GetWordValue(0x0010, 0), 2004);
  EXPECT_EQ(tags.Find(0x0012)->AsString(), "12,31");
  EXPECT_EQ(tags.Find(0x0014)->AsString(), "23,59,58,99");
  EXPECT_EQ(tags.Find(0x001E)->AsString(), "560");
  EXPECT_EQ(tags.Find(0x0020)->AsString(), "250");
  EXPECT_EQ(tags.Find(0x0024)->AsString(), "-667");
  EXPECT_EQ(tags.Find(0x005D)->AsString(), "1");
  EXPECT_EQ(tags.Find(0x006B)->AsString(), "-1");
}

INSTANTIATE_TEST_SUITE_P(Orders, AKodakMakerNote,
                         ::testing::Combine(::testing::Values(boLittleEndian, boBigEndian),
                                            ::testing::Values(boLittleEndian, boBigEndian)));

TEST(AKodakMakerNote, WithoutAYearIsTakenAsLittleEndian) {
  auto data = Camera("EASTMAN KODAK COMPANY", "", boBigEndian, KodakNote(boLittleEndian, 0));
  EXPECT_EQ(data->MakerNote().ByteOrder(), boLittleEndian);
  EXPECT_EQ(data->Sections(skMakerNote).GetWordValue(0x000C, 0), 2856);
}

// A record cut short keeps exactly the fields that still fit.
struct TCutRecordCase {
  std::size_t RecordBytes;  // kept behind the 8-byte header
  std::int32_t Fields;
  TExifTagID LastIn, FirstOut;  // the field ending last inside, the first one past the end
};

class AKodakMakerNoteCutShort : public ::testing::TestWithParam<TCutRecordCase> {};

TEST_P(AKodakMakerNoteCutShort, KeepsTheFieldsThatFit) {
  const TCutRecordCase& c = GetParam();
  std::vector<std::uint8_t> note = KodakNote(boBigEndian);
  note.resize(8 + c.RecordBytes);
  auto data = Camera("EASTMAN KODAK COMPANY", "", boLittleEndian, note);
  ASSERT_EQ(&data->MakerNoteType(), &TKodakMakerNote);
  const TExifSection& tags = data->Sections(skMakerNote);
  EXPECT_EQ(tags.Count(), c.Fields);
  EXPECT_TRUE(tags.LoadErrors().Empty());
  for (const TExifTag* tag : tags) EXPECT_TRUE(tag->WellFormed()) << tag->ID();
  if (c.Fields > 0) {
    EXPECT_NE(tags.Find(c.LastIn), nullptr);
  }
  EXPECT_EQ(tags.Find(c.FirstOut), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, AKodakMakerNoteCutShort,
                         ::testing::Values(TCutRecordCase{1, 0, 0x0000, 0x0000}, TCutRecordCase{7, 0, 0x0000, 0x0000},
                                           TCutRecordCase{8, 1, 0x0000, 0x0009}, TCutRecordCase{13, 3, 0x000A, 0x000C},
                                           TCutRecordCase{14, 4, 0x000C, 0x000E}, TCutRecordCase{35, 13, 0x001E, 0x0020},
                                           TCutRecordCase{36, 14, 0x0020, 0x0024},
                                           TCutRecordCase{107, 33, 0x0068, 0x006B},
                                           TCutRecordCase{108, 34, 0x006B, 0x1008}));

// The old DC record: the whole MakerNote, its fields at 0x1000 + their offset; the image width
// tells its byte order.
class AKodakEastmanMakerNote : public ::testing::TestWithParam<TByteOrder> {};

TEST_P(AKodakEastmanMakerNote, IsReadAtItsOwnTagNumbers) {
  auto data = Camera("Eastman Kodak Company", "", boLittleEndian, EastmanNote("Eastman Kodak Company", GetParam()));
  ASSERT_EQ(&data->MakerNoteType(), &TKodakMakerNote);
  const TExifSection& tags = data->Sections(skMakerNote);
  EXPECT_EQ(data->MakerNote().ByteOrder(), GetParam());
  EXPECT_EQ(tags.Count(), 4);
  EXPECT_EQ(ShownAsciiText(tags.GetStringValue(0x1008)), "Eastman Kodak Company");
  EXPECT_EQ(ShownAsciiText(tags.GetStringValue(0x1028)), "KODAK DC260");
  EXPECT_EQ(tags.GetLongWordValue(0x106C, 0).Value, 1536u);
  EXPECT_EQ(tags.GetLongWordValue(0x1070, 0).Value, 1024u);
}

INSTANTIATE_TEST_SUITE_P(Orders, AKodakEastmanMakerNote, ::testing::Values(boLittleEndian, boBigEndian));

TEST(AKodakMakerNote, ThatNoLongerHasItsFormRaisesLikeADirectory) {
  auto data = Camera("Eastman Kodak Company", "", boLittleEndian, EastmanNote("Eastman Kodak Company"));
  data->Sections(skPrimary).SetStringValue(ttMake, "Acme");
  EXPECT_THROW(data->MakerNote(), EInvalidMakerNoteFormat);
}

TEST(AMakerNoteContext, HoldsTheCameraTheByteOrderTheTagAndTheOffsetSchema) {
  ExifBuilder block(boBigEndian);
  block.Primary.Ascii(ttMake, "Canon").Ascii(ttModel, "EOS");
  block.Exif.Undefined(ttMakerNote, NoteAfter("")).Raw(ttOffsetSchema, dtSLong, 1, {}, {100});
  auto data = Load(block);
  const std::optional<TMakerNoteContext> context = data->MakerNoteContext();
  ASSERT_TRUE(context.has_value());
  EXPECT_EQ(context->Make, "Canon");
  EXPECT_EQ(context->Model, "EOS");
  EXPECT_EQ(context->ByteOrder, boBigEndian);
  EXPECT_EQ(&context->Tag, data->PeekSection(skExif).Find(ttMakerNote));
  EXPECT_EQ(context->OffsetAdjustment, 100);

  ExifBuilder withoutOffsetSchema;
  withoutOffsetSchema.Exif.Undefined(ttMakerNote, NoteAfter(""));
  EXPECT_EQ(Load(withoutOffsetSchema)->MakerNoteContext()->OffsetAdjustment, 0);
  ExifBuilder withoutMakerNote;
  withoutMakerNote.Primary.Ascii(ttMake, "Canon");
  EXPECT_FALSE(Load(withoutMakerNote)->MakerNoteContext().has_value());
}

}  // namespace
