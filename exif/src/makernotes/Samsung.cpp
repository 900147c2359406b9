// Samsung (NX and later compact cameras): a directory without header, recognised by the make, whose
// offsets count from the MakerNote's start (from the Exif header in some cameras).

#include <array>

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;
using Detail::TFormOrder;

constexpr std::array<Detail::TMakerNoteForm, 1> Forms = {{{{}, "SAMSUNG"sv, 0, obMakerNoteStart, TFormOrder::AsBlock, 0, -1, true}}};
using TSamsung = TFormMakerNote<TSamsungMakerNote, Forms>;

}  // namespace

const TExifMakerNoteClass TSamsungMakerNote = {"TSamsungMakerNote", TSamsung::FormatIsOK,
                                               TExifMakerNote::CreateAndRead<TSamsung>};

}  // namespace Zorp::Exif
