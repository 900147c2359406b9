// Advisory locks on photos, counted per thread so that a save inside a locked edit does not wait
// for itself.

#include "zorp/base/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

namespace Zorp::Base {

TFileIdentity FileIdentityOf(const struct stat& status) {
  TFileIdentity identity;
  identity.Device = static_cast<std::uint64_t>(status.st_dev);
  identity.Inode = static_cast<std::uint64_t>(status.st_ino);
  identity.Size = static_cast<std::int64_t>(status.st_size);
  identity.ModificationSeconds = status.st_mtim.tv_sec;
  identity.ModificationNanoseconds = status.st_mtim.tv_nsec;
  identity.ChangeSeconds = status.st_ctim.tv_sec;
  identity.ChangeNanoseconds = status.st_ctim.tv_nsec;
  return identity;
}

std::optional<TFileIdentity> ReadFileIdentity(const std::string& fileName) {
  struct stat status {};
  if (::stat(fileName.c_str(), &status) != 0) return std::nullopt;
  return FileIdentityOf(status);
}

namespace {

// The locks this process holds: per file, the thread that holds it, how often, and the descriptor
// that carries the flock.
struct THeldLock {
  std::thread::id Owner;
  int Count = 0;
  int Handle = -1;
};

struct TLockTable {
  std::mutex Mutex;
  std::map<std::tuple<std::uint64_t, std::uint64_t>, THeldLock> Held;
};

TLockTable& Locks() {
  static TLockTable table;
  return table;
}

// Opens fileName for locking; -1 when it is no regular file or cannot be opened.
int OpenForLock(const std::string& fileName, struct stat& status) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

TFileLock::TFileLock(const std::string& fileName) {
  // A rename over the file while this waits leaves the lock on a file the name no longer stands
  // for: then the name is opened and locked again. Bounded, in case the file is replaced forever.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    struct stat status {};
    const int fd = OpenForLock(fileName, status);
    if (fd < 0) return;
    const auto key = std::make_tuple(static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino));
    {
      TLockTable& table = Locks();
      const std::lock_guard guard(table.Mutex);
      const auto held = table.Held.find(key);
      if (held != table.Held.end() && held->second.Owner == std::this_thread::get_id()) {
        ++held->second.Count;
        ::close(fd);
        std::tie(FDevice, FInode) = key;
        FLocked = true;
        return;
      }
    }
    int result;
    do result = ::flock(fd, LOCK_EX);
    while (result != 0 && errno == EINTR);
    struct stat now {};
    if (result != 0) {
      // A file system without locks: the identity check still catches other writers.
      ::close(fd);
      return;
    }
    if (::stat(fileName.c_str(), &now) != 0 || now.st_dev != status.st_dev || now.st_ino != status.st_ino) {
      ::close(fd);  // replaced meanwhile: lock the new file
      continue;
    }
    TLockTable& table = Locks();
    const std::lock_guard guard(table.Mutex);
    table.Held[key] = THeldLock{std::this_thread::get_id(), 1, fd};
    std::tie(FDevice, FInode) = key;
    FLocked = true;
    return;
  }
}

TFileLock::~TFileLock() {
  if (!FLocked) return;
  TLockTable& table = Locks();
  const std::lock_guard guard(table.Mutex);
  const auto held = table.Held.find(std::make_tuple(FDevice, FInode));
  if (held == table.Held.end() || --held->second.Count > 0) return;
  ::close(held->second.Handle);  // closing the only descriptor of the flock releases it
  table.Held.erase(held);
}

}  // namespace Zorp::Base
