// The main window's transfers against a panel port kept in memory: what Get Data and Send
// Data send and in what pacing, what the window does with the link's outcomes and the
// time-out, the field limits, and the default-length warning.  The end-to-end runs against
// the simulator are in test_panelwindow.cpp.

#include <time.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <span>
#include <stdexcept>

#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "panel/comm.h"
#include "panel/pacing.h"
#include "panel/panellink.h"
#include "panel/transfers.h"
#include "settings/preferences.h"
#include "settings/settingsstore.h"
#include "tests/app/memoryport.h"
#include "tests/app/warninganswers.h"
#include "tests/panel/test_panellink_support.h"
#include "tests/support/guitest.h"
#include "ui/edits.h"
#include "ui/wall.h"

namespace {

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The kind and slot of a frame the window sent (header bytes without their top bit).
std::pair<int, int> KindAndSlot(const Bytes& frame) { return {frame.at(1) & 0x7F, frame.at(2) & 0x7F}; }

class Transfers : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    link.SetPort(&port);  // the window's CommPort stays closed; the link talks to memory
    // The plain transfers; the reads around Send Data have tests of their own.
    window.mnuCheckPanel->setChecked(false);
  }
  void TearDown() override {
    link.SetPort(nullptr);
    delete frmDefaultLengthWarning;
    frmDefaultLengthWarning = nullptr;
    delete frmPreferences;
    frmPreferences = nullptr;
    GuiTest::TearDown();
  }

  // Feeds the bytes and runs the character-received handler, as the port's event does.
  void Receive(const Bytes& bytes) {
    port.Feed(bytes);
    window.CommPortRxChar(window.CommPort, static_cast<std::uint32_t>(bytes.size()));
  }
  // All 41 lengths, as the replies to a connection check.
  void LearnLengths(int length) {
    link.BeginTransfer(TTransferKind::Lengths, AllSlots());
    for (int slot = 1; slot <= kSlotCount; ++slot) Receive(LengthReply(slot, length));
    ASSERT_TRUE(link.LengthsKnown());
  }
  TfrmDefaultLengthWarning* MakeWarning() {
    frmDefaultLengthWarning = new TfrmDefaultLengthWarning(link);
    return frmDefaultLengthWarning;
  }

  UnitDataRecord record{};
  TPanelLink link{record};
  TfrmMain window{record, link};
  MemoryPort port;
};

TEST_F(Transfers, TheWindowIsTheLinksOwnerAndItsPortIsCommPort) {
  UnitDataRecord other{};
  TPanelLink fresh{other};
  {
    TfrmMain second{other, fresh};
    EXPECT_EQ(fresh.Port(), second.CommPort);
  }
  EXPECT_EQ(fresh.Port(), nullptr);  // the window took its port away with it
}

// ---- Get Data ----

struct UnitCase {
  const char* name;
  bool metric;
  const char* unitFrame;
};

const UnitCase kUnitCases[] = {
    {"NoPreferences", false, "02 80 80 00 82 80 03"},
    {"English", false, "02 80 80 00 82 80 03"},
    {"Metric", true, "02 80 80 01 82 81 03"},
};

class GetDataUnits : public Transfers, public testing::WithParamInterface<UnitCase> {};

TEST_P(GetDataUnits, SendsTheUnitCommandThen41PacedReadRequests) {
  if (std::string(GetParam().name) != "NoPreferences") {
    frmPreferences = new TfrmPreferences();
    (GetParam().metric ? frmPreferences->optMetric : frmPreferences->optEnglish)->setChecked(true);
  }
  link.BeginTransfer(TTransferKind::Lengths, AllSlots());
  window.cmdRxClick();

  ASSERT_EQ(port.frames.size(), 42u);
  EXPECT_EQ(ToHex(port.frames[0]), GetParam().unitFrame);
  EXPECT_EQ(ToHex(port.frames[1]), "02 82 81 0A 01 00 00 88 82 03");  // slot 1, its value
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    const Bytes& frame = port.frames[static_cast<std::size_t>(slot)];
    EXPECT_EQ(KindAndSlot(frame), std::make_pair(int{kReadRequestCommand}, slot));
  }
  std::vector<int> pacing{500};
  pacing.insert(pacing.end(), 41, 10);
  EXPECT_EQ(sleeps, pacing);
  EXPECT_FALSE(link.Connecting());
  EXPECT_EQ(link.ReplyCount(), 0);
  EXPECT_TRUE(window.tmrComm->isActive());
  EXPECT_EQ(window.tmrComm->interval(), 1000);
  EXPECT_TRUE(messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Units, GetDataUnits, testing::ValuesIn(kUnitCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Transfers, GetDataAppliesThePanelsLengthsFirst) {
  link.BeginTransfer(TTransferKind::Lengths, AllSlots());
  Receive(LengthReply(2, 24));
  Receive(LengthReply(16, 5));
  window.ApplyDefaultLimits();
  window.cmdRxClick();
  EXPECT_EQ(window.eJobName->MaxLength(), 24);
  EXPECT_EQ(window.ePower->MaxLength(), 5);
  EXPECT_EQ(window.eModelNumber->MaxLength(), 0);  // not reported: no limit
  EXPECT_EQ(window.eCommissionDate->MaxLength(), 0);
}

TEST_F(Transfers, ApplyPanelLengthsGivesEachFieldItsSlotsLength) {
  link.BeginTransfer(TTransferKind::Lengths, AllSlots());
  for (int slot = 1; slot <= kSlotCount; ++slot) Receive(LengthReply(slot, slot % 7 == 0 ? 0 : slot + 3));
  window.ApplyDefaultLimits();
  window.ApplyPanelLengths();
  for (int slot = 1; slot <= kSlotCount; ++slot)
    EXPECT_EQ(window.SlotEdit(slot)->MaxLength(), slot % 7 == 0 ? 0 : slot + 3) << "slot " << slot;
}

// ---- replies ----

TEST_F(Transfers, RepliesAreShownAfterEachReadPass) {
  window.cmdRxClick();
  Receive(TextReply(2, "Harbour View") + TextReply(9, "500"));
  EXPECT_EQ(window.eJobName->Text(), "Harbour View");
  EXPECT_EQ(window.eTons->Text(), "500");
  EXPECT_TRUE(window.tmrComm->isActive());  // each counted reply starts it again
  EXPECT_EQ(link.ReplyCount(), 2);
  EXPECT_TRUE(messages.empty());
}

TEST_F(Transfers, TheResultMessageComesOverTheFilledWindow) {
  QString shownMeanwhile;
  SetMessageBoxHook([&](const MessageBoxCall& call) {
    messages.push_back(call);
    shownMeanwhile = window.eEvTubeNo->Text();
    return TModalResult::Ok;
  });
  window.cmdRxClick();
  Bytes all;
  for (int slot = 1; slot <= kSlotCount; ++slot) all = all + TextReply(slot, "v" + std::to_string(slot));
  Receive(all);  // one read pass after another, all in one event
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(shownMeanwhile, "v41");
}

TEST_F(Transfers, PaddedTextsShowFromTheirStart) {
  window.cmdRxClick();
  Receive(TextReply(8, "R-134a          "));
  EXPECT_EQ(window.eRefrigerant->Text(), "R-134a          ");
  EXPECT_EQ(window.eRefrigerant->cursorPosition(), 0);
}

// After Get Data the user types; frames that the transfer does not count (a check that
// fails, as noise on the line forms, a second reply for a slot already answered, a reply
// nobody asked for) change nothing, so they must not refresh the window over the typing.
struct StrayFrameCase {
  const char* name;
  Bytes frame;
};

Bytes WithSpoiltCheck(Bytes frame) {
  frame.at(frame.size() - 3) ^= 0x01;  // a low bit of the checksum; the byte keeps its top bit
  return frame;
}

const StrayFrameCase kStrayFrameCases[] = {
    {"ACheckThatFails", WithSpoiltCheck(TextReply(2, "noise"))},
    {"ASecondReplyForAnAnsweredSlot", TextReply(2, "again")},
    {"AWriteReplyNobodyAskedFor", WriteReply(3, 0)},
};

class StrayFrame : public Transfers, public testing::WithParamInterface<StrayFrameCase> {};

TEST_P(StrayFrame, LeavesWhatTheUserTypesAfterGetData) {
  window.cmdRxClick();
  Bytes all;
  for (int slot = 1; slot <= kSlotCount; ++slot) all = all + TextReply(slot, "v" + std::to_string(slot));
  Receive(all);
  ASSERT_EQ(window.eJobName->Text(), "v2");
  window.eJobName->SetText("typed by hand");
  Receive(GetParam().frame);
  EXPECT_EQ(window.eJobName->Text(), "typed by hand");
}

INSTANTIATE_TEST_SUITE_P(Frames, StrayFrame, testing::ValuesIn(kStrayFrameCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Transfers, RepliesDuringAConnectionCheckDoNotRefreshTheWindow) {
  window.eJobName->SetText("typed");
  SendLengthRequests(link);
  Receive(TextReply(2, "from the panel") + LengthReply(3, 30));
  EXPECT_STREQ(record.JobName(), "");  // a value is no answer to a length request
  EXPECT_EQ(window.eJobName->Text(), "typed");
  EXPECT_EQ(link.FieldLength(3), 30);
}

// ---- the outcomes ----

struct OutcomeCase {
  const char* name;
  bool connecting;
  std::int32_t preset;  // slots 1..preset not asked
  std::vector<Bytes> replies;
  std::vector<std::pair<QString, QString>> shown;  // text, caption
};

std::vector<Bytes> ReadReplies(int from, int to) {
  std::vector<Bytes> out;
  for (int slot = from; slot <= to; ++slot) out.push_back(TextReply(slot, "v" + std::to_string(slot)));
  return out;
}
std::vector<Bytes> LengthReplies(int from, int to) {
  std::vector<Bytes> out;
  for (int slot = from; slot <= to; ++slot) out.push_back(LengthReply(slot, 8));
  return out;
}
std::vector<Bytes> WriteReplies(int from, int to, int rejectSlot = 0, int status = 0) {
  std::vector<Bytes> out;
  for (int slot = from; slot <= to; ++slot) out.push_back(WriteReply(slot, slot == rejectSlot ? status : 0));
  return out;
}

const QString kPortError = "COM Port Error";

const OutcomeCase kOutcomeCases[] = {
    {"AllDataReceived", false, 0, ReadReplies(1, 41), {{"All Data Received Successfully", "Request Results"}}},
    {"FortyRepliesSayNothing", false, 0, ReadReplies(2, 41), {}},
    {"RepliesBeyondTheFortyFirstSayNothingMore", false, 0,
     [] {
       auto r = ReadReplies(1, 41);
       r.push_back(TextReply(3, "again"));
       return r;
     }(),
     {{"All Data Received Successfully", "Request Results"}}},
    {"ALengthQueryEndsSilently", true, 0, LengthReplies(1, 41), {}},
    {"AllDataWritten", false, 0, WriteReplies(1, 41), {{"Data Written Successfully", "Write Results"}}},
    {"BlankDateWritesFortyAndSucceeds", false, 1, WriteReplies(2, 41), {{"Data Written Successfully", "Write Results"}}},
    // The window's CommPort names a device that does not exist here, so after the reset it
    // does not open again, which is reported after the write error.
    {"WriteRejected", false, 1, WriteReplies(2, 41, 5, 132),
     {{"Sales Order Slot #5 (Varn Order Number): \n\nPanel in Local Mode", "Write Error"}, {"", kPortError}}},
    {"WriteRejectedWithAnUnknownStatus", false, 0, WriteReplies(1, 3, 1, 7),
     {{"Sales Order Slot #1 (Commissioning Date): \n\nUnknown Error Code 7", "Write Error"}, {"", kPortError}}},
    {"ACorruptReplyIsNotCounted", false, 0,
     [] {
       auto r = ReadReplies(1, 41);
       r[40][3] ^= 0x01;
       return r;
     }(),
     {}},
};

class Outcomes : public Transfers, public testing::WithParamInterface<OutcomeCase> {};

TEST_P(Outcomes, AreAnsweredAsTheUserMustSeeThem) {
  bool writes = false;
  for (const Bytes& reply : GetParam().replies) writes = writes || KindAndSlot(reply).first == kWriteReply;
  TSlotSet asked = AllSlots();
  for (int slot = 1; slot <= GetParam().preset; ++slot) asked.reset(static_cast<std::size_t>(slot));
  link.BeginTransfer(GetParam().connecting ? TTransferKind::Lengths
                     : writes              ? TTransferKind::Writes
                                           : TTransferKind::Values,
                     asked);
  window.tmrComm->start();
  Bytes all;
  for (const Bytes& reply : GetParam().replies) all.insert(all.end(), reply.begin(), reply.end());
  Receive(all);
  ASSERT_EQ(messages.size(), GetParam().shown.size());
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (!GetParam().shown[i].first.isEmpty()) {  // a refused write goes on with what was written
      EXPECT_TRUE(messages[i].text.startsWith(GetParam().shown[i].first)) << messages[i].text.toStdString();
    }
    EXPECT_EQ(messages[i].caption, GetParam().shown[i].second);
    EXPECT_EQ(messages[i].buttons, TMessageButtons::Ok);
  }
  EXPECT_FALSE(window.tmrComm->isActive());
}

INSTANTIATE_TEST_SUITE_P(Replies, Outcomes, testing::ValuesIn(kOutcomeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the time-out ----

struct TimeoutCase {
  const char* name;
  std::int32_t count;
  bool message;
};

const TimeoutCase kTimeoutCases[] = {
    {"NoReply", 0, true}, {"SomeReplies", 40, true}, {"Complete", 41, false}};

class Timeout : public Transfers, public testing::WithParamInterface<TimeoutCase> {};

TEST_P(Timeout, StopsTheTimerAndComplainsUnlessAll41Came) {
  window.tmrComm->start();
  TSlotSet asked = AllSlots();
  for (int slot = 1; slot <= GetParam().count; ++slot) asked.reset(static_cast<std::size_t>(slot));
  link.BeginTransfer(TTransferKind::Values, asked);  // the slots not asked count as answered
  window.tmrCommTimer();
  EXPECT_FALSE(window.tmrComm->isActive());
  if (GetParam().message) {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Communications Timeout Error ");
    EXPECT_EQ(messages[0].caption, "Communications Error");
  } else {
    EXPECT_TRUE(messages.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Counts, Timeout, testing::ValuesIn(kTimeoutCases),
                         [](const auto& info) { return std::string(info.param.name); });

// tmrComm measures its second precisely.  A coarse timer may fire up to 5 % early, and does
// so when it is started just after a full second of the system's clock, which it rounds its
// deadline down to: started there, the time-out must still take the whole second.
TEST_F(Transfers, TheTimeOutNeverComesEarly) {
  EXPECT_EQ(window.tmrComm->timerType(), Qt::PreciseTimer);
  const auto millisecond = [] {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int>(now.tv_nsec / 1000000);
  };
  for (const int phase : {40, 45}) {
    while (millisecond() != phase) QThread::usleep(200);
    QElapsedTimer sinceStart;
    sinceStart.start();
    window.cmdRxClick();  // sends, then starts tmrComm (the waits are recorded, not slept)
    ASSERT_TRUE(WaitUntil([&] { return !messages.empty(); }, 3000));
    EXPECT_GE(sinceStart.elapsed(), 1000) << "started " << phase << " ms after a full second";
    EXPECT_EQ(messages[0].text, "Communications Timeout Error ");
    messages.clear();
  }
}

// ---- Send Data ----

struct SendCase {
  const char* name;
  QString date;   // typed into the date field
  int first;      // first slot written
  std::int32_t preset;
};

const SendCase kSendCases[] = {
    {"DateGiven", "03 FEB 2003", 1, 0},
    {"BlankDate", "", 2, 1},
    {"DayOnly", "07", 1, 0},  // "07" and blanks: not a blank date
};

class SendData : public Transfers, public testing::WithParamInterface<SendCase> {};

TEST_P(SendData, CollectsTheWindowAndWritesEverySlotFromTheFirst) {
  LearnLengths(8);
  window.eCommissionDate->SetText(GetParam().date);
  window.eJobName->SetText("Plant 4");
  window.eTons->SetText("500");
  port.frames.clear();
  sleeps.clear();
  window.cmdTxClick();

  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Are you sure you want to overwrite the existing panel data?");
  EXPECT_EQ(messages[0].caption, "Confirmation");
  EXPECT_EQ(messages[0].buttons, TMessageButtons::YesNo);
  EXPECT_STREQ(record.JobName(), "Plant 4");  // collected

  const int writes = kSlotCount - GetParam().first + 1;
  ASSERT_EQ(port.frames.size(), static_cast<std::size_t>(1 + writes));
  EXPECT_EQ(KindAndSlot(port.frames[0]), std::make_pair(int{kUnitSystemCommand}, 0));
  for (int i = 0; i < writes; ++i)
    EXPECT_EQ(KindAndSlot(port.frames[static_cast<std::size_t>(1 + i)]),
              std::make_pair(int{kWriteRequestCommand}, GetParam().first + i));
  // Slot 9 carries "500" set in the panel's 8 characters.
  const Bytes& tons = port.frames[static_cast<std::size_t>(1 + 9 - GetParam().first)];
  EXPECT_EQ(ToHex(Bytes(tons.begin() + 3, tons.end() - 3)), "0A 09 00 00 07 08 35 30 30 20 20 20 20 20");
  std::vector<int> pacing{500};
  pacing.insert(pacing.end(), static_cast<std::size_t>(writes), 10);
  EXPECT_EQ(sleeps, pacing);
  EXPECT_EQ(link.ReplyCount(), GetParam().preset);
  EXPECT_TRUE(window.tmrComm->isActive());
}

INSTANTIATE_TEST_SUITE_P(Dates, SendData, testing::ValuesIn(kSendCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Even without the check, the question's default answer is No, and a window whose every
// field is empty says so beneath it.
struct EmptyCase {
  const char* name;
  const char* jobName;  // typed into the window
  bool warned;
};

const EmptyCase kEmptyCases[] = {{"EveryFieldEmpty", "", true}, {"OneFieldFilled", "Plant 4", false}};

class EmptyWindow : public Transfers, public testing::WithParamInterface<EmptyCase> {};

TEST_P(EmptyWindow, TheQuestionSaysSoAndNoIsItsDefault) {
  LearnLengths(8);
  port.frames.clear();
  window.eJobName->SetText(GetParam().jobName);
  answers.push_back(TModalResult::No);
  window.cmdTxClick();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Are you sure you want to overwrite the existing panel data?");
  EXPECT_TRUE(messages[0].defaultNo);
  EXPECT_EQ(messages[0].details.contains("Every field is empty"), GetParam().warned)
      << messages[0].details.toStdString();
  EXPECT_TRUE(port.frames.empty());
}

INSTANTIATE_TEST_SUITE_P(Windows, EmptyWindow, testing::ValuesIn(kEmptyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The title bar counts the replies of a transfer and is itself again once it is over.
struct ProgressCase {
  const char* name;
  bool send;
  std::vector<Bytes> replies;
  std::vector<QString> titles;  // after the command, then after each reply
};

const QString kTitle = "Quell Panel Sales Order Entry";

const ProgressCase kProgressCases[] = {
    {"GetData",
     false,
     {TextReply(1, "01 JAN 2001"), TextReply(2, "Plant"), TextReply(2, "again")},
     {kTitle + " - 0/41", kTitle + " - 1/41", kTitle + " - 2/41", kTitle + " - 2/41"}},
    {"GetDataToTheEnd", false, ReadReplies(1, 41), {kTitle + " - 0/41", kTitle}},
    {"SendDataWithABlankDate", true, {WriteReply(2, 0)}, {kTitle + " - 1/41", kTitle + " - 2/41"}},
    {"SendDataRefused", true, {WriteReply(2, 0), WriteReply(3, 132)}, {kTitle + " - 1/41", kTitle + " - 2/41", kTitle}},
};

class Progress : public Transfers, public testing::WithParamInterface<ProgressCase> {};

TEST_P(Progress, ShowsInTheTitleBar) {
  LearnLengths(8);
  window.eJobName->SetText("Plant");
  ASSERT_EQ(window.windowTitle(), kTitle);
  if (GetParam().send) window.cmdTxClick();
  else window.cmdRxClick();
  std::vector<QString> titles{window.windowTitle()};
  const std::vector<Bytes>& replies = GetParam().replies;
  if (replies.size() == 41) {
    Bytes all;
    for (const Bytes& reply : replies) all.insert(all.end(), reply.begin(), reply.end());
    Receive(all);
    titles.push_back(window.windowTitle());
  } else {
    for (const Bytes& reply : replies) {
      Receive(reply);
      titles.push_back(window.windowTitle());
    }
  }
  EXPECT_EQ(titles, GetParam().titles);
}

INSTANTIATE_TEST_SUITE_P(Transfers, Progress, testing::ValuesIn(kProgressCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Tools > Check Panel Before and After Sending is kept in the settings file at once.
TEST_F(Transfers, TheCheckItemIsKeptInTheSettings) {
  UnitDataRecord other{};
  TPanelLink fresh{other};
  TfrmMain first{other, fresh};
  ASSERT_TRUE(first.mnuCheckPanel->isCheckable());
  const bool was = first.mnuCheckPanel->isChecked();
  first.mnuCheckPanel->trigger();
  EXPECT_EQ(SettingsValue("Preferences", "CheckPanel"), was ? "0" : "1");
  {
    TfrmMain second{other, fresh};
    EXPECT_EQ(second.mnuCheckPanel->isChecked(), !was);
  }
  first.mnuCheckPanel->trigger();
  EXPECT_EQ(SettingsValue("Preferences", "CheckPanel"), was ? "1" : "0");
}

TEST_F(Transfers, SendDataAnsweredNoSendsNothingAndKeepsTheRecord) {
  LearnLengths(8);
  record.SetJobName("kept");
  window.eJobName->SetText("typed");
  port.frames.clear();
  answers.push_back(TModalResult::No);
  window.cmdTxClick();
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_TRUE(port.frames.empty());
  EXPECT_STREQ(record.JobName(), "kept");
  EXPECT_FALSE(window.tmrComm->isActive());
  EXPECT_TRUE(sleeps.empty());
}

TEST_F(Transfers, ATextThatCannotBeFramedIsNotSentAndTheUserIsTold) {
  // 255 characters of the model number's field, most of them bytes that must be escaped.
  LearnLengths(16);
  TSlotSet model;
  model.set(4);
  link.BeginTransfer(TTransferKind::Lengths, model);
  Receive(LengthReply(4, 255));
  window.eModelNumber->SetText(QString(69, QChar(0x10)));
  port.frames.clear();
  window.cmdTxClick();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].caption, "Write Error");
  EXPECT_TRUE(messages[1].text.startsWith("Sales Order Slot #4 (Model Number) was not sent")) << messages[1].text.toStdString();
  EXPECT_EQ(port.frames.size(), 40u);  // the unit command and the writes of slots 2..41 but 4
  for (const Bytes& frame : port.frames) EXPECT_NE(KindAndSlot(frame).second, 4);
}

// ---- the default-length warning ----

TEST_F(Transfers, TheWarningDialogHasItsPartsAndTexts) {
  TfrmDefaultLengthWarning* dialog = MakeWarning();
  EXPECT_EQ(dialog->objectName(), "frmDefaultLengthWarning");
  EXPECT_EQ(dialog->windowTitle(), "Default Length Warning");
  EXPECT_EQ(dialog->size(), QSize(355, 200));
  EXPECT_EQ(dialog->Wallpaper1->geometry(), QRect(0, 0, 355, 200));
  EXPECT_EQ(dialog->Wallpaper1->Align(), TWallpaper::TAlign::Top);
  EXPECT_FALSE(dialog->Wallpaper1->Wallpaper().isNull());
  EXPECT_EQ(dialog->lblDefLen->text(), "WARNING: DEFAULT LENGTHS ARE IN USE !");
  EXPECT_EQ(dialog->lblDefLen->pos(), QPoint(64, 40));
  EXPECT_EQ(dialog->lblDefLen->palette().color(QPalette::WindowText), QColor(Qt::red));
  EXPECT_TRUE(dialog->lblDefLen->testAttribute(Qt::WA_TranslucentBackground));
  EXPECT_EQ(dialog->Label1->text(), "Do you want to try to connect to chiller panel ?");
  EXPECT_EQ(dialog->Label1->pos(), QPoint(72, 104));
  struct ButtonCase {
    QToolButton* button;
    const char* text;
    const char* hint;
    QRect geometry;
  };
  for (const ButtonCase& b : {ButtonCase{dialog->SpeedButton1, "Yes", "Connect to Panel", QRect(96, 136, 69, 25)},
                              ButtonCase{dialog->SpeedButton2, "No", "Cancel Operation", QRect(184, 136, 69, 25)}}) {
    EXPECT_EQ(b.button->text(), b.text);
    EXPECT_EQ(b.button->toolTip(), b.hint);
    EXPECT_EQ(b.button->geometry(), b.geometry);
    EXPECT_TRUE(b.button->autoRaise());
    EXPECT_FALSE(b.button->icon().isNull());
    EXPECT_EQ(b.button->cursor().shape(), Qt::PointingHandCursor);
  }
}

TEST_F(Transfers, SendDataWarnsAndAppliesTheDefaultsWhileTheLengthsAreUnknown) {
  WarningAnswers warning(MakeWarning());
  window.ApplyPanelLengths();
  window.cmdTxClick();
  EXPECT_EQ(warning.shown, 1);
  EXPECT_EQ(window.eJobName->MaxLength(), 32);  // the defaults
  EXPECT_EQ(window.eModelNumber->MaxLength(), 256);
  ASSERT_EQ(messages.size(), 1u);  // then the confirmation
  EXPECT_EQ(messages[0].caption, "Confirmation");
  // With no length reported, a text goes out as type 7 and length 0.
  const Bytes& jobName = port.frames.at(1);
  EXPECT_EQ(ToHex(Bytes(jobName.begin() + 3, jobName.end() - 3)), "0A 10 82 00 00 07 00");
}

TEST_F(Transfers, YesAtSendDataRunsTheCheckBeforeTheQuestion) {
  WarningAnswers warning(MakeWarning());
  warning.answers = {WarningAnswers::Yes};
  window.cmdTxClick();
  EXPECT_EQ(warning.shown, 1);
  // 41 length requests, then the unit command and 40 writes (the date is blank).
  ASSERT_EQ(port.frames.size(), 41u + 1u + 40u);
  for (int i = 0; i < 41; ++i) EXPECT_EQ(KindAndSlot(port.frames[static_cast<std::size_t>(i)]).first, kReadRequestCommand);
  EXPECT_EQ(window.eJobName->MaxLength(), 32);  // the lengths are still unknown: defaults
}

TEST_F(Transfers, NoWarningOnceAll41LengthsAreKnown) {
  WarningAnswers warning(MakeWarning());
  LearnLengths(12);
  window.cmdTxClick();
  window.mnuEditData->trigger();
  EXPECT_EQ(warning.shown, 0);
  EXPECT_EQ(window.eJobName->MaxLength(), 12);  // Edit Data applied the panel's lengths
}

TEST_F(Transfers, EditDataWarnsOnEveryToggleWhileTheLengthsAreUnknown) {
  WarningAnswers warning(MakeWarning());
  window.mnuEditData->trigger();
  window.mnuEditData->trigger();
  EXPECT_EQ(warning.shown, 2);
  link.BeginTransfer(TTransferKind::Lengths, AllSlots());
  for (int slot = 1; slot <= 40; ++slot) Receive(LengthReply(slot, 9));  // 40 of 41
  window.mnuEditData->trigger();
  EXPECT_EQ(warning.shown, 3);
  EXPECT_EQ(window.eJobName->MaxLength(), 9);
  EXPECT_EQ(window.eEvTubeNo->MaxLength(), 0);
  EXPECT_FALSE(window.eJobName->ReadOnly());
}

// ---- the busy cursor ----
//
// The busy cursor shows while a transfer paces out its frames (the window cannot respond
// meanwhile), never over a message box, and is gone afterwards on every path, an exception
// from inside the transfer included.

enum class BusyUse { GetData, SendData, LengthQuery, FirstShow };

struct BusyCase {
  const char* name;
  BusyUse use;
  int busyWaits;  // the pacing waits, all under the busy cursor
  int waits;      // every wait
};

const BusyCase kBusyCases[] = {
    {"GetData", BusyUse::GetData, 42, 42},
    // Yes at the warning: the length query, then the unit command and 40 writes (blank date).
    {"SendData", BusyUse::SendData, 82, 82},
    {"TheLengthQueryAtTheWarning", BusyUse::LengthQuery, 41, 41},
    {"TheLengthQueryAtFirstShow", BusyUse::FirstShow, 41, 42},  // then 100 ms, not busy
};

void PrintTo(const BusyCase& c, std::ostream* os) { *os << c.name; }

class BusyCursor : public Transfers, public testing::WithParamInterface<BusyCase> {
 protected:
  static int Shape() { return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1; }
  void Use() {
    switch (GetParam().use) {
      case BusyUse::GetData: window.cmdRx->click(); break;
      case BusyUse::SendData: window.cmdTx->click(); break;
      case BusyUse::LengthQuery: window.mnuEditData->trigger(); break;
      case BusyUse::FirstShow: window.show(); break;
    }
  }
};

TEST_P(BusyCursor, ShowsWhileTheFramesArePacedOut) {
  WarningAnswers warning(MakeWarning());
  warning.answers = {WarningAnswers::Yes};
  std::vector<int> shapes;
  SetSleepHook([&](int) { shapes.push_back(Shape()); });
  SetMessageBoxHook([&](const MessageBoxCall& call) {
    messages.push_back(call);
    EXPECT_EQ(Shape(), -1) << "busy over \"" << call.text.toStdString() << "\"";
    return call.buttons == TMessageButtons::YesNo ? TModalResult::Yes : TModalResult::Ok;
  });
  Use();
  ASSERT_EQ(shapes.size(), static_cast<std::size_t>(GetParam().waits));
  EXPECT_EQ(std::count(shapes.begin(), shapes.end(), int{Qt::WaitCursor}), GetParam().busyWaits);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  window.close();
}

TEST_P(BusyCursor, GoesAwayWhenTheTransferFails) {
  WarningAnswers warning(MakeWarning());
  warning.answers = {WarningAnswers::Yes};
  int waits = 0;
  SetSleepHook([&](int) {
    if (++waits == 5) throw std::runtime_error("the line failed");
  });
  // A failed query leaves the warning on the screen; the user then answers No.
  SetMessageBoxHook([&](const MessageBoxCall& call) {
    messages.push_back(call);
    if (frmDefaultLengthWarning->isVisible())
      QTimer::singleShot(0, frmDefaultLengthWarning->SpeedButton2, &QToolButton::click);
    return TModalResult::Ok;
  });
  if (GetParam().use == BusyUse::FirstShow) {
    window.show();  // the first show's steps run guarded, as every handler does
  } else {
    Use();
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                          [](const MessageBoxCall& call) { return call.text == "the line failed"; }));
  window.close();
}

INSTANTIATE_TEST_SUITE_P(Transfers, BusyCursor, testing::ValuesIn(kBusyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the first show ----

TEST_F(Transfers, FirstShowAsksForTheLengthsAndLeavesEveryFieldUnlimited) {
  window.show();
  std::vector<int> pacing(41, 20);
  pacing.push_back(100);
  EXPECT_EQ(sleeps, pacing);
  EXPECT_TRUE(link.Connecting());
  ASSERT_EQ(port.frames.size(), 41u);
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    const Bytes& frame = port.frames[static_cast<std::size_t>(slot - 1)];
    EXPECT_EQ(KindAndSlot(frame), std::make_pair(int{kReadRequestCommand}, slot));
    EXPECT_EQ(window.SlotEdit(slot)->MaxLength(), 0) << "slot " << slot;
  }
  window.close();
}

}  // namespace
