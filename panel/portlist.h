#pragma once

// The serial ports a user can choose from, and the names they are stored under.
//
// Preferences offers COM1 to COM4, then every serial adapter plugged in: each link in
// /dev/serial/by-id/ (stored as that link's path, which stays the same whichever socket the
// adapter is in), and each /dev/ttyUSB* and /dev/ttyACM* that no such link leads to.  A
// configured name that is none of these (a device path, "COM7") is offered as it is, so that
// accepting the dialog never changes it; "com1" in any letter case stands for COM1.

#include <QList>
#include <QString>
#include <QStringList>

// The port number of a "COMn" name (any letter case, n from 1 to 255), or 0 when the name is
// not one.
int ComPortNumber(const QString& name);

struct TSerialAdapter {
  QString path;    // what is stored: "/dev/serial/by-id/usb-...-port0" or "/dev/ttyUSB1"
  QString name;    // the link's name, or the device's ("ttyUSB1")
  QString device;  // the device node's name ("ttyUSB0")
};

// The serial adapters present under `root` (the file system's root; tests pass a folder of
// their own holding dev/serial/by-id/ and dev/ttyUSB*): the by-id links that lead to a
// device, by name, then the ttyUSB*/ttyACM* devices no link leads to.
QList<TSerialAdapter> SerialAdaptersPresent(const QString& root = QStringLiteral("/"));
// Their paths.
QStringList SerialAdapterPaths(const QString& root = QStringLiteral("/"));

struct TPortChoice {
  QString text;  // as the list shows it
  QString name;  // as it is stored and given to the serial port
};

// Whether the stored `name` stands for `choice`: the same text, or the same COM1..COM4 in
// any letter case.
bool StandsFor(const QString& name, const TPortChoice& choice);

// COM1 to COM4, the adapters, then each of `names` (the configured port, the one chosen
// now) that none of them stands for.  The entry a name stands for carries that name as it
// is, so that choosing it stores the name unchanged.
QList<TPortChoice> PortChoices(const QList<TSerialAdapter>& adapters, const QStringList& names);

// The position of the entry `name` stands for, or -1.
int FindPortChoice(const QList<TPortChoice>& choices, const QString& name);
