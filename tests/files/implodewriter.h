#pragma once

// Hand-built implode streams for tests: a bit writer that emits tokens with the format's
// codes.  The codes are derived here from the code lengths alone (canonical order, bits
// inverted, first bit lowest), independently of the decoder's own tables.

#include <cstdint>
#include <vector>

class ImplodeWriter {
 public:
  // Starts a stream with the literal mode byte (0 binary, 1 ASCII) and dictionary code.
  ImplodeWriter(unsigned mode, unsigned dictBits);

  // Appends `count` bits of `value`, lowest first.
  ImplodeWriter& Bits(unsigned value, unsigned count);
  ImplodeWriter& Literal(std::uint8_t byte);
  ImplodeWriter& Literals(const std::vector<std::uint8_t>& bytes);
  // A match of 2..518 bytes, 1..4096 back (at most 256 for 2 bytes).
  ImplodeWriter& Match(unsigned length, unsigned distance);
  ImplodeWriter& End();

  // Bits written so far after the two header bytes.
  std::size_t BitCount() const { return bitCount_; }
  // The stream, its last byte padded with zero bits.
  std::vector<std::uint8_t> Bytes() const;

  // Bits of the codes, for building streams that end at a chosen bit.
  static unsigned LiteralCodeBits(std::uint8_t byte);

 private:
  unsigned mode_;
  unsigned dictBits_;
  std::vector<std::uint8_t> bytes_;
  std::size_t bitCount_ = 0;
};

// A stream that decodes to `length` (at least 1) copies of `byte`: one literal, then matches
// of the longest length one byte back.  About 3 bytes of stream per 518 of output: the
// shape of an archive bomb.
std::vector<std::uint8_t> ImplodedRun(std::uint64_t length, std::uint8_t byte = 'x');
