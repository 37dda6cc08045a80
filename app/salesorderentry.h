#pragma once

// TfrmSalesOrderEntry ("Enter Sales Order Number"): asks for a sales order number and opens
// the order archive named after it in the default archive folder (the Preferences dialog's
// eDefaultUpz, read each time).  Ok looks for the archive under its first-variant name,
// then under its second-variant name, then offers the archives of the same order in
// TfrmUpzChoices; whatever it finds, or the second-variant name when it finds nothing, goes
// to the main window's OpenUpzFile, which reports a missing file.  The number typed stays
// in the field for the next use.

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>

#include "files/salesorder.h"

class QLabel;
class QToolButton;
class TMaskEdit;
class TWallpaper;

class TfrmSalesOrderEntry : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmSalesOrderEntry(QWidget* parent = nullptr);

  // Opens an order archive: the main window's OpenUpzFile, set at start-up.
  using OpenArchiveFn = std::function<void(const QString& path)>;
  void SetOpenArchive(OpenArchiveFn open) { open_archive_ = std::move(open); }

  // Builds the archive path of one variant from the field and the default folder, and
  // stores it with the order part and the line number.
  void BuildArchiveName(ArchiveVariant variant);
  QString ArchivePath() const { return path_; }
  QString OrderPart() const { return order_part_; }
  std::int64_t LineNumber() const { return line_number_; }

  // Finds the archive, opens it (or reports it missing) and closes the dialog.
  void cmdOkClick();
  // Forgets the order part and the line number and closes the dialog; nothing is opened.
  void cmdCancelClick();
  // A key typed into the field: Escape (27) acts as Cancel, Enter (13) as Ok, and both are
  // then consumed (Key becomes 0); any other key goes on to the field.
  void eSalesOrderNumberKeyPress(char& Key);

  TWallpaper* wpBackground = nullptr;
  QLabel* lblSalesOrderNumber = nullptr;
  TMaskEdit* eSalesOrderNumber = nullptr;
  QToolButton* cmdCancel = nullptr;
  QToolButton* cmdOk = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  OpenArchiveFn open_archive_;
  QString path_;
  QString order_part_;
  std::int64_t line_number_ = 0;
};

extern TfrmSalesOrderEntry* frmSalesOrderEntry;
