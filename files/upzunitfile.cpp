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
  if (extraction.result == ArchiveResult::kNoError)
    extraction.unitFile = FindFileIgnoringCase(folder / kUnitDataFileName);
  return extraction;
}
