// The program ended from outside (a logout's SIGTERM, Ctrl+C's SIGINT, a closed terminal's
// SIGHUP), run as a process on the offscreen platform: it closes the serial port as File >
// Exit does, so the next start can open the port; a "COM Port Error" message on the screen
// does not keep it from ending.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <chrono>
#include <csignal>
#include <functional>
#include <ostream>

#include "tests/panel/ptypair.h"

namespace {

using Clock = std::chrono::steady_clock;

// Waits up to `seconds` for `done`.
bool WaitFor(const std::function<bool()>& done, int seconds = 30) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    QThread::msleep(20);
  }
  return true;
}

// The program with its own settings file naming `port`.
class Program {
 public:
  Program(const QTemporaryDir& dir, const QString& port) : settings_(dir.filePath("quellso.ini")) {
    QFile file(settings_);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Preferences]\nCOMPort=" + port.toLocal8Bit() + "\n");
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QUELLSO_SETTINGS", settings_);
    environment.insert("XDG_STATE_HOME", dir.filePath("state"));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(QStringLiteral(QUELLSO_PROGRAM), {});
    EXPECT_TRUE(process_.waitForStarted(10000));
  }
  ~Program() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(10000);
    }
  }

  // The first show has loaded the preferences: it writes the values the file lacks.
  bool PreferencesLoaded() const {
    QFile file(settings_);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("UnitSystem=");
  }
  void Signal(int number) { ASSERT_EQ(::kill(static_cast<pid_t>(process_.processId()), number), 0); }
  bool Ended() { return process_.waitForFinished(30000); }
  QProcess& Process() { return process_; }

 private:
  QString settings_;
  QProcess process_;
};

// Whether the exclusive-use flag is set on the terminal behind `fd`.
bool Exclusive(int fd) {
  int exclusive = 0;
  EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
  return exclusive != 0;
}

// Whether the program's next start could open the device: for an account other than root
// (root passes the exclusive flag).
bool OpenableByAUser(const QString& path) {
  const QByteArray device = path.toLocal8Bit();
  const auto open = [device] {
    const int fd = ::open(device.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY ? 1 : 2;
    ::close(fd);
    return 0;
  };
  if (::geteuid() != 0) return open() == 0;
  ::chmod(device.constData(), 0666);
  return RunAsNobody(open) == 0;
}

struct SignalCase {
  const char* name;
  int number;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class QuitOnSignal : public ::testing::TestWithParam<SignalCase> {};

TEST_P(QuitOnSignal, ClosesThePortAsExitDoes) {
  QTemporaryDir dir;
  PtyPair pty;
  ASSERT_GE(pty.master(), 0);
  // A descriptor of the test's own on the device shows the flag the program leaves on it.
  const int watch = ::open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(watch, 0);
  Program program(dir, pty.SlavePath());
  ASSERT_TRUE(WaitFor([&] { return Exclusive(watch); })) << "the program did not open the port";
  pty.ReadAll(300);  // the length requests of the first show

  program.Signal(GetParam().number);
  ASSERT_TRUE(program.Ended());
  EXPECT_EQ(program.Process().exitStatus(), QProcess::NormalExit) << "killed by the signal";
  EXPECT_EQ(program.Process().exitCode(), 0);
  EXPECT_FALSE(Exclusive(watch)) << "the port was left held";
  EXPECT_TRUE(OpenableByAUser(pty.SlavePath()));
  ::close(watch);
}

INSTANTIATE_TEST_SUITE_P(Signals, QuitOnSignal,
                         ::testing::Values(SignalCase{"Term", SIGTERM}, SignalCase{"Int", SIGINT},
                                           SignalCase{"Hup", SIGHUP}),
                         [](const ::testing::TestParamInfo<SignalCase>& info) { return std::string(info.param.name); });

// The port did not open: the "COM Port Error" message is on the screen, in its own event
// loop, when the logout comes.
TEST(QuitOnSignalOverAMessage, EndsTheProgram) {
  QTemporaryDir dir;
  Program program(dir, dir.filePath("ttyNONE"));
  ASSERT_TRUE(WaitFor([&] { return program.PreferencesLoaded(); }));
  QThread::msleep(500);  // the message box opens right after
  program.Signal(SIGTERM);
  ASSERT_TRUE(program.Ended()) << "still running after SIGTERM";
  EXPECT_EQ(program.Process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.Process().exitCode(), 0);
}

}  // namespace
