// Kodak: fixed binary records, not directories. Each field of a record becomes a tag whose ID is the
// field's byte offset in the record (plus the form's ID base), read in the record's byte order.
//
// Two forms are read:
// - "KDK" + version text: the record starts at byte 8, IDs 0x0000-0x00FF. Its byte order differs
//   between cameras and is told from the year field.
// - 01 00 00 00 00 00 04 00 + the maker's name "Eastman Kodak..." (old DC models, camera make
//   "Eastman Kodak" too): the record is the whole MakerNote, IDs 0x1000 + offset.
// - The big-endian records of the DC240, DC280, DC3400 and DC5000 (IDs 0x2000 + offset) and of the
//   DC200, DC210 and DC215 (IDs 0x3000 + offset), recognised by the Kodak make and the model.
// Other Kodak MakerNotes (directories, other records) are left to the other classes.

#include <span>

#include "makernotes/MakerNoteClasses.h"
#include "zorp/base/Streams.h"
#include "zorp/exif/Consts.h"
#include "zorp/exif/ExifExceptions.h"
#include "zorp/exif/StreamHelper.h"
#include "zorp/exif/TiffReader.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;

struct TKodakField {
  std::uint16_t Offset;  // in the record
  TTiffDataType Type;
  std::uint16_t Count;
};

enum class TKodakForm : std::uint8_t { None, KDK, Eastman, DC240, DC210 };

constexpr std::int32_t KDKHeaderSize = 8;
constexpr TExifTagID EastmanIDBase = 0x1000;
constexpr TExifTagID DC240IDBase = 0x2000;
constexpr TExifTagID DC210IDBase = 0x3000;
constexpr std::string_view EastmanSignature = "\1\0\0\0\0\0\4\0"sv;

constexpr TKodakField KDKFields[] = {
    {0, dtAscii, 8},     // model
    {9, dtByte, 1},      // quality
    {10, dtByte, 1},     // burst mode
    {12, dtShort, 1},    // image width
    {14, dtShort, 1},    // image height
    {16, dtShort, 1},    // year
    {18, dtByte, 2},     // month, day
    {20, dtByte, 4},     // hour, minute, second, hundredths
    {24, dtShort, 1},    // burst mode 2
    {27, dtByte, 1},     // shutter mode
    {28, dtByte, 1},     // metering mode
    {29, dtByte, 1},     // sequence number
    {30, dtShort, 1},    // f-number x 100
    {32, dtLong, 1},     // exposure time in 1/100000 s
    {36, dtSShort, 1},   // exposure compensation in 1/1000 EV
    {38, dtShort, 1},    // various modes
    {40, dtLong, 1},     // distances 1-4
    {44, dtLong, 1},
    {48, dtLong, 1},
    {52, dtLong, 1},
    {56, dtByte, 1},     // focus mode
    {58, dtShort, 1},    // various modes 2
    {60, dtShort, 1},    // panorama mode
    {62, dtShort, 1},    // subject distance
    {64, dtByte, 1},     // white balance
    {92, dtByte, 1},     // flash mode
    {93, dtByte, 1},     // flash fired
    {94, dtShort, 1},    // ISO setting
    {96, dtShort, 1},    // ISO
    {98, dtShort, 1},    // total zoom x 100
    {100, dtShort, 1},   // date stamp
    {102, dtShort, 1},   // colour mode
    {104, dtShort, 1},   // digital zoom x 100
    {107, dtSByte, 1},   // sharpness
};

constexpr TKodakField EastmanFields[] = {
    {8, dtAscii, 32},   // maker
    {40, dtAscii, 32},  // model
    {108, dtLong, 1},   // image width
    {112, dtLong, 1},   // image height
};

constexpr TKodakField DC240Fields[] = {
    {12, dtShort, 1},  // year
    {14, dtByte, 2},   // month, day
    {16, dtByte, 4},   // hour, minute, second, hundredths
    {30, dtShort, 1},  // optical zoom x 100
    {55, dtByte, 1},   // sharpness
    {56, dtLong, 1},   // exposure time in 1/100000 s
    {60, dtShort, 1},  // f-number x 100
    {78, dtShort, 1},  // ISO
};

constexpr TKodakField DC210Fields[] = {
    {32, dtAscii, 12},  // the file name the camera gave the photo
};

bool IsKodakMake(std::string_view make) { return Detail::StartsWithIgnoringCase(make, "EASTMAN KODAK"); }

TKodakForm FormOf(const TMakerNoteContext& context) {
  const TExifTag& tag = context.Tag;
  if (tag.DataSize() > KDKHeaderSize && Detail::DataStartsWith(tag, "KDK")) return TKodakForm::KDK;
  // The signature alone is shared with other makers' records: the maker's name behind it and the
  // camera make must both say Kodak.
  const auto bytes = tag.Bytes();
  if (bytes.size() > 8 + 13 && Detail::DataStartsWith(tag, EastmanSignature) && IsKodakMake(context.Make) &&
      IsKodakMake(std::string_view(reinterpret_cast<const char*>(bytes.data()) + 8, 13)))
    return TKodakForm::Eastman;
  if (IsKodakMake(context.Make)) {
    for (const std::string_view model : {"DC240"sv, "DC280"sv, "DC3400"sv, "DC5000"sv})
      if (context.Model.find(model) != std::string::npos) return TKodakForm::DC240;
    for (const std::string_view model : {"DC200"sv, "DC210"sv, "DC215"sv})
      if (context.Model.find(model) != std::string::npos) return TKodakForm::DC210;
  }
  return TKodakForm::None;
}

// The order in which field at (size bytes: 2 or 4) reads within [low, high] and the other order does not;
// fallback when both or neither do.
TByteOrder OrderByPlausible(std::span<const std::uint8_t> record, std::size_t at, std::size_t size, std::uint32_t low,
                            std::uint32_t high, TByteOrder fallback) {
  if (at + size > record.size()) return fallback;
  const auto fits = [&](TByteOrder order) {
    const std::uint32_t value = size == 2 ? GetWord(&record[at], order) : GetLongWord(&record[at], order);
    return value >= low && value <= high;
  };
  const bool little = fits(boLittleEndian), big = fits(boBigEndian);
  if (little == big) return fallback;
  return little ? boLittleEndian : boBigEndian;
}

class TKodak final : public TExifMakerNote {
 public:
  explicit TKodak(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return TKodakMakerNote; }

  void ReadRecord(const TMakerNoteContext* context) {
    const TKodakForm form = context ? FormOf(*context) : TKodakForm::None;
    if (form == TKodakForm::None) throw EInvalidMakerNoteFormat(SInvalidMakerNoteFormat);
    const auto note = context->Tag.Bytes();
    const bool kdk = form == TKodakForm::KDK;
    const std::size_t start = kdk ? KDKHeaderSize : 0;
    const std::span<const std::uint8_t> record = note.subspan(start);
    // KDK: a year (16 bits at 16) reads as one only in the right order; most cameras write
    // little-endian. Eastman: the image width (32 bits at 108) is below 65536 only in the right order.
    // The DC240 family: the year (16 bits at 12), written big-endian.
    TByteOrder order = boBigEndian;
    std::span<const TKodakField> fields = DC210Fields;
    TExifTagID idBase = DC210IDBase;
    if (kdk) {
      order = OrderByPlausible(record, 16, 2, 1980, 2100, boLittleEndian);
      fields = KDKFields;
      idBase = 0;
    } else if (form == TKodakForm::Eastman) {
      order = OrderByPlausible(record, 108, 4, 1, 0xFFFF, boBigEndian);
      fields = EastmanFields;
      idBase = EastmanIDBase;
    } else if (form == TKodakForm::DC240) {
      order = OrderByPlausible(record, 12, 2, 1980, 2100, boBigEndian);
      fields = DC240Fields;
      idBase = DC240IDBase;
    }

    // The fields as the entries of a directory over the record: the section reads them through the
    // reader, which converts each value to host order, whether or not the section is extendable.
    Zorp::Base::TUserMemoryStream data(record.data(), static_cast<std::int64_t>(record.size()));
    TTiffReader reader(data, 0, order);
    TIfdInfo ifd;
    ifd.Offset = 0;
    for (const TKodakField& field : fields) {
      const std::size_t size = std::size_t{field.Count} * TiffDataTypeSize(field.Type);
      if (field.Offset + size > record.size()) continue;  // a short record keeps the fields that fit
      ifd.Entries.push_back({static_cast<std::int64_t>(field.Offset), static_cast<std::int64_t>(field.Offset),
                             static_cast<std::uint16_t>(idBase + field.Offset), static_cast<std::uint16_t>(field.Type),
                             field.Count});
    }
    Tags().LoadFromIfd(reader, ifd);
    SetByteOrder(order);
  }
};

bool FormatIsOK(const TMakerNoteContext& context, std::int32_t& headerSize) {
  const TKodakForm form = FormOf(context);
  return Detail::Accept(headerSize, form == TKodakForm::KDK ? KDKHeaderSize : 0, form != TKodakForm::None);
}

std::unique_ptr<TExifMakerNote> Create(TExifSection& section, const TMakerNoteContext* context) {
  auto result = std::make_unique<TKodak>(section);
  result->ReadRecord(context);
  return result;
}

}  // namespace

const TExifMakerNoteClass TKodakMakerNote = {"TKodakMakerNote", FormatIsOK, Create};

}  // namespace Zorp::Exif
