#pragma once
// Replacing a file without ever leaving it half-written: the new content goes to a temporary file in
// the same folder, which is flushed to disk, given the original's owner, permission bits and extended
// attributes and renamed over the original. Until then the original is untouched; on any failure, and
// whenever the object dies without having committed, the temporary file is removed.
//
// The file is respected:
// - a file the caller may not write, or one without any write bit (even for root), is refused with
//   EFCreateError ("... Permission denied") and left alone;
// - a file with other hard links, or whose owner or extended attributes a new file cannot get, is
//   rewritten in place (same inode): its content is first copied to a backup beside it and flushed,
//   so a crash leaves the old file or a complete backup; the backup is removed on success;
// - a symbolic link is followed: the file it points to is replaced and the link stays;
// - a FIFO, device or folder is refused at once with EFOpenError.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zorp/base/Streams.h"

namespace Zorp::Base {

class TSafeFileReplacement {
 public:
  // Creates the temporary file beside fileName (a symbolic link is followed, so the file it points
  // to is the one replaced). Raises EFCreateError when the file may not be written or the temporary
  // file cannot be created, EFOpenError when fileName is no regular file.
  explicit TSafeFileReplacement(const std::string& fileName);
  // Removes the temporary file unless Commit succeeded.
  ~TSafeFileReplacement();
  TSafeFileReplacement(const TSafeFileReplacement&) = delete;
  TSafeFileReplacement& operator=(const TSafeFileReplacement&) = delete;

  // The temporary file, open for reading and writing. Not available after Commit.
  TStream& Stream();
  // The file that Commit replaces, and the temporary file.
  const std::string& FileName() const { return FFileName; }
  const std::string& TempFileName() const { return FTempFileName; }

  // Flushes the temporary file to disk, gives it the owner, permission bits and extended attributes
  // of the file it replaces, closes it and renames it over that file (or rewrites that file in place,
  // see above); then flushes the folder. Raises EWriteError or EFCreateError on failure, leaving the
  // original as it was.
  void Commit();
  bool Committed() const { return FCommitted; }

 private:
  void RemoveTemporary() noexcept;
  void RewriteInPlace();

  std::string FFileName;
  std::string FTempFileName;
  std::unique_ptr<TFileStream> FStream;
  bool FCommitted = false;
};

// Replaces fileName by size bytes of data through a TSafeFileReplacement.
void SafeWriteFile(const std::string& fileName, const void* data, std::int64_t size);

// A file's access and modification times, read before a rewrite and given back afterwards so that
// an edit of the metadata does not make a photo look newly taken to programs sorting by file date.
struct TFileTimes {
  std::int64_t AccessSeconds = 0, AccessNanoseconds = 0;
  std::int64_t ModificationSeconds = 0, ModificationNanoseconds = 0;
};
// Raises EFOpenError when the file cannot be examined.
TFileTimes GetFileTimes(const std::string& fileName);
// False when the times could not be set (the file is left as it is).
bool SetFileTimes(const std::string& fileName, const TFileTimes& times);

// Fault injection for tests: when set for the calling thread, Commit on that thread calls the hook with the temporary file's name after
// that file has been written and flushed, just before the rename (or, in place, after the backup and
// before the file is rewritten); an exception thrown by the hook aborts the replacement like any
// other failure. nullptr removes the hook.
void SetSafeFileCommitHook(std::function<void(const std::string& tempFileName)> hook);

}  // namespace Zorp::Base
