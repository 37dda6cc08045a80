// The serial device operations on Linux, over termios.
//
// Opening: the name is resolved to a device path (panel/portname.h); the path must be a
// character device that answers the terminal ioctls (a plain file, a folder and /dev/null
// do not), with a port behind it.  Exclusive use takes both flock() and TIOCEXCL: flock
// stops every other program that locks, root included, while TIOCEXCL stops the others
// except root; TIOCNXCL on close, or the flag outlives us while another holder keeps the
// tty alive.  The line is put in raw mode at once (a fresh tty echoes what it receives) and
// both queues are flushed: bytes that arrived while the port was closed are stale.
//
// Line settings are set with TCSETS2 and read back: a pseudo-terminal forces 8 data bits and
// drops parity, which is accepted there; any other difference means the device does not
// support the setting (EINVAL).  Flow control starts off, as on a freshly opened port.
//
// Events: the event thread polls the device beside an eventfd that CancelWait writes, so a
// close never waits for a device.  poll() is level-triggered, so once received bytes have
// been reported and stay unread, POLLIN is left out and the input count is sampled every
// tick until it grows or empties.  After a report, bytes that arrive within the next tick
// are reported together at its end, so a stream of single bytes (a flood of noise at the
// line's speed) costs at most one hand-off per tick; the first byte after a quiet tick is
// reported at once.  Bytes still waiting after the reader took some of them
// are reported again at once: a reader that stops early (the panel link ends a read pass on
// a stray byte after a frame) is never left waiting for traffic that may not come, and as
// each report follows a read, this cannot spin.  Bytes a reader leaves wholly unread are
// reported again only when more arrive.  A hang-up (adapter unplugged, pseudo-terminal master
// closed) makes poll report POLLHUP for good: it is reported once and the device is then
// left out of every poll.
//
// Closing waits a bounded time for unsent output (never the driver's 30 s closing wait),
// then discards the rest.

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>

#include "files/descriptor.h"
#include "panel/commbackend.h"
#include "panel/portname.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickMs = 10;  // sampling period while a poll alone cannot tell

bool Unsupported(int error) { return error == ENOTTY || error == EINVAL; }

int Ioctl(int fd, unsigned long request, void* arg) {
  for (;;) {
    if (::ioctl(fd, request, arg) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

int IoctlValue(int fd, unsigned long request, long value) {
  for (;;) {
    if (::ioctl(fd, request, value) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

// Milliseconds left until deadline, at least 0; -1 when there is none.
int Remaining(const std::optional<Clock::time_point>& deadline) {
  if (!deadline) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 24 * 3600 * 1000));
}

std::optional<Clock::time_point> DeadlineIn(std::uint64_t milliseconds) {
  return Clock::now() + std::chrono::milliseconds(milliseconds);
}

// Raw mode: no echo, no line editing, no signals, no translation of CR and LF, no software
// flow control, no output processing; every byte passes as it is, 0xFF included.
void MakeRaw(termios2& t) {
  t.c_iflag &= ~(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | IMAXBEL | IUCLC |
                 INPCK | IGNPAR);
  t.c_iflag |= IGNBRK;
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | ECHOPRT | ICANON | ISIG | IEXTEN | NOFLSH |
                 TOSTOP | XCASE | PENDIN);
  t.c_cflag |= CLOCAL | CREAD;
  // With O_NONBLOCK, VMIN 1 makes an empty queue read as EAGAIN; with VMIN 0 it would read
  // as 0, which is also what a hung-up terminal reads.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
}

speed_t StandardSpeed(std::uint32_t rate) {
  switch (rate) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return BOTHER;
  }
}

// Who else holds the device: "name (PID n)" of the first other process found with it open,
// or empty when none can be seen (other users' processes are hidden from us).
QString FindHolder(dev_t device) {
  const QDir proc("/proc");
  for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    bool numeric = false;
    const long id = pid.toLong(&numeric);
    if (!numeric || id == static_cast<long>(::getpid())) continue;
    const QDir fds("/proc/" + pid + "/fd");
    for (const QString& fd : fds.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
      struct stat st {};
      const QByteArray path = fds.filePath(fd).toLocal8Bit();
      if (::stat(path.constData(), &st) != 0 || !S_ISCHR(st.st_mode) || st.st_rdev != device) continue;
      QFile comm("/proc/" + pid + "/comm");
      QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
      if (name.isEmpty()) name = "a program";
      return QStringLiteral("%1, PID %2").arg(name).arg(id);
    }
  }
  return {};
}

// The account, the device's group, and whether the account is listed in it without this
// session having it (as the port doctor reads them).  A device open to its owner only, or
// owned by group root, leaves the group empty: joining it is not the fix.
void DescribePermission(const struct stat& st, TOpenFailure& failure) {
  const TPortDoctor::Account account = TPortDoctor().AccountFor(st.st_gid);
  failure.user = account.user;
  if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP) || st.st_gid == 0) return;
  failure.group = account.group;
  failure.groupListed = !account.group.isEmpty() && account.listed;
}

TOpenFailure::Reason ReasonOfOpenError(int error) {
  using R = TOpenFailure::Reason;
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR: return R::Absent;
    case EACCES:
    case EPERM: return R::PermissionDenied;
    case EBUSY: return R::InUse;
    case EIO: return R::NoHardware;
    case EISDIR:
    case ENOTTY:
    case EINVAL: return R::NotSerial;
    default: return R::Other;
  }
}

class PosixDevice final : public TCommDevice {
 public:
  PosixDevice(int fd, int wake, bool pty, const termios2& t) : fd_(fd), wake_(wake), pty_(pty) {
    dcb_.BaudRate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
      case CS5: dcb_.ByteSize = 5; break;
      case CS6: dcb_.ByteSize = 6; break;
      case CS7: dcb_.ByteSize = 7; break;
      default: dcb_.ByteSize = 8; break;
    }
    if (!(t.c_cflag & PARENB)) dcb_.Parity = NOPARITY;
    else if (t.c_cflag & CMSPAR) dcb_.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else dcb_.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    dcb_.StopBits = !(t.c_cflag & CSTOPB) ? ONESTOPBIT : dcb_.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    dcb_.XonChar = static_cast<char>(t.c_cc[VSTART]);
    dcb_.XoffChar = static_cast<char>(t.c_cc[VSTOP]);

    int lines = 0;
    has_modem_ = Ioctl(fd_, TIOCMGET, &lines) == 0;
    modem_seen_ = lines;
    serial_icounter_struct counts{};
    has_icount_ = Ioctl(fd_, TIOCGICOUNT, &counts) == 0;
    counts_for_errors_ = counts;
    counts_for_events_ = counts;
  }

  ~PosixDevice() override {
    if (!lost_) DrainOutput();
    IoctlValue(fd_, TCFLSH, TCOFLUSH);
    Ioctl(fd_, TIOCNXCL, nullptr);
    ::close(fd_);  // releases the flock
    ::close(wake_);
  }

  bool IsCharacterDevice() const override { return true; }

  int SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) override {
    // The kernel's queues have fixed sizes; the values are kept for the record.
    in_queue_ = inQueue;
    out_queue_ = outQueue;
    return 0;
  }

  int GetCommState(TDcb& dcb) override {
    dcb = dcb_;
    return 0;
  }

  int SetCommState(const TDcb& dcb) override {
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS)
      return EINVAL;
    // 1.5 stop bits exist only with 5 data bits, 2 stop bits only with 6 to 8.
    if ((dcb.StopBits == ONE5STOPBITS) != (dcb.ByteSize == 5 && dcb.StopBits != ONESTOPBIT)) return EINVAL;
    // Linux has no DSR or DTR handshake.
    if (dcb.fOutxDsrFlow || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE)
      return EINVAL;

    termios2 t{};
    if (const int error = Ioctl(fd_, TCGETS2, &t)) return Failed(error);
    MakeRaw(t);
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    const speed_t speed = StandardSpeed(dcb.BaudRate);
    t.c_cflag |= speed;  // the input speed follows the output speed
    t.c_ispeed = t.c_ospeed = dcb.BaudRate;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[dcb.ByteSize - 5];
    if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;
    switch (dcb.Parity) {
      case ODDPARITY: t.c_cflag |= PARENB | PARODD; break;
      case EVENPARITY: t.c_cflag |= PARENB; break;
      case MARKPARITY: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
      case SPACEPARITY: t.c_cflag |= PARENB | CMSPAR; break;
      default: break;
    }
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) t.c_cflag |= CRTSCTS;
    if (dcb.fOutX) t.c_iflag |= IXON;
    if (dcb.fInX) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    if (const int error = Ioctl(fd_, TCSETS2, &t)) return Failed(error);

    termios2 back{};
    if (const int error = Ioctl(fd_, TCGETS2, &back)) return Failed(error);
    if (!Matches(t, back)) return EINVAL;

    if (!configured_) {
      // Whatever arrived before the line had its speed is noise.
      IoctlValue(fd_, TCFLSH, TCIFLUSH);
      rx_purged_ = true;
      configured_ = true;
    }
    dcb_ = dcb;
    return 0;
  }

  int SetCommTimeouts(const TCommTimeouts& timeouts) override {
    timeouts_ = timeouts;
    return 0;
  }

  int SetCommMask(std::uint32_t mask) override {
    mask_ = mask;
    Wake();
    return 0;
  }

  int WaitCommEvent(std::uint32_t& status) override {
    // The wait after a report of received characters: bytes that arrive within a tick of it
    // are reported together at the end of that tick.
    if (std::exchange(rx_reported_, false)) rx_quiet_until_ = Clock::now() + std::chrono::milliseconds(kTickMs);
    for (;;) {
      if (cancelled_) return ECANCELED;
      const std::uint32_t mask = mask_;
      // With nothing to watch, or once the device has gone, only a cancel ends the wait.
      const bool watch = mask != 0 && !lost_;
      if (watch) {
        if (const std::uint32_t events = Sample(mask)) {
          rx_reported_ = (events & EV_RXCHAR) != 0;
          status = events;
          return 0;
        }
      }
      pollfd p[2] = {{watch ? fd_ : -1, 0, 0}, {wake_, POLLIN, 0}};
      int timeout = -1;
      if (watch) {
        if (mask & EV_RXCHAR) {
          if (const int quiet = Remaining(rx_quiet_until_); quiet > 0) {
            timeout = quiet;
          } else if (rx_seen_ != 0) {
            timeout = kTickMs;
          } else {
            p[0].events = POLLIN;  // level-triggered: only while nothing is reported
          }
        }
        if (((mask & EV_TXEMPTY) && tx_pending_) || ((mask & (EV_CTS | EV_DSR | EV_RLSD | EV_RING)) && has_modem_) ||
            ((mask & (EV_BREAK | EV_ERR)) && has_icount_))
          timeout = timeout < 0 ? kTickMs : std::min(timeout, kTickMs);
      }
      const int n = ::poll(p, 2, timeout);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (p[1].revents & POLLIN) ClearWake();
      if (watch && (p[0].revents & (POLLHUP | POLLERR | POLLNVAL))) {
        lost_ = true;
        return EIO;
      }
    }
  }

  void CancelWait() override {
    cancelled_ = true;
    Wake();
  }

  bool Pause(std::uint32_t milliseconds) override {
    const auto deadline = DeadlineIn(milliseconds);
    while (!cancelled_) {
      pollfd p{wake_, POLLIN, 0};
      const int left = Remaining(deadline);
      if (left == 0) break;
      if (::poll(&p, 1, left) > 0) ClearWake();
    }
    return !cancelled_;
  }

  // Writes until everything is written or the write time-out passes.
  TIoResult Write(const char* buffer, std::uint32_t count) override {
    if (lost_) return {0, EIO};
    const std::uint64_t total = std::uint64_t{timeouts_.WriteTotalTimeoutMultiplier} * count +
                                timeouts_.WriteTotalTimeoutConstant;
    const std::optional<Clock::time_point> deadline =
        total ? DeadlineIn(total) : std::optional<Clock::time_point>{};
    TIoResult result;
    while (result.count < count) {
      const ssize_t n = ::write(fd_, buffer + result.count, count - result.count);
      if (n > 0) {
        result.count += static_cast<std::uint32_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) {
        pollfd p{fd_, POLLOUT, 0};
        const int left = Remaining(deadline);
        if (left == 0 || ::poll(&p, 1, left) == 0) {
          result.error = ETIMEDOUT;
          break;
        }
        if (p.revents & (POLLHUP | POLLERR)) {
          result.error = LoseOn(EIO);
          break;
        }
        continue;
      }
      result.error = LoseOn(n < 0 ? errno : EIO);
      break;
    }
    if (result.count > 0) {
      tx_pending_ = true;
      if (mask_ & EV_TXEMPTY) Wake();
    }
    return result;
  }

  // Reads as the time-outs say.  An interval of 0xFFFFFFFF returns the bytes already waiting
  // at once; with no bytes waiting, the first that arrive within the total time-out
  // (multiplier x count + constant) end the wait.  Otherwise the read runs until the count
  // is complete, the total time-out passes, or (with an interval) the line stays quiet for
  // the interval after a byte.
  TIoResult Read(char* buffer, std::uint32_t count) override {
    if (lost_) return {0, EIO};
    const TCommTimeouts t = timeouts_;
    const bool returnAtOnce = t.ReadIntervalTimeout == MAXDWORD;
    const std::uint64_t total =
        (t.ReadTotalTimeoutMultiplier == MAXDWORD ? 0 : std::uint64_t{t.ReadTotalTimeoutMultiplier} * count) +
        t.ReadTotalTimeoutConstant;
    std::optional<Clock::time_point> deadline;
    if (returnAtOnce) deadline = DeadlineIn(total);  // 0: nothing waiting, nothing read
    else if (total) deadline = DeadlineIn(total);
    TIoResult result;
    while (result.count < count) {
      const ssize_t n = ::read(fd_, buffer + result.count, count - result.count);
      if (n > 0) {
        result.count += static_cast<std::uint32_t>(n);
        rx_consumed_ += static_cast<std::uint32_t>(n);
        if (returnAtOnce) break;
        if (t.ReadIntervalTimeout > 0) {
          const auto gap = DeadlineIn(t.ReadIntervalTimeout);
          if (!deadline || *gap < *deadline) deadline = gap;
        }
        continue;
      }
      if (n == 0) {  // a tty in non-blocking mode reads 0 only after a hang-up
        result.error = LoseOn(EIO);
        break;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN) {
        result.error = LoseOn(errno);
        break;
      }
      const int left = Remaining(deadline);
      if (left == 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, left) == 0) break;
      if ((p.revents & (POLLHUP | POLLERR)) && !(p.revents & POLLIN)) {
        result.error = LoseOn(EIO);
        break;
      }
    }
    return result;
  }

  int ClearCommError(std::uint32_t& errors, TComStat& stat) override {
    errors = 0;
    stat = TComStat{};
    if (lost_) return EIO;
    int waiting = 0;
    if (const int error = Ioctl(fd_, FIONREAD, &waiting)) return LoseOn(error);
    stat.cbInQue = static_cast<std::uint32_t>(std::max(waiting, 0));
    int unsent = 0;
    if (Ioctl(fd_, TIOCOUTQ, &unsent) == 0) stat.cbOutQue = static_cast<std::uint32_t>(std::max(unsent, 0));
    if (has_icount_) {
      serial_icounter_struct now{};
      if (Ioctl(fd_, TIOCGICOUNT, &now) == 0) {
        const serial_icounter_struct& was = counts_for_errors_;
        if (now.frame != was.frame) errors |= CE_FRAME;
        if (now.parity != was.parity) errors |= CE_RXPARITY;
        if (now.overrun != was.overrun) errors |= CE_OVERRUN;
        if (now.buf_overrun != was.buf_overrun) errors |= CE_RXOVER;
        if (now.brk != was.brk) errors |= CE_BREAK;
        counts_for_errors_ = now;
      }
    }
    if (dcb_.fOutxCtsFlow && has_modem_) {
      int lines = 0;
      if (Ioctl(fd_, TIOCMGET, &lines) == 0) stat.fCtsHold = !(lines & TIOCM_CTS);
    }
    return 0;
  }

  int PurgeComm(std::uint32_t flags) override {
    // Reads and writes run to completion on their caller's thread, so there is nothing
    // pending to abort; the clear flags empty the kernel's queues.
    const bool in = flags & PURGE_RXCLEAR, out = flags & PURGE_TXCLEAR;
    if (!in && !out) return 0;
    if (lost_) return EIO;
    const int error = IoctlValue(fd_, TCFLSH, in && out ? TCIOFLUSH : in ? TCIFLUSH : TCOFLUSH);
    if (in) rx_purged_ = true;
    return error;
  }

  int GetCommModemStatus(std::uint32_t& status) override {
    status = 0;
    int lines = 0;
    if (const int error = Ioctl(fd_, TIOCMGET, &lines)) return Unsupported(error) ? 0 : LoseOn(error);
    if (lines & TIOCM_CTS) status |= MS_CTS_ON;
    if (lines & TIOCM_DSR) status |= MS_DSR_ON;
    if (lines & TIOCM_RNG) status |= MS_RING_ON;
    if (lines & TIOCM_CAR) status |= MS_RLSD_ON;
    return 0;
  }

  int EscapeCommFunction(int function) override {
    int line = 0;
    switch (function) {
      case SETXOFF: return LoseOn(IoctlValue(fd_, TCXONC, TCOOFF));
      case SETXON: return LoseOn(IoctlValue(fd_, TCXONC, TCOON));
      case SETRTS:
      case CLRRTS: line = TIOCM_RTS; break;
      case SETDTR:
      case CLRDTR: line = TIOCM_DTR; break;
      case RESETDEV: return 0;
      case SETBREAK: return LoseOn(Ioctl(fd_, TIOCSBRK, nullptr));
      case CLRBREAK: return LoseOn(Ioctl(fd_, TIOCCBRK, nullptr));
      default: return EINVAL;
    }
    const bool set = function == SETRTS || function == SETDTR;
    const int error = Ioctl(fd_, set ? TIOCMBIS : TIOCMBIC, &line);
    return Unsupported(error) ? 0 : LoseOn(error);  // a device without modem lines
  }

  bool Lost() const override { return lost_; }

 private:
  void Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_, &one, sizeof one);
  }
  void ClearWake() {
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(wake_, &value, sizeof value);
  }

  // EIO means the device has gone.
  int LoseOn(int error) {
    if (error == EIO) lost_ = true;
    return error;
  }
  int Failed(int error) { return LoseOn(error); }

  // What a pseudo-terminal changes (data bits, parity enable) is only compared on a real
  // port; the speed may come back rounded to what the hardware can divide.
  bool Matches(const termios2& want, const termios2& got) const {
    tcflag_t compared = CSTOPB | PARODD | CMSPAR | CRTSCTS;
    if (!pty_) compared |= CSIZE | PARENB;
    if ((want.c_cflag & compared) != (got.c_cflag & compared)) return false;
    if ((want.c_iflag & (IXON | IXOFF)) != (got.c_iflag & (IXON | IXOFF))) return false;
    const double ratio = static_cast<double>(got.c_ospeed) / want.c_ospeed;
    return ratio > 0.97 && ratio < 1.03;
  }

  // The events of the mask that happened since the last look.
  std::uint32_t Sample(std::uint32_t mask) {
    std::uint32_t events = 0;
    if (mask & EV_RXCHAR) {
      const std::uint32_t consumed = rx_consumed_.exchange(0);
      const bool purged = rx_purged_.exchange(false);
      int waiting = 0;
      if (Ioctl(fd_, FIONREAD, &waiting) != 0) waiting = 0;
      const auto now = static_cast<std::uint32_t>(std::max(waiting, 0));
      // Bytes reported before and still unread.
      const std::uint32_t before = purged || rx_seen_ < consumed ? 0 : rx_seen_ - consumed;
      // The reader took some of them and stopped: it is asked again at once.  New bytes are
      // reported at once too, unless a report went out less than a tick ago.
      const bool stoppedEarly = consumed > 0 && before > 0 && now > 0;
      const bool arrived = now > before && Remaining(rx_quiet_until_) <= 0;
      if (stoppedEarly || arrived) {
        events |= EV_RXCHAR;
        rx_seen_ = now;
      } else {
        rx_seen_ = std::min(before, now);
      }
    }
    if ((mask & EV_TXEMPTY) && tx_pending_) {
      int unsent = 0;
      if (Ioctl(fd_, TIOCOUTQ, &unsent) != 0 || unsent == 0) {
        unsigned int lsr = TIOCSER_TEMT;
        const int error = Ioctl(fd_, TIOCSERGETLSR, &lsr);
        if (error != 0 || (lsr & TIOCSER_TEMT)) {
          tx_pending_ = false;
          events |= EV_TXEMPTY;
        }
      }
    }
    if ((mask & (EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR)) && (has_modem_ || has_icount_)) {
      int lines = modem_seen_;
      if (has_modem_ && Ioctl(fd_, TIOCMGET, &lines) == 0) {
        const int changed = lines ^ modem_seen_;
        if (changed & TIOCM_CTS) events |= EV_CTS;
        if (changed & TIOCM_DSR) events |= EV_DSR;
        if (changed & TIOCM_CAR) events |= EV_RLSD;
        if (changed & TIOCM_RNG) events |= EV_RING;
        modem_seen_ = lines;
      }
      serial_icounter_struct now{};
      if (has_icount_ && Ioctl(fd_, TIOCGICOUNT, &now) == 0) {
        const serial_icounter_struct& was = counts_for_events_;
        if (now.cts != was.cts) events |= EV_CTS;  // pulses shorter than a tick
        if (now.dsr != was.dsr) events |= EV_DSR;
        if (now.dcd != was.dcd) events |= EV_RLSD;
        if (now.rng != was.rng) events |= EV_RING;
        if (now.brk != was.brk) events |= EV_BREAK;
        if (now.frame != was.frame || now.parity != was.parity || now.overrun != was.overrun ||
            now.buf_overrun != was.buf_overrun)
          events |= EV_ERR;
        counts_for_events_ = now;
      }
    }
    return events & mask;
  }

  // Waits for unsent output for as long as sending it takes plus 100 ms, 2 s at most.
  void DrainOutput() {
    int unsent = 0;
    if (Ioctl(fd_, TIOCOUTQ, &unsent) != 0 || unsent <= 0) return;
    const std::uint64_t rate = std::max<std::uint32_t>(dcb_.BaudRate, 1);
    const std::uint64_t ms = std::min<std::uint64_t>(100 + std::uint64_t(unsent) * 11 * 1000 / rate, 2000);
    const auto deadline = DeadlineIn(ms);
    while (Remaining(deadline) > 0) {
      if (Ioctl(fd_, TIOCOUTQ, &unsent) != 0 || unsent <= 0) return;
      ::poll(nullptr, 0, 5);
    }
  }

  const int fd_;
  const int wake_;
  const bool pty_;
  bool has_modem_ = false;
  bool has_icount_ = false;
  bool configured_ = false;
  TDcb dcb_;
  TCommTimeouts timeouts_;
  std::uint32_t in_queue_ = 0, out_queue_ = 0;

  std::atomic<std::uint32_t> mask_{0};
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> lost_{false};
  std::atomic<std::uint32_t> rx_consumed_{0};  // bytes read since the event thread's last look
  std::atomic<bool> rx_purged_{false};         // input discarded since then
  std::atomic<bool> tx_pending_{false};        // written, not yet reported empty

  // The event thread's own view.
  std::uint32_t rx_seen_ = 0;  // bytes waiting at the last look
  bool rx_reported_ = false;   // the last wait reported received characters
  std::optional<Clock::time_point> rx_quiet_until_;  // no wake-up for a single byte until then
  int modem_seen_ = 0;
  serial_icounter_struct counts_for_events_{};
  // ClearCommError's view (user-interface thread).
  serial_icounter_struct counts_for_errors_{};
};

class PosixBackend final : public TCommBackend {
 public:
  std::unique_ptr<TCommDevice> CreateFile(const QString& name, TOpenFailure& failure) override {
    using R = TOpenFailure::Reason;
    failure = {};
    failure.name = name;
    failure.path = ResolvePortName(name);
    auto fail = [&failure](R reason, int error) -> std::unique_ptr<TCommDevice> {
      failure.reason = reason;
      failure.error = error;
      return nullptr;
    };
    if (failure.path.isEmpty()) return fail(R::Absent, ENOENT);
    const QByteArray path = failure.path.toLocal8Bit();

    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return fail(ReasonOfOpenError(errno), errno);
    if (!S_ISCHR(st.st_mode)) return fail(R::NotSerial, S_ISDIR(st.st_mode) ? EISDIR : ENOTTY);

    // O_NONBLOCK: the open must not wait for a carrier; reads and writes wait in poll().
    Descriptor fd(::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
      const int error = errno;
      const R reason = ReasonOfOpenError(error);
      if (reason == R::PermissionDenied) DescribePermission(st, failure);
      if (reason == R::InUse) failure.holder = FindHolder(st.st_rdev);
      return fail(reason, error);
    }
    if (::fstat(fd.get(), &st) != 0 || !S_ISCHR(st.st_mode)) return fail(R::NotSerial, ENOTTY);

    termios2 t{};
    if (const int error = Ioctl(fd.get(), TCGETS2, &t)) return fail(error == EIO ? R::NoHardware : R::NotSerial, error);
    serial_struct serial{};
    if (Ioctl(fd.get(), TIOCGSERIAL, &serial) == 0 && serial.type == PORT_UNKNOWN) return fail(R::NoHardware, ENODEV);

    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      if (error != EWOULDBLOCK) return fail(R::Other, error);
      failure.holder = FindHolder(st.st_rdev);
      return fail(R::InUse, EBUSY);
    }
    Ioctl(fd.get(), TIOCEXCL, nullptr);  // not every driver has it

    MakeRaw(t);
    t.c_cflag &= ~CRTSCTS;  // flow control starts off
    if (const int error = Ioctl(fd.get(), TCSETS2, &t)) {
      Ioctl(fd.get(), TIOCNXCL, nullptr);
      return fail(error == EIO ? R::NoHardware : R::Other, error);
    }
    IoctlValue(fd.get(), TCFLSH, TCIOFLUSH);

    Descriptor wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (wake.get() < 0) {
      const int error = errno;
      Ioctl(fd.get(), TIOCNXCL, nullptr);
      return fail(R::Other, error);
    }
    const unsigned major = ::major(st.st_rdev);
    const bool pty = major >= 136 && major <= 143;  // pseudo-terminal slaves
    return std::make_unique<PosixDevice>(fd.release(), wake.release(), pty, t);
  }
};

}  // namespace

std::shared_ptr<TCommBackend> PosixCommBackend() {
  static const std::shared_ptr<TCommBackend> backend = std::make_shared<PosixBackend>();
  return backend;
}
