// Ricoh (Caplio, GR Digital): a big-endian directory behind "Ricoh" or "RICOH" and three zero bytes.

#include <array>

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;
using Detail::TFormOrder;

constexpr std::array<Detail::TMakerNoteForm, 2> Forms = {{
    {"Ricoh\0\0\0"sv, {}, 8, obMainHeader, TFormOrder::Big, 0, -1, true},
    {"RICOH\0\0\0"sv, {}, 8, obMainHeader, TFormOrder::Big, 0, -1, true},
}};
using TRicoh = TFormMakerNote<TRicohMakerNote, Forms>;

}  // namespace

const TExifMakerNoteClass TRicohMakerNote = {"TRicohMakerNote", TRicoh::FormatIsOK,
                                             TExifMakerNote::CreateAndRead<TRicoh>};

}  // namespace Zorp::Exif
