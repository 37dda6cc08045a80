// Decoder throughput (MB/s of output) of ExpandImploded and of the reference decoder, side
// by side on the same streams; and the time to extract a 300 KB order archive.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bench/implodeinputs.h"
#include "files/implode.h"
#include "files/upzarchive.h"
#include "tests/files/stormoracle.h"
#include "tests/files/upzbuilder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Stream {
  Bytes compressed;
  std::size_t outputSize;
};

// Compressed once per input and mode.
const Stream& StreamFor(InputKind kind, std::size_t size, storm::LiteralMode mode) {
  static std::map<std::tuple<InputKind, std::size_t, storm::LiteralMode>, Stream> cache;
  auto key = std::make_tuple(kind, size, mode);
  auto it = cache.find(key);
  if (it == cache.end())
    it = cache.emplace(key, Stream{storm::Implode(BenchInput(kind, size), mode, 4096), size}).first;
  return it->second;
}

void Ours(benchmark::State& state, InputKind kind, std::size_t size, storm::LiteralMode mode) {
  const Stream& stream = StreamFor(kind, size, mode);
  std::vector<unsigned char> area(kImplodeWorkAreaSize);
  for (auto _ : state) {
    CountingPipe pipe{&stream.compressed, 0, 0};
    if (ExpandImploded(CountingPipe::Read, CountingPipe::Write, area.data(), &pipe) != ExpandResult::kOk ||
        pipe.out != stream.outputSize)
      state.SkipWithError("decoding failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.outputSize));
}

void Reference(benchmark::State& state, InputKind kind, std::size_t size,
               storm::LiteralMode mode) {
  const Stream& stream = StreamFor(kind, size, mode);
  std::vector<char> area(storm::kWorkAreaSize);
  for (auto _ : state) {
    std::size_t out = 0;
    if (storm::ExplodeCounting(stream.compressed, area.data(), out) != 0 ||
        out != stream.outputSize)
      state.SkipWithError("decoding failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.outputSize));
}

// A 300 KB archive (a data file and a large member) extracted into a private folder.
void ExtractArchive300K(benchmark::State& state) {
  char tmpl[] = "/tmp/quellso-bench-XXXXXX";
  if (!::mkdtemp(tmpl)) return state.SkipWithError("no scratch folder");
  const std::filesystem::path root = tmpl;
  const Bytes big = storm::Implode(BenchInput(InputKind::kText, 1100000),
                                   storm::LiteralMode::kAscii, 4096);
  const std::string data = "[Job]\r\nJobName=North plant\r\nJobLocation=Riverside\r\n";
  WriteFile(root / "order.upz",
            BuildUpz({{"LTCUNIT.DAT", Compressed(data), {}, {}}, {"drawing.txt", big, {}, {}}}));
  state.counters["archive_bytes"] = static_cast<double>(std::filesystem::file_size(root / "order.upz"));
  for (auto _ : state) {
    UpzHeader expected = UpzHeader::Expected();
    std::string folder = (root / "out").string();
    std::filesystem::create_directory(folder);
    if (ExtractArchive(expected, root / "order.upz", folder) != ArchiveResult::kNoError)
      state.SkipWithError("extraction failed");
  }
  std::filesystem::remove_all(root);
}

}  // namespace

int main(int argc, char** argv) {
  const struct {
    const char* name;
    std::size_t size;
  } sizes[] = {{"300K", 300 * 1000}, {"50M", 50 * 1000 * 1000}};
  for (InputKind kind : {InputKind::kText, InputKind::kRandom, InputKind::kRuns})
    for (const auto& size : sizes)
      for (storm::LiteralMode mode : {storm::LiteralMode::kBinary, storm::LiteralMode::kAscii}) {
        const std::string name = KindName(kind) + "/" + size.name +
                                 (mode == storm::LiteralMode::kAscii ? "/ascii" : "/binary");
        benchmark::RegisterBenchmark(("Ours/" + name).c_str(), Ours, kind, size.size, mode)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Reference/" + name).c_str(), Reference, kind, size.size,
                                     mode)
            ->Unit(benchmark::kMillisecond);
      }
  benchmark::RegisterBenchmark("ExtractArchive/300K", ExtractArchive300K)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
