#pragma once
// Keeping a photo's modification time across a save, which replaces the file and so dates it now.

#include <filesystem>
#include <optional>
#include <string>

namespace Quorvane::Viewer {

class TKeptFileDate {
 public:
  // Reads the file's modification time now (none when it cannot be read).
  explicit TKeptFileDate(const std::string& fileName);
  // Gives the file the time read; false when there was none or it cannot be set.
  bool Restore() const;

 private:
  std::string FFileName;
  std::optional<std::filesystem::file_time_type> FTime;
};

}  // namespace Quorvane::Viewer
