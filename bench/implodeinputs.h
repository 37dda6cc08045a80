#pragma once

// Inputs for the decoder's benchmarks: generated, reproducible, and compressed with the
// reference implode.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class InputKind { kText, kRandom, kRuns };

std::string KindName(InputKind kind);

// `size` bytes of text-like (words, numbers and line breaks, as in data files), random or
// run-heavy (long runs of one byte between short random pieces) data.
std::vector<std::uint8_t> BenchInput(InputKind kind, std::size_t size);

// A compressed stream fed to the decoder from memory; the decoded bytes are only counted.
struct CountingPipe {
  const std::vector<std::uint8_t>* in;
  std::size_t pos;
  std::size_t out;

  static std::size_t Read(unsigned char* buffer, std::size_t size, void* param);
  static void Write(const unsigned char* buffer, std::size_t size, void* param);
};
