// Copying the unchanged rest of a photo from file to file: which method a copy takes (a clone of the
// blocks, an in-kernel copy, a copy through a buffer) on the file system at hand and on an XFS image
// with reflink when one can be mounted, that every method copies the same bytes, and that a save
// keeps the image data where a clone can share it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ExifBuilder.h"
#include "SamplePhotos.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FileCopy.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/TagIDs.h"

namespace {

namespace fs = std::filesystem;
using namespace Zorp::Base;
using Zorp::Testing::ExifBuilder;

// A folder on the temporary file system and, when root may mount one, one on an XFS image with
// reflink (made with mkfs.xfs; absent otherwise).
class FileSystems {
 public:
  static FileSystems& Get() {
    static FileSystems instance;
    return instance;
  }
  fs::path Plain, Xfs;  // Xfs is empty when no XFS image could be mounted

 private:
  FileSystems() {
    Root = fs::temp_directory_path() / ("quorvane-file-copy-" + std::to_string(::getpid()));
    Plain = Root / "plain";
    fs::create_directories(Plain);
    const fs::path image = Root / "xfs.img", mountPoint = Root / "xfs";
    fs::create_directories(mountPoint);
    if (::geteuid() != 0 || std::system("command -v mkfs.xfs >/dev/null 2>&1") != 0) return;
    const std::string make = "truncate -s 300M '" + image.string() + "' && mkfs.xfs -q -f -m reflink=1 '" +
                             image.string() + "' >/dev/null 2>&1 && mount -o loop '" + image.string() + "' '" +
                             mountPoint.string() + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) return;
    // Only a file system that clones here counts (a kernel may mount XFS without reflink support).
    const fs::path from = mountPoint / "probe.from", to = mountPoint / "probe.to";
    Zorp::Testing::WriteFileBytes(from, std::vector<std::uint8_t>(8192, 1));
    const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int target = ::open(to.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (source >= 0 && target >= 0 && ::ioctl(target, FICLONE, source) == 0) Xfs = mountPoint;
    if (source >= 0) ::close(source);
    if (target >= 0) ::close(target);
    if (Xfs.empty()) ::umount2(mountPoint.c_str(), MNT_DETACH);
  }
  ~FileSystems() {
    if (!Xfs.empty()) ::umount2(Xfs.c_str(), MNT_DETACH);
    std::error_code ignored;
    fs::remove_all(Root, ignored);
  }
  fs::path Root;
};

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 4093);
  return bytes;
}

struct TCopyCase {
  const char* Name;
  bool OnXfs;
  TCopyMethod Cheapest;  // the cheapest method allowed
  std::int64_t SourceOffset, TargetOffset;
  bool ToTheEnd;             // the range reaches the source's end
  TCopyMethod Expected;      // on XFS; elsewhere a clone is never taken
};

void PrintTo(const TCopyCase& c, std::ostream* out) { *out << c.Name; }

class AFileRangeCopy : public ::testing::TestWithParam<TCopyCase> {
 protected:
  void TearDown() override { SetCheapestCopyMethod(TCopyMethod::Clone); }
};

TEST_P(AFileRangeCopy, TakesTheCheapestMethodAndCopiesTheSameBytes) {
  const TCopyCase& c = GetParam();
  const fs::path folder = c.OnXfs ? FileSystems::Get().Xfs : FileSystems::Get().Plain;
  if (folder.empty()) GTEST_SKIP() << "no XFS image with reflink can be mounted here (needs root and mkfs.xfs)";
  const std::vector<std::uint8_t> source = Pattern(3 * 65536 + 123);
  const std::vector<std::uint8_t> lead(static_cast<std::size_t>(c.TargetOffset), 0xAB);
  Zorp::Testing::WriteFileBytes(folder / (std::string(c.Name) + ".from"), source);
  Zorp::Testing::WriteFileBytes(folder / (std::string(c.Name) + ".to"), lead);
  const int from = ::open((folder / (std::string(c.Name) + ".from")).c_str(), O_RDONLY | O_CLOEXEC);
  const int to = ::open((folder / (std::string(c.Name) + ".to")).c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(from, 0);
  ASSERT_GE(to, 0);
  const std::int64_t length = static_cast<std::int64_t>(source.size()) - c.SourceOffset - (c.ToTheEnd ? 0 : 1000);
  SetCheapestCopyMethod(c.Cheapest);
  const TCopyMethod method = CopyFileRange(from, c.SourceOffset, to, c.TargetOffset, length);
  ::close(from);
  ::close(to);
  if (c.OnXfs)
    EXPECT_EQ(static_cast<int>(method), static_cast<int>(c.Expected));
  else
    EXPECT_EQ(static_cast<int>(method), static_cast<int>(c.Cheapest == TCopyMethod::PlainCopy ? TCopyMethod::PlainCopy
                                                                                                 : TCopyMethod::KernelCopy));
  std::vector<std::uint8_t> expected = lead;
  expected.insert(expected.end(), source.begin() + c.SourceOffset, source.begin() + c.SourceOffset + length);
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(folder / (std::string(c.Name) + ".to")), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AFileRangeCopy,
    ::testing::Values(
        TCopyCase{"Aligned", false, TCopyMethod::Clone, 8192, 4096, true, TCopyMethod::Clone},
        TCopyCase{"SamePlaceInABlock", false, TCopyMethod::Clone, 5000, 904, true, TCopyMethod::Clone},
        TCopyCase{"PlainOnly", false, TCopyMethod::PlainCopy, 5000, 904, true, TCopyMethod::PlainCopy},
        TCopyCase{"XfsAligned", true, TCopyMethod::Clone, 8192, 4096, true, TCopyMethod::Clone},
        // The part before the first block boundary is copied, the rest shared.
        TCopyCase{"XfsSamePlaceInABlock", true, TCopyMethod::Clone, 5000, 904, true, TCopyMethod::Clone},
        TCopyCase{"XfsNotAtTheSamePlace", true, TCopyMethod::Clone, 5000, 900, true, TCopyMethod::KernelCopy},
        TCopyCase{"XfsShortOfTheEnd", true, TCopyMethod::Clone, 8192, 4096, false, TCopyMethod::KernelCopy},
        TCopyCase{"XfsKernelCopyOnly", true, TCopyMethod::KernelCopy, 8192, 4096, true, TCopyMethod::KernelCopy},
        TCopyCase{"XfsPlainOnly", true, TCopyMethod::PlainCopy, 8192, 4096, true, TCopyMethod::PlainCopy}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(AFileRangeCopy, RefusesARangeBeyondTheSource) {
  const fs::path folder = FileSystems::Get().Plain;
  Zorp::Testing::WriteFileBytes(folder / "short.from", Pattern(1000));
  Zorp::Testing::WriteFileBytes(folder / "short.to", {});
  const int from = ::open((folder / "short.from").c_str(), O_RDONLY | O_CLOEXEC);
  const int to = ::open((folder / "short.to").c_str(), O_RDWR | O_CLOEXEC);
  EXPECT_THROW(CopyFileRange(from, 500, to, 0, 501), EReadError);
  ::close(from);
  ::close(to);
  EXPECT_EQ(fs::file_size(folder / "short.to"), 0u);
}

// A save keeps the photo's image data at its place within a block where the file system can share
// the blocks, and writes the same file content however the data is copied.
class ASavedPhoto : public ::testing::TestWithParam<bool> {};

TEST_P(ASavedPhoto, KeepsItsImageDataWhereAFileSystemCanShareIt) {
  const fs::path folder = GetParam() ? FileSystems::Get().Xfs : FileSystems::Get().Plain;
  if (folder.empty()) GTEST_SKIP() << "no XFS image with reflink can be mounted here (needs root and mkfs.xfs)";
  ExifBuilder block;
  block.Primary.Ascii(Zorp::Exif::ttMake, "Canon");
  std::vector<std::uint8_t> jpeg = ExifBuilder::Jpeg({block.Build()});
  const std::vector<std::uint8_t> scan = Pattern(200000);
  jpeg.insert(jpeg.end() - 2, scan.begin(), scan.end());  // more scan data before the end marker
  const fs::path photo = folder / "photo.jpg";
  Zorp::Testing::WriteFileBytes(photo, jpeg);

  Zorp::Exif::TExifData data;
  data.LoadFromJPEG(photo.string());
  data.SetCameraModel("A model name long enough to move the image data");
  data.SaveToJPEG(photo.string());
  const std::vector<std::uint8_t> saved = Zorp::Testing::ReadFileBytes(photo);
  // Where the start-of-scan segment lies, the image data the save copies.
  const auto at = [](const std::vector<std::uint8_t>& bytes) {
    static constexpr std::uint8_t StartOfScan[2] = {0xFF, 0xDA};
    return std::search(bytes.begin(), bytes.end(), StartOfScan, StartOfScan + 2) - bytes.begin();
  };
  const std::int64_t before = at(jpeg), after = at(saved);
  ASSERT_EQ(std::vector<std::uint8_t>(saved.begin() + after, saved.end()),
            std::vector<std::uint8_t>(jpeg.begin() + before, jpeg.end()));
  if (GetParam()) {
    const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::int64_t block = CloneBlockSize(handle);
    ::close(handle);
    ASSERT_GT(block, 0);
    EXPECT_EQ(after % block, before % block);
  }
  Zorp::Exif::TExifData reread;
  reread.LoadFromJPEG(photo.string());
  EXPECT_EQ(reread.CameraModel(), "A model name long enough to move the image data");
}

INSTANTIATE_TEST_SUITE_P(FileSystems, ASavedPhoto, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "OnXfs" : "Elsewhere"; });

}  // namespace
