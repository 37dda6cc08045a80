#pragma once

// Finding an order archive by its sales order number.  Archives lie in one default folder,
// each named after its sales order number: eight base-36 characters and ".upz".
//
//   character 1     the year: Y = the order part's first two characters as a number; the
//                   index Y + 100 - 93 for Y <= 93, else Y - 93 (94..99 give 1..6, 00..28
//                   give 7..z).  Years 29 to 93 run past the alphabet and wrap around it
//                   like every other digit here (index modulo 36: 29 gives 0, 30 gives 1).
//   characters 2-5  the order part's characters 3 to 8 as a number, four digits
//   characters 6-8  the line value, three digits: line * 1000 + 1 for the first variant,
//                   line * 1001 for the second
//
// A sales order number reads as typed in its masked field: "98123456-02", with blanks in
// unfilled positions.  Digits beyond a field's width are dropped: a value is encoded modulo
// 36 to the power of its digit count.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The digits of archive names; a digit's value is its index.
inline constexpr std::string_view kBase36Digits = "0123456789abcdefghijklmnopqrstuvwxyz";

// Exactly `digits` base-36 digits of `value`, most significant first, padded on the left
// with '0'; higher digits are dropped (the result encodes value modulo 36^digits).
std::string ToBase36(std::uint64_t value, int digits);

// The largest number that TextToNumber gives.
inline constexpr std::int64_t kMaxTextNumber = 2147483647;

// A number read from untrusted text: leading blanks (spaces, tabs, line breaks) skipped,
// then decimal digits up to the first other character; no digits give 0 and there is no
// sign.  Digits worth more than kMaxTextNumber give kMaxTextNumber.
std::int64_t TextToNumber(std::string_view text);

enum class ArchiveVariant : int { kSecond = 0, kFirst = 1 };

struct SalesOrderNumber {
  std::string orderPart;  // the text before the first '-' (all of it without one), at
                          // most 8 characters kept
  std::int64_t line = 0;  // the number after the first '-'; 0 without one
};

SalesOrderNumber ParseSalesOrderNumber(std::string_view text);

// Whether `text` is a whole sales order number as the lookup's field takes it with every
// position filled: eight digits, '-', two digits ("98123456-02").
bool IsSalesOrderNumber(std::string_view text);

// The archive's file name, such as "52n9c1jl.upz".
std::string ArchiveFileName(const SalesOrderNumber& number, ArchiveVariant variant);

// The default folder as a prefix of archive paths: an empty folder stays empty (names are
// then looked up in the current folder); any other gets a trailing '/' when it lacks one.
std::string ArchiveFolderPrefix(std::string_view defaultFolder);

struct ArchiveName {
  std::string path;       // the default folder's prefix followed by the file name
  std::string orderPart;  // as ParseSalesOrderNumber gives it
  std::int64_t line = 0;
};

// The archive path of one variant for the text of the sales order field.
ArchiveName BuildArchiveName(std::string_view salesOrderText, std::string_view defaultFolder,
                             ArchiveVariant variant);

// The pattern that selects every archive with the same year and order characters as
// `path`, whatever its line characters: the last three name characters and ".upz" are
// replaced by "*.upz" ("folder/52n9c1jl.upz" gives "folder/52n9c*.upz").  A path without a
// '.' at least 3 characters in gets "*.upz" appended.
std::string ArchiveChoicePattern(std::string_view path);

// A pattern split at its last '/': the folder ("." when there is none) and the mask.
struct FolderAndMask {
  std::filesystem::path folder;
  std::string mask;
};
FolderAndMask SplitPattern(std::string_view pattern);

// Whether `name` matches the wildcard `mask` ('*' any run of characters, '?' any one),
// without regard to letter case.
bool MatchesWildcard(std::string_view name, std::string_view mask);

// The names of the plain files in `folder` that match `mask` without regard to letter
// case, sorted by name without regard to letter case (ties in byte order).  A folder that
// is missing or cannot be read lists nothing.
std::vector<std::string> ListMatchingFiles(const std::filesystem::path& folder,
                                           std::string_view mask);

// The plain file that `path` names, found without regard to the letter case of its file
// name (the folder part must match exactly): `path` itself when it exists, else the first
// by name of the files whose names differ from it only in case; nothing when none exists.
std::optional<std::filesystem::path> FindFileIgnoringCase(const std::filesystem::path& path);

// The lookup without a choice dialog, for scripts: the archive of the sales order number
// `salesOrderText` in `defaultFolder`, found as the lookup finds it.  The first-variant name,
// then the second-variant name, each without regard to the letter case of the name; then
// every archive of the same order (ArchiveChoicePattern).
struct OrderArchiveSearch {
  std::vector<std::string> tried;  // the two names and the pattern, as paths, in that order
  // The archives found: the one of a variant name, or every one the pattern matched, sorted
  // as ListMatchingFiles sorts them.  Exactly one is a match; none or several are not.
  std::vector<std::filesystem::path> found;
  // The pattern found them: they are archives of other lines of the order, not of the line
  // asked for.
  bool otherLines = false;
};
OrderArchiveSearch FindOrderArchive(std::string_view salesOrderText, std::string_view defaultFolder);
