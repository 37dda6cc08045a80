#pragma once

// TfrmUpzChoices: offers the order archives whose names come near a sales order number.

#include <QDialog>

class TfrmUpzChoices : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmUpzChoices(QWidget* parent = nullptr);
};

extern TfrmUpzChoices* frmUpzChoices;
