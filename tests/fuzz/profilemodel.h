#pragma once

// A plain model of the profile file rules, for the fuzzers: the file as a list of lines,
// every operation one walk over them, one write at a time.  Slow and obviously right; the
// fuzzers hold ProfileDocument, which finds and writes in one pass over the bytes, against
// it.  It follows the rules in files/profile.h, written out again from them.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace profilemodel {

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

inline std::string_view Trim(std::string_view t) {
  while (!t.empty() && IsBlank(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsBlank(t.back())) t.remove_suffix(1);
  return t;
}

inline bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// CR and LF as blanks.
inline std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// A name as a caller passes it: on one line, surrounding spaces (only spaces) dropped.
inline std::string CallerName(std::string_view name) {
  std::string out = OneLine(name);
  while (!out.empty() && out.front() == ' ') out.erase(out.begin());
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// What a read gives of a value as it stands in a key line: trimmed, one quote pair off.
inline std::string ValueAsRead(std::string_view value) {
  value = Trim(value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value.remove_prefix(1);
    value.remove_suffix(1);
  }
  return std::string(value);
}

class Model {
 public:
  explicit Model(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
      bom_ = true;
      bytes.remove_prefix(3);
    }
    while (!bytes.empty()) {
      std::size_t stop = 0;
      while (stop < bytes.size() && bytes[stop] != '\r' && bytes[stop] != '\n') ++stop;
      std::size_t end = stop;
      if (end < bytes.size()) end += bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1;
      lines_.push_back({std::string(bytes.substr(0, stop)), std::string(bytes.substr(stop, end - stop))});
      bytes.remove_prefix(end);
    }
  }

  std::string Bytes() const {
    std::string out = bom_ ? "\xEF\xBB\xBF" : "";
    for (const Line& line : lines_) out += line.text + line.end;
    return out;
  }

  std::optional<std::string> Find(std::string_view section, std::string_view key) const {
    const std::size_t s = FindSection(CallerName(section));
    if (s == kNone) return std::nullopt;
    const std::size_t k = FindKey(s, CallerName(key));
    if (k == kNone) return std::nullopt;
    const Parsed p = Parse(lines_[k].text);
    return ValueAsRead(std::string_view(lines_[k].text).substr(p.equals + 1));
  }

  void Write(std::string_view section, std::string_view key, std::string_view value) {
    const std::string s = CallerName(section), k = CallerName(key), v = OneLine(value);
    const std::size_t at = FindSection(s);
    if (at == kNone) {
      Insert(lines_.size(), "[" + s + "]");
      Insert(lines_.size(), k + "=" + v);
      return;
    }
    const std::size_t found = FindKey(at, k);
    if (found != kNone) {
      Line& line = lines_[found];
      const Parsed p = Parse(line.text);
      std::size_t begin = p.equals + 1;
      while (begin < line.text.size() && IsBlank(line.text[begin])) ++begin;
      std::size_t end = line.text.size();
      while (end > begin && IsBlank(line.text[end - 1])) --end;
      line.text = line.text.substr(0, begin) + v + line.text.substr(end);
      if (line.end.empty()) line.end = "\r\n";
      return;
    }
    std::size_t last = at;
    for (std::size_t i = at + 1; i < lines_.size() && Parse(lines_[i].text).kind != Kind::Section; ++i)
      if (Parse(lines_[i].text).kind == Kind::Key) last = i;
    Insert(last + 1, k + "=" + v);
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  enum class Kind { Other, Section, Key };
  struct Line {
    std::string text, end;
  };
  struct Parsed {
    Kind kind = Kind::Other;
    std::string name;
    std::size_t equals = 0;
  };

  static Parsed Parse(std::string_view text) {
    Parsed p;
    const std::string_view t = Trim(text);
    if (t.empty() || t.front() == ';') return p;
    if (t.front() == '[') {
      const std::string_view inner = t.substr(1);
      p.kind = Kind::Section;
      p.name = std::string(Trim(inner.substr(0, inner.find(']'))));
      return p;
    }
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) return p;
    p.kind = Kind::Key;
    p.name = std::string(Trim(text.substr(0, eq)));
    p.equals = eq;
    return p;
  }

  std::size_t FindSection(std::string_view name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      const Parsed p = Parse(lines_[i].text);
      if (p.kind == Kind::Section && SameName(p.name, name)) return i;
    }
    return kNone;
  }

  std::size_t FindKey(std::size_t section, std::string_view name) const {
    for (std::size_t i = section + 1; i < lines_.size(); ++i) {
      const Parsed p = Parse(lines_[i].text);
      if (p.kind == Kind::Section) break;
      if (p.kind == Kind::Key && SameName(p.name, name)) return i;
    }
    return kNone;
  }

  void Insert(std::size_t at, std::string text) {
    if (at > 0 && lines_[at - 1].end.empty()) lines_[at - 1].end = "\r\n";
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), "\r\n"});
  }

  bool bom_ = false;
  std::vector<Line> lines_;
};

// Splits a fuzzer's input at zero bytes.
inline std::vector<std::string_view> Parts(const unsigned char* data, std::size_t size) {
  std::vector<std::string_view> parts;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (;;) {
    const std::size_t zero = rest.find('\0');
    parts.push_back(rest.substr(0, zero));
    if (zero == std::string_view::npos) break;
    rest.remove_prefix(zero + 1);
  }
  return parts;
}

}  // namespace profilemodel
