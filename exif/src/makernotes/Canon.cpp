// Canon: a headerless directory, recognised by the camera make and always little-endian.

#include "makernotes/MakerNoteClasses.h"
#include "zorp/exif/ExifData.h"

namespace Zorp::Exif {
namespace {

class TCanon final : public TExifMakerNote {
 public:
  explicit TCanon(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return TCanonMakerNote; }

 protected:
  void GetIFDInfo(const TExifTag&, TByteOrder& byteOrder, TMakerNoteOffsetBase&) override {
    byteOrder = boLittleEndian;
  }
};

bool FormatIsOK(const TExifTag& tag, std::int32_t& headerSize) {
  const TCustomExifData* container = Detail::ContainerOf(tag);
  return Detail::Accept(headerSize, 0, container && container->CameraMake() == "Canon");
}

}  // namespace

const TExifMakerNoteClass TCanonMakerNote = {"TCanonMakerNote", FormatIsOK, TExifMakerNote::CreateAndRead<TCanon>};

}  // namespace Zorp::Exif
