#pragma once

// The program's private temporary folder: order archives are extracted there.  It is a
// folder of its own for each user ("quellso-" and the user id) under the system's
// temporary folder ($TMPDIR, else /tmp), never the shared temporary folder itself, so that
// no other user can read an order's data or plant a file or link where a member is written.

#include <filesystem>
#include <string>

struct TempFolder {
  std::filesystem::path path;  // the folder; empty on failure
  std::string error;           // what went wrong and what to do next; empty on success

  bool ok() const { return error.empty(); }
};

// The system's temporary folder: $TMPDIR when it is set and not empty, else /tmp; made
// absolute against the current folder.
std::filesystem::path SystemTempFolder();

// Returns the private folder under `base`, creating it with mode 0700 when it is missing.
// A folder that exists already is used only if it is a real folder (not a symbolic link),
// owned by the user and closed to everybody else; otherwise the result carries an error
// text that names the folder and says what to do.
TempFolder PrivateTempFolderIn(const std::filesystem::path& base);

// PrivateTempFolderIn(SystemTempFolder()).
TempFolder PrivateTempFolder();
