// Nikon's three layouts: type 1 behind "Nikon" 00 01 00; type 2 headerless, recognised by a make
// starting with "NIKON"; type 3 behind "Nikon" 00 02 with an embedded TIFF header of its own.

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;

class TNikonType1 final : public TExifMakerNote {
 public:
  explicit TNikonType1(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return TNikonType1MakerNote; }
};

class TNikonType2 final : public TExifMakerNote {
 public:
  explicit TNikonType2(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return TNikonType2MakerNote; }
};

class TNikonType3 final : public TExifMakerNote {
 public:
  explicit TNikonType3(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return TNikonType3MakerNote; }

 protected:
  // The embedded TIFF header at byte 10 names the byte order; offsets count from it.
  void GetIFDInfo(const TMakerNoteContext& context, TByteOrder& byteOrder,
                  TMakerNoteOffsetBase& dataOffsetsType) override {
    const auto bytes = context.Tag.Bytes();
    byteOrder = bytes.size() > 11 && bytes[10] == 'M' && bytes[11] == 'M' ? boBigEndian : boLittleEndian;
    dataOffsetsType = obEmbeddedHeader;
  }
};

bool Type1FormatIsOK(const TMakerNoteContext& context, std::int32_t& headerSize) {
  const TExifTag& tag = context.Tag;
  return Detail::Accept(headerSize, 8, tag.ElementCount() > 8 && Detail::DataStartsWith(tag, "Nikon\0\1\0"sv));
}

bool Type2FormatIsOK(const TMakerNoteContext& context, std::int32_t& headerSize) {
  return Detail::Accept(headerSize, 0, context.Make.starts_with("NIKON"));
}

bool Type3FormatIsOK(const TMakerNoteContext& context, std::int32_t& headerSize) {
  const TExifTag& tag = context.Tag;
  return Detail::Accept(headerSize, 18, tag.ElementCount() > 18 && Detail::DataStartsWith(tag, "Nikon\0\2"sv));
}

}  // namespace

const TExifMakerNoteClass TNikonType1MakerNote = {"TNikonType1MakerNote", Type1FormatIsOK,
                                                  TExifMakerNote::CreateAndRead<TNikonType1>};
const TExifMakerNoteClass TNikonType2MakerNote = {"TNikonType2MakerNote", Type2FormatIsOK,
                                                  TExifMakerNote::CreateAndRead<TNikonType2>};
const TExifMakerNoteClass TNikonType3MakerNote = {"TNikonType3MakerNote", Type3FormatIsOK,
                                                  TExifMakerNote::CreateAndRead<TNikonType3>};

}  // namespace Zorp::Exif
