// Fuzz target for the durable save.  The input chooses the kind of save (the file there or
// not, with a second hard link or not, saved whole or updated), the step of the save that
// fails (an error number the system call then gives) or at which the save is killed, and
// the old and the new content (separated by the first zero byte).  Whatever the step, the
// file then reads as the old content or the new one: the new one exactly when the save
// said it succeeded, the old one when it said it failed.  The next save, without failures,
// ends well and leaves no temporary file and no backup copy behind.

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files/savefile.h"

namespace {

namespace fs = std::filesystem;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz_save: %s\n", what);
    std::abort();
  }
}

// Thrown by the step hook: the save stops there as a killed program would.  The open
// descriptors close (and their locks go) as the stack unwinds, as they would in the kernel.
struct Killed {};

const fs::path& Folder() {
  static const fs::path folder = [] {
    std::string name = (fs::temp_directory_path() / "quellso-fuzz-save-XXXXXX").string();
    Check(::mkdtemp(name.data()) != nullptr, "cannot make a temporary folder");
    ::setenv("XDG_STATE_HOME", (fs::path(name) / "state").c_str(), 1);
    return fs::path(name);
  }();
  return folder;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

constexpr int kErrors[] = {EIO, ENOSPC, EDQUOT, EFBIG, EACCES, EPERM, EROFS, EEXIST, EINVAL, ENOTSUP, EINTR, ENOENT};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const bool exists = (data[0] & 1) != 0;
  const bool hardLinked = exists && (data[0] & 2) != 0;
  const bool update = (data[0] & 4) != 0;
  const bool kill = (data[0] & 8) != 0;
  const int failAt = data[1];
  const int error = kErrors[data[2] % std::size(kErrors)];
  const std::string rest(reinterpret_cast<const char*>(data) + 3, size - 3);
  const std::size_t zero = rest.find('\0');
  const std::string oldContent = rest.substr(0, zero);
  const std::string newContent = zero == std::string::npos ? std::string("[S]\r\nk=new\r\n") : rest.substr(zero + 1);

  const fs::path files = Folder() / "files";
  const fs::path path = files / "unit.dat";
  std::error_code ec;
  fs::remove_all(files, ec);
  fs::remove_all(Folder() / "state", ec);
  fs::create_directories(files);
  if (exists) WriteBytes(path, oldContent);
  if (hardLinked) fs::create_hard_link(path, files / "linked.dat");

  int count = 0;
  SetSaveStepHook([&](std::string_view) {
    if (++count != failAt) return 0;
    if (kill) throw Killed{};
    return error;
  });
  bool killed = false;
  FileStatus status;
  try {
    status = update ? UpdateWholeFile(path, [&](std::string& bytes) { bytes = newContent; })
                    : SaveWholeFile(path, newContent);
  } catch (const Killed&) {
    killed = true;
  }
  SetSaveStepHook(nullptr);

  std::string bytes;
  bool there = false;
  const FileStatus read = ReadWholeFile(path, bytes, &there);
  Check(read.ok, "the file cannot be read after the save");
  const bool isOld = exists ? there && bytes == oldContent : !there;
  const bool isNew = there && bytes == newContent;
  if (killed)
    Check(isOld || isNew, "a killed save left neither the old content nor the new one");
  else if (status)
    Check(isNew, "a save that succeeded left something other than the new content");
  else
    Check(isOld, "a save that failed left something other than the old content");
  Check(!fs::exists(BackupBeside(path)), "a backup copy stays beside the file after a read");

  const FileStatus again = SaveWholeFile(path, newContent);
  Check(again.ok, "the next save failed");
  std::string after;
  Check(ReadWholeFile(path, after) && after == newContent, "the next save did not save");
  const std::vector<std::string> expected =
      hardLinked ? std::vector<std::string>{"linked.dat", "unit.dat"} : std::vector<std::string>{"unit.dat"};
  Check(Names(files) == expected, "the next save left files behind");
  Check(Names(Folder() / "state" / "quellso" / "backups").empty(), "a backup copy stays in the state folder");
  return 0;
}
