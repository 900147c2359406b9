#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "zorp/base/Exceptions.h"
#include "TestHelpers.h"
#include "zorp/base/SafeFile.h"

// Counts the calls of umask in this test program: replacing a file must not set the process-wide mask,
// which would change the mode of files that other threads create meanwhile.
static std::atomic<int> UmaskCalls{0};
extern "C" mode_t umask(mode_t mask) noexcept {
  ++UmaskCalls;
  return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace {

namespace fs = std::filesystem;
using Zorp::Base::TSafeFileReplacement;

class ASafeFileReplacement : public ::testing::Test {
 protected:
  void SetUp() override {
    Folder = fs::temp_directory_path() / ("quorvane-safefile-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Folder);
    fs::create_directories(Folder);
    Target = (Folder / "photo.jpg").string();
    Write(Target, "original content");
  }
  void TearDown() override {
    Zorp::Base::SetSafeFileCommitHook(nullptr);
    fs::remove_all(Folder);
  }

  static void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  static std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static void Put(TSafeFileReplacement& replacement, const std::string& text) {
    replacement.Stream().WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  }

  // Runs body in a child process as an ordinary user (when the tests run as root) and expects it to
  // return 0; a raised error is reported on stderr and fails the test.
  void ExpectAsOrdinaryUser(const std::function<int()>& body) {
    fs::permissions(Folder, fs::perms::all);
    EXPECT_EXIT(std::_Exit(RunAsOrdinaryUser(body)), ::testing::ExitedWithCode(0), "");
  }
  static int RunAsOrdinaryUser(const std::function<int()>& body) {
    try {
      if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(Nobody) != 0 || ::setuid(Nobody) != 0))
        return 90;
      return body();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s\n", error.what());
      return 91;
    }
  }
  static constexpr uid_t Nobody = 65534;

  fs::path Folder;
  std::string Target;
};

TEST_F(ASafeFileReplacement, WritesBesideTheTargetAndReplacesItOnlyOnCommit) {
  TSafeFileReplacement replacement(Target);
  EXPECT_EQ(fs::path(replacement.TempFileName()).parent_path(), Folder);
  Put(replacement, "new content");
  EXPECT_EQ(Read(Target), "original content");
  replacement.Commit();
  EXPECT_TRUE(replacement.Committed());
  EXPECT_EQ(Read(Target), "new content");
  EXPECT_EQ(Entries(), std::vector<std::string>{"photo.jpg"});
}

TEST_F(ASafeFileReplacement, GivesTheNewFileTheOriginalsPermissionBits) {
  fs::permissions(Target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  Zorp::Base::SafeWriteFile(Target, "abc", 3);
  EXPECT_EQ(fs::status(Target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(Read(Target), "abc");
}

TEST_F(ASafeFileReplacement, LeavesEverythingAsItWasWhenNotCommitted) {
  {
    TSafeFileReplacement replacement(Target);
    Put(replacement, "abandoned");
    EXPECT_EQ(Entries().size(), 2u);
  }
  EXPECT_EQ(Read(Target), "original content");
  EXPECT_EQ(Entries(), std::vector<std::string>{"photo.jpg"});
}

TEST_F(ASafeFileReplacement, LeavesEverythingAsItWasWhenInterruptedBeforeTheRename) {
  std::string seen;
  Zorp::Base::SetSafeFileCommitHook([&](const std::string& temporary) {
    seen = Read(temporary);  // written and flushed by now
    throw Zorp::Base::EWriteError("interrupted");
  });
  EXPECT_THROW(Zorp::Base::SafeWriteFile(Target, "complete", 8), Zorp::Base::EWriteError);
  EXPECT_EQ(seen, "complete");
  EXPECT_EQ(Read(Target), "original content");
  EXPECT_EQ(Entries(), std::vector<std::string>{"photo.jpg"});
}

TEST_F(ASafeFileReplacement, LeavesEverythingAsItWasWhenTheDiskFillsUp) {
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto* handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = saved;
  limit.rlim_cur = 1024;
  setrlimit(RLIMIT_FSIZE, &limit);
  const std::string big(100000, 'x');
  EXPECT_THROW(Zorp::Base::SafeWriteFile(Target, big.data(), static_cast<std::int64_t>(big.size())),
               Zorp::Base::EWriteError);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(Read(Target), "original content");
  EXPECT_EQ(Entries(), std::vector<std::string>{"photo.jpg"});
}

TEST_F(ASafeFileReplacement, CannotStartInAFolderThatDoesNotExist) {
  EXPECT_THROW(TSafeFileReplacement((Folder / "missing" / "photo.jpg").string()), Zorp::Base::EFCreateError);
  EXPECT_EQ(Entries(), std::vector<std::string>{"photo.jpg"});
}

TEST_F(ASafeFileReplacement, ReplacesTheFileALinkPointsToAndKeepsTheLink) {
  const fs::path link = Folder / "link.jpg";
  fs::create_symlink(Target, link);
  Zorp::Base::SafeWriteFile(link.string(), "through the link", 16);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(Target), "through the link");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"link.jpg", "photo.jpg"}));
}

TEST_F(ASafeFileReplacement, CreatesAFileThatDidNotExist) {
  const std::string fresh = (Folder / "new.txt").string();
  Zorp::Base::SafeWriteFile(fresh, "fresh", 5);
  EXPECT_EQ(Read(fresh), "fresh");
}

TEST_F(ASafeFileReplacement, WritesThroughTheDescriptorThatCreatedTheTemporaryFile) {
  // Under a umask that takes the owner's write bit the temporary file cannot be opened again by name;
  // the descriptor that created it can still write.
  const std::string fresh = (Folder / "new.jpg").string();
  ExpectAsOrdinaryUser([&] {
    ::umask(0277);
    Zorp::Base::SafeWriteFile(fresh, "fresh", 5);
    return Read(fresh) == "fresh" ? 0 : 1;
  });
  EXPECT_EQ(Entries(), (std::vector<std::string>{"new.jpg", "photo.jpg"}));
}

TEST_F(ASafeFileReplacement, RefusesATargetThatIsNoRegularFileAndLeavesItAsItWas) {
  const struct {
    const char* Name;
    bool Fifo;
    const char* Reason;
  } cases[] = {{"pipe.jpg", true, "Not a regular file"}, {"album.jpg", false, "Is a directory"}};
  for (const auto& odd : cases) {
    SCOPED_TRACE(odd.Name);
    const std::string path = (Folder / odd.Name).string();
    if (odd.Fifo) {
      ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    } else {
      ASSERT_TRUE(fs::create_directory(path));
    }
    EXPECT_THROW_MSG(Zorp::Base::SafeWriteFile(path, "abc", 3), Zorp::Base::EFOpenError,
                     "Cannot open file \"" + path + "\". " + odd.Reason);
    EXPECT_EQ(fs::status(path).type(), odd.Fifo ? fs::file_type::fifo : fs::file_type::directory);
    fs::remove(path);
    EXPECT_EQ(Entries(), std::vector<std::string>{"photo.jpg"});
  }
}

TEST_F(ASafeFileReplacement, GivesANewFileTheModeOfTheCreationMaskWithoutSettingTheMask) {
  const struct {
    mode_t Mask;
    mode_t Mode;
  } cases[] = {{022, 0644}, {027, 0640}, {077, 0600}, {0, 0666}};
  const std::string fresh = (Folder / "new.jpg").string();
  const auto saved = static_cast<mode_t>(::syscall(SYS_umask, 022));
  for (const auto& [mask, mode] : cases) {
    SCOPED_TRACE(mask);
    fs::remove(fresh);
    ::syscall(SYS_umask, mask);
    UmaskCalls = 0;
    Zorp::Base::SafeWriteFile(fresh, "fresh", 5);
    EXPECT_EQ(UmaskCalls, 0);
    struct stat status {};
    ASSERT_EQ(::stat(fresh.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode);
  }
  ::syscall(SYS_umask, saved);
}

}  // namespace
