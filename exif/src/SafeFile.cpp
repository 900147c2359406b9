// Replacing a file through a temporary file in the same folder and a rename.

#include "zorp/base/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "RegularFile.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/exif/Consts.h"

namespace Zorp::Base {

namespace {

std::function<void(const std::string&)>& CommitHook() {
  static std::function<void(const std::string&)> hook;
  return hook;
}

// The file a name stands for: a symbolic link is replaced at its target, not turned into a file.
std::string ResolveTarget(const std::string& fileName) {
  std::error_code error;
  const std::filesystem::path path(fileName);
  if (std::filesystem::is_symlink(path, error)) {
    const std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
    if (!error) return target.string();
  }
  return fileName;
}

// The process's file creation mask, read without setting it: setting it, even back again, would change
// the mode of files that other threads create meanwhile.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) != 0) continue;
    char* end = nullptr;
    const unsigned long mask = std::strtoul(line.c_str() + 6, &end, 8);
    if (end != line.c_str() + 6) return static_cast<mode_t>(mask & 0777);
  }
  return 077;  // unknown: the new file stays private
}

// Makes the directory entry of a rename durable. Failing here changes nothing for the caller: the
// file has been replaced already.
void SyncFolder(const std::string& fileName) {
  std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace

void SetSafeFileCommitHook(std::function<void(const std::string& tempFileName)> hook) {
  CommitHook() = std::move(hook);
}

TSafeFileReplacement::TSafeFileReplacement(const std::string& fileName) : FFileName(ResolveTarget(fileName)) {
  struct stat status {};
  if (::stat(FFileName.c_str(), &status) == 0) Detail::EnsureRegularFile(status, FFileName);
  const std::filesystem::path target(FFileName);
  // A hidden name that no photo mask matches; the base name is cut so that the name stays legal.
  std::string base = target.filename().string().substr(0, 200);
  std::string pattern = (target.parent_path() / ("." + base + ".XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) throw EFCreateError(Format(Zorp::Exif::SFCreateError, pattern.c_str(), std::strerror(errno)));
  FTempFileName = name.data();
  // Written through the descriptor that created it: the name could stand for another file by now.
  try {
    FStream = std::make_unique<TFileStream>(fd, FTempFileName);
  } catch (...) {
    ::unlink(FTempFileName.c_str());
    throw;
  }
}

TSafeFileReplacement::~TSafeFileReplacement() {
  if (!FCommitted) RemoveTemporary();
}

void TSafeFileReplacement::RemoveTemporary() noexcept {
  FStream.reset();
  if (!FTempFileName.empty()) ::unlink(FTempFileName.c_str());
}

TStream& TSafeFileReplacement::Stream() {
  if (!FStream) throw EInvalidOperation(Zorp::Exif::SWriteError);
  return *FStream;
}

void TSafeFileReplacement::Commit() {
  if (FCommitted) return;
  if (!FStream) throw EInvalidOperation(Zorp::Exif::SWriteError);
  FStream->Flush();

  auto fail = [this](int error) {
    throw EFCreateError(Format(Zorp::Exif::SCannotReplaceFile, FFileName.c_str(), std::strerror(error)));
  };
  struct stat original {};
  mode_t mode;
  if (::stat(FFileName.c_str(), &original) == 0) {
    Detail::EnsureRegularFile(original, FFileName);
    mode = original.st_mode & 07777;
    // Keeps the owner when the process may do so (as root); otherwise the file becomes the caller's,
    // as any rewritten file would.
    if (original.st_uid != ::geteuid() || original.st_gid != ::getegid())
      (void)::fchown(FStream->Handle(), original.st_uid, original.st_gid);
  } else {
    mode = 0666 & ~CurrentUmask();
  }
  if (::fchmod(FStream->Handle(), mode) != 0) fail(errno);
  FStream.reset();  // closed; its content is on disk already

  if (CommitHook()) CommitHook()(FTempFileName);
  if (std::rename(FTempFileName.c_str(), FFileName.c_str()) != 0) fail(errno);
  FCommitted = true;
  SyncFolder(FFileName);
}

void SafeWriteFile(const std::string& fileName, const void* data, std::int64_t size) {
  TSafeFileReplacement replacement(fileName);
  replacement.Stream().WriteBuffer(data, size);
  replacement.Commit();
}

}  // namespace Zorp::Base
