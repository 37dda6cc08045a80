#include "ui/exceptionbox.h"

#include "ui/messagebox.h"

namespace {
QString& Title() {
  static QString title;
  return title;
}
}  // namespace

void SetApplicationTitle(const QString& title) { Title() = title; }
QString ApplicationTitle() { return Title(); }

void ShowExceptionBox(const QString& text) { MessageBox(nullptr, text, Title()); }
