#pragma once
// Internal: the backup an in-place rewrite keeps beside a photo, and the names of Quorvane's own
// files beside a photo.
//
// A backup holds the photo's former content followed by a trailer that says which file it belongs
// to (device and inode, which an in-place rewrite keeps) and the size and digest of the former and
// the new content. It is complete and on disk before the photo is touched, so after a crash at any
// moment the next load or save of the photo tells a finished rewrite (new content), one that never
// began (old content) and one that was cut (anything else, restored from the backup).

#include <unistd.h>

#include <cstdint>
#include <string>

namespace Zorp::Base::Detail {

// Closes a descriptor with the object.
class TDescriptor {
 public:
  explicit TDescriptor(int fd) : FHandle(fd) {}
  ~TDescriptor() {
    if (FHandle >= 0) ::close(FHandle);
  }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;
  int Handle() const { return FHandle; }

 private:
  int FHandle;
};


// ".NAME.quorvane-backup" beside the photo (NAME cut to 200 bytes).
std::string BackupNameFor(const std::string& fileName);
// The pattern of a temporary file beside fileName for mkostemp: ".NAME.quorvane-PID-XXXXXX".
std::string TemporaryPatternFor(const std::string& fileName);

// A digest of bytes, for telling contents apart (not against an adversary).
class TContentDigest {
 public:
  void Add(const void* data, std::size_t size);
  std::uint64_t Value() const { return FValue; }

 private:
  std::uint64_t FValue = 14695981039346656037ULL;
};

struct TBackupTrailer {
  std::uint64_t Device = 0, Inode = 0;
  std::int64_t OldSize = 0;
  std::uint64_t OldDigest = 0;
  std::int64_t NewSize = 0;
  std::uint64_t NewDigest = 0;
};
inline constexpr std::int64_t BackupTrailerSize = 64;
void EncodeBackupTrailer(const TBackupTrailer& trailer, std::uint8_t (&bytes)[BackupTrailerSize]);
// False when the bytes are no complete trailer.
bool DecodeBackupTrailer(const std::uint8_t (&bytes)[BackupTrailerSize], TBackupTrailer& trailer);

// Size and digest of the first size bytes of the open file fd (size < 0: all of it); false on a
// read error or when the file is shorter.
bool DigestFile(int fd, std::int64_t size, std::int64_t& read, std::uint64_t& digest);

// Copies length bytes of the open file from, from fromOffset on, into to at toOffset through a
// buffer. Returns 0, or the error number with readFailed (when given) telling whether reading
// failed; a source that ends early reads as EIO. Defined in FileCopy.cpp.
int CopyThroughBuffer(int from, std::int64_t fromOffset, int to, std::int64_t toOffset, std::int64_t length,
                      bool* readFailed = nullptr);

// Copies length bytes from the start of from over the start of to without cutting to first, then
// cuts to to length and flushes it to disk: a crash leaves to's old bytes where no new ones were
// written yet, never an empty file. Returns 0 or the error number.
int OverwriteContent(int from, int to, std::int64_t length);

// Makes the directory entry of a rename, a new file or a removal beside fileName durable. Failing
// here changes nothing for the caller.
void SyncFolderOf(const std::string& fileName);

// Removes the temporary files of saves that were killed, beside fileName: files of the temporary
// pattern whose process is gone and that no one holds locked. Each folder once a minute at most.
void RemoveLeftoverTemporaries(const std::string& fileName);

}  // namespace Zorp::Base::Detail
