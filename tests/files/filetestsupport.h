#pragma once

// Helpers for tests that work on real files in a private temporary folder.

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <grp.h>
#include <csignal>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "files/savefile.h"

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

class TempFolder {
 public:
  TempFolder() : path_(dir_.path().toStdString()) {}
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // The names in the folder, for checking that no temporary file was left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  QTemporaryDir dir_;
  std::filesystem::path path_;
};

// The user and group that AsUnprivileged runs as, and another group.
inline constexpr uid_t kUnprivilegedUser = 65534;
inline constexpr gid_t kUnprivilegedGroup = 65534;
inline constexpr gid_t kOtherGroup = 65533;

// Runs `body` as a user without privileges, so that file permissions really hold: as
// root, in a child process that has given up root (the folder `open_up` is made
// traversable for it first), a member of `groups` besides its own; otherwise in this
// process.  Returns body's result, or -1 when the privileges could not be given up.
inline int AsUnprivileged(const std::filesystem::path& open_up, const std::function<int()>& body,
                          const std::vector<gid_t>& groups = {}) {
  if (::geteuid() != 0) return body();
  std::filesystem::permissions(open_up, std::filesystem::perms::all);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setgid(kUnprivilegedGroup) != 0 ||
        ::setuid(kUnprivilegedUser) != 0)
      ::_exit(255);
    ::_exit(body());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

// Runs `body` in two processes at the same time, once with "a" and once with "b"; true
// when both return 0.
inline bool InTwoProcessesAtOnce(const std::function<int(const std::string& who)>& body) {
  std::vector<pid_t> children;
  for (const char* who : {"a", "b"}) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(body(who));
    children.push_back(child);
  }
  bool ok = true;
  for (const pid_t child : children) {
    int status = 0;
    ok = ok && child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return ok;
}

// While alive, this process may not write files beyond `bytes`: writes past it fail with
// "File too large", as a full disk makes them fail.  Root is bound by it too.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*old_handler_)(int) = nullptr;
};

// Runs `save` in a child process (as the unprivileged user when asked) that kills itself
// with SIGKILL at the save step for which `killHere` (given the step's number from 1 and
// its name) is true.  True when it was killed; false when the save ended first.
inline bool KilledAt(const std::function<bool(int, std::string_view)>& killHere, bool unprivileged,
                     const std::function<void()>& save) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (unprivileged && (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedGroup) != 0 ||
                         ::setuid(kUnprivilegedUser) != 0))
      ::_exit(255);
    int count = 0;
    SetSaveStepHook([&](std::string_view step) {
      if (killHere(++count, step)) ::kill(::getpid(), SIGKILL);
      return 0;
    });
    save();
    ::_exit(0);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return false;
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

inline bool KilledAtStep(int n, bool unprivileged, const std::function<void()>& save) {
  return KilledAt([n](int count, std::string_view) { return count == n; }, unprivileged, save);
}

inline bool KilledAtStep(std::string_view name, bool unprivileged, const std::function<void()>& save) {
  return KilledAt([name](int, std::string_view step) { return step == name; }, unprivileged, save);
}
