// Sony: a directory behind "SONY DSC", big-endian only from the DSLR-A100.

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

class TSony final : public TExifMakerNote {
 public:
  explicit TSony(TExifSection& section) : TExifMakerNote(section) {}
  const TExifMakerNoteClass& ClassType() const override { return TSonyMakerNote; }

 protected:
  void GetIFDInfo(const TMakerNoteContext& context, TByteOrder& byteOrder, TMakerNoteOffsetBase&) override {
    byteOrder = context.Model == "DSLR-A100" ? boBigEndian : boLittleEndian;
  }
};

bool FormatIsOK(const TMakerNoteContext& context, std::int32_t& headerSize) {
  const TExifTag& tag = context.Tag;
  return Detail::Accept(headerSize, 12, tag.ElementCount() > 12 && Detail::DataStartsWith(tag, "SONY DSC"));
}

}  // namespace

const TExifMakerNoteClass TSonyMakerNote = {"TSonyMakerNote", FormatIsOK, TExifMakerNote::CreateAndRead<TSony>};

}  // namespace Zorp::Exif
