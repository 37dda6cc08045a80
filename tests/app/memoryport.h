#pragma once

// A panel port kept in memory, for window tests that watch what the link sends and feed it
// the panel's replies; the reply frames a panel sends.

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/mainwindow.h"
#include "panel/comm.h"
#include "panel/panelframe.h"
#include "panel/panelport.h"
#include "tests/panel/test_panellink_support.h"

// Every Write is kept as one frame; Read takes from `input`.
class MemoryPort : public TPanelPort {
 public:
  std::int32_t Write(const char* buffer, unsigned long count) override {
    frames.emplace_back(buffer, buffer + count);
    return static_cast<std::int32_t>(count);
  }
  std::int32_t InQueCount() override { return static_cast<std::int32_t>(input.size()); }
  std::int32_t Read(char* buffer, unsigned long count) override {
    if (count == 0 || input.empty()) return 0;
    buffer[0] = static_cast<char>(input.front());
    input.pop_front();
    return 1;
  }
  void Feed(const Bytes& bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }

  // What the first write request for `slot` carries after its object type, slot, property
  // and index (the data type, then the value); nothing when none was written.
  std::optional<Bytes> Written(int slot) const {
    std::array<std::uint8_t, kMaxDecodedFrame> scratch{};
    for (const Bytes& frame : frames) {
      const std::optional<TDecodedFrame> decoded = DecodeFrame(frame, scratch);
      if (decoded && decoded->kind == kWriteRequestCommand && decoded->slot == slot && decoded->payload.size() >= 4)
        return Bytes(decoded->payload.begin() + 4, decoded->payload.end());
    }
    return std::nullopt;
  }

  std::vector<Bytes> frames;
  std::deque<std::uint8_t> input;
};

inline Bytes Frame(std::uint8_t kind, int slot, const Bytes& payload) {
  std::array<std::uint8_t, 2 * kFrameBufferSize> out{};
  const std::size_t n = EncodeFrame(kind, static_cast<std::uint8_t>(slot), payload, out);
  return Bytes(out.begin(), out.begin() + static_cast<long>(n));
}
inline Bytes TextReply(int slot, const std::string& text) {
  Bytes payload{kTextData, static_cast<std::uint8_t>(text.size())};
  payload.insert(payload.end(), text.begin(), text.end());
  return Frame(kReadReply, slot, payload);
}
inline Bytes LengthReply(int slot, int length) {
  return Frame(kReadReply, slot, {kByteData, static_cast<std::uint8_t>(length)});
}
inline Bytes WriteReply(int slot, int status) {
  return Frame(kWriteReply, slot, {static_cast<std::uint8_t>(status)});
}

// The panel answers a length query with `length` for all 41 fields, and the window reads the
// replies from `port` (which must be its link's port): the lengths are then known.
inline void AnswerLengthQuery(TfrmMain& window, MemoryPort& port, int length) {
  window.Link().SetConnecting(true);
  window.Link().SetReplyCount(0);
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) port.Feed(LengthReply(slot, length));
  window.CommPortRxChar(window.CommPort, 0);
}
