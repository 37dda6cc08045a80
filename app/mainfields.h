#pragma once

// The main window's 41 fields, one row each, in tab order.  The window is built from this
// table: its named edits (e<member>), their layout, the field map that ShowRecord and
// CollectRecord go through, the tab order, the default limits, the fields that can be typed
// in from the start, and the names a screen reader announces.  Adding or moving a field is
// one edit here.
//
// X(kind, member, caption, group, default limit, typed)
//   kind     the edit class: TMaskEdit for the masked fields, TEdit for the others
//   member   the record member shown (model/unitdatarecord.h); the edit is named e<member>
//   caption  the caption left of its row; the design-load rows share one caption for both
//            columns, and their fields are announced with their column ("Evaporator Passes")
//   group    where the field stands; within its group, rows go top to bottom in table order
//   limit    the most characters typed while the panel's lengths are not known
//   typed    editable from the start, and whatever Edit Data says; the others only while
//            Edit Data is on

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "model/unitdatarecord.h"

class TEdit;
class TMaskEdit;

#define QUELLSO_MAIN_WINDOW_FIELDS(X)                                                            \
  X(TMaskEdit, CommissionDate, "Commissioning Date", Order, 11, true)                            \
  X(TEdit, JobName, "Job Name", Order, 32, false)                                                \
  X(TEdit, JobLocation, "Job Location", Order, 32, false)                                        \
  X(TEdit, ModelNumber, "Model Number", Order, 256, false)                                       \
  X(TEdit, VarnOrderNumber, "Varn Order Number", Order, 16, false)                               \
  X(TEdit, PanelSerialNumber, "Panel Serial Number", Order, 16, true)                            \
  X(TMaskEdit, ChillerSerialNumber, "Chiller Serial Number", Order, 16, true)                    \
  X(TEdit, EvPasses, "Passes", Evaporator, 16, false)                                            \
  X(TEdit, EvDesignWorkingPressure, "Design Working Pressure", Evaporator, 16, false)            \
  X(TEdit, EvFoulingFactor, "Fouling Factor", Evaporator, 16, false)                             \
  X(TEdit, EvPressureDrop, "Pressure Drop", Evaporator, 16, false)                               \
  X(TEdit, EvNozzleIn, "Nozzle Arrangement (In)", Evaporator, 16, false)                         \
  X(TEdit, EvNozzleOut, "Nozzle Arrangement (Out)", Evaporator, 16, false)                       \
  X(TEdit, EvLeavingTemp, "Leaving Temperature", Evaporator, 16, false)                          \
  X(TEdit, EvReturnTemp, "Return Temperature", Evaporator, 16, false)                            \
  X(TEdit, EvGpm, "GPM", Evaporator, 16, false)                                                  \
  X(TEdit, EvTubeNo, "Tube Number", Evaporator, 16, false)                                       \
  X(TEdit, CdPasses, "Passes", Condenser, 16, false)                                             \
  X(TEdit, CdDesignWorkingPressure, "Design Working Pressure", Condenser, 16, false)             \
  X(TEdit, CdFoulingFactor, "Fouling Factor", Condenser, 16, false)                              \
  X(TEdit, CdPressureDrop, "Pressure Drop", Condenser, 16, false)                                \
  X(TEdit, CdNozzleIn, "Nozzle Arrangement (In)", Condenser, 16, false)                          \
  X(TEdit, CdNozzleOut, "Nozzle Arrangement (Out)", Condenser, 16, false)                        \
  X(TEdit, CdLeavingTemp, "Leaving Temperature", Condenser, 16, false)                           \
  X(TEdit, CdReturnTemp, "Return Temperature", Condenser, 16, false)                             \
  X(TEdit, CdGpm, "GPM", Condenser, 16, false)                                                   \
  X(TEdit, CdTubeNo, "Tube Number", Condenser, 16, false)                                        \
  X(TEdit, MotorCode, "Motor Code", Nameplate, 16, false)                                        \
  X(TEdit, Power, "Power (Volts)", Nameplate, 16, false)                                         \
  X(TEdit, Phases, "Phases", Nameplate, 16, false)                                               \
  X(TEdit, Frequency, "Frequency (Hz)", Nameplate, 16, false)                                    \
  X(TEdit, LockedRotorAmps, "Locked Rotor Amps", Nameplate, 16, false)                           \
  X(TEdit, FullLoadAmps, "Full Load Amps", Nameplate, 16, false)                                 \
  X(TEdit, InrushAmps, "Inrush Amps", Nameplate, 16, false)                                      \
  X(TEdit, Refrigerant, "Refrigerant", System, 16, false)                                        \
  X(TEdit, Tons, "Tons", System, 16, false)                                                      \
  X(TEdit, GearCode, "Gear Code", System, 16, false)                                             \
  X(TEdit, EvapLiquidType, "Liquid Type", System, 16, false)                                     \
  X(TEdit, BrinePercent, "Brine Percent", System, 16, false)                                     \
  X(TEdit, MotorType, "VSD/SSS/EM", System, 16, false)                                           \
  X(TEdit, KilowattsInput, "Kilowatts Input", System, 16, false)

// The groups: "Order Information" top left, "Design Load" bottom left in two columns
// (Evaporator left, Condenser right), "Nameplate Information" top right, "System
// Information" bottom right.
enum class TFieldGroup : std::uint8_t { Order, Evaporator, Condenser, Nameplate, System };
inline constexpr std::size_t kFieldGroupCount = 5;

struct TMainField {
  UnitMember member;
  const char* objectName;  // "e" and the member's name
  const char* caption;
  TFieldGroup group;
  int row;  // 0 for the first row of its group
  int defaultLimit;
  bool masked;
  bool typed;
};

inline constexpr std::size_t kMainFieldCount = kLastSlot;

inline constexpr std::array<TMainField, kMainFieldCount> kMainFields = [] {
  std::array<TMainField, kMainFieldCount> fields = {{
#define QUELLSO_MAIN_FIELD_ROW(kind, name, caption, group, limit, typed) \
  {UnitMember::name, "e" #name, caption, TFieldGroup::group, 0, limit, std::is_same_v<kind, TMaskEdit>, typed},
      QUELLSO_MAIN_WINDOW_FIELDS(QUELLSO_MAIN_FIELD_ROW)
#undef QUELLSO_MAIN_FIELD_ROW
  }};
  std::array<int, kFieldGroupCount> next{};
  for (TMainField& field : fields) field.row = next[static_cast<std::size_t>(field.group)]++;
  return fields;
}();
