#pragma once

// Shared by the panel tests: frames written as hexadecimal text, and an owner that records
// the link's outcomes.

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "panel/panellink.h"

using Bytes = std::vector<std::uint8_t>;

// "02 80 80" -> {0x02, 0x80, 0x80}
inline Bytes Hex(std::string_view text) {
  Bytes out;
  std::istringstream in{std::string(text)};
  std::string token;
  while (in >> token) out.push_back(static_cast<std::uint8_t>(std::stoul(token, nullptr, 16)));
  return out;
}

inline std::string ToHex(const Bytes& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (const std::uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

template <typename Span>
Bytes ToBytes(const Span& span) {
  return Bytes(span.begin(), span.end());
}

class RecordingOwner : public TPanelLinkOwner {
 public:
  void ReplyArrived() override { events.push_back("arrived"); }
  void AllDataReceived() override { events.push_back("all received"); }
  void AllDataWritten() override { events.push_back("all written"); }
  void WriteRejected(int slot, int status) override {
    events.push_back("rejected " + std::to_string(slot) + " " + std::to_string(status));
  }
  // The outcomes other than `kind`, in order.
  std::vector<std::string> Without(const std::string& kind) const {
    std::vector<std::string> out;
    for (const auto& e : events)
      if (e != kind) out.push_back(e);
    return out;
  }
  int Count(const std::string& kind) const {
    int n = 0;
    for (const auto& e : events) n += e == kind;
    return n;
  }
  std::vector<std::string> events;
};
