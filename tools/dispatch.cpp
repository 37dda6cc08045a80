// quellso-tool's table of subcommands: finding the command a command line names, and --help.

#include <ostream>

#include "quellso/version.h"
#include "tools/tool.h"

namespace {

constexpr std::string_view kProgram = "quellso-tool";

// Every group of subcommands, in the order --help lists them.
std::vector<std::span<const ToolCommand>> Groups() { return {DataFileCommands(), ArchiveCommands(), PanelCommands(), HistoryCommands()}; }

// The command that `args` names, and how many of the arguments name it (1, or 2 for a
// command of a group such as "panel get").
const ToolCommand* FindCommand(const std::vector<std::string>& args, std::size_t& words) {
  for (const std::span<const ToolCommand> group : Groups()) {
    for (const ToolCommand& command : group) {
      const std::size_t space = command.name.find(' ');
      if (space == std::string_view::npos) {
        if (command.name != args.front()) continue;
        words = 1;
        return &command;
      }
      if (args.size() >= 2 && command.name.substr(0, space) == args[0] && command.name.substr(space + 1) == args[1]) {
        words = 2;
        return &command;
      }
    }
  }
  return nullptr;
}

// Whether `name` is the first word of a group's commands ("panel").
bool IsGroupName(const std::string& name) {
  for (const std::span<const ToolCommand> group : Groups())
    for (const ToolCommand& command : group)
      if (command.name.starts_with(name + " ")) return true;
  return false;
}

void PrintHelp(std::ostream& out) {
  out << "Usage: " << kProgram << " COMMAND [ARGUMENTS]\n"
      << "       " << kProgram << " --help | --version\n\n"
      << "Reads and writes the order-entry program's files, and reads and programs chiller\n"
      << "panels, from the command line.\n\n"
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
  out << "Plain output (not --json, not --bytes) escapes control characters and the\n"
      << "backslash in values: \\n, \\r, \\t, \\\\ and \\xNN (NN the byte in hexadecimal).\n\n"
      << "Exit status: 0 on success; 1 when a file cannot be read or written (a one-line\n"
      << "message on standard error names the file and the reason); 2 for a command line\n"
      << "that names no known command or gives the wrong arguments.  expand exits with the\n"
      << "decoder's result instead (see above).  The panel commands exit with 1 when the\n"
      << "panel refuses a write, does not answer every request, or (verify) differs, and\n"
      << "with 3 when the port cannot be opened or an input cannot be read.  Every command\n"
      << "exits with 5 when its standard output cannot be written (a full disk, a closed\n"
      << "output), unless it failed otherwise.\n";
}

}  // namespace

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
  std::size_t words = 0;
  const ToolCommand* command = FindCommand(args, words);
  if (!command && IsGroupName(name)) {
    if (args.size() < 2) return UsageError(err, "'" + name + "' needs a command after it");
    return UsageError(err, "unknown command '" + name + " " + args[1] + "'");
  }
  if (!command) return UsageError(err, "unknown command '" + name + "'");
  return command->run(std::vector<std::string>(args.begin() + static_cast<long>(words), args.end()), out, err);
}
