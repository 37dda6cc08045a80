#include "settings/preferences.h"

TfrmPreferences* frmPreferences = nullptr;

TfrmPreferences::TfrmPreferences(QWidget* parent) : QDialog(parent) {
  setObjectName("frmPreferences");
  setWindowTitle("Preferences");
}
