#include "app/mainwindow.h"

#include <QAction>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <utility>

#include "panel/comm.h"
#include "settings/settingsstore.h"
#include "panel/transfers.h"
#include "ui/centre.h"
#include "ui/edits.h"
#include "ui/exceptionbox.h"
#include "ui/flatbutton.h"
#include "ui/fonts.h"
#include "ui/palette.h"
#include "ui/pictures.h"
#include "ui/shadowlabel.h"
#include "ui/wall.h"

TfrmMain* frmMain = nullptr;

namespace {

constexpr int kWindowWidth = 643;
constexpr int kWindowHeight = 520;
constexpr int kToolbarHeight = 28;

// Body layout, in pixels of the body panel.
constexpr int kRowStep = 20;      // rows are 20 pixels apart
constexpr int kEditHeight = 17;
constexpr int kCaptionWidth = 150;  // captions are right-aligned in a 150-pixel column
constexpr int kCaptionGap = 4;
constexpr int kWideEdit = 152;   // "Order Information"
constexpr int kNarrowEdit = 72;  // every other group
constexpr int kLeftColumn = 2;
constexpr int kRightColumn = 330;
constexpr int kTopHeading = 8;
constexpr int kBottomHeading = 186;

// Where each group of the field table stands, in TFieldGroup order.  The design load's two
// columns share their heading and row captions and have a title each.
struct TGroupLayout {
  const char* heading;  // drawn by the first field of the group; null for the condenser column
  const char* column;   // the design load's column title, or null
  int captionX;         // the caption column's left edge
  int headingY;
  int firstRowY;
  int editX;
  int editWidth;
  bool captions;  // draws the rows' captions
};
constexpr int kLeftEditX = kLeftColumn + kCaptionWidth + kCaptionGap;
constexpr int kRightEditX = kRightColumn + kCaptionWidth + kCaptionGap;
constexpr int kTopFirstRow = kTopHeading + 24;
constexpr int kBottomFirstRow = kBottomHeading + 40;  // below the column titles
constexpr TGroupLayout kGroupLayouts[kFieldGroupCount] = {
    {"Order Information", nullptr, kLeftColumn, kTopHeading, kTopFirstRow, kLeftEditX, kWideEdit, true},
    {"Design Load", "Evaporator", kLeftColumn, kBottomHeading, kBottomFirstRow, kLeftEditX, kNarrowEdit, true},
    {nullptr, "Condenser", kLeftColumn, kBottomHeading, kBottomFirstRow, kLeftEditX + kNarrowEdit + 6, kNarrowEdit,
     false},
    {"Nameplate Information", nullptr, kRightColumn, kTopHeading, kTopFirstRow, kRightEditX, kNarrowEdit, true},
    {"System Information", nullptr, kRightColumn, kBottomHeading, kBottomFirstRow, kRightEditX, kNarrowEdit, true},
};

const QString kCaption = QStringLiteral("Quell Panel Sales Order Entry");

QFont CaptionFont() { return SansFont(11, true); }  // bold 8 point
QFont HeadingFont() { return SansFont(13, true); }  // bold Arial 10 point

}  // namespace

TfrmMain::TfrmMain(UnitDataRecord& record, QWidget* parent) : TfrmMain(record, PanelLink, parent) {}

TfrmMain::TfrmMain(UnitDataRecord& record, TPanelLink& link, QWidget* parent)
    : QMainWindow(parent),
      OpenDlg(TFileDialog::Kind::Open, "Open Data File", "Data Files (*.dat)|*.dat|All Files (*.*)|*.*", "dat"),
      SaveDlg(TFileDialog::Kind::Save, "Save Data File", "Data Files (*.dat)|*.dat", "dat"),
      OpenEncryptedDlg(TFileDialog::Kind::Open, "Open Encrypted Data File",
                       "Encrypted Data Files (*.upz)|*.upz|All Files (*.*)|*.*", "upz"),
      ReportDlg(TFileDialog::Kind::Save, "Export Report", "PDF Files (*.pdf)|*.pdf|All Files (*.*)|*.*", "pdf"),
      record_(record),
      link_(link) {
  setObjectName("frmMain");
  setWindowTitle(kCaption);
  setFont(SansFont(11, false));
  // The designed colours for the menu bar and the frame lines too; the panels give them to
  // everything drawn over their pictures.
  setPalette(DesignedPalette());

  CreateFrame();
  CreateGroups();
  CreateToolbar();
  CreateMenu();
  CreatePanelHistory();

  tmrComm = new QTimer(this);
  tmrComm->setObjectName("tmrComm");
  tmrComm->setInterval(1000);
  tmrComm->setTimerType(Qt::PreciseTimer);  // a coarse timer fires up to 5 % early
  CreateCommPort();

  InitActionsConnections();

  // The link writes its frames to this window's port and reports its outcomes here.
  link_.SetPort(CommPort);
  link_.SetOwner(this);

  // The size is fixed: the border cannot be dragged.
  setFixedSize(kWindowWidth, kWindowHeight);
  KeepCentred(this, TCentred::AtFirstShow);
}

// The link outlives the window: it must not keep the port or the owner that go with it.
TfrmMain::~TfrmMain() {
  if (link_.Port() == CommPort) {
    link_.SetPort(nullptr);
    link_.SetOwner(nullptr);
  }
}

void TfrmMain::CreateFrame() {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto etchedLine = [central](const char* name) {
    auto* line = new QFrame(central);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedHeight(2);
    return line;
  };

  bvlTop = etchedLine("bvlTop");
  wpToolbar = new TWallpaper(central);
  wpToolbar->setObjectName("wpToolbar");
  wpToolbar->setFixedHeight(kToolbarHeight);
  wpToolbar->SetWallpaper(Picture("tile128"));
  wpBackground = new TWallpaper(central);
  wpBackground->setObjectName("wpBackground");
  wpBackground->SetWallpaper(Picture("tile150x34"));
  bvlBottom = etchedLine("bvlBottom");

  column->addWidget(bvlTop);
  column->addWidget(wpToolbar);
  column->addWidget(wpBackground, 1);
  column->addWidget(bvlBottom);
  setCentralWidget(central);
}

void TfrmMain::CreateGroups() {
  QWidget* body = wpBackground;

  const QString editStyle = QStringLiteral(
      "QLineEdit { background-color: black; color: white; border: 1px inset gray;"
      " padding: 0px 1px; selection-background-color: #000080; }");
  auto label = [body](const char* text, QColor shadow, const QFont& font, Qt::Alignment alignment, QRect place) {
    auto* caption = new TShadowLabel(text, shadow, font, alignment | Qt::AlignVCenter, body);
    caption->setGeometry(place);
    return caption;
  };
  std::array<bool, kFieldGroupCount> started{};
  for (std::size_t i = 0; i < kMainFieldCount; ++i) {
    const TMainField& field = kMainFields[i];
    const TGroupLayout& group = kGroupLayouts[static_cast<std::size_t>(field.group)];
    const int y = group.firstRowY + field.row * kRowStep;
    if (!std::exchange(started[static_cast<std::size_t>(field.group)], true)) {
      if (group.heading)
        label(group.heading, Qt::yellow, HeadingFont(), Qt::AlignLeft, {group.captionX + 8, group.headingY, 300, 18});
      if (group.column)
        label(group.column, Qt::yellow, CaptionFont(), Qt::AlignHCenter,
              {group.editX - 4, group.headingY + 20, kNarrowEdit + 8, 16});
    }
    // Captions are right-aligned in their column; the condenser column shares the
    // evaporator's.
    TShadowLabel* caption = nullptr;
    if (group.captions)
      caption = label(field.caption, Qt::white, CaptionFont(), Qt::AlignRight,
                      {group.captionX, y - 1, kCaptionWidth, kEditHeight + 2});

    TCustomEdit* edit = field.masked ? static_cast<TCustomEdit*>(new TMaskEdit(body)) : new TEdit(body);
    edits_[i] = edit;
    edit->setObjectName(field.objectName);
    edit->setGeometry(group.editX, y, group.editWidth, kEditHeight);
    edit->setFont(CaptionFont());
    edit->setStyleSheet(editStyle);
    edit->SetReadOnly(!field.typed);
    edit->SetCp1252Only(true);  // record texts are single bytes of code page 1252
    // A screen reader announces "Job Name" rather than "edit", and finds the caption linked
    // to the field; the design-load fields name their column first.
    if (caption) caption->setBuddy(edit);
    edit->setAccessibleName(group.column ? QStringLiteral("%1 %2").arg(group.column, field.caption)
                                         : QString::fromLatin1(field.caption));
  }
  for (std::size_t i = 0; i + 1 < kMainFieldCount; ++i) setTabOrder(edits_[i], edits_[i + 1]);
  // Each edit into its named member.
  std::size_t row = 0;
#define QUELLSO_NAME_EDIT(kind, name, ...) e##name = static_cast<kind*>(edits_[row++]);
  QUELLSO_MAIN_WINDOW_FIELDS(QUELLSO_NAME_EDIT)
#undef QUELLSO_NAME_EDIT

  // The date shows as "-- --- ----" with its blanks, and starts as eleven blanks.
  eCommissionDate->SetEditMask(QStringLiteral("!99\\ >LLL<\\ 0000;1;-"));
  eCommissionDate->SetText(QString(11, ' '));
}

void TfrmMain::CreateToolbar() {
  QWidget* strip = wpToolbar;
  auto button = [strip](const char* name, const QString& caption, const QString& hint, int x, int width) {
    QToolButton* b = NewFlatButton(strip, name, caption, hint);
    b->setFocusPolicy(Qt::NoFocus);
    b->setGeometry(x, 2, width, 24);
    return b;
  };
  auto picture = [&](const char* name, const QString& hint, int x, const char* face) {
    QToolButton* b = button(name, QString(), hint, x, 25);
    b->setIcon(QIcon(Picture(face)));
    b->setIconSize(QSize(20, 20));
    return b;
  };
  auto text = [&](const char* name, const QString& caption, const QString& hint, int x, int width) {
    return button(name, caption, hint, x, width);
  };

  cmdOpenDataFile = picture("cmdOpenDataFile", "Open Data File", 4, "open_data");
  cmdOpenEncryptedFile = picture("cmdOpenEncryptedFile", "Open Encrypted Data File", 30, "open_archive");
  cmdSaveDataFile = picture("cmdSaveDataFile", "Save Data File", 56, "save");
  auto* separator = new QFrame(strip);
  separator->setObjectName("sepToolbar");
  separator->setFrameShape(QFrame::VLine);
  separator->setFrameShadow(QFrame::Sunken);
  separator->setGeometry(85, 3, 2, 22);
  cmdPreferences = picture("cmdPreferences", "Preferences", 90, "preferences");
  cmdSalesOrder = text("cmdSalesOrder", "Enter Sales Order #", "Enter Sales Order Number", 120, 130);
  cmdRx = text("cmdRx", "Get Data", "Request Data from Panel", 254, 72);
  cmdTx = text("cmdTx", "Send Data", "Transmit Data to Panel", 330, 76);
}

void TfrmMain::CreateMenu() {
  auto item = [this](QMenu* menu, const char* name, const QString& caption, QKeySequence shortcut = {}) {
    auto* action = menu->addAction(caption);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    return action;
  };

  // Besides the Ctrl+T, Ctrl+R and Ctrl+E of the panel commands, the keys desktop users
  // reach for without looking: open, save, save as and exit.
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("mnuFile");
  mnuOpenDataFile = item(file, "mnuOpenDataFile", "&Open Data File...", QKeySequence(Qt::CTRL | Qt::Key_O));
  mnuOpenEncryptedDataFile = item(file, "mnuOpenEncryptedDataFile", "Open &Encrypted Data File...");
  file->addSeparator();
  mnuSaveDataFile = item(file, "mnuSaveDataFile", "&Save Data File", QKeySequence(Qt::CTRL | Qt::Key_S));
  mnuSaveDataFileAs =
      item(file, "mnuSaveDataFileAs", "Save Data File &As...", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  mnuClose = item(file, "mnuClose", "&Close");
  file->addSeparator();
  mnuExportReport = item(file, "mnuExportReport", "Export &Report...");
  file->addSeparator();
  mnuPreferences = item(file, "mnuPreferences", "&Preferences...");
  file->addSeparator();
  mnuExit = item(file, "mnuExit", "E&xit", QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* tools = menuBar()->addMenu("&Tools");
  tools->setObjectName("mnuTools");
  mnuTransmitData = item(tools, "mnuTransmitData", "&Transmit Data", QKeySequence(Qt::CTRL | Qt::Key_T));
  mnuRequestData = item(tools, "mnuRequestData", "&Request Data", QKeySequence(Qt::CTRL | Qt::Key_R));
  tools->addSeparator();
  mnuClearScreen = item(tools, "mnuClearScreen", "Clear Screen");
  mnuEditData = item(tools, "mnuEditData", "Edit Data", QKeySequence(Qt::CTRL | Qt::Key_E));
  mnuEditData->setCheckable(true);
  mnuEditData->setChecked(false);
  tools->addSeparator();
  mnuPanelHistory = item(tools, "mnuPanelHistory", "Panel &History...", QKeySequence(Qt::CTRL | Qt::Key_H));
  tools->addSeparator();
  mnuCheckPanel = item(tools, "mnuCheckPanel", "Check Panel Before and After Sending");
  mnuCheckPanel->setCheckable(true);
  mnuCheckPanel->setChecked(StoredPreferences().checkPanel);

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("mnuHelp");
  mnuReleaseNotes = item(help, "mnuReleaseNotes", "Release &Notes");
  help->addSeparator();
  mnuAbout = item(help, "mnuAbout", "&About");

  // Enter Sales Order # has no menu item: its key belongs to the window.
  actSalesOrder = new QAction(this);
  actSalesOrder->setObjectName("actSalesOrder");
  actSalesOrder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  addAction(actSalesOrder);

  // The toolbar's hints name the keys of their commands.
  const std::pair<QToolButton*, QAction*> keyed[] = {{cmdOpenDataFile, mnuOpenDataFile},
                                                     {cmdSaveDataFile, mnuSaveDataFile},
                                                     {cmdSalesOrder, actSalesOrder},
                                                     {cmdRx, mnuRequestData},
                                                     {cmdTx, mnuTransmitData}};
  for (const auto& [button, action] : keyed)
    button->setToolTip(
        QStringLiteral("%1 (%2)").arg(button->toolTip(), action->shortcut().toString(QKeySequence::NativeText)));

  // The menus open as windows of their own, which take no colours from the menu bar.
  for (QMenu* menu : {file, tools, help}) menu->setPalette(DesignedPalette());
}

// The serial port to the panel: COM1 until the preferences name another device, 19200 baud,
// odd parity, 1024-byte queues, received characters only.  Its handlers run through
// Guarded() like every other handler of the window.
void TfrmMain::CreateCommPort() {
  CommPort = new TComm(this);
  CommPort->setObjectName("CommPort");
  CommPort->SetDeviceName("COM1");
  SetPanelLine(*CommPort);
  CommPort->OnRxChar = [this](QObject* Sender, std::uint32_t Count) {
    Guarded([&] { CommPortRxChar(Sender, Count); });
  };
  CommPort->OnRxFlag = [this](QObject* Sender) { Guarded([&] { CommPortRxFlag(Sender); }); };
  CommPort->OnTxEmpty = [this](QObject* Sender) { Guarded([&] { CommPortTxEmpty(Sender); }); };
}

// Every menu item, button and timer is wired here, each through Guarded(), so that an
// exception from a handler is shown in the exception box and the window stays up.
void TfrmMain::InitActionsConnections() {
  auto wire = [this](auto* source, auto signal, void (TfrmMain::*handler)()) {
    connect(source, signal, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
  };
  wire(mnuOpenDataFile, &QAction::triggered, &TfrmMain::mnuOpenDataFileClck);
  wire(mnuOpenEncryptedDataFile, &QAction::triggered, &TfrmMain::mnuOpenEncryptedDataFileClick);
  wire(mnuSaveDataFile, &QAction::triggered, &TfrmMain::mnuSaveDataFileClick);
  wire(mnuSaveDataFileAs, &QAction::triggered, &TfrmMain::mnuSaveDataFileAsClick);
  wire(mnuClose, &QAction::triggered, &TfrmMain::mnuCloseClick);
  wire(mnuExportReport, &QAction::triggered, &TfrmMain::mnuExportReportClick);
  wire(mnuPanelHistory, &QAction::triggered, &TfrmMain::mnuPanelHistoryClick);
  wire(mnuCheckPanel, &QAction::triggered, &TfrmMain::mnuCheckPanelClick);
  wire(mnuPreferences, &QAction::triggered, &TfrmMain::mnuPreferencesClick);
  wire(mnuExit, &QAction::triggered, &TfrmMain::mnuExitClick);
  wire(mnuTransmitData, &QAction::triggered, &TfrmMain::cmdTxClick);
  wire(mnuRequestData, &QAction::triggered, &TfrmMain::cmdRxClick);
  wire(mnuClearScreen, &QAction::triggered, &TfrmMain::mnuClearScreenClick);
  wire(mnuEditData, &QAction::triggered, &TfrmMain::mnuEditDataClick);
  wire(mnuReleaseNotes, &QAction::triggered, &TfrmMain::mnuReleaseNotesClick);
  wire(mnuAbout, &QAction::triggered, &TfrmMain::mnuAboutClick);
  wire(actSalesOrder, &QAction::triggered, &TfrmMain::cmdSalesOrderClick);

  wire(cmdOpenDataFile, &QToolButton::clicked, &TfrmMain::mnuOpenDataFileClck);
  wire(cmdOpenEncryptedFile, &QToolButton::clicked, &TfrmMain::mnuOpenEncryptedDataFileClick);
  wire(cmdSaveDataFile, &QToolButton::clicked, &TfrmMain::mnuSaveDataFileClick);
  wire(cmdPreferences, &QToolButton::clicked, &TfrmMain::mnuPreferencesClick);
  wire(cmdSalesOrder, &QToolButton::clicked, &TfrmMain::cmdSalesOrderClick);
  wire(cmdRx, &QToolButton::clicked, &TfrmMain::cmdRxClick);
  wire(cmdTx, &QToolButton::clicked, &TfrmMain::cmdTxClick);

  wire(tmrComm, &QTimer::timeout, &TfrmMain::tmrCommTimer);
}

TCustomEdit* TfrmMain::SlotEdit(int slot) const {
  for (std::size_t i = 0; i < kMainFieldCount; ++i)
    if (MemberInfo(kMainFields[i].member).slot == slot) return edits_[i];
  return nullptr;
}

// Each field shows the start of its text, as an edit whose text is set does: the panel pads
// its texts with blanks, and a field left scrolled to their end would show only blanks.
void TfrmMain::ShowRecord() {
  for (std::size_t i = 0; i < kMainFieldCount; ++i) {
    edits_[i]->SetBytes(record_.Text(kMainFields[i].member));
    edits_[i]->setCursorPosition(0);
  }
}

// Each text goes through its member's setter: SetCommissionDate and SetModelNumber derive
// the packed date and the model parts, and no setter touches another field's member, so
// the order does not matter.
void TfrmMain::CollectRecord() {
  for (std::size_t i = 0; i < kMainFieldCount; ++i)
    record_.SetSlot(MemberInfo(kMainFields[i].member).slot, edits_[i]->Bytes());
}

void TfrmMain::UpdateTitle(bool showFileName) {
  QString caption = kCaption;
  if (showFileName) {
    const qsizetype slash = current_data_file_.lastIndexOf('/');
    caption += " - " + (slash < 0 ? current_data_file_ : current_data_file_.mid(slash + 1));
  }
  setWindowTitle(caption);
}

void TfrmMain::ApplyDefaultLimits() {
  for (std::size_t i = 0; i < kMainFieldCount; ++i) edits_[i]->SetMaxLength(kMainFields[i].defaultLimit);
}

// Each edit field may take as many characters as the panel reported for its slot; a slot
// the panel has not reported (0) leaves its field without a limit.
void TfrmMain::ApplyPanelLengths() {
  for (std::size_t i = 0; i < kMainFieldCount; ++i)
    edits_[i]->SetMaxLength(link_.FieldLength(MemberInfo(kMainFields[i].member).slot));
}
