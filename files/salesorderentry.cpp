#include "files/salesorderentry.h"

TfrmSalesOrderEntry* frmSalesOrderEntry = nullptr;

TfrmSalesOrderEntry::TfrmSalesOrderEntry(QWidget* parent) : QDialog(parent) {
  setObjectName("frmSalesOrderEntry");
  setWindowTitle("Enter Sales Order Number");
}
