#include "model/unitdatarecord.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <string>

UnitDataRecord UnitRecord;

const std::array<UnitMemberInfo, kUnitTextMemberCount> kUnitMembers = {{
#define QUELLSO_INFO(name, cap, slot) {UnitMember::name, #name, cap, slot},
    QUELLSO_UNIT_TEXT_MEMBERS(QUELLSO_INFO)
#undef QUELLSO_INFO
}};

namespace {

constexpr const char* kSlotDescriptions[kLastSlot] = {
    "Commissioning Date",                  // 1
    "Job Name",                            // 2
    "Job Location",                        // 3
    "Model Number",                        // 4
    "Varn Order Number",                   // 5
    "Panel Serial Number",                 // 6
    "Chiller Serial Number",               // 7
    "Refrigerant",                         // 8
    "Tons",                                // 9
    "Gear Code",                           // 10
    "Liquid Type",                         // 11
    "Brine Percent",                       // 12
    "Motor Type (VSD/SSS/EM)",             // 13
    "Kilowatts Input",                     // 14
    "Motor Code",                          // 15
    "Power",                               // 16
    "Phases",                              // 17
    "Frequency",                           // 18
    "Locked Rotor Amps",                   // 19
    "Full Load Amps",                      // 20
    "Inrush Amps",                         // 21
    "Condenser Passes",                    // 22
    "Condenser Design Working Pressure",   // 23
    "Condenser Fouling Factor",            // 24
    "Condenser Pressure Drop",             // 25
    "Condenser Nozzle Arrangement (In)",   // 26
    "Condenser Nozzle Arrangement (Out)",  // 27
    "Condenser Leaving Temperature",       // 28
    "Condenser Return Temperature",        // 29
    "Condenser GPM",                       // 30
    "Condenser Tube Number",               // 31
    "Evaporator Passes",                   // 32
    "Evaporator Design Working Pressure",  // 33
    "Evaporator Fouling Factor",           // 34
    "Evaporator Pressure Drop",            // 35
    "Evaporator Nozzle Arrangement (In)",  // 36
    "Evaporator Nozzle Arrangement (Out)", // 37
    "Evaporator Leaving Temperature",      // 38
    "Evaporator Return Temperature",       // 39
    "Evaporator GPM",                      // 40
    "Evaporator Tube Number",              // 41
};

// Slot number -> member, built once from the member table.
struct SlotTable {
  std::array<std::optional<UnitMember>, kLastSlot + 1> members{};
  SlotTable() {
    for (const UnitMemberInfo& info : kUnitMembers)
      if (info.slot != 0) members[info.slot] = info.member;
  }
};

const SlotTable& Slots() {
  static const SlotTable table;
  return table;
}

// The text up to its first NUL, as a C string would end.
std::string_view UpToNul(std::string_view text) {
  const auto nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// 1-based substring [first, last]; empty when the range is empty or out of the text.
std::string_view Chars(std::string_view text, long first, long last) {
  first = std::max(first, 1L);
  last = std::min(last, static_cast<long>(text.size()));
  if (last < first) return {};
  return text.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

// The standard text-to-integer rule: leading white space, an optional sign, then digits up
// to the first non-digit; no digits gives 0.  A run of digits too long for 32 bits clamps to
// the 32-bit range (as strtol does) instead of overflowing.
long long LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  value = negative ? -value : value;
  return std::clamp<long long>(value, INT_MIN, INT_MAX);
}

std::uint8_t LowByte(long long value) {
  return static_cast<std::uint8_t>(static_cast<unsigned long long>(value) & 0xFFu);
}

constexpr std::array<std::string_view, 12> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                      "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

}  // namespace

bool IsWellFormedDate(std::string_view text) {
  const auto digits = [](std::string_view part) {
    return !part.empty() && std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const std::size_t first = text.find(' ');
  const std::size_t last = text.rfind(' ');
  if (first == std::string_view::npos || last != first + 4) return false;
  const std::string_view day = text.substr(0, first);
  const std::string_view month = text.substr(first + 1, 3);
  const std::string_view year = text.substr(last + 1);
  if (day.size() > 2 || !digits(day) || year.size() != 4 || !digits(year)) return false;
  const int d = std::stoi(std::string(day));
  const int y = std::stoi(std::string(year));
  const bool known = std::any_of(kMonths.begin(), kMonths.end(), [&](std::string_view name) {
    return std::equal(name.begin(), name.end(), month.begin(), month.end(),
                      [](char a, char b) { return a == std::toupper(static_cast<unsigned char>(b)); });
  });
  return known && d >= 1 && d <= 31 && y >= 1900 && y <= 2155;
}

const UnitMemberInfo& MemberInfo(UnitMember member) {
  return kUnitMembers[static_cast<std::size_t>(member)];
}

std::optional<UnitMember> SlotMember(int slot) {
  if (slot < kFirstSlot || slot > kLastSlot) return std::nullopt;
  return Slots().members[static_cast<std::size_t>(slot)];
}

const char* SlotDescription(int slot) { return slot >= kFirstSlot && slot <= kLastSlot ? kSlotDescriptions[slot - 1] : ""; }

std::uint32_t UnitDataRecord::PackedCommissionDate() const {
  return static_cast<std::uint32_t>(packed_date_[0]) | static_cast<std::uint32_t>(packed_date_[1]) << 8 |
         static_cast<std::uint32_t>(packed_date_[2]) << 16 | static_cast<std::uint32_t>(packed_date_[3]) << 24;
}

char* UnitDataRecord::Storage(UnitMember member) {
  switch (member) {
#define QUELLSO_CASE(name, cap, slot) \
  case UnitMember::name:              \
    return name##_.data();
    QUELLSO_UNIT_TEXT_MEMBERS(QUELLSO_CASE)
#undef QUELLSO_CASE
  }
  return nullptr;  // not reached: every enumerator has a case
}

const char* UnitDataRecord::Text(UnitMember member) const {
  return const_cast<UnitDataRecord*>(this)->Storage(member);
}

void UnitDataRecord::StoreText(UnitMember member, std::string_view text) {
  const std::size_t capacity = MemberInfo(member).capacity;
  char* target = Storage(member);
  text = UpToNul(text);
  const std::size_t n = std::min(text.size(), capacity);
  if (n != 0) std::memcpy(target, text.data(), n);
  std::memset(target + n, 0, capacity - n);  // the byte at [capacity] is never written
}

void UnitDataRecord::SetCommissionDate(std::string_view text) {
  StoreText(UnitMember::CommissionDate, text);
  text = UpToNul(text);

  // The window shows the date as "07 DEC 1999": day, blank, month, blank, year.  The parts
  // are cut at the first and the last blank; a part that is missing parses as 0 (day and
  // year) or matches no month (month 1).
  const auto first = text.find(' ');
  const auto last = text.rfind(' ');
  const long p1 = first == std::string_view::npos ? 0 : static_cast<long>(first) + 1;
  const long p2 = last == std::string_view::npos ? 0 : static_cast<long>(last) + 1;
  const long long day = LeadingNumber(Chars(text, 1, p1 - 1));
  const std::string_view month_text = Chars(text, p1 + 1, p2 - 1);
  const long long year = LeadingNumber(Chars(text, p2 + 1, static_cast<long>(text.size())));

  int month = 1;
  for (std::size_t m = 0; m < kMonths.size(); ++m) {
    const std::string_view name = kMonths[m];
    const bool equal = month_text.size() == name.size() &&
                       std::equal(name.begin(), name.end(), month_text.begin(), [](char a, char b) {
                         return a == std::toupper(static_cast<unsigned char>(b));
                       });
    if (equal) {
      month = static_cast<int>(m) + 1;
      break;
    }
  }

  packed_date_[0] = LowByte(year - 1900);
  packed_date_[1] = static_cast<std::uint8_t>(month);
  packed_date_[2] = LowByte(day);
  // packed_date_[3] is never assigned: it keeps its start value, 0.
}

void UnitDataRecord::SetModelNumber(std::string_view text) {
  StoreText(UnitMember::ModelNumber, text);
  const std::string_view model = ModelNumber();
  StoreText(UnitMember::ModelPrefix, Chars(model, 1, 2));
  StoreText(UnitMember::Cooler, Chars(model, 3, 4));
  StoreText(UnitMember::Condenser, Chars(model, 5, 6));
  StoreText(UnitMember::Compressor, Chars(model, 7, 8));
  StoreText(UnitMember::RevisionLevel, Chars(model, 12, 12));
  StoreText(UnitMember::SpecialCode, "0");
}

void UnitDataRecord::ClearRecord() {
  static constexpr UnitMember kKept[] = {UnitMember::Cooler,        UnitMember::Condenser,
                                         UnitMember::Compressor,    UnitMember::RevisionLevel,
                                         UnitMember::SpecialCode,   UnitMember::Starter};
  for (const UnitMemberInfo& info : kUnitMembers) {
    if (std::find(std::begin(kKept), std::end(kKept), info.member) == std::end(kKept))
      Storage(info.member)[0] = '\0';
  }
}

void UnitDataRecord::SetSlot(int slot, std::string_view text) {
  const std::optional<UnitMember> member = SlotMember(slot);
  if (!member) return;
  switch (*member) {
    case UnitMember::CommissionDate:
      SetCommissionDate(text);
      break;
    case UnitMember::ModelNumber:
      SetModelNumber(text);
      break;
    default:
      StoreText(*member, text);
      break;
  }
}

const char* UnitDataRecord::SlotText(int slot) const {
  const std::optional<UnitMember> member = SlotMember(slot);
  return member ? Text(*member) : "";
}
