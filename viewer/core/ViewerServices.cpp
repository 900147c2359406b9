#include "core/ViewerServices.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace Quorvane::Viewer {

namespace fs = std::filesystem;

bool IViewerServices::AskYesNo(const std::string&) { return false; }
void IViewerServices::ShowMessage(const std::string&) {}
void IViewerServices::ShowReport(const std::string& text, bool) { ShowMessage(text); }
bool IViewerServices::InputTimeOffset(TTimeOffset&) { return false; }
bool IViewerServices::InputLocation(TLocationText&) { return false; }
bool IViewerServices::SaveCsvDialog(std::string&) { return false; }

void IViewerServices::RunWithProgress(const std::string&, const std::function<void(const TJobProgress&)>& work) {
  work([](std::size_t, std::size_t) { return true; });
}

TJobSummary IViewerServices::RunJob(const std::string& title, const std::vector<std::string>& files,
                                    const TPhotoEdit& edit) {
  TJobSummary summary;
  RunWithProgress(title, [&](const TJobProgress& progress) { summary = RunPhotoJob(files, edit, progress); });
  return summary;
}

std::string TLocalFileSystem::HomeFolder() {
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != '\0' ? home : "/";
}

// XDG_PICTURES_DIR from the user's user-dirs.dirs ("$HOME/Pictures" form), else ~/Pictures.
std::string TLocalFileSystem::PicturesFolder() {
  const std::string home = HomeFolder();
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const fs::path config = configHome != nullptr && *configHome != '\0' ? fs::path(configHome) : fs::path(home) / ".config";
  std::ifstream dirs(config / "user-dirs.dirs");
  std::string line;
  const std::string key = "XDG_PICTURES_DIR=";
  while (std::getline(dirs, line)) {
    if (!line.starts_with(key)) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.starts_with("$HOME")) value = home + value.substr(5);
    if (!value.empty()) return value;
  }
  return (fs::path(home) / "Pictures").string();
}

std::vector<std::string> TLocalFileSystem::FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    names.push_back(it->path().filename().string());
  return names;
}

bool TLocalFileSystem::FileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error) && !fs::is_directory(path, error);
}

bool TLocalFileSystem::DirectoryExists(const std::string& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

}  // namespace Quorvane::Viewer
