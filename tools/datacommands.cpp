// The data file subcommands of quellso-tool: show, convert, get, set.  Show and convert
// also take an order archive in place of a data file.

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <optional>
#include <ostream>
#include <system_error>

#include "files/datafile.h"
#include "files/profile.h"
#include "model/cp1252.h"
#include "model/unitdatarecord.h"
#include "tools/tool.h"

namespace {

constexpr std::size_t kDefaultWidth = 4096;

// Loads a file that must exist: for a command line, a mistyped name is an error rather
// than a file without keys.
FileStatus LoadExisting(const std::string& path, ProfileDocument& document) {
  bool exists = false;
  FileStatus status = LoadProfile(path, document, &exists);
  if (status && !exists) return FileStatus::Failure(std::generic_category().message(ENOENT));
  return status;
}

// Passes `status` on, after telling on standard error what the file layer did with a save
// that had not ended (put back, or kept beside the file).
FileStatus Told(std::ostream& err, FileStatus status) {
  if (!status.notice.empty()) err << "quellso-tool: " << status.notice << '\n';
  return status;
}

// Whether `args` hold --bytes (anywhere); the other arguments go to `rest`, in order.
bool TakeBytesFlag(const std::vector<std::string>& args, std::vector<std::string>& rest) {
  bool bytes = false;
  for (const std::string& arg : args) {
    if (arg == "--bytes")
      bytes = true;
    else
      rest.push_back(arg);
  }
  return bytes;
}

// The values in UTF-8, as a terminal and most scripts expect them; with --bytes as the file
// holds them (bytes of Windows code page 1252), for scripts that must pass them on unchanged.
int Show(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> positional;
  const bool bytes = TakeBytesFlag(args, positional);
  if (positional.size() != 1) return UsageError(err, "show takes one FILE");
  ProfileDocument file;
  if (const FileStatus status = Told(err, LoadUnitData(positional[0], file)); !status)
    return FileError(err, "read", positional[0], status.reason);
  UnitDataRecord record{};
  ReadDataFile(record, file);
  PrintRecord(out, record, bytes);
  return kExitSuccess;
}

int Convert(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  if (args.size() != 2) return UsageError(err, "convert takes IN and OUT");
  ProfileDocument in;
  if (const FileStatus status = Told(err, LoadUnitData(args[0], in)); !status)
    return FileError(err, "read", args[0], status.reason);
  UnitDataRecord record{};
  ReadDataFile(record, in);
  if (const FileStatus status = Told(err, WriteDataFile(record, args[1])); !status)
    return FileError(err, "write", args[1], status.reason);
  return kExitSuccess;
}

int Get(const std::vector<std::string>& all, std::ostream& out, std::ostream& err) {
  std::vector<std::string> args;
  const bool bytes = TakeBytesFlag(all, args);
  std::vector<std::string> positional;
  std::size_t width = kDefaultWidth;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view value;
    if (args[i] == "--width") {
      if (i + 1 == args.size()) return UsageError(err, "--width needs a number");
      value = args[++i];
    } else if (args[i].starts_with("--width=")) {
      value = std::string_view(args[i]).substr(8);
    } else {
      positional.push_back(args[i]);
      continue;
    }
    unsigned long long n = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (ec != std::errc() || end != value.data() + value.size() || n == 0 || n > SIZE_MAX)
      return UsageError(err, "--width needs a whole number of at least 1, not '" + std::string(value) + "'");
    width = static_cast<std::size_t>(n);
  }
  if (positional.size() != 3) return UsageError(err, "get takes FILE SECTION KEY");
  ProfileDocument file;
  if (const FileStatus status = Told(err, LoadExisting(positional[0], file)); !status)
    return FileError(err, "read", positional[0], status.reason);
  const std::string text = file.Read(positional[1], positional[2], "", width);
  out << (bytes ? text : PlainText(text)) << '\n';
  return kExitSuccess;
}

// The command line is UTF-8 and files hold code page 1252: SECTION, KEY and VALUE are
// turned into its bytes (a character it cannot hold is refused, never written as something
// else), unless --bytes asks for them to be written as they are.
int Set(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  std::vector<std::string> positional;
  const bool bytes = TakeBytesFlag(args, positional);
  if (positional.size() != 4) return UsageError(err, "set takes FILE SECTION KEY VALUE");
  if (!bytes) {
    for (std::size_t i = 1; i < 4; ++i) {
      std::size_t offset = 0;
      const std::optional<std::string> converted = Utf8ToCp1252(positional[i], &offset);
      if (!converted)
        return UsageError(err, "'" + positional[i] + "' holds a character that data files cannot hold (they hold " +
                                   "the characters of Windows code page 1252, Western European), at byte " +
                                   std::to_string(offset + 1) + "; --bytes writes it unchanged");
      positional[i] = *converted;
    }
  }
  if (const FileStatus status =
          Told(err, WriteProfileString(positional[1], positional[2], positional[3], positional[0]));
      !status)
    return FileError(err, "write", positional[0], status.reason);
  return kExitSuccess;
}

constexpr ToolCommand kCommands[] = {
    {"show", "show FILE [--bytes]",
     "Reads the data file FILE into an empty unit record and prints every text member of\n"
     "the record in member order, one Member=value line each, those the file does not\n"
     "carry included.  FILE may be an order archive (.upz): its unit data file LTCUNIT.DAT\n"
     "is read.  A FILE that does not exist is an error.  Values are printed in UTF-8, each\n"
     "byte of the file as its character of Windows code page 1252 (the character set of\n"
     "data files and panels), control characters and the backslash escaped (\\n, \\r, \\t,\n"
     "\\\\, \\xNN); with --bytes they are printed as the file's bytes, unchanged.",
     Show},
    {"convert", "convert IN OUT",
     "Reads the data file IN into an empty unit record and writes the record into the data\n"
     "file OUT.  An existing OUT is updated key by key and keeps its other sections and keys;\n"
     "a missing one is created.  IN may be an order archive (.upz): its unit data file\n"
     "LTCUNIT.DAT is read.  An IN that does not exist is an error.",
     Convert},
    {"get", "get FILE SECTION KEY [--width N] [--bytes]",
     "Prints the value of KEY in SECTION of FILE as a read into a buffer of N characters\n"
     "gives it (at most N - 1 characters; N defaults to 4096).  Section and key names ignore\n"
     "letter case; a missing section or key prints an empty line, a missing FILE is an\n"
     "error.  The value is printed in UTF-8 and escaped, as show prints it; with --bytes as\n"
     "the file's bytes, unchanged.",
     Get},
    {"set", "set FILE SECTION KEY VALUE [--bytes]",
     "Sets KEY in SECTION of FILE to VALUE, adding the key or the section when missing and\n"
     "creating FILE when it does not exist.  Every other line of the file is kept.  SECTION,\n"
     "KEY and VALUE are taken as UTF-8 and written in Windows code page 1252, the character\n"
     "set of data files; a character it cannot hold is refused.  With --bytes they are\n"
     "written as they are given.",
     Set},
};

}  // namespace

std::span<const ToolCommand> DataFileCommands() { return kCommands; }

void PrintRecord(std::ostream& out, const UnitDataRecord& record, bool bytes) {
  for (const UnitMemberInfo& info : kUnitMembers) {
    const char* text = record.Text(info.member);
    out << info.name << '=' << (bytes ? std::string(text) : PlainText(text)) << '\n';
  }
}

FileStatus LoadUnitData(const std::string& path, ProfileDocument& document) {
  return IsArchivePath(path) ? LoadArchiveUnitFile(path, document) : LoadExisting(path, document);
}
