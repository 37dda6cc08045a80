#include "files/transferhistory.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>
#include <unordered_map>

#include "files/descriptor.h"
#include "model/cp1252.h"
#include "quellso/version.h"

namespace fs = std::filesystem;

namespace {

// ---- values ----

bool IsSlot(int slot) { return slot >= kFirstSlot && slot <= kLastSlot; }

std::string_view Trimmed(std::string_view text) {
  text = WithoutPadding(text);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// ---- JSON: writing ----

void AppendQuoted(std::string& out, std::string_view utf8) {
  out += '"';
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    // C1 controls are U+0080..U+009F: in UTF-8 the lead byte 0xC2 and 0x80..0x9F.
    const bool c1 = c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) <= 0x9F &&
                    static_cast<unsigned char>(utf8[i + 1]) >= 0x80;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F || c1) {
      const unsigned code = c1 ? static_cast<unsigned char>(utf8[++i]) : c;
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", code);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

void AppendKey(std::string& out, std::string_view key) {
  if (out.size() > 1) out += ',';
  AppendQuoted(out, key);
  out += ':';
}

void AppendString(std::string& out, std::string_view key, std::string_view value) {
  AppendKey(out, key);
  AppendQuoted(out, value);
}

void AppendValues(std::string& out, std::string_view key, const SlotValues& values) {
  AppendKey(out, key);
  out += '{';
  bool first = true;
  for (const UnitMemberInfo& info : kUnitMembers) {
    if (info.slot == 0 || !values[info.slot]) continue;
    if (!first) out += ',';
    first = false;
    AppendQuoted(out, info.name);
    out += ':';
    AppendQuoted(out, Cp1252ToUtf8(*values[info.slot]));
  }
  out += '}';
}

void AppendSlots(std::string& out, std::string_view key, const std::vector<int>& slots) {
  AppendKey(out, key);
  out += '[';
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (i != 0) out += ',';
    out += std::to_string(slots[i]);
  }
  out += ']';
}

// ---- JSON: reading ----

// A reader of one line of JSON (RFC 8259), strict: anything else makes the line damaged.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  bool AtEnd() {
    SkipSpace();
    return pos_ == text_.size();
  }
  bool Consume(char c) {
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool Peek(char c) {
    SkipSpace();
    return pos_ < text_.size() && text_[pos_] == c;
  }

  // A string, unescaped into UTF-8.
  bool String(std::string& out) {
    out.clear();
    if (!Consume('"')) return false;
    while (pos_ < text_.size()) {
      // The characters up to the next quote, backslash or control character, at once.
      std::size_t run = pos_;
      while (run < text_.size() && text_[run] != '"' && text_[run] != '\\' &&
             static_cast<unsigned char>(text_[run]) >= 0x20)
        ++run;
      out.append(text_.data() + pos_, run - pos_);
      pos_ = run;
      if (pos_ == text_.size()) return false;
      const char c = text_[pos_++];
      if (c == '"') return true;
      if (c != '\\') return false;
      if (pos_ >= text_.size()) return false;
      switch (text_[pos_++]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          char32_t code = 0;
          if (!Hex4(code)) return false;
          if (code >= 0xD800 && code <= 0xDBFF) {
            char32_t low = 0;
            if (pos_ + 1 >= text_.size() || text_[pos_] != '\\' || text_[pos_ + 1] != 'u') return false;
            pos_ += 2;
            if (!Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return false;
          }
          AppendUtf8(out, code);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  // A number that is a whole number in int's range.
  bool Integer(int& out) {
    SkipSpace();
    const std::size_t start = pos_;
    if (!SkipNumber()) return false;
    const std::string_view number = text_.substr(start, pos_ - start);
    long long value = 0;
    std::size_t i = number.front() == '-' ? 1 : 0;
    for (; i < number.size(); ++i) {
      if (number[i] < '0' || number[i] > '9') return false;  // a fraction or an exponent
      value = value * 10 + (number[i] - '0');
      if (value > 1000000000) return false;
    }
    out = static_cast<int>(number.front() == '-' ? -value : value);
    return true;
  }

  // Any value, nested at most `depth` deep.
  bool Skip(int depth = 16) {
    if (depth == 0) return false;
    SkipSpace();
    if (pos_ >= text_.size()) return false;
    std::string scratch;
    switch (text_[pos_]) {
      case '"':
        return String(scratch);
      case '{':
        ++pos_;
        if (Consume('}')) return true;
        do {
          if (!String(scratch) || !Consume(':') || !Skip(depth - 1)) return false;
        } while (Consume(','));
        return Consume('}');
      case '[':
        ++pos_;
        if (Consume(']')) return true;
        do {
          if (!Skip(depth - 1)) return false;
        } while (Consume(','));
        return Consume(']');
      case 't':
        return Word("true");
      case 'f':
        return Word("false");
      case 'n':
        return Word("null");
      default:
        return SkipNumber();
    }
  }

 private:
  void SkipSpace() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r' || text_[pos_] == '\n'))
      ++pos_;
  }
  bool Word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }
  bool Digits() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
    return pos_ > start;
  }
  bool SkipNumber() {
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '0') {
      ++pos_;
    } else if (!Digits()) {
      return false;
    }
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      if (!Digits()) return false;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (!Digits()) return false;
    }
    return true;
  }
  bool Hex4(char32_t& code) {
    if (pos_ + 4 > text_.size()) return false;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      code <<= 4;
      if (c >= '0' && c <= '9')
        code |= static_cast<char32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        code |= static_cast<char32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        code |= static_cast<char32_t>(c - 'A' + 10);
      else
        return false;
    }
    return true;
  }
  static void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

// The slot of a member name; 0 for a name that is no member with a slot.
int SlotOfMember(std::string_view name) {
  static const std::unordered_map<std::string_view, int> slots = [] {
    std::unordered_map<std::string_view, int> map;
    for (const UnitMemberInfo& info : kUnitMembers)
      if (info.slot != 0) map.emplace(info.name, info.slot);
    return map;
  }();
  const auto found = slots.find(name);
  return found == slots.end() ? 0 : found->second;
}

// An object of member names and values; members the record does not know are passed over.
bool ReadValues(JsonReader& json, SlotValues& values) {
  values = {};
  if (!json.Consume('{')) return false;
  if (json.Consume('}')) return true;
  std::string name, value;
  do {
    if (!json.String(name) || !json.Consume(':') || !json.String(value)) return false;
    const int slot = SlotOfMember(name);
    if (slot == 0) continue;
    if (std::all_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
      values.Set(slot, value);  // ASCII: the same bytes in the code page
      continue;
    }
    const std::optional<std::string> bytes = Utf8ToCp1252(value);
    if (!bytes) return false;
    values.Set(slot, *bytes);
  } while (json.Consume(','));
  return json.Consume('}');
}

bool ReadSlots(JsonReader& json, std::vector<int>& slots) {
  slots.clear();
  if (!json.Consume('[')) return false;
  if (json.Consume(']')) return true;
  do {
    int slot = 0;
    if (!json.Integer(slot)) return false;
    slots.push_back(slot);
  } while (json.Consume(','));
  return json.Consume(']');
}

// ---- files ----

std::string ErrnoText(int error) { return std::strerror(error); }

// Makes `folder` and the folders above it that are missing, each with mode 0700.
FileStatus MakeFolder(const fs::path& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode) ? FileStatus::Success() : FileStatus::Failure(ErrnoText(ENOTDIR));
  if (errno != ENOENT) return FileStatus::Failure(ErrnoText(errno));
  if (folder.has_parent_path() && folder.parent_path() != folder)
    if (FileStatus above = MakeFolder(folder.parent_path()); !above) return above;
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return FileStatus::Failure(ErrnoText(errno));
  return FileStatus::Success();
}

// Takes the lock on `fd`, waiting up to `seconds` for another holder.
FileStatus Lock(int fd, int seconds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return FileStatus::Success();
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return FileStatus::Failure(ErrnoText(errno));
    if (std::chrono::steady_clock::now() >= until)
      return FileStatus::Failure("another program has held the history's lock for " + std::to_string(seconds) +
                                 " seconds");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

FileStatus WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return FileStatus::Failure(ErrnoText(errno));
    }
    if (n == 0) return FileStatus::Failure(ErrnoText(EIO));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return FileStatus::Success();
}

// Reads a whole file; a file that does not exist reads as empty.
FileStatus ReadFile(const fs::path& path, std::string& bytes) {
  bytes.clear();
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) return errno == ENOENT ? FileStatus::Success() : FileStatus::Failure(ErrnoText(errno));
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return FileStatus::Failure(ErrnoText(errno));
  if (!S_ISREG(st.st_mode)) return FileStatus::Failure("not a regular file");
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FileStatus::Failure(ErrnoText(errno));
    }
    if (n == 0) return FileStatus::Success();
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

// Reads the lines of `bytes` into `reading`, merging lines of one id.
void ReadLines(std::string_view bytes, HistoryReading& reading, std::unordered_map<std::string, std::size_t>& index) {
  // Room for the lines at once (an entry takes half a kilobyte or more), so that the entries
  // are not moved as the list grows.
  const auto lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  reading.entries.reserve(reading.entries.size() + std::min(lines, bytes.size() / 512) + 1);
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    // Decoded in its place in the list, which spares moving each entry once.
    TransferEntry& entry = reading.entries.emplace_back();
    if (!DecodeTransferLine(line, entry)) {
      reading.entries.pop_back();
      ++reading.damaged;
      continue;
    }
    const auto [at, inserted] = index.emplace(entry.id, reading.entries.size() - 1);
    if (!inserted) {
      reading.entries[at->second] = std::move(entry);
      reading.entries.pop_back();
    }
  }
}

std::string UserName() {
  if (const passwd* pw = ::getpwuid(::geteuid()); pw != nullptr && pw->pw_name != nullptr) return pw->pw_name;
  for (const char* variable : {"USER", "LOGNAME"})
    if (const char* name = std::getenv(variable); name != nullptr && *name != '\0') return name;
  return std::to_string(::geteuid());
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

constexpr char kIdAlphabet[] = "0123456789abcdefghjkmnpqrstvwxyz";

}  // namespace

// ---- SlotValues ----

SlotValues::SlotValues(const SlotValues& other)
    : bytes_(other.bytes_),
      places_(other.places_ ? std::make_unique<std::array<Place, kLastSlot + 1>>(*other.places_) : nullptr) {}

SlotValues& SlotValues::operator=(const SlotValues& other) {
  if (this != &other) *this = SlotValues(other);
  return *this;
}

std::optional<std::string_view> SlotValues::operator[](int slot) const {
  if (!IsSlot(slot) || !places_) return std::nullopt;
  const Place& place = (*places_)[static_cast<std::size_t>(slot)];
  if (place.length == kAbsent) return std::nullopt;
  return std::string_view(bytes_).substr(place.start, place.length);
}

void SlotValues::Set(int slot, std::string_view bytes) {
  if (!IsSlot(slot)) return;
  if (!places_) places_ = std::make_unique<std::array<Place, kLastSlot + 1>>();
  if (bytes.data() >= bytes_.data() && bytes.data() < bytes_.data() + bytes_.size()) {
    Set(slot, std::string(bytes));  // a text of these values themselves
    return;
  }
  (*places_)[static_cast<std::size_t>(slot)] = {static_cast<std::uint32_t>(bytes_.size()),
                                                static_cast<std::uint32_t>(bytes.size())};
  bytes_.append(bytes);
}

void SlotValues::Clear(int slot) {
  if (IsSlot(slot) && places_) (*places_)[static_cast<std::size_t>(slot)].length = kAbsent;
}

int SlotValues::Count() const {
  int count = 0;
  if (places_)
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
      count += (*places_)[static_cast<std::size_t>(slot)].length != kAbsent;
  return count;
}

bool SlotValues::operator==(const SlotValues& other) const {
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
    if ((*this)[slot] != other[slot]) return false;
  return true;
}

SlotValues SlotValues::FromRecord(const UnitDataRecord& record) {
  SlotValues values;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) values.Set(slot, record.SlotText(slot));
  return values;
}

void SlotValues::ApplyTo(UnitDataRecord& record) const {
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
    if (const auto& value = (*this)[slot]) record.SetSlot(slot, *value);
}

// ---- TransferEntry ----

SlotValues TransferEntry::AsLeft() const {
  SlotValues left;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
    for (const SlotValues* stage : {&readBack, &written, &values, &found})
      if (const auto& value = (*stage)[slot]) {
        left.Set(slot, *value);
        break;
      }
  return left;
}

std::string TransferEntry::Shown(int slot) const {
  for (const SlotValues* stage : {&readBack, &written, &values, &found})
    if (const auto& value = (*stage)[slot]) return std::string(WithoutPadding(*value));
  return {};
}

// ---- lines ----

std::string_view WithoutPadding(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string JsonQuoted(std::string_view utf8) {
  std::string out;
  AppendQuoted(out, utf8);
  return out;
}

std::string EncodeTransferLine(const TransferEntry& entry) {
  std::string out = "{\"v\":1";
  AppendString(out, "id", entry.id);
  AppendString(out, "time", entry.time);
  AppendString(out, "operation", entry.operation);
  AppendString(out, "source", entry.source);
  AppendString(out, "user", entry.user);
  AppendString(out, "host", entry.host);
  AppendString(out, "program", entry.program);
  AppendString(out, "port", entry.port);
  AppendString(out, "device", entry.device);
  AppendString(out, "device_by_id", entry.deviceById);
  AppendString(out, "units", entry.units);
  AppendString(out, "result", entry.result);
  AppendString(out, "restored_from", entry.restoredFrom);
  AppendValues(out, "found", entry.found);
  AppendValues(out, "written", entry.written);
  AppendValues(out, "read_back", entry.readBack);
  AppendValues(out, "values", entry.values);
  AppendSlots(out, "missing", entry.missing);
  AppendSlots(out, "differs", entry.differs);
  out += '}';
  return out;
}

bool DecodeTransferLine(std::string_view line, TransferEntry& entry) {
  JsonReader json(line);
  int version = 0;
  if (!json.Consume('{')) return false;
  if (!json.Peek('}')) {
    std::string key;
    do {
      if (!json.String(key) || !json.Consume(':')) return false;
      std::string* text = key == "id"              ? &entry.id
                          : key == "time"          ? &entry.time
                          : key == "operation"     ? &entry.operation
                          : key == "source"        ? &entry.source
                          : key == "user"          ? &entry.user
                          : key == "host"          ? &entry.host
                          : key == "program"       ? &entry.program
                          : key == "port"          ? &entry.port
                          : key == "device"        ? &entry.device
                          : key == "device_by_id"  ? &entry.deviceById
                          : key == "units"         ? &entry.units
                          : key == "result"        ? &entry.result
                          : key == "restored_from" ? &entry.restoredFrom
                                                   : nullptr;
      SlotValues* values = key == "found"       ? &entry.found
                           : key == "written"   ? &entry.written
                           : key == "read_back" ? &entry.readBack
                           : key == "values"    ? &entry.values
                                                : nullptr;
      std::vector<int>* slots = key == "missing" ? &entry.missing : key == "differs" ? &entry.differs : nullptr;
      bool ok = false;
      if (key == "v")
        ok = json.Integer(version);
      else if (text != nullptr)
        ok = json.String(*text);
      else if (values != nullptr)
        ok = ReadValues(json, *values);
      else if (slots != nullptr)
        ok = ReadSlots(json, *slots);
      else
        ok = json.Skip();
      if (!ok) return false;
    } while (json.Consume(','));
  }
  if (!json.Consume('}') || !json.AtEnd()) return false;
  if (version != 1 || entry.id.empty() || entry.operation.empty()) return false;
  return true;
}

std::optional<TransferEntry> DecodeTransferLine(std::string_view line) {
  TransferEntry entry;
  if (!DecodeTransferLine(line, entry)) return std::nullopt;
  return entry;
}

// ---- the files ----

fs::path HistoryFolder() { return StateFolder(); }

FileStatus TransferHistory::Append(const TransferEntry& entry) const {
  if (FileStatus made = MakeFolder(folder_); !made) return made;
  const fs::path lockPath = folder_ / "transfers.lock";
  const Descriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
  if (lock.get() < 0) return FileStatus::Failure(ErrnoText(errno));
  if (FileStatus locked = Lock(lock.get(), 5); !locked) return locked;

  std::string line = EncodeTransferLine(entry);
  line += '\n';
  const fs::path path = FilePath();
  Descriptor file(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
  if (file.get() < 0) return FileStatus::Failure(ErrnoText(errno));
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) return FileStatus::Failure(ErrnoText(errno));
  if (!S_ISREG(st.st_mode)) return FileStatus::Failure("not a regular file");
  auto size = static_cast<std::size_t>(st.st_size);
  if (size > 0 && size + line.size() > kHistoryRolloverSize) {
    if (::rename(path.c_str(), PreviousFilePath().c_str()) != 0) return FileStatus::Failure(ErrnoText(errno));
    file.Reset(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
    if (file.get() < 0) return FileStatus::Failure(ErrnoText(errno));
    size = 0;
  }
  // A line left without its end (a write cut short before this program took care of it)
  // must not swallow this one.
  if (size > 0) {
    char last = '\n';
    if (::pread(file.get(), &last, 1, static_cast<off_t>(size - 1)) == 1 && last != '\n') line.insert(0, 1, '\n');
  }
  FileStatus status = WriteAll(file.get(), line);
  if (status && ::fdatasync(file.get()) != 0) status = FileStatus::Failure(ErrnoText(errno));
  if (!status) {
    // Take back what part of the line reached the file, so that it holds whole lines only.
    if (::ftruncate(file.get(), static_cast<off_t>(size)) == 0) ::fdatasync(file.get());
  }
  return status;
}

HistoryReading TransferHistory::Read() const {
  HistoryReading reading;
  std::unordered_map<std::string, std::size_t> index;
  std::string bytes;
  for (const fs::path& path : {PreviousFilePath(), FilePath()}) {
    if (FileStatus status = ReadFile(path, bytes); !status) {
      reading.status = FileStatus::Failure(path.string() + ": " + status.reason);
      continue;
    }
    ReadLines(bytes, reading, index);
  }
  return reading;
}

const TransferEntry* FindTransfer(const std::vector<TransferEntry>& entries, std::string_view id,
                                  bool* ambiguous) {
  if (ambiguous != nullptr) *ambiguous = false;
  if (id.empty()) return nullptr;
  const TransferEntry* match = nullptr;
  for (const TransferEntry& entry : entries) {
    if (entry.id == id) return &entry;
    if (!entry.id.starts_with(id)) continue;
    if (match != nullptr && match->id != entry.id) {
      if (ambiguous != nullptr) *ambiguous = true;
      return nullptr;
    }
    match = &entry;
  }
  return match;
}

bool HasSerialNumber(const TransferEntry& entry, std::string_view serial) {
  serial = Trimmed(serial);
  for (const SlotValues* stage : {&entry.readBack, &entry.written, &entry.values, &entry.found})
    for (const int slot : {6, 7})
      if (const auto& value = (*stage)[slot]; value && EqualsIgnoringCase(Trimmed(*value), serial)) return true;
  return false;
}

const TransferEntry* LastSendToPanel(const std::vector<TransferEntry>& entries, std::string_view panelSerial) {
  panelSerial = Trimmed(panelSerial);
  if (panelSerial.empty()) return nullptr;
  for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry)
    if ((entry->operation == transfer::kSend || entry->operation == transfer::kRestore) &&
        EqualsIgnoringCase(Trimmed(entry->Shown(6)), panelSerial))
      return &*entry;
  return nullptr;
}

std::string SerialByIdName(const std::string& device, const fs::path& root) {
  std::error_code ec;
  const fs::path target = fs::canonical(root / fs::path(device).relative_path(), ec);
  if (ec) return {};
  for (const auto& link : fs::directory_iterator(root / "dev/serial/by-id", ec)) {
    std::error_code linkError;
    if (fs::canonical(link.path(), linkError) == target && !linkError)
      return (fs::path("/") / link.path().lexically_relative(root)).string();
  }
  return {};
}

// ---- recording ----

std::string NewTransferId() {
  const auto now = std::chrono::system_clock::now();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
  auto since = static_cast<unsigned long long>(seconds > 1704067200 ? seconds - 1704067200 : 0);  // 2024-01-01
  unsigned char random[6] = {};
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    auto ticks = static_cast<unsigned long long>(now.time_since_epoch().count()) ^
                 (static_cast<unsigned long long>(::getpid()) << 40);
    for (unsigned char& byte : random) {
      byte = static_cast<unsigned char>(ticks);
      ticks >>= 5;
    }
  }
  std::string id(12, '0');
  for (int i = 5; i >= 0; --i) {
    id[static_cast<std::size_t>(i)] = kIdAlphabet[since & 31u];
    since >>= 5;
  }
  for (int i = 0; i < 6; ++i) id[static_cast<std::size_t>(6 + i)] = kIdAlphabet[random[i] & 31u];
  return id;
}

std::string HistoryTimeNow() {
  const auto now = std::chrono::system_clock::now();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
  return text;
}

TransferRecorder::TransferRecorder(TransferHistory history, std::string_view operation, std::string_view source,
                                   const TransferPort& port, std::string_view units)
    : history_(std::move(history)) {
  entry_.id = NewTransferId();
  entry_.time = HistoryTimeNow();
  entry_.operation = operation;
  entry_.source = source;
  entry_.user = UserName();
  entry_.host = HostName();
  entry_.program = kQuellsoVersion;
  entry_.port = port.port;
  entry_.device = port.device;
  entry_.deviceById = port.device.empty() ? std::string() : SerialByIdName(port.device);
  entry_.units = units;
}

FileStatus TransferRecorder::RecordBeforeWriting() {
  TransferEntry before = entry_;
  before.result = transfer::kInterrupted;
  return history_.Append(before);
}

FileStatus TransferRecorder::Finish(std::string_view result) {
  entry_.result = result;
  return history_.Append(entry_);
}

std::string LocalTimeText(std::string_view utcTime) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  const std::string text(utcTime);
  if (text.size() < 20 || text.back() != 'Z' ||
      std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &year, &month, &day, &hour, &minute, &second) != 6)
    return text;
  std::tm utc{};
  utc.tm_year = year - 1900;
  utc.tm_mon = month - 1;
  utc.tm_mday = day;
  utc.tm_hour = hour;
  utc.tm_min = minute;
  utc.tm_sec = second;
  const std::time_t when = ::timegm(&utc);
  std::tm local{};
  if (when == static_cast<std::time_t>(-1) || ::localtime_r(&when, &local) == nullptr) return text;
  char shown[64];
  if (std::strftime(shown, sizeof shown, "%Y-%m-%d %H:%M:%S %Z", &local) == 0) return text;
  return shown;
}

std::string OperationName(std::string_view operation) {
  if (operation == transfer::kGet) return "Get Data";
  if (operation == transfer::kSend) return "Send Data";
  if (operation == transfer::kVerify) return "Verify";
  if (operation == transfer::kRestore) return "Restore";
  return std::string(operation);
}
