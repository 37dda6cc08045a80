#include "files/upzunitfile.h"

#include <system_error>

#include "files/salesorder.h"

std::string ArchiveFailureText(ArchiveResult result, std::string_view archivePath) {
  std::string text(ArchiveErrorText(result));
  if (result == ArchiveResult::kCantOpenSource) {
    text += ": ";
    const std::size_t slash = archivePath.rfind('/');
    if (slash != std::string_view::npos) text += archivePath.substr(slash + 1);
  }
  if (result == ArchiveResult::kTooLarge || result == ArchiveResult::kTooManyMembers)
    text += ".\n\nOrder archives hold a few small members: this file is damaged or is no order archive. "
            "Nothing was extracted from it.";
  return text;
}

UnitFileExtraction ExtractUnitFile(const std::filesystem::path& archive,
                                   const std::filesystem::path& folder,
                                   ArchiveProgress* progress) {
  std::error_code ignored;
  for (const std::string& stale : ListMatchingFiles(folder, kUnitDataFileName))
    std::filesystem::remove(folder / stale, ignored);
  // Files the members will replace are removed rather than truncated: the file system
  // flushes a truncated file's new content when it is closed, which made reopening an
  // archive with a large member take twice as long.  A folder in the way stays, and the
  // extraction reports it.
  std::vector<UpzEntry> entries;
  ReadArchiveDirectory(archive, entries);
  for (const UpzEntry& entry : entries) {
    const std::string name = MemberFileName(entry.name);
    if (!name.empty() && !std::filesystem::is_directory(std::filesystem::symlink_status(folder / name, ignored)))
      std::filesystem::remove(folder / name, ignored);
  }

  UnitFileExtraction extraction;
  UpzHeader expected = UpzHeader::Expected();
  std::string destination = folder.string();
  extraction.result = ExtractArchive(expected, archive, destination, std::nullopt, progress);
  if (extraction.result != ArchiveResult::kNoError) return extraction;
  // Two members whose names differ only in letter case are one file where archives are
  // made: the later one is what remains there, so it is the one read, and the copies that
  // a file system with letter case keeps beside it go.
  std::string unitName;
  for (const UpzEntry& entry : entries) {
    const std::string name = MemberFileName(entry.name);
    if (MatchesWildcard(name, kUnitDataFileName)) unitName = name;
  }
  if (unitName.empty()) return extraction;
  for (const UpzEntry& entry : entries) {
    const std::string name = MemberFileName(entry.name);
    if (name != unitName && MatchesWildcard(name, kUnitDataFileName)) std::filesystem::remove(folder / name, ignored);
  }
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(folder / unitName, ignored)))
    extraction.unitFile = folder / unitName;
  return extraction;
}
