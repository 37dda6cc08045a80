#pragma once

// Durable saves: a file's whole content written so that a failed save, a killed program, a
// pulled stick or a power cut leaves the old content or the new one, never a mixture, and
// reads that finish what such a save left behind.
//
//   - An existing file is replaced by a complete new file written beside it under a short
//     hidden name (".quellso-" and six characters), flushed to the disk and renamed over it;
//     the folder is flushed after.  The new file keeps the old one's owner, group, mode and
//     extended attributes.
//   - A new file is written the same way and given its name only once it is complete: the
//     name shows the whole content or nothing.
//   - A file with several hard links, one whose owner, group, mode or attributes a new file
//     could not keep, or a writable file in a folder where this user may not make files, is
//     written in place.  Its old content goes first into a backup copy named after it,
//     "NAME.quellso-backup" beside it (in the user's state folder, under "backups", when the
//     folder takes no new file), which is removed once the new content is on the disk.  A
//     backup still there when the file is next read or saved tells of a save that did not
//     end: when the file shows that save's unfinished write it is put back from the backup;
//     when the file was changed since, both are kept and the caller is told.
//   - Hidden temporary files that killed saves left behind, which no process holds any more,
//     are removed by the next save in their folder.
//   - Saves follow symbolic links and keep them, except for a link that the kernel's link
//     protection would not follow for this user (one in a sticky, world-writable folder that
//     belongs to neither the folder's owner nor this user), whatever the machine's setting
//     for it: such a save is refused.
//   - A file this user may not write is not replaced although the rename would get past it;
//     saves of one file wait for each other (an advisory lock, up to 10 seconds).
//   - Nothing larger than 16 MiB is read or saved.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

// The outcome of reading or writing a file: success, or why it failed.  The reason is a
// short text without the file name, such as "Permission denied" or "Is a directory";
// callers name the file in their own message.  `notice` is something the user should know
// although the operation succeeded (a backup of an unfinished save put back or kept); it
// names the files concerned.
struct FileStatus {
  bool ok = true;
  std::string reason;
  std::string notice = {};

  static FileStatus Success() { return {}; }
  static FileStatus Failure(std::string why) { return {false, std::move(why)}; }
  explicit operator bool() const { return ok; }
};

// The largest file that is read, and the largest content that is saved.
inline constexpr std::size_t kMaxFileSize = 16u * 1024u * 1024u;

// What a backup copy's name ends with.
inline constexpr std::string_view kBackupSuffix = ".quellso-backup";

// The user's state folder: $XDG_STATE_HOME/quellso when XDG_STATE_HOME is an absolute path,
// else $HOME/.local/state/quellso (the home folder of the password database when HOME is
// not set).
std::filesystem::path StateFolder();

// Where an in-place save of `file` keeps its backup copy: beside it, or, when its folder
// takes no new file, in the state folder (the name then carries a digest of the file's
// full path, so that files of one name in different folders keep apart).
std::filesystem::path BackupBeside(const std::filesystem::path& file);
std::filesystem::path BackupInStateFolder(const std::filesystem::path& file);

// Reads the whole file at `path` into `bytes`, first putting back the backup of an
// unfinished save (see above; the notice tells).  A path that names no file (nothing there,
// or a folder on the way that does not exist) reads as empty.  A file that exists but
// cannot be read (no permission, a folder, not a regular file, too large) fails, and
// `bytes` is left as it was.  `exists`, when given, tells whether a file was there.
FileStatus ReadWholeFile(const std::filesystem::path& path, std::string& bytes, bool* exists = nullptr);

// Saves `bytes` as the whole content of the file at `path`, as described above.
FileStatus SaveWholeFile(const std::filesystem::path& path, std::string_view bytes);

// Reads the file at `path` (a missing one reads as empty), lets `change` change its bytes,
// and saves them, holding the file's lock from before the read until after the save: two
// programs that update one file at the same time each see the other's change.
FileStatus UpdateWholeFile(const std::filesystem::path& path, const std::function<void(std::string&)>& change);

// For tests and the fuzzer: called before each system call of a save that changes the
// disk, with the step's name ("create", "write", "flush", "rename", "backup", "write in
// place", "truncate", ...).  It returns 0 to let the call go on, or an error number that
// the call then fails with; it may also end the process there.  Not for the program.
using SaveStepHook = std::function<int(std::string_view step)>;
void SetSaveStepHook(SaveStepHook hook);
