#include "tools/tool.h"

#include <ostream>

#include "quellso/version.h"

namespace {

constexpr std::string_view kProgram = "quellso-tool";

// Every group of subcommands, in the order --help lists them.
std::vector<std::span<const ToolCommand>> Groups() { return {DataFileCommands(), ArchiveCommands()}; }

const ToolCommand* FindCommand(std::string_view name) {
  for (const std::span<const ToolCommand> group : Groups())
    for (const ToolCommand& command : group)
      if (command.name == name) return &command;
  return nullptr;
}

void PrintHelp(std::ostream& out) {
  out << "Usage: " << kProgram << " COMMAND [ARGUMENTS]\n"
      << "       " << kProgram << " --help | --version\n\n"
      << "Reads and writes the order-entry program's files from the command line.\n\n"
      << "Commands:\n";
  for (const std::span<const ToolCommand> group : Groups()) {
    for (const ToolCommand& command : group) {
      out << "  " << command.synopsis << "\n";
      std::string_view help = command.help;
      while (!help.empty()) {
        const std::size_t end = help.find('\n');
        out << "      " << help.substr(0, end) << "\n";
        help = end == std::string_view::npos ? std::string_view() : help.substr(end + 1);
      }
      out << "\n";
    }
  }
  out << "Exit status: 0 on success; 1 when a file cannot be read or written (a one-line\n"
      << "message on standard error names the file and the reason); 2 for a command line\n"
      << "that names no known command or gives the wrong arguments.  expand exits with the\n"
      << "decoder's result instead (see above).\n";
}

}  // namespace

int FileError(std::ostream& err, std::string_view verb, std::string_view file, std::string_view reason) {
  err << kProgram << ": cannot " << verb << " " << file << ": " << reason << "\n";
  return kExitFileError;
}

int UsageError(std::ostream& err, std::string_view text) {
  err << kProgram << ": " << text << " (see " << kProgram << " --help)\n";
  return kExitUsage;
}

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return UsageError(err, "no command given");
  const std::string& name = args.front();
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(out);
    return kExitSuccess;
  }
  if (name == "--version") {
    out << VersionLine(kProgram);
    return kExitSuccess;
  }
  const ToolCommand* command = FindCommand(name);
  if (!command) return UsageError(err, "unknown command '" + name + "'");
  return command->run(std::vector<std::string>(args.begin() + 1, args.end()), out, err);
}
