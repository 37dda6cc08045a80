// Durable saves under accident and attack: programs killed at each system call of a save,
// symbolic links planted in shared folders, leftovers of killed saves, folders that take no
// new file and contents too large to be read back.  Kills go through the save's step hook,
// in a child process that SIGKILLs itself at the chosen call.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>

#include "files/descriptor.h"
#include "files/profile.h"
#include "files/savefile.h"
#include "tests/files/filetestsupport.h"

namespace {

namespace fs = std::filesystem;

const std::string kOld = "[S]\r\nk=" + std::string(300, 'o') + "\r\n";
const std::string kNew = "[S]\r\nk=new\r\n";

std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class SaveFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* state = std::getenv("XDG_STATE_HOME")) saved_state_ = state;
    fs::create_directory(State());
    ::setenv("XDG_STATE_HOME", State().c_str(), 1);
  }
  void TearDown() override {
    if (saved_state_)
      ::setenv("XDG_STATE_HOME", saved_state_->c_str(), 1);
    else
      ::unsetenv("XDG_STATE_HOME");
  }
  fs::path State() const { return folder / "state"; }
  fs::path Backups() const { return State() / "quellso" / "backups"; }

  TempFolder folder;
  std::optional<std::string> saved_state_;
};

// ---- killed at every step ----

struct KillCase {
  const char* name;
  bool exists;          // the file is there before the save
  bool hardLinked;      // it has a second name: written in place
  bool readOnlyFolder;  // saved by a user who may write the file but make nothing beside it
  bool update;          // read, changed and saved under the lock rather than saved whole
};

void PrintTo(const KillCase& c, std::ostream* os) { *os << c.name; }

class KilledSave : public SaveFileTest, public ::testing::WithParamInterface<KillCase> {};

// Wherever the save is killed, the file reads as its old content or its new one; a backup
// of an in-place write is put back or dropped by that read, and the next save ends well and
// leaves no temporary file behind (a writable file in a folder that takes no new file is
// saved in place, its backup in the state folder).
TEST_P(KilledSave, LeavesTheOldOrTheNewContent) {
  const KillCase& c = GetParam();
  if (c.readOnlyFolder && ::geteuid() != 0) GTEST_SKIP() << "needs root to save as another user";
  const fs::path files = folder / "files";
  const fs::path path = files / "unit.dat";
  const auto save = [&] {
    if (c.update)
      UpdateWholeFile(path, [](std::string& bytes) { bytes = kNew; });
    else
      SaveWholeFile(path, kNew);
  };
  int steps = 0;
  int putBack = 0;
  for (int n = 1; n < 100; ++n) {
    fs::remove_all(files);
    fs::create_directory(files);
    fs::remove_all(Backups());
    if (c.exists) WriteBytes(path, kOld);
    if (c.hardLinked) fs::create_hard_link(path, files / "linked.dat");
    if (c.readOnlyFolder) {
      ASSERT_EQ(::chown(path.c_str(), kUnprivilegedUser, kUnprivilegedGroup), 0);
      ASSERT_EQ(::chown(State().c_str(), kUnprivilegedUser, kUnprivilegedGroup), 0);
      fs::permissions(folder.path(), fs::perms::all);
      fs::permissions(files, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    }
    if (!KilledAtStep(n, c.readOnlyFolder, save)) break;
    steps = n;

    std::string bytes;
    bool exists = false;
    const FileStatus read = ReadWholeFile(path, bytes, &exists);
    ASSERT_TRUE(read) << "killed at step " << n << ": " << read.reason;
    if (!exists)
      EXPECT_FALSE(c.exists) << "killed at step " << n;
    else
      EXPECT_TRUE(bytes == kOld || bytes == kNew) << "killed at step " << n << ": " << bytes;
    if (read.notice.find("put back") != std::string::npos) ++putBack;
    EXPECT_FALSE(fs::exists(BackupBeside(path))) << "killed at step " << n;
    EXPECT_FALSE(fs::exists(BackupInStateFolder(path))) << "killed at step " << n;

    const int saved = c.readOnlyFolder
                          ? AsUnprivileged(folder.path(), [&] { return SaveWholeFile(path, kNew) ? 0 : 1; })
                          : (SaveWholeFile(path, kNew) ? 0 : 1);
    EXPECT_EQ(saved, 0) << "killed at step " << n;
    EXPECT_EQ(ReadBytes(path), kNew) << "killed at step " << n;
    const std::vector<std::string> expected =
        c.hardLinked ? std::vector<std::string>{"linked.dat", "unit.dat"} : std::vector<std::string>{"unit.dat"};
    EXPECT_EQ(NamesIn(files), expected) << "killed at step " << n;
    EXPECT_TRUE(NamesIn(Backups()).empty()) << "killed at step " << n;
  }
  EXPECT_GE(steps, 3) << "the save had fewer steps than expected";
  if (c.hardLinked || c.readOnlyFolder) {
    EXPECT_GT(putBack, 0) << "no kill left an unfinished write to put back";
  }
  fs::permissions(files, fs::perms::all);
}

INSTANTIATE_TEST_SUITE_P(Saves, KilledSave,
                         ::testing::Values(KillCase{"Replace", true, false, false, false},
                                           KillCase{"ReplaceByUpdate", true, false, false, true},
                                           KillCase{"NewFile", false, false, false, false},
                                           KillCase{"NewFileByUpdate", false, false, false, true},
                                           KillCase{"HardLinkedInPlace", true, true, false, false},
                                           KillCase{"HardLinkedInPlaceByUpdate", true, true, false, true},
                                           KillCase{"ReadOnlyFolderInPlace", true, false, true, false}),
                         [](const ::testing::TestParamInfo<KillCase>& info) { return std::string(info.param.name); });

// ---- what an unfinished in-place save leaves ----

struct LeftCase {
  const char* name;
  bool changedSince;  // the file is changed after the kill
  bool bySave;        // a save rather than a read finds the backup
};

void PrintTo(const LeftCase& c, std::ostream* os) { *os << c.name; }

class UnfinishedSave : public SaveFileTest, public ::testing::WithParamInterface<LeftCase> {};

// A save killed between writing in place and cutting the file to size: the backup copy is
// named after the file; the next read or save puts the old content back, unless the file
// was changed since: then both are kept and the user is told (a save is refused).
TEST_P(UnfinishedSave, BackupIsPutBackOrKeptBesideAChangedFile) {
  const LeftCase& c = GetParam();
  const fs::path path = folder / "unit.dat";
  WriteBytes(path, kOld);
  fs::create_hard_link(path, folder / "linked.dat");
  ASSERT_TRUE(KilledAtStep("truncate in place", false, [&] { SaveWholeFile(path, kNew); }));
  const fs::path backup = folder / "unit.dat.quellso-backup";
  ASSERT_EQ(BackupBeside(path), backup);
  ASSERT_EQ(ReadBytes(backup), kOld);
  ASSERT_EQ(ReadBytes(path), kNew + kOld.substr(kNew.size()));  // the new content, then the old tail
  if (c.changedSince) WriteBytes(path, "[S]\r\nk=by hand\r\n");

  FileStatus status;
  std::string bytes;
  if (c.bySave)
    status = SaveWholeFile(path, "[S]\r\nk=third\r\n");
  else
    status = ReadWholeFile(path, bytes);

  if (c.changedSince) {
    EXPECT_NE((status.ok ? status.notice : status.reason).find("was changed after a save of it did not end"),
              std::string::npos)
        << status.reason << status.notice;
    EXPECT_NE((status.ok ? status.notice : status.reason).find(backup.string()), std::string::npos);
    EXPECT_EQ(status.ok, !c.bySave);
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=by hand\r\n");
    EXPECT_EQ(ReadBytes(backup), kOld);
  } else {
    ASSERT_TRUE(status) << status.reason;
    EXPECT_NE(status.notice.find("was put back from " + backup.string()), std::string::npos) << status.notice;
    EXPECT_EQ(ReadBytes(path), c.bySave ? "[S]\r\nk=third\r\n" : kOld);
    if (!c.bySave) {
      EXPECT_EQ(bytes, kOld);
    }
    EXPECT_FALSE(fs::exists(backup));
    EXPECT_EQ(fs::hard_link_count(path), 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(Backups, UnfinishedSave,
                         ::testing::Values(LeftCase{"PutBackByARead", false, false},
                                           LeftCase{"PutBackByASave", false, true},
                                           LeftCase{"ChangedSinceKeptOnRead", true, false},
                                           LeftCase{"ChangedSinceRefusesTheSave", true, true}),
                         [](const ::testing::TestParamInfo<LeftCase>& info) { return std::string(info.param.name); });

// ---- links in shared folders ----

struct LinkCase {
  const char* name;
  fs::perms folderMode;
  uid_t folderOwner;
  uid_t linkOwner;
  bool targetExists;
  bool refused;
  bool toFolder = false;  // the link leads to the file's folder, and the save names the file through it
};

void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class LinkedSave : public SaveFileTest, public ::testing::WithParamInterface<LinkCase> {};

// A link that another user planted in a sticky, world-writable folder is never written
// through, whatever the machine's link protection says; other links are followed and kept.
TEST_P(LinkedSave, FollowsOnlyLinksTheKernelWouldFollow) {
  const LinkCase& c = GetParam();
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make links of other users";
  const fs::path shared = folder / "shared";
  fs::create_directory(shared);
  ASSERT_EQ(::chown(shared.c_str(), c.folderOwner, c.folderOwner), 0);
  fs::permissions(shared, c.folderMode);
  const fs::path victim = folder / "victim.dat";
  if (c.targetExists) WriteBytes(victim, kOld);
  const fs::path link = shared / (c.toFolder ? "folder" : "unit.dat");
  fs::create_symlink(c.toFolder ? folder.path() : victim, link);
  ASSERT_EQ(::lchown(link.c_str(), c.linkOwner, c.linkOwner), 0);

  const FileStatus status = SaveWholeFile(c.toFolder ? link / "victim.dat" : link, kNew);
  EXPECT_TRUE(fs::is_symlink(link));
  if (c.refused) {
    EXPECT_FALSE(status);
    EXPECT_NE(status.reason.find("symbolic link that another user made in a shared folder"), std::string::npos)
        << status.reason;
    EXPECT_EQ(fs::exists(victim), c.targetExists);
    if (c.targetExists) {
      EXPECT_EQ(ReadBytes(victim), kOld);
    }
  } else {
    EXPECT_TRUE(status) << status.reason;
    EXPECT_EQ(ReadBytes(victim), kNew);
  }
  EXPECT_EQ(NamesIn(shared), std::vector<std::string>{link.filename()});
}

constexpr fs::perms kShared = fs::perms::all | fs::perms::sticky_bit;

INSTANTIATE_TEST_SUITE_P(
    Links, LinkedSave,
    ::testing::Values(
        LinkCase{"OtherUsersLinkInASharedFolder", kShared, 0, kUnprivilegedUser, true, true},
        LinkCase{"OtherUsersDanglingLinkInASharedFolder", kShared, 0, kUnprivilegedUser, false, true},
        LinkCase{"OtherUsersLinkInAFolderWithoutStickyBit", fs::perms::all, 0, kUnprivilegedUser, true, false},
        LinkCase{"OtherUsersLinkInAStickyFolderOnlyItsOwnerWrites", fs::perms::owner_all | fs::perms::sticky_bit, 0,
                 kUnprivilegedUser, true, false},
        LinkCase{"OwnLinkInASharedFolder", kShared, kUnprivilegedUser, 0, true, false},
        LinkCase{"FolderOwnersLinkInASharedFolder", kShared, kUnprivilegedUser, kUnprivilegedUser, true, false},
        LinkCase{"OwnDanglingLinkCreatesItsTarget", kShared, 0, 0, false, false},
        LinkCase{"OtherUsersLinkToAFolderInASharedFolder", kShared, 0, kUnprivilegedUser, true, true, true},
        LinkCase{"OwnLinkToAFolderInASharedFolder", kShared, 0, 0, true, false, true}),
    [](const ::testing::TestParamInfo<LinkCase>& info) { return std::string(info.param.name); });

// ---- leftovers of killed saves ----

struct LeftoverCase {
  const char* name;
  const char* file;
  bool held;  // a running save holds it
  bool removed;
};

void PrintTo(const LeftoverCase& c, std::ostream* os) { *os << c.name; }

class Leftover : public SaveFileTest, public ::testing::WithParamInterface<LeftoverCase> {};

TEST_P(Leftover, IsRemovedByTheNextSaveWhenNobodyHoldsIt) {
  const LeftoverCase& c = GetParam();
  const fs::path leftover = folder / "files" / c.file;
  fs::create_directory(folder / "files");
  WriteBytes(leftover, "[S]\r\nk=half");
  Descriptor holder;
  if (c.held) {
    holder = Descriptor(::open(leftover.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(holder.get(), LOCK_EX | LOCK_NB), 0);
  }
  ASSERT_TRUE(SaveWholeFile(folder / "files" / "unit.dat", kNew));
  EXPECT_EQ(fs::exists(leftover), !c.removed);
}

INSTANTIATE_TEST_SUITE_P(Temporaries, Leftover,
                         ::testing::Values(LeftoverCase{"OfAKilledSave", ".quellso-Ab12Cd", false, true},
                                           LeftoverCase{"OfARunningSave", ".quellso-Ab12Cd", true, false},
                                           LeftoverCase{"AnotherHiddenFile", ".quellso-notes.txt", false, false},
                                           LeftoverCase{"ABackupCopy", "unit.dat.quellso-backup", false, false}),
                         [](const ::testing::TestParamInfo<LeftoverCase>& info) {
                           return std::string(info.param.name);
                         });

// ---- the size limit ----

struct LimitCase {
  const char* name;
  bool exists;
  bool update;
  std::size_t size;
  bool refused;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class SizeLimit : public SaveFileTest, public ::testing::WithParamInterface<LimitCase> {};

// A save never makes a file that could not be read back.
TEST_P(SizeLimit, ContentPastTheReadLimitIsRefused) {
  const LimitCase& c = GetParam();
  const fs::path path = folder / "unit.dat";
  if (c.exists) WriteBytes(path, kOld);
  const std::string big(c.size, 'x');
  const FileStatus status = c.update
                                ? UpdateWholeFile(path, [&](std::string& bytes) { bytes += big.substr(bytes.size()); })
                                : SaveWholeFile(path, big);
  if (c.refused) {
    EXPECT_FALSE(status);
    EXPECT_NE(status.reason.find("larger than 16 MiB"), std::string::npos) << status.reason;
    EXPECT_EQ(fs::exists(path), c.exists);
    if (c.exists) {
      EXPECT_EQ(ReadBytes(path), kOld);
    }
  } else {
    EXPECT_TRUE(status) << status.reason;
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes.size(), c.size);
  }
  const std::vector<std::string> names =
      (c.exists || !c.refused) ? std::vector<std::string>{"state", "unit.dat"} : std::vector<std::string>{"state"};
  EXPECT_EQ(NamesIn(folder.path()), names);
}

INSTANTIATE_TEST_SUITE_P(Saves, SizeLimit,
                         ::testing::Values(LimitCase{"ReplaceRefused", true, false, kMaxFileSize + 1, true},
                                           LimitCase{"UpdateRefused", true, true, kMaxFileSize + 1, true},
                                           LimitCase{"NewFileRefused", false, false, kMaxFileSize + 1, true},
                                           LimitCase{"JustAtTheLimitSaved", true, false, kMaxFileSize, false}),
                         [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

}  // namespace
