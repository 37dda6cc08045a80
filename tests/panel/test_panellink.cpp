// TPanelLink over an in-memory port: the requests it builds, byte for byte; the read pass fed
// in every kind of split; the decoding, counting and outcomes of replies; the length query;
// the write-error texts.

#include "panel/panellink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "panel/pacing.h"
#include "panel/transfers.h"
#include "tests/panel/memoryport.h"
#include "tests/panel/test_panellink_support.h"

namespace {

using Events = std::vector<std::string>;

TSlotSet Slots(std::initializer_list<int> numbers) {
  TSlotSet out;
  for (const int n : numbers) out.set(static_cast<std::size_t>(n));
  return out;
}
TSlotSet SlotRange(int from, int to) {
  TSlotSet out;
  for (int n = from; n <= to; ++n) out.set(static_cast<std::size_t>(n));
  return out;
}

class PanelLinkTest : public testing::Test {
 protected:
  PanelLinkTest() {
    link.SetPort(&port);
    link.SetOwner(&owner);
  }

  // What the receiving side does on each character-received event: passes until one says no
  // complete frame.  Returns the frames processed.
  int Pass() {
    int frames = 0;
    while (link.ReadPass()) {
      link.ProcessFrame();
      ++frames;
    }
    return frames;
  }
  // Passes until the queue is empty (noise after a frame ends a pass early).
  int Drain() {
    int frames = 0;
    for (int guard = 0; guard < 100000 && !port.input.empty(); ++guard) frames += Pass();
    return frames;
  }
  void SetLength(std::uint8_t slot, std::uint8_t length) {
    link.BeginTransfer(TTransferKind::Lengths, Slots({slot}));
    port.Feed(LengthReply(slot, length));
    Drain();
    owner.events.clear();
  }
  void ExpectValues() { link.BeginTransfer(TTransferKind::Values, AllSlots()); }
  void ExpectLengths() { link.BeginTransfer(TTransferKind::Lengths, AllSlots()); }
  std::string Built() const { return ToHex(ToBytes(link.TransmitFrame())); }

  UnitDataRecord record;
  TPanelLink link{record};
  MemoryPort port;
  RecordingOwner owner;
};

// ---- requests ----

TEST_F(PanelLinkTest, BuildsTheWorkedRequestsByteForByte) {
  link.BuildUnitFrame(kEnglishUnits);
  EXPECT_EQ(Built(), "02 80 80 00 82 80 03");
  EXPECT_EQ(link.OutgoingMessage().checksum, 0x8082);
  link.BuildUnitFrame(kMetricUnits);
  EXPECT_EQ(Built(), "02 80 80 01 82 81 03");
  link.BuildReadRequest(kFieldObjectType, 1, kValueProperty);
  EXPECT_EQ(Built(), "02 82 81 0A 01 00 00 88 82 03");
  link.BuildReadRequest(kFieldObjectType, 2, kLengthProperty);
  EXPECT_EQ(Built(), "02 82 82 0A 10 82 10 83 00 89 80 03");

  SetLength(9, 5);
  record.SetTons("500");
  EXPECT_TRUE(link.BuildWriteRequest(kFieldObjectType, 9));
  EXPECT_EQ(Built(), "02 84 89 0A 09 00 00 07 05 35 30 30 20 20 97 AC 03");
  const TPanelMessage& out = link.OutgoingMessage();
  EXPECT_EQ(out.code, kWriteRequestCommand);
  EXPECT_EQ(out.slot, 9);
  EXPECT_EQ(out.length, 11u);
  EXPECT_EQ(out.checksum, 0xAC97);
  EXPECT_EQ(out.start, kStx);
  EXPECT_EQ(out.end, kEtx);
}

TEST_F(PanelLinkTest, EscapesSlotsTwoThreeAndSixteenInThePayloadOnly) {
  SetLength(2, 3);
  SetLength(3, 16);
  SetLength(16, 2);
  record.SetJobName("Job");
  record.SetJobLocation("Site");
  record.SetPower("460");  // cut to the reported 2
  link.BuildWriteRequest(kFieldObjectType, 2);
  EXPECT_EQ(Built(), "02 84 82 0A 10 82 00 00 07 10 83 4A 6F 62 FB B4 03");
  link.BuildWriteRequest(kFieldObjectType, 3);
  EXPECT_EQ(Built(), "02 84 83 0A 10 83 00 00 07 10 90 53 69 74 65 20 20 20 20 20 20 20 20 20 20 20 20 BA 8A 03");
  link.BuildWriteRequest(kFieldObjectType, 16);
  EXPECT_EQ(Built(), "02 84 90 0A 10 90 00 00 07 10 82 34 36 BA B1 03");
  link.BuildReadRequest(kFieldObjectType, 3, kLengthProperty);
  EXPECT_EQ(Built(), "02 82 83 0A 10 83 10 83 00 88 81 03");
  link.BuildReadRequest(kFieldObjectType, 16, kLengthProperty);
  EXPECT_EQ(Built(), "02 82 90 0A 10 90 10 83 00 9B 92 03");
}

TEST_F(PanelLinkTest, WritesTheDateAsItsPackedBytesEscapedWhereNeeded) {
  record.SetCommissionDate("03 FEB 2003");  // 103 goes as it is; 2 and 3 are escaped
  EXPECT_TRUE(link.BuildWriteRequest(kFieldObjectType, 1));
  EXPECT_EQ(Built(), "02 84 81 0A 01 00 00 20 67 10 82 10 83 00 E4 AE 03");
  EXPECT_EQ(ToHex(Bytes(link.OutgoingMessage().payload.begin(), link.OutgoingMessage().payload.begin() + 9)),
            "0A 01 00 00 20 67 02 03 00");
  record.SetCommissionDate("16 MAR 1999");  // day 16 is a DLE
  link.BuildWriteRequest(kFieldObjectType, 1);
  EXPECT_EQ(ToHex(ToBytes(link.TransmitFrame().subspan(8, 5))), "63 10 83 10 90");
}

struct TextWidthCase {
  const char* name;
  const char* text;
  std::uint8_t width;
  const char* value;  // the value bytes after data type 7, hex
};

const TextWidthCase kTextWidthCases[] = {
    {"ShorterIsPaddedWithSpaces", "AB", 4, "04 41 42 20 20"},
    {"LongerIsCutToTheWidth", "ABCDEF", 3, "10 83 41 42 43"},
    {"ExactWidthGoesWhole", "ABCD", 4, "04 41 42 43 44"},
    {"NoReportedLengthSendsAnEmptyText", "ABCD", 0, "00"},
    {"EmptyTextIsAllSpaces", "", 2, "10 82 20 20"},
};

class TextWidthTest : public PanelLinkTest, public testing::WithParamInterface<TextWidthCase> {};

TEST_P(TextWidthTest, SetsTheTextInExactlyTheReportedLength) {
  const TextWidthCase& c = GetParam();
  if (c.width != 0) SetLength(8, c.width);
  record.SetRefrigerant(c.text);
  ASSERT_TRUE(link.BuildWriteRequest(kFieldObjectType, 8));
  const Bytes frame = ToBytes(link.TransmitFrame());
  // STX, header, 0A 08 00 00 07, then the value, then checksum and ETX.
  EXPECT_EQ(ToHex(Bytes(frame.begin() + 3, frame.begin() + 8)), "0A 08 00 00 07");
  EXPECT_EQ(ToHex(Bytes(frame.begin() + 8, frame.end() - 3)), c.value);
  EXPECT_TRUE(FrameChecksumHolds(frame));
}

INSTANTIATE_TEST_SUITE_P(Widths, TextWidthTest, testing::ValuesIn(kTextWidthCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PanelLinkTest, AWriteThatCannotFitTheTransmitBufferLeavesNothingToSend) {
  SetLength(4, 255);
  record.SetModelNumber(std::string(69, '\x10'));  // 69 characters that all need escaping
  EXPECT_FALSE(link.BuildWriteRequest(kFieldObjectType, 4));
  EXPECT_TRUE(link.TransmitFrame().empty());
  link.SendFrame();
  EXPECT_TRUE(port.frames.empty());
  record.SetModelNumber(std::string(69, 'M'));  // 12 + 255 bytes fit
  EXPECT_TRUE(link.BuildWriteRequest(kFieldObjectType, 4));
  EXPECT_EQ(link.TransmitFrame().size(), 267u);
}

TEST_F(PanelLinkTest, SendFrameWritesTheWholeFrameInOneWrite) {
  link.SendFrame();  // nothing built yet
  EXPECT_TRUE(port.frames.empty());
  link.BuildReadRequest(kFieldObjectType, 2, kLengthProperty);
  link.SendFrame();
  ASSERT_EQ(port.frames.size(), 1u);
  EXPECT_EQ(ToHex(port.frames[0]), "02 82 82 0A 10 82 10 83 00 89 80 03");
  port.open = false;  // a closed port loses the frame without notice
  link.SendFrame();
  EXPECT_EQ(port.frames.size(), 1u);
  link.SetPort(nullptr);
  link.SendFrame();
  EXPECT_FALSE(link.ReadPass());
}

// ---- the read pass ----

// 41 text replies with noise between some of them, as one stream.
Bytes FullReplyStream() {
  Bytes stream;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    const std::string text = slot == 1 ? "07 DEC 1999" : "V" + std::to_string(slot);
    const Bytes reply = TextReply(static_cast<std::uint8_t>(slot), text);
    stream.insert(stream.end(), reply.begin(), reply.end());
    if (slot % 7 == 0) {
      const Bytes noise = Hex("41 03 10 FF 00 03");  // no STX among them
      stream.insert(stream.end(), noise.begin(), noise.end());
    }
  }
  return stream;
}

void ExpectAllFieldsReceived(const UnitDataRecord& record, const RecordingOwner& owner) {
  EXPECT_STREQ(record.CommissionDate(), "07 DEC 1999");
  EXPECT_EQ(record.PackedCommissionDate(), 99u | 12u << 8 | 7u << 16);
  for (int slot = 2; slot <= kSlotCount; ++slot)
    EXPECT_EQ(std::string(record.SlotText(slot)), "V" + std::to_string(slot)) << "slot " << slot;
  EXPECT_EQ(owner.Without("arrived"), Events{"all received"});
  EXPECT_EQ(owner.events.size(), 42u);
}

TEST_F(PanelLinkTest, ReadsAStreamDeliveredAllAtOnce) {
  ExpectValues();
  port.Feed(FullReplyStream());
  EXPECT_EQ(Drain(), kSlotCount);
  EXPECT_EQ(link.ReplyCount(), kSlotCount);
  ExpectAllFieldsReceived(record, owner);
}

TEST_F(PanelLinkTest, ReadsAStreamDeliveredOneByteAtATime) {
  ExpectValues();
  for (const std::uint8_t b : FullReplyStream()) {
    port.Feed({b});
    Drain();
  }
  ExpectAllFieldsReceived(record, owner);
}

TEST_F(PanelLinkTest, ReadsAStreamDeliveredInRandomSplits) {
  for (const unsigned seed : {1u, 2u, 3u, 42u, 2003u}) {
    UnitDataRecord fresh;
    TPanelLink other(fresh);
    MemoryPort other_port;
    RecordingOwner other_owner;
    other.SetPort(&other_port);
    other.SetOwner(&other_owner);
    other.BeginTransfer(TTransferKind::Values, AllSlots());
    std::mt19937 random(seed);
    const Bytes stream = FullReplyStream();
    for (std::size_t at = 0; at < stream.size();) {
      const std::size_t n = std::min<std::size_t>(stream.size() - at, 1 + random() % 40);
      other_port.Feed(Bytes(stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(at + n)));
      at += n;
      for (int guard = 0; guard < 1000 && !other_port.input.empty(); ++guard)
        while (other.ReadPass()) other.ProcessFrame();
    }
    SCOPED_TRACE("seed " + std::to_string(seed));
    ExpectAllFieldsReceived(fresh, other_owner);
  }
}

TEST_F(PanelLinkTest, AFrameSplitAcrossPassesCompletesInTheLaterPass) {
  ExpectLengths();
  const Bytes reply = LengthReply(9, 16);
  port.Feed(Bytes(reply.begin(), reply.begin() + 4));
  EXPECT_FALSE(link.ReadPass());
  EXPECT_EQ(link.Receiver().state(), TFrameReceiver::State::InFrame);
  port.Feed(Bytes(reply.begin() + 4, reply.end()));
  EXPECT_TRUE(link.ReadPass());
  EXPECT_TRUE(link.ProcessFrame());
  EXPECT_EQ(link.FieldLength(9), 16);
}

TEST_F(PanelLinkTest, AByteRightAfterAFrameEndsThePass) {
  ExpectLengths();
  const Bytes second = LengthReply(10, 12);
  port.Feed(Join({LengthReply(9, 16), Hex("55 66"), second}));
  EXPECT_TRUE(link.ReadPass());  // stops right after the first frame's ETX
  EXPECT_EQ(port.input.size(), 2 + second.size());
  EXPECT_TRUE(link.ProcessFrame());
  EXPECT_FALSE(link.ReadPass());  // the 55 is discarded while the latch is set: the pass ends
  EXPECT_EQ(port.input.size(), 1 + second.size());
  EXPECT_FALSE(link.ReadPass());  // so does the 66: the latch stays set until the next STX
  EXPECT_EQ(port.input.size(), second.size());
  EXPECT_TRUE(link.ReadPass());
  EXPECT_TRUE(link.ProcessFrame());
  EXPECT_EQ(link.FieldLength(9), 16);
  EXPECT_EQ(link.FieldLength(10), 12);
}

// ReadReplies, what the character-received handler runs: one call reads every byte that was
// waiting, however many read passes the stray bytes between the frames take.
struct StrayCase {
  const char* name;
  Bytes before;  // ahead of the first reply (after a frame that set the latch)
  Bytes after;   // after every reply
};

const StrayCase kStrayCases[] = {
    {"ACrAfterEachReply", {}, Hex("0D")},
    {"ACrLfAfterEachReply", {}, Hex("0D 0A")},
    {"NoiseAfterEachReply", {}, Hex("41 03 10 FF 00 03 83")},
    {"NoiseOnTheIdleLineFirst", Hex("55 0D 0A 00 FF 03 10 7F 80"), {}},
};

class ReadReplies : public PanelLinkTest, public testing::WithParamInterface<StrayCase> {};

TEST_P(ReadReplies, ReadsEveryByteThatWasWaitingInOneCall) {
  SetLength(1, 11);  // a frame before: the latch is set
  ExpectValues();
  Bytes stream = GetParam().before;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    const std::string text = slot == 1 ? "07 DEC 1999" : "V" + std::to_string(slot);
    stream = Join({stream, TextReply(static_cast<std::uint8_t>(slot), text), GetParam().after});
  }
  port.Feed(stream);
  link.ReadReplies();
  EXPECT_TRUE(port.input.empty()) << port.input.size() << " bytes left";
  EXPECT_EQ(link.ReplyCount(), kSlotCount);
  ExpectAllFieldsReceived(record, owner);
}

INSTANTIATE_TEST_SUITE_P(Streams, ReadReplies, testing::ValuesIn(kStrayCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A port whose queue grows while it is read, as a line does that keeps delivering.
class GrowingPort : public MemoryPort {
 public:
  std::int32_t Read(char* buffer, unsigned long count) override {
    Feed({0x0D});
    return MemoryPort::Read(buffer, count);
  }
};

TEST_F(PanelLinkTest, ReadRepliesLeavesWhatArrivesMeanwhileToTheNextEvent) {
  GrowingPort growing;
  link.SetPort(&growing);
  ExpectLengths();
  const Bytes reply = LengthReply(9, 16);
  growing.Feed(Join({reply, Hex("0D 0D 0D")}));
  link.ReadReplies();  // one CR arrives per byte read: a pass that never ran dry would not end
  EXPECT_EQ(link.FieldLength(9), 16);
  EXPECT_EQ(growing.input.size(), reply.size() + 3);
  growing.open = false;
  link.ReadReplies();  // a closed port reads nothing
  EXPECT_EQ(growing.input.size(), reply.size() + 3);
  link.SetPort(nullptr);
  link.ReadReplies();
}

TEST_F(PanelLinkTest, AnOverlongFrameIsDiscardedAndTheNextFrameRead) {
  Bytes overlong{kStx};
  overlong.insert(overlong.end(), 400, 'A');
  ExpectLengths();
  port.Feed(Join({overlong, LengthReply(9, 16)}));
  EXPECT_EQ(Drain(), 1);
  EXPECT_EQ(link.FieldLength(9), 16);
  EXPECT_EQ(link.ReplyCount(), 1);
  EXPECT_EQ(link.BadFrames(), 0);  // never completed: it overflowed the buffer
}

TEST_F(PanelLinkTest, ReadsNothingWhileThePortIsClosed) {
  ExpectLengths();
  port.Feed(LengthReply(9, 16));
  port.open = false;
  EXPECT_FALSE(link.ReadPass());
  EXPECT_EQ(port.input.size(), LengthReply(9, 16).size());
  port.open = true;
  EXPECT_EQ(Drain(), 1);
}

TEST_F(PanelLinkTest, NoiseBeforeAnyFrameDoesNotEndThePass) {
  port.Feed(Join({Hex("41 42 43"), LengthReply(9, 16)}));
  EXPECT_TRUE(link.ReadPass());  // hunting with the latch clear: the noise is just dropped
  EXPECT_TRUE(port.input.empty());
}

// A port that reports fewer waiting bytes than it holds, as a queue does that fills while
// the pass runs.
class LaggingPort : public MemoryPort {
 public:
  std::int32_t InQueCount() override { return std::min<std::int32_t>(MemoryPort::InQueCount(), 3); }
};

TEST_F(PanelLinkTest, ReadsOnlyAsManyBytesAsWereWaitingWhenThePassBegan) {
  LaggingPort lagging;
  link.SetPort(&lagging);
  ExpectLengths();
  const Bytes reply = LengthReply(9, 16);
  lagging.Feed(reply);
  int passes = 0;
  while (!link.ReadPass()) {
    ++passes;
    ASSERT_EQ(lagging.input.size(), reply.size() - 3 * static_cast<std::size_t>(passes));
  }
  EXPECT_EQ(passes, 2);  // 9 bytes: two passes of 3 end in nothing, the third completes it
  EXPECT_TRUE(link.ProcessFrame());
  EXPECT_EQ(link.FieldLength(9), 16);
}

TEST_F(PanelLinkTest, ALowBitChangedAnywhereDropsTheFrame) {
  const Bytes good = LengthReply(9, 16);
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (int bit = 0; bit < 7; ++bit) {
      UnitDataRecord fresh;
      TPanelLink other(fresh);
      MemoryPort other_port;
      RecordingOwner other_owner;
      other.SetPort(&other_port);
      other.SetOwner(&other_owner);
      other.BeginTransfer(TTransferKind::Lengths, AllSlots());
      Bytes bad = good;
      bad[at] ^= static_cast<std::uint8_t>(1u << bit);
      other_port.Feed(bad);
      for (int guard = 0; guard < 10 && !other_port.input.empty(); ++guard)
        while (other.ReadPass()) EXPECT_FALSE(other.ProcessFrame());
      EXPECT_EQ(other.ReplyCount(), 0) << "byte " << at << " bit " << bit;
      EXPECT_LE(other.IgnoredFrames() + other.BadFrames(), 1);  // an ETX changed completes none
      EXPECT_EQ(other.FieldLength(9), 0);
      EXPECT_TRUE(other_owner.events.empty());
    }
  }
}

TEST_F(PanelLinkTest, ATopBitChangedAlonePassesTheCheck) {
  const Bytes good = Hex("02 83 89 00 10 90 9B 93 03");  // length 16 for slot 9
  struct Flip {
    std::size_t at;
    int length;  // the length then stored
    bool counted;
  };
  // Slot header, data type, the DLE, the escaped byte, both checksum bytes.  (The kind byte
  // without its top bit would be an ETX, which ends the frame early.)  A data type of 0x80
  // is no length reply, so it passes the check and is not counted.
  for (const Flip flip : {Flip{2, 16, true}, Flip{3, 0, false}, Flip{4, 144, true}, Flip{5, 16, true},
                          Flip{6, 16, true}, Flip{7, 16, true}}) {
    UnitDataRecord fresh;
    TPanelLink other(fresh);
    MemoryPort other_port;
    other.SetPort(&other_port);
    other.BeginTransfer(TTransferKind::Lengths, AllSlots());
    Bytes changed = good;
    changed[flip.at] ^= kTopBit;
    other_port.Feed(changed);
    ASSERT_TRUE(other.ReadPass());
    EXPECT_EQ(other.ProcessFrame(), flip.counted) << "byte " << flip.at;
    EXPECT_EQ(other.ReplyCount(), flip.counted ? 1 : 0) << "byte " << flip.at;
    EXPECT_EQ(other.FieldLength(9), flip.length) << "byte " << flip.at;
  }
}

// ---- replies: kinds, data types, counting, outcomes ----

TEST_F(PanelLinkTest, TheFortyFirstReadReplyReportsAllDataReceivedOnce) {
  ExpectValues();
  for (int slot = 1; slot <= 43; ++slot)
    port.Feed(TextReply(static_cast<std::uint8_t>(slot <= 41 ? slot : 9), "x"));
  Drain();
  EXPECT_EQ(link.ReplyCount(), 41);
  EXPECT_EQ(owner.Without("arrived"), Events{"all received"});
  EXPECT_EQ(owner.events.size(), 42u);
  EXPECT_EQ(owner.events[41], "all received");  // right after the 41st arrival
  EXPECT_EQ(link.State(), TTransferState::Complete);
  EXPECT_EQ(link.IgnoredFrames(), 2);
  EXPECT_FALSE(link.LengthsKnown());
}

TEST_F(PanelLinkTest, TheFortyFirstReplyOfALengthQuerySetsLengthsKnownInstead) {
  ExpectLengths();
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    EXPECT_FALSE(link.LengthsKnown());
    port.Feed(LengthReply(static_cast<std::uint8_t>(slot), static_cast<std::uint8_t>(slot + 1)));
    Drain();
  }
  EXPECT_TRUE(link.LengthsKnown());
  EXPECT_EQ(owner.Without("arrived"), Events{});
  for (int slot = 1; slot <= kSlotCount; ++slot) EXPECT_EQ(link.FieldLength(slot), slot + 1);
  // Once known, the lengths stay known; a later reply overwrites one entry.
  link.BeginTransfer(TTransferKind::Lengths, Slots({5}));
  port.Feed(LengthReply(5, 99));
  Drain();
  EXPECT_TRUE(link.LengthsKnown());
  EXPECT_EQ(link.FieldLength(5), 99);
}

// One panel (or line noise forming valid frames) answering every request as the same slot
// completes nothing: only the first reply for an asked slot counts.
TEST_F(PanelLinkTest, OnlyTheFirstReplyForAnAskedSlotCounts) {
  ExpectValues();
  for (int i = 0; i < kSlotCount; ++i) port.Feed(TextReply(2, "same " + std::to_string(i)));
  EXPECT_EQ(Drain(), 41);  // read, one counted
  EXPECT_STREQ(record.JobName(), "same 0");
  EXPECT_EQ(link.ReplyCount(), 1);
  EXPECT_EQ(owner.Without("arrived"), Events{});
  EXPECT_EQ(link.State(), TTransferState::Running);
  EXPECT_EQ(link.MissingSlots(), AllSlots() & ~Slots({2}));
  EXPECT_EQ(link.IgnoredFrames(), 40);
}

// A refusal ends the transfer: nothing more is reported, but the replies to the frames
// already sent still tell which slots were written and which refused.
TEST_F(PanelLinkTest, ARefusedWriteEndsTheTransferAndKeepsWhatWasWritten) {
  link.BeginTransfer(TTransferKind::Writes, SlotRange(2, 41));  // a blank date: slots 2..41 only
  EXPECT_EQ(link.ReplyCount(), 1);
  for (int slot = 2; slot <= 9; ++slot)
    port.Feed(WriteReply(static_cast<std::uint8_t>(slot), slot == 5 || slot == 8 ? 132 : 0));
  Drain();
  EXPECT_EQ(owner.Without("arrived"), Events{"rejected 5 132"});
  EXPECT_EQ(owner.Count("arrived"), 4);  // 2, 3, 4 and the refusal
  EXPECT_EQ(link.State(), TTransferState::Rejected);
  EXPECT_EQ(link.AnsweredSlots(), Slots({2, 3, 4, 6, 7, 9}));
  EXPECT_EQ(link.RefusedSlots(), Slots({5, 8}));
  EXPECT_EQ(link.MissingSlots(), SlotRange(5, 41) & ~Slots({6, 7, 9}));
  port.Feed(Join({WriteReply(5, 0), WriteReply(42, 0), WriteReply(9, 0)}));  // nothing new
  Drain();
  EXPECT_EQ(link.IgnoredFrames(), 3);
  EXPECT_EQ(owner.Without("arrived"), Events{"rejected 5 132"});
  EXPECT_EQ(link.ReplyCount(), 7);
}

TEST_F(PanelLinkTest, AnAbandonedTransferIgnoresLateRepliesAndKnowsWhatIsMissing) {
  link.BeginTransfer(TTransferKind::Values, Slots({3, 7, 9}));
  port.Feed(TextReply(7, "in time"));
  Drain();
  link.AbandonTransfer();
  port.Feed(TextReply(9, "late"));
  Drain();
  EXPECT_EQ(link.State(), TTransferState::Abandoned);
  EXPECT_EQ(link.MissingSlots(), Slots({3, 9}));
  EXPECT_STREQ(record.Tons(), "");
  // Asked again for the missing slots alone, they complete it.
  link.BeginTransfer(TTransferKind::Values, link.MissingSlots());
  EXPECT_EQ(link.ReplyCount(), 39);
  port.Feed(Join({TextReply(9, "500"), TextReply(3, "Site")}));
  Drain();
  EXPECT_EQ(owner.Without("arrived"), Events{"all received"});
  EXPECT_STREQ(record.Tons(), "500");
}

TEST_F(PanelLinkTest, ATransferIntoSlotValuesLeavesTheRecordAlone) {
  record.SetJobName("window");
  TSlotValues read;
  link.BeginTransfer(TTransferKind::Values, AllSlots(), &read);
  port.Feed(Join({TextReply(2, "panel"), TextReply(1, "03 FEB 2003")}));
  Drain();
  EXPECT_STREQ(record.JobName(), "window");
  EXPECT_EQ(read[2], std::optional<std::string>("panel"));
  EXPECT_EQ(read[1], std::optional<std::string>("03 FEB 2003"));
  EXPECT_EQ(read[3], std::nullopt);
  EXPECT_EQ(read.Answered(), Slots({1, 2}));
}

struct ReplySpec {
  const char* name;
  char transfer;  // L, V, W or N
  std::uint8_t kind;
  std::uint8_t slot;
  std::string payload;  // hex, before escaping
  bool result;          // ProcessFrame's result
  int count;            // ReplyCount afterwards
  const char* events;   // outcomes, comma-separated
  std::string tons;     // the text of slot 9 afterwards
  int length;           // FieldLength(9) afterwards
};

std::string RepeatHex(const char* byte, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += std::string(" ") + byte;
  return out;
}

// Each frame arrives while a transfer asks slot 9 alone (ReplyCount starts at 40), of the
// kind given: L a length query, V Get Data, W Send Data, N none begun (ReplyCount 0).
const ReplySpec kReplySpecs[] = {
    {"Acknowledgement", 'V', 1, 0, "00", false, 40, "", "old", 0},
    {"AcknowledgementWithoutPayload", 'V', 1, 0, "", false, 40, "", "old", 0},
    {"ReadReplyText", 'V', 3, 9, "07 03 35 30 30", true, 41, "arrived,all received", "500", 0},
    {"ReadReplyTextCutToTheMember", 'V', 3, 9, "07 1E" + RepeatHex("41", 30), true, 41, "arrived,all received",
     std::string(29, 'A'), 0},
    {"ReadReplyTextShorterThanItsLength", 'V', 3, 9, "07 05 35 30", false, 40, "", "old", 0},
    {"ReadReplyTextEndsAtANul", 'V', 3, 9, "07 03 35 00 30", true, 41, "arrived,all received", "5", 0},
    {"ReadReplyByte", 'L', 3, 9, "00 10", true, 41, "arrived", "old", 16},
    {"ReadReplyByteDuringGetData", 'V', 3, 9, "00 10", false, 40, "", "old", 0},
    {"ReadReplyTextDuringALengthQuery", 'L', 3, 9, "07 03 35 30 30", false, 40, "", "old", 0},
    {"ReadReplyByteWithoutValue", 'L', 3, 9, "00", false, 40, "", "old", 0},
    {"ReadReplyInteger", 'V', 3, 9, "20 01 02 03 04", true, 41, "arrived,all received", "old", 0},
    {"ReadReplyIntegerTooShort", 'V', 3, 9, "20 01 02 03", false, 40, "", "old", 0},
    {"ReadReplyUnknownDataType", 'V', 3, 9, "09 03 35 30 30", false, 40, "", "old", 0},
    {"ReadReplySlotZero", 'V', 3, 0, "07 03 35 30 30", false, 40, "", "old", 0},
    {"ReadReplySlotNotAsked", 'V', 3, 10, "07 03 35 30 30", false, 40, "", "old", 0},
    {"ReadReplySlotBeyond41", 'L', 3, 42, "00 10", false, 40, "", "old", 0},
    {"ReadReplyWithoutDataType", 'V', 3, 9, "", false, 40, "", "old", 0},
    {"ReadReplyWithNoTransfer", 'N', 3, 9, "07 03 35 30 30", false, 0, "", "old", 0},
    {"ReadReplyIsNoWriteAcknowledgement", 'W', 3, 9, "07 03 35 30 30", false, 40, "", "old", 0},
    {"WriteReplyAccepted", 'W', 5, 9, "00", true, 41, "arrived,all written", "old", 0},
    {"WriteReplyDuringGetData", 'V', 5, 9, "00", false, 40, "", "old", 0},
    {"WriteReplyRejected", 'W', 5, 9, "86", true, 40, "arrived,rejected 9 134", "old", 0},
    {"WriteReplyRejectedUnknownCode", 'W', 5, 9, "07", true, 40, "arrived,rejected 9 7", "old", 0},
    {"WriteReplyRejectedForASlotNotAsked", 'W', 5, 77, "07", false, 40, "", "old", 0},
    {"WriteReplyWithoutStatus", 'W', 5, 9, "", false, 40, "", "old", 0},
    {"UnknownKindZero", 'V', 0, 9, "00 10", false, 40, "", "old", 0},
    {"UnknownKindSeven", 'V', 7, 9, "07 03 35 30 30", false, 40, "", "old", 0},
    {"RequestEchoedBack", 'V', 2, 9, "0A 09 00 00", false, 40, "", "old", 0},
};

class ReplyTest : public PanelLinkTest, public testing::WithParamInterface<ReplySpec> {};

TEST_P(ReplyTest, ProcessFrameHandlesTheReply) {
  const ReplySpec& c = GetParam();
  record.SetTons("old");
  const TTransferKind kinds[] = {TTransferKind::Lengths, TTransferKind::Values, TTransferKind::Writes};
  if (c.transfer != 'N') link.BeginTransfer(kinds[std::string_view("LVW").find(c.transfer)], Slots({9}));
  port.Feed(Frame(c.kind, c.slot, Hex(c.payload)));
  ASSERT_TRUE(link.ReadPass());
  EXPECT_EQ(link.ProcessFrame(), c.result);
  EXPECT_EQ(link.ReplyCount(), c.count);
  std::string events;
  for (const auto& e : owner.events) events += (events.empty() ? "" : ",") + e;
  EXPECT_EQ(events, c.events);
  EXPECT_EQ(std::string(record.Tons()), c.tons);
  EXPECT_EQ(link.FieldLength(9), c.length);
  EXPECT_EQ(link.IgnoredFrames(), c.result ? 0 : 1);
  {
    EXPECT_EQ(link.DecodedReply().code, c.kind);
    EXPECT_EQ(link.DecodedReply().slot, c.slot);
    EXPECT_EQ(ToHex(Bytes(link.DecodedReply().payload.begin(),
                          link.DecodedReply().payload.begin() + static_cast<long>(link.DecodedReply().length))),
              ToHex(Hex(c.payload)));
    const Bytes frame = Frame(c.kind, c.slot, Hex(c.payload));
    const std::size_t after = link.DecodedReply().length;
    EXPECT_EQ(link.DecodedReply().payload[after], frame[frame.size() - 3]);  // checksum low
    EXPECT_EQ(link.DecodedReply().payload[after + 1], frame[frame.size() - 2]);
  }
}

INSTANTIATE_TEST_SUITE_P(Replies, ReplyTest, testing::ValuesIn(kReplySpecs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PanelLinkTest, AReadReplyOfTheDateSetsTheTextAndThePackedDate) {
  ExpectValues();
  port.Feed(TextReply(1, "03 feb 2003"));
  Drain();
  EXPECT_STREQ(record.CommissionDate(), "03 feb 2003");
  EXPECT_EQ(ToHex(Bytes(record.PackedCommissionDateBytes().begin(), record.PackedCommissionDateBytes().end())),
            "67 02 03 00");
}

// The longest legal reply: a text of 255 characters, 262 bytes on the line before escaping.
TEST_F(PanelLinkTest, ATextOf255CharactersIsReceivedWhole) {
  TSlotValues read;
  link.BeginTransfer(TTransferKind::Values, Slots({4, 5}), &read);
  const std::string longest(255, 'M');
  port.Feed(TextReply(4, longest));
  EXPECT_EQ(Drain(), 1);
  EXPECT_EQ(read[4], std::optional<std::string>(longest));
  // Escaped characters make it longer on the line; it still fits the receive buffer.
  const std::string escaped = std::string(30, '\x10') + std::string(225, 'E');
  port.Feed(TextReply(5, escaped));
  EXPECT_EQ(Drain(), 1);
  EXPECT_EQ(read[5], std::optional<std::string>(escaped));
  EXPECT_EQ(link.BadFrames(), 0);
}

// An owner that answers an outcome by reading on, as a message box's event loop does.
class NestingOwner : public RecordingOwner {
 public:
  void AllDataReceived() override {
    RecordingOwner::AllDataReceived();
    if (++received == 1) link->BeginTransfer(TTransferKind::Values, Slots({10, 11}));
    while (link->ReadPass()) link->ProcessFrame();
  }
  TPanelLink* link = nullptr;
  int received = 0;
};

TEST_F(PanelLinkTest, AnOwnerMayReadOnFromInsideAnOutcome) {
  NestingOwner nesting;
  nesting.link = &link;
  link.SetOwner(&nesting);
  link.BeginTransfer(TTransferKind::Values, Slots({9}));
  port.Feed(Join({TextReply(9, "41st"), TextReply(10, "42nd"), TextReply(11, "43rd")}));
  Drain();
  EXPECT_EQ(link.ReplyCount(), 41);
  EXPECT_STREQ(record.Tons(), "41st");
  EXPECT_STREQ(record.GearCode(), "42nd");
  EXPECT_STREQ(record.EvapLiquidType(), "43rd");
  EXPECT_EQ(nesting.Without("arrived"), (Events{"all received", "all received"}));
}

// ---- the length query ----

TEST_F(PanelLinkTest, TheLengthQuerySendsFortyOneLengthRequestsTwentyMsApart) {
  std::vector<std::string> log;
  SetSleepHook([&](int ms) { log.push_back("sleep " + std::to_string(ms)); });
  link.BeginTransfer(TTransferKind::Values, Slots({17}));
  SendLengthRequests(link);
  SetSleepHook(nullptr);
  EXPECT_TRUE(link.Connecting());
  EXPECT_EQ(link.ReplyCount(), 0);
  ASSERT_EQ(port.frames.size(), 41u);
  EXPECT_EQ(log, std::vector<std::string>(41, "sleep 20"));
  TPanelLink reference(record);
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    reference.BuildReadRequest(kFieldObjectType, static_cast<std::uint8_t>(slot), kLengthProperty);
    EXPECT_EQ(ToHex(port.frames[static_cast<std::size_t>(slot - 1)]), ToHex(ToBytes(reference.TransmitFrame())));
  }
  EXPECT_EQ(ToHex(port.frames[0]), "02 82 81 0A 01 10 83 00 81 98 03");  // by hand from the layout
}

// ---- texts ----

TEST(PanelLinkTexts, StatusTextsAndSlotDescriptions) {
  const std::pair<int, const char*> statuses[] = {
      {128, "Unknown Object Type"}, {129, "Unknown Object"},      {130, "Unknown Property"},
      {131, "Unknown Index"},       {132, "Panel in Local Mode"}, {133, "Illegal Data Type"},
      {134, "Programmed value above valid range"},                {135, "Programmed value below valid range"},
  };
  for (const auto& [code, text] : statuses) EXPECT_STREQ(WriteStatusText(code), text);
  EXPECT_EQ(WriteStatusText(127), nullptr);
  EXPECT_EQ(WriteStatusText(136), nullptr);
  EXPECT_EQ(WriteStatusText(0), nullptr);

  EXPECT_STREQ(SlotDescription(1), "Commissioning Date");
  EXPECT_STREQ(SlotDescription(13), "Motor Type (VSD/SSS/EM)");
  EXPECT_STREQ(SlotDescription(19), "Locked Rotor Amps");
  EXPECT_STREQ(SlotDescription(20), "Full Load Amps");
  EXPECT_STREQ(SlotDescription(27), "Condenser Nozzle Arrangement (Out)");
  EXPECT_STREQ(SlotDescription(41), "Evaporator Tube Number");
  EXPECT_STREQ(SlotDescription(0), "");
  EXPECT_STREQ(SlotDescription(42), "");
}

TEST(PanelLinkTexts, WriteErrorMessage) {
  EXPECT_EQ(WriteErrorMessage(5, 132), "Sales Order Slot #5 (Varn Order Number): \n\nPanel in Local Mode");
  EXPECT_EQ(WriteErrorMessage(41, 135),
            "Sales Order Slot #41 (Evaporator Tube Number): \n\nProgrammed value below valid range");
  EXPECT_EQ(WriteErrorMessage(2, 7), "Sales Order Slot #2 (Job Name): \n\nUnknown Error Code 7");
  EXPECT_EQ(WriteErrorMessage(2, 255), "Sales Order Slot #2 (Job Name): \n\nUnknown Error Code 255");
  EXPECT_EQ(WriteErrorMessage(77, 129), "Sales Order Slot #77 (Unknown Slot): \n\nUnknown Object");
}

TEST(PanelLinkProgram, TheProgramsLinkWorksOnTheProgramsRecord) {
  MemoryPort port;
  PanelLink.SetPort(&port);
  PanelLink.BeginTransfer(TTransferKind::Values, Slots({2}));
  port.Feed(TextReply(2, "Program link"));
  while (PanelLink.ReadPass()) PanelLink.ProcessFrame();
  PanelLink.SetPort(nullptr);
  EXPECT_STREQ(UnitRecord.JobName(), "Program link");
}

}  // namespace
