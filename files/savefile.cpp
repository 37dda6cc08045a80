#include "files/savefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <system_error>
#include <thread>

#include "files/descriptor.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTooLarge = "Larger than 16 MiB, too large for a data file";
constexpr std::string_view kWouldBeTooLarge =
    "The new content is larger than 16 MiB, more than a data file may hold: saved, it could no longer be "
    "opened. The file was left as it was; make the content smaller and save again";
constexpr std::string_view kTemporaryPrefix = ".quellso-";
constexpr std::size_t kTemporaryRandom = 6;
// The longest file name of the file systems in use.
constexpr std::size_t kNameMax = 255;
// How long a save waits for another program's save of the same file to end.
constexpr auto kLockWait = std::chrono::seconds(10);
// The extended attribute of a backup copy that describes the content being written in place:
// its size and digest, so that a later read can tell that save's unfinished write from
// a change made since.
constexpr const char* kWritingAttribute = "user.quellso.writing";

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// ---- the test seam ----

SaveStepHook& Hook() {
  static SaveStepHook hook;
  return hook;
}

// Runs one system call of a save, unless the hook fails it (or ends the process) first.
template <typename Call>
auto Step(std::string_view step, Call call) -> decltype(call()) {
  if (Hook()) {
    if (const int error = Hook()(step); error != 0) {
      errno = error;
      return static_cast<decltype(call())>(-1);
    }
  }
  return call();
}

// ---- names ----

std::uint64_t Digest(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037u;  // FNV-1a
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211u;
  }
  return hash;
}

std::string Hex(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 15];
  return text;
}

// `name` followed by `tail`, within the longest name; a name cut to fit gets the digest of
// the whole name, so that two long names with one beginning keep apart.
std::string NameWithin(const std::string& name, const std::string& tail) {
  if (name.size() + tail.size() <= kNameMax) return name + tail;
  return name.substr(0, kNameMax - tail.size() - 17) + "-" + Hex(Digest(name)) + tail;
}

fs::path FolderOf(const fs::path& target) {
  return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  return "/";
}

// ---- reading and writing whole files ----

// Reads the whole of an open file from its start; `size` is its size by fstat.
FileStatus ReadWhole(int fd, std::size_t size, std::string& bytes) {
  if (size > kMaxFileSize) return FileStatus::Failure(std::string(kTooLarge));
  // One byte more than the file's size: a read that fills it shows that the file has grown
  // since fstat.  Growing the buffer only then keeps a file's cost at its size.
  bytes.assign(size + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (bytes.size() > kMaxFileSize) return FileStatus::Failure(std::string(kTooLarge));
      bytes.resize(bytes.size() + 4096);
    }
    const ssize_t n = ::pread(fd, bytes.data() + filled, bytes.size() - filled, static_cast<off_t>(filled));
    if (n < 0) {
      if (errno == EINTR) continue;
      return FileStatus::Failure(ErrnoText(errno));
    }
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  return FileStatus::Success();
}

FileStatus ReadOpenFile(int fd, std::string& bytes) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return FileStatus::Failure(ErrnoText(errno));
  return ReadWhole(fd, static_cast<std::size_t>(st.st_size), bytes);
}

bool WriteAllAt(int fd, std::string_view bytes, off_t offset, std::string_view step) {
  while (!bytes.empty()) {
    const ssize_t n = Step(step, [&] { return ::pwrite(fd, bytes.data(), bytes.size(), offset); });
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += n;
  }
  return true;
}

// Writes `bytes` as the whole content of `fd` and flushes it to the disk; `what` names the
// file in the steps ("write temporary", "truncate temporary", "flush temporary").
bool WriteWhole(int fd, std::string_view bytes, const std::string& what) {
  return WriteAllAt(fd, bytes, 0, "write " + what) &&
         Step("truncate " + what, [&] { return ::ftruncate(fd, static_cast<off_t>(bytes.size())); }) == 0 &&
         Step("flush " + what, [&] { return ::fsync(fd); }) == 0;
}

// Flushes a folder's entries (a new name, a rename) to the disk.  Some file systems cannot
// flush a folder; the save does not fail for that.
void SyncFolder(const fs::path& folder) {
  const Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) Step("flush folder", [&] { return ::fsync(fd.get()); });
}

// Removes `name` if it still names the file open as `fd`.
void RemoveIfSame(const fs::path& name, int fd, std::string_view step) {
  struct stat mine {}, there {};
  if (::fstat(fd, &mine) == 0 && ::lstat(name.c_str(), &there) == 0 && mine.st_dev == there.st_dev &&
      mine.st_ino == there.st_ino)
    Step(step, [&] { return ::unlink(name.c_str()); });
}

// ---- temporary files ----

// A new file beside the target under a short hidden name, locked for as long as this save
// holds it: a file of that kind that nobody holds is a killed save's leftover.
struct SideFile {
  Descriptor fd;
  fs::path name;
  int error = 0;  // why it could not be made
};

std::string RandomName() {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[kTemporaryRandom] = {};
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (std::size_t i = 0; i < kTemporaryRandom; ++i) random[i] = static_cast<unsigned char>(now >> (8 * i));
  }
  std::string name(kTemporaryPrefix);
  for (const unsigned char r : random) name += kLetters[r % (sizeof kLetters - 1)];
  return name;
}

bool IsTemporaryName(std::string_view name) {
  if (name.size() != kTemporaryPrefix.size() + kTemporaryRandom || !name.starts_with(kTemporaryPrefix)) return false;
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(kTemporaryPrefix.size()), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
  });
}

// Makes a new temporary file in `folder` with `mode` (less the umask).
bool NewSideFile(const fs::path& folder, mode_t mode, SideFile& side) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    side.name = folder / RandomName();
    side.fd = Descriptor(Step("create temporary", [&] {
      return ::open(side.name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, mode);
    }));
    if (!side.fd.valid()) {
      if (errno == EEXIST) continue;
      side.error = errno;
      return false;
    }
    // A fresh file: the lock is free, unless another save's clean-up took it in the moment
    // since the open; then the name may be gone, and another one is made.
    if (::flock(side.fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) continue;
    struct stat mine {}, there {};
    if (::fstat(side.fd.get(), &mine) == 0 && ::lstat(side.name.c_str(), &there) == 0 && mine.st_ino == there.st_ino &&
        mine.st_dev == there.st_dev)
      return true;
  }
  side.error = EEXIST;
  return false;
}

// Removes the temporary files of saves that were killed: those that no process holds.
void RemoveStaleTemporaries(const fs::path& folder) {
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return;
  const int dirFd = ::dirfd(dir.get());
  while (const dirent* entry = ::readdir(dir.get())) {
    if (!IsTemporaryName(entry->d_name)) continue;
    const Descriptor fd(::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {}, there {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;  // held by a save that is running
    if (::fstatat(dirFd, entry->d_name, &there, AT_SYMLINK_NOFOLLOW) == 0 && there.st_ino == st.st_ino &&
        there.st_dev == st.st_dev)
      Step("remove stale temporary", [&] { return ::unlinkat(dirFd, entry->d_name, 0); });
  }
}

// ---- links ----

// Whether the kernel's link protection refuses to follow the link described by `link` in
// the folder described by `folder` for this user.
bool ProtectedLink(const struct stat& link, const struct stat& folder) {
  const bool sharedFolder = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return sharedFolder && link.st_uid != folder.st_uid && link.st_uid != ::geteuid();
}

constexpr std::string_view kProtectedLinkTail =
    " symbolic link that another user made in a shared folder; saving through it could overwrite a file of "
    "that user's choosing, so nothing was saved. Save under another name or in another folder";

// Whether reaching `folder` goes through a symbolic link that the kernel's protection would
// not follow.
bool CrossesProtectedLink(const fs::path& folder) {
  fs::path prefix;
  for (const fs::path& part : folder) {
    prefix /= part;
    struct stat st {}, above {};
    if (::lstat(prefix.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode) && ::stat(FolderOf(prefix).c_str(), &above) == 0 && ProtectedLink(st, above)) return true;
  }
  return false;
}

// Follows symbolic links from `path` to the name of the file they lead to (which need not
// exist yet), so that a save replaces that file and keeps the link.  A link that the
// kernel's protection would not follow, as the name or on the way to it, is refused.
FileStatus ResolveLinks(fs::path& path) {
  for (int hops = 0; hops < 40; ++hops) {
    if (CrossesProtectedLink(FolderOf(path)))
      return FileStatus::Failure("The path goes through a" + std::string(kProtectedLinkTail));
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return FileStatus::Success();
    struct stat folder {};
    if (::stat(FolderOf(path).c_str(), &folder) == 0 && ProtectedLink(st, folder))
      return FileStatus::Failure("This name is a" + std::string(kProtectedLinkTail));
    std::error_code ec;
    const fs::path target = fs::read_symlink(path, ec);
    if (ec) return FileStatus::Failure(ErrnoText(ec.value()));
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return FileStatus::Failure(ErrnoText(ELOOP));
}

// ---- attributes ----

// Gives `to` the extended attributes of `from` (access control lists among them); false
// when one of them cannot be given.
bool CopyAttributes(int from, int to) {
  ssize_t size = ::flistxattr(from, nullptr, 0);
  if (size < 0) return errno == ENOTSUP || errno == ENOSYS;
  std::string names(static_cast<std::size_t>(size), '\0');
  size = ::flistxattr(from, names.data(), names.size());
  if (size < 0) return false;
  names.resize(static_cast<std::size_t>(size));
  for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
    const char* name = names.c_str() + at;
    const ssize_t length = ::fgetxattr(from, name, nullptr, 0);
    if (length < 0) return false;
    std::string value(static_cast<std::size_t>(length), '\0');
    const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
    if (got < 0) return false;
    value.resize(static_cast<std::size_t>(got));
    if (Step("copy attributes", [&] { return ::fsetxattr(to, name, value.data(), value.size(), 0); }) == 0) continue;
    // An attribute that the new file got by itself, with the same value, is kept too.
    std::string own(value.size(), '\0');
    if (::fgetxattr(to, name, own.data(), own.size()) != got || own != value) return false;
  }
  return true;
}

// ---- backups of in-place writes ----

struct Writing {
  std::uint64_t size = 0;
  std::uint64_t digest = 0;
};

std::string WritingText(std::string_view bytes) {
  return std::to_string(bytes.size()) + " " + Hex(Digest(bytes));
}

bool ReadWriting(int fd, Writing& writing) {
  char text[64] = {};
  const ssize_t n = ::fgetxattr(fd, kWritingAttribute, text, sizeof text - 1);
  if (n <= 0) return false;
  char* end = nullptr;
  writing.size = std::strtoull(text, &end, 10);
  if (end == text || *end != ' ') return false;
  char* digestEnd = nullptr;
  writing.digest = std::strtoull(end + 1, &digestEnd, 16);
  return digestEnd == end + 17;
}

// Whether `now` is what an in-place write of the content described by `writing` over
// `before` leaves when it stops between writing and cutting the file to size.
bool IsUnfinishedWrite(std::string_view now, std::string_view before, const Writing& writing) {
  if (now.size() < writing.size || now.size() != std::max<std::size_t>(writing.size, before.size())) return false;
  const auto written = static_cast<std::size_t>(writing.size);
  return Digest(now.substr(0, written)) == writing.digest &&
         now.substr(written) == before.substr(std::min(written, before.size()));
}

// Copies the whole content of `from` over that of `to`, and flushes `to` to the disk.
bool CopyWhole(int from, int to, const std::string& what) {
  std::string bytes;
  if (!ReadOpenFile(from, bytes)) return false;
  return WriteWhole(to, bytes, what);
}

struct Recovery {
  std::string notice;
  bool keptBoth = false;  // the file changed since: the backup stays beside it
  FileStatus failure = FileStatus::Success();
};

void AddNotice(std::string& notice, const std::string& more) {
  if (more.empty()) return;
  if (!notice.empty()) notice += "\n";
  notice += more;
}

// Looks for the backup copy of an unfinished in-place save of the open, locked file `fd`
// at `target`.  A file that shows only that save's unfinished write gets its old content
// back; a file that shows the old content or the whole new one just loses the backup; a
// file changed since keeps it.  Backups of other users are not trusted and left alone.
Recovery Recover(const fs::path& target, int fd) {
  Recovery recovery;
  struct stat file {};
  if (::fstat(fd, &file) != 0) return recovery;
  for (const fs::path& backupPath : {BackupBeside(target), BackupInStateFolder(target)}) {
    const Descriptor backup(::open(backupPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (!backup.valid() || ::fstat(backup.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (st.st_uid != ::geteuid() && st.st_uid != file.st_uid) continue;
    std::string before, now;
    if (!ReadOpenFile(backup.get(), before) || !ReadOpenFile(fd, now)) continue;
    Writing writing;
    const bool described = ReadWriting(backup.get(), writing);
    if (now == before || (described && now.size() == writing.size && Digest(now) == writing.digest)) {
      Step("remove backup", [&] { return ::unlink(backupPath.c_str()); });
      continue;
    }
    if (described && IsUnfinishedWrite(now, before, writing)) {
      if (!WriteWhole(fd, before, "restore")) {
        recovery.failure = FileStatus::Failure("A save of this file did not end, and its content from before that "
                                               "save cannot be put back (" +
                                               ErrnoText(errno) + "); that content is kept in " +
                                               backupPath.string());
        return recovery;
      }
      Step("remove backup", [&] { return ::unlink(backupPath.c_str()); });
      AddNotice(recovery.notice, "A save of " + target.string() + " did not end; its content from before that save "
                                 "was put back from " + backupPath.string() + ".");
      continue;
    }
    recovery.keptBoth = true;
    AddNotice(recovery.notice, target.string() + " was changed after a save of it did not end. Its content from "
                               "before that save is kept in " + backupPath.string() +
                               ": compare the two, keep what you need and remove the backup copy.");
  }
  return recovery;
}

bool BackupLeft(const fs::path& target) {
  struct stat st {};
  return ::lstat(BackupBeside(target).c_str(), &st) == 0 || ::lstat(BackupInStateFolder(target).c_str(), &st) == 0;
}

// Makes `folder` and the folders above it that are missing, each with mode 0700.
bool MakeFolder(const fs::path& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (errno != ENOENT) return false;
  if (folder.has_parent_path() && folder.parent_path() != folder && !MakeFolder(folder.parent_path())) return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

bool RefusesNewFiles(int error) { return error == EACCES || error == EPERM || error == EROFS; }

int Publish(const fs::path& from, int fd, const fs::path& to);

// Writes `bytes` in place into the open, locked file `fd` at `target`.  Its old content goes
// first into the backup copy: written under a temporary name, described (the size and
// digest of the new content), flushed to the disk and only then given its name, so that a
// backup under that name is always whole.  A failed write puts the old content back from
// there, and should even that fail (or the program be killed, or the power go), the copy
// stays and the reason names it.
FileStatus WriteInPlace(const fs::path& target, const fs::path& folder, int fd, std::string_view bytes) {
  fs::path backupPath = BackupBeside(target);
  SideFile backup;
  if (!NewSideFile(folder, 0600, backup) && RefusesNewFiles(backup.error)) {
    backupPath = BackupInStateFolder(target);
    if (!MakeFolder(backupPath.parent_path()))
      return FileStatus::Failure("Cannot keep a backup copy in " + backupPath.parent_path().string() + ": " +
                                 ErrnoText(errno));
    RemoveStaleTemporaries(backupPath.parent_path());
    NewSideFile(backupPath.parent_path(), 0600, backup);
  }
  if (!backup.fd.valid())
    return FileStatus::Failure("Cannot make the backup copy " + backupPath.string() + ": " + ErrnoText(backup.error));
  // Where the file system keeps no attributes, a later read cannot tell an unfinished write
  // from a change, and keeps both.
  const std::string writing = WritingText(bytes);
  if (!CopyWhole(fd, backup.fd.get(), "backup") ||
      (Step("describe backup",
            [&] { return ::fsetxattr(backup.fd.get(), kWritingAttribute, writing.data(), writing.size(), 0); }) != 0 &&
       errno != ENOTSUP && errno != EOPNOTSUPP) ||
      Step("flush backup", [&] { return ::fsync(backup.fd.get()); }) != 0 ||
      Publish(backup.name, backup.fd.get(), backupPath) != 0) {
    const int error = errno;
    RemoveIfSame(backup.name, backup.fd.get(), "remove temporary");
    if (error == EEXIST)
      return FileStatus::Failure("A backup copy of this file is in the way: " + backupPath.string() +
                                 ". Move it elsewhere, then save again");
    return FileStatus::Failure(ErrnoText(error));
  }
  SyncFolder(backupPath.parent_path());
  if (WriteWhole(fd, bytes, "in place")) {
    Step("remove backup", [&] { return ::unlink(backupPath.c_str()); });
    return FileStatus::Success();
  }
  const int error = errno;
  if (CopyWhole(backup.fd.get(), fd, "restore")) {
    Step("remove backup", [&] { return ::unlink(backupPath.c_str()); });
    return FileStatus::Failure(ErrnoText(error));
  }
  return FileStatus::Failure(ErrnoText(error) + ". The file's previous content is kept in " + backupPath.string());
}

// ---- the save ----

// Takes the advisory lock on `fd`, waiting for another save of the same file to end.  A
// file system without locks (some network shares) is saved without.
FileStatus Lock(int fd) {
  const auto until = std::chrono::steady_clock::now() + kLockWait;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return FileStatus::Success();
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return FileStatus::Success();
    if (std::chrono::steady_clock::now() >= until)
      return FileStatus::Failure("Another program has been saving this file for " +
                                 std::to_string(kLockWait.count()) + " seconds; try again later");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Gives the complete, flushed temporary file `from` (open as `fd`) the name `to`, unless
// something is there by now (then EEXIST).
int Publish(const fs::path& from, int fd, const fs::path& to) {
  int result = Step("publish", [&] {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  });
  if (result == 0 || (errno != EINVAL && errno != ENOSYS)) return result;
  // A file system that cannot rename without replacing: a second name, then the first goes.
  result = Step("publish", [&] { return ::link(from.c_str(), to.c_str()); });
  if (result == 0) {
    RemoveIfSame(from, fd, "remove temporary");
    return 0;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) return result;
  // Nor hard links (USB sticks): a rename where nothing is there yet.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return Step("publish", [&] { return ::rename(from.c_str(), to.c_str()); });
}

// Saves `bytes` as a new file at `target`, where nothing was.  `again` is set when a file
// appeared there meanwhile.
FileStatus CreateNew(const fs::path& target, const fs::path& folder, std::string_view bytes, bool& again) {
  SideFile side;
  if (!NewSideFile(folder, 0666, side)) {
    if (side.error == ENOENT || side.error == ENOTDIR) return FileStatus::Failure(ErrnoText(side.error));
    return FileStatus::Failure("Cannot create a new file in " + folder.string() + ": " + ErrnoText(side.error));
  }
  if (!WriteWhole(side.fd.get(), bytes, "temporary") || Publish(side.name, side.fd.get(), target) != 0) {
    const int error = errno;
    RemoveIfSame(side.name, side.fd.get(), "remove temporary");
    if (error == EEXIST) {
      again = true;
      return FileStatus::Success();
    }
    return FileStatus::Failure(ErrnoText(error));
  }
  SyncFolder(folder);
  return FileStatus::Success();
}

// Saves `bytes` into the existing, locked file `fd` (described by `st`): replaced by a
// complete new file beside it, flushed to the disk before the rename, which keeps owner,
// group, mode and attributes, with the folder flushed after; or written in place where a
// new file cannot keep them or cannot be made.
FileStatus SaveLocked(const fs::path& target, const fs::path& folder, int fd, const struct stat& st,
                      std::string_view bytes) {
  if (st.st_nlink == 1) {
    SideFile next;
    if (NewSideFile(folder, 0600, next)) {
      // Owner and group first: changing them clears the set-user and set-group bits.
      if (Step("chown", [&] { return ::fchown(next.fd.get(), st.st_uid, st.st_gid); }) == 0 &&
          Step("chmod", [&] { return ::fchmod(next.fd.get(), st.st_mode & 07777); }) == 0 &&
          CopyAttributes(fd, next.fd.get())) {
        // Renamed while still open and locked, so that no other save's clean-up takes it
        // for a leftover.
        if (!WriteWhole(next.fd.get(), bytes, "temporary") ||
            Step("rename", [&] { return ::rename(next.name.c_str(), target.c_str()); }) != 0) {
          const int error = errno;
          ::unlink(next.name.c_str());
          return FileStatus::Failure(ErrnoText(error));
        }
        SyncFolder(folder);
        return FileStatus::Success();
      }
      ::unlink(next.name.c_str());
    } else if (!RefusesNewFiles(next.error)) {
      return FileStatus::Failure("Cannot create a new file in " + folder.string() + ": " + ErrnoText(next.error));
    }
  }
  return WriteInPlace(target, folder, fd, bytes);
}

// A save of `path`: `whole` as its new content, or, with `change`, what `change` makes of
// its current content.
FileStatus Save(const fs::path& path, std::string_view whole, const std::function<void(std::string&)>* change) {
  fs::path target = path;
  if (FileStatus resolved = ResolveLinks(target); !resolved) return resolved;
  const fs::path folder = FolderOf(target);
  RemoveStaleTemporaries(folder);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    // O_NONBLOCK: a named pipe must not block the open; O_NOFOLLOW: a link put in the
    // resolved name's place since is resolved (and judged) again.
    const Descriptor fd(::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (!fd.valid()) {
      const int error = errno;
      if (error == ELOOP) {
        target = path;
        if (FileStatus resolved = ResolveLinks(target); !resolved) return resolved;
        continue;
      }
      if (error != ENOENT) return FileStatus::Failure(ErrnoText(error));
      std::string bytes(change ? std::string_view() : whole);
      if (change) (*change)(bytes);
      if (bytes.size() > kMaxFileSize) return FileStatus::Failure(std::string(kWouldBeTooLarge));
      bool again = false;
      FileStatus created = CreateNew(target, folder, bytes, again);
      if (again) continue;
      return created;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return FileStatus::Failure(ErrnoText(errno));
    if (S_ISDIR(st.st_mode)) return FileStatus::Failure(ErrnoText(EISDIR));
    if (!S_ISREG(st.st_mode)) return FileStatus::Failure("Not a regular file");
    if (FileStatus locked = Lock(fd.get()); !locked) return locked;
    // A save that replaced the file meanwhile put a new file under the name: whoever
    // locked the old one tries again on the new one.
    struct stat now {};
    if (::lstat(target.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) continue;
    Recovery recovery;
    if (BackupLeft(target)) {
      recovery = Recover(target, fd.get());
      if (!recovery.failure) return recovery.failure;
      if (recovery.keptBoth) return FileStatus::Failure(recovery.notice + " Nothing was saved.");
    }
    if (::fstat(fd.get(), &st) != 0) return FileStatus::Failure(ErrnoText(errno));
    std::string bytes;
    if (change) {
      if (FileStatus read = ReadWhole(fd.get(), static_cast<std::size_t>(st.st_size), bytes); !read) return read;
      (*change)(bytes);
    } else {
      bytes = whole;
    }
    if (bytes.size() > kMaxFileSize) return FileStatus::Failure(std::string(kWouldBeTooLarge));
    FileStatus saved = SaveLocked(target, folder, fd.get(), st, bytes);
    if (saved) saved.notice = recovery.notice;
    return saved;
  }
  return FileStatus::Failure("Another program keeps replacing this file; try again later");
}

}  // namespace

fs::path StateFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
    return fs::path(state) / "quellso";
  return fs::path(HomeFolder()) / ".local" / "state" / "quellso";
}

fs::path BackupBeside(const fs::path& file) {
  return FolderOf(file) / NameWithin(file.filename().string(), std::string(kBackupSuffix));
}

fs::path BackupInStateFolder(const fs::path& file) {
  std::error_code ec;
  const fs::path absolute = fs::absolute(file, ec);
  const std::string full = (ec ? file : absolute).lexically_normal().string();
  return StateFolder() / "backups" /
         NameWithin(file.filename().string(), "." + Hex(Digest(full)) + std::string(kBackupSuffix));
}

FileStatus ReadWholeFile(const fs::path& path, std::string& bytes, bool* exists) {
  if (exists) *exists = false;
  std::string notice;
  // The backup of a save that did not end: put back (or told of) before the read.
  if (fs::path target = path; ResolveLinks(target) && BackupLeft(target)) {
    const Descriptor fd(::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    struct stat st {};
    if (fd.valid() && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && Lock(fd.get())) {
      Recovery recovery = Recover(target, fd.get());
      notice = recovery.failure ? recovery.notice : recovery.failure.reason;
    } else if (!fd.valid() && (errno == EACCES || errno == EROFS)) {
      notice = "A backup copy of an unfinished save of " + target.string() + " is beside it (or in " +
               BackupInStateFolder(target).parent_path().string() +
               "); it was left alone because this file cannot be written here.";
    }
  }
  // O_NONBLOCK: opening a named pipe must not wait for a writer.
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!fd.valid()) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      bytes.clear();
      return FileStatus::Success();
    }
    return FileStatus::Failure(ErrnoText(error));
  }
  if (exists) *exists = true;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return FileStatus::Failure(ErrnoText(errno));
  if (S_ISDIR(st.st_mode)) return FileStatus::Failure(ErrnoText(EISDIR));
  if (!S_ISREG(st.st_mode)) return FileStatus::Failure("Not a regular file");
  std::string read;
  if (FileStatus status = ReadWhole(fd.get(), static_cast<std::size_t>(st.st_size), read); !status) return status;
  bytes = std::move(read);
  FileStatus status = FileStatus::Success();
  status.notice = std::move(notice);
  return status;
}

FileStatus SaveWholeFile(const fs::path& path, std::string_view bytes) { return Save(path, bytes, nullptr); }

FileStatus UpdateWholeFile(const fs::path& path, const std::function<void(std::string&)>& change) {
  return Save(path, {}, &change);
}

void SetSaveStepHook(SaveStepHook hook) { Hook() = std::move(hook); }
