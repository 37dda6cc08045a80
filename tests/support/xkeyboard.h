#pragma once

// Real keys and clicks for window tests on the X11 platform (xcb) under a virtual display.
// They go through the X server's XTEST extension, so they reach the program the way a user's
// do: through the server, the toolkit's X11 keyboard handling with its key bindings, its
// shortcut map and the widget that has the focus.  Nothing here waits for the program: the
// caller processes events until it sees the effect.

#include <QPoint>
#include <QString>
#include <vector>

class XKeyboard {
 public:
  // Keys by their X keysyms.
  static constexpr unsigned long kReturn = 0xFF0D;
  static constexpr unsigned long kKeypadEnter = 0xFF8D;
  static constexpr unsigned long kEscape = 0xFF1B;
  static constexpr unsigned long kTab = 0xFF09;
  static constexpr unsigned long kHome = 0xFF50;
  static constexpr unsigned long kEnd = 0xFF57;

  enum Modifiers { kNoModifier = 0, kCtrl = 1, kShift = 2 };

  // Connects to the display named by DISPLAY.
  XKeyboard();
  ~XKeyboard();
  XKeyboard(const XKeyboard&) = delete;
  XKeyboard& operator=(const XKeyboard&) = delete;

  // Whether the display and its XTEST extension are there.
  bool ok() const { return display_ != nullptr && xtest_; }

  // Presses and releases the key of `keysym` (a letter as its lower-case character: 'e'),
  // with Ctrl and Shift held down as asked.
  void Press(unsigned long keysym, int modifiers = kNoModifier);
  // Types `text` one character at a time, with Shift where the keyboard map needs it.  A
  // character that has no key in the map is given a spare key code for the moment, as input
  // tools do.
  void Type(const QString& text);
  // Moves the pointer to the global position `at` and clicks the left button there.
  void Click(QPoint at);

 private:
  // The key code of `keysym` and whether Shift is needed for it; 0 when the map has none.
  unsigned KeyCode(unsigned long keysym, bool* shift) const;
  void Stroke(unsigned keycode, int modifiers);

  void* display_ = nullptr;  // Display*
  bool xtest_ = false;
  std::vector<unsigned> borrowed_;  // spare key codes given to characters by Type()
};
