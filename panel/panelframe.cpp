#include "panel/panelframe.h"

// Checksum notes.  The running value takes each byte into its low half and then swaps its
// halves, so the bytes at even positions of the frame meet in one half and the bytes at odd
// positions in the other; after an even number of bytes the even lane is the low byte.  The
// sender sets both top bits at the end, which keeps the checksum bytes clear of STX, ETX and
// DLE.  The receiver runs the same steps over everything from STX through the two checksum
// bytes: each checksum byte lands in its own lane and cancels the seven low bits there, so
// the result AND 0x7F7F is 0 for a good frame whatever the top bits did on the way.

namespace {

std::uint16_t ChecksumRun(std::span<const std::uint8_t> bytes) {
  std::uint16_t c = 0;
  for (const std::uint8_t b : bytes) {
    c ^= b;
    c = static_cast<std::uint16_t>((c << 8) | (c >> 8));
  }
  return c;
}

}  // namespace

std::uint16_t FrameChecksum(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint16_t>(ChecksumRun(bytes) | 0x8080u);
}

bool FrameChecksumHolds(std::span<const std::uint8_t> frame) {
  std::size_t end = 0;
  while (end < frame.size() && frame[end] != kEtx) ++end;
  return (ChecksumRun(frame.first(end)) & 0x7F7Fu) == 0;
}

std::size_t EncodeFrame(std::uint8_t code, std::uint8_t slot, std::span<const std::uint8_t> payload,
                        std::span<std::uint8_t> out, std::uint16_t* checksum) {
  std::size_t n = 0;
  const auto put = [&](std::uint8_t b) {
    if (n < out.size()) out[n] = b;
    ++n;
  };
  put(kStx);
  put(static_cast<std::uint8_t>(code | kTopBit));
  put(static_cast<std::uint8_t>(slot | kTopBit));
  for (const std::uint8_t b : payload) {
    if (NeedsEscape(b)) {
      put(kDle);
      put(static_cast<std::uint8_t>(b | kTopBit));
    } else {
      put(b);
    }
    if (n > out.size()) break;
  }
  if (n + 3 > out.size()) {
    if (!out.empty()) out[0] = 0;
    return 0;
  }
  const std::uint16_t c = FrameChecksum(out.first(n));
  put(static_cast<std::uint8_t>(c & 0xFFu));
  put(static_cast<std::uint8_t>(c >> 8));
  put(kEtx);
  if (checksum != nullptr) *checksum = c;
  return n;
}

std::optional<std::size_t> UnescapeFrame(std::span<const std::uint8_t> frame, std::span<std::uint8_t> out) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < frame.size() && frame[i] != kEtx; ++i) {
    std::uint8_t b = frame[i];
    if (b == kDle) {
      // A DLE as the frame's last byte before the end escapes nothing: the ETX that follows
      // it is still the end of the frame.
      if (i + 1 >= frame.size() || frame[i + 1] == kEtx) break;
      b = static_cast<std::uint8_t>(frame[++i] & 0x7Fu);
    }
    if (n == out.size()) return std::nullopt;
    out[n++] = b;
  }
  return n;
}

std::optional<TDecodedFrame> DecodeFrame(std::span<const std::uint8_t> frame, std::span<std::uint8_t> scratch) {
  if (frame.empty() || frame[0] != kStx || !FrameChecksumHolds(frame)) return std::nullopt;
  const std::optional<std::size_t> n = UnescapeFrame(frame, scratch);
  if (!n || *n < kDecodedOverhead) return std::nullopt;
  TDecodedFrame decoded;
  decoded.kind = static_cast<std::uint8_t>(scratch[1] & 0x7Fu);
  decoded.slot = static_cast<std::uint8_t>(scratch[2] & 0x7Fu);
  decoded.payload = std::span<const std::uint8_t>(scratch.data() + 3, *n - kDecodedOverhead);
  return decoded;
}

TFrameReceiver::Step TFrameReceiver::Take(std::uint8_t byte) {
  bool overflowed = false;
  if (state_ == State::InFrame) {
    if (index_ + 1 < static_cast<int>(buffer_.size())) {
      buffer_[static_cast<std::size_t>(++index_)] = byte;
      if (byte != kEtx) return Step::Appended;
      state_ = State::Hunting;
      latched_ = true;
      frame_length_ = index_ + 1;
      return Step::Completed;
    }
    // The frame has filled the buffer without an ETX: drop it and hunt for the next STX,
    // starting with this byte.
    state_ = State::Hunting;
    overflowed = true;
  }
  index_ = 0;
  buffer_[0] = byte;
  if (byte == kStx) {
    state_ = State::InFrame;
    latched_ = false;
    frame_length_ = 0;
    return overflowed ? Step::Overflowed : Step::Started;
  }
  return overflowed ? Step::Overflowed : Step::Discarded;
}

std::span<const std::uint8_t> TFrameReceiver::CompleteFrame() const {
  if (!latched_ || buffer_[0] != kStx || frame_length_ <= 0) return {};
  return std::span<const std::uint8_t>(buffer_.data(), static_cast<std::size_t>(frame_length_));
}

void TFrameReceiver::Reset() {
  buffer_.fill(0);
  state_ = State::Hunting;
  latched_ = false;
  index_ = 0;
  frame_length_ = 0;
}
