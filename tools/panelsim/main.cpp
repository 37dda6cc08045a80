// quellso-panel-sim: a chiller panel on the other end of a serial line, for trying the program
// without a panel, for training, and for the tests.  It opens a new pseudo-terminal pair (or
// a serial device), prints the device that the program should use, and answers requests
// until SIGINT or SIGTERM.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "files/standardstreams.h"
#include "quellso/version.h"
#include "tools/panelsim/panelsim.h"

namespace {

// Each end of the self-pipe that turns SIGINT and SIGTERM into something poll() sees.
int g_signal_pipe[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(g_signal_pipe[1], &byte, 1);
  errno = saved;
}

bool InstallSignals(std::string& error) {
  if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    error = std::string("cannot create a pipe: ") + std::strerror(errno);
    return false;
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);  // a closed standard output must not end the panel
  return true;
}

// Raw bytes, 19200 bit/s, 8 data bits, odd parity, 1 stop bit, no flow control: the panel's
// line.  On a pseudo-terminal the speed and parity mean nothing, but raw mode matters: a
// slave left in its cooked default would echo the replies back.
bool ConfigureLine(int fd, std::string& error) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    error = std::string("cannot read the line settings: ") + std::strerror(errno);
    return false;
  }
  cfmakeraw(&tio);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | CRTSCTS);
  tio.c_cflag |= CS8 | PARENB | PARODD | CLOCAL | CREAD;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, B19200);
  cfsetospeed(&tio, B19200);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) {
    error = std::string("cannot set the line to 19200 8O1: ") + std::strerror(errno);
    return false;
  }
  return true;
}

// A new pseudo-terminal: returns the master, and the slave's path for the program.  The slave
// is opened once to put it in raw mode and closed again; its settings stay with the pair.
int OpenPseudoTerminal(std::string& path, std::string& error) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    error = std::string("cannot open a new pseudo-terminal: ") + std::strerror(errno);
    return -1;
  }
  char name[256] = {};
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    error = std::string("cannot prepare the pseudo-terminal: ") + std::strerror(errno);
    close(master);
    return -1;
  }
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0 || !ConfigureLine(slave, error)) {
    if (slave < 0) error = std::string("cannot open ") + name + ": " + std::strerror(errno);
    if (slave >= 0) close(slave);
    close(master);
    return -1;
  }
  close(slave);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  path = name;
  return master;
}

int OpenDevice(const std::string& path, std::string& error) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    if (errno == EACCES) error += " (is your user in the device's group, e.g. dialout?)";
    return -1;
  }
  if (ioctl(fd, TIOCEXCL) != 0 || !ConfigureLine(fd, error)) {
    if (error.empty()) error = path + " is not a serial device: " + std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

using Clock = std::chrono::steady_clock;

// Waits until `until`; false when a signal asked to stop meanwhile.
bool WaitUntil(Clock::time_point until) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(until - Clock::now()).count();
    if (left <= 0) return true;
    const timespec ts{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
    pollfd p{g_signal_pipe[0], POLLIN, 0};
    const int r = ppoll(&p, 1, &ts, nullptr);
    if (r > 0) return false;
    if (r < 0 && errno != EINTR) return true;
  }
}

bool Wait(int ms) { return WaitUntil(Clock::now() + std::chrono::milliseconds(ms)); }

// The time one byte takes on the line.
constexpr auto kByteTime = std::chrono::nanoseconds(1000000000 / kSimLineBytesPerSecond);

// Writes every byte, waiting up to a second whenever the line takes no more.
void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      if (poll(&p, 1, 1000) <= 0 || (p.revents & POLLOUT) == 0) {
        std::fprintf(stderr, "quellso-panel-sim: the line takes no more bytes; a reply is lost\n");
        return;
      }
    } else {
      return;  // the other end has gone; the reply is lost as on a real line
    }
  }
}

// Writes one byte after the other at the line's speed; false when a signal asked to stop.
bool WritePaced(int fd, const std::vector<std::uint8_t>& bytes) {
  const auto start = Clock::now();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    WriteAll(fd, {bytes[i]});
    if (!WaitUntil(start + kByteTime * static_cast<long>(i + 1))) return false;
  }
  return true;
}

// Random bytes at the line's speed for `ms` milliseconds.  A byte the line does not take at
// once (nobody reads the other end) is lost, as it would be on a serial line.  Returns the
// bytes written; false in `stopped` when a signal asked to stop.
long Flood(int fd, TPanelSimulator& panel, int ms, bool& stopped) {
  const auto start = Clock::now();
  const auto end = start + std::chrono::milliseconds(ms);
  long written = 0;
  stopped = false;
  for (long i = 0;; ++i) {
    const auto due = start + kByteTime * i;
    if (due >= end) break;
    if (!WaitUntil(due)) {
      stopped = true;
      break;
    }
    const std::uint8_t byte = panel.FloodByte();
    if (write(fd, &byte, 1) == 1) ++written;
  }
  return written;
}

void Log(const TSimOptions& options, const std::string& line) {
  if (!options.log) return;
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  KeepStandardStreamsOpen();
  TSimOptions options;
  bool help = false;
  std::string error = ParseSimOptions(argc, argv, options, help);
  if (!error.empty()) {
    std::fprintf(stderr, "quellso-panel-sim: %s\nTry \"quellso-panel-sim --help\".\n", error.c_str());
    return 2;
  }
  if (help || options.version) {
    StandardOutput output("quellso-panel-sim");
    std::cout << (help ? std::string(SimUsage()) : VersionLine("quellso-panel-sim"));
    return output.Finish(0, 1);
  }
  if (!InstallSignals(error)) {
    std::fprintf(stderr, "quellso-panel-sim: %s\n", error.c_str());
    return 1;
  }

  // The stored values come first: a state file that cannot be read or created ends the
  // simulator before it names a device.
  TPanelSimulator panel(options);
  if (!options.state.empty()) {
    bool existed = false;
    error = panel.LoadState(options.state, existed);
    if (error.empty() && !existed) error = panel.SaveState(options.state);
    if (!error.empty()) {
      std::fprintf(stderr, "quellso-panel-sim: %s\n", error.c_str());
      return 1;
    }
  }

  const bool pseudo_terminal = options.device.empty();
  std::string path = options.device;
  const int line = pseudo_terminal ? OpenPseudoTerminal(path, error) : OpenDevice(path, error);
  if (line < 0) {
    std::fprintf(stderr, "quellso-panel-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", path.c_str());
  std::fflush(stdout);

  std::array<std::uint8_t, 512> buffer{};
  // While no program holds the slave open, the master reports a hang-up at once, every time
  // it is polled, and reads fail with EIO.  Then the line is looked at again every 100 ms
  // instead of being polled in a busy loop; the program may open the slave at any time.
  bool hung_up = false;
  int status = 0;
  // After a request, once the line has been quiet for a while: the flood (once), else the
  // idle noise.
  bool quiet_due = false;
  bool flood_due = options.floodMs > 0;
  Clock::time_point last_request{};
  for (;;) {
    const bool quiet_acts = quiet_due && !hung_up && (flood_due || options.idleNoise > 0);
    int timeout = hung_up ? 100 : -1;
    if (quiet_acts) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          last_request + std::chrono::milliseconds(kSimQuietMs) - Clock::now());
      timeout = static_cast<int>(std::max<long long>(left.count(), 0));
    }
    pollfd fds[2] = {{g_signal_pipe[0], POLLIN, 0}, {line, POLLIN, 0}};
    const int r = poll(fds, hung_up ? 1 : 2, timeout);
    if (r < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "quellso-panel-sim: cannot wait for the line: %s\n", std::strerror(errno));
      status = 1;
      break;
    }
    if (fds[0].revents != 0) break;  // SIGINT or SIGTERM
    if (hung_up) {
      hung_up = false;
      continue;
    }
    if (r == 0 && quiet_acts) {
      quiet_due = false;
      if (flood_due) {
        flood_due = false;
        bool stopped = false;
        const long bytes = Flood(line, panel, options.floodMs, stopped);
        if (stopped) break;
        Log(options, "flood: " + std::to_string(bytes) + " random bytes in " + std::to_string(options.floodMs) + " ms");
      } else {
        const std::vector<std::uint8_t> noise = panel.IdleNoise();
        if (options.paced) {
          if (!WritePaced(line, noise)) break;
        } else {
          WriteAll(line, noise);
        }
        Log(options, "idle noise: " + std::to_string(noise.size()) + " bytes");
      }
      continue;
    }
    const bool readable = (fds[1].revents & POLLIN) != 0;
    const bool hang_up = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    ssize_t n = 0;
    if (readable) {
      n = read(line, buffer.data(), buffer.size());
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    }
    if (n <= 0) {
      if (!readable && !hang_up) continue;
      if (pseudo_terminal) {
        hung_up = true;  // no program holds the slave open (EIO, or a hang-up)
        continue;
      }
      std::fprintf(stderr, "quellso-panel-sim: %s has gone (hang-up)\n", path.c_str());
      status = 1;
      break;
    }
    bool stop = false;
    for (ssize_t i = 0; i < n && !stop; ++i) {
      const std::optional<TPanelSimulator::Answer> answer = panel.Take(buffer[static_cast<std::size_t>(i)]);
      if (!answer) continue;
      if (!answer->bytes.empty()) {
        if (options.delayMs > 0 && !Wait(options.delayMs)) stop = true;
        if (!stop && options.paced) stop = !WritePaced(line, answer->bytes);
        else if (!stop) WriteAll(line, answer->bytes);
      }
      if (answer->request) {  // the quiet spell counts from the end of its answer
        quiet_due = true;
        last_request = Clock::now();
      }
      // A value written is saved at once, so that the file always shows what the panel holds.
      // A save that fails is reported and the simulator carries on: the value stays stored.
      if (!stop && answer->stored && !options.state.empty()) {
        const std::string saved = panel.SaveState(options.state);
        if (!saved.empty()) std::fprintf(stderr, "quellso-panel-sim: %s\n", saved.c_str());
      }
      // Logged after the reply is on its way (and the value saved), so that whoever reads the
      // log knows the reply is already in the line.
      if (!stop && !answer->log.empty()) Log(options, answer->log);
    }
    if (stop) break;
  }
  close(line);
  return status;
}
