#include "ui/messagebox.h"

#include <QMessageBox>

namespace {
MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

TModalResult MessageBox(QWidget* owner, const QString& text, const QString& caption,
                        TMessageButtons buttons) {
  if (Hook()) return Hook()({text, caption, buttons});

  QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::NoButton, owner);
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
