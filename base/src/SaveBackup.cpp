// Backups of in-place rewrites, their recovery after a crash, and the removal of temporary files
// that killed saves left behind.

#include "SaveBackup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <map>
#include <vector>

#include "zorp/base/FileLock.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/Messages.h"
#include "zorp/base/SafeFile.h"

namespace Zorp::Base::Detail {

namespace {

constexpr char BackupSuffix[] = ".quorvane-backup";
constexpr char TemporaryInfix[] = ".quorvane-";
constexpr std::uint8_t TrailerMagic[8] = {'Q', 'V', 'B', 'A', 'C', 'K', 'U', 'P'};

std::string HiddenBeside(const std::string& fileName, const std::string& suffix) {
  // The folder part as written (every load asks for this name, so it is cut out of the text, not
  // parsed as a path); the base name is cut so that the name stays legal.
  const std::size_t slash = fileName.rfind('/');
  const std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  std::string name = fileName.substr(0, baseStart);
  name += '.';
  name.append(fileName, baseStart, 200);
  name += suffix;
  return name;
}

void PutWord(std::uint8_t* at, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetWord(const std::uint8_t* at) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}

std::uint64_t DigestOf(const std::uint8_t* data, std::size_t size) {
  TContentDigest digest;
  digest.Add(data, size);
  return digest.Value();
}

// Reads exactly count bytes at offset; false on an error or a short file.
bool ReadExactly(int fd, void* buffer, std::size_t count, off_t offset) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  while (count > 0) {
    const ssize_t got = ::pread(fd, bytes, count, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    count -= static_cast<std::size_t>(got);
    offset += got;
  }
  return true;
}


// The process number in a temporary file's name ".NAME.quorvane-PID-XXXXXX", or 0 when the name
// is not of that form.
pid_t TemporaryOwner(const std::string& name) {
  if (name.size() < 2 || name[0] != '.') return 0;
  const std::size_t infix = name.rfind(TemporaryInfix);
  if (infix == std::string::npos) return 0;
  const std::size_t digits = infix + sizeof TemporaryInfix - 1;
  const std::size_t dash = name.find('-', digits);
  if (dash == std::string::npos || dash == digits || dash - digits > 9 || name.size() - dash != 7) return 0;
  pid_t pid = 0;
  for (std::size_t i = digits; i < dash; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  for (std::size_t i = dash + 1; i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return 0;
  return pid;
}

}  // namespace

void SyncFolderOf(const std::string& fileName) {
  std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

std::string BackupNameFor(const std::string& fileName) { return HiddenBeside(fileName, BackupSuffix); }

std::string TemporaryPatternFor(const std::string& fileName) {
  return HiddenBeside(fileName, TemporaryInfix + std::to_string(::getpid()) + "-XXXXXX");
}

void TContentDigest::Add(const void* data, std::size_t size) {
  // FNV-1a, 64 bits.
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint64_t value = FValue;
  for (std::size_t i = 0; i < size; ++i) value = (value ^ bytes[i]) * 1099511628211ULL;
  FValue = value;
}

void EncodeBackupTrailer(const TBackupTrailer& trailer, std::uint8_t (&bytes)[BackupTrailerSize]) {
  std::memcpy(bytes, TrailerMagic, 8);
  PutWord(bytes + 8, trailer.Device);
  PutWord(bytes + 16, trailer.Inode);
  PutWord(bytes + 24, static_cast<std::uint64_t>(trailer.OldSize));
  PutWord(bytes + 32, trailer.OldDigest);
  PutWord(bytes + 40, static_cast<std::uint64_t>(trailer.NewSize));
  PutWord(bytes + 48, trailer.NewDigest);
  PutWord(bytes + 56, DigestOf(bytes, 56));
}

bool DecodeBackupTrailer(const std::uint8_t (&bytes)[BackupTrailerSize], TBackupTrailer& trailer) {
  if (std::memcmp(bytes, TrailerMagic, 8) != 0 || GetWord(bytes + 56) != DigestOf(bytes, 56)) return false;
  trailer.Device = GetWord(bytes + 8);
  trailer.Inode = GetWord(bytes + 16);
  trailer.OldSize = static_cast<std::int64_t>(GetWord(bytes + 24));
  trailer.OldDigest = GetWord(bytes + 32);
  trailer.NewSize = static_cast<std::int64_t>(GetWord(bytes + 40));
  trailer.NewDigest = GetWord(bytes + 48);
  return trailer.OldSize >= 0 && trailer.NewSize >= 0;
}

bool DigestFile(int fd, std::int64_t size, std::int64_t& read, std::uint64_t& digest) {
  TContentDigest content;
  std::vector<std::uint8_t> buffer(1 << 20);
  read = 0;
  for (;;) {
    std::size_t wanted = buffer.size();
    if (size >= 0) {
      if (read >= size) break;
      wanted = static_cast<std::size_t>(std::min<std::int64_t>(size - read, static_cast<std::int64_t>(wanted)));
    }
    const ssize_t got = ::pread(fd, buffer.data(), wanted, static_cast<off_t>(read));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    content.Add(buffer.data(), static_cast<std::size_t>(got));
    read += got;
  }
  digest = content.Value();
  return size < 0 || read == size;
}

int OverwriteContent(int from, int to, std::int64_t length) {
  if (const int error = CopyThroughBuffer(from, 0, to, 0, length)) return error;
  // Cut only now: until here every byte not yet written still holds the old content.
  if (::ftruncate(to, static_cast<off_t>(length)) != 0) return errno;
  return ::fsync(to) == 0 ? 0 : errno;
}

void RemoveLeftoverTemporaries(const std::string& fileName) {
  std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
  if (folder.empty()) folder = ".";
  {
    // A folder is looked through once a minute at most, so that a job over a big folder does not
    // read it for every photo.
    static std::mutex mutex;
    static std::map<std::string, std::chrono::steady_clock::time_point> cleaned;
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(folder, error);
    const std::string key = error ? folder.string() : canonical.string();
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard guard(mutex);
    const auto [last, first] = cleaned.try_emplace(key, now);
    if (!first && now - last->second < std::chrono::minutes(1)) return;
    last->second = now;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    const pid_t owner = TemporaryOwner(name);
    if (owner <= 0) continue;
    // A save that is still running holds its temporary file locked; its process is alive too.
    if (owner == ::getpid() || ::kill(owner, 0) == 0 || errno != ESRCH) continue;
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
    if (fd < 0) continue;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      (void)::unlinkat(dirFd, name.c_str(), 0);
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace Zorp::Base::Detail

namespace Zorp::Base {

std::string RecoverInterruptedSave(const std::string& fileName) {
  const std::string backupName = Detail::BackupNameFor(fileName);
  struct stat backupStatus {};
  if (::lstat(backupName.c_str(), &backupStatus) != 0) return {};  // the common case: nothing to do
  if (!S_ISREG(backupStatus.st_mode)) return {};

  // A save of the photo that is running holds this lock: its backup is not left over.
  const TFileLock lock(fileName);
  const Detail::TDescriptor backupFile(::open(backupName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
  const int backup = backupFile.Handle();
  if (backup < 0) return {};  // gone meanwhile
  if (::fstat(backup, &backupStatus) != 0) return {};

  std::uint8_t bytes[Detail::BackupTrailerSize];
  Detail::TBackupTrailer trailer;
  const std::int64_t backupSize = backupStatus.st_size;
  if (backupSize < Detail::BackupTrailerSize ||
      !Detail::ReadExactly(backup, bytes, sizeof bytes, static_cast<off_t>(backupSize - Detail::BackupTrailerSize)) ||
      !Detail::DecodeBackupTrailer(bytes, trailer) || trailer.OldSize != backupSize - Detail::BackupTrailerSize) {
    // Cut while it was written: the photo was not touched yet.
    ::unlink(backupName.c_str());
    Detail::SyncFolderOf(backupName);
    return {};
  }

  const Detail::TDescriptor photoFile(::open(fileName.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  const int photo = photoFile.Handle();
  if (photo < 0) return {};  // cannot be repaired now; the backup stays for a later try
  struct stat photoStatus {};
  if (::fstat(photo, &photoStatus) != 0 || !S_ISREG(photoStatus.st_mode)) return {};
  // Another file of the same cut name, or a photo replaced since: the backup is not this photo's.
  if (static_cast<std::uint64_t>(photoStatus.st_dev) != trailer.Device ||
      static_cast<std::uint64_t>(photoStatus.st_ino) != trailer.Inode)
    return {};

  std::int64_t size = 0;
  std::uint64_t digest = 0;
  const bool read = Detail::DigestFile(photo, -1, size, digest);
  const bool complete = read && ((size == trailer.NewSize && digest == trailer.NewDigest) ||
                                 (size == trailer.OldSize && digest == trailer.OldDigest));
  std::string note;
  if (!complete) {
    std::int64_t backupRead = 0;
    std::uint64_t backupDigest = 0;
    if (!Detail::DigestFile(backup, trailer.OldSize, backupRead, backupDigest) || backupDigest != trailer.OldDigest)
      return Format(SBackupUnusable, backupName.c_str());
    if (const int error = Detail::OverwriteContent(backup, photo, trailer.OldSize))
      return Format(SBackupRestoreFailed, backupName.c_str(), std::strerror(error));
    note = SRestoredFromBackup;
  }
  ::unlink(backupName.c_str());
  Detail::SyncFolderOf(backupName);
  return note;
}

}  // namespace Zorp::Base
