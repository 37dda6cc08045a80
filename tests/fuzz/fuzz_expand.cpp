// Fuzz target for ExpandImploded.  Whatever the stream, the decoder must not crash or read
// or write out of bounds, must give the same result and output however the input is split
// into reads, must pass output in 4096-byte blocks and one shorter final block, and (when
// built with the reference decoder) must agree with it on result and output.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "files/implode.h"
#ifdef QUELLSO_FUZZ_REFERENCE
#include "tests/files/stormoracle.h"
#endif

namespace {

struct Source {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
  std::size_t step;  // bytes per read after the first 5; 0 for as many as asked
};

struct Sink {
  std::vector<std::uint8_t> out;
  std::vector<std::size_t> blocks;
};

struct Pipe {
  Source in;
  Sink sink;
};

std::size_t Read(unsigned char* buffer, std::size_t size, void* param) {
  Source& s = static_cast<Pipe*>(param)->in;
  std::size_t n = s.size - s.pos;
  if (s.step) n = std::min(n, s.pos == 0 ? std::size_t{5} : s.step);
  n = std::min(n, size);
  if (n) std::memcpy(buffer, s.data + s.pos, n);
  s.pos += n;
  return n;
}

void Write(const unsigned char* buffer, std::size_t size, void* param) {
  Sink& s = static_cast<Pipe*>(param)->sink;
  s.out.insert(s.out.end(), buffer, buffer + size);
  s.blocks.push_back(size);
}

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static unsigned char area[kImplodeWorkAreaSize + 1];
  Pipe whole{{data, size, 0, 0}, {}};
  const ExpandResult result = ExpandImploded(Read, Write, area, &whole);
  Pipe split{{data, size, 0, 3}, {}};
  const ExpandResult splitResult = ExpandImploded(Read, Write, area + 1, &split);

  Check(static_cast<unsigned>(result) <= 4);
  Check(splitResult == result);
  Check(split.sink.out == whole.sink.out);
  const bool decoded = result == ExpandResult::kOk || result == ExpandResult::kAborted;
  Check(whole.sink.blocks.empty() == !decoded);
  for (std::size_t i = 0; i + 1 < whole.sink.blocks.size(); ++i)
    Check(whole.sink.blocks[i] == kImplodeWriteSize);
  if (decoded) Check(whole.sink.blocks.back() < kImplodeWriteSize);

#ifdef QUELLSO_FUZZ_REFERENCE
  const storm::Exploded reference = storm::Explode(std::vector<std::uint8_t>(data, data + size));
  Check(reference.result == static_cast<unsigned>(result));
  Check(reference.bytes == whole.sink.out);
#endif
  return 0;
}
