#include "core/DataFiles.h"

#include <system_error>

namespace Quorvane::Viewer {

namespace fs = std::filesystem;

fs::path ExecutablePath() {
  std::error_code error;
  fs::path path = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : path;
}

fs::path FindMakerNotesIni(const fs::path& executable) {
  const fs::path folder = executable.parent_path();
  const fs::path candidates[] = {folder / "MakerNotes.ini", folder / ".." / "share" / "quorvane" / "MakerNotes.ini"};
  for (const fs::path& candidate : candidates) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return candidate.lexically_normal();
  }
  return candidates[0];
}

}  // namespace Quorvane::Viewer
