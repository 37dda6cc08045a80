#pragma once

// The unit data file of an order archive: the member "LTCUNIT.DAT", a data file.  Opening
// an archive extracts every member into a folder and then reads that one; the main window
// and quellso-tool both go through here.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "files/upzarchive.h"

// The member that holds the unit's data.  Matched without regard to letter case: archives
// made on machines that ignore case may store it as "ltcunit.dat".
inline constexpr std::string_view kUnitDataFileName = "LTCUNIT.DAT";

// The message for a failed extraction: the result's text and, for an archive that cannot
// be opened, ": " and the archive's file name (the part of `archivePath` after its last
// '/'; nothing after ": " when the path has no '/'); for an archive beyond the limits, what
// that means.
std::string ArchiveFailureText(ArchiveResult result, std::string_view archivePath);

struct UnitFileExtraction {
  ArchiveResult result = ArchiveResult::kNoError;
  // The extracted unit data file, when `result` is kNoError and the archive holds one.
  std::optional<std::filesystem::path> unitFile;
};

// Extracts every member of `archive` into `folder` (ExtractArchive with the expected header
// "upl", version 2) and finds the unit data file among them: of several members whose names
// differ only in letter case, the last one (the one that remains where archives are made,
// the others' files are removed).  Any file named LTCUNIT.DAT in
// any letter case is removed from the folder first, so that one left there by an earlier
// archive (a failed extraction leaves its partial output) is never taken for this one's;
// so is every plain file that a member of this archive will replace.
UnitFileExtraction ExtractUnitFile(const std::filesystem::path& archive,
                                   const std::filesystem::path& folder,
                                   ArchiveProgress* progress = nullptr);
