// Canon: a headerless directory, recognised by the camera make and always little-endian.

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

class TCanon final : public TExifMakerNote {
 public:
  explicit TCanon(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return TCanonMakerNote; }

 protected:
  void GetIFDInfo(const TMakerNoteContext&, TByteOrder& byteOrder, TMakerNoteOffsetBase&) override {
    byteOrder = boLittleEndian;
  }
};

bool FormatIsOK(const TMakerNoteContext& context, std::int32_t& headerSize) {
  return Detail::Accept(headerSize, 0, context.Make == "Canon");
}

}  // namespace

const TExifMakerNoteClass TCanonMakerNote = {"TCanonMakerNote", FormatIsOK, TExifMakerNote::CreateAndRead<TCanon>};

}  // namespace Zorp::Exif
