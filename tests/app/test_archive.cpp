// Opening order archives through the main window: Open Encrypted Data File and OpenUpzFile,
// on archives built here and extracted into a private temporary folder under a test folder.

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstdlib>
#include <cstring>

#include "app/application.h"
#include "app/mainwindow.h"
#include "app/salesorderentry.h"
#include "app/upzchoices.h"
#include "files/localpath.h"
#include "files/upzarchive.h"
#include "settings/preferences.h"
#include "tests/files/filetestsupport.h"
#include "tests/files/implodewriter.h"
#include "tests/files/upzbuilder.h"
#include "tests/support/guitest.h"
#include "ui/edits.h"

namespace {

namespace fs = std::filesystem;

const QString kCaption = QStringLiteral("Quell Panel Sales Order Entry");
const QString kNoUnitFile = QStringLiteral("Unit Data File not present in .UPZ File");

const std::string kUnitFile =
    "[Model Information]\r\nModel Number=YKEPEPS4-DJHS\r\n"
    "[Nameplate Information]\r\nPower(volts/ph/hz)=575/3/60\r\nStarter=Variable Speed Drive\r\n"
    "[Job Information]\r\nContract-Order Number=98123456-02\r\nJob Name=Harbour Tower\r\nJob Location=Pier 9\r\n";

const std::string kOtherFile = "[Job Information]\r\nJob Name=Plant 4\r\n";

bool SameRecord(const UnitDataRecord& a, const UnitDataRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// While alive, TMPDIR names `folder`: the program's temporary folder goes under it.
class ScopedTmpdir {
 public:
  explicit ScopedTmpdir(const fs::path& folder) {
    const char* old = std::getenv("TMPDIR");
    if (old) saved_ = old;
    had_ = old != nullptr;
    fs::create_directories(folder);
    ::setenv("TMPDIR", folder.c_str(), 1);
  }
  ~ScopedTmpdir() {
    if (had_)
      ::setenv("TMPDIR", saved_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }
  ScopedTmpdir(const ScopedTmpdir&) = delete;
  ScopedTmpdir& operator=(const ScopedTmpdir&) = delete;

 private:
  std::string saved_;
  bool had_ = false;
};

// A window tied to a data file, and a test folder that holds the archives and, through
// TMPDIR, the program's temporary folder.
class OpenArchive : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_TRUE(dir.isValid());
    WriteBytes(Local("other.dat"), kOtherFile);
    fileAnswers.push_back(Path("other.dat"));
    window.mnuOpenDataFileClck();
    ASSERT_EQ(window.eJobName->Text(), "Plant 4");
    window.ePanelSerialNumber->SetText("typed");
    fileDialogs.clear();
  }
  QString Path(const QString& name) const { return dir.filePath(name); }
  fs::path Local(const QString& name) const { return QFile::encodeName(Path(name)).toStdString(); }
  QString Archive(const QString& name, const std::vector<UpzMember>& members, const UpzLayout& layout = {}) {
    WriteFile(Local(name), BuildUpz(members, layout));
    return Path(name);
  }
  QString Title() const { return kCaption + " - other.dat"; }

  // Nothing of the window, the record, the title or the current data file changed.
  void ExpectUnchanged(const UnitDataRecord& before) {
    EXPECT_TRUE(SameRecord(record, before));
    EXPECT_EQ(window.eJobName->Text(), "Plant 4");
    EXPECT_EQ(window.ePanelSerialNumber->Text(), "typed");
    EXPECT_EQ(window.windowTitle(), Title());
    EXPECT_EQ(window.CurrentDataFile(), Path("other.dat"));
  }

  QTemporaryDir dir;
  ScopedTmpdir tmpdir{Local("system/tmp")};
  // The program's private temporary folder.
  fs::path temp = Local("system/tmp") / ("quellso-" + std::to_string(::getuid()));
  UnitDataRecord record{};
  TfrmMain window{record};
};

TEST_F(OpenArchive, AGoodArchiveFillsTheWindowAndKeepsTitleAndPath) {
  const QString path = Archive("order.upz", {{.name = "README.TXT", .stored = Compressed("read me")},
                                             {.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}});
  window.OpenUpzFile(path);
  EXPECT_TRUE(messages.empty()) << messages[0].text.toStdString();
  EXPECT_EQ(window.eJobName->Text(), "Harbour Tower");
  EXPECT_EQ(window.eJobLocation->Text(), "Pier 9");
  EXPECT_EQ(window.eModelNumber->Text(), "YKEPEPS4-DJHS");
  EXPECT_EQ(window.ePower->Text(), "575");
  EXPECT_EQ(window.eMotorType->Text(), "VSD");
  EXPECT_EQ(window.eVarnOrderNumber->Text(), "98123456-02");
  EXPECT_STREQ(record.JobName(), "Harbour Tower");
  // A data file carries no serial numbers: the record's value comes back over what was typed.
  EXPECT_EQ(window.ePanelSerialNumber->Text(), "");
  EXPECT_EQ(window.windowTitle(), Title());
  EXPECT_EQ(window.CurrentDataFile(), Path("other.dat"));
  // The unit data file is deleted; the other members stay in the temporary folder.
  EXPECT_FALSE(fs::exists(temp / "LTCUNIT.DAT"));
  EXPECT_EQ(ReadFileText(temp / "README.TXT"), "read me");
  EXPECT_EQ(fs::status(temp).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(OpenArchive, TheUnitDataFileIsFoundInAnyLetterCase) {
  window.OpenUpzFile(Archive("lower.upz", {{.name = "ltcunit.dat", .stored = Compressed(kUnitFile)}}));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(window.eJobName->Text(), "Harbour Tower");
  EXPECT_FALSE(fs::exists(temp / "ltcunit.dat"));
}

TEST_F(OpenArchive, OpenEncryptedDataFileAsksForTheArchive) {
  const QString path = Archive("order.upz", {{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}});
  fileAnswers.push_back(std::nullopt);
  window.mnuOpenEncryptedDataFileClick();
  EXPECT_EQ(fileDialogs, std::vector<QString>{"Open Encrypted Data File"});
  EXPECT_EQ(window.OpenEncryptedDlg.Filter(), "Encrypted Data Files (*.upz)|*.upz|All Files (*.*)|*.*");
  EXPECT_EQ(window.OpenEncryptedDlg.DefaultExt(), "upz");
  EXPECT_EQ(window.eJobName->Text(), "Plant 4");  // cancelled: nothing else happens

  fileAnswers.push_back(path);
  window.cmdOpenEncryptedFile->click();
  EXPECT_EQ(fileDialogs.size(), 2u);
  EXPECT_EQ(window.eJobName->Text(), "Harbour Tower");
  EXPECT_EQ(window.windowTitle(), Title());
  EXPECT_TRUE(messages.empty());
}

struct FailureCase {
  const char* name;
  std::vector<UpzMember> members;
  UpzLayout layout;
  std::string message;  // "%" stands for the archive's file name
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ArchiveFailure : public OpenArchive, public ::testing::WithParamInterface<FailureCase> {};

// Every failure ends in one "Error" message and changes nothing in the window.
TEST_P(ArchiveFailure, ShowsItsMessageAndChangesNothing) {
  const FailureCase& c = GetParam();
  const QString path = Archive("case.upz", c.members, c.layout);
  const UnitDataRecord before = record;
  window.OpenUpzFile(path);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_EQ(messages[0].buttons, TMessageButtons::Ok);
  EXPECT_EQ(messages[0].text.toStdString(), c.message);
  ExpectUnchanged(before);
}

const std::vector<std::uint8_t> kCorrupt = {0x00, 0x06, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

INSTANTIATE_TEST_SUITE_P(
    Messages, ArchiveFailure,
    ::testing::Values(
        FailureCase{"NotAnArchive", {}, {.signature = "PK\x03\x04"}, "Unknown file type"},
        FailureCase{"SignatureInUpperCase", {}, {.signature = "UPL"}, "Unknown file type"},
        FailureCase{"OtherVersion", {}, {.version = 1}, "Archive format has changed since this was created"},
        FailureCase{"HeaderCutShort", {}, {.cutAt = 209}, "Error reading file"},
        FailureCase{"DirectoryCutShort",
                    {{.name = "LTCUNIT.DAT", .stored = {}}},
                    {.entryCount = 3},
                    "Error reading file"},
        FailureCase{"CorruptUnitFile", {{.name = "LTCUNIT.DAT", .stored = kCorrupt}}, {}, "Archive file is corrupted"},
        FailureCase{"StoredSizeOfFour",
                    {{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile), .storedSize = 4}},
                    {},
                    "Archive file is corrupted"},
        FailureCase{"NoUnitFile", {{.name = "README.TXT", .stored = Compressed("read me")}}, {}, kNoUnitFile.toStdString()},
        FailureCase{"NoEntries", {}, {}, kNoUnitFile.toStdString()},
        FailureCase{"NegativeEntryCount",
                    {{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}},
                    {.entryCount = -1},
                    kNoUnitFile.toStdString()}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(OpenArchive, AMissingArchiveIsNamedAfterItsLastSlash) {
  const UnitDataRecord before = record;
  window.OpenUpzFile(Path("52n9c1jm.upz"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Can't open source file: 52n9c1jm.upz");
  EXPECT_EQ(messages[0].caption, "Error");
  ExpectUnchanged(before);

  // Without a '/' there is no name to append.
  messages.clear();
  window.OpenUpzFile("absent-archive-of-this-test.upz");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Can't open source file: ");

  // A folder is no archive either.
  messages.clear();
  window.OpenUpzFile(dir.path());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Can't open source file: " + QDir(dir.path()).dirName());
  ExpectUnchanged(before);
}

TEST_F(OpenArchive, AnEmptyUnitFileEmptiesTheFieldsItCarries) {
  window.OpenUpzFile(Archive("empty.upz", {{.name = "LTCUNIT.DAT", .stored = {}}}));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(window.eJobName->Text(), "");
  EXPECT_EQ(window.eMotorType->Text(), "EM");
  EXPECT_EQ(window.windowTitle(), Title());
}

// A member that climbs out of its folder is written inside the temporary folder only.
TEST_F(OpenArchive, MembersStayInsideTheTemporaryFolder) {
  window.OpenUpzFile(Archive("climb.upz", {{.name = "../../x", .stored = Compressed("outside?")},
                                           {.name = "/etc/y", .stored = Compressed("outside?")},
                                           {.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}}));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ReadFileText(temp / "x"), "outside?");
  EXPECT_EQ(ReadFileText(temp / "y"), "outside?");
  EXPECT_FALSE(fs::exists(Local("system/x")));
  EXPECT_FALSE(fs::exists(Local("x")));
  EXPECT_EQ(window.eJobName->Text(), "Harbour Tower");
}

// A failed extraction leaves its partial unit data file in the temporary folder; a later
// archive without one must not show it.
TEST_F(OpenArchive, AUnitFileLeftByAnEarlierArchiveIsNeverShown) {
  const std::vector<std::uint8_t> whole = Compressed(kUnitFile);
  const std::vector<std::uint8_t> half(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
  window.OpenUpzFile(Archive("broken.upz", {{.name = "ltcunit.dat", .stored = half}}));
  ASSERT_EQ(MessageTexts(), std::vector<QString>{"Archive file is corrupted"});
  ASSERT_TRUE(fs::exists(temp / "ltcunit.dat"));  // the partial output stays

  messages.clear();
  const UnitDataRecord before = record;
  window.OpenUpzFile(Archive("other.upz", {{.name = "README.TXT", .stored = Compressed("read me")}}));
  EXPECT_EQ(MessageTexts(), std::vector<QString>{kNoUnitFile});
  ExpectUnchanged(before);
  EXPECT_FALSE(fs::exists(temp / "ltcunit.dat"));
}

// What an earlier archive left under a member's name is replaced, never written through.
TEST_F(OpenArchive, MembersReplaceWhatEarlierArchivesLeft) {
  window.OpenUpzFile(Archive("first.upz", {{.name = "README.TXT", .stored = Compressed(std::string(9000, 'x'))}}));
  ASSERT_EQ(fs::file_size(temp / "README.TXT"), 9000u);
  WriteBytes(Local("outside.txt"), "keep");
  fs::create_symlink(Local("outside.txt"), temp / "NOTES.TXT");

  messages.clear();
  window.OpenUpzFile(Archive("second.upz", {{.name = "README.TXT", .stored = Compressed("short")},
                                            {.name = "NOTES.TXT", .stored = Compressed("notes")},
                                            {.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}}));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ReadFileText(temp / "README.TXT"), "short");
  EXPECT_FALSE(fs::is_symlink(temp / "NOTES.TXT"));
  EXPECT_EQ(ReadFileText(temp / "NOTES.TXT"), "notes");
  EXPECT_EQ(ReadFileText(Local("outside.txt")), "keep");
  EXPECT_EQ(window.eJobName->Text(), "Harbour Tower");
}

TEST_F(OpenArchive, AUnitFileThatCannotBeReadChangesNothing) {
  // Larger than any data file is allowed to be: refused by the reader.
  const std::string huge(17u * 1024u * 1024u, ' ');
  const UnitDataRecord before = record;
  window.OpenUpzFile(Archive("huge.upz", {{.name = "LTCUNIT.DAT", .stored = Compressed(huge)}}));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_TRUE(messages[0].text.startsWith("Could not read the unit data file of the order archive\n" +
                                          Path("huge.upz")))
      << messages[0].text.toStdString();
  ExpectUnchanged(before);
  EXPECT_FALSE(fs::exists(temp / "LTCUNIT.DAT"));
}

// Archives beyond the limits are refused with a message that names the limit, and nothing
// of them stays in the temporary folder.
TEST_F(OpenArchive, ArchivesBeyondTheLimitsAreRefusedAndLeaveNothing) {
  const std::string advice =
      ".\n\nOrder archives hold a few small members: this file is damaged or is no order archive. "
      "Nothing was extracted from it.";
  struct Case {
    const char* name;
    std::vector<UpzMember> members;
    std::string message;
  };
  const Case cases[] = {
      {"bomb.upz",
       {{.name = "README.TXT", .stored = Compressed("read me")},
        {.name = "LTCUNIT.DAT", .stored = ImplodedRun(256u * 1024 * 1024 + 1, '\n')}},
       "Archive expands to more than 256 MiB" + advice},
      {"crowd.upz",
       std::vector<UpzMember>(100001, {.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}),
       "Archive holds more than 10000 members" + advice},
  };
  for (const Case& c : cases) {
    messages.clear();
    const UnitDataRecord before = record;
    window.OpenUpzFile(Archive(c.name, c.members));
    ASSERT_EQ(messages.size(), 1u) << c.name;
    EXPECT_EQ(messages[0].caption, "Error");
    EXPECT_EQ(messages[0].text.toStdString(), c.message);
    ExpectUnchanged(before);
    EXPECT_TRUE(fs::is_empty(temp)) << c.name;
  }
}

// Members whose names differ only in letter case are one file where archives are made: the
// later one is what remains there, and what the window shows.
TEST_F(OpenArchive, OfTwoLetterCaseCopiesTheLaterIsRead) {
  const std::string later = "[Job Information]\r\nJob Name=Later copy\r\n";
  const std::vector<std::pair<std::string, std::string>> orders[] = {
      {{"LTCUNIT.DAT", kUnitFile}, {"ltcunit.dat", later}},
      {{"ltcunit.dat", kUnitFile}, {"LTCUNIT.DAT", later}},
      {{"LtcUnit.Dat", kUnitFile}, {"ltcunit.dat", later}},
      {{"ltcunit.dat", kUnitFile}, {"LtcUnit.Dat", later}},
  };
  for (const auto& order : orders) {
    std::vector<UpzMember> members;
    for (const auto& [name, text] : order) members.push_back({.name = name, .stored = Compressed(text)});
    window.eJobName->SetText("before");
    window.OpenUpzFile(Archive("copies.upz", members));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(window.eJobName->Text(), "Later copy") << order[0].first << " then " << order[1].first;
    EXPECT_TRUE(fs::is_empty(temp)) << order[0].first << " then " << order[1].first;
  }
}

TEST_F(OpenArchive, ATemporaryFolderThatCannotBeUsedIsReported) {
  WriteBytes(temp, "a file where the folder belongs");
  const UnitDataRecord before = record;
  const QString path = Archive("order.upz", {{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}});
  window.OpenUpzFile(path);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Error");
  const QString text = messages[0].text;
  EXPECT_TRUE(text.startsWith("Could not open the order archive\n" + path + "\n\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("is not a folder")) << text.toStdString();
  EXPECT_TRUE(text.contains("TMPDIR")) << text.toStdString();
  ExpectUnchanged(before);
}

// The sales order lookup, started from the toolbar of the windows as start-up makes them,
// opens what it finds through the main window.
class SalesOrderThroughTheWindow : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    ASSERT_TRUE(dir.isValid());
    savedCurrent = QDir::currentPath();
    CreateWindows();
    frmPreferences->eDefaultUpz->SetText(dir.path());  // typed without the trailing '/'
  }
  void TearDown() override {
    DestroyWindows();
    QDir::setCurrent(savedCurrent);
    GuiTest::TearDown();
  }

  fs::path Local(const QString& name) const { return QFile::encodeName(dir.filePath(name)).toStdString(); }
  // Enters the number (or keeps the last one when `digits` is empty) and presses Enter.
  void WhenAskedEnter(const QString& digits) {
    WhenShown(frmSalesOrderEntry, [digits] {
      if (!digits.isEmpty()) QTest::keyClicks(frmSalesOrderEntry->eSalesOrderNumber, digits);
      QTest::keyClick(frmSalesOrderEntry->eSalesOrderNumber, Qt::Key_Return);
    });
  }
  void WhenOfferedClick(QToolButton* TfrmUpzChoices::*button) {
    WhenShown(frmUpzChoices, [button] { QTest::mouseClick(frmUpzChoices->*button, Qt::LeftButton); });
  }

  QTemporaryDir dir;
  ScopedTmpdir tmpdir{Local("system/tmp")};
  QString savedCurrent;
};

TEST_F(SalesOrderThroughTheWindow, FoundMissingAndChosen) {
  WriteFile(Local("52n9c1jl.upz"), BuildUpz({{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}}));
  WhenAskedEnter("9812345602");
  frmMain->cmdSalesOrder->click();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(frmMain->eJobName->Text(), "Harbour Tower");
  EXPECT_EQ(frmMain->windowTitle(), kCaption);
  EXPECT_EQ(frmMain->CurrentDataFile(), "");

  // Neither name exists; another line of the order does.  Cancel still tries the second
  // name, which the open reports missing.
  fs::remove(Local("52n9c1jl.upz"));
  WriteFile(Local("52n9c1a0.upz"), BuildUpz({{.name = "LTCUNIT.DAT", .stored = Compressed(kOtherFile)}}));
  WhenAskedEnter({});
  WhenOfferedClick(&TfrmUpzChoices::cmdCancel);
  frmMain->cmdSalesOrder->click();
  EXPECT_EQ(MessageTexts(), std::vector<QString>{"Can't open source file: 52n9c1jm.upz"});
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_EQ(frmMain->eJobName->Text(), "Harbour Tower");

  messages.clear();
  WhenAskedEnter({});
  WhenOfferedClick(&TfrmUpzChoices::cmdOk);
  frmMain->cmdSalesOrder->click();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(frmMain->eJobName->Text(), "Plant 4");
  EXPECT_EQ(frmMain->windowTitle(), kCaption);
}

// An archive whose name is not valid UTF-8 (made where another encoding is in use) is
// listed in "Select File", and the one chosen opens: the name's bytes are kept.
TEST_F(SalesOrderThroughTheWindow, ChoiceWhoseNameIsNotUtf8Opens) {
  const fs::path folder = QFile::encodeName(dir.path()).toStdString();
  const std::string name = "52n9c\xE9t\xE9.upz";  // Latin-1 "ete"
  WriteFile(folder / name, BuildUpz({{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}}));
  QString offered;
  WhenAskedEnter("9812345602");
  WhenShown(frmUpzChoices, [&offered] {
    offered = frmUpzChoices->flbUpzChoices->item(0)->text();
    QTest::mouseClick(frmUpzChoices->cmdOk, Qt::LeftButton);
  });
  frmMain->cmdSalesOrder->click();
  EXPECT_TRUE(messages.empty()) << (messages.empty() ? "" : messages[0].text.toStdString());
  EXPECT_EQ(frmMain->eJobName->Text(), "Harbour Tower");
  EXPECT_TRUE(offered.startsWith("52n9c")) << offered.toStdString();
  EXPECT_EQ(offered.size(), 12);  // each byte outside UTF-8 is one mark
}

// Every file name's bytes come back from its text unchanged; valid UTF-8 reads as itself.
TEST(FileNameText, KeepsEveryByte) {
  const std::string names[] = {
      "plain.upz", "caf\xC3\xA9.upz", "\xE9t\xE9", "\xFF\xFE", "\xC3", "\xC3\xA9\xC3",
      "\xED\xA0\x80",                // a surrogate in UTF-8 form: not valid
      "\xC0\xAF",                     // overlong
      "\xF0\x9F\x98\x80 smile",     // beyond the basic plane
      "\xF4\x90\x80\x80",           // beyond U+10FFFF
      "\xEF\xBF\xBD",                // the replacement character itself
      std::string("\x80\x81\xBF\xF5\x00x", 6),
  };
  for (const std::string& bytes : names) {
    EXPECT_EQ(EncodeFileName(DecodeFileName(bytes)), bytes) << bytes;
    const QString utf8 = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (utf8.toUtf8().toStdString() == bytes) {
      EXPECT_EQ(DecodeFileName(bytes), utf8) << bytes;
    }
  }
  const QChar escaped[] = {QChar(0xDCE9), QChar('t'), QChar(0xDCE9)};
  EXPECT_EQ(DecodeFileName("\xE9t\xE9"), QString(escaped, 3));
  EXPECT_EQ(LocalPath(DisplayPath("/srv/\xE9t\xE9/a.upz")).native(), "/srv/\xE9t\xE9/a.upz");
}

}  // namespace
