// The main window's history commands: Tools > Panel History and File > Export Report.

#include "app/mainwindow.h"
#include "app/panelhistory.h"
#include "files/localpath.h"
#include "model/cp1252.h"
#include "ui/messagebox.h"

// Loading values from the history shows them in the window, as Get Data shows a panel's
// values; Send Data then puts them into the panel.
void TfrmMain::CreatePanelHistory() {
  frmPanelHistory = new TfrmPanelHistory(this);
  frmPanelHistory->OnLoadValues = [this](const TransferEntry& entry, TfrmPanelHistory::Stage stage,
                                         const SlotValues& values) {
    values.ApplyTo(record_);
    ShowRecord();
    RestoreSource = stage == TfrmPanelHistory::Stage::Found && !entry.found.Empty() ? entry.id : std::string();
    RestoreValues = RestoreSource.empty() ? SlotValues() : entry.found;
  };
}

// Lists the history afresh at every opening.
void TfrmMain::mnuPanelHistoryClick() {
  frmPanelHistory->Reload();
  frmPanelHistory->exec();
}

// The report of the last send to the panel whose serial number the window shows, with a
// note naming the fields where the window's values differ from what that send left.
void TfrmMain::mnuExportReportClick() {
  const UnitDataRecord before = record_;
  CollectRecord();
  const SlotValues window = SlotValues::FromRecord(record_);
  record_ = before;
  const std::string serial(WithoutPadding(window[6].value_or("")));
  const QString caption = QStringLiteral("Export Report");
  if (serial.find_first_not_of(' ') == std::string::npos) {
    MessageBox(this,
               "The report is made from the last Send Data to the panel whose serial number the window shows, "
               "and the Panel Serial Number is empty.\n\nType it in, or use Get Data to read it from the panel.",
               caption);
    return;
  }
  const TransferHistory history;
  const HistoryReading reading = history.Read();
  const TransferEntry* entry = LastSendToPanel(reading.entries, serial);
  const QString shownSerial = QString::fromStdString(Cp1252ToUtf8(serial));
  if (entry == nullptr) {
    MessageBox(this,
               QStringLiteral("No Send Data to the panel with the serial number %1 is recorded in\n%2\n\nSend the data "
                              "to the panel first; Tools > Panel History lists every transfer recorded.")
                   .arg(shownSerial, DisplayPath(history.FilePath())),
               caption);
    return;
  }
  const SlotValues left = entry->AsLeft();
  std::string differs;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
    if (WithoutPadding(left[slot].value_or("")) != WithoutPadding(window[slot].value_or("")))
      differs += (differs.empty() ? "" : ", ") + std::string(SlotDescription(slot));
  ExportReport(this, ReportDlg, *entry,
               differs.empty() ? std::string() : "The window's values differ from this transfer in: " + differs + ".");
}
