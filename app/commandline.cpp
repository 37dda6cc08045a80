#include "app/commandline.h"

#include <string_view>

namespace {

// The toolkit's standard options, which it takes from the command line itself.  Each may be
// written with one dash or two; those with `equals` also as -option=value.
struct ToolkitOption {
  std::string_view name;
  bool value;   // followed by a value
  bool equals;  // the value may follow "=" instead
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"platform", true, false},   {"platformpluginpath", true, false}, {"platformtheme", true, false},
    {"plugin", true, false},     {"qwindowgeometry", true, false},    {"qwindowtitle", true, false},
    {"qwindowicon", true, false}, {"geometry", true, false},          {"title", true, false},
    {"icon", true, false},       {"display", true, false},            {"name", true, false},
    {"visual", true, false},     {"session", true, false},            {"style", true, true},
    {"stylesheet", true, true},  {"qmljsdebugger", true, true},       {"reverse", false, false},
    {"widgetcount", false, false}, {"testability", false, false},     {"nograb", false, false},
    {"dograb", false, false},    {"sync", false, false},
};

}  // namespace

const char* QuellsoUsage() {
  return "Usage: quellso [OPTION]...\n"
         "  or:  quellso [OPTION]... FILE\n"
         "Holds one chiller unit's order and nameplate data in one window, reads and\n"
         "writes it as data files (.dat), reads order archives (.upz), and sends it to or\n"
         "requests it from the chiller's control panel over a serial line.\n"
         "\n"
         "FILE, when given, is opened at start: an order archive (.upz, in any letter\n"
         "case) as File > Open Encrypted Data File opens it, any other file as a data\n"
         "file, as File > Open Data File does.  A FILE that begins with '-' is named\n"
         "after \"--\".\n"
         "\n"
         "  --help       show this text and end\n"
         "  --version    show the version and end\n"
         "\n"
         "The toolkit's standard options are taken too, for example -platform NAME,\n"
         "-style NAME, -reverse and -qwindowgeometry WIDTHxHEIGHT+X+Y.\n"
         "\n"
         "Environment:\n"
         "  QUELLSO_SETTINGS=FILE     use this settings file instead of\n"
         "                            ~/.config/Hollin Enterprises/Quellso.ini\n"
         "  QUELLSO_COM1=DEVICE ...   the device that COM1 (to COM4) stands for, before\n"
         "                            the settings file's [Ports] group\n"
         "\n"
         "SIGTERM, SIGINT and SIGHUP close the window as File > Exit does.\n"
         "\n"
         "On a Wayland desktop the program runs through XWayland, when it is there, unless\n"
         "QT_QPA_PLATFORM or -platform names another platform.\n"
         "\n"
         "Exit status: 0 when the window is closed, 2 for a wrong command line or when no\n"
         "display can be found.\n";
}

TCommandLine ReadCommandLine(int argc, const char* const* argv) {
  TCommandLine line;
  const auto wrong = [&line](std::string error) {
    line.action = TCommandLine::Action::Wrong;
    line.error = std::move(error);
    return line;
  };
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_ended && (arg == "--help" || arg == "-h")) {
      line.action = TCommandLine::Action::Help;
      return line;
    }
    if (!options_ended && arg == "--version") {
      line.action = TCommandLine::Action::Version;
      return line;
    }
    if (!options_ended && arg == "--") {
      options_ended = true;
      continue;
    }
    if (options_ended || arg.size() < 2 || arg[0] != '-') {
      if (!line.file.empty())
        return wrong("more than one file named (\"" + line.file + "\" and \"" + std::string(arg) +
                     "\"); the program opens one file at a time");
      line.file = arg;
      continue;
    }
    std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
    const std::size_t eq = name.find('=');
    const bool inline_value = eq != std::string_view::npos;
    if (inline_value) name = name.substr(0, eq);
    const ToolkitOption* known = nullptr;
    for (const ToolkitOption& option : kToolkitOptions)
      if (option.name == name && (!inline_value || option.equals)) known = &option;
    if (!known) return wrong("unknown option \"" + std::string(arg) + "\"");
    if (known->value && !inline_value && ++i >= argc)
      return wrong("option \"" + std::string(arg) + "\" needs a value");
    if (known->name == "platform") line.platformNamed = true;
  }
  return line;
}

std::string PlatformForSession(const TCommandLine& line, const char* (*environment)(const char*)) {
  const auto set = [environment](const char* name) {
    const char* value = environment(name);
    return value != nullptr && *value != '\0';
  };
  if (line.platformNamed || set("QT_QPA_PLATFORM")) return {};
  const char* session = environment("XDG_SESSION_TYPE");
  const bool wayland = set("WAYLAND_DISPLAY") || (session != nullptr && std::string_view(session) == "wayland");
  if (!wayland || !set("DISPLAY")) return {};
  return "xcb;wayland";
}
