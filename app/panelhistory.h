#pragma once

// Tools > Panel History: the transfers of the history (files/transferhistory.h), newest
// first, with a filter by serial number or job name, and for the selected transfer its 41
// values side by side (as found, written, read back) with the differences marked.  From
// here the technician loads one column of values into the main window (from where Send Data
// puts them back into the panel), saves them as a data file, or exports the transfer's
// commissioning report.

#include <QDialog>
#include <functional>
#include <memory>

#include "files/transferhistory.h"
#include "ui/filedialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTableView;
class QTableWidget;
class QToolButton;
class THistoryModel;
class TWallpaper;

class TfrmPanelHistory : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmPanelHistory(QWidget* parent = nullptr);
  ~TfrmPanelHistory() override;

  // Reads `history` and lists its transfers, newest first; the line under the list says
  // what could not be read.
  void Reload(const TransferHistory& history = TransferHistory());

  // The transfers listed (those the filter lets through), and the one selected.
  int ListedCount() const;
  const TransferEntry* SelectedEntry() const;
  // Selects row `row` of the list (0 is the newest listed).
  void SelectRow(int row);

  // The columns of values, in the order of cValues.
  enum class Stage { Found, Written, ReadBack };
  // The values of `stage` of the selected transfer (a get's and a verify's values are its
  // as-found values).
  SlotValues StageValues(Stage stage) const;

  // What Load into Window does with the values chosen: the main window shows them.  The
  // entry is the selected one, the stage the one chosen.
  std::function<void(const TransferEntry&, Stage, const SlotValues&)> OnLoadValues;

  // ---- the dialog's parts ----
  TWallpaper* wpBackground = nullptr;
  QLineEdit* eFilter = nullptr;
  QTableView* lvEntries = nullptr;
  QLabel* lblStatus = nullptr;
  QTableWidget* grdValues = nullptr;
  QComboBox* cValues = nullptr;
  QToolButton* cmdLoad = nullptr;
  QToolButton* cmdSaveData = nullptr;
  QToolButton* cmdExportReport = nullptr;
  QToolButton* cmdClose = nullptr;
  TFileDialog SaveDlg;
  TFileDialog ReportDlg;

  // ---- handlers ----
  void eFilterChange();
  void lvEntriesSelect();
  void cValuesChange();
  void cmdLoadClick();
  void cmdSaveDataClick();
  void cmdExportReportClick();

 private:
  void ShowValues(const TransferEntry* entry);
  void EnableButtons();

  std::unique_ptr<THistoryModel> model_;
};

// Exports the report of `entry` to a file chosen in `dialog`, with `note` under its details;
// a failure is reported in an "Error" message.  True when a report was written.
bool ExportReport(QWidget* owner, TFileDialog& dialog, const TransferEntry& entry, const std::string& note = {});
