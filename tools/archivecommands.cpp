// The order archive subcommands of quellso-tool: expand, list, extract, archive-name; and
// reading an archive's unit data file, for show and convert.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <system_error>

#include "files/implode.h"
#include "files/profile.h"
#include "files/salesorder.h"
#include "files/tempfolder.h"
#include "files/upzarchive.h"
#include "files/upzunitfile.h"
#include "tools/tool.h"

namespace {

// Why an archive cannot be opened, in the system's words where it has some.
std::string CantOpenReason(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return std::strerror(EISDIR);
  if (!S_ISREG(st.st_mode)) return "not a plain file";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return std::string(ArchiveErrorText(ArchiveResult::kCantOpenSource));
}

// The reason of a failed archive operation, for "cannot ... FILE: reason".
std::string ArchiveReason(ArchiveResult result, const std::string& archive) {
  if (result == ArchiveResult::kCantOpenSource) return CantOpenReason(archive);
  return std::string(ArchiveErrorText(result));
}

// A member name as a line of text: bytes outside printable ASCII, and the backslash, are
// written as \xHH, so that a crafted name cannot split a line or reach the terminal.
std::string Printable(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
      out += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", byte);
      out += hex;
    }
  }
  return out;
}

// A fresh folder of this run's own (mode 0700) under the system's temporary folder, removed
// with everything in it when it goes.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (SystemTempFolder() / "quellso-tool-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
    } else {
      error_ = std::strerror(errno);
    }
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  const std::string& error() const { return error_; }

 private:
  std::filesystem::path path_;
  std::string error_;
};

struct ExpandStreams {
  std::istream& in;
  std::ostream& out;
};

std::size_t ReadInput(unsigned char* buffer, std::size_t size, void* param) {
  std::istream& in = static_cast<ExpandStreams*>(param)->in;
  in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
  return static_cast<std::size_t>(in.gcount());
}

void WriteOutput(const unsigned char* buffer, std::size_t size, void* param) {
  static_cast<ExpandStreams*>(param)->out.write(reinterpret_cast<const char*>(buffer),
                                                static_cast<std::streamsize>(size));
}

int Expand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (!args.empty()) return UsageError(err, "expand takes no arguments: it reads standard input");
  auto workArea = std::make_unique<unsigned char[]>(kImplodeWorkAreaSize);
  ExpandStreams streams{std::cin, out};
  const ExpandResult result = ExpandImploded(ReadInput, WriteOutput, workArea.get(), &streams);
  switch (result) {
    case ExpandResult::kOk: break;
    case ExpandResult::kBadDictionary: err << "quellso-tool: standard input: unknown dictionary size\n"; break;
    case ExpandResult::kBadLiteralMode: err << "quellso-tool: standard input: unknown literal mode\n"; break;
    case ExpandResult::kBadData: err << "quellso-tool: standard input: too short for an implode stream\n"; break;
    case ExpandResult::kAborted:
      err << "quellso-tool: standard input: the stream ends before its end code (output is partial)\n";
      break;
  }
  return static_cast<int>(result);
}

int List(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) return UsageError(err, "list takes one ARCHIVE");
  std::vector<UpzEntry> entries;
  const ArchiveResult result = ReadArchiveDirectory(args[0], entries);
  for (const UpzEntry& entry : entries)
    out << Printable(entry.name) << '\t' << entry.dataOffset << '\t' << entry.storedSize << '\n';
  if (result != ArchiveResult::kNoError) return FileError(err, "read", args[0], ArchiveReason(result, args[0]));
  return kExitSuccess;
}

// The members' file names that are already taken in `folder` (by a file of any kind), each
// once, as Printable gives them.
std::vector<std::string> TakenNames(const std::string& archive, const std::string& folder) {
  std::vector<UpzEntry> entries;
  ReadArchiveDirectory(archive, entries);  // a failure shows in the extraction
  std::vector<std::string> taken;
  std::error_code ignored;
  for (const UpzEntry& entry : entries) {
    const std::string name = MemberFileName(entry.name);
    if (name.empty()) continue;
    const std::filesystem::path path =
        folder.empty() ? std::filesystem::path(name) : std::filesystem::path(folder) / name;
    const std::string shown = Printable(name);
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ignored)) &&
        std::find(taken.begin(), taken.end(), shown) == taken.end())
      taken.push_back(shown);
  }
  return taken;
}

// "a", "a and b", "a, b and c"; beyond five names, "a, b, c, d, e and 7 more".
std::string NameList(const std::vector<std::string>& names) {
  constexpr std::size_t kShown = 5;
  std::string list;
  const std::size_t shown = std::min(names.size(), kShown);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) list += i + 1 == names.size() ? " and " : ", ";
    list += names[i];
  }
  if (names.size() > shown) list += " and " + std::to_string(names.size() - shown) + " more";
  return list;
}

int Extract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool force = false;
  std::vector<std::string> positional;
  for (const std::string& arg : args) {
    if (arg == "--force")
      force = true;
    else
      positional.push_back(arg);
  }
  if (positional.empty() || positional.size() > 2)
    return UsageError(err, "extract takes ARCHIVE, an optional FOLDER and --force");
  const std::string& archive = positional[0];
  std::string folder = positional.size() == 2 ? positional[1] : std::string();
  const std::string where = folder.empty() ? "the current folder" : folder;
  // Files of the members' names are not replaced unless asked: all of them are named before
  // anything is written, and the extraction itself never replaces one that appears meanwhile.
  if (!force) {
    if (const std::vector<std::string> taken = TakenNames(archive, folder); !taken.empty()) {
      out << ArchiveErrorText(ArchiveResult::kCantOpenDestination) << '\n';
      return FileError(err, "extract", archive,
                       where + " already holds " + NameList(taken) +
                           "; nothing was extracted (--force replaces such files)");
    }
  }
  UpzHeader expected = UpzHeader::Expected();
  const ArchiveResult result = ExtractArchive(expected, archive, folder, std::nullopt, nullptr,
                                              force ? ExistingFiles::kReplace : ExistingFiles::kKeep);
  out << ArchiveErrorText(result) << '\n';
  switch (result) {
    case ArchiveResult::kNoError: return kExitSuccess;
    case ArchiveResult::kCantOpenDestination:
      return FileError(err, "extract", archive, "a member's file cannot be created in " + where);
    case ArchiveResult::kWriteError:
      return FileError(err, "extract", archive, "a member's file cannot be written in " + where);
    default: return FileError(err, "extract", archive, ArchiveReason(result, archive));
  }
}

int ArchiveNames(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) return UsageError(err, "archive-name takes one NUMBER");
  const std::string first = BuildArchiveName(args[0], "", ArchiveVariant::kFirst).path;
  const std::string second = BuildArchiveName(args[0], "", ArchiveVariant::kSecond).path;
  out << first << '\n' << second << '\n' << ArchiveChoicePattern(second) << '\n';
  return kExitSuccess;
}

constexpr ToolCommand kCommands[] = {
    {"expand", "expand",
     "Decodes one implode stream from standard input to standard output.  The exit status\n"
     "is the decoder's result: 0 the end code was reached, 1 unknown dictionary size,\n"
     "2 unknown literal mode, 3 input of 4 bytes or fewer, 4 the input ended before the\n"
     "end code (what was decoded is written); 5 when standard output cannot be written.",
     Expand},
    {"list", "list ARCHIVE",
     "Prints the directory of the order archive ARCHIVE (.upz), one member a line: name,\n"
     "data offset and stored size, separated by tabs.  Bytes of a name outside printable\n"
     "ASCII, and the backslash, are shown as \\xHH.",
     List},
    {"extract", "extract ARCHIVE [FOLDER] [--force]",
     "Extracts every member of ARCHIVE into FOLDER (default: the current folder), which\n"
     "must exist, and prints the result: \"No Error\" (exit status 0) or what went wrong\n"
     "(exit status 1).  Members are written under the last part of their stored names,\n"
     "never outside FOLDER.  When FOLDER already holds a file of a member's name, nothing\n"
     "is extracted and the names are given, unless --force replaces such files.  An\n"
     "archive refused for its size takes back the files it created, and only those.",
     Extract},
    {"archive-name", "archive-name NUMBER",
     "Prints the archive names for the sales order number NUMBER (such as 98123456-02):\n"
     "the first-variant name, the second-variant name, and the pattern of every archive of\n"
     "the same order, one a line.",
     ArchiveNames},
};

}  // namespace

std::span<const ToolCommand> ArchiveCommands() { return kCommands; }

bool IsArchivePath(std::string_view path) {
  if (path.size() < 4) return false;
  std::string extension(path.substr(path.size() - 4));
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return extension == ".upz";
}

FileStatus LoadArchiveUnitFile(const std::string& path, ProfileDocument& document) {
  ScratchFolder folder;
  if (folder.path().empty())
    return FileStatus::Failure("cannot make a temporary folder in " + SystemTempFolder().string() + ": " +
                               folder.error());
  const UnitFileExtraction extraction = ExtractUnitFile(path, folder.path());
  if (extraction.result != ArchiveResult::kNoError) return FileStatus::Failure(ArchiveReason(extraction.result, path));
  if (!extraction.unitFile) return FileStatus::Failure("Unit Data File not present in .UPZ File");
  return LoadProfile(*extraction.unitFile, document);
}
