#pragma once
// Copying a range of one open file into another the cheapest way the file system allows: sharing
// the blocks (a clone, on file systems such as XFS with reflink or btrfs), copying inside the
// kernel (copy_file_range), or through a buffer. A save copies the unchanged image data of a photo
// this way, so that changing a few bytes of metadata does not cost the whole file twice through
// user space.

#include <cstdint>

namespace Zorp::Base {

enum class TCopyMethod : std::uint8_t {
  Clone,       // at least the aligned part shares its blocks with the source
  KernelCopy,  // copied inside the kernel
  PlainCopy    // read and written through a buffer
};

// Copies length bytes of the file open as source, from sourceOffset on, into the file open as
// target at targetOffset (which must not be behind the target's end), without moving either
// descriptor's file position. A clone is tried when both offsets lie at the same place within a
// clone block (CloneBlockSize) and the range reaches the source's end; what cannot be cloned is
// copied. Returns the cheapest method that was used; raises EReadError when the source holds fewer
// bytes, EWriteError when the target cannot take them.
TCopyMethod CopyFileRange(int source, std::int64_t sourceOffset, int target, std::int64_t targetOffset,
                          std::int64_t length);

// The size of the blocks a clone shares on the file system of the open file, or 0 when that file
// system is not one that shares blocks.
std::int64_t CloneBlockSize(int handle);

// For tests: the cheapest method CopyFileRange may try on the calling thread (Clone: all of them).
void SetCheapestCopyMethod(TCopyMethod method);

}  // namespace Zorp::Base
