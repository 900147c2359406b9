#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "zorp/base/Exceptions.h"
#include "zorp/base/Messages.h"
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
    Folder = Zorp::Testing::FreshTestFolder("quorvane-safefile");
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
  static struct stat Status(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status;
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
  // A file without write bits is refused (see below); these are replaced by a new file with their bits.
  for (const mode_t mode : {0644, 0604, 0600, 0620, 02664}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(::chmod(Target.c_str(), mode), 0);
    const ino_t before = Status(Target).st_ino;
    Zorp::Base::SafeWriteFile(Target, "abc", 3);
    EXPECT_EQ(Status(Target).st_mode & 07777, mode);
    EXPECT_NE(Status(Target).st_ino, before);
    EXPECT_EQ(Read(Target), "abc");
  }
  EXPECT_EQ(Entries(), std::vector<std::string>{"photo.jpg"});
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

TEST_F(ASafeFileReplacement, RefusesAFileInAFolderTheUserMayNotWriteAndLeavesItAsItWas) {
  // The file itself is writable by anyone; only the folder is read-only for the user.
  const fs::path locked = Folder / "locked";
  fs::create_directory(locked);
  const std::string photo = (locked / "photo.jpg").string();
  std::ofstream(photo) << "original content";
  fs::permissions(photo, fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec & ~fs::perms::others_exec);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  ExpectAsOrdinaryUser([&] {
    try {
      Zorp::Base::SafeWriteFile(photo, "new", 3);
      return 1;
    } catch (const Zorp::Base::EFCreateError&) {
      return Read(photo) == "original content" ? 0 : 2;
    }
  });
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(locked)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"photo.jpg"});
  fs::permissions(locked, fs::perms::owner_all);
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

TEST_F(ASafeFileReplacement, RefusesAFileWithoutWriteBitsEvenForRootAndLeavesItAlone) {
  const std::string link = (Folder / "link.jpg").string();
  fs::create_symlink("photo.jpg", link);
  const struct {
    mode_t Mode;
    bool ThroughLink;
    bool MadeReadOnlyAfterStart;  // refused by Commit
  } cases[] = {{0444, false, false}, {0400, false, false}, {0555, false, false},
               {0000, false, false}, {0444, true, false},  {0444, false, true}};
  for (const auto& [mode, throughLink, afterStart] : cases) {
    SCOPED_TRACE(::testing::Message() << mode << (throughLink ? " link" : "") << (afterStart ? " late" : ""));
    ASSERT_EQ(::chmod(Target.c_str(), afterStart ? 0644 : mode), 0);
    const std::string message = "Cannot replace file \"" + Target + "\". Permission denied";
    if (afterStart) {
      TSafeFileReplacement replacement(Target);
      Put(replacement, "refused");
      ASSERT_EQ(::chmod(Target.c_str(), mode), 0);
      EXPECT_THROW_MSG(replacement.Commit(), Zorp::Base::EFCreateError, message);
    } else {
      EXPECT_THROW_MSG(Zorp::Base::SafeWriteFile(throughLink ? link : Target, "refused", 7), Zorp::Base::EFCreateError,
                       message);
    }
    EXPECT_EQ(Status(Target).st_mode & 07777, mode);
    EXPECT_EQ(Read(Target), "original content");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"link.jpg", "photo.jpg"}));
  }
}

TEST_F(ASafeFileReplacement, RewritesAHardLinkedFileInPlaceSoThatEveryNameSeesTheNewContent) {
  const std::string second = (Folder / "second.jpg").string();
  const std::string link = (Folder / "link.jpg").string();
  fs::create_hard_link(Target, second);
  fs::create_symlink("second.jpg", link);
  ASSERT_EQ(::chmod(Target.c_str(), 0640), 0);
  const ino_t inode = Status(Target).st_ino;
  const struct {
    const char* Via;
    std::string Name;
  } cases[] = {{"first name", Target}, {"second name", second}, {"link", link}};
  for (const auto& [via, name] : cases) {
    SCOPED_TRACE(via);
    const std::string content = std::string("new content through the ") + via;
    Zorp::Base::SafeWriteFile(name, content.data(), static_cast<std::int64_t>(content.size()));
    EXPECT_EQ(Read(Target), content);
    EXPECT_EQ(Read(second), content);
    EXPECT_EQ(Status(Target).st_ino, inode);
    EXPECT_EQ(Status(Target).st_nlink, 2u);
    EXPECT_EQ(Status(Target).st_mode & 07777, 0640u);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Entries(), (std::vector<std::string>{"link.jpg", "photo.jpg", "second.jpg"}));  // no backup left
  }
}

TEST_F(ASafeFileReplacement, KeepsAHardLinkedFileWhenTheRewriteFails) {
  const std::string second = (Folder / "second.jpg").string();
  fs::create_hard_link(Target, second);
  // Interrupted after the backup was written, or the disk fills up while the file is rewritten (a
  // file size limit fails the write as a full disk would).
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto* handler = std::signal(SIGXFSZ, SIG_IGN);
  const struct {
    const char* Name;
    bool Interrupt;
    const char* Message;
  } cases[] = {{"interrupted", true, "interrupted"},
               {"disk full", false, "Cannot replace file \"{}\". File too large"}};
  for (const auto& [name, interruptCase, message] : cases) {
    SCOPED_TRACE(name);
    const bool interrupt = interruptCase;  // a lambda captures a variable, not a structured binding
    std::vector<std::string> backups;
    Zorp::Base::SetSafeFileCommitHook([&](const std::string&) {
      for (const auto& entry : Entries())
        if (entry.find(".quorvane-backup") != std::string::npos)
          backups.push_back(Read((Folder / entry).string()).substr(0, 16));  // the content before its trailer
      if (interrupt) throw Zorp::Base::EWriteError("interrupted");
      rlimit limit = saved;
      limit.rlim_cur = 1024;
      setrlimit(RLIMIT_FSIZE, &limit);
    });
    const std::string big(100000, 'x');
    std::string expected = message;
    if (const auto at = expected.find("{}"); at != std::string::npos) expected.replace(at, 2, Target);
    EXPECT_THROW_MSG(Zorp::Base::SafeWriteFile(Target, big.data(), static_cast<std::int64_t>(big.size())),
                     Zorp::Base::Exception, expected);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(backups, std::vector<std::string>{"original content"});
    EXPECT_EQ(Read(Target), "original content");
    EXPECT_EQ(Read(second), "original content");
    EXPECT_EQ(Entries(), (std::vector<std::string>{"photo.jpg", "second.jpg"}));
  }
  std::signal(SIGXFSZ, handler);
}

// A save of a hard-linked file killed at a moment of its rewrite (after the backup is on disk):
// the next load or save finds the photo old or new, restoring it from the backup when it is neither,
// and leaves no backup behind.
TEST_F(ASafeFileReplacement, RecoversAnInPlaceRewriteKilledAtAnyMoment) {
  const std::string oldContent(3000, 'o');
  const std::string newContent(5000, 'n');
  const struct {
    const char* Name;
    std::function<void(int photo)> BeforeTheKill;  // what reached the photo before the kill
    const char* After;                              // "old" or "new"
    bool Restored;
  } cases[] = {
      {"before the photo was touched", [](int) {}, "old", false},
      {"after half the new bytes", [&](int fd) { (void)::pwrite(fd, newContent.data(), 2500, 0); }, "old", true},
      {"after all new bytes, not cut", [&](int fd) { (void)::pwrite(fd, newContent.data(), 2000, 0); }, "old", true},
      {"after the photo was emptied", [](int fd) { (void)::ftruncate(fd, 0); }, "old", true},
      {"after the rewrite, before the backup went",
       [&](int fd) { (void)::pwrite(fd, newContent.data(), newContent.size(), 0); }, "new", false},
  };
  for (const auto& [name, beforeTheKill, after, restored] : cases) {
    SCOPED_TRACE(name);
    Write(Target, oldContent);
    const std::string second = (Folder / "second.jpg").string();
    fs::remove(second);
    fs::create_hard_link(Target, second);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      Zorp::Base::SetSafeFileCommitHook([&](const std::string&) {
        const int fd = ::open(Target.c_str(), O_RDWR);
        beforeTheKill(fd);
        ::_exit(0);  // killed: nothing after this runs
      });
      Zorp::Base::SafeWriteFile(Target, newContent.data(), static_cast<std::int64_t>(newContent.size()));
      ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Entries().size(), 4u);  // the photo, its second name, the backup and the temporary file
    const std::string note = Zorp::Base::RecoverInterruptedSave(Target);
    EXPECT_EQ(note, restored ? Zorp::Base::SRestoredFromBackup : "");
    EXPECT_EQ(Read(second), std::string(after) == "old" ? oldContent : newContent);
    // The next save in the folder, by another process, removes the killed save's temporary file.
    const pid_t saver = ::fork();
    if (saver == 0) {
      Zorp::Base::SafeWriteFile((Folder / "other.txt").string(), "x", 1);
      ::_exit(0);
    }
    ASSERT_EQ(::waitpid(saver, &status, 0), saver);
    EXPECT_EQ(Entries(), (std::vector<std::string>{"other.txt", "photo.jpg", "second.jpg"}));
    fs::remove(Folder / "other.txt");
    fs::remove(second);
  }
}

TEST_F(ASafeFileReplacement, LeavesBackupsAndTemporaryFilesThatAreNotLeftOversAlone) {
  const struct {
    const char* Name;
    std::string Entry;
  } kept[] = {
      {"a running process's temporary file", ".photo.jpg.quorvane-" + std::to_string(::getpid()) + "-abcdef"},
      {"another program's hidden file", ".photo.jpg.a1b2c3"},
      {"a name of a different form", ".photo.jpg.quorvane-123-abc"},
  };
  for (const auto& [name, entry] : kept) Write((Folder / entry).string(), "kept");
  Write((Folder / ".photo.jpg.quorvane-999999999-zzzzzz").string(), "left over by a process that is gone");
  // A backup of another file of the same name's first 200 bytes names a different inode.
  Write((Folder / "other.jpg").string(), "other");
  const std::string second = (Folder / "second.jpg").string();
  fs::create_hard_link(Target, second);
  Zorp::Base::SafeWriteFile(Target, "new", 3);
  EXPECT_EQ(Read(Target), "new");
  for (const auto& [name, entry] : kept) EXPECT_TRUE(fs::exists(Folder / entry)) << name;
  EXPECT_FALSE(fs::exists(Folder / ".photo.jpg.quorvane-999999999-zzzzzz"));
  // A backup that was cut while it was written: the photo was never touched, so the backup goes.
  Write((Folder / ".photo.jpg.quorvane-backup").string(), "cut");
  EXPECT_EQ(Zorp::Base::RecoverInterruptedSave(Target), "");
  EXPECT_FALSE(fs::exists(Folder / ".photo.jpg.quorvane-backup"));
  EXPECT_EQ(Read(Target), "new");
}

// The backup lies beside the photo as ".NAME.quorvane-backup", NAME cut to 200 bytes, however the
// photo's path is written.
TEST_F(ASafeFileReplacement, FindsTheBackupBesideThePhotoWhateverFormItsPathTakes) {
  const std::string longName(230, 'n');
  const struct {
    std::string Path;
    std::string Backup;
  } cases[] = {{Target, ".photo.jpg.quorvane-backup"},
               {Folder.string() + "//photo.jpg", ".photo.jpg.quorvane-backup"},
               {Folder.string() + "/./photo.jpg", ".photo.jpg.quorvane-backup"},
               {(Folder / longName).string(), "." + longName.substr(0, 200) + ".quorvane-backup"}};
  for (const auto& [path, backup] : cases) {
    SCOPED_TRACE(path.size() > 100 ? "long name" : path);
    Write(path, "photo");
    Write((Folder / backup).string(), "cut");  // cut while it was written: removed when found
    EXPECT_EQ(Zorp::Base::RecoverInterruptedSave(path), "");
    EXPECT_FALSE(fs::exists(Folder / backup));
  }
}

TEST_F(ASafeFileReplacement, CopiesExtendedAttributes) {
  const char value[] = "kept";
  if (::setxattr(Target.c_str(), "user.quorvane", value, 4, 0) != 0)
    GTEST_SKIP() << "no user extended attributes here: " << std::strerror(errno);
  for (const bool hardLinked : {false, true}) {
    SCOPED_TRACE(hardLinked ? "hard-linked" : "single name");
    if (hardLinked) fs::create_hard_link(Target, Folder / "second.jpg");
    Zorp::Base::SafeWriteFile(Target, "abc", 3);
    char read[16] = {};
    EXPECT_EQ(::getxattr(Target.c_str(), "user.quorvane", read, sizeof read), 4);
    EXPECT_STREQ(read, "kept");
    EXPECT_EQ(Read(Target), "abc");
  }
}

TEST_F(ASafeFileReplacement, KeepsTheOwnerOrRewritesInPlaceOrRefusesForAnOrdinaryUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file another owner";
  const struct {
    const char* Name;
    uid_t Owner;
    mode_t Mode;
    bool AsNobody;
    const char* Outcome;  // "replaced", "rewritten" or "refused"
  } cases[] = {{"root saves a file of nobody", Nobody, 0644, false, "replaced"},
               {"nobody saves a writable file of root", 0, 0666, true, "rewritten"},
               {"nobody saves a file of root", 0, 0644, true, "refused"}};
  for (const auto& [name, owner, mode, asNobody, outcome] : cases) {
    SCOPED_TRACE(name);
    Write(Target, "original content");
    ASSERT_EQ(::chown(Target.c_str(), owner, owner), 0);
    ASSERT_EQ(::chmod(Target.c_str(), mode), 0);
    const ino_t inode = Status(Target).st_ino;
    const std::string outcomeText = outcome;
    auto save = [&] {
      try {
        Zorp::Base::SafeWriteFile(Target, "new", 3);
        return outcomeText == "refused" ? 1 : 0;
      } catch (const Zorp::Base::EFCreateError& error) {
        const bool denied = std::string(error.what()).find("Permission denied") != std::string::npos;
        return outcomeText == "refused" && denied ? 0 : 2;
      }
    };
    if (asNobody) {
      ExpectAsOrdinaryUser(save);
    } else {
      EXPECT_EQ(save(), 0);
    }
    EXPECT_EQ(Read(Target), outcomeText == "refused" ? "original content" : "new");
    EXPECT_EQ(Status(Target).st_uid, owner);
    EXPECT_EQ(Status(Target).st_gid, owner);
    EXPECT_EQ(Status(Target).st_mode & 07777, mode);
    EXPECT_EQ(Status(Target).st_ino == inode, outcomeText != "replaced");
    EXPECT_EQ(Entries(), std::vector<std::string>{"photo.jpg"});
  }
}

}  // namespace
