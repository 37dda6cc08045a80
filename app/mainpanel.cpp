// The main window's side of the panel: the first show, which reaches the serial port and the
// panel, and the close, the transfers Get Data and Send Data, and the answers to the link's
// outcomes.  The link decides what each reply means; the window puts the steps in
// order and tells the user.

#include <QCloseEvent>
#include <QStringList>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>

#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "app/portready.h"
#include "panel/comm.h"
#include "panel/pacing.h"
#include "panel/portcontrol.h"
#include "panel/sendcheck.h"
#include "panel/transfers.h"
#include "model/cp1252.h"
#include "settings/preferences.h"
#include "settings/settingsstore.h"
#include "ui/busycursor.h"
#include "ui/edits.h"
#include "ui/exceptionbox.h"
#include "ui/messagebox.h"

namespace {

// The unit byte: Metric when the Preferences dialog's option says so at this moment.
std::uint8_t UnitByte() {
  return frmPreferences && frmPreferences->optMetric->isChecked() ? kMetricUnits : kEnglishUnits;
}

QString Shown(std::string_view bytes) { return QString::fromStdString(Cp1252ToUtf8(bytes)); }

// "Job Name, Job Location and Tons".
QString FieldNames(const std::vector<int>& numbers) {
  QStringList names;
  for (int slot : numbers) names << QString::fromLatin1(SlotDescription(slot));
  if (names.size() < 2) return names.join(QString());
  const QString last = names.takeLast();
  return names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

// The record's values of `slots`.
SlotValues HistoryValues(const UnitDataRecord& record, const TSlotSet& wanted) {
  const SlotValues all = SlotValues::FromRecord(record);
  SlotValues out;
  for (int slot : SlotNumbers(wanted))
    if (const auto value = all[slot]) out.Set(slot, *value);
  return out;
}

// What the confirmation of Send Data lists beneath its question: a panel that seems to be
// another unit's first, then what every value written will become.  `checked`: the panel's
// values were read first (the plan's lists hold something only then).
QString ChangeList(const TSendPlan& plan, const UnitDataRecord& record, const TSlotValues& asFound,
                   const TPanelLink& link, bool checked) {
  // Groups of lines, with a blank line between two groups.
  QStringList groups;
  QStringList lines;
  const auto group = [&] {
    if (!lines.isEmpty()) groups << lines.join('\n');
    lines.clear();
  };
  for (int slot : plan.serialsDiffer)
    lines << QStringLiteral("This may be another unit: the panel's %1 is \"%2\", the window's \"%3\".")
                 .arg(QString::fromLatin1(SlotDescription(slot)), Shown(Unpadded(asFound[slot].value_or(""))),
                      Shown(Unpadded(record.SlotText(slot))));
  if (plan.allEmpty) lines << QStringLiteral("Every field is empty: the panel's values will all be erased.");
  group();
  if (checked) {
    if (!plan.unread.empty())
      lines << QStringLiteral("These values could not be read from the panel, so what it holds there now is not "
                              "known: %1.")
                   .arg(FieldNames(plan.unread));
    group();
    if (!plan.changes.empty()) {
      lines << QStringLiteral("Will change (panel now -> to be written):");
      for (const TSlotChange& change : plan.changes)
        lines << QStringLiteral("  %1: %2 -> \"%3\"")
                     .arg(QString::fromLatin1(SlotDescription(change.slot)),
                          change.now ? QStringLiteral("\"%1\"").arg(Shown(Unpadded(*change.now)))
                                     : QStringLiteral("(not read)"),
                          Shown(change.toWrite));
    }
    group();
    for (int slot : plan.cut)
      lines << QStringLiteral("The panel will cut %1 to its %2 characters.")
                   .arg(QString::fromLatin1(SlotDescription(slot)))
                   .arg(link.FieldLength(slot));
    if (!plan.emptied.empty())
      lines << QStringLiteral("The panel keeps no text for %1: written empty.").arg(FieldNames(plan.emptied));
    group();
    if (plan.changes.empty() && plan.unread.empty())
      lines << QStringLiteral("Nothing will change: the panel already holds these values.");
    else
      lines << QStringLiteral("%1 value(s) stay as they are.").arg(plan.unchanged);
    group();
  }
  return groups.join(QStringLiteral("\n\n"));
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

// ---- the running transfer ----

// A transfer's replies are for `phase` from now on; the title shows its progress.
void TfrmMain::StartTransferPhase(TPhase phase) {
  if (phase_ == TPhase::None && title_before_.isEmpty()) title_before_ = windowTitle();
  phase_ = phase;
  ShowProgress();
}

// "n/41" in the title bar while a transfer runs.
void TfrmMain::ShowProgress() {
  if (title_before_.isEmpty()) return;
  setWindowTitle(QStringLiteral("%1 - %2/%3").arg(title_before_).arg(link_.ReplyCount()).arg(kSlotCount));
}

// The transfer is over: the timer stopped, the title as it was.
void TfrmMain::EndTransfer() {
  tmrComm->stop();
  phase_ = TPhase::None;
  if (!title_before_.isEmpty()) setWindowTitle(title_before_);
  title_before_.clear();
}

void TfrmMain::StartRecorder(std::string_view operation) {
  if (recorder_) FinishRecord(transfer::kInterrupted);  // a transfer begun over another
  const TransferPort port{StoredPreferences().comPort.toStdString(), CommPort->DeviceName().toStdString()};
  recorder_ = std::make_unique<TransferRecorder>(TransferHistory(), operation, transfer::kFromWindow, port,
                                                 UnitByte() == kMetricUnits ? "metric" : "english");
}

// The history line that ends the transfer, before its result is shown.  A history that cannot
// be written is reported; the transfer itself is not undone.
void TfrmMain::FinishRecord(std::string_view result) {
  if (!recorder_) return;
  const std::unique_ptr<TransferRecorder> recorder = std::move(recorder_);
  if (const FileStatus status = recorder->Finish(result); !status)
    MessageBox(this,
               QStringLiteral("This transfer could not be recorded in the panel history:\n%1\n\nFree some disk space "
                              "or make the folder writable; the panel itself is as the next message says.")
                   .arg(QString::fromStdString(status.reason)),
               "Panel History");
}

// Get Data: the unit-system command, then a read request for each of the 41 slots, paced
// (panel/transfers.h).  The replies are read by CommPortRxChar once this handler has
// returned; tmrComm, restarted by each reply, notices a panel that stops answering.  First
// the port is made ready: an adapter unplugged and plugged in again is opened anew; one that
// cannot be opened is reported and nothing is sent.  The busy cursor shows while the frames
// are paced out.  The transfer is recorded in the panel history.
void TfrmMain::cmdRxClick() {
  if (!PortReadyOrSay(link_, this)) {
    StartRecorder(transfer::kGet);
    FinishRecord(transfer::kPortFailed);
    return;
  }
  ApplyPanelLengths();
  StartRecorder(transfer::kGet);
  done_.reset();
  StartTransferPhase(TPhase::GetData);
  {
    const TBusyCursor busy;
    SendReadRequests(link_, UnitByte());
  }
  ShowProgress();
  tmrComm->start();
}

// Send Data: the port made ready first (as for Get Data); the warning while the panel's
// lengths are not all known; the window's values taken as they are now.  With Check Panel
// Before and After Sending, the panel's values are read first and the question shows what
// will change (AfterAsFound); without it the question comes at once, and the frames are
// exactly those of a plain write.  Either way No is the default answer, and a window whose
// every field is empty says so.
void TfrmMain::cmdTxClick() {
  if (!PortReadyOrSay(link_, this)) {
    StartRecorder(transfer::kSend);
    FinishRecord(transfer::kPortFailed);
    return;
  }
  DefaultLengthWarningStep();
  if (!link_.LengthsKnown()) ApplyDefaultLimits();
  const UnitDataRecord before = record_;
  CollectRecord();
  planned_ = record_;
  record_ = before;
  checking_ = mnuCheckPanel->isChecked();
  as_found_.Clear();
  read_back_.Clear();
  done_.reset();
  // Values loaded from a history entry's as-found values put that panel back as it was.
  bool restore = !RestoreSource.empty() && !RestoreValues.Empty();
  const SlotValues window = SlotValues::FromRecord(planned_);
  for (int slot = kFirstSlot; restore && slot <= kLastSlot; ++slot)
    restore = WithoutPadding(window[slot].value_or("")) == WithoutPadding(RestoreValues[slot].value_or(""));
  StartRecorder(restore ? transfer::kRestore : transfer::kSend);
  if (restore) recorder_->Entry().restoredFrom = RestoreSource;
  if (!checking_) {
    AfterAsFound();
    return;
  }
  StartTransferPhase(TPhase::AsFound);
  {
    const TBusyCursor busy;
    SendReadRequests(link_, UnitByte(), AllSlots(), &as_found_);
  }
  ShowProgress();
  tmrComm->start();
}

// The question, once the panel's values are in (or the read has ended without them all).
void TfrmMain::AfterAsFound() {
  EndTransfer();
  const TSlotSet written = WrittenSlots(planned_);
  const TSendPlan plan = checking_ ? PlanSend(planned_, as_found_, link_, written) : TSendPlan{};
  TSendPlan shown = plan;
  shown.allEmpty = AllValuesEmpty(planned_);
  if (AskDefaultNo(this, "Are you sure you want to overwrite the existing panel data?", "Confirmation",
                   ChangeList(shown, planned_, as_found_, link_, checking_)) != TModalResult::Yes) {
    recorder_.reset();  // nothing was written: nothing to record
    return;
  }
  if (checking_) recorder_->Entry().found = SlotValues::FromSlots(as_found_);
  recorder_->Entry().written = HistoryValues(planned_, written);
  // The panel's values are kept before any of them is overwritten; when they cannot be, the
  // user decides.
  if (const FileStatus status = recorder_->RecordBeforeWriting(); !status) {
    if (AskDefaultNo(this,
                     QStringLiteral("The panel's present values could not be recorded in the panel history:\n%1\n\n"
                                    "Without that record they cannot be restored later.  Write to the panel anyway?")
                         .arg(QString::fromStdString(status.reason)),
                     "Panel History") != TModalResult::Yes) {
      recorder_.reset();
      return;
    }
  }
  record_ = planned_;
  ShowRecord();
  WriteValues(written);
}

// The write requests of `asked` (every slot written, or those still missing).
void TfrmMain::WriteValues(const TSlotSet& asked) {
  StartTransferPhase(TPhase::Writing);
  // A text that cannot be framed (only a model number full of control characters, against a
  // very long reported length, can be) is not sent; the user is told which field it was.
  int unsent = 0;
  {
    const TBusyCursor busy;
    unsent = asked == WrittenSlots(record_) ? SendWriteRequests(link_, UnitByte())
                                            : SendWriteRequests(link_, UnitByte(), asked);
  }
  ShowProgress();
  tmrComm->start();
  if (unsent != 0) {
    MessageBox(this,
               QString::fromLatin1(UnframableSlotText(unsent)) +
                   QStringLiteral("\n\nCorrect the field and send the data again."),
               "Write Error");
  }
}

// The read-back is in (or ended without every value): the result, with what differs.
void TfrmMain::AfterReadBack() {
  EndTransfer();
  const std::vector<TSlotCheck> checks = CompareReadBack(record_, read_back_, link_, WrittenSlots(record_));
  QStringList lines;
  if (checks.empty()) {
    lines << QStringLiteral("Every value read back from the panel as written.");
  } else {
    lines << QStringLiteral("Read back from the panel, these fields differ from what was written:");
    for (const TSlotCheck& check : checks)
      lines << QStringLiteral("  %1: %2").arg(QString::fromLatin1(SlotDescription(check.slot)),
                                              QString::fromStdString(ReadBackReason(check)));
    lines << QStringLiteral("Check the fields in the panel, or send the data again.");
  }
  if (recorder_) {
    recorder_->Entry().readBack = SlotValues::FromSlots(read_back_);
    for (const TSlotCheck& check : checks) recorder_->Entry().differs.push_back(check.slot);
    recorder_->Entry().missing = SlotNumbers(WrittenSlots(record_) & ~read_back_.Answered());
  }
  FinishRecord(checks.empty() ? transfer::kOk : transfer::kDiffers);
  MessageWithDetails(this, "Data Written Successfully", "Write Results", lines.join('\n'));
}

// Replies: every byte waiting goes through the link's read passes, and each complete frame
// through the link, which stores, counts and reports; then the window shows the record
// anew, unless a length query is under way or the values went elsewhere (the reads before
// and after a write).  Frames that were not counted (noise on the line, replies nobody
// asked for) change nothing in the record, so they do not refresh the window either: a
// refresh would throw away what the user is typing.
void TfrmMain::CommPortRxChar(QObject*, std::uint32_t) {
  const TPhase phase = phase_;
  if (link_.ReadReplies() > 0 && !link_.Connecting() && phase != TPhase::AsFound && phase != TPhase::ReadBack)
    ShowRecord();
}

// The port's other events are not monitored.
void TfrmMain::CommPortRxFlag(QObject*) {}
void TfrmMain::CommPortTxEmpty(QObject*) {}

// No reply for a second.
void TfrmMain::tmrCommTimer() {
  tmrComm->stop();
  if (phase_ == TPhase::None) {
    if (link_.ReplyCount() != kSlotCount) MessageBox(this, "Communications Timeout Error ", "Communications Error");
    return;
  }
  TimedOut();
}

// The panel stopped answering partway, or never answered: late replies are ignored from now
// on.  A read before or after a write goes on without the values missing; Get Data and the
// writes say how far they got and offer to ask for the rest.
void TfrmMain::TimedOut() {
  if (link_.State() == TTransferState::Running) link_.AbandonTransfer();
  const TPhase phase = phase_;
  if (phase == TPhase::AsFound) {
    AfterAsFound();
    return;
  }
  if (phase == TPhase::ReadBack) {
    AfterReadBack();
    return;
  }
  done_ |= link_.AnsweredSlots();
  const TSlotSet missing = link_.MissingSlots();
  const bool reading = phase == TPhase::GetData;
  const int answered = link_.ReplyCount();
  EndTransfer();
  if (done_.none()) {
    if (recorder_) recorder_->Entry().missing = SlotNumbers(missing);
    FinishRecord(transfer::kTimeout);
    MessageBox(this, "Communications Timeout Error ", "Communications Error");
    return;
  }
  const QString text =
      reading ? QStringLiteral("Only %1 of the %2 values came from the panel before it stopped answering.\n\n"
                               "No reply for %3: those fields still show their earlier values.\n\n"
                               "Ask the panel again for the missing values?")
              : QStringLiteral("Only %1 of the %2 values were accepted by the panel before it stopped answering.\n\n"
                               "No reply for %3: the panel may still hold their earlier values.\n\n"
                               "Send the missing values again?");
  if (MessageBox(this, text.arg(answered).arg(kSlotCount).arg(FieldNames(SlotNumbers(missing))),
                 "Communications Error", TMessageButtons::YesNo) == TModalResult::Yes) {
    if (reading) {
      StartTransferPhase(TPhase::GetData);
      {
        const TBusyCursor busy;
        SendReadRequests(link_, UnitByte(), missing);
      }
      ShowProgress();
      tmrComm->start();
    } else {
      WriteValues(missing);
    }
    return;
  }
  if (recorder_) {
    recorder_->Entry().missing = SlotNumbers(missing);
    if (reading) recorder_->Entry().values = HistoryValues(record_, done_);
    else recorder_->Entry().written = HistoryValues(record_, done_);
  }
  FinishRecord(transfer::kPartial);
}

// ---- the link's outcomes ----

// A counted reply: the time-out starts again, and the title shows the count.
void TfrmMain::ReplyArrived() {
  if (phase_ == TPhase::None) {
    tmrComm->stop();
    return;
  }
  tmrComm->start();
  ShowProgress();
}

// Get Data: the window shows the values before the message says they are all there (the
// refresh that ends the read pass comes only once the message is closed).  The reads before
// and after a write go on once the read pass is over.
void TfrmMain::AllDataReceived() {
  if (phase_ == TPhase::AsFound || phase_ == TPhase::ReadBack) {
    tmrComm->stop();
    const TPhase phase = phase_;
    QTimer::singleShot(0, this, [this, phase] {
      Guarded([&] {
        if (phase_ != phase) return;
        if (phase == TPhase::AsFound) AfterAsFound();
        else AfterReadBack();
      });
    });
    return;
  }
  const bool recorded = phase_ == TPhase::GetData;
  if (recorded) done_ |= link_.AnsweredSlots();
  EndTransfer();
  ShowRecord();
  if (recorded && recorder_) recorder_->Entry().values = SlotValues::FromRecord(record_);
  FinishRecord(transfer::kOk);
  MessageBox(this, "All Data Received Successfully", "Request Results");
}

// Every write accepted: with the check, the values are read back first.
void TfrmMain::AllDataWritten() {
  if (phase_ == TPhase::Writing && checking_) {
    tmrComm->stop();
    QTimer::singleShot(0, this, [this] {
      Guarded([&] {
        if (phase_ != TPhase::Writing) return;
        StartTransferPhase(TPhase::ReadBack);
        read_back_.Clear();
        {
          const TBusyCursor busy;
          SendReadRequests(link_, UnitByte(), WrittenSlots(record_), &read_back_);
        }
        ShowProgress();
        tmrComm->start();
      });
    });
    return;
  }
  EndTransfer();
  FinishRecord(transfer::kOk);
  MessageBox(this, "Data Written Successfully", "Write Results");
}

// The panel refused a value, which ends the transfer: the port is reset, which throws away
// the replies still waiting, and the user is told which field, why, and which fields the
// panel had already taken.  A port that does not open again is reported as at first show,
// after the write error.
void TfrmMain::WriteRejected(int slot, int status) {
  done_ |= link_.AnsweredSlots();
  TSlotSet notWritten = link_.MissingSlots();
  if (slot >= 0 && slot < static_cast<int>(notWritten.size())) notWritten.reset(static_cast<std::size_t>(slot));
  EndTransfer();
  CommPort->Close();
  Guarded([this] { CommPort->Open(); });
  QString text = QString::fromLatin1(WriteErrorMessage(slot, status));
  const std::vector<int> written = SlotNumbers(done_);
  const std::vector<int> unwritten = SlotNumbers(notWritten);
  text += written.empty() ? QStringLiteral("\n\nNo field was written before it.")
                          : QStringLiteral("\n\nAlready written: %1.").arg(FieldNames(written));
  if (!unwritten.empty()) text += QStringLiteral("\nNot written: %1.").arg(FieldNames(unwritten));
  if (recorder_) {
    recorder_->Entry().written = HistoryValues(record_, done_);
    recorder_->Entry().missing = SlotNumbers(notWritten);
  }
  FinishRecord(transfer::kRejected);
  MessageBox(this, text, "Write Error");
  if (!CommPort->Enabled()) MessageBox(this, CouldNotOpenMessage(*CommPort), "COM Port Error");
}

// Tools > Check Panel Before and After Sending: kept in the settings file at once.
void TfrmMain::mnuCheckPanelClick() {
  if (const FileStatus status = StoreCheckPanel(mnuCheckPanel->isChecked()); !status)
    MessageBox(this,
               QStringLiteral("The setting could not be saved:\n%1\n\nIt holds until the program ends.")
                   .arg(QString::fromStdString(status.reason)),
               "Preferences");
}
