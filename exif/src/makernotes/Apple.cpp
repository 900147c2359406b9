// Apple (iPhone, iPad): a directory behind "Apple iOS" 00 00 01 and a byte-order mark, its offsets
// counted from the MakerNote's start.

#include <array>

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;
using Detail::TFormOrder;

constexpr std::array<Detail::TMakerNoteForm, 1> Forms = {{{"Apple iOS\0"sv, {}, 14, obMakerNoteStart, TFormOrder::Marked, 12}}};
using TApple = TFormMakerNote<TAppleMakerNote, Forms>;

}  // namespace

const TExifMakerNoteClass TAppleMakerNote = {"TAppleMakerNote", TApple::FormatIsOK,
                                             TExifMakerNote::CreateAndRead<TApple>};

}  // namespace Zorp::Exif
