// The main window's side of the panel: the first-show steps that reach the serial port and
// the panel, the transfers Get Data and Send Data, and the field limits.

#include "app/mainwindow.h"

#include "panel/comm.h"
#include "settings/exceptionbox.h"
#include "settings/messagebox.h"
#include "settings/portcontrol.h"
#include "settings/preferences.h"

// The stored settings fill the Preferences dialog and name the port's device.
void TfrmMain::LoadPreferencesStep() {
  if (frmPreferences) frmPreferences->LoadPreferences(CommPort);
}

// Opens the port on the configured device.  An error the port raises is shown and the first
// show goes on; a device that does not open gets the "COM Port Error" message with the
// reason, and the program carries on with the port closed.
void TfrmMain::OpenPortStep() {
  Guarded([this] { CommPort->Open(); });
  if (!CommPort->Enabled()) MessageBox(this, CouldNotOpenMessage(*CommPort), "COM Port Error");
}
void TfrmMain::ConnectionCheckStep() {}
void TfrmMain::DefaultLengthWarningStep() {}
void TfrmMain::FormClose() {
  if (CommPort->Enabled()) CommPort->Close();
}

void TfrmMain::ApplyPanelLengths() {}

void TfrmMain::cmdRxClick() {}
void TfrmMain::cmdTxClick() {}
void TfrmMain::CommPortRxChar(QObject*, std::uint32_t) {}
void TfrmMain::CommPortRxFlag(QObject*) {}
void TfrmMain::CommPortTxEmpty(QObject*) {}
void TfrmMain::tmrCommTimer() {}
