// The transfers end to end: the real main window, its real serial port on a pseudo-terminal,
// and quellso-panel-sim answering on the other side.  Replies are read as in the program:
// the port's event thread hands each character-received event to the window while the test
// runs the event loop.  Message boxes are recorded and answered by the fixture; the default-
// length warning is answered through its own buttons.

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <memory>
#include <optional>

#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "files/profile.h"
#include "panel/comm.h"
#include "panel/panellink.h"
#include "tests/app/warninganswers.h"
#include "tests/panel/ptypair.h"
#include "tests/panel/simprocess.h"
#include "tests/support/guitest.h"
#include "tools/panelsim/panelsim.h"
#include "ui/edits.h"

namespace {

// Generous: the machine is shared, and a sanitized build is slow.
constexpr int kReplyDeadlineMs = 30000;

std::string Padded(const std::string& text, std::size_t width) {
  std::string out = text.substr(0, width);
  out.resize(width, ' ');
  return out;
}

// The lengths the simulator reports by default.
int SimLength(int slot) { return DefaultSimLengths()[static_cast<std::size_t>(slot)]; }

class PanelWindow : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_TRUE(dir.isValid());
    saved_settings_ = qgetenv("QUELLSO_SETTINGS");
    saved_com1_ = qgetenv("QUELLSO_COM1");
    qputenv("QUELLSO_SETTINGS", dir.filePath("quellso.ini").toLocal8Bit());
    frmDefaultLengthWarning = new TfrmDefaultLengthWarning(link);
    warning = std::make_unique<WarningAnswers>(frmDefaultLengthWarning);
  }
  void TearDown() override {
    if (window) window->close();
    window.reset();
    warning.reset();
    delete frmDefaultLengthWarning;
    frmDefaultLengthWarning = nullptr;
    sim.reset();
    qputenv("QUELLSO_SETTINGS", saved_settings_);
    qputenv("QUELLSO_COM1", saved_com1_);
    GuiTest::TearDown();
  }

  // Starts the simulator; with mapCom1, COM1 (the window's port until preferences say
  // otherwise) names its pseudo-terminal.
  void StartPanel(const std::vector<std::string>& args, bool mapCom1 = true) {
    sim.emplace(args);
    ASSERT_GT(sim->pid(), 0);
    const std::optional<std::string> path = sim->ReadLine();
    ASSERT_TRUE(path) << "the simulator named no device";
    device = QString::fromStdString(*path);
    if (mapCom1) qputenv("QUELLSO_COM1", device.toLocal8Bit());
  }
  // The first show: the port opens and the panel is asked for its lengths.
  void ShowWindow() {
    window = std::make_unique<TfrmMain>(record, link);
    window->mnuCheckPanel->setChecked(checkPanel);
    window->show();
  }
  void WaitForLengths() {
    ASSERT_TRUE(WaitUntil([&] { return link.LengthsKnown(); }, kReplyDeadlineMs)) << "lengths: " << link.ReplyCount();
  }
  int Count(const QString& text) const {
    int n = 0;
    for (const MessageBoxCall& call : messages) n += call.text == text;
    return n;
  }
  bool WaitForMessage(const QString& text) {
    return WaitUntil([&] { return Count(text) > 0; }, kReplyDeadlineMs);
  }
  // Runs the event loop a while longer, so that a reply or a message that should not come
  // would have come.
  void Settle(int ms = 500) {
    QElapsedTimer timer;
    timer.start();
    WaitUntil([&] { return timer.elapsed() >= ms; }, ms + 1000);
  }
  std::vector<std::string> LogLines(int count) {
    std::vector<std::string> lines = sim->ReadLines(count);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(count));
    return lines;
  }

  Watchdog watchdog{std::chrono::seconds(180)};
  QTemporaryDir dir;
  UnitDataRecord record{};
  TPanelLink link{record};
  std::optional<SimProcess> sim;
  QString device;
  std::unique_ptr<TfrmMain> window;
  std::unique_ptr<WarningAnswers> warning;
  // Tools > Check Panel Before and After Sending; off, Send Data writes alone.
  bool checkPanel = false;

 private:
  QByteArray saved_settings_;
  QByteArray saved_com1_;
};

TEST_F(PanelWindow, TheStartUpQueryFillsTheLengthTableWithoutRefreshingTheWindow) {
  StartPanel({});
  ShowWindow();
  ASSERT_TRUE(window->CommPort->Enabled());
  window->eJobName->SetText("typed meanwhile");
  WaitForLengths();
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    EXPECT_EQ(link.FieldLength(slot), SimLength(slot)) << "slot " << slot;
    EXPECT_EQ(window->SlotEdit(slot)->MaxLength(), 0) << "slot " << slot;  // applied before any reply
  }
  EXPECT_EQ(window->eJobName->Text(), "typed meanwhile");
  EXPECT_TRUE(messages.empty());
}

TEST_F(PanelWindow, GetDataFillsThe41FieldsAndSaysSoOnce) {
  StartPanel({});
  ShowWindow();
  WaitForLengths();
  realSleeps = true;  // paced as for a real panel
  window->cmdRx->click();
  ASSERT_TRUE(WaitForMessage("All Data Received Successfully"));
  Settle();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Request Results");
  const TPanelSimulator samples{TSimOptions{}};
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    EXPECT_EQ(window->SlotEdit(slot)->Text().toStdString(), samples.Value(slot)) << "slot " << slot;
    EXPECT_EQ(window->SlotEdit(slot)->MaxLength(), SimLength(slot)) << "slot " << slot;
  }
  EXPECT_FALSE(window->tmrComm->isActive());
}

struct SendCase {
  const char* name;
  QString date;
  const char* dateLine;  // the simulator's log line for slot 1, or nullptr
  const char* storedDate;
};

const SendCase kSendCases[] = {
    {"BlankDateWritesSlots2To41", "", nullptr, "07 DEC 1999"},
    {"DatedWritesAll41", "03 FEB 2003", "write slot 1 date 03 FEB 2003 -> accepted", "03 FEB 2003"},
};

class SendDataToPanel : public PanelWindow, public testing::WithParamInterface<SendCase> {};

TEST_P(SendDataToPanel, WritesWhatTheWindowShows) {
  const QString state = dir.filePath("panel.dat");
  StartPanel({"--log", "--state", state.toStdString()});
  ShowWindow();
  LogLines(41);  // the length query
  WaitForLengths();
  window->eCommissionDate->SetText(GetParam().date);
  for (int slot = 2; slot <= kSlotCount; ++slot) window->SlotEdit(slot)->SetText(QString("W%1").arg(slot));
  window->cmdTx->click();
  ASSERT_TRUE(WaitForMessage("Data Written Successfully"));
  Settle();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "Are you sure you want to overwrite the existing panel data?");
  EXPECT_EQ(messages[1].caption, "Write Results");

  const bool dated = GetParam().dateLine != nullptr;
  const std::vector<std::string> lines = LogLines(dated ? 42 : 41);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "unit-system English -> acknowledged");
  std::size_t next = 1;
  if (dated) {
    EXPECT_EQ(lines.at(next++), GetParam().dateLine);
  }
  for (int slot = 2; slot <= kSlotCount && next < lines.size(); ++slot, ++next) {
    EXPECT_EQ(lines[next], "write slot " + std::to_string(slot) + " \"" +
                               Padded("W" + std::to_string(slot), static_cast<std::size_t>(SimLength(slot))) +
                               "\" -> accepted");
  }

  // The simulator has saved what it was sent.
  ProfileDocument saved;
  ASSERT_TRUE(LoadProfile(state.toStdString(), saved));
  EXPECT_EQ(saved.Find("Job Information", "Job Name"), "W2");
  EXPECT_EQ(saved.Find("Design Load Conditions", "Tons"), "W9");
  EXPECT_EQ(saved.Find("Panel Simulator", "Commissioning Date"), GetParam().storedDate);
  EXPECT_EQ(saved.Find("Panel Simulator", "Panel Serial Number"), Padded(std::string("W6"), 16));
}

INSTANTIATE_TEST_SUITE_P(Dates, SendDataToPanel, testing::ValuesIn(kSendCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PanelWindow, AnEditedFieldComesBackFromThePanel) {
  StartPanel({});
  ShowWindow();
  WaitForLengths();
  window->cmdRxClick();
  ASSERT_TRUE(WaitForMessage("All Data Received Successfully"));
  window->mnuEditData->trigger();
  ASSERT_FALSE(window->eJobLocation->ReadOnly());
  window->eJobLocation->SetText("Southampton Docks");
  window->cmdTxClick();
  ASSERT_TRUE(WaitForMessage("Data Written Successfully"));
  window->mnuClearScreenClick();
  EXPECT_EQ(window->eJobLocation->Text(), "");
  window->cmdRxClick();
  ASSERT_TRUE(WaitUntil([&] { return Count("All Data Received Successfully") == 2; }, kReplyDeadlineMs));
  // Sent padded to the panel's 30 characters; the record keeps 29.
  EXPECT_EQ(window->eJobLocation->Text().toStdString(), Padded("Southampton Docks", 29));
  EXPECT_EQ(window->eJobName->Text().toStdString(), Padded("Harbour View Offices", 29));
  EXPECT_EQ(window->eCommissionDate->Text(), "07 DEC 1999");
}

TEST_F(PanelWindow, ARejectedSlotResetsThePortAndNamesTheSlot) {
  StartPanel({"--reject", "5:132"});
  ShowWindow();
  WaitForLengths();
  const int threadBefore = window->CommPort->EventThread()->ThreadId();
  window->cmdTxClick();
  const QString text = "Sales Order Slot #5 (Varn Order Number): \n\nPanel in Local Mode";
  ASSERT_TRUE(WaitUntil([&] { return messages.size() >= 2 && messages[1].text.startsWith(text); }, kReplyDeadlineMs));
  Settle();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].caption, "Write Error");
  EXPECT_LT(link.ReplyCount(), 41);
  ASSERT_TRUE(window->CommPort->Enabled());
  ASSERT_NE(window->CommPort->EventThread(), nullptr);
  EXPECT_NE(window->CommPort->EventThread()->ThreadId(), threadBefore);  // closed and opened anew
  // The port works after the reset.
  window->cmdRxClick();
  ASSERT_TRUE(WaitForMessage("All Data Received Successfully"));
}

TEST_F(PanelWindow, NoAnswerGivesTheTimeOutASecondAfterTheLastFrame) {
  StartPanel({"--silent"});
  ShowWindow();
  window->cmdRxClick();
  QElapsedTimer sinceLastFrame;
  sinceLastFrame.start();
  ASSERT_TRUE(WaitForMessage("Communications Timeout Error "));
  EXPECT_GE(sinceLastFrame.elapsed(), 1000);  // a precise timer: never early
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Communications Error");
  EXPECT_FALSE(window->tmrComm->isActive());
}

struct WarningCase {
  const char* name;
  std::vector<std::string> args;
  int lengthReplies;  // length replies the panel gives
  int warnings;       // at one Edit Data and one Send Data
};

const WarningCase kWarningCases[] = {
    {"NoPanel", {"--silent"}, 0, 2},
    {"FortyOfFortyOne", {"--answer-first", "40"}, 40, 2},
    {"AllFortyOne", {}, 41, 0},
};

class WarningUntilLengthsKnown : public PanelWindow, public testing::WithParamInterface<WarningCase> {};

TEST_P(WarningUntilLengthsKnown, AtEditDataAndSendData) {
  StartPanel(GetParam().args);
  ShowWindow();
  ASSERT_TRUE(WaitUntil([&] { return link.ReplyCount() == GetParam().lengthReplies; }, kReplyDeadlineMs));
  Settle(200);
  window->mnuEditData->trigger();
  answers.push_back(TModalResult::No);
  window->cmdTxClick();
  EXPECT_EQ(warning->shown, GetParam().warnings);
  EXPECT_EQ(link.LengthsKnown(), GetParam().warnings == 0);
  // Answered No, Send Data goes on with the default limits while the lengths are unknown.
  EXPECT_EQ(window->eJobName->MaxLength(), GetParam().warnings ? 32 : SimLength(2));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Confirmation");
}

INSTANTIATE_TEST_SUITE_P(Panels, WarningUntilLengthsKnown, testing::ValuesIn(kWarningCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PanelWindow, YesAtTheWarningAsksThePanelAndTheWriteUsesItsLengths) {
  // The port opens only after the first show (as after Preferences, Ok), so the start-up
  // query went nowhere.
  StartPanel({"--log"}, false);
  ShowWindow();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "COM Port Error");
  window->CommPort->SetDeviceName(device);
  window->CommPort->Open();
  ASSERT_TRUE(window->CommPort->Enabled());
  ASSERT_FALSE(link.LengthsKnown());

  // The replies to the check are read while the question is on the screen.
  SetMessageBoxHook([this](const MessageBoxCall& call) {
    messages.push_back(call);
    if (call.buttons == TMessageButtons::YesNo) WaitUntil([&] { return link.LengthsKnown(); }, kReplyDeadlineMs);
    return call.buttons == TMessageButtons::YesNo ? TModalResult::Yes : TModalResult::Ok;
  });
  warning->answers = {WarningAnswers::Yes};
  window->eJobName->SetText("Plant 4");
  window->cmdTxClick();
  EXPECT_EQ(warning->shown, 1);
  EXPECT_TRUE(link.LengthsKnown());
  ASSERT_TRUE(WaitForMessage("Data Written Successfully"));
  const std::vector<std::string> lines = LogLines(41 + 1 + 40);
  ASSERT_EQ(lines.size(), 82u);
  EXPECT_EQ(lines[0], "read slot 1 length -> 11");
  EXPECT_EQ(lines[41], "unit-system English -> acknowledged");
  EXPECT_EQ(lines[42], "write slot 2 \"" + Padded("Plant 4", 30) + "\" -> accepted");
}

TEST_F(PanelWindow, SendDataAnsweredNoSendsNothing) {
  StartPanel({"--log"});
  ShowWindow();
  LogLines(41);
  WaitForLengths();
  answers.push_back(TModalResult::No);
  window->cmdTxClick();
  Settle();
  ASSERT_EQ(messages.size(), 1u);
  // The next request the panel hears is the Get Data below: nothing was sent in between.
  window->cmdRxClick();
  const std::vector<std::string> lines = LogLines(2);
  EXPECT_EQ(lines, (std::vector<std::string>{"unit-system English -> acknowledged",
                                             "read slot 1 value -> \"07 DEC 1999\""}));
  ASSERT_TRUE(WaitForMessage("All Data Received Successfully"));
}

// ---- a noisy line ----
//
// A panel whose line carries stray bytes: CRs after its replies, noise between them, a glitch
// that begins a frame, junk or a flood while the line is idle.  Every reply that is not itself
// spoilt must be read, through the real port's events and the window's handler alone: no
// later traffic may be needed to push the bytes along.

struct NoisyCase {
  const char* name;
  std::vector<std::string> args;
  const char* idle;  // the start of the simulator's log line that says the idle line got its bytes
  int lostSlot;      // a slot whose reply may be lost (the one after a stray STX); 0: none
};

const NoisyCase kNoisyCases[] = {
    {"NoiseOnTheIdleLineBeforeGetData", {"--idle-noise", "40"}, "idle noise: 40 bytes", 0},
    {"ACrAfterEveryReply", {"--trailer", "cr"}, nullptr, 0},
    {"ACrLfAfterEveryReply", {"--trailer", "crlf"}, nullptr, 0},
    {"ACrAfterEveryReplyAtTheLinesSpeed", {"--trailer", "cr", "--paced"}, nullptr, 0},
    {"ACrLfAfterEveryReplyAtTheLinesSpeed", {"--trailer", "crlf", "--paced"}, nullptr, 0},
    {"NoiseWithoutStxBetweenReplies", {"--noise", "7"}, nullptr, 0},
    // The 50th reply: 41 length replies, the acknowledgement, then slots 1 to 8.
    {"NoiseWithAStrayStx", {"--noise", "3", "--stray-stx", "50"}, nullptr, 8},
    {"AFloodOfRandomBytesThenGetData", {"--flood", "1500"}, "flood: ", 0},
};

void PrintTo(const NoisyCase& c, std::ostream* os) { *os << c.name; }

class NoisyLine : public PanelWindow, public testing::WithParamInterface<NoisyCase> {};

TEST_P(NoisyLine, EveryReplyIsReadThroughTheRealPort) {
  std::vector<std::string> args = GetParam().args;
  args.push_back("--log");
  StartPanel(args);
  ShowWindow();
  WaitForLengths();  // the start-up query crosses the same line
  LogLines(41);
  if (GetParam().idle) {
    std::optional<std::string> line;
    do line = sim->ReadLine();
    while (line && line->rfind(GetParam().idle, 0) != 0);
    ASSERT_TRUE(line) << "the simulator sent nothing on the idle line";
    // Nothing else comes; once the bytes have reached the port, every one is read all the
    // same.
    Settle(200);
    ASSERT_TRUE(WaitUntil([&] { return window->CommPort->InQueCount() == 0; }, kReplyDeadlineMs))
        << window->CommPort->InQueCount() << " bytes left unread";
  }
  realSleeps = true;  // paced as for a real panel
  window->cmdRx->click();
  const TPanelSimulator samples{TSimOptions{}};
  if (GetParam().lostSlot == 0) {
    ASSERT_TRUE(WaitForMessage("All Data Received Successfully")) << "replies: " << link.ReplyCount();
  } else {
    ASSERT_TRUE(WaitUntil([&] { return link.ReplyCount() >= kSlotCount - 1; }, kReplyDeadlineMs))
        << "replies: " << link.ReplyCount();
  }
  Settle();
  EXPECT_TRUE(WaitUntil([&] { return window->CommPort->InQueCount() == 0; }, kReplyDeadlineMs))
      << window->CommPort->InQueCount() << " bytes left unread";
  EXPECT_EQ(Count("Communications Timeout Error "), 0);
  EXPECT_LE(messages.size(), 1u);
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    if (slot == GetParam().lostSlot) continue;
    EXPECT_EQ(window->SlotEdit(slot)->Text().toStdString(), samples.Value(slot)) << "slot " << slot;
  }
}

INSTANTIATE_TEST_SUITE_P(Panels, NoisyLine, testing::ValuesIn(kNoisyCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Noise that brings no reply changes nothing in the record, so it does not refresh the
// window either: what the user is typing stays.
TEST_F(PanelWindow, NoiseOnTheIdleLineLeavesWhatTheUserTypes) {
  StartPanel({"--log", "--idle-noise", "20"});
  ShowWindow();
  WaitForLengths();
  LogLines(41);
  ASSERT_EQ(sim->ReadLine(), "idle noise: 20 bytes");
  window->cmdRxClick();
  ASSERT_TRUE(WaitForMessage("All Data Received Successfully"));
  window->mnuEditData->trigger();
  window->eJobName->SetText("typed by hand");
  LogLines(42);  // Get Data's requests
  ASSERT_EQ(sim->ReadLine(), "idle noise: 20 bytes");
  Settle(200);
  ASSERT_TRUE(WaitUntil([&] { return window->CommPort->InQueCount() == 0; }, kReplyDeadlineMs));
  EXPECT_EQ(window->eJobName->Text().toStdString(), "typed by hand");
  EXPECT_EQ(messages.size(), 1u);
}

// ---- an adapter unplugged and plugged back in ----
//
// COM1 names a link, as a /dev/serial/by-id/ name does an adapter: the link goes when the
// adapter is unplugged (the simulator ends, which hangs up the line, as pulling a USB
// adapter does) and comes back, to a new device, when it is plugged in again.

enum class PanelUse { GetData, SendData, LengthQuery };

struct UnplugCase {
  const char* name;
  PanelUse use;
  bool pluggedBack;  // before the use
};

const UnplugCase kUnplugCases[] = {
    {"GetDataOpensTheAdapterPluggedBackIn", PanelUse::GetData, true},
    {"SendDataOpensTheAdapterPluggedBackIn", PanelUse::SendData, true},
    {"TheLengthQueryOpensTheAdapterPluggedBackIn", PanelUse::LengthQuery, true},
    {"GetDataSaysTheAdapterIsMissing", PanelUse::GetData, false},
    {"SendDataSaysTheAdapterIsMissing", PanelUse::SendData, false},
    {"TheLengthQuerySaysTheAdapterIsMissing", PanelUse::LengthQuery, false},
};

void PrintTo(const UnplugCase& c, std::ostream* os) { *os << c.name; }

class Unplugged : public PanelWindow, public testing::WithParamInterface<UnplugCase> {
 protected:
  void PlugIn(const std::vector<std::string>& args) {
    StartPanel(args, false);
    QFile::remove(link_);
    ASSERT_TRUE(QFile::link(device, link_));
  }
  void Unplug() {
    sim.reset();
    QFile::remove(link_);
  }
  // Get Data, Send Data (warning answered No, confirmation Yes), or Edit Data with Yes at
  // the warning.
  void UseThePanel() {
    switch (GetParam().use) {
      case PanelUse::GetData: window->cmdRx->click(); break;
      case PanelUse::SendData: window->cmdTx->click(); break;
      case PanelUse::LengthQuery:
        warning->answers.push_back(WarningAnswers::Yes);
        window->mnuEditData->trigger();
        break;
    }
  }
  void ExpectItWorked() {
    switch (GetParam().use) {
      case PanelUse::GetData: EXPECT_TRUE(WaitForMessage("All Data Received Successfully")); break;
      case PanelUse::SendData: EXPECT_TRUE(WaitForMessage("Data Written Successfully")); break;
      case PanelUse::LengthQuery:
        EXPECT_TRUE(WaitUntil([&] { return link.LengthsKnown(); }, kReplyDeadlineMs));
        break;
    }
    EXPECT_EQ(PortErrors(), 0);
  }
  int PortErrors() const {
    int n = 0;
    for (const MessageBoxCall& call : messages) n += call.caption == "COM Port Error";
    return n;
  }

  const QString link_ = dir.filePath("ttyPanel");
};

TEST_P(Unplugged, TheNextUseOpensTheSameDeviceAgain) {
  qputenv("QUELLSO_COM1", link_.toLocal8Bit());
  PlugIn({"--answer-first", "40"});  // 40 of the 41 lengths: the warning still comes
  ShowWindow();
  ASSERT_TRUE(window->CommPort->Enabled());
  ASSERT_TRUE(WaitUntil([&] { return link.ReplyCount() == 40; }, kReplyDeadlineMs));
  Unplug();
  ASSERT_TRUE(WaitUntil([&] { return window->CommPort->DeviceLost(); }, kReplyDeadlineMs));
  realSleeps = true;

  if (!GetParam().pluggedBack) {
    UseThePanel();
    Settle(1300);  // a time-out would have come by now
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "COM Port Error");
    const QStringList lines = messages[0].text.split('\n');
    ASSERT_EQ(lines.size(), 3) << messages[0].text.toStdString();
    EXPECT_EQ(lines[0], "Could not open COM1.");
    EXPECT_TRUE(lines[2].contains("does not exist")) << lines[2].toStdString();
    EXPECT_FALSE(window->CommPort->Enabled());  // nothing was sent anywhere
    EXPECT_FALSE(link.LengthsKnown());
    messages.clear();
  }
  // Plugged (back) in: the next use works at once, without a visit to Preferences.
  PlugIn({});
  UseThePanel();
  ExpectItWorked();
  EXPECT_TRUE(window->CommPort->Enabled());
  EXPECT_FALSE(window->CommPort->DeviceLost());
  EXPECT_EQ(window->CommPort->DeviceName(), "COM1");
}

INSTANTIATE_TEST_SUITE_P(Adapters, Unplugged, testing::ValuesIn(kUnplugCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
