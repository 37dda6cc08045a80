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
