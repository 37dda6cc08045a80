#include "app/application.h"

#include <QFileInfo>
#include <QTimer>

#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "app/salesorderentry.h"
#include "app/upzchoices.h"
#include "settings/chillerinfo.h"
#include "settings/portmap.h"
#include "settings/preferences.h"
#include "ui/exceptionbox.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  Guarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}

void CreateWindows() {
  SetApplicationTitle(QStringLiteral("Quell Sales Order Entry"));
  UseSettingsFilePorts();  // before the main window's first show opens the port
  frmMain = new TfrmMain();
  // Every dialog belongs to the main window: the desktop keeps it over the window it blocks,
  // and on Wayland, where a program cannot place its windows, places it there.
  frmPreferences = new TfrmPreferences(frmMain);
  frmAbout = new TfrmAbout(frmMain);
  frmSalesOrderEntry = new TfrmSalesOrderEntry(frmMain);
  // The lookup opens what it finds through the main window.
  frmSalesOrderEntry->SetOpenArchive([](const QString& path) {
    if (frmMain) frmMain->OpenUpzFile(path);
  });
  frmUpzChoices = new TfrmUpzChoices(frmMain);
  frmDefaultLengthWarning = new TfrmDefaultLengthWarning(frmMain);
}

void ShowMainWindow(const QString& file) {
  // Named relative to the folder the program starts in, which the file dialogs move.
  const QString path = file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
  frmMain->show();
  if (path.isEmpty()) return;
  QTimer::singleShot(0, frmMain, [path] { Guarded([&] { frmMain->OpenFileArgument(path); }); });
}

void DestroyWindows() {
  delete frmDefaultLengthWarning;
  frmDefaultLengthWarning = nullptr;
  delete frmUpzChoices;
  frmUpzChoices = nullptr;
  delete frmSalesOrderEntry;
  frmSalesOrderEntry = nullptr;
  delete frmAbout;
  frmAbout = nullptr;
  delete frmPreferences;
  frmPreferences = nullptr;
  delete frmMain;
  frmMain = nullptr;
}
