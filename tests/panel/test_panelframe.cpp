// The frame codec: checksum, escaping, un-escaping, decoding and the frame receiver.

#include "panel/panelframe.h"

#include <gtest/gtest.h>

#include "tests/panel/test_panellink_support.h"

namespace {

struct EncodeCase {
  const char* name;
  std::uint8_t code;
  std::uint8_t slot;
  const char* payload;
  const char* frame;
};

// The worked frames of the protocol, plus the escaped slots and date bytes.
const EncodeCase kEncodeCases[] = {
    {"UnitSystemEnglish", 0, 0, "00", "02 80 80 00 82 80 03"},
    {"UnitSystemMetric", 0, 0, "01", "02 80 80 01 82 81 03"},
    {"ReadSlot1Value", 2, 1, "0A 01 00 00", "02 82 81 0A 01 00 00 88 82 03"},
    {"ReadSlot2LengthEscapesSlotAndProperty", 2, 2, "0A 02 03 00", "02 82 82 0A 10 82 10 83 00 89 80 03"},
    {"ReadSlot3LengthEscapesSlot", 2, 3, "0A 03 03 00", "02 82 83 0A 10 83 10 83 00 88 81 03"},
    {"ReadSlot16LengthEscapesSlot", 2, 16, "0A 10 03 00", "02 82 90 0A 10 90 10 83 00 9B 92 03"},
    {"WriteSlot9PaddedText", 4, 9, "0A 09 00 00 07 05 35 30 30 20 20",
     "02 84 89 0A 09 00 00 07 05 35 30 30 20 20 97 AC 03"},
    {"WriteDate2003Feb03", 4, 1, "0A 01 00 00 20 67 02 03 00",
     "02 84 81 0A 01 00 00 20 67 10 82 10 83 00 E4 AE 03"},
    {"ReadReplyLength16", 3, 9, "00 10", "02 83 89 00 10 90 9B 93 03"},
    {"WriteReplyAccepted", 5, 9, "00", "02 85 89 00 8B 85 03"},
};

class EncodeFrameTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeFrameTest, BuildsTheFrameByteForByte) {
  const EncodeCase& c = GetParam();
  const Bytes payload = Hex(c.payload);
  std::array<std::uint8_t, kFrameBufferSize> out{};
  std::uint16_t checksum = 0;
  const std::size_t n = EncodeFrame(c.code, c.slot, payload, out, &checksum);
  const Bytes frame(out.begin(), out.begin() + static_cast<long>(n));
  EXPECT_EQ(ToHex(frame), c.frame);
  ASSERT_GE(n, 3u);
  EXPECT_EQ(checksum, frame[n - 3] | frame[n - 2] << 8);
}

TEST_P(EncodeFrameTest, DecodesBackToItsParts) {
  const EncodeCase& c = GetParam();
  const Bytes frame = Hex(c.frame);
  EXPECT_TRUE(FrameChecksumHolds(frame));
  std::array<std::uint8_t, kMaxDecodedFrame> scratch{};
  const std::optional<TDecodedFrame> decoded = DecodeFrame(frame, scratch);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->kind, c.code);
  EXPECT_EQ(decoded->slot, c.slot);
  EXPECT_EQ(ToHex(ToBytes(decoded->payload)), c.payload);
}

INSTANTIATE_TEST_SUITE_P(WorkedFrames, EncodeFrameTest, testing::ValuesIn(kEncodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameChecksum, WorkedExampleOverTheUnitCommand) {
  EXPECT_EQ(FrameChecksum(Hex("02 80 80 00")), 0x8082);
  EXPECT_EQ(FrameChecksum(Hex("02")), 0x8280);  // odd count: the lanes are exchanged
  EXPECT_EQ(FrameChecksum({}), 0x8080);
}

TEST(FrameChecksum, CheckStopsAtTheFirstEtx) {
  // Bytes after the ETX do not take part.
  EXPECT_TRUE(FrameChecksumHolds(Hex("02 85 89 00 8B 85 03 55 66")));
  // A frame without its ETX is checked over everything it has.
  EXPECT_TRUE(FrameChecksumHolds(Hex("02 85 89 00 8B 85")));
  EXPECT_FALSE(FrameChecksumHolds(Hex("02 85 89 00 8B 86 03")));
}

TEST(EncodeFrame, RefusesAFrameThatDoesNotFitAndLeavesNoFrame) {
  Bytes payload(295, 'A');  // 3 + 295 + 3 = 301 bytes
  std::array<std::uint8_t, kFrameBufferSize> out{};
  out.fill(0xEE);
  EXPECT_EQ(EncodeFrame(4, 9, payload, out), 0u);
  EXPECT_EQ(out[0], 0);
  payload.pop_back();  // exactly 300 bytes
  EXPECT_EQ(EncodeFrame(4, 9, payload, out), kFrameBufferSize);
  EXPECT_EQ(out[kFrameBufferSize - 1], kEtx);
  // Escapes count: 148 DLE bytes take 296.
  const Bytes escaped(148, kDle);
  EXPECT_EQ(EncodeFrame(4, 9, escaped, out), 0u);
  std::array<std::uint8_t, 4> tiny{};
  EXPECT_EQ(EncodeFrame(0, 0, Hex("00"), tiny), 0u);
}

TEST(UnescapeFrame, StopsAtTheCapacityAndReportsIt) {
  const Bytes frame = Hex("02 83 89 00 10 90 9B 93 03");
  std::array<std::uint8_t, 7> exact{};
  EXPECT_EQ(UnescapeFrame(frame, exact), 7u);
  EXPECT_EQ(ToHex(Bytes(exact.begin(), exact.end())), "02 83 89 00 10 9B 93");
  std::array<std::uint8_t, 8> guard{};
  guard.fill(0xEE);
  EXPECT_FALSE(UnescapeFrame(frame, std::span<std::uint8_t>(guard.data(), 6)));
  EXPECT_EQ(guard[6], 0xEE);  // nothing written past the capacity given
}

TEST(UnescapeFrame, ADleRightBeforeTheEtxEscapesNothing) {
  std::array<std::uint8_t, 16> out{};
  EXPECT_EQ(UnescapeFrame(Hex("02 81 80 10 03 41 42 03"), out), 3u);
  EXPECT_EQ(UnescapeFrame(Hex("02 81 80 10"), out), 3u);
}

TEST(DecodeFrame, RejectsFramesTooShortOrTooLong) {
  std::array<std::uint8_t, kMaxDecodedFrame> scratch{};
  // Passes the check (both lanes cancel) but has no room for a checksum.
  EXPECT_TRUE(FrameChecksumHolds(Hex("02 80 82 03")));
  EXPECT_FALSE(DecodeFrame(Hex("02 80 82 03"), scratch));
  EXPECT_FALSE(DecodeFrame({}, scratch));
  EXPECT_FALSE(DecodeFrame(Hex("85 89 00 8B 85 03"), scratch));  // no STX in front

  // Header, payload and the checksum make kMaxDecodedFrame un-escaped bytes: the most that fits.
  std::array<std::uint8_t, 2 * kFrameBufferSize> frame{};
  const Bytes fits(kMaxDecodedFrame - kDecodedOverhead, 'A');
  std::size_t n = EncodeFrame(3, 9, fits, frame);
  ASSERT_NE(n, 0u);
  EXPECT_TRUE(DecodeFrame(std::span<const std::uint8_t>(frame.data(), n), scratch));
  const Bytes too_long(kMaxDecodedFrame - kDecodedOverhead + 1, 'A');
  n = EncodeFrame(3, 9, too_long, frame);
  ASSERT_NE(n, 0u);
  EXPECT_FALSE(DecodeFrame(std::span<const std::uint8_t>(frame.data(), n), scratch));
}

// ---- the receiver ----

std::vector<TFrameReceiver::Step> Feed(TFrameReceiver& rx, const Bytes& bytes) {
  std::vector<TFrameReceiver::Step> steps;
  for (const std::uint8_t b : bytes) steps.push_back(rx.Take(b));
  return steps;
}

TEST(FrameReceiver, FollowsItsStateTable) {
  using Step = TFrameReceiver::Step;
  TFrameReceiver rx;
  EXPECT_EQ(rx.state(), TFrameReceiver::State::Hunting);
  EXPECT_EQ(Feed(rx, Hex("41 03 02 85 02 03")),
            (std::vector<Step>{Step::Discarded, Step::Discarded, Step::Started, Step::Appended,
                               Step::Appended, Step::Completed}));
  EXPECT_TRUE(rx.Latched());
  EXPECT_EQ(ToHex(ToBytes(rx.CompleteFrame())), "02 85 02 03");  // an STX inside is data
  EXPECT_EQ(rx.ReceiveIndex(), 3);

  // A byte after the frame is stored at 0, which discards it and the frame with it; the
  // latch stays set until the next STX.
  EXPECT_EQ(rx.Take(0x55), Step::Discarded);
  EXPECT_TRUE(rx.Latched());
  EXPECT_TRUE(rx.CompleteFrame().empty());
  EXPECT_EQ(rx.Take(kStx), Step::Started);
  EXPECT_FALSE(rx.Latched());
}

TEST(FrameReceiver, DiscardsAnOverlongFrameAndHuntsForTheNextStx) {
  using Step = TFrameReceiver::Step;
  TFrameReceiver rx;
  rx.Take(kStx);
  for (std::size_t i = 1; i < kFrameBufferSize; ++i) ASSERT_EQ(rx.Take('A'), Step::Appended);
  EXPECT_EQ(rx.ReceiveIndex(), static_cast<int>(kFrameBufferSize) - 1);
  // The 301st byte does not fit: the frame is gone and the byte is taken as between frames.
  EXPECT_EQ(rx.Take('A'), Step::Overflowed);
  EXPECT_EQ(rx.state(), TFrameReceiver::State::Hunting);
  EXPECT_EQ(rx.Take(kEtx), Step::Discarded);  // the ETX of the overlong frame ends nothing
  EXPECT_FALSE(rx.Latched());
  // An STX that does not fit starts the next frame.
  rx.Take(kStx);
  for (std::size_t i = 1; i < kFrameBufferSize; ++i) rx.Take('B');
  EXPECT_EQ(rx.Take(kStx), Step::Overflowed);
  EXPECT_EQ(rx.state(), TFrameReceiver::State::InFrame);
  EXPECT_EQ(Feed(rx, Hex("85 89 00 8B 85 03")).back(), Step::Completed);
  EXPECT_EQ(ToHex(ToBytes(rx.CompleteFrame())), "02 85 89 00 8B 85 03");
}

TEST(FrameReceiver, TakesAFrameOfExactlyTheBufferSize) {
  TFrameReceiver rx;
  rx.Take(kStx);
  for (std::size_t i = 1; i + 1 < kFrameBufferSize; ++i) rx.Take('A');
  EXPECT_EQ(rx.Take(kEtx), TFrameReceiver::Step::Completed);
  EXPECT_EQ(rx.CompleteFrame().size(), kFrameBufferSize);
}

}  // namespace
