// The panel subcommands of quellso-tool: panel lengths, get, send and verify.  They reach the
// panel as the main window does: the same serial port, link and transfers (pacing, blank
// date, frame check, counting), with the port and the unit system from the settings file
// unless the command line names them.  Progress goes to standard error, results to
// standard output; texts on both and on the command line are UTF-8, turned into and out of
// the panel's Windows code page 1252.

#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <iostream>
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
#include "panel/sendcheck.h"
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
  kRetriesOption = 1u << 7,
  kQuietOption = 1u << 8,
  kAllowCutOption = 1u << 9,
  kNoRecordOption = 1u << 10,
  kBlankMissingOption = 1u << 11,
  kEntryOption = 1u << 12,
};
// What every panel command takes.
constexpr unsigned kCommonOptions = kPortOption | kRetriesOption | kQuietOption;

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
  int retries = 2;        // --retries: times a transfer asks again for its missing slots
  bool quiet = false;     // --quiet: no progress and no step lines on standard error
  bool allowCut = false;  // --allow-cut: values longer than the panel's length are cut
  bool record = true;     // --no-record: the transfer history is left alone
  bool blankMissing = false;  // --blank-missing: members the file lacks are written blank
  std::string entry;      // restore --entry ID
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
      {"--retries", kRetriesOption, true}, {"--quiet", kQuietOption, false},
      {"--allow-cut", kAllowCutOption, false}, {"--no-record", kNoRecordOption, false},
      {"--blank-missing", kBlankMissingOption, false}, {"--entry", kEntryOption, true},
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
    } else if (name == "--retries") {
      if (value.size() > 2 || value.find_first_not_of("0123456789") != std::string::npos)
        return "--retries takes a number from 0 to 99, not '" + value + "'";
      line.retries = std::stoi(value);
    } else if (name == "--quiet") {
      line.quiet = true;
    } else if (name == "--allow-cut") {
      line.allowCut = true;
    } else if (name == "--no-record") {
      line.record = false;
    } else if (name == "--blank-missing") {
      line.blankMissing = true;
    } else if (name == "--entry") {
      line.entry = value;
    }
  }
  if (line.anyLine && line.order.empty()) return "--any-line goes with --order NUMBER";
  if ((allowed & kEntryOption) != 0 && line.entry.empty())
    return std::string(command) + " needs --entry ID (quellso-tool history lists them)";
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

// "JobName, Tons": the members of the slots, by the names show prints.
std::string MemberList(const std::vector<int>& numbers) {
  std::string list;
  for (const int slot : numbers) {
    if (!list.empty()) list += ", ";
    list += MemberInfo(*SlotMember(slot)).name;
  }
  return list.empty() ? "none" : list;
}

// True when the transfer got every reply; otherwise says on `err` what went wrong, and
// `what` names the requests ("length requests", "values written").
bool Complete(const TPanelSession::Result& result, const TPanelSession& session, std::string_view what,
              std::string_view after, std::ostream& err) {
  const std::string port = session.PortName().toStdString();
  switch (result.end) {
    case TPanelSession::End::Complete:
      return true;
    case TPanelSession::End::Interrupted:
      return false;  // the command says what was done
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
        if (session.Retries() > 0) err << ", also when asked again";
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

// The text of a slot as a write request carries it: the date as its text, every other slot
// set in the panel's length.
std::string WrittenText(const TPanelLink& link, int slot) {
  const UnitDataRecord& record = link.Record();
  return slot == kFirstSlot ? std::string(record.CommissionDate())
                            : TextInWidth(record.SlotText(slot), link.FieldLength(slot));
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
               std::string& inputName, std::ostream& err) {
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
  inputName = path;
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

// The members of the record's slots that a data file carries a key for.
TSlotSet CarriedSlots(const ProfileDocument& file) {
  std::vector<ProfileKey> wanted;
  for (const DataFileKey& key : kDataFileKeys) wanted.push_back({key.section, key.key});
  const std::vector<std::optional<std::string_view>> found = file.FindAll(wanted);
  TSlotSet carried;
  const auto carry = [&](UnitMember member) {
    if (const int slot = MemberInfo(member).slot; slot >= kFirstSlot) carried.set(static_cast<std::size_t>(slot));
  };
  bool starter = false, motorType = false;
  for (std::size_t i = 0; i < kDataFileKeys.size(); ++i) {
    const DataFileKey& key = kDataFileKeys[i];
    if (!found[i]) continue;
    switch (key.kind) {
      case DataFileKey::Kind::Plain:
        carry(key.first);
        starter = starter || key.first == UnitMember::Starter;
        motorType = motorType || key.first == UnitMember::MotorType;
        break;
      case DataFileKey::Kind::Nozzle:
        carry(key.first);
        carry(key.second);
        break;
      case DataFileKey::Kind::Power:
        carry(UnitMember::Power);
        carry(UnitMember::Phases);
        carry(UnitMember::Frequency);
        break;
      case DataFileKey::Kind::WriteOnly:
        break;
    }
  }
  if (starter && !motorType) carry(UnitMember::MotorType);  // derived from the starter
  return carried;
}

// What a command has to work with once the panel can be asked.
struct PanelContext {
  const PanelCommandLine& line;
  const PanelSetup& setup;
  const std::optional<ProfileDocument>& input;  // send and verify
  const std::string& inputName;
  TPanelSession& session;
  std::ostream& out;
  std::ostream& err;

  void Say(const std::string& text) const {
    if (!line.quiet) err << kProgram << ": " << text << "\n";
  }
  TransferPort Port() const { return {setup.port.toStdString(), session.PortName().toStdString()}; }
  const char* Units() const { return setup.unit == kMetricUnits ? "metric" : "english"; }
};

// The exit status of a command stopped by a signal: 128 and the signal's number.
int StoppedStatus() { return 128 + TransferStopRequested(); }

const char* SignalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

// The lengths and the as-found values (into `found`, and into the session's record), with
// `after` ending any failure message.  False (and a message) when the panel did not answer
// every request or a stop was requested.
bool ReadLengthsAndValues(const PanelContext& c, TSlotValues& found, std::string_view after) {
  c.Say("asking the panel on " + c.session.PortName().toStdString() + " for its field lengths");
  if (!Complete(c.session.QueryLengths(), c.session, "length requests", after, c.err)) return false;
  c.Say(std::string("reading the panel's values (") + UnitName(c.setup.unit) + ")");
  if (!Complete(c.session.ReadValues(c.setup.unit, found), c.session, "value requests", after, c.err)) return false;
  UnitDataRecord& record = c.session.Record();
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
    if (found[slot]) record.SetSlot(slot, *found[slot]);
  return true;
}

// Lays the input over the panel's values in the session's record, then each --set.  Members
// the file carries no key for keep the panel's values (and are named), unless --blank-missing.
void Overlay(const PanelContext& c) {
  UnitDataRecord& record = c.session.Record();
  if (c.input) {
    const UnitDataRecord panel = record;
    ReadDataFile(record, *c.input);  // as Open Data File does: what the file lacks is blank
    if (!c.line.blankMissing) {
      const TSlotSet carried = CarriedSlots(*c.input);
      std::vector<int> kept;
      for (int slot = kFirstSlot + 1; slot <= kLastSlot; ++slot) {
        if (carried.test(static_cast<std::size_t>(slot))) continue;
        record.SetSlot(slot, panel.SlotText(slot));
        if (MemberInfo(*SlotMember(slot)).slot == slot && slot != 6 && slot != 7) kept.push_back(slot);
      }
      if (!kept.empty())
        c.err << kProgram << ": " << c.inputName << " carries no value for " << MemberList(kept)
              << "; the panel's values are kept (--blank-missing writes them blank)\n";
    }
  }
  for (const Setting& setting : c.line.sets) record.SetSlot(setting.slot, setting.bytes);
}

// Says what a write that did not end well left in the panel: written, refused, sent without
// a reply, not sent.
void SayWhatWasWritten(const PanelContext& c, const TPanelSession::Result& result) {
  const TSlotSet written = result.answeredSlots;
  const TSlotSet refused = result.refused & ~written;
  const TSlotSet unanswered = result.sent & ~written & ~refused;
  const TSlotSet unwritten = result.asked & ~written & ~unanswered;
  c.err << kProgram << ": written: " << MemberList(SlotNumbers(written)) << "\n";
  if (refused.any()) c.err << kProgram << ": refused: " << MemberList(SlotNumbers(refused)) << "\n";
  if (unanswered.any())
    c.err << kProgram << ": sent, no reply (may or may not be written): " << MemberList(SlotNumbers(unanswered))
          << "\n";
  c.err << kProgram << ": not written: " << MemberList(SlotNumbers(unwritten)) << "\n";
}

// Records `recorder`'s entry with `result`; a failure is said, not fatal.
void FinishRecord(const PanelContext& c, std::optional<TransferRecorder>& recorder, std::string_view result) {
  if (!recorder) return;
  if (const FileStatus status = recorder->Finish(result); !status)
    c.err << kProgram << ": warning: this transfer could not be recorded in " << TransferHistory().FilePath().string()
          << ": " << status.reason << "\n";
}

// Send and restore: the session's record (the panel's values with the input laid over them)
// checked against the panel's lengths, recorded, written and read back.
int WriteAndCheck(const PanelContext& c, const TSlotValues& found, std::string_view operation,
                  const std::string& restoredFrom) {
  TPanelLink& link = c.session.Link();
  UnitDataRecord& record = link.Record();
  const TSlotSet asked = WrittenSlots(record);
  if (const int slot = FirstUnframableSlot(link); slot != 0) {
    c.err << kProgram << ": " << UnframableSlotText(slot) << " Nothing was written.\n";
    return kExitPanelFailed;
  }
  // Values longer than the panel keeps are refused before anything is written.
  const TSendPlan plan = PlanSend(record, found, link, asked);
  if (!plan.cut.empty() && !c.line.allowCut) {
    for (const int slot : plan.cut)
      c.err << kProgram << ": " << MemberInfo(*SlotMember(slot)).name << ": the value has "
            << Unpadded(record.SlotText(slot)).size() << " characters; the panel holds " << int{link.FieldLength(slot)}
            << " in " << SlotName(slot) << "\n";
    c.err << kProgram << ": nothing was written: shorten the value" << (plan.cut.size() > 1 ? "s" : "")
          << ", or give --allow-cut to let the panel cut them\n";
    return kExitUsage;
  }
  for (const int slot : plan.emptied)
    c.err << kProgram << ": warning: the panel keeps no text for " << MemberInfo(*SlotMember(slot)).name
          << " (its length is 0): it is written empty\n";
  if (plan.allEmpty) c.err << kProgram << ": warning: every value to write is empty\n";

  std::optional<TransferRecorder> recorder;
  if (c.line.record) {
    recorder.emplace(TransferHistory(), operation, transfer::kFromTool, c.Port(), c.Units());
    recorder->Entry().restoredFrom = restoredFrom;
    recorder->Entry().found = SlotValues::FromSlots(found);
    if (const FileStatus status = recorder->RecordBeforeWriting(); !status) {
      c.err << kProgram << ": the panel's values could not be recorded in " << TransferHistory().FilePath().string()
            << " (" << status.reason << "); nothing was written.  Free the disk, or give --no-record to write "
            << "without a record\n";
      return kExitFileError;
    }
    SlotValues written;
    for (const int slot : SlotNumbers(asked)) written.Set(slot, WrittenText(link, slot));
    recorder->Entry().written = written;
  }

  c.Say("writing " + std::to_string(asked.count()) + " values to the panel");
  const TPanelSession::Result wrote = c.session.WriteValues(c.setup.unit, asked);
  if (wrote.end != TPanelSession::End::Complete) {
    if (wrote.end == TPanelSession::End::Interrupted)
      c.err << kProgram << ": stopped by " << SignalName(TransferStopRequested()) << " while writing\n";
    else
      Complete(wrote, c.session, "values written", "", c.err);
    SayWhatWasWritten(c, wrote);
    if (recorder) recorder->Entry().missing = SlotNumbers(asked & ~wrote.answeredSlots);
    FinishRecord(c, recorder,
                 wrote.end == TPanelSession::End::Interrupted ? transfer::kInterrupted
                 : wrote.end == TPanelSession::End::Rejected  ? transfer::kRejected
                 : wrote.answered == 0                        ? transfer::kTimeout
                                                              : transfer::kPartial);
    return wrote.end == TPanelSession::End::Interrupted ? StoppedStatus() : kExitPanelFailed;
  }

  if (!c.line.verify) {
    FinishRecord(c, recorder, transfer::kOk);
    for (const TSlotChange& change : plan.changes)
      PrintSlotLine(c.out, change.slot, change.now.value_or(""), WrittenText(link, change.slot));
    return kExitSuccess;
  }
  c.Say("reading the values back");
  TSlotValues readBack;
  const TPanelSession::Result read = c.session.ReadValues(c.setup.unit, readBack, asked);
  std::vector<TSlotCheck> checks = CompareReadBack(record, readBack, link, asked);
  if (recorder) {
    recorder->Entry().readBack = SlotValues::FromSlots(readBack);
    recorder->Entry().missing = SlotNumbers(asked & ~read.answeredSlots);
    for (const TSlotCheck& check : checks)
      if (check.result != TReadBack::NoReply) recorder->Entry().differs.push_back(check.slot);
  }
  const bool stopped = read.end == TPanelSession::End::Interrupted;
  // What the panel was allowed to cut (or keeps no text for) is said, and counts as written.
  int differences = 0;
  for (const TSlotCheck& check : checks) {
    const bool allowed = check.result == TReadBack::Cut && (c.line.allowCut || check.length == 0);
    differences += allowed ? 0 : 1;
    c.err << kProgram << ": " << (allowed ? "note: " : "") << SlotName(check.slot) << " reads back as "
          << (check.read ? Quoted(*check.read) : "no text") << " after " << Quoted(check.asked)
          << " was asked: " << ReadBackReason(check) << "\n";
  }
  FinishRecord(c, recorder,
               stopped                                   ? transfer::kInterrupted
               : read.end != TPanelSession::End::Complete ? transfer::kPartial
               : differences != 0                        ? transfer::kDiffers
                                                         : transfer::kOk);
  for (const TSlotChange& change : plan.changes)
    PrintSlotLine(c.out, change.slot, change.now.value_or(""), WrittenText(link, change.slot));
  if (stopped) {
    c.err << kProgram << ": stopped by " << SignalName(TransferStopRequested())
          << " while reading the values back; every value was written\n";
    return StoppedStatus();
  }
  if (read.end != TPanelSession::End::Complete)
    Complete(read, c.session, "value requests", " (reading the values back)", c.err);
  return differences == 0 && read.end == TPanelSession::End::Complete ? kExitSuccess : kExitPanelFailed;
}

// ---- the commands ----

extern "C" void OnStopSignal(int signal) { RequestTransferStop(signal); }

// SIGINT, SIGTERM and SIGHUP ask the transfer under way to stop (panel/transfers.h) instead
// of ending the program in the middle of a write; the command then says what was done.
class StopSignals {
 public:
  StopSignals() {
    RequestTransferStop(0);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &saved_[i]);
  }
  ~StopSignals() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &saved_[i], nullptr);
    RequestTransferStop(0);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction saved_[3] {};
};

// What every panel command does first: reads its command line (the options of `allowed`),
// takes the port and the unit system, reads the input and opens the port.  Then `body`
// talks to the panel.  Returns the exit status.
int RunPanelCommand(const std::vector<std::string>& args, unsigned allowed, std::string_view name, std::ostream& out,
                    std::ostream& err, const std::function<int(const PanelContext&)>& body) {
  PanelCommandLine line;
  if (std::string error = ParseCommandLine(args, allowed | kCommonOptions, name, line); !error.empty())
    return UsageError(err, error);
  const CoreApplication app;
  const PanelSetup setup = Setup(line);
  std::optional<ProfileDocument> input;
  std::string inputName;
  if (!LoadInput(line, setup, input, inputName, err)) return kExitCannotOpen;
  const StopSignals stop_signals;
  TPanelSession session;
  if (!OpenPort(session, setup, err)) return kExitCannotOpen;
  session.SetRetries(line.retries);
  session.SetMessages(&err, !line.quiet && &err == &std::cerr && isatty(STDERR_FILENO) == 1);
  const int status = body(PanelContext{line, setup, input, inputName, session, out, err});
  if (TransferStopRequested() != 0 && status != StoppedStatus()) {
    err << kProgram << ": stopped by " << SignalName(TransferStopRequested()) << "; nothing was written\n";
    return StoppedStatus();
  }
  return status;
}

int Lengths(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunPanelCommand(args, 0, "panel lengths", out, err, [](const PanelContext& c) {
    c.Say("asking the panel on " + c.session.PortName().toStdString() + " for its field lengths");
    if (!Complete(c.session.QueryLengths(), c.session, "length requests", "", c.err)) return kExitPanelFailed;
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
      c.out << slot << '\t' << SlotDescription(slot) << '\t' << int{c.session.Link().FieldLength(slot)} << '\n';
    return kExitSuccess;
  });
}

int Get(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const unsigned allowed = kUnitsOption | kOutOption | kJsonOption | kNoRecordOption;
  return RunPanelCommand(args, allowed, "panel get", out, err, [](const PanelContext& c) {
    c.Say("reading the values of the panel on " + c.session.PortName().toStdString() + " (" +
          UnitName(c.setup.unit) + ")");
    std::optional<TransferRecorder> recorder;
    if (c.line.record) recorder.emplace(TransferHistory(), transfer::kGet, transfer::kFromTool, c.Port(), c.Units());
    TSlotValues values;
    const TPanelSession::Result result = c.session.ReadValues(c.setup.unit, values);
    if (recorder) {
      recorder->Entry().values = SlotValues::FromSlots(values);
      recorder->Entry().missing = result.silent;
    }
    if (!Complete(result, c.session, "value requests", "", c.err)) {
      FinishRecord(c, recorder,
                   result.end == TPanelSession::End::Interrupted ? transfer::kInterrupted
                   : result.answered == 0                        ? transfer::kTimeout
                                                                 : transfer::kPartial);
      return kExitPanelFailed;
    }
    FinishRecord(c, recorder, transfer::kOk);
    UnitDataRecord& record = c.session.Record();
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) record.SetSlot(slot, values[slot].value_or(""));
    if (c.line.json)
      PrintJson(c.out, record);
    else
      PrintRecord(c.out, record, false);
    if (!c.line.out.empty()) {
      if (const FileStatus status = WriteDataFile(record, c.line.out); !status) {
        FileError(c.err, "write", c.line.out, status.reason);
        return kExitCannotOpen;
      }
    }
    return kExitSuccess;
  });
}

int Send(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const unsigned allowed = kUnitsOption | kSetOption | kNoVerifyOption | kInput | kAllowCutOption | kNoRecordOption |
                           kBlankMissingOption;
  return RunPanelCommand(args, allowed, "panel send", out, err, [](const PanelContext& c) {
    TSlotValues found;
    if (!ReadLengthsAndValues(c, found, "; nothing was written")) return kExitPanelFailed;
    Overlay(c);
    return WriteAndCheck(c, found, transfer::kSend, "");
  });
}

int Restore(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const unsigned allowed = kUnitsOption | kEntryOption | kAllowCutOption | kNoRecordOption;
  return RunPanelCommand(args, allowed, "panel restore", out, err, [](const PanelContext& c) {
    const HistoryReading reading = TransferHistory().Read();
    if (!reading.status) {
      c.err << kProgram << ": cannot read the history: " << reading.status.reason << "\n";
      return kExitFileError;
    }
    bool ambiguous = false;
    const TransferEntry* entry = FindTransfer(reading.entries, c.line.entry, &ambiguous);
    if (entry == nullptr) {
      c.err << kProgram << ": "
            << (ambiguous ? "more than one entry of the history starts with " + c.line.entry + "; give more of the id"
                          : "no entry " + c.line.entry + " in the history")
            << " (quellso-tool history lists them)\n";
      return kExitUsage;
    }
    if (entry->found.Empty()) {
      c.err << kProgram << ": entry " << entry->id << " (" << OperationName(entry->operation)
            << ") holds no values read before writing; only a send or a restore can be restored\n";
      return kExitUsage;
    }
    TSlotValues found;
    if (!ReadLengthsAndValues(c, found, "; nothing was written")) return kExitPanelFailed;
    UnitDataRecord& record = c.session.Record();
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
      if (const auto value = entry->found[slot]) record.SetSlot(slot, *value);
    if (!entry->found[kFirstSlot]) record.SetCommissionDate("");  // not read then: not written now
    c.Say("restoring the values the panel held before " + entry->id);
    return WriteAndCheck(c, found, transfer::kRestore, entry->id);
  });
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const unsigned allowed = kUnitsOption | kSetOption | kInput | kNoRecordOption | kBlankMissingOption | kAllowCutOption;
  return RunPanelCommand(args, allowed, "panel verify", out, err, [](const PanelContext& c) {
    std::optional<TransferRecorder> recorder;
    if (c.line.record)
      recorder.emplace(TransferHistory(), transfer::kVerify, transfer::kFromTool, c.Port(), c.Units());
    TSlotValues panel;
    if (!ReadLengthsAndValues(c, panel, "")) {
      if (recorder) recorder->Entry().values = SlotValues::FromSlots(panel);
      FinishRecord(c, recorder, TransferStopRequested() != 0 ? transfer::kInterrupted : transfer::kPartial);
      return kExitPanelFailed;
    }
    Overlay(c);
    const TPanelLink& link = c.session.Link();
    const UnitDataRecord& record = link.Record();
    int differences = 0;
    std::vector<int> differs;
    for (const int slot : SlotNumbers(WrittenSlots(record))) {
      const TReadBack check = CheckReadBack(slot, record.SlotText(slot), panel[slot], link.FieldLength(slot));
      if (check == TReadBack::Same || (check == TReadBack::Cut && c.line.allowCut)) continue;
      ++differences;
      differs.push_back(slot);
      PrintSlotLine(c.out, slot, panel[slot].value_or(""), WrittenText(link, slot));
    }
    if (recorder) {
      recorder->Entry().values = SlotValues::FromSlots(panel);
      recorder->Entry().differs = differs;
    }
    FinishRecord(c, recorder, differences == 0 ? transfer::kOk : transfer::kDiffers);
    if (differences != 0) c.err << kProgram << ": " << differences << " of the panel's values differ\n";
    return differences == 0 ? kExitSuccess : kExitPanelFailed;
  });
}

constexpr ToolCommand kCommands[] = {
    {"panel lengths", "panel lengths [--port PORT] [--retries N] [--quiet]",
     "Asks the panel for the length of each of its 41 values and prints them, one\n"
     "slot<TAB>description<TAB>length line each.  PORT is COM1..COM4 or a device path,\n"
     "found as the program finds it; the default is the port in the settings file.\n"
     "A transfer that stays without some replies for a second asks again for those\n"
     "slots alone, N times (default 2), and says so on standard error; every panel\n"
     "command does.  Progress (n/41) goes to standard error when it is a terminal,\n"
     "unless --quiet.",
     Lengths},
    {"panel get", "panel get [--port PORT] [--units english|metric] [--out FILE.dat] [--json] [--no-record]",
     "Reads the panel's 41 values as Get Data does (the unit system of --units, default the\n"
     "settings file's) and prints every record member as show prints it (control characters\n"
     "escaped), or one JSON object of them with --json; --out also writes them into the data\n"
     "file FILE.dat.  The transfer is recorded in the history unless --no-record.",
     Get},
    {"panel send",
     "panel send [--port PORT] [--units english|metric] [--set MEMBER=VALUE]... [--allow-cut] "
     "[--blank-missing] [--no-record] [--order NUMBER [--any-line] | FILE.dat | FILE.upz]",
     "Programs the panel.  Asks its lengths and reads its values (all must answer, else\n"
     "nothing is written); lays the input over them (a data file, an order archive, or with\n"
     "--order the archive of that sales order number, such as 98123456-02, in the archive\n"
     "folder of the settings file; an archive of another line of the order only with\n"
     "--any-line): members the file carries no value for keep the panel's values, which\n"
     "are named, unless --blank-missing writes them blank as Open Data File does; applies\n"
     "each --set (MEMBER as show names it, VALUE in UTF-8, printable).  A value longer than\n"
     "the panel's length for it is refused (status 2) before anything is written, unless\n"
     "--allow-cut; a value for a slot of length 0 is written empty, with a warning.  The\n"
     "values the panel held are recorded in the history before anything is written (if\n"
     "they cannot be, nothing is written, unless --no-record, which records nothing).\n"
     "Writes the values as Send Data does (a blank date is not written), prints\n"
     "slot<TAB>description<TAB>old<TAB>new for each value it changed, then reads the values\n"
     "back and compares them with the values asked for.  A refused write ends the send and\n"
     "says which values were written and which not.  SIGINT, SIGTERM or SIGHUP finish the\n"
     "frame in flight, send nothing more, wait up to a second for the replies due, say\n"
     "what was written, and exit with 130, 143 or 129.",
     Send},
    {"panel verify",
     "panel verify [--port PORT] [--units english|metric] [--set MEMBER=VALUE]... [--allow-cut] [--blank-missing] "
     "[--no-record] [--order NUMBER [--any-line] | FILE.dat | FILE.upz]",
     "Does what send does short of writing: prints slot<TAB>description<TAB>panel<TAB>input\n"
     "for each value of the panel that differs from the value send would ask for (the\n"
     "panel's blank padding ignored; a value the panel cut to its length differs, unless\n"
     "--allow-cut), and exits with status 1 when any does.",
     Verify},
    {"panel restore", "panel restore --entry ID [--port PORT] [--units english|metric] [--allow-cut] [--no-record]",
     "Sends the values the panel held before the send or restore ID of the history (as\n"
     "quellso-tool history lists them) with the checks, the record and the read-back of\n"
     "send, recorded as a restore.",
     Restore},
};

}  // namespace

std::span<const ToolCommand> PanelCommands() { return kCommands; }
