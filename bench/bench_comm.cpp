// The serial port's receiving side, on a pseudo-terminal.
//
// RxCharLatency: from a byte written on the master to the port's OnRxChar handler running on
// the user-interface thread.  300 bytes, one at a time, each written 15 ms after the previous
// one was handled: the first byte of a reply on a line that was quiet, which is what a panel
// sends.  The median and the 99th percentile are reported as counters (target: median under
// 1 ms).
//
// FloodCpu: random bytes at the line's speed (19200 bit/s, a byte about every 0.57 ms) for
// 3 s, read by the panel link's ReadReplies from OnRxChar as the main window does.  Reports
// the processor time that the event thread and the user-interface thread use, as a share of
// one core (target: under 3 %), and the hand-offs per second.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "panel/comm.h"
#include "panel/panellink.h"

namespace {

using Clock = std::chrono::steady_clock;

// A pseudo-terminal's master, and the port open on its slave at the panel's settings.
struct PortOnPty {
  PortOnPty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0)
      return;
    comm.SetDeviceName(name);
    comm.SetBaudRate(br19200);
    comm.SetParity(paOdd);
    comm.SetMonitorEvents({evRxChar});
  }
  ~PortOnPty() {
    comm.Close();
    if (master >= 0) ::close(master);
  }
  // Empty when all is well.
  const char* Open() {
    if (master < 0) return "no pseudo-terminal";
    comm.Open();
    return comm.Enabled() ? nullptr : "the port did not open";
  }
  TComm comm;
  int master = -1;
};

std::int64_t CpuNanoseconds(clockid_t clock) {
  timespec ts{};
  if (::clock_gettime(clock, &ts) != 0) return 0;
  return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// Runs the event loop for `duration`, sleeping while nothing happens.
void RunEventLoopFor(std::chrono::milliseconds duration) {
  QEventLoop loop;
  QTimer::singleShot(duration, &loop, &QEventLoop::quit);
  loop.exec();
}

std::int64_t ThreadCpu(std::thread::native_handle_type thread) {
  clockid_t clock;
  return ::pthread_getcpuclockid(thread, &clock) == 0 ? CpuNanoseconds(clock) : 0;
}

void RxCharLatency(benchmark::State& state) {
  PortOnPty pty;
  Clock::time_point sent;
  bool handled = false;
  std::vector<double> latencies;
  latencies.reserve(300);
  pty.comm.OnRxChar = [&](QObject*, std::uint32_t count) {
    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
    char buffer[64];
    pty.comm.Read(buffer, std::min<std::uint32_t>(count, sizeof buffer));
    handled = true;
  };
  if (const char* error = pty.Open()) {
    state.SkipWithError(error);
    return;
  }
  QTimer tick;  // wakes the event loop now and then, so a lost byte cannot hang the run
  tick.start(100);
  for (auto _ : state) {
    latencies.clear();
    for (int i = 0; i < 300; ++i) {
      RunEventLoopFor(std::chrono::milliseconds(15));
      handled = false;
      sent = Clock::now();
      if (::write(pty.master, "x", 1) != 1) {
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
  if (latencies.empty()) return;
  std::sort(latencies.begin(), latencies.end());
  state.counters["events"] = static_cast<double>(latencies.size());
  state.counters["median_us"] = latencies[latencies.size() / 2];
  state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
  state.counters["max_us"] = latencies.back();
}
BENCHMARK(RxCharLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

void FloodCpu(benchmark::State& state) {
  PortOnPty pty;
  UnitDataRecord record{};
  TPanelLink link(record);
  link.SetPort(&pty.comm);
  long events = 0;
  pty.comm.OnRxChar = [&](QObject*, std::uint32_t) {
    ++events;
    link.ReadReplies();
  };
  if (const char* error = pty.Open()) {
    state.SkipWithError(error);
    return;
  }
  constexpr auto kFlood = std::chrono::seconds(3);
  constexpr auto kByteTime = std::chrono::nanoseconds(1000000000 / (19200 / 11));
  for (auto _ : state) {
    events = 0;
    std::atomic<long> written{0};
    const std::int64_t ui_before = CpuNanoseconds(CLOCK_THREAD_CPUTIME_ID);
    const std::int64_t thread_before = ThreadCpu(pty.comm.EventThread()->NativeHandle());
    const auto start = Clock::now();
    std::thread writer([&] {
      std::minstd_rand random(2003);
      for (long i = 0;; ++i) {
        const auto due = start + kByteTime * i;
        if (due >= start + kFlood) break;
        std::this_thread::sleep_until(due);
        const auto byte = static_cast<unsigned char>(random());
        if (::write(pty.master, &byte, 1) == 1) ++written;
      }
    });
    RunEventLoopFor(std::chrono::duration_cast<std::chrono::milliseconds>(kFlood) + std::chrono::milliseconds(100));
    writer.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = static_cast<double>(CpuNanoseconds(CLOCK_THREAD_CPUTIME_ID) - ui_before +
                                           ThreadCpu(pty.comm.EventThread()->NativeHandle()) - thread_before);
    state.counters["cpu_percent"] = 100.0 * cpu / 1e9 / seconds;
    state.counters["handoffs_per_s"] = static_cast<double>(events) / seconds;
    state.counters["bytes"] = static_cast<double>(written.load());
    state.counters["left_unread"] = pty.comm.InQueCount();
  }
}
BENCHMARK(FloodCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
