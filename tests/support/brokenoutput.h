#pragma once

// A program run as a process whose standard output cannot be written, as a script meets it:
// redirected to /dev/full (a full disk), or closed (`program >&-`).  Its standard error is
// collected.

#include <string>
#include <utility>
#include <vector>

enum class BrokenOutput { kFull, kClosed };

struct BrokenOutputRun {
  int status = -1;  // the exit status; -1 when it did not end normally (or in a minute)
  std::string err;
};

// Runs `program` with `args` and the test's environment, with the variables of `set` set
// and those named in `unset` removed.
BrokenOutputRun RunWithBrokenOutput(const std::string& program, const std::vector<std::string>& args,
                                    BrokenOutput output,
                                    const std::vector<std::pair<std::string, std::string>>& set = {},
                                    const std::vector<std::string>& unset = {});
