#include "files/upzchoices.h"

TfrmUpzChoices* frmUpzChoices = nullptr;

TfrmUpzChoices::TfrmUpzChoices(QWidget* parent) : QDialog(parent) {
  setObjectName("frmUpzChoices");
  setWindowTitle("Select File");
}
