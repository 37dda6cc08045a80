#include "tools/panelsim/panelsim.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "files/datafile.h"
#include "files/profile.h"
#include "model/unitdatarecord.h"

namespace {

constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// What the simulated panel holds before anything is written to it.
constexpr const char* kInitialValues[kSimSlots + 1] = {
    "",
    "07 DEC 1999",            // 1 commissioning date
    "Harbour View Offices",   // 2 job name
    "Portsmouth",             // 3 job location
    "QX2C3A4B-5D",            // 4 model number
    "SO-204117",              // 5 order number
    "PNL-55821",              // 6 panel serial number
    "CH-0098812",             // 7 chiller serial number
    "R-134a",                 // 8 refrigerant
    "500",                    // 9 tons
    "G7",                     // 10 gear code
    "Water",                  // 11 liquid type
    "0",                      // 12 brine percent
    "SSS",                    // 13 motor type
    "310",                    // 14 kilowatts input
    "MC-44",                  // 15 motor code
    "460",                    // 16 power
    "3",                      // 17 phases
    "60",                     // 18 frequency
    "1850",                   // 19 locked rotor amps
    "385",                    // 20 full load amps
    "720",                    // 21 inrush amps
    "2",                      // 22 condenser passes
    "150",                    // 23 condenser design working pressure
    "0.00025",                // 24 condenser fouling factor
    "21.5",                   // 25 condenser pressure drop
    "A",                      // 26 condenser nozzle in
    "B",                      // 27 condenser nozzle out
    "95.0",                   // 28 condenser leaving temperature
    "85.0",                   // 29 condenser return temperature
    "1500",                   // 30 condenser GPM
    "T-220",                  // 31 condenser tube number
    "2",                      // 32 evaporator passes
    "150",                    // 33 evaporator design working pressure
    "0.0001",                 // 34 evaporator fouling factor
    "18.2",                   // 35 evaporator pressure drop
    "C",                      // 36 evaporator nozzle in
    "D",                      // 37 evaporator nozzle out
    "44.0",                   // 38 evaporator leaving temperature
    "54.0",                   // 39 evaporator return temperature
    "1200",                   // 40 evaporator GPM
    "T-180",                  // 41 evaporator tube number
};

// A whole decimal number in [low, high], or nothing.
std::optional<long> Number(std::string_view text, long low, long high) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

// "2=24,9=8", "11,30,30,20" (from slot 1 on), "all=16", or a mix, applied in order.
std::string ParseLengths(std::string_view list, std::array<int, kSimSlots + 1>& lengths) {
  int next = 1;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    const std::size_t eq = item.find('=');
    const auto length = Number(eq == std::string_view::npos ? item : item.substr(eq + 1), 0, 255);
    if (!length) return "a length must be a number from 0 to 255: \"" + std::string(item) + "\"";
    if (eq == std::string_view::npos) {
      if (next > kSimSlots) return "more than 41 lengths given";
      lengths[static_cast<std::size_t>(next++)] = static_cast<int>(*length);
    } else if (item.substr(0, eq) == "all") {
      for (int slot = 1; slot <= kSimSlots; ++slot) lengths[static_cast<std::size_t>(slot)] = static_cast<int>(*length);
    } else {
      const auto slot = Number(item.substr(0, eq), 1, kSimSlots);
      if (!slot) return "a slot must be a number from 1 to 41: \"" + std::string(item) + "\"";
      lengths[static_cast<std::size_t>(*slot)] = static_cast<int>(*length);
    }
  }
  return "";
}

// "cr", "lf", "crlf", or hexadecimal byte values ("0d0a"), 1 to 16 bytes.
bool ParseTrailer(std::string_view text, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  if (text == "cr") bytes = {'\r'};
  else if (text == "lf") bytes = {'\n'};
  else if (text == "crlf") bytes = {'\r', '\n'};
  if (!bytes.empty()) return true;
  if (text.empty() || text.size() % 2 != 0 || text.size() > 32) return false;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]), low = digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F || c == '"' || c == '\\') {
      static const char* digits = "0123456789ABCDEF";
      out += "\\x";
      out += digits[u >> 4];
      out += digits[u & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

TSimOptions::TSimOptions() : lengths(DefaultSimLengths()) {}

std::array<int, kSimSlots + 1> DefaultSimLengths() {
  std::array<int, kSimSlots + 1> lengths{};
  for (int slot = 1; slot <= kSimSlots; ++slot) lengths[static_cast<std::size_t>(slot)] = 16;
  lengths[1] = 11;
  lengths[2] = 30;
  lengths[3] = 30;
  lengths[4] = 20;
  return lengths;
}

const char* SimUsage() {
  return "Usage: quellso-panel-sim [OPTION]...\n"
         "Answers as a chiller panel on a new pseudo-terminal (or on a serial device) and\n"
         "prints, on its first line, the device the program should use.\n"
         "\n"
         "  --device PATH         answer on this serial device (19200 8O1) instead; the\n"
         "                        first line then names it, and the program uses the other\n"
         "                        end of the cable\n"
         "  --lengths LIST        the field lengths the panel reports, 0..255: a comma\n"
         "                        list from slot 1 on (11,30,30), slot=length pairs\n"
         "                        (2=24,9=8), all=N, or a mix; default 11 for the date, 30\n"
         "                        for job name and location, 20 for the model number, 16\n"
         "                        for the rest\n"
         "  --reject SLOT:STATUS  answer writes of SLOT with STATUS (1..255, e.g. 132 for\n"
         "                        \"Panel in Local Mode\"); may be given again\n"
         "  --silent              answer nothing\n"
         "  --answer-first N      answer only the first N requests\n"
         "  --drop-every N        leave out every Nth reply\n"
         "  --answer-as SLOT      name SLOT in every read and write reply, whatever was\n"
         "                        asked (a confused panel, or noise forming frames)\n"
         "  --corrupt-checksums   spoil the checksum of every reply\n"
         "  --corrupt-every N     spoil the checksum of every Nth reply\n"
         "  --noise N             send N noise bytes (never an STX) before each reply\n"
         "  --stray-stx N         send an STX ahead of the noise before every Nth reply: a\n"
         "                        frame begun by a glitch, which that reply then ends\n"
         "  --trailer BYTES       send BYTES after each reply: cr, lf, crlf, or\n"
         "                        hexadecimal byte values (0d0a), at most 16 bytes\n"
         "  --delay MS            wait MS milliseconds before each reply\n"
         "  --paced               write at the line's speed, 19200 bit/s (one byte about\n"
         "                        every 0.57 ms), instead of a whole reply at once\n"
         "  --idle-noise N        once the line has been quiet for 300 ms after a request,\n"
         "                        send N noise bytes (never an STX); again after each\n"
         "                        later request\n"
         "  --flood MS            once the line has first been quiet for 300 ms after a\n"
         "                        request, send random bytes (STX included) for MS\n"
         "                        milliseconds at the line's speed\n"
         "  --log                 print one line for each request understood\n"
         "  --state FILE          load the 41 values from the data file FILE at start (a\n"
         "                        missing file is created with the sample values) and save\n"
         "                        them there after every accepted write\n"
         "  --help                show this text\n"
         "  --version             show the version\n"
         "\n"
         "SIGINT or SIGTERM end it.\n";
}

std::string ParseSimOptions(int argc, const char* const* argv, TSimOptions& options, bool& help) {
  help = false;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::optional<std::string> inline_value;
    if (const std::size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    const auto value = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 < argc) return std::string(argv[++i]);
      return std::nullopt;
    };
    const auto count = [&](long& target, long low, long high) -> std::string {
      const auto text = value();
      const auto n = text ? Number(*text, low, high) : std::nullopt;
      if (!n) return name + " needs a number from " + std::to_string(low) + " to " + std::to_string(high);
      target = *n;
      return "";
    };
    const auto flag = [&](bool& target) -> std::string {
      if (inline_value) return name + " takes no value";
      target = true;
      return "";
    };

    std::string error;
    if (name == "--help" || name == "-h") {
      help = true;
    } else if (name == "--version") {
      error = flag(options.version);
    } else if (name == "--device") {
      const auto text = value();
      if (!text || text->empty()) return "--device needs a device path";
      options.device = *text;
    } else if (name == "--state") {
      const auto text = value();
      if (!text || text->empty()) return "--state needs a file path";
      options.state = *text;
    } else if (name == "--lengths") {
      const auto text = value();
      if (!text) return "--lengths needs a list";
      error = ParseLengths(*text, options.lengths);
      if (!error.empty()) error = "--lengths: " + error;
    } else if (name == "--reject") {
      const auto text = value();
      const std::size_t colon = text ? text->find(':') : std::string::npos;
      const auto slot = colon == std::string::npos ? std::nullopt : Number(text->substr(0, colon), 1, kSimSlots);
      const auto status = colon == std::string::npos ? std::nullopt : Number(text->substr(colon + 1), 1, 255);
      if (!slot || !status) return "--reject needs SLOT:STATUS, a slot 1..41 and a status 1..255";
      options.rejects[static_cast<std::size_t>(*slot)] = static_cast<int>(*status);
    } else if (name == "--silent") {
      error = flag(options.silent);
    } else if (name == "--log") {
      error = flag(options.log);
    } else if (name == "--corrupt-checksums") {
      if (inline_value) return name + " takes no value";
      options.corruptEvery = 1;
    } else if (name == "--answer-first") {
      error = count(options.answerFirst, 0, 100000000);
    } else if (name == "--drop-every") {
      error = count(options.dropEvery, 1, 100000000);
    } else if (name == "--answer-as") {
      long slot = 0;
      error = count(slot, 1, kSimSlots);
      options.answerAs = static_cast<int>(slot);
    } else if (name == "--corrupt-every") {
      error = count(options.corruptEvery, 1, 100000000);
    } else if (name == "--noise") {
      long n = 0;
      error = count(n, 0, 10000);
      options.noise = static_cast<int>(n);
    } else if (name == "--stray-stx") {
      error = count(options.strayStxEvery, 1, 100000000);
    } else if (name == "--trailer") {
      const auto text = value();
      if (!text || !ParseTrailer(*text, options.trailer))
        return "--trailer needs cr, lf, crlf or 1 to 16 hexadecimal byte values (0d0a)";
    } else if (name == "--paced") {
      error = flag(options.paced);
    } else if (name == "--idle-noise") {
      long n = 0;
      error = count(n, 1, 10000);
      options.idleNoise = static_cast<int>(n);
    } else if (name == "--flood") {
      long n = 0;
      error = count(n, 1, 600000);
      options.floodMs = static_cast<int>(n);
    } else if (name == "--delay") {
      long n = 0;
      error = count(n, 0, 600000);
      options.delayMs = static_cast<int>(n);
    } else {
      return "unknown option \"" + name + "\"";
    }
    if (!error.empty()) return error;
  }
  return "";
}

std::string DateFromPacked(const std::uint8_t* bytes) {
  const unsigned year = 1900u + bytes[0];
  const unsigned month = bytes[1];
  const unsigned day = bytes[2];
  char text[32];
  std::snprintf(text, sizeof text, "%02u %s %04u", day, month >= 1 && month <= 12 ? kMonths[month - 1] : "???",
                year);
  return text;
}

TPanelSimulator::TPanelSimulator(const TSimOptions& options) : options_(options) {
  for (int slot = 1; slot <= kSimSlots; ++slot) values_[static_cast<std::size_t>(slot)] = kInitialValues[slot];
}

std::optional<TPanelSimulator::Answer> TPanelSimulator::Take(std::uint8_t byte) {
  if (receiver_.Take(byte) != TFrameReceiver::Step::Completed) return std::nullopt;
  const std::optional<TDecodedFrame> frame = DecodeFrame(receiver_.CompleteFrame(), scratch_);
  if (!frame) {
    Answer answer;
    answer.log = "ignored a frame that fails its check";
    return answer;
  }
  return Handle(*frame);
}

TPanelSimulator::Answer TPanelSimulator::Handle(const TDecodedFrame& frame) {
  Answer answer;
  const auto& p = frame.payload;
  switch (frame.kind) {
    case kUnitSystemCommand: {
      if (p.empty()) break;
      answer.request = true;
      answer.log = std::string("unit-system ") + (p[0] == 1 ? "Metric" : p[0] == 0 ? "English" : "unit " + std::to_string(p[0])) + " -> acknowledged";
      Reply(answer, kAcknowledgementReply, 0, {p[0]});
      return answer;
    }
    case kReadRequestCommand: {
      if (p.size() < 4) break;
      const int slot = p[1];
      const bool length = p[2] == kLengthProperty;
      answer.request = true;
      answer.log = "read slot " + std::to_string(slot) + (length ? " length" : p[2] == kValueProperty ? " value" : " property " + std::to_string(p[2]));
      if (p[0] != kFieldObjectType || slot < 1 || slot > kSimSlots || (p[2] != kValueProperty && !length) || p[3] != 0) {
        answer.log += " -> not answered: no such object";
        ++requests_;
        return answer;
      }
      if (length) {
        const auto n = static_cast<std::uint8_t>(options_.lengths[static_cast<std::size_t>(slot)]);
        answer.log += " -> " + std::to_string(n);
        Reply(answer, kReadReply, static_cast<std::uint8_t>(slot), {kByteData, n});
      } else {
        const std::string& value = values_[static_cast<std::size_t>(slot)];
        const std::size_t n = std::min<std::size_t>(value.size(), 255);
        std::vector<std::uint8_t> payload{kTextData, static_cast<std::uint8_t>(n)};
        payload.insert(payload.end(), value.begin(), value.begin() + static_cast<long>(n));
        answer.log += " -> " + Quoted(value.substr(0, n));
        Reply(answer, kReadReply, static_cast<std::uint8_t>(slot), payload);
      }
      return answer;
    }
    case kWriteRequestCommand: {
      if (p.size() < 5) break;
      answer.request = true;
      std::string description;
      const std::uint8_t status = WriteStatus(frame, description);
      answer.log = "write slot " + std::to_string(p[1]) + " " + description;
      answer.log += status == 0 ? " -> accepted" : " -> rejected " + std::to_string(status);
      answer.stored = status == 0;
      Reply(answer, kWriteReply, p[1], {status});
      return answer;
    }
    default:
      break;
  }
  answer.log = "ignored a frame of command code " + std::to_string(frame.kind) + " with " +
               std::to_string(p.size()) + " payload bytes";
  return answer;
}

// Checks a write request and, when it is good, stores its value.  `description` says what it
// carried.
std::uint8_t TPanelSimulator::WriteStatus(const TDecodedFrame& frame, std::string& description) {
  const auto& p = frame.payload;
  const int slot = p[1];
  const std::uint8_t type = p[4];
  const std::size_t value_bytes = p.size() - 5;
  std::string value;
  bool well_formed = false;
  if (slot == 1) {
    well_formed = type == kIntegerData && value_bytes == 4;
    if (well_formed) value = DateFromPacked(p.data() + 5);
    description = well_formed ? "date " + value : "of data type " + std::to_string(type);
  } else {
    well_formed = type == kTextData && value_bytes >= 1 && value_bytes - 1 == p[5];
    if (well_formed) value.assign(reinterpret_cast<const char*>(p.data() + 6), p[5]);
    description = well_formed ? Quoted(value) : "of data type " + std::to_string(type);
  }
  if (p[0] != kFieldObjectType) return kUnknownObjectTypeStatus;
  if (slot < 1 || slot > kSimSlots) return kUnknownObjectStatus;
  if (p[2] != kValueProperty) return kUnknownPropertyStatus;
  if (p[3] != 0) return kUnknownIndexStatus;
  if (const int reject = options_.rejects[static_cast<std::size_t>(slot)]; reject != 0)
    return static_cast<std::uint8_t>(reject);
  if (!well_formed) return kIllegalDataTypeStatus;
  values_[static_cast<std::size_t>(slot)] = value;
  return 0;
}

// ---- the state file ----

namespace {

constexpr std::string_view kStateSection = "Panel Simulator";

// The slots a data file never carries, and their keys in the simulator's section.
struct OwnKey {
  int slot;
  const char* key;
};
constexpr OwnKey kOwnKeys[] = {{1, "Commissioning Date"}, {6, "Panel Serial Number"}, {7, "Chiller Serial Number"}};

bool IsOwnSlot(int slot) {
  return std::any_of(std::begin(kOwnKeys), std::end(kOwnKeys), [slot](const OwnKey& k) { return k.slot == slot; });
}

std::string SlotKey(int slot) { return "Slot " + std::to_string(slot); }

std::string_view TrimRight(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A value with its line breaks, which would end its line in the file, turned into blanks.
std::string OneLine(std::string_view value) {
  std::string out(value);
  std::replace_if(out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return out;
}

// A value as the profile layer gives it back whole: on one line and in quotes (one pair is
// taken off when it is read).
std::string QuotedValue(const std::string& value) { return "\"" + OneLine(value) + "\""; }

}  // namespace

std::string TPanelSimulator::LoadState(const std::string& path, bool& existed) {
  ProfileDocument file;
  existed = false;
  if (const FileStatus status = LoadProfile(path, file, &existed); !status)
    return "cannot read the state file " + path + ": " + status.reason;
  if (!existed) return "";
  UnitDataRecord record{};
  ReadDataFile(record, file);
  for (int slot = 1; slot <= kSimSlots; ++slot) {
    if (!IsOwnSlot(slot)) values_[static_cast<std::size_t>(slot)] = record.SlotText(slot);
  }
  for (const OwnKey& own : kOwnKeys) {
    if (const auto value = file.Find(kStateSection, own.key)) values_[static_cast<std::size_t>(own.slot)] = *value;
  }
  for (int slot = 1; slot <= kSimSlots; ++slot) {
    if (const auto value = file.Find(kStateSection, SlotKey(slot))) values_[static_cast<std::size_t>(slot)] = *value;
  }
  return "";
}

std::string TPanelSimulator::SaveState(const std::string& path) const {
  ProfileDocument file;
  if (const FileStatus status = LoadProfile(path, file); !status)
    return "cannot read the state file " + path + ": " + status.reason;
  UnitDataRecord record{};
  for (int slot = 1; slot <= kSimSlots; ++slot)
    record.SetSlot(slot, TrimRight(OneLine(values_[static_cast<std::size_t>(slot)])));
  WriteDataFile(record, file);
  for (const OwnKey& own : kOwnKeys) file.Write(kStateSection, own.key, QuotedValue(values_[static_cast<std::size_t>(own.slot)]));
  // Whatever the data file keys do not give back exactly gets a key of its own; a key
  // written before is kept up to date, so it never holds an old value.
  UnitDataRecord back{};
  ReadDataFile(back, file);
  for (int slot = 1; slot <= kSimSlots; ++slot) {
    if (IsOwnSlot(slot)) continue;
    const std::string& value = values_[static_cast<std::size_t>(slot)];
    if (value != back.SlotText(slot) || file.Find(kStateSection, SlotKey(slot)))
      file.Write(kStateSection, SlotKey(slot), QuotedValue(value));
  }
  if (const FileStatus status = SaveProfile(path, file); !status)
    return "cannot save the state file " + path + ": " + status.reason;
  return "";
}

void TPanelSimulator::Reply(Answer& answer, std::uint8_t kind, std::uint8_t slot,
                            const std::vector<std::uint8_t>& payload) {
  ++requests_;
  if (options_.silent) {
    answer.log += " (silent)";
    return;
  }
  if (options_.answerFirst >= 0 && requests_ > options_.answerFirst) {
    answer.log += " (not answered: past the first " + std::to_string(options_.answerFirst) + ")";
    return;
  }
  ++replies_;
  if (options_.dropEvery > 0 && replies_ % options_.dropEvery == 0) {
    answer.log += " (reply dropped)";
    return;
  }
  if (options_.strayStxEvery > 0 && replies_ % options_.strayStxEvery == 0) {
    answer.bytes.push_back(kStx);
    answer.log += " (stray STX before it)";
  }
  AppendNoise(answer.bytes, options_.noise);
  std::array<std::uint8_t, 2 * kFrameBufferSize> frame{};
  if (options_.answerAs != 0 && kind != kAcknowledgementReply) {
    slot = static_cast<std::uint8_t>(options_.answerAs);
    answer.log += " (as slot " + std::to_string(options_.answerAs) + ")";
  }
  const std::size_t n = EncodeFrame(kind, slot, payload, frame);
  if (options_.corruptEvery > 0 && replies_ % options_.corruptEvery == 0) {
    frame[n - 3] ^= 0x01;  // a low bit of the checksum's low byte; the byte keeps its top bit
    answer.log += " (checksum spoilt)";
  }
  answer.bytes.insert(answer.bytes.end(), frame.begin(), frame.begin() + static_cast<long>(n));
  answer.bytes.insert(answer.bytes.end(), options_.trailer.begin(), options_.trailer.end());
}

// Noise: any byte but STX, so that it can never begin a frame.
void TPanelSimulator::AppendNoise(std::vector<std::uint8_t>& bytes, int count) {
  for (int i = 0; i < count; ++i) {
    std::uint8_t b = static_cast<std::uint8_t>(noise_random_() & 0xFF);
    if (b == kStx) b = 0x55;
    bytes.push_back(b);
  }
}

std::vector<std::uint8_t> TPanelSimulator::IdleNoise() {
  std::vector<std::uint8_t> bytes;
  AppendNoise(bytes, options_.idleNoise);
  return bytes;
}
