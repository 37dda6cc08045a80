// The serial port on Linux, against pseudo-terminals: the port opens the slave by its path,
// the test plays the panel on the master.  Each test has a fresh pair and a watchdog.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>

#include "panel/comm.h"
#include "panel/portname.h"
#include "tests/panel/ptypair.h"
#include "tests/support/guitest.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class CommPty : public ::testing::Test {
 protected:
  Watchdog watchdog;
  PtyPair pty;
  TComm comm;

  void SetUp() override {
    comm.SetDeviceName(pty.SlavePath());
    comm.SetBaudRate(br19200);
    comm.SetParity(paOdd);
    comm.SetFlowControl(fcNone);
    comm.SetReadBufSize(1024);
    comm.SetWriteBufSize(1024);
    comm.SetMonitorEvents({evRxChar});
  }

  // Reads what the port has, waiting up to 2 s for `count` bytes.
  std::string ReadPort(std::size_t count) {
    std::string out;
    const auto start = Clock::now();
    while (out.size() < count && MillisecondsSince(start) < 2000) {
      const std::int32_t waiting = comm.InQueCount();
      if (waiting <= 0) {
        QThread::msleep(2);
        continue;
      }
      std::string chunk(static_cast<std::size_t>(waiting), '\0');
      const std::int32_t n = comm.Read(chunk.data(), chunk.size());
      if (n > 0) out.append(chunk.data(), static_cast<std::size_t>(n));
    }
    return out;
  }

  bool WaitForInput(std::int32_t count) {
    return WaitUntil([&] { return comm.InQueCount() >= count; }, 2000);
  }

  // The event thread's processor time over one second while events are processed.
  std::int64_t EventThreadCpuOverOneSecond() {
    TCommEventThread* thread = comm.EventThread();
    if (!thread) return -1;
    const std::int64_t before = ThreadCpuNanoseconds(thread->NativeHandle());
    WaitUntil([] { return false; }, 1000);
    return ThreadCpuNanoseconds(thread->NativeHandle()) - before;
  }
};

TEST_F(CommPty, OpenCloseReopen) {
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  comm.Close();
  EXPECT_FALSE(comm.Enabled());
  comm.Close();  // nothing
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  pty.Write("z");
  EXPECT_EQ(ReadPort(1), "z");
  EXPECT_EQ(comm.LastOpenFailure().reason, TOpenFailure::Reason::None);
  EXPECT_TRUE(comm.OpenFailureText().isEmpty());
}

TEST_F(CommPty, ManyOpeningsLeakNoDescriptor) {
  const int before = OpenDescriptorCount();
  for (int i = 0; i < 50; ++i) {
    comm.Open();
    ASSERT_TRUE(comm.Enabled());
    comm.Close();
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(CommPty, ASecondOpenRaisesAndLeavesTheFirstOpeningWorking) {
  comm.Open();
  try {
    comm.Open();
    ADD_FAILURE() << "no error";
  } catch (const ECommError& e) {
    EXPECT_STREQ(e.what(), "Port already assigned (open) (Error: -1)");
    EXPECT_EQ(e.Code(), -1);
  }
  ASSERT_TRUE(comm.Enabled());
  EXPECT_EQ(comm.Write("ok", 2), 2);
  EXPECT_EQ(pty.Read(2), "ok");
}

// flock() keeps out a second opener even when it is root, as the tests run.
TEST_F(CommPty, ASecondOpenerIsRefusedAlsoAsRoot) {
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  TComm other;
  other.SetDeviceName(pty.SlavePath());
  other.Open();
  EXPECT_FALSE(other.Enabled());
  EXPECT_EQ(other.LastOpenFailure().reason, TOpenFailure::Reason::InUse);
  EXPECT_TRUE(other.OpenFailureText().contains("is in use by another program")) << other.OpenFailureText().toStdString();
  comm.Close();
  other.Open();
  EXPECT_TRUE(other.Enabled());
}

// Another account meets the exclusive flag (EBUSY) while the port is open, and not after
// Close (which clears it although the master keeps the terminal alive).
TEST_F(CommPty, AnotherAccountIsRefusedWhileOpenAndAdmittedAfterClose) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch accounts";
  ASSERT_EQ(::chmod(pty.SlavePath().toLocal8Bit().constData(), 0666), 0);
  const QByteArray path = pty.SlavePath().toLocal8Bit();
  auto openAsNobody = [&] {
    return RunAsNobody([&] {
      const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (fd >= 0) {
        ::close(fd);
        return 0;
      }
      return errno;
    });
  };
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  EXPECT_EQ(openAsNobody(), EBUSY);
  comm.Close();
  EXPECT_EQ(openAsNobody(), 0);
}

// An account outside the device's group is told the group and the command that fixes it.
TEST_F(CommPty, PermissionDeniedNamesTheGroupAndTheFix) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch accounts";
  const QByteArray path = pty.SlavePath().toLocal8Bit();
  ASSERT_EQ(::chown(path.constData(), 0, 20), 0);  // group dialout on Debian
  ASSERT_EQ(::chmod(path.constData(), 0660), 0);
  int pipes[2];
  ASSERT_EQ(::pipe(pipes), 0);
  const int result = RunAsNobody([&] {
    TOpenFailure failure;
    const bool opened = PosixCommBackend()->CreateFile(pty.SlavePath(), failure) != nullptr;
    const QByteArray text = DescribeOpenFailure(failure, {}).toUtf8();
    if (::write(pipes[1], text.constData(), static_cast<std::size_t>(text.size())) < 0) return 2;
    return opened ? 1 : 0;
  });
  ::close(pipes[1]);
  char buffer[2048] = {};
  const ssize_t n = ::read(pipes[0], buffer, sizeof buffer - 1);
  ::close(pipes[0]);
  EXPECT_EQ(result, 0);
  ASSERT_GT(n, 0);
  const QString text = QString::fromUtf8(buffer, static_cast<qsizetype>(n));
  EXPECT_TRUE(text.startsWith("Permission denied on " + pty.SlavePath())) << text.toStdString();
  EXPECT_TRUE(text.contains("the group 'dialout'")) << text.toStdString();
  EXPECT_TRUE(text.contains("sudo usermod -aG dialout nobody, then log out and back in.")) << text.toStdString();
}

TEST_F(CommPty, PlainFilesFoldersAndNullAreNoSerialPorts) {
  QTemporaryDir dir;
  QFile file(dir.filePath("port"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  struct Row {
    const char* name;
    QString path;
    TOpenFailure::Reason reason;
  };
  const Row rows[] = {{"PlainFile", file.fileName(), TOpenFailure::Reason::NotSerial},
                      {"Folder", dir.path(), TOpenFailure::Reason::NotSerial},
                      {"DevNull", "/dev/null", TOpenFailure::Reason::NotSerial},
                      {"Absent", dir.filePath("ttyNONE"), TOpenFailure::Reason::Absent},
                      {"Empty", "", TOpenFailure::Reason::Absent}};
  const int descriptors = OpenDescriptorCount();
  for (const Row& row : rows) {
    TComm port;
    port.SetDeviceName(row.path);
    port.Open();  // raises nothing
    EXPECT_FALSE(port.Enabled()) << row.name;
    EXPECT_EQ(port.LastOpenFailure().reason, row.reason) << row.name;
    EXPECT_EQ(port.Read(nullptr, 0), -1) << row.name;
  }
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  TComm port;
  port.SetDeviceName("/dev/null");
  port.Open();
  EXPECT_EQ(port.OpenFailureText(), "/dev/null is not a serial device: choose the serial port in Preferences.");
}

// Control characters, CR, LF and 0xFF pass unchanged both ways, and nothing is echoed.
TEST_F(CommPty, RawModePassesEveryByteBothWays) {
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  const std::string bytes("A\x03" "B\x11\x13\x0A\x0D\xFF\x1A\x1C\x7F" "C", 12);
  pty.Write(bytes);
  EXPECT_EQ(ReadPort(bytes.size()), bytes);
  EXPECT_EQ(pty.ReadAll(150), "");  // no echo
  EXPECT_EQ(comm.Write(bytes.data(), bytes.size()), static_cast<std::int32_t>(bytes.size()));
  EXPECT_EQ(pty.Read(bytes.size()), bytes);
}

TEST_F(CommPty, LineSettingsAsReadBackThroughTheMaster) {
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  PtyPair::Settings s = pty.SlaveSettings();
  EXPECT_EQ(s.ospeed, 19200u);
  EXPECT_EQ(s.ispeed, 19200u);
  EXPECT_TRUE(s.parodd);  // a pseudo-terminal drops PARENB itself, keeps PARODD
  EXPECT_FALSE(s.cstopb);
  EXPECT_FALSE(s.crtscts);
  EXPECT_TRUE(s.clocal);
  EXPECT_FALSE(s.ixon);
  EXPECT_FALSE(s.ixoff);
  EXPECT_FALSE(s.icrnl);
  EXPECT_FALSE(s.istrip);
  EXPECT_FALSE(s.parmrk);
  EXPECT_FALSE(s.opost);
  EXPECT_FALSE(s.echo);
  EXPECT_FALSE(s.icanon);
  EXPECT_FALSE(s.isig);
  EXPECT_FALSE(s.iexten);
  EXPECT_EQ(s.vmin, 1u);
  EXPECT_EQ(s.vtime, 0u);

  // Changes while open reach the line at once; the same settings again are accepted.
  comm.SetBaudRate(br9600);
  comm.SetStopBits(sb20);
  comm.SetParity(paMark);
  s = pty.SlaveSettings();
  EXPECT_EQ(s.ospeed, 9600u);
  EXPECT_TRUE(s.cstopb);
  EXPECT_TRUE(s.cmspar);
  comm.UpdateDataControlBlockLock();
  comm.SetBaudRate(br256000);  // not a standard Linux rate
  EXPECT_EQ(pty.SlaveSettings().ospeed, 256000u);
}

TEST_F(CommPty, ImpossibleLineSettingsAreRefused) {
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  auto error = [&](auto f) -> std::string {
    try {
      f();
    } catch (const ECommError& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_EQ(error([&] { comm.SetDataBits(da4); }), "Error updating DataControlBlock (Error: 22)");
  comm.SetDataBits(da8);
  EXPECT_EQ(error([&] { comm.SetStopBits(sb15); }), "Error updating DataControlBlock (Error: 22)");
  EXPECT_EQ(error([&] { comm.SetDataBits(da5); }), "");  // 1.5 stop bits go with 5 data bits
  EXPECT_EQ(error([&] { comm.EscapeComm(99); }), "EscapeCommFunction failure (Error: 22)");
}

TEST_F(CommPty, InputSentWhileClosedIsDiscardedOnOpen) {
  pty.Write("stale");
  QThread::msleep(50);
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  pty.ReadAll(50);  // whatever the still-cooked terminal echoed
  QThread::msleep(50);
  EXPECT_EQ(comm.InQueCount(), 0);
  pty.Write("new");
  EXPECT_EQ(ReadPort(3), "new");
}

// With nothing waiting a read waits its 1000 ms and returns 0.
TEST_F(CommPty, ReadWithNothingWaitingReturnsZeroAfterItsWait) {
  comm.Open();
  char buffer[8];
  const auto start = Clock::now();
  EXPECT_EQ(comm.Read(buffer, sizeof buffer), 0);
  const long long waited = MillisecondsSince(start);
  EXPECT_GE(waited, 950);
  EXPECT_LT(waited, 3000);
  EXPECT_EQ(comm.Read(buffer, 0), 0);
}

// The first bytes to arrive end the wait: a read does not wait for its whole count.
TEST_F(CommPty, ReadReturnsTheFirstBytesThatArrive) {
  comm.Open();
  std::thread peer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.Write("abc");
  });
  char buffer[10] = {};
  const auto start = Clock::now();
  std::int32_t got = comm.Read(buffer, sizeof buffer);
  const long long waited = MillisecondsSince(start);
  peer.join();
  while (got > 0 && got < 3) {  // the bytes may come in pieces
    const std::int32_t more = comm.Read(buffer + got, static_cast<unsigned long>(sizeof buffer - got));
    if (more <= 0) break;
    got += more;
  }
  EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max(got, 0))), "abc");
  EXPECT_LT(waited, 900);
}

TEST_F(CommPty, WaitingBytesAreReadAtOnceAtMostCount) {
  comm.Open();
  pty.Write("0123456789");
  ASSERT_TRUE(WaitForInput(10));
  char buffer[4];
  const auto start = Clock::now();
  EXPECT_EQ(comm.Read(buffer, 4), 4);
  EXPECT_LT(MillisecondsSince(start), 500);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  EXPECT_EQ(comm.InQueCount(), 6);
  EXPECT_EQ(comm.OutQueCount(), 0);
}

TEST_F(CommPty, PurgeInDiscardsTheInputQueue) {
  comm.Open();
  pty.Write("discard me");
  ASSERT_TRUE(WaitForInput(10));
  comm.PurgeIn();
  EXPECT_EQ(comm.InQueCount(), 0);
  comm.PurgeOut();
  pty.Write("kept");
  EXPECT_EQ(ReadPort(4), "kept");
}

// A pseudo-terminal has no modem lines: they read as off, and setting them is no error.
TEST_F(CommPty, ADeviceWithoutModemLinesReportsThemOff) {
  comm.Open();
  for (int i = 0; i <= 5; ++i) EXPECT_FALSE(comm.GetModemState(i)) << i;
  EXPECT_FALSE(comm.GetComState(0));
  EXPECT_FALSE(comm.GetComState(6));
  comm.SetDTRState(true);
  comm.SetRTSState(false);
  comm.SetBREAKState(true);
  comm.SetBREAKState(false);
  comm.SetXONState(false);  // output stopped ...
  comm.SetXONState(true);   // ... and resumed
  EXPECT_EQ(comm.Write("go", 2), 2);
  EXPECT_EQ(pty.Read(2), "go");
}

// Each received character event reaches OnRxChar on the user-interface thread, in order;
// the events the port does not monitor never fire.
TEST_F(CommPty, ReceivedCharactersArriveOnTheUiThreadInOrder) {
  std::string received;
  int wrongThread = 0, txEmpty = 0, rxFlag = 0;
  comm.OnRxChar = [&](QObject* sender, std::uint32_t count) {
    EXPECT_EQ(sender, &comm);
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) ++wrongThread;
    std::string chunk(count, '\0');
    const std::int32_t n = comm.Read(chunk.data(), count);
    received.append(chunk.data(), static_cast<std::size_t>(std::max(n, 0)));
  };
  comm.OnTxEmpty = [&](QObject*) { ++txEmpty; };
  comm.OnRxFlag = [&](QObject*) { ++rxFlag; };
  comm.EventChars()->SetEvtChar('\n');
  comm.Open();
  std::string sent;
  for (int i = 0; i < 200; ++i) {
    const std::string frame = "#" + std::to_string(i) + "\n";
    pty.Write(frame);
    sent += frame;
    if (i % 20 == 0) comm.Write("x", 1);
    if (i % 7 == 0) QCoreApplication::processEvents();
  }
  ASSERT_TRUE(WaitUntil([&] { return received.size() >= sent.size(); }));
  EXPECT_EQ(received, sent);
  EXPECT_EQ(wrongThread, 0);
  EXPECT_EQ(txEmpty, 0);
  EXPECT_EQ(rxFlag, 0);
}

// The panel's write-rejected answer closes and reopens the port from inside a handler.
TEST_F(CommPty, CloseAndReopenFromInsideTheHandler) {
  int events = 0;
  comm.OnRxChar = [&](QObject*, std::uint32_t) {
    ++events;
    comm.Close();
    EXPECT_FALSE(comm.Enabled());
    if (events == 1) comm.Open();
  };
  comm.Open();
  pty.Write("1");
  ASSERT_TRUE(WaitUntil([&] { return events == 1; }));
  ASSERT_TRUE(comm.Enabled());
  pty.Write("2");  // reaches the new opening
  ASSERT_TRUE(WaitUntil([&] { return events == 2; }));
  EXPECT_FALSE(comm.Enabled());
  pty.Write("3");
  WaitUntil([] { return false; }, 200);
  EXPECT_EQ(events, 2);
}

// Close while the event thread waits for its hand-off to run: it returns, and the queued
// hand-off never reaches a handler.
TEST_F(CommPty, CloseWhileAHandOffIsPending) {
  int events = 0;
  comm.OnRxChar = [&](QObject*, std::uint32_t) { ++events; };
  comm.Open();
  pty.Write("x");
  QThread::msleep(200);  // no events processed: the hand-off stays queued
  comm.Close();
  EXPECT_FALSE(comm.Enabled());
  WaitUntil([] { return false; }, 200);
  EXPECT_EQ(events, 0);
  comm.Open();  // and a new opening works
  pty.Write("y");
  EXPECT_TRUE(WaitUntil([&] { return events == 1; }));
}

TEST_F(CommPty, DestroyingAnOpenPortClosesIt) {
  int events = 0;
  {
    TComm port;
    port.SetDeviceName(pty.SlavePath());
    port.OnRxChar = [&](QObject*, std::uint32_t) { ++events; };
    port.Open();
    ASSERT_TRUE(port.Enabled());
    pty.Write("x");
    QThread::msleep(100);
  }
  WaitUntil([] { return false; }, 100);
  EXPECT_EQ(events, 0);
  comm.Open();
  EXPECT_TRUE(comm.Enabled());
}

// Unplugging (the master closes): the event thread stops waiting on the device and uses no
// processor time; reads and writes fail fast; Close still works.
TEST_F(CommPty, AHangUpDoesNotMakeTheThreadSpin) {
  int events = 0;
  comm.OnRxChar = [&](QObject*, std::uint32_t count) {
    ++events;
    std::string chunk(count, '\0');
    comm.Read(chunk.data(), count);
  };
  comm.Open();
  pty.Write("x");
  ASSERT_TRUE(WaitUntil([&] { return events == 1; }));
  pty.CloseMaster();
  ASSERT_TRUE(WaitUntil([&] { return comm.DeviceLost(); }, 2000));
  const std::int64_t cpu = EventThreadCpuOverOneSecond();
  EXPECT_GE(cpu, 0);
  EXPECT_LT(cpu, 20'000'000) << "event thread used " << cpu / 1000000 << " ms in one second";
  char buffer[4];
  const auto start = Clock::now();
  EXPECT_EQ(comm.Read(buffer, sizeof buffer), 0);
  EXPECT_EQ(comm.Write("x", 1), 0);
  EXPECT_EQ(comm.InQueCount(), 0);
  EXPECT_LT(MillisecondsSince(start), 500);
  EXPECT_TRUE(comm.Enabled());
  comm.Close();
  EXPECT_FALSE(comm.Enabled());
}

// Bytes that the handler leaves unread are reported once, not again and again; new bytes
// bring a new event.
TEST_F(CommPty, UnreadBytesAreReportedOnceWithoutSpinning) {
  std::vector<std::uint32_t> counts;
  comm.OnRxChar = [&](QObject*, std::uint32_t count) { counts.push_back(count); };
  comm.Open();
  pty.Write("12345");
  ASSERT_TRUE(WaitUntil([&] { return !counts.empty() && comm.InQueCount() == 5; }));
  const std::size_t events = counts.size();
  const std::int64_t cpu = EventThreadCpuOverOneSecond();
  EXPECT_LT(cpu, 50'000'000) << "event thread used " << cpu / 1000000 << " ms in one second";
  EXPECT_EQ(counts.size(), events);
  pty.Write("678");
  ASSERT_TRUE(WaitUntil([&] { return !counts.empty() && counts.back() == 8; }));
}

// A handler that reads some of the waiting bytes and stops (as a read pass does on a stray
// byte after a frame) is called again at once for the rest: no new byte has to arrive.
TEST_F(CommPty, BytesLeftAfterTheHandlerReadSomeAreAnnouncedAgain) {
  std::string received;
  int events = 0;
  comm.OnRxChar = [&](QObject*, std::uint32_t) {
    ++events;
    char byte = 0;
    if (comm.Read(&byte, 1) == 1) received += byte;
  };
  comm.Open();
  pty.Write("123456789");
  ASSERT_TRUE(WaitUntil([&] { return received.size() == 9; })) << "read " << received;
  EXPECT_EQ(received, "123456789");
  EXPECT_GE(events, 9);
  EXPECT_EQ(comm.InQueCount(), 0);
}

// With no event monitored the thread only waits for Close.
TEST_F(CommPty, AnEmptyMonitorSetDeliversNothingAndCostsNothing) {
  comm.SetMonitorEvents({});
  int status = 0;
  comm.OnComStatEvent = [&](QObject*, std::uint32_t, TComStat) { ++status; };
  comm.Open();
  pty.Write("x");
  const std::int64_t cpu = EventThreadCpuOverOneSecond();
  EXPECT_LT(cpu, 20'000'000);
  EXPECT_EQ(status, 0);
  comm.Close();
}

}  // namespace
