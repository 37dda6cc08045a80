// The program on today's desktops: every dialog and message box belongs to the main window
// (transient for it, so the desktop keeps it over that window and, on Wayland, places it
// there), a screen reader finds every control of every window by its caption, and on a
// Wayland session the program runs through XWayland unless the user chose a platform.

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
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
    messages.clear();  // the port that cannot be opened at first show
  }
  void TearDown() override {
    DestroyWindows();
    GuiTest::TearDown();
  }
};

// ---- dialogs and message boxes belong to the main window ------------------------------------

struct Seen {
  QString title;
  QWindow* transientParent;
};

// Runs `show`, which shows modal windows one after another; each that appears is recorded
// and closed, so that `show` returns.  The real boxes and file dialogs are shown: the seams
// that answer them in the other tests are taken away meanwhile.
std::vector<Seen> Modals(const std::function<void()>& show) {
  SetMessageBoxHook({});
  TFileDialog::SetHook({});
  std::vector<Seen> seen;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || !modal->windowHandle()) return;
    seen.push_back({modal->windowTitle(), modal->windowHandle()->transientParent()});
    modal->close();
  });
  poll.start();
  show();
  return seen;
}

struct ParentCase {
  const char* name;
  std::function<void()> show;
  QString title;  // of the modal window expected
  std::function<QWidget*()> owner;
};

void PrintTo(const ParentCase& c, std::ostream* os) { *os << c.name; }

class DialogParents : public Desktop, public ::testing::WithParamInterface<ParentCase> {};

TEST_P(DialogParents, AreTransientForTheWindowTheyBlock) {
  const ParentCase& c = GetParam();
  const std::vector<Seen> seen = Modals(c.show);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].title, c.title);
  ASSERT_NE(c.owner()->windowHandle(), nullptr);
  EXPECT_EQ(seen[0].transientParent, c.owner()->windowHandle());
}

QWidget* MainWindow() { return frmMain; }

INSTANTIATE_TEST_SUITE_P(
    Windows, DialogParents,
    ::testing::Values(
        ParentCase{"Preferences", [] { frmPreferences->exec(); }, "Preferences", MainWindow},
        ParentCase{"About", [] { frmAbout->exec(); }, "About", MainWindow},
        ParentCase{"SalesOrderEntry", [] { frmSalesOrderEntry->exec(); }, "Enter Sales Order Number", MainWindow},
        ParentCase{"UpzChoices", [] { frmUpzChoices->exec(); }, "Select File", MainWindow},
        ParentCase{"DefaultLengthWarning", [] { frmDefaultLengthWarning->exec(); }, "Default Length Warning",
                   MainWindow},
        ParentCase{"PanelHistory", [] { frmMain->mnuPanelHistoryClick(); }, "Panel History", MainWindow},
        ParentCase{"MessageBox", [] { MessageBox(frmMain, "Data Written Successfully", "Write Results"); },
                   "Write Results", MainWindow},
        // The exception box names no owner: it belongs to the window the user works in.
        ParentCase{"ExceptionBox", [] { ShowExceptionBox("Port not open (Error: -1)"); }, "Quell Sales Order Entry",
                   MainWindow},
        ParentCase{"OpenDataFile", [] { frmMain->OpenDlg.Execute(frmMain); }, "Open Data File", MainWindow},
        ParentCase{"SaveDataFile", [] { frmMain->SaveDlg.Execute(frmMain); }, "Save Data File", MainWindow},
        // A message over a dialog belongs to that dialog, which belongs to the main window.
        ParentCase{"MessageOverPreferences",
                   [] {
                     frmPreferences->show();
                     frmPreferences->SavePreferences();  // the port does not open: "COM Port Error"
                     frmPreferences->hide();
                   },
                   "COM Port Error", [] { return static_cast<QWidget*>(frmPreferences); }}),
    [](const ::testing::TestParamInfo<ParentCase>& info) { return std::string(info.param.name); });

// ---- every control is announced by its caption ----------------------------------------------

// What a screen reader reads as the control's name, and the label linked to it, if any.
QString AccessibleName(QWidget* control) {
  return QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
}
QString LinkedCaption(QWidget* control) {
  for (const auto& [label, relation] : QAccessible::queryAccessibleInterface(control)->relations(QAccessible::Label))
    if (auto* caption = qobject_cast<QLabel*>(label->object())) return caption->text();
  return {};
}

// The controls of `window` that take the focus from the keyboard.
std::vector<QWidget*> FocusableControls(QWidget* window) {
  std::vector<QWidget*> controls;
  for (QWidget* widget : window->findChildren<QWidget*>())
    if (widget->window() == window && widget->isVisibleTo(window) && (widget->focusPolicy() & Qt::TabFocus))
      controls.push_back(widget);
  return controls;
}

TEST_F(Desktop, EveryControlOfEveryWindowIsNamedByItsCaption) {
  // The controls whose caption is a label beside them, by window and name.  The condenser
  // column's fields share the evaporator's row captions and are named with their column.
  // The lists without a caption beside them are named all the same.
  const std::map<QString, QString> captioned = {
      {"eSalesOrderNumber", "Sales Order Number"},
      {"eDefaultUpz", "Default UPZ File Location"},
      {"cDefaultPort", "Default Communications Port"},
      {"flbUpzChoices", "Select File"},
      {"eFilter", "Serial number or job name:"},
      {"lvEntries", "Transfers"},
      {"grdValues", "Values of the transfer"},
      {"cValues", "Values:"},
  };
  const std::vector<QWidget*> windows = {frmMain,       frmPreferences,          frmAbout,
                                         frmSalesOrderEntry, frmUpzChoices, frmDefaultLengthWarning,
                                         frmMain->frmPanelHistory};
  int fields = 0;
  for (QWidget* window : windows) {
    const std::vector<QWidget*> controls = FocusableControls(window);
    EXPECT_FALSE(controls.empty()) << window->objectName().toStdString();
    for (QWidget* control : controls) {
      const std::string where = (window->objectName() + "." + control->objectName()).toStdString();
      const QString name = AccessibleName(control);
      EXPECT_FALSE(name.isEmpty()) << where;
      if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        // A button is named by its caption, or by its hint when it shows only a picture.
        EXPECT_EQ(name, button->text().isEmpty() ? button->toolTip() : button->text()) << where;
        continue;
      }
      ++fields;
      const QString caption = LinkedCaption(control);
      if (const auto expected = captioned.find(control->objectName()); expected != captioned.end()) {
        EXPECT_EQ(name, expected->second) << where;
        if (!QStringList{"flbUpzChoices", "lvEntries", "grdValues"}.contains(control->objectName())) {
          EXPECT_EQ(caption, expected->second) << where;
        }
      } else {
        // A field of the main window: its caption, the design-load fields' with their column.
        ASSERT_EQ(window, frmMain) << where << " is not in the table above";
        EXPECT_EQ(name, control->accessibleName()) << where;
        if (!control->objectName().startsWith("eCd")) {
          EXPECT_FALSE(caption.isEmpty()) << where << " has no caption linked";
          EXPECT_TRUE(name.endsWith(caption)) << where << ": " << name.toStdString();
        }
      }
    }
  }
  EXPECT_EQ(fields, 41 + 4 + 4);
}

// The port list is named by its caption whatever entry is chosen; the entry is its value.
TEST_F(Desktop, ThePortListKeepsItsNameAndShowsTheChoiceAsItsValue) {
  QComboBox* list = frmPreferences->cDefaultPort;
  ASSERT_GE(list->count(), 2);
  for (int index : {0, 1}) {
    list->setCurrentIndex(index);
    QAccessibleInterface* port = QAccessible::queryAccessibleInterface(list);
    EXPECT_EQ(port->text(QAccessible::Name), "Default Communications Port");
    EXPECT_EQ(port->text(QAccessible::Value), list->itemText(index));
    EXPECT_EQ(port->role(), QAccessible::ComboBox);
    ASSERT_EQ(port->childCount(), 1);
    EXPECT_EQ(port->child(0)->object(), list->view());
  }
}

// ---- the platform on a Wayland session ------------------------------------------------------

struct PlatformCase {
  const char* name;
  std::map<std::string, std::string> environment;
  std::vector<const char*> arguments;
  std::string platform;
};

void PrintTo(const PlatformCase& c, std::ostream* os) { *os << c.name; }

class Platform : public ::testing::TestWithParam<PlatformCase> {};

const std::map<std::string, std::string>* g_environment = nullptr;

TEST_P(Platform, IsXWaylandOnAWaylandSessionUnlessTheUserChose) {
  const PlatformCase& c = GetParam();
  std::vector<const char*> argv = {"quellso"};
  argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
  const TCommandLine line = ReadCommandLine(static_cast<int>(argv.size()), argv.data());
  ASSERT_EQ(line.action, TCommandLine::Action::Run);
  g_environment = &c.environment;
  const std::string platform = PlatformForSession(line, [](const char* name) -> const char* {
    const auto found = g_environment->find(name);
    return found == g_environment->end() ? nullptr : found->second.c_str();
  });
  EXPECT_EQ(platform, c.platform);
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, Platform,
    ::testing::Values(
        PlatformCase{"Wayland", {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}, {}, "xcb;wayland"},
        PlatformCase{"WaylandSessionType",
                     {{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}},
                     {"unit.dat"},
                     "xcb;wayland"},
        PlatformCase{"WaylandWithoutXWayland", {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ""}}, {}, ""},
        PlatformCase{"X11", {{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}, {}, ""},
        PlatformCase{"ChosenByVariable",
                     {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}},
                     {},
                     ""},
        PlatformCase{"ChosenByOption",
                     {{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}},
                     {"-platform", "wayland"},
                     ""}),
    [](const ::testing::TestParamInfo<PlatformCase>& info) { return std::string(info.param.name); });

}  // namespace
