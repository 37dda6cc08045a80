#include "app/application.h"

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
  frmPreferences = new TfrmPreferences();
  frmAbout = new TfrmAbout();
  frmSalesOrderEntry = new TfrmSalesOrderEntry();
  // The lookup opens what it finds through the main window.
  frmSalesOrderEntry->SetOpenArchive([](const QString& path) {
    if (frmMain) frmMain->OpenUpzFile(path);
  });
  frmUpzChoices = new TfrmUpzChoices();
  frmDefaultLengthWarning = new TfrmDefaultLengthWarning();
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
