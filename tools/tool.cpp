#include "tools/tool.h"

#include <cstdio>
#include <ostream>

#include "model/cp1252.h"

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

std::string PlainText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char byte : bytes) {
    const char32_t c = Cp1252ToCodePoint(static_cast<unsigned char>(byte));
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (IsControlCharacter(c)) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(byte));
      out += hex;
    } else {
      out += Cp1252ToUtf8(std::string_view(&byte, 1));
    }
  }
  return out;
}
