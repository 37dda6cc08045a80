// Windows open centred on the screen, frame and title bar included, from their very first
// show.  This program runs on the X11 platform under a virtual display with a window manager
// (tests/support/with-window-manager), which frames the windows only once they are shown, as
// on a desktop.

#include <QGuiApplication>
#include <QScreen>

#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "app/salesorderentry.h"
#include "app/upzchoices.h"
#include "settings/chillerinfo.h"
#include "settings/preferences.h"
#include "tests/support/guitest.h"

namespace {

class Placement : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under tests/support/with-window-manager";
  }

  // The frame's centre less the screen's, once the window manager has framed the window and
  // the window has settled.
  static QPoint OffCentre(QWidget* window) {
    const QPoint centre = window->screen()->availableGeometry().center();
    auto offset = [&] { return window->frameGeometry().center() - centre; };
    WaitUntil([&] { return window->frameGeometry().top() < window->geometry().top() && offset().manhattanLength() <= 1; },
              5000);
    return offset();
  }

  static void ExpectCentred(QWidget* window, const char* name) {
    window->show();
    const QPoint first = OffCentre(window);
    EXPECT_LT(window->frameGeometry().top(), window->geometry().top()) << name << ": no title bar";
    EXPECT_LE(first.manhattanLength(), 1) << name << " first shown " << first.x() << "," << first.y() << " off centre";
    window->hide();
    window->show();
    const QPoint again = OffCentre(window);
    EXPECT_LE(again.manhattanLength(), 1) << name << " shown again " << again.x() << "," << again.y() << " off centre";
    window->hide();
  }
};

// The first window of the program is shown before any frame has been seen.
TEST_F(Placement, TheMainWindowThenEveryDialog) {
  UnitDataRecord record{};
  TfrmMain main(record);
  main.show();
  const QPoint first = OffCentre(&main);
  EXPECT_LT(main.frameGeometry().top(), main.geometry().top()) << "no title bar";
  EXPECT_LE(first.manhattanLength(), 1) << "main window first shown " << first.x() << "," << first.y() << " off centre";

  TfrmPreferences preferences;
  ExpectCentred(&preferences, "Preferences");
  TfrmAbout about;
  ExpectCentred(&about, "About");
  TfrmSalesOrderEntry salesOrder;
  ExpectCentred(&salesOrder, "sales order entry");
  TfrmUpzChoices choices;
  ExpectCentred(&choices, "choices");
  TfrmDefaultLengthWarning warning;
  ExpectCentred(&warning, "default length warning");
}

}  // namespace
