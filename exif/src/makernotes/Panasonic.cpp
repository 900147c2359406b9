// Panasonic: a little-endian directory behind "Panasonic" 00 00 00.

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;

class TPanasonic final : public TExifMakerNote {
 public:
  explicit TPanasonic(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return TPanasonicMakerNote; }

 protected:
  void GetIFDInfo(const TMakerNoteContext&, TByteOrder& byteOrder, TMakerNoteOffsetBase&) override {
    byteOrder = boLittleEndian;
  }
};

bool FormatIsOK(const TMakerNoteContext& context, std::int32_t& headerSize) {
  const TExifTag& tag = context.Tag;
  return Detail::Accept(headerSize, 12, tag.ElementCount() > 12 && Detail::DataStartsWith(tag, "Panasonic\0\0\0"sv));
}

}  // namespace

const TExifMakerNoteClass TPanasonicMakerNote = {"TPanasonicMakerNote", FormatIsOK,
                                                 TExifMakerNote::CreateAndRead<TPanasonic>};

}  // namespace Zorp::Exif
