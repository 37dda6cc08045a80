// quellso-tool's panel commands as a factory script runs them: the built tool as a process,
// without a display, against quellso-panel-sim on a pseudo-terminal, with a settings file of
// the test's own.  The serial path is the real one: the tool's serial port, link and event
// loop.

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "files/datafile.h"
#include "files/profile.h"
#include "model/unitdatarecord.h"
#include "tests/files/filetestsupport.h"
#include "tests/panel/ptypair.h"
#include "tests/panel/simprocess.h"
#include "tools/panelsim/panelsim.h"
#include "tests/files/upzbuilder.h"
#include "tests/support/brokenoutput.h"
#include "tools/tool.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
  qint64 ms = 0;  // from start to exit
};

// The tool's environment: no display, `settings` as its settings file, no QUELLSO_COMn
// mapping of the test's environment, and the transfer history in a "state" folder beside
// the settings file (or in `state`).
QProcessEnvironment ToolEnvironment(const std::filesystem::path& settings, std::filesystem::path state = {}) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QUELLSO_COM1", "QUELLSO_COM2",
                           "QUELLSO_COM3", "QUELLSO_COM4"})
    environment.remove(name);
  environment.insert("QUELLSO_SETTINGS", QString::fromStdString(settings.string()));
  if (state.empty()) state = settings.parent_path() / "state";
  environment.insert("XDG_STATE_HOME", QString::fromStdString(state.string()));
  return environment;
}

// Runs the built tool in ToolEnvironment.
ToolRun RunToolProcess(const std::vector<std::string>& args, const std::filesystem::path& settings,
                       const std::filesystem::path& state = {}) {
  const QProcessEnvironment environment = ToolEnvironment(settings, state);
  QStringList arguments;
  for (const std::string& arg : args) arguments << QString::fromStdString(arg);
  QProcess process;
  process.setProcessEnvironment(environment);
  QElapsedTimer timer;
  timer.start();
  process.start(QStringLiteral(QUELLSO_TOOL), arguments);
  EXPECT_TRUE(process.waitForStarted(10000));
  if (!process.waitForFinished(60000)) {
    ADD_FAILURE() << "quellso-tool did not end";
    process.kill();
    process.waitForFinished(10000);
    return {};
  }
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  return {process.exitCode(), process.readAllStandardOutput().toStdString(),
          process.readAllStandardError().toStdString(), timer.elapsed()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Padded(const std::string& text, int width) {
  std::string out = text.substr(0, static_cast<std::size_t>(width));
  out.resize(static_cast<std::size_t>(width), ' ');
  return out;
}

int SimLength(int slot) { return DefaultSimLengths()[static_cast<std::size_t>(slot)]; }

// A data file with every key, as a factory makes one (the date and the serial numbers are
// never in one): the job location holds bytes of code page 1252 (an e with an accent, the
// euro sign), the tons control characters, the model number is longer than the panel's 20
// characters.
std::string UnitFile() {
  UnitDataRecord record{};
  for (int slot = 8; slot <= kLastSlot; ++slot) record.SetSlot(slot, "V" + std::to_string(slot));
  record.SetSlot(9, "V\x01\t9");  // control characters, which only plain output escapes
  record.SetCdNozzleIn("A");
  record.SetCdNozzleOut("B");
  record.SetEvNozzleIn("C");
  record.SetEvNozzleOut("D");
  record.SetJobName("Dock 9 Cold Store");
  record.SetJobLocation("Caf\xE9 \x80 Quay");
  record.SetModelNumber("QX9C8A7B-1D-EXTENDED-MODEL-40");
  record.SetVarnOrderNumber("SO-98123456");
  ProfileDocument file;
  WriteDataFile(record, file);
  return file.Bytes();
}
const std::string kUnitFile = UnitFile();

// An order archive whose unit data file is kUnitFile.
std::vector<std::uint8_t> OrderArchive() {
  UpzMember member;
  member.name = "LTCUNIT.DAT";
  member.stored = Compressed(kUnitFile);
  return BuildUpz({member});
}

class PanelTool : public ::testing::Test {
 protected:
  // Starts a simulator with `args` and --log; its device is `device`.
  void StartPanel(std::vector<std::string> args) {
    args.push_back("--log");
    sim.emplace(args);
    ASSERT_GT(sim->pid(), 0);
    const std::optional<std::string> line = sim->ReadLine();
    ASSERT_TRUE(line) << "the simulator named no device";
    device = *line;
  }
  void WriteSettings(const std::string& text) { WriteBytes(settings, text); }
  ToolRun Tool(std::vector<std::string> args, bool withPort = true) {
    if (withPort) {
      args.push_back("--port");
      args.push_back(device);
    }
    return RunToolProcess(args, settings);
  }
  // The simulator's log lines so far, after `count` of them have come.
  std::vector<std::string> Log(int count) { return sim->ReadLines(count); }

  Watchdog watchdog{std::chrono::seconds(240)};
  TempFolder folder;
  std::filesystem::path settings = folder / "quellso.ini";
  std::optional<SimProcess> sim;
  std::string device;
};

// ---- get ----

struct GetCase {
  const char* name;
  std::string settings;           // "@" stands for the simulator's device
  std::vector<std::string> args;  // after "panel get"
  bool port;                      // --port on the command line
  const char* unitLine;
};

const GetCase kGetCases[] = {
    {"EnglishWhenNothingIsSet", "", {}, true, "unit-system English -> acknowledged"},
    {"TheSettingsFilesUnitSystem",
     "[Preferences]\nUnitSystem=Metric\n",
     {},
     true,
     "unit-system Metric -> acknowledged"},
    {"UnitsOnTheCommandLine",
     "[Preferences]\nUnitSystem=Metric\n",
     {"--units", "english"},
     true,
     "unit-system English -> acknowledged"},
    {"TheSettingsFilesPort",
     "[Preferences]\nCOMPort=COM3\n[Ports]\nCOM3=@\n",
     {},
     false,
     "unit-system English -> acknowledged"},
    {"Json", "", {"--json", "--units=metric"}, true, "unit-system Metric -> acknowledged"},
    {"AlsoIntoADataFile", "", {"--out", "OUT"}, true, "unit-system English -> acknowledged"},
};

void PrintTo(const GetCase& c, std::ostream* os) { *os << c.name; }

class PanelGet : public PanelTool, public ::testing::WithParamInterface<GetCase> {};

TEST_P(PanelGet, PrintsThePanelsValues) {
  StartPanel({});
  std::string text = GetParam().settings;
  if (const std::size_t at = text.find('@'); at != std::string::npos) text.replace(at, 1, device);
  WriteSettings(text);
  std::vector<std::string> args = {"panel", "get"};
  bool json = false;
  std::optional<std::filesystem::path> out;
  for (const std::string& arg : GetParam().args) {
    json = json || arg == "--json";
    if (arg == "OUT") out = folder / "out.dat";
    args.push_back(arg == "OUT" ? out->string() : arg);
  }
  const ToolRun run = Tool(args, GetParam().port);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Log(1), std::vector<std::string>{GetParam().unitLine});

  // What the simulator holds, as the record keeps it.
  const TPanelSimulator panel{TSimOptions{}};
  UnitDataRecord expected{};
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) expected.SetSlot(slot, panel.Value(slot));
  if (json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out;
    const QJsonObject object = document.object();
    EXPECT_EQ(object.size(), static_cast<qsizetype>(kUnitMembers.size()));
    for (const UnitMemberInfo& info : kUnitMembers)
      EXPECT_EQ(object.value(info.name).toString().toStdString(), expected.Text(info.member)) << info.name;
  } else {
    std::vector<std::string> lines;
    for (const UnitMemberInfo& info : kUnitMembers)
      lines.push_back(std::string(info.name) + "=" + expected.Text(info.member));
    EXPECT_EQ(Lines(run.out), lines);
  }
  if (out) {
    UnitDataRecord written{};
    ASSERT_TRUE(ReadDataFile(written, *out));
    EXPECT_STREQ(written.JobName(), panel.Value(2).c_str());
    EXPECT_STREQ(written.Tons(), panel.Value(9).c_str());
  }
  EXPECT_NE(run.err.find("reading the values"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Panels, PanelGet, ::testing::ValuesIn(kGetCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Writes `text` into `slot` of the panel on `device` with a write request of its own, as
// another program may have programmed it (a value with a line break, say); true once the
// panel has logged it as accepted.
bool WriteSlot(SimProcess& sim, const std::string& device, int slot, const std::string& text) {
  const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  std::vector<std::uint8_t> payload = {kFieldObjectType, static_cast<std::uint8_t>(slot), kValueProperty, 0,
                                       kTextData, static_cast<std::uint8_t>(text.size())};
  payload.insert(payload.end(), text.begin(), text.end());
  std::array<std::uint8_t, kFrameBufferSize> frame{};
  const std::size_t size = EncodeFrame(kWriteRequestCommand, static_cast<std::uint8_t>(slot), payload, frame);
  const bool written = size > 0 && ::write(fd, frame.data(), size) == static_cast<ssize_t>(size);
  const std::optional<std::string> logged = written ? sim.ReadLine() : std::nullopt;
  ::close(fd);
  return logged && logged->starts_with("write slot " + std::to_string(slot) + " ") && logged->ends_with("accepted");
}

// Get Data, Save, Open, Send Data: the panel pads its values with blanks to its lengths, and
// the data file saved from them gives every value back as it was, the composite keys (power,
// phases and frequency; nozzle in and out) included.
TEST_F(PanelTool, GetSaveOpenSendLeavesEveryValueAsItWas) {
  const std::string state = (folder / "panel.dat").string();
  StartPanel({"--state", state});
  // A panel programmed once holds its values padded to its lengths.
  ASSERT_EQ(Tool({"panel", "send", "--no-verify"}).status, 0);
  const std::string before = ReadBytes(state);
  ASSERT_NE(before.find("Slot 17=\"3" + std::string(15, ' ') + "\""), std::string::npos) << before;

  const std::string unit = (folder / "unit.dat").string();
  const ToolRun got = Tool({"panel", "get", "--out", unit});
  ASSERT_EQ(got.status, 0) << got.err;
  const ToolRun sent = Tool({"panel", "send", unit});
  EXPECT_EQ(sent.status, 0) << sent.err;
  EXPECT_EQ(sent.out, "");  // no value changed
  EXPECT_EQ(ReadBytes(state), before);
}

// Plain output escapes control characters and the backslash: a line break in a panel's value
// cannot make a line of its own, and an escape sequence does not reach the terminal.
TEST_F(PanelTool, PlainOutputEscapesControlCharacters) {
  StartPanel({});
  ASSERT_EQ(Tool({"panel", "send", "--no-verify"}).status, 0);  // every value padded, as programmed
  ASSERT_EQ(Log(41 + 42 + 42).size(), 125u);
  ASSERT_TRUE(WriteSlot(*sim, device, 2, "Plant\nTons=9999"));
  ASSERT_TRUE(WriteSlot(*sim, device, 3, "\x1b[2J\\Quay\t\r\x9d\xE9"));
  const ToolRun run = Tool({"panel", "get"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  EXPECT_EQ(lines.size(), kUnitMembers.size());
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("Tons="); }), 1);
  EXPECT_NE(run.out.find("\nJobName=Plant\\nTons=9999\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nJobLocation=\\x1b[2J\\\\Quay\\t\\r\\x9d\xC3\xA9\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);

  // verify's lines too: each value stays in its column.
  const ToolRun verify = Tool({"panel", "verify", "--set", "JobName=Plant"});
  EXPECT_EQ(verify.status, 1) << verify.err;
  EXPECT_EQ(Lines(verify.out),
            (std::vector<std::string>{"2\tJob Name\tPlant\\nTons=9999\t" + Padded("Plant", SimLength(2))}));
}

// Output that cannot be written fails the command, although the panel was read.
TEST_F(PanelTool, GetIntoAnUnwritableOutputFails) {
  StartPanel({});
  WriteSettings("");
  for (const BrokenOutput output : {BrokenOutput::kFull, BrokenOutput::kClosed}) {
    const BrokenOutputRun run =
        RunWithBrokenOutput(QUELLSO_TOOL, {"panel", "get", "--json", "--port", device}, output,
                            {{"QUELLSO_SETTINGS", settings.string()},
                             {"XDG_STATE_HOME", (settings.parent_path() / "state").string()}},
                            {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QUELLSO_COM1", "QUELLSO_COM2",
                             "QUELLSO_COM3", "QUELLSO_COM4"});
    EXPECT_EQ(run.status, 5) << run.err;
    EXPECT_NE(run.err.find("quellso-tool: cannot write standard output: "), std::string::npos) << run.err;
    EXPECT_EQ(Log(42).size(), 42u);  // the panel was read, and heard nothing else
  }
}

TEST_F(PanelTool, LengthsPrintsTheFortyOneLengths) {
  StartPanel({"--lengths", "all=16,2=24,4=40"});
  const ToolRun run = Tool({"panel", "lengths"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 41u);
  EXPECT_EQ(lines[0], "1\tCommissioning Date\t16");
  EXPECT_EQ(lines[1], "2\tJob Name\t24");
  EXPECT_EQ(lines[3], "4\tModel Number\t40");
  EXPECT_EQ(lines[40], "41\tEvaporator Tube Number\t16");
}

// ---- send and verify ----

struct SendCase {
  const char* name;
  bool order;      // the input is named by --order (an archive in the settings file's folder)
  bool blankDate;  // --set CommissionDate= : the date is not written and the panel keeps its own
};

const SendCase kSendCases[] = {{"ADataFile", false, false}, {"AnOrderNumberWithABlankDate", true, true}};

void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }

class PanelSend : public PanelTool, public ::testing::WithParamInterface<SendCase> {};

TEST_P(PanelSend, WritesTheInputOverThePanelsValuesAndReadsThemBack) {
  std::vector<std::string> input;
  if (GetParam().order) {
    std::filesystem::create_directory(folder / "orders");
    WriteFile(folder / "orders" / "52n9c1jm.upz", OrderArchive());
    WriteSettings("[Preferences]\nUPZPath=" + (folder / "orders").string() + "\n");
    input = {"--order", "98123456-02"};
  } else {
    WriteBytes(folder / "unit.dat", kUnitFile);
    input = {(folder / "unit.dat").string()};
  }
  const std::string state = (folder / "panel.dat").string();
  StartPanel({"--state", state});

  // A value with a quote, a backslash, a control character and a euro sign, given in UTF-8.
  if (GetParam().blankDate) input.push_back("--set=CommissionDate=");
  std::vector<std::string> args = {"panel", "send", "--allow-cut", "--set", "VarnOrderNumber=SO-\"7\\\xE2\x82\xAC"};
  args.insert(args.end(), input.begin(), input.end());
  const ToolRun run = Tool(args);
  ASSERT_EQ(run.status, 0) << run.err;
  if (GetParam().order) {
    EXPECT_NE(run.err.find("order 98123456-02 is " + (folder / "orders" / "52n9c1jm.upz").string()), std::string::npos)
        << run.err;
  }

  // The panel heard the length query, Get Data, Send Data and Get Data again: the values
  // read back.
  const int first = GetParam().blankDate ? 2 : 1;
  const int writes = kLastSlot - first + 1;
  // The read-back asks the slots written.
  const std::vector<std::string> log = Log(41 + 42 + 1 + writes + 1 + writes);
  ASSERT_EQ(log.size(), static_cast<std::size_t>(41 + 42 + 1 + writes + 1 + writes));
  EXPECT_EQ(log[41], "unit-system English -> acknowledged");
  EXPECT_EQ(log[83], "unit-system English -> acknowledged");
  const auto write = [&](int slot) { return log.at(static_cast<std::size_t>(84 + slot - first)); };
  if (GetParam().blankDate) {
    EXPECT_TRUE(write(2).starts_with("write slot 2 ")) << write(2);
  } else {
    EXPECT_EQ(write(1), "write slot 1 date 07 DEC 1999 -> accepted");  // the panel's own date, kept
  }
  EXPECT_EQ(write(2), "write slot 2 \"" + Padded("Dock 9 Cold Store", SimLength(2)) + "\" -> accepted");
  EXPECT_EQ(write(3), "write slot 3 \"" + Padded("Caf\\xE9 \\x80 Quay", SimLength(3) + 6) + "\" -> accepted");
  EXPECT_EQ(write(4), "write slot 4 \"QX9C8A7B-1D-EXTENDED\" -> accepted");  // cut to the panel's 20
  EXPECT_EQ(write(5), "write slot 5 \"SO-\\x227\\x5C\\x80" + std::string(9, ' ') + "\" -> accepted");
  EXPECT_EQ(write(6), "write slot 6 \"" + Padded("PNL-55821", SimLength(6)) + "\" -> accepted");   // kept
  EXPECT_EQ(write(7), "write slot 7 \"" + Padded("CH-0098812", SimLength(7)) + "\" -> accepted");  // kept
  EXPECT_EQ(write(41).rfind("write slot 41 ", 0), 0u) << write(41);
  EXPECT_EQ(log[static_cast<std::size_t>(84 + writes)], "unit-system English -> acknowledged");
  ProfileDocument saved;
  ASSERT_TRUE(LoadProfile(state, saved));
  EXPECT_EQ(saved.Find("Panel Simulator", "Commissioning Date"), "07 DEC 1999");

  // One line for each value that changed, in UTF-8: slot, description, old, new.
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "2\tJob Name\tHarbour View Offices\t" + Padded("Dock 9 Cold Store", SimLength(2)));
  EXPECT_EQ(lines[1], "3\tJob Location\tPortsmouth\t" + Padded("Caf\u00E9 \u20AC Quay", SimLength(3) + 3));
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("1\t"); }), 0);

  // The same input again: the panel holds it, so verify finds nothing; a different value is
  // one line and exit status 1.
  std::vector<std::string> same = {"panel", "verify", "--allow-cut", "--set", "VarnOrderNumber=SO-\"7\\\xE2\x82\xAC"};
  same.insert(same.end(), input.begin(), input.end());
  const ToolRun verified = Tool(same);
  EXPECT_EQ(verified.status, 0) << verified.err;
  EXPECT_EQ(verified.out, "");
  std::vector<std::string> other = {"panel", "verify", "--allow-cut", "--set", "JobName=Dock 10"};
  other.insert(other.end(), input.begin(), input.end());
  const ToolRun differs = Tool(other);
  EXPECT_EQ(differs.status, 1) << differs.err;
  EXPECT_EQ(Lines(differs.out),
            (std::vector<std::string>{
                "2\tJob Name\t" + Padded("Dock 9 Cold Store", SimLength(2)) + "\t" + Padded("Dock 10", SimLength(2)),
                "5\tVarn Order Number\t" + Padded("SO-\"7\\\\\xE2\x82\xAC", SimLength(5) + 3) + "\t" +
                    Padded("SO-98123456", SimLength(5))}));

  // What get --json gives back is valid JSON with the value's characters.
  const ToolRun json = Tool({"panel", "get", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  QJsonParseError error{};
  const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(json.out), &error).object();
  ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out;
  EXPECT_EQ(object.value("VarnOrderNumber").toString(),
            QString::fromUtf8("SO-\"7\\\xE2\x82\xAC") + QString(9, ' '));
  EXPECT_EQ(object.value("Tons").toString(), QString::fromUtf8("V\x01\t9") + QString(12, ' '));
  EXPECT_NE(json.out.find("\"V\\u0001\\u00099 "), std::string::npos) << json.out;
}

INSTANTIATE_TEST_SUITE_P(Inputs, PanelSend, ::testing::ValuesIn(kSendCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- what goes wrong ----

struct FailureCase {
  const char* name;
  std::vector<std::string> panel;  // the simulator's options; empty with no panel at all
  std::vector<std::string> args;   // with --port: the simulator's device
  int status;
  const char* message;
  int pacedMs;    // the frames' pacing before the end: 820 for the length query, 910 for
                  // Get Data and for Send Data
  bool timesOut;  // the end is the second without a reply
  int heard;      // the requests the panel heard
};

const FailureCase kFailureCases[] = {
    {"ARejectedWrite",
     {"--reject", "5:132"},
     {"panel", "send", "--set", "JobName=X"},
     1,
     "refused a write: Sales Order Slot #5 (Varn Order Number): Panel in Local Mode",
     820 + 910 + 910,
     false,
     41 + 42 + 42},
    {"ASilentPanel",
     {"--silent"},
     {"panel", "get"},
     1,
     "Communications Timeout Error: no reply from the panel on ",
     910,
     true,
     42},
    {"ASilentPanelBeforeSend",
     {"--silent"},
     {"panel", "send", "--set", "JobName=X"},
     1,
     "(length requests); nothing was written",
     820,
     true,
     41},
    {"SomeLengthsUnanswered",
     {"--answer-first", "40"},
     {"panel", "send", "--set", "JobName=X", "--retries", "0"},
     1,
     "answered 40 of the 41 length requests, then nothing for a second (no reply for slot 41); nothing was written",
     820,
     true,
     41},
    {"SomeValuesUnanswered",
     {"--answer-first", "60"},
     {"panel", "verify", "--retries", "0"},
     1,
     "answered 18 of the 41 value requests, then nothing for a second (no reply for slots 19 to 41)",
     820 + 910,
     true,
     41 + 42},
    {"AMissingDevice",
     {},
     {"panel", "get", "--port", "/dev/quellso-no-such-adapter"},
     3,
     "Could not open /dev/quellso-no-such-adapter. /dev/quellso-no-such-adapter does not exist.",
     0,
     false,
     0},
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class PanelFailure : public PanelTool, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PanelFailure, EndsWithItsStatusAndMessageInTime) {
  const FailureCase& c = GetParam();
  if (!c.panel.empty()) StartPanel(c.panel);
  const ToolRun run = Tool(c.args, !c.panel.empty());
  EXPECT_EQ(run.status, c.status) << run.err;
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  const int timeout = c.timesOut ? 1000 : 0;
  if (c.timesOut) {
    EXPECT_GE(run.ms, c.pacedMs + timeout);  // never early
  }
  EXPECT_LE(run.ms, c.pacedMs + timeout + 2000) << "the tool took " << run.ms << " ms";
  // The panel heard what was asked before the end, and nothing was written unless the
  // writes had begun.
  const std::vector<std::string> heard = c.heard > 0 ? sim->ReadLines(c.heard) : std::vector<std::string>{};
  EXPECT_EQ(heard.size(), static_cast<std::size_t>(c.heard));
  const auto writes =
      std::count_if(heard.begin(), heard.end(), [](const std::string& l) { return l.starts_with("write"); });
  EXPECT_EQ(writes, c.heard == 125 ? 41 : 0);
}

INSTANTIATE_TEST_SUITE_P(Panels, PanelFailure, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- --order: finding the archive ----

struct OrderCase {
  const char* name;
  std::vector<std::string> archives;  // in the archive folder
  const char* message;                // "@" stands for the archive folder
  bool anyLine = false;               // --any-line
  const char* number = "98123456-02";
};

const OrderCase kOrderCases[] = {
    {"NoArchive",
     {"52n9d1jl.upz"},
     "no single order archive for 98123456-02 in the archive folder @/: tried @/52n9c1jl.upz, @/52n9c1jm.upz and "
     "@/52n9c*.upz; none exists"},
    {"TwoOfTheSameOrder",
     {"52n9c1aa.upz", "52n9c1ab.upz"},
     "tried @/52n9c1jl.upz, @/52n9c1jm.upz and @/52n9c*.upz; 2 match: @/52n9c1aa.upz @/52n9c1ab.upz; name the one "
     "to use as FILE"},
    // One archive of the order under another line is the single match, taken only with
    // --any-line; letter case does not matter.  The input is read, and only the port is missing.
    {"TheOneOfTheSameOrder", {"52N9C1AA.UPZ"}, "order 98123456-02 is @/52N9C1AA.UPZ", true},
    {"AnotherLineIsRefused",
     {"52n9c1jl.upz"},
     "no single order archive for 98123456-03 in the archive folder @/: tried @/52n9c2bd.upz, @/52n9c2bf.upz and "
     "@/52n9c*.upz; 1 match, of another line of the order: @/52n9c1jl.upz; --any-line takes it, or name it as FILE",
     false,
     "98123456-03"},
    {"TwoOfTheSameOrderWithAnyLine",
     {"52n9c1aa.upz", "52n9c1ab.upz"},
     "2 match: @/52n9c1aa.upz @/52n9c1ab.upz; name the one to use as FILE",
     true},
    {"TheFirstVariant", {"52n9c1jl.upz", "52n9c1jm.upz"}, "order 98123456-02 is @/52n9c1jl.upz"},
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }

class PanelOrder : public PanelTool, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(PanelOrder, IsFoundAsTheSalesOrderLookupFindsIt) {
  const std::filesystem::path orders = folder / "orders";
  std::filesystem::create_directory(orders);
  for (const std::string& name : GetParam().archives) WriteFile(orders / name, OrderArchive());
  WriteSettings("[Preferences]\nUPZPath=" + orders.string() + "/\n");
  std::string message = GetParam().message;
  for (std::size_t at; (at = message.find('@')) != std::string::npos;) message.replace(at, 1, orders.string());
  std::vector<std::string> args = {"panel", "verify", "--order", GetParam().number,
                                   "--port", "/dev/quellso-no-such-adapter"};
  if (GetParam().anyLine) args.push_back("--any-line");
  const ToolRun run = RunToolProcess(args, settings);
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Archives, PanelOrder, ::testing::ValuesIn(kOrderCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the command line ----

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};

const UsageCase kUsageCases[] = {
    {"PanelAlone", {"panel"}, "'panel' needs a command after it"},
    {"AnUnknownPanelCommand", {"panel", "erase"}, "unknown command 'panel erase'"},
    {"UnknownUnits", {"panel", "get", "--units", "imperial"}, "--units takes english or metric, not 'imperial'"},
    {"AnOptionOfAnotherCommand", {"panel", "lengths", "--json"}, "panel lengths does not take --json"},
    {"GetTakesNoFile", {"panel", "get", "unit.dat"}, "panel get takes no FILE ('unit.dat')"},
    {"TwoInputs", {"panel", "send", "--order", "98123456-02", "unit.dat"}, "takes one input"},
    {"APortWithoutName", {"panel", "get", "--port"}, "--port needs a value"},
    {"AFlagWithAValue", {"panel", "send", "--no-verify=yes"}, "--no-verify takes no value"},
    {"SetWithoutValue", {"panel", "send", "--set", "JobName"}, "--set needs MEMBER=VALUE, not 'JobName'"},
    {"SetOfNoMember", {"panel", "send", "--set", "Customer=X"}, "--set Customer: no such member"},
    {"SetOfAMemberThePanelLacks", {"panel", "verify", "--set", "cooler=CB"}, "Cooler is not one of the 41 values"},
    {"SetOfACharacterTheCodePageLacks",
     {"panel", "send", "--set", "JobName=Plant \xCE\xA9"},
     "--set JobName: the value holds a character that panels and data files cannot hold"},
    {"SetOfTooLongAValue",
     {"panel", "send", "--set", "JobName=" + std::string(30, 'x')},
     "--set JobName: the value has 30 characters; the record holds 29"},
    {"SetOfAMistypedDate",
     {"panel", "send", "--set", "CommissionDate=2003-02-03"},
     "--set CommissionDate: '2003-02-03' is not a date such as 03 FEB 2003"},
    // Control characters: a line break would make the panel's value print as two lines.
    {"SetOfALineFeed",
     {"panel", "send", "--set", "JobName=Plant\nTons=9999"},
     "--set JobName: the value holds the control character \\n (character 6); a panel's values are printable text"},
    {"SetOfAnEscape", {"panel", "verify", "--set", "JobName=\x1b[31m"}, "control character \\x1b (character 1)"},
    {"SetOfATab", {"panel", "send", "--set", "JobLocation=A\tB"}, "control character \\t (character 2)"},
    {"SetOfAnUndefinedByte", {"panel", "send", "--set", "JobName=A\xC2\x81"}, "control character \\x81 (character 2)"},
    // --order takes a whole sales order number.
    {"AnOrderOfFreeText",
     {"panel", "send", "--order", "garbage"},
     "--order takes a sales order number of eight digits, a dash and two digits, such as 98123456-02, not "
     "'garbage'"},
    {"AnOrderWithOneLineDigit", {"panel", "verify", "--order=98123456-3"}, "not '98123456-3'"},
    {"AnOrderWithBlanks", {"panel", "verify", "--order", "1234    -02"}, "not '1234    -02'"},
    {"AnOrderWithoutItsLine", {"panel", "verify", "--order", "98123456"}, "not '98123456'"},
    {"AnyLineOnGet", {"panel", "get", "--any-line"}, "panel get does not take --any-line"},
    {"AnyLineWithoutOrder", {"panel", "send", "--any-line", "unit.dat"}, "--any-line goes with --order NUMBER"},
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class PanelUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(PanelUsage, IsRefusedBeforeThePanelIsAsked) {
  std::ostringstream out, err;
  EXPECT_EQ(RunTool(GetParam().args, out, err), kExitUsage);
  EXPECT_NE(err.str().find(GetParam().message), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
}

INSTANTIATE_TEST_SUITE_P(CommandLines, PanelUsage, ::testing::ValuesIn(kUsageCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the check around send ----

// A data file carrying the job name alone.
std::string JobNameOnlyFile() { return "[Job Information]\r\nJob Name=Cold Store 2\r\n"; }

struct CheckCase {
  const char* name;
  std::vector<std::string> panel;  // the simulator's options besides --state
  std::vector<std::string> args;   // after "panel"; "@FILE" stands for the job-name-only data file
  int status;
  std::vector<std::string> said;   // each found on standard error
  bool written;                    // the panel's state changed
  const char* tons;                // the panel's Tons afterwards, blanks removed; null: not looked at
};

const CheckCase kCheckCases[] = {
    {"AValueTooLongIsRefusedBeforeAnyWrite",
     {},
     {"send", "--set", "Tons=12345678901234567890ABC"},
     2,
     {"Tons: the value has 23 characters; the panel holds 16 in Sales Order Slot #9 (Tons)",
      "nothing was written: shorten the value, or give --allow-cut"},
     false,
     "500"},
    {"AllowCutWritesAndSaysWhatWasCut",
     {},
     {"send", "--allow-cut", "--set", "Tons=12345678901234567890ABC"},
     0,
     {"note: Sales Order Slot #9 (Tons) reads back as \"1234567890123456\" after \"12345678901234567890ABC\" was "
      "asked: cut to 16 characters"},
     true,
     "1234567890123456"},
    {"ASlotOfLengthZeroIsWrittenEmptyWithAWarning",
     {"--lengths", "9=0"},
     {"send", "--set", "Tons=750"},
     0,
     {"warning: the panel keeps no text for Tons (its length is 0): it is written empty"},
     true,
     ""},
    {"ARefusedWriteSaysWhatWasWrittenAndWhatNot",
     {"--reject", "5:132"},
     {"send", "--set", "JobName=Plant 7"},
     1,
     {"refused a write: Sales Order Slot #5 (Varn Order Number): Panel in Local Mode",
      "written: CommissionDate, JobName, JobLocation, ModelNumber, PanelSerialNumber, ", "refused: VarnOrderNumber\n",
      "not written: VarnOrderNumber\n"},
     true,
     "500"},
    {"APanelAnsweringAsOneSlotCompletesNothing",
     {"--answer-as", "2"},
     {"get", "--json", "--retries", "0"},
     1,
     {"answered 1 of the 41 value requests, then nothing for a second (no reply for slots 1, 3 to 41)"},
     false,
     nullptr},
    {"DroppedRepliesAreAskedForAgain",
     {"--drop-every", "9"},
     {"get"},
     0,
     {"; asking again (1 of 2)"},
     false,
     nullptr},
    {"MembersTheFileLacksKeepThePanelsValues",
     {},
     {"send", "@FILE"},
     0,
     {"carries no value for ", "Tons", "; the panel's values are kept (--blank-missing writes them blank)"},
     true,
     "500"},
    {"BlankMissingWritesThemBlank",
     {},
     {"send", "--blank-missing", "@FILE"},
     0,
     {"writing 41 values"},
     true,
     ""},
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class PanelCheck : public PanelTool, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(PanelCheck, SaysWhatItDidAndWritesOnlyWhatItMay) {
  const CheckCase& c = GetParam();
  const std::string state = (folder / "panel.dat").string();
  std::vector<std::string> panel = c.panel;
  panel.insert(panel.end(), {"--state", state});
  StartPanel(panel);
  WriteBytes(folder / "only.dat", JobNameOnlyFile());
  const std::string before = ReadBytes(state);
  std::vector<std::string> args = {"panel"};
  for (const std::string& arg : c.args) args.push_back(arg == "@FILE" ? (folder / "only.dat").string() : arg);
  const ToolRun run = Tool(args);
  EXPECT_EQ(run.status, c.status) << run.err;
  for (const std::string& text : c.said) EXPECT_NE(run.err.find(text), std::string::npos) << text << "\n" << run.err;
  EXPECT_EQ(run.err.find("/41"), std::string::npos) << "no progress when standard error is no terminal";
  EXPECT_EQ(ReadBytes(state) != before, c.written);
  if (c.tons != nullptr) {
    // The simulator keeps its values as a data file, a value that file cannot hold as a
    // quoted "Slot N" key.
    ProfileDocument saved;
    ASSERT_TRUE(LoadProfile(state, saved));
    UnitDataRecord record{};
    ReadDataFile(record, saved);
    std::string tons = record.Tons();
    if (const auto own = saved.Find("Panel Simulator", "Slot 9")) tons = std::string(*own);
    if (tons.size() >= 2 && tons.front() == '"') tons = tons.substr(1, tons.size() - 2);
    EXPECT_EQ(tons.substr(0, tons.find_last_not_of(' ') + 1), c.tons) << tons;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PanelCheck, ::testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A signal during the writes: the frame in flight is finished, nothing more is sent, and the
// tool says what was written before it ends with 128 and the signal's number.
struct StopCase {
  const char* name;
  int signal;
  int status;
  const char* said;
};

const StopCase kStopCases[] = {
    {"Interrupt", SIGINT, 130, "stopped by SIGINT while writing"},
    {"Terminate", SIGTERM, 143, "stopped by SIGTERM while writing"},
    {"HangUp", SIGHUP, 129, "stopped by SIGHUP while writing"},
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class PanelStop : public PanelTool, public ::testing::WithParamInterface<StopCase> {};

TEST_P(PanelStop, FinishesTheFrameAndSaysWhatWasWritten) {
  StartPanel({"--delay", "5"});
  QProcess process;
  process.setProcessEnvironment(ToolEnvironment(settings));
  process.start(QStringLiteral(QUELLSO_TOOL), {"panel", "send", "--set", "JobName=Half", "--port",
                                               QString::fromStdString(device)});
  ASSERT_TRUE(process.waitForStarted(10000));
  // The length query, Get Data, the unit command and ten writes have been heard.
  const std::vector<std::string> heard = sim->ReadLines(41 + 42 + 1 + 10);
  ASSERT_EQ(heard.size(), 94u);
  ASSERT_TRUE(heard.back().starts_with("write slot 10 ")) << heard.back();
  ::kill(static_cast<pid_t>(process.processId()), GetParam().signal);
  ASSERT_TRUE(process.waitForFinished(10000));
  const std::string err = process.readAllStandardError().toStdString();
  EXPECT_EQ(process.exitCode(), GetParam().status) << err;
  EXPECT_NE(err.find(GetParam().said), std::string::npos) << err;
  EXPECT_NE(err.find("written: CommissionDate, JobName"), std::string::npos) << err;
  EXPECT_NE(err.find("not written: "), std::string::npos) << err;
  EXPECT_NE(err.find("EvTubeNo\n"), std::string::npos) << "the last slot was not sent\n" << err;
  // Nothing after the frames already under way: no read-back.
  const std::vector<std::string> after = sim->ReadLines(40);
  for (const std::string& line : after) EXPECT_FALSE(line.starts_with("unit-system")) << line;
  EXPECT_LT(after.size(), 31u);
}

INSTANTIATE_TEST_SUITE_P(Signals, PanelStop, ::testing::ValuesIn(kStopCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A send records the panel's values before it writes and what it read back; restore sends
// the values recorded before the send and leaves the panel as it was, byte for byte.
TEST_F(PanelTool, SendIsRecordedAndRestoreBringsThePanelBack) {
  const std::string state = (folder / "panel.dat").string();
  StartPanel({"--state", state});
  ASSERT_EQ(Tool({"panel", "send", "--no-verify"}).status, 0);  // every value padded, as programmed
  // The simulator saves its state after it has answered the last write.
  const auto settled = [&](const std::function<bool(const std::string&)>& done) {
    for (int i = 0; i < 100 && !done(ReadBytes(state)); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return ReadBytes(state);
  };
  const std::string programmed = settled([](const std::string& s) { return s.find("Slot 41=") != std::string::npos; });
  ASSERT_NE(programmed.find("Slot 41="), std::string::npos);
  const ToolRun sent = Tool({"panel", "send", "--set", "JobName=Replaced", "--set", "Tons=900"});
  ASSERT_EQ(sent.status, 0) << sent.err;
  ASSERT_NE(ReadBytes(state), programmed);

  const ToolRun history = RunToolProcess({"history", "--json"}, settings);
  ASSERT_EQ(history.status, 0) << history.err;
  const std::vector<std::string> entries = Lines(history.out);
  ASSERT_EQ(entries.size(), 2u) << history.out;
  const QJsonObject entry = QJsonDocument::fromJson(QByteArray::fromStdString(entries[1])).object();
  EXPECT_EQ(entry.value("operation").toString(), "send");
  EXPECT_EQ(entry.value("result").toString(), "ok");
  EXPECT_EQ(entry.value("found").toObject().value("JobName").toString(), Padded("Harbour View Offices", 30).c_str());
  EXPECT_EQ(entry.value("read_back").toObject().value("Tons").toString(), Padded("900", 16).c_str());
  const std::string id = entry.value("id").toString().toStdString();

  const ToolRun restored = Tool({"panel", "restore", "--entry", id});
  ASSERT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(settled([&](const std::string& s) { return s == programmed; }), programmed);
  const ToolRun after = RunToolProcess({"history", "--json"}, settings);
  const std::vector<std::string> lines = Lines(after.out);
  ASSERT_EQ(lines.size(), 3u);
  const QJsonObject restore = QJsonDocument::fromJson(QByteArray::fromStdString(lines[2])).object();
  EXPECT_EQ(restore.value("operation").toString(), "restore");
  EXPECT_EQ(restore.value("restored_from").toString().toStdString(), id);
}

// A history that cannot take the panel's values (a full disk) stops the send before any
// write; --no-record writes without a record.
TEST_F(PanelTool, AFullDiskDuringTheRecordStopsTheSendBeforeAnyWrite) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  const std::filesystem::path mount = folder / "small";
  std::filesystem::create_directory(mount);
  if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=16k") != 0) GTEST_SKIP() << "cannot mount a tmpfs";
  struct Unmount {
    std::filesystem::path path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{mount};
  {
    std::ofstream filler(mount / "filler", std::ios::binary);
    const std::string block(512, 'f');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
  }
  const std::string state = (folder / "panel.dat").string();
  StartPanel({"--state", state});
  const std::string before = ReadBytes(state);
  const std::vector<std::string> send = {"panel", "send", "--set", "JobName=Unrecorded", "--port", device};
  const ToolRun refused = RunToolProcess(send, settings, mount);
  EXPECT_EQ(refused.status, 1) << refused.err;
  EXPECT_NE(refused.err.find("could not be recorded in " + (mount / "quellso" / "transfers.jsonl").string()),
            std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("nothing was written"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadBytes(state), before);

  std::vector<std::string> unrecorded = send;
  unrecorded.push_back("--no-record");
  const ToolRun written = RunToolProcess(unrecorded, settings, mount);
  EXPECT_EQ(written.status, 0) << written.err;
  EXPECT_NE(ReadBytes(state), before);
}

// Progress: n/41 on standard error when it is a terminal, redrawn in place; nothing with
// --quiet (the non-terminal case is in PanelCheck).
struct ProgressCase {
  const char* name;
  std::vector<std::string> extra;
  bool drawn;
};

const ProgressCase kProgressCases[] = {{"OnATerminal", {}, true}, {"Quiet", {"--quiet"}, false}};

void PrintTo(const ProgressCase& c, std::ostream* os) { *os << c.name; }

class PanelProgress : public PanelTool, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(PanelProgress, IsDrawnOnATerminalOnly) {
  StartPanel({});
  PtyPair terminal;
  ASSERT_GE(terminal.master(), 0);
  QProcess process;
  process.setProcessEnvironment(ToolEnvironment(settings));
  process.setStandardErrorFile(terminal.SlavePath());
  QStringList args = {"panel", "get", "--port", QString::fromStdString(device)};
  for (const std::string& extra : GetParam().extra) args << QString::fromStdString(extra);
  process.start(QStringLiteral(QUELLSO_TOOL), args);
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 0);
  const std::string shown = terminal.ReadAll(500);
  EXPECT_EQ(shown.find("\rreading 1/41") != std::string::npos, GetParam().drawn) << shown;
  EXPECT_EQ(shown.find("reading 41/41") != std::string::npos, GetParam().drawn) << shown;
  EXPECT_EQ(shown.find("reading the values") != std::string::npos, GetParam().drawn) << shown;
}

INSTANTIATE_TEST_SUITE_P(Terminals, PanelProgress, ::testing::ValuesIn(kProgressCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
