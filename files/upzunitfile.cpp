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
  for (const std::string& stale : ListMatchingFiles(folder, kUnitDataFileName)) {
    std::error_code ignored;
    std::filesystem::remove(folder / stale, ignored);
  }

  UnitFileExtraction extraction;
  UpzHeader expected = UpzHeader::Expected();
  std::string destination = folder.string();
  extraction.result = ExtractArchive(expected, archive, destination, std::nullopt, progress);
  if (extraction.result == ArchiveResult::kNoError)
    extraction.unitFile = FindFileIgnoringCase(folder / kUnitDataFileName);
  return extraction;
}
