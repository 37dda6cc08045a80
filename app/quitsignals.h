#pragma once

// Ending the program from outside: SIGTERM (a logout, a shutdown), SIGINT (Ctrl+C in the
// terminal that started it) and SIGHUP (that terminal closed) close the main window as File >
// Exit does, so the serial port is closed and its exclusive hold released, instead of the
// process dying with the port open.  A modal dialog or message box on the screen at that
// moment is ended too.  A second signal of the same kind ends the program at once (for a
// program that no longer responds).
//
// The signal handler only writes the signal's number into a pipe; the user-interface thread
// reads it through a socket notifier and does the rest in its event loop.

#include <QObject>
#include <functional>

class QSocketNotifier;

class TQuitOnSignals : public QObject {
  Q_OBJECT
 public:
  // Installs the handlers; `quit` runs on the user-interface thread when a signal came.  One
  // instance at a time.
  explicit TQuitOnSignals(std::function<void()> quit, QObject* parent = nullptr);
  // Restores the signals' previous handling.
  ~TQuitOnSignals() override;

  // Whether a signal has been handled.
  bool Requested() const { return requested_; }

 private:
  void Activated();

  std::function<void()> quit_;
  QSocketNotifier* notifier_ = nullptr;
  bool requested_ = false;
};
