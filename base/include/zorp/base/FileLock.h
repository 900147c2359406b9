#pragma once
// What a load of a photo read, and an advisory lock that makes Quorvane's load-modify-save cycles of
// one photo take turns.
//
// A save compares the photo's identity with the one its load recorded just before it replaces the
// file, under the lock: another program's change since the load makes the save refuse instead of
// writing the old values back, and a second Quorvane writer waits for the lock instead of racing.

#include <cstdint>
#include <optional>
#include <string>

struct stat;

namespace Zorp::Base {

// The file a name stood for and the state of its content: device and inode tell a replaced file,
// size and the modification time tell most rewrites, and the status-change time (which no program
// can set back) tells a same-size rewrite whose modification time was restored.
struct TFileIdentity {
  std::uint64_t Device = 0, Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModificationSeconds = 0, ModificationNanoseconds = 0;
  std::int64_t ChangeSeconds = 0, ChangeNanoseconds = 0;

  bool operator==(const TFileIdentity&) const = default;
  bool SameFile(const TFileIdentity& other) const { return Device == other.Device && Inode == other.Inode; }
};

TFileIdentity FileIdentityOf(const struct stat& status);
// The identity of the file a name stands for now (a symbolic link followed); nullopt when it cannot
// be examined.
std::optional<TFileIdentity> ReadFileIdentity(const std::string& fileName);

// An exclusive advisory lock (flock) on a file, held from construction to destruction. Waits while
// another process or thread holds it. When the file is replaced by a rename while waiting, the lock
// is taken again on the file the name now stands for. Nested locks of one file on one thread are
// counted, not taken twice. A file that cannot be opened for reading (missing, no permission, no
// regular file) is not locked: Locked() is false and whatever the caller does next reports why.
class TFileLock {
 public:
  explicit TFileLock(const std::string& fileName);
  ~TFileLock();
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;

  bool Locked() const { return FLocked; }

 private:
  std::uint64_t FDevice = 0, FInode = 0;
  bool FLocked = false;
};

}  // namespace Zorp::Base
