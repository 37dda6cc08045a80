// Start-up cost of the program: from starting the process until its main window is first
// painted (on the offscreen platform, without the waits the program makes on purpose), and
// its resident memory at that moment.  Each iteration starts bench_startup_child afresh.

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

extern char** environ;

namespace {

std::string ChildPath() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path(self, n > 0 ? static_cast<std::size_t>(n) : 0);
  return path.substr(0, path.rfind('/') + 1) + "bench_startup_child";
}

// Runs the child once; returns the seconds until it reported its first paint and its
// resident memory in KiB then.
bool RunOnce(const std::string& child, double& seconds, long& rssKiB) {
  int out[2];
  if (pipe(out) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  char* argv[] = {const_cast<char*>(child.c_str()), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, child.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    return false;
  }
  FILE* in = fdopen(out[0], "r");
  char line[256] = {};
  const bool got = std::fgets(line, sizeof line, in) != nullptr;
  const auto shown = std::chrono::steady_clock::now();
  std::fclose(in);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!got || std::sscanf(line, "shown rss_kib=%ld", &rssKiB) != 1) return false;
  seconds = std::chrono::duration<double>(shown - start).count();
  return true;
}

void BM_StartupUntilMainWindowShown(benchmark::State& state) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  char settings[] = "/tmp/quellso-bench-settings-XXXXXX";
  const int fd = mkstemp(settings);
  if (fd >= 0) close(fd);
  setenv("QUELLSO_SETTINGS", settings, 1);  // never the user's own settings

  const std::string child = ChildPath();
  long rss = 0;
  double worst_rss = 0;
  for (auto _ : state) {
    double seconds = 0;
    if (!RunOnce(child, seconds, rss)) {
      state.SkipWithError("bench_startup_child did not report its first paint");
      break;
    }
    state.SetIterationTime(seconds);
    worst_rss = std::max(worst_rss, static_cast<double>(rss));
  }
  state.counters["rss_MiB"] = worst_rss / 1024.0;
  unlink(settings);
}
BENCHMARK(BM_StartupUntilMainWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
