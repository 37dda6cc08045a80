#pragma once

// Every message box of the program goes through MessageBox(), so that tests can record
// the messages and answer them without a window on screen.

#include <QString>
#include <functional>

class QWidget;

enum class TMessageButtons { Ok, YesNo };
enum class TModalResult { Ok, Yes, No };

struct MessageBoxCall {
  QString text;
  QString caption;
  TMessageButtons buttons;
  QString details;         // the smaller text beneath the message; empty for none
  bool defaultNo = false;  // a Yes/No box whose default button (Enter) is No
};

// Shows a modal message box with an information icon and returns the button pressed.  The
// box is transient for `owner`'s window; without an owner, for the dialog or window that is
// active.
// Closing a Yes/No box without choosing counts as No.  While the box is up, the event loop
// runs, so events (panel replies among them) are handled meanwhile.
TModalResult MessageBox(QWidget* owner, const QString& text, const QString& caption,
                        TMessageButtons buttons = TMessageButtons::Ok);

// A Yes/No question whose default button is No, so that Enter alone never answers Yes, with
// `details` beneath it (what the answer Yes will do).
TModalResult AskDefaultNo(QWidget* owner, const QString& text, const QString& caption, const QString& details = {});

// A message with one OK button and `details` beneath it.
void MessageWithDetails(QWidget* owner, const QString& text, const QString& caption, const QString& details);

// Test seam: while a hook is set, MessageBox() calls it instead of showing a box, and
// returns its answer.  An empty hook restores the real box.
using MessageBoxHook = std::function<TModalResult(const MessageBoxCall&)>;
void SetMessageBoxHook(MessageBoxHook hook);
