#pragma once

// The transfer history: the program's memory of what each panel held and what was written
// to it.  Every Get Data, Send Data, verify and restore, from the window or from
// quellso-tool, appends one JSON object as one line to
//
//   $XDG_STATE_HOME/quellso/transfers.jsonl   (by default ~/.local/state/quellso/)
//
// under a lock, opened with O_APPEND and flushed to the disk before the result is shown.
// When the file would grow past 16 MiB it is renamed to transfers.1.jsonl (replacing the
// previous one) and a new file begins; nothing else is ever deleted.
//
// One line (keys in this order; every key is always written):
//
//   {"v":1,"id":"2rdf0k3m9x7a","time":"2025-03-04T10:11:12.345Z","operation":"send",
//    "source":"window","user":"tech","host":"station4","program":"1.0.8","port":"COM1",
//    "device":"/dev/ttyUSB0","device_by_id":"/dev/serial/by-id/usb-...-port0",
//    "units":"english","result":"ok","restored_from":"","found":{"CommissionDate":...},
//    "written":{...},"read_back":{...},"values":{...},"missing":[12,13],"differs":[]}
//
// "found", "written", "read_back" and "values" map member names (those of the record,
// model/unitdatarecord.h) to the value in UTF-8, exactly as the panel holds it (its padding
// included); a slot that did not answer is absent.  "missing" lists the slots that did not
// answer; "differs" the slots whose read-back differs from what was written.
//
// A send records its as-found values before it writes anything (TransferRecorder::
// RecordBeforeWriting): that line carries the result "interrupted", and the line that ends
// the transfer, with the same id, replaces it when the history is read.  A send whose end
// is never recorded (the program was killed, the machine lost power) so stays in the history
// as interrupted, with the values the panel held before.
//
// Reading never blocks and never fails on a damaged line: a line that is not such an object
// (cut short by a full disk, edited by hand) is skipped and counted.
//
// Plain C++ without the toolkit, for the window and the tool alike.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/profile.h"
#include "model/unitdatarecord.h"

// The operations and results, as the history spells them.
namespace transfer {
inline constexpr std::string_view kGet = "get";
inline constexpr std::string_view kSend = "send";
inline constexpr std::string_view kVerify = "verify";
inline constexpr std::string_view kRestore = "restore";

inline constexpr std::string_view kFromWindow = "window";
inline constexpr std::string_view kFromTool = "tool";

inline constexpr std::string_view kOk = "ok";
inline constexpr std::string_view kPartial = "partial";          // some slots did not answer
inline constexpr std::string_view kRejected = "rejected";        // the panel refused a write
inline constexpr std::string_view kTimeout = "timeout";          // no reply at all
inline constexpr std::string_view kDiffers = "differs";          // verify, or a send's read-back
inline constexpr std::string_view kInterrupted = "interrupted";  // stopped, or never recorded as ended
inline constexpr std::string_view kPortFailed = "port";          // the port could not be opened
}  // namespace transfer

// The values of one stage of a transfer, by slot 1..41: each the text as the record and the
// panel hold it (bytes of Windows code page 1252), or nothing for a slot that has no value.
// The texts share one buffer, so that ten thousand transfers read at once stay small.
class SlotValues {
 public:
  SlotValues() = default;
  SlotValues(const SlotValues& other);
  SlotValues& operator=(const SlotValues& other);
  SlotValues(SlotValues&&) noexcept = default;
  SlotValues& operator=(SlotValues&&) noexcept = default;

  std::optional<std::string_view> operator[](int slot) const;
  void Set(int slot, std::string_view bytes);
  void Clear(int slot);
  // How many slots have a value.
  int Count() const;
  bool Empty() const { return Count() == 0; }
  bool operator==(const SlotValues& other) const;

  // The 41 values of a record.
  static SlotValues FromRecord(const UnitDataRecord& record);
  // The values of a store indexed by slot whose entries are optional texts (a panel read):
  // each slot that holds one.
  template <class Values>
  static SlotValues FromSlots(const Values& values) {
    SlotValues out;
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
      if (const auto& value = values[slot]) out.Set(slot, *value);
    return out;
  }
  // Sets each slot that has a value into `record` through its setter.
  void ApplyTo(UnitDataRecord& record) const;

 private:
  // Where each slot's text is in bytes_; made with the first value, so that a stage without
  // values (most transfers have one or three) costs next to nothing.
  struct Place {
    std::uint32_t start = 0;
    std::uint32_t length = kAbsent;
  };
  static constexpr std::uint32_t kAbsent = 0xFFFFFFFFu;
  std::string bytes_;  // the texts, one after the other (a text set again is added anew)
  std::unique_ptr<std::array<Place, kLastSlot + 1>> places_;
};

struct TransferEntry {
  std::string id;         // short, unique, for the command line ("2rdf0k3m9x7a")
  std::string time;       // when the transfer began, UTC: "2025-03-04T10:11:12.345Z"
  std::string operation;  // transfer::kGet, kSend, kVerify, kRestore
  std::string source;     // transfer::kFromWindow, kFromTool
  std::string user;       // the login name
  std::string host;       // the computer's name
  std::string program;    // the program's version
  std::string port;       // as configured: "COM1", or a device path
  std::string device;     // the device path opened
  std::string deviceById; // its /dev/serial/by-id/ name; empty when it has none
  std::string units;      // "english" or "metric"
  std::string result;     // transfer::kOk, ...
  std::string restoredFrom;  // a restore: the id of the entry whose as-found values it sent
  SlotValues found;       // a send's or restore's as-found values, read before writing
  SlotValues written;     // what was written
  SlotValues readBack;    // what was read back after writing
  SlotValues values;      // a get's or verify's values
  std::vector<int> missing;  // slots that did not answer
  std::vector<int> differs;  // slots whose read-back differs from what was written

  // What the panel held after this transfer, by slot: the value read back, else the value
  // written, else the value read, else the as-found value.
  SlotValues AsLeft() const;
  // The as-left value of `slot` with the panel's padding (trailing blanks) removed, as a
  // list shows it; "" when the slot has none.
  std::string Shown(int slot) const;
};

// The folder of the history: the user's state folder (StateFolder in files/savefile.h).
std::filesystem::path HistoryFolder();

inline constexpr std::string_view kHistoryFileName = "transfers.jsonl";
inline constexpr std::string_view kPreviousHistoryFileName = "transfers.1.jsonl";
// The size past which the history file rolls over.
inline constexpr std::size_t kHistoryRolloverSize = 16u * 1024u * 1024u;

// One JSON line (without its line end) for `entry`, and back.  Decoding gives nothing for a
// line that is not a well-formed entry of version 1 (with an id and an operation), or whose
// values hold a character that code page 1252 cannot hold.
std::string EncodeTransferLine(const TransferEntry& entry);
std::optional<TransferEntry> DecodeTransferLine(std::string_view line);
// The same into `entry`, which must be as a new TransferEntry is; false (and `entry` in no
// particular state) for such a line.
bool DecodeTransferLine(std::string_view line, TransferEntry& entry);

// `text` without the blanks that pad it to the panel's length (trailing blanks).
std::string_view WithoutPadding(std::string_view text);

// A JSON string of UTF-8 text: quotes, backslash and control characters (C0, DEL and C1)
// escaped; other characters as they are.
std::string JsonQuoted(std::string_view utf8);

struct HistoryReading {
  std::vector<TransferEntry> entries;  // oldest first; a later line of an id replaces the earlier
  int damaged = 0;                     // lines skipped because they are not entries
  FileStatus status;                   // a file that exists but cannot be read
};

class TransferHistory {
 public:
  explicit TransferHistory(std::filesystem::path folder = HistoryFolder()) : folder_(std::move(folder)) {}

  const std::filesystem::path& Folder() const { return folder_; }
  std::filesystem::path FilePath() const { return folder_ / kHistoryFileName; }
  std::filesystem::path PreviousFilePath() const { return folder_ / kPreviousHistoryFileName; }

  // Appends `entry` as one line: creates the folder (mode 0700) and the file (0600) when they
  // are missing, takes the history's lock (waiting up to 5 seconds for another program),
  // rolls the file over when the line would take it past 16 MiB, writes the line with
  // O_APPEND and flushes it to the disk.  On a failure (a full disk, a folder that cannot be
  // written) nothing of the line stays in the file, and the reason is returned; the caller
  // names FilePath() in its message.
  FileStatus Append(const TransferEntry& entry) const;

  // Reads the previous file, then the current one.  Files that do not exist read as empty.
  HistoryReading Read() const;

 private:
  std::filesystem::path folder_;
};

// The entry whose id is `id`, or the one entry whose id starts with it; nothing when there
// is none or several (`ambiguous` then says so).
const TransferEntry* FindTransfer(const std::vector<TransferEntry>& entries, std::string_view id,
                                  bool* ambiguous = nullptr);

// Whether the panel or chiller serial number of any stage of `entry`, padding removed,
// equals `serial` (without regard to ASCII letter case; padding around `serial` ignored).
bool HasSerialNumber(const TransferEntry& entry, std::string_view serial);

// The newest send or restore that left the panel serial number `panelSerial` in the panel
// (padding ignored, without regard to ASCII letter case); nullptr when there is none.
const TransferEntry* LastSendToPanel(const std::vector<TransferEntry>& entries, std::string_view panelSerial);

// The port a transfer used: the name as configured and the device path opened.
struct TransferPort {
  std::string port;
  std::string device;
};

// The /dev/serial/by-id/ link that leads to `device`; empty when none does.  `root`
// stands for "/" in tests.
std::string SerialByIdName(const std::string& device, const std::filesystem::path& root = "/");

// Records one transfer.  Made when the transfer begins (its id, time, user, computer,
// program, port and units are set then); the transfer's code fills Entry() as it goes and
// records it once or twice:
//
//   TransferRecorder recorder(TransferHistory(), transfer::kSend, transfer::kFromTool, port, "english");
//   recorder.Entry().found = ...;                        // the as-found values
//   if (FileStatus s = recorder.RecordBeforeWriting(); !s) { ask, or refuse }
//   ... write, read back ...
//   recorder.Entry().written = ...; recorder.Entry().readBack = ...;
//   recorder.Finish(transfer::kOk);
class TransferRecorder {
 public:
  TransferRecorder(TransferHistory history, std::string_view operation, std::string_view source,
                   const TransferPort& port, std::string_view units);

  TransferEntry& Entry() { return entry_; }
  const TransferEntry& Entry() const { return entry_; }

  // Records the entry as it stands with the result "interrupted", before anything is
  // written to the panel: if the transfer never ends, the history keeps its as-found values.
  FileStatus RecordBeforeWriting();
  // Records the ended transfer with `result`.
  FileStatus Finish(std::string_view result);

 private:
  TransferHistory history_;
  TransferEntry entry_;
};

// A new id of twelve characters: the seconds since 2024 in six, then six random ones (two
// transfers begun in the same second share an id once in a billion), from the alphabet 0-9
// a-z without i, l, o and u, so that it reads back as typed.
std::string NewTransferId();
// The current time, UTC, as the history writes it.
std::string HistoryTimeNow();
// A history time in the local time zone, "2025-03-04 11:11:12 CET"; the text unchanged
// when it is no such time.
std::string LocalTimeText(std::string_view utcTime);
// "Send Data", "Get Data", "Verify", "Restore"; other operations as they are spelt.
std::string OperationName(std::string_view operation);
