// A file named on the command line, as the file manager names the file the user opened with
// the program: start-up reads the command line, makes the windows, shows the main window and
// opens the file once the message loop runs, on the X11 platform under a virtual display.

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "app/application.h"
#include "app/commandline.h"
#include "app/mainwindow.h"
#include "files/localpath.h"
#include "tests/files/filetestsupport.h"
#include "tests/files/upzbuilder.h"
#include "tests/support/guitest.h"
#include "ui/edits.h"

namespace {

const std::string kUnitFile = "[Job Information]\r\nJob Name=Harbour Tower\r\nJob Location=Pier 9\r\n";

struct ArgumentCase {
  const char* name;
  const char* file;     // written into the folder the program starts in (an archive: .upz), or none
  const char* argument;
  QString jobName;      // shown once the file is open
  QString title;        // the caption after the program's name
  QString message;      // the start of the one message shown, or empty
};

void PrintTo(const ArgumentCase& c, std::ostream* os) { *os << c.name; }

class FileArgument : public GuiTest, public ::testing::WithParamInterface<ArgumentCase> {
 protected:
  void TearDown() override {
    DestroyWindows();
    ::unsetenv("TMPDIR");
    GuiTest::TearDown();
  }
  QTemporaryDir dir;
};

TEST_P(FileArgument, OpensTheFileOnceTheWindowIsUp) {
  const ArgumentCase& c = GetParam();
  ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under xvfb-run";
  ::setenv("TMPDIR", QFile::encodeName(dir.path()).constData(), 1);  // an archive's members go there
  UnitRecord = UnitDataRecord{};
  const auto local = LocalPath(dir.filePath(c.file));
  if (QString(c.file).endsWith(".upz", Qt::CaseInsensitive))
    WriteFile(local, BuildUpz({{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}}));
  else if (*c.file)
    WriteBytes(local, kUnitFile);
  QDir::setCurrent(dir.path());  // the file as the user names it, relative to this folder
  const char* argv[] = {"quellso", "-reverse", c.argument};
  const TCommandLine line = ReadCommandLine(3, argv);
  ASSERT_EQ(line.action, TCommandLine::Action::Run);

  CreateWindows();
  ShowMainWindow(DecodeFileName(line.file));
  messages.clear();  // the port that cannot be opened at first show
  ASSERT_TRUE(WaitUntil([&] {
    return frmMain->eJobName->Text() == c.jobName && messages.empty() == c.message.isEmpty();
  }));
  EXPECT_EQ(frmMain->windowTitle(), "Quell Panel Sales Order Entry" + c.title);
  if (!c.message.isEmpty()) {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith(c.message)) << messages[0].text.toStdString();
  }
  // Only a data file that was read is tied to the window.
  EXPECT_EQ(frmMain->CurrentDataFile(), c.title.isEmpty() ? QString() : dir.filePath(c.argument));
}

INSTANTIATE_TEST_SUITE_P(
    Files, FileArgument,
    ::testing::Values(ArgumentCase{"DataFile", "unit.dat", "unit.dat", "Harbour Tower", " - unit.dat", ""},
                      // As Open Encrypted Data File: title and current data file unchanged.
                      ArgumentCase{"Archive", "52N9C1JL.UPZ", "52N9C1JL.UPZ", "Harbour Tower", "", ""},
                      ArgumentCase{"MissingDataFile", "", "missing.dat", "", "", "Could not read the data file\n"},
                      ArgumentCase{"MissingArchive", "", "missing.upz", "", "", "Can't open source file"}),
    [](const ::testing::TestParamInfo<ArgumentCase>& info) { return std::string(info.param.name); });

}  // namespace
