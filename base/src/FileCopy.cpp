// The copy of a file range: clone, kernel copy, buffer copy, each falling back to the next where the
// file system or kernel refuses it.

#include "zorp/base/FileCopy.h"

#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "SaveBackup.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/Messages.h"

namespace Zorp::Base {
namespace {

thread_local TCopyMethod CheapestMethod = TCopyMethod::Clone;

// Errors that say the file system or kernel does not offer the method here, not that the copy failed.
bool NotOffered(int error) {
  return error == EOPNOTSUPP || error == ENOTTY || error == EXDEV || error == EINVAL || error == ENOSYS ||
         error == ETXTBSY || error == EPERM;
}

// Copies through the kernel; false (nothing copied) when the kernel does not offer it here.
bool KernelCopy(int source, std::int64_t sourceOffset, int target, std::int64_t targetOffset, std::int64_t length) {
  bool first = true;
  while (length > 0) {
    loff_t from = sourceOffset, to = targetOffset;
    const ssize_t copied = ::copy_file_range(source, &from, target, &to, static_cast<std::size_t>(length), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied < 0 && first && NotOffered(errno)) return false;
    if (copied < 0) throw EWriteError(SWriteError);
    if (copied == 0) throw EReadError(SReadError);  // the source ended early
    first = false;
    sourceOffset += copied;
    targetOffset += copied;
    length -= copied;
  }
  return true;
}

void PlainCopy(int source, std::int64_t sourceOffset, int target, std::int64_t targetOffset, std::int64_t length) {
  bool readFailed = false;
  if (Detail::CopyThroughBuffer(source, sourceOffset, target, targetOffset, length, &readFailed) == 0) return;
  if (readFailed) throw EReadError(SReadError);
  throw EWriteError(SWriteError);
}

// The cheapest copy from the kernel copy on.
TCopyMethod Copy(int source, std::int64_t sourceOffset, int target, std::int64_t targetOffset, std::int64_t length) {
  if (length <= 0) return TCopyMethod::KernelCopy;
  if (CheapestMethod != TCopyMethod::PlainCopy && KernelCopy(source, sourceOffset, target, targetOffset, length))
    return TCopyMethod::KernelCopy;
  PlainCopy(source, sourceOffset, target, targetOffset, length);
  return TCopyMethod::PlainCopy;
}

}  // namespace

std::int64_t CloneBlockSize(int handle) {
  struct statfs fs {};
  if (::fstatfs(handle, &fs) != 0) return 0;
  if (fs.f_type != XFS_SUPER_MAGIC && fs.f_type != BTRFS_SUPER_MAGIC) return 0;
  return fs.f_bsize > 0 ? static_cast<std::int64_t>(fs.f_bsize) : 0;
}

TCopyMethod CopyFileRange(int source, std::int64_t sourceOffset, int target, std::int64_t targetOffset,
                          std::int64_t length) {
  struct stat sourceStatus {};
  if (::fstat(source, &sourceStatus) != 0 || sourceOffset < 0 || length < 0 ||
      length > sourceStatus.st_size - sourceOffset)
    throw EReadError(SReadError);
  const std::int64_t block = CheapestMethod == TCopyMethod::Clone ? CloneBlockSize(target) : 0;
  // Clones share whole blocks: the part before the first block boundary is copied (the target
  // must reach the clone's start), the rest shared.
  if (block > 0 && sourceOffset % block == targetOffset % block && sourceOffset + length == sourceStatus.st_size) {
    const std::int64_t head = (block - sourceOffset % block) % block;
    if (head < length) {
      if (head > 0) Copy(source, sourceOffset, target, targetOffset, head);
      file_clone_range range{};
      range.src_fd = source;
      range.src_offset = static_cast<std::uint64_t>(sourceOffset + head);
      range.src_length = static_cast<std::uint64_t>(length - head);
      range.dest_offset = static_cast<std::uint64_t>(targetOffset + head);
      if (::ioctl(target, FICLONERANGE, &range) == 0) return TCopyMethod::Clone;
      if (!NotOffered(errno)) throw EWriteError(SWriteError);
      return Copy(source, sourceOffset + head, target, targetOffset + head, length - head);
    }
  }
  return Copy(source, sourceOffset, target, targetOffset, length);
}

void SetCheapestCopyMethod(TCopyMethod method) { CheapestMethod = method; }

namespace Detail {

int CopyThroughBuffer(int from, std::int64_t fromOffset, int to, std::int64_t toOffset, std::int64_t length,
                      bool* readFailed) {
  const auto fail = [&](bool reading, int error) {
    if (readFailed) *readFailed = reading;
    return error;
  };
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::clamp<std::int64_t>(length, 0, 1 << 20)));
  for (std::int64_t done = 0; done < length;) {
    const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(length - done, static_cast<std::int64_t>(buffer.size())));
    const ssize_t got = ::pread(from, buffer.data(), wanted, static_cast<off_t>(fromOffset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(true, errno);
    if (got == 0) return fail(true, EIO);  // the source is shorter than it was
    for (ssize_t put = 0; put < got;) {
      const ssize_t written = ::pwrite(to, buffer.data() + put, static_cast<std::size_t>(got - put),
                                       static_cast<off_t>(toOffset + done + put));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return fail(false, written < 0 ? errno : EIO);
      put += written;
    }
    done += got;
  }
  return 0;
}

}  // namespace Detail
}  // namespace Zorp::Base
