// The private temporary folder: created private, and refused when it is not.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "files/tempfolder.h"

namespace fs = std::filesystem;

namespace {

class TempFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quellso-tmpbase-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    base_ = tmpl;
    expected_ = base_ / ("quellso-" + std::to_string(::getuid()));
  }
  void TearDown() override { fs::remove_all(base_); }

  fs::path base_;
  fs::path expected_;
};

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::lstat(p.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST_F(TempFolderTest, CreatesAPrivateFolderPerUser) {
  const mode_t oldMask = ::umask(0);  // the folder is 0700 whatever the umask
  const TempFolder folder = PrivateTempFolderIn(base_);
  ::umask(oldMask);
  ASSERT_TRUE(folder.ok()) << folder.error;
  EXPECT_EQ(folder.path, expected_);
  EXPECT_TRUE(fs::is_directory(expected_));
  EXPECT_EQ(ModeOf(expected_), 0700u);
}

TEST_F(TempFolderTest, ReusesItsOwnFolder) {
  ASSERT_TRUE(PrivateTempFolderIn(base_).ok());
  const TempFolder again = PrivateTempFolderIn(base_);
  EXPECT_TRUE(again.ok()) << again.error;
  EXPECT_EQ(again.path, expected_);
}

TEST_F(TempFolderTest, RefusesWhatIsNotAPrivateFolder) {
  const struct {
    const char* name;
    void (*make)(const fs::path& target, const fs::path& elsewhere);
    const char* says;
  } cases[] = {
      {"symbolic link",
       [](const fs::path& t, const fs::path& e) {
         fs::create_directory(e);
         ::chmod(e.c_str(), 0700);
         fs::create_directory_symlink(e, t);
       },
       "is a symbolic link"},
      {"plain file", [](const fs::path& t, const fs::path&) { std::fclose(std::fopen(t.c_str(), "w")); },
       "is not a folder"},
      {"open to others",
       [](const fs::path& t, const fs::path&) {
         fs::create_directory(t);
         ::chmod(t.c_str(), 0755);
       },
       "is open to other users"},
      {"not writable by the owner",
       [](const fs::path& t, const fs::path&) {
         fs::create_directory(t);
         ::chmod(t.c_str(), 0500);
       },
       "is not fully accessible"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(expected_);
    fs::remove_all(base_ / "elsewhere");
    c.make(expected_, base_ / "elsewhere");
    const TempFolder folder = PrivateTempFolderIn(base_);
    EXPECT_FALSE(folder.ok());
    EXPECT_TRUE(folder.path.empty());
    EXPECT_NE(folder.error.find(expected_.string()), std::string::npos) << folder.error;
    EXPECT_NE(folder.error.find(c.says), std::string::npos) << folder.error;
    EXPECT_NE(folder.error.find("TMPDIR"), std::string::npos) << folder.error;
    ::chmod(expected_.c_str(), 0700);
  }
}

TEST_F(TempFolderTest, RefusesAFolderOfAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  fs::create_directory(expected_);
  ::chmod(expected_.c_str(), 0700);
  ASSERT_EQ(::chown(expected_.c_str(), 4242, 4242), 0);
  const TempFolder folder = PrivateTempFolderIn(base_);
  EXPECT_FALSE(folder.ok());
  EXPECT_NE(folder.error.find("belongs to another user"), std::string::npos) << folder.error;
}

TEST_F(TempFolderTest, MissingBaseIsReported) {
  const TempFolder folder = PrivateTempFolderIn(base_ / "missing");
  EXPECT_FALSE(folder.ok());
  EXPECT_NE(folder.error.find("Cannot create the temporary folder"), std::string::npos)
      << folder.error;
}

TEST_F(TempFolderTest, HonoursTmpdir) {
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  ::setenv("TMPDIR", base_.c_str(), 1);
  EXPECT_EQ(SystemTempFolder(), base_);
  const TempFolder folder = PrivateTempFolder();
  EXPECT_TRUE(folder.ok()) << folder.error;
  EXPECT_EQ(folder.path, expected_);
  ::setenv("TMPDIR", "", 1);
  EXPECT_EQ(SystemTempFolder(), fs::path("/tmp"));
  ::unsetenv("TMPDIR");
  EXPECT_EQ(SystemTempFolder(), fs::path("/tmp"));
  if (old) ::setenv("TMPDIR", saved.c_str(), 1);
}

}  // namespace
