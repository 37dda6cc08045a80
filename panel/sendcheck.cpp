#include "panel/sendcheck.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "model/unitdatarecord.h"

namespace {

constexpr int kPanelSerialSlot = 6;
constexpr int kChillerSerialSlot = 7;

std::array<std::uint8_t, 4> PackedDate(std::string_view text) {
  UnitDataRecord record{};
  record.SetCommissionDate(text);
  return record.PackedCommissionDateBytes();
}

}  // namespace

std::string_view Unpadded(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

bool SameValue(int slot, std::string_view value, std::string_view panel) {
  if (slot == kFirstSlot) return PackedDate(value) == PackedDate(panel);
  return Unpadded(value) == Unpadded(panel);
}

std::string KeptValue(int slot, std::string_view value, int length) {
  if (slot == kFirstSlot) return std::string(value);
  const std::size_t width = length > 0 ? static_cast<std::size_t>(length) : 0;
  return std::string(Unpadded(value.substr(0, std::min(width, value.size()))));
}

TSendPlan PlanSend(const UnitDataRecord& record, const TSlotValues& asFound, const TPanelLink& link,
                   const TSlotSet& asked) {
  TSendPlan plan;
  plan.allEmpty = AllValuesEmpty(record);
  for (const int slot : SlotNumbers(asked)) {
    const std::string_view value = record.SlotText(slot);
    const int length = link.FieldLength(slot);
    const std::string kept = KeptValue(slot, value, length);
    if (slot != kFirstSlot && Unpadded(value).size() > kept.size())
      (length > 0 ? plan.cut : plan.emptied).push_back(slot);
    const std::optional<std::string>& now = asFound[slot];
    if (!now) plan.unread.push_back(slot);
    if (now && SameValue(slot, kept, *now))
      ++plan.unchanged;
    else
      plan.changes.push_back({slot, now, kept});
  }
  for (const int slot : {kPanelSerialSlot, kChillerSerialSlot}) {
    const std::optional<std::string>& now = asFound[slot];
    const std::string_view mine = Unpadded(record.SlotText(slot));
    if (now && !Unpadded(*now).empty() && !mine.empty() && Unpadded(*now) != mine)
      plan.serialsDiffer.push_back(slot);
  }
  return plan;
}

bool AllValuesEmpty(const UnitDataRecord& record) {
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
    if (!Unpadded(record.SlotText(slot)).empty()) return false;
  return true;
}

TReadBack CheckReadBack(int slot, std::string_view asked, const std::optional<std::string>& read, int length) {
  if (!read) return TReadBack::NoReply;
  if (SameValue(slot, asked, *read)) return TReadBack::Same;
  if (slot != kFirstSlot && Unpadded(asked).size() > static_cast<std::size_t>(std::max(length, 0)) &&
      Unpadded(*read) == KeptValue(slot, asked, length))
    return TReadBack::Cut;
  return TReadBack::Different;
}

std::vector<TSlotCheck> CompareReadBack(const UnitDataRecord& record, const TSlotValues& read, const TPanelLink& link,
                                        const TSlotSet& asked) {
  std::vector<TSlotCheck> out;
  for (const int slot : SlotNumbers(asked)) {
    TSlotCheck check{slot, TReadBack::Same, link.FieldLength(slot), record.SlotText(slot), read[slot]};
    check.result = CheckReadBack(slot, check.asked, check.read, check.length);
    if (check.result != TReadBack::Same) out.push_back(std::move(check));
  }
  return out;
}

std::string ReadBackReason(const TSlotCheck& check) {
  switch (check.result) {
    case TReadBack::Same:
      return "as written";
    case TReadBack::Cut:
      return "cut to " + std::to_string(check.length) + (check.length == 1 ? " character" : " characters");
    case TReadBack::Different:
      return "holds something else";
    case TReadBack::NoReply:
      return "no reply";
  }
  return {};
}
