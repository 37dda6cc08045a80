// The main window's file and editing commands.

#include <QAction>

#include "app/mainwindow.h"
#include "settings/edits.h"

void TfrmMain::mnuOpenDataFileClck() {}
void TfrmMain::mnuSaveDataFileClick() {}
void TfrmMain::mnuSaveDataFileAsClick() {}
void TfrmMain::mnuCloseClick() {}
void TfrmMain::mnuClearScreenClick() {}
void TfrmMain::mnuEditDataClick() {}
void TfrmMain::mnuReleaseNotesClick() {}
void TfrmMain::mnuExitClick() { close(); }
void TfrmMain::mnuPreferencesClick() {}
void TfrmMain::mnuAboutClick() {}
void TfrmMain::cmdSalesOrderClick() {}
