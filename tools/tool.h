#pragma once

// quellso-tool: the command-line program for people who script around the program's files
// and its panels.  Each subcommand is one row of a table; a group of related subcommands
// (the data file commands, the archive commands, the panel commands) lives in its own source
// file and hands its rows to the tool through one function listed in dispatch.cpp.  The
// file and archive commands need no toolkit (library quellso_toolfiles); the panel commands
// run the serial port and an event loop of Qt Core (no display).

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Exit statuses.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFileError = 1;   // a file could not be read or written
inline constexpr int kExitUsage = 2;       // the command line asks for something unknown
// The panel commands: the panel refused a write, did not answer (all), or differs on verify;
// the port cannot be opened, or an input cannot be read.
inline constexpr int kExitPanelFailed = 1;
inline constexpr int kExitCannotOpen = 3;
// Any command whose standard output cannot be written (a full disk, a closed stream); expand's
// results 0..4 come before it.
inline constexpr int kExitOutputFailed = 5;

struct ToolCommand {
  std::string_view name;      // "show"; a command of a group, "panel get", takes two arguments
  std::string_view synopsis;  // "show FILE"
  std::string_view help;      // what it does; lines of the --help text, '\n' separated
  // Runs the subcommand on the arguments after its name; returns the exit status.
  int (*run)(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};

// The data file subcommands: show, convert, get, set.
std::span<const ToolCommand> DataFileCommands();
// The order archive subcommands: expand, list, extract, archive-name.
std::span<const ToolCommand> ArchiveCommands();
// The panel subcommands: panel lengths, panel get, panel send, panel verify.
std::span<const ToolCommand> PanelCommands();
// The transfer history's subcommands: history, report.
std::span<const ToolCommand> HistoryCommands();

struct FileStatus;
class ProfileDocument;
// Whether `path` names an order archive: its extension is ".upz" in any letter case.
bool IsArchivePath(std::string_view path);
// Reads the unit data file (LTCUNIT.DAT) of the order archive at `path` into `document`:
// the archive is extracted into a fresh private temporary folder, which is removed again.
// Fails with the reason when the archive cannot be extracted or holds no unit data file.
FileStatus LoadArchiveUnitFile(const std::string& path, ProfileDocument& document);

// Reads a data file, or the unit data file of an order archive (.upz), that must exist: for
// a command line, a mistyped name is an error rather than a file without keys.
FileStatus LoadUnitData(const std::string& path, ProfileDocument& document);

// Whether `c` is a control character: C0 (below U+0020), DEL, or C1 (U+0080 to U+009F; the
// five bytes that code page 1252 leaves undefined stand for such characters).
constexpr bool IsControlCharacter(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// A record text (bytes of Windows code page 1252) as plain output prints it: in UTF-8, with
// each control character and the backslash escaped, so that a value can neither break its
// line nor reach the terminal as a command: \n, \r, \t, \\ and \xNN (NN the byte in
// lower-case hexadecimal).
std::string PlainText(std::string_view bytes);

class UnitDataRecord;
// Every text member of the record in member order, one Member=value line each: the values as
// PlainText gives them, or with `bytes` as the record holds them (bytes of Windows code page
// 1252, unchanged).
void PrintRecord(std::ostream& out, const UnitDataRecord& record, bool bytes);

// Runs the tool on its arguments (without the program name); returns the exit status.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Helpers for subcommands: the one-line messages on stderr.
int FileError(std::ostream& err, std::string_view verb, std::string_view file, std::string_view reason);
int UsageError(std::ostream& err, std::string_view text);
