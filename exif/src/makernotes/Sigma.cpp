// Sigma: a directory behind "SIGMA" 00 00 00 or "FOVEON" 00 00 and two more bytes, its offsets counted
// from the Exif header.

#include <array>

#include "makernotes/MakerNoteClasses.h"

namespace Zorp::Exif {
namespace {

using namespace std::string_view_literals;
using Detail::TFormOrder;

constexpr std::array<Detail::TMakerNoteForm, 2> Forms = {{
    {"SIGMA\0\0\0"sv, {}, 10, obMainHeader},
    {"FOVEON\0\0"sv, {}, 10, obMainHeader},
}};
using TSigma = TFormMakerNote<TSigmaMakerNote, Forms>;

}  // namespace

const TExifMakerNoteClass TSigmaMakerNote = {"TSigmaMakerNote", TSigma::FormatIsOK,
                                             TExifMakerNote::CreateAndRead<TSigma>};

}  // namespace Zorp::Exif
