// The registry of MakerNote classes and the recognition of a MakerNote tag. A new maker is one file
// beside this one defining its class (declared in MakerNotes.h), and one line in the table below.

#include <array>

#include "zorp/exif/MakerNotes.h"

namespace Zorp::Exif {
namespace {

// Tried from the last line up: the first class whose format test passes wins. A line added at the end
// is tried first; the classes recognised by the camera make alone stay at the top, so that any
// signature in the data wins over the make.
constexpr std::array Registry = {
    &TSamsungMakerNote,
    &TCasioMakerNote,
    &TNikonType2MakerNote,
    &TCanonMakerNote,
    &TSonyMakerNote,
    &TNikonType1MakerNote,
    &TNikonType3MakerNote,
    &TPanasonicMakerNote,
    &TOlympusMakerNote,
    &TFujifilmMakerNote,
    &TCasioType2MakerNote,
    &TPentaxMakerNote,
    &TRicohMakerNote,
    &TSigmaMakerNote,
    &TAppleMakerNote,
    &TKodakMakerNote,
};

}  // namespace

std::span<const TExifMakerNoteClass* const> MakerNoteClassList() { return Registry; }

const TExifMakerNoteClass& RecognizeMakerNote(const TMakerNoteContext& context) {
  const TExifTag& tag = context.Tag;
  if (tag.DataType() != dtUndefined || tag.ElementCount() <= 1) return THeaderlessMakerNote;
  for (auto it = Registry.rbegin(); it != Registry.rend(); ++it) {
    std::int32_t headerSize = 0;
    if ((*it)->FormatIsOK(context, headerSize)) return **it;
  }
  return THeaderlessMakerNote;
}

}  // namespace Zorp::Exif
