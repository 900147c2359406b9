#pragma once
// Internal: photos and the files the library replaces are regular files; a FIFO, a device or a
// folder is refused before anything reads from it (a FIFO would block the reader forever).

#include <sys/stat.h>

#include <string>

namespace Zorp::Base::Detail {

// Raises EFOpenError for fileName unless status describes a regular file.
void EnsureRegularFile(const struct stat& status, const std::string& fileName);

}  // namespace Zorp::Base::Detail
