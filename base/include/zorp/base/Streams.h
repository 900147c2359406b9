#pragma once
// Byte streams: the abstract TStream, memory streams (owned and caller-owned memory) and file streams.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "zorp/base/FileLock.h"

namespace Zorp::Base {

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position; returns the new position. Positions past the end are allowed.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
  virtual std::int64_t Size() const = 0;
  virtual void SetSize(std::int64_t newSize) = 0;

  std::int64_t Position() const { return const_cast<TStream*>(this)->Seek(0, soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, soBeginning); }

  // Reads exactly count bytes or raises EReadError ("Stream read error").
  void ReadBuffer(void* buffer, std::int64_t count);
  // Writes exactly count bytes or raises EWriteError ("Stream write error").
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies count bytes from source (count 0: the whole source from its start); returns the bytes copied.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A stream over a block of memory; Memory() points at its first byte (nullptr when empty).
class TCustomMemoryStream : public TStream {
 public:
  virtual const std::uint8_t* Memory() const = 0;
  // Writes the whole content to another stream.
  void SaveToStream(TStream& destination) const;
};

// The whole content of a memory stream, in place (empty when there is none).
std::span<const std::uint8_t> MemoryOf(const TCustomMemoryStream& data);
// The bytes from the stream's position to its end, in place, when it is a memory stream; nullopt for
// any other stream, whose bytes have to be read.
std::optional<std::span<const std::uint8_t>> MemoryFromPosition(const TStream& stream);
// Copies count bytes (none when count <= 0) from the source's position and moves it on: straight from
// memory when the source is a memory stream (EReadError, and nothing written, when fewer remain),
// otherwise through destination.CopyFrom.
void CopyStream(TStream& source, TStream& destination, std::int64_t count);

// A growable stream that owns its memory.
class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(FData.size()); }
  void SetSize(std::int64_t newSize) override;
  const std::uint8_t* Memory() const override { return FData.empty() ? nullptr : FData.data(); }
  std::uint8_t* Memory() { return FData.empty() ? nullptr : FData.data(); }

  void Clear();
  // Replaces the content with the whole of source (from its start); position 0 afterwards.
  void LoadFromStream(TStream& source);
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;
  // The content as a byte vector (a copy).
  std::vector<std::uint8_t> Bytes() const { return FData; }

 private:
  std::vector<std::uint8_t> FData;
  std::int64_t FPosition = 0;
};

// A read-only stream over memory the caller owns and keeps alive. Writes write nothing and report 0;
// SetSize raises EInvalidOperation.
class TUserMemoryStream : public TCustomMemoryStream {
 public:
  TUserMemoryStream(const void* memory, std::int64_t size);
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override { return FSize; }
  void SetSize(std::int64_t newSize) override;
  const std::uint8_t* Memory() const override { return FMemory; }

 private:
  const std::uint8_t* FMemory;
  std::int64_t FSize;
  std::int64_t FPosition = 0;
};

enum TFileMode { fmOpenRead, fmOpenReadWrite, fmCreate };

// A stream over a file, closed when the object dies. Opening failures raise EFOpenError or EFCreateError.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, TFileMode mode);
  // Takes over an open read-write descriptor of the file fileName (closed with the object, also
  // when this constructor raises EFOpenError).
  TFileStream(int handle, const std::string& fileName);
  ~TFileStream() override;
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override;
  void SetSize(std::int64_t newSize) override;
  const std::string& FileName() const { return FFileName; }
  // The operating system's descriptor of the file.
  int Handle() const;
  // Flushes buffered writes to the operating system and the disk.
  void Flush();
  // Flushes buffered writes to the operating system only.
  void FlushBuffer();

 private:
  std::string FFileName;
  std::FILE* FFile = nullptr;
};

// A read-only stream over a file, made for reading metadata with few system calls: the size is
// taken once when the file is opened, short reads are served from a 64 KiB window of the file
// read with one pread, and long reads go straight into the caller's buffer. Only a regular file is
// opened (EFOpenError otherwise, as for any opening failure). Writes write nothing and report 0;
// SetSize raises EInvalidOperation. A file that shrinks meanwhile reads short at its new end.
class TFileReadStream : public TStream {
 public:
  explicit TFileReadStream(const std::string& fileName);
  ~TFileReadStream() override;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override { return FSize; }
  void SetSize(std::int64_t newSize) override;
  // The file as it was when it was opened.
  const TFileIdentity& Identity() const { return FIdentity; }
  // The operating system's descriptor of the file.
  int Handle() const { return FHandle; }

  static constexpr std::int64_t WindowSize = 64 * 1024;

 private:
  int FHandle = -1;
  TFileIdentity FIdentity;
  std::string FFileName;
  std::int64_t FSize = 0;
  std::int64_t FPosition = 0;
  std::unique_ptr<std::uint8_t[]> FWindow;  // WindowSize bytes once used, not zero-filled
  std::int64_t FWindowStart = 0;
  std::int64_t FWindowLength = 0;  // bytes of FWindow that hold the file from FWindowStart
};

// Something that saves itself to and loads itself from a stream.
class IStreamPersist {
 public:
  virtual ~IStreamPersist() = default;
  virtual void LoadFromStream(TStream& stream) = 0;
  virtual void SaveToStream(TStream& stream) = 0;
};

}  // namespace Zorp::Base
