// Olympus and OM System: "OLYMP" 00 (offsets from the Exif header) in older cameras, "OLYMPUS" 00 or
// "OM SYSTEM" 00 00 00 with a byte-order mark (offsets from the MakerNote's start) in later ones.

#include <array>

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;
using Detail::TFormOrder;

constexpr std::array<Detail::TMakerNoteForm, 3> Forms = {{
    {"OLYMPUS\0"sv, {}, 12, obMakerNoteStart, TFormOrder::Marked, 8},
    {"OM SYSTEM\0\0\0"sv, {}, 16, obMakerNoteStart, TFormOrder::Marked, 12},
    {"OLYMP\0"sv, {}, 8, obMainHeader},
}};
using TOlympus = TFormMakerNote<TOlympusMakerNote, Forms>;

}  // namespace

const TExifMakerNoteClass TOlympusMakerNote = {"TOlympusMakerNote", TOlympus::FormatIsOK,
                                               TExifMakerNote::CreateAndRead<TOlympus>};

}  // namespace Zorp::Exif
