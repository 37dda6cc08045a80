#pragma once

// The independent implode implementation that tests and benchmarks check and time our
// decoder against (the library's pklib-style entry points).  Never linked into the
// program.

#include <cstddef>
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

// The same for timing: the output is counted and dropped, and the caller supplies the work
// area (kWorkAreaSize bytes, reused from call to call).  Returns the result code.
inline constexpr std::size_t kWorkAreaSize = 256 * 1024;
unsigned ExplodeCounting(const std::vector<std::uint8_t>& stream, char* workArea,
                         std::size_t& outputSize);

}  // namespace storm
