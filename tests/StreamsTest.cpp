#include "zorp/base/Streams.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <tuple>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "ByteBuilder.h"
#include "TestHelpers.h"
#include "zorp/base/Exceptions.h"
#include "zorp/exif/StreamHelper.h"

using namespace Zorp::Base;
using namespace Zorp::Exif;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes ReadAll(TStream& stream) {
  Bytes bytes(static_cast<std::size_t>(stream.Size()));
  stream.SetPosition(0);
  stream.ReadBuffer(bytes.data(), stream.Size());
  return bytes;
}

// A path in the temporary folder, removed with the object.
class TTempPath {
 public:
  TTempPath() {
    static int counter = 0;
    FPath = (std::filesystem::temp_directory_path() /
             ("streams-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".bin"))
                .string();
  }
  ~TTempPath() { std::filesystem::remove(FPath); }
  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};

}  // namespace

// ---- TMemoryStream ------------------------------------------------------------------------------

TEST(AMemoryStream, GrowsOnWriteAndZeroFillsAGapLeftBySeekingPastTheEnd) {
  TMemoryStream stream;
  EXPECT_EQ(stream.Memory(), nullptr);
  stream.WriteBuffer("ab", 2);
  EXPECT_EQ(stream.Seek(3, soCurrent), 5);
  stream.WriteBuffer("c", 1);
  EXPECT_EQ(stream.Bytes(), (Bytes{'a', 'b', 0, 0, 0, 'c'}));
  EXPECT_EQ(stream.Position(), 6);
}

TEST(AMemoryStream, ReadsWhatIsLeftAndRaisesOnAShortReadBuffer) {
  TMemoryStream stream;
  stream.WriteBuffer("abcd", 4);
  stream.SetPosition(2);
  char buffer[4] = {};
  EXPECT_EQ(stream.Read(buffer, 4), 2);
  EXPECT_EQ(std::string(buffer, 2), "cd");
  EXPECT_EQ(stream.Read(buffer, 4), 0);
  stream.SetPosition(3);
  EXPECT_THROW_MSG(stream.ReadBuffer(buffer, 2), EReadError, "Stream read error");
  stream.SetPosition(10);
  EXPECT_EQ(stream.Read(buffer, 1), 0);
}

TEST(AMemoryStream, KeepsItsPositionOnASeekBeforeTheStart) {
  TMemoryStream stream;
  stream.WriteBuffer("abcd", 4);
  stream.SetPosition(1);
  EXPECT_EQ(stream.Seek(-2, soCurrent), 1);
  EXPECT_EQ(stream.Seek(-1, soEnd), 3);
}

TEST(AMemoryStream, PullsThePositionBackWhenShrunk) {
  TMemoryStream stream;
  stream.WriteBuffer("abcd", 4);
  stream.SetSize(2);
  EXPECT_EQ(stream.Position(), 2);
  EXPECT_EQ(stream.Bytes(), (Bytes{'a', 'b'}));
  stream.Clear();
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(stream.Position(), 0);
}

TEST(AMemoryStream, LoadsTheWholeSourceWhateverItsPosition) {
  TMemoryStream source, copy;
  source.WriteBuffer("xyz", 3);
  copy.LoadFromStream(source);
  EXPECT_EQ(copy.Bytes(), (Bytes{'x', 'y', 'z'}));
  EXPECT_EQ(copy.Position(), 0);
}

TEST(AMemoryStream, CopiesTheWholeSourceForCountZeroOrCountBytesFromItsPosition) {
  TMemoryStream source, target;
  source.WriteBuffer("hello", 5);
  EXPECT_EQ(target.CopyFrom(source, 0), 5);
  source.SetPosition(1);
  EXPECT_EQ(target.CopyFrom(source, 3), 3);
  EXPECT_EQ(ReadAll(target), (Bytes{'h', 'e', 'l', 'l', 'o', 'e', 'l', 'l'}));
  source.SetPosition(4);
  EXPECT_THROW(target.CopyFrom(source, 2), EReadError);
  EXPECT_THROW(target.CopyFrom(source, -1), EReadError);
}

TEST(AMemoryStream, SavesToAndLoadsFromAFile) {
  TTempPath path;
  TMemoryStream stream;
  stream.WriteBuffer("\x01\x02\x03", 3);
  stream.SaveToFile(path.Path());
  TMemoryStream loaded;
  loaded.LoadFromFile(path.Path());
  EXPECT_EQ(loaded.Bytes(), (Bytes{1, 2, 3}));
}

// Positions and sizes next to the largest offset: every step either fails cleanly or clamps, none wraps.
struct TOverflowCase {
  const char* Name;
  std::int64_t Position;
  // Returns the result of the step; raises when the step fails.
  std::function<std::int64_t(TMemoryStream&)> Step;
  bool Raises;  // EStreamError expected
  std::int64_t Result;
};

void PrintTo(const TOverflowCase& step, std::ostream* out) { *out << step.Name; }

class AMemoryStreamAtTheLargestOffset : public ::testing::TestWithParam<TOverflowCase> {};

constexpr std::int64_t Largest = std::numeric_limits<std::int64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Steps, AMemoryStreamAtTheLargestOffset,
    ::testing::Values(
        TOverflowCase{"WriteWrappingTheEnd", Largest - 2, [](TMemoryStream& s) { return s.Write("12345678", 8); }, true,
                      0},
        TOverflowCase{"WriteOneByteAtTheLargest", Largest, [](TMemoryStream& s) { return s.Write("1", 1); }, true, 0},
        TOverflowCase{"WriteThatCannotBeAllocated", Largest - 10, [](TMemoryStream& s) { return s.Write("12", 2); },
                      true, 0},
        TOverflowCase{"SetSizeThatCannotBeAllocated", 0,
                      [](TMemoryStream& s) {
                        s.SetSize(Largest);
                        return s.Size();
                      },
                      true, 0},
        TOverflowCase{"CopyFromWrappingTheEnd", Largest - 2,
                      [](TMemoryStream& s) {
                        TMemoryStream source;
                        source.WriteBuffer("12345678", 8);
                        return s.CopyFrom(source, 0);
                      },
                      true, 0},
        TOverflowCase{"SeekForwardFromTheCurrent", Largest - 2, [](TMemoryStream& s) { return s.Seek(10, soCurrent); },
                      false, Largest - 2},
        TOverflowCase{"SeekForwardFromTheEnd", Largest - 2, [](TMemoryStream& s) { return s.Seek(Largest, soEnd); },
                      false, Largest - 2},
        TOverflowCase{"SeekBackByTheSmallest", 3,
                      [](TMemoryStream& s) { return s.Seek(std::numeric_limits<std::int64_t>::min(), soCurrent); },
                      false, 3},
        TOverflowCase{"ReadFindsNothing", Largest - 2,
                      [](TMemoryStream& s) {
                        char buffer[8];
                        return s.Read(buffer, 8);
                      },
                      false, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_P(AMemoryStreamAtTheLargestOffset, FailsCleanlyOrKeepsItsPlace) {
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer ends the program where operator new would raise bad_alloc.
  if (std::string(GetParam().Name).find("CannotBeAllocated") != std::string::npos)
    GTEST_SKIP() << "a failing allocation aborts under the address sanitizer";
#endif
  TMemoryStream stream;
  stream.WriteBuffer("abcd", 4);
  stream.SetPosition(GetParam().Position);
  if (GetParam().Raises) {
    EXPECT_THROW(GetParam().Step(stream), EStreamError);
  } else {
    EXPECT_EQ(GetParam().Step(stream), GetParam().Result);
  }
  EXPECT_EQ(stream.Bytes(), (Bytes{'a', 'b', 'c', 'd'}));  // nothing written or lost
}

// ---- TUserMemoryStream --------------------------------------------------------------------------

TEST(AUserMemoryStream, ReadsTheCallersMemory) {
  const std::uint8_t memory[] = {1, 2, 3, 4};
  TUserMemoryStream stream(memory, 4);
  EXPECT_EQ(stream.Memory(), memory);
  stream.SetPosition(1);
  std::uint8_t buffer[4] = {};
  EXPECT_EQ(stream.Read(buffer, 4), 3);
  EXPECT_EQ(buffer[0], 2);
  EXPECT_EQ(buffer[2], 4);
  EXPECT_THROW(stream.ReadBuffer(buffer, 1), EReadError);
}

TEST(AUserMemoryStream, WritesNothingAndCannotBeResized) {
  std::uint8_t memory[] = {1, 2, 3};
  TUserMemoryStream stream(memory, 3);
  EXPECT_EQ(stream.Write("xy", 2), 0);
  EXPECT_EQ(memory[0], 1);
  EXPECT_EQ(stream.Size(), 3);
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_THROW_MSG(stream.WriteBuffer("x", 1), EWriteError, "Stream write error");
  EXPECT_THROW_MSG(stream.SetSize(1), EInvalidOperation, "Stream is read-only");
}

TEST(AUserMemoryStream, IsEmptyOverNoMemory) {
  TUserMemoryStream stream(nullptr, 10);
  EXPECT_EQ(stream.Size(), 0);
  std::uint8_t byte;
  EXPECT_EQ(stream.Read(&byte, 1), 0);
}

// ---- Memory views and copies ---------------------------------------------------------------------

TEST(AnyStream, ShowsItsMemoryFromItsPositionOnlyWhenInMemoryAndCopiesFromThere) {
  const std::uint8_t bytes[] = {'a', 'b', 'c', 'd'};
  TTempPath path;
  TMemoryStream owned;
  owned.WriteBuffer(bytes, 4);
  TUserMemoryStream user(bytes, 4);
  TFileStream file(path.Path(), fmCreate);
  file.WriteBuffer(bytes, 4);
  for (const auto& [stream, inMemory] : {std::pair<TStream*, bool>{&owned, true}, {&user, true}, {&file, false}}) {
    stream->SetPosition(1);
    const auto memory = MemoryFromPosition(*stream);
    ASSERT_EQ(memory.has_value(), inMemory);
    if (inMemory) {
      EXPECT_EQ(Bytes(memory->begin(), memory->end()), (Bytes{'b', 'c', 'd'}));
    }
    TMemoryStream copy;
    CopyStream(*stream, copy, 2);
    CopyStream(*stream, copy, 0);
    EXPECT_EQ(copy.Bytes(), (Bytes{'b', 'c'}));
    EXPECT_THROW(CopyStream(*stream, copy, 2), EReadError);
    stream->SetPosition(9);
    if (inMemory) {
      EXPECT_TRUE(MemoryFromPosition(*stream)->empty());
    }
  }
  EXPECT_EQ(MemoryOf(TMemoryStream()).size(), 0u);
}

// ---- TFileStream --------------------------------------------------------------------------------

TEST(AFileStream, WritesSeeksAndReadsBack) {
  TTempPath path;
  {
    TFileStream file(path.Path(), fmCreate);
    file.WriteBuffer("abcdef", 6);
    EXPECT_EQ(file.Size(), 6);
    EXPECT_EQ(file.Seek(-2, soEnd), 4);
    char two[2];
    file.ReadBuffer(two, 2);
    EXPECT_EQ(std::string(two, 2), "ef");
    EXPECT_THROW(file.ReadBuffer(two, 1), EReadError);
    file.SetPosition(1);
    file.WriteBuffer("XY", 2);
    file.Flush();
  }
  TFileStream file(path.Path(), fmOpenRead);
  EXPECT_EQ(ReadAll(file), (Bytes{'a', 'X', 'Y', 'd', 'e', 'f'}));
  EXPECT_EQ(file.FileName(), path.Path());
  EXPECT_THROW(file.WriteBuffer("z", 1), EWriteError);
}

TEST(AFileStream, TruncatesAndExtendsWithSetSize) {
  TTempPath path;
  TFileStream file(path.Path(), fmCreate);
  file.WriteBuffer("abcdef", 6);
  file.SetSize(3);
  EXPECT_EQ(file.Size(), 3);
  EXPECT_EQ(file.Position(), 3);
  file.SetSize(5);
  EXPECT_EQ(ReadAll(file), (Bytes{'a', 'b', 'c', 0, 0}));
}

TEST(AFileStream, AllowsPositionsPastTheEndWhereReadsFindNothing) {
  TTempPath path;
  TFileStream file(path.Path(), fmCreate);
  file.WriteBuffer("ab", 2);
  EXPECT_EQ(file.Seek(100, soBeginning), 100);
  std::uint8_t byte;
  EXPECT_EQ(file.Read(&byte, 1), 0);
  EXPECT_EQ(file.Size(), 2);
}

TEST(AFileStream, ReportsFilesThatCannotBeOpenedOrCreated) {
  const std::string missing = "/nonexistent-folder-for-tests/photo.jpg";
  EXPECT_THROW_MSG(TFileStream(missing, fmOpenRead), EFOpenError,
                   "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_THROW(TFileStream(missing, fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream(missing, fmOpenRead), EFileStreamError);
}

// ---- Files that are no photos --------------------------------------------------------------------

// ---- TFileReadStream -----------------------------------------------------------------------------

// Reads anywhere in a file larger than several windows give the file's bytes: within a window,
// across its end, longer than a window, at and past the end, and after seeking backwards.
TEST(AFileReadStream, ReadsTheFilesBytesWhereverItIsPositioned) {
  TTempPath temp;
  Bytes content(200000);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  {
    TFileStream file(temp.Path(), fmCreate);
    file.WriteBuffer(content.data(), static_cast<std::int64_t>(content.size()));
  }
  struct TRead {
    std::int64_t At, Count, Expected;
  };
  const std::int64_t window = TFileReadStream::WindowSize;
  const TRead reads[] = {{0, 2, 2},           {10, 100, 100},           {window - 3, 10, 10},   {5, window + 9, window + 9},
                         {150000, 60000, 50000}, {199999, 5, 1},       {200000, 5, 0},         {250000, 5, 0},
                         {window * 2 + 1, 1, 1}, {3, 4, 4},            {0, 200000, 200000}};
  TFileReadStream stream(temp.Path());
  EXPECT_EQ(stream.Size(), 200000);
  for (const TRead& r : reads) {
    stream.SetPosition(r.At);
    Bytes got(static_cast<std::size_t>(r.Count));
    ASSERT_EQ(stream.Read(got.data(), r.Count), r.Expected) << r.At;
    got.resize(static_cast<std::size_t>(r.Expected));
    EXPECT_EQ(got, Bytes(content.begin() + std::min<std::int64_t>(r.At, 200000),
                         content.begin() + std::min<std::int64_t>(r.At, 200000) + r.Expected))
        << r.At;
    EXPECT_EQ(stream.Position(), r.At + r.Expected);
  }
  EXPECT_EQ(stream.Write(content.data(), 4), 0);
  EXPECT_THROW(stream.SetSize(10), EInvalidOperation);

  // A file cut short meanwhile reads short at its new end; ReadBuffer reports it.
  std::filesystem::resize_file(temp.Path(), 100000);
  stream.SetPosition(window * 2);
  Bytes rest(1000);
  EXPECT_EQ(stream.Read(rest.data(), 1000), 0);
  stream.SetPosition(99990);
  EXPECT_THROW(stream.ReadBuffer(rest.data(), 100), EReadError);
}

enum TOddFile { ofFifo, ofFolder, ofDevice };
enum TOpener { opReadStream, opReadWriteStream, opLoadFromFile, opFileReadStream };

// Opens the writing end of a FIFO after a grace period, again and again until stopped, so that a reader
// blocked on it wakes up and its test fails instead of hanging.
class TFifoRelease {
 public:
  explicit TFifoRelease(const std::string& path)
      : FThread([this, path](std::stop_token stop) {
          std::unique_lock lock(FMutex);
          std::chrono::milliseconds wait(2000);
          while (!FWake.wait_for(lock, stop, wait, [] { return false; }) && !stop.stop_requested()) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) ::close(fd);
            wait = std::chrono::milliseconds(50);
          }
        }) {}

 private:
  std::mutex FMutex;
  std::condition_variable_any FWake;
  std::jthread FThread;
};

class AFileThatIsNoPhoto : public ::testing::TestWithParam<std::tuple<TOddFile, TOpener>> {};

std::string OddFileCaseName(const ::testing::TestParamInfo<std::tuple<TOddFile, TOpener>>& info) {
  static const char* const kinds[] = {"Fifo", "Folder", "Device"};
  static const char* const openers[] = {"ReadStream", "ReadWriteStream", "LoadFromFile", "FileReadStream"};
  return std::string(kinds[std::get<0>(info.param)]) + openers[std::get<1>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Kinds, AFileThatIsNoPhoto,
                         ::testing::Combine(::testing::Values(ofFifo, ofFolder, ofDevice),
                                            ::testing::Values(opReadStream, opReadWriteStream, opLoadFromFile, opFileReadStream)),
                         OddFileCaseName);

TEST_P(AFileThatIsNoPhoto, IsRefusedAtOnceInsteadOfRead) {
  const auto [kind, opener] = GetParam();
  TTempPath temp;
  std::string path = temp.Path() + ".jpg";
  if (kind == ofFifo) {
    ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  } else if (kind == ofFolder) {
    ASSERT_TRUE(std::filesystem::create_directory(path));
  }
  if (kind == ofDevice) path = "/dev/null";
  TFifoRelease release(path);

  const auto start = std::chrono::steady_clock::now();
  const std::string message =
      "Cannot open file \"" + path + "\". " + (kind == ofFolder ? "Is a directory" : "Not a regular file");
  switch (opener) {
    case opReadStream:
      EXPECT_THROW_MSG(TFileStream(path, fmOpenRead), EFOpenError, message);
      break;
    case opReadWriteStream:
      EXPECT_THROW_MSG(TFileStream(path, fmOpenReadWrite), EFOpenError, message);
      break;
    case opLoadFromFile:
      EXPECT_THROW_MSG(TMemoryStream().LoadFromFile(path), EFOpenError, message);
      break;
    case opFileReadStream:
      EXPECT_THROW_MSG(TFileReadStream{path}, EFOpenError, message);
      break;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  if (kind != ofDevice) std::filesystem::remove(path);
}

// ---- Byte-order primitives ----------------------------------------------------------------------

class AStreamPrimitive : public ::testing::TestWithParam<TByteOrder> {
 protected:
  // The bytes in the test's byte order, given big-endian.
  Bytes Ordered(Bytes bigEndian) const {
    if (GetParam() == boLittleEndian) std::reverse(bigEndian.begin(), bigEndian.end());
    return bigEndian;
  }
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, AStreamPrimitive, ::testing::Values(boLittleEndian, boBigEndian),
                         [](const auto& info) { return info.param == boBigEndian ? "Motorola" : "Intel"; });

TEST_P(AStreamPrimitive, WritesIntegersInTheByteOrder) {
  TMemoryStream stream;
  WriteWord(stream, GetParam(), 0x1234);
  EXPECT_EQ(stream.Bytes(), Ordered({0x12, 0x34}));
  stream.Clear();
  WriteLongWord(stream, GetParam(), 0x12345678);
  EXPECT_EQ(stream.Bytes(), Ordered({0x12, 0x34, 0x56, 0x78}));
  stream.Clear();
  WriteSmallInt(stream, GetParam(), -2);
  EXPECT_EQ(stream.Bytes(), Ordered({0xFF, 0xFE}));
  stream.Clear();
  WriteLongInt(stream, GetParam(), -2);
  EXPECT_EQ(stream.Bytes(), Ordered({0xFF, 0xFF, 0xFF, 0xFE}));
  stream.Clear();
  WriteDouble(stream, GetParam(), 1.5);
  EXPECT_EQ(stream.Bytes(), Ordered({0x3F, 0xF8, 0, 0, 0, 0, 0, 0}));
}

TEST_P(AStreamPrimitive, ReadsWhatWasWritten) {
  TMemoryStream stream;
  WriteWord(stream, GetParam(), 0xBEEF);
  WriteSmallInt(stream, GetParam(), -12345);
  WriteLongWord(stream, GetParam(), 0xDEADBEEF);
  WriteLongInt(stream, GetParam(), -123456789);
  WriteDouble(stream, GetParam(), -0.1);
  stream.SetPosition(0);
  EXPECT_EQ(ReadWord(stream, GetParam()), 0xBEEF);
  EXPECT_EQ(ReadSmallInt(stream, GetParam()), -12345);
  EXPECT_EQ(ReadLongWord(stream, GetParam()), 0xDEADBEEFu);
  EXPECT_EQ(ReadLongInt(stream, GetParam()), -123456789);
  EXPECT_EQ(ReadDouble(stream, GetParam()), -0.1);
  EXPECT_EQ(stream.Position(), stream.Size());
}

TEST_P(AStreamPrimitive, ReportsShortReads) {
  const std::uint8_t three[] = {1, 2, 3};
  const std::uint8_t seven[] = {1, 2, 3, 4, 5, 6, 7};
  const std::uint8_t one[] = {1};
  std::uint16_t word;
  std::int16_t smallInt;
  std::uint32_t longWord;
  std::int32_t longInt;
  double real;
  {
    TUserMemoryStream s(one, 1);
    EXPECT_FALSE(TryReadWord(s, GetParam(), word));
  }
  {
    TUserMemoryStream s(one, 1);
    EXPECT_FALSE(TryReadSmallInt(s, GetParam(), smallInt));
  }
  {
    TUserMemoryStream s(three, 3);
    EXPECT_FALSE(TryReadLongWord(s, GetParam(), longWord));
  }
  {
    TUserMemoryStream s(three, 3);
    EXPECT_FALSE(TryReadLongInt(s, GetParam(), longInt));
  }
  {
    TUserMemoryStream s(seven, 7);
    EXPECT_FALSE(TryReadDouble(s, GetParam(), real));
  }
  TUserMemoryStream s1(one, 1), s2(one, 1), s3(three, 3), s4(three, 3), s7(seven, 7);
  EXPECT_THROW_MSG(ReadWord(s1, GetParam()), EReadError, "Stream read error");
  EXPECT_THROW(ReadSmallInt(s2, GetParam()), EReadError);
  EXPECT_THROW(ReadLongWord(s3, GetParam()), EReadError);
  EXPECT_THROW(ReadLongInt(s4, GetParam()), EReadError);
  EXPECT_THROW(ReadDouble(s7, GetParam()), EReadError);
}

TEST_P(AStreamPrimitive, ConvertsRawBytes) {
  std::uint8_t bytes[8];
  PutWord(bytes, GetParam(), 0xA1B2);
  EXPECT_EQ(GetWord(bytes, GetParam()), 0xA1B2);
  EXPECT_EQ(bytes[0], GetParam() == boBigEndian ? 0xA1 : 0xB2);
  PutLongWord(bytes, GetParam(), 0x01020304);
  EXPECT_EQ(GetLongWord(bytes, GetParam()), 0x01020304u);
  PutInt64(bytes, GetParam(), 0x0102030405060708ull);
  EXPECT_EQ(GetInt64(bytes, GetParam()), 0x0102030405060708ull);
  EXPECT_EQ(Bytes(bytes, bytes + 8), Ordered({1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(AReadOnlyStream, FailsTypedWrites) {
  const std::uint8_t memory[4] = {};
  TUserMemoryStream stream(memory, 4);
  EXPECT_THROW(WriteWord(stream, boBigEndian, 1), EWriteError);
  EXPECT_THROW(WriteDouble(stream, boLittleEndian, 1.0), EWriteError);
}
