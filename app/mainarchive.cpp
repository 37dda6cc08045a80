// The main window's side of order archives.

#include "app/mainwindow.h"

void TfrmMain::mnuOpenEncryptedDataFileClick() {}
void TfrmMain::OpenUpzFile(const QString&) {}
