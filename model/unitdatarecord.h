#pragma once

// The order and nameplate data of one chiller unit: a plain structure of fixed-size,
// NUL-terminated text members with one packed 32-bit date in front.  Every value is text,
// held exactly as typed, received or read; nothing is converted, checked or trimmed.
//
// A text member of capacity N is an array of N + 1 bytes.  Setters copy at most N
// characters (the "bounded copy") and fill the rest with NUL, so the last byte is never
// written and every member stays terminated.
//
// Slots 1..41 are the numbers by which the panel addresses the 41 members that the main
// window shows.  Their order differs from the member order.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// X(member, capacity, slot): the 48 text members in member order.  Slot 0 means the member
// has no window control and no slot.
#define QUELLSO_UNIT_TEXT_MEMBERS(X)  \
  X(CommissionDate, 29, 1)            \
  X(ModelPrefix, 2, 0)                \
  X(ModelNumber, 69, 4)               \
  X(Cooler, 2, 0)                     \
  X(Condenser, 2, 0)                  \
  X(Compressor, 2, 0)                 \
  X(RevisionLevel, 1, 0)              \
  X(SpecialCode, 1, 0)                \
  X(PanelSerialNumber, 29, 6)         \
  X(ChillerSerialNumber, 29, 7)       \
  X(VarnOrderNumber, 29, 5)           \
  X(JobName, 29, 2)                   \
  X(JobLocation, 29, 3)               \
  X(Refrigerant, 29, 8)               \
  X(Tons, 29, 9)                      \
  X(GearCode, 29, 10)                 \
  X(EvapLiquidType, 29, 11)           \
  X(BrinePercent, 29, 12)             \
  X(MotorType, 29, 13)                \
  X(KilowattsInput, 29, 14)           \
  X(MotorCode, 29, 15)                \
  X(Power, 29, 16)                    \
  X(Phases, 29, 17)                   \
  X(Frequency, 29, 18)                \
  X(FullLoadAmps, 29, 20)             \
  X(LockedRotorAmps, 29, 19)          \
  X(InrushAmps, 29, 21)               \
  X(Starter, 20, 0)                   \
  X(CdPasses, 29, 22)                 \
  X(CdDesignWorkingPressure, 29, 23)  \
  X(CdFoulingFactor, 29, 24)          \
  X(CdPressureDrop, 29, 25)           \
  X(CdNozzleIn, 29, 26)               \
  X(CdNozzleOut, 29, 27)              \
  X(CdLeavingTemp, 29, 28)            \
  X(CdReturnTemp, 29, 29)             \
  X(CdGpm, 29, 30)                    \
  X(CdTubeNo, 29, 31)                 \
  X(EvPasses, 29, 32)                 \
  X(EvDesignWorkingPressure, 29, 33)  \
  X(EvFoulingFactor, 29, 34)          \
  X(EvPressureDrop, 29, 35)           \
  X(EvNozzleIn, 29, 36)               \
  X(EvNozzleOut, 29, 37)              \
  X(EvLeavingTemp, 29, 38)            \
  X(EvReturnTemp, 29, 39)             \
  X(EvGpm, 29, 40)                    \
  X(EvTubeNo, 29, 41)

// The text members, in member order.
enum class UnitMember : std::uint8_t {
#define QUELLSO_ENUM(name, cap, slot) name,
  QUELLSO_UNIT_TEXT_MEMBERS(QUELLSO_ENUM)
#undef QUELLSO_ENUM
};

struct UnitMemberInfo {
  UnitMember member;
  const char* name;      // the member's name, e.g. "JobName"
  std::size_t capacity;  // most characters the member keeps
  int slot;              // 1..41, or 0 for members without a window control
};

inline constexpr int kFirstSlot = 1;
inline constexpr int kLastSlot = 41;
inline constexpr std::size_t kUnitTextMemberCount = 48;

// Every text member in member order.
extern const std::array<UnitMemberInfo, kUnitTextMemberCount> kUnitMembers;

const UnitMemberInfo& MemberInfo(UnitMember member);
// The member that slot 1..41 names (slot 1: CommissionDate); nothing for any other number.
std::optional<UnitMember> SlotMember(int slot);
// How messages and reports name slot 1..41 ("Job Name" for slot 2, "Condenser Passes" for
// slot 22); "" for any other slot.
const char* SlotDescription(int slot);

// Whether `text` is a commissioning date as the window's date field shows one: a day of one
// or two digits (1..31), a blank, a month's three letters (JAN..DEC, any letter case), a
// blank and a year of four digits (1900..2155, what the packed date holds).  The setter
// takes any text; this tells a typed date from a mistyped one.
bool IsWellFormedDate(std::string_view text);

class UnitDataRecord {
 public:
  // The 32-bit value the panel link sends for slot 1: the four bytes of the packed date
  // taken as a little-endian number.
  std::uint32_t PackedCommissionDate() const;
  // The packed date's bytes: year - 1900 (mod 256), month 1..12, day (mod 256), and a fourth
  // byte that no setter assigns (it stays 0).
  const std::array<std::uint8_t, 4>& PackedCommissionDateBytes() const { return packed_date_; }

  // Getters: the member's text, always NUL-terminated.
#define QUELLSO_GETTER(name, cap, slot) \
  const char* name() const { return name##_.data(); }
  QUELLSO_UNIT_TEXT_MEMBERS(QUELLSO_GETTER)
#undef QUELLSO_GETTER

  const char* Text(UnitMember member) const;

  // Setters of the 41 members that have a window control: the bounded copy.  The text ends
  // at its first NUL, if it has one.  SetCommissionDate also derives the packed date and
  // SetModelNumber the model parts.
  void SetCommissionDate(std::string_view text);
  void SetModelNumber(std::string_view text);
#define QUELLSO_SETTER(name) \
  void Set##name(std::string_view text) { StoreText(UnitMember::name, text); }
  QUELLSO_SETTER(PanelSerialNumber)
  QUELLSO_SETTER(ChillerSerialNumber)
  QUELLSO_SETTER(VarnOrderNumber)
  QUELLSO_SETTER(JobName)
  QUELLSO_SETTER(JobLocation)
  QUELLSO_SETTER(Refrigerant)
  QUELLSO_SETTER(Tons)
  QUELLSO_SETTER(GearCode)
  QUELLSO_SETTER(EvapLiquidType)
  QUELLSO_SETTER(BrinePercent)
  QUELLSO_SETTER(MotorType)
  QUELLSO_SETTER(KilowattsInput)
  QUELLSO_SETTER(MotorCode)
  QUELLSO_SETTER(Power)
  QUELLSO_SETTER(Phases)
  QUELLSO_SETTER(Frequency)
  QUELLSO_SETTER(FullLoadAmps)
  QUELLSO_SETTER(LockedRotorAmps)
  QUELLSO_SETTER(InrushAmps)
  QUELLSO_SETTER(CdPasses)
  QUELLSO_SETTER(CdDesignWorkingPressure)
  QUELLSO_SETTER(CdFoulingFactor)
  QUELLSO_SETTER(CdPressureDrop)
  QUELLSO_SETTER(CdNozzleIn)
  QUELLSO_SETTER(CdNozzleOut)
  QUELLSO_SETTER(CdLeavingTemp)
  QUELLSO_SETTER(CdReturnTemp)
  QUELLSO_SETTER(CdGpm)
  QUELLSO_SETTER(CdTubeNo)
  QUELLSO_SETTER(EvPasses)
  QUELLSO_SETTER(EvDesignWorkingPressure)
  QUELLSO_SETTER(EvFoulingFactor)
  QUELLSO_SETTER(EvPressureDrop)
  QUELLSO_SETTER(EvNozzleIn)
  QUELLSO_SETTER(EvNozzleOut)
  QUELLSO_SETTER(EvLeavingTemp)
  QUELLSO_SETTER(EvReturnTemp)
  QUELLSO_SETTER(EvGpm)
  QUELLSO_SETTER(EvTubeNo)
#undef QUELLSO_SETTER

  // The bounded copy into any text member, with no derived values.  The data file reader
  // uses it for the members that have no setter (Cooler, Condenser, Compressor,
  // RevisionLevel, SpecialCode, Starter).
  void StoreText(UnitMember member, std::string_view text);

  // Empties every member that has a window control, and ModelPrefix.  The packed date, the
  // model parts Cooler..SpecialCode and Starter keep their values.
  void ClearRecord();

  // Slot access.  Writing slot 1..41 calls that member's setter (slot 1: SetCommissionDate);
  // any other slot names nothing and is ignored.  SlotText of slot 1 is the date's text; the
  // panel is sent PackedCommissionDate() for slot 1 instead.
  void SetSlot(int slot, std::string_view text);
  const char* SlotText(int slot) const;  // "" for a slot outside 1..41

 private:
  char* Storage(UnitMember member);

  std::array<std::uint8_t, 4> packed_date_{};
#define QUELLSO_FIELD(name, cap, slot) std::array<char, (cap) + 1> name##_{};
  QUELLSO_UNIT_TEXT_MEMBERS(QUELLSO_FIELD)
#undef QUELLSO_FIELD
};

// The program's one record, in static storage and zero-filled before start-up.
extern UnitDataRecord UnitRecord;
