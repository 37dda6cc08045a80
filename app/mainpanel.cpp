// The main window's side of the panel: the first show, which reaches the serial port and the
// panel, and the close, the transfers Get Data and Send Data, and the answers to the link's
// outcomes.  The link decides what each reply means; the window puts the steps in
// order and tells the user.

#include <QCloseEvent>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>

#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "app/portready.h"
#include "panel/comm.h"
#include "panel/pacing.h"
#include "panel/portcontrol.h"
#include "panel/transfers.h"
#include "settings/preferences.h"
#include "ui/busycursor.h"
#include "ui/edits.h"
#include "ui/exceptionbox.h"
#include "ui/messagebox.h"

namespace {

// The unit byte: Metric when the Preferences dialog's option says so at this moment.
std::uint8_t UnitByte() {
  return frmPreferences && frmPreferences->optMetric->isChecked() ? kMetricUnits : kEnglishUnits;
}

}  // namespace

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
  // The stored settings fill the Preferences dialog and name the port's device.
  if (frmPreferences) frmPreferences->LoadPreferences(CommPort);
  // An error the port raises is shown and the first show goes on; a device that does not
  // open gets the "COM Port Error" message with the reason, and the program carries on with
  // the port closed.
  Guarded([this] { CommPort->Open(); });
  if (!CommPort->Enabled()) MessageBox(this, CouldNotOpenMessage(*CommPort), "COM Port Error");
  current_data_file_.clear();
  ApplyDefaultLimits();
  // The length query.  Its replies are read once the first show has returned, or meanwhile
  // by the event loop of any message box or dialog on the screen.
  {
    const TBusyCursor busy;
    SendLengthRequests(link_);
  }
  Sleep(100);
  ApplyPanelLengths();
}

// Shown at every Edit Data and Send Data until the panel has reported all 41 lengths,
// whatever the user answers.
void TfrmMain::DefaultLengthWarningStep() {
  if (!link_.LengthsKnown() && frmDefaultLengthWarning) frmDefaultLengthWarning->exec();
}

void TfrmMain::FormClose() {
  if (CommPort->Enabled()) CommPort->Close();
}

// Get Data: the unit-system command, then a read request for each of the 41 slots, paced
// (panel/transfers.h).  The replies are read by CommPortRxChar once this handler has
// returned; tmrComm reports a panel that does not answer at all.  First the port is made
// ready: an adapter unplugged and plugged in again is opened anew; one that cannot be opened
// is reported and nothing is sent.  The busy cursor shows while the frames are paced out.
void TfrmMain::cmdRxClick() {
  if (!PortReadyOrSay(link_, this)) return;
  ApplyPanelLengths();
  {
    const TBusyCursor busy;
    SendReadRequests(link_, UnitByte());
  }
  tmrComm->start();
}

// Send Data: the port made ready first (as for Get Data); after the warning (while the
// panel's lengths are not all known) and the confirmation, the window's values go into the
// record and from there, slot by slot, into the panel, under the busy cursor.  A blank date
// is not written; its slot counts as done.
void TfrmMain::cmdTxClick() {
  if (!PortReadyOrSay(link_, this)) return;
  DefaultLengthWarningStep();
  if (!link_.LengthsKnown()) ApplyDefaultLimits();
  if (MessageBox(this, "Are you sure you want to overwrite the existing panel data?", "Confirmation",
                 TMessageButtons::YesNo) != TModalResult::Yes)
    return;
  CollectRecord();
  // A text that cannot be framed (only a model number full of control characters, against a
  // very long reported length, can be) is not sent; the user is told which field it was.
  int unsent = 0;
  {
    const TBusyCursor busy;
    unsent = SendWriteRequests(link_, UnitByte());
  }
  tmrComm->start();
  if (unsent != 0) {
    MessageBox(this,
               QString::fromLatin1(UnframableSlotText(unsent)) +
                   QStringLiteral("\n\nCorrect the field and send the data again."),
               "Write Error");
  }
}

// Replies: every byte waiting goes through the link's read passes, and each complete frame
// through the link, which stores, counts and reports; then the window shows the record
// anew, unless a length query is under way.  Bytes that brought no frame (noise on the
// line) change nothing in the record, so they do not refresh the window either: a refresh
// would throw away what the user is typing.
void TfrmMain::CommPortRxChar(QObject*, std::uint32_t) {
  if (link_.ReadReplies() > 0 && !link_.Connecting()) ShowRecord();
}

// The port's other events are not monitored.
void TfrmMain::CommPortRxFlag(QObject*) {}
void TfrmMain::CommPortTxEmpty(QObject*) {}

// No reply within a second of the last frame.
void TfrmMain::tmrCommTimer() {
  tmrComm->stop();
  if (link_.ReplyCount() != kSlotCount) MessageBox(this, "Communications Timeout Error ", "Communications Error");
}

// ---- the link's outcomes ----

void TfrmMain::ReplyArrived() { tmrComm->stop(); }

// The window shows the values before the message says they are all there (the refresh that
// ends the read pass comes only once the message is closed).
void TfrmMain::AllDataReceived() {
  ShowRecord();
  MessageBox(this, "All Data Received Successfully", "Request Results");
}

void TfrmMain::AllDataWritten() { MessageBox(this, "Data Written Successfully", "Write Results"); }

// The panel refused a value: the port is reset, which throws away the replies still waiting,
// and the user is told which field and why.  A port that does not open again is reported as
// at first show, after the write error.
void TfrmMain::WriteRejected(int slot, int status) {
  CommPort->Close();
  Guarded([this] { CommPort->Open(); });
  MessageBox(this, QString::fromLatin1(WriteErrorMessage(slot, status)), "Write Error");
  if (!CommPort->Enabled()) MessageBox(this, CouldNotOpenMessage(*CommPort), "COM Port Error");
}
