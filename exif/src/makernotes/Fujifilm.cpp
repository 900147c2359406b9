// Fujifilm (and General Imaging): a little-endian directory where the 32-bit number at byte 8 says,
// its offsets counted from the MakerNote's start.

#include <array>

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;
using Detail::TFormOrder;

constexpr std::array<Detail::TMakerNoteForm, 2> Forms = {{
    {"FUJIFILM"sv, {}, 12, obMakerNoteStart, TFormOrder::Little, 0, 8},
    {"GENERALE"sv, {}, 12, obMakerNoteStart, TFormOrder::Little, 0, 8},
}};
using TFujifilm = TFormMakerNote<TFujifilmMakerNote, Forms>;

}  // namespace

const TExifMakerNoteClass TFujifilmMakerNote = {"TFujifilmMakerNote", TFujifilm::FormatIsOK,
                                                TExifMakerNote::CreateAndRead<TFujifilm>};

}  // namespace Zorp::Exif
