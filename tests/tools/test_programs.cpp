// The three installed programs as a user starts them: --help, --version and wrong command
// lines, each run as a process with no display; output that cannot be written (a full disk,
// a closed standard output); and their manual pages, which must describe every command and
// option that --help lists.

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringList>
#include <ostream>
#include <string>
#include <vector>

#include "tests/files/filetestsupport.h"
#include "tests/support/brokenoutput.h"

namespace {

const QString kQuellso = QStringLiteral(QUELLSO_PROGRAM);
const QString kTool = QStringLiteral(QUELLSO_TOOL_PROGRAM);
const QString kSim = QStringLiteral(QUELLSO_PANEL_SIM_PROGRAM);
const std::string kVersion = QUELLSO_VERSION;

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `program` without a display: no DISPLAY, no WAYLAND_DISPLAY and no platform named,
// unless `platform` names one.  A program that does not end within a minute is killed and
// reported.
ProgramRun RunProgram(const QString& program, const QStringList& args, const QString& platform = {}) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
  if (!platform.isEmpty()) environment.insert("QT_QPA_PLATFORM", platform);
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, args);
  EXPECT_TRUE(process.waitForStarted(10000)) << program.toStdString();
  if (!process.waitForFinished(60000)) {
    ADD_FAILURE() << program.toStdString() << " " << args.join(' ').toStdString() << " did not end";
    process.kill();
    process.waitForFinished(10000);
    return {};
  }
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  return {process.exitCode(), process.readAllStandardOutput().toStdString(),
          process.readAllStandardError().toStdString()};
}

struct CommandLineCase {
  const char* name;
  const QString* program;
  QStringList args;
  int status;
  std::string out;  // what standard output starts with
  std::string err;  // what standard error contains
  QString platform = {};
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.name; }

class CommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, AnswersAtOnceWithoutADisplay) {
  const CommandLineCase& c = GetParam();
  const ProgramRun run = RunProgram(*c.program, c.args, c.platform);
  EXPECT_EQ(run.status, c.status) << run.err;
  EXPECT_EQ(run.out.rfind(c.out, 0), 0u) << run.out;
  EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  // An answer goes to standard output alone, a complaint to standard error alone.
  if (c.status == 0)
    EXPECT_EQ(run.err, "");
  else
    EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, CommandLine,
    ::testing::Values(
        CommandLineCase{"QuellsoVersion", &kQuellso, {"--version"}, 0, "quellso " + kVersion + "\n", ""},
        CommandLineCase{"QuellsoHelp", &kQuellso, {"--help"}, 0, "Usage: quellso [OPTION]...\n", ""},
        CommandLineCase{"QuellsoShortHelp", &kQuellso, {"-h"}, 0, "Usage: quellso ", ""},
        // The toolkit's own options are left for the toolkit, not refused.
        CommandLineCase{"QuellsoToolkitOptions",
                        &kQuellso,
                        {"-style", "fusion", "--reverse", "-stylesheet=a.qss", "-platform", "xcb", "--version"},
                        0,
                        "quellso " + kVersion + "\n",
                        ""},
        CommandLineCase{"QuellsoUnknownOption", &kQuellso, {"--bogus"}, 2, "",
                        "quellso: unknown option \"--bogus\"\nTry \"quellso --help\".\n"},
        // With a display at hand, a wrong command line still opens no window: the program ends.
        CommandLineCase{"QuellsoUnknownOptionWithADisplay", &kQuellso, {"-versoin"}, 2, "",
                        "quellso: unknown option \"-versoin\"", "offscreen"},
        // One file is taken (it opens once the window is up); a second is refused.
        CommandLineCase{"QuellsoFileName", &kQuellso, {"unit.dat"}, 2, "", "no graphical display found"},
        CommandLineCase{"QuellsoFileNameAfterOptionsEnd", &kQuellso, {"-reverse", "--", "-unit.dat"}, 2, "",
                        "no graphical display found"},
        CommandLineCase{"QuellsoTwoFileNames", &kQuellso, {"unit.dat", "order.upz"}, 2, "",
                        "quellso: more than one file named (\"unit.dat\" and \"order.upz\")"},
        CommandLineCase{"QuellsoOptionAfterFileName", &kQuellso, {"unit.dat", "--bogus"}, 2, "",
                        "unknown option \"--bogus\""},
        CommandLineCase{"QuellsoToolkitOptionWithoutValue", &kQuellso, {"-platform"}, 2, "",
                        "option \"-platform\" needs a value"},
        CommandLineCase{"QuellsoEqualsWhereTheToolkitTakesNone", &kQuellso, {"-platform=xcb"}, 2, "",
                        "unknown option \"-platform=xcb\""},
        CommandLineCase{"QuellsoWithoutDisplay", &kQuellso, {}, 2, "", "no graphical display found"},
        CommandLineCase{"ToolVersion", &kTool, {"--version"}, 0, "quellso-tool " + kVersion + "\n", ""},
        CommandLineCase{"ToolHelp", &kTool, {"--help"}, 0, "Usage: quellso-tool COMMAND", ""},
        CommandLineCase{"ToolUnknownOption", &kTool, {"--bogus"}, 2, "", "unknown command '--bogus'"},
        CommandLineCase{"SimVersion", &kSim, {"--version"}, 0, "quellso-panel-sim " + kVersion + "\n", ""},
        CommandLineCase{"SimHelp", &kSim, {"--help"}, 0, "Usage: quellso-panel-sim [OPTION]...\n", ""},
        CommandLineCase{"SimUnknownOption", &kSim, {"--bogus"}, 2, "", "unknown option \"--bogus\""},
        CommandLineCase{"SimVersionTakesNoValue", &kSim, {"--version=2"}, 2, "", "--version takes no value"}),
    [](const ::testing::TestParamInfo<CommandLineCase>& info) { return std::string(info.param.name); });

// Every line of every --help fits a terminal of 80 columns.
TEST(Programs, HelpFitsEightyColumns) {
  for (const QString* program : {&kQuellso, &kTool, &kSim}) {
    const ProgramRun run = RunProgram(*program, {"--help"});
    ASSERT_EQ(run.status, 0) << program->toStdString();
    int number = 0;
    for (const QString& line : QString::fromStdString(run.out).split('\n')) {
      ++number;
      EXPECT_LE(line.size(), 80) << program->toStdString() << " --help, line " << number << ": " << line.toStdString();
      EXPECT_FALSE(line.contains('\t')) << program->toStdString() << " --help, line " << number;
    }
  }
}

// ---- output that cannot be written ---------------------------------------------------------

// An order archive of one member, an empty unit data file, made by hand.
std::string OneMemberArchive() {
  std::string bytes(210 + 21, '\0');
  bytes.replace(0, 3, "upl");
  bytes[4] = 2;                          // version
  bytes[206] = 1;                        // entry count
  bytes.replace(210, 11, "LTCUNIT.DAT");  // name; data offset and stored size 0
  return bytes;
}

struct OutputCase {
  const char* name;
  const QString* program;
  std::vector<std::string> args;  // "@" stands for the test's folder
  int status;                     // when standard output cannot be written
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

class UnwritableOutput : public ::testing::TestWithParam<OutputCase> {};

// Whatever a command prints, a failure to print it is an error with a message: a script must
// never keep an empty file and believe it.
TEST_P(UnwritableOutput, IsAnErrorWithAMessage) {
  const OutputCase& c = GetParam();
  const TempFolder folder;
  WriteBytes(folder / "unit.dat", "[Job Information]\r\nJob Name=Plant 4\r\n");
  WriteBytes(folder / "order.upz", OneMemberArchive());
  std::vector<std::string> args = c.args;
  for (std::string& arg : args)
    if (arg.starts_with('@')) arg = folder.path().string() + arg.substr(1);
  for (const BrokenOutput output : {BrokenOutput::kFull, BrokenOutput::kClosed}) {
    const char* how = output == BrokenOutput::kFull ? "to /dev/full" : "closed";
    const BrokenOutputRun run =
        RunWithBrokenOutput(c.program->toStdString(), args, output, {}, {"DISPLAY", "WAYLAND_DISPLAY"});
    EXPECT_EQ(run.status, c.status) << how << ": " << run.err;
    const std::string program = QFileInfo(*c.program).fileName().toStdString();
    const std::string reason = output == BrokenOutput::kFull ? "No space left on device" : "Bad file descriptor";
    EXPECT_EQ(run.err, program + ": cannot write standard output: " + reason + "\n") << how;
  }
  // Nothing written into the folder: a closed standard output was not handed to a file.
  EXPECT_EQ(ReadBytes(folder / "unit.dat"), "[Job Information]\r\nJob Name=Plant 4\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Programs, UnwritableOutput,
    ::testing::Values(OutputCase{"ToolShow", &kTool, {"show", "@/unit.dat"}, 5},
                      OutputCase{"ToolShowArchive", &kTool, {"show", "@/order.upz"}, 5},
                      OutputCase{"ToolGet", &kTool, {"get", "@/unit.dat", "Job Information", "Job Name"}, 5},
                      OutputCase{"ToolList", &kTool, {"list", "@/order.upz"}, 5},
                      OutputCase{"ToolExtract", &kTool, {"extract", "@/order.upz", "@", "--force"}, 5},
                      OutputCase{"ToolArchiveName", &kTool, {"archive-name", "98123456-02"}, 5},
                      OutputCase{"ToolHelp", &kTool, {"--help"}, 5},
                      OutputCase{"ToolVersion", &kTool, {"--version"}, 5},
                      OutputCase{"QuellsoHelp", &kQuellso, {"--help"}, 1},
                      OutputCase{"QuellsoVersion", &kQuellso, {"--version"}, 1},
                      OutputCase{"SimHelp", &kSim, {"--help"}, 1},
                      OutputCase{"SimVersion", &kSim, {"--version"}, 1}),
    [](const ::testing::TestParamInfo<OutputCase>& info) { return std::string(info.param.name); });

// A command that prints nothing does not fail for want of a standard output, and the file it
// opens does not take the closed output's place.
TEST(UnusedStandardOutput, IsNoError) {
  const TempFolder folder;
  const std::string file = (folder / "unit.dat").string();
  for (const BrokenOutput output : {BrokenOutput::kFull, BrokenOutput::kClosed}) {
    const BrokenOutputRun run =
        RunWithBrokenOutput(kTool.toStdString(), {"set", file, "Job Information", "Job Name", "Plant 5"}, output);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
  }
  EXPECT_EQ(ReadBytes(folder / "unit.dat"), "[Job Information]\r\nJob Name=Plant 5\r\n");
  const BrokenOutputRun show = RunWithBrokenOutput(kTool.toStdString(), {"show", file}, BrokenOutput::kClosed);
  EXPECT_EQ(show.status, 5);
  EXPECT_EQ(ReadBytes(folder / "unit.dat"), "[Job Information]\r\nJob Name=Plant 5\r\n");
}

// ---- manual pages ---------------------------------------------------------------------------

std::string ReadFile(const QString& path) {
  QFile file(path);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
  return file.readAll().toStdString();
}

// A name as roff source writes it: every '-' as "\-".
std::string Roff(const std::string& text) {
  std::string out;
  for (const char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

// Whether the manual page has an entry (.TP, then a line in bold) that starts with `term`.
bool HasEntry(const std::string& page, const std::string& term) {
  for (const char* font : {".TP\n.B ", ".TP\n.BI ", ".TP\n.BR "}) {
    const std::string head = font + Roff(term);
    for (std::size_t at = page.find(head); at != std::string::npos; at = page.find(head, at + 1)) {
      const char next = at + head.size() < page.size() ? page[at + head.size()] : '\n';
      if (next == ' ' || next == '\n' || next == '"' || next == ',') return true;
    }
  }
  return false;
}

// The long options that a --help text lists, such as "--state".
std::vector<std::string> LongOptions(const std::string& help) {
  std::vector<std::string> options;
  static const QRegularExpression option(QStringLiteral("^  (--[a-z-]+)"), QRegularExpression::MultilineOption);
  for (auto it = option.globalMatch(QString::fromStdString(help)); it.hasNext();)
    options.push_back(it.next().captured(1).toStdString());
  return options;
}

struct PageCase {
  const char* name;
  const QString* program;
  const char* page;
  bool commands;  // the tool: its --help lists commands ("  name ARGS") rather than options
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.name; }

class ManualPage : public ::testing::TestWithParam<PageCase> {};

TEST_P(ManualPage, DescribesEverythingHelpLists) {
  const PageCase& c = GetParam();
  const std::string page = ReadFile(QStringLiteral(QUELLSO_MAN_SOURCES "/") + c.page + ".in");
  const std::string help = RunProgram(*c.program, {"--help"}).out;
  std::vector<std::string> terms = {"--help", "--version"};
  if (c.commands) {
    static const QRegularExpression command(QStringLiteral("^  ([a-z][a-z-]*)"), QRegularExpression::MultilineOption);
    for (auto it = command.globalMatch(QString::fromStdString(help)); it.hasNext();)
      terms.push_back(it.next().captured(1).toStdString());
    EXPECT_GE(terms.size(), 10u) << help;  // the eight commands at least
  } else {
    for (const std::string& option : LongOptions(help))
      if (option != "--help" && option != "--version") terms.push_back(option);
  }
  for (const std::string& term : terms) EXPECT_TRUE(HasEntry(page, term)) << c.page << " has no entry for " << term;
}

// What lintian checks: the page as built (version and date filled in) formats without a
// warning from groff.
TEST_P(ManualPage, FormatsWithoutWarnings) {
  const QString man = QStandardPaths::findExecutable("man");
  if (man.isEmpty()) GTEST_SKIP() << "man (man-db) is not installed";
  QProcess process;
  process.start(man, {"--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z",
                      QStringLiteral(QUELLSO_MAN_PAGES "/") + QString::fromLatin1(GetParam().page)});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 0);
  EXPECT_EQ(process.readAllStandardError().toStdString(), "");
  EXPECT_FALSE(process.readAllStandardOutput().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Programs, ManualPage,
                         ::testing::Values(PageCase{"Quellso", &kQuellso, "quellso.1", false},
                                           PageCase{"Tool", &kTool, "quellso-tool.1", true},
                                           PageCase{"Sim", &kSim, "quellso-panel-sim.1", false}),
                         [](const ::testing::TestParamInfo<PageCase>& info) { return std::string(info.param.name); });

// ---- the package --------------------------------------------------------------------------

// Software centres check every address the AppStream metadata gives; a placeholder that
// cannot be reached fails validation as soon as the network is on.  So the metadata names
// no host of a name reserved for examples, and appstreamcli accepts it.
TEST(Package, MetadataNamesNoPlaceholderAddress) {
  const QString metainfo = QString::fromStdString(ReadFile(QStringLiteral(QUELLSO_METAINFO)));
  static const QRegularExpression address(QStringLiteral("https?://([^/<\"]+)|[^\\s<>]+@([^\\s<>]+)"));
  static const QRegularExpression reserved(QStringLiteral("(^|\\.)(invalid|example|test|localhost)$"));
  for (auto it = address.globalMatch(metainfo); it.hasNext();) {
    const QRegularExpressionMatch match = it.next();
    const QString host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    EXPECT_FALSE(reserved.match(host).hasMatch()) << "a placeholder address: " << match.captured(0).toStdString();
  }
  const QString validator = QStandardPaths::findExecutable("appstreamcli");
  if (validator.isEmpty()) GTEST_SKIP() << "appstreamcli (appstream) is not installed";
  QProcess process;
  process.start(validator, {"validate", "--no-net", "--pedantic", QStringLiteral(QUELLSO_METAINFO)});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardOutput().toStdString();
}

// The program's package (quellso, beside quellso-cli) recommends what the desktop program
// uses beyond its libraries: xdg-open for Help > Release Notes, and Qt's Wayland plugin.
TEST(Package, TheProgramRecommendsWhatItUses) {
  const std::string config = ReadFile(QStringLiteral(QUELLSO_CPACK_CONFIG));
  static const QRegularExpression recommends(QStringLiteral("^set\\(CPACK_DEBIAN_QUELLSO_PACKAGE_RECOMMENDS \"([^\"]*)\"\\)"),
                                             QRegularExpression::MultilineOption);
  const QRegularExpressionMatch match = recommends.match(QString::fromStdString(config));
  ASSERT_TRUE(match.hasMatch()) << "the package recommends nothing";
  const QStringList packages = match.captured(1).split(QRegularExpression(QStringLiteral(",\\s*")));
  EXPECT_TRUE(packages.contains("xdg-utils")) << match.captured(1).toStdString();
  EXPECT_TRUE(packages.contains("qt6-wayland")) << match.captured(1).toStdString();
}

}  // namespace
