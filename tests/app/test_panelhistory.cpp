// Tools > Panel History and File > Export Report through the main window, on a history in a
// state folder of the test's own.

#include <QAction>
#include <fstream>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/mainwindow.h"
#include "app/panelhistory.h"
#include "files/commissioningreport.h"
#include "files/datafile.h"
#include "tests/files/filetestsupport.h"
#include "tests/support/guitest.h"
#include "ui/edits.h"

namespace {

namespace fs = std::filesystem;

std::string Padded(std::string text, std::size_t width = 16) {
  text.resize(std::max(text.size(), width), ' ');
  return text;
}

class PanelHistory : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_TRUE(state.isValid());
    saved_ = qgetenv("XDG_STATE_HOME");
    had_ = qEnvironmentVariableIsSet("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
  }
  void TearDown() override {
    if (had_)
      qputenv("XDG_STATE_HOME", saved_);
    else
      qunsetenv("XDG_STATE_HOME");
    GuiTest::TearDown();
  }

  // A send to the panel `panel` of the chiller `chiller` for job `job`: Tons changes from 400
  // to `tons`, and the read-back of slot 12 differs.
  TransferEntry Send(const std::string& panel, const std::string& chiller, const std::string& job,
                     const std::string& tons = "450") {
    TransferRecorder recorder(history, transfer::kSend, transfer::kFromWindow, {"COM1", "/dev/ttyS0"}, "english");
    TransferEntry& entry = recorder.Entry();
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) entry.found.Set(slot, Padded("v" + std::to_string(slot)));
    entry.found.Set(1, "07 DEC 2024");
    entry.found.Set(6, Padded(panel));
    entry.found.Set(7, Padded(chiller));
    entry.found.Set(9, Padded("400"));
    entry.written = entry.found;
    entry.written.Set(2, Padded(job, 30));
    entry.written.Set(9, Padded(tons));
    entry.readBack = entry.written;
    entry.readBack.Set(12, Padded("9"));
    entry.differs = {12};
    EXPECT_TRUE(recorder.RecordBeforeWriting());
    EXPECT_TRUE(recorder.Finish(transfer::kDiffers));
    return entry;
  }

  QString Cell(int row, int column) const {
    return window.frmPanelHistory->lvEntries->model()->index(row, column).data().toString();
  }

  // Opens Tools > Panel History and runs `action` while it is on screen.
  void WithHistory(const std::function<void(TfrmPanelHistory&)>& action) {
    TfrmPanelHistory* dialog = window.frmPanelHistory;
    WhenShown(dialog, [dialog, action] {
      action(*dialog);
      if (dialog->isVisible()) dialog->reject();
    });
    window.mnuPanelHistory->trigger();
  }

  QTemporaryDir state;
  TransferHistory history{fs::path(state.path().toStdString()) / "quellso"};
  UnitDataRecord record{};
  TfrmMain window{record};
  QTemporaryDir dir;

 private:
  QByteArray saved_;
  bool had_ = false;
};

TEST_F(PanelHistory, IsInTheToolsMenuUnderCtrlH) {
  EXPECT_EQ(window.mnuPanelHistory->text(), "Panel &History...");
  EXPECT_EQ(window.mnuPanelHistory->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
  EXPECT_TRUE(window.menuBar()->findChild<QMenu*>("mnuTools")->actions().contains(window.mnuPanelHistory));
  EXPECT_TRUE(window.menuBar()->findChild<QMenu*>("mnuFile")->actions().contains(window.mnuExportReport));
  EXPECT_EQ(window.mnuExportReport->text(), "Export &Report...");
}

TEST_F(PanelHistory, ListsNewestFirstFiltersAndShowsTheValuesSideBySide) {
  Send("PS-1", "CH-1", "Harbour Tower");
  Send("PS-2", "CH-2", "Mill Street");
  const TransferEntry last = Send("PS-1", "CH-1", "Harbour Tower", "500");
  bool ran = false;
  WithHistory([&](TfrmPanelHistory& h) {
    ran = true;
    ASSERT_EQ(h.ListedCount(), 3);
    EXPECT_EQ(Cell(0, 1), "Send Data");
    EXPECT_EQ(Cell(0, 2), "PS-1");
    EXPECT_EQ(Cell(0, 3), "CH-1");
    EXPECT_EQ(Cell(0, 4), "Harbour Tower");
    EXPECT_EQ(Cell(0, 5), "COM1");
    EXPECT_EQ(Cell(0, 6), "differs");
    EXPECT_EQ(Cell(1, 4), "Mill Street");
    ASSERT_NE(h.SelectedEntry(), nullptr);
    EXPECT_EQ(h.SelectedEntry()->id, last.id);
    EXPECT_TRUE(h.lblStatus->text().startsWith("3 transfers in ")) << h.lblStatus->text().toStdString();

    // The 41 fields side by side; the changed value and the differing read-back are marked.
    EXPECT_EQ(h.grdValues->rowCount(), 41);
    EXPECT_EQ(h.grdValues->verticalHeaderItem(8)->text(), "Tons");
    EXPECT_EQ(h.grdValues->item(8, 0)->text(), "400");
    EXPECT_EQ(h.grdValues->item(8, 1)->text(), "500");
    EXPECT_EQ(h.grdValues->item(8, 2)->text(), "500");
    EXPECT_TRUE(h.grdValues->item(8, 1)->font().bold());
    EXPECT_FALSE(h.grdValues->item(9, 1)->font().bold());
    EXPECT_TRUE(h.grdValues->item(11, 2)->font().bold());
    EXPECT_FALSE(h.grdValues->item(8, 2)->font().bold());

    h.eFilter->setText("mill");
    ASSERT_EQ(h.ListedCount(), 1);
    EXPECT_EQ(Cell(0, 2), "PS-2");
    h.eFilter->setText(" ps-1 ");
    EXPECT_EQ(h.ListedCount(), 2);
    h.eFilter->setText("ch-2");
    EXPECT_EQ(h.ListedCount(), 1);
    h.eFilter->setText("nothing like it");
    EXPECT_EQ(h.ListedCount(), 0);
    EXPECT_EQ(h.SelectedEntry(), nullptr);
    EXPECT_FALSE(h.cmdLoad->isEnabled());
    EXPECT_FALSE(h.cmdExportReport->isEnabled());
    EXPECT_EQ(h.grdValues->item(8, 1)->text(), "");
    h.eFilter->clear();
  });
  EXPECT_TRUE(ran);
}

// The as-found values into the window, from where Send Data puts them back.
TEST_F(PanelHistory, LoadsTheChosenValuesIntoTheWindow) {
  const TransferEntry entry = Send("PS-1", "CH-1", "Harbour Tower");
  WithHistory([&](TfrmPanelHistory& h) {
    h.cValues->setCurrentIndex(static_cast<int>(TfrmPanelHistory::Stage::Found));
    QTest::mouseClick(h.cmdLoad, Qt::LeftButton);
    EXPECT_FALSE(h.isVisible());
  });
  EXPECT_EQ(window.eTons->Text(), QString::fromStdString(Padded("400")));
  EXPECT_EQ(window.ePanelSerialNumber->Text(), QString::fromStdString(Padded("PS-1")));
  EXPECT_EQ(window.eCommissionDate->Text(), "07 DEC 2024");
  EXPECT_EQ(window.RestoreSource, entry.id);

  WithHistory([&](TfrmPanelHistory& h) {
    h.cValues->setCurrentIndex(static_cast<int>(TfrmPanelHistory::Stage::Written));
    QTest::mouseClick(h.cmdLoad, Qt::LeftButton);
  });
  EXPECT_EQ(window.eTons->Text(), QString::fromStdString(Padded("450")));
  EXPECT_EQ(window.eJobName->Text(), QString::fromStdString(Padded("Harbour Tower", 29)));  // the record keeps 29
  EXPECT_EQ(window.RestoreSource, "");
}

TEST_F(PanelHistory, SavesValuesAsADataFileAndExportsTheReport) {
  const TransferEntry entry = Send("PS-1", "CH-1", "Harbour Tower");
  const QString data = dir.filePath("found.dat");
  const QString pdf = dir.filePath("report.pdf");
  fileAnswers = {data, pdf, dir.filePath("missing/report.pdf")};
  WithHistory([&](TfrmPanelHistory& h) {
    h.cValues->setCurrentIndex(static_cast<int>(TfrmPanelHistory::Stage::Found));
    QTest::mouseClick(h.cmdSaveData, Qt::LeftButton);
    QTest::mouseClick(h.cmdExportReport, Qt::LeftButton);
    QTest::mouseClick(h.cmdExportReport, Qt::LeftButton);
  });
  EXPECT_EQ(fileDialogs, (std::vector<QString>{"Save Values As Data File", "Export Report", "Export Report"}));
  UnitDataRecord saved{};
  ASSERT_TRUE(ReadDataFile(saved, data.toStdString()));
  EXPECT_STREQ(saved.Tons(), "400");  // a data file keeps values without their padding
  EXPECT_TRUE(ReadBytes(pdf.toStdString()).starts_with("%PDF-"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_TRUE(messages[0].text.startsWith("Could not write the report\n" + dir.filePath("missing/report.pdf")));
}

// File > Export Report: the last send to the panel whose serial number the window shows.
TEST_F(PanelHistory, ExportReportTakesTheLastSendToTheWindowsPanel) {
  const bool pdftotext = !QStandardPaths::findExecutable("pdftotext").isEmpty();
  window.mnuExportReport->trigger();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].text.contains("the Panel Serial Number is empty")) << messages[0].text.toStdString();

  window.ePanelSerialNumber->SetText("PS-9");
  window.mnuExportReport->trigger();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_TRUE(messages[1].text.startsWith("No Send Data to the panel with the serial number PS-9 is recorded"));

  Send("PS-9", "CH-1", "First");
  const TransferEntry last = Send("PS-9", "CH-1", "Second");
  Send("PS-8", "CH-2", "Other panel");
  window.ePanelSerialNumber->SetText("ps-9");
  window.eTons->SetText("450");
  const QString pdf = dir.filePath("report.pdf");
  fileAnswers = {pdf};
  window.mnuExportReport->trigger();
  EXPECT_EQ(messages.size(), 2u);
  ASSERT_TRUE(ReadBytes(pdf.toStdString()).starts_with("%PDF-"));
  if (!pdftotext) GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
  QProcess process;
  process.start("pdftotext", {pdf, "-"});
  process.waitForFinished(30000);
  const QString text = QString::fromUtf8(process.readAllStandardOutput());
  EXPECT_TRUE(text.contains("Second"));
  EXPECT_TRUE(text.contains(QString::fromStdString(AsLeftHash(last))));
  EXPECT_TRUE(text.contains("The window's values differ from this transfer in: Commissioning Date, Job Name"))
      << text.toStdString();
}

TEST_F(PanelHistory, ListsAndFiltersTenThousandTransfers) {
  fs::create_directories(history.Folder());
  {
    std::ofstream out(history.FilePath(), std::ios::binary);
    for (int n = 0; n < 10000; ++n) {
      TransferEntry entry;
      entry.id = "id" + std::to_string(n);
      entry.operation = "get";
      entry.result = "ok";
      entry.values.Set(6, Padded("PS-" + std::to_string(n)));
      entry.values.Set(2, Padded(n % 10 == 0 ? "Tower" : "Street", 30));
      out << EncodeTransferLine(entry) << '\n';
    }
    out << "damaged\n";
  }
  WithHistory([&](TfrmPanelHistory& h) {
    EXPECT_EQ(h.ListedCount(), 10000);
    EXPECT_EQ(Cell(0, 2), "PS-9999");
    EXPECT_EQ(Cell(9999, 2), "PS-0");
    EXPECT_TRUE(h.lblStatus->text().contains("; 1 damaged line skipped")) << h.lblStatus->text().toStdString();
    h.eFilter->setText("tower");
    EXPECT_EQ(h.ListedCount(), 1000);
    h.eFilter->setText("PS-123");
    EXPECT_EQ(h.ListedCount(), 11);  // PS-123 and PS-1230..1239
    EXPECT_EQ(Cell(0, 2), "PS-1239");
    EXPECT_EQ(h.SelectedEntry()->id, "id1239");
  });
}

}  // namespace
