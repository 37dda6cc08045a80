#include "files/profile.h"

#include <algorithm>
#include <initializer_list>

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

FileStatus LoadProfile(const std::filesystem::path& path, ProfileDocument& document, bool* exists) {
  std::string bytes;
  FileStatus status = ReadWholeFile(path, bytes, exists);
  if (status) document = ProfileDocument(std::move(bytes));
  return status;
}

FileStatus SaveProfile(const std::filesystem::path& path, const ProfileDocument& document) {
  return SaveWholeFile(path, document.Bytes());
}

FileStatus UpdateProfile(const std::filesystem::path& path, const std::function<void(ProfileDocument&)>& change) {
  return UpdateWholeFile(path, [&](std::string& bytes) {
    ProfileDocument document(std::move(bytes));
    change(document);
    bytes = document.Bytes();
  });
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
