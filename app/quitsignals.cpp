#include "app/quitsignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

int pipe_[2] = {-1, -1};
std::array<struct sigaction, kSignals.size()> previous_{};

// Runs in the signal's context: only async-signal-safe calls.
extern "C" void WriteSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  [[maybe_unused]] const ssize_t written = ::write(pipe_[1], &byte, 1);  // a full pipe already says enough
  errno = saved;
}

}  // namespace

TQuitOnSignals::TQuitOnSignals(std::function<void()> quit, QObject* parent) : QObject(parent), quit_(std::move(quit)) {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe_[0] = pipe_[1] = -1;
    return;  // the signals keep their default handling: the program ends as before
  }
  notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TQuitOnSignals::Activated);
  struct sigaction action {};
  action.sa_handler = WriteSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls carry on; the handler goes back to the default after its first
  // signal, so a second one ends a program that no longer responds.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &previous_[i]);
}

TQuitOnSignals::~TQuitOnSignals() {
  if (pipe_[0] < 0) return;
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous_[i], nullptr);
  delete notifier_;
  ::close(pipe_[0]);
  ::close(pipe_[1]);
  pipe_[0] = pipe_[1] = -1;
}

void TQuitOnSignals::Activated() {
  char bytes[16];
  while (::read(pipe_[0], bytes, sizeof bytes) > 0) {
  }
  if (requested_) return;
  requested_ = true;
  if (quit_) quit_();
}
