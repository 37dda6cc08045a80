#include "files/tempfolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace {

TempFolder Failure(std::string text) { return TempFolder{{}, std::move(text)}; }

constexpr const char* kOtherFolder = " or set TMPDIR to another folder.";

}  // namespace

std::filesystem::path SystemTempFolder() {
  const char* env = std::getenv("TMPDIR");
  std::filesystem::path base = (env && *env) ? env : "/tmp";
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(base, ec);
  return ec ? base : absolute;
}

TempFolder PrivateTempFolderIn(const std::filesystem::path& base) {
  const std::filesystem::path folder = base / ("quellso-" + std::to_string(::getuid()));
  const std::string name = folder.string();

  if (::mkdir(name.c_str(), 0700) == 0) {
    // mkdir applies the umask; the folder must be exactly rwx for its owner.
    ::chmod(name.c_str(), 0700);
  } else if (errno != EEXIST) {
    const int error = errno;
    return Failure("Cannot create the temporary folder " + name + ": " + std::strerror(error) +
                   ". Check that " + base.string() + " exists and that you may write in it," +
                   kOtherFolder);
  }

  // Whether made now or found, check what is there without following a link.
  struct stat st {};
  if (::lstat(name.c_str(), &st) != 0) {
    const int error = errno;
    return Failure("Cannot check the temporary folder " + name + ": " + std::strerror(error) +
                   "." + " Remove it," + kOtherFolder);
  }
  if (S_ISLNK(st.st_mode)) {
    return Failure("The temporary folder " + name +
                   " is a symbolic link, not a folder. Remove the link," + kOtherFolder);
  }
  if (!S_ISDIR(st.st_mode)) {
    return Failure("The temporary folder " + name + " is not a folder. Remove it," +
                   kOtherFolder);
  }
  if (st.st_uid != ::getuid()) {
    return Failure("The temporary folder " + name +
                   " belongs to another user. Ask the system administrator to remove it," +
                   kOtherFolder);
  }
  if ((st.st_mode & 077) != 0) {
    return Failure("The temporary folder " + name +
                   " is open to other users. Make it private with \"chmod 700 " + name +
                   "\"," + kOtherFolder);
  }
  if ((st.st_mode & 0700) != 0700) {
    return Failure("The temporary folder " + name +
                   " is not fully accessible to you. Fix it with \"chmod 700 " + name + "\"," +
                   kOtherFolder);
  }
  return TempFolder{folder, {}};
}

TempFolder PrivateTempFolder() { return PrivateTempFolderIn(SystemTempFolder()); }
