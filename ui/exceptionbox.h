#pragma once

// The program's standard exception box.  An exception that escapes an event handler is
// shown here with its text, and the program carries on.  Handlers run through Guarded(), so
// that no exception unwinds through the toolkit's event dispatch.

#include <QString>
#include <exception>
#include <utility>

// The caption of the exception box: the application title.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

// Shows text in the exception box (through MessageBox(), so tests see it too).
void ShowExceptionBox(const QString& text);

// Runs f; an exception that escapes it is shown in the exception box.
template <typename F>
void Guarded(F&& f) {
  try {
    std::forward<F>(f)();
  } catch (const std::exception& e) {
    ShowExceptionBox(QString::fromLocal8Bit(e.what()));
  } catch (...) {
    ShowExceptionBox(QStringLiteral("Unknown error"));
  }
}
