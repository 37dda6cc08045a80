#include "app/panelhistory.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>
#include <QToolButton>

#include "files/commissioningreport.h"
#include "files/datafile.h"
#include "files/localpath.h"
#include "model/cp1252.h"
#include "ui/centre.h"
#include "ui/combobox.h"
#include "ui/dialogkeys.h"
#include "ui/exceptionbox.h"
#include "ui/flatbutton.h"
#include "ui/fonts.h"
#include "ui/messagebox.h"
#include "ui/wall.h"

namespace {

constexpr int kClientWidth = 900;
constexpr int kClientHeight = 640;

QString Text(std::string_view bytes) { return QString::fromStdString(Cp1252ToUtf8(bytes)); }

QString Shown(const std::optional<std::string_view>& value) {
  if (!value) return {};
  return Text(WithoutPadding(*value));
}

enum Column { kTime, kOperation, kPanelSerial, kChillerSerial, kJobName, kPort, kResult, kColumns };

}  // namespace

// The transfers of the history, newest first, those the filter lets through.  The texts
// that the filter searches are made once, when the history is read.
class THistoryModel : public QAbstractTableModel {
 public:
  void Reset(std::vector<TransferEntry> entries) {
    beginResetModel();
    entries_ = std::move(entries);
    search_.clear();
    search_.reserve(entries_.size());
    for (const TransferEntry& entry : entries_)
      search_.push_back(
          (Text(entry.Shown(6)) + '\n' + Text(entry.Shown(7)) + '\n' + Text(entry.Shown(2))).toCaseFolded());
    rows_.clear();
    for (std::size_t i = entries_.size(); i-- > 0;) rows_.push_back(static_cast<int>(i));
    endResetModel();
  }

  void Filter(const QString& text) {
    const QString wanted = text.trimmed().toCaseFolded();
    beginResetModel();
    rows_.clear();
    for (std::size_t i = entries_.size(); i-- > 0;)
      if (wanted.isEmpty() || search_[i].contains(wanted)) rows_.push_back(static_cast<int>(i));
    endResetModel();
  }

  const TransferEntry* Entry(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? &entries_[static_cast<std::size_t>(rows_[row])]
                                                             : nullptr;
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : kColumns; }

  QVariant data(const QModelIndex& index, int role) const override {
    const TransferEntry* entry = Entry(index.row());
    if (entry == nullptr || role != Qt::DisplayRole) return {};
    switch (index.column()) {
      case kTime: {
        // The local time without its zone's name, which the header gives once.
        const std::string local = LocalTimeText(entry->time);
        return QString::fromStdString(local.substr(0, std::min<std::size_t>(local.size(), 19)));
      }
      case kOperation:
        return QString::fromStdString(OperationName(entry->operation));
      case kPanelSerial:
        return Text(entry->Shown(6));
      case kChillerSerial:
        return Text(entry->Shown(7));
      case kJobName:
        return Text(entry->Shown(2));
      case kPort:
        return QString::fromStdString(entry->port);
      case kResult:
        return QString::fromStdString(entry->result);
    }
    return {};
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[kColumns] = {"Time",     "Operation", "Panel Serial", "Chiller Serial",
                                                  "Job Name", "Port",      "Result"};
    return section >= 0 && section < kColumns ? QString(kTitles[section]) : QVariant();
  }

 private:
  std::vector<TransferEntry> entries_;  // oldest first, as read
  std::vector<QString> search_;         // per entry: its serial numbers and job name, case-folded
  std::vector<int> rows_;               // the entries listed, newest first
};

TfrmPanelHistory::TfrmPanelHistory(QWidget* parent)
    : QDialog(parent),
      SaveDlg(TFileDialog::Kind::Save, "Save Values As Data File", "Data Files (*.dat)|*.dat|All Files (*.*)|*.*",
              "dat"),
      ReportDlg(TFileDialog::Kind::Save, "Export Report", "PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*", "pdf"),
      model_(std::make_unique<THistoryModel>()) {
  setObjectName("frmPanelHistory");
  setWindowTitle("Panel History");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(SansFont(11));
  setFixedSize(kClientWidth, kClientHeight);
  wpBackground = NewDialogBackground(this, "wpBackground", "tile128");
  QWidget* panel = wpBackground;

  auto* filterCaption = new QLabel("Serial number or job name:", panel);
  filterCaption->setGeometry(10, 10, 180, 24);
  eFilter = new QLineEdit(panel);
  eFilter->setObjectName("eFilter");
  eFilter->setGeometry(190, 10, 300, 24);
  eFilter->setClearButtonEnabled(true);
  eFilter->setPlaceholderText("Filter");
  filterCaption->setBuddy(eFilter);

  lvEntries = new QTableView(panel);
  lvEntries->setObjectName("lvEntries");
  lvEntries->setGeometry(10, 42, kClientWidth - 20, 220);
  lvEntries->setAccessibleName("Transfers");  // the lists have no caption of their own
  lvEntries->setModel(model_.get());
  lvEntries->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvEntries->setSelectionMode(QAbstractItemView::SingleSelection);
  lvEntries->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvEntries->setWordWrap(false);
  lvEntries->verticalHeader()->hide();
  // Fixed row heights and column widths: nothing is measured per row, so ten thousand
  // transfers list at once.
  lvEntries->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  lvEntries->verticalHeader()->setDefaultSectionSize(20);
  lvEntries->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  lvEntries->horizontalHeader()->setStretchLastSection(true);
  const int widths[kColumns] = {140, 80, 130, 130, 200, 80, 80};
  for (int column = 0; column < kColumns; ++column) lvEntries->setColumnWidth(column, widths[column]);

  lblStatus = new QLabel(panel);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setGeometry(10, 264, kClientWidth - 20, 20);

  grdValues = new QTableWidget(kLastSlot, 3, panel);
  grdValues->setObjectName("grdValues");
  grdValues->setGeometry(10, 288, kClientWidth - 20, 296);
  grdValues->setAccessibleName("Values of the transfer");
  grdValues->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grdValues->setWordWrap(false);
  grdValues->setHorizontalHeaderLabels({"As found", "Written", "Read back"});
  grdValues->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grdValues->verticalHeader()->setDefaultSectionSize(20);
  grdValues->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  QStringList captions;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) captions << QString::fromLatin1(SlotDescription(slot));
  grdValues->setVerticalHeaderLabels(captions);

  auto* valuesCaption = new QLabel("Values:", panel);
  valuesCaption->setGeometry(10, 598, 50, 30);
  cValues = new TComboBox(panel);
  cValues->setObjectName("cValues");
  cValues->setGeometry(60, 601, 110, 24);
  cValues->addItems({"As found", "Written", "Read back"});
  valuesCaption->setBuddy(cValues);

  cmdLoad = NewFlatButton(panel, "cmdLoad", "Load into Window", "Show these values in the main window");
  cmdLoad->setGeometry(180, 598, 140, 30);
  cmdSaveData = NewFlatButton(panel, "cmdSaveData", "Save Data File...", "Save these values as a data file");
  cmdSaveData->setGeometry(325, 598, 140, 30);
  cmdExportReport =
      NewFlatButton(panel, "cmdExportReport", "Export Report...", "Write the commissioning report of this transfer");
  cmdExportReport->setGeometry(470, 598, 140, 30);
  cmdClose = NewFlatButton(panel, "cmdClose", "Close", "Close the history", "glyph_cancel");
  cmdClose->setGeometry(kClientWidth - 94, 598, 84, 30);

  connect(eFilter, &QLineEdit::textChanged, this, [this] { Guarded([this] { eFilterChange(); }); });
  connect(lvEntries->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this] { Guarded([this] { lvEntriesSelect(); }); });
  connect(cValues, &QComboBox::currentIndexChanged, this, [this] { Guarded([this] { cValuesChange(); }); });
  connect(cmdLoad, &QToolButton::clicked, this, [this] { Guarded([this] { cmdLoadClick(); }); });
  connect(cmdSaveData, &QToolButton::clicked, this, [this] { Guarded([this] { cmdSaveDataClick(); }); });
  connect(cmdExportReport, &QToolButton::clicked, this, [this] { Guarded([this] { cmdExportReportClick(); }); });
  connect(cmdClose, &QToolButton::clicked, this, &QDialog::reject);
  AnswerEnterAndEscape(this, cmdLoad, cmdClose);
  KeepCentred(this, TCentred::AtEveryShow);
  ShowValues(nullptr);
}

TfrmPanelHistory::~TfrmPanelHistory() = default;

void TfrmPanelHistory::Reload(const TransferHistory& history) {
  HistoryReading reading = history.Read();
  const int count = static_cast<int>(reading.entries.size());
  model_->Reset(std::move(reading.entries));
  model_->Filter(eFilter->text());
  QString status = QStringLiteral("%1 transfer%2 in %3").arg(count).arg(count == 1 ? "" : "s")
                       .arg(DisplayPath(history.FilePath()));
  if (reading.damaged > 0)
    status += QStringLiteral("; %1 damaged line%2 skipped").arg(reading.damaged).arg(reading.damaged == 1 ? "" : "s");
  if (!reading.status) status += "; could not read " + QString::fromLocal8Bit(reading.status.reason);
  lblStatus->setText(status);
  SelectRow(0);
}

int TfrmPanelHistory::ListedCount() const { return model_->rowCount(); }

const TransferEntry* TfrmPanelHistory::SelectedEntry() const {
  return model_->Entry(lvEntries->selectionModel()->currentIndex().row());
}

void TfrmPanelHistory::SelectRow(int row) {
  if (row >= 0 && row < model_->rowCount())
    lvEntries->selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::ClearAndSelect |
                                                                           QItemSelectionModel::Rows);
  else
    lvEntries->selectionModel()->clear();
  ShowValues(SelectedEntry());
}

SlotValues TfrmPanelHistory::StageValues(Stage stage) const {
  const TransferEntry* entry = SelectedEntry();
  if (entry == nullptr) return {};
  switch (stage) {
    case Stage::Found:
      return entry->found.Empty() ? entry->values : entry->found;
    case Stage::Written:
      return entry->written;
    case Stage::ReadBack:
      return entry->readBack;
  }
  return {};
}

void TfrmPanelHistory::eFilterChange() {
  model_->Filter(eFilter->text());
  SelectRow(0);
}

void TfrmPanelHistory::lvEntriesSelect() { ShowValues(SelectedEntry()); }

void TfrmPanelHistory::cValuesChange() { EnableButtons(); }

// The three columns of the selected transfer.  A value written that differs from the one
// found is marked, and so is a value read back that differs from the one written or that
// did not come.
void TfrmPanelHistory::ShowValues(const TransferEntry* entry) {
  const bool read = entry != nullptr && entry->found.Empty() && !entry->values.Empty();
  grdValues->horizontalHeaderItem(0)->setText(read ? "Values read" : "As found");
  const QColor changed(255, 236, 153), wrong(255, 190, 190);
  QFont bold = grdValues->font();
  bold.setBold(true);
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    const int row = slot - 1;
    SlotValues none;
    const SlotValues& found = entry == nullptr ? none : read ? entry->values : entry->found;
    const SlotValues& written = entry == nullptr ? none : entry->written;
    const SlotValues& back = entry == nullptr ? none : entry->readBack;
    const bool differsFromFound = written[slot] && found[slot] && Shown(written[slot]) != Shown(found[slot]);
    const bool isListed = entry != nullptr && std::find(entry->differs.begin(), entry->differs.end(), slot) !=
                                                  entry->differs.end();
    const bool backDiffers = written[slot] && !back.Empty() && (!back[slot] || isListed);
    const QString cells[3] = {Shown(found[slot]), Shown(written[slot]),
                              back[slot] ? Shown(back[slot]) : backDiffers ? QStringLiteral("(no reply)") : QString()};
    for (int column = 0; column < 3; ++column) {
      auto* item = new QTableWidgetItem(cells[column]);
      if (column == 1 && differsFromFound) {
        item->setBackground(changed);
        item->setFont(bold);
        item->setToolTip("Changed by this transfer");
      }
      if (column == 2 && backDiffers) {
        item->setBackground(wrong);
        item->setFont(bold);
        item->setToolTip("Read back differently from what was written");
      }
      grdValues->setItem(row, column, item);
    }
  }
  EnableButtons();
}

void TfrmPanelHistory::EnableButtons() {
  const bool selected = SelectedEntry() != nullptr;
  const bool values = !StageValues(static_cast<Stage>(cValues->currentIndex())).Empty();
  cmdLoad->setEnabled(values);
  cmdSaveData->setEnabled(values);
  cmdExportReport->setEnabled(selected);
}

void TfrmPanelHistory::cmdLoadClick() {
  const TransferEntry* entry = SelectedEntry();
  const auto stage = static_cast<Stage>(cValues->currentIndex());
  const SlotValues values = StageValues(stage);
  if (entry == nullptr || values.Empty()) return;
  if (OnLoadValues) OnLoadValues(*entry, stage, values);
  accept();
}

void TfrmPanelHistory::cmdSaveDataClick() {
  const SlotValues values = StageValues(static_cast<Stage>(cValues->currentIndex()));
  if (values.Empty() || !SaveDlg.Execute(this)) return;
  UnitDataRecord record{};
  values.ApplyTo(record);
  const QString path = SaveDlg.FileName();
  if (const FileStatus status = WriteDataFile(record, LocalPath(path)); !status)
    MessageBox(this,
               QStringLiteral("Could not save the data file\n%1\n\n%2\n\nSave the values to another file.")
                   .arg(path, ReasonSentence(status)),
               QStringLiteral("Error"));
}

void TfrmPanelHistory::cmdExportReportClick() {
  if (const TransferEntry* entry = SelectedEntry()) ExportReport(this, ReportDlg, *entry);
}

bool ExportReport(QWidget* owner, TFileDialog& dialog, const TransferEntry& entry, const std::string& note) {
  if (!dialog.Execute(owner)) return false;
  const QString path = dialog.FileName();
  if (const FileStatus status = WriteCommissioningReport(entry, LocalPath(path), {note}); !status) {
    MessageBox(owner,
               QStringLiteral("Could not write the report\n%1\n\n%2\n\nChoose another file or folder.")
                   .arg(path, ReasonSentence(status)),
               QStringLiteral("Error"));
    return false;
  }
  return true;
}
