#include "tests/files/implodewriter.h"

#include <array>
#include <stdexcept>

namespace {

struct Code {
  unsigned value;  // first bit lowest
  unsigned bits;
};

// Canonical codes for the given lengths: counted upward in order of length, then symbol,
// with every bit inverted, and sent most significant bit first.
template <std::size_t N>
std::array<Code, N> CanonicalCodes(const std::array<std::uint8_t, N>& lengths) {
  std::array<Code, N> codes{};
  unsigned next = 0;
  for (unsigned len = 1; len <= 16; ++len) {
    for (std::size_t s = 0; s < N; ++s) {
      if (lengths[s] != len) continue;
      const unsigned inverted = next ^ ((1u << len) - 1);
      unsigned reversed = 0;
      for (unsigned i = 0; i < len; ++i) reversed |= ((inverted >> (len - 1 - i)) & 1) << i;
      codes[s] = Code{reversed, len};
      ++next;
    }
    next <<= 1;
  }
  return codes;
}

// Code lengths, each byte (count - 1) << 4 | length for a run of symbols.
template <std::size_t N, std::size_t M>
std::array<std::uint8_t, N> Expand(const std::uint8_t (&runs)[M]) {
  std::array<std::uint8_t, N> lengths{};
  std::size_t s = 0;
  for (std::uint8_t run : runs)
    for (unsigned k = 0; k <= static_cast<unsigned>(run >> 4); ++k) lengths.at(s++) = run & 15;
  if (s != N) throw std::logic_error("code length runs do not add up");
  return lengths;
}

constexpr std::uint8_t kLiteralRuns[] = {
    11, 124, 8, 7, 28, 7, 188, 13, 76, 4, 10, 8, 12, 10, 12, 10, 8, 23, 8, 9, 7, 6, 7, 8, 7,
    6, 55, 8, 23, 24, 12, 11, 7, 9, 11, 12, 6, 7, 22, 5, 7, 24, 6, 11, 9, 6, 7, 22, 7, 11, 38,
    7, 9, 8, 25, 11, 8, 11, 9, 12, 8, 12, 5, 38, 5, 38, 5, 11, 7, 5, 6, 21, 6, 10, 53, 8, 7,
    24, 10, 27, 44, 253, 253, 253, 252, 252, 252, 13, 12, 45, 12, 45, 12, 61, 12, 45, 44, 173};
// Length index 1 has the 2-bit code, index 0 one of the 3-bit codes.
constexpr std::uint8_t kLengthLengths[16] = {3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
constexpr std::uint8_t kDistanceRuns[] = {2, 20, 53, 230, 247, 151, 248};
constexpr unsigned kLengthBase[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14, 22, 38, 70, 134, 262};
constexpr unsigned kExtraBits[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};

const std::array<Code, 256>& LiteralCodes() {
  static const auto codes = CanonicalCodes(Expand<256>(kLiteralRuns));
  return codes;
}
const std::array<Code, 16>& LengthCodes() {
  static const auto codes = [] {
    std::array<std::uint8_t, 16> lengths{};
    for (int i = 0; i < 16; ++i) lengths[i] = kLengthLengths[i];
    return CanonicalCodes(lengths);
  }();
  return codes;
}
const std::array<Code, 64>& DistanceCodes() {
  static const auto codes = CanonicalCodes(Expand<64>(kDistanceRuns));
  return codes;
}

}  // namespace

ImplodeWriter::ImplodeWriter(unsigned mode, unsigned dictBits)
    : mode_(mode), dictBits_(dictBits),
      bytes_{static_cast<std::uint8_t>(mode), static_cast<std::uint8_t>(dictBits)} {}

ImplodeWriter& ImplodeWriter::Bits(unsigned value, unsigned count) {
  for (unsigned i = 0; i < count; ++i, ++bitCount_) {
    if (bitCount_ % 8 == 0) bytes_.push_back(0);
    if ((value >> i) & 1) bytes_.back() |= static_cast<std::uint8_t>(1u << (bitCount_ % 8));
  }
  return *this;
}

ImplodeWriter& ImplodeWriter::Literal(std::uint8_t byte) {
  Bits(0, 1);
  if (mode_ == 0) return Bits(byte, 8);
  const Code& c = LiteralCodes()[byte];
  return Bits(c.value, c.bits);
}

ImplodeWriter& ImplodeWriter::Literals(const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes) Literal(b);
  return *this;
}

ImplodeWriter& ImplodeWriter::Match(unsigned length, unsigned distance) {
  const unsigned value = length - 2;
  unsigned index = 15;
  while (kLengthBase[index] > value) --index;
  Bits(1, 1);
  Bits(LengthCodes()[index].value, LengthCodes()[index].bits);
  Bits(value - kLengthBase[index], kExtraBits[index]);
  const unsigned lowBits = length == 2 ? 2 : dictBits_;
  const unsigned d = distance - 1;
  const Code& high = DistanceCodes().at(d >> lowBits);
  Bits(high.value, high.bits);
  return Bits(d & ((1u << lowBits) - 1), lowBits);
}

ImplodeWriter& ImplodeWriter::End() {
  Bits(1, 1);
  Bits(LengthCodes()[15].value, LengthCodes()[15].bits);
  return Bits(0xFF, 8);
}

std::vector<std::uint8_t> ImplodeWriter::Bytes() const { return bytes_; }

unsigned ImplodeWriter::LiteralCodeBits(std::uint8_t byte) { return LiteralCodes()[byte].bits; }

std::vector<std::uint8_t> ImplodedRun(std::uint64_t length, std::uint8_t byte) {
  ImplodeWriter writer(0, 6);
  writer.Literal(byte);
  std::uint64_t left = length - 1;
  while (left >= 518 + 2 || left == 518) {
    writer.Match(518, 1);
    left -= 518;
  }
  // What remains: one match of 2..519 bytes split so that no piece is shorter than 2.
  if (left > 518) {
    writer.Match(static_cast<unsigned>(left - 2), 1).Match(2, 1);
  } else if (left >= 2) {
    writer.Match(static_cast<unsigned>(left), 1);
  } else if (left == 1) {
    writer.Literal(byte);
  }
  return writer.End().Bytes();
}
