#pragma once

// The program's command line.  It is read before the toolkit starts, so that --help and
// --version answer at once, without a display, and a mistyped option is reported instead of
// a window opening.  The toolkit's own options (-platform, -style, -reverse, ...) pass
// through for the toolkit to take.  One file may be named, as the file manager names the file
// the user opened with the program.

#include <string>

struct TCommandLine {
  enum class Action { Run, Help, Version, Wrong };
  Action action = Action::Run;
  std::string error;  // for Wrong: what is wrong, in words for the user
  std::string file;   // the file to open at start, as given; empty when none is named
  bool platformNamed = false;  // a -platform option chose the toolkit's platform
};

// Reads the arguments in order; the first --help, --version or wrong argument decides.
TCommandLine ReadCommandLine(int argc, const char* const* argv);

// The --help text.
const char* QuellsoUsage();

// The toolkit's platform when the user chose none: on a Wayland session with an X server at
// hand (XWayland), the X11 platform first, falling back to Wayland.  There the program's
// windows stand where it puts them, a dialog over the window it belongs to.  Natively on
// Wayland the compositor places them, and the toolkit's own title bars (Qt 6.4) offer to
// maximize the fixed-size windows whatever their flags say, which a compositor that checks
// the window's size (weston) answers with a protocol error that ends the program.
// `environment` reads a variable (getenv), returning null when it is unset.  Empty when the
// toolkit's own choice stands: the user set QT_QPA_PLATFORM or gave -platform, the session is
// not Wayland, or no X server is at hand.
std::string PlatformForSession(const TCommandLine& line, const char* (*environment)(const char*));
