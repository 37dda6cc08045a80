#pragma once

// Byte helpers shared by the panel tests: frames written as hexadecimal text.

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

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
