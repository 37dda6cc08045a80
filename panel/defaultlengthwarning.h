#pragma once

// TfrmDefaultLengthWarning: warns that the panel's field lengths are not known yet and
// offers to ask the panel for them.

#include <QDialog>

class TfrmDefaultLengthWarning : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmDefaultLengthWarning(QWidget* parent = nullptr);
};

extern TfrmDefaultLengthWarning* frmDefaultLengthWarning;
