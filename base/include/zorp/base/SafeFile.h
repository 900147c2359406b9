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
//   rewritten in place (same inode): its content is first copied to a backup beside it
//   (".NAME.quorvane-backup") and flushed, then overwritten without being cut first, so a crash
//   leaves the old file, the new one, or a mix with a complete backup that the next load or save
//   restores (RecoverInterruptedSave); the backup is removed on success;
// - when the caller says what its load read (SetExpectedIdentity), the file is compared with it
//   under the photo's lock just before it is replaced, and a change refuses the save (EFileChanged);
// - temporary files of saves that were killed are removed by the next save in their folder;
// - a symbolic link is followed: the file it points to is replaced and the link stays;
// - a FIFO, device or folder is refused at once with EFOpenError.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "zorp/base/FileCopy.h"
#include "zorp/base/FileLock.h"
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

  // Appends length bytes of the open file source, from sourceOffset on, to the temporary file the
  // cheapest way the file system allows (CopyFileRange: a clone where the source's offset and the
  // temporary file's end lie at the same place within a clone block). Returns the method used.
  TCopyMethod AppendFileRange(int source, std::int64_t sourceOffset, std::int64_t length);
  // The file as the caller's load read it: Commit refuses with EFileChanged, writing nothing, when
  // the file is not that file in that state any more (replaced, rewritten, touched or removed).
  void SetExpectedIdentity(const TFileIdentity& identity) { FExpected = identity; }
  // What the constructor did about an interrupted earlier save of the file (RecoverInterruptedSave);
  // empty when there was none.
  const std::string& RecoveryNote() const { return FRecoveryNote; }

  // Flushes the temporary file to disk, gives it the owner, permission bits and extended attributes
  // of the file it replaces, closes it and renames it over that file (or rewrites that file in place,
  // see above); then flushes the folder. Raises EWriteError or EFCreateError on failure, leaving the
  // original as it was.
  void Commit();
  bool Committed() const { return FCommitted; }

 private:
  void RemoveTemporary() noexcept;
  // Raises EFileChanged when the file, as it is now (nullopt: gone), is not the expected one.
  void EnsureUnchanged(const std::optional<TFileIdentity>& now) const;
  void RewriteInPlace();

  std::string FFileName;
  std::string FTempFileName;
  std::unique_ptr<TFileStream> FStream;
  std::optional<TFileIdentity> FExpected;
  std::string FRecoveryNote;
  bool FCommitted = false;
};

// Finds the backup an interrupted in-place rewrite of fileName left beside it and acts on it, under
// the file's lock: the photo is restored from it unless it holds the complete new or the complete
// former content; then the backup is removed. Returns what it did that the user should know (that
// the photo was restored, or why it could not be), empty when nothing was left over or the photo was
// whole. Never raises.
std::string RecoverInterruptedSave(const std::string& fileName);

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
