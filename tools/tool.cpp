#include "tools/tool.h"

#include <ostream>

namespace {
constexpr std::string_view kProgram = "quellso-tool";
}  // namespace

int FileError(std::ostream& err, std::string_view verb, std::string_view file, std::string_view reason) {
  err << kProgram << ": cannot " << verb << " " << file << ": " << reason << "\n";
  return kExitFileError;
}

int UsageError(std::ostream& err, std::string_view text) {
  err << kProgram << ": " << text << " (see " << kProgram << " --help)\n";
  return kExitUsage;
}
