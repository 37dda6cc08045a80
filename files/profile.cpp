#include "files/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <system_error>
#include <thread>

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
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
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

namespace {

// One line of a document: offsets into its bytes.  [begin, text_end) is the text,
// [text_end, end) the line end ("\r\n", "\n", "\r", or nothing on a last line without one).
struct LineSpan {
  std::size_t begin = 0;
  std::size_t text_end = 0;
  std::size_t end = 0;
  bool HasEnd() const { return end != text_end; }
};

// Where the lines start: after the byte-order mark, if there is one.
std::size_t BodyStart(std::string_view bytes) { return bytes.substr(0, kBom.size()) == kBom ? kBom.size() : 0; }

// What a line is.  For a section line, `name` is the section's name; for a key line, the
// key, and [value_begin, value_end) the trimmed value, counted in the line's text.
struct ParsedLine {
  enum class Kind : unsigned char { Other, Section, Key } kind = Kind::Other;
  std::string_view name;
  std::size_t value_begin = 0;
  std::size_t value_end = 0;
};

// The first character that is not a blank, or npos.
std::size_t FirstNonBlank(std::string_view text) {
  std::size_t first = 0;
  while (first < text.size() && IsBlank(text[first])) ++first;
  return first == text.size() ? std::string_view::npos : first;
}

std::string_view SectionName(std::string_view text, std::size_t bracket) {
  const std::size_t close = text.find(']', bracket + 1);
  const std::size_t stop = close == std::string_view::npos ? text.size() : close;
  return Trim(text.substr(bracket + 1, stop - bracket - 1));
}

// A key line's parts, given that its first non-blank is neither '[' nor ';'; false when
// the line has no '='.
bool ParseKey(std::string_view text, ParsedLine& line) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return false;
  line.kind = ParsedLine::Kind::Key;
  line.name = Trim(text.substr(0, equals));
  std::size_t begin = equals + 1;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  std::size_t end = text.size();
  while (end > begin && IsBlank(text[end - 1])) --end;
  line.value_begin = begin;
  line.value_end = end;
  return true;
}

ParsedLine ParseLine(std::string_view text) {
  ParsedLine line;
  const std::size_t first = FirstNonBlank(text);
  if (first == std::string_view::npos || text[first] == ';') return line;
  if (text[first] == '[') {
    line.kind = ParsedLine::Kind::Section;
    line.name = SectionName(text, first);
    return line;
  }
  ParseKey(text, line);
  return line;
}

// CR and LF written as blanks: a written text stays on its line.
std::string OnOneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// A section or key name as a caller passes it: on one line, without surrounding spaces.
std::string CallerName(std::string_view name) {
  std::string out = OnOneLine(name);
  const std::size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

// The value of a key line as Find gives it: without its quote pair.
std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value.remove_prefix(1);
    value.remove_suffix(1);
  }
  return value;
}

// Whether a section and a key, written as new lines, read back as that section and that
// key.  Names that do not (a key holding '=' or starting with '[' or ';', a section
// holding ']', tabs around either) change the file's structure when written, so each such
// write is made on its own.
bool WritesBackAsItself(std::string_view section, std::string_view key) {
  const std::string sectionLine = Joined({"[", section, "]"});
  const std::string keyLine = Joined({key, "="});
  const ParsedLine s = ParseLine(sectionLine);
  const ParsedLine k = ParseLine(keyLine);
  return s.kind == ParsedLine::Kind::Section && s.name == section && k.kind == ParsedLine::Kind::Key &&
         k.name == key;
}

// The bit of a name's length in a set of lengths: bit n for n bytes, bit 63 for 63 or more.
std::uint64_t LengthBit(std::size_t length) { return std::uint64_t{1} << std::min<std::size_t>(length, 63); }

// Where a set of keys lies in a document: one pass over its lines.
//
// Keys are grouped by section.  For each group, the first section line of that name, and
// its last key line (or the section line itself when it has no key); for each key, the
// first key line of that name in the group's section.
class KeyLocator {
 public:
  struct Key {
    std::string section;  // as CallerName gives it
    std::string key;
    std::size_t group = 0;
    bool found = false;
    LineSpan line;
    std::size_t value_begin = 0;  // offsets into the document
    std::size_t value_end = 0;
  };
  struct Group {
    std::string name;
    bool found = false;
    LineSpan last;  // the section's last key line, or its section line
  };

  void Add(std::string section, std::string key) {
    Key k;
    k.section = std::move(section);
    k.key = std::move(key);
    while (k.group < groups_.size() && !SameName(groups_[k.group].name, k.section)) ++k.group;
    if (k.group == groups_.size()) groups_.emplace_back().name = k.section;
    keys_.push_back(std::move(k));
  }

  void Locate(std::string_view bytes) {
    // Per group, the keys not found yet, and the lengths of their names (bit n for a name of
    // n bytes, bit 63 for any longer one): a key line whose name has none of those lengths
    // is passed over without comparing names.
    std::vector<std::vector<std::size_t>> wanted(groups_.size());
    std::vector<std::uint64_t> lengths(groups_.size(), 0);
    for (std::size_t k = 0; k < keys_.size(); ++k) {
      wanted[keys_[k].group].push_back(k);
      lengths[keys_[k].group] |= LengthBit(keys_[k].key.size());
    }
    const char* const data = bytes.data();
    const std::size_t size = bytes.size();
    const std::size_t none = groups_.size();
    std::size_t open = groups_.size();  // groups whose section may still come or go on
    std::size_t active = none;          // the group whose section the lines are in
    std::size_t at = BodyStart(bytes);
    while (at < size && open > 0) {
      // Empty lines cost a byte or two each.
      if (data[at] == '\n') {
        ++at;
        continue;
      }
      if (data[at] == '\r') {
        at += at + 1 < size && data[at + 1] == '\n' ? 2 : 1;
        continue;
      }
      // One scan of the line: its first non-blank, its first '=' and its end.
      const std::size_t begin = at;
      std::size_t first = at;
      while (first < size && IsBlank(data[first])) ++first;
      std::size_t stop = first;
      std::size_t equals = std::string_view::npos;
      for (; stop < size && data[stop] != '\n' && data[stop] != '\r'; ++stop)
        if (data[stop] == '=' && equals == std::string_view::npos) equals = stop;
      at = stop;
      if (at < size) at += data[at] == '\r' && at + 1 < size && data[at + 1] == '\n' ? 2 : 1;
      if (first == stop || data[first] == ';') continue;  // blank line, comment
      const LineSpan span{begin, stop, at};
      if (data[first] == '[') {
        if (active != none) {
          --open;
          active = none;
        }
        const std::string_view name = SectionName(bytes.substr(begin, stop - begin), first - begin);
        for (std::size_t g = 0; g < groups_.size(); ++g) {
          if (!groups_[g].found && SameName(groups_[g].name, name)) {
            groups_[g].found = true;
            groups_[g].last = span;
            active = g;
            break;
          }
        }
        continue;
      }
      if (active == none || equals == std::string_view::npos) continue;
      groups_[active].last = span;
      std::vector<std::size_t>& left = wanted[active];
      if (left.empty()) continue;
      std::size_t nameEnd = equals;
      while (nameEnd > first && IsBlank(data[nameEnd - 1])) --nameEnd;
      if ((lengths[active] & LengthBit(nameEnd - first)) == 0) continue;
      const std::string_view name = bytes.substr(first, nameEnd - first);
      for (std::size_t i = 0; i < left.size();) {
        Key& k = keys_[left[i]];
        if (!SameName(k.key, name)) {
          ++i;
          continue;
        }
        ParsedLine line;
        ParseKey(bytes.substr(begin, stop - begin), line);
        k.found = true;
        k.line = span;
        k.value_begin = begin + line.value_begin;
        k.value_end = begin + line.value_end;
        left[i] = left.back();
        left.pop_back();
      }
    }
  }

  std::vector<Key>& keys() { return keys_; }
  std::vector<Group>& groups() { return groups_; }

 private:
  std::vector<Key> keys_;
  std::vector<Group> groups_;
};

// Applies writes whose names write back as themselves (WritesBackAsItself), all at once:
// the result is that of writing them one after another.  New lines end in `newLineEnd`.
std::string WriteTogether(const std::string& bytes, const std::vector<ProfileEntry>& entries,
                          const std::vector<std::string>& values, std::string_view newLineEnd) {
  // A key written again keeps its first place; its line takes each value in turn.
  KeyLocator locator;
  std::vector<std::size_t> keyOf(entries.size());  // per entry: its located key
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string section = CallerName(entries[i].section);
    const std::string key = CallerName(entries[i].key);
    std::size_t k = 0;
    while (k < locator.keys().size() &&
           !(SameName(locator.keys()[k].section, section) && SameName(locator.keys()[k].key, key)))
      ++k;
    if (k == locator.keys().size()) locator.Add(section, key);
    keyOf[i] = k;
  }
  locator.Locate(bytes);
  std::vector<KeyLocator::Key>& keys = locator.keys();
  std::vector<KeyLocator::Group>& groups = locator.groups();

  // Each key's line text after its writes: a line that exists has its value replaced, a new
  // line starts as "key=value".
  std::vector<std::string> lineText(keys.size());
  std::vector<bool> started(keys.size(), false);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::size_t k = keyOf[i];
    if (!started[k]) {
      started[k] = true;
      if (!keys[k].found) {
        lineText[k] = Joined({keys[k].key, "=", values[i]});
        continue;
      }
      lineText[k] = bytes.substr(keys[k].line.begin, keys[k].line.text_end - keys[k].line.begin);
    }
    ParsedLine line;
    ParseKey(lineText[k], line);
    lineText[k] = Joined({std::string_view(lineText[k]).substr(0, line.value_begin), values[i],
                          std::string_view(lineText[k]).substr(line.value_end)});
  }

  // Each change: at `pos`, `erase` bytes give way to `text`; at equal positions, lower
  // `order` first.
  struct Change {
    std::size_t pos = 0;
    int order = 0;
    std::size_t erase = 0;
    std::string text;
  };
  std::vector<Change> changes;
  const std::size_t size = bytes.size();
  const bool lastLineOpen = size > BodyStart(bytes) && bytes.back() != '\n' && bytes.back() != '\r';
  bool endLastLine = false;  // the last line needs its CRLF

  // New keys of sections that exist, after each section's last key line, in write order.
  std::vector<std::string> inserted(groups.size());
  for (std::size_t k = 0; k < keys.size(); ++k) {
    const KeyLocator::Key& key = keys[k];
    if (key.found) {
      changes.push_back({key.line.begin, 2, key.line.text_end - key.line.begin, std::move(lineText[k])});
      if (!key.line.HasEnd()) endLastLine = true;
    } else if (groups[key.group].found) {
      inserted[key.group] += Joined({lineText[k], newLineEnd});
    }
  }
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (inserted[g].empty()) continue;
    if (!groups[g].last.HasEnd()) endLastLine = true;
    changes.push_back({groups[g].last.end, 1, 0, std::move(inserted[g])});
  }
  // Sections that do not exist, appended in the order in which they were first written.
  std::string appended;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (groups[g].found) continue;
    appended += Joined({"[", groups[g].name, "]", newLineEnd});
    for (std::size_t k = 0; k < keys.size(); ++k)
      if (keys[k].group == g) appended += Joined({lineText[k], newLineEnd});
  }
  if (!appended.empty()) {
    endLastLine = true;
    changes.push_back({size, 3, 0, std::move(appended)});
  }
  if (endLastLine && lastLineOpen) changes.push_back({size, 0, 0, std::string(newLineEnd)});

  std::sort(changes.begin(), changes.end(),
            [](const Change& a, const Change& b) { return a.pos != b.pos ? a.pos < b.pos : a.order < b.order; });
  std::size_t total = size;
  for (const Change& c : changes) total += c.text.size() - c.erase;
  std::string out;
  out.reserve(total);
  std::size_t cursor = 0;
  for (const Change& c : changes) {
    out.append(bytes, cursor, c.pos - cursor);
    out += c.text;
    cursor = c.pos + c.erase;
  }
  out.append(bytes, cursor, std::string::npos);
  return out;
}

}  // namespace

std::optional<std::string_view> ProfileDocument::Find(std::string_view section, std::string_view key,
                                                      Quotes quotes) const {
  const ProfileKey one{section, key};
  return FindAll(std::span(&one, 1), quotes).front();
}

std::vector<std::optional<std::string_view>> ProfileDocument::FindAll(std::span<const ProfileKey> keys,
                                                                      Quotes quotes) const {
  KeyLocator locator;
  for (const ProfileKey& k : keys) locator.Add(CallerName(k.section), CallerName(k.key));
  locator.Locate(bytes_);
  std::vector<std::optional<std::string_view>> values;
  values.reserve(keys.size());
  for (const KeyLocator::Key& k : locator.keys()) {
    if (!k.found) {
      values.emplace_back(std::nullopt);
      continue;
    }
    const std::string_view value = std::string_view(bytes_).substr(k.value_begin, k.value_end - k.value_begin);
    values.emplace_back(quotes == Quotes::Strip ? Unquoted(value) : value);
  }
  return values;
}

std::string ProfileDocument::Read(std::string_view section, std::string_view key, std::string_view defaultValue,
                                  std::size_t width) const {
  if (const std::optional<std::string_view> value = Find(section, key)) return CutToWidth(*value, width);
  while (!defaultValue.empty() && IsBlank(defaultValue.back())) defaultValue.remove_suffix(1);
  return CutToWidth(defaultValue, width);
}

void ProfileDocument::Write(std::string_view section, std::string_view key, std::string_view value) {
  const ProfileEntry one{section, key, value};
  WriteAll(std::span(&one, 1));
}

void ProfileDocument::WriteAll(std::span<const ProfileEntry> entries) {
  // Runs of writes whose names write back as themselves go together; any other write is
  // made on its own, after the run before it.
  std::vector<ProfileEntry> run;
  std::vector<std::string> values;
  const auto flush = [&] {
    if (run.empty()) return;
    bytes_ = WriteTogether(bytes_, run, values, new_line_end_);
    run.clear();
    values.clear();
  };
  for (const ProfileEntry& entry : entries) {
    const bool alone = !WritesBackAsItself(CallerName(entry.section), CallerName(entry.key));
    if (alone) flush();
    run.push_back(entry);
    values.push_back(OnOneLine(entry.value));
    if (alone) flush();
  }
  flush();
}

// ---- files ----

namespace {

constexpr std::string_view kTooLarge = "Larger than 16 MiB, too large for a data file";
// How long a save waits for another program's save of the same file to end.
constexpr auto kLockWait = std::chrono::seconds(10);

// Reads the whole of an open file from its start; `size` is its size by fstat.
FileStatus ReadWhole(int fd, std::size_t size, std::string& bytes) {
  if (size > kMaxProfileFileSize) return FileStatus::Failure(std::string(kTooLarge));
  // One byte more than the file's size: a read that fills it shows that the file has grown
  // since fstat.  Growing the buffer only then keeps a file's cost at its size.
  bytes.assign(size + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) {
      if (bytes.size() > kMaxProfileFileSize) return FileStatus::Failure(std::string(kTooLarge));
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

bool WriteAllAt(int fd, std::string_view bytes, off_t offset) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += n;
  }
  return true;
}

// Writes `bytes` as the whole content of `fd` and flushes it to the disk.
bool WriteWhole(int fd, std::string_view bytes) {
  return WriteAllAt(fd, bytes, 0) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
}

// Copies the whole content of `from` over that of `to`, and flushes `to` to the disk.
bool CopyWhole(int from, int to) {
  std::string buffer(64 * 1024, '\0');
  off_t at = 0;
  for (;;) {
    const ssize_t n = ::pread(from, buffer.data(), buffer.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    if (!WriteAllAt(to, std::string_view(buffer.data(), static_cast<std::size_t>(n)), at)) return false;
    at += n;
  }
  return ::ftruncate(to, at) == 0 && ::fsync(to) == 0;
}

std::filesystem::path FolderOf(const std::filesystem::path& target) {
  return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

// Flushes a folder's entries (a new name, a rename) to the disk.  Some file systems cannot
// flush a folder; the save does not fail for that.
void SyncFolder(const std::filesystem::path& folder) {
  const Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

// A new file of this user's own (mode 0600) beside the target, under a short hidden name,
// so that a file whose name is near the file systems' limit of 255 bytes can be saved too.
struct SideFile {
  Descriptor fd;
  std::string name;
};
FileStatus NewSideFile(const std::filesystem::path& folder, SideFile& side) {
  side.name = (folder / ".quellso-XXXXXX").string();
  side.fd = Descriptor(::mkostemp(side.name.data(), O_CLOEXEC));
  if (side.fd.get() >= 0) return FileStatus::Success();
  const int error = errno;
  return FileStatus::Failure("Cannot create a new file in " + folder.string() + ": " + ErrnoText(error));
}

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
    if (::fsetxattr(to, name, value.data(), value.size(), 0) == 0) continue;
    // An attribute that the new file got by itself, with the same value, is kept too.
    std::string own(value.size(), '\0');
    if (::fgetxattr(to, name, own.data(), own.size()) != got || own != value) return false;
  }
  return true;
}

// The file a save writes to, open for reading and writing and locked against other saves.
struct OpenTarget {
  Descriptor fd;
  struct stat st {};
  bool created = false;  // made empty by this save: nothing was there
};

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

// Opens the file at `target` (creating it when nothing is there) and locks it.  A save that
// replaces the file puts a new file under the name; whoever locked the old one meanwhile
// tries again on the new one, so that one save at a time holds the file that the name
// names.  A file this user may not write stays as it is, although a rename would get past
// its permissions.
FileStatus OpenForSave(const std::filesystem::path& target, OpenTarget& file) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    file.created = false;
    // O_NONBLOCK: a named pipe must not block the open.
    file.fd = Descriptor(::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.fd.get() < 0 && errno == ENOENT) {
      file.fd = Descriptor(::open(target.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
      if (file.fd.get() < 0 && errno == EEXIST) continue;
      file.created = file.fd.get() >= 0;
    }
    if (file.fd.get() < 0) return FileStatus::Failure(ErrnoText(errno));
    if (::fstat(file.fd.get(), &file.st) != 0) return FileStatus::Failure(ErrnoText(errno));
    if (S_ISDIR(file.st.st_mode)) return FileStatus::Failure(ErrnoText(EISDIR));
    if (!S_ISREG(file.st.st_mode)) return FileStatus::Failure("Not a regular file");
    if (FileStatus locked = Lock(file.fd.get()); !locked) return locked;
    struct stat now {};
    if (::stat(target.c_str(), &now) == 0 && now.st_dev == file.st.st_dev && now.st_ino == file.st.st_ino) {
      if (::fstat(file.fd.get(), &file.st) != 0) return FileStatus::Failure(ErrnoText(errno));
      return FileStatus::Success();
    }
  }
  return FileStatus::Failure("Another program keeps replacing this file; try again later");
}

// A file with several names (hard links), or whose owner, group, mode or attributes a new
// file could not keep, is written in place, once its new content is ready.  Its old
// content goes first into a file beside it, flushed to the disk: a failed write puts the
// old content back from there, and should even that fail (or the power go), the copy stays
// and the reason names it.
FileStatus WriteInPlace(const std::filesystem::path& folder, int fd, std::string_view bytes) {
  SideFile backup;
  if (FileStatus made = NewSideFile(folder, backup); !made) return made;
  if (!CopyWhole(fd, backup.fd.get())) {
    const int error = errno;
    ::unlink(backup.name.c_str());
    return FileStatus::Failure(ErrnoText(error));
  }
  SyncFolder(folder);
  if (WriteWhole(fd, bytes)) {
    ::unlink(backup.name.c_str());
    return FileStatus::Success();
  }
  const int error = errno;
  if (CopyWhole(backup.fd.get(), fd)) {
    ::unlink(backup.name.c_str());
    return FileStatus::Failure(ErrnoText(error));
  }
  return FileStatus::Failure(ErrnoText(error) + ". The file's previous content is kept in " + backup.name);
}

// Saves `bytes` into the locked file.  A file made by this save is written directly (there
// is nothing to keep); an existing one is replaced by a complete new file beside it, flushed
// to the disk before the rename, which keeps owner, group, mode and attributes, with the
// folder flushed after; or, where a new file cannot keep them, written in place.
FileStatus SaveLocked(const std::filesystem::path& target, OpenTarget& file, std::string_view bytes) {
  const std::filesystem::path folder = FolderOf(target);
  if (file.created) {
    if (!WriteWhole(file.fd.get(), bytes)) {
      const int error = errno;
      ::unlink(target.c_str());
      return FileStatus::Failure(ErrnoText(error));
    }
    SyncFolder(folder);
    return FileStatus::Success();
  }
  if (file.st.st_nlink == 1) {
    SideFile next;
    if (FileStatus made = NewSideFile(folder, next); !made) return made;
    // Owner and group first: changing them clears the set-user and set-group bits.
    if (::fchown(next.fd.get(), file.st.st_uid, file.st.st_gid) == 0 &&
        ::fchmod(next.fd.get(), file.st.st_mode & 07777) == 0 && CopyAttributes(file.fd.get(), next.fd.get())) {
      FileStatus status = FileStatus::Success();
      if (!WriteWhole(next.fd.get(), bytes) || next.fd.Close() != 0 ||
          ::rename(next.name.c_str(), target.c_str()) != 0)
        status = FileStatus::Failure(ErrnoText(errno));
      if (!status) {
        ::unlink(next.name.c_str());
        return status;
      }
      SyncFolder(folder);
      return status;
    }
    ::unlink(next.name.c_str());
  }
  return WriteInPlace(folder, file.fd.get(), bytes);
}

}  // namespace

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
  std::string bytes;
  if (FileStatus read = ReadWhole(fd.get(), static_cast<std::size_t>(st.st_size), bytes); !read) return read;
  document = ProfileDocument(std::move(bytes));
  return FileStatus::Success();
}

FileStatus SaveProfile(const std::filesystem::path& path, const ProfileDocument& document) {
  std::filesystem::path target = path;
  int error = 0;
  if (!ResolveLinks(target, error)) return FileStatus::Failure(ErrnoText(error));
  OpenTarget file;
  if (FileStatus opened = OpenForSave(target, file); !opened) return opened;
  return SaveLocked(target, file, document.Bytes());
}

FileStatus UpdateProfile(const std::filesystem::path& path, const std::function<void(ProfileDocument&)>& change) {
  std::filesystem::path target = path;
  int error = 0;
  if (!ResolveLinks(target, error)) return FileStatus::Failure(ErrnoText(error));
  OpenTarget file;
  if (FileStatus opened = OpenForSave(target, file); !opened) return opened;
  std::string bytes;
  if (FileStatus read = ReadWhole(file.fd.get(), static_cast<std::size_t>(file.st.st_size), bytes); !read) {
    if (file.created) ::unlink(target.c_str());
    return read;
  }
  ProfileDocument document(std::move(bytes));
  change(document);
  return SaveLocked(target, file, document.Bytes());
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
  return UpdateProfile(path, [&](ProfileDocument& document) { document.Write(section, key, value); });
}
