#include "files/salesorder.h"

#include <algorithm>
#include <system_error>

namespace {

constexpr std::size_t kOrderPartMax = 8;
constexpr int kOrderDigits = 4;
constexpr int kLineDigits = 3;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), Lower);
  return out;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  const std::string la = Lowered(a);
  const std::string lb = Lowered(b);
  return la != lb ? la < lb : a < b;
}

// The names of the plain files (or links to them) in `folder` (the current folder when
// empty) that `keep` accepts, sorted by name without regard to letter case.
template <typename Keep>
std::vector<std::string> SortedPlainFiles(const std::filesystem::path& folder, Keep keep) {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    std::string name = it->path().filename().string();
    if (keep(name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  return names;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::string ToBase36(std::uint64_t value, int digits) {
  std::string out(digits > 0 ? static_cast<std::size_t>(digits) : 0, '0');
  for (auto it = out.rbegin(); it != out.rend(); ++it) {
    *it = kBase36Digits[value % 36];
    value /= 36;
  }
  return out;
}

std::int64_t TextToNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kMaxTextNumber) value = kMaxTextNumber;  // keeps value * 10 in range
  }
  return value;
}

SalesOrderNumber ParseSalesOrderNumber(std::string_view text) {
  SalesOrderNumber number;
  const std::size_t dash = text.find('-');
  number.orderPart = std::string(text.substr(0, std::min(dash, kOrderPartMax)));
  if (dash != std::string_view::npos) number.line = TextToNumber(text.substr(dash + 1));
  return number;
}

std::string ArchiveFileName(const SalesOrderNumber& number, ArchiveVariant variant) {
  const std::string_view part = number.orderPart;
  const std::int64_t year = TextToNumber(part.substr(0, 2));
  const std::int64_t yearIndex = (year <= 93 ? year + 100 : year) - 93;
  const std::int64_t order = part.size() > 2 ? TextToNumber(part.substr(2)) : 0;
  const std::int64_t lineValue =
      variant == ArchiveVariant::kFirst ? number.line * 1000 + 1 : number.line * 1001;
  return ToBase36(static_cast<std::uint64_t>(yearIndex), 1) +
         ToBase36(static_cast<std::uint64_t>(order), kOrderDigits) +
         ToBase36(static_cast<std::uint64_t>(lineValue), kLineDigits) + ".upz";
}

std::string ArchiveFolderPrefix(std::string_view defaultFolder) {
  std::string prefix(defaultFolder);
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  return prefix;
}

ArchiveName BuildArchiveName(std::string_view salesOrderText, std::string_view defaultFolder,
                             ArchiveVariant variant) {
  SalesOrderNumber number = ParseSalesOrderNumber(salesOrderText);
  ArchiveName name;
  name.path = ArchiveFolderPrefix(defaultFolder) + ArchiveFileName(number, variant);
  name.orderPart = std::move(number.orderPart);
  name.line = number.line;
  return name;
}

bool IsSalesOrderNumber(std::string_view text) {
  if (text.size() != 11 || text[8] != '-') return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (i != 8 && (text[i] < '0' || text[i] > '9')) return false;
  return true;
}

std::string ArchiveChoicePattern(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  std::string pattern(path);
  if (dot != std::string_view::npos && dot >= 3) pattern.erase(dot - 3, 7);
  return pattern + "*.upz";
}

FolderAndMask SplitPattern(std::string_view pattern) {
  const std::size_t slash = pattern.rfind('/');
  if (slash == std::string_view::npos) return {".", std::string(pattern)};
  const std::string_view folder = slash == 0 ? pattern.substr(0, 1) : pattern.substr(0, slash);
  return {std::filesystem::path(folder), std::string(pattern.substr(slash + 1))};
}

bool MatchesWildcard(std::string_view name, std::string_view mask) {
  // Greedy match with one backtrack point: the last '*' and where its run ends now.
  std::size_t n = 0, m = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      resume = n;
    } else if (m < mask.size() && (mask[m] == '?' || Lower(mask[m]) == Lower(name[n]))) {
      ++m;
      ++n;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::vector<std::string> ListMatchingFiles(const std::filesystem::path& folder,
                                           std::string_view mask) {
  return SortedPlainFiles(folder, [&](const std::string& name) {
    return MatchesWildcard(name, mask);
  });
}

std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) return path;
  const std::string wanted = Lowered(path.filename().string());
  if (wanted.empty()) return std::nullopt;
  const std::vector<std::string> names =
      SortedPlainFiles(path.parent_path(), [&](const std::string& name) {
        return Lowered(name) == wanted;
      });
  if (names.empty()) return std::nullopt;
  return path.parent_path() / names.front();
}

OrderArchiveSearch FindOrderArchive(std::string_view salesOrderText, std::string_view defaultFolder) {
  OrderArchiveSearch search;
  for (const ArchiveVariant variant : {ArchiveVariant::kFirst, ArchiveVariant::kSecond}) {
    search.tried.push_back(BuildArchiveName(salesOrderText, defaultFolder, variant).path);
    if (const std::optional<std::filesystem::path> found = FindFileIgnoringCase(search.tried.back())) {
      search.found.push_back(*found);
      return search;
    }
  }
  search.tried.push_back(ArchiveChoicePattern(search.tried.back()));
  const FolderAndMask pattern = SplitPattern(search.tried.back());
  for (const std::string& name : ListMatchingFiles(pattern.folder, pattern.mask))
    search.found.push_back(pattern.folder / name);
  search.otherLines = !search.found.empty();
  return search;
}
