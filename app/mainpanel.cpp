// The main window's side of the panel: the first-show steps that reach the serial port and
// the panel, the transfers Get Data and Send Data, and the field limits.

#include "app/mainwindow.h"

void TfrmMain::LoadPreferencesStep() {}
void TfrmMain::OpenPortStep() {}
void TfrmMain::ConnectionCheckStep() {}
void TfrmMain::DefaultLengthWarningStep() {}
void TfrmMain::FormClose() {}

void TfrmMain::ApplyPanelLengths() {}

void TfrmMain::cmdRxClick() {}
void TfrmMain::cmdTxClick() {}
void TfrmMain::CommPortRxChar(QObject*, std::uint32_t) {}
void TfrmMain::CommPortRxFlag(QObject*) {}
void TfrmMain::CommPortTxEmpty(QObject*) {}
void TfrmMain::tmrCommTimer() {}
