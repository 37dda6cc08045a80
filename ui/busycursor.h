#pragma once

// The busy cursor over every window of the program while a step runs that keeps the
// user-interface thread busy (the panel transfers pace their frames with blocking waits of
// about a second, during which no window responds).  The cursor comes back when the object
// goes, on every way out, an exception's included.  Show no message box while one lives:
// the user must see the box's normal cursor.

#include <QApplication>
#include <QCursor>

class TBusyCursor {
 public:
  TBusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};
