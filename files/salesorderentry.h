#pragma once

// TfrmSalesOrderEntry: asks for a sales order number and opens the order archive named
// after it.

#include <QDialog>

class TfrmSalesOrderEntry : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmSalesOrderEntry(QWidget* parent = nullptr);
};

extern TfrmSalesOrderEntry* frmSalesOrderEntry;
