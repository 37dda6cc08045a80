#include "panel/defaultlengthwarning.h"

TfrmDefaultLengthWarning* frmDefaultLengthWarning = nullptr;

TfrmDefaultLengthWarning::TfrmDefaultLengthWarning(QWidget* parent) : QDialog(parent) {
  setObjectName("frmDefaultLengthWarning");
  setWindowTitle("Default Length Warning");
}
