// Started by bench_startup: starts the program as quellso does, with the blocking waits and
// message boxes answered at once, and reports on standard output, when the main window is
// first painted, its resident memory.  Then it ends.

#include <QEvent>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/application.h"
#include "app/mainwindow.h"
#include "panel/pacing.h"
#include "ui/messagebox.h"

namespace {

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  return -1;
}

class FirstPaint : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      std::printf("shown rss_kib=%ld\n", ResidentKiB());
      std::fflush(stdout);
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TApplication app(argc, argv);
  SetSleepHook([](int) {});
  SetMessageBoxHook([](const MessageBoxCall&) { return TModalResult::Ok; });
  CreateWindows();
  FirstPaint filter;
  frmMain->installEventFilter(&filter);
  frmMain->show();
  const int result = app.exec();
  DestroyWindows();
  return result;
}
