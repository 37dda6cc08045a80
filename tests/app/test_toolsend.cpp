// quellso-tool panel send against the window's Send Data: the same data file laid over the
// same panel values must reach the panel as the same frames.  The window runs as a user
// runs it (Get Data, Open Data File, Send Data) with its real serial port; the tool runs as
// a process; each talks to a quellso-panel-sim of its own on a pseudo-terminal, and the two
// simulators' logs (every write request, its slot and its value byte for byte) and state
// files are compared.

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <optional>

#include "app/mainwindow.h"
#include "files/datafile.h"
#include "files/profile.h"
#include "panel/comm.h"
#include "panel/panellink.h"
#include "tests/files/filetestsupport.h"
#include "tests/panel/ptypair.h"
#include "tests/panel/simprocess.h"
#include "tests/support/guitest.h"

namespace {

constexpr int kReplyDeadlineMs = 30000;

struct FileCase {
  const char* name;
  const char* jobName;
  const char* jobLocation;
  const char* modelNumber;
};

const FileCase kFileCases[] = {
    {"PlainTexts", "Dock 9 Cold Store", "Caf\xE9 \x80 Quay", "QX9C8A7B-1D"},
    // Bytes the frames must escape (STX, ETX, DLE), and a model number longer than the
    // panel's 20 characters.
    {"BytesToEscape", "Dock\x10 9\x02", "Quay\x03 \x10\x10", "QX9C8A7B-1D-EXTENDED-MODEL-40"},
};

void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

// An environment variable set for the test's time, then put back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const QByteArray& value) : name_(name), saved_(qgetenv(name)) {
    qputenv(name, value);
  }
  ~ScopedVariable() { qputenv(name_, saved_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  QByteArray saved_;
};

// The window's lengths are known before Send Data, so no default-length warning comes.
class ToolSend : public GuiTest, public testing::WithParamInterface<FileCase> {
 protected:
  void TearDown() override {
    if (window) window->close();
    window.reset();
    GuiTest::TearDown();
  }

  // A simulator that logs every request and keeps its values in `state`; returns its device.
  std::string StartPanel(std::optional<SimProcess>& sim, const QString& state) {
    sim.emplace(std::vector<std::string>{"--log", "--state", state.toStdString()});
    const std::optional<std::string> device = sim->ReadLine();
    EXPECT_TRUE(device) << "the simulator named no device";
    return device.value_or("");
  }
  bool WaitForMessage(const QString& text) {
    return WaitUntil(
        [&] {
          return std::any_of(messages.begin(), messages.end(), [&](const MessageBoxCall& m) { return m.text == text; });
        },
        kReplyDeadlineMs);
  }

  Watchdog watchdog{std::chrono::seconds(180)};
  QTemporaryDir dir;
  ScopedVariable settings{"QUELLSO_SETTINGS", dir.filePath("quellso.ini").toLocal8Bit()};
  ScopedVariable com1{"QUELLSO_COM1", {}};
  UnitDataRecord record{};
  TPanelLink link{record};
  std::unique_ptr<TfrmMain> window;
};

TEST_P(ToolSend, WritesWhatSendDataWritesForTheSameWindowContents) {
  // The data file: every key, the three texts of the case.
  UnitDataRecord values{};
  for (int slot = 8; slot <= kLastSlot; ++slot) values.SetSlot(slot, "V" + std::to_string(slot));
  values.SetCdNozzleIn("A");
  values.SetCdNozzleOut("B");
  values.SetEvNozzleIn("C");
  values.SetEvNozzleOut("D");
  values.SetJobName(GetParam().jobName);
  values.SetJobLocation(GetParam().jobLocation);
  values.SetModelNumber(GetParam().modelNumber);
  values.SetVarnOrderNumber("SO-98123456");
  const QString file = dir.filePath("unit.dat");
  ASSERT_TRUE(WriteDataFile(values, file.toStdString()));

  // The window: Get Data, Open Data File, Send Data.
  std::optional<SimProcess> windowPanel;
  const QString windowState = dir.filePath("window-panel.dat");
  qputenv("QUELLSO_COM1", QByteArray::fromStdString(StartPanel(windowPanel, windowState)));
  window = std::make_unique<TfrmMain>(record, link);
  window->mnuCheckPanel->setChecked(true);  // it reads the panel first, as the tool does
  window->show();
  ASSERT_TRUE(WaitUntil([&] { return link.LengthsKnown(); }, kReplyDeadlineMs));
  window->cmdRxClick();
  ASSERT_TRUE(WaitForMessage("All Data Received Successfully"));
  fileAnswers.push_back(file);
  window->mnuOpenDataFileClck();
  window->cmdTxClick();
  ASSERT_TRUE(WaitForMessage("Data Written Successfully"));
  // The length query, Get Data, the read before writing, the writes (and the read-back).
  const std::vector<std::string> windowLog = windowPanel->ReadLines(41 + 42 + 42 + 42);
  ASSERT_EQ(windowLog.size(), 167u);

  // The tool: the same data file over the same panel values.
  std::optional<SimProcess> toolPanel;
  const QString toolState = dir.filePath("tool-panel.dat");
  const std::string device = StartPanel(toolPanel, toolState);
  QProcess tool;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("DISPLAY");
  environment.remove("QT_QPA_PLATFORM");
  environment.insert("XDG_STATE_HOME", dir.filePath("state"));
  tool.setProcessEnvironment(environment);
  // As the window does: the file laid over the panel as Open Data File lays it, and values
  // longer than the panel's lengths cut.
  tool.start(QStringLiteral(QUELLSO_TOOL), {"panel", "send", "--no-verify", "--allow-cut", "--blank-missing", "--port",
                                            QString::fromStdString(device), file});
  ASSERT_TRUE(tool.waitForFinished(60000));
  EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
  const std::vector<std::string> toolLog = toolPanel->ReadLines(41 + 42 + 42);
  ASSERT_EQ(toolLog.size(), 125u);

  // Send Data's part: the unit-system command and the 41 writes, byte for byte the same.
  const std::vector<std::string> windowWrites(windowLog.begin() + 125, windowLog.end());
  const std::vector<std::string> toolWrites(toolLog.begin() + 83, toolLog.end());
  EXPECT_EQ(toolWrites, windowWrites);
  EXPECT_EQ(toolWrites.front(), "unit-system English -> acknowledged");
  EXPECT_EQ(toolWrites.at(1), "write slot 1 date 07 DEC 1999 -> accepted");

  // Both panels hold the same, the date and serial numbers the file does not carry kept.
  EXPECT_EQ(ReadBytes(toolState.toStdString()), ReadBytes(windowState.toStdString()));
  ProfileDocument saved;
  ASSERT_TRUE(LoadProfile(toolState.toStdString(), saved));
  EXPECT_EQ(saved.Find("Panel Simulator", "Commissioning Date"), "07 DEC 1999");
  EXPECT_EQ(saved.Find("Panel Simulator", "Panel Serial Number"), "PNL-55821" + std::string(7, ' '));
  EXPECT_EQ(saved.Find("Panel Simulator", "Chiller Serial Number"), "CH-0098812" + std::string(6, ' '));
}

INSTANTIATE_TEST_SUITE_P(DataFiles, ToolSend, testing::ValuesIn(kFileCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
