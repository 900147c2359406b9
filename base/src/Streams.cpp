#include "zorp/base/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "RegularFile.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FormatSettings.h"
#include "zorp/base/Messages.h"

namespace Zorp::Base {


void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count < 0 || (count != 0 && Read(buffer, count) != count)) throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count < 0 || (count != 0 && Write(buffer, count) != count)) throw EWriteError(SWriteError);
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count < 0) throw EReadError(SReadError);
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
    if (count < 0) throw EReadError(SReadError);  // a source without a size
  }
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 20)));
  std::int64_t left = count;
  while (left > 0) {
    const std::int64_t n = std::min<std::int64_t>(left, static_cast<std::int64_t>(chunk.size()));
    source.ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    left -= n;
  }
  return count;
}

// Shared position arithmetic of the memory streams: the new position, never negative.
static std::int64_t SeekWithin(std::int64_t position, std::int64_t size, std::int64_t offset,
                               TSeekOrigin origin) {
  std::int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position : size;
  if (offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) return position;
  const std::int64_t target = base + offset;
  return target < 0 ? position : target;
}

// Resizes memory to size bytes (new bytes zero); memory that cannot be had raises E, not a crash.
template <typename E>
static void Resize(std::vector<std::uint8_t>& data, std::int64_t size, const char* message) {
  if (size < 0 || static_cast<std::uint64_t>(size) > data.max_size()) throw E(message);
  try {
    data.resize(static_cast<std::size_t>(size), 0);
  } catch (const std::bad_alloc&) {
    throw E(message);
  }
}

// Copies up to count bytes from memory of the given size at position; returns the bytes copied.
static std::int64_t ReadWithin(const std::uint8_t* memory, std::int64_t size, std::int64_t& position,
                               void* buffer, std::int64_t count) {
  if (count <= 0 || position >= size) return 0;
  const std::int64_t n = std::min(count, size - position);
  std::memcpy(buffer, memory + position, static_cast<std::size_t>(n));
  position += n;
  return n;
}

void TCustomMemoryStream::SaveToStream(TStream& destination) const {
  destination.WriteBuffer(Memory(), Size());
}

std::span<const std::uint8_t> MemoryOf(const TCustomMemoryStream& data) {
  if (!data.Memory() || data.Size() <= 0) return {};
  return {data.Memory(), static_cast<std::size_t>(data.Size())};
}

std::optional<std::span<const std::uint8_t>> MemoryFromPosition(const TStream& stream) {
  const auto* memory = dynamic_cast<const TCustomMemoryStream*>(&stream);
  if (memory == nullptr) return std::nullopt;
  const std::span<const std::uint8_t> all = MemoryOf(*memory);
  const std::int64_t position = stream.Position();
  if (position >= static_cast<std::int64_t>(all.size())) return std::span<const std::uint8_t>();
  return all.subspan(static_cast<std::size_t>(position));
}

void CopyStream(TStream& source, TStream& destination, std::int64_t count) {
  if (count <= 0) return;
  if (const auto memory = MemoryFromPosition(source)) {
    if (count > static_cast<std::int64_t>(memory->size())) throw EReadError(SReadError);
    destination.WriteBuffer(memory->data(), count);
    source.Seek(count, soCurrent);
    return;
  }
  destination.CopyFrom(source, count);
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  return ReadWithin(FData.data(), Size(), FPosition, buffer, count);
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  // Checked before adding: a position near the largest offset would wrap the end around.
  if (count > std::numeric_limits<std::int64_t>::max() - FPosition) throw EWriteError(SWriteError);
  const std::int64_t end = FPosition + count;
  if (end > Size()) SetSize(end);
  std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
  FPosition = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  FPosition = SeekWithin(FPosition, Size(), offset, origin);
  return FPosition;
}

void TMemoryStream::SetSize(std::int64_t newSize) {
  if (newSize < 0) newSize = 0;
  Resize<EWriteError>(FData, newSize, SWriteError);
  if (FPosition > newSize) FPosition = newSize;
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  const std::int64_t size = source.Size();
  std::vector<std::uint8_t> data;
  Resize<EReadError>(data, size, SReadError);
  source.ReadBuffer(data.data(), size);
  FData = std::move(data);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileReadStream file(fileName);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, fmCreate);
  SaveToStream(file);
}

TUserMemoryStream::TUserMemoryStream(const void* memory, std::int64_t size)
    : FMemory(static_cast<const std::uint8_t*>(memory)), FSize(memory ? std::max<std::int64_t>(size, 0) : 0) {}

std::int64_t TUserMemoryStream::Read(void* buffer, std::int64_t count) {
  return ReadWithin(FMemory, FSize, FPosition, buffer, count);
}

std::int64_t TUserMemoryStream::Write(const void*, std::int64_t) { return 0; }

std::int64_t TUserMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  FPosition = SeekWithin(FPosition, FSize, offset, origin);
  return FPosition;
}

void TUserMemoryStream::SetSize(std::int64_t) { throw EInvalidOperation(SReadOnlyStream); }

namespace {

// Opens an existing regular file with access O_RDONLY or O_RDWR. Anything else is refused
// (EFOpenError) before it is opened and again once it is open; the open cannot wait on a FIFO
// swapped in meanwhile because it does not block (the descriptor stays non-blocking, which changes
// nothing for a regular file). Returns the descriptor and the file's status.
int OpenRegularFile(const std::string& fileName, int access, struct stat& status) {
  const auto fail = [&](int error) { throw EFOpenError(Format(SFOpenError, fileName.c_str(), std::strerror(error))); };
  if (::stat(fileName.c_str(), &status) != 0) fail(errno);
  Detail::EnsureRegularFile(status, fileName);
  const int fd = ::open(fileName.c_str(), access | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) fail(errno);
  try {
    if (::fstat(fd, &status) != 0) fail(errno);
    Detail::EnsureRegularFile(status, fileName);
  } catch (...) {
    ::close(fd);
    throw;
  }
  return fd;
}

}  // namespace

TFileReadStream::TFileReadStream(const std::string& fileName) : FFileName(fileName) {
  struct stat status {};
  FHandle = OpenRegularFile(fileName, O_RDONLY, status);
  FSize = static_cast<std::int64_t>(status.st_size);
  FIdentity = FileIdentityOf(status);
}

TFileReadStream::~TFileReadStream() {
  if (FHandle >= 0) ::close(FHandle);
}

namespace {

// Reads up to count bytes at offset, retrying when interrupted; what was read (0 at the end or on an
// error, which the caller's short read reports).
std::int64_t ReadAt(int handle, void* buffer, std::int64_t count, std::int64_t offset) {
  for (;;) {
    const ssize_t got = ::pread(handle, buffer, static_cast<std::size_t>(count), static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    return got < 0 ? 0 : static_cast<std::int64_t>(got);
  }
}

}  // namespace

std::int64_t TFileReadStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || FPosition >= FSize) return 0;
  count = std::min(count, FSize - FPosition);
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t left = count - done;
    if (FPosition >= FWindowStart && FPosition < FWindowStart + FWindowLength) {
      const std::int64_t n = std::min(left, FWindowStart + FWindowLength - FPosition);
      std::memcpy(out + done, FWindow.get() + (FPosition - FWindowStart), static_cast<std::size_t>(n));
      FPosition += n;
      done += n;
      continue;
    }
    if (left >= WindowSize) {
      const std::int64_t got = ReadAt(FHandle, out + done, left, FPosition);
      if (got == 0) break;
      FPosition += got;
      done += got;
      continue;
    }
    if (!FWindow) FWindow = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(WindowSize));
    FWindowStart = FPosition;
    FWindowLength = ReadAt(FHandle, FWindow.get(), WindowSize, FPosition);
    if (FWindowLength == 0) break;
  }
  return done;
}

std::int64_t TFileReadStream::Write(const void*, std::int64_t) { return 0; }

std::int64_t TFileReadStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  FPosition = SeekWithin(FPosition, FSize, offset, origin);
  return FPosition;
}

void TFileReadStream::SetSize(std::int64_t) { throw EInvalidOperation(SReadOnlyStream); }

void Detail::EnsureRegularFile(const struct stat& status, const std::string& fileName) {
  if (S_ISREG(status.st_mode)) return;
  const char* reason = S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : SNotARegularFile;
  throw EFOpenError(Format(SFOpenError, fileName.c_str(), reason));
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : FFileName(fileName) {
  auto fail = [&](int error) {
    if (mode == fmCreate) throw EFCreateError(Format(SFCreateError, fileName.c_str(), std::strerror(error)));
    throw EFOpenError(Format(SFOpenError, fileName.c_str(), std::strerror(error)));
  };
  struct stat status {};
  const int fd = mode == fmCreate ? ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)
                                  : OpenRegularFile(fileName, mode == fmOpenRead ? O_RDONLY : O_RDWR, status);
  if (fd < 0) fail(errno);
  try {
    // Reads and writes through stdio block as usual.
    if (mode != fmCreate && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) fail(errno);
    FFile = ::fdopen(fd, mode == fmOpenRead ? "rb" : mode == fmOpenReadWrite ? "r+b" : "w+b");
    if (!FFile) fail(errno);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

TFileStream::TFileStream(int handle, const std::string& fileName) : FFileName(fileName) {
  FFile = ::fdopen(handle, "r+b");
  if (!FFile) {
    const int error = errno;
    ::close(handle);
    throw EFOpenError(Format(SFOpenError, fileName.c_str(), std::strerror(error)));
  }
}

int TFileStream::Handle() const { return ::fileno(FFile); }

TFileStream::~TFileStream() {
  if (FFile) std::fclose(FFile);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return static_cast<std::int64_t>(std::fread(buffer, 1, static_cast<std::size_t>(count), FFile));
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return static_cast<std::int64_t>(std::fwrite(buffer, 1, static_cast<std::size_t>(count), FFile));
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  if (!(origin == soCurrent && offset == 0)) ::fseeko(FFile, static_cast<off_t>(offset), whence);
  // A seek writes out the buffered bytes; when that failed (a full disk), they are lost.
  if (std::ferror(FFile)) throw EWriteError(SWriteError);
  return static_cast<std::int64_t>(::ftello(FFile));
}

std::int64_t TFileStream::Size() const {
  const off_t here = ::ftello(FFile);
  ::fseeko(FFile, 0, SEEK_END);
  const off_t size = ::ftello(FFile);
  ::fseeko(FFile, here, SEEK_SET);
  return static_cast<std::int64_t>(size);
}

void TFileStream::SetSize(std::int64_t newSize) {
  // Unwritten bytes must not become a hole of zeros that a larger size would then hide.
  FlushBuffer();
  if (::ftruncate(::fileno(FFile), static_cast<off_t>(newSize)) != 0) throw EWriteError(SWriteError);
  if (Position() > newSize) Seek(newSize, soBeginning);
}

// The stream's error flag also tells of buffered bytes that an earlier flush (on a seek) failed
// to write: the file then lacks them, whatever this flush does.
void TFileStream::FlushBuffer() {
  if (std::fflush(FFile) != 0 || std::ferror(FFile)) throw EWriteError(SWriteError);
}

void TFileStream::Flush() {
  FlushBuffer();
  if (::fsync(::fileno(FFile)) != 0) throw EWriteError(SWriteError);
}

}  // namespace Zorp::Base
