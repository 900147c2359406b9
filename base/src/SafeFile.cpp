// Replacing a file through a temporary file in the same folder and a rename, or, where the file must
// stay the same file, by rewriting it in place behind a backup.

#include "zorp/base/SafeFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "RegularFile.h"
#include "SaveBackup.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/Messages.h"

namespace Zorp::Base {

namespace {

// Per thread, so that a test's hook never fires in a save running on another thread.
std::function<void(const std::string&)>& CommitHook() {
  thread_local std::function<void(const std::string&)> hook;
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

[[noreturn]] void RaiseCannotReplace(const std::string& fileName, int error) {
  throw EFCreateError(Format(SCannotReplaceFile, fileName.c_str(), std::strerror(error)));
}

// Raises unless the existing file status describes is a regular file the caller may write. A file
// without any write bit counts as read-only even for root, who could write it anyway.
void EnsureReplaceable(const std::string& fileName, const struct stat& status) {
  Detail::EnsureRegularFile(status, fileName);
  if ((status.st_mode & 0222) == 0) RaiseCannotReplace(fileName, EACCES);
  if (::faccessat(AT_FDCWD, fileName.c_str(), W_OK, AT_EACCESS) != 0) RaiseCannotReplace(fileName, errno);
}

// Creates the temporary file beside fileName, with a name that no photo mask matches and that tells
// which process made it; returns its descriptor, locked while it lives, and sets name. Raises
// EFCreateError.
int CreateTemporaryBeside(const std::string& fileName, std::string& name) {
  const std::string pattern = Detail::TemporaryPatternFor(fileName);
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
  // The message names the photo: the temporary name means nothing to the user.
  if (fd < 0) throw EFCreateError(Format(SFCreateError, fileName.c_str(), std::strerror(errno)));
  // The lock tells the cleaning of leftovers that this file is in use.
  (void)::flock(fd, LOCK_EX | LOCK_NB);
  name = buffer.data();
  return fd;
}

// Reads an extended attribute list or value: call(buffer, size) as listxattr/getxattr do. Returns
// false with errno set on failure; asks again a few times when it grew between size and read.
template <typename Call>
bool ReadAttributeBytes(Call call, std::vector<char>& bytes) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    const ssize_t size = call(nullptr, 0);
    if (size < 0) return false;
    bytes.resize(static_cast<std::size_t>(size));
    if (size == 0) return true;
    const ssize_t read = call(bytes.data(), bytes.size());
    if (read >= 0) {
      bytes.resize(static_cast<std::size_t>(read));
      return true;
    }
    if (errno != ERANGE) return false;
  }
  errno = ERANGE;
  return false;
}

// Gives the open file fd the extended attributes of the file fileName. Returns false when one cannot
// be copied; a file system without extended attributes has none to copy.
bool CopyExtendedAttributes(const std::string& fileName, int fd) {
  std::vector<char> names;
  const char* path = fileName.c_str();
  if (!ReadAttributeBytes([&](char* list, std::size_t size) { return ::listxattr(path, list, size); }, names))
    return errno == ENOTSUP;
  std::vector<char> value;
  for (std::size_t start = 0; start < names.size();) {
    const std::string name(names.data() + start, ::strnlen(names.data() + start, names.size() - start));
    start += name.size() + 1;
    if (name.empty()) continue;
    if (!ReadAttributeBytes([&](char* bytes, std::size_t size) { return ::getxattr(path, name.c_str(), bytes, size); },
                            value)) {
      if (errno == ENODATA) continue;  // removed meanwhile
      return false;
    }
    if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0 && errno != ENOTSUP) return false;
  }
  return true;
}

// Gives the open file fd the owner and group of the file status describes; false when not permitted.
bool KeepOwner(int fd, const struct stat& status) {
  struct stat own {};
  if (::fstat(fd, &own) != 0) return false;
  if (own.st_uid == status.st_uid && own.st_gid == status.st_gid) return true;
  return ::fchown(fd, status.st_uid, status.st_gid) == 0;
}

}  // namespace

void SetSafeFileCommitHook(std::function<void(const std::string& tempFileName)> hook) {
  CommitHook() = std::move(hook);
}

TSafeFileReplacement::TSafeFileReplacement(const std::string& fileName) : FFileName(ResolveTarget(fileName)) {
  struct stat status {};
  if (::stat(FFileName.c_str(), &status) == 0) EnsureReplaceable(FFileName, status);
  Detail::RemoveLeftoverTemporaries(FFileName);
  FRecoveryNote = RecoverInterruptedSave(FFileName);
  const int fd = CreateTemporaryBeside(FFileName, FTempFileName);
  // Written through the descriptor that created it: the name could stand for another file by now.
  try {
    FStream = std::make_unique<TFileStream>(fd, FFileName);
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
  if (!FStream) throw EInvalidOperation(SWriteError);
  return *FStream;
}

TCopyMethod TSafeFileReplacement::AppendFileRange(int source, std::int64_t sourceOffset, std::int64_t length) {
  if (!FStream) throw EInvalidOperation(SWriteError);
  FStream->FlushBuffer();
  const std::int64_t end = FStream->Size();
  const TCopyMethod method = CopyFileRange(source, sourceOffset, FStream->Handle(), end, length);
  FStream->Seek(0, soEnd);
  return method;
}

void TSafeFileReplacement::Commit() {
  if (FCommitted) return;
  if (!FStream) throw EInvalidOperation(SWriteError);
  // One flush to disk, after the attributes are set, covers the content and the attributes.
  FStream->FlushBuffer();
  const int fd = FStream->Handle();

  // From here to the replacement no other Quorvane writer changes the file.
  const TFileLock lock(FFileName);
  struct stat original {};
  const bool exists = ::stat(FFileName.c_str(), &original) == 0;
  const int statError = errno;
  EnsureUnchanged(exists ? std::optional(FileIdentityOf(original)) : std::nullopt);
  if (exists) {
    EnsureReplaceable(FFileName, original);
    // A file with other names, or one whose owner or attributes a new file cannot have, stays the
    // same file: its content is rewritten.
    if (original.st_nlink > 1 || !KeepOwner(fd, original) || !CopyExtendedAttributes(FFileName, fd)) {
      RewriteInPlace();
      return;
    }
    // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
    if (::fchmod(fd, original.st_mode & 07777) != 0) RaiseCannotReplace(FFileName, errno);
  } else if (statError == ENOENT) {
    if (::fchmod(fd, 0666 & ~CurrentUmask()) != 0) RaiseCannotReplace(FFileName, errno);
  } else {
    RaiseCannotReplace(FFileName, statError);
  }
  if (::fsync(fd) != 0) RaiseCannotReplace(FFileName, errno);
  FStream.reset();

  if (CommitHook()) CommitHook()(FTempFileName);
  if (std::rename(FTempFileName.c_str(), FFileName.c_str()) != 0) RaiseCannotReplace(FFileName, errno);
  FCommitted = true;
  Detail::SyncFolderOf(FFileName);
}

void TSafeFileReplacement::EnsureUnchanged(const std::optional<TFileIdentity>& now) const {
  if (FExpected && (!now || *now != *FExpected)) throw EFileChanged(SPhotoChangedSinceRead);
}

void TSafeFileReplacement::RewriteInPlace() {
  const Detail::TDescriptor target(::open(FFileName.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (target.Handle() < 0) RaiseCannotReplace(FFileName, errno);
  struct stat status {};
  if (::fstat(target.Handle(), &status) != 0) RaiseCannotReplace(FFileName, errno);
  Detail::EnsureRegularFile(status, FFileName);

  // The former content goes to a backup on disk first, with a trailer naming the file and the
  // digests of the former and the new content, so that after a crash at any moment the next load or
  // save tells whether the file is whole and restores it when it is not.
  Detail::TBackupTrailer trailer;
  trailer.Device = static_cast<std::uint64_t>(status.st_dev);
  trailer.Inode = static_cast<std::uint64_t>(status.st_ino);
  if (!Detail::DigestFile(FStream->Handle(), -1, trailer.NewSize, trailer.NewDigest)) RaiseCannotReplace(FFileName, EIO);
  const std::string backupName = Detail::BackupNameFor(FFileName);
  const Detail::TDescriptor backup(::open(backupName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (backup.Handle() < 0) {
    if (errno == EEXIST) throw EFCreateError(Format(SBackupInTheWay, FFileName.c_str(), backupName.c_str()));
    throw EFCreateError(Format(SFCreateError, FFileName.c_str(), std::strerror(errno)));
  }
  bool keepBackup = false;
  try {
    // The backup's content is read back for its digest: what the trailer vouches for is what is on disk.
    if (const int error = Detail::OverwriteContent(target.Handle(), backup.Handle(), status.st_size))
      RaiseCannotReplace(FFileName, error);
    if (!Detail::DigestFile(backup.Handle(), status.st_size, trailer.OldSize, trailer.OldDigest))
      RaiseCannotReplace(FFileName, EIO);
    std::uint8_t bytes[Detail::BackupTrailerSize];
    Detail::EncodeBackupTrailer(trailer, bytes);
    if (::pwrite(backup.Handle(), bytes, sizeof bytes, static_cast<off_t>(trailer.OldSize)) !=
        static_cast<ssize_t>(sizeof bytes))
      RaiseCannotReplace(FFileName, errno ? errno : EIO);
    if (::fsync(backup.Handle()) != 0) RaiseCannotReplace(FFileName, errno);
    Detail::SyncFolderOf(backupName);
    if (CommitHook()) CommitHook()(FTempFileName);
    if (const int error = Detail::OverwriteContent(FStream->Handle(), target.Handle(), trailer.NewSize)) {
      // The former content is put back; when even that fails, the backup stays and says where it is.
      if (Detail::OverwriteContent(backup.Handle(), target.Handle(), trailer.OldSize) != 0) {
        keepBackup = true;
        throw EFCreateError(
            Format(SCannotRewriteFile, FFileName.c_str(), std::strerror(error), backupName.c_str()));
      }
      RaiseCannotReplace(FFileName, error);
    }
  } catch (...) {
    if (!keepBackup) {
      ::unlink(backupName.c_str());
      Detail::SyncFolderOf(backupName);
    }
    throw;
  }
  ::unlink(backupName.c_str());
  FCommitted = true;
  RemoveTemporary();
  Detail::SyncFolderOf(FFileName);
}

void SafeWriteFile(const std::string& fileName, const void* data, std::int64_t size) {
  TSafeFileReplacement replacement(fileName);
  replacement.Stream().WriteBuffer(data, size);
  replacement.Commit();
}

TFileTimes GetFileTimes(const std::string& fileName) {
  struct stat status {};
  if (::stat(fileName.c_str(), &status) != 0)
    throw EFOpenError(Format(SFOpenError, fileName.c_str(), std::strerror(errno)));
  return {status.st_atim.tv_sec, status.st_atim.tv_nsec, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
}

bool SetFileTimes(const std::string& fileName, const TFileTimes& times) {
  const timespec values[2] = {
      {static_cast<time_t>(times.AccessSeconds), static_cast<long>(times.AccessNanoseconds)},
      {static_cast<time_t>(times.ModificationSeconds), static_cast<long>(times.ModificationNanoseconds)}};
  return ::utimensat(AT_FDCWD, fileName.c_str(), values, 0) == 0;
}

}  // namespace Zorp::Base
