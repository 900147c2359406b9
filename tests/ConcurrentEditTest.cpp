// Edits that meet another writer: a photo changed by another program after it was read is not
// overwritten with the old values, two Quorvane writers take turns, and a job reads a changed
// photo again.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "ExifBuilder.h"
#include "SamplePhotos.h"
#include "TestHelpers.h"
#include "core/PhotoJobs.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/FileLock.h"
#include "zorp/base/Messages.h"
#include "zorp/base/SafeFile.h"
#include "zorp/exif/ExifData.h"
#include "zorp/exif/TagIDs.h"

namespace {

namespace fs = std::filesystem;
using namespace Zorp::Exif;
using Zorp::Testing::ExifBuilder;
using Zorp::Testing::ReadFileBytes;

class ConcurrentEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = Zorp::Testing::FreshTestFolder("quorvane-concurrent");
    Photo = (Folder / "photo.jpg").string();
    ExifBuilder block;
    block.Primary.Ascii(ttMake, "Canon").Ascii(ttImageDescription, "0");
    Zorp::Testing::WriteFileBytes(Photo, ExifBuilder::Jpeg({block.Build()}));
  }
  void TearDown() override { fs::remove_all(Folder); }

  static std::string Description(const std::string& path) {
    TExifData data;
    data.LoadFromJPEG(path);
    return data.ImageDescription();
  }
  // Another program's save: the file gets a new description.
  static void SaveElsewhere(const std::string& path, const std::string& description) {
    TExifData other;
    other.LoadFromJPEG(path);
    other.SetImageDescription(description);
    other.SaveToJPEG(path, true);
  }

  fs::path Folder;
  std::string Photo;
};

// What another program does to the photo between the load and the save.
struct TOtherChange {
  const char* Name;
  std::function<void(const std::string& photo)> Change;
};

TEST_F(ConcurrentEdit, RefusesToSaveOverAChangeMadeAfterTheLoad) {
  const TOtherChange changes[] = {
      {"a save through a new file", [](const std::string& photo) { SaveElsewhere(photo, "other"); }},
      {"a same-size rewrite in place with the old modification time",
       [](const std::string& photo) {
         struct stat before {};
         ASSERT_EQ(::stat(photo.c_str(), &before), 0);
         std::vector<std::uint8_t> bytes = ReadFileBytes(photo);
         bytes[bytes.size() - 3] ^= 0x01;  // a scan byte
         {
           std::fstream file(photo, std::ios::in | std::ios::out | std::ios::binary);
           file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
         }
         const timespec times[2] = {before.st_atim, before.st_mtim};
         ASSERT_EQ(::utimensat(AT_FDCWD, photo.c_str(), times, 0), 0);
       }},
      {"only its dates touched",
       [](const std::string& photo) {
         const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
         ASSERT_EQ(::utimensat(AT_FDCWD, photo.c_str(), times, 0), 0);
       }},
  };
  for (const auto& [name, change] : changes) {
    SCOPED_TRACE(name);
    SetUp();
    TExifData data;
    data.LoadFromJPEG(Photo);
    data.SetImageDescription("mine");
    change(Photo);
    const std::vector<std::uint8_t> before = ReadFileBytes(Photo);
    EXPECT_THROW_MSG(data.SaveToJPEG(Photo, true), Zorp::Base::EFileChanged, Zorp::Base::SPhotoChangedSinceRead);
    EXPECT_EQ(ReadFileBytes(Photo), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(Folder), fs::directory_iterator()), 1);
    TearDown();
  }
}

TEST_F(ConcurrentEdit, SavesAgainAfterItsOwnSaveAndAfterGivingTheDatesBack) {
  TExifData data;
  data.LoadFromJPEG(Photo);
  data.SetImageDescription("first");
  data.SaveToJPEG(Photo, true);
  // A second edit of the same container saves over its own first save.
  data.SetImageDescription("second");
  data.SaveToJPEG(Photo, true);
  // Giving the former dates back changes the file; the caller says so.
  const Zorp::Base::TFileTimes times{1000000000, 0, 1000000000, 0};
  ASSERT_TRUE(Zorp::Base::SetFileTimes(Photo, times));
  data.RememberFileState();
  data.SetImageDescription("third");
  data.SaveToJPEG(Photo, true);
  EXPECT_EQ(Description(Photo), "third");
}

TEST_F(ConcurrentEdit, TwoWritingProcessesTakeTurnsSoThatNoChangeIsLost) {
  // Each process adds one to the count in the description, many times: a lost update shows as a
  // total below the sum of the rounds.
  constexpr int Rounds = 40;
  const auto count = [&] {
    for (int round = 0; round < Rounds; ++round) {
      const Zorp::Base::TFileLock lock(Photo);
      TExifData data;
      data.LoadFromJPEG(Photo);
      data.SetImageDescription(std::to_string(std::stoi(data.ImageDescription()) + 1));
      data.SaveToJPEG(Photo, true);
    }
  };
  pid_t children[2];
  for (pid_t& child : children) {
    child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        count();
      } catch (...) {
        ::_exit(1);
      }
      ::_exit(0);
    }
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(Description(Photo), std::to_string(2 * Rounds));
}

TEST_F(ConcurrentEdit, TheLockIsCountedOnOneThreadAndWaitsForAnother) {
  std::atomic<bool> entered{false};
  {
    const Zorp::Base::TFileLock outer(Photo);
    const Zorp::Base::TFileLock inner(Photo);  // would wait for itself if it were taken again
    EXPECT_TRUE(outer.Locked() && inner.Locked());
    std::thread other([&] {
      const Zorp::Base::TFileLock lock(Photo);
      entered = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered);
    other.detach();
  }
  for (int wait = 0; wait < 200 && !entered; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(entered);
  // Files that cannot be locked are reported, not waited for.
  EXPECT_FALSE(Zorp::Base::TFileLock((Folder / "missing.jpg").string()).Locked());
  EXPECT_FALSE(Zorp::Base::TFileLock(Folder.string()).Locked());
}

TEST_F(ConcurrentEdit, AJobReadsAPhotoChangedDuringItsEditAgain) {
  using namespace Quorvane::Viewer;
  struct TCase {
    const char* Name;
    int Changes;  // how often another program changes the photo during the edit
    int Changed, Failed;
  } cases[] = {{"once", 1, 1, 0}, {"every time", 100, 0, 1}};
  for (const auto& [name, changes, changed, failed] : cases) {
    SCOPED_TRACE(name);
    int left = changes;
    const TJobSummary summary = RunPhotoJob({Photo}, [&](const std::string& file) {
      TExifData data;
      data.LoadFromJPEG(file);
      data.SetImageDescription(data.ImageDescription() + "+mine");
      if (left-- > 0) SaveElsewhere(file, "other");
      data.SaveToJPEG(file, true);
      return TPhotoOutcome::Changed;
    });
    EXPECT_EQ(summary.Changed, changed);
    EXPECT_EQ(summary.Failed, failed);
    if (failed) {
      EXPECT_EQ(summary.Failures.at(0).Message, Zorp::Base::SPhotoChangedSinceRead);
    }
    EXPECT_EQ(Description(Photo), failed ? "other" : "other+mine");
  }
}

}  // namespace
