#pragma once

// Test helpers for the serial port: a fresh pseudo-terminal pair per test (the port opens
// the slave by its path, the test plays the panel on the master), a watchdog that ends a
// hung test, the event thread's processor time, and a forked child with another account.

#include <QString>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class PtyPair {
 public:
  PtyPair();  // fails the test (and leaves master() -1) when no pair can be had
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int master() const { return master_; }
  QString SlavePath() const { return slave_path_; }

  void Write(const std::string& bytes);
  // Reads from the master until `count` bytes came or `timeoutMs` passed.
  std::string Read(std::size_t count, int timeoutMs = 2000);
  // Whatever arrives within timeoutMs (for "nothing arrives" checks).
  std::string ReadAll(int timeoutMs);
  // Closes the master: the slave hangs up, as when an adapter is unplugged.
  void CloseMaster();

  // The slave's line settings, read through the master.
  struct Settings {
    std::uint32_t ispeed = 0, ospeed = 0;
    bool parenb = false, parodd = false, cmspar = false, cstopb = false, crtscts = false, clocal = false;
    bool ixon = false, ixoff = false, icrnl = false, istrip = false, parmrk = false;
    bool opost = false, echo = false, icanon = false, isig = false, iexten = false;
    unsigned vmin = 0, vtime = 0;
  };
  Settings SlaveSettings() const;

 private:
  int master_ = -1;
  QString slave_path_;
};

// Ends the process with a message when the guarded scope lasts longer than its limit, so a
// deadlock fails the test run instead of hanging it.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit = std::chrono::seconds(20));
  ~Watchdog();

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

// Processor time used so far by the thread (from any thread), in nanoseconds.
std::int64_t ThreadCpuNanoseconds(std::thread::native_handle_type thread);

// Runs body in a forked child as uid/gid 65534 without supplementary groups; the child's
// result (its exit code, 0..255) comes back.  Only for root.
int RunAsNobody(const std::function<int()>& body);

// Open descriptors of this process.
int OpenDescriptorCount();
