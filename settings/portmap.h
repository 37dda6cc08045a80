#pragma once

// The serial port's device map is the settings file's group "Ports" (COM1=/dev/ttyUSB0 ...).
// The program and the tool hand it to the port naming of panel/ before they open a port.

// From now on "COMn" maps as the settings file's Ports group says, read afresh at each open,
// and the hint of a failed open names that file.
void UseSettingsFilePorts();
