// The panel subcommands of quellso-tool: panel lengths, get, send and verify.  They reach the
// panel as the main window does: the same serial port, link and transfers (pacing, blank
// date, frame check, counting), with the port and the unit system from the settings file
// unless the command line names them.  Progress goes to standard error, results to
// standard output; texts on both and on the command line are UTF-8, turned into and out of
// the panel's Windows code page 1252.

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>

#include "files/datafile.h"
#include "files/profile.h"
#include "files/salesorder.h"
#include "files/transferhistory.h"
#include "model/cp1252.h"
#include "model/unitdatarecord.h"
#include "panel/transfers.h"
#include "settings/portmap.h"
#include "settings/settingsstore.h"
#include "tools/panelsession.h"
#include "tools/tool.h"

namespace {

constexpr std::string_view kProgram = "quellso-tool";

// The panel's event loop needs an application object; the tool's main() has none.
class CoreApplication {
 public:
  CoreApplication() {
    if (QCoreApplication::instance() == nullptr) app_ = std::make_unique<QCoreApplication>(argc_, argv_);
  }

 private:
  static inline int argc_ = 1;
  static inline char name_[] = "quellso-tool";
  static inline char* argv_[] = {name_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};

// ---- the command line ----

enum Allowed : unsigned {
  kPortOption = 1u << 0,
  kUnitsOption = 1u << 1,
  kOutOption = 1u << 2,
  kJsonOption = 1u << 3,
  kSetOption = 1u << 4,
  kNoVerifyOption = 1u << 5,
  kInput = 1u << 6,  // --order NUMBER, or a data file or order archive
};

struct Setting {
  int slot = 0;
  std::string bytes;  // in code page 1252
};

struct PanelCommandLine {
  std::string port;            // empty: the settings file's
  std::optional<bool> metric;  // none: the settings file's unit system
  std::string out;             // get --out
  bool json = false;
  bool verify = true;
  std::vector<Setting> sets;
  std::string order;      // --order
  bool anyLine = false;   // --any-line: --order may take an archive of another line of the order
  std::string input;      // FILE.dat or FILE.upz
};

std::string Lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// --set MEMBER=VALUE: MEMBER a member the panel holds, by the name show prints (any letter
// case); VALUE in UTF-8, of characters the code page holds, within the member's capacity.
std::string ParseSetting(std::string_view text, Setting& setting) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return "--set needs MEMBER=VALUE, not '" + std::string(text) + "'";
  const std::string name(text.substr(0, equals));
  const auto info = std::find_if(kUnitMembers.begin(), kUnitMembers.end(),
                                 [&](const UnitMemberInfo& i) { return Lowered(i.name) == Lowered(name); });
  if (info == kUnitMembers.end())
    return "--set " + name + ": no such member (the names are those quellso-tool show prints, such as JobName)";
  if (info->slot == 0) return "--set " + name + ": " + info->name + " is not one of the 41 values the panel holds";
  std::size_t offset = 0;
  const std::optional<std::string> bytes = Utf8ToCp1252(text.substr(equals + 1), &offset);
  if (!bytes)
    return "--set " + std::string(info->name) + ": the value holds a character that panels and data files cannot " +
           "hold (they hold the characters of Windows code page 1252, Western European), at byte " +
           std::to_string(offset + 1) + " of the value";
  for (std::size_t i = 0; i < bytes->size(); ++i) {
    if (const char32_t c = Cp1252ToCodePoint(static_cast<unsigned char>((*bytes)[i])); IsControlCharacter(c))
      return "--set " + std::string(info->name) + ": the value holds the control character " +
             PlainText(bytes->substr(i, 1)) + " (character " + std::to_string(i + 1) +
             "); a panel's values are printable text on one line";
  }
  if (bytes->size() > info->capacity)
    return "--set " + std::string(info->name) + ": the value has " + std::to_string(bytes->size()) +
           " characters; the record holds " + std::to_string(info->capacity);
  if (info->member == UnitMember::CommissionDate && !IsBlankDate(*bytes) && !IsWellFormedDate(*bytes))
    return "--set CommissionDate: '" + std::string(text.substr(equals + 1)) +
           "' is not a date such as 03 FEB 2003 (a blank date leaves the panel's date as it is)";
  setting.slot = info->slot;
  setting.bytes = *bytes;
  return {};
}

// Reads the arguments after the command's name; an error text for the user, or "".
std::string ParseCommandLine(const std::vector<std::string>& args, unsigned allowed, std::string_view command,
                             PanelCommandLine& line) {
  struct Option {
    std::string_view name;
    unsigned bit;
    bool value;
  };
  static constexpr Option kOptions[] = {
      {"--port", kPortOption, true},  {"--units", kUnitsOption, true}, {"--out", kOutOption, true},
      {"--json", kJsonOption, false}, {"--set", kSetOption, true},     {"--no-verify", kNoVerifyOption, false},
      {"--order", kInput, true},    {"--any-line", kInput, false},
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.starts_with("--")) {
      if ((allowed & kInput) == 0) return std::string(command) + " takes no FILE ('" + arg + "')";
      if (!line.input.empty() || !line.order.empty())
        return std::string(command) + " takes one input: --order NUMBER or one FILE";
      if (arg.empty()) return std::string(command) + " was given an empty FILE name";
      line.input = arg;
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const auto option =
        std::find_if(std::begin(kOptions), std::end(kOptions), [&](const Option& o) { return o.name == name; });
    if (option == std::end(kOptions) || (allowed & option->bit) == 0)
      return std::string(command) + " does not take " + name;
    std::string value;
    if (!option->value) {
      if (equals != std::string::npos) return name + " takes no value";
    } else if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else {
      if (i + 1 == args.size()) return name + " needs a value";
      value = args[++i];
    }
    if (option->value && value.empty() && name != "--set") return name + " needs a value";
    if (name == "--port") {
      line.port = value;
    } else if (name == "--units") {
      const std::string units = Lowered(value);
      if (units != "english" && units != "metric") return "--units takes english or metric, not '" + value + "'";
      line.metric = units == "metric";
    } else if (name == "--out") {
      line.out = value;
    } else if (name == "--json") {
      line.json = true;
    } else if (name == "--no-verify") {
      line.verify = false;
    } else if (name == "--set") {
      Setting setting;
      if (std::string error = ParseSetting(value, setting); !error.empty()) return error;
      line.sets.push_back(std::move(setting));
    } else if (name == "--order") {
      if (!line.input.empty() || !line.order.empty())
        return std::string(command) + " takes one input: --order NUMBER or one FILE";
      if (!IsSalesOrderNumber(value))
        return "--order takes a sales order number of eight digits, a dash and two digits, such as 98123456-02, "
               "not '" + value + "'";
      line.order = value;
    } else if (name == "--any-line") {
      line.anyLine = true;
    }
  }
  if (line.anyLine && line.order.empty()) return "--any-line goes with --order NUMBER";
  return {};
}

// ---- the panel's answers ----

std::string Quoted(std::string_view bytes) { return "\"" + PlainText(bytes) + "\""; }

// "3, 9, 19 to 41": ascending slots, runs of three or more as ranges.
std::string SlotList(const std::vector<int>& numbers) {
  std::string list;
  for (std::size_t i = 0; i < numbers.size();) {
    std::size_t end = i + 1;
    while (end < numbers.size() && numbers[end] == numbers[end - 1] + 1) ++end;
    if (!list.empty()) list += ", ";
    if (end - i >= 3) {
      list += std::to_string(numbers[i]) + " to " + std::to_string(numbers[end - 1]);
    } else {
      list += std::to_string(numbers[i]);
      end = i + 1;
    }
    i = end;
  }
  return list;
}

// True when the transfer got every reply; otherwise says on `err` what went wrong, and
// `what` names the requests ("length requests", "values written").
bool Complete(const TPanelSession::Result& result, const TPanelSession& session, std::string_view what,
              std::string_view after, std::ostream& err) {
  const std::string port = session.PortName().toStdString();
  switch (result.end) {
    case TPanelSession::End::Complete:
      return true;
    case TPanelSession::End::Rejected:
      err << kProgram << ": the panel on " << port << " refused a write: " << SlotName(result.rejectedSlot) << ": "
          << WriteStatusDescription(result.rejectedStatus) << after << "\n";
      return false;
    case TPanelSession::End::TimedOut:
      if (result.answered <= 0) {
        err << kProgram << ": Communications Timeout Error: no reply from the panel on " << port
            << " within a second of the last frame (" << what << ")" << after << "\n";
      } else {
        err << kProgram << ": the panel on " << port << " answered " << result.answered << " of the " << result.expected
            << " " << what << ", then nothing for a second";
        if (!result.silent.empty())
          err << " (no reply for slot" << (result.silent.size() > 1 ? "s " : " ") << SlotList(result.silent) << ")";
        err << after << "\n";
      }
      return false;
  }
  return false;
}

// ---- output ----

// A JSON string of the record text's characters: valid UTF-8, control characters escaped.
std::string JsonString(std::string_view bytes) { return JsonQuoted(Cp1252ToUtf8(bytes)); }

void PrintJson(std::ostream& out, const UnitDataRecord& record) {
  out << "{";
  const char* separator = "\n";
  for (const UnitMemberInfo& info : kUnitMembers) {
    out << separator << "  \"" << info.name << "\": " << JsonString(record.Text(info.member));
    separator = ",\n";
  }
  out << "\n}\n";
}

// One value of a slot as sent or expected: the date as its text, every other slot set in
// the panel's length.
struct SlotValue {
  int slot;
  std::string text;
};

// What Send Data writes from the record: the slots from FirstWrittenSlot on.
std::vector<SlotValue> ValuesToWrite(const TPanelLink& link) {
  const UnitDataRecord& record = link.Record();
  std::vector<SlotValue> values;
  for (int slot = FirstWrittenSlot(record); slot <= kLastSlot; ++slot)
    values.push_back({slot, slot == kFirstSlot ? std::string(record.CommissionDate())
                                               : TextInWidth(record.SlotText(slot), link.FieldLength(slot))});
  return values;
}

// Whether the panel's text of a slot stands for `value`: the date by the packed date the two
// texts give (the panel answers with its own spelling of the date), the others byte for byte.
bool Same(const SlotValue& value, const std::optional<std::string>& panel) {
  if (!panel) return false;
  if (value.slot != kFirstSlot) return *panel == value.text;
  UnitDataRecord a{}, b{};
  a.SetCommissionDate(value.text);
  b.SetCommissionDate(*panel);
  return a.PackedCommissionDateBytes() == b.PackedCommissionDateBytes();
}

void PrintSlotLine(std::ostream& out, int slot, std::string_view first, std::string_view second) {
  out << slot << '\t' << SlotDescription(slot) << '\t' << PlainText(first) << '\t' << PlainText(second) << '\n';
}

// ---- the steps every command takes ----

// The port and unit system of the settings file, where the command line names none.
struct PanelSetup {
  QString port;
  std::uint8_t unit = kEnglishUnits;
  std::string archiveFolder;  // as a path's bytes
};

PanelSetup Setup(const PanelCommandLine& line) {
  UseSettingsFilePorts();  // COM1..COM4 find their devices as the program finds them
  const TStoredPreferences stored = StoredPreferences();
  PanelSetup setup;
  setup.port = line.port.empty() ? stored.comPort : QString::fromLocal8Bit(line.port);
  setup.unit = line.metric.value_or(stored.metric) ? kMetricUnits : kEnglishUnits;
  setup.archiveFolder = QFile::encodeName(stored.upzPath).toStdString();
  return setup;
}

// The input of send and verify: the data file, the order archive, or the archive of the sales
// order number; nothing when the command line gives none.  False (and a message) when it
// cannot be read.
bool LoadInput(const PanelCommandLine& line, const PanelSetup& setup, std::optional<ProfileDocument>& input,
               std::ostream& err) {
  std::string path = line.input;
  if (!line.order.empty()) {
    const OrderArchiveSearch search = FindOrderArchive(line.order, setup.archiveFolder);
    if (search.found.size() != 1 || (search.otherLines && !line.anyLine)) {
      err << kProgram << ": no single order archive for " << line.order << " in "
          << (setup.archiveFolder.empty() ? std::string("the current folder (no archive folder is set in Preferences)")
                                          : "the archive folder " + setup.archiveFolder)
          << ": tried ";
      for (std::size_t i = 0; i < search.tried.size(); ++i)
        err << (i == 0 ? "" : i + 1 == search.tried.size() ? " and " : ", ") << search.tried[i];
      if (search.found.empty()) {
        err << "; none exists\n";
      } else if (search.found.size() == 1) {
        err << "; 1 match, of another line of the order: " << search.found.front().string()
            << "; --any-line takes it, or name it as FILE\n";
      } else {
        err << "; " << search.found.size() << " match:";
        for (const auto& found : search.found) err << " " << found.string();
        err << "; name the one to use as FILE\n";
      }
      return false;
    }
    path = search.found.front().string();
    err << kProgram << ": order " << line.order << " is " << path
        << (search.otherLines ? " (another line of the order, taken for --any-line)" : "") << "\n";
  }
  if (path.empty()) return true;
  input.emplace();
  if (const FileStatus status = LoadUnitData(path, *input); !status) {
    FileError(err, "read", path, status.reason);
    return false;
  }
  return true;
}

bool OpenPort(TPanelSession& session, const PanelSetup& setup, std::ostream& err) {
  std::string reason;
  if (session.Open(setup.port, reason)) return true;
  err << kProgram << ": Could not open " << setup.port.toStdString() << "." << (reason.empty() ? "" : " " + reason)
      << "\n";
  return false;
}

const char* UnitName(std::uint8_t unit) { return unit == kMetricUnits ? "Metric" : "English"; }

// The lengths, then the values, then the input laid over them as Open Data File lays a file
// over the window, then each --set: the record as send writes it and verify expects it.
// False (and a message) when the panel did not answer every request.
bool ReadAndOverlay(TPanelSession& session, const PanelCommandLine& line, const PanelSetup& setup,
                    const std::optional<ProfileDocument>& input, std::string_view after, std::ostream& err) {
  const std::string port = session.PortName().toStdString();
  err << kProgram << ": asking the panel on " << port << " for its field lengths\n";
  if (!Complete(session.QueryLengths(), session, "length requests", after, err)) return false;
  err << kProgram << ": reading the panel's values (" << UnitName(setup.unit) << ")\n";
  if (!Complete(session.ReadValues(setup.unit), session, "value requests", after, err)) return false;
  UnitDataRecord& record = session.Record();
  if (input) ReadDataFile(record, *input);
  for (const Setting& setting : line.sets) record.SetSlot(setting.slot, setting.bytes);
  return true;
}

// ---- the commands ----

// What a command has to work with once the panel can be asked.
struct PanelContext {
  const PanelCommandLine& line;
  const PanelSetup& setup;
  const std::optional<ProfileDocument>& input;  // send and verify
  TPanelSession& session;
  std::ostream& out;
  std::ostream& err;
};

// What every panel command does first: reads its command line (the options of `allowed`),
// takes the port and the unit system, reads the input and opens the port.  Then `body`
// talks to the panel.  Returns the exit status.
int RunPanelCommand(const std::vector<std::string>& args, unsigned allowed, std::string_view name, std::ostream& out,
                    std::ostream& err, const std::function<int(const PanelContext&)>& body) {
  PanelCommandLine line;
  if (std::string error = ParseCommandLine(args, allowed, name, line); !error.empty()) return UsageError(err, error);
  const CoreApplication app;
  const PanelSetup setup = Setup(line);
  std::optional<ProfileDocument> input;
  if (!LoadInput(line, setup, input, err)) return kExitCannotOpen;
  TPanelSession session;
  if (!OpenPort(session, setup, err)) return kExitCannotOpen;
  return body(PanelContext{line, setup, input, session, out, err});
}

int Lengths(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunPanelCommand(args, kPortOption, "panel lengths", out, err, [](const PanelContext& c) {
    c.err << kProgram << ": asking the panel on " << c.session.PortName().toStdString() << " for its field lengths\n";
    if (!Complete(c.session.QueryLengths(), c.session, "length requests", "", c.err)) return kExitPanelFailed;
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
      c.out << slot << '\t' << SlotDescription(slot) << '\t' << int{c.session.Link().FieldLength(slot)} << '\n';
    return kExitSuccess;
  });
}

int Get(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const unsigned allowed = kPortOption | kUnitsOption | kOutOption | kJsonOption;
  return RunPanelCommand(args, allowed, "panel get", out, err, [](const PanelContext& c) {
    c.err << kProgram << ": reading the values of the panel on " << c.session.PortName().toStdString() << " ("
          << UnitName(c.setup.unit) << ")\n";
    if (!Complete(c.session.ReadValues(c.setup.unit), c.session, "value requests", "", c.err)) return kExitPanelFailed;
    if (c.line.json)
      PrintJson(c.out, c.session.Record());
    else
      PrintRecord(c.out, c.session.Record(), false);
    if (!c.line.out.empty()) {
      if (const FileStatus status = WriteDataFile(c.session.Record(), c.line.out); !status) {
        FileError(c.err, "write", c.line.out, status.reason);
        return kExitCannotOpen;
      }
    }
    return kExitSuccess;
  });
}

int Send(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const unsigned allowed = kPortOption | kUnitsOption | kSetOption | kNoVerifyOption | kInput;
  return RunPanelCommand(args, allowed, "panel send", out, err, [](const PanelContext& c) {
    if (!ReadAndOverlay(c.session, c.line, c.setup, c.input, "; nothing was written", c.err)) return kExitPanelFailed;
    TPanelLink& link = c.session.Link();
    if (const int slot = FirstUnframableSlot(link); slot != 0) {
      c.err << kProgram << ": " << UnframableSlotText(slot) << " Nothing was written.\n";
      return kExitPanelFailed;
    }
    const std::vector<SlotValue> values = ValuesToWrite(link);
    std::vector<std::optional<std::string>> before;
    for (const SlotValue& value : values) before.push_back(c.session.Text(value.slot));

    c.err << kProgram << ": writing " << values.size() << " values to the panel\n";
    if (!Complete(c.session.WriteValues(c.setup.unit), c.session, "values written", "", c.err)) return kExitPanelFailed;
    for (std::size_t i = 0; i < values.size(); ++i)
      if (!Same(values[i], before[i])) PrintSlotLine(c.out, values[i].slot, before[i].value_or(""), values[i].text);
    if (!c.line.verify) return kExitSuccess;

    c.err << kProgram << ": reading the values back\n";
    if (!Complete(c.session.ReadValues(c.setup.unit), c.session, "value requests", " (reading the values back)", c.err))
      return kExitPanelFailed;
    int differences = 0;
    for (const SlotValue& value : values) {
      const std::optional<std::string>& read = c.session.Text(value.slot);
      if (Same(value, read)) continue;
      ++differences;
      c.err << kProgram << ": " << SlotName(value.slot) << " reads back as " << (read ? Quoted(*read) : "no text")
            << " after " << Quoted(value.text) << " was written\n";
    }
    return differences == 0 ? kExitSuccess : kExitPanelFailed;
  });
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const unsigned allowed = kPortOption | kUnitsOption | kSetOption | kInput;
  return RunPanelCommand(args, allowed, "panel verify", out, err, [](const PanelContext& c) {
    if (!ReadAndOverlay(c.session, c.line, c.setup, c.input, "", c.err)) return kExitPanelFailed;
    int differences = 0;
    for (const SlotValue& value : ValuesToWrite(c.session.Link())) {
      const std::optional<std::string>& panel = c.session.Text(value.slot);
      if (Same(value, panel)) continue;
      ++differences;
      PrintSlotLine(c.out, value.slot, panel.value_or(""), value.text);
    }
    if (differences != 0) c.err << kProgram << ": " << differences << " of the panel's values differ\n";
    return differences == 0 ? kExitSuccess : kExitPanelFailed;
  });
}

constexpr ToolCommand kCommands[] = {
    {"panel lengths", "panel lengths [--port PORT]",
     "Asks the panel for the length of each of its 41 values and prints them, one\n"
     "slot<TAB>description<TAB>length line each.  PORT is COM1..COM4 or a device path,\n"
     "found as the program finds it; the default is the port in the settings file.",
     Lengths},
    {"panel get", "panel get [--port PORT] [--units english|metric] [--out FILE.dat] [--json]",
     "Reads the panel's 41 values as Get Data does (the unit system of --units, default the\n"
     "settings file's) and prints every record member as show prints it (control characters\n"
     "escaped), or one JSON object of them with --json; --out also writes them into the data\n"
     "file FILE.dat.",
     Get},
    {"panel send",
     "panel send [--port PORT] [--units english|metric] [--set MEMBER=VALUE]... [--no-verify] "
     "[--order NUMBER [--any-line] | FILE.dat | FILE.upz]",
     "Programs the panel.  Asks its lengths (all 41 must answer, else nothing is written)\n"
     "and reads its values; lays the input over them as Open Data File does (a data file,\n"
     "an order archive, or with --order the archive of that sales order number, such as\n"
     "98123456-02, in the archive folder of the settings file; an archive of another line\n"
     "of the order only with --any-line), applies each --set (MEMBER as show names it,\n"
     "VALUE in UTF-8, printable), and writes the 41 values as Send Data does (a blank date\n"
     "is not written).  Prints slot<TAB>description<TAB>old<TAB>new for each value it\n"
     "changed, then reads the values back and compares them with what was written,\n"
     "unless --no-verify.",
     Send},
    {"panel verify",
     "panel verify [--port PORT] [--units english|metric] [--set MEMBER=VALUE]... "
     "[--order NUMBER [--any-line] | FILE.dat | FILE.upz]",
     "Does what send does short of writing: prints slot<TAB>description<TAB>panel<TAB>input\n"
     "for each value of the panel that differs from what send would write, and exits with\n"
     "status 1 when any does.",
     Verify},
};

}  // namespace

std::span<const ToolCommand> PanelCommands() { return kCommands; }
