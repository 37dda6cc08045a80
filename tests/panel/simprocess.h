#pragma once

// quellso-panel-sim as a child process of a test: started with the test's options, its
// standard output read line by line (the first line names the device to use, --log adds a
// line per request), and ended with SIGTERM when the test is done.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// Every wait for the simulator gives up after this long, so a panel that never answers
// fails the test instead of hanging it.
inline constexpr auto kSimWatchdog = std::chrono::seconds(15);

class SimProcess {
 public:
  // Starts the simulator with `args`; pid() is -1 when it could not be started.
  explicit SimProcess(const std::vector<std::string>& args);
  // Ends it with SIGTERM (a test failure when it does not end).
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // The next line of output, without its line break; nothing when none came within the
  // watchdog's time or the output ended.
  std::optional<std::string> ReadLine();
  // Up to `count` lines, fewer when the output stops.
  std::vector<std::string> ReadLines(int count);

  // Waits for the process to end; false when it did not in time.
  bool WaitForExit();

  pid_t pid() const { return pid_; }
  int status() const { return status_; }

  // CPU time the process has used so far, in clock ticks.
  long CpuTicks() const;

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int status_ = 0;
  std::string pending_;
};

// The path of the simulator that the tests start.
const char* SimulatorPath();
