// Saving data files on the file systems technicians really use: USB sticks (vfat, exFAT),
// XFS and ext4, each a small image mounted through a loop device.  Every case skips, with
// the reason, where the machine cannot do that: not root, no mkfs for the file system, or
// a kernel that cannot mount it.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "files/datafile.h"
#include "tests/files/filetestsupport.h"

namespace {

namespace fs = std::filesystem;

struct Disk {
  const char* type;
  const char* mkfs;  // the command that makes the file system on the image
  const char* size;  // of the image (sparse)
};

void PrintTo(const Disk& d, std::ostream* os) { *os << d.type; }

// Runs a shell command; its output goes to `log`.  True when it exits with 0.
bool Run(const std::string& command, const fs::path& log) {
  return std::system((command + " >" + log.string() + " 2>&1").c_str()) == 0;
}

// An image of the file system mounted on a folder while it lives.
class MountedImage {
 public:
  MountedImage(const Disk& disk, const fs::path& root) : mount_(root / "mnt"), log_(root / "log") {
    const fs::path image = root / "disk.img";
    fs::create_directory(mount_);
    if (!Run(std::string("command -v ") + disk.mkfs, log_)) {
      why_ = std::string(disk.mkfs) + " is not installed";
      return;
    }
    if (!Run("truncate -s " + std::string(disk.size) + " " + image.string(), log_) ||
        !Run(std::string(disk.mkfs) + " " + image.string(), log_)) {
      why_ = "cannot make the image: " + ReadBytes(log_);
      return;
    }
    if (!Run("mount -o loop " + image.string() + " " + mount_.string(), log_)) {
      why_ = "cannot mount it through a loop device: " + ReadBytes(log_);
      return;
    }
    mounted_ = true;
  }
  ~MountedImage() {
    if (mounted_) Run("umount " + mount_.string(), log_);
  }
  MountedImage(const MountedImage&) = delete;
  MountedImage& operator=(const MountedImage&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& why() const { return why_; }
  const fs::path& path() const { return mount_; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(mount_))
      if (entry.path().filename() != "lost+found") names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path mount_;
  fs::path log_;
  std::string why_;
  bool mounted_ = false;
};

class SaveOnDisk : public ::testing::TestWithParam<Disk> {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting an image needs root";
    image_ = std::make_unique<MountedImage>(GetParam(), folder.path());
    if (!image_->mounted()) GTEST_SKIP() << GetParam().type << ": " << image_->why();
  }
  void TearDown() override { image_.reset(); }
  fs::path On(const std::string& name) const { return image_->path() / name; }

  TempFolder folder;
  std::unique_ptr<MountedImage> image_;
};

UnitDataRecord Record(const std::string& job) {
  UnitDataRecord record{};
  record.SetModelNumber("YKCBCBS3-CKHS");
  record.SetJobName(job);
  record.SetJobLocation("Pier 9");
  return record;
}

TEST_P(SaveOnDisk, SavesReplacesAndLeavesNothingBehind) {
  const fs::path path = On("unit.dat");
  ASSERT_TRUE(WriteDataFile(Record("First"), path));
  WriteBytes(On("other.txt"), "[Other]\r\nKeep=me\r\n");
  const FileStatus status = WriteDataFile(Record("Second"), path);
  ASSERT_TRUE(status) << status.reason;
  UnitDataRecord read{};
  ASSERT_TRUE(ReadDataFile(read, path));
  EXPECT_STREQ(read.JobName(), "Second");
  EXPECT_STREQ(read.JobLocation(), "Pier 9");
  EXPECT_EQ(image_->Names(), (std::vector<std::string>{"other.txt", "unit.dat"}));

  // The longest name the file system takes saves over an existing file.
  const fs::path longest = On(std::string(251, 'n') + ".dat");
  ASSERT_TRUE(WriteDataFile(Record("Long"), longest));
  const FileStatus again = WriteDataFile(Record("Longer"), longest);
  EXPECT_TRUE(again) << again.reason;
  ASSERT_TRUE(ReadDataFile(read, longest));
  EXPECT_STREQ(read.JobName(), "Longer");
  EXPECT_EQ(image_->Names().size(), 3u);
}

// Two savers at once, each in a process of its own, lose none of each other's keys.
TEST_P(SaveOnDisk, TwoSaversAtOnceLoseNothing) {
  const fs::path path = On("shared.dat");
  constexpr int kEach = 60;
  EXPECT_TRUE(InTwoProcessesAtOnce([&](const std::string& who) {
    int failed = 0;
    for (int i = 0; i < kEach; ++i) failed += !WriteProfileString("Keys", who + std::to_string(i), "v", path);
    return failed == 0 ? 0 : 1;
  }));
  ProfileDocument file;
  ASSERT_TRUE(LoadProfile(path, file));
  int missing = 0;
  for (const char* who : {"a", "b"})
    for (int i = 0; i < kEach; ++i) missing += !file.Find("Keys", who + std::to_string(i)).has_value();
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(image_->Names(), std::vector<std::string>{"shared.dat"});
}

// A full disk: the save fails, the old file keeps its content, nothing is left behind.
TEST_P(SaveOnDisk, FullDiskKeepsTheOldFile) {
  const fs::path path = On("unit.dat");
  ASSERT_TRUE(WriteDataFile(Record("Kept"), path));
  const std::string old = ReadBytes(path);
  // Fill the disk, then leave less room than the new file needs.
  {
    std::ofstream filler(On("filler"), std::ios::binary);
    const std::string block(1 << 16, 'f');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
  }
  ProfileDocument bigger(old);
  bigger.Write("Notes", "Text", std::string(1 << 16, 'n'));
  const FileStatus status = SaveProfile(path, bigger);
  EXPECT_FALSE(status);
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(image_->Names(), (std::vector<std::string>{"filler", "unit.dat"}));
  fs::remove(On("filler"));
  EXPECT_TRUE(SaveProfile(path, bigger));
}

// A file with two names stays one file, where the file system has hard links.
TEST_P(SaveOnDisk, HardLinksStayOneFile) {
  const fs::path path = On("unit.dat");
  ASSERT_TRUE(WriteDataFile(Record("One"), path));
  std::error_code ec;
  fs::create_hard_link(path, On("linked.dat"), ec);
  if (ec) GTEST_SKIP() << GetParam().type << " has no hard links";
  ASSERT_TRUE(WriteDataFile(Record("Both"), On("linked.dat")));
  UnitDataRecord read{};
  ASSERT_TRUE(ReadDataFile(read, path));
  EXPECT_STREQ(read.JobName(), "Both");
  EXPECT_EQ(fs::hard_link_count(path), 2u);
  EXPECT_EQ(image_->Names(), (std::vector<std::string>{"linked.dat", "unit.dat"}));
}

// A save killed at any of its system calls leaves the old content or the new one, replaced
// or (where the file system has hard links) written in place; the next save leaves nothing
// behind.
TEST_P(SaveOnDisk, KilledSavesLeaveTheOldOrTheNewContent) {
  const std::string old = "[S]\r\nk=" + std::string(300, 'o') + "\r\n";
  const std::string next = "[S]\r\nk=new\r\n";
  const fs::path path = On("unit.dat");
  for (const bool linked : {false, true}) {
    for (int n = 1; n < 100; ++n) {
      for (const std::string& name : image_->Names()) fs::remove(On(name));
      WriteBytes(path, old);
      std::error_code ec;
      if (linked) fs::create_hard_link(path, On("linked.dat"), ec);
      if (ec) GTEST_SKIP() << GetParam().type << " has no hard links";
      if (!KilledAtStep(n, false, [&] { SaveProfile(path, ProfileDocument(next)); })) break;
      ProfileDocument read;
      ASSERT_TRUE(LoadProfile(path, read)) << "killed at step " << n;
      EXPECT_TRUE(read.Bytes() == old || read.Bytes() == next) << "killed at step " << n << ": " << read.Bytes();
      ASSERT_TRUE(SaveProfile(path, ProfileDocument(next))) << "killed at step " << n;
      EXPECT_EQ(ReadBytes(path), next);
      const std::vector<std::string> names =
          linked ? std::vector<std::string>{"linked.dat", "unit.dat"} : std::vector<std::string>{"unit.dat"};
      EXPECT_EQ(image_->Names(), names) << "killed at step " << n;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FileSystems, SaveOnDisk,
                         ::testing::Values(Disk{"vfat", "mkfs.vfat", "32M"}, Disk{"exfat", "mkfs.exfat", "32M"},
                                           Disk{"xfs", "mkfs.xfs -q", "320M"}, Disk{"ext4", "mkfs.ext4 -q", "32M"}),
                         [](const ::testing::TestParamInfo<Disk>& info) { return std::string(info.param.type); });

}  // namespace
