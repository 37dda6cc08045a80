#pragma once

// Opening a document with the program the desktop associates with it, the way a user
// double-clicks a file: nothing waits for it and nothing is reported if it cannot be done.
// Tests replace the desktop through the hook, so no viewer is ever launched.

#include <QString>
#include <functional>

// Asks the desktop to open the file at `path` (relative paths are taken from the current
// directory).  The result is ignored.
void ShellOpen(const QString& path);

// Test seam: while a hook is set, ShellOpen() hands it the absolute path instead of asking
// the desktop.  An empty hook restores the desktop.
using ShellOpenHook = std::function<void(const QString& path)>;
void SetShellOpenHook(ShellOpenHook hook);

// The release notes: "Readme.txt" in the current directory, which the file dialogs move to
// the folder of the last file chosen; when it is not there, the copy installed with the
// program (<program folder>/../share/quellso/Readme.txt, not under share/doc, which a system
// may leave out).  Empty when neither exists.
QString ReleaseNotesPath();
