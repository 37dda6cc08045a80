#include "tests/panel/ptypair.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QDir>
#include <cstdio>
#include <cstdlib>

PtyPair::PtyPair() {
  const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  char name[128];
  if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    if (fd >= 0) ::close(fd);
    return;
  }
  master_ = fd;
  slave_path_ = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::CloseMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void PtyPair::Write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{master_, POLLOUT, 0};
      ::poll(&p, 1, 100);
    } else if (!(n < 0 && errno == EINTR)) {
      ADD_FAILURE() << "write to the master failed: " << std::strerror(errno);
      return;
    }
  }
}

std::string PtyPair::Read(std::size_t count, int timeoutMs) {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (out.size() < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
    else if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;
  }
  return out;
}

std::string PtyPair::ReadAll(int timeoutMs) { return Read(1 << 20, timeoutMs); }

PtyPair::Settings PtyPair::SlaveSettings() const {
  termios2 t{};
  Settings s;
  if (::ioctl(master_, TCGETS2, &t) != 0) {
    ADD_FAILURE() << "TCGETS2 on the master failed";
    return s;
  }
  s.ispeed = t.c_ispeed;
  s.ospeed = t.c_ospeed;
  s.parenb = t.c_cflag & PARENB;
  s.parodd = t.c_cflag & PARODD;
  s.cmspar = t.c_cflag & CMSPAR;
  s.cstopb = t.c_cflag & CSTOPB;
  s.crtscts = t.c_cflag & CRTSCTS;
  s.clocal = t.c_cflag & CLOCAL;
  s.ixon = t.c_iflag & IXON;
  s.ixoff = t.c_iflag & IXOFF;
  s.icrnl = t.c_iflag & ICRNL;
  s.istrip = t.c_iflag & ISTRIP;
  s.parmrk = t.c_iflag & PARMRK;
  s.opost = t.c_oflag & OPOST;
  s.echo = t.c_lflag & ECHO;
  s.icanon = t.c_lflag & ICANON;
  s.isig = t.c_lflag & ISIG;
  s.iexten = t.c_lflag & IEXTEN;
  s.vmin = t.c_cc[VMIN];
  s.vtime = t.c_cc[VTIME];
  return s;
}

Watchdog::Watchdog(std::chrono::seconds limit) {
  const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()
                               ? ::testing::UnitTest::GetInstance()->current_test_info()->name()
                               : "?";
  thread_ = std::thread([this, limit, test] {
    std::unique_lock lock(mutex_);
    if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
      std::fprintf(stderr, "\nWATCHDOG: test %s did not finish within %lld s (deadlock?)\n", test.c_str(),
                   static_cast<long long>(limit.count()));
      std::fflush(stderr);
      std::_Exit(3);
    }
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  done_.notify_all();
  thread_.join();
}

std::int64_t ThreadCpuNanoseconds(std::thread::native_handle_type thread) {
  clockid_t clock;
  timespec ts{};
  if (::pthread_getcpuclockid(thread, &clock) != 0 || ::clock_gettime(clock, &ts) != 0) return -1;
  return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

int RunAsNobody(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(250);
    ::_exit(body());
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

int OpenDescriptorCount() { return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::System | QDir::Files).size()); }
