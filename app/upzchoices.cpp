#include "app/upzchoices.h"

#include <QDir>
#include <QToolButton>

#include "files/localpath.h"
#include "files/salesorder.h"
#include "ui/centre.h"
#include "ui/dialogkeys.h"
#include "ui/exceptionbox.h"
#include "ui/flatbutton.h"
#include "ui/fonts.h"
#include "ui/pictures.h"
#include "ui/wall.h"

TfrmUpzChoices* frmUpzChoices = nullptr;

namespace {

constexpr int kClientWidth = 260;
constexpr int kClientHeight = 262;

}  // namespace


// ---- TFileListBox -----------------------------------------------------------------------

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);  // ListMatchingFiles gives the order
}

void TFileListBox::SetDirectory(const QString& folder) {
  directory_ = QDir(folder.isEmpty() ? QStringLiteral(".") : folder).absolutePath();
  QDir::setCurrent(directory_);
  Refresh();
}

void TFileListBox::SetMask(const QString& mask) {
  mask_ = mask;
  Refresh();
}

void TFileListBox::Fill(const QString& folder, const QString& mask) {
  mask_ = mask;
  SetDirectory(folder);
}

void TFileListBox::Refresh() {
  clear();
  if (directory_.isEmpty()) return;
  // Each name's bytes are kept (DecodeFileName), so that FileName() opens the file listed
  // even when its name is not valid UTF-8.
  for (const std::string& name : ListMatchingFiles(LocalPath(directory_), EncodeFileName(mask_)))
    addItem(DecodeFileName(name));
  SetItemIndex(-1);
}

int TFileListBox::ItemIndex() const {
  const QList<QListWidgetItem*> selected = selectedItems();
  return selected.isEmpty() ? -1 : row(selected.front());
}

void TFileListBox::SetItemIndex(int index) {
  if (index >= 0 && index < count()) {
    setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    return;
  }
  clearSelection();
  setCurrentItem(nullptr);
}

QString TFileListBox::FileName() const {
  const int index = ItemIndex();
  if (index < 0) return {};
  return QDir(directory_).filePath(item(index)->text());
}

// ---- TfrmUpzChoices ---------------------------------------------------------------------

TfrmUpzChoices::TfrmUpzChoices(QWidget* parent) : QDialog(parent) {
  setObjectName("frmUpzChoices");
  setWindowTitle("Select File");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(SansFont(11));
  setFixedSize(kClientWidth, kClientHeight);

  wpBackground = NewDialogBackground(this, "wpBackground", "tile128");
  QWidget* panel = wpBackground;

  flbUpzChoices = new TFileListBox(panel);
  flbUpzChoices->setObjectName("flbUpzChoices");
  flbUpzChoices->setGeometry(10, 10, kClientWidth - 20, 200);
  flbUpzChoices->setAccessibleName(windowTitle());  // the list has no caption but the dialog's

  cmdCancel = NewFlatButton(panel, "cmdCancel", "Cancel", "Cancel Changes", "glyph_cancel");
  cmdCancel->setGeometry(kClientWidth - 184, 222, 84, 30);
  cmdOk = NewFlatButton(panel, "cmdOk", "Ok", "Accept Changes", "glyph_ok");
  cmdOk->setGeometry(kClientWidth - 94, 222, 84, 30);

  connect(cmdOk, &QToolButton::clicked, this, [this] { Guarded([this] { cmdOkClick(); }); });
  connect(cmdCancel, &QToolButton::clicked, this, [this] { Guarded([this] { cmdCancelClick(); }); });
  // A double click chooses the file, as Ok does.
  connect(flbUpzChoices, &QListWidget::itemDoubleClicked, this, [this] { Guarded([this] { cmdOkClick(); }); });
  AnswerEnterAndEscape(this, cmdOk, cmdCancel);
  KeepCentred(this, TCentred::AtEveryShow);
}

void TfrmUpzChoices::cmdOkClick() { accept(); }

void TfrmUpzChoices::cmdCancelClick() {
  flbUpzChoices->SetItemIndex(-1);
  reject();
}

void TfrmUpzChoices::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  flbUpzChoices->setFocus();
}
