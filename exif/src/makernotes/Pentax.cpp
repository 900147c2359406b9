// Pentax: "AOC" 00, "PENTAX " 00 (K-5 and later) or "RICOH" 00 (cameras Pentax made under the Ricoh
// name), each followed by a byte-order mark. Which place the offsets count from differs by camera:
// the reader takes the one that puts every value behind the directory.

#include <array>

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;
using Detail::TFormOrder;

constexpr std::array<Detail::TMakerNoteForm, 4> Forms = {{
    {"AOC\0"sv, {}, 6, obMainHeader, TFormOrder::Marked, 4, -1, true},
    {"PENTAX \0"sv, {}, 10, obMakerNoteStart, TFormOrder::Marked, 8, -1, true},
    {"RICOH\0II"sv, {}, 8, obMakerNoteStart, TFormOrder::Marked, 6, -1, true},
    {"RICOH\0MM"sv, {}, 8, obMakerNoteStart, TFormOrder::Marked, 6, -1, true},
}};
using TPentax = TFormMakerNote<TPentaxMakerNote, Forms>;

}  // namespace

const TExifMakerNoteClass TPentaxMakerNote = {"TPentaxMakerNote", TPentax::FormatIsOK,
                                              TExifMakerNote::CreateAndRead<TPentax>};

}  // namespace Zorp::Exif
