// Fuzz target for ExtractArchive and ReadArchiveDirectory.  Each input is written as an
// archive and extracted into an empty folder; afterwards that folder may hold only plain
// files (none when the archive was refused for its limits), and nothing may have appeared
// beside it.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "files/upzarchive.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz_extract: %s\n", what);
    std::abort();
  }
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  Check(dir != nullptr, "cannot list a folder");
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  ::closedir(dir);
  return names;
}

// A private scratch folder for the archive and the output folder, removed at exit.
struct Scratch {
  std::string root;
  Scratch() {
    const char* base = std::getenv("TMPDIR");
    root = std::string(base && *base ? base : "/tmp") + "/quellso-fuzz-XXXXXX";
    Check(::mkdtemp(root.data()) != nullptr, "cannot make a scratch folder");
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

const std::string& Root() {
  static const Scratch scratch;
  return scratch.root;
}

class Progress : public ArchiveProgress {
 public:
  void ArchiveNotification(unsigned notification, std::int32_t value) override {
    if (notification == kArchiveBeginNotification) {
      Check(!begun, "begin notified twice");
      begun = true;
      count = value;
    } else {
      Check(notification == kArchiveEntryNotification, "unknown notification");
      Check(begun && value == next && value < count, "entry notified out of order");
      ++next;
    }
  }
  bool begun = false;
  std::int32_t count = 0;
  std::int32_t next = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string root = Root();
  const std::string archive = root + "/order.upz";
  const std::string out = root + "/out";
  FILE* f = std::fopen(archive.c_str(), "wb");
  Check(f != nullptr, "cannot write the archive");
  Check(std::fwrite(data, 1, size, f) == size && std::fclose(f) == 0, "cannot write the archive");
  ::mkdir(out.c_str(), 0700);

  UpzHeader expected = UpzHeader::Expected();
  std::string folder = out;
  Progress progress;
  const ArchiveResult result = ExtractArchive(expected, archive, folder, std::nullopt, &progress);
  Check(static_cast<int>(result) >= 0 && static_cast<int>(result) <= 11, "result out of range");
  Check(folder == out + "/", "the destination folder lacks its '/'");

  std::vector<UpzEntry> entries;
  const ArchiveResult listed = ReadArchiveDirectory(archive, entries);
  if (listed == ArchiveResult::kNoError) {
    Check(static_cast<std::int64_t>(entries.size()) == std::max<std::int64_t>(progress.count, 0),
          "directory and extraction disagree on the entry count");
  }

  Check(Names(root) == std::set<std::string>{"order.upz", "out"}, "a file appeared outside");
  // An archive beyond the limits leaves nothing behind.
  if (result == ArchiveResult::kTooLarge || result == ArchiveResult::kTooManyMembers)
    Check(Names(out).empty(), "a refused archive left files");
  for (const std::string& name : Names(out)) {
    const std::string path = out + "/" + name;
    struct stat st {};
    Check(::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode), "not a plain file");
    Check(name == MemberFileName(name), "an unsafe file name");
    ::unlink(path.c_str());
  }
  return 0;
}
