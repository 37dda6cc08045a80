#pragma once

// The program's settings file.  The Preferences dialog keeps its three values in the group
// "Preferences"; the serial port reads its device map from the group "Ports"
// (COM1=/dev/ttyUSB0 ...).
//
// Where: the file named by the environment variable QUELLSO_SETTINGS when it is set (tests
// and demonstrations use it), otherwise the user's own INI file of organisation
// "Hollin Enterprises", application "Quellso" (~/.config/Hollin Enterprises/Quellso.ini),
// with the system-wide file (/etc/xdg/Hollin Enterprises/Quellso.ini) supplying the values
// the user's file does not have.

#include <QString>
#include <memory>

class QSettings;

std::unique_ptr<QSettings> OpenSettings();

// The file OpenSettings() writes to.
QString SettingsFilePath();
