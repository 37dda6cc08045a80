#pragma once

// What the Preferences dialog and the main window need of the serial port: whether it is
// open, close it, name its device, open it, and why the last open failed.  The serial port
// component implements it; the Preferences dialog knows the port by it alone.

#include <QString>

class TPortControl {
 public:
  virtual ~TPortControl() = default;

  virtual bool Enabled() const = 0;
  virtual void Close() = 0;
  virtual QString DeviceName() const = 0;
  // Ignored while the port is open: close it first.
  virtual void SetDeviceName(const QString& name) = 0;
  // Raises nothing when the device cannot be opened; Enabled() tells.
  virtual void Open() = 0;
  // One line saying why the last Open left the port closed and what to do; empty when it
  // opened.
  virtual QString OpenFailureText() const = 0;
};

// The "COM Port Error" message for a port that did not open: "Could not open <name>.",
// "Please close any applications that may be using the port", and the reason on a line of
// its own when one is known.
QString CouldNotOpenMessage(const TPortControl& port);
