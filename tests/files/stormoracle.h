#pragma once

// The independent implode implementation that tests and benchmarks check and time our
// decoder against (the library's pklib-style entry points).  Never linked into the
// program.

#include <cstdint>
#include <vector>

namespace storm {

enum class LiteralMode : unsigned { kBinary = 0, kAscii = 1 };

// Compresses `data` with the given literal mode and dictionary size (1024, 2048 or 4096).
std::vector<std::uint8_t> Implode(const std::vector<std::uint8_t>& data, LiteralMode mode,
                                  unsigned dictionarySize);

struct Exploded {
  unsigned result;                  // the library's result code (0..4)
  std::vector<std::uint8_t> bytes;  // everything its write callback received
};

// Decodes `stream` with a zero-filled work area (so a distance before the first byte reads
// zeros, as ours does), reading it in blocks of up to 2048 bytes.
Exploded Explode(const std::vector<std::uint8_t>& stream);

}  // namespace storm
