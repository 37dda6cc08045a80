#include "app/mainwindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "panel/comm.h"
#include "panel/pacing.h"
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

  auto heading = [body](const QString& text, int x, int y, int width) {
    auto* label = new TShadowLabel(text, Qt::yellow, HeadingFont(), Qt::AlignLeft | Qt::AlignVCenter, body);
    label->setGeometry(x, y, width, 18);
    return label;
  };
  auto caption = [body](const QString& text, int x, int y) {
    auto* label = new TShadowLabel(text, Qt::white, CaptionFont(), Qt::AlignRight | Qt::AlignVCenter, body);
    label->setGeometry(x, y - 1, kCaptionWidth, kEditHeight + 2);
    return label;
  };
  auto style = [](TCustomEdit* edit, const char* name, int x, int y, int width) {
    edit->setObjectName(name);
    edit->setGeometry(x, y, width, kEditHeight);
    edit->setFont(CaptionFont());
    edit->setStyleSheet(QStringLiteral("QLineEdit { background-color: black; color: white; border: 1px inset gray;"
                                       " padding: 0px 1px; selection-background-color: #000080; }"));
    edit->SetReadOnly(true);
    edit->SetCp1252Only(true);  // record texts are single bytes of code page 1252
  };
  auto plain = [&](const char* name, int x, int y, int width) {
    auto* edit = new TEdit(body);
    style(edit, name, x, y, width);
    return edit;
  };
  auto masked = [&](const char* name, int x, int y, int width) {
    auto* edit = new TMaskEdit(body);
    style(edit, name, x, y, width);
    return edit;
  };

  // One row: the caption in its column, the edit right of it.
  struct Row {
    const char* caption;
    int y;
  };
  const int topFirstRow = kTopHeading + 24;
  const int bottomFirstRow = kBottomHeading + 40;
  auto rowY = [](int first, int index) { return first + index * kRowStep; };
  // Each field carries its caption as its accessible name, so that a screen reader announces
  // "Job Name" rather than "edit"; the design-load fields name their column first.
  auto announce = [](std::initializer_list<TCustomEdit*> edits, const char* const* captions,
                     const QString& column = QString()) {
    for (TCustomEdit* edit : edits) edit->setAccessibleName(column + QString::fromLatin1(*captions++));
  };

  // Controls are created in tab order: order information, evaporator, condenser,
  // nameplate, system information.
  {
    const int captionX = kLeftColumn;
    const int editX = captionX + kCaptionWidth + kCaptionGap;
    heading("Order Information", captionX + 8, kTopHeading, 300);
    const char* captions[] = {"Commissioning Date", "Job Name", "Job Location", "Model Number",
                              "Varn Order Number", "Panel Serial Number", "Chiller Serial Number"};
    for (int i = 0; i < 7; ++i) caption(captions[i], captionX, rowY(topFirstRow, i));
    eCommissionDate = masked("eCommissionDate", editX, rowY(topFirstRow, 0), kWideEdit);
    eJobName = plain("eJobName", editX, rowY(topFirstRow, 1), kWideEdit);
    eJobLocation = plain("eJobLocation", editX, rowY(topFirstRow, 2), kWideEdit);
    eModelNumber = plain("eModelNumber", editX, rowY(topFirstRow, 3), kWideEdit);
    eVarnOrderNumber = plain("eVarnOrderNumber", editX, rowY(topFirstRow, 4), kWideEdit);
    ePanelSerialNumber = plain("ePanelSerialNumber", editX, rowY(topFirstRow, 5), kWideEdit);
    eChillerSerialNumber = masked("eChillerSerialNumber", editX, rowY(topFirstRow, 6), kWideEdit);
    announce({eCommissionDate, eJobName, eJobLocation, eModelNumber, eVarnOrderNumber, ePanelSerialNumber,
              eChillerSerialNumber},
             captions);
  }
  {
    const int captionX = kLeftColumn;
    const int evX = captionX + kCaptionWidth + kCaptionGap;
    const int cdX = evX + kNarrowEdit + 6;
    heading("Design Load", captionX + 8, kBottomHeading, 300);
    auto title = [&](const QString& text, int x) {
      auto* label = new TShadowLabel(text, Qt::yellow, CaptionFont(), Qt::AlignHCenter | Qt::AlignVCenter, body);
      label->setGeometry(x - 4, kBottomHeading + 20, kNarrowEdit + 8, 16);
    };
    title("Evaporator", evX);
    title("Condenser", cdX);
    const char* captions[] = {"Passes",        "Design Working Pressure", "Fouling Factor",
                              "Pressure Drop", "Nozzle Arrangement (In)", "Nozzle Arrangement (Out)",
                              "Leaving Temperature", "Return Temperature", "GPM", "Tube Number"};
    for (int i = 0; i < 10; ++i) caption(captions[i], captionX, rowY(bottomFirstRow, i));
    TEdit** ev[] = {&eEvPasses,   &eEvDesignWorkingPressure, &eEvFoulingFactor, &eEvPressureDrop,
                    &eEvNozzleIn, &eEvNozzleOut,             &eEvLeavingTemp,   &eEvReturnTemp,
                    &eEvGpm,      &eEvTubeNo};
    const char* evNames[] = {"eEvPasses",   "eEvDesignWorkingPressure", "eEvFoulingFactor", "eEvPressureDrop",
                             "eEvNozzleIn", "eEvNozzleOut",             "eEvLeavingTemp",   "eEvReturnTemp",
                             "eEvGpm",      "eEvTubeNo"};
    for (int i = 0; i < 10; ++i) *ev[i] = plain(evNames[i], evX, rowY(bottomFirstRow, i), kNarrowEdit);
    TEdit** cd[] = {&eCdPasses,   &eCdDesignWorkingPressure, &eCdFoulingFactor, &eCdPressureDrop,
                    &eCdNozzleIn, &eCdNozzleOut,             &eCdLeavingTemp,   &eCdReturnTemp,
                    &eCdGpm,      &eCdTubeNo};
    const char* cdNames[] = {"eCdPasses",   "eCdDesignWorkingPressure", "eCdFoulingFactor", "eCdPressureDrop",
                             "eCdNozzleIn", "eCdNozzleOut",             "eCdLeavingTemp",   "eCdReturnTemp",
                             "eCdGpm",      "eCdTubeNo"};
    for (int i = 0; i < 10; ++i) *cd[i] = plain(cdNames[i], cdX, rowY(bottomFirstRow, i), kNarrowEdit);
    for (int i = 0; i < 10; ++i) {
      announce({*ev[i]}, &captions[i], "Evaporator ");
      announce({*cd[i]}, &captions[i], "Condenser ");
    }
  }
  {
    const int captionX = kRightColumn;
    const int editX = captionX + kCaptionWidth + kCaptionGap;
    heading("Nameplate Information", captionX + 8, kTopHeading, 300);
    const char* captions[] = {"Motor Code",        "Power (Volts)",  "Phases",     "Frequency (Hz)",
                              "Locked Rotor Amps", "Full Load Amps", "Inrush Amps"};
    for (int i = 0; i < 7; ++i) caption(captions[i], captionX, rowY(topFirstRow, i));
    eMotorCode = plain("eMotorCode", editX, rowY(topFirstRow, 0), kNarrowEdit);
    ePower = plain("ePower", editX, rowY(topFirstRow, 1), kNarrowEdit);
    ePhases = plain("ePhases", editX, rowY(topFirstRow, 2), kNarrowEdit);
    eFrequency = plain("eFrequency", editX, rowY(topFirstRow, 3), kNarrowEdit);
    eLockedRotorAmps = plain("eLockedRotorAmps", editX, rowY(topFirstRow, 4), kNarrowEdit);
    eFullLoadAmps = plain("eFullLoadAmps", editX, rowY(topFirstRow, 5), kNarrowEdit);
    eInrushAmps = plain("eInrushAmps", editX, rowY(topFirstRow, 6), kNarrowEdit);
    announce({eMotorCode, ePower, ePhases, eFrequency, eLockedRotorAmps, eFullLoadAmps, eInrushAmps}, captions);
  }
  {
    const int captionX = kRightColumn;
    const int editX = captionX + kCaptionWidth + kCaptionGap;
    heading("System Information", captionX + 8, kBottomHeading, 300);
    const char* captions[] = {"Refrigerant",   "Tons",       "Gear Code",      "Liquid Type",
                              "Brine Percent", "VSD/SSS/EM", "Kilowatts Input"};
    for (int i = 0; i < 7; ++i) caption(captions[i], captionX, rowY(bottomFirstRow, i));
    eRefrigerant = plain("eRefrigerant", editX, rowY(bottomFirstRow, 0), kNarrowEdit);
    eTons = plain("eTons", editX, rowY(bottomFirstRow, 1), kNarrowEdit);
    eGearCode = plain("eGearCode", editX, rowY(bottomFirstRow, 2), kNarrowEdit);
    eEvapLiquidType = plain("eEvapLiquidType", editX, rowY(bottomFirstRow, 3), kNarrowEdit);
    eBrinePercent = plain("eBrinePercent", editX, rowY(bottomFirstRow, 4), kNarrowEdit);
    eMotorType = plain("eMotorType", editX, rowY(bottomFirstRow, 5), kNarrowEdit);
    eKilowattsInput = plain("eKilowattsInput", editX, rowY(bottomFirstRow, 6), kNarrowEdit);
    announce({eRefrigerant, eTons, eGearCode, eEvapLiquidType, eBrinePercent, eMotorType, eKilowattsInput}, captions);
  }

  // The date shows as "-- --- ----" with its blanks, and starts as eleven blanks.
  eCommissionDate->SetEditMask(QStringLiteral("!99\\ >LLL<\\ 0000;1;-"));
  eCommissionDate->SetText(QString(11, ' '));
  // At start the commissioning date and the two serial numbers can be typed in.
  eCommissionDate->SetReadOnly(false);
  ePanelSerialNumber->SetReadOnly(false);
  eChillerSerialNumber->SetReadOnly(false);

  // ShowRecord and CollectRecord go through the controls in this order.
  fields_ = {{
      {eCommissionDate, UnitMember::CommissionDate},
      {eModelNumber, UnitMember::ModelNumber},
      {ePanelSerialNumber, UnitMember::PanelSerialNumber},
      {eChillerSerialNumber, UnitMember::ChillerSerialNumber},
      {eVarnOrderNumber, UnitMember::VarnOrderNumber},
      {eJobName, UnitMember::JobName},
      {eJobLocation, UnitMember::JobLocation},
      {eCdPasses, UnitMember::CdPasses},
      {eCdDesignWorkingPressure, UnitMember::CdDesignWorkingPressure},
      {eCdFoulingFactor, UnitMember::CdFoulingFactor},
      {eCdPressureDrop, UnitMember::CdPressureDrop},
      {eCdNozzleIn, UnitMember::CdNozzleIn},
      {eCdNozzleOut, UnitMember::CdNozzleOut},
      {eCdLeavingTemp, UnitMember::CdLeavingTemp},
      {eCdReturnTemp, UnitMember::CdReturnTemp},
      {eCdGpm, UnitMember::CdGpm},
      {eCdTubeNo, UnitMember::CdTubeNo},
      {eEvPasses, UnitMember::EvPasses},
      {eEvDesignWorkingPressure, UnitMember::EvDesignWorkingPressure},
      {eEvFoulingFactor, UnitMember::EvFoulingFactor},
      {eEvPressureDrop, UnitMember::EvPressureDrop},
      {eEvNozzleIn, UnitMember::EvNozzleIn},
      {eEvNozzleOut, UnitMember::EvNozzleOut},
      {eEvLeavingTemp, UnitMember::EvLeavingTemp},
      {eEvReturnTemp, UnitMember::EvReturnTemp},
      {eEvGpm, UnitMember::EvGpm},
      {eEvTubeNo, UnitMember::EvTubeNo},
      {eMotorCode, UnitMember::MotorCode},
      {ePower, UnitMember::Power},
      {ePhases, UnitMember::Phases},
      {eFrequency, UnitMember::Frequency},
      {eLockedRotorAmps, UnitMember::LockedRotorAmps},
      {eFullLoadAmps, UnitMember::FullLoadAmps},
      {eInrushAmps, UnitMember::InrushAmps},
      {eRefrigerant, UnitMember::Refrigerant},
      {eTons, UnitMember::Tons},
      {eGearCode, UnitMember::GearCode},
      {eEvapLiquidType, UnitMember::EvapLiquidType},
      {eBrinePercent, UnitMember::BrinePercent},
      {eMotorType, UnitMember::MotorType},
      {eKilowattsInput, UnitMember::KilowattsInput},
  }};

  // Tab order: the seven order controls, the ten evaporator controls, the ten condenser
  // controls, the seven nameplate controls, the seven system controls.
  const QList<QWidget*> tabOrder = {
      eCommissionDate, eJobName, eJobLocation, eModelNumber, eVarnOrderNumber, ePanelSerialNumber,
      eChillerSerialNumber, eEvPasses, eEvDesignWorkingPressure, eEvFoulingFactor, eEvPressureDrop, eEvNozzleIn,
      eEvNozzleOut, eEvLeavingTemp, eEvReturnTemp, eEvGpm, eEvTubeNo, eCdPasses, eCdDesignWorkingPressure,
      eCdFoulingFactor, eCdPressureDrop, eCdNozzleIn, eCdNozzleOut, eCdLeavingTemp, eCdReturnTemp, eCdGpm,
      eCdTubeNo, eMotorCode, ePower, ePhases, eFrequency, eLockedRotorAmps, eFullLoadAmps, eInrushAmps,
      eRefrigerant, eTons, eGearCode, eEvapLiquidType, eBrinePercent, eMotorType, eKilowattsInput};
  for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i) setTabOrder(tabOrder[i], tabOrder[i + 1]);
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
  for (const Field& field : fields_)
    if (MemberInfo(field.member).slot == slot) return field.edit;
  return nullptr;
}

// Each field shows the start of its text, as an edit whose text is set does: the panel pads
// its texts with blanks, and a field left scrolled to their end would show only blanks.
void TfrmMain::ShowRecord() {
  for (const Field& field : fields_) {
    field.edit->SetBytes(record_.Text(field.member));
    field.edit->setCursorPosition(0);
  }
}

void TfrmMain::CollectRecord() {
  for (const Field& field : fields_)
    record_.SetSlot(MemberInfo(field.member).slot, field.edit->Bytes());
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
  for (const Field& field : fields_) {
    int limit = 16;
    switch (field.member) {
      case UnitMember::CommissionDate: limit = 11; break;
      case UnitMember::ModelNumber: limit = 256; break;
      case UnitMember::JobName:
      case UnitMember::JobLocation: limit = 32; break;
      default: break;
    }
    field.edit->SetMaxLength(limit);
  }
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  Guarded([this] { FormShow(); });
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  Guarded([this] { FormClose(); });
  QMainWindow::closeEvent(event);
}

// The first show, in this order: the preferences, the serial port, no current data file,
// the default field limits, the panel's length query, a 100 ms wait, and the lengths the
// panel has reported by then.
void TfrmMain::FormShow() {
  LoadPreferencesStep();
  OpenPortStep();
  current_data_file_.clear();
  ApplyDefaultLimits();
  ConnectionCheckStep();
  Sleep(100);
  ApplyPanelLengths();
}
