// The check around Send Data: what a write will change, and whether what was read back is
// what was asked for.

#include "panel/sendcheck.h"

#include <gtest/gtest.h>

#include "model/unitdatarecord.h"
#include "tests/panel/memoryport.h"

namespace {

struct ReadBackCase {
  const char* name;
  int slot;
  const char* asked;
  std::optional<std::string> read;
  int length;
  TReadBack result;
  const char* reason;
};

const ReadBackCase kReadBackCases[] = {
    {"Equal", 9, "500", "500", 16, TReadBack::Same, "as written"},
    {"ThePanelsPaddingIsIgnored", 9, "500", "500             ", 16, TReadBack::Same, "as written"},
    {"PaddingAskedIsIgnoredToo", 9, "500  ", "500", 16, TReadBack::Same, "as written"},
    {"LeadingBlanksCount", 9, "500", " 500", 16, TReadBack::Different, "holds something else"},
    {"CutToTheLength", 9, "12345678901234567890ABC", "1234567890123456", 16, TReadBack::Cut, "cut to 16 characters"},
    {"CutToOne", 9, "AB", "A", 1, TReadBack::Cut, "cut to 1 character"},
    {"ALengthOfZeroKeepsNothing", 9, "500", "", 0, TReadBack::Cut, "cut to 0 characters"},
    {"ShortEnoughButDifferent", 9, "500", "50", 16, TReadBack::Different, "holds something else"},
    {"LongerButNotItsStart", 9, "12345678901234567890", "1234567890123457", 16, TReadBack::Different,
     "holds something else"},
    {"NoReply", 9, "500", std::nullopt, 16, TReadBack::NoReply, "no reply"},
    {"EmptyAskedEmptyRead", 9, "", "                ", 16, TReadBack::Same, "as written"},
    {"TheDateByWhatItStandsFor", 1, "03 FEB 2003", "03 feb 2003", 11, TReadBack::Same, "as written"},
    {"AnotherDate", 1, "03 FEB 2003", "04 FEB 2003", 11, TReadBack::Different, "holds something else"},
};

class ReadBack : public testing::TestWithParam<ReadBackCase> {};

TEST_P(ReadBack, IsJudgedAgainstTheValueAsked) {
  const ReadBackCase& c = GetParam();
  EXPECT_EQ(CheckReadBack(c.slot, c.asked, c.read, c.length), c.result);
  const TSlotCheck check{c.slot, c.result, c.length, c.asked, c.read};
  EXPECT_EQ(ReadBackReason(check), c.reason);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadBack, testing::ValuesIn(kReadBackCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A link whose panel reported `length` for every slot but those of `lengths`.
class WithLengths {
 public:
  WithLengths(int length, std::initializer_list<std::pair<int, int>> lengths = {}) {
    link.SetPort(&port);
    link.BeginTransfer(TTransferKind::Lengths, AllSlots());
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
      int l = length;
      for (const auto& [s, n] : lengths)
        if (s == slot) l = n;
      port.Feed(LengthReply(slot, l));
    }
    link.ReadReplies();
  }
  UnitDataRecord record{};
  TPanelLink link{record};
  MemoryPort port;
};

TEST(CompareReadBack, NamesEachSlotThatDiffersAndWhy) {
  WithLengths panel(16, {{7, 0}});
  UnitDataRecord asked{};
  asked.SetCommissionDate("03 FEB 2003");
  asked.SetJobName("Plant 4");
  asked.SetTons("12345678901234567890ABC");
  asked.SetChillerSerialNumber("C-1");
  TSlotValues read;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) read.Set(slot, "");
  read.Set(1, "03 FEB 2003");
  read.Set(2, "Plant 4         ");
  read.Set(9, "1234567890123456");
  read.Set(7, "");
  read.Set(12, "left over");
  const auto checks = CompareReadBack(asked, read, panel.link, AllSlots());
  ASSERT_EQ(checks.size(), 3u);
  EXPECT_EQ(checks[0].slot, 7);
  EXPECT_EQ(ReadBackReason(checks[0]), "cut to 0 characters");
  EXPECT_EQ(checks[1].slot, 9);
  EXPECT_EQ(ReadBackReason(checks[1]), "cut to 16 characters");
  EXPECT_EQ(checks[1].asked, "12345678901234567890ABC");
  EXPECT_EQ(checks[2].slot, 12);
  EXPECT_EQ(ReadBackReason(checks[2]), "holds something else");

  TSlotSet some;
  some.set(2);
  some.set(3);
  TSlotValues none;
  const auto silent = CompareReadBack(asked, none, panel.link, some);
  ASSERT_EQ(silent.size(), 2u);
  EXPECT_EQ(ReadBackReason(silent[1]), "no reply");
}

TEST(PlanSend, ListsWhatWillChangeBeCutBeEmptiedAndCouldNotBeRead) {
  WithLengths panel(16, {{3, 4}, {5, 0}});
  UnitDataRecord record{};
  record.SetJobName("Plant 4");          // changes
  record.SetJobLocation("Harbour");      // cut to "Harb"
  record.SetVarnOrderNumber("V-1");      // length 0: written empty
  record.SetTons("500");                 // unchanged (padding)
  record.SetPanelSerialNumber("P-9");    // differs from the panel's
  TSlotValues asFound;
  for (int slot = 2; slot <= kLastSlot; ++slot) asFound.Set(slot, "");
  asFound.Set(2, "Old job");
  asFound.Set(3, "Harb");
  asFound.Set(9, "500             ");
  asFound.Set(6, "P-1");
  TSlotSet asked = AllSlots();
  asked.reset(1);  // a blank date is not written
  asFound.Set(41, "");

  const TSendPlan plan = PlanSend(record, asFound, panel.link, asked);
  ASSERT_EQ(plan.changes.size(), 2u);
  EXPECT_EQ(plan.changes[0].slot, 2);
  EXPECT_EQ(plan.changes[0].now, std::optional<std::string>("Old job"));
  EXPECT_EQ(plan.changes[0].toWrite, "Plant 4");
  EXPECT_EQ(plan.changes[1].slot, 6);
  EXPECT_EQ(plan.cut, std::vector<int>{3});
  EXPECT_EQ(plan.emptied, std::vector<int>{5});
  EXPECT_EQ(plan.unread, std::vector<int>{});
  EXPECT_EQ(plan.serialsDiffer, std::vector<int>{6});
  EXPECT_EQ(plan.unchanged, 38);
  EXPECT_FALSE(plan.allEmpty);

  UnitDataRecord empty{};
  TSlotValues unread;
  const TSendPlan blank = PlanSend(empty, unread, panel.link, asked);
  EXPECT_TRUE(blank.allEmpty);
  EXPECT_EQ(blank.unread.size(), 40u);
  EXPECT_EQ(blank.changes.size(), 40u);  // what was not read cannot be shown unchanged
  EXPECT_TRUE(blank.serialsDiffer.empty());
}

}  // namespace
