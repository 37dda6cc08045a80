#include "bench/implodeinputs.h"

#include <algorithm>
#include <cstring>
#include <random>

std::string KindName(InputKind kind) {
  switch (kind) {
    case InputKind::kText: return "text";
    case InputKind::kRandom: return "random";
    case InputKind::kRuns: return "runs";
  }
  return "?";
}

std::vector<std::uint8_t> BenchInput(InputKind kind, std::size_t size) {
  static const char* const kWords[] = {
      "chiller", "panel",  "evaporator", "condenser", "the",   "of",     "pressure", "motor",
      "serial",  "order",  "unit",       "and",       "to",    "design", "flow",     "leaving",
      "return",  "tubes",  "passes",     "fouling",   "factor", "amps",  "starter",  "job"};
  std::mt19937 rng(20240611);
  std::vector<std::uint8_t> out;
  out.reserve(size + 64);
  while (out.size() < size) {
    switch (kind) {
      case InputKind::kText: {
        const std::string word = kWords[rng() % std::size(kWords)];
        out.insert(out.end(), word.begin(), word.end());
        if (rng() % 9 == 0) {
          std::string number = "=";
          number += std::to_string(rng() % 5000);
          number += "\r\n";
          out.insert(out.end(), number.begin(), number.end());
        } else {
          out.push_back(' ');
        }
        break;
      }
      case InputKind::kRandom:
        out.push_back(static_cast<std::uint8_t>(rng()));
        break;
      case InputKind::kRuns:
        out.insert(out.end(), 16 + rng() % 2000, static_cast<std::uint8_t>(rng() % 4));
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(rng()));
        break;
    }
  }
  out.resize(size);
  return out;
}

std::size_t CountingPipe::Read(unsigned char* buffer, std::size_t size, void* param) {
  CountingPipe& p = *static_cast<CountingPipe*>(param);
  const std::size_t n = std::min(size, p.in->size() - p.pos);
  if (n != 0) std::memcpy(buffer, p.in->data() + p.pos, n);
  p.pos += n;
  return n;
}

void CountingPipe::Write(const unsigned char*, std::size_t size, void* param) {
  static_cast<CountingPipe*>(param)->out += size;
}
