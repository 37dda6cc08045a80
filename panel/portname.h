#pragma once

// Device names of the serial port: how "COM1" finds its device, and how an open that failed
// is explained to the user.
//
// A name that starts with '/' is a device path, used as it is.  "COMn" (any letter case, n
// from 1 to 255) is looked up, first match wins, in the environment variable QUELLSO_COMn,
// in the port map (the settings file's group "Ports", key "COMn", e.g.
// COM1=/dev/serial/by-id/..., which the program and the tool hand in: SetPortMap), and
// otherwise means /dev/ttyS(n-1).  Any other name without a '/' names a device in /dev.

#include <QString>
#include <QStringList>
#include <functional>

#include "panel/commbackend.h"
#include "panel/portlist.h"

// The port map: the file that holds it, as the open failure's hint names it, and the device
// a key ("COM1") maps to, empty when it has none.  Both are asked afresh at every use.
struct TPortMap {
  std::function<QString()> file;
  std::function<QString(const QString& key)> device;
};
// Hands in the port map; the program and the tool hand in the settings file's Ports group
// (settings/portmap.h) before they open a port.  Without one, only the environment maps.
void SetPortMap(TPortMap map);

// Where the mappings come from: the environment and the port map; each returns an empty
// text when it has no entry.
struct TPortNameSources {
  std::function<QString(const QString& variable)> environment;
  std::function<QString(const QString& key)> ports;
};
// The environment and the port map handed in.
TPortNameSources SystemPortNameSources();

// The device path a name stands for; empty for an empty name.
QString ResolvePortName(const QString& name, const TPortNameSources& sources = SystemPortNameSources());

// One line that says why the device could not be opened and what to do; empty when
// failure.reason is None.
// `adapters` lists the serial adapters present (panel/portlist.h).
QString DescribeOpenFailure(const TOpenFailure& failure, const QStringList& adapters = SerialAdapterPaths());
