#pragma once

// The check around Send Data, shared by the main window and quellso-tool: what a write will
// change, judged against the values read from the panel just before it (the as-found
// values), and whether the values read back afterwards are the ones asked for.  Both reads
// go into a TSlotValues (panel/panellink.h), never into the window's record.
//
// The panel pads a text with blanks to its length, so trailing blanks never make two values
// differ.  The date is compared by the date it stands for (the panel spells it its own way).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "panel/panellink.h"

class UnitDataRecord;

// The text without the blanks after its last other character.
std::string_view Unpadded(std::string_view text);

// Whether `panel` holds the value `value` of `slot`: slot 1 by the date the two texts give,
// the others byte for byte once the padding is set aside.
bool SameValue(int slot, std::string_view value, std::string_view panel);

// What the panel keeps of `value` for a slot of reported length `length`: the value cut to
// its first `length` characters (nothing for a length of 0), without padding.  Slot 1 keeps
// the date whole.
std::string KeptValue(int slot, std::string_view value, int length);

// ---- before writing ----

// One value the write will change: what the panel holds now (nothing when it did not answer
// the as-found read) and what it will hold.
struct TSlotChange {
  int slot = 0;
  std::optional<std::string> now;
  std::string toWrite;  // as the panel will keep it: cut to its length, without padding
};

struct TSendPlan {
  std::vector<TSlotChange> changes;  // every slot whose value will change, ascending
  std::vector<int> cut;              // values longer than their slot's length (1 or more)
  std::vector<int> emptied;          // non-empty values for a slot of length 0: written empty
  std::vector<int> unread;           // slots whose as-found value could not be read
  std::vector<int> serialsDiffer;    // the serial number slots (6, 7) where panel and record
                                     // both hold a value and the two differ
  int unchanged = 0;                 // slots written that keep their value
  bool allEmpty = false;             // every value to write is empty (blank)
};

// What writing the record's values of the slots `asked` (TSlotSet from WrittenSlots) in the
// link's lengths will do to a panel that held `asFound`.
TSendPlan PlanSend(const UnitDataRecord& record, const TSlotValues& asFound, const TPanelLink& link,
                   const TSlotSet& asked);

// Every one of the record's 41 values is blank: a write would empty the whole panel.
bool AllValuesEmpty(const UnitDataRecord& record);

// ---- after writing ----

enum class TReadBack {
  Same,       // reads back as asked
  Cut,        // reads back as the asked value cut to the slot's length
  Different,  // holds something else
  NoReply,    // the read-back got no reply for it
};

struct TSlotCheck {
  int slot = 0;
  TReadBack result = TReadBack::Same;
  int length = 0;                   // the slot's reported length (Cut: cut to this many)
  std::string asked;                // the value asked for, as the record holds it
  std::optional<std::string> read;  // what the panel sent back
};

// One slot: the value asked, what was read back, the slot's reported length.
TReadBack CheckReadBack(int slot, std::string_view asked, const std::optional<std::string>& read, int length);

// The slots of `asked` whose read-back (`read`) is not the record's value, ascending.
std::vector<TSlotCheck> CompareReadBack(const UnitDataRecord& record, const TSlotValues& read, const TPanelLink& link,
                                        const TSlotSet& asked);

// Why a slot differs: "cut to 16 characters", "holds something else" or "no reply".
std::string ReadBackReason(const TSlotCheck& check);
