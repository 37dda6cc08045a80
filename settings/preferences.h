#pragma once

// TfrmPreferences: the Preferences dialog.  Its controls are the live settings for the whole
// run (the archive folder in eDefaultUpz, the unit system in optMetric/optEnglish): the sales
// order lookup and the panel transfers read them each time they need them.  The stored
// settings (settings/settingsstore.h, group "Preferences": COMPort, UPZPath, UnitSystem) are
// read once at start-up by LoadPreferences and written by Ok, which changes only those three
// values in the file.  Cancel and the close box only hide the dialog: the controls keep what
// the user changed, for the rest of the run and for the next Ok.
//
// The port list (panel/portlist.h) offers COM1 to COM4, the serial adapters plugged in
// (listed again each time the dialog is shown) and the configured port when it is none of
// these; the entry chosen is stored as it is, so a configured "com1" or device path stays
// as it was when the dialog is accepted untouched.

#include <QDialog>
#include <QString>
#include <QStringList>

#include "ui/filedialog.h"

class QComboBox;
class QLabel;
class QRadioButton;
class QToolButton;
class TEdit;
class TPortControl;
class TWallpaper;

class TfrmPreferences : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmPreferences(QWidget* parent = nullptr);

  // The stored name of each of the first four port positions, "COM1" to "COM4".
  static QString PortName(int position);

  // Where the serial adapters are looked for: the file system's root, or a folder of fake
  // device links in tests.
  void SetDeviceRoot(const QString& root);

  // Reads the stored settings (writing the defaults of those missing) into the controls,
  // and names the port's device after COMPort.  The port is kept for SavePreferences.  A
  // settings file that cannot be read changes nothing.
  void LoadPreferences(TPortControl* Port);
  // Writes the three settings, then reopens the port on the chosen device; "COM Port Error"
  // when it does not open.  Settings that cannot be written are reported and still hold for
  // this run.  An error the port raises while opening is not caught.
  void SavePreferences();

  void cmdOkClick();
  void cmdCancelClick();
  void cmdUpzPathClick();

  TWallpaper* wpBackground = nullptr;
  QLabel* lblDefaultUpz = nullptr;
  TEdit* eDefaultUpz = nullptr;
  QToolButton* cmdUpzPath = nullptr;
  QLabel* lblDefaultPort = nullptr;
  QComboBox* cDefaultPort = nullptr;
  QLabel* lblUnitSystem = nullptr;
  QRadioButton* optEnglish = nullptr;
  QRadioButton* optMetric = nullptr;
  QToolButton* cmdCancel = nullptr;
  QToolButton* cmdOk = nullptr;
  TFileDialog PathDlg;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FillPortList(const QStringList& names, const QString& select);
  QString CurrentPortName() const;

  TPortControl* port_ = nullptr;
  // The port as the settings name it; null until they are loaded.
  QString configured_port_;
  QString device_root_ = QStringLiteral("/");
};

extern TfrmPreferences* frmPreferences;
