#pragma once

// TfrmMain: the one main window.  It shows every member of the unit data record that has a
// window control, in four captioned groups, offers all commands through a menu and a
// toolbar, and owns the serial port CommPort, the time-out timer tmrComm and the three file
// dialogs.  The window layer stays thin: the record, the data file, the archive reader and
// the panel link make the data decisions; the handlers here put them in sequence.

#include <QMainWindow>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/mainfields.h"
#include "files/transferhistory.h"
#include "files/upzarchive.h"
#include "model/unitdatarecord.h"
#include "panel/panellink.h"
#include "ui/filedialog.h"

class QAction;
class QFrame;
class QMenu;
class QTimer;
class QToolButton;
class TComm;
class TCustomEdit;
class TEdit;
class TMaskEdit;
class TWallpaper;
class TfrmPanelHistory;

// The window is the panel link's owner: it hears each reply's outcome and decides what the
// user sees (ReplyArrived, AllDataReceived, AllDataWritten, WriteRejected).  It is also the
// progress target of archive extraction, which takes no action.
class TfrmMain : public QMainWindow, public TPanelLinkOwner, public ArchiveProgress {
  Q_OBJECT
 public:
  // The window shows and collects `record` (the program's one record by default) and talks
  // to the panel through the program's one link, which works on that record.
  explicit TfrmMain(UnitDataRecord& record = UnitRecord, QWidget* parent = nullptr);
  // The same with a link of the caller's, which must work on `record` (tests use a fresh
  // link per window).  The window makes its CommPort the link's port and itself the link's
  // owner until it is destroyed.
  TfrmMain(UnitDataRecord& record, TPanelLink& link, QWidget* parent = nullptr);
  ~TfrmMain() override;

  UnitDataRecord& Record() { return record_; }
  TPanelLink& Link() { return link_; }

  // Record to window: every one of the 41 controls shows its member's text, whole, each byte
  // as its character of Windows code page 1252.
  void ShowRecord();
  // Window to record: every control's text goes, as bytes of code page 1252, through its
  // member's setter, which cuts it to the member's capacity and derives the packed date and
  // the model parts.
  void CollectRecord();

  // Caption "Quell Panel Sales Order Entry", with " - " and the current data file's name
  // when showFileName is true.
  void UpdateTitle(bool showFileName);
  // The full path of the data file the window is tied to, or empty.
  QString CurrentDataFile() const { return current_data_file_; }

  // The edit fields' maximum lengths: the panel's reported lengths (0: no limit), or the
  // default table used while the panel's lengths are not known.
  void ApplyPanelLengths();
  void ApplyDefaultLimits();

  // Reads the data file at `path` and shows it, tied to the window (Open Data File once the
  // dialog has answered).  A file that cannot be read is reported and changes nothing.
  void OpenDataFile(const QString& path);
  // Opens a file named on the command line (a double-click in the file manager): an order
  // archive (.upz in any letter case) as Open Encrypted Data File, any other file as Open
  // Data File.  A file that does not exist is reported and changes nothing.  `path` is
  // absolute.
  void OpenFileArgument(const QString& path);

  // Extracts an order archive into the temporary folder and shows its unit data file.
  // Every failure ends in an "Error" message; the record and the window change only when
  // the unit data file was found and read.  Neither the caption nor the current data file
  // changes.
  void OpenUpzFile(const QString& path);
  // The archive reader's progress notifications while OpenUpzFile runs: no action.
  void ArchiveNotification(unsigned notification, std::int32_t value) override;

  // The edit control of slot 1..41, or nullptr.
  TCustomEdit* SlotEdit(int slot) const;

  // ---- the window's parts, by the names of its layout ----
  QFrame* bvlTop = nullptr;
  TWallpaper* wpToolbar = nullptr;
  TWallpaper* wpBackground = nullptr;
  QFrame* bvlBottom = nullptr;

  // The 41 edit fields, e<member> (eJobName shows JobName), from the field table.
#define QUELLSO_EDIT_MEMBER(kind, name, ...) kind* e##name = nullptr;
  QUELLSO_MAIN_WINDOW_FIELDS(QUELLSO_EDIT_MEMBER)
#undef QUELLSO_EDIT_MEMBER

  // Toolbar
  QToolButton* cmdOpenDataFile = nullptr;
  QToolButton* cmdOpenEncryptedFile = nullptr;
  QToolButton* cmdSaveDataFile = nullptr;
  QToolButton* cmdPreferences = nullptr;
  QToolButton* cmdSalesOrder = nullptr;
  QToolButton* cmdRx = nullptr;
  QToolButton* cmdTx = nullptr;

  // Menu
  QAction* mnuOpenDataFile = nullptr;
  QAction* mnuOpenEncryptedDataFile = nullptr;
  QAction* mnuSaveDataFile = nullptr;
  QAction* mnuSaveDataFileAs = nullptr;
  QAction* mnuClose = nullptr;
  QAction* mnuExportReport = nullptr;
  QAction* mnuPreferences = nullptr;
  QAction* mnuExit = nullptr;
  QAction* mnuTransmitData = nullptr;
  QAction* mnuRequestData = nullptr;
  QAction* mnuClearScreen = nullptr;
  QAction* mnuEditData = nullptr;
  QAction* mnuPanelHistory = nullptr;
  // Check Panel Before and After Sending: on, Send Data reads the panel's values first, shows
  // what the write will change, and reads them back afterwards.  Kept as CheckPanel in the
  // settings file.
  QAction* mnuCheckPanel = nullptr;
  QAction* mnuReleaseNotes = nullptr;
  QAction* mnuAbout = nullptr;
  // Ctrl+L: Enter Sales Order # from the keyboard (a command of the window, not of the menu).
  QAction* actSalesOrder = nullptr;

  // Non-visual parts
  TComm* CommPort = nullptr;
  QTimer* tmrComm = nullptr;
  TFileDialog OpenDlg;
  TFileDialog SaveDlg;
  TFileDialog OpenEncryptedDlg;
  TFileDialog ReportDlg;
  // Tools > Panel History.
  TfrmPanelHistory* frmPanelHistory = nullptr;
  // The history entry whose as-found values Panel History last loaded into the window: a
  // Send Data of exactly those values is recorded as that entry's restore.
  std::string RestoreSource;
  // Those as-found values.
  SlotValues RestoreValues;

  // ---- handlers ----
  void FormShow();
  void FormClose();

  void mnuOpenDataFileClck();
  void mnuOpenEncryptedDataFileClick();
  void mnuSaveDataFileClick();
  void mnuSaveDataFileAsClick();
  void mnuCloseClick();
  void mnuExportReportClick();
  void mnuPanelHistoryClick();
  void mnuCheckPanelClick();
  void mnuPreferencesClick();
  void mnuExitClick();
  void cmdTxClick();
  void cmdRxClick();
  void mnuClearScreenClick();
  void mnuEditDataClick();
  void mnuReleaseNotesClick();
  void mnuAboutClick();
  void cmdSalesOrderClick();

  void CommPortRxChar(QObject* Sender, std::uint32_t Count);
  void CommPortRxFlag(QObject* Sender);
  void CommPortTxEmpty(QObject* Sender);
  void tmrCommTimer();

  // ---- the link's outcomes ----
  void ReplyArrived() override;
  void AllDataReceived() override;
  void AllDataWritten() override;
  void WriteRejected(int slot, int status) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateFrame();
  void CreateGroups();
  void CreateToolbar();
  void CreateMenu();
  void CreateCommPort();
  void CreatePanelHistory();
  void InitActionsConnections();

  // Edit Data and Send Data: the default-length warning while the panel's lengths are not
  // all known.
  void DefaultLengthWarningStep();

  // ---- the running transfer ----
  // What the link's replies are for at the moment.
  enum class TPhase { None, GetData, AsFound, Writing, ReadBack };
  void StartTransferPhase(TPhase phase);
  void ShowProgress();
  void EndTransfer();
  void StartRecorder(std::string_view operation);
  void FinishRecord(std::string_view result);
  void AfterAsFound();
  void WriteValues(const TSlotSet& asked);
  void AfterReadBack();
  void TimedOut();

  TPhase phase_ = TPhase::None;
  // This Send Data reads the panel before and after writing (the menu item as it began).
  bool checking_ = false;
  // Send Data: the window's values as collected when the command began, written once the
  // user has said Yes (what was typed meanwhile is not).
  UnitDataRecord planned_{};
  TSlotValues as_found_;
  TSlotValues read_back_;
  // The slots a Get Data or Send Data has had answered so far, its asks again included.
  TSlotSet done_;
  std::unique_ptr<TransferRecorder> recorder_;
  QString title_before_;

  UnitDataRecord& record_;
  TPanelLink& link_;
  // The edit of each row of kMainFields.
  std::array<TCustomEdit*, kMainFieldCount> edits_{};
  QString current_data_file_;
  bool shown_ = false;
};

extern TfrmMain* frmMain;
