// Casio: type 1, a directory without header recognised by the make (older QV cameras); type 2 behind
// "QVC" 00 00 00 (Exilim and later QV cameras), with tag numbers of its own.

#include <array>

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;
using Detail::TFormOrder;

constexpr std::array<Detail::TMakerNoteForm, 1> Type1Forms = {{{{}, "CASIO"sv, 0, obMainHeader}}};
constexpr std::array<Detail::TMakerNoteForm, 1> Type2Forms = {{{"QVC\0\0\0"sv, {}, 6, obMainHeader}}};
using TCasioType1 = TFormMakerNote<TCasioMakerNote, Type1Forms>;
using TCasioType2 = TFormMakerNote<TCasioType2MakerNote, Type2Forms>;

}  // namespace

const TExifMakerNoteClass TCasioMakerNote = {"TCasioMakerNote", TCasioType1::FormatIsOK,
                                             TExifMakerNote::CreateAndRead<TCasioType1>};
const TExifMakerNoteClass TCasioType2MakerNote = {"TCasioType2MakerNote", TCasioType2::FormatIsOK,
                                                  TExifMakerNote::CreateAndRead<TCasioType2>};

}  // namespace Zorp::Exif
