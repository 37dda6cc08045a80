// The history subcommands of quellso-tool: history and report.  They read the transfer
// history that the window and the panel commands append to (files/transferhistory.h) and
// write the commissioning report (files/commissioningreport.h).

#include <algorithm>
#include <charconv>
#include <ostream>

#include "files/commissioningreport.h"
#include "files/transferhistory.h"
#include "model/cp1252.h"
#include "tools/tool.h"

namespace {

constexpr std::string_view kProgram = "quellso-tool";

struct HistoryCommandLine {
  bool json = false;
  std::string serial;
  bool hasSerial = false;
  int last = 0;  // 0: all
  bool lastOne = false;  // report --last
  std::string entry;
  std::string out;
};

// Reads the options of `allowed` ("--json", "--serial", ...); an error text, or "".
std::string Parse(const std::vector<std::string>& args, std::initializer_list<std::string_view> allowed,
                  std::string_view command, HistoryCommandLine& line) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (std::find(allowed.begin(), allowed.end(), name) == allowed.end())
      return std::string(command) + (arg.starts_with("--") ? " does not take " + name : " takes no '" + arg + "'");
    const bool flag = name == "--json" || (name == "--last" && command == "report");
    if (flag) {
      if (equals != std::string::npos) return name + " takes no value";
      if (name == "--json") line.json = true;
      if (name == "--last") line.lastOne = true;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else {
      if (i + 1 == args.size()) return name + " needs a value";
      value = args[++i];
    }
    if (name == "--serial") {
      line.serial = value;
      line.hasSerial = true;
    } else if (name == "--last") {
      int n = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (error != std::errc() || end != value.data() + value.size() || n < 1)
        return "--last takes a number of entries, 1 or more, not '" + value + "'";
      line.last = n;
    } else if (name == "--entry") {
      if (value.empty()) return "--entry needs an id (quellso-tool history lists them)";
      line.entry = value;
    } else if (name == "--out") {
      if (value.empty()) return "--out needs a file name";
      line.out = value;
    }
  }
  return {};
}

// A record text of the history (bytes of code page 1252) for a line of plain output: its
// padding removed, escaped as plain output escapes values.
std::string Field(std::string_view bytes) { return PlainText(WithoutPadding(bytes)); }

// A text of the history's own (UTF-8: a port, a result) escaped the same way.
std::string PlainUtf8(std::string_view utf8) {
  if (const std::optional<std::string> bytes = Utf8ToCp1252(utf8)) return PlainText(*bytes);
  std::string out;  // a character the code page lacks: the text as it is, its controls escaped
  for (const char c : utf8) out += static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == 0x7F ? PlainText({&c, 1}) : std::string(1, c);
  return out;
}

// Reads the history; says on `err` what was skipped or could not be read.  False when a file
// could not be read.
bool ReadHistory(HistoryReading& reading, std::ostream& err) {
  const TransferHistory history;
  reading = history.Read();
  if (reading.damaged > 0)
    err << kProgram << ": skipped " << reading.damaged << " damaged line" << (reading.damaged == 1 ? "" : "s")
        << " of the history in " << history.Folder().string() << "\n";
  if (!reading.status) {
    err << kProgram << ": cannot read the history: " << reading.status.reason << "\n";
    return false;
  }
  return true;
}

std::vector<const TransferEntry*> Selected(const HistoryReading& reading, const HistoryCommandLine& line) {
  std::vector<const TransferEntry*> selected;
  for (const TransferEntry& entry : reading.entries)
    if (!line.hasSerial || HasSerialNumber(entry, line.serial)) selected.push_back(&entry);
  if (line.last > 0 && selected.size() > static_cast<std::size_t>(line.last))
    selected.erase(selected.begin(), selected.end() - line.last);
  return selected;
}

int History(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  HistoryCommandLine line;
  if (std::string error = Parse(args, {"--json", "--serial", "--last"}, "history", line); !error.empty())
    return UsageError(err, error);
  HistoryReading reading;
  const bool read = ReadHistory(reading, err);
  if (read && reading.entries.empty())
    err << kProgram << ": no transfer is recorded in " << TransferHistory().FilePath().string() << "\n";
  for (const TransferEntry* entry : Selected(reading, line)) {
    if (line.json) {
      out << EncodeTransferLine(*entry) << '\n';
      continue;
    }
    out << PlainUtf8(entry->id) << '\t' << PlainUtf8(LocalTimeText(entry->time)) << '\t'
        << PlainUtf8(entry->operation) << '\t' << PlainUtf8(entry->result) << '\t' << Field(entry->Shown(6)) << '\t'
        << Field(entry->Shown(7)) << '\t' << Field(entry->Shown(2)) << '\t' << PlainUtf8(entry->port) << '\n';
  }
  return read ? kExitSuccess : kExitFileError;
}

int Report(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  HistoryCommandLine line;
  if (std::string error = Parse(args, {"--entry", "--last", "--serial", "--out"}, "report", line); !error.empty())
    return UsageError(err, error);
  if (line.entry.empty() == !line.lastOne) return UsageError(err, "report takes --entry ID or --last");
  if (line.hasSerial && !line.lastOne) return UsageError(err, "--serial goes with --last");
  if (line.out.empty()) return UsageError(err, "report needs --out FILE.pdf");
  HistoryReading reading;
  if (!ReadHistory(reading, err)) return kExitFileError;
  const TransferEntry* entry = nullptr;
  if (line.lastOne) {
    line.last = 1;
    const std::vector<const TransferEntry*> selected = Selected(reading, line);
    if (selected.empty()) {
      err << kProgram << ": no transfer"
          << (line.hasSerial ? " of a panel or chiller with serial number " + line.serial : std::string())
          << " is recorded in " << TransferHistory().FilePath().string() << "\n";
      return kExitFileError;
    }
    entry = selected.back();
  } else {
    bool ambiguous = false;
    entry = FindTransfer(reading.entries, line.entry, &ambiguous);
    if (entry == nullptr) {
      err << kProgram << ": "
          << (ambiguous ? "more than one entry of the history starts with " + line.entry + "; give more of the id"
                        : "no entry " + line.entry + " in the history")
          << " (quellso-tool history lists them)\n";
      return kExitFileError;
    }
  }
  if (const FileStatus status = WriteCommissioningReport(*entry, line.out); !status)
    return FileError(err, "write", line.out, status.reason);
  err << kProgram << ": wrote the report of entry " << entry->id << " (" << OperationName(entry->operation) << ", "
      << LocalTimeText(entry->time) << ") to " << line.out << "\n";
  return kExitSuccess;
}

constexpr ToolCommand kCommands[] = {
    {"history", "history [--json] [--serial TEXT] [--last N]",
     "Lists the panel transfers recorded in the history ($XDG_STATE_HOME/quellso/\n"
     "transfers.jsonl, by default ~/.local/state/quellso/), oldest first, one line each:\n"
     "id<TAB>time<TAB>operation<TAB>result<TAB>panel serial<TAB>chiller serial<TAB>\n"
     "job name<TAB>port, the values as left in the panel.  --json prints the entries as\n"
     "the history stores them, one JSON object a line.  --serial keeps the entries of a\n"
     "panel or chiller serial number; --last N the N newest.",
     History},
    {"report", "report (--entry ID | --last [--serial TEXT]) --out FILE.pdf",
     "Writes the commissioning report of a transfer of the history as a PDF: the unit's\n"
     "identity, the 41 values as left in the panel beside the values found before, the\n"
     "read-back result, who, when and where, and the SHA-256 of the values.  ID is an id\n"
     "that history prints (or its start); --last takes the newest entry (of that serial\n"
     "number, with --serial).",
     Report},
};

}  // namespace

std::span<const ToolCommand> HistoryCommands() { return kCommands; }
