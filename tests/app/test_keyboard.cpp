// The keyboard as a desktop user meets it, on the X11 platform under a virtual display: real
// key events through the X server (tests/support/xkeyboard.h) reach the main window and the
// dialogs through the toolkit's X11 key handling, whose key bindings differ from those of the
// offscreen platform the other window tests run on.  The test stands in for the window
// manager only where one gives a window the keyboard (activating it).

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <functional>
#include <memory>

#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "app/salesorderentry.h"
#include "app/upzchoices.h"
#include "settings/chillerinfo.h"
#include "settings/preferences.h"
#include "tests/app/memoryport.h"
#include "tests/support/guitest.h"
#include "tests/support/xkeyboard.h"
#include "ui/edits.h"

namespace {

constexpr int kTimeoutMs = 3000;

int CountRequests(const MemoryPort& port, std::uint8_t command) {
  int n = 0;
  for (const Bytes& frame : port.frames) n += frame.size() > 1 && (frame[1] & 0x7F) == command;
  return n;
}

// Gives `window` the keyboard, as the window manager does for the window a user works in.
bool Activate(QWidget* window) {
  window->activateWindow();
  return QTest::qWaitForWindowActive(window, kTimeoutMs);
}

// The tables' checks look at what the fixture recorded.
class Keyboard : public GuiTest {
 public:
  using GuiTest::answers;
  using GuiTest::fileDialogs;
  using GuiTest::messages;

 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under xvfb-run with QT_QPA_PLATFORM=xcb";
    ASSERT_TRUE(keys.ok()) << "no X display with the XTEST extension";
    link.SetPort(&port);  // the window's CommPort stays closed; the link talks to memory
  }
  void TearDown() override {
    const auto drop = [](auto*& dialog) {
      delete dialog;
      dialog = nullptr;
    };
    drop(frmDefaultLengthWarning);
    drop(frmSalesOrderEntry);
    drop(frmUpzChoices);
    drop(frmAbout);
    drop(frmPreferences);
    link.SetPort(nullptr);
    GuiTest::TearDown();
  }


 public:
  // The program starts: the main window is shown and gets the keyboard.
  void Start() {
    window.show();
    ASSERT_TRUE(Activate(&window));
    port.frames.clear();  // the length query of the first show
  }
  // The panel has reported a length of `length` for all 41 fields.
  void LearnLengths(int length) {
    AnswerLengthQuery(window, port, length);
    ASSERT_TRUE(link.LengthsKnown());
  }
  // The focus goes to `edit`, as a click in it or Tab would put it there.
  void Focus(TCustomEdit* edit) {
    edit->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(WaitUntil([edit] { return edit->hasFocus(); }, kTimeoutMs));
  }
  // Closes every dialog that a command shows, at once, and notes its name.
  void CloseDialogsAsShown() {
    auto* closer = new DialogCloser(this);
    qApp->installEventFilter(closer);
    closers.emplace_back(closer);
  }

  struct DialogCloser : QObject {
    explicit DialogCloser(Keyboard* test) : test(test) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
      auto* dialog = qobject_cast<QDialog*>(watched);
      if (dialog && event->type() == QEvent::Show) {
        test->dialogsShown << dialog->objectName();
        QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
      }
      return false;
    }
    Keyboard* test;
  };

  UnitDataRecord record{};
  TPanelLink link{record};
  TfrmMain window{record, link};
  MemoryPort port;
  XKeyboard keys;
  QStringList dialogsShown;
  std::vector<std::unique_ptr<DialogCloser>> closers;
};

// ---- the commissioning date takes typing where the user starts typing ----

class DateTyping;

struct DateCase {
  const char* name;
  std::function<void(DateTyping&)> before;  // how the date field gets the focus
  friend void PrintTo(const DateCase& c, std::ostream* out) { *out << c.name; }
};

class DateTyping : public Keyboard, public testing::WithParamInterface<DateCase> {
 public:
  // A click right of the (empty) text of the date, after the focus was in another field.
  void ClickRightOfTheDate() {
    keys.Click(window.ePanelSerialNumber->mapToGlobal(QPoint(10, 8)));
    ASSERT_TRUE(WaitUntil([this] { return window.ePanelSerialNumber->hasFocus(); }, kTimeoutMs));
    TMaskEdit* date = window.eCommissionDate;
    keys.Click(date->mapToGlobal(QPoint(date->width() - 6, date->height() / 2)));
    ASSERT_TRUE(WaitUntil([date] { return date->hasFocus(); }, kTimeoutMs));
  }
};

TEST_P(DateTyping, WhatIsTypedIsWhatSendDataWritesForSlot1) {
  Start();
  GetParam().before(*this);
  keys.Type("07dec1999");
  EXPECT_TRUE(WaitUntil([this] { return window.eCommissionDate->Text() == "07 DEC 1999"; }, kTimeoutMs))
      << window.eCommissionDate->Text().toStdString();

  keys.Press('t', XKeyboard::kCtrl);  // Send Data, answered Yes
  ASSERT_TRUE(WaitUntil([this] { return port.Written(kLastSlot).has_value(); }, kTimeoutMs));
  EXPECT_EQ(port.Written(1), (Bytes{kIntegerData, 99, 12, 7, 0}));  // 1999 - 1900, December, the 7th
}

INSTANTIATE_TEST_SUITE_P(Keyboard, DateTyping,
                         testing::Values(DateCase{"RightAfterStartUp", [](DateTyping&) {}},
                                         DateCase{"AfterAClickRightOfTheText",
                                                  [](DateTyping& test) { test.ClickRightOfTheDate(); }}),
                         [](const testing::TestParamInfo<DateCase>& info) { return std::string(info.param.name); });

// ---- the window's shortcuts win over the edits' own key bindings ----

struct ShortcutCase {
  const char* name;
  const char* field;  // the edit that has the focus
  unsigned long keysym;
  int modifiers;
  std::function<bool(Keyboard&)> done;  // true once the command has run
  friend void PrintTo(const ShortcutCase& c, std::ostream* out) { *out << c.name; }
};

class Shortcut : public Keyboard, public testing::WithParamInterface<ShortcutCase> {
 public:
  static bool ShownFileDialog(Keyboard& test, const char* title) {
    return std::find(test.fileDialogs.begin(), test.fileDialogs.end(), title) != test.fileDialogs.end();
  }
  static bool AskedToConfirm(Keyboard& test) {
    for (const MessageBoxCall& call : test.messages)
      if (call.caption == "Confirmation") return true;
    return false;
  }
  static bool Requested(Keyboard& test) { return CountRequests(test.port, kReadRequestCommand) == kSlotCount; }
};

TEST_P(Shortcut, RunsItsCommandFromInsideAnEdit) {
  frmDefaultLengthWarning = new TfrmDefaultLengthWarning(link);
  frmSalesOrderEntry = new TfrmSalesOrderEntry();
  CloseDialogsAsShown();
  answers = {TModalResult::No};  // Send Data's question
  Start();
  auto* edit = window.findChild<TCustomEdit*>(GetParam().field);
  ASSERT_NE(edit, nullptr);
  Focus(edit);
  keys.Press(GetParam().keysym, GetParam().modifiers);
  EXPECT_TRUE(WaitUntil([this] { return GetParam().done(*this); }, kTimeoutMs));
}

INSTANTIATE_TEST_SUITE_P(
    Keyboard, Shortcut,
    testing::Values(
        ShortcutCase{"CtrlEShowsTheWarningWhileLengthsAreUnknown", "eCommissionDate", 'e', XKeyboard::kCtrl,
                     [](Keyboard& t) { return t.dialogsShown.contains("frmDefaultLengthWarning"); }},
        ShortcutCase{"CtrlRRequestsData", "eJobName", 'r', XKeyboard::kCtrl, &Shortcut::Requested},
        ShortcutCase{"CtrlTSendsData", "ePanelSerialNumber", 't', XKeyboard::kCtrl, &Shortcut::AskedToConfirm},
        ShortcutCase{"CtrlOOpensADataFile", "eCommissionDate", 'o', XKeyboard::kCtrl,
                     [](Keyboard& t) { return Shortcut::ShownFileDialog(t, "Open Data File"); }},
        ShortcutCase{"CtrlSSaves", "eChillerSerialNumber", 's', XKeyboard::kCtrl,
                     [](Keyboard& t) { return Shortcut::ShownFileDialog(t, "Save Data File"); }},
        ShortcutCase{"CtrlShiftSSavesAs", "ePanelSerialNumber", 's', XKeyboard::kCtrl | XKeyboard::kShift,
                     [](Keyboard& t) { return Shortcut::ShownFileDialog(t, "Save Data File"); }},
        ShortcutCase{"CtrlLEntersASalesOrder", "eCommissionDate", 'l', XKeyboard::kCtrl,
                     [](Keyboard& t) { return t.dialogsShown.contains("frmSalesOrderEntry"); }},
        ShortcutCase{"CtrlHShowsThePanelHistory", "eJobName", 'h', XKeyboard::kCtrl,
                     [](Keyboard& t) { return t.dialogsShown.contains("frmPanelHistory"); }},
        ShortcutCase{"CtrlQExits", "eKilowattsInput", 'q', XKeyboard::kCtrl,
                     [](Keyboard& t) { return !t.window.isVisible(); }}),
    [](const testing::TestParamInfo<ShortcutCase>& info) { return std::string(info.param.name); });

// ---- Ctrl+T then Enter writes nothing ----
//
// Right after start-up every field is empty.  Enter at Send Data's question answers No, the
// box's default, and the box says beneath the question that every field is empty; with the
// check on, the question comes once the panel has been read (here it never answers).

struct EnterCase {
  const char* name;
  bool check;
  friend void PrintTo(const EnterCase& c, std::ostream* out) { *out << c.name; }
};

class EnterAtSendData : public Keyboard, public testing::WithParamInterface<EnterCase> {};

TEST_P(EnterAtSendData, WritesNothing) {
  window.mnuCheckPanel->setChecked(GetParam().check);
  Start();
  LearnLengths(16);
  port.frames.clear();
  SetMessageBoxHook({});  // the real box, answered by the real key
  QString details;
  bool pressed = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (pressed || box == nullptr || !box->isActiveWindow()) return;
    details = box->informativeText();
    pressed = true;
    keys.Press(XKeyboard::kReturn);
  });
  poll.start(50);
  Focus(window.eCommissionDate);
  keys.Press('t', XKeyboard::kCtrl);
  ASSERT_TRUE(WaitUntil([&] { return pressed && QApplication::activeModalWidget() == nullptr; }, 10000));
  poll.stop();
  WaitUntil([] { return false; }, 300);
  EXPECT_TRUE(details.contains("Every field is empty")) << details.toStdString();
  EXPECT_EQ(CountRequests(port, kWriteRequestCommand), 0);
}

INSTANTIATE_TEST_SUITE_P(Keyboard, EnterAtSendData,
                         testing::Values(EnterCase{"CheckOff", false}, EnterCase{"CheckOn", true}),
                         [](const testing::TestParamInfo<EnterCase>& info) { return std::string(info.param.name); });

// With the panel's lengths known, Ctrl+E toggles Edit Data from every one of the 41 fields.
TEST_F(Keyboard, CtrlETogglesEditDataFromEveryField) {
  Start();
  LearnLengths(16);
  bool editing = false;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    TCustomEdit* edit = window.SlotEdit(slot);
    Focus(edit);
    editing = !editing;
    keys.Press('e', XKeyboard::kCtrl);
    EXPECT_TRUE(WaitUntil([&] { return window.mnuEditData->isChecked() == editing; }, kTimeoutMs))
        << edit->objectName().toStdString();
    EXPECT_EQ(window.eJobName->ReadOnly(), !editing) << edit->objectName().toStdString();
  }
}

// ---- Enter accepts and Escape cancels in every dialog ----

struct DialogCase {
  const char* name;
  std::function<QDialog*(Keyboard&)> make;
  const char* focus;  // the control that has the focus, or nullptr for the dialog's choice
  unsigned long keysym;
  int result;
  friend void PrintTo(const DialogCase& c, std::ostream* out) { *out << c.name; }
};

class DialogKeys : public Keyboard, public testing::WithParamInterface<DialogCase> {};

TEST_P(DialogKeys, AnswerEnterAndEscape) {
  const DialogCase& c = GetParam();
  QDialog* dialog = c.make(*this);
  WhenShown(
      dialog,
      [this, dialog, &c] {
        ASSERT_TRUE(Activate(dialog));
        if (c.focus) {
          auto* control = dialog->findChild<QWidget*>(c.focus);
          ASSERT_NE(control, nullptr);
          control->setFocus(Qt::TabFocusReason);
        }
        keys.Press(c.keysym);
      },
      kTimeoutMs);
  EXPECT_EQ(dialog->exec(), c.result);
}

template <typename Dialog>
std::function<QDialog*(Keyboard&)> Make(Dialog*& global) {
  return [&global](Keyboard&) {
    global = new Dialog();
    return global;
  };
}
std::function<QDialog*(Keyboard&)> MakeWarning() {
  return [](Keyboard& test) {
    frmDefaultLengthWarning = new TfrmDefaultLengthWarning(test.link);
    return frmDefaultLengthWarning;
  };
}

constexpr int kAccepted = QDialog::Accepted;
constexpr int kRejected = QDialog::Rejected;

INSTANTIATE_TEST_SUITE_P(
    Keyboard, DialogKeys,
    testing::Values(
        DialogCase{"PreferencesEnter", Make(frmPreferences), "eDefaultUpz", XKeyboard::kReturn, kAccepted},
        DialogCase{"PreferencesKeypadEnter", Make(frmPreferences), "cDefaultPort", XKeyboard::kKeypadEnter,
                   kAccepted},
        DialogCase{"PreferencesEscape", Make(frmPreferences), "eDefaultUpz", XKeyboard::kEscape, kRejected},
        DialogCase{"PreferencesEnterOnCancel", Make(frmPreferences), "cmdCancel", XKeyboard::kReturn, kRejected},
        DialogCase{"AboutEnter", Make(frmAbout), nullptr, XKeyboard::kReturn, kAccepted},
        DialogCase{"AboutEscape", Make(frmAbout), nullptr, XKeyboard::kEscape, kRejected},
        DialogCase{"SalesOrderEnter", Make(frmSalesOrderEntry), nullptr, XKeyboard::kReturn, kAccepted},
        DialogCase{"SalesOrderEscapeOnOk", Make(frmSalesOrderEntry), "cmdOk", XKeyboard::kEscape, kRejected},
        DialogCase{"SalesOrderEnterOnOk", Make(frmSalesOrderEntry), "cmdOk", XKeyboard::kReturn, kAccepted},
        DialogCase{"SelectFileEnter", Make(frmUpzChoices), nullptr, XKeyboard::kReturn, kAccepted},
        DialogCase{"SelectFileEscape", Make(frmUpzChoices), nullptr, XKeyboard::kEscape, kRejected},
        DialogCase{"WarningEnterIsYes", MakeWarning(), nullptr, XKeyboard::kReturn, kAccepted},
        DialogCase{"WarningEscapeIsNo", MakeWarning(), nullptr, XKeyboard::kEscape, kRejected}),
    [](const testing::TestParamInfo<DialogCase>& info) { return std::string(info.param.name); });

// ---- a character that code page 1252 cannot hold is refused ----

TEST_F(Keyboard, ACharacterTheCodePageCannotHoldIsRefusedAndTheRestIsSentAsSingleBytes) {
  Start();
  LearnLengths(8);
  TCustomEdit* serial = window.ePanelSerialNumber;
  Focus(serial);
  keys.Type(QStringLiteral("A\u20AC\u03A9\u2013B"));
  ASSERT_TRUE(WaitUntil([serial] { return serial->Text().endsWith('B'); }, kTimeoutMs)) << serial->Text().toStdString();
  EXPECT_EQ(serial->Text(), QStringLiteral("A\u20AC\u2013B"));
  EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("\u201C\u03A9\u201D"))) << QToolTip::text().toStdString();

  // Pasted: a text with such a character is refused whole; one without goes in.
  QToolTip::hideText();
  ASSERT_TRUE(WaitUntil([] { return !QToolTip::isVisible(); }, kTimeoutMs));
  QApplication::clipboard()->setText(QStringLiteral("x\u03A9y"));
  keys.Press('v', XKeyboard::kCtrl);
  ASSERT_TRUE(WaitUntil([] { return QToolTip::isVisible() && QToolTip::text().contains(QChar(0x3A9)); }, kTimeoutMs));
  EXPECT_EQ(serial->Text(), QStringLiteral("A\u20AC\u2013B"));
  QApplication::clipboard()->setText(QStringLiteral("\u201Cz\u201D"));
  keys.Press('v', XKeyboard::kCtrl);
  ASSERT_TRUE(WaitUntil([serial] { return serial->Text().endsWith(QChar(0x201D)); }, kTimeoutMs));
  EXPECT_EQ(serial->Text(), QStringLiteral("A\u20AC\u2013B\u201Cz\u201D"));

  keys.Press('t', XKeyboard::kCtrl);  // Send Data, answered Yes
  ASSERT_TRUE(WaitUntil([this] { return port.Written(kLastSlot).has_value(); }, kTimeoutMs));
  EXPECT_EQ(port.Written(6), (Bytes{kTextData, 8, 'A', 0x80, 0x96, 'B', 0x93, 'z', 0x94, ' '}));
}

}  // namespace
