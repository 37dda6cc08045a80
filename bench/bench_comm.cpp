// Latency of a received byte: from the byte written on a pseudo-terminal's master to the
// port's OnRxChar handler running on the user-interface thread.  1000 bytes, one at a time,
// each written after the previous one was handled; the median and the 99th percentile are
// reported as counters (target: median under 1 ms).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "panel/comm.h"

namespace {

using Clock = std::chrono::steady_clock;

void RxCharLatency(benchmark::State& state) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char name[128];
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  TComm comm;
  comm.SetDeviceName(name);
  comm.SetBaudRate(br19200);
  comm.SetParity(paOdd);
  comm.SetMonitorEvents({evRxChar});
  Clock::time_point sent;
  bool handled = false;
  std::vector<double> latencies;
  latencies.reserve(1000);
  comm.OnRxChar = [&](QObject*, std::uint32_t count) {
    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    char buffer[64];
    comm.Read(buffer, std::min<std::uint32_t>(count, sizeof buffer));
    handled = true;
  };
  comm.Open();
  if (!comm.Enabled()) {
    state.SkipWithError("the port did not open");
    ::close(master);
    return;
  }
  QTimer tick;  // wakes the event loop now and then, so a lost byte cannot hang the run
  tick.start(100);
  for (auto _ : state) {
    latencies.clear();
    for (int i = 0; i < 1000; ++i) {
      handled = false;
      sent = Clock::now();
      if (::write(master, "x", 1) != 1) {
        state.SkipWithError("write to the master failed");
        break;
      }
      const auto deadline = sent + std::chrono::seconds(2);
      while (!handled && Clock::now() < deadline) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      if (!handled) {
        state.SkipWithError("a byte was not handled within 2 s");
        break;
      }
    }
  }
  comm.Close();
  ::close(master);
  if (latencies.empty()) return;
  std::sort(latencies.begin(), latencies.end());
  state.counters["events"] = static_cast<double>(latencies.size());
  state.counters["median_us"] = latencies[latencies.size() / 2];
  state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
  state.counters["max_us"] = latencies.back();
}
BENCHMARK(RxCharLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
