#include "app/salesorderentry.h"

#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <optional>

#include "app/upzchoices.h"
#include "files/localpath.h"
#include "settings/preferences.h"
#include "ui/centre.h"
#include "ui/dialogkeys.h"
#include "ui/edits.h"
#include "ui/exceptionbox.h"
#include "ui/flatbutton.h"
#include "ui/fonts.h"
#include "ui/pictures.h"
#include "ui/wall.h"

TfrmSalesOrderEntry* frmSalesOrderEntry = nullptr;

namespace {

constexpr int kClientWidth = 300;
constexpr int kClientHeight = 106;

// Eight blanks, the '-' and two blanks: the field with nothing typed.
const QString kNoNumber = QStringLiteral("        -  ");

constexpr char kEscape = 27;
constexpr char kEnter = 13;

// The default archive folder, as the Preferences dialog shows it now.
QString DefaultFolder() { return frmPreferences ? frmPreferences->eDefaultUpz->Text() : QString(); }

// The archive at `path`, or a file whose name differs from it only in letter case.
std::optional<QString> ExistingArchive(const QString& path) {
  const std::optional<std::filesystem::path> found = FindFileIgnoringCase(LocalPath(path));
  if (!found) return std::nullopt;
  return DisplayPath(*found);
}

// Offers every archive of the same year and order as `path`, whatever its line, in the
// choices dialog, the first one selected.  The chosen archive's path; nothing when there
// is none to offer or the user cancelled.
std::optional<QString> ChooseNearMatch(const QString& path) {
  if (!frmUpzChoices) return std::nullopt;
  const FolderAndMask pattern = SplitPattern(ArchiveChoicePattern(EncodeFileName(path)));
  TFileListBox* list = frmUpzChoices->flbUpzChoices;
  list->Fill(DisplayPath(pattern.folder), DecodeFileName(pattern.mask));
  if (list->count() == 0) return std::nullopt;
  list->SetItemIndex(0);
  frmUpzChoices->exec();
  const QString chosen = list->FileName();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen;
}

}  // namespace

TfrmSalesOrderEntry::TfrmSalesOrderEntry(QWidget* parent) : QDialog(parent) {
  setObjectName("frmSalesOrderEntry");
  setWindowTitle("Enter Sales Order Number");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(SansFont(11));
  setFixedSize(kClientWidth, kClientHeight);

  wpBackground = NewDialogBackground(this, "wpBackground", "tile128");
  QWidget* panel = wpBackground;

  lblSalesOrderNumber = new QLabel("Sales Order Number", panel);
  lblSalesOrderNumber->setObjectName("lblSalesOrderNumber");
  lblSalesOrderNumber->setFont(SansFont(11, true));
  lblSalesOrderNumber->setAttribute(Qt::WA_TranslucentBackground);
  lblSalesOrderNumber->setGeometry(12, 10, kClientWidth - 24, 18);

  eSalesOrderNumber = new TMaskEdit(panel);
  eSalesOrderNumber->setObjectName("eSalesOrderNumber");
  eSalesOrderNumber->setFont(SansFont(13, true));
  eSalesOrderNumber->setGeometry(12, 30, 160, 24);
  eSalesOrderNumber->SetEditMask(QStringLiteral("99999999-99;1;_"));
  eSalesOrderNumber->SetText(kNoNumber);
  eSalesOrderNumber->installEventFilter(this);
  lblSalesOrderNumber->setBuddy(eSalesOrderNumber);

  cmdCancel = NewFlatButton(panel, "cmdCancel", "Cancel", "Cancel Changes", "glyph_cancel");
  cmdCancel->setGeometry(kClientWidth - 184, 66, 84, 30);
  cmdOk = NewFlatButton(panel, "cmdOk", "Ok", "Accept Changes", "glyph_ok");
  cmdOk->setGeometry(kClientWidth - 94, 66, 84, 30);

  connect(cmdOk, &QToolButton::clicked, this, [this] { Guarded([this] { cmdOkClick(); }); });
  connect(cmdCancel, &QToolButton::clicked, this, [this] { Guarded([this] { cmdCancelClick(); }); });
  AnswerEnterAndEscape(this, cmdOk, cmdCancel);
  KeepCentred(this, TCentred::AtEveryShow);
}

void TfrmSalesOrderEntry::BuildArchiveName(ArchiveVariant variant) {
  const ArchiveName name = ::BuildArchiveName(eSalesOrderNumber->Text().toLatin1().toStdString(),
                                              EncodeFileName(DefaultFolder()), variant);
  path_ = DecodeFileName(name.path);
  order_part_ = QString::fromLatin1(name.orderPart.data(), static_cast<qsizetype>(name.orderPart.size()));
  line_number_ = name.line;
}

void TfrmSalesOrderEntry::cmdOkClick() {
  BuildArchiveName(ArchiveVariant::kFirst);
  std::optional<QString> found = ExistingArchive(path_);
  if (!found) {
    BuildArchiveName(ArchiveVariant::kSecond);
    found = ExistingArchive(path_);
  }
  if (!found) found = ChooseNearMatch(path_);
  if (found) path_ = *found;
  // Always: a number without an archive ends in the open's "Can't open source file".
  if (open_archive_) open_archive_(path_);
  accept();
}

void TfrmSalesOrderEntry::cmdCancelClick() {
  line_number_ = 0;
  order_part_.clear();
  reject();
}

void TfrmSalesOrderEntry::eSalesOrderNumberKeyPress(char& Key) {
  if (Key == kEscape) {
    Key = 0;
    cmdCancelClick();
  } else if (Key == kEnter) {
    Key = 0;
    cmdOkClick();
  }
}

bool TfrmSalesOrderEntry::eventFilter(QObject* watched, QEvent* event) {
  if (watched != eSalesOrderNumber || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  const auto* press = static_cast<QKeyEvent*>(event);
  char key = 0;
  if (press->key() == Qt::Key_Escape) {
    key = kEscape;
  } else if (press->key() == Qt::Key_Return || press->key() == Qt::Key_Enter) {
    key = kEnter;
  } else {
    return false;  // every other key goes to the field
  }
  Guarded([&] { eSalesOrderNumberKeyPress(key); });
  return key == 0;
}

// The field has the focus with its whole text selected, so that a new number can be typed
// straight over the last one.
void TfrmSalesOrderEntry::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  eSalesOrderNumber->setFocus();
  // After the show has run its course: showing the window drops a selection made now.
  QTimer::singleShot(0, eSalesOrderNumber, [this] { eSalesOrderNumber->selectAll(); });
}
