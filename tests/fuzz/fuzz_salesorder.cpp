// Fuzz target for the sales order names.  The input, up to its first zero byte, is the text
// of the sales order field; the rest, a file name to match against the choice pattern.  The
// names must be eight base-36 digits and ".upz", both variants must match the pattern of
// the order's archives, the pattern must split into the folder and a mask, numbers read
// from the text must stay within their bounds, and wildcard matching must agree with a
// plain recursive matcher.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "files/salesorder.h"
#include "tests/fuzz/profilemodel.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz_salesorder: %s\n", what);
    std::abort();
  }
}

bool IsArchiveName(std::string_view name) {
  if (name.size() != 12 || name.substr(8) != ".upz") return false;
  for (const char c : name.substr(0, 8))
    if (kBase36Digits.find(c) == std::string_view::npos) return false;
  return true;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// '*' any run, '?' any one character, letter case ignored; memoised on (name, mask) ends
// so that it stays fast.
bool Matches(std::string_view name, std::string_view mask, std::vector<signed char>& memo, std::size_t width) {
  signed char& known = memo[name.size() * width + mask.size()];
  if (known >= 0) return known;
  bool result;
  if (mask.empty()) {
    result = name.empty();
  } else if (mask.front() == '*') {
    result = Matches(name, mask.substr(1), memo, width) || (!name.empty() && Matches(name.substr(1), mask, memo, width));
  } else {
    result = !name.empty() && (mask.front() == '?' || Lower(mask.front()) == Lower(name.front())) &&
             Matches(name.substr(1), mask.substr(1), memo, width);
  }
  known = result ? 1 : 0;
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts = profilemodel::Parts(data, size);
  const std::string_view text = parts[0];
  const std::string_view other = parts.size() > 1 ? parts[1] : std::string_view();

  const std::int64_t number = TextToNumber(text);
  Check(number >= 0 && number <= kMaxTextNumber, "a number out of bounds");
  const SalesOrderNumber order = ParseSalesOrderNumber(text);
  Check(order.orderPart.size() <= 8 && order.line >= 0 && order.line <= kMaxTextNumber, "a part out of bounds");

  const ArchiveName first = BuildArchiveName(text, other, ArchiveVariant::kFirst);
  const ArchiveName second = BuildArchiveName(text, other, ArchiveVariant::kSecond);
  const std::string prefix = ArchiveFolderPrefix(other);
  Check(first.path.substr(0, prefix.size()) == prefix && second.path.substr(0, prefix.size()) == prefix,
        "the folder is not the names' prefix");
  const std::string_view firstName = std::string_view(first.path).substr(prefix.size());
  const std::string_view secondName = std::string_view(second.path).substr(prefix.size());
  Check(IsArchiveName(firstName) && IsArchiveName(secondName), "not an archive name");
  Check(firstName.substr(0, 5) == secondName.substr(0, 5), "the variants differ in year or order");
  Check(first.orderPart == order.orderPart && first.line == order.line, "the name's parts differ");

  const std::string pattern = ArchiveChoicePattern(second.path);
  const FolderAndMask split = SplitPattern(pattern);
  Check(split.mask.find('/') == std::string::npos, "a '/' in the mask");
  if (other.find('/') == std::string_view::npos && !other.empty()) {
    Check(split.mask == std::string(secondName.substr(0, 5)) + "*.upz", "the mask is not the order's");
    Check(MatchesWildcard(firstName, split.mask) && MatchesWildcard(secondName, split.mask),
          "a variant does not match its pattern");
  }

  // Any name against any mask, within bounds that keep the plain matcher fast.
  const std::string_view mask = text.substr(0, 64);
  const std::string_view name = other.substr(0, 64);
  std::vector<signed char> memo((name.size() + 1) * (mask.size() + 1), -1);
  Check(MatchesWildcard(name, mask) == Matches(name, mask, memo, mask.size() + 1), "wildcard matching differs");
  Check(ToBase36(static_cast<std::uint64_t>(number), 4).size() == 4, "ToBase36 gives the wrong length");
  return 0;
}
