#pragma once

// Device names of the serial port: how "COM1" finds its device, and how an open that failed
// is explained to the user.
//
// A name that starts with '/' is a device path, used as it is.  "COMn" (any letter case, n
// from 1 to 255) is looked up, first match wins, in the environment variable QUELLSO_COMn,
// in the settings file's group "Ports" (key "COMn", e.g. COM1=/dev/serial/by-id/...; read as
// every setting is, settings/settingsstore.h), and otherwise means /dev/ttyS(n-1).  Any other
// name without a '/' names a device in /dev.

#include <QString>
#include <QStringList>
#include <functional>

#include "panel/commbackend.h"
#include "panel/portdoctor.h"
#include "settings/portlist.h"

// Where the mappings come from: the environment and the settings file's Ports group; each
// returns an empty text when it has no entry.
struct TPortNameSources {
  std::function<QString(const QString& variable)> environment;
  std::function<QString(const QString& key)> ports;
};
// The environment and the settings file.
TPortNameSources SystemPortNameSources();

// The device path a name stands for; empty for an empty name.
QString ResolvePortName(const QString& name, const TPortNameSources& sources = SystemPortNameSources());

// One line that says why the device could not be opened and what to do; empty when
// failure.reason is None.
// `adapters` lists the serial adapters present (settings/portlist.h).  With a `doctor`, the
// line also names the likely causes it sees: for a device that is not there, an adapter on
// the bus that brltty took or no driver took; for a device in use, ModemManager probing it.
QString DescribeOpenFailure(const TOpenFailure& failure, const QStringList& adapters = SerialAdapterPaths(),
                            const TPortDoctor* doctor = nullptr);
