// Sony: a directory behind "SONY DSC", big-endian only from the DSLR-A100.

#include "makernotes/MakerNoteClasses.h"
#include "zorp/exif/ExifData.h"

namespace Zorp::Exif {
namespace {

class TSony final : public TExifMakerNote {
 public:
  explicit TSony(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return TSonyMakerNote; }

 protected:
  void GetIFDInfo(const TExifTag& tag, TByteOrder& byteOrder, TMakerNoteOffsetBase&) override {
    const TCustomExifData* container = Detail::ContainerOf(tag);
    byteOrder = container && container->CameraModel() == "DSLR-A100" ? boBigEndian : boLittleEndian;
  }
};

bool FormatIsOK(const TExifTag& tag, std::int32_t& headerSize) {
  return Detail::Accept(headerSize, 12, tag.ElementCount() > 12 && Detail::DataStartsWith(tag, "SONY DSC"));
}

}  // namespace

const TExifMakerNoteClass TSonyMakerNote = {"TSonyMakerNote", FormatIsOK, TExifMakerNote::CreateAndRead<TSony>};

}  // namespace Zorp::Exif
