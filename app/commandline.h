#pragma once

// The program's command line.  It is read before the toolkit starts, so that --help and
// --version answer at once, without a display, and a mistyped option is reported instead of
// a window opening.  The toolkit's own options (-platform, -style, -reverse, ...) pass
// through for the toolkit to take.

#include <string>

struct TCommandLine {
  enum class Action { Run, Help, Version, Wrong };
  Action action = Action::Run;
  std::string error;  // for Wrong: what is wrong, in words for the user
};

// Reads the arguments in order; the first --help, --version or wrong argument decides.
TCommandLine ReadCommandLine(int argc, const char* const* argv);

// The --help text.
const char* QuellsoUsage();
