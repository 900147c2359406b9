#pragma once
// Where the programs find the files they ship with: beside the executable when run from the build
// tree, in ../share/quorvane/ relative to it once installed.

#include <filesystem>

namespace Quorvane::Viewer {

// The running program's own path (empty when the system does not tell).
std::filesystem::path ExecutablePath();

// MakerNotes.ini beside the executable, else in ../share/quorvane/; the first of them when neither
// exists (reading a missing file gives an empty ini).
std::filesystem::path FindMakerNotesIni(const std::filesystem::path& executable);

}  // namespace Quorvane::Viewer
