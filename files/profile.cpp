#include "files/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <system_error>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char FoldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldCase(x) == FoldCase(y);
         });
}

// A read into a buffer of `width` bytes keeps width - 1 characters and the terminator.
std::string CutToWidth(std::string_view text, std::size_t width) {
  if (width == 0) return {};
  return std::string(text.substr(0, std::min(text.size(), width - 1)));
}

std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (const std::string_view part : parts) text += part;
  return text;
}

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now and reports the outcome, so that a failed close of a written file is seen.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Writes and closes `fd`; on failure returns the reason.  The data are not forced to the
// disk (that alone would take several milliseconds per save): the rename that follows is
// what keeps the old content safe from a failed write, and the file systems in use order
// a rename over an existing file after the new file's data.
FileStatus FinishFile(Descriptor& fd, std::string_view bytes) {
  if (!WriteAll(fd.get(), bytes)) return FileStatus::Failure(ErrnoText(errno));
  if (fd.Close() != 0) return FileStatus::Failure(ErrnoText(errno));
  return FileStatus::Success();
}

// Follows symbolic links from `path` to the name of the file they lead to (which need not
// exist yet), so that a save replaces that file and keeps the link.
bool ResolveLinks(std::filesystem::path& path, int& error) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::read_symlink(path, ec);
    if (ec) {
      error = ec.value();
      return false;
    }
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  error = ELOOP;
  return false;
}

}  // namespace

// ---- the document ----

ProfileDocument::ProfileDocument(std::string bytes) {
  std::string_view rest(bytes);
  if (rest.substr(0, kBom.size()) == kBom) {
    bom_ = true;
    rest.remove_prefix(kBom.size());
  }
  while (!rest.empty()) {
    const std::size_t stop = rest.find_first_of("\r\n");
    if (stop == std::string_view::npos) {
      lines_.push_back(ParseLine(std::string(rest), {}));
      break;
    }
    const std::size_t endLength = rest[stop] == '\r' && stop + 1 < rest.size() && rest[stop + 1] == '\n' ? 2 : 1;
    lines_.push_back(ParseLine(std::string(rest.substr(0, stop)), std::string(rest.substr(stop, endLength))));
    rest.remove_prefix(stop + endLength);
  }
}

ProfileDocument::Line ProfileDocument::ParseLine(std::string text, std::string end) {
  Line line{std::move(text), std::move(end)};
  const std::string_view t(line.text);
  std::size_t first = 0;
  while (first < t.size() && IsBlank(t[first])) ++first;
  if (first == t.size() || t[first] == ';') return line;

  if (t[first] == '[') {
    const std::size_t close = t.find(']', first + 1);
    const std::size_t stop = close == std::string_view::npos ? t.size() : close;
    const std::string_view name = Trim(t.substr(first + 1, stop - first - 1));
    line.kind = Kind::Section;
    line.name_begin = static_cast<std::size_t>(name.data() - t.data());
    line.name_end = line.name_begin + name.size();
    return line;
  }

  const std::size_t equals = t.find('=');
  if (equals == std::string_view::npos) return line;
  const std::string_view key = Trim(t.substr(0, equals));
  line.kind = Kind::Key;
  line.name_begin = key.empty() ? equals : static_cast<std::size_t>(key.data() - t.data());
  line.name_end = line.name_begin + key.size();
  std::size_t begin = equals + 1;
  while (begin < t.size() && IsBlank(t[begin])) ++begin;
  std::size_t end_of_value = t.size();
  while (end_of_value > begin && IsBlank(t[end_of_value - 1])) --end_of_value;
  line.value_begin = begin;
  line.value_end = end_of_value;
  return line;
}

std::size_t ProfileDocument::FindSection(std::string_view section) const {
  const std::string_view wanted = Trim(section);
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].kind == Kind::Section && SameName(lines_[i].Name(), wanted)) return i;
  return std::string::npos;
}

std::size_t ProfileDocument::FindKey(std::size_t section, std::string_view key) const {
  const std::string_view wanted = Trim(key);
  for (std::size_t i = section + 1; i < lines_.size() && lines_[i].kind != Kind::Section; ++i)
    if (lines_[i].kind == Kind::Key && SameName(lines_[i].Name(), wanted)) return i;
  return std::string::npos;
}

std::optional<std::string_view> ProfileDocument::Find(std::string_view section, std::string_view key,
                                                      Quotes quotes) const {
  const std::size_t s = FindSection(section);
  if (s == std::string::npos) return std::nullopt;
  const std::size_t k = FindKey(s, key);
  if (k == std::string::npos) return std::nullopt;
  const Line& line = lines_[k];
  std::string_view value = std::string_view(line.text).substr(line.value_begin, line.value_end - line.value_begin);
  if (quotes == Quotes::Strip && value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value.remove_prefix(1);
    value.remove_suffix(1);
  }
  return value;
}

std::string ProfileDocument::Read(std::string_view section, std::string_view key, std::string_view defaultValue,
                                  std::size_t width) const {
  if (const std::optional<std::string_view> value = Find(section, key)) return CutToWidth(*value, width);
  while (!defaultValue.empty() && IsBlank(defaultValue.back())) defaultValue.remove_suffix(1);
  return CutToWidth(defaultValue, width);
}

void ProfileDocument::Insert(std::size_t at, std::string text) {
  // The line before the new one gets a line end if it had none (it was the last line).
  if (at > 0 && lines_[at - 1].end.empty()) lines_[at - 1].end = new_line_end_;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), ParseLine(std::move(text), new_line_end_));
}

void ProfileDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  const std::size_t s = FindSection(section);
  if (s == std::string::npos) {
    Insert(lines_.size(), Joined({"[", section, "]"}));
    Insert(lines_.size(), Joined({key, "=", value}));
    return;
  }
  const std::size_t k = FindKey(s, key);
  if (k != std::string::npos) {
    Line& line = lines_[k];
    std::string text = line.text.substr(0, line.value_begin);
    text += value;
    text += std::string_view(line.text).substr(line.value_end);
    line = ParseLine(std::move(text), std::move(line.end));
    return;
  }
  std::size_t last = s;  // the section's last key line, or the section line itself
  for (std::size_t i = s + 1; i < lines_.size() && lines_[i].kind != Kind::Section; ++i)
    if (lines_[i].kind == Kind::Key) last = i;
  Insert(last + 1, Joined({key, "=", value}));
}

std::string ProfileDocument::Bytes() const {
  std::size_t size = bom_ ? kBom.size() : 0;
  for (const Line& line : lines_) size += line.text.size() + line.end.size();
  std::string bytes;
  bytes.reserve(size);
  if (bom_) bytes += kBom;
  for (const Line& line : lines_) {
    bytes += line.text;
    bytes += line.end;
  }
  return bytes;
}

// ---- files ----

FileStatus LoadProfile(const std::filesystem::path& path, ProfileDocument& document, bool* exists) {
  if (exists) *exists = false;
  // O_NONBLOCK: opening a named pipe must not wait for a writer.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      document = ProfileDocument();
      return FileStatus::Success();
    }
    return FileStatus::Failure(ErrnoText(error));
  }
  if (exists) *exists = true;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return FileStatus::Failure(ErrnoText(errno));
  if (S_ISDIR(st.st_mode)) return FileStatus::Failure(ErrnoText(EISDIR));
  if (!S_ISREG(st.st_mode)) return FileStatus::Failure("Not a regular file");

  const auto tooLarge = [] { return FileStatus::Failure("Larger than 16 MiB, too large for a data file"); };
  if (static_cast<unsigned long long>(st.st_size) > kMaxProfileFileSize) return tooLarge();
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      // The file may have grown since fstat: read on until the end.
      if (bytes.size() > kMaxProfileFileSize) return tooLarge();
      bytes.resize(bytes.size() + 4096);
    }
    const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FileStatus::Failure(ErrnoText(errno));
    }
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  bytes.resize(filled);
  document = ProfileDocument(std::move(bytes));
  return FileStatus::Success();
}

FileStatus SaveProfile(const std::filesystem::path& path, const ProfileDocument& document) {
  std::filesystem::path target = path;
  int error = 0;
  if (!ResolveLinks(target, error)) return FileStatus::Failure(ErrnoText(error));
  const std::string bytes = document.Bytes();

  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) {
    if (errno != ENOENT) return FileStatus::Failure(ErrnoText(errno));
    // No file yet: nothing to keep, so the file is created and written directly.
    Descriptor fd(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (fd.get() < 0) return FileStatus::Failure(ErrnoText(errno));
    FileStatus status = FinishFile(fd, bytes);
    if (!status) ::unlink(target.c_str());
    return status;
  }
  if (S_ISDIR(old.st_mode)) return FileStatus::Failure(ErrnoText(EISDIR));
  if (!S_ISREG(old.st_mode)) return FileStatus::Failure("Not a regular file");
  {
    // A file this user may not write stays as it is, although the rename below would
    // replace it all the same.
    Descriptor probe(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (probe.get() < 0) return FileStatus::Failure(ErrnoText(errno));
  }

  // The complete new file beside the old one, then renamed over it.
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  std::string temp = (folder / Joined({".", target.filename().native(), ".XXXXXX"})).string();
  Descriptor fd(::mkstemp(temp.data()));
  if (fd.get() < 0) {
    const int error = errno;
    return FileStatus::Failure("Cannot create a new file in " + folder.string() + ": " + ErrnoText(error));
  }
  ::fchmod(fd.get(), old.st_mode & 07777);
  if (::geteuid() == 0) (void)!::fchown(fd.get(), old.st_uid, old.st_gid);
  FileStatus status = FinishFile(fd, bytes);
  if (status && ::rename(temp.c_str(), target.c_str()) != 0) status = FileStatus::Failure(ErrnoText(errno));
  if (!status) ::unlink(temp.c_str());
  return status;
}

std::string GetProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                             std::size_t width, const std::filesystem::path& path, FileStatus* status) {
  ProfileDocument document;
  const FileStatus loaded = LoadProfile(path, document);
  if (status) *status = loaded;
  return document.Read(section, key, defaultValue, width);
}

FileStatus WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                              const std::filesystem::path& path) {
  ProfileDocument document;
  if (FileStatus loaded = LoadProfile(path, document); !loaded) return loaded;
  document.Write(section, key, value);
  return SaveProfile(path, document);
}
