#pragma once

// TfrmAbout: the About box, naming the product, its version and build, and its developer.

#include <QDialog>

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmAbout(QWidget* parent = nullptr);
};

extern TfrmAbout* frmAbout;
