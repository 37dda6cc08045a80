#include "tests/support/xkeyboard.h"

#include <QList>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <vector>

namespace {
Display* D(void* display) { return static_cast<Display*>(display); }
}  // namespace

XKeyboard::XKeyboard() : display_(XOpenDisplay(nullptr)) {
  int event = 0, error = 0, major = 0, minor = 0;
  xtest_ = display_ && XTestQueryExtension(D(display_), &event, &error, &major, &minor);
}

// The key codes lent to characters get their (empty) symbols back.
XKeyboard::~XKeyboard() {
  if (!display_) return;
  Display* d = D(display_);
  for (const unsigned code : borrowed_) {
    KeySym none = NoSymbol;
    XChangeKeyboardMapping(d, static_cast<int>(code), 1, &none, 1);
  }
  XSync(d, False);
  XCloseDisplay(d);
}

unsigned XKeyboard::KeyCode(unsigned long keysym, bool* shift) const {
  const ::KeyCode code = XKeysymToKeycode(D(display_), keysym);
  if (code == 0) return 0;
  *shift = XkbKeycodeToKeysym(D(display_), code, 0, 0) != keysym &&
           XkbKeycodeToKeysym(D(display_), code, 0, 1) == keysym;
  return code;
}

void XKeyboard::Stroke(unsigned keycode, int modifiers) {
  Display* d = D(display_);
  const unsigned ctrl = XKeysymToKeycode(d, XK_Control_L);
  const unsigned shift = XKeysymToKeycode(d, XK_Shift_L);
  if (modifiers & kCtrl) XTestFakeKeyEvent(d, ctrl, True, CurrentTime);
  if (modifiers & kShift) XTestFakeKeyEvent(d, shift, True, CurrentTime);
  XTestFakeKeyEvent(d, keycode, True, CurrentTime);
  XTestFakeKeyEvent(d, keycode, False, CurrentTime);
  if (modifiers & kShift) XTestFakeKeyEvent(d, shift, False, CurrentTime);
  if (modifiers & kCtrl) XTestFakeKeyEvent(d, ctrl, False, CurrentTime);
  XFlush(d);
}

void XKeyboard::Press(unsigned long keysym, int modifiers) {
  bool shift = false;
  if (const unsigned code = KeyCode(keysym, &shift)) Stroke(code, modifiers | (shift ? kShift : 0));
}

void XKeyboard::Type(const QString& text) {
  Display* d = D(display_);
  for (const char32_t c : QStringView(text).toUcs4()) {
    // Latin-1 characters are their own keysyms; every other character is 0x01000000 + its
    // code point.
    const unsigned long keysym = (c >= 0x20 && c <= 0x7E) || (c >= 0xA0 && c <= 0xFF) ? c : 0x01000000UL | c;
    bool shift = false;
    if (const unsigned code = KeyCode(keysym, &shift)) {
      Stroke(code, shift ? kShift : kNoModifier);
      continue;
    }
    // A key code without symbols takes the character until the end of the test.  The map is
    // not restored at once: the program reads the server's map when it learns of the change,
    // which may be after the stroke.
    int first = 0, last = 0, perCode = 0;
    XDisplayKeycodes(d, &first, &last);
    KeySym* map = XGetKeyboardMapping(d, static_cast<::KeyCode>(first), last - first + 1, &perCode);
    int spare = 0;
    for (int code = last; code >= first && spare == 0; --code) {
      bool empty = true;
      for (int i = 0; i < perCode; ++i) empty = empty && map[(code - first) * perCode + i] == NoSymbol;
      if (empty) spare = code;
    }
    XFree(map);
    if (spare == 0) continue;
    std::vector<KeySym> symbols(static_cast<std::size_t>(perCode), NoSymbol);
    symbols[0] = keysym;
    if (perCode > 1) symbols[1] = keysym;
    XChangeKeyboardMapping(d, spare, perCode, symbols.data(), 1);
    XSync(d, False);
    borrowed_.push_back(static_cast<unsigned>(spare));
    Stroke(static_cast<unsigned>(spare), kNoModifier);
  }
}

void XKeyboard::Click(QPoint at) {
  Display* d = D(display_);
  XTestFakeMotionEvent(d, -1, at.x(), at.y(), CurrentTime);
  XTestFakeButtonEvent(d, 1, True, CurrentTime);
  XTestFakeButtonEvent(d, 1, False, CurrentTime);
  XFlush(d);
}
