// Decodes one generated stream with our decoder (DecodeOurs) or the reference decoder
// (DecodeReference), for counting instructions under callgrind; bench/callgrind runs it.
//
//   implode_instructions ours|reference text|random|runs SIZE binary|ascii

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/implodeinputs.h"
#include "files/implode.h"
#include "tests/files/stormoracle.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

}  // namespace

extern "C" [[gnu::noinline]] std::size_t DecodeOurs(const Bytes& stream, unsigned char* area) {
  CountingPipe pipe{&stream, 0, 0};
  ExpandImploded(CountingPipe::Read, CountingPipe::Write, area, &pipe);
  return pipe.out;
}

extern "C" [[gnu::noinline]] std::size_t DecodeReference(const Bytes& stream, char* area) {
  std::size_t out = 0;
  storm::ExplodeCounting(stream, area, out);
  return out;
}

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s ours|reference text|random|runs SIZE binary|ascii\n", argv[0]);
    return 2;
  }
  const std::string kindName = argv[2];
  const InputKind kind = kindName == "random" ? InputKind::kRandom
                         : kindName == "runs" ? InputKind::kRuns
                                              : InputKind::kText;
  const auto mode = std::string(argv[4]) == "ascii" ? storm::LiteralMode::kAscii
                                                    : storm::LiteralMode::kBinary;
  const Bytes stream = storm::Implode(BenchInput(kind, std::strtoul(argv[3], nullptr, 10)), mode, 4096);
  std::vector<char> referenceArea(storm::kWorkAreaSize);
  std::vector<unsigned char> ourArea(kImplodeWorkAreaSize);
  const std::size_t out = std::string(argv[1]) == "reference"
                              ? DecodeReference(stream, referenceArea.data())
                              : DecodeOurs(stream, ourArea.data());
  std::printf("%zu\n", out);
  return 0;
}
