// main() of the GUI test programs: a QApplication on the offscreen platform (or the one that
// QT_QPA_PLATFORM names: the X11 tests run on xcb), then every test.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Window tests never touch the user's settings, panel history or the machine's serial ports: the settings
  // live in a temporary folder and COM1..COM4 name devices that do not exist, unless a test
  // sets them itself.
  QTemporaryDir scratch;
  setenv("QUELLSO_SETTINGS", (scratch.path() + "/settings.ini").toLocal8Bit().constData(), 0);
  // Every Get Data and Send Data is recorded in the panel history: never in the user's.
  setenv("XDG_STATE_HOME", (scratch.path() + "/state").toLocal8Bit().constData(), 1);
  for (int n = 1; n <= 4; ++n) {
    const std::string name = "QUELLSO_COM" + std::to_string(n);
    setenv(name.c_str(), ("/nonexistent/quellso-test-COM" + std::to_string(n)).c_str(), 0);
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
