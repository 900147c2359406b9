// Saving on a file system that is full: the original stays byte for byte as it was and no
// temporary file is left behind. The test mounts a small tmpfs of its own, which needs root; it is
// skipped, saying so, where that is not possible.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SamplePhotos.h"
#include "zorp/base/SafeFile.h"
#include "zorp/exif/ExifData.h"

namespace {

namespace fs = std::filesystem;
using Zorp::Exif::TExifData;

enum class TSave { InMemory, Streamed, TextExport };

struct TFullDiskCase {
  const char* Name;
  TSave Save;
  std::size_t FreeBytes;  // left free before the save
};

class AFullDisk : public testing::TestWithParam<TFullDiskCase> {
 protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() / ("quorvane-full-disk-" + std::to_string(::getpid()));
    fs::create_directories(Folder);
    if (::geteuid() != 0) GTEST_SKIP() << "skipped: mounting a small tmpfs needs root";
    if (::mount("tmpfs", Folder.c_str(), "tmpfs", 0, "size=512k,mode=0755") != 0)
      GTEST_SKIP() << "skipped: cannot mount a tmpfs here (" << std::strerror(errno) << ")";
    Mounted = true;
  }
  void TearDown() override {
    if (Mounted) ::umount2(Folder.c_str(), MNT_DETACH);
    std::error_code ignored;
    fs::remove_all(Folder, ignored);
  }

  // Fills the file system until at most `free` bytes are left.
  void FillUpTo(std::size_t free) {
    std::ofstream filler(Folder / "filler", std::ios::binary);
    const std::vector<char> block(1024, 'f');
    while (fs::space(Folder).available > free + block.size() && filler.write(block.data(), block.size())) filler.flush();
    filler.close();
    ASSERT_LE(fs::space(Folder).available, free + 8192);
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path Folder;
  bool Mounted = false;
};

TEST_P(AFullDisk, FailsTheSaveAndLeavesTheOriginalAndNoTemporaryFile) {
  const TFullDiskCase& c = GetParam();
  const fs::path target = Folder / (c.Save == TSave::TextExport ? "list.txt" : "photo.jpg");
  std::vector<std::uint8_t> original;
  if (c.Save == TSave::TextExport) {
    original.assign(40000, 'x');
  } else {
    original = Zorp::Testing::ReadFileBytes(std::string(QUORVANE_SOURCE_DIR) + "/samples/canon-sunset.jpg");
  }
  Zorp::Testing::WriteFileBytes(target.string(), original);
  FillUpTo(c.FreeBytes);

  try {
    if (c.Save == TSave::TextExport) {
      const std::string text(60000, 'y');
      Zorp::Base::SafeWriteFile(target.string(), text.data(), static_cast<std::int64_t>(text.size()));
    } else {
      TExifData data;
      data.LoadFromJPEG(target.string());
      data.SetImageDescription(std::string(2000, 'd'));
      data.SaveToJPEG(target.string(), c.Save == TSave::InMemory);
    }
    ADD_FAILURE() << "the save reported success on a full disk";
  } catch (const std::exception& error) {
    EXPECT_NE(std::string(error.what()), "");
  }
  EXPECT_EQ(Zorp::Testing::ReadFileBytes(target.string()), original);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"filler", target.filename().string()}));
}

INSTANTIATE_TEST_SUITE_P(Saves, AFullDisk,
                         testing::Values(TFullDiskCase{"InMemoryNoRoom", TSave::InMemory, 0},
                                         TFullDiskCase{"InMemoryHalfRoom", TSave::InMemory, 12 * 1024},
                                         TFullDiskCase{"StreamedNoRoom", TSave::Streamed, 0},
                                         TFullDiskCase{"StreamedHalfRoom", TSave::Streamed, 12 * 1024},
                                         TFullDiskCase{"ExportHalfRoom", TSave::TextExport, 24 * 1024}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
