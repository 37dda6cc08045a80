// Decoder throughput (MB/s of output) of ExpandImploded and of the reference decoder, side
// by side on the same streams; and the time to extract a 300 KB order archive.  At the end,
// each stream's time against the reference decoder's, and the worst ratio for binary and for
// ASCII streams.  On a shared machine, run it with --benchmark_repetitions=5 or more: the
// ratios take the least processor time of the repetitions.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
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

double Least(const std::vector<double>& times) {
  return *std::min_element(times.begin(), times.end());
}

// Passes every report on to the reporter that --benchmark_format asks for, and at the end
// prints each stream's processor time against the reference decoder's on the same stream
// (to standard error when the report is JSON or CSV, so that it stays well-formed).
class RatioReporter : public benchmark::BenchmarkReporter {
 public:
  RatioReporter() : inner_(benchmark::CreateDefaultDisplayReporter()) {}

  bool ReportContext(const Context& context) override { return inner_->ReportContext(context); }

  void ReportRuns(const std::vector<Run>& runs) override {
    inner_->ReportRuns(runs);
    for (const Run& run : runs) {
      // Repetitions, or their least (which is all that --benchmark_report_aggregates_only
      // reports).
      const bool least = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
      if ((run.run_type != Run::RT_Iteration && !least) || run.error_occurred) continue;
      const double time = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      auto [it, added] = least_.try_emplace(run.run_name.function_name, time);
      if (!added) it->second = std::min(it->second, time);
    }
  }

  void Finalize() override {
    inner_->Finalize();
    const bool console = dynamic_cast<benchmark::ConsoleReporter*>(inner_.get()) != nullptr;
    PrintRatios(console ? GetOutputStream() : GetErrorStream());
  }

 private:
  struct Worst {
    double ratio = 0;
    std::string stream;
  };

  void PrintRatios(std::ostream& out) const {
    std::map<std::string, Worst> worst;  // by literal mode, the last part of the name
    char line[128];
    bool header = false;
    for (const auto& [name, ours] : least_) {
      if (name.rfind("Ours/", 0) != 0) continue;
      const std::string stream = name.substr(5);
      const auto reference = least_.find("Reference/" + stream);
      if (reference == least_.end() || reference->second <= 0) continue;
      if (!header) {
        out << "\nOurs / reference: processor time, least of the repetitions\n";
        std::snprintf(line, sizeof line, "%-24s %12s %14s %8s\n", "stream", "ours ms", "reference ms",
                      "ratio");
        out << line;
        header = true;
      }
      const double ratio = ours / reference->second;
      std::snprintf(line, sizeof line, "%-24s %12.3f %14.3f %8.3f\n", stream.c_str(), ours * 1e3,
                    reference->second * 1e3, ratio);
      out << line;
      Worst& w = worst[stream.substr(stream.rfind('/') + 1)];
      if (ratio > w.ratio) w = Worst{ratio, stream};
    }
    for (const auto& [mode, w] : worst) {
      std::snprintf(line, sizeof line, "worst ratio, %s streams: %.3f (%s)\n", mode.c_str(), w.ratio,
                    w.stream.c_str());
      out << line;
    }
  }

  std::unique_ptr<benchmark::BenchmarkReporter> inner_;
  std::map<std::string, double> least_;  // seconds per iteration, by benchmark name
};

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
            ->Unit(benchmark::kMillisecond)
            ->ComputeStatistics("min", Least);
        benchmark::RegisterBenchmark(("Reference/" + name).c_str(), Reference, kind, size.size,
                                     mode)
            ->Unit(benchmark::kMillisecond)
            ->ComputeStatistics("min", Least);
      }
  benchmark::RegisterBenchmark("ExtractArchive/300K", ExtractArchive300K)
      ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
