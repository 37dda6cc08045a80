// quellso: the order-entry program for chiller control panels.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>

#include "app/application.h"
#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/quitsignals.h"
#include "files/localpath.h"
#include "files/standardstreams.h"
#include "quellso/version.h"
#include "ui/exceptionbox.h"
#include "ui/pictures.h"

namespace {
// Without a display the toolkit would end with an error of its own; say plainly what is
// missing instead.
bool DisplayAvailable() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform) return true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}
}  // namespace

int main(int argc, char** argv) {
  KeepStandardStreamsOpen();
  // The command line first: --help and --version need no display.
  const TCommandLine line = ReadCommandLine(argc, argv);
  switch (line.action) {
    case TCommandLine::Action::Help:
    case TCommandLine::Action::Version: {
      StandardOutput output("quellso");
      std::cout << (line.action == TCommandLine::Action::Help ? std::string(QuellsoUsage()) : VersionLine("quellso"));
      return output.Finish(0, 1);
    }
    case TCommandLine::Action::Wrong:
      std::fprintf(stderr, "quellso: %s\nTry \"quellso --help\".\n", line.error.c_str());
      return 2;
    case TCommandLine::Action::Run:
      break;
  }
  if (!DisplayAvailable()) {
    std::fprintf(stderr,
                 "quellso: no graphical display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                 "Start it from a desktop session, or with a virtual display: xvfb-run quellso\n");
    return 2;
  }

  // On a Wayland desktop, through XWayland unless the user chose (see commandline.h); the
  // programs it starts (Release Notes opens an editor) choose their own platform.
  const std::string platform =
      PlatformForSession(line, [](const char* name) -> const char* { return std::getenv(name); });
  if (!platform.empty()) setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
  TApplication app(argc, argv);
  if (!platform.empty()) unsetenv("QT_QPA_PLATFORM");
  QCoreApplication::setOrganizationName(QStringLiteral("Hollin Enterprises"));
  QCoreApplication::setApplicationName(QStringLiteral("Quellso"));
  QGuiApplication::setDesktopFileName(QStringLiteral("quellso"));
  QApplication::setWindowIcon(ProgramIcon());

  // SIGTERM, SIGINT and SIGHUP end the program as File > Exit does, so the serial port is
  // closed; the event loop of a dialog or message box on the screen ends with it.
  const TQuitOnSignals quitOnSignals([] {
    if (frmMain) Guarded([] { frmMain->mnuExitClick(); });
    QCoreApplication::exit(0);
  });

  int result = 1;
  try {
    CreateWindows();
    ShowMainWindow(DecodeFileName(line.file));
    // A signal during the first show (over its "COM Port Error" message) has ended it already.
    result = quitOnSignals.Requested() ? 0 : app.exec();
  } catch (const std::exception& e) {
    ShowExceptionBox(QString::fromLocal8Bit(e.what()));
  }
  DestroyWindows();
  return result;
}
