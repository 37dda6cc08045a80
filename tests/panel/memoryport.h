#pragma once

// The one panel port kept in memory that the tests share (the link's tests, the window's, the
// receive fuzzer): every Write kept as one frame, reads taken from a queue of bytes the panel
// sent, and the reply frames a panel sends.  Needs no test framework.

#include <array>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "panel/panelframe.h"
#include "panel/panelport.h"

using Bytes = std::vector<std::uint8_t>;

class MemoryPort : public TPanelPort {
 public:
  // While `open` is false every operation returns -1, as a closed port does.
  std::int32_t Write(const char* buffer, unsigned long count) override {
    if (!open) return -1;
    frames.emplace_back(buffer, buffer + count);
    return static_cast<std::int32_t>(count);
  }
  std::int32_t InQueCount() override { return open ? static_cast<std::int32_t>(input.size()) : -1; }
  std::int32_t Read(char* buffer, unsigned long count) override {
    if (!open) return -1;
    unsigned long n = 0;
    for (; n < count && !input.empty(); ++n) {
      buffer[n] = static_cast<char>(input.front());
      input.pop_front();
    }
    return static_cast<std::int32_t>(n);
  }
  // The panel sends `bytes`.
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

  bool open = true;
  std::vector<Bytes> frames;  // every Write, in order
  std::deque<std::uint8_t> input;
};

// ---- what a panel sends ----

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
inline Bytes WriteReply(int slot, int status) { return Frame(kWriteReply, slot, {static_cast<std::uint8_t>(status)}); }

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
