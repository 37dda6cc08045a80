#pragma once

// TfrmPreferences: the Preferences dialog.  Its controls are the live settings for the whole
// run (the archive folder in eDefaultUpz, the unit system in optMetric/optEnglish).

#include <QDialog>

class TfrmPreferences : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmPreferences(QWidget* parent = nullptr);
};

extern TfrmPreferences* frmPreferences;
