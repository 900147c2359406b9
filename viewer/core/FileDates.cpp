#include "core/FileDates.h"

#include <system_error>

namespace Quorvane::Viewer {

TKeptFileDate::TKeptFileDate(const std::string& fileName) : FFileName(fileName) {
  std::error_code error;
  const auto time = std::filesystem::last_write_time(fileName, error);
  if (!error) FTime = time;
}

bool TKeptFileDate::Restore() const {
  if (!FTime) return false;
  std::error_code error;
  std::filesystem::last_write_time(FFileName, *FTime, error);
  return !error;
}

}  // namespace Quorvane::Viewer
