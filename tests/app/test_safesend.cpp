// Send Data and Get Data that account for every slot, end to end: the real main window, its
// real serial port on a pseudo-terminal, and quellso-panel-sim answering (or failing to) on
// the other side.  A transfer that stops partway says how far it got and offers the rest; a
// refused write names what the panel had already taken; with the check on, Send Data reads
// the panel first, shows what will change, and reads it back; each transfer is recorded in
// the panel history.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

#include "app/defaultlengthwarning.h"
#include "app/mainwindow.h"
#include "files/transferhistory.h"
#include "panel/comm.h"
#include "panel/panellink.h"
#include "tests/app/warninganswers.h"
#include "tests/panel/ptypair.h"
#include "tests/panel/simprocess.h"
#include "tests/support/guitest.h"
#include "tools/panelsim/panelsim.h"
#include "ui/edits.h"

namespace {

constexpr int kReplyDeadlineMs = 30000;

QString Field(int slot) { return QString::fromLatin1(SlotDescription(slot)); }

class SafeSend : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_TRUE(dir.isValid());
    saved_com1_ = qgetenv("QUELLSO_COM1");
    saved_state_ = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", dir.filePath("state").toLocal8Bit());
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
    qputenv("QUELLSO_COM1", saved_com1_);
    qputenv("XDG_STATE_HOME", saved_state_);
    GuiTest::TearDown();
  }

  void StartPanel(std::vector<std::string> args) {
    args.push_back("--log");
    sim.emplace(args);
    ASSERT_GT(sim->pid(), 0);
    const std::optional<std::string> path = sim->ReadLine();
    ASSERT_TRUE(path) << "the simulator named no device";
    qputenv("QUELLSO_COM1", QByteArray::fromStdString(*path));
  }
  // The first show, with Tools > Check Panel Before and After Sending as `check`; the start-up
  // length query is answered in full.
  void ShowWindow(bool check, int lengthReplies = kSlotCount) {
    window = std::make_unique<TfrmMain>(record, link);
    window->mnuCheckPanel->setChecked(check);
    window->show();
    ASSERT_TRUE(WaitUntil([&] { return link.ReplyCount() == lengthReplies; }, kReplyDeadlineMs));
    Settle(100);
    ASSERT_EQ(sim->ReadLines(kSlotCount).size(), static_cast<std::size_t>(kSlotCount));
  }
  // Every field given a value of its own, the date one the panel takes; the serial numbers
  // stay the panel's.
  void FillWindow() {
    window->eCommissionDate->SetText("03 FEB 2003");
    for (int slot = 2; slot <= kSlotCount; ++slot) window->SlotEdit(slot)->SetText(QString("W%1").arg(slot));
    const TPanelSimulator samples{TSimOptions{}};
    for (int slot : {6, 7}) window->SlotEdit(slot)->SetText(QString::fromStdString(samples.Value(slot)));
  }
  bool WaitForCaption(const QString& caption, int count = 1) {
    return WaitUntil(
        [&] {
          int n = 0;
          for (const MessageBoxCall& call : messages) n += call.caption == caption;
          return n >= count;
        },
        kReplyDeadlineMs);
  }
  const MessageBoxCall* Find(const QString& caption) const {
    for (const MessageBoxCall& call : messages)
      if (call.caption == caption) return &call;
    return nullptr;
  }
  void Settle(int ms = 500) {
    QElapsedTimer timer;
    timer.start();
    WaitUntil([&] { return timer.elapsed() >= ms; }, ms + 1000);
  }
  // The simulator's log lines that begin with `start`, of the next `count` lines.
  std::vector<std::string> Lines(int count) { return sim->ReadLines(count); }
  std::vector<TransferEntry> History() const {
    return TransferHistory(std::filesystem::path(dir.filePath("state").toStdString()) / "quellso").Read().entries;
  }

  Watchdog watchdog{std::chrono::seconds(240)};
  QTemporaryDir dir;
  UnitDataRecord record{};
  TPanelLink link{record};
  std::optional<SimProcess> sim;
  std::unique_ptr<TfrmMain> window;
  std::unique_ptr<WarningAnswers> warning;

 private:
  QByteArray saved_com1_;
  QByteArray saved_state_;
};

// The slot of a "read slot N value" line, 0 for another line.
int ReadSlot(const std::string& line) {
  int slot = 0;
  return std::sscanf(line.c_str(), "read slot %d value", &slot) == 1 ? slot : 0;
}
int WriteSlot(const std::string& line) {
  int slot = 0;
  return std::sscanf(line.c_str(), "write slot %d", &slot) == 1 ? slot : 0;
}

// ---- Get Data that stops partway ----
//
// The panel drops every 7th reply: of the length query's 41, and of Get Data's, those of
// slots 7, 14, 21, 28 and 35.

struct PartialGetCase {
  const char* name;
  TModalResult answer;  // to "ask again?"
  const char* result;   // in the history
};

const PartialGetCase kPartialGetCases[] = {
    {"AskedAgainForTheMissingOnly", TModalResult::Yes, "ok"},
    {"LeftWithTheEarlierValues", TModalResult::No, "partial"},
};

class PartialGet : public SafeSend, public testing::WithParamInterface<PartialGetCase> {};

TEST_P(PartialGet, SaysWhatIsMissingAndOffersTheRest) {
  StartPanel({"--drop-every", "7"});
  ShowWindow(false, 36);
  record.SetSlot(14, "earlier");  // from a data file, say
  window->ShowRecord();
  answers = {GetParam().answer};
  window->cmdRxClick();
  ASSERT_TRUE(WaitForCaption("Communications Error"));
  const MessageBoxCall* partial = Find("Communications Error");
  EXPECT_EQ(partial->buttons, TMessageButtons::YesNo);
  EXPECT_TRUE(partial->text.startsWith("Only 36 of the 41 values came from the panel")) << partial->text.toStdString();
  EXPECT_TRUE(partial->text.contains(QStringLiteral("No reply for %1, %2, %3, %4 and %5: those fields still show "
                                                    "their earlier values.")
                                         .arg(Field(7), Field(14), Field(21), Field(28), Field(35))))
      << partial->text.toStdString();
  const std::vector<std::string> get = Lines(42);
  ASSERT_EQ(get.size(), 42u);
  const TPanelSimulator samples{TSimOptions{}};
  if (GetParam().answer == TModalResult::Yes) {
    ASSERT_TRUE(WaitForCaption("Request Results"));
    const std::vector<std::string> again = Lines(6);
    ASSERT_EQ(again.size(), 6u);
    std::vector<int> asked;
    for (const std::string& line : again)
      if (int slot = ReadSlot(line)) asked.push_back(slot);
    EXPECT_EQ(asked, std::vector<int>({7, 14, 21, 28, 35}));
    EXPECT_EQ(window->SlotEdit(14)->Text().toStdString(), samples.Value(14));
  } else {
    Settle(1500);
    EXPECT_EQ(window->SlotEdit(14)->Text(), "earlier");
    EXPECT_EQ(messages.size(), 1u);
  }
  EXPECT_EQ(window->SlotEdit(2)->Text().toStdString(), samples.Value(2));
  const std::vector<TransferEntry> history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].operation, "get");
  EXPECT_EQ(history[0].result, GetParam().result);
  if (GetParam().answer == TModalResult::No) {
    EXPECT_EQ(history[0].missing, std::vector<int>({7, 14, 21, 28, 35}));
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, PartialGet, testing::ValuesIn(kPartialGetCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Send Data that stops partway, or is refused ----

TEST_F(SafeSend, WritesThatStopPartwayAreNamedAndOnlyTheMissingSentAgain) {
  // 41 lengths, the unit-system command and 20 writes are answered, nothing after.
  StartPanel({"--answer-first", "62"});
  ShowWindow(false);
  FillWindow();
  answers = {TModalResult::Yes, TModalResult::Yes, TModalResult::No};  // send, send the rest, give up
  window->cmdTxClick();
  ASSERT_TRUE(WaitForCaption("Communications Error", 2));
  EXPECT_TRUE(messages[1].text.startsWith("Only 20 of the 41 values were accepted by the panel"))
      << messages[1].text.toStdString();
  EXPECT_TRUE(messages[1].text.contains("No reply for " + Field(21) + ", ")) << messages[1].text.toStdString();
  const std::vector<std::string> first = Lines(42);
  ASSERT_EQ(first.size(), 42u);
  const std::vector<std::string> again = Lines(22);
  ASSERT_EQ(again.size(), 22u);
  std::vector<int> written;
  for (const std::string& line : again)
    if (int slot = WriteSlot(line)) written.push_back(slot);
  std::vector<int> missing;
  for (int slot = 21; slot <= kSlotCount; ++slot) missing.push_back(slot);
  EXPECT_EQ(written, missing);
  EXPECT_EQ(Find("Write Results"), nullptr);
  const std::vector<TransferEntry> history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].result, "partial");
  EXPECT_EQ(history[0].missing, missing);
}

TEST_F(SafeSend, ARefusedWriteNamesWhatWasWrittenAndEndsTheTransfer) {
  StartPanel({"--reject", "5:132"});
  ShowWindow(false);
  FillWindow();
  window->cmdTxClick();
  ASSERT_TRUE(WaitForCaption("Write Error"));
  Settle(1500);  // longer than the time-out: nothing follows
  ASSERT_EQ(messages.size(), 2u);
  const QString text = messages[1].text;
  EXPECT_TRUE(text.startsWith("Sales Order Slot #5 (Varn Order Number): \n\nPanel in Local Mode\n\n"));
  EXPECT_TRUE(text.contains(QStringLiteral("Already written: %1, %2, %3 and %4.\n")
                                .arg(Field(1), Field(2), Field(3), Field(4))))
      << text.toStdString();
  EXPECT_TRUE(text.contains("Not written: " + Field(6) + ", " + Field(7) + ", ")) << text.toStdString();
  EXPECT_FALSE(text.contains("Not written: " + Field(5)));
  const std::vector<TransferEntry> history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].result, "rejected");
}

// ---- Check Panel Before and After Sending ----

struct CheckCase {
  const char* name;
  std::vector<std::string> args;
  std::function<void(TfrmMain&)> edit;  // after FillWindow
  TModalResult answer;                  // to the confirmation
  std::vector<QString> listed;          // lines of the confirmation's list, the first first
  QString readBack;                     // a line of the result's details
  const char* result;
};

const CheckCase kCheckCases[] = {
    {"EveryChangeListedAndReadBackAsWritten",
     {},
     nullptr,
     TModalResult::Yes,
     {"Will change (panel now -> to be written):", "  Job Name: \"Harbour View Offices\" -> \"W2\"",
      "  Tons: \"500\" -> \"W9\""},
     "Every value read back from the panel as written.",
     "ok"},
    {"AValueThePanelCuts",
     {"--lengths", "9=8"},
     [](TfrmMain& w) { w.eTons->SetText("1234567890"); },
     TModalResult::Yes,
     {"Will change (panel now -> to be written):", "  Tons: \"500\" -> \"12345678\"",
      "The panel will cut Tons to its 8 characters."},
     "  Tons: cut to 8 characters",
     "differs"},
    {"ASlotThatKeepsNoText",
     {"--lengths", "10=0"},
     nullptr,
     TModalResult::Yes,
     {"Will change (panel now -> to be written):", "The panel keeps no text for " + Field(10) + ": written empty."},
     "  " + Field(10) + ": cut to 0 characters",
     "differs"},
    {"ThePanelOfAnotherUnitComesFirst",
     {},
     [](TfrmMain& w) { w.ePanelSerialNumber->SetText("PNL-99999"); },
     TModalResult::No,
     {"This may be another unit: the panel's Panel Serial Number is \"PNL-55821\", the window's \"PNL-99999\"."},
     {},
     nullptr},
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CheckedSend : public SafeSend, public testing::WithParamInterface<CheckCase> {};

TEST_P(CheckedSend, ReadsShowsTheChangesWritesAndReadsBack) {
  StartPanel(GetParam().args);
  ShowWindow(true);
  FillWindow();
  if (GetParam().edit) GetParam().edit(*window);
  answers = {GetParam().answer};
  window->cmdTxClick();
  ASSERT_TRUE(WaitForCaption("Confirmation"));
  const MessageBoxCall* question = Find("Confirmation");
  EXPECT_EQ(question->text, "Are you sure you want to overwrite the existing panel data?");
  EXPECT_TRUE(question->defaultNo);
  const QStringList listed = question->details.split('\n');
  for (const QString& line : GetParam().listed) EXPECT_TRUE(listed.contains(line)) << line.toStdString();
  EXPECT_EQ(listed.first(), GetParam().listed.front());
  if (GetParam().answer == TModalResult::No) {
    Settle(1500);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(History().empty());
  } else {
    ASSERT_TRUE(WaitForCaption("Write Results"));
    const MessageBoxCall* result = Find("Write Results");
    EXPECT_EQ(result->text, "Data Written Successfully");
    EXPECT_TRUE(result->details.split('\n').contains(GetParam().readBack)) << result->details.toStdString();
    const std::vector<TransferEntry> history = History();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].result, GetParam().result);
  }
  // The panel was read first, whatever the answer; the window's record was not touched.
  const std::vector<std::string> asFound = Lines(42);
  ASSERT_EQ(asFound.size(), 42u);
  for (int slot = 1; slot <= kSlotCount; ++slot) EXPECT_EQ(ReadSlot(asFound[static_cast<std::size_t>(slot)]), slot);
  if (GetParam().answer == TModalResult::No) {
    EXPECT_EQ(std::string(record.SlotText(2)), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Panels, CheckedSend, testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the panel history ----

TEST_F(SafeSend, ASendRecordsTheAsFoundAndTheReadBackValues) {
  StartPanel({});
  ShowWindow(true);
  FillWindow();
  window->cmdTxClick();
  ASSERT_TRUE(WaitForCaption("Write Results"));
  const std::vector<TransferEntry> history = History();
  ASSERT_EQ(history.size(), 1u);
  const TransferEntry& entry = history[0];
  EXPECT_EQ(entry.operation, "send");
  EXPECT_EQ(entry.source, "window");
  EXPECT_EQ(entry.result, "ok");
  EXPECT_EQ(WithoutPadding(entry.found[2].value_or("?")), "Harbour View Offices");
  EXPECT_EQ(WithoutPadding(entry.found[6].value_or("?")), "PNL-55821");
  EXPECT_EQ(WithoutPadding(entry.written[2].value_or("?")), "W2");
  EXPECT_EQ(WithoutPadding(entry.readBack[2].value_or("?")), "W2");
  EXPECT_EQ(entry.readBack.Count(), kSlotCount);
}

TEST_F(SafeSend, SendingTheAsFoundValuesOfAnEntryIsItsRestore) {
  StartPanel({});
  ShowWindow(true);
  FillWindow();
  window->CollectRecord();
  window->RestoreSource = "2rdf0k3m9x7a";
  window->RestoreValues = SlotValues::FromRecord(record);
  window->cmdTxClick();
  ASSERT_TRUE(WaitForCaption("Write Results"));
  const std::vector<TransferEntry> history = History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].operation, "restore");
  EXPECT_EQ(history[0].restoredFrom, "2rdf0k3m9x7a");
}

// A history that cannot be written (here its folder's place is taken by a file) is said
// before anything is written; No, the default, writes nothing.
struct UnrecordedCase {
  const char* name;
  TModalResult answer;
  bool written;
};

const UnrecordedCase kUnrecordedCases[] = {
    {"NoWritesNothing", TModalResult::No, false},
    {"YesWritesAllTheSame", TModalResult::Yes, true},
};

class Unrecorded : public SafeSend, public testing::WithParamInterface<UnrecordedCase> {};

TEST_P(Unrecorded, TheUserDecidesBeforeAnyWrite) {
  QFile blocker(dir.filePath("state"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  StartPanel({});
  ShowWindow(true);
  FillWindow();
  answers = {TModalResult::Yes, GetParam().answer};
  window->cmdTxClick();
  ASSERT_TRUE(WaitForCaption("Panel History"));
  const MessageBoxCall* question = Find("Panel History");
  EXPECT_TRUE(question->defaultNo);
  EXPECT_TRUE(question->text.startsWith("The panel's present values could not be recorded"))
      << question->text.toStdString();
  if (GetParam().written) {
    ASSERT_TRUE(WaitForCaption("Write Results"));
  } else {
    Settle(1500);
  }
  const std::vector<std::string> lines = Lines(42 + (GetParam().written ? 42 : 0));
  int writes = 0;
  for (const std::string& line : lines) writes += WriteSlot(line) != 0;
  EXPECT_EQ(writes, GetParam().written ? kSlotCount : 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, Unrecorded, testing::ValuesIn(kUnrecordedCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- a flood of noise while the user types ----

TEST_F(SafeSend, AFloodOfNoiseLeavesWhatTheUserTypes) {
  StartPanel({"--flood", "1500"});
  ShowWindow(false);
  window->mnuEditData->trigger();
  window->eJobName->SetText("typed by hand");
  std::optional<std::string> line;
  do line = sim->ReadLine();
  while (line && line->rfind("flood: ", 0) != 0);
  ASSERT_TRUE(line) << "the simulator sent no flood";
  Settle(200);
  ASSERT_TRUE(WaitUntil([&] { return window->CommPort->InQueCount() == 0; }, kReplyDeadlineMs));
  EXPECT_EQ(window->eJobName->Text(), "typed by hand");
  EXPECT_TRUE(messages.empty());
}

}  // namespace
