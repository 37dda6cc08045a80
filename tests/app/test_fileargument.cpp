// A file named on the command line, as the file manager names the file the user opened with
// the program: start-up reads the command line, makes the windows, shows the main window and
// opens the file once the message loop runs, on the X11 platform under a virtual display.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>

#include "app/application.h"
#include "app/commandline.h"
#include "app/mainwindow.h"
#include "files/localpath.h"
#include "tests/files/filetestsupport.h"
#include "tests/files/upzbuilder.h"
#include "tests/support/guitest.h"
#include "ui/edits.h"

namespace {

const QString kCaption = QStringLiteral("Quell Panel Sales Order Entry");

const std::string kUnitFile =
    "[Model Information]\r\nModel Number=YKEPEPS4-DJHS\r\n"
    "[Job Information]\r\nContract-Order Number=98123456-02\r\nJob Name=Harbour Tower\r\nJob Location=Pier 9\r\n";

struct ArgumentCase {
  const char* name;
  const char* file;      // written into the test folder, a data file or an archive of one
  const char* argument;  // as named on the command line, relative to the test folder
  QString jobName;       // shown once the file is open
  QString title;         // the caption's end after the program's name
  QString message;       // the start of the one message shown, or empty
};

void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

class FileArgument : public GuiTest, public ::testing::WithParamInterface<ArgumentCase> {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under xvfb-run";
    ASSERT_TRUE(dir.isValid());
    ::setenv("TMPDIR", QFile::encodeName(dir.path()).constData(), 1);  // the archive's members go there
    UnitRecord = UnitDataRecord{};
  }
  void TearDown() override {
    DestroyWindows();
    ::unsetenv("TMPDIR");
    GuiTest::TearDown();
  }
  std::filesystem::path Local(const char* name) const { return LocalPath(dir.filePath(name)); }

  QTemporaryDir dir;
};

TEST_P(FileArgument, OpensTheFileOnceTheWindowIsUp) {
  const ArgumentCase& c = GetParam();
  const QString name = QString::fromLatin1(c.file);
  if (name.endsWith(".upz", Qt::CaseInsensitive))
    WriteFile(Local(c.file), BuildUpz({{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}}));
  else if (!name.isEmpty())
    WriteBytes(Local(c.file), kUnitFile);
  // The file as the user names it, relative to the folder the program starts in.
  QDir::setCurrent(dir.path());
  const char* argv[] = {"quellso", "-reverse", c.argument};
  const TCommandLine line = ReadCommandLine(3, argv);
  ASSERT_EQ(line.action, TCommandLine::Action::Run);

  CreateWindows();
  ShowMainWindow(DecodeFileName(line.file));
  messages.clear();  // the port that cannot be opened at first show
  ASSERT_TRUE(WaitUntil([] { return frmMain->isVisible(); }));
  ASSERT_TRUE(WaitUntil([&] {
    return frmMain->eJobName->Text() == c.jobName && messages.empty() == c.message.isEmpty();
  })) << frmMain->eJobName->Text().toStdString();
  EXPECT_EQ(frmMain->windowTitle(), kCaption + c.title);
  if (c.message.isEmpty()) {
    EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
  } else {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(c.message)) << messages[0].text.toStdString();
    EXPECT_EQ(messages[0].caption, "Error");
  }
  // The file is tied to the window only when it is a data file that was read.
  EXPECT_EQ(frmMain->CurrentDataFile(), c.title.isEmpty() ? QString() : dir.filePath(c.argument));
}

INSTANTIATE_TEST_SUITE_P(
    Files, FileArgument,
    ::testing::Values(
        ArgumentCase{"DataFile", "unit.dat", "unit.dat", "Harbour Tower", " - unit.dat", ""},
        // An archive opens as Open Encrypted Data File opens it: title and data file unchanged.
        ArgumentCase{"Archive", "52n9c1jl.upz", "52n9c1jl.upz", "Harbour Tower", "", ""},
        ArgumentCase{"ArchiveInCapitals", "52N9C1JL.UPZ", "52N9C1JL.UPZ", "Harbour Tower", "", ""},
        ArgumentCase{"MissingDataFile", "", "missing.dat", "", "", "Could not read the data file\n"},
        ArgumentCase{"MissingArchive", "", "missing.upz", "", "", "Can't open source file"}),
    [](const ::testing::TestParamInfo<ArgumentCase>& info) { return std::string(info.param.name); });

}  // namespace
