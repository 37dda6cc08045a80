// The program on today's desktops: every dialog and message box belongs to the window it
// blocks (transient for it, so the desktop keeps it over that window and, on Wayland,
// places it there), a screen reader finds every control of every window by its caption, and
// on a Wayland session the program runs through XWayland unless the user chose a platform.

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/commandline.h"
#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "app/panelhistory.h"
#include "app/salesorderentry.h"
#include "app/upzchoices.h"
#include "settings/chillerinfo.h"
#include "settings/preferences.h"
#include "tests/support/guitest.h"
#include "ui/exceptionbox.h"

namespace {

// The program's windows as start-up makes them, the main window shown.
class Desktop : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    UnitRecord = UnitDataRecord{};
    CreateWindows();
    ShowMainWindow({});
  }
  void TearDown() override {
    DestroyWindows();
    GuiTest::TearDown();
  }
};

// Runs `show`, which shows one modal window (the real box or file dialog, not the tests'
// seams), closes it, and gives the window it was transient for.
QWindow* TransientParentOf(const std::function<void()>& show) {
  SetMessageBoxHook({});
  TFileDialog::SetHook({});
  QWindow* parent = nullptr;
  int seen = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || !modal->windowHandle()) return;
    parent = modal->windowHandle()->transientParent();
    ++seen;
    modal->close();
  });
  poll.start(5);
  show();
  EXPECT_EQ(seen, 1);
  return parent;
}

TEST_F(Desktop, EveryDialogAndMessageBoxIsTransientForTheWindowItBlocks) {
  const std::pair<const char*, std::function<void()>> dialogs[] = {
      {"Preferences", [] { frmPreferences->exec(); }},
      {"About", [] { frmAbout->exec(); }},
      {"sales order", [] { frmSalesOrderEntry->exec(); }},
      {"choices", [] { frmUpzChoices->exec(); }},
      {"warning", [] { frmDefaultLengthWarning->exec(); }},
      {"history", [] { frmMain->mnuPanelHistoryClick(); }},
      {"file dialog", [] { frmMain->OpenDlg.Execute(frmMain); }},
      {"message box", [] { MessageBox(frmMain, "Data Written Successfully", "Write Results"); }},
      // The exception box names no owner: it belongs to the window the user works in.
      {"exception box", [] { ShowExceptionBox("Port not open (Error: -1)"); }},
  };
  for (const auto& [name, show] : dialogs) EXPECT_EQ(TransientParentOf(show), frmMain->windowHandle()) << name;
  // A message over a dialog belongs to that dialog: the port does not open on Ok.
  frmPreferences->show();
  EXPECT_EQ(TransientParentOf([] { frmPreferences->SavePreferences(); }), frmPreferences->windowHandle());
}

// What a screen reader reads as a control's name, and the caption linked to it.
QString AccessibleName(QWidget* control) {
  return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
}
QString LinkedCaption(QWidget* control) {
  for (const auto& [label, relation] : QAccessible::queryAccessibleInterface(control)->relations(QAccessible::Label))
    if (auto* caption = qobject_cast<QLabel*>(label->object())) return caption->text();
  return {};
}

TEST_F(Desktop, EveryControlOfEveryWindowIsNamedByItsCaption) {
  // The dialogs' fields and lists, by their names; the lists without a caption beside them
  // are named all the same.
  const std::map<QString, QString> names = {
      {"eSalesOrderNumber", "Sales Order Number"},   {"eDefaultUpz", "Default UPZ File Location"},
      {"cDefaultPort", "Default Communications Port"}, {"flbUpzChoices", "Select File"},
      {"eFilter", "Serial number or job name:"},     {"cValues", "Values:"},
      {"lvEntries", "Transfers"},                    {"grdValues", "Values of the transfer"}};
  int fields = 0;
  for (QWidget* window : std::initializer_list<QWidget*>{frmMain, frmPreferences, frmAbout, frmSalesOrderEntry,
                                                         frmUpzChoices, frmDefaultLengthWarning,
                                                         frmMain->frmPanelHistory}) {
    for (QWidget* control : window->findChildren<QWidget*>()) {
      if (control->window() != window || !control->isVisibleTo(window) || !(control->focusPolicy() & Qt::TabFocus))
        continue;
      const std::string where = (window->objectName() + "." + control->objectName()).toStdString();
      const QString name = AccessibleName(control);
      const QString caption = LinkedCaption(control);
      if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        // A button by its caption, or by its hint when it shows only a picture.
        EXPECT_EQ(name, button->text().isEmpty() ? button->toolTip() : button->text()) << where;
      } else if (window != frmMain) {
        ASSERT_TRUE(names.count(control->objectName())) << where << " is not named above";
        EXPECT_EQ(name, names.at(control->objectName())) << where;
        if (!caption.isEmpty() || control->objectName().startsWith(QChar('e'))) {
          EXPECT_EQ(caption, name) << where << ": its caption is not linked";
        }
        ++fields;
      } else {
        // The main window's fields by their captions, the design load's with their column;
        // the condenser column shares the evaporator's captions.
        EXPECT_EQ(name, control->accessibleName()) << where;
        if (!control->objectName().startsWith("eCd")) {
          EXPECT_TRUE(!caption.isEmpty() && name.endsWith(caption)) << where;
        }
        ++fields;
      }
    }
  }
  EXPECT_EQ(fields, 41 + 8);
  // A drop-down list keeps its name whatever is chosen; the entry chosen is its value.
  QComboBox* ports = frmPreferences->cDefaultPort;
  ports->setCurrentIndex(1);
  EXPECT_EQ(AccessibleName(ports), "Default Communications Port");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(ports)->text(QAccessible::Value), ports->itemText(1));
}

TEST(Platform, IsXWaylandOnAWaylandSessionUnlessTheUserChose) {
  static std::map<std::string, std::string> environment;
  const auto platform = [](std::map<std::string, std::string> variables, std::vector<const char*> argv) {
    environment = std::move(variables);
    argv.insert(argv.begin(), "quellso");
    return PlatformForSession(ReadCommandLine(static_cast<int>(argv.size()), argv.data()), [](const char* name) {
      return environment.count(name) ? environment[name].c_str() : nullptr;
    });
  };
  EXPECT_EQ(platform({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, {}), "xcb;wayland");
  EXPECT_EQ(platform({{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}}, {"unit.dat"}), "xcb;wayland");
  EXPECT_EQ(platform({{"WAYLAND_DISPLAY", "wayland-0"}}, {}), "");  // no XWayland
  EXPECT_EQ(platform({{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}, {}), "");
  EXPECT_EQ(platform({{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}}, {}), "");
  EXPECT_EQ(platform({{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}}, {"-platform", "wayland"}), "");
}

}  // namespace
