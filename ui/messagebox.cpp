#include "ui/messagebox.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>

namespace {
MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

// A box belongs to a window, so that the desktop keeps it over that window and places it
// there: its owner's, or else the dialog or window the user is working in, or else the main
// window.  Only a box shown before any window (an error during start-up) stands alone.
QWidget* BoxOwner(QWidget* owner) {
  if (owner) return owner->window();
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  if (QWidget* active = QApplication::activeWindow()) return active;
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->isVisible() && qobject_cast<QMainWindow*>(window)) return window;
  return nullptr;
}
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

TModalResult AskDefaultNo(QWidget* owner, const QString& text, const QString& caption, const QString& details) {
  if (Hook()) return Hook()({text, caption, TMessageButtons::YesNo, details, true});
  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Yes | QMessageBox::No, BoxOwner(owner));
  box.setInformativeText(details);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes ? TModalResult::Yes : TModalResult::No;
}

void MessageWithDetails(QWidget* owner, const QString& text, const QString& caption, const QString& details) {
  if (Hook()) {
    Hook()({text, caption, TMessageButtons::Ok, details, false});
    return;
  }
  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, BoxOwner(owner));
  box.setInformativeText(details);
  box.exec();
}

TModalResult MessageBox(QWidget* owner, const QString& text, const QString& caption,
                        TMessageButtons buttons) {
  if (Hook()) return Hook()({text, caption, buttons, {}, false});

  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::NoButton, BoxOwner(owner));
  if (buttons == TMessageButtons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? TModalResult::Yes : TModalResult::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return TModalResult::Ok;
}
